// ND programs that use the file monitor calls, run in the real binary: they
// create, write, read back, position, resize, rename, expand and delete files,
// and the host files are checked byte for byte. Also a file name typed at the
// terminal, and SINTRAN commands handed over with MON 70.
#include "harness.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kClaimLine = "was successful: ./(SCRATCH)/SCRATCH01.DATA\r\n";

// What the program printed: the output between the prompt that started it
// and the timing report.
std::string program_output(const std::string &output) {
    size_t start = output.find(kClaimLine);
    start = start == std::string::npos ? 0 : start + kClaimLine.size();
    if (output.compare(start, 2, "<>") == 0) start += 2;
    size_t end = output.find("\r\nTime used is: ", start);
    return output.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// Each step is one or a few monitor calls; any unexpected return prints the
// step letter and the error text and ends the program.
const char *const kFileProgram = R"(
% Exercises the file monitor calls and reports each step's failure.
BASE = 400
        ORG 200
STEP:   WORD 0
ERR:    WORD 0
FILE:   WORD 0
RFILE:  WORD 0
TXT:    WORD 0
RET:    WORD 0
RET2:   WORD 0
K400:   WORD 400
PAGE1:  WORD 0, 1
PAGE0:  WORD 0, 0
PFAIL:  WORD FAIL
PPRINT: WORD PRINTS
PWRITE: WORD WRITES
BUF1P:  WORD 10000
BUF2P:  WORD 11000
RESULTP: WORD 12000
RESULT1: WORD 12001
DATAP:  WORD DATAT
DATAT:  TEXT 'DATA'
NEWOUT: WORD T1
T1:     TEXT '\"OUT\"'
HELLOP: WORD T2
T2:     TEXT 'HELLO\r\n'
OUTP:   WORD T3
T3:     TEXT 'OUT'
RANDP:  WORD T4
T4:     TEXT 'RAND'
OUTDP:  WORD T5
T5:     TEXT 'OUT:DATA'
RENP:   WORD T6
T6:     TEXT 'RENAMED'
GONEP:  WORD T7
T7:     TEXT 'GONE'
REABP:  WORD T8
T8:     TEXT 'REN'
NEWRENP: WORD T9
T9:     TEXT '\"RENAMED\"'
CRLFP:  WORD T10
T10:    TEXT '\r\n'
DONEP:  WORD T11
T11:    TEXT 'ALL DONE\r\n'
FAILP:  WORD T12
T12:    TEXT 'FAIL AT STEP '

        ORG 1000
        START GO
GO:     LDA BASEP
        COPY SA DB
        JMP MAIN
BASEP:  WORD BASE

% A: create OUT:DATA and write HELLO CR LF into it
MAIN:   SAA #A
        STA STEP-BASE,B
        LDX NEWOUT-BASE,B
        LDA DATAP-BASE,B
        SAT 0
        MON 50
        JMP I PFAIL-BASE,B
        STA FILE-BASE,B
        LDA HELLOP-BASE,B
        JPL I PWRITE-BASE,B
        LDT FILE-BASE,B
        MON 43
        JMP I PFAIL-BASE,B

% B: read it back to the terminal up to the end of the file
        SAA #B
        STA STEP-BASE,B
        LDX OUTP-BASE,B
        LDA DATAP-BASE,B
        SAT 1
        MON 50
        JMP I PFAIL-BASE,B
        STA FILE-BASE,B
RLOOP:  LDT FILE-BASE,B
        MON 1
        JMP REOF
        SAT 1
        MON 2
        JMP I PFAIL-BASE,B
        JMP RLOOP
REOF:   SAT 3
        SKP IF DA EQL ST
        JMP I PFAIL-BASE,B

% C: byte pointer 2 reads the first L; the pointer is then 3
        SAA #C
        STA STEP-BASE,B
        LDT FILE-BASE,B
        SAA 2
        COPY SA DD
        SAA 0
        MON 74
        JMP I PFAIL-BASE,B
        LDT FILE-BASE,B
        MON 1
        JMP I PFAIL-BASE,B
        SAT #L
        SKP IF DA EQL ST
        JMP I PFAIL-BASE,B
        LDT FILE-BASE,B
        MON 75
        JMP I PFAIL-BASE,B
        COPY SD DA
        SAT 3
        SKP IF DA EQL ST
        JMP I PFAIL-BASE,B
        LDT FILE-BASE,B
        MON 43
        JMP I PFAIL-BASE,B

% D: create RAND:DATA of one page and open it for random access
        SAA #D
        STA STEP-BASE,B
        LDX RANDP-BASE,B
        LDA PAGE1P
        COPY SA DT
        MON 221
        JMP I PFAIL-BASE,B
        LDX RANDP-BASE,B
        LDA DATAP-BASE,B
        SAT 2
        MON 50
        JMP I PFAIL-BASE,B
        STA RFILE-BASE,B

% E: block 0 and block 5 from a buffer holding 0, 1, 2 ... 377
        SAA #E
        STA STEP-BASE,B
        SAX 0
FILL:   COPY SX DA
        STA I BUF1P-BASE,B,X
        AAX 1
        LDT K400-BASE,B
        SKP IF DX UEQ ST
        JMP FILLED
        JMP FILL
FILLED: LDT RFILE-BASE,B
        SAA 0
        LDX BUF1P-BASE,B
        MON 10
        JMP I PFAIL-BASE,B
        LDT RFILE-BASE,B
        SAA 5
        MON 10
        JMP I PFAIL-BASE,B

% F: read block 0 back, then the next block (1) of zeros
        SAA #F
        STA STEP-BASE,B
        LDT RFILE-BASE,B
        SAA 0
        LDX BUF2P-BASE,B
        MON 7
        JMP I PFAIL-BASE,B
        SAX 5
        LDA I BUF2P-BASE,B,X
        SAT 5
        SKP IF DA EQL ST
        JMP I PFAIL-BASE,B
        LDT RFILE-BASE,B
        SAA -1
        LDX BUF2P-BASE,B
        MON 7
        JMP I PFAIL-BASE,B
        SAX 5
        LDA I BUF2P-BASE,B,X
        JAZ *+2
        JMP I PFAIL-BASE,B
        LDT RFILE-BASE,B
        MON 43
        JMP I PFAIL-BASE,B
        JMP PART2
PAGE1P: WORD PAGE1
PAGE0P: WORD PAGE0

% G: rename OUT:DATA to RENAMED (keeping its type) and expand it by a page
PART2:  SAA #G
        STA STEP-BASE,B
        LDX OUTDP-BASE,B
        LDA RENP-BASE,B
        MON 232
        JMP I PFAIL-BASE,B
        LDX RENP-BASE,B
        LDA PAGE1P
        COPY SA DT
        MON 231
        JMP I PFAIL-BASE,B

% H: creating RENAMED again is refused with 76
        SAA #H
        STA STEP-BASE,B
        LDX NEWRENP-BASE,B
        LDA DATAP-BASE,B
        SAT 0
        MON 50
        JMP *+2
        JMP I PFAIL-BASE,B
        SAT 76
        SKP IF DA EQL ST
        JMP I PFAIL-BASE,B

% I: create GONE and delete it
        SAA #I
        STA STEP-BASE,B
        LDX GONEP-BASE,B
        LDA PAGE0P
        COPY SA DT
        MON 221
        JMP I PFAIL-BASE,B
        LDX GONEP-BASE,B
        MON 54
        JMP I PFAIL-BASE,B

% J: the full name of REN with the default type DATA, on the terminal
        SAA #J
        STA STEP-BASE,B
        LDX REABP-BASE,B
        LDT DATAP-BASE,B
        LDA RESULTP-BASE,B
        MON 256
        JMP I PFAIL-BASE,B
        LDA RESULT1-BASE,B
        JPL I PPRINT-BASE,B
        LDA CRLFP-BASE,B
        JPL I PPRINT-BASE,B

% K: the byte count of RAND becomes 1000 (decimal)
        SAA #K
        STA STEP-BASE,B
        LDX RANDP-BASE,B
        LDA DATAP-BASE,B
        SAT 2
        MON 50
        JMP I PFAIL-BASE,B
        STA RFILE-BASE,B
        COPY SA DT
        LDA K1000
        COPY SA DD
        SAA 0
        MON 73
        JMP I PFAIL-BASE,B
        LDT RFILE-BASE,B
        MON 43
        JMP I PFAIL-BASE,B

        LDA DONEP-BASE,B
        JPL I PPRINT-BASE,B
        MON 0
K1000:  WORD 1000D

% Prints FAIL AT STEP, the step letter and the error text of A; stops.
FAIL:   STA ERR-BASE,B
        LDA FAILP-BASE,B
        JPL I PPRINT-BASE,B
        LDA STEP-BASE,B
        SAT 1
        MON 2
        JMP *+1
        LDA ERR-BASE,B
        MON 64
        MON 0

% Prints the apostrophe-ended text at A on the terminal.
PRINTS: STA TXT-BASE,B
        SAT 1
        JMP TEXTOUT
% Writes the apostrophe-ended text at A to the file FILE.
WRITES: STA TXT-BASE,B
        LDT FILE-BASE,B
TEXTOUT: STT RET2-BASE,B
        COPY SL DA
        STA RET-BASE,B
        SAX 0
NEXT:   LDT TXT-BASE,B
        LBYT
        SAT #'
        SKP IF DA UEQ ST
        JMP OUTDONE
        LDT RET2-BASE,B
        MON 2
        JMP I PFAIL-BASE,B
        AAX 1
        JMP NEXT
OUTDONE: LDA RET-BASE,B
        COPY SA DP
)";

TEST(FileCallsEndToEnd, CreateWriteReadPositionResizeRenameExpandDelete) {
    NdTree tree;
    std::string log;
    ASSERT_TRUE(tree.assemble(kFileProgram, "(EMULATOR)/FILES.PROG", &log)) << log;
    RunResult run = run_kestrel(tree, "FILES\nquit\n");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(program_output(run.output), "HELLO\r\n"
                                          "\n MON 7, block = -1, reading next block \n"
                                          "./(EMULATOR)/RENAMED.DATA\r\n"
                                          "ALL DONE\r\n");
    // HELLO CR LF, expanded to two whole pages of zeros.
    EXPECT_EQ(tree.read_file("(EMULATOR)/RENAMED.DATA"), "HELLO\r\n" + std::string(4096 - 7, '\0'));
    EXPECT_FALSE(tree.exists("(EMULATOR)/OUT.DATA"));
    EXPECT_FALSE(tree.exists("(EMULATOR)/GONE.DATA"));
    // Block 0 holds the words 0 to 377 big-endian; the byte count cut the
    // file at 1000 bytes, inside the zeros of the page it was created with.
    std::string expected;
    for (int word = 0; word < 256; ++word) {
        expected.push_back(static_cast<char>(word >> 8));
        expected.push_back(static_cast<char>(word & 0377));
    }
    expected += std::string(1000 - 512, '\0');
    EXPECT_EQ(tree.read_file("(EMULATOR)/RAND.DATA"), expected);
}

// Opens the file named on the next typed line, copies it to the terminal,
// then reads one byte of a fresh command line.
const char *const kTypedName = R"(
        ORG 1000
        START GO
GO:     SAX 0
        LDA TYPEP
        SAT 1
        MON 50
        JMP FAIL
        STA FILE
LOOP:   LDT FILE
        MON 1
        JMP LINE
        SAT 1
        MON 2
        JMP FAIL
        JMP LOOP
LINE:   SAT 0
        MON 1
        JMP FAIL
        SAT 1
        MON 2
        JMP FAIL
        MON 0
FAIL:   MON 64
        MON 0
FILE:   WORD 0
TYPEP:  WORD TYPE
TYPE:   TEXT 'SYMB'
)";

TEST(FileCallsEndToEnd, NameReadFromTheTerminalIsOneWholeLine) {
    NdTree tree;
    std::string log;
    ASSERT_TRUE(tree.assemble(kTypedName, "(EMULATOR)/TYPED.PROG", &log)) << log;
    tree.write_file("(EMULATOR)/INFILE.SYMB", "CONTENT\r\n");
    RunResult run = run_kestrel(tree, "TYPED\ninf\nzed\nquit\n");
    // The typed name is echoed with its line end; the next read of the
    // command line takes a new line.
    EXPECT_EQ(program_output(run.output), "inf\r\nCONTENT\r\nzed\r\nZ");
}

// SINTRAN commands from the program: HELP, an ambiguous word, and RECOVER,
// which leaves its line for the shell to start ECHO with.
const char *const kSintran = R"(
        ORG 1000
        START GO
GO:     LDA HELPP
        MON 70
        LDA AMBP
        MON 70
        LDA RECP
        MON 317
        MON 0
HELPP:  WORD HELP
HELP:   TEXT 'HELP'
AMBP:   WORD AMB
AMB:    TEXT 'li'
RECP:   WORD REC
REC:    TEXT 'RECOVER ECHO xyz'
)";

// Writes its command line back, up to and including its CR.
const char *const kEcho = R"(
        ORG 1000
        START GO
GO:     SAT 0
        MON 1
        JMP DONE
        SAT 177
        RAND ST DA
        SAT 1
        MON 2
        JMP DONE
        SAT 15
        SKP IF DA EQL ST
        JMP GO
DONE:   MON 0
)";

TEST(FileCallsEndToEnd, SintranCommandsAndRecover) {
    NdTree tree;
    std::string log;
    ASSERT_TRUE(tree.assemble(kSintran, "(EMULATOR)/SINCMD.PROG", &log)) << log;
    ASSERT_TRUE(tree.assemble(kEcho, "(EMULATOR)/ECHO.PROG", &log)) << log;
    RunResult run = run_kestrel(tree, "SINCMD\nquit\n");
    EXPECT_EQ(run.exit_status, 0);
    std::string output = run.output.substr(run.output.find(kClaimLine) + kClaimLine.size());
    EXPECT_EQ(output.substr(0, 48), "<>\r\nLIST-OPEN-FILES\r\nHELP\r\nGET-TERMINAL-TYPE\r\nTE");
    EXPECT_NE(output.find("\r\nRELEASE-DIRECTORY\r\nAmbiguous command: LI\r\n"), std::string::npos)
        << output;
    // The program's own run report is held back; the shell then starts ECHO
    // with the rest of the RECOVER line, without a prompt in between.
    EXPECT_NE(output.find("Ambiguous command: LI\r\n\r\n XYZ\r\r\nTime used is: "),
              std::string::npos)
        << output;
    EXPECT_EQ(output.find("<>", 2), output.size() - 28) << output;
}

// Writes AB into block 0 of the scratch file and closes file 100 by its
// number before it ends.
const char *const kScratchWrite = R"(
        ORG 1000
        START GO
GO:     LDA AB
        STA BUF
        SAT 0
        LDX BUFP
        MON 6
        JMP FAIL
        SAT 100
        MON 43
        JMP FAIL
        MON 0
FAIL:   MON 64
        MON 0
AB:     WORD 040502
BUFP:   WORD BUF
BUF:    WORD 0
)";

// Reads block 0 of the scratch file and types its first two bytes.
const char *const kScratchRead = R"(
        ORG 1000
        START GO
GO:     SAT 0
        LDX BUFP
        MON 5
        JMP FAIL
        LDA BUF
        SHA SHR 10
        SAT 1
        MON 2
        JMP FAIL
        LDA BUF
        SAT 1
        MON 2
        JMP FAIL
        MON 0
FAIL:   MON 64
        MON 0
BUFP:   WORD BUF
BUF:    WORD 0
)";

TEST(FileCallsEndToEnd, TheScratchFileSurvivesTheRunThatClosedIt) {
    NdTree tree;
    std::string log;
    ASSERT_TRUE(tree.assemble(kScratchWrite, "(EMULATOR)/SCRW.PROG", &log)) << log;
    ASSERT_TRUE(tree.assemble(kScratchRead, "(EMULATOR)/SCRR.PROG", &log)) << log;
    RunResult run = run_kestrel(tree, "SCRW\nSCRR\nquit\n");
    EXPECT_EQ(run.exit_status, 0);
    size_t second = run.output.find("<>", run.output.find("Time used is: "));
    ASSERT_NE(second, std::string::npos) << run.output;
    EXPECT_EQ(program_output(run.output.substr(second)), "AB") << run.output;
    EXPECT_EQ(tree.read_file("(SCRATCH)/SCRATCH01.DATA").substr(0, 2), "AB");
}

// Writes bytes with MON 2 to a new file OUT:DATA until the count at COUNT
// runs out or a call fails (printing W and the error text), then closes it
// (printing C and the error text of a failing close) unless the next word
// says to leave it open for the end of the run.
const char *const kFillDisk = R"(
        ORG 1000
        START GO
GO:     LDX NEWP
        LDA TYPEP
        SAT 0
        MON 50
        JMP FAIL
        STA FILE
LOOP:   LDT FILE
        SAA 101
        MON 2
        JMP WFAIL
        MIN COUNT
        JMP LOOP
        JMP CLOSE
WFAIL:  COPY SA DX
        SAA #W
        SAT 1
        MON 2
        JMP *+1
        COPY SX DA
        MON 64
CLOSE:  LDA KEEP
        JAZ *+2
        MON 0
        LDT FILE
        MON 43
        JMP CFAIL
        MON 0
CFAIL:  COPY SA DX
        SAA #C
        SAT 1
        MON 2
        JMP *+1
        COPY SX DA
FAIL:   MON 64
        MON 0
FILE:   WORD 0
NEWP:   WORD NEW
NEW:    TEXT '"OUT"'
TYPEP:  WORD TYPE
TYPE:   TEXT 'DATA'
)";

TEST(FileCallsEndToEnd, AFullDiskIsReportedByTheWriteTheCloseAndTheEndOfTheRun) {
    const char *const no_space = "\nNOT SO MUCH SPACE UNRESERVED IN DIRECTORY\n";
    struct Case {
        int count;
        bool keep_open;
        std::string expected;
    };
    const Case cases[] = {
        // The write that needs the disk fails, and the file takes nothing
        // more: its close reports what is missing.
        {30000, false,
         std::string("W") + no_space +
             "\r\nFile ./(EMULATOR)/OUT.DATA not written in full: File too large; what the "
             "program wrote from its first failed write on is not in it\r\nC" +
             no_space},
        // All of it waits in the buffer until the close.
        {3000, false, std::string("C") + no_space},
        // The end of the run closes the file and says what did not reach it.
        {3000, true,
         "\r\nFile ./(EMULATOR)/OUT.DATA not written in full: File too large; the last 3000 bytes "
         "the program wrote did not all reach it\r\n"},
    };
    for (const Case &c : cases) {
        NdTree tree;
        std::string source = kFillDisk;
        source += "COUNT:  WORD -" + std::to_string(c.count) + "D\nKEEP:   WORD " +
                  (c.keep_open ? "1" : "0") + "\n";
        std::string log;
        ASSERT_TRUE(tree.assemble(source, "(EMULATOR)/FILL.PROG", &log)) << log;
        std::string output = run_kestrel_with_file_limit(tree, "FILL\nquit\n", 1024).output;
        EXPECT_NE(output.find(c.expected), std::string::npos) << c.count << output;
        EXPECT_EQ(tree.read_file("(EMULATOR)/OUT.DATA"), std::string(1024, 0101));
    }
}

} // namespace
