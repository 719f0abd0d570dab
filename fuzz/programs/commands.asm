% commands.asm: a fuzz seed that reads lines from its terminal (the @mode
% file while one runs) and hands each to SINTRAN with MON 70; it reads its
% command line with MON 1 from file 0 first, and ends at an empty line.
        ORG 1000
        START GO

GO:     SAT 0                   ; the command line, one byte
        MON 1
        JMP LINE
LINE:   SAX 0
READ:   SAT 1
        MON 1
        JMP STOP
        AND M177                ; without the parity bit
        SAT 15
        SKP IF DA EQL ST        ; CR ends the line
        JMP STORE
        JMP ENDL
STORE:  LDT BUFP
        SBYT
        AAX 1
        SAA 177
        SKP IF DX EQL SA        ; a long line is cut
        JMP READ
ENDL:   SAA 47                  ; the apostrophe that ends a command
        LDT BUFP
        SBYT
        SAA 0
        SKP IF DX EQL SA        ; an empty line ends the program
        JMP RUN
        JMP STOP
RUN:    LDA BUFP
        MON 70
        JMP LINE
        JMP LINE
STOP:   MON 0

M177:   WORD 177
BUFP:   WORD BUF
BUF:    BLOCK 200
