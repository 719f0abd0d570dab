% sega.asm: segment SEGA of KESTREL's two-segment program.
%     <>SEGA
% SEGA and SEGB are the two segments of one program; each is a 2-bank
% image in (SYSTEM), and the segment description file
% (SYSTEM)SEGFILE.SIN3 names them:
%     1 SEGA SEGA
%     2 SEGB SEGB
% (number, segment name, program file). Their SegmentImage files
% (SYSTEM)SEGFILE_1.SGNO and SEGFILE_2.SGNO are written by the shell
% command load-segment; `make run` lays all of it out.
%
% Typing SEGA loads SEGA.PROG, which KESTREL sees is segment 1. SEGA
% finds the number of SEGB with MON 322 and switches to it with MON 323,
% which brings SEGB's words into memory; SEGB switches back the same way.
% The turns go on for three rounds; SEGB ends the program.
%
% The switch: MON 323 returns to the word after it, which is by then the
% other segment's. So both segments hold, at SWITCH, the MON 323 followed
% by a jump to their own RESUME. All that passes from one segment to the
% other is in registers: D the round, T the number of the segment
% switched to, which RESUME checks against its own (a switch that could
% not be made leaves the same segment in memory).
%
% segment.asm holds the program; sega.asm and segb.asm set ENDS and the
% names.
% Both are assembled into 2-bank images (BANK DATA in segment.asm), so
% that each SegmentImage holds the whole program bank and no data area is
% empty.

ENDS     = 0                    ; 1: this segment ends after the last round

        INCLUDE "segment.asm"   ; the program, the same in both segments

        BANK PROG
TOWN:   TEXT 'SEGA'             ; this segment's name
TPART:  TEXT 'SEGB'             ; the other segment's
