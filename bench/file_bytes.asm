% file_bytes.asm: the file benchmark for byte transfers. Each round writes
% the file BYTES:DATA byte by byte with MON 2, 64 KB of it, and reads it back
% byte by byte with MON 1 up to its end. The number of rounds is read from
% the command line in octal, 20 (16) when none is given: 2 MB moved, 1 MB to
% the file and 1 MB from it, in about 7.3 million instructions.

DEFAULT = 20                    ; rounds when the command line has none
WRITE   = 0                     ; access codes: sequential write
READ    = 1                     ;   and sequential read
EOFCODE = 3                     ; the error code at the end of the file

        ORG 1000
        START GO

GO:     JPL GETNUM              ; A = count from the command line
        JAF HAVE
        LDA DEFCNT
HAVE:   STA ROUNDS
        LDX MAKEP               ; make the file
        LDA TYPEP
        SAT WRITE
        MON 50
        JMP FAULT
        COPY SA DT
        MON 43                  ; and close it
        JMP FAULT
ROUND:  LDX NAMEP               ; write 65536 bytes
        LDA TYPEP
        SAT WRITE
        MON 50
        JMP FAULT
        STA FILE
        SAX 0
        LDT FILE
PUT:    COPY SX DA              ; the byte: the low byte of the count
        MON 2
        JMP FAULT
        AAX 1
        JXZ PUTEND
        JMP PUT
PUTEND: MON 43                  ; close (T is the file)
        JMP FAULT
        LDX NAMEP               ; read them back to the end of the file
        LDA TYPEP
        SAT READ
        MON 50
        JMP FAULT
        COPY SA DT
GET:    MON 1
        JMP GETEND
        JMP GET
GETEND: SAT EOFCODE
        SKP IF DA EQL ST        ; the end of the file, or an error
        JMP FAULT
        LDT FILE
        MON 43
        JMP FAULT
        LDA ROUNDS
        AAA -1
        STA ROUNDS
        JAF ROUND
        MON 0
FAULT:  MON 64                  ; the text of the error code in A
        MON 0

DEFCNT: WORD DEFAULT
ROUNDS: WORD 0
FILE:   WORD 0
MAKEP:  WORD MAKE
NAMEP:  WORD NAME
TYPEP:  WORD TYPE
MAKE:   TEXT '"BYTES"'          ; the quotes make the file
NAME:   TEXT 'BYTES'
TYPE:   TEXT 'DATA'

        INCLUDE "getnum.asm"    ; GETNUM: the count on the command line
