// ND files shared between KESTREL instances in one tree: eight of them
// side by side, each writing and checking its own file while all read one
// shared file; the reservations that keep a file one instance writes from
// the others, and the commands that refuse to change a file another
// instance has open. Also symbolic links, which never lead out of the tree.
#include "harness.h"

#include <filesystem>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

namespace {

const char *const kLoadProgram =
    R"(% One of eight KESTRELs working side by side in one ND tree, its letter on
% its command line. It holds the shared file SHARED:DATA open for reading,
% writes its own file OWN<letter>:DATA, reads it back and checks every byte,
% checks every byte of the shared file, and reports READY. At the first key
% it tries to open the shared file for writing, which the others' reading
% must refuse; at the second key it ends.
BASE = 400
        ORG 200
LETTER: WORD 0
SFILE:  WORD 0
OFILE:  WORD 0
CFILE:  WORD 0
COFF:   WORD 0
BYTE:   WORD 0
TXT:    WORD 0
RET:    WORD 0
K2048:  WORD 2048D
K377:   WORD 377
DATAP:  WORD DATAT
DATAT:  TEXT 'DATA'
SHAREP: WORD SHARET
SHARET: TEXT 'SHARED'
OWNQP:  WORD OWNQT
OWNQT:  TEXT '\"OWN?\"'
OWNP:   WORD OWNT
OWNT:   TEXT 'OWN?'
READYP: WORD READYT
READYT: TEXT 'READY '
CRLFP:  WORD CRLFT
CRLFT:  TEXT '\r\n'
BADP:   WORD BADT
BADT:   TEXT 'BAD BYTE\r\n'
NOTRP:  WORD NOTRT
NOTRT:  TEXT 'SHARED FILE OPENED FOR WRITING\r\n'
PPRINT: WORD PRINTS
PCHECK: WORD CHECK
PFAIL:  WORD FAIL

        ORG 1000
        START GO
GO:     LDA BASEP
        COPY SA DB
        JMP MAIN
BASEP:  WORD BASE

% The first letter of the command line names the own file.
MAIN:   SAT 0
        MON 1
        JMP I PFAIL-BASE,B
        SAT 177
        RAND ST DA
        SAT 40
        SKP IF DA UEQ ST
        JMP MAIN
        STA LETTER-BASE,B
        SAX 4
        LDT OWNQP-BASE,B
        SBYT
        LDA LETTER-BASE,B
        SAX 3
        LDT OWNP-BASE,B
        SBYT

% The shared file, held for reading from here to the end.
        LDX SHAREP-BASE,B
        LDA DATAP-BASE,B
        SAT 1
        MON 50
        JMP I PFAIL-BASE,B
        STA SFILE-BASE,B

% The own file: byte i is i + the letter, 2048 of them.
        LDX OWNQP-BASE,B
        LDA DATAP-BASE,B
        SAT 0
        MON 50
        JMP I PFAIL-BASE,B
        STA OFILE-BASE,B
        SAX 0
WLOOP:  COPY SX DA
        ADD LETTER-BASE,B
        AND K377-BASE,B
        LDT OFILE-BASE,B
        MON 2
        JMP I PFAIL-BASE,B
        AAX 1
        COPY SX DA
        LDT K2048-BASE,B
        SKP IF DA EQL ST
        JMP WLOOP
        LDT OFILE-BASE,B
        MON 43
        JMP I PFAIL-BASE,B

% Read back, as a file of its own; then the shared file, byte i being i.
        LDX OWNP-BASE,B
        LDA DATAP-BASE,B
        SAT 1
        MON 50
        JMP I PFAIL-BASE,B
        STA CFILE-BASE,B
        LDA LETTER-BASE,B
        STA COFF-BASE,B
        JPL I PCHECK-BASE,B
        LDT CFILE-BASE,B
        MON 43
        JMP I PFAIL-BASE,B
        LDA SFILE-BASE,B
        STA CFILE-BASE,B
        SAA 0
        STA COFF-BASE,B
        JPL I PCHECK-BASE,B

        LDA READYP-BASE,B
        JPL I PPRINT-BASE,B
        LDA LETTER-BASE,B
        SAT 1
        MON 2
        JMP I PFAIL-BASE,B
        LDA CRLFP-BASE,B
        JPL I PPRINT-BASE,B

% First key: writing the shared file is refused while the others read it.
        SAT 1
        MON 1
        JMP I PFAIL-BASE,B
        LDX SHAREP-BASE,B
        LDA DATAP-BASE,B
        SAT 0
        MON 50
        JMP REFUSED
        LDA NOTRP-BASE,B
        JPL I PPRINT-BASE,B
        MON 0
REFUSED: MON 64
        LDA CRLFP-BASE,B
        JPL I PPRINT-BASE,B
% Second key: the end, whose halt closes the files.
        SAT 1
        MON 1
        JMP I PFAIL-BASE,B
        MON 0

% Reads the file CFILE to its end: 2048 bytes, byte i being i + COFF.
CHECK:  COPY SL DA
        STA RET-BASE,B
        SAX 0
CLOOP:  LDT CFILE-BASE,B
        MON 1
        JMP CEND
        STA BYTE-BASE,B
        COPY SX DA
        ADD COFF-BASE,B
        AND K377-BASE,B
        LDT BYTE-BASE,B
        SKP IF DA EQL ST
        JMP BAD
        AAX 1
        JMP CLOOP
CEND:   SAT 3
        SKP IF DA EQL ST
        JMP I PFAIL-BASE,B
        COPY SX DA
        LDT K2048-BASE,B
        SKP IF DA EQL ST
        JMP BAD
        LDA RET-BASE,B
        COPY SA DP
BAD:    LDA BADP-BASE,B
        JPL I PPRINT-BASE,B
        MON 0

% The error text of A, and the end.
FAIL:   MON 64
        MON 0

% Prints the apostrophe-ended text at A on the terminal.
PRINTS: STA TXT-BASE,B
        COPY SL DA
        STA RET-BASE,B
        SAX 0
PNEXT:  LDT TXT-BASE,B
        LBYT
        SAT #'
        SKP IF DA UEQ ST
        JMP PDONE
        SAT 1
        MON 2
        JMP I PFAIL-BASE,B
        AAX 1
        JMP PNEXT
PDONE:  LDA RET-BASE,B
        COPY SA DP
)";

// The 2048 bytes of the shared file, byte i being i; of an own file, i + the
// letter.
std::string pattern(int offset) {
    std::string bytes;
    for (int i = 0; i < 2048; ++i)
        bytes.push_back(static_cast<char>((i + offset) & 0377));
    return bytes;
}

class SharedFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string log;
        ASSERT_TRUE(tree_.assemble(kLoadProgram, "(EMULATOR)/LOAD.PROG", &log)) << log;
        tree_.write_file("(EMULATOR)/SHARED.DATA", pattern(0));
    }
    // Starts a KESTREL that runs LOAD with the letter and waits for its READY.
    std::unique_ptr<PtySession> start_loader(char letter) {
        auto session = std::make_unique<PtySession>(tree_);
        EXPECT_TRUE(session->wait_for("<>")) << session->output();
        session->send(std::string("LOAD ") + letter + "\r");
        return session;
    }
    NdTree tree_;
};

TEST_F(SharedFiles, EightKestrelsSideBySide) {
    std::vector<std::unique_ptr<PtySession>> kestrels;
    for (char letter = 'A'; letter < 'A' + 8; ++letter)
        kestrels.push_back(start_loader(letter));
    for (int i = 0; i < 8; ++i) {
        std::string ready = std::string("READY ") + static_cast<char>('A' + i) + "\r\n";
        ASSERT_TRUE(kestrels[i]->wait_for(ready)) << kestrels[i]->output();
        kestrels[i]->mark();
    }
    // All eight read the shared file now: a ninth KESTREL finds no scratch
    // file, and none of the eight may open the shared file for writing.
    RunResult ninth = run_kestrel(tree_, "quit\n");
    EXPECT_NE(ninth.output.find("\r\nAll scratchfiles are in use!\r\n"), std::string::npos)
        << ninth.output;
    EXPECT_NE(ninth.exit_status, 0);
    for (auto &kestrel : kestrels)
        kestrel->send("x");
    // Each is refused while the seven others still read; only then do they
    // end.
    for (auto &kestrel : kestrels)
        EXPECT_TRUE(kestrel->wait_for("\nFILE ALREADY OPEN\n\r\n")) << kestrel->output();
    for (auto &kestrel : kestrels) {
        kestrel->send("x");
        EXPECT_TRUE(kestrel->wait_for("<>"));
        kestrel->send("quit\r");
        EXPECT_EQ(kestrel->wait_exit(), 0);
        EXPECT_EQ(kestrel->output().find("BAD BYTE"), std::string::npos) << kestrel->output();
    }
    for (int i = 0; i < 8; ++i) {
        char letter = static_cast<char>('A' + i);
        EXPECT_EQ(tree_.read_file(std::string("(EMULATOR)/OWN") + letter + ".DATA"),
                  pattern(letter))
            << letter;
    }
    EXPECT_EQ(tree_.read_file("(EMULATOR)/SHARED.DATA"), pattern(0));
}

TEST_F(SharedFiles, CommandsLeaveAFileAnotherKestrelHasOpen) {
    auto holder = start_loader('A');
    ASSERT_TRUE(holder->wait_for("READY A\r\n")) << holder->output();
    tree_.write_file("(EMULATOR)/OTHER.DATA", "other");
    const std::string refusal = "\r\n./(EMULATOR)/SHARED.DATA is open in another KESTREL: ";
    RunResult run = run_kestrel(tree_, "@delete-file SHARED:DATA\n"
                                       "@rename-file SHARED:DATA MOVED\n"
                                       "@copy SHARED:DATA OTHER:DATA\n"
                                       "@copy-file SHARED:DATA OTHER:DATA\n"
                                       "@copy \"COPIED:DATA\" SHARED:DATA\n"
                                       "quit\n");
    EXPECT_NE(run.output.find("<>" + refusal + "not deleted\r\n<>" + refusal + "not renamed\r\n<>" +
                              refusal + "not opened for writing\r\n<>" + refusal +
                              "not opened for writing\r\n<>"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(tree_.read_file("(EMULATOR)/SHARED.DATA"), pattern(0));
    EXPECT_EQ(tree_.read_file("(EMULATOR)/OTHER.DATA"), "other");
    EXPECT_FALSE(tree_.exists("(EMULATOR)/MOVED.DATA"));
    EXPECT_EQ(tree_.read_file("(EMULATOR)/COPIED.DATA"), pattern(0)) << "reading is shared";
    // Alone with the file now, the holder may write it.
    holder->mark();
    holder->send("x");
    EXPECT_TRUE(holder->wait_for("SHARED FILE OPENED FOR WRITING\r\n")) << holder->since_mark();
    EXPECT_TRUE(holder->wait_for("<>"));
    holder->send("quit\r");
    EXPECT_EQ(holder->wait_exit(), 0);
    // The holder gone, however it ended, the file is free again.
    RunResult after = run_kestrel(tree_, "@delete-file SHARED:DATA\nquit\n");
    EXPECT_FALSE(tree_.exists("(EMULATOR)/SHARED.DATA")) << after.output;
}

const char *const kLinksProgram =
    R"(% Symbolic links in a user directory: creating a file through a dangling
% link (MON 50 with a quoted name, MON 221), opening a link to a file of the
% tree, and renaming a file onto a link's name. Each must be refused; the
% error text of each refusal is printed.
        ORG 1000
        START GO
GO:     LDX EVILQP
        LDA SYMBP
        SAT 0
        MON 50
        JMP E1
        JMP WRONG
E1:     MON 64
        LDX EVILP
        LDA PAGESP
        COPY SA DT
        MON 221
        JMP E2
        JMP WRONG
E2:     MON 64
        LDX LINKP
        LDA SYMBP
        SAT 1
        MON 50
        JMP E3
        JMP WRONG
E3:     MON 64
        LDX REALP
        LDA EVILP
        MON 232
        JMP E4
        JMP WRONG
E4:     MON 64
        MON 0
WRONG:  LDA WRONGP
        MON 64
        MON 0
WRONGP: WORD 77777
SYMBP:  WORD SYMB
SYMB:   TEXT 'SYMB'
EVILQP: WORD EVILQ
EVILQ:  TEXT '\"EVIL\"'
EVILP:  WORD EVIL
EVIL:   TEXT 'EVIL:SYMB'
LINKP:  WORD LINK
LINK:   TEXT 'LINK'
REALP:  WORD REAL
REAL:   TEXT 'REAL:SYMB'
PAGESP: WORD PAGES
PAGES:  WORD 0, 1
)";

const char *const kRawProgram =
    R"(% In the raw open mode, the host path ESCAPE/... leads through a link out of
% the working directory: neither creating nor opening a file there is
% allowed. The error text of each refusal is printed.
        ORG 1000
        START GO
GO:     LDX NEWP
        LDA DATAP
        SAT 0
        MON 50
        JMP E1
        JMP WRONG
E1:     MON 64
        LDX OLDP
        LDA DATAP
        SAT 1
        MON 50
        JMP E2
        JMP WRONG
E2:     MON 64
        MON 0
WRONG:  LDA WRONGP
        MON 64
        MON 0
WRONGP: WORD 77777
DATAP:  WORD DATA
DATA:   TEXT 'DATA'
NEWP:   WORD NEW
NEW:    TEXT '\"ESCAPE/NEW:DATA\"'
OLDP:   WORD OLD
OLD:    TEXT 'ESCAPE/SECRET:DATA'
)";

// A dangling link to a file outside the tree, a link to a file inside it,
// and a link to a directory outside it.
TEST(SymbolicLinks, NeverLeadOutOfTheTree) {
    NdTree tree;
    NdTree elsewhere;
    std::string log;
    ASSERT_TRUE(tree.assemble(kLinksProgram, "(EMULATOR)/LINKS.PROG", &log)) << log;
    ASSERT_TRUE(tree.assemble(kRawProgram, "(EMULATOR)/RAW.PROG", &log)) << log;
    tree.write_file("(EMULATOR)/REAL.SYMB", "real");
    tree.write_file("(EMULATOR)/TARGET.SYMB", "target");
    elsewhere.write_file("SECRET.DATA", "secret");
    std::filesystem::create_symlink(elsewhere.path("EVIL.SYMB"), tree.path("(EMULATOR)/EVIL.SYMB"));
    std::filesystem::create_symlink("TARGET.SYMB", tree.path("(EMULATOR)/LINK.SYMB"));
    std::filesystem::create_directory_symlink(elsewhere.root(), tree.path("ESCAPE"));
    RunResult run = run_kestrel(tree, "LINKS\n"
                                      "@copy-file \"EVIL:SYMB\" REAL:SYMB\n"
                                      "@rename-file REAL:SYMB EVIL\n"
                                      "|use-non-abbr-open 1\n"
                                      "RAW\n"
                                      "quit\n");
    EXPECT_NE(run.output.find("<>\nFILE ALREADY EXISTS\n\nFILE ALREADY EXISTS\n"
                              "\nNO SUCH FILE NAME\n\nFILE ALREADY EXISTS\n"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("<>\r\nFile already exists\r\n<>File already exists\r\n<>"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("<>\nILLEGAL CHARACTER IN PARAMETER\n"
                              "\nILLEGAL CHARACTER IN PARAMETER\n"),
              std::string::npos)
        << run.output;
    EXPECT_FALSE(elsewhere.exists("EVIL.SYMB"));
    EXPECT_FALSE(elsewhere.exists("NEW.DATA"));
    EXPECT_EQ(elsewhere.read_file("SECRET.DATA"), "secret");
    EXPECT_EQ(tree.read_file("(EMULATOR)/REAL.SYMB"), "real");
    EXPECT_EQ(tree.read_file("(EMULATOR)/TARGET.SYMB"), "target");
    EXPECT_TRUE(std::filesystem::is_symlink(tree.path("(EMULATOR)/EVIL.SYMB")));
}

} // namespace
