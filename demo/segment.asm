% segment.asm: the program of SEGA and SEGB, the same in both segments.
% Each segment's source sets ENDS (1: this segment ends the program after
% the last round), includes this file, and then gives TOWN and TPART, its
% own name and the other's, in the program bank. sega.asm explains the
% design.

TERMINAL = 1
CR       = 15
LF       = 12
ROUNDS   = 3

        ORG 1000
        START GO

ROUND:  BLOCK 2                 ; A and D at RESUME; the round in +1
MEANT:  WORD 0
OWNN:   WORD 0
OTHER:  WORD 0
NV:     WORD 0
C7:     WORD 7
ENDSW:  WORD ENDS
NAMEP:  WORD 0                  ; MON 322: the address of the name
NAMEPA: WORD NAMEP
SWLIST: WORD SWNUM              ; MON 323: the number, by reference
SWNUM:  WORD 0
SWLA:   WORD SWLIST
POWN:   WORD TOWN
PPART:  WORD TPART
PSEGM:  WORD TSEGM
PROUND: WORD TROUND
PTO:    WORD TTO
PDONE:  WORD TDONE
PNOSW:  WORD TNOSW
PNOSW2: WORD TNOSW2
PNOSW3: WORD TNOSW3
PNOSEG: WORD TNOSEG
PHINT:  WORD THINT
PSWIT:  WORD SWITCH
PDIGS:  WORD DIGS
DIGS:   BLOCK 6

% Started by name: round 1, this segment's turn.
GO:     SAA 1
        COPY SA DD
        JMP TURN

% Switched to: D = the round, T = the segment meant.
RESUME: STD ROUND               ; (A and D)
        STT MEANT
        JPL OWNNUM              ; A = this segment's number
        SUB MEANT
        JAZ RS1
        JPL NL                  ; the switch was not made
        LDX PNOSW
        MON 32
        LDA MEANT
        JPL PUTN
        LDX PNOSW2
        MON 32
        LDA MEANT
        JPL PUTN
        LDX PNOSW3
        MON 32
        JPL NL
        MON 0
RS1:    LDA ROUND+1
        COPY SA DD

% TURN: D = the round. Prints this segment's line and hands over.
TURN:   COPY SD DA
        STA ROUND+1
        JPL OWNNUM
        STA OWNN
        JAF *+2                 ; (0 is no segment number either)
        JMP OWNBAD
        JAN OWNBAD
        LDX POWN
        MON 32
        LDX PSEGM
        MON 32
        LDA OWNN
        JPL PUTN
        LDX PROUND
        MON 32
        LDA ROUND+1
        JPL PUTN
        LDA ROUND+1             ; the last round ends here?
        SAT ROUNDS
        SKP IF DA EQL ST
        JMP TU1
        LDA ENDSW
        JAZ TU1
        LDX PDONE
        MON 32
        JPL NL
        MON 0
TU1:    LDX PPART               ; the other segment's number
        STX NAMEP
        LDA NAMEPA
        MON 322
        JMP *+1
        STA OTHER
        STA SWNUM
        JAN NOSEG               ; -1: no such segment, -2: no description
        LDX PTO
        MON 32
        LDX PPART
        MON 32
        LDX PSEGM
        MON 32
        LDA OTHER
        JPL PUTN
        JPL NL
        LDA ROUND+1             ; the round after the other segment's turn
        AAA ENDS
        COPY SA DD
        LDT OTHER
        LDA SWLA
        JMP I PSWIT

OWNBAD: LDX POWN                ; this segment is not described
        JMP NS1
NOSEG:  JPL NL                  ; the other segment is not described
        LDX PPART
NS1:    STX NAMEP
        LDX PNOSEG
        MON 32
        LDX NAMEP
        MON 32
        LDX PHINT
        MON 32
        JPL NL
        MON 0

% OWNNUM: A = this segment's number, by its name (MON 322).
OWNNUM: LDX POWN
        STX NAMEP
        LDA NAMEPA
        MON 322
        JMP *+1
        EXIT

% PUTN: writes A in octal.
PUTN:   STA NV
        SAX 0
PN1:    LDA NV                  ; the digits, lowest first
        AND C7
        STA I PDIGS,X
        LDA NV
        SHA ZIN SHR 3
        STA NV
        AAX 1
        JAF PN1
PN2:    AAX -1                  ; most significant first
        LDA I PDIGS,X
        AAA 60
        SAT TERMINAL
        MON 2
        JMP *+1
        JXZ PN3
        JMP PN2
PN3:    EXIT

        INCLUDE "newline.asm"   ; NL: a new line on the terminal

TSEGM:  TEXT ', SEGMENT '
TROUND: TEXT ', ROUND '
TTO:    TEXT ': SWITCHING TO '
TDONE:  TEXT ': DONE.'
TNOSW:  TEXT '?? THE SWITCH TO SEGMENT '
TNOSW2: TEXT ' DID NOT HAPPEN: IS (SYSTEM)SEGFILE_'
TNOSW3: TEXT '.SGNO THERE? MAKE RUN WRITES IT (SEE README.md).'
TNOSEG: TEXT '?? NO SEGMENT NAMED '
THINT:  TEXT ' IN (SYSTEM)SEGFILE.SIN3. MAKE RUN WRITES IT (SEE README.md).'

% The switch point, at the same address in both segments.
        ORG 2000
SWITCH: MON 323                 ; A = the address of the number's address
        JMP I *+1               ; to RESUME of the segment now in memory
        WORD RESUME

        BANK DATA               ; the data bank of the 2-bank image
        WORD 0
