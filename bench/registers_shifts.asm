% registers_shifts.asm: the register and shift benchmark. Register
% operations (RADD in its forms, COPY, SWAP, RAND, RORA, REXO), the shifts of
% A and AD in all four modes, bit instructions and compare-and-skip. The loop
% runs 32768 times a pass (29 instructions each); the number of passes is
% read from the command line in octal, 200 when none is given: about 122
% million instructions.

DEFAULT = 200                   ; passes when the command line has none

        ORG 1000
        START GO

GO:     JPL GETNUM              ; A = count from the command line
        JAF HAVE
        LDA DEFCNT
HAVE:   STA PASSES
        SAA 123
        SAT 77
        SAD ZIN 20              ; D = 0
PASS:   LDX FIRST               ; X = 100000: 32768 rounds
LOOP:   RADD ST DA              ; A = A + T
        RADD ADC SD DT          ; T = T + D + C
        COPY SA DD              ; D = A
        RINC DT                 ; T = T + 1
        RSUB SD DA              ; A = A - D
        SWAP SA DL              ; A <-> L
        SWAP SL DA
        RORA SA DT              ; T = T OR A
        RAND SD DT              ; T = T AND D
        REXO SA DD              ; D = D XOR A
        SHA 3                   ; the four modes of A
        SHA ROT -5
        SHA ZIN -2
        SHA LIN 4
        SAD 7                   ; and of AD
        SAD ROT -11
        SAD ZIN -3
        SAD LIN 2
        BSET ONE 3 DA           ; bit instructions
        BSET BCM 5 DT
        BLDA 3 DA               ; K = bit 3 of A
        BORC 4 DD
        BSTA 1 DT
        BSKP ZRO 17 DX          ; X is negative: no skip
        AAA 1
        SKP IF DA EQL ST        ; compare and skip
        AAT 1
        SKP IF DT MGRE SA
        RINC DD
        JNC LOOP                ; X = X + 1, loop while negative
        LDA PASSES
        AAA -1
        STA PASSES
        JAF PASS
        MON 0

DEFCNT: WORD DEFAULT
PASSES: WORD 0
FIRST:  WORD 100000

        INCLUDE "getnum.asm"    ; GETNUM: the count on the command line
