// An ND program that checks the level, breakpoint-service, terminal-output,
// decimal, byte-block, word-block and stack instructions on the machine itself
// and reports by letter the first check that fails; and BCD-test typed at the
// prompt.
#include "harness.h"

#include <string>

#include <gtest/gtest.h>

namespace {

// Each check leaves its letter in CHECK; a failed check jumps to FAIL, which
// prints "FAILED " and the letter through IOX 305. All checks passed prints
// "CHECKS PASSED" the same way.
const char *const self_check_program = R"(
% The data lie at 100 and are reached B-relative (B = 100).
        ORG 100
D:
CHECK:  WORD 0
PFAIL:  WORD FAIL
OP1P:   WORD OP1
OP2P:   WORD OP2
OP1:    WORD 000022, 056000     ; 0012.5, six positions with the sign
OP2:    WORD 021134             ; 2.25
DESC1:  WORD 020046             ; packed sign, 1 decimal, length 6
DESC2:  WORD 020104             ; packed sign, 2 decimals, length 4
EXP1:   WORD 000024             ; 0014.8
EXP2:   WORD 106000
NEG5P:  WORD NEG5
NEG3P:  WORD NEG3
NEG5:   WORD 056400
NEG3:   WORD 036400
DESCS:  WORD 020002
BUFP:   WORD BUF
BUF:    WORD 0, 0
FILL1:  WORD 025052
FILL2:  WORD 025000
HIGHT:  WORD 100000
FRAMEB: WORD 0
ERRCODE: WORD 0
PHAND:  WORD HANDLER
PSAVE:  WORD SAVE
SAVE:   BLOCK 10
HFLAG:  WORD 0
PLEV5:  WORD LEV5
LFLAG:  WORD 0
PVLW:   WORD 153652
SRCP:   WORD SRC
DSTP:   WORD DST
SRC:    WORD 1111, 2222
DST:    WORD 0, 0
PASSP:  WORD PASS
PASS:   TEXT 'CHECKS PASSED\r\n'

        ORG 1000
        START GO

GO:     SAB 100
        SAA #A                  ; A: decimal add 12.5 + 2.25 into one decimal
        STA CHECK-D,B
        LDA DESC1-D,B
        COPY SA DD
        LDT DESC2-D,B
        LDX OP2P-D,B
        LDA OP1P-D,B
        ADDD
        JMP I PFAIL-D,B
        LDA OP1-D,B
        LDT EXP1-D,B
        SKP IF DA EQL ST
        JMP I PFAIL-D,B
        LDA OP1+1-D,B
        LDT EXP2-D,B
        SKP IF DA EQL ST
        JMP I PFAIL-D,B

        SAA #B                  ; B: -5 compares below -3
        STA CHECK-D,B
        LDA DESCS-D,B
        COPY SA DD
        LDT DESCS-D,B
        LDX NEG3P-D,B
        LDA NEG5P-D,B
        COMD
        JMP I PFAIL-D,B
        SAT -1
        SKP IF DA EQL ST
        JMP I PFAIL-D,B

        SAA #C                  ; C: BFILL of three bytes from the left
        STA CHECK-D,B
        SAA #*
        SAT 3
        LDX BUFP-D,B
        BFILL
        JMP I PFAIL-D,B
        COPY ST DA
        LDT HIGHT-D,B
        SKP IF DA EQL ST
        JMP I PFAIL-D,B
        LDA BUF-D,B
        LDT FILL1-D,B
        SKP IF DA EQL ST
        JMP I PFAIL-D,B
        LDA BUF+1-D,B
        LDT FILL2-D,B
        SKP IF DA EQL ST
        JMP I PFAIL-D,B

        SAA #D                  ; D: INIT, ENTR, LEAV and ELEAV frames
        STA CHECK-D,B
        INIT 4, 2000, 100, 0
        WORD 0
        JMP I LFAIL
        COPY SB DA
        SAB 100
        STA FRAMEB-D,B
        COPY SA DB
        JPL I LSUB
        JMP I LFAIL             ; LEAV returns one word further
        COPY SB DA
        SAB 100
        LDT FRAMEB-D,B
        SKP IF DA EQL ST
        JMP I PFAIL-D,B
        COPY ST DB
        JPL I LESUB
        JMP ELOK                ; ELEAV returns here
        JMP I LFAIL
ELOK:   COPY SB DA
        SAB 100
        LDT FRAMEB-D,B
        SKP IF DA EQL ST
        JMP I PFAIL-D,B
        JMP BPCHK
LFAIL:  WORD FAIL
LSUB:   WORD CSUB
LESUB:  WORD ESUB
CSUB:   ENTR 10
        JMP I LFAIL
        LEAV
ESUB:   ENTR 10
        JMP I LFAIL
        SAA 33
        ELEAV

BPCHK:  SAA #E                  ; E: the breakpoint handler is entered and left
        STA CHECK-D,B
        LDX PHAND-D,B
        LDT PSAVE-D,B
        IOTMON 45
        JMP I PFAIL-D,B
        SAA 0
        STA HFLAG-D,B
        IOTMON 46
        LDA HFLAG-D,B
        SAT 1
        SKP IF DA EQL ST
        JMP I PFAIL-D,B

        SAA #F                  ; F: MST PID goes to level 5, its WAIT comes back
        STA CHECK-D,B
        LDA PLEV5-D,B
        IRW 5 DP
        SAA 100
        IRW 5 DB
        SAA 41
        MST PIE
        SAA 40
        MST PID
        LDA LFLAG-D,B
        SAT 5
        SKP IF DA EQL ST
        JMP I PFAIL-D,B
        TRA PVL
        LDT PVLW-D,B
        SKP IF DA EQL ST
        JMP I PFAIL-D,B

        SAA #G                  ; G: MOVEW within the alternative page table (none: 0)
        STA CHECK-D,B
        SAA 2
        COPY SA DL
        LDA SRCP-D,B
        COPY SA DD
        LDT DSTP-D,B
        MOVEW 4
        LDA DST+1-D,B
        LDT SRC+1-D,B
        SKP IF DA EQL ST
        JMP I PFAIL-D,B

        SAA 47                  ; all checks passed
        COPY SA DD
        LDT PASSP-D,B
        SAX 0
PLOOP:  LBYT
        SKP IF DA EQL SD
        JMP PCHAR
        MON 0
PCHAR:  IOX 305
        AAX 1
        JMP PLOOP

HANDLER: SAA 1                  ; the save block's P is the IOTMON 46
        STA HFLAG-D,B
        LDA SAVE-D,B
        AAA 1
        STA SAVE-D,B
        IOTMON 47

LEV5:   SAA 5
        STA LFLAG-D,B
        WAIT

FAIL:   SAB 100
        SAA #F
        IOX 305
        SAA #A
        IOX 305
        SAA #I
        IOX 305
        SAA #L
        IOX 305
        SAA #E
        IOX 305
        SAA #D
        IOX 305
        SAA 40
        IOX 305
        LDA CHECK-D,B
        IOX 305
        MON 0
)";

TEST(LevelsAndDecimal, SelfCheckingProgramPasses) {
    NdTree tree;
    std::string log;
    ASSERT_TRUE(tree.assemble(self_check_program, "(EMULATOR)/LEVELS.PROG", &log)) << log;
    RunResult result = run_kestrel(tree, "LEVELS\nquit\n");
    EXPECT_NE(result.output.find("CHECKS PASSED\r\n"), std::string::npos) << result.output;
    EXPECT_EQ(result.output.find("FAILED"), std::string::npos) << result.output;
    EXPECT_EQ(result.exit_status, 0);
}

TEST(LevelsAndDecimal, BcdTestAtThePrompt) {
    NdTree tree;
    RunResult result = run_kestrel(tree, "BCD-test 12.5 subtract -2.25\n"
                                         "BCD-test\n1.5\n*\n-2.5\n"
                                         "BCD-test 1 divide 2\n"
                                         "BCD-test 1 what 2\n"
                                         "quit\n");
    EXPECT_NE(result.output.find("\r\nResult is : 14.75+ (No. of decimals: 2)\r\n"),
              std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("\r\nEnter first value: \r\nOperation: \r\nEnter second value: "
                                 "\r\nResult is : 3.75- (No. of decimals: 2)\r\n"),
              std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("\r\nOperator / not implemented yet\r\n"), std::string::npos);
    EXPECT_NE(result.output.find("\r\nOperation is add subtract multiply divide\r\n"),
              std::string::npos);
}

} // namespace
