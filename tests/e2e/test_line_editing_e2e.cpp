// Command lines typed at a terminal: editing, history kept across runs in the
// working directory, and Tab completion of command names.
#include "harness.h"

#include <gtest/gtest.h>

namespace {

TEST(LineEditing, TabCompletesACommandName) {
    NdTree tree;
    PtySession session(tree);
    ASSERT_TRUE(session.wait_for("<>")) << session.output();
    session.mark();
    session.send("silent-m\t");
    ASSERT_TRUE(session.wait_for("silent-mode ")) << session.output();
    session.send("off\r");
    session.mark();
    session.send("quit\r");
    ASSERT_TRUE(session.wait_for("--- Terminated KESTREL")) << session.output();
    EXPECT_EQ(session.wait_exit(), 0);
}

TEST(LineEditing, BackspaceEditsTheLine) {
    NdTree tree;
    PtySession session(tree);
    ASSERT_TRUE(session.wait_for("<>"));
    session.send("debux\x7fg 9\r");
    ASSERT_TRUE(session.wait_for("Illegal char. in octal number: 9")) << session.output();
    session.send("quit\r");
    EXPECT_EQ(session.wait_exit(), 0);
}

TEST(LineEditing, HistoryIsKeptAcrossRuns) {
    NdTree tree;
    {
        PtySession session(tree);
        ASSERT_TRUE(session.wait_for("<>"));
        session.mark();
        session.send("debug 7\r");
        ASSERT_TRUE(session.wait_for("<>")) << session.output();
        session.send("quit\r");
        EXPECT_EQ(session.wait_exit(), 0);
    }
    // The history file encodes blanks in its own way; the command word shows.
    EXPECT_NE(tree.read_file(".kestrel_history").find("debug"), std::string::npos);
    PtySession again(tree);
    ASSERT_TRUE(again.wait_for("<>"));
    ASSERT_TRUE(again.wait_raw_mode()) << "the line editor takes the keys";
    again.mark();
    // Up arrow twice passes "quit" and recalls "debug 7", edited into "debug 9".
    again.send("\x1b[A\x1b[A\x7f" "9\r");
    ASSERT_TRUE(again.wait_for("Illegal char. in octal number: 9")) << again.since_mark();
    again.send("quit\r");
    EXPECT_EQ(again.wait_exit(), 0);
}

TEST(LineEditing, PipedInputIsNotEdited) {
    NdTree tree;
    RunResult run = run_kestrel(tree, "debug 0\nquit\n");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_FALSE(tree.exists(".kestrel_history"));
}

}  // namespace
