// SINTRAN commands handed over by ND programs with MON 70 and MON 317:
// matching against the SINTRAN command table, the shell handlers they call
// with their arguments, and RECOVER leaving its line for the shell.
#include "image_test_support.h"
#include "monitor/monitor.h"
#include "shell/commands.h"

#include <cstring>
#include <string>

namespace {

constexpr uint32_t CALL_AT = 01000;
constexpr uint32_t TEXT_AT = 02000;

class SintranCommands : public ShellTree {
  protected:
    void SetUp() override {
        ShellTree::SetUp();
        cpu_running = 1;
    }
    // Runs MON `call` with `text` at TEXT_AT (ended by an apostrophe unless
    // `terminated` is false) and returns the operator output it produced.
    std::string command(const std::string &text, bool terminated = true, uint32_t call = 070) {
        std::string bytes = terminated ? text + "'" : text;
        for (size_t i = 0; i < bytes.size(); ++i)
            write_data_byte(TEXT_AT, static_cast<uint32_t>(i),
                            static_cast<unsigned char>(bytes[i]));
        machine.A = TEXT_AT;
        machine.P = CALL_AT;
        machine.current_instruction = 0153000 | call;
        machine.instruction_address = CALL_AT;
        std::string before = output();
        instruction_table[machine.current_instruction >> 8]();
        return output().substr(before.size());
    }
};

TEST_F(SintranCommands, HelpListsTheTwentyFiveNames) {
    std::string listed = command("HELP");
    EXPECT_EQ(listed.substr(0, 36), "\r\nLIST-OPEN-FILES\r\nHELP\r\nGET-TERMINA");
    size_t lines = 0;
    for (size_t at = listed.find("\r\n"); at != std::string::npos; at = listed.find("\r\n", at + 1))
        ++lines;
    EXPECT_EQ(lines, 26u) << "25 names and the line end after the command";
    EXPECT_NE(listed.find("\r\nSET-ERMINAL-TYPE\r\n"), std::string::npos);
    EXPECT_EQ(listed.substr(listed.size() - 21), "\r\nRELEASE-DIRECTORY\r\n");
    EXPECT_EQ(machine.P, CALL_AT + 1);
    EXPECT_EQ(cpu_running, 1);
}

// Start-up gives every command of the table but RECOVER a handler, the shell's
// own among them; a command left without one is reported as not emulated.
TEST_F(SintranCommands, EveryCommandButRecoverHasAHandler) {
    std::string listed = command("HELP");
    int names = 0;
    for (size_t at = 2; at < listed.size(); ++names) {
        size_t end = listed.find("\r\n", at);
        std::string name = listed.substr(at, end - at);
        if (name.empty()) break;
        if (name == "RECOVER")
            EXPECT_EQ(sintran_command_handler(name.c_str()), nullptr);
        else
            EXPECT_NE(sintran_command_handler(name.c_str()), nullptr) << name;
        at = end + 2;
    }
    EXPECT_EQ(names, 25);
    EXPECT_FALSE(set_sintran_command_handler("RECOVER", cmd_who));
    EXPECT_FALSE(set_sintran_command_handler("FLY", cmd_who));
    ASSERT_TRUE(set_sintran_command_handler("WHO", nullptr));
    EXPECT_EQ(command("WHO"), "\r\nNo such command (MAYBE NOT EMULATED): WHO\r\n");
    install_instruction_set();
    EXPECT_EQ(command("WHO"), "===>  1  EMULATOR\r\n\r\n");
}

TEST_F(SintranCommands, AbbreviationsAreUpperCasedFirst) {
    EXPECT_EQ(command("li-o-f"), "\r\n\r\n") << "no open file: the empty listing";
    EXPECT_EQ(command("  who"), "===>  1  EMULATOR\r\n\r\n");
    EXPECT_EQ(command("GET-T", true, 0317), "\r\nTerminal type is 0 (decimal)\r\n\r\n");
}

TEST_F(SintranCommands, AmbiguousUnknownAndEmptyTexts) {
    EXPECT_EQ(command("LIST"), "Ambiguous command: LIST\r\n");
    EXPECT_EQ(command("fly away"), "\r\nNo such command (MAYBE NOT EMULATED): FLY AWAY\r\n");
    // The table spells entry 14 without the T after the hyphen.
    EXPECT_EQ(command("SET-TERMINAL-TYPE 52"),
              "\r\nNo such command (MAYBE NOT EMULATED): SET-TERMINAL-TYPE 52\r\n");
    EXPECT_EQ(command(""), "");
    EXPECT_EQ(command("CC"), "\r\n");
    EXPECT_EQ(machine.P, CALL_AT + 1);
    EXPECT_EQ(cpu_running, 1);
}

TEST_F(SintranCommands, ArgumentsReachTheHandlerWithTheirBlanks) {
    // Both hold arguments are there: no prompt is shown.
    EXPECT_EQ(command("HOLD 1 2"), "\r\n");
    EXPECT_STREQ(shell.command_line, "HOLD 1 2");
    EXPECT_EQ(shell.argument_position, 8) << "the handler read both";
    EXPECT_EQ(command("HOLD , 1 1"), "\r\n") << "one comma after the word is skipped";
    // A missing argument is asked for as when the operator types the command.
    EXPECT_EQ(command("HOLD 1"), "Number of units: \r\n");
}

TEST_F(SintranCommands, TextIsCutAfter512Characters) {
    std::string text = "CC " + std::string(597, 'X');
    command(text, false);
    EXPECT_EQ(std::strlen(shell.command_line), 512u);
}

TEST_F(SintranCommands, RecoverStopsTheProgramAndLeavesItsLine) {
    EXPECT_EQ(command("recover prog a b"), "");
    EXPECT_EQ(cpu_running, 0);
    EXPECT_EQ(shell.program_command_pending, 1);
    EXPECT_STREQ(shell.command_line, "RECOVER PROG A B");
    EXPECT_EQ(shell.argument_position, 8);
    EXPECT_EQ(machine.P, CALL_AT + 1);
}

TEST_F(SintranCommands, ShellHandlersChangeTheFiles) {
    write_text("(EMULATOR)/DOOMED.SYMB", "x");
    command("DELETE-FILE DOOMED");
    EXPECT_FALSE(exists("(EMULATOR)/DOOMED.SYMB"));
}

} // namespace
