% calc.asm: KESTREL's line calculator. It reads lines with MON 1 from
% file 0 and prints each result with MON 35:
%     <>CALC 12+30              one line, given on the command line
%         42
%     <>CALC                    or line after line, until an empty line
%     CALC> (7-2)*6,H
%       1e
%
% The little language, one expression a line:
%     line   = expr [ "," radix ]  |  "?"
%     radix  = D (decimal, the default) | O (octal) | H (hexadecimal)
%              | B (binary)
%     expr   = term { ("+" | "-") term }
%     term   = factor { ("*" | "/" | "%") factor }     / quotient, % remainder
%     factor = number | "M" | "-" factor | "+" factor | "(" expr ")"
%     number = decimal digits (30), or octal digits ended by B (36B)
% Values are 16-bit words, -32768 to 32767; a result outside that range is
% an overflow. M is the previous result. Blanks may stand anywhere between
% the parts; "?" prints the rules. Messages are written with MON 32.
%
% B holds the address of the global words G for the whole run: variables,
% constants and the addresses of the routines and messages, all reached
% B-relative, so that every part of the program reaches them.
% Routines are called with JPL (return address in L); the recursive ones
% (EXPR, TERM, FACTOR, NUMBER) keep L and their partial values on a stack
% of their own, pushed and popped by PUSH and POP.

TERMINAL = 1                    ; file number of the terminal
CMDLINE  = 0                    ; file 0: the command line, then the keyboard
CR       = 15
LF       = 12
MAXLEN   = 100D                 ; characters kept of a line
STACKLEN = 400                  ; words of the stack

G        = 400                  ; the global words, below the program

% Offsets of the global words from G (and from B).
POS     = 0                     ; number of the next character of LINE
LEN     = 1                     ; characters in LINE
MEM     = 2                     ; the previous result
TMP     = 3
VALW    = 4                     ; the number being converted
NSTART  = 5                     ; character number of its first digit
NEND    = 6                     ; character number after its last digit
SPTR    = 7                     ; stack pointer: the next free word
MODE    = 10                    ; 0 one line from the command line, 1 many
LONG    = 11                    ; 1 when the line was cut at MAXLEN
LINEA   = 12                    ; word address of LINE
STKBOT  = 13                    ; first word of the stack
STKTOP  = 14                    ; word after the stack
TEN     = 15
HIGH3   = 16                    ; the bits a left shift by 3 would lose
XPUSH   = 17                    ; routine addresses
XPOP    = 20
XPEEK   = 21
XEXPR   = 22
XTERM   = 23
XFACTOR = 24
XNUMBER = 25
XREAD   = 26
XNEXT   = 27
XOVF    = 30                    ; error entries
XBIG    = 31
XZERO   = 32
XNOTOCT = 33
XCLOSE  = 34
XUNEXP  = 35
XDEEP   = 36
XFAIL   = 37
MBANNER = 40                    ; message addresses
MPROMPT = 41
MOVF    = 42
MBIG    = 43
MZERO   = 44
MNOTOCT = 45
MCLOSE  = 46
MUNEXP  = 47
MEND    = 50
MDEEP   = 51
MLONG   = 52
MHINT   = 53
MHELP1  = 54                    ; the five lines of the rules, in order
MHELP5  = 60
RADIX   = 61                    ; the radix of the result: 2, 8, 10 or 16
XLOOP   = 62
XDONE   = 63
XCRLF   = 64

        ORG G
        WORD 0                  ; POS
        WORD 0                  ; LEN
        WORD 0                  ; MEM
        WORD 0                  ; TMP
        WORD 0                  ; VALW
        WORD 0                  ; NSTART
        WORD 0                  ; NEND
        WORD STACK              ; SPTR
        WORD 0                  ; MODE
        WORD 0                  ; LONG
        WORD LINE               ; LINEA
        WORD STACK              ; STKBOT
        WORD STACK+STACKLEN     ; STKTOP
        WORD 10D                ; TEN
        WORD 160000             ; HIGH3
        WORD PUSH               ; XPUSH
        WORD POP                ; XPOP
        WORD PEEK               ; XPEEK
        WORD EXPR               ; XEXPR
        WORD TERM               ; XTERM
        WORD FACTOR             ; XFACTOR
        WORD NUMBER             ; XNUMBER
        WORD READ               ; XREAD
        WORD NEXT               ; XNEXT
        WORD EOVF               ; XOVF
        WORD EBIG               ; XBIG
        WORD EZERO              ; XZERO
        WORD ENOTOCT            ; XNOTOCT
        WORD ECLOSE             ; XCLOSE
        WORD EUNEXP             ; XUNEXP
        WORD EDEEP              ; XDEEP
        WORD FAIL               ; XFAIL
        WORD TBANNER            ; MBANNER
        WORD TPROMPT            ; MPROMPT
        WORD TOVF               ; MOVF
        WORD TBIG               ; MBIG
        WORD TZERO              ; MZERO
        WORD TNOTOCT            ; MNOTOCT
        WORD TCLOSE             ; MCLOSE
        WORD TUNEXP             ; MUNEXP
        WORD TEND               ; MEND
        WORD TDEEP              ; MDEEP
        WORD TLONG              ; MLONG
        WORD THINT              ; MHINT
        WORD THELP1             ; MHELP1
        WORD THELP2
        WORD THELP3
        WORD THELP4
        WORD THELP5             ; MHELP5
        WORD 10D                ; RADIX
        WORD LOOP               ; XLOOP
        WORD DONE               ; XDONE
        WORD CRLF               ; XCRLF

        ORG 1000
        START GO

% The main loop. The first line is the command line; when it is empty the
% calculator greets and then reads line after line from the keyboard.
GO:     LDA GADDR
        COPY SA DB              ; B = G for the whole run
        JPL I XREAD,B
        JAZ MANY                ; nothing on the command line
        JPL I XNEXT,B           ; A = the line's result, printed
DONE:   MON 0

MANY:   SAA 1
        STA MODE,B
        LDX MBANNER,B
        MON 32
        JPL I XCRLF,B
LOOP:   LDX MPROMPT,B
        MON 32
        JPL I XREAD,B
        JAZ DONE                ; an empty line ends the calculator
        JPL I XNEXT,B
        JMP LOOP

GADDR:  WORD G

% READ: reads one line with MON 1 from file 0 into LINE, ended by a 0 byte,
% and sets POS to its first character that is not a blank. A = that
% character (0 for a line of blanks). LONG = 1 when characters were dropped.
READ:   SAA 0
        STA LEN,B
        STA POS,B
        STA LONG,B
RD1:    SAT CMDLINE
        MON 1
        JMP RDEND               ; error return: no more input
        AND M177                ; drop the parity bit
        SAT CR
        SKP IF DA EQL ST        ; the line ends with a carriage return
        JMP RD2
        JMP RDEND
RD2:    STA TMP,B
        LDX LEN,B
        SAT MAXLEN
        SKP IF DX LST ST
        JMP RD3                 ; the line is full: drop the character
        LDT LINEA,B
        LDA TMP,B
        SBYT                    ; byte X of LINE = A
        MIN LEN,B
        JMP RD1
RD3:    SAA 1
        STA LONG,B
        JMP RD1
RDEND:  LDX LEN,B               ; end the line with a 0 byte
        LDT LINEA,B
        SAA 0
        SBYT
        JMP PEEK                ; PEEK returns to READ's caller
M177:   WORD 177

% NEXT: evaluates the line in LINE and prints the result (or the fault).
NEXT:   COPY SL DA
        JPL I XPUSH,B
        LDA LONG,B
        JAZ NX1
        LDX MLONG,B
        JMP I XFAIL,B
NX1:    JPL I XPEEK,B
        SAT #?
        SKP IF DA EQL ST
        JMP NX2
        SAX MHELP1              ; "?": the rules, five lines
NXHLP:  STX TMP,B
        COPY SX DA
        COPY SB DX
        RADD SA DX              ; X = address of the message pointer
        LDX 0,X
        MON 32
        JPL I XCRLF,B
        LDX TMP,B
        AAX 1
        SAT MHELP5+1
        SKP IF DX EQL ST
        JMP NXHLP
        JMP NXRET
NX2:    JPL I XEXPR,B
        STA MEM,B               ; the result becomes M
        SAA 10D
        STA RADIX,B
        JPL I XPEEK,B
        JAZ NXPRT               ; end of line: decimal
        SAT #,
        SKP IF DA EQL ST
        JMP I XUNEXP,B
        MIN POS,B
        JPL I XPEEK,B
        SAT #D
        SKP IF DA UEQ ST
        JMP NXRAD
        SAT #O
        SKP IF DA UEQ ST
        JMP NXOCT
        SAT #H
        SKP IF DA UEQ ST
        JMP NXHEX
        SAT #B
        SKP IF DA EQL ST
        JMP I XUNEXP,B
        SAA 2                   ; binary
        JMP NXSET
NXOCT:  SAA 10                  ; octal
        JMP NXSET
NXHEX:  SAA 20                  ; hexadecimal
NXSET:  STA RADIX,B
NXRAD:  MIN POS,B               ; past the radix letter
        JPL I XPEEK,B
        JAZ NXPRT
        JMP I XUNEXP,B          ; something after the radix
NXPRT:  LDA MEM,B
        LDT RADIX,B
        MON 35                  ; print A in radix T
        JPL CRLF
NXRET:  JPL I XPOP,B
        COPY ST DP

% CRLF: a new line on the terminal.
CRLF:   SAA CR
        SAT TERMINAL
        MON 2
        JMP *+1
        SAA LF
        MON 2
        JMP *+1
        EXIT

% PUSH: puts A on the stack; A and T are kept.
PUSH:   LDX SPTR,B
        STA 0,X
        AAX 1
        STX SPTR,B
        COPY ST DD              ; keep T
        LDT STKTOP,B
        SKP IF DX LST ST
        JMP I XDEEP,B           ; the stack is full
        COPY SD DT
        EXIT

% POP: T = the word on top of the stack; A is kept.
POP:    LDX SPTR,B
        AAX -1
        STX SPTR,B
        LDT 0,X
        EXIT

% PEEK: skips blanks; A = the character at POS (0 at the end of the line).
PEEK:   LDX POS,B
        LDT LINEA,B
PK1:    LBYT
        AAA -40
        JAF PK2
        AAX 1                   ; a blank
        JMP PK1
PK2:    AAA 40
        STX POS,B
        EXIT

% EXPR: A = the value of the expression at POS.
EXPR:   COPY SL DA
        JPL I XPUSH,B           ; the return address
        JPL I XTERM,B           ; A = the first term
EX1:    JPL I XPUSH,B           ; the value so far
        JPL I XPEEK,B
        SAT #+
        SKP IF DA EQL ST
        JMP EX2
        MIN POS,B
        JPL I XTERM,B
        STA TMP,B
        JPL I XPOP,B
        COPY ST DA
        ADD TMP,B               ; left + right
        BSKP ZRO SSQ
        JMP I XOVF,B
        JMP EX1
EX2:    SAT #-
        SKP IF DA EQL ST
        JMP EXEND
        MIN POS,B
        JPL I XTERM,B
        STA TMP,B
        JPL I XPOP,B
        COPY ST DA
        SUB TMP,B               ; left - right
        BSKP ZRO SSQ
        JMP I XOVF,B
        JMP EX1
EXEND:  JPL I XPOP,B            ; the value
        COPY ST DA
        JPL I XPOP,B            ; the return address
        COPY ST DP

% TERM: A = the value of the term at POS.
TERM:   COPY SL DA
        JPL I XPUSH,B
        JPL I XFACTOR,B
TE1:    JPL I XPUSH,B
        JPL I XPEEK,B
        SAT #*
        SKP IF DA EQL ST
        JMP TE2
        MIN POS,B
        JPL I XFACTOR,B
        JPL I XPOP,B
        RMPY ST DA              ; AD = left * right, 32 bits
        STA TMP,B               ; the product fits when A is the sign of D
        COPY SD DA
        SHA SHR 17
        SUB TMP,B
        JAZ *+2
        JMP I XOVF,B
        COPY SD DA
        JMP TE1
TE2:    SAT #/
        SKP IF DA EQL ST
        JMP TE3
        JPL TEDIV
        JMP TE1                 ; A = the quotient
TE3:    SAT #%
        SKP IF DA EQL ST
        JMP TEEND
        JPL TEDIV
        COPY SD DA              ; A = the remainder
        JMP TE1
TEEND:  JPL I XPOP,B
        COPY ST DA
        JPL I XPOP,B
        COPY ST DP

% TEDIV: reads the next factor and divides the value on the stack by it:
% A = quotient, D = remainder. Called from TERM only, through L kept in
% the stack.
TEDIV:  COPY SL DA
        JPL I XPUSH,B
        MIN POS,B
        JPL I XFACTOR,B
        JAF *+2
        JMP I XZERO,B           ; division by zero
        STA TMP,B               ; the divisor
        JPL I XPOP,B            ; T = TEDIV's return address
        COPY ST DA
        STA VALW,B
        JPL I XPOP,B            ; T = the dividend
        COPY ST DD
        COPY ST DA
        SHA SHR 17              ; AD = the dividend as 32 bits
        LDT TMP,B
        BSET ZRO SSZ
        RDIV ST                 ; A = AD / T, D = the remainder
        BSKP ZRO SSZ
        JMP I XOVF,B            ; -32768 / -1
        LDT VALW,B
        COPY ST DP

% FACTOR: A = the value of the factor at POS.
FACTOR: COPY SL DA
        JPL I XPUSH,B
        JPL I XPEEK,B
        SAT #(
        SKP IF DA EQL ST
        JMP FA2
        MIN POS,B
        JPL I XEXPR,B
        JPL I XPUSH,B
        JPL I XPEEK,B
        SAT #)
        SKP IF DA EQL ST
        JMP I XCLOSE,B
        MIN POS,B
        JPL I XPOP,B
        COPY ST DA
        JMP FARET
FA2:    SAT #-
        SKP IF DA EQL ST
        JMP FA3
        MIN POS,B
        JPL I XFACTOR,B
        STA TMP,B
        SAA 0
        SUB TMP,B               ; 0 - value
        BSKP ZRO SSQ
        JMP I XOVF,B
        JMP FARET
FA3:    SAT #+
        SKP IF DA EQL ST
        JMP FA4
        MIN POS,B
        JPL I XFACTOR,B
        JMP FARET
FA4:    SAT #M
        SKP IF DA EQL ST
        JMP FA5
        MIN POS,B
        LDA MEM,B
        JMP FARET
FA5:    AAA -60                 ; a digit?
        JAN FAUNEX
        SAT 12
        SKP IF DA LST ST
FAUNEX: JMP I XUNEXP,B
        JPL I XNUMBER,B
FARET:  JPL I XPOP,B
        COPY ST DP

% NUMBER: A = the value of the number whose first digit is at POS.
NUMBER: COPY SL DA
        JPL I XPUSH,B
        LDX POS,B
        STX NSTART,B
NU1:    LDT LINEA,B             ; find the end of the digits
        LBYT
        AAA -60
        JAN NU2
        SAT 12
        SKP IF DA LST ST
        JMP NU2
        AAX 1
        JMP NU1
NU2:    STX NEND,B
        SAA 0
        STA VALW,B
        LDT LINEA,B
        LBYT
        SAT #B
        SKP IF DA EQL ST
        JMP DEC
        AAX 1                   ; octal: past the B
        STX POS,B
        LDX NSTART,B
OC1:    LDT NEND,B
        SKP IF DX LST ST
        JMP NUEND
        LDT LINEA,B
        LBYT
        AAA -60
        STA TMP,B
        SAT 10
        SKP IF DA LST ST
        JMP I XNOTOCT,B         ; 8 or 9
        LDA VALW,B
        AND HIGH3,B
        JAZ *+2
        JMP I XBIG,B            ; more than 16 bits
        LDA VALW,B
        SHA 3
        ORA TMP,B
        STA VALW,B
        AAX 1
        JMP OC1
DEC:    STX POS,B
        LDX NSTART,B
DE1:    LDT NEND,B
        SKP IF DX LST ST
        JMP NUEND
        LDT LINEA,B
        LBYT
        AAA -60
        STA TMP,B
        LDA VALW,B
        MPY TEN,B               ; value * 10 + digit
        BSKP ZRO SSQ
        JMP I XBIG,B
        ADD TMP,B
        BSKP ZRO SSQ
        JMP I XBIG,B
        STA VALW,B
        AAX 1
        JMP DE1
NUEND:  LDA VALW,B
        JPL I XPOP,B
        COPY ST DP

% The faults. Each prints its message and what to do, empties the stack
% and goes on with the next line (or ends, for a command-line line).
EOVF:   LDX MOVF,B
        JMP FAIL
EBIG:   LDX MBIG,B
        JMP FAIL
EZERO:  LDX MZERO,B
        JMP FAIL
ENOTOCT: LDX MNOTOCT,B
        JMP FAIL
ECLOSE: LDX MCLOSE,B
        JMP FAIL
EDEEP:  LDX MDEEP,B
        JMP FAIL
EUNEXP: JPL I XPEEK,B           ; A = the character that does not fit
        JAF EUN1
        LDX MEND,B              ; the line ended too early
        JMP FAIL
EUN1:   STA TMP,B
        LDX MUNEXP,B
        MON 32
        LDA TMP,B
        SAT TERMINAL
        MON 2
        JMP *+1
        LDX MHINT,B
FAIL:   MON 32
        JPL I XCRLF,B
        LDA STKBOT,B            ; empty the stack
        STA SPTR,B
        LDA MODE,B
        JAF *+2
        JMP I XDONE,B
        JMP I XLOOP,B

TBANNER: TEXT 'KESTREL LINE CALCULATOR. TYPE ? FOR HELP, AN EMPTY LINE TO END.'
TPROMPT: TEXT 'CALC> '
THELP1: TEXT 'TYPE AN EXPRESSION, SUCH AS (7-2)*6 OR -M/3, THEN RETURN.'
THELP2: TEXT 'NUMBERS ARE DECIMAL (30), OR OCTAL WITH A B AFTER THEM (36B).'
THELP3: TEXT 'OPERATORS: + - * / (QUOTIENT) % (REMAINDER) AND ( ).'
THELP4: TEXT 'M IS THE PREVIOUS RESULT. VALUES RUN FROM -32768 TO 32767.'
THELP5: TEXT 'END WITH ,D ,O ,H OR ,B FOR DECIMAL, OCTAL, HEX OR BINARY.'
TOVF:   TEXT '?? OVERFLOW: THE RESULT IS OUTSIDE -32768 TO 32767.'
TBIG:   TEXT '?? NUMBER TOO BIG: AT MOST 32767, OR 177777B IN OCTAL.'
TZERO:  TEXT '?? DIVISION BY ZERO.'
TNOTOCT: TEXT '?? AN OCTAL NUMBER (ENDED BY B) HAS ONLY THE DIGITS 0 TO 7.'
TCLOSE: TEXT '?? A ) IS MISSING.'
TUNEXP: TEXT '?? UNEXPECTED '
TEND:   TEXT '?? THE LINE ENDS TOO EARLY: SOMETHING IS MISSING AT THE END.'
TDEEP:  TEXT '?? TOO MANY NESTED PARENTHESES.'
TLONG:  TEXT '?? LINE TOO LONG: AT MOST 100 CHARACTERS.'
THINT:  TEXT '. TYPE ? FOR HELP.'

LINE:   BLOCK 51D               ; MAXLEN characters and the 0 byte
STACK:  BLOCK STACKLEN
