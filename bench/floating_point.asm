% floating_point.asm: the floating-point benchmark. Each round turns an
% integer into a floating-point number with NLZ, multiplies, adds and
% divides it with FMU, FAD and FDV, turns it back with DNZ and sums the
% results. The round runs 65536 times a pass (12 instructions each); the
% number of passes is read from the command line in octal, 240 when none is
% given: about 126 million instructions.

DEFAULT = 240                   ; passes when the command line has none

        ORG 1000
        START GO

GO:     JPL GETNUM              ; A = count from the command line
        JAF HAVE
        LDA DEFCNT
HAVE:   STA PASSES
        SAA 3                   ; the constants 3.0 and 7.0
        NLZ 20
        STD THREE
        SAA 7
        NLZ 20
        STD SEVEN
PASS:   STZ ROUND
ROUND1: LDA ROUND               ; A = the round number
        NLZ 20                  ; to floating point
        FMU THREE               ; x 3
        FAD SEVEN               ; + 7
        FDV THREE               ; / 3
        DNZ -20                 ; back to an integer
        ADD SUM
        STA SUM
        LDA ROUND
        AAA 1
        STA ROUND
        JAF ROUND1
        LDA PASSES
        AAA -1
        STA PASSES
        JAF PASS
        MON 0

DEFCNT: WORD DEFAULT
PASSES: WORD 0
ROUND:  WORD 0
SUM:    WORD 0
THREE:  WORD 0, 0
SEVEN:  WORD 0, 0

        INCLUDE "getnum.asm"    ; GETNUM: the count on the command line
