% newline.asm: the new-line routine the demo programs share. The program
% that includes it defines TERMINAL (the terminal's file number), CR and LF.

% NL: a new line on the terminal.
NL:     SAA CR
        SAT TERMINAL
        MON 2
        JMP *+1
        SAA LF
        MON 2
        JMP *+1
        EXIT
