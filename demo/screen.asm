% screen.asm: a full-screen program for the TDV 2215 display terminal.
%     <>SCREEN
% It makes the terminal a TDV 2215 itself (terminal type 52 with MON 17),
% clears the screen and draws a box in the line-drawing characters of the
% terminal's second character set, then follows the keys it reads with
% MON 310:
%     arrow keys        move the cursor inside the box
%     1, 2, 3           light indicator lamp 1, 2 or 3 on the status line
%     0                 puts the lamps out
%     other characters  are written at the cursor
%     RETURN or ESC     ends the program (the lamps go out, the screen is
%                       cleared and the terminal type is set back)
% The row and column of the cursor are shown at the bottom of the box.
%
% TDV 2215 codes used: 16 row column (cursor address), 25 (clear the
% screen), 5, 6 and 21 (lamps 1 to 3), 22 (lamps out), all written with
% MON 2; ESC N c (one character of set 2) written with MON 22. The arrow
% keys arrive from MON 310 as the TDV codes 28 (up), 11 (down), 8 (left)
% and 24 (right). MON 71 turns the ESC stop off, so that ESC reaches the
% program as a key; MON 3 turns the echo off.
%
% B holds the address of the global words G for the whole run; routines
% are called with JPL and keep their return address in a global word.

TERMINAL = 1
TDV2215  = 52D                  ; the terminal type of the TDV 2215
APOS     = #'
ESC      = 33
CR       = 15
CUP      = 20                   ; cursor address: 16, then row, column
CLEAR    = 31                   ; 25: clear the screen
LAMP1    = 5
LAMP2    = 6
LAMP3    = 25                   ; 21
LAMPSOFF = 26                   ; 22
KUP      = 34                   ; 28
KDOWN    = 13                   ; 11
KLEFT    = 10                   ; 8
KRIGHT   = 30                   ; 24

TOP      = 2                    ; the box: rows 2 to 20, columns 10 to 69
BOTTOM   = 24                   ; 20
LEFT     = 12                   ; 10
RIGHT    = 105                  ; 69
FIRSTROW = 5                    ; the rows and columns the cursor may take
LASTROW  = 21                   ; 17
FIRSTCOL = 13                   ; 11
LASTCOL  = 104                  ; 68

G        = 400                  ; the global words, below the program

% Offsets of the global words from G (and from B).
ROW     = 0                     ; where the cursor is
COL     = 1
KEY     = 2
TMP     = 3
OLDTYPE = 4                     ; the terminal type before the program
COUNT   = 5
RETA    = 6                     ; return addresses of the routines
RETB    = 7
RETN    = 10
TEN     = 11
XAT     = 12                    ; routine addresses
XPUT    = 13
XBOX    = 14
XLINE   = 15
XNUM    = 16
XSTATUS = 17
MTITLE  = 20                    ; message addresses
MHELP1  = 21
MHELP2  = 22
MROW    = 23
MCOL    = 24

        ORG G
        WORD 12                 ; ROW
        WORD 47                 ; COL
        BLOCK 7                 ; KEY to RETN
        WORD 10D                ; TEN
        WORD AT                 ; XAT
        WORD PUT                ; XPUT
        WORD BOX                ; XBOX
        WORD LINE               ; XLINE
        WORD NUM                ; XNUM
        WORD STATUS             ; XSTATUS
        WORD TTITLE             ; MTITLE
        WORD THELP1             ; MHELP1
        WORD THELP2             ; MHELP2
        WORD TROW               ; MROW
        WORD TCOL               ; MCOL

        ORG 1000
        START GO

GO:     LDA GADDR
        COPY SA DB              ; B = G for the whole run
        SAT TERMINAL
        MON 16                  ; A = the terminal type now
        SAA 0                   ; (error return: none)
        STA OLDTYPE,B
        SAA TDV2215             ; this terminal is a TDV 2215
        SAT TERMINAL
        MON 17
        JMP *+1
        SAA -1                  ; no echo of the keys
        MON 3
        SAT TERMINAL            ; ESC is a key like the others
        MON 71
        SAA CLEAR
        JPL I XPUT,B
        JPL I XBOX,B
        SAA TOP+1               ; the title
        SAT LEFT+20D
        JPL I XAT,B
        LDX MTITLE,B
        MON 32
        SAA BOTTOM+1            ; the keys, under the box
        SAT LEFT
        JPL I XAT,B
        LDX MHELP1,B
        MON 32
        SAA BOTTOM+2
        SAT LEFT
        JPL I XAT,B
        LDX MHELP2,B
        MON 32

% The loop: show where the cursor is, put it there, read a key.
KEYS:   JPL I XSTATUS,B
        LDA ROW,B
        LDT COL,B
        JPL I XAT,B
        MON 310                 ; A bits 15-8 = the key
        JMP KEYS
        SHA ZIN SHR 10          ; A = the key
        STA KEY,B
        SAT KUP
        SKP IF DA UEQ ST
        JMP UP
        SAT KDOWN
        SKP IF DA UEQ ST
        JMP DOWN
        SAT KLEFT
        SKP IF DA UEQ ST
        JMP LEFTK
        SAT KRIGHT
        SKP IF DA UEQ ST
        JMP RIGHTK
        SAT CR
        SKP IF DA UEQ ST
        JMP END
        SAT ESC
        SKP IF DA UEQ ST
        JMP END
        SAT #1
        SKP IF DA UEQ ST
        JMP L1
        SAT #2
        SKP IF DA UEQ ST
        JMP L2
        SAT #3
        SKP IF DA UEQ ST
        JMP L3
        SAT #0
        SKP IF DA UEQ ST
        JMP L0
        SAT 40                  ; another character: written at the
        SKP IF DA GRE ST        ; cursor, which moves on
        JMP KEYS
        SAT 177
        SKP IF DA LST ST
        JMP KEYS
        JPL I XPUT,B
        JMP RIGHTK

UP:     LDA ROW,B
        SAT FIRSTROW
        SKP IF DA GRE ST
        JMP KEYS
        AAA -1
        STA ROW,B
        JMP KEYS
DOWN:   LDA ROW,B
        SAT LASTROW
        SKP IF DA LST ST
        JMP KEYS
        AAA 1
        STA ROW,B
        JMP KEYS
LEFTK:  LDA COL,B
        SAT FIRSTCOL
        SKP IF DA GRE ST
        JMP KEYS
        AAA -1
        STA COL,B
        JMP KEYS
RIGHTK: LDA COL,B
        SAT LASTCOL
        SKP IF DA LST ST
        JMP KEYS
        AAA 1
        STA COL,B
        JMP KEYS

L1:     SAA LAMP1
        JMP LAMP
L2:     SAA LAMP2
        JMP LAMP
L3:     SAA LAMP3
        JMP LAMP
L0:     SAA LAMPSOFF
LAMP:   JPL I XPUT,B
        JMP KEYS

END:    SAA LAMPSOFF
        JPL I XPUT,B
        SAA CLEAR
        JPL I XPUT,B
        LDA OLDTYPE,B           ; the terminal type as it was
        SAT TERMINAL
        MON 17
        JMP *+1
        SAT TERMINAL
        MON 72                  ; ESC stops programs again
        MON 0

GADDR:  WORD G

% PUT: writes the byte in A to the terminal with MON 2.
PUT:    SAT TERMINAL
        MON 2
        JMP *+1
        EXIT

% AT: puts the cursor at row A, column T.
AT:     STT TMP,B
        COPY SL DT
        STT RETA,B
        STA COUNT,B
        SAA CUP
        JPL PUT
        LDA COUNT,B
        JPL PUT
        LDA TMP,B
        JPL PUT
        LDA RETA,B
        COPY SA DP

% BOX: draws the box with the set-2 characters g (top left), i (top
% right), a (bottom left), c (bottom right), ` (across) and j (down).
BOX:    COPY SL DA
        STA RETB,B
        SAA TOP
        SAT LEFT
        JPL AT
        SAA #g
        SAT #`
        JPL I XLINE,B
        SAA #i
        JPL CHAR2
        SAA TOP+1
BX1:    STA ROW,B               ; the sides, row by row
        SAT LEFT
        JPL AT
        SAA #j
        JPL CHAR2
        LDA ROW,B
        SAT RIGHT
        JPL AT
        SAA #j
        JPL CHAR2
        LDA ROW,B
        AAA 1
        SAT BOTTOM
        SKP IF DA EQL ST
        JMP BX1
        SAT LEFT
        JPL AT
        SAA #a
        SAT #`
        JPL I XLINE,B
        SAA #c
        JPL CHAR2
        SAA 12                  ; the cursor starts in the middle
        STA ROW,B
        LDA RETB,B
        COPY SA DP

% CHAR2: writes character A of set 2 with MON 22: ESC N and the
% character, then a 0 byte, which ends the output.
CHAR2:  COPY SA DD
        SHD 10                  ; D = the character in bits 15-8
        LDA ESCN
        SAT TERMINAL
        MON 22
        JMP *+1
        EXIT

ESCN:   WORD ESC*400+#N

% LINE: writes character A of set 2, then RIGHT-LEFT-1 times character T.
LINE:   STT TMP,B
        COPY SL DT
        STT RETN,B
        JPL CHAR2
        SAA RIGHT-LEFT-1
        STA COUNT,B
LN1:    LDA TMP,B
        JPL CHAR2
        LDA COUNT,B
        AAA -1
        STA COUNT,B
        JAF LN1
        LDA RETN,B
        COPY SA DP

% STATUS: shows the cursor's row and column at the bottom of the box.
STATUS: COPY SL DA
        STA RETB,B
        SAA BOTTOM-1
        SAT LEFT+2
        JPL AT
        LDX MROW,B
        MON 32
        LDA ROW,B
        JPL I XNUM,B
        LDX MCOL,B
        MON 32
        LDA COL,B
        JPL I XNUM,B
        LDA RETB,B
        COPY SA DP

% NUM: writes A (0 to 99) as two decimal digits.
NUM:    COPY SL DT
        STT RETN,B
        COPY SA DD
        SAA 0
        LDT TEN,B
        RDIV ST                 ; A = tens, D = ones
        AAA 60
        JPL PUT
        COPY SD DA
        AAA 60
        JPL PUT
        LDA RETN,B
        COPY SA DP

TTITLE: TEXT 'KESTREL ON A TDV 2215'
THELP1: TEXT 'ARROW KEYS MOVE THE CURSOR, OTHER KEYS WRITE IN THE BOX.'
THELP2: TEXT '1, 2, 3 LIGHT A LAMP, 0 PUTS THEM OUT. RETURN OR ESC ENDS.'
TROW:   TEXT 'ROW '
TCOL:   TEXT '  COLUMN '
