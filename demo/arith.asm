% arith.asm: floating point and decimal arithmetic on the ND-100.
%     <>ARITH
% prints four small tables:
% - the ND floating-point words of 1.0 and -1.0, and 355/113 (NLZ, FDV);
% - Celsius to Fahrenheit, F = C * 9 / 5 + 32 (NLZ, FMU, FDV, FAD);
% - square roots by Newton's method, x = (x + a / x) / 2 (FDV, FAD, FMU);
% - factorials up to 25!, far beyond 16 bits, by repeated decimal addition
%   (ADDD), and an invoice in kroner and oere: prices packed from text
%   (PACK), added and subtracted (ADDD, SUBD), rounded to whole kroner
%   (SHDE) and compared with the budget (COMD).
%
% Floating numbers are the 32-bit ND format in A and D (A the high word,
% the sign in its bit 15, the magnitude not complemented). NLZ 20 turns
% the integer in A into a floating number, DNZ -20 a floating number into
% an integer, cut toward zero. The program prints them with decimals of
% its own: DNZ gives the integer part, and the fraction times 10, 100,
% 1000 or 10000, rounded, the decimals.
%
% Packed decimal numbers hold four digits a word, most significant first,
% and a sign position last (14 octal for +, 15 for -). A descriptor word
% gives a number's length in 4-bit positions (bits 4-0), its decimals
% (bits 9-5), rounding (bit 10) and how its sign is written (bits 13-11).
%
% B holds the address of the global words G for the whole run. Routines
% are called with JPL and keep their return address in a global word of
% their own; text goes to the terminal with MON 32 and MON 2.

TERMINAL = 1
CR       = 15
LF       = 12
OUTMAX   = 80D                  ; characters OUTBUF holds

G        = 400                  ; the global words, below the program

% Offsets of the global words from G (and from B).
OUTLEN  = 0                     ; characters waiting in OUTBUF
OBUFA   = 1                     ; word address of OUTBUF
TMP     = 2
UVAL    = 3                     ; PUTU: the value still to print
UMIN    = 4                     ; PUTU: at least this many digits
UCNT    = 5                     ; PUTU: digits made
URAD    = 6                     ; PUTU: the radix
RETU    = 7                     ; return addresses of the routines
RETF    = 10
RETP    = 11
RETN    = 12
RETW    = 13
FDECS   = 14                    ; PUTF: number of decimals (1 to 4)
IPART   = 15                    ; PUTF: the integer part
FRAC    = 16                    ; PUTF: the decimals as a number
PADDR   = 17                    ; PUTP: address of the packed number
PLEN    = 20                    ; PUTP: its length in 4-bit positions
PDEC    = 21                    ; PUTP: its decimals
NI      = 22                    ; PUTP, NIB: number of a 4-bit position
LEAD    = 23                    ; PUTP: 1 while leading zeros are dropped
NWORD   = 24                    ; NIB: the word holding the position
FIDX    = 25                    ; FIELD: the next character of OUTBUF
COUNT   = 26
N       = 27
K       = 30
C3      = 31
C17     = 32
C37     = 33
XF      = 34                    ; floating numbers, two words each
FIP     = 36
FHALF   = 40
FSCALE  = 42
F9      = 44
F5      = 46
F32     = 50
FA      = 52
FX      = 54
XPUTC   = 56                    ; routine addresses
XPUTU   = 57
XPUTF   = 60
XPUTP   = 61
XFIELD  = 62
XNL     = 63
XNIB    = 64
XOVER   = 65
POW10   = 66                    ; 1, 10, 100, 1000, 10000
DIGS    = 73                    ; PUTU: the digits, lowest first

        ORG G
        WORD 0                  ; OUTLEN
        WORD OUTBUF             ; OBUFA
        BLOCK 4                 ; TMP, UVAL, UMIN, UCNT
        WORD 10D                ; URAD
        BLOCK 22                ; RETU to K
        WORD 3                  ; C3
        WORD 17                 ; C17
        WORD 37                 ; C37
        BLOCK 22                ; XF to FX
        WORD PUTC               ; XPUTC
        WORD PUTU               ; XPUTU
        WORD PUTF               ; XPUTF
        WORD PUTP               ; XPUTP
        WORD FIELD              ; XFIELD
        WORD NL                 ; XNL
        WORD NIB                ; XNIB
        WORD OVER               ; XOVER
        WORD 1, 10D, 100D, 1000D, 10000D        ; POW10
        BLOCK 6                 ; DIGS

        ORG 1000
        START GO

GO:     LDA GADDR
        COPY SA DB              ; B = G for the whole run
        SAA 2                   ; FHALF = 1 / 2, for rounding
        NLZ 20
        STD FX,B
        SAA 1
        NLZ 20
        FDV FX,B
        STD FHALF,B
        JPL FLOATS
        JPL I XTEMPS
        JPL I XROOTS
        JPL I XFACTS
        JPL I XINVOI
        MON 0

GADDR:  WORD G
XTEMPS: WORD TEMPS
XROOTS: WORD ROOTS
XFACTS: WORD FACTS
XINVOI: WORD INVOICE

% FLOATS: the words of 1.0 and -1.0, and 355/113.
FLOATS: COPY SL DA
        STA RETN,B
        LDX MFLOAT
        MON 32
        JPL I XNL,B
        SAA 1
        NLZ 20                  ; A, D = 1.0
        JPL WORDS
        SAA -1
        NLZ 20                  ; A, D = -1.0
        JPL WORDS
        LDA C355
        NLZ 20
        STD FX,B
        LDA C113
        NLZ 20
        STD FA,B
        LDD FX,B
        FDV FA,B                ; 355 / 113
        STD FX,B
        LDX MPI
        MON 32
        LDD FX,B
        SAT 4
        JPL I XPUTF,B
        SAT 0
        JPL I XFIELD,B
        JPL I XNL,B
        LDA RETN,B
        COPY SA DP

% WORDS: prints the floating number in A, D and its two words in octal.
WORDS:  STD FX,B
        COPY SL DA
        STA RETW,B
        LDD FX,B
        SAT 1
        JPL I XPUTF,B
        SAT 6
        JPL I XFIELD,B
        LDX MIS
        MON 32
        SAA 10                  ; octal, six digits each
        STA URAD,B
        LDA FX,B
        SAT 6
        JPL I XPUTU,B
        SAA 40
        JPL I XPUTC,B
        LDA FX+1,B
        SAT 6
        JPL I XPUTU,B
        SAA 10D
        STA URAD,B
        SAT 0
        JPL I XFIELD,B
        LDX MINND
        MON 32
        JPL I XNL,B
        LDA RETW,B
        COPY SA DP

MFLOAT: WORD TFLOAT
MIS:    WORD TIS
MINND:  WORD TINND
MPI:    WORD TPI
TFLOAT: TEXT 'FLOATING POINT (NLZ, FAD, FSU, FMU, FDV, DNZ)'
TIS:    TEXT ' IS '
TINND:  TEXT ' IN ND FLOATING POINT'
TPI:    TEXT '  355 / 113 = '
C355:   WORD 355D
C113:   WORD 113D

% TEMPS: Celsius to Fahrenheit for the temperatures in CTAB.
TEMPS:  COPY SL DA
        STA RETN,B
        LDX MTEMP
        MON 32
        JPL I XNL,B
        SAA 9D
        NLZ 20
        STD F9,B
        SAA 5
        NLZ 20
        STD F5,B
        SAA 32D
        NLZ 20
        STD F32,B
        SAX 0
TE1:    STX K,B
        LDA CTABP
        RADD SA DX
        LDA 0,X                 ; C, the next temperature
        NLZ 20
        STD FX,B
        SAT 1
        JPL I XPUTF,B
        SAT 9D
        JPL I XFIELD,B
        LDD FX,B
        FMU F9,B
        FDV F5,B
        FAD F32,B
        SAT 1
        JPL I XPUTF,B
        SAT 12D
        JPL I XFIELD,B
        JPL I XNL,B
        LDX K,B
        AAX 1
        SAT CTABN
        SKP IF DX EQL ST
        JMP TE1
        LDA RETN,B
        COPY SA DP

MTEMP:  WORD TTEMP
TTEMP:  TEXT '  CELSIUS  FAHRENHEIT'
CTABP:  WORD CTAB
CTAB:   WORD -40D, -18D, 0, 37D, 100D
CTABN   = 5

% ROOTS: square roots by Newton's method, twenty steps from x = a.
ROOTS:  COPY SL DA
        STA RETN,B
        LDX MROOT
        MON 32
        JPL I XNL,B
        SAX 0
RO1:    STX K,B
        LDA RTABP
        RADD SA DX
        LDA 0,X                 ; a
        STA N,B
        NLZ 20
        STD FA,B
        STD FX,B                ; x = a
        SAA 20D
        STA COUNT,B
RO2:    LDD FA,B
        FDV FX,B                ; a / x
        FAD FX,B                ; + x
        FMU FHALF,B             ; / 2
        STD FX,B
        LDA COUNT,B
        AAA -1
        STA COUNT,B
        JAF RO2
        LDA N,B
        SAT 1
        JPL I XPUTU,B
        SAT 7
        JPL I XFIELD,B
        LDD FX,B
        SAT 3
        JPL I XPUTF,B
        SAT 14D
        JPL I XFIELD,B
        JPL I XNL,B
        LDX K,B
        AAX 1
        SAT RTABN
        SKP IF DX EQL ST
        JMP RO1
        LDA RETN,B
        COPY SA DP

MROOT:  WORD TROOT
TROOT:  TEXT '      A   SQUARE ROOT'
RTABP:  WORD RTAB
RTAB:   WORD 2, 3, 10D, 1000D, 30000D
RTABN   = 5

% FACTS: N! for N = 2 to 25 in the packed field FACT: a copy of FACT
% (ADDEND, the seven words after it) is added to it N - 1 times, so that
% FACT becomes N times what it was. 10!, 15!, 20! and 25! are printed.
FACTS:  COPY SL DA
        STA RETN,B
        LDX MDEC
        MON 32
        JPL I XNL,B
        SAA 2
        STA N,B
FA1:    LDX FACTA               ; ADDEND = FACT
        SAA 7
        STA COUNT,B
FA2:    LDA 0,X
        STA 7,X
        AAX 1
        LDA COUNT,B
        AAA -1
        STA COUNT,B
        JAF FA2
        LDA N,B
        AAA -1
        STA COUNT,B
FA3:    LDT FDESC               ; FACT = FACT + ADDEND
        COPY ST DD
        LDA FACTA
        LDX FACTA
        AAX 7
        ADDD
        JMP I XOVER,B           ; no room for the sum
        LDA COUNT,B
        AAA -1
        STA COUNT,B
        JAF FA3
        LDA N,B                 ; print N! when N is 10, 15, 20 or 25
        COPY SA DD
        SAA 0
        SAT 5
        RDIV ST                 ; D = N mod 5
        COPY SD DA
        JAF FA4
        LDA N,B
        AAA -10D
        JAN FA4
        LDA N,B
        SAT 1
        JPL I XPUTU,B
        SAA #!
        JPL I XPUTC,B
        SAT 5
        JPL I XFIELD,B
        LDX MEQ
        MON 32
        LDA FACTA
        LDT FDESC
        JPL I XPUTP,B
        SAT 0
        JPL I XFIELD,B
        JPL I XNL,B
FA4:    LDA N,B
        AAA 1
        STA N,B
        AAA -26D
        JAF FA1
        LDA RETN,B
        COPY SA DP

MDEC:   WORD TDEC
MEQ:    WORD TEQ
TDEC:   TEXT 'DECIMAL ARITHMETIC (ADDD, SUBD, COMD, PACK, SHDE)'
TEQ:    TEXT ' = '
FACTA:  WORD FACT
FDESC:  WORD 020034             ; packed sign, no decimals, 28 positions
FACT:   WORD 0, 0, 0, 0, 0, 0, 34       ; 1 and the plus sign (14)
ADDEND: BLOCK 7

% INVOICE: the prices are packed from text, added to TOTAL (the discount
% is taken off), the total is rounded to whole kroner and compared with
% the budget.
INVOICE: COPY SL DA
        STA RETN,B
        LDX MINV
        MON 32
        JPL I XNL,B
        SAX 0
IN1:    STX K,B
        LDA NAMESP              ; the item's name
        RADD SA DX
        LDX 0,X
        MON 32
        LDX K,B                 ; PRICE = its price, packed from text
        LDA TEXTSP
        RADD SA DX
        LDA 0,X
        LDT TDESC
        COPY ST DD
        LDX PRICEA
        LDT PDESC
        PACK
        JMP I XOVER,B
        LDA PRICEA
        LDT PDESC
        JPL I XPUTP,B
        SAT 10D
        JPL I XFIELD,B
        JPL I XNL,B
        LDA K,B
        AAA -DISCNO
        JAZ IN2
        JPL OPERANDS            ; TOTAL = TOTAL + PRICE
        ADDD
        JMP I XOVER,B
        JMP IN3
IN2:    JPL OPERANDS            ; TOTAL = TOTAL - PRICE
        SUBD
        JMP I XOVER,B
IN3:    LDX K,B
        AAX 1
        SAT ITEMS
        SKP IF DX EQL ST
        JMP IN1
        LDX MTOTAL
        MON 32
        LDA TOTALA
        LDT PDESC
        JPL I XPUTP,B
        SAT 10D
        JPL I XFIELD,B
        JPL I XNL,B
        LDT PDESC               ; ROUNDED = TOTAL, two decimals fewer
        COPY ST DD
        LDA TOTALA
        LDX ROUNDA
        LDT RDESC
        SHDE
        JMP I XOVER,B
        LDX MROUND
        MON 32
        LDA ROUNDA
        LDT RDESC
        JPL I XPUTP,B
        SAT 7                   ; under the kroner of the total
        JPL I XFIELD,B
        JPL I XNL,B
        LDX MBUDG
        MON 32
        LDA BUDGA
        LDT PDESC
        JPL I XPUTP,B
        SAT 10D
        JPL I XFIELD,B
        JPL I XNL,B
        JPL OPERANDS            ; compare TOTAL with BUDGET
        LDX BUDGA
        COMD                    ; A = 1, 0 or -1
        JMP I XOVER,B
        LDX MOVERB
        JAN IN4
        JAF IN5
        LDX MEXACT
        JMP IN5
IN4:    LDX MWITHIN
IN5:    MON 32
        JPL I XNL,B
        LDA RETN,B
        COPY SA DP

% OPERANDS: A = TOTAL with D its descriptor, X = PRICE with T its.
OPERANDS: LDT PDESC
        COPY ST DD
        LDA TOTALA
        LDX PRICEA
        EXIT

MINV:   WORD TINV
MTOTAL: WORD TTOTAL
MROUND: WORD TROUND
MBUDG:  WORD TBUDG
MWITHIN: WORD TWITHIN
MEXACT: WORD TEXACT
MOVERB: WORD TOVERB
NAMESP: WORD NAMES
TEXTSP: WORD TEXTS
ITEMS   = 4
DISCNO  = 3                     ; the discount, the fourth line
TDESC:  WORD 004111             ; text, sign after the digits, 2 decimals, 9
PDESC:  WORD 020114             ; packed sign, 2 decimals, 12 positions
RDESC:  WORD 022014             ; packed sign, rounded, no decimals, 12
PRICEA: WORD PRICE
TOTALA: WORD TOTAL
ROUNDA: WORD ROUND
BUDGA:  WORD BUDGET
TINV:   TEXT '  INVOICE'
TTOTAL: TEXT '    TOTAL         '
TROUND: TEXT '    ROUNDED       '
TBUDG:  TEXT '    BUDGET        '
TWITHIN: TEXT '    THE TOTAL IS WITHIN THE BUDGET.'
TEXACT: TEXT '    THE TOTAL IS THE BUDGET.'
TOVERB: TEXT '    THE TOTAL IS OVER THE BUDGET.'
NAMES:  WORD NTAPE, NDISK, NCARD, NDISC
NTAPE:  TEXT '    PAPER TAPE    '
NDISK:  TEXT '    DISK PACK     '
NCARD:  TEXT '    PUNCHED CARDS '
NDISC:  TEXT '    LESS DISCOUNT '
TEXTS:  WORD TTAPE, TDISK, TCARD, TDISC
TTAPE:  TEXT "00001999+"        ; kroner and oere, the sign after them
TDISK:  TEXT "00123450+"
TCARD:  TEXT "00000048+"
TDISC:  TEXT "00000500+"
PRICE:  BLOCK 3
TOTAL:  WORD 0, 0, 14           ; 0.00: eleven 0 digits and the plus sign
ROUND:  BLOCK 3
BUDGET: WORD 0, 445, 14         ; 1250.00: the digits 00000125000 and +

% OVER: a decimal instruction took its error return.
OVER:   LDX MOVER
        MON 32
        JPL I XNL,B
        MON 0
MOVER:  WORD TOVER
TOVER:  TEXT '?? A DECIMAL INSTRUCTION TOOK ITS ERROR RETURN.'

% PUTC: appends the character in A to OUTBUF (dropped when it is full).
PUTC:   LDX OUTLEN,B
        SAT OUTMAX
        SKP IF DX LST ST
        EXIT
        LDT OBUFA,B
        SBYT
        AAX 1
        STX OUTLEN,B
        EXIT

% FIELD: writes OUTBUF to the terminal, right-aligned in T columns, and
% empties it.
FIELD:  LDA OUTLEN,B
        RSUB SA DT              ; T = the blanks to put in front
        STT TMP,B
FD1:    LDA TMP,B
        JAN FD2
        JAZ FD2
        AAA -1
        STA TMP,B
        SAA 40
        SAT TERMINAL
        MON 2
        JMP *+1
        JMP FD1
FD2:    SAX 0
FD3:    STX FIDX,B
        LDT OUTLEN,B
        SKP IF DX LST ST
        JMP FD4
        LDT OBUFA,B
        LBYT
        SAT TERMINAL
        MON 2
        JMP *+1
        LDX FIDX,B
        AAX 1
        JMP FD3
FD4:    SAA 0
        STA OUTLEN,B
        EXIT

        INCLUDE "newline.asm"   ; NL: a new line on the terminal

% PUTU: appends the number in A, taken unsigned, in the radix URAD, with
% at least T digits (leading zeros).
PUTU:   STA UVAL,B
        STT UMIN,B
        COPY SL DA
        STA RETU,B
        SAX 0
PU1:    STX UCNT,B
        LDA UVAL,B
        COPY SA DD
        SAA 0
        LDT URAD,B
        RDIV ST                 ; A = the value / radix, D = the last digit
        STA UVAL,B
        COPY SD DA
        AAA 60
        LDX UCNT,B
        STA DIGS,B,X
        AAX 1
        LDA UVAL,B
        JAF PU1
PU2:    LDT UMIN,B
        SKP IF DX LST ST
        JMP PU3
        SAA 60
        STA DIGS,B,X
        AAX 1
        JMP PU2
PU3:    AAX -1                  ; the digits, most significant first
        STX UCNT,B
        LDA DIGS,B,X
        JPL I XPUTC,B
        LDX UCNT,B
        JXZ PU4
        JMP PU3
PU4:    LDA RETU,B
        COPY SA DP

% PUTF: appends the floating number in A, D with T decimals (1 to 4).
PUTF:   STT FDECS,B
        COPY SL DT
        STT RETF,B
        BSKP ONE 17 DA          ; negative: a minus, then the magnitude
        JMP PF1
        STD XF,B
        SAA #-
        JPL I XPUTC,B
        LDD XF,B
        BSET ZRO 17 DA
PF1:    STD XF,B
        DNZ -20                 ; A = the integer part
        STA IPART,B
        NLZ 20
        STD FIP,B
        LDX FDECS,B
        LDA POW10,B,X
        NLZ 20
        STD FSCALE,B
        LDD XF,B
        FSU FIP,B               ; the fraction
        FMU FSCALE,B
        FAD FHALF,B
        DNZ -20                 ; the decimals, rounded
        STA FRAC,B
        LDX FDECS,B
        LDT POW10,B,X
        SKP IF DA LST ST        ; rounded up to a whole one?
        JMP PF2
        JMP PF3
PF2:    RSUB ST DA
        STA FRAC,B
        MIN IPART,B
        JMP *+1
PF3:    LDA IPART,B
        SAT 1
        JPL I XPUTU,B
        SAA #.
        JPL I XPUTC,B
        LDA FRAC,B
        LDT FDECS,B
        JPL I XPUTU,B
        LDA RETF,B
        COPY SA DP

% PUTP: appends the packed decimal number at A described by T: its sign,
% its digits without leading zeros and its decimal point.
PUTP:   STA PADDR,B
        COPY SL DA
        STA RETP,B
        COPY ST DA
        AND C37,B
        STA PLEN,B
        COPY ST DA
        SHA SHR 5
        AND C37,B
        STA PDEC,B
        LDA PLEN,B              ; the sign, in the last position
        AAA -1
        STA NI,B
        JPL I XNIB,B
        AAA -15
        JAF PP1
        SAA #-
        JPL I XPUTC,B
PP1:    SAA 0
        STA NI,B
        SAA 1
        STA LEAD,B
PP2:    LDA PLEN,B              ; A = digits left
        AAA -1
        LDT NI,B
        RSUB ST DA
        JAZ PPEND
        STA TMP,B
        LDA PDEC,B              ; at the decimal point?
        JAZ PP4
        SUB TMP,B
        JAF PP4
        LDA LEAD,B
        JAZ PP3
        SAA 0                   ; no digit yet: a 0 before the point
        STA LEAD,B
        SAA #0
        JPL I XPUTC,B
PP3:    SAA #.
        JPL I XPUTC,B
PP4:    JPL I XNIB,B            ; A = the digit
        STA TMP,B
        LDA LEAD,B
        JAZ PP5
        LDA TMP,B
        JAZ PP6                 ; a leading zero
        SAA 0
        STA LEAD,B
PP5:    LDA TMP,B
        AAA 60
        JPL I XPUTC,B
PP6:    LDA NI,B
        AAA 1
        STA NI,B
        JMP PP2
PPEND:  LDA LEAD,B              ; only zeros: the number 0
        JAZ PP7
        SAA #0
        JPL I XPUTC,B
PP7:    LDA RETP,B
        COPY SA DP

% NIB: A = the 4-bit position NI of the packed number at PADDR.
NIB:    LDA NI,B
        SHA SHR 2
        ADD PADDR,B
        COPY SA DX
        LDA 0,X
        STA NWORD,B
        LDA NI,B
        AND C3,B
        COPY SA DX
        LDA NWORD,B
NB1:    SHA ROT 4               ; position X + 1 to the low end
        JXZ NB2
        AAX -1
        JMP NB1
NB2:    AND C17,B
        EXIT

OUTBUF: BLOCK 50
