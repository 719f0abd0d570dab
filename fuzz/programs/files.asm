% files.asm: a fuzz seed that opens, writes, closes, reads, renames and
% deletes a file, and has a SINTRAN command carried out.
        ORG 1000
        START GO

GO:     LDX NAMEP               ; create "F:DATA"
        LDA TYPEP
        SAT 1
        MON 50
        JMP FAIL
        STA FILE
        SAX 0
LOOP:   LDT FILE                ; write ten bytes
        LDA BYTE
        MON 2
        JMP FAIL
        MIN BYTE
        AAX 1
        SAA 12
        SKP IF DX UEQ SA
        JMP LOOP
        LDT FILE
        MON 43
        JMP FAIL
        LDX OLDP                ; open it again for reading
        LDA TYPEP
        SAT 0
        MON 50
        JMP FAIL
        STA FILE
        COPY SA DT
        MON 1
        JMP FAIL
        SAT -1
        MON 43
        JMP FAIL
        LDX OLDP
        LDA NEWP
        MON 232
        JMP FAIL
        LDX NEWP
        MON 54
        JMP FAIL
        LDA CMDP
        MON 70
        JMP FAIL
FAIL:   MON 0

FILE:   WORD 0
BYTE:   WORD 101
NAMEP:  WORD NAME
TYPEP:  WORD TYPE
OLDP:   WORD OLD
NEWP:   WORD NEW
CMDP:   WORD CMD
NAME:   TEXT '"F:DATA"'
OLD:    TEXT 'F:DATA'
NEW:    TEXT 'G:DATA'
TYPE:   TEXT 'DATA'
CMD:    TEXT 'LIST-FILES', 15
