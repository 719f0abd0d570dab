// The ways KESTREL ends besides quit: SIGTERM and SIGHUP, a terminal that
// hangs up, a standard output that closes or cannot be written, and ^Z.
// Each way leaves the ND files complete and the terminal as it was.
#include "harness.h"

#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace {

// Writes 3000 A's into the new file OUT:DATA through MON 2, says READY and
// waits for a key; after S it writes X to the terminal for ever, after any
// other key it ends.
const char *const kWriterProgram = R"(
        ORG 1000
        START GO
GO:     LDX NAMEP
        LDA TYPEP
        SAT 0
        MON 50                  ; OUT:DATA, new, for writing
        JMP STOP
        STA FILE
        LDA COUNT
        STA LEFT
PUT:    SAA 101
        LDT FILE
        MON 2
        JMP STOP
        MIN LEFT
        JMP PUT
        LDX READYP
        MON 32
        SAT 1
        MON 1                   ; the key
        JMP STOP
        AND K177
        LDT KS
        SKP IF DA EQL ST
        JMP STOP
SPIN:   SAA 130
        SAT 1
        MON 2
        JMP STOP
        JMP SPIN
STOP:   MON 0
FILE:   WORD 0
LEFT:   WORD 0
COUNT:  WORD -3000D
K177:   WORD 177
KS:     WORD 123
NAMEP:  WORD NAME
NAME:   TEXT '"OUT"'
TYPEP:  WORD TYPE
TYPE:   TEXT 'DATA'
READYP: WORD READY
READY:  TEXT 'READY$'
)";

const std::string kWritten(3000, 'A');

class SignalsEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string log;
        ASSERT_TRUE(tree_.assemble(kWriterProgram, "(EMULATOR)/WRITER.PROG", &log)) << log;
    }
    // Starts WRITER at the prompt, or sees the one-program run started with
    // it; returns when it has written its file and waits for a key.
    static bool start_writer(PtySession &session, bool one_program = false) {
        if (!one_program) {
            if (!session.wait_for("<>")) return false;
            session.send("WRITER\r");
        }
        return session.wait_for("READY");
    }
    // A quiet one-program run of WRITER.
    static PtyOptions quiet_writer() {
        PtyOptions options;
        options.arguments = {"-q", "WRITER"};
        return options;
    }
    NdTree tree_;
};

// SIGTERM while a program waits for a key, or at the prompt: the run stops,
// what the program wrote is in its file, the terminal is back in line mode,
// and KESTREL exits (it is not killed) with 128 + 15, also from a quiet
// one-program run whose stopped run alone would make the status 1.
TEST_F(SignalsEndToEnd, SigtermEndsInOrderDuringARunAndAtThePrompt) {
    for (int place = 0; place < 3; ++place) {
        bool at_prompt = place == 1, one_program = place == 2;
        SCOPED_TRACE(at_prompt ? "at the prompt" : one_program ? "one program" : "during a run");
        std::remove(tree_.path("(EMULATOR)/OUT.DATA").c_str());
        PtySession session(tree_, one_program ? quiet_writer() : PtyOptions{});
        ASSERT_TRUE(start_writer(session, one_program)) << session.output();
        if (at_prompt) {
            session.mark();
            session.send("Q");
            ASSERT_TRUE(session.wait_for("<>")) << session.output();
            session.send("@delete-file OUT:DATA"); // typed, never entered
            ASSERT_TRUE(session.wait_for("OUT:DATA")) << session.output();
        }
        session.send_signal(SIGTERM);
        EXPECT_EQ(session.wait_exit(), 128 + SIGTERM) << session.output();
        EXPECT_FALSE(session.killed_by_signal());
        EXPECT_EQ(tree_.read_file("(EMULATOR)/OUT.DATA"), kWritten);
        EXPECT_TRUE(session.terminal_in_line_mode());
        bool run_stopped = session.output().find("SIGTERM received, stopping ND-110 execution") !=
                           std::string::npos;
        EXPECT_EQ(run_stopped, !at_prompt) << session.output();
        // A quiet run reports the stop on standard error, and nothing else.
        bool terminated_shown =
            session.output().find("--- Terminated KESTREL: SIGTERM received") != std::string::npos;
        EXPECT_EQ(terminated_shown, !one_program) << session.output();
    }
}

// The terminal closes during a run: SIGHUP ends KESTREL in order.
TEST_F(SignalsEndToEnd, HangUpDuringARunClosesTheFiles) {
    PtySession session(tree_);
    ASSERT_TRUE(start_writer(session)) << session.output();
    session.hang_up();
    EXPECT_EQ(session.wait_exit(), 128 + SIGHUP);
    EXPECT_FALSE(session.killed_by_signal());
    EXPECT_EQ(tree_.read_file("(EMULATOR)/OUT.DATA"), kWritten);
}

// With SIGHUP ignored (nohup) the hang-up shows only as reads that fail:
// that is the end of input, not a prompt read again for ever.
TEST_F(SignalsEndToEnd, HangUpWithoutSighupIsTheEndOfInput) {
    PtyOptions options;
    options.ignore_hangup = true;
    PtySession session(tree_, options);
    ASSERT_TRUE(session.wait_for("<>")) << session.output();
    ASSERT_TRUE(session.wait_raw_mode()) << session.output();
    session.hang_up();
    EXPECT_NE(session.wait_exit(), -1) << "KESTREL goes on after its terminal hung up";
    EXPECT_FALSE(session.killed_by_signal());
}

// Standard output a pipe whose reader goes away while the terminal is raw:
// KESTREL ends with status 1 and the terminal restored, instead of dying of
// SIGPIPE. In a quiet run the pipe carries the program's terminal output.
TEST_F(SignalsEndToEnd, ClosedStandardOutputEndsKestrel) {
    for (bool one_program : {false, true}) {
        SCOPED_TRACE(one_program ? "quiet one-program run" : "at the prompt");
        std::remove(tree_.path("(EMULATOR)/OUT.DATA").c_str());
        PtyOptions options = one_program ? quiet_writer() : PtyOptions{};
        options.output_to_pipe = true;
        PtySession session(tree_, options);
        ASSERT_TRUE(start_writer(session, one_program)) << session.output();
        session.close_output();
        session.send("S");
        EXPECT_EQ(session.wait_exit(), 1);
        EXPECT_FALSE(session.killed_by_signal());
        EXPECT_TRUE(session.terminal_in_line_mode());
        EXPECT_EQ(tree_.read_file("(EMULATOR)/OUT.DATA"), kWritten);
    }
}

// Output that a full disk refuses is reported in the exit status, also when
// it is a quiet run's program output and the program ended at MON 0.
TEST_F(SignalsEndToEnd, OutputThatCouldNotBeWrittenMakesTheStatusNonZero) {
    for (const char *run : {"echo quit | '" KESTREL_BINARY "'",
                            "printf Q | '" KESTREL_BINARY "' -q WRITER"}) {
        SCOPED_TRACE(run);
        std::string output;
        int status = run_host_command(
            "cd '" + tree_.root() + "' && " + run + " >/dev/full 2>/dev/null", &output);
        EXPECT_EQ(status, 1);
    }
}

// ^Z while a program runs: the shell gets the terminal in line mode, and
// after fg the program has the raw terminal again and takes a key.
TEST_F(SignalsEndToEnd, SuspendGivesTheTerminalBackAndContinueTakesItAgain) {
    PtyOptions options;
    options.shell_script = "set -m; \"$KESTREL\"; echo STOPPED; read answer; fg";
    PtySession session(tree_, options);
    ASSERT_TRUE(start_writer(session)) << session.output();
    session.mark();
    session.send("\x1a");
    ASSERT_TRUE(session.wait_for("STOPPED")) << session.output();
    EXPECT_TRUE(session.terminal_in_line_mode());
    session.send("\r");
    ASSERT_TRUE(session.wait_raw_mode()) << session.output();
    session.mark();
    session.send("S");
    EXPECT_TRUE(session.wait_for("XXX")) << session.output();
    session.interrupt();
    ASSERT_TRUE(session.wait_for("<>")) << session.output();
    session.send("quit\r");
    EXPECT_EQ(session.wait_exit(), 0) << session.output();
}

} // namespace
