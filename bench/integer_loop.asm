% integer_loop.asm: the integer loop benchmark. Load, add, store and a
% conditional jump, every operand P-relative. The inner loop runs 65536
% times (7 instructions each); the outer count is read from the command
% line in octal (INTLOOP 20 runs 20 octal outer passes), 1000 when none is
% given: about 235 million instructions.

DEFAULT = 1000                  ; outer passes when the command line has none

        ORG 1000
        START GO

GO:     JPL GETNUM              ; A = count from the command line
        JAF HAVE
        LDA DEFCNT
HAVE:   STA OUTER
OUTLP:  STZ LEFT                ; 65536 inner passes
INNER:  LDA SUM
        ADD STEP
        STA SUM
        LDA LEFT
        ADD MINUS1
        STA LEFT
        JAF INNER
        LDA OUTER
        ADD MINUS1
        STA OUTER
        JAF OUTLP
        MON 0

DEFCNT: WORD DEFAULT
OUTER:  WORD 0
LEFT:   WORD 0
SUM:    WORD 0
STEP:   WORD 3
MINUS1: WORD 177777

        INCLUDE "getnum.asm"    ; GETNUM: the count on the command line
