% hello.asm: KESTREL's greeting. It prints a greeting, then the command line
% typed after the program's name, read with MON 1 from file 0:
%     <>HELLO WORLD
%     HELLO FROM KESTREL: WORLD
% Bytes go to the terminal with MON 2; MON 0 ends the program.

TERMINAL = 1                    ; file number of the terminal
COMMAND  = 0                    ; file number 0 reads the command line
APOS     = #'                   ; the apostrophe that ends an ND string
CR       = 15

        ORG 1000
        START GO

GO:     SAX 0                   ; X = number of the next byte of the text
NEXT:   LDT TEXTP
        LBYT                    ; A = byte X of the greeting
        SAT APOS
        SKP IF DA EQL ST        ; the apostrophe ends the greeting
        JMP PUT
        JMP LINE
PUT:    SAT TERMINAL
        MON 2
        JMP DONE
        AAX 1
        JMP NEXT

LINE:   SAT COMMAND             ; next byte of the command line
        MON 1
        JMP NEWLN               ; error return: nothing more to read
        AND MASK                ; drop the parity bit
        SAT CR
        SKP IF DA EQL ST        ; the line ends with a carriage return
        JMP ECHO
        JMP NEWLN
ECHO:   SAT TERMINAL
        MON 2
        JMP DONE
        JMP LINE

NEWLN:  SAA CR
        SAT TERMINAL
        MON 2
        JMP DONE
        SAA 12
        MON 2
        JMP DONE
DONE:   MON 0

MASK:   WORD 177
TEXTP:  WORD GREET
GREET:  TEXT 'HELLO FROM KESTREL:'
