% getnum.asm: the command-line reader that every benchmark program
% includes, to take its count from the line that runs it.

% GETNUM: reads the command line with MON 1 (file 0) up to its carriage
% return and returns in A the octal number written in it (0 when none).
% Characters other than the digits 0-7 are skipped.
GETNUM: STZ NUMBER
NEXTCH: SAT 0
        MON 1
        JMP GOTNUM              ; no more input
        BSET ZRO 7 DA           ; drop the parity bit
        SAT 15
        SKP IF DA EQL ST        ; carriage return ends the line
        JMP DIGIT
        JMP GOTNUM
DIGIT:  SAT 60
        SKP IF DA MGRE ST       ; below 0: skip it
        JMP NEXTCH
        SAT 70
        SKP IF DA MLST ST       ; 8 and above: skip it
        JMP NEXTCH
        AAA -60
        COPY SA DT
        LDA NUMBER
        SHA 3
        RADD ST DA
        STA NUMBER
        JMP NEXTCH
GOTNUM: LDA NUMBER
        EXIT
NUMBER: WORD 0
