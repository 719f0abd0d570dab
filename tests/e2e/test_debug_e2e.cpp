// The debugging aids on running ND programs, through the real binary: the
// traced run and its prompt on a terminal, the breakpoint, guards, the
// memory watch, histogram, trace areas, the start-trace address, entry
// points and trace files.
#include "harness.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kScratchLine = "SCRATCH01.DATA\r\n";
const std::string kPause =
    "\r\n*** Type CR to continue, q = quit s = single c = continuous o = off: ";

// X counts to 30 in a loop of four instructions, then a subroutine sets A
// to 7: 100 instructions from GO to MON 0.
const char kLoop[] = R"(
        ORG 1000
        START GO
GO:     SAX 0
LOOP:   AAX 1
        SAT 30
        SKP IF DX EQL ST
        JMP LOOP
        JPL SUBR
        MON 0
SUBR:   SAA 7
        EXIT
)";

// Stores 5 and then 6 into DATA (address 1005).
const char kStores[] = R"(
        ORG 1000
        START GO
GO:     SAA 5
        STA DATA
        SAA 6
        STA DATA
        MON 0
DATA:   WORD 0
)";

std::string session(const NdTree &tree, const std::string &input) {
    RunResult run = run_kestrel(tree, input + "quit\n");
    EXPECT_EQ(run.exit_status, 0);
    size_t at = run.output.find(kScratchLine);
    if (at == std::string::npos) return run.output;
    return run.output.substr(at + kScratchLine.size());
}

int count_of(const std::string &text, const std::string &needle) {
    int count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++count;
    return count;
}

class DebugRun : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string log;
        ASSERT_TRUE(tree_.assemble(kLoop, "(EMULATOR)/LOOP.PROG", &log)) << log;
        ASSERT_TRUE(tree_.assemble(kStores, "(EMULATOR)/STORES.PROG", &log)) << log;
    }
    // Sends a line and waits for `needle` in what follows it.
    bool answer(PtySession &pty, const std::string &line, const std::string &needle) {
        pty.mark();
        pty.send(line);
        return pty.wait_for(needle);
    }
    NdTree tree_;
};

// --- the traced run and its prompt ---

TEST_F(DebugRun, TracePausesEveryTwentyLinesAndAnswersSingleAndContinuous) {
    PtySession pty(tree_);
    ASSERT_TRUE(pty.wait_for("<>"));
    ASSERT_TRUE(answer(pty, "l-i-f LOOP\n", "<>"));
    ASSERT_TRUE(answer(pty, "trace-execution on\n", "<>"));
    ASSERT_TRUE(answer(pty, "run\n", "Start-address"));
    ASSERT_TRUE(answer(pty, "\n", kPause)) << pty.output();
    EXPECT_EQ(count_of(pty.since_mark(), "\r\n{ 0} "), 20);
    EXPECT_NE(pty.since_mark().find("\r\n{ 0} SAX 171400 @ PC=  1000 T=     0 A=     0"),
              std::string::npos)
        << pty.since_mark();

    ASSERT_TRUE(answer(pty, "\n", kPause));
    EXPECT_EQ(count_of(pty.since_mark(), "\r\n{ 0} "), 20) << "CR goes on for twenty more";
    ASSERT_TRUE(answer(pty, "s\n", kPause));
    EXPECT_EQ(count_of(pty.since_mark(), "\r\n{ 0} "), 1) << "single: a pause after each line";
    ASSERT_TRUE(answer(pty, "\n", kPause));
    EXPECT_EQ(count_of(pty.since_mark(), "\r\n{ 0} "), 1);
    ASSERT_TRUE(answer(pty, "c\n", "instructions executed")) << pty.since_mark();
    std::string rest = pty.since_mark();
    EXPECT_EQ(rest.find(kPause), std::string::npos) << "continuous: no more pauses";
    EXPECT_EQ(count_of(rest, "\r\n{ 0} "), 100 - 42);
    EXPECT_NE(rest.find("\r\n{ 0} MONxx 153000 @ PC=  1006 T=    30 A=     7"), std::string::npos);
    EXPECT_NE(rest.find("100 instructions executed"), std::string::npos);
    pty.send("quit\n");
    EXPECT_EQ(pty.wait_exit(), 0);
}

TEST_F(DebugRun, TraceAnswerOffEndsTheTraceAndQuitEndsTheRun) {
    PtySession pty(tree_);
    ASSERT_TRUE(pty.wait_for("<>"));
    ASSERT_TRUE(answer(pty, "l-i-f LOOP\n", "<>"));
    ASSERT_TRUE(answer(pty, "trace-execution on\n", "<>"));
    ASSERT_TRUE(answer(pty, "run 1000\n", kPause)) << pty.output();
    ASSERT_TRUE(answer(pty, "o\n", "instructions executed"));
    std::string rest = pty.since_mark();
    EXPECT_EQ(count_of(rest, "\r\n{ 0} "), 0) << "off: no more lines";
    EXPECT_NE(rest.find("100 instructions executed"), std::string::npos) << rest;
    ASSERT_TRUE(answer(pty, "status\n", "Terminal type is"));
    EXPECT_EQ(pty.since_mark().find("Tracing execution"), std::string::npos);

    // "o" left the trace continuous: switched on again it runs without a pause
    // until it is switched off.
    ASSERT_TRUE(answer(pty, "trace-execution on\n", "<>"));
    ASSERT_TRUE(answer(pty, "run 1000\n", "instructions executed"));
    EXPECT_EQ(pty.since_mark().find(kPause), std::string::npos);
    EXPECT_EQ(count_of(pty.since_mark(), "\r\n{ 0} "), 100);

    ASSERT_TRUE(answer(pty, "trace-execution off\n", "<>"));
    ASSERT_TRUE(answer(pty, "trace-execution on\n", "<>"));
    ASSERT_TRUE(answer(pty, "run 1000\n", kPause));
    ASSERT_TRUE(answer(pty, "q\n", "<>"));
    rest = pty.since_mark();
    EXPECT_NE(rest.find("   Return to command input!"), std::string::npos) << rest;
    EXPECT_NE(rest.find("20 instructions executed"), std::string::npos) << rest;
    // The run stopped after its twentieth instruction, the SKP of the fifth round.
    ASSERT_TRUE(answer(pty, "list-register-values\n", "<>"));
    EXPECT_NE(
        pty.since_mark().find("op14nn 140067 @ PC=  1003 T=    30 A=     7 D=     0 X=     5"),
        std::string::npos)
        << pty.since_mark();
    pty.send("quit\n");
    EXPECT_EQ(pty.wait_exit(), 0);
}

TEST_F(DebugRun, EndOfInputAtTheTracePromptQuitsTheRun) {
    RunResult run = run_kestrel(tree_, "l-i-f LOOP\ntrace-execution on\nrun 1000\n");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(count_of(run.output, kPause), 1) << run.output;
    EXPECT_NE(run.output.find(kPause + "\r\n   Return to command input!\r\n"), std::string::npos);
    EXPECT_NE(run.output.find("20 instructions executed"), std::string::npos);
}

TEST_F(DebugRun, TraceAnswersFromAPipe) {
    std::string out = session(tree_, "l-i-f LOOP\ntrace-execution on\nrun 1000\ns\n\nc\n");
    EXPECT_EQ(count_of(out, kPause), 3);
    EXPECT_EQ(count_of(out, "\r\n{ 0} "), 100);
    EXPECT_NE(out.find("100 instructions executed"), std::string::npos);
}

TEST_F(DebugRun, TraceToAFileNeverPauses) {
    std::string out = session(tree_, "l-i-f LOOP\nopen-trace-file \"TRACE\"\n"
                                     "trace-execution on\nrun\n\nclose-trace-file\n");
    EXPECT_EQ(out.find(kPause), std::string::npos) << out;
    EXPECT_EQ(out.find("\r\n{ 0} "), std::string::npos);
    std::string trace = tree_.read_file("(EMULATOR)/TRACE.TXT");
    EXPECT_EQ(count_of(trace, "\r\n{ 0} "), 100);
    EXPECT_EQ(trace.rfind("\r\n{ 0} SAX 171400 @ PC=  1000", 0), 0u) << trace;
}

// --- the breakpoint ---

TEST_F(DebugRun, BreakpointIsHitContinuedAndCleared) {
    std::string out = session(tree_, "l-i-f LOOP\nset-break-point 1007\nrun\n\n"
                                     "list-register-values\nstatus\ncontinue-after-breakpoint\n"
                                     "list-register-values\nrun 1000\nclear-breakpoint\nrun 1000\n"
                                     "list-register-values\n");
    EXPECT_NE(out.find("98 instructions executed"), std::string::npos) << out;
    EXPECT_NE(out.find("<>\r\n{ 0} WAIT 151000 @ PC=  1007 T=    30 A=     0 D=     0 X=    30"
                       " L=  1006"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("\r\nBreakpoint set at 1007 \r\nInstruction code at breakpoint is 170407 "),
              std::string::npos);
    // Resumed with SAA 7 in place of the WAIT: A is 7 at MON 0.
    EXPECT_NE(out.find("<>\r\n{ 0} MONxx 153000 @ PC=  1006 T=    30 A=     7"), std::string::npos)
        << out;
    EXPECT_EQ(count_of(out, "98 instructions executed"), 2) << "still planted after continuing";
    EXPECT_NE(out.find("<>Breakpoint at 1007 cleared\r\n"), std::string::npos);
    EXPECT_NE(out.find("100 instructions executed"), std::string::npos)
        << "runs through once cleared";
}

TEST_F(DebugRun, ContinueAwayFromTheBreakpointRunsNothing) {
    std::string out =
        session(tree_, "l-i-f LOOP\nset-break-point 1007\ncontinue-after-breakpoint\n");
    EXPECT_NE(out.find("<>Not at a break-point\r\n<>"), std::string::npos) << out;
}

TEST_F(DebugRun, ReloadingRemovesTheBreakpoint) {
    std::string out =
        session(tree_, "l-i-f LOOP\nset-break-point 1007\nl-i-f LOOP\nrun\n\n"
                       "set-break-point 1007\nl-i-f STORES\nfind-value-in-memory 151000 1\n");
    EXPECT_NE(out.find("Break-point at 1007 cleared!"), std::string::npos) << out;
    EXPECT_NE(out.find("100 instructions executed"), std::string::npos) << out;
    EXPECT_EQ(out.find(" found at:"), std::string::npos) << "no WAIT left behind";
}

TEST_F(DebugRun, StepExecutionPausesAfterEachInstruction) {
    PtySession pty(tree_);
    ASSERT_TRUE(pty.wait_for("<>"));
    ASSERT_TRUE(answer(pty, "l-i-f LOOP\n", "<>"));
    ASSERT_TRUE(answer(pty, "step-execution\n", "Start-address"));
    ASSERT_TRUE(answer(pty, "\n", kPause));
    EXPECT_EQ(count_of(pty.since_mark(), "\r\n{ 0} "), 1);
    ASSERT_TRUE(answer(pty, "\n", kPause));
    EXPECT_NE(pty.since_mark().find("{ 0} AAX 173401 @ PC=  1001"), std::string::npos);
    ASSERT_TRUE(answer(pty, "q\n", "<>"));
    EXPECT_NE(pty.since_mark().find("Return to command input!"), std::string::npos);
    pty.send("quit\n");
    EXPECT_EQ(pty.wait_exit(), 0);
}

// --- guards, watch, histogram, areas, start address ---

TEST_F(DebugRun, GuardStopsAtEachChangeAndQuitReturnsToTheShell) {
    PtySession pty(tree_);
    ASSERT_TRUE(pty.wait_for("<>"));
    ASSERT_TRUE(answer(pty, "l-i-f STORES\n", "<>"));
    ASSERT_TRUE(answer(pty, "guard 1 1005\n", "Contents now is: 0")) << pty.output();
    ASSERT_TRUE(answer(pty, "run\n", "Start-address"));
    ASSERT_TRUE(answer(pty, "\n", ">> Type CR to continue, q to quit"));
    EXPECT_NE(
        pty.since_mark().find("Memory location 1005 in PT 0 has changed from 0 to 5 @P= 1001"),
        std::string::npos)
        << pty.since_mark();
    ASSERT_TRUE(answer(pty, "\n", ">> Type CR to continue, q to quit"));
    EXPECT_NE(pty.since_mark().find("has changed from 5 to 6 @P= 1003"), std::string::npos);
    ASSERT_TRUE(answer(pty, "q\n", "<>"));
    EXPECT_NE(pty.since_mark().find("   Return to command input!"), std::string::npos);
    EXPECT_NE(pty.since_mark().find("4 instructions executed"), std::string::npos)
        << "MON 0 was not reached";
    pty.send("quit\n");
    EXPECT_EQ(pty.wait_exit(), 0);
}

TEST_F(DebugRun, WatchReportsTheChangeAndTracesFromThere) {
    std::string out = session(tree_, "l-i-f STORES\nreport-memory-change 1005\nrun\n\n");
    EXPECT_NE(
        out.find("\r\nMemory address    1005 changed from       0 to       5 at P=    1001\r\n"
                 "\r\n{ 0} SAA 170406 @ PC=  1002"),
        std::string::npos)
        << out;
    EXPECT_NE(out.find("changed from       5 to       6 at P=    1003\r\n"), std::string::npos);
}

TEST_F(DebugRun, HistogramCountsTheLoop) {
    std::string out = session(tree_, "l-i-f LOOP\nset-memory-limits 0 177777\n"
                                     "define-histogram 1000 1\nrun\n\nlist-histogram\n");
    EXPECT_NE(out.find("Histogram area starts at    1000, ends at    1012\r\n"), std::string::npos);
    EXPECT_NE(out.find("\r\n   1000 -    1000           1"
                       "\r\n   1001 -    1001          24"
                       "\r\n   1002 -    1002          24"
                       "\r\n   1003 -    1003          24"
                       "\r\n   1004 -    1004          23"
                       "\r\n   1005 -    1005           1"
                       "\r\n   1006 -    1006           1"
                       "\r\n   1007 -    1007           1"
                       "\r\n   1010 -    1010           1"
                       "\r\n   1011 -    1011           0"
                       "\r\n\r\nNumber of instr. executed: 100 "
                       "\r\nInside histogram area    : 100"),
              std::string::npos)
        << out;
}

TEST_F(DebugRun, TraceAreaAndStartAddress) {
    std::string out = session(tree_, "l-i-f LOOP\ndefine-trace-area 1 1005 1010\nrun\n\n");
    EXPECT_EQ(count_of(out, "\r\n{ 0} "), 4) << out;
    EXPECT_NE(out.find("\r\n{ 0} JPL 134002 @ PC=  1005"), std::string::npos);
    out = session(tree_, "l-i-f LOOP\nbegin-trace-execution-when-at 1005\nrun\n\n");
    EXPECT_NE(out.find("\r\nTurning on continuous trace at PC =    1005\r\n"
                       "\r\n{ 0} SAA 170407 @ PC=  1007"),
              std::string::npos)
        << out;
    EXPECT_EQ(count_of(out, "\r\n{ 0} "), 3);
}

// --- entry points ---

TEST_F(DebugRun, EntryPointsFromASymbolFile) {
    tree_.write_file("(EMULATOR)/LOOP.SYMB", "LOOP....001001 \r\nSUBR........1007\r\n"
                                             "AVERYLONGNAMEINDEED..1005\n");
    std::string out = session(tree_, "get-entries LOOP\ntrace-entries on\nl-i-f LOOP\nrun\n\n");
    EXPECT_NE(out.find("\r\nClearing old entries\r\nLOOP =    1001\r\nSUBR =    1007\r\n"
                       "AVERYLONGNA =    1005\r\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(count_of(out, "  Enter LOOP at   1001 , LREG = "), 24);
    EXPECT_NE(out.find("  Enter AVERYLONGNA at   1005 , LREG =      0 \r\n"
                       "  Enter SUBR at   1007 , LREG =   1006 \r\n"),
              std::string::npos)
        << out;
}

TEST_F(DebugRun, SymbolFileLimitsAndEnd) {
    std::string many;
    for (int i = 0; i < 101; ++i)
        many += "S" + std::to_string(i) + "..1\r\n";
    tree_.write_file("(EMULATOR)/MANY.SYMB", many);
    tree_.write_file("(EMULATOR)/CUT.SYMB", "A..1\nB..2");
    std::string out = session(tree_, "get-entries MANY\nget-entries CUT\n");
    EXPECT_NE(out.find("S99 =       1\r\nMore than 100 symbols\r\n<>"), std::string::npos) << out;
    EXPECT_NE(out.find("\r\nClearing old entries\r\nA =       1\r\n\r\nEnd of file<>"),
              std::string::npos)
        << out;
}

} // namespace
