% greeting.asm: prints a greeting on the terminal one byte at a time with
% MON 2 and ends with MON 0.
%
% Build:  nd-asm greeting.asm -o GREETING.PROG
% Run:    GREETING   (at the KESTREL prompt, in a user that holds the image)

TERMINAL = 1                    ; file number of the terminal
APOS     = #'                   ; the apostrophe that ends an ND string

        ORG 1000
        START GO

GO:     SAX 0                   ; X = number of the next byte of the text
NEXT:   LDT TEXTP               ; T = word address of the text
        LBYT                    ; A = byte X of the text
        SAT APOS
        SKP IF DA UEQ ST        ; the apostrophe ends the text
        JMP DONE
        SAT TERMINAL
        MON 2                   ; output the byte in A to file T
        JMP DONE                ; error return
        AAX 1
        JMP NEXT
DONE:   MON 0                   ; end the program

TEXTP:  WORD GREET
GREET:  TEXT 'HELLO FROM THE ND-100\r\n'
