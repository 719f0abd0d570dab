% monitor_calls.asm: the monitor-call benchmark: the cost of a MON
% instruction's dispatch. Each round writes a byte with MON 2 to file 0,
% which takes it and throws it away, and makes the empty call MON 14. The
% round runs 32768 times a pass (4 instructions each); the number of passes
% is read from the command line in octal, 1500 when none is given: about
% 109 million instructions.

DEFAULT = 1500                  ; passes when the command line has none
SINK    = 0                     ; the file number that takes bytes and drops them

        ORG 1000
        START GO

GO:     JPL GETNUM              ; A = count from the command line
        JAF HAVE
        LDA DEFCNT
HAVE:   STA PASSES
PASS:   LDX FIRST               ; X = 100000: 32768 rounds
        SAA 101
ROUND:  SAT SINK
        MON 2                   ; the byte in A to file 0
        JMP FAULT               ; error return
        MON 14                  ; no operation
        JMP FAULT
        JNC ROUND               ; X = X + 1, again while negative
        LDA PASSES
        AAA -1
        STA PASSES
        JAF PASS
        MON 0
FAULT:  MON 0

DEFCNT: WORD DEFAULT
PASSES: WORD 0
FIRST:  WORD 100000

        INCLUDE "getnum.asm"    ; GETNUM: the count on the command line
