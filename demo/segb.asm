% segb.asm: segment SEGB of KESTREL's two-segment program, segment 2 in
% (SYSTEM)SEGFILE.SIN3. SEGA switches to it with MON 323; SEGB takes its
% turn, counts the round on and switches back, and after the last round
% ends the program. Typed by name, it starts with its own turn.
% The design is explained in sega.asm; the program is in segment.asm.

ENDS     = 1                    ; 1: this segment ends after the last round

        INCLUDE "segment.asm"   ; the program, the same in both segments

        BANK PROG
TOWN:   TEXT 'SEGB'             ; this segment's name
TPART:  TEXT 'SEGA'             ; the other segment's
