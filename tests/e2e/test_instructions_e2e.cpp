// An ND program that checks instructions of every family on the machine
// itself and reports by letter the first check that fails; and the float and
// float-test commands typed at the prompt.
#include "harness.h"

#include <string>

#include <gtest/gtest.h>

namespace {

// Each check leaves its letter in CHECK; a failed check jumps to FAIL, which
// prints "FAILED " and the letter. All checks passed prints "CHECKS PASSED".
const char *const self_check_program = R"(
% The data lie at 100 and are reached B-relative (B = 100) from anywhere.
        ORG 100
D:
CHECK:  WORD 0
K1:     WORD 1
K5:     WORD 5
K200D:  WORD 200D
MAXPOS: WORD 077777
MINNEG: WORD 100000
PROD:   WORD 40000D
SIGN1:  WORD 100001
SHIFTED: WORD 140000
SAA5:   WORD 170405
FONE:   WORD 040100, 0
FELEVEN: WORD 040430, 0
QHIGH:  WORD 037535
QLOW:   WORD 013505
BUFP:   WORD BUF
BUF:    WORD 0, 0177777
BYTEWORD: WORD 0177532
TEXTP:  WORD 0
RET:    WORD 0
PFAIL:  WORD FAIL
PSUBR:  WORD SUBR
PPRINT: WORD PRINTSUB
PASSP:  WORD PASS
FAILP:  WORD FAILT
PASS:   TEXT 'CHECKS PASSED\r\n'
FAILT:  TEXT 'FAILED \''

        ORG 1000
        START GO

GO:     SAB 100
        SAA #A                  ; A: ADD 1 to 077777 sets Q and O, not C
        STA CHECK-D,B
        LDA MAXPOS-D,B
        ADD K1-D,B
        BSKP ONE SSQ
        JMP I PFAIL-D,B
        BSKP ONE SSO
        JMP I PFAIL-D,B
        BSKP ZRO SSC
        JMP I PFAIL-D,B
        LDT MINNEG-D,B
        SKP IF DA EQL ST
        JMP I PFAIL-D,B

        SAA #B                  ; B: 3 - 5 borrows: C clear, 177776
        STA CHECK-D,B
        SAA 3
        SUB K5-D,B
        BSKP ZRO SSC
        JMP I PFAIL-D,B
        SAT -2
        SKP IF DA EQL ST
        JMP I PFAIL-D,B

        SAA #C                  ; C: 200 * 200 (decimal) keeps the low bits
        STA CHECK-D,B
        LDA K200D-D,B
        MPY K200D-D,B
        LDT PROD-D,B
        SKP IF DA EQL ST
        JMP I PFAIL-D,B

        SAA #D                  ; D: SHA right by 1 copies the sign
        STA CHECK-D,B
        LDA SIGN1-D,B
        SHA SHR 1
        LDT SHIFTED-D,B
        SKP IF DA EQL ST
        JMP I PFAIL-D,B

        SAA #E                  ; E: EXR of SAA 5 in T
        STA CHECK-D,B
        LDT SAA5-D,B
        SAA 0
        EXR ST
        SAT 5
        SKP IF DA EQL ST
        JMP I PFAIL-D,B

        SAA #F                  ; F: RDIV of -7 by 2 gives -3, remainder -1
        STA CHECK-D,B
        SAA -7
        SWAP SA DD
        SAA -1
        SAT 2
        RDIV ST
        SAT -3
        SKP IF DA EQL ST
        JMP I PFAIL-D,B
        COPY SD DA
        SAT -1
        SKP IF DA EQL ST
        JMP I PFAIL-D,B

        SAA #G                  ; G: 1.0 / 11.0 truncated
        STA CHECK-D,B
        LDD FONE-D,B
        FDV FELEVEN-D,B
        LDT QHIGH-D,B
        SKP IF DA EQL ST
        JMP I PFAIL-D,B
        COPY SD DA
        LDT QLOW-D,B
        SKP IF DA EQL ST
        JMP I PFAIL-D,B

        SAA #H                  ; H: unsigned and signed compares of 177777 and 1
        STA CHECK-D,B
        SAA -1
        SAT 1
        SKP IF DA MGRE ST
        JMP I PFAIL-D,B
        SKP IF DA LST ST
        JMP I PFAIL-D,B

        SAA #I                  ; I: SBYT then LBYT of byte 3 of BUF
        STA CHECK-D,B
        LDT BUFP-D,B
        SAX 3
        SAA 132
        SBYT
        SAA 0
        LBYT
        SAT 132
        SKP IF DA EQL ST
        JMP I PFAIL-D,B
        LDA BUF+1-D,B
        LDT BYTEWORD-D,B
        SKP IF DA EQL ST
        JMP I PFAIL-D,B

        SAA #J                  ; J: JPL links and EXIT returns
        STA CHECK-D,B
        SAX 0
        JPL I PSUBR-D,B
        SAT 7
        COPY SX DA
        SKP IF DA EQL ST
        JMP I PFAIL-D,B

        LDX PASSP-D,B           ; all checks passed
        JPL I PPRINT-D,B
        MON 0

FAIL:   LDX FAILP-D,B
        JPL I PPRINT-D,B
        LDA CHECK-D,B
        SAT 1
        MON 2
        JMP *+1
        MON 0

SUBR:   SAX 7
        EXIT

% Prints the text at the address in X, up to the apostrophe.
PRINTSUB: COPY SL DA
        STA RET-D,B
        STX TEXTP-D,B
        SAX 0
NEXT:   LDT TEXTP-D,B
        LBYT
        SAT #'
        SKP IF DA EQL ST
        JMP OUT
        LDA RET-D,B
        COPY SA DP
OUT:    SAT 1
        MON 2
        JMP *+1
        AAX 1
        JMP NEXT
)";

TEST(Instructions, SelfCheckingProgramPasses) {
    NdTree tree;
    std::string log;
    ASSERT_TRUE(tree.assemble(self_check_program, "(EMULATOR)/CHECKS.PROG", &log)) << log;
    RunResult result = run_kestrel(tree, "CHECKS\nquit\n");
    EXPECT_NE(result.output.find("CHECKS PASSED\r\n"), std::string::npos) << result.output;
    EXPECT_EQ(result.output.find("FAILED"), std::string::npos) << result.output;
}

TEST(Instructions, FloatCommandsAtThePrompt) {
    NdTree tree;
    RunResult result =
        run_kestrel(tree, "float 48\nfloat 40\nfloat-test 40100 0\nfloat 32\nquit\n");
    EXPECT_NE(result.output.find("Floating format set to 48 bits\r\n"
                                 "FAD, FSU, FMU, FDV, NLZ and DNZ work on T, A and D "
                                 "(float-test stays 32-bit)\r\n"),
              std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("Bad format, 32 and 48 are supported\r\n"), std::string::npos);
    EXPECT_NE(
        result.output.find("Converted to 1.000000\r\nConvert back to ND format: 40100 , 0\r\n"),
        std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("Floating format set to 32 bits\r\n"), std::string::npos);
}

} // namespace
