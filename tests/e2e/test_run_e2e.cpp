// Running assembled programs: typed by name with a command line, to MON 0
// with the timing report, stopped by ^C and by ESC, started at the restart
// address, resumed after a breakpoint, and the commands that show and change
// the machine between runs.
#include "harness.h"

#include <gtest/gtest.h>
#include <regex>

namespace {

const std::string kStartupEnd = "was successful: ./(SCRATCH)/SCRATCH01.DATA\r\n";

// The session after start-up, with the run times (which vary) replaced by T
// and U.
std::string transcript(const std::string &output) {
    size_t at = output.find(kStartupEnd);
    std::string text = at == std::string::npos ? output : output.substr(at + kStartupEnd.size());
    text = std::regex_replace(text,
                              std::regex("Time used is: (\\d+ minutes )?\\d+ secs, \\d+ milsecs"),
                              "Time used is: T");
    return std::regex_replace(text, std::regex("executed, [0-9.]+ usec/instruction"),
                              "executed, U usec/instruction");
}

// Reads its command line with MON 1 from file 0 and writes it back with
// MON 2, up to and including the CR that ends it.
const char *const kEchoLine = R"(
        ORG 1000
        START GO
        RESTART AGAIN
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
AGAIN:  SAA #R
        SAT 1
        MON 2
        JMP DONE
        JMP DONE
)";

// Never ends by itself.
const char *const kLoop = R"(
        ORG 2000
GO:     JMP GO
)";

// Reads terminal bytes until the program is stopped.
const char *const kReadKeys = R"(
        ORG 1000
GO:     SAT 1
        MON 1
        JMP GO
        JMP GO
)";

// Three instructions and MON 0, for breakpoints and stepping.
const char *const kCount = R"(
        ORG 1000
        START GO
GO:     SAA 1
        AAA 1
        AAA 1
        MON 0
)";

class Run : public ::testing::Test {
  protected:
    void assemble(const char *source, const std::string &image) {
        std::string log;
        ASSERT_TRUE(tree.assemble(source, image, &log)) << log;
    }
    NdTree tree;
};

TEST_F(Run, ProgramTypedByNameGetsTheRestOfTheLine) {
    assemble(kEchoLine, "(EMULATOR)/ECHO.PROG");
    RunResult run = run_kestrel(tree, "ECHO one,Two\nquit\n");
    EXPECT_EQ(transcript(run.output), "<> ONE,TWO\r"
                                      "\r\nTime used is: T"
                                      "\r\n81 instructions executed, U usec/instruction"
                                      "\r\n<>\r\n--- Terminated KESTREL\r\n");
}

TEST_F(Run, RunToMonZeroWithEveryMessage) {
    assemble(kEchoLine, "(EMULATOR)/ECHO.PROG");
    RunResult run = run_kestrel(tree, "silent-mode off\nECHO\nquit\n");
    EXPECT_EQ(transcript(run.output),
              "<><>No such command: ECHO, try to load and run image file "
              "\r\nSegment tables cleared\r\n"
              "\r\nOpen file: ./(EMULATOR)/ECHO.PROG\r\n"
              "Program low = 1000 high = 1020 start = 1000 restart = 1014\r\n"
              "Loaded OK, memory limits (bank 0) are now set to 1000 - 1020\r\n"
              "Check if program loaded on overlay segment:  NO\r\n"
              "\r\nCommand line set to: \r\r\n"
              "\r\nStarting execution at start address 1000\r\n"
              "\r"
              "\n********* ND program terminates with MON 0 at 1013 **********\n"
              "\r\n__ ND-110 emulation halted, close files (except scratch file):"
              "\r\n   100: ./(SCRATCH)/SCRATCH01.DATA Opened for access   2, block size 512 bytes"
              "\r\n\r\nTime used is: T"
              "\r\n9 instructions executed, U usec/instruction"
              "\r\n<>\r\n--- Terminated KESTREL\r\n");
}

TEST_F(Run, UnknownNameIsReportedByTheFileOpener) {
    RunResult run = run_kestrel(tree, "NOSUCH\nquit\n");
    EXPECT_EQ(transcript(run.output),
              "<>No such file name: NOSUCH.PROG\r\n<>\r\n--- Terminated KESTREL\r\n");
}

TEST_F(Run, RestartAddressAndRunWithAnAddress) {
    assemble(kEchoLine, "(EMULATOR)/ECHO.PROG");
    RunResult run = run_kestrel(
        tree, "load-image-file ECHO\ncontinue-at-restart-address\nrun 1014\nrun 200000\nquit\n");
    EXPECT_EQ(transcript(run.output), "<><>R"
                                      "\r\nTime used is: T<>R"
                                      "\r\nTime used is: T"
                                      "\r\n5 instructions executed, U usec/instruction\r\n\r\n"
                                      "<>Start address must be within 0-ffff \r\n\r\n"
                                      "<>\r\n--- Terminated KESTREL\r\n");
}

TEST_F(Run, RecoverAndBangLoadAndStart) {
    assemble(kEchoLine, "(EMULATOR)/ECHO.PROG");
    RunResult run = run_kestrel(tree, "@recover ECHO abc\n! ECHO  x y\nquit\n");
    std::string text = transcript(run.output);
    EXPECT_NE(text.find("<> ABC\r"), std::string::npos) << text;
    EXPECT_NE(text.find("<>  X Y\r"), std::string::npos) << text;
}

TEST_F(Run, ArgumentsTypedAtThePromptFollowTheAnsweredName) {
    assemble(kEchoLine, "(EMULATOR)/ECHO.PROG");
    // The name and the program's arguments answer the prompt: the command
    // line is what follows the name on that answer, however long the line
    // that asked for it was.
    RunResult run = run_kestrel(tree, "@recover\nEC CDEFGHIJ\n"
                                      "!\nECHO KL MN\n"
                                      "load-image-file ECHO\nrun\n1000 PQ\n"
                                      "quit\n");
    std::string text = transcript(run.output);
    EXPECT_NE(text.find("Load from program file:  CDEFGHIJ\r\r\nTime used is: T"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Load from program file:  KL MN\r\r\nTime used is: T"), std::string::npos)
        << text;
    EXPECT_NE(text.find("Start-address (default is 1000):  PQ\r\r\nTime used is: T"),
              std::string::npos)
        << text;
}

TEST_F(Run, ControlCStopsARunningProgram) {
    assemble(kLoop, "(EMULATOR)/LOOP.PROG");
    PtySession session(tree);
    ASSERT_TRUE(session.wait_for("<>")) << session.output();
    session.send("silent-mode off\r");
    ASSERT_TRUE(session.wait_for("<>")) << session.output();
    session.send("LOOP\r");
    ASSERT_TRUE(session.wait_for("Starting execution at start address 2000")) << session.output();
    session.mark();
    // A ^C that arrives before the cycle has started is one the shell
    // swallows; the operator presses it again.
    bool stopped = false;
    for (int attempt = 0; attempt < 20 && !stopped; ++attempt) {
        session.interrupt();
        stopped = session.wait_for("^C typed, stopping ND-110 execution", 500);
    }
    ASSERT_TRUE(stopped) << session.output();
    ASSERT_TRUE(session.wait_for("__ ND-110 emulation halted")) << session.output();
    ASSERT_TRUE(session.wait_for("instructions executed")) << session.output();
    ASSERT_TRUE(session.wait_for("<>")) << session.output();
    session.send("quit\r");
    ASSERT_TRUE(session.wait_for("--- Terminated KESTREL")) << session.output();
    EXPECT_EQ(session.wait_exit(), 0);
}

TEST_F(Run, EscOnTheTerminalStopsTheProgram) {
    assemble(kReadKeys, "(EMULATOR)/KEYS.PROG");
    PtySession session(tree);
    ASSERT_TRUE(session.wait_for("<>")) << session.output();
    session.send("KEYS\r");
    ASSERT_TRUE(session.wait_for("KEYS")) << session.output();
    session.mark();
    session.send("ab");
    ASSERT_TRUE(session.wait_for("ab")) << session.output();
    session.send("\x1b");
    ASSERT_TRUE(session.wait_for("__ ESC typed on terminal @ 1001")) << session.output();
    ASSERT_TRUE(session.wait_for("<>")) << session.output();
    session.send("quit\r");
    EXPECT_EQ(session.wait_exit(), 0);
}

TEST_F(Run, BreakpointStopsAndContinueAfterBreakpointResumes) {
    assemble(kCount, "(EMULATOR)/COUNT.PROG");
    RunResult run = run_kestrel(tree, "load-image-file COUNT\n"
                                      "continue-after-breakpoint\n"
                                      "set-break-point 1002\n"
                                      "run\n\n"
                                      "list-register-values\n"
                                      "continue-after-breakpoint\n"
                                      "list-register-values\n"
                                      "quit\n");
    std::string text = transcript(run.output);
    EXPECT_NE(text.find("<>Not at a break-point\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n{ 0} WAIT 151000 @ PC=  1002 T=     0 A=     2"), std::string::npos)
        << text;
    EXPECT_NE(text.find("\r\n{ 0} MONxx 153000 @ PC=  1003 T=     0 A=     3"), std::string::npos)
        << text;
}

TEST_F(Run, StepExecutionPausesAfterEachInstruction) {
    assemble(kCount, "(EMULATOR)/COUNT.PROG");
    RunResult run = run_kestrel(tree, "load-image-file COUNT\nstep-execution\n\n\nq\nquit\n");
    std::string text = transcript(run.output);
    EXPECT_NE(text.find("Start-address (PC): \r\nStart address entered:    1000"
                        "\r\n    Starting ND CPU emulation\r\n\r\n>>"
                        "\r\n{ 0} SAA 170401 @ PC=  1000"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\r\n{ 0} AAA 172401 @ PC=  1001"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n   Return to command input!\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("PC=  1002"), std::string::npos) << text;
    EXPECT_EQ(text.find("MON 0"), std::string::npos) << text;
}

TEST_F(Run, StepExecutionGoesThroughAPlantedBreakpoint) {
    assemble(kCount, "(EMULATOR)/COUNT.PROG");
    // Planted elsewhere: continue-after-breakpoint reports it, and the
    // stepping starts at the given address all the same.
    RunResult run = run_kestrel(tree, "load-image-file COUNT\nset-break-point 1003\n"
                                      "step-execution 1000\n\nq\nquit\n");
    std::string text = transcript(run.output);
    EXPECT_NE(text.find("\r\n    Starting ND CPU emulation\r\n\r\n>>Not at a break-point\r\n"
                        "\r\n{ 0} SAA 170401 @ PC=  1000"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\r\n{ 0} AAA 172401 @ PC=  1001"), std::string::npos) << text;

    // At the breakpoint: the replaced word is executed, then the stepping
    // goes on after it, and the run halts once.
    run = run_kestrel(tree, "silent-mode off\nload-image-file COUNT\nset-break-point 1002\n"
                            "run\n\nstep-execution\n\n\n\nquit\n");
    text = transcript(run.output);
    size_t step = text.find(">>");
    ASSERT_NE(step, std::string::npos) << text;
    std::string stepped = text.substr(step);
    EXPECT_EQ(stepped.find("Not at a break-point"), std::string::npos) << stepped;
    EXPECT_NE(stepped.find("\r\n{ 0} MONxx 153000 @ PC=  1003 T=     0 A=     3"),
              std::string::npos)
        << stepped;
    const std::string halt = "__ ND-110 emulation halted";
    size_t first_halt = stepped.find(halt);
    ASSERT_NE(first_halt, std::string::npos) << stepped;
    EXPECT_EQ(stepped.find(halt, first_halt + 1), std::string::npos) << stepped;
}

TEST_F(Run, RegistersAreSetAndShown) {
    RunResult run = run_kestrel(tree, "set-register-value a 123\n"
                                      "set-register-value ad 600005\n"
                                      "set-register-value sts 400\n"
                                      "set-register-value x 200000\n"
                                      "set-register-value q\n"
                                      "set-register-value * 7\n"
                                      "quit\n");
    std::string text = transcript(run.output);
    const std::string before = "\r\n(Bits in status register are not influenced when setting other "
                               "registers)\r\nStatus before:";
    EXPECT_NE(text.find(before +
                        "\r\n{ 0} STZ      0 @ PC=     0 T=     0 A=     0 D=     0 X=     0"
                        " L=     0 ST=110000 B=     0"
                        "\r\nStatus now: \r\n{ 0} STZ      0 @ PC=     0 T=     0 A=   123"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Status now: \r\n{ 0} STZ      0 @ PC=     0 T=     0 A=     3 D=     5"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("B=     0Error, Status register >377 octal\r\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("B=     0Value outside legal range\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("B=     0a x d pc sts t l b ad * (*=all) are legal register names\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("T=     7 A=     7 D=     7 X=     7 L=     7 ST=110007 B=     7"),
              std::string::npos)
        << text;
}

TEST_F(Run, AlternativePageTableHoldsForOneRunOnly) {
    assemble(kCount, "(EMULATOR)/COUNT.PROG");
    RunResult run = run_kestrel(tree, "silent-mode off\nload-image-file COUNT\n"
                                      "activate-alternative-page-table 2\n"
                                      "run\n\nrun\n\n"
                                      "activate-alternative-page-table 4\n"
                                      "activate-alternative-page-table 3\n"
                                      "quit\n");
    std::string text = transcript(run.output);
    const std::string apt = "\r\nStopping with APT 2 on, now turned off\r\n";
    size_t first = text.find(apt);
    ASSERT_NE(first, std::string::npos) << text;
    EXPECT_EQ(text.find(apt, first + 1), std::string::npos) << text;
    EXPECT_NE(text.find("<>NOTE: Status register bit 0 not changed by this command\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("<>Bad alternative page table no, 0,1,2,3 is legal\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("<>Warning: You activated APT for RT-programs\a\r\n"
                        "NOTE: Status register bit 0 not changed by this command\r\n"),
              std::string::npos);
}

TEST_F(Run, MachineVariantAndLimits) {
    RunResult run = run_kestrel(tree, "SINTRAN-info\nCPU-type 2 1\nset-active-level 16\n"
                                      "set-active-level 3\nset-memory-limits 100 77\n"
                                      "set-memory-limits 100 200\nstatus\nquit\n");
    std::string text = transcript(run.output);
    EXPECT_NE(text.find("<>\r\nSystem number (CPU#) : 16505"
                        "\r\nCPU type             : 5  ND-110CX/ND-120CX with 32 bit floating"
                        "\r\nInstruction set      : 10"
                        "\r\nMicroprogram version : 12"
                        "\r\nSystem type          : 0"
                        "\r\nOperating system     : 5  SINTRAN III VSX-500"
                        "\r\nOperating system vers: L"
                        "\r\nRevision level       : 2624"
                        "\r\nSys.gen time         : 09:34 16/12-1988 \r\n<>"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\r\nCPU type             : 2  ND-100 with 48 bit floating"
                        "\r\nInstruction set      : 1  ND-100/CE"),
              std::string::npos);
    EXPECT_NE(text.find("<>Illegal interrupt level\r\n"), std::string::npos);
    EXPECT_NE(text.find("<>PIE is set to 10 and PID to 10 , Interrupt system turned on\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("<>Error, lower address < upper address\r\n"), std::string::npos);
    EXPECT_NE(text.find("<>Memory limits are now     100 -     200\r\n"), std::string::npos);
    EXPECT_NE(text.find("<>CPU status is: 32 bit ND float format, defined program memory limits "
                        "are 100 -     200 \r\n{ 3} STZ      0 @ PC=     0"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\nActive level 3, prev. level 0 Interrupt ON ,PIE=10  PID = 10"
                        "\r\nNo trace areas defined\r\nTerminal type is 0\r\n"),
              std::string::npos)
        << text;
}

} // namespace
