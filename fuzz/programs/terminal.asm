% terminal.asm: a fuzz seed that writes TDV 2215 sequences with MON 2 and
% MON 22 on terminal type 52, then reads a byte.
        ORG 1000
        START GO

GO:     SAA 52                  ; terminal type 52
        SAT 1
        MON 17
        JMP STOP
        SAX 0
NEXT:   LDT TEXTP
        LBYT
        SAT 47
        SKP IF DA UEQ ST
        JMP EIGHT
        SAT 1
        MON 2
        JMP STOP
        AAX 1
        JMP NEXT
EIGHT:  LDA W1
        LDD W2
        LDX W4
        SAT 1
        MON 22
        JMP STOP
        SAT 1
        MON 1
        JMP STOP
STOP:   MON 0

W1:     WORD 15533
W2:     WORD 31073
W4:     WORD 31110
TEXTP:  WORD SEQ
SEQ:    TEXT 33, "[2J", 33, "[5;10H", 33, "[7mX", 33, "[0m", 33, "[3L", "'"
