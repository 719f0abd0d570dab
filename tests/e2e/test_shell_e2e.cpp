// Start-up, the command loop, @mode files, abbreviations and the ways out.
#include "harness.h"

#include <cstdlib>
#include <memory>

#include <gtest/gtest.h>

namespace {

const std::string kPrompt = "<>";

std::string after_startup(const std::string &output) {
    size_t at = output.find("was successful: ./(SCRATCH)/SCRATCH01.DATA\r\n");
    if (at == std::string::npos)
        return output;
    return output.substr(at + std::string("was successful: ./(SCRATCH)/SCRATCH01.DATA\r\n").size());
}

TEST(StartUp, BannerLoginAndScratchClaimInOrder) {
    NdTree tree;
    RunResult run = run_kestrel(tree, "quit\n");
    EXPECT_EQ(run.exit_status, 0);
    const std::string stars(44, '*');
    ASSERT_EQ(run.output.rfind("\r\r\n" + stars + "\r\r\n* KESTREL", 0), 0u) << run.output;
    size_t title_end = run.output.find("*\r\r\n" + stars + "\r\r\n");
    ASSERT_NE(title_end, std::string::npos);
    size_t title_start = run.output.find("* KESTREL");
    EXPECT_EQ(title_end - title_start, 43u) << "title line is 44 characters wide";
    EXPECT_NE(run.output.find("\r\r\nargv[0]="), std::string::npos);
    EXPECT_NE(run.output.find("\r\nLogged in user is EMULATOR, index 3\r\n"
                              "Opening scratch file for random access "
                              "was successful: ./(SCRATCH)/SCRATCH01.DATA\r\n"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(after_startup(run.output), "<>\r\n--- Terminated KESTREL\r\n");
}

TEST(StartUp, MissingUserEmulatorFallsBackToSystem) {
    NdTree tree;
    std::string command = "rmdir '" + tree.path("(EMULATOR)") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    RunResult run = run_kestrel(tree, "quit\n");
    EXPECT_NE(run.output.find("Did not find user EMULATOR\r\n\r\nLogged in user is EMULATOR, index 0"),
              std::string::npos)
        << run.output;
}

TEST(StartUp, SystemRtScratchComeFirstWhateverTheListingOrder) {
    NdTree tree;
    tree.make_directory("(AAA)");
    RunResult run = run_kestrel(tree, "quit\n");
    // AAA sorts first on the host but follows the three fixed users.
    EXPECT_NE(run.output.find("Logged in user is EMULATOR, index 4"), std::string::npos)
        << run.output;
}

TEST(StartUp, AllScratchFilesTakenEndsWithFailureStatus) {
    NdTree tree;
    std::vector<std::unique_ptr<PtySession>> holders;
    for (int i = 0; i < 8; ++i) {
        holders.push_back(std::make_unique<PtySession>(tree));
        ASSERT_TRUE(holders.back()->wait_for("<>")) << holders.back()->output();
    }
    EXPECT_NE(holders[1]->output().find("SCRATCH02.DATA"), std::string::npos);
    RunResult ninth = run_kestrel(tree, "quit\n");
    EXPECT_NE(ninth.output.find("Opening scratch file for random access "
                                "\r\nAll scratchfiles are in use!\r\n"),
              std::string::npos)
        << ninth.output;
    EXPECT_NE(ninth.exit_status, 0);
    EXPECT_EQ(ninth.output.find("<>"), std::string::npos);
}

TEST(StartUp, MissingScratchFileRunsWithoutOne) {
    NdTree tree;
    std::remove(tree.path("(SCRATCH)/SCRATCH01.DATA").c_str());
    RunResult run = run_kestrel(tree, "quit\n");
    EXPECT_NE(run.output.find("Opening scratch file for random access failed !!!\r\n"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.exit_status, 0);
}

TEST(CommandLoop, QuitAndExitBothTerminate) {
    for (const char *word : {"quit\n", "exit\n", "qu\n", "ex\n"}) {
        NdTree tree;
        RunResult run = run_kestrel(tree, word);
        EXPECT_EQ(after_startup(run.output), "<>\r\n--- Terminated KESTREL\r\n") << word;
        EXPECT_EQ(run.exit_status, 0);
    }
}

TEST(CommandLoop, EndOfPipedInputEndsCleanly) {
    NdTree tree;
    RunResult run = run_kestrel(tree, "");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(after_startup(run.output), "<>\r\n--- Terminated KESTREL\r\n");
}

TEST(CommandLoop, EmptyLinePrintsFreshPrompt) {
    NdTree tree;
    RunResult run = run_kestrel(tree, "\n   \nquit\n");
    EXPECT_EQ(after_startup(run.output), "<><><>\r\n--- Terminated KESTREL\r\n");
}

TEST(CommandLoop, AmbiguousCommandEchoesWholeLine) {
    NdTree tree;
    RunResult run = run_kestrel(tree, "set 1 2\nquit\n");
    EXPECT_EQ(after_startup(run.output),
              "<>Ambiguous command: set 1 2\r\n<>\r\n--- Terminated KESTREL\r\n");
}

TEST(CommandLoop, UnknownWordIsTriedAsImageFile) {
    NdTree tree;
    RunResult run = run_kestrel(tree, "silent-mode off\nlist-USERS\nquit\n");
    std::string out = after_startup(run.output);
    EXPECT_NE(out.find("No such command: list-USERS, try to load and run image file "),
              std::string::npos)
        << out;
}

TEST(CommandLoop, SettingsCommandsAndTheirMessages) {
    NdTree tree;
    RunResult run = run_kestrel(tree,
                                "debug 0\n"
                                "debug 9\n"
                                "upper-case o\n"
                                "upper-case maybe\n"
                                "allow-SKP-CLD perhaps\n"
                                "norsk-tegnsett kanskje\n"
                                "|NCT\n"
                                "|MON310 1\n"
                                "|TDV 1\n"
                                "|use-non-abbr-open 0\n"
                                "@set-terminal-type\n"
                                "@set-terminal-type 5x\n"
                                "quit\n");
    EXPECT_EQ(after_startup(run.output),
              "<>Debug turned off\r\n"
              "<>Illegal char. in octal number: 9\r\n\r\n"
              "<>Please be more precise\r\n"
              "<>Please enter on or off\r\n"
              "<>Please answer yes or no!\r\n"
              "<>Svar ja eller nei!\r\n"
              "<>This function is not available in Linux version\r\n"
              "<>Using buffered mon310\r\n"
              "<>Using new output\r\n"
              "<>Users:\r\n\r\n(EMULATOR)\r\n(RT)\r\n(SCRATCH)\r\n(SYSTEM)\r\nUsing non-abbr. off\r\n"
              "<>Terminal type set to 0\r\n"
              "<>Illegal char. number: x\r\n"
              "<>\r\n--- Terminated KESTREL\r\n");
}

TEST(CommandLoop, MissingArgumentIsPromptedFor) {
    NdTree tree;
    RunResult run = run_kestrel(tree, "debug\n0\nquit\n");
    EXPECT_EQ(after_startup(run.output),
              "<>Debug level (0=off): Debug turned off\r\n<>\r\n--- Terminated KESTREL\r\n");
}

TEST(CommandLoop, OverlongLineIsCutNotOverrun) {
    NdTree tree;
    std::string line(5000, 'x');
    RunResult run = run_kestrel(tree, "silent-mode off\n" + line + "\nquit\n");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_NE(run.output.find("No such command: " + std::string(1023, 'x') + ", try"),
              std::string::npos);
}

TEST(ModeFile, CommandsComeFromFileWithOutputToFile) {
    NdTree tree;
    tree.write_file("(EMULATOR)/CMDS.SYMB", "@cc a comment\ndebug 0\n");
    tree.write_file("(EMULATOR)/OUT.SYMB", "old contents that the mode output replaces");
    RunResult run = run_kestrel(tree, "@MODE CMDS OUT\nquit\n");
    EXPECT_EQ(after_startup(run.output), "<><>\r\n--- Terminated KESTREL\r\n");
    EXPECT_EQ(tree.read_file("(EMULATOR)/OUT.SYMB"),
              "<>@cc a comment\n<>debug 0\nDebug turned off\r\n<>\r\nEnd of file on mode input file\r\n");
}

TEST(ModeFile, PromptsAreAnsweredFromTheFile) {
    NdTree tree;
    tree.write_file("(EMULATOR)/CMDS.SYMB", "debug\n0\n");
    RunResult run = run_kestrel(tree, "@mode CMDS\n\nquit\n");
    EXPECT_EQ(after_startup(run.output),
              "<>Mode output file: <>debug\nDebug level (0=off): 0\nDebug turned off\r\n"
              "<>\r\nEnd of file on mode input file\r\n<>\r\n--- Terminated KESTREL\r\n");
}

}  // namespace

namespace {

TEST(CommandLoop, LoneCommaTakesTheDefaultWithoutPrompt) {
    NdTree tree;
    RunResult run = run_kestrel(tree, "debug ,\nquit\n");
    EXPECT_EQ(after_startup(run.output), "<>Debug turned off\r\n<>\r\n--- Terminated KESTREL\r\n");
}

}  // namespace

namespace {

std::string console_after(const PtySession &session, const std::string &from) {
    const std::string &text = session.output();
    size_t at = text.rfind(from);
    return at == std::string::npos ? text : text.substr(at);
}

// Sends ^C until `needle` appears: a ^C that the terminal takes while its
// line editor still holds the typed line is a key, not a signal.
bool interrupt_until(PtySession &session, const std::string &needle) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        session.interrupt();
        if (session.wait_for(needle, 500))
            return true;
    }
    return false;
}

TEST(Interrupt, CtrlCWhileIdlePrintsNewPrompt) {
    NdTree tree;
    PtySession session(tree);
    ASSERT_TRUE(session.wait_for("<>")) << session.output();
    session.mark();
    session.send("deb");
    ASSERT_TRUE(session.wait_for("deb")) << session.output();
    // The terminal's own output processing may add a CR to the line end.
    ASSERT_TRUE(interrupt_until(session, " ^C typed\r")) << session.output();
    ASSERT_TRUE(session.wait_for("\n<>")) << session.output();
    session.mark();
    // The discarded "deb" does not come back in front of the next line.
    session.send("quit\r");
    ASSERT_TRUE(session.wait_for("--- Terminated KESTREL")) << session.output();
    EXPECT_EQ(session.wait_exit(), 0);
}

TEST(Interrupt, CtrlCAtAnArgumentPromptEndsTheCommand) {
    NdTree tree;
    PtySession session(tree);
    ASSERT_TRUE(session.wait_for("<>")) << session.output();
    session.mark();
    session.send("debug\r");
    ASSERT_TRUE(session.wait_for("Debug level (0=off): ")) << session.output();
    ASSERT_TRUE(interrupt_until(session, " ^C typed\r")) << session.output();
    ASSERT_TRUE(session.wait_for("\n<>")) << session.output();
    session.mark();
    // The next line is a command again, not the answer to the prompt.
    session.send("quit\r");
    ASSERT_TRUE(session.wait_for("--- Terminated KESTREL")) << session.output();
    EXPECT_EQ(session.since_mark().find("Illegal char"), std::string::npos) << session.output();
    EXPECT_EQ(session.wait_exit(), 0);
}

TEST(Interrupt, CtrlCDuringAWaitIsReportedWithOnePrompt) {
    NdTree tree;
    PtySession session(tree);
    ASSERT_TRUE(session.wait_for("<>")) << session.output();
    session.mark();
    // A one-minute wait: only the ^C can end it within the test's time.
    session.send("@hold 3 1\r");
    ASSERT_TRUE(session.wait_for("@hold 3 1")) << session.output();
    ASSERT_TRUE(interrupt_until(session, " ^C typed\r")) << session.output();
    ASSERT_TRUE(session.wait_for("\n<>")) << session.output();
    session.send("@who\r");
    ASSERT_TRUE(session.wait_for("===>  1  EMULATOR")) << session.output();
    std::string text = console_after(session, "@hold 3 1");
    EXPECT_EQ(text.find("<><>"), std::string::npos) << text;
    session.send("quit\r");
    EXPECT_EQ(session.wait_exit(), 0);
}

TEST(Interrupt, CtrlCStoppingARunFromAModeFileGivesTheConsoleBack) {
    NdTree tree;
    std::string log;
    ASSERT_TRUE(tree.assemble(R"(
        ORG 2000
        LDX MSGP
        MON 32          ; straight to the terminal: the program runs
GO:     JMP GO
MSGP:   WORD MSG
MSG:    TEXT "SPINNING$'"
)",
                              "(EMULATOR)/SPIN.PROG", &log))
        << log;
    tree.write_file("(EMULATOR)/CMDS.SYMB", "SPIN\n@who\n");
    tree.write_file("(EMULATOR)/OUT.SYMB", "");
    PtySession session(tree);
    ASSERT_TRUE(session.wait_for("<>")) << session.output();
    session.send("@mode CMDS OUT\r");
    ASSERT_TRUE(session.wait_for("SPINNING")) << session.output();
    session.mark();
    session.interrupt();
    ASSERT_TRUE(session.wait_for("<>")) << session.output();
    EXPECT_NE(session.since_mark().find("instructions executed"), std::string::npos)
        << "the run's report reaches the console: " << session.since_mark();
    session.send("@who\r");
    ASSERT_TRUE(session.wait_for("===>  1  EMULATOR")) << session.output();
    session.send("quit\r");
    ASSERT_TRUE(session.wait_for("--- Terminated KESTREL")) << session.output();
    EXPECT_EQ(session.wait_exit(), 0);
    std::string mode_output = tree.read_file("(EMULATOR)/OUT.SYMB");
    EXPECT_EQ(mode_output, "<>SPIN\n\r\n^C typed, stopping ND-110 execution")
        << "the rest of the mode file is not read, nothing after the ^C goes to its output";
}

TEST(StartUp, ImagePathThatBeginsWithTheUserDirectory) {
    NdTree tree;
    RunResult run = run_kestrel(tree, "quit\n", {"(EMULATOR)/NONE.PROG"});
    EXPECT_NE(run.output.find("\r\r\nargv[1]=(EMULATOR)/NONE.PROG "
                              "\r\nSet current directory to Double clicked on a .PROG file\r\n"
                              "  to invoke NONE.PROG"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("<>\r\nMust change to user EMULATOR\r\n"), std::string::npos)
        << run.output;
    EXPECT_EQ(run.exit_status, 2) << "the image does not exist";
}

TEST(ModeFile, ConsoleAsModeInputLeavesTheOutputFileAlone) {
    NdTree tree;
    tree.write_file("(EMULATOR)/OUT.SYMB", "kept\n");
    RunResult run = run_kestrel(tree, "@mode ,,OUT\n@who\nquit\n");
    EXPECT_EQ(after_startup(run.output),
              "<><>===>  1  EMULATOR\r\n<>\r\n--- Terminated KESTREL\r\n");
    EXPECT_EQ(tree.read_file("(EMULATOR)/OUT.SYMB"), "kept\n");
}

}  // namespace

namespace {

TEST(ModeFile, AModeFileThatStartsAnotherHandsOverItsOutputIntact) {
    NdTree tree;
    tree.write_file("(EMULATOR)/FIRST.SYMB", "@mode SECOND OUT\n");
    tree.write_file("(EMULATOR)/SECOND.SYMB", "@who\n");
    tree.write_file("(EMULATOR)/OUT.SYMB", "");
    RunResult run = run_kestrel(tree, "@mode FIRST OUT\n@who\nquit\n");
    EXPECT_EQ(after_startup(run.output),
              "<><>===>  1  EMULATOR\r\n<>\r\n--- Terminated KESTREL\r\n");
    // The second file's output replaces the first's, which is not written
    // over it when the process ends.
    EXPECT_EQ(tree.read_file("(EMULATOR)/OUT.SYMB"),
              "<>@who\n===>  1  EMULATOR\r\n<>\r\nEnd of file on mode input file\r\n");
}

// Two mode files that start each other would loop until ^C.
TEST(ModeFile, ModeFilesThatStartEachOtherAreStoppedAsALoop) {
    NdTree tree;
    tree.write_file("(EMULATOR)/PING.SYMB", "@cc ping\n@mode PONG OUT\n");
    tree.write_file("(EMULATOR)/PONG.SYMB", "@mode PING OUT\n");
    tree.write_file("(EMULATOR)/OUT.SYMB", "");
    RunResult run = run_kestrel(tree, "@mode PING OUT\n@who\nquit\n");
    EXPECT_EQ(after_startup(run.output),
              "<>\r\nMode files nested too deeply (32), taken for a loop: commands come from "
              "the console again\r\n<>===>  1  EMULATOR\r\n<>\r\n--- Terminated KESTREL\r\n");
    EXPECT_EQ(run.exit_status, 0);
}

TEST(CommandLoop, ALastPipedLineWithoutLineEndIsStillCarriedOut) {
    NdTree tree;
    RunResult run = run_kestrel(tree, "debug 0");
    EXPECT_EQ(after_startup(run.output), "<>Debug turned off\r\n<>\r\n--- Terminated KESTREL\r\n");
    EXPECT_EQ(run.exit_status, 0);
}

}  // namespace
