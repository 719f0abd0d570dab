; every_form.asm: one program that uses every instruction form of nd-asm.
; The round-trip test assembles it, disassembles the image with nd-dis,
; assembles that again and expects the same image byte for byte.
; It is not meant to be run.

TEN     = 10D                   ; decimal constant
EIGHT   = 10                    ; octal is the default
NINE    = 11B                   ; explicit octal
SIZE    = TEN*2-EIGHT+(NINE-1)  ; expressions: + - * and parentheses
CHAR    = #A                    ; character constant

        ORG 1000
        START BEGIN
        RESTART AGAIN

; Memory reference in all eight addressing modes:
; P-relative, ,B, I, I ,B, ,X, ,B,X, I ,X and I ,B,X.
BEGIN:  LDA DATA1
        STZ DATA1
        STZ -3,B
        STZ I PTR
        STZ I 5,B
        STZ 177,X
        STZ -200,B,X
        STZ I PTR,X
        STZ I 17,B,X
        STA DATA1
        STA -3,B
        STA I PTR
        STA I 5,B
        STA 177,X
        STA -200,B,X
        STA I PTR,X
        STA I 17,B,X
        STT DATA1
        STT -3,B
        STT I PTR
        STT I 5,B
        STT 177,X
        STT -200,B,X
        STT I PTR,X
        STT I 17,B,X
        STX DATA1
        STX -3,B
        STX I PTR
        STX I 5,B
        STX 177,X
        STX -200,B,X
        STX I PTR,X
        STX I 17,B,X
        STD DATA1
        STD -3,B
        STD I PTR
        STD I 5,B
        STD 177,X
        STD -200,B,X
        STD I PTR,X
        STD I 17,B,X
        LDD DATA1
        LDD -3,B
        LDD I PTR
        LDD I 5,B
        LDD 177,X
        LDD -200,B,X
        LDD I PTR,X
        LDD I 17,B,X
        STF DATA1
        STF -3,B
        STF I PTR
        STF I 5,B
        STF 177,X
        STF -200,B,X
        STF I PTR,X
        STF I 17,B,X
        LDF DATA1
        LDF -3,B
        LDF I PTR
        LDF I 5,B
        LDF 177,X
        LDF -200,B,X
        LDF I PTR,X
        LDF I 17,B,X
        MIN DATA1
        MIN -3,B
        MIN I PTR
        MIN I 5,B
        MIN 177,X
        MIN -200,B,X
        MIN I PTR,X
        MIN I 17,B,X
        LDA DATA1
        LDA -3,B
        LDA I PTR
        LDA I 5,B
        LDA 177,X
        LDA -200,B,X
        LDA I PTR,X
        LDA I 17,B,X
DATA1:  WORD 123456, -1, CHAR, SIZE
PTR:    WORD DATA1
        LDT DATA1
        LDT -3,B
        LDT I PTR
        LDT I 5,B
        LDT 177,X
        LDT -200,B,X
        LDT I PTR,X
        LDT I 17,B,X
        LDX DATA1
        LDX -3,B
        LDX I PTR
        LDX I 5,B
        LDX 177,X
        LDX -200,B,X
        LDX I PTR,X
        LDX I 17,B,X
        ADD DATA1
        ADD -3,B
        ADD I PTR
        ADD I 5,B
        ADD 177,X
        ADD -200,B,X
        ADD I PTR,X
        ADD I 17,B,X
        SUB DATA1
        SUB -3,B
        SUB I PTR
        SUB I 5,B
        SUB 177,X
        SUB -200,B,X
        SUB I PTR,X
        SUB I 17,B,X
        AND DATA1
        AND -3,B
        AND I PTR
        AND I 5,B
        AND 177,X
        AND -200,B,X
        AND I PTR,X
        AND I 17,B,X
        ORA DATA1
        ORA -3,B
        ORA I PTR
        ORA I 5,B
        ORA 177,X
        ORA -200,B,X
        ORA I PTR,X
        ORA I 17,B,X
        FAD DATA1
        FAD -3,B
        FAD I PTR
        FAD I 5,B
        FAD 177,X
        FAD -200,B,X
        FAD I PTR,X
        FAD I 17,B,X
        FSU DATA1
        FSU -3,B
        FSU I PTR
        FSU I 5,B
        FSU 177,X
        FSU -200,B,X
        FSU I PTR,X
        FSU I 17,B,X
        FMU DATA1
        FMU -3,B
        FMU I PTR
        FMU I 5,B
        FMU 177,X
        FMU -200,B,X
        FMU I PTR,X
        FMU I 17,B,X
        FDV DATA1
        FDV -3,B
        FDV I PTR
        FDV I 5,B
        FDV 177,X
        FDV -200,B,X
        FDV I PTR,X
        FDV I 17,B,X
        MPY DATA1
        MPY -3,B
        MPY I PTR
        MPY I 5,B
        MPY 177,X
        MPY -200,B,X
        MPY I PTR,X
        MPY I 17,B,X
        JMP DATA1
        JMP -3,B
        JMP I PTR
        JMP I 5,B
        JMP 177,X
        JMP -200,B,X
        JMP I PTR,X
        JMP I 17,B,X
        JPL DATA1
        JPL -3,B
        JPL I PTR
        JPL I 5,B
        JPL 177,X
        JPL -200,B,X
        JPL I PTR,X
        JPL I 17,B,X
        LDA *
        LDA *-1
        LDA ,X 3                ; the ,X may stand before the displacement
        LDA I ,B 4

; Conditional jumps.
AGAIN:  JAP *+1
        JAN AGAIN
        JAZ *
        JAF *-177
        JPC AGAIN
        JNC *+177
        JXZ AGAIN
        JXN AGAIN

; Register operations with CM1, CLD, AD1 and ADC, and their short names.
        SWAP SA DX
        SWAP CM1 CLD SB DT
        SWAP DA
        RAND SA DX
        RAND CM1 SL DD
        REXO CLD ST DB
        RORA SP DL
        RORA
        RADD SA DX
        RADD CLD                ; 146100
        RADD CM1 AD1 SA DT
        RADD ADC SD DA
        RADD CM1 CLD ADC SX DP
        COPY SA DT
        COPY SL DP AD1          ; 146542, the skip return
        EXIT                    ; 146142, the return
        RCLR DX
        RINC DA
        RDCR DX
        RSUB ST DA

; Compare and skip, all eight conditions.
        SKP IF DA EQL ST
        SKP IF DX GEQ SB
        SKP IF DT GRE SA
        SKP IF DD MGRE SL
        SKP IF DL UEQ SX
        SKP IF DB LSS SD
        SKP IF DP LST SP
        SKP IF DA MLST ST
        SKP EQL SA              ; IF is optional, registers may be left out
        SKP DA UEQ

; Extended group.
        EXR SA
        EXR SSTS
        EXR SX EXTRA 3          ; bits the CPU ignores
        LBYT
        SBYT
        MIX3
        RMPY SA DT
        RMPY SX DD EXTRA 100
        RDIV ST
        RDIV SA EXTRA 107
        RDUS
        TSET

; Decimal instructions.
        ADDD
        JMP *+2
        SUBD
        JMP *+2
        COMD
        JMP *+2
        PACK
        JMP *+2
        UPACK
        JMP *+2
        SHDE
        JMP *+2

; Byte and word block moves.
        BFILL
        JMP *+2
        MOVB
        JMP *+2
        MOVBF
        JMP *+2
        MOVEW 0
        MOVEW 4
        MOVEW 77

; Stack instructions with their parameter words.
        INIT 10, STACK, 200, 0
        JMP *+1
        ENTR 20
        JMP *+1
        LEAV
        ELEAV

; Shifts of T, D, A and AD in the arithmetic, rotate, zero-end and link modes.
        SHT 3
        SHT SHR 1
        SHT ROT 17
        SHT ROT SHR 40
        SHT ZIN -5
        SHT ZIN SHR 20
        SHT LIN 37
        SHT LIN SHR 1
        SHD 3
        SHD SHR 1
        SHD ROT 17
        SHD ROT SHR 40
        SHD ZIN -5
        SHD ZIN SHR 20
        SHD LIN 37
        SHD LIN SHR 1
        SHA 3
        SHA SHR 1
        SHA ROT 17
        SHA ROT SHR 40
        SHA ZIN -5
        SHA ZIN SHR 20
        SHA LIN 37
        SHA LIN SHR 1
        SAD 3
        SAD SHR 1
        SAD ROT 17
        SAD ROT SHR 40
        SAD ZIN -5
        SAD ZIN SHR 20
        SAD LIN 37
        SAD LIN SHR 1
        SHA 0
        SAD SHR 3 EXTRA 100

; Bit instructions on every register and bit.
        BSET ZRO SSC
        BSET ONE SSM
        BSET BCM 15 DA
        BSET BAC 0 DX
        BSKP ZRO SSK
        BSKP ONE 17 DT
        BSKP BCM 7 DD
        BSKP BAC SSO
        BSTC SSPTM
        BSTA SSTG
        BLDC 4 DB
        BLDA SSZ
        BANC 11 DL
        BAND SSQ
        BORC 12 DP
        BORA 10 DSTS

; Argument instructions.
        SAB 1
        SAA -1
        SAT 177
        SAX -200
        AAB CHAR-100
        AAA 0
        AAT -TEN
        AAX 12D

; Floating conversions.
        NLZ 20
        DNZ -20
        DNZ 360

; Interrupt levels, internal registers, system control.
        TRA STS
        TRA PGST
        TRA PVL
        TRA IIC
        TRA PID
        TRA PIE
        TRA 12
        TRA 1 EXTRA 60
        TRR STS
        TRR PCR
        TRR IIE
        TRR PID
        TRR PIE
        TRR 17
        MCL STS
        MCL PID
        MCL PIE
        MST STS
        MST IIC
        MST PID
        MST PIE
        IRW 3 DA
        IRW 17 DSTS
        IRR 5 DP
        IRR 0 DX
        WAIT
        WAIT 377
        OPCOM
        IOF
        ION
        POF
        PIOF
        SEX
        REX
        PON
        PION
        IOXT
        EXAM
        DEPO

; Input and output.
        IOT SNI 7
        IOT ACT 23
        IOT ACT SKA 377
        IOT PIN 0
        IOT PIN ACT SKA 1
        IOTMON 46
        IOX 300
        IOX 305

; Monitor calls.
        MON 0
        MON 2
        MON 377

; Data.
        WORD 0, 1, 177777, -100000
        BLOCK 4
        TEXT "NO TERMINATOR"
        TEXT 'WITH TERMINATOR'
        TEXT "ODD", 15, 12
STACK:  BLOCK SIZE
        WORD 47
