% bytes_blocks.asm: the byte and block benchmark. Each round copies a
% 128-byte text byte by byte with LBYT and SBYT, fills 128 bytes with
% BFILL, moves the text with MOVB and 64 words of it with MOVEW, and sums
% its bytes with LBYT. A pass is 256 rounds (about 1940 instructions each);
% the number of passes is read from the command line in octal, 400 when
% none is given: about 127 million instructions.

DEFAULT = 400                   ; passes when the command line has none
BYTES   = 200                   ; 128 bytes a copy

        ORG 1000
        START GO

GO:     JPL GETNUM              ; A = count from the command line
        JAF HAVE
        LDA DEFCNT
HAVE:   STA PASSES
PASS:   LDA ROUNDN
        STA ROUNDS
ROUND:  SAX 0                   ; copy byte by byte
        LDA COUNT
        COPY SA DB
COPY1:  LDT SRCP
        LBYT
        LDT DST1P
        SBYT
        AAX 1
        SKP IF DX EQL SB
        JMP COPY1
        SAA 52                  ; fill with '*', left byte first
        LDX DST2P
        LDT FILLN
        BFILL
        JMP FAULT               ; error return
        LDA SRCP                ; move the bytes, left byte first on both sides
        LDD MOVEN
        LDT MOVEF
        LDX DST3P
        MOVB
        JMP FAULT
        LDA WORDS               ; move 64 words within the normal page table
        COPY SA DL
        LDD SRCP
        LDT DST4P
        MOVEW 0
        SAX 0                   ; sum the bytes of the copy
        STZ SUM
        LDT DST1P
SUM1:   LBYT
        ADD SUM
        STA SUM
        LBYT
        SKP IF DA EQL SB        ; never equal: the bytes are letters
        AAX 1
        SKP IF DX EQL SB
        JMP SUM1
        LDA ROUNDS
        AAA -1
        STA ROUNDS
        JAF ROUND
        LDA PASSES
        AAA -1
        STA PASSES
        JAF PASS
        MON 0
FAULT:  MON 0

DEFCNT: WORD DEFAULT
PASSES: WORD 0
ROUNDS: WORD 0
ROUNDN: WORD 400                ; 256 rounds a pass
SUM:    WORD 0
COUNT:  WORD BYTES
SRCP:   WORD SOURCE
DST1P:  WORD DEST1
DST2P:  WORD DEST2
DST3P:  WORD DEST3
DST4P:  WORD DEST4
FILLN:  WORD BYTES              ; BFILL: left byte first, normal page table
MOVEN:  WORD 100000+BYTES       ; MOVB source: left byte first, page table 0
MOVEF:  WORD 100000             ; MOVB destination: left byte first, page table 0
WORDS:  WORD 100                ; MOVEW: 64 words

        INCLUDE "getnum.asm"    ; GETNUM: the count on the command line

SOURCE: TEXT "THE ND-100 MOVES BYTES AND WORDS: LBYT AND SBYT ONE AT A TIME, "
        TEXT "BFILL, MOVB AND MOVEW A BLOCK AT A TIME, ALL OF THEM FAST ONES."
DEST1:  BLOCK 100
DEST2:  BLOCK 100
DEST3:  BLOCK 100
DEST4:  BLOCK 100
