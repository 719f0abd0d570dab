// The demo programs that `make run` puts into the demo tree, run as a
// newcomer would run them, and kestrel's own command-line options.
#include "harness.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

TEST(Demo, HelloPrintsItsCommandLineBack) {
    NdTree tree;
    std::string image = demo_image("HELLO.PROG");
    ASSERT_FALSE(image.empty()) << "the build assembles demo/hello.asm";
    tree.write_file("(EMULATOR)/HELLO.PROG", image);
    RunResult run = run_kestrel(tree, "HELLO world\nquit\n");
    EXPECT_NE(run.output.find("HELLO FROM KESTREL: WORLD\r\n"), std::string::npos) << run.output;
    EXPECT_EQ(run.exit_status, 0);
}

TEST(Demo, HelloWithoutCommandLine) {
    NdTree tree;
    tree.write_file("(EMULATOR)/HELLO.PROG", demo_image("HELLO.PROG"));
    RunResult run = run_kestrel(tree, "HELLO\nquit\n");
    EXPECT_NE(run.output.find("HELLO FROM KESTREL:\r\n"), std::string::npos) << run.output;
}

// The text between the first occurrence of `from` and the next `to` (both
// included), or "" when either is missing.
std::string between(const std::string &text, const std::string &from, const std::string &to) {
    size_t start = text.find(from);
    if (start == std::string::npos) return "";
    size_t end = text.find(to, start + from.size());
    if (end == std::string::npos) return "";
    return text.substr(start, end + to.size() - start);
}

class CalcDemo : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string image = demo_image("CALC.PROG");
        ASSERT_FALSE(image.empty()) << "the build assembles demo/calc.asm";
        tree_.write_file("(EMULATOR)/CALC.PROG", image);
    }
    // The calculator's session: from its greeting to the prompt at which
    // the empty line ended it.
    std::string session(const std::string &lines) {
        RunResult run = run_kestrel(tree_, "CALC\n" + lines + "\nquit\n");
        EXPECT_EQ(run.exit_status, 0);
        return between(run.output, "KESTREL LINE CALCULATOR", "CALC> \r\n");
    }
    NdTree tree_;
};

TEST_F(CalcDemo, OneLineFromTheCommandLine) {
    RunResult run = run_kestrel(tree_, "CALC 12+30\nCALC (7-2)*6,H\nquit\n");
    EXPECT_NE(run.output.find("<>    42\r\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("<>  1e\r\n"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("CALC>"), std::string::npos) << "no prompt for a one-line run";
}

TEST_F(CalcDemo, PrecedenceParenthesesRadixesAndThePreviousResult) {
    EXPECT_EQ(session("2+3*4\n(2+3)*4\n-M\n100/7\n100%7\n-7/2\n36B+1\n177777B\n"
                      "255,O\n255,H\n5,B\n-1,O\n-32767-1\n"),
              "KESTREL LINE CALCULATOR. TYPE ? FOR HELP, AN EMPTY LINE TO END.\r\n"
              "CALC> 2+3*4\r\n    14\r\n"
              "CALC> (2+3)*4\r\n    20\r\n"
              "CALC> -M\r\n   -20\r\n"
              "CALC> 100/7\r\n    14\r\n"
              "CALC> 100%7\r\n     2\r\n"
              "CALC> -7/2\r\n    -3\r\n"
              "CALC> 36B+1\r\n    31\r\n"
              "CALC> 177777B\r\n    -1\r\n"
              "CALC> 255,O\r\n   377\r\n"
              "CALC> 255,H\r\n  ff\r\n"
              "CALC> 5,B\r\n0000000000000101\r\n"
              "CALC> -1,O\r\n177777\r\n"
              "CALC> -32767-1\r\n-32768\r\n"
              "CALC> \r\n");
}

TEST_F(CalcDemo, EveryFaultIsNamedAndTheNextLineIsRead) {
    EXPECT_EQ(session("300*200\n-32767-2\n(-32767-1)/-1\n1/0\n32768\n200000B\n9B\n(1+2\n1+\n"
                      "1 2\n5,X\n" +
                      std::string(101, '1') + "\n" + std::string(95, '(') + "1\n6*7\n"),
              "KESTREL LINE CALCULATOR. TYPE ? FOR HELP, AN EMPTY LINE TO END.\r\n"
              "CALC> 300*200\r\n?? OVERFLOW: THE RESULT IS OUTSIDE -32768 TO 32767.\r\n"
              "CALC> -32767-2\r\n?? OVERFLOW: THE RESULT IS OUTSIDE -32768 TO 32767.\r\n"
              "CALC> (-32767-1)/-1\r\n?? OVERFLOW: THE RESULT IS OUTSIDE -32768 TO 32767.\r\n"
              "CALC> 1/0\r\n?? DIVISION BY ZERO.\r\n"
              "CALC> 32768\r\n?? NUMBER TOO BIG: AT MOST 32767, OR 177777B IN OCTAL.\r\n"
              "CALC> 200000B\r\n?? NUMBER TOO BIG: AT MOST 32767, OR 177777B IN OCTAL.\r\n"
              "CALC> 9B\r\n?? AN OCTAL NUMBER (ENDED BY B) HAS ONLY THE DIGITS 0 TO 7.\r\n"
              "CALC> (1+2\r\n?? A ) IS MISSING.\r\n"
              "CALC> 1+\r\n?? THE LINE ENDS TOO EARLY: SOMETHING IS MISSING AT THE END.\r\n"
              "CALC> 1 2\r\n?? UNEXPECTED 2. TYPE ? FOR HELP.\r\n"
              "CALC> 5,X\r\n?? UNEXPECTED X. TYPE ? FOR HELP.\r\n"
              "CALC> " +
                  std::string(101, '1') +
                  "\r\n?? LINE TOO LONG: AT MOST 100 CHARACTERS.\r\n"
                  "CALC> " +
                  std::string(95, '(') +
                  "1\r\n?? TOO MANY NESTED PARENTHESES.\r\n"
                  "CALC> 6*7\r\n    42\r\n"
                  "CALC> \r\n");
}

TEST_F(CalcDemo, QuestionMarkPrintsTheRules) {
    std::string text = session("?\n");
    EXPECT_NE(text.find("CALC> ?\r\nTYPE AN EXPRESSION, SUCH AS (7-2)*6 OR -M/3, THEN RETURN.\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("END WITH ,D ,O ,H OR ,B FOR DECIMAL, OCTAL, HEX OR BINARY.\r\nCALC> "),
              std::string::npos)
        << text;
}

TEST(Demo, ArithPrintsFloatingAndDecimalResults) {
    NdTree tree;
    std::string image = demo_image("ARITH.PROG");
    ASSERT_FALSE(image.empty()) << "the build assembles demo/arith.asm";
    tree.write_file("(EMULATOR)/ARITH.PROG", image);
    RunResult run = run_kestrel(tree, "ARITH\nquit\n");
    EXPECT_EQ(run.exit_status, 0);
    // Each floating result is cut toward zero by the machine and rounded
    // by the program; 25! needs 26 digits of packed decimal.
    EXPECT_EQ(between(run.output, "FLOATING POINT", "BUDGET.\r\n"),
              "FLOATING POINT (NLZ, FAD, FSU, FMU, FDV, DNZ)\r\n"
              "   1.0 IS 040100 000000 IN ND FLOATING POINT\r\n"
              "  -1.0 IS 140100 000000 IN ND FLOATING POINT\r\n"
              "  355 / 113 = 3.1416\r\n"
              "  CELSIUS  FAHRENHEIT\r\n"
              "    -40.0       -40.0\r\n"
              "    -18.0        -0.4\r\n"
              "      0.0        32.0\r\n"
              "     37.0        98.6\r\n"
              "    100.0       212.0\r\n"
              "      A   SQUARE ROOT\r\n"
              "      2         1.414\r\n"
              "      3         1.732\r\n"
              "     10         3.162\r\n"
              "   1000        31.623\r\n"
              "  30000       173.205\r\n"
              "DECIMAL ARITHMETIC (ADDD, SUBD, COMD, PACK, SHDE)\r\n"
              "  10! = 3628800\r\n"
              "  15! = 1307674368000\r\n"
              "  20! = 2432902008176640000\r\n"
              "  25! = 15511210043330985984000000\r\n"
              "  INVOICE\r\n"
              "    PAPER TAPE         19.99\r\n"
              "    DISK PACK        1234.50\r\n"
              "    PUNCHED CARDS       0.48\r\n"
              "    LESS DISCOUNT       5.00\r\n"
              "    TOTAL            1249.97\r\n"
              "    ROUNDED          1250\r\n"
              "    BUDGET           1250.00\r\n"
              "    THE TOTAL IS WITHIN THE BUDGET.\r\n")
        << run.output;
}

class FilesDemo : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string image = demo_image("FILES.PROG");
        ASSERT_FALSE(image.empty()) << "the build assembles demo/files.asm";
        tree_.write_file("(EMULATOR)/FILES.PROG", image);
        tree_.write_file("(EMULATOR)/NOTE.SYMB", "FIRST LINE\r\nSECOND LINE\r\n");
    }
    NdTree tree_;
};

// Bytes of every value, in an order that shows a block boundary slip.
std::string pattern_bytes(size_t count) {
    std::string bytes(count, '\0');
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 512) & 0xff);
    return bytes;
}

TEST_F(FilesDemo, ListShowsEachFileOfTheUserWithItsSize) {
    tree_.write_file("(EMULATOR)/BIG.DATA", pattern_bytes(70000));
    RunResult run = run_kestrel(tree_, "FILES LIST\nquit\n");
    EXPECT_NE(run.output.find("FILES OF (EMULATOR):\r\nNAME              TYPE     BYTES\r\n"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("NOTE              SYMB        25\r\n"), std::string::npos);
    // More than 16 bits of size.
    EXPECT_NE(run.output.find("BIG               DATA     70000\r\n"), std::string::npos);
    EXPECT_NE(run.output.find("\r\n3 FILES\r\n"), std::string::npos) << run.output;
}

TEST_F(FilesDemo, TypeWritesAFileOnTheTerminal) {
    RunResult run = run_kestrel(tree_, "FILES TYPE NOT\nquit\n");
    EXPECT_NE(run.output.find("<>FIRST LINE\r\nSECOND LINE\r\n"), std::string::npos) << run.output;
}

TEST_F(FilesDemo, CopyMakesAnExactCopyOrReplacesTheContents) {
    std::string data = pattern_bytes(5000); // nine blocks and 392 bytes
    tree_.write_file("(EMULATOR)/ORIGINAL.DATA", data);
    tree_.write_file("(EMULATOR)/OLD.DATA", pattern_bytes(9000));
    RunResult run = run_kestrel(tree_, "FILES COPY ORIG:DATA NEW:DATA\n"
                                       "FILES C ORIGINAL:DATA OLD:DATA\n"
                                       "FILES C NOTE (EMULATOR)COPY\nquit\n");
    EXPECT_NE(run.output.find("COPIED 5000 BYTES FROM ./(EMULATOR)/ORIGINAL.DATA TO "
                              "./(EMULATOR)/NEW.DATA (A NEW FILE)\r\n"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("COPIED 5000 BYTES FROM ./(EMULATOR)/ORIGINAL.DATA TO "
                              "./(EMULATOR)/OLD.DATA (REPLACING ITS CONTENTS)\r\n"),
              std::string::npos);
    EXPECT_NE(run.output.find("COPIED 25 BYTES FROM ./(EMULATOR)/NOTE.SYMB TO "
                              "./(EMULATOR)/COPY.SYMB (A NEW FILE)\r\n"),
              std::string::npos);
    EXPECT_EQ(tree_.read_file("(EMULATOR)/NEW.DATA"), data);
    EXPECT_EQ(tree_.read_file("(EMULATOR)/OLD.DATA"), data) << "the longer old file is cut";
    EXPECT_EQ(tree_.read_file("(EMULATOR)/COPY.SYMB"), "FIRST LINE\r\nSECOND LINE\r\n");
}

TEST_F(FilesDemo, FaultsNameTheFileAndTheReason) {
    tree_.write_file("(EMULATOR)/EMPTY.DATA", "");
    RunResult run = run_kestrel(tree_, "FILES COPY NOSUCH X\n"
                                       "FILES C NOTE (SYSTEM)NOTE\n"
                                       "FILES C (SYSTEM)TERMINAL X\n"
                                       "FILES TYPE EMPTY:DATA\n"
                                       "FILES COPY NOTE\n"
                                       "FILES\nquit\n");
    EXPECT_NE(run.output.find("<>?? NO FILE NAMED NOSUCH: NO SUCH FILE NAME\r\n"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("<>?? CANNOT OPEN (SYSTEM)NOTE: NOT DIRECTORY ACCESS\r\n"),
              std::string::npos);
    EXPECT_FALSE(tree_.exists("(SYSTEM)/NOTE.SYMB"));
    EXPECT_NE(run.output.find("<>?? THE TERMINAL CANNOT BE COPIED: (SYSTEM)TERMINAL\r\n"),
              std::string::npos);
    std::string usage = "FILES LIST             THE FILES OF THE CURRENT USER\r\n"
                        "FILES TYPE NAME        WRITES A TEXT FILE ON THE TERMINAL\r\n"
                        "FILES COPY FROM TO     COPIES A FILE; TO IS MADE OR REPLACED\r\n"
                        "A NAME WITHOUT :TYPE IS :SYMB. L, T OR C IS ENOUGH.\r\n";
    // An empty file types as nothing; a copy without its second name and a
    // bare FILES show how to use it.
    EXPECT_NE(run.output.find("<>\r\nTime used"), std::string::npos);
    size_t first = run.output.find(usage);
    ASSERT_NE(first, std::string::npos) << run.output;
    EXPECT_NE(run.output.find(usage, first + usage.size()), std::string::npos);
    EXPECT_FALSE(tree_.exists("(EMULATOR)/X.SYMB"));
}

// kestrel in a tmux window of 80 x 25 on a socket of its own, removed at
// the end: the screen as a person sees it.
class TmuxScreen {
  public:
    explicit TmuxScreen(const std::string &directory) {
        socket_ = "kestrel-demo-" + std::to_string(getpid());
        std::string out;
        started_ = run("new-session -d -x 80 -y 25 -c '" + directory + "' '" + KESTREL_BINARY +
                           "' \\; set-option status off",
                       &out) == 0;
    }
    ~TmuxScreen() {
        std::string out;
        run("kill-server", &out);
    }
    bool started() const { return started_; }
    void keys(const std::string &keys) {
        std::string out;
        run("send-keys -t 0 " + keys, &out);
    }
    std::vector<std::string> rows() {
        std::string out;
        run("capture-pane -p -t 0", &out);
        std::vector<std::string> rows;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);)
            rows.push_back(line);
        rows.resize(25);
        return rows;
    }
    // Waits until some row holds `text`; returns the screen then.
    std::vector<std::string> wait_for(const std::string &text) {
        std::vector<std::string> screen;
        for (int i = 0; i < 200; ++i) {
            screen = rows();
            for (const auto &row : screen)
                if (row.find(text) != std::string::npos) return screen;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return screen;
    }

    // Waits until row `row` is `text`; returns the screen then.
    std::vector<std::string> wait_for_row(size_t row, const std::string &text) {
        std::vector<std::string> screen;
        for (int i = 0; i < 200; ++i) {
            screen = rows();
            if (screen[row] == text) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return screen;
    }

  private:
    int run(const std::string &arguments, std::string *out) {
        return run_host_command("tmux -L " + socket_ + " " + arguments + " 2>&1", out);
    }
    std::string socket_;
    bool started_ = false;
};

std::string repeated(const std::string &text, int count) {
    std::string out;
    for (int i = 0; i < count; ++i)
        out += text;
    return out;
}

TEST(Demo, ScreenDrawsTheBoxFollowsTheArrowKeysAndLightsTheLamps) {
    std::string out;
    if (run_host_command("command -v tmux", &out) != 0) GTEST_SKIP() << "tmux is not installed";
    NdTree tree;
    std::string image = demo_image("SCREEN.PROG");
    ASSERT_FALSE(image.empty()) << "the build assembles demo/screen.asm";
    tree.write_file("(EMULATOR)/SCREEN.PROG", image);
    TmuxScreen tmux(tree.root());
    ASSERT_TRUE(tmux.started());
    tmux.wait_for("<>");
    tmux.keys("SCREEN Enter");
    std::vector<std::string> rows = tmux.wait_for("ROW 10  COLUMN 39");
    std::string side = "          │" + std::string(58, ' ') + "│";
    EXPECT_EQ(rows[2], "          ┌" + repeated("─", 58) + "┐");
    EXPECT_EQ(rows[3], "          │                   KESTREL ON A TDV 2215                  │");
    EXPECT_EQ(rows[10], side);
    EXPECT_EQ(rows[19], "          │ ROW 10  COLUMN 39                                        │");
    EXPECT_EQ(rows[20], "          └" + repeated("─", 58) + "┘");
    EXPECT_EQ(rows[21], "          ARROW KEYS MOVE THE CURSOR, OTHER KEYS WRITE IN THE BOX.");

    // Two rows up, two columns left, a word, lamps 1 and 3.
    tmux.keys("Up Up Left Left H I 1 3");
    std::string lamps = std::string(24, ' ') + "■" + std::string(10, ' ') + "■";
    rows = tmux.wait_for_row(23, lamps);
    EXPECT_EQ(rows[8], "          │                          HI                              │");
    EXPECT_EQ(rows[19], "          │ ROW 08  COLUMN 39                                        │");
    EXPECT_EQ(rows[23], lamps);

    // The cursor stays inside the box.
    tmux.keys(repeated("Down ", 15) + repeated("Right ", 40));
    rows = tmux.wait_for("ROW 17  COLUMN 68");
    EXPECT_EQ(rows[19], "          │ ROW 17  COLUMN 68                                        │");

    // Lamps out, then ESC ends the program as a key, not as a stop.
    tmux.keys("0");
    rows = tmux.wait_for_row(23, "");
    EXPECT_EQ(rows[23], "");
    tmux.keys("Escape");
    rows = tmux.wait_for("<>");
    bool box_left = false, esc_stop = false;
    for (const auto &row : rows) {
        box_left = box_left || row.find("┌") != std::string::npos;
        esc_stop = esc_stop || row.find("ESC typed") != std::string::npos;
    }
    EXPECT_FALSE(box_left) << "the screen is cleared at the end";
    EXPECT_FALSE(esc_stop);
    tmux.keys("quit Enter");
}

// The tree that `make run` lays out, made by the same script.
class DemoTree : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string out;
        int status =
            run_host_command("'" + std::string(KESTREL_SOURCE_DIR) + "/scripts/make-demo-tree' '" +
                                 tree_.root() + "' '" + KESTREL_BUILD_DIR + "'",
                             &out);
        ASSERT_EQ(status, 0) << out;
    }
    NdTree tree_;
};

TEST_F(DemoTree, HoldsEveryDemoProgramAndTheSegmentFiles) {
    for (const char *file :
         {"(EMULATOR)/HELLO.PROG", "(EMULATOR)/CALC.PROG", "(EMULATOR)/ARITH.PROG",
          "(EMULATOR)/FILES.PROG", "(EMULATOR)/SCREEN.PROG", "(EMULATOR)/WELCOME.SYMB",
          "(SYSTEM)/SEGA.PROG", "(SYSTEM)/SEGB.PROG", "(SYSTEM)/SEGFILE.SIN3"})
        EXPECT_TRUE(tree_.exists(file)) << file;
    EXPECT_EQ(tree_.read_file("(SYSTEM)/SEGFILE.SIN3"), "1 SEGA SEGA\r\n2 SEGB SEGB\r\n");
    // Each SegmentImage: program low and high, data low and high (least
    // significant byte first), then both whole banks of the 2-bank image.
    for (const char *file : {"(SYSTEM)/SEGFILE_1.SGNO", "(SYSTEM)/SEGFILE_2.SGNO"}) {
        std::string image = tree_.read_file(file);
        ASSERT_EQ(image.size(), 8u + 2 * 2 * 65536) << file;
        EXPECT_EQ(image.substr(0, 8), std::string("\0\0\xff\xff\0\0\xff\xff", 8)) << file;
    }
    RunResult run = run_kestrel(tree_, "FILES TYPE WELCOME\nquit\n");
    EXPECT_NE(run.output.find("<>WELCOME TO KESTREL"), std::string::npos) << run.output;
}

TEST_F(DemoTree, TwoSegmentsSwitchWithMon322AndMon323) {
    RunResult run = run_kestrel(tree_, "SEGA\nquit\n");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_NE(run.output.find("<>SEGA, SEGMENT 1, ROUND 1: SWITCHING TO SEGB, SEGMENT 2\r\n"
                              "SEGB, SEGMENT 2, ROUND 1: SWITCHING TO SEGA, SEGMENT 1\r\n"
                              "SEGA, SEGMENT 1, ROUND 2: SWITCHING TO SEGB, SEGMENT 2\r\n"
                              "SEGB, SEGMENT 2, ROUND 2: SWITCHING TO SEGA, SEGMENT 1\r\n"
                              "SEGA, SEGMENT 1, ROUND 3: SWITCHING TO SEGB, SEGMENT 2\r\n"
                              "SEGB, SEGMENT 2, ROUND 3: DONE.\r\n"),
              std::string::npos)
        << run.output;
}

TEST_F(DemoTree, ASegmentSwitchThatCannotHappenIsReported) {
    ASSERT_EQ(std::remove(tree_.path("(SYSTEM)/SEGFILE_2.SGNO").c_str()), 0);
    RunResult run = run_kestrel(tree_, "SEGA\nquit\n");
    EXPECT_NE(run.output.find("\nCan not open ./(SYSTEM)/SEGFILE_2.SGNO\r\n?? THE SWITCH TO "
                              "SEGMENT 2 DID NOT HAPPEN: IS (SYSTEM)SEGFILE_2.SGNO THERE? MAKE "
                              "RUN WRITES IT (SEE README.md).\r\n"),
              std::string::npos)
        << run.output;
    tree_.write_file("(SYSTEM)/SEGFILE.SIN3", "1 SEGA SEGA\r\n");
    run = run_kestrel(tree_, "SEGA\nquit\n");
    EXPECT_NE(run.output.find("<>SEGA, SEGMENT 1, ROUND 1\r\n?? NO SEGMENT NAMED SEGB IN "
                              "(SYSTEM)SEGFILE.SIN3. MAKE RUN WRITES IT (SEE README.md).\r\n"),
              std::string::npos)
        << run.output;
}

// Start-up in a directory that is no ND tree ends with status 2 and a hint
// that says what is missing and how to get a tree; in a tree that lacks a
// scratch file or the user, the documented messages and a hint each.
TEST(StartupHints, ADirectoryWithoutTheUsersPointsToTheDemoTree) {
    NdTree tree;
    std::string out;
    ASSERT_EQ(run_host_command("rm -rf '" + tree.path("(SYSTEM)") + "' '" + tree.path("(RT)") +
                                   "' '" + tree.path("(SCRATCH)") + "'",
                               &out),
              0);
    RunResult run = run_kestrel_apart(tree, "quit\n");
    EXPECT_EQ(run.errors,
              "Hint: this directory is not an ND directory tree. KESTREL needs the\n"
              "users (SYSTEM), (RT) and (SCRATCH) as directories here, and the scratch\n"
              "files (SCRATCH)/SCRATCH01.DATA to SCRATCH08.DATA. `kestrel --init DIR`\n"
              "lays out such a tree and `kestrel -C DIR` works in it; `make run` lays\n"
              "out a demo tree in build/demo-tree. See README.md, \"Using KESTREL\".\n");
    EXPECT_EQ(run.exit_status, 2);
    EXPECT_NE(run.output.find("\r\nLogged in user is EMULATOR, index 0\r\n"), std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find("<>"), std::string::npos) << "no prompt: " << run.output;
    EXPECT_FALSE(tree.exists("(SCRATCH)")) << "nothing is made in a directory that is no tree";
}

TEST(StartupHints, AMissingScratchFileAndUserAreNamed) {
    NdTree tree;
    std::string out;
    ASSERT_EQ(run_host_command("rm '" + tree.path("(SCRATCH)/SCRATCH01.DATA") + "' && rmdir '" +
                                   tree.path("(EMULATOR)") + "'",
                               &out),
              0);
    RunResult run = run_kestrel(tree, "quit\n");
    EXPECT_NE(run.output.find(
                  "Opening scratch file for random access failed !!!\r\n"
                  "Hint: no scratch file could be opened. The files (SCRATCH)/SCRATCH01.DATA\r\n"
                  "to SCRATCH08.DATA must exist here (empty files will do); without one,\r\n"
                  "ND programs run, but MON 5 and MON 6 fail.\r\n"
                  "Hint: there is no user EMULATOR here, no directory (EMULATOR). Make that\r\n"
                  "directory, or log in another user with log-in-user.\r\n<>"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.exit_status, 0);
}

TEST(StartupHints, ACompleteTreeGetsNoHint) {
    NdTree tree;
    RunResult run = run_kestrel(tree, "quit\n");
    EXPECT_EQ(run.output.find("Hint:"), std::string::npos) << run.output;
}

TEST(StartupHints, TheNinthKestrelIsToldWhy) {
    NdTree tree;
    std::vector<std::unique_ptr<PtySession>> holders;
    for (int i = 0; i < 8; ++i) {
        holders.push_back(std::make_unique<PtySession>(tree));
        ASSERT_TRUE(holders.back()->wait_for("<>")) << holders.back()->output();
    }
    RunResult ninth = run_kestrel(tree, "quit\n");
    EXPECT_NE(ninth.output.find(
                  "\r\nAll scratchfiles are in use!\r\n"
                  "Eight KESTRELs already work in this directory, one on each scratch\r\n"
                  "file. End one of them, or start KESTREL in another ND directory tree.\r\n"),
              std::string::npos)
        << ninth.output;
    EXPECT_NE(ninth.exit_status, 0);
}

TEST(Options, NdAsmNamesWhatItsCommandLineLacks) {
    std::string nd_asm = std::string("'") + KESTREL_BUILD_DIR + "/nd-asm'";
    std::string source = std::string("'") + KESTREL_SOURCE_DIR + "/demo/hello.asm'";
    std::string out;
    EXPECT_EQ(run_host_command(nd_asm + " " + source + " 2>&1", &out), 2);
    EXPECT_EQ(out.rfind("nd-asm: no image file named: give it with -o, such as -o PROG.PROG, "
                        "or ask for --listing\n",
                        0),
              0u)
        << out;
    EXPECT_EQ(run_host_command(nd_asm + " -o X.PROG 2>&1", &out), 2);
    EXPECT_EQ(out.rfind("nd-asm: no source file named\n", 0), 0u) << out;
    EXPECT_EQ(run_host_command(nd_asm + " A.ASM B.ASM -o X.PROG 2>&1", &out), 2);
    EXPECT_EQ(out, "nd-asm: more than one source file given (A.ASM and B.ASM); the image is named "
                   "with -o\n");
}

TEST(Options, HelpAndVersionPrintAndExit) {
    NdTree tree;
    RunResult help = run_kestrel(tree, "", {"--help"});
    EXPECT_EQ(help.exit_status, 0);
    EXPECT_EQ(help.output.rfind("Usage: kestrel", 0), 0u) << help.output;
    RunResult version = run_kestrel(tree, "", {"--version"});
    EXPECT_EQ(version.exit_status, 0);
    EXPECT_EQ(version.output.rfind("kestrel 1.", 0), 0u) << version.output;
    EXPECT_EQ(version.output.find("Logged in"), std::string::npos);
}

TEST(Options, ImagePathChangesDirectoryAndRunsAsThatUser) {
    NdTree tree;
    tree.make_directory("(PETER)");
    tree.write_file("(PETER)/HELLO.PROG", demo_image("HELLO.PROG"));
    // Started from elsewhere: the path names the tree and the user.
    RunResult run = run_kestrel(tree, "@who\nquit\n", {tree.path("(PETER)/HELLO.PROG"), "A", "B"});
    EXPECT_NE(run.output.find("\r\nSet current directory to " + tree.root() + "/"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("Double clicked on a .PROG file\r\n  to invoke HELLO.PROG"),
              std::string::npos);
    EXPECT_NE(run.output.find("\r\nMust change to user PETER\r\n"), std::string::npos);
    EXPECT_NE(run.output.find("HELLO FROM KESTREL: A B\r\n"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("===>"), std::string::npos) << "one program, no commands read";
    EXPECT_EQ(run.exit_status, 0);
}

} // namespace
