% files.asm: KESTREL's file tool. It lists, shows and copies ND files
% through the file monitor calls:
%     <>FILES LIST              the files of the current user (MON 213,
%                               MON 214, MON 215)
%     <>FILES TYPE NOTE         a text file on the terminal (MON 50, MON 1,
%                               MON 2, MON 43)
%     <>FILES COPY HELLO:PROG HI:PROG
%                               a copy, block by block (MON 256, MON 50,
%                               MON 62, MON 7, MON 10, MON 73, MON 43)
% The first letter of LIST, TYPE and COPY is enough. File names are ND
% names: an optional (USER), a name that may be abbreviated when the file
% exists, and :TYPE (SYMB when left out). COPY makes the new file, or
% replaces the contents of one that exists, and gives it exactly the size
% of the original. A failing monitor call is reported with the text of
% its error code (MON 334).
%
% B holds the address of the global words G for the whole run; routines
% are called with JPL and keep their return address in a global word.

TERMINAL = 1
CMDLINE  = 0
CR       = 15
LF       = 12
APOS     = #'
QUOTE    = 42                   ; the double quote: a file to be made
MAXLEN   = 100D                 ; characters kept of the command line
ALLFILES = -1                   ; MON 43: close every file

G        = 400                  ; the global words, below the program

% Offsets of the global words from G (and from B).
POS     = 0                     ; number of the next character of LINE
LEN     = 1                     ; characters in LINE
TMP     = 2
LINEA   = 3                     ; word address of LINE
WLEN    = 4                     ; NEXTW: characters in the word
SRCF    = 5                     ; file numbers
DSTF    = 6
SIZE    = 7                     ; the size in bytes, two words (high, low)
NBLK    = 11                    ; blocks to copy
BLK     = 12                    ; the block being copied
NEWF    = 13                    ; 1 when COPY made the file
REM     = 14                    ; DIV10: the remainder
DVI     = 15                    ; DIV10: byte number
NUM     = 16                    ; the number PUTNUM prints, two words
DIGC    = 20                    ; PUTNUM: digits made
WIDTH   = 21                    ; PUTNUM: columns of the field
OBJ     = 22                    ; LIST: object number
NFILES  = 23                    ; LIST: files found
ENAME   = 24                    ; FAIL: address of the name in question
RETN    = 25                    ; return address of PUTNUM
TENW    = 26
TADDR   = 27                    ; PUTTXT: address of the text
TMAX    = 30                    ; PUTTXT: at most so many characters
TCNT    = 31                    ; PUTTXT: characters written
DIGS    = 32                    ; PUTNUM: the digits, lowest first (12)
% Addresses of routines, messages and buffers.
CMDP    = 44
XNEXTW  = 45
XLIST   = 46
XTYPE   = 47
XCOPY   = 50
MUSE1   = 51
MUSE2   = 52
MUSE3   = 53
MUSE4   = 54
MFILES  = 55
MCOLON  = 56
MHEAD   = 57
MNFILES = 60
UNAMEA  = 61
ENTRYA  = 62
XNL     = 63
XPUTTXT = 64
XSPACES = 65
XPUTNUM = 66
XFAIL   = 67
XCLOSE  = 70
SRCNA   = 71
XUSAGE  = 72
SYMBA   = 73
MOPEN   = 74
MREAD   = 75
DSTNA   = 76
QNAMEA  = 77
SFULLA  = 100
DFULLA  = 101
BUFA    = 102
MNAME   = 103
MSIZE   = 104
MWRITE  = 105
MCOPIED = 106
MBYTES  = 107
MTO     = 110
MNEW    = 111
MREPL   = 112
MCOLON2 = 113
MCODE   = 114
ERRA    = 115
NUMA    = 116
MTERM   = 117
MBYTE   = 120

        ORG G
        WORD 0, 0, 0            ; POS, LEN, TMP
        WORD LINE               ; LINEA
        BLOCK 22                ; WLEN to RETN
        WORD 10D                ; TENW
        BLOCK 3                 ; TADDR to TCNT
        BLOCK 12                ; DIGS
        WORD SRCN               ; CMDP
        WORD NEXTW              ; XNEXTW
        WORD LIST               ; XLIST
        WORD TYPE               ; XTYPE
        WORD COPYF              ; XCOPY
        WORD TUSE1              ; MUSE1
        WORD TUSE2              ; MUSE2
        WORD TUSE3              ; MUSE3
        WORD TUSE4              ; MUSE4
        WORD TFILES             ; MFILES
        WORD TCOLON             ; MCOLON
        WORD THEAD              ; MHEAD
        WORD TNFILES            ; MNFILES
        WORD UNAME              ; UNAMEA
        WORD ENTRY              ; ENTRYA
        WORD NL                 ; XNL
        WORD PUTTXT             ; XPUTTXT
        WORD SPACES             ; XSPACES
        WORD PUTNUM             ; XPUTNUM
        WORD FAIL               ; XFAIL
        WORD CLOSE              ; XCLOSE
        WORD SRCN               ; SRCNA
        WORD USAGE              ; XUSAGE
        WORD SYMB               ; SYMBA
        WORD TOPEN              ; MOPEN
        WORD TREAD              ; MREAD
        WORD DSTN               ; DSTNA
        WORD QNAME              ; QNAMEA
        WORD SFULL              ; SFULLA
        WORD DFULL              ; DFULLA
        WORD BUF                ; BUFA
        WORD TNAME              ; MNAME
        WORD TSIZE              ; MSIZE
        WORD TWRITE             ; MWRITE
        WORD TCOPIED            ; MCOPIED
        WORD TBYTES             ; MBYTES
        WORD TTO                ; MTO
        WORD TNEW               ; MNEW
        WORD TREPL              ; MREPL
        WORD TCOLON2            ; MCOLON2
        WORD TCODE              ; MCODE
        WORD ERRTXT             ; ERRA
        WORD G+NUM              ; NUMA
        WORD TTERM              ; MTERM
        WORD TBYTE              ; MBYTE

        ORG 1000
        START GO

% Reads the command line and goes to the command its first word names.
GO:     LDA GADDR
        COPY SA DB              ; B = G for the whole run
        SAA 0
        STA LEN,B
        STA POS,B
RD1:    SAT CMDLINE
        MON 1
        JMP RDEND
        AND M177
        SAT CR
        SKP IF DA EQL ST
        JMP RD2
        JMP RDEND
RD2:    LDX LEN,B
        SAT MAXLEN
        SKP IF DX LST ST
        JMP RD1                 ; the line is full: the rest is dropped
        LDT LINEA,B
        SBYT
        AAX 1
        STX LEN,B
        JMP RD1
RDEND:  LDX LEN,B               ; end the line with a 0 byte
        LDT LINEA,B
        SAA 0
        SBYT
        LDX CMDP,B              ; the command word
        JPL I XNEXTW,B
        JAZ USAGE
        LDX CMDP,B
        LDT 0,X
        COPY ST DA
        SHA SHR 10              ; A = its first letter
        SAT #L
        SKP IF DA UEQ ST
        JMP I XLIST,B
        SAT #T
        SKP IF DA UEQ ST
        JMP I XTYPE,B
        SAT #C
        SKP IF DA UEQ ST
        JMP I XCOPY,B
USAGE:  LDX MUSE1,B
        MON 32
        LDX MUSE2,B
        MON 32
        LDX MUSE3,B
        MON 32
        LDX MUSE4,B
        MON 32
        MON 0

GADDR:  WORD G
M177:   WORD 177

% NEXTW: copies the next word of LINE (ended by a blank, a comma or the
% end) into the buffer at X, followed by an apostrophe. A = its length.
NEXTW:  STX TMP,B
        LDX POS,B
        LDT LINEA,B
NW1:    LBYT                    ; skip blanks and commas
        SAT 40
        SKP IF DA EQL ST
        JMP NW2
        JMP NW3
NW2:    SAT #,
        SKP IF DA EQL ST
        JMP NW4
NW3:    AAX 1
        LDT LINEA,B
        JMP NW1
NW4:    STX POS,B
        SAA 0
        STA WLEN,B
NW5:    LDX POS,B
        LDT LINEA,B
        LBYT
        JAZ NW6
        SAT 40
        SKP IF DA UEQ ST
        JMP NW6
        SAT #,
        SKP IF DA UEQ ST
        JMP NW6
        LDX WLEN,B              ; into the buffer
        SAT 60D
        SKP IF DX LST ST
        JMP NW6                 ; longer than any ND name: cut
        LDT TMP,B
        SBYT
        AAX 1
        STX WLEN,B
        MIN POS,B
        JMP NW5
NW6:    LDX WLEN,B
        LDT TMP,B
        SAA APOS
        SBYT
        LDA WLEN,B
        EXIT

% LIST: the files of the current user, by object number.
LIST:   LDX MFILES,B
        MON 32
        MON 213                 ; T = the current user's index + 400
        JMP *+1
        COPY ST DX
        AAX -200
        AAX -200
        LDA UNAMEA,B
        MON 214                 ; its name, 16 characters, "'" for none
        JMP LI0
        LDX UNAMEA,B
        MON 32
LI0:    LDX MCOLON,B
        MON 32
        JPL I XNL,B
        LDX MHEAD,B
        MON 32
        JPL I XNL,B
        SAA 0
        STA OBJ,B
        STA NFILES,B
LI1:    LDX OBJ,B
        LDA ENTRYA,B
        MON 215                 ; the directory entry of object OBJ
        JMP LI2                 ; no such object
        MIN NFILES,B
        LDA ENTRYA,B              ; the name: words 1-8, "." written as "'"
        AAA 1
        SAT 16D
        JPL I XPUTTXT,B
        SAT 18D
        JPL I XSPACES,B
        LDA ENTRYA,B            ; the type: words 9-10
        AAA 9D
        SAT 4
        JPL I XPUTTXT,B
        SAT 4
        JPL I XSPACES,B
        LDX ENTRYA,B            ; the size in bytes: words 28-29
        LDD 28D,X
        STD NUM,B
        SAA 10D
        STA WIDTH,B
        JPL I XPUTNUM,B
        JPL I XNL,B
LI2:    LDA OBJ,B
        AAA 1
        STA OBJ,B
        AAA -200                ; up to object 377
        AAA -200
        JAF LI1
        LDA NFILES,B
        STA NUM+1,B
        SAA 0
        STA NUM,B
        STA WIDTH,B
        JPL I XPUTNUM,B
        LDX MNFILES,B
        MON 32
        JPL I XNL,B
        MON 0

% TYPE: writes a file on the terminal, byte by byte.
TYPE:   LDX SRCNA,B
        JPL I XNEXTW,B
        JAZ TYUSE
        LDA SRCNA,B
        STA ENAME,B
        LDX SRCNA,B             ; open it for reading, byte by byte
        LDA SYMBA,B
        SAT 1
        MON 50
        JMP TYOPEN
        STA SRCF,B
TY1:    LDT SRCF,B
        MON 1
        JMP TYEND               ; end of the file, or a fault
        AND TY177
        SAT TERMINAL
        MON 2
        JMP *+1
        JMP TY1
TYEND:  SAT 3                   ; END OF FILE is the normal end
        SKP IF DA EQL ST
        JMP TYREAD
        LDT SRCF,B
        MON 43
        JMP *+1
        MON 0
TYUSE:  JMP I XUSAGE,B
TYOPEN: LDX MOPEN,B
        JMP I XFAIL,B
TYREAD: LDX MREAD,B
        JMP I XFAIL,B

TY177:  WORD 177

% COPYF: copies the file named first into the file named second.
COPYF:   LDX SRCNA,B
        JPL I XNEXTW,B
        JAZ TYUSE
        LDX DSTNA,B
        JPL I XNEXTW,B
        JAZ TYUSE
        LDA SRCNA,B
        STA ENAME,B
        LDX SRCNA,B               ; the original's full name
        LDT SYMBA,B
        LDA SFULLA,B
        MON 256
        JMP CPNAME
        LDX SRCNA,B             ; open it for reading by blocks
        LDA SYMBA,B
        SAT 3
        MON 50
        JMP CPOPEN
        STA SRCF,B
        SAT TERMINAL            ; (SYSTEM)TERMINAL is the terminal
        SKP IF DA UEQ ST
        JMP CPTERM
        LDT SRCF,B              ; its size in bytes
        MON 62
        JMP CPSIZE
        STD SIZE,B
        JPL MKQUOT              ; make the copy: "NAME"
        LDA DSTNA,B
        STA ENAME,B
        SAA 1
        STA NEWF,B
        LDX QNAMEA,B
        LDA SYMBA,B
        SAT 2
        MON 50
        JMP CP1
        JMP CP2
CP1:    SAT 76                  ; FILE ALREADY EXISTS: replace its contents
        SKP IF DA EQL ST
        JMP CPOPEN
        SAA 0
        STA NEWF,B
        LDX DSTNA,B
        LDA SYMBA,B
        SAT 2
        MON 50
        JMP CPOPEN
CP2:    STA DSTF,B
        LDD SIZE,B              ; NBLK = the blocks of 512 bytes, the
        SAD ZIN SHR 11          ; last one perhaps not full
        COPY SD DA
        STA NBLK,B
        LDA SIZE+1,B
        AND C777
        JAZ CP3
        MIN NBLK,B
        JMP *+1
CP3:    SAA 0
        STA BLK,B
CP4:    LDA BLK,B
        LDT NBLK,B
        SKP IF DA LST ST
        JMP CP5
        LDA SRCNA,B
        STA ENAME,B
        LDT SRCF,B              ; read block BLK of the original
        LDA BLK,B
        LDX BUFA,B
        MON 7
        JMP CPREAD
        LDA DSTNA,B
        STA ENAME,B
        LDT DSTF,B              ; and write it as block BLK of the copy
        LDA BLK,B
        LDX BUFA,B
        MON 10
        JMP CPWRIT
        MIN BLK,B
        JMP CP4
CP5:    LDT DSTF,B              ; the copy ends where the original ends
        LDD SIZE,B
        MON 73
        JMP CPWRIT
        JPL I XCLOSE,B
        LDX DSTNA,B               ; the copy's full name
        LDT SYMBA,B
        LDA DFULLA,B
        MON 256
        JMP CPNAME
        LDX MCOPIED,B
        MON 32
        LDD SIZE,B
        STD NUM,B
        SAA 0
        STA WIDTH,B
        JPL I XPUTNUM,B
        LDX MBYTES,B
        LDA SIZE,B              ; one byte: " BYTE"
        JAF CP6
        LDA SIZE+1,B
        AAA -1
        JAF CP6
        LDX MBYTE,B
CP6:    MON 32
        LDX SFULLA,B
        AAX 1
        MON 32
        LDX MTO,B
        MON 32
        LDX DFULLA,B
        AAX 1
        MON 32
        LDX MNEW,B
        LDA NEWF,B
        JAF *+2
        LDX MREPL,B
        MON 32
        JPL I XNL,B
        MON 0

CPNAME: LDX MNAME,B
        JMP I XFAIL,B
CPOPEN: LDX MOPEN,B
        JMP I XFAIL,B
CPTERM: LDX MTERM,B
        MON 32
        LDX ENAME,B
        MON 32
        JPL I XNL,B
        MON 0
CPSIZE: LDX MSIZE,B
        JMP I XFAIL,B
CPREAD: LDX MREAD,B
        JMP I XFAIL,B
CPWRIT: LDX MWRITE,B
        JMP I XFAIL,B

% MKQUOT: QNAME = the name in DSTN between double quotes.
MKQUOT: SAA QUOTE
        SAX 0
        LDT QNAMEA,B
        SBYT
        SAX 0
MQ1:    STX TMP,B
        LDT DSTNA,B
        LBYT
        SAT APOS
        SKP IF DA UEQ ST
        JMP MQ2
        AAX 1
        LDT QNAMEA,B
        SBYT
        LDX TMP,B
        AAX 1
        JMP MQ1
MQ2:    AAX 1
        SAA QUOTE
        LDT QNAMEA,B
        SBYT
        AAX 1
        SAA APOS
        SBYT
        EXIT

C777:   WORD 777

% FAIL: A = an error code, X = what failed. Prints the message, the name
% in question and the text of the error code, closes every file and ends.
FAIL:   STA TMP,B
        MON 32
        LDX ENAME,B
        MON 32
        LDX MCOLON2,B
        MON 32
        LDA TMP,B
        LDX ERRA,B
        MON 334                 ; the text of the error code
        JMP FA1
        LDX ERRA,B
        MON 32
        JMP FA2
FA1:    LDX MCODE,B             ; a code without a text: its number
        MON 32
        LDA TMP,B
        SAT 10
        MON 35
FA2:    JPL NL
        JPL CLOSE
        MON 0

% CLOSE: closes every file the program opened.
CLOSE:  SAT ALLFILES
        MON 43
        JMP *+1
        EXIT

        INCLUDE "newline.asm"   ; NL: a new line on the terminal

% SPACES: writes blanks up to column T of the field PUTTXT began (TCNT
% characters are written already).
SPACES: LDA TCNT,B
        RSUB SA DT
        STT TMP,B
SP1:    LDA TMP,B
        JAN SP2
        JAZ SP2
        AAA -1
        STA TMP,B
        SAA 40
        SAT TERMINAL
        MON 2
        JMP *+1
        JMP SP1
SP2:    EXIT

% PUTTXT: writes the ND text at address A, at most T characters, ended
% early by an apostrophe or a 0 byte. TCNT = the characters written.
PUTTXT: STA TADDR,B
        STT TMAX,B
        SAA 0
        STA TCNT,B
PT1:    LDX TCNT,B
        LDT TMAX,B
        SKP IF DX LST ST
        JMP PT2
        LDT TADDR,B
        LBYT
        JAZ PT2
        SAT APOS
        SKP IF DA UEQ ST
        JMP PT2
        SAT TERMINAL
        MON 2
        JMP *+1
        MIN TCNT,B
        JMP PT1
PT2:    EXIT

% PUTNUM: writes the 32-bit number NUM (high word first) in decimal,
% right-aligned in WIDTH columns. NUM is used up.
PUTNUM: COPY SL DA
        STA RETN,B
        SAA 0
        STA DIGC,B
PN1:    JPL DIV10               ; A = the lowest digit
        AAA 60
        LDX DIGC,B
        STA DIGS,B,X
        AAX 1
        STX DIGC,B
        LDA NUM,B
        ORA NUM+1,B
        JAF PN1
        LDA WIDTH,B             ; blanks in front
        LDT DIGC,B
        RSUB ST DA
        STA TMP,B
PN2:    LDA TMP,B
        JAN PN3
        JAZ PN3
        AAA -1
        STA TMP,B
        SAA 40
        SAT TERMINAL
        MON 2
        JMP *+1
        JMP PN2
PN3:    LDX DIGC,B              ; the digits, most significant first
        AAX -1
        STX DIGC,B
        LDA DIGS,B,X
        SAT TERMINAL
        MON 2
        JMP *+1
        LDX DIGC,B
        JXZ PN4
        JMP PN3
PN4:    LDA RETN,B
        COPY SA DP

% DIV10: divides NUM by 10 in place, a byte at a time from the most
% significant; A = the remainder.
DIV10:  SAA 0
        STA REM,B
        SAX 0
DV1:    STX DVI,B
        LDT NUMA,B
        LBYT                    ; the next byte
        STA TMP,B
        LDA REM,B
        SHA 10                  ; remainder * 256 + byte
        ORA TMP,B
        COPY SA DD
        SAA 0
        LDT TENW,B
        RDIV ST                 ; A = quotient, D = remainder
        STA TMP,B
        COPY SD DA
        STA REM,B
        LDA TMP,B
        LDX DVI,B
        LDT NUMA,B
        SBYT
        AAX 1
        SAT 4
        SKP IF DX EQL ST
        JMP DV1
        LDA REM,B
        EXIT

TUSE1:  TEXT 'FILES LIST             THE FILES OF THE CURRENT USER\r\n'
TUSE2:  TEXT 'FILES TYPE NAME        WRITES A TEXT FILE ON THE TERMINAL\r\n'
TUSE3:  TEXT 'FILES COPY FROM TO     COPIES A FILE; TO IS MADE OR REPLACED\r\n'
TUSE4:  TEXT 'A NAME WITHOUT :TYPE IS :SYMB. L, T OR C IS ENOUGH.\r\n'
TFILES: TEXT 'FILES OF ('
TCOLON: TEXT '):'
THEAD:  TEXT 'NAME              TYPE     BYTES'
TNFILES: TEXT ' FILES'
TOPEN:  TEXT '?? CANNOT OPEN '
TREAD:  TEXT '?? CANNOT READ '
TNAME:  TEXT '?? NO FILE NAMED '
TTERM:  TEXT '?? THE TERMINAL CANNOT BE COPIED: '
TSIZE:  TEXT '?? NO SIZE FOR '
TWRITE: TEXT '?? CANNOT WRITE '
TCOLON2: TEXT ': '
TCODE:  TEXT 'ERROR CODE '
TCOPIED: TEXT 'COPIED '
TBYTES: TEXT ' BYTES FROM '
TBYTE:  TEXT ' BYTE FROM '
TTO:    TEXT ' TO '
TNEW:   TEXT ' (A NEW FILE)'
TREPL:  TEXT ' (REPLACING ITS CONTENTS)'
SYMB:   TEXT "SYMB"

LINE:   BLOCK 51D               ; MAXLEN characters and the 0 byte
SRCN:   BLOCK 40                ; the file names, each ended by "'"
DSTN:   BLOCK 40
QNAME:  BLOCK 42
SFULL:  BLOCK 200               ; full names from MON 256
DFULL:  BLOCK 200
UNAME:  BLOCK 10
        WORD 023400             ; ends the user name: "'" and 0
ENTRY:  BLOCK 40                ; a directory entry from MON 215
ERRTXT: BLOCK 100               ; an error text from MON 334
BUF:    BLOCK 400               ; one block of 512 bytes
