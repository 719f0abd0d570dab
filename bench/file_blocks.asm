% file_blocks.asm: the file benchmark for block transfers. It makes the
% 1 MB file BENCH:DATA (2048 blocks of 512 bytes) and then, each round,
% writes all its blocks with MON 10 and reads them back with MON 7, each
% block from and into a 256-word buffer. The number of rounds is read from
% the command line in octal, 62 (50) when none is given: 100 MB moved, 50 to
% the file and 50 from it.

DEFAULT = 62                    ; rounds when the command line has none
BLOCKS  = 4000                  ; 2048 blocks of 256 words
RANDOM  = 2                     ; access code: random access, read and write
ALLFILES = -1                   ; MON 43: close every file

        ORG 1000
        START GO

GO:     JPL GETNUM              ; A = count from the command line
        JAF HAVE
        LDA DEFCNT
HAVE:   STA ROUNDS
        LDX NAMEP               ; make and open the file
        LDA TYPEP
        SAT RANDOM
        MON 50
        JMP FAULT
        STA FILE
        LDA BLKN
        COPY SA DB              ; B = the number of blocks
ROUND:  STZ BLKNO               ; write every block
WRITE:  LDT FILE
        LDA BLKNO
        LDX BUFP
        MON 10
        JMP FAULT
        LDA BLKNO
        AAA 1
        STA BLKNO
        SKP IF DA EQL SB
        JMP WRITE
        STZ BLKNO               ; read them back
READ:   LDT FILE
        LDA BLKNO
        LDX BUFP
        MON 7
        JMP FAULT
        LDA BLKNO
        AAA 1
        STA BLKNO
        SKP IF DA EQL SB
        JMP READ
        LDA ROUNDS
        AAA -1
        STA ROUNDS
        JAF ROUND
        SAT ALLFILES
        MON 43
        JMP FAULT
        MON 0
FAULT:  MON 64                  ; the text of the error code in A
        MON 0

DEFCNT: WORD DEFAULT
ROUNDS: WORD 0
FILE:   WORD 0
BLKNO:  WORD 0
BLKN:   WORD BLOCKS
NAMEP:  WORD NAME
TYPEP:  WORD TYPE
BUFP:   WORD BUFFER
NAME:   TEXT '"BENCH"'          ; the quotes make the file
TYPE:   TEXT 'DATA'

        INCLUDE "getnum.asm"    ; GETNUM: the count on the command line

BUFFER: BLOCK 400               ; 256 words
