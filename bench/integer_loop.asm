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

% GETNUM: reads the command line with MON 1 (file 0) up to its carriage
% return and returns in A the octal number written in it (0 when none).
% Characters other than the digits 0-7 are skipped.
GETNUM: STZ NUMBER
NEXTCH: SAT 0
        MON 1
        JMP GOTNUM              ; no more input
        BSET ZRO 7 DA           ; drop the parity bit
        SAT 15
        SKP IF DA EQL ST        ; carriage return ends the line
        JMP DIGIT
        JMP GOTNUM
DIGIT:  SAT 60
        SKP IF DA MGRE ST       ; below 0: skip it
        JMP NEXTCH
        SAT 70
        SKP IF DA MLST ST       ; 8 and above: skip it
        JMP NEXTCH
        AAA -60
        COPY SA DT
        LDA NUMBER
        SHA 3
        RADD ST DA
        STA NUMBER
        JMP NEXTCH
GOTNUM: LDA NUMBER
        EXIT
NUMBER: WORD 0
