// kestrel as a Unix command: one program run with its arguments, quiet runs
// that leave standard output to the program, exit statuses, -C and -u, --init,
// --lf, and a program that waits or polls for a key after piped input ended.
#include "harness.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const std::string kHint =
    "Hint: this directory is not an ND directory tree. KESTREL needs the\n"
    "users (SYSTEM), (RT) and (SCRATCH) as directories here, and the scratch\n"
    "files (SCRATCH)/SCRATCH01.DATA to SCRATCH08.DATA. `kestrel --init DIR`\n"
    "lays out such a tree and `kestrel -C DIR` works in it; `make run` lays\n"
    "out a demo tree in build/demo-tree. See README.md, \"Using KESTREL\".\n";

// Writes A, then runs a word that is no instruction.
const char *const kBad = R"(
        ORG 1000
        START GO
GO:     SAA 101
        SAT 1
        MON 2
        WORD 147400
        WORD 147400
)";

class UnixCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        hello_ = demo_image("HELLO.PROG");
        ASSERT_FALSE(hello_.empty()) << "the build assembles demo/hello.asm";
        tree_.write_file("(EMULATOR)/HELLO.PROG", hello_);
    }
    NdTree tree_;
    std::string hello_;
};

TEST_F(UnixCommand, OneProgramRunsWithItsArgumentsAndKestrelExits) {
    RunResult quiet = run_kestrel_apart(tree_, "", {"-q", "HELLO", "WORLD", "AND,MORE"});
    EXPECT_EQ(quiet.output, "HELLO FROM KESTREL: WORLD AND,MORE\r\n");
    EXPECT_EQ(quiet.errors, "");
    EXPECT_EQ(quiet.exit_status, 0);

    // Without -q the run prints what a run at the prompt prints, and KESTREL
    // ends without reading a command.
    RunResult loud = run_kestrel_apart(tree_, "@who\n", {"HELLO", "WORLD"});
    EXPECT_EQ(loud.output.rfind(startup_text(), 0), 0u) << loud.output;
    EXPECT_NE(loud.output.find("\r\r\nargv[1]=HELLO \r\r\nargv[2]=WORLD \r\nLogged in user is"),
              std::string::npos)
        << loud.output;
    EXPECT_NE(loud.output.find("<>HELLO FROM KESTREL: WORLD\r\n\r\nTime used is: "),
              std::string::npos)
        << loud.output;
    EXPECT_EQ(loud.output.find("EMULATOR\r\n<>"), std::string::npos) << "@who is not read";
    const std::string end = " usec/instruction\r\n\r\n--- Terminated KESTREL\r\n";
    EXPECT_EQ(loud.output.substr(loud.output.size() - std::min(end.size(), loud.output.size())),
              end);
    EXPECT_EQ(loud.exit_status, 0);

    // A program whose name is a shell command is still the program.
    tree_.write_file("(EMULATOR)/HELP.PROG", hello_);
    RunResult help = run_kestrel_apart(tree_, "", {"-q", "HELP", "ME"});
    EXPECT_EQ(help.output, "HELLO FROM KESTREL: ME\r\n");
}

TEST_F(UnixCommand, AnAbnormalStopIsOneLineOnStandardErrorAndStatusOne) {
    std::string log;
    ASSERT_TRUE(tree_.assemble(kBad, "(EMULATOR)/BAD.PROG", &log)) << log;
    RunResult run = run_kestrel_apart(tree_, "", {"-q", "BAD"});
    EXPECT_EQ(run.output, "A");
    EXPECT_EQ(run.errors, "kestrel: Illegal instruction code at 1004  147400 207 (decimal high "
                          "byte)\n");
    EXPECT_EQ(run.exit_status, 1);
    // Without -q the message is where a run at the prompt puts it.
    run = run_kestrel_apart(tree_, "", {"BAD"});
    EXPECT_NE(run.output.find("<>A\nIllegal instruction code at 1004  147400 207"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.errors, "");
    EXPECT_EQ(run.exit_status, 1);
    // The same from a :BPUN image named by its host path.
    ASSERT_TRUE(tree_.assemble(kBad, "BAD.BPUN", &log, {"--bpun"})) << log;
    run = run_kestrel_apart(tree_, "", {"-q", "BAD.BPUN"});
    EXPECT_EQ(run.output, "A");
    EXPECT_EQ(run.errors.rfind("kestrel: Illegal instruction code at 1004", 0), 0u) << run.errors;
    EXPECT_EQ(run.exit_status, 1);
}

TEST_F(UnixCommand, UsageErrorsEndWithStatusTwo) {
    tree_.make_directory("(PETER)");
    tree_.make_directory("EMPTY");
    struct Case {
        std::vector<std::string> arguments;
        std::string errors;
    } cases[] = {
        {{"--bogus"},
         "kestrel: unknown option --bogus\n"
         "Try 'kestrel --help' for more information.\n"},
        {{"-C"},
         "kestrel: option -C needs a value\n"
         "Try 'kestrel --help' for more information.\n"},
        {{"-q"},
         "kestrel: -q needs a PROGRAM to run: the operator shell is not quiet\n"
         "Try 'kestrel --help' for more information.\n"},
        {{"-q", "NOSUCH"}, "kestrel: No such file name: NOSUCH.PROG\n"},
        {{"-q", "./NOSUCH.PROG"},
         "kestrel: Cannot open " + tree_.root() + "/./NOSUCH.PROG: No such file or directory\n"},
        {{"-q", "-u", "NOBODY", "HELLO"}, "kestrel: there is no user NOBODY in this ND tree\n"},
        {{"-q", "-C", "NOWHERE", "HELLO"},
         "kestrel: cannot work in NOWHERE: No such file or directory\n"},
        {{"-q", "-C", "EMPTY", "HELLO"}, kHint},
        {{"-C", "EMPTY"}, kHint},
    };
    for (const auto &c : cases) {
        RunResult run = run_kestrel_apart(tree_, "quit\n", c.arguments);
        EXPECT_EQ(run.exit_status, 2) << c.arguments[0] << ": " << run.output;
        EXPECT_EQ(run.errors, c.errors) << c.arguments[0];
    }
}

TEST_F(UnixCommand, InitLaysOutATreeThatRunsImagesFromInsideAndOutside) {
    RunResult init = run_kestrel_apart(tree_, "", {"--init", "mytree", "peter"});
    EXPECT_EQ(init.output, "Made the ND directory tree mytree:\n"
                           "  mytree/\n"
                           "  mytree/(SYSTEM)/\n"
                           "  mytree/(SYSTEM)/TERMINAL.SYMB\n"
                           "  mytree/(RT)/\n"
                           "  mytree/(SCRATCH)/\n"
                           "  mytree/(SCRATCH)/SCRATCH01.DATA\n"
                           "  mytree/(SCRATCH)/SCRATCH02.DATA\n"
                           "  mytree/(SCRATCH)/SCRATCH03.DATA\n"
                           "  mytree/(SCRATCH)/SCRATCH04.DATA\n"
                           "  mytree/(SCRATCH)/SCRATCH05.DATA\n"
                           "  mytree/(SCRATCH)/SCRATCH06.DATA\n"
                           "  mytree/(SCRATCH)/SCRATCH07.DATA\n"
                           "  mytree/(SCRATCH)/SCRATCH08.DATA\n"
                           "  mytree/(PETER)/\n");
    EXPECT_EQ(init.errors, "");
    EXPECT_EQ(init.exit_status, 0);

    // Nothing that exists is overwritten, and nothing is made then.
    tree_.write_file("mytree/(SCRATCH)/SCRATCH08.DATA", "kept");
    RunResult again = run_kestrel_apart(tree_, "", {"--init", "mytree", "ANNA"});
    EXPECT_EQ(again.errors, "kestrel: mytree/(SYSTEM) exists already; nothing was made\n");
    EXPECT_EQ(again.exit_status, 1);
    EXPECT_EQ(tree_.read_file("mytree/(SCRATCH)/SCRATCH08.DATA"), "kept");
    EXPECT_FALSE(tree_.exists("mytree/(ANNA)"));
    RunResult bad_name = run_kestrel_apart(tree_, "", {"--init", "other", "NO/PE"});
    EXPECT_EQ(bad_name.exit_status, 2);
    EXPECT_FALSE(tree_.exists("other"));

    tree_.write_file("mytree/(PETER)/REV.PROG", hello_);
    RunResult inside = run_kestrel_apart(tree_, "", {"-C", "mytree", "-u", "peter", "-q", "REV"});
    EXPECT_EQ(inside.output, "HELLO FROM KESTREL:\r\n");
    EXPECT_EQ(inside.exit_status, 0);
    // A host path is meant from where kestrel was started, not from the tree.
    tree_.write_file("REV.PROG", hello_);
    RunResult outside = run_kestrel_apart(tree_, "", {"-C", "mytree", "-q", "./REV.PROG", "X"});
    EXPECT_EQ(outside.output, "HELLO FROM KESTREL: X\r\n");
    EXPECT_EQ(outside.errors, "");
    EXPECT_EQ(outside.exit_status, 0);
}

TEST_F(UnixCommand, LfMakesCarriageReturnAndLineFeedOneLineFeed) {
    tree_.write_file("(EMULATOR)/CALC.PROG", demo_image("CALC.PROG"));
    RunResult run = run_kestrel_apart(tree_, "12+30\n\n", {"-q", "--lf", "CALC"});
    EXPECT_EQ(run.output, "KESTREL LINE CALCULATOR. TYPE ? FOR HELP, AN EMPTY LINE TO END.\n"
                          "CALC> 12+30\n    42\nCALC> \n");
    EXPECT_EQ(run.exit_status, 0);
    // The end of input while CALC reads its next line is no normal end.
    run = run_kestrel_apart(tree_, "12+30\n", {"-q", "--lf", "CALC"});
    EXPECT_NE(run.output.find("\n    42\nCALC> "), std::string::npos) << run.output;
    EXPECT_EQ(run.errors, "kestrel: End of input, stopping ND-110 execution\n");
    EXPECT_EQ(run.exit_status, 1);
}

// A program that polls for a key (MON 66, IOX 302) and reads the keys that
// came: once piped input has ended, no key can come, and the run stops as ^C
// would stop it, reported as the end of input.
TEST_F(UnixCommand, APollingProgramStopsWhenPipedInputHasEnded) {
    const char *const polls[] = {
        R"(
        ORG 1000
        START GO
GO:     SAT 1
        MON 66
        JMP GO
        JAZ GO
        SAT 1
        MON 1
        JMP GO
        JMP GO
)",
        R"(
        ORG 1000
        START GO
GO:     IOX 302
        JAZ GO
        IOX 300
        IOX 305
        JMP GO
)",
    };
    for (const char *source : polls) {
        std::string log;
        ASSERT_TRUE(tree_.assemble(source, "(EMULATOR)/POLL.PROG", &log)) << log;
        RunResult run = run_kestrel_apart(tree_, "POLL\nAB", {}, 10);
        EXPECT_NE(run.output.find("<>AB\r\nEnd of input, stopping ND-110 execution"),
                  std::string::npos)
            << run.output;
        EXPECT_NE(run.output.find("<>\r\n--- Terminated KESTREL\r\n"), std::string::npos);
        EXPECT_EQ(run.exit_status, 0);
        RunResult quiet = run_kestrel_apart(tree_, "AB", {"-q", "POLL"}, 10);
        EXPECT_EQ(quiet.output, "AB");
        EXPECT_EQ(quiet.errors, "kestrel: End of input, stopping ND-110 execution\n");
        EXPECT_EQ(quiet.exit_status, 1);
    }
}

// On a terminal a quiet run gives the program the keys and the screen.
TEST_F(UnixCommand, AQuietRunOnATerminal) {
    tree_.write_file("(EMULATOR)/CALC.PROG", demo_image("CALC.PROG"));
    PtySession session(tree_, {"-q", "CALC"});
    ASSERT_TRUE(session.wait_for("CALC> ")) << session.output();
    EXPECT_EQ(session.output().find("KESTREL 1."), std::string::npos) << session.output();
    session.send("6*7\r");
    ASSERT_TRUE(session.wait_for("42")) << session.output();
    session.send("\r");
    EXPECT_EQ(session.wait_exit(), 0);
}

} // namespace
