% memory_traffic.asm: the memory traffic benchmark. X-relative and
% B-relative loads and stores over a 4K-word array: each pass adds an
% increment to every element and sums the elements. Passes come in pairs,
% the first through the normal page table, the second with STS bit 0 set,
% so that its data references go through the alternative page table (the
% operator chooses it before the run). The number of pass pairs is read
% from the command line in octal, 3000 when none is given: about 113
% million instructions.

DEFAULT = 3000                  ; pass pairs when the command line has none
ARRAY   = 40000                 ; the 4K-word array, in the data bank
WORK    = 60000                 ; the increment (word 0) and the sum (word 1)
ELEMENTS = 10000                ; 4096 words

        ORG 1000
        START GO

GO:     JPL GETNUM              ; A = count from the command line
        JAF HAVE
        LDA DEFCNT
HAVE:   STA PAIRS
        LDA WORKP
        COPY SA DB              ; B = the work area
PAIR:   BSET ZRO SSPTM          ; normal page table
        JPL PASS
        BSET ONE SSPTM          ; alternative page table
        JPL PASS
        BSET ZRO SSPTM
        LDA PAIRS
        ADD MINUS1
        STA PAIRS
        JAF PAIR
        MON 0

% PASS: one pass over the array in the data bank that STS bit 0 selects.
PASS:   COPY SL DD              ; keep the return address
        SAA 3
        STA 0,B                 ; the increment
        LDX ARRAYP              ; X = address of the first element
        LDT ENDP                ; T = address after the last one
ELEM:   LDA 0,X                 ; element
        ADD 0,B                 ; + increment
        STA 0,X
        LDA 1,B                 ; sum
        ADD 0,X                 ; + element
        STA 1,B
        AAX 1
        SKP IF DX EQL ST        ; the end of the array
        JMP ELEM
        COPY SD DP              ; return

DEFCNT: WORD DEFAULT
PAIRS:  WORD 0
MINUS1: WORD 177777
WORKP:  WORD WORK
ARRAYP: WORD ARRAY
ENDP:   WORD ARRAY+ELEMENTS

        INCLUDE "getnum.asm"    ; GETNUM: the count on the command line
