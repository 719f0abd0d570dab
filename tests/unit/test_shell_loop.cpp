// The instruction cycle's start and stop as the shell drives it, and how a
// ^C is reported in a run, at an argument prompt and with an @mode file.
#include "console/terminal.h"
#include "cpu/cycle.h"
#include "cpu/machine.h"
#include "debug/debug_aids.h"
#include "filesystem/open_files.h"
#include "host/host.h"
#include "operator/arguments.h"
#include "operator/operator_channel.h"
#include "settings/settings.h"
#include "shell/shell.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace {

constexpr uint32_t SAA = 0170400;       // A = the signed low byte
constexpr uint32_t MON_0 = 0153000;     // end of the program
constexpr uint32_t LDA_B = 0044400;     // LDA 0,B: a data reference
constexpr uint32_t STS_LEVEL = 0007400; // level field of STS

std::string contents(FILE *file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file))
        text.push_back(static_cast<char>(c));
    return text;
}

std::string file_text(const std::string &path) {
    FILE *file = std::fopen(path.c_str(), "rb");
    if (!file) return "<missing>";
    std::string text = contents(file);
    std::fclose(file);
    return text;
}

class ShellLoop : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_machine();
        reset_settings();
        reset_debug_state();
        reset_terminal_state();
        reset_open_file_table();
        install_instruction_set();
        output_ = std::tmpfile();
        shell.operator_output = output_;
        shell.echo_stream = output_;
        shell.prompt_input = nullptr;
        shell.mode_input = nullptr;
        shell.program_command_pending = 0;
        interrupt_seen = 0;
        interrupt_stopped_run = 0;
    }
    void TearDown() override {
        cpu_running = 0;
        interrupt_seen = 0;
        interrupt_stopped_run = 0;
        shell.operator_output = stdout;
        shell.echo_stream = stdout;
        shell.prompt_input = nullptr;
        shell.mode_input = nullptr;
        std::fclose(output_);
        reset_machine();
        reset_settings();
        reset_terminal_state();
    }
    void run_from(uint32_t address) {
        machine.P = address;
        cpu_running = 1;
        run_cpu();
    }
    std::string output() { return contents(output_); }
    FILE *output_ = nullptr;
};

TEST_F(ShellLoop, ACtrlCTypedBeforeTheFirstInstructionStopsTheRun) {
    write_normal(01000, SAA | 5);
    write_normal(01001, MON_0);
    interrupt_seen = 1;
    run_from(01000);
    EXPECT_EQ(machine.instruction_count, 0u);
    EXPECT_EQ(machine.A, 0u);
    EXPECT_EQ(machine.P, 01000u) << "a continue starts at the instruction not executed";
    EXPECT_EQ(interrupt_seen, 0);
    EXPECT_EQ(output(), "\r\n^C typed, stopping ND-110 execution");
}

TEST_F(ShellLoop, AlternativePageTableHoldsForTheNextStartOnly) {
    settings.silent_mode = 0;
    write_word(2, 0, 0123);
    write_normal(01000, LDA_B);
    write_normal(01001, MON_0);
    machine.STS |= STS_PTM;
    machine.apt_offset = 2 * BANK_WORDS;
    machine.apt_armed = 1;
    run_from(01000);
    EXPECT_EQ(machine.A, 0123u) << "the data reference went to page table 2";
    EXPECT_NE(output().find("\r\nStopping with APT 2 on, now turned off\r\n"), std::string::npos)
        << output();
    EXPECT_EQ(machine.apt_offset, 0u);

    machine.apt_offset = 2 * BANK_WORDS;
    machine.STS |= STS_PTM;
    std::rewind(output_);
    run_from(01000);
    EXPECT_EQ(machine.A, 0u) << "the second start reads page table 0";
}

TEST_F(ShellLoop, StartResetsTheInterruptSystemUnlessALevelWasPreset) {
    write_normal(01000, MON_0);
    machine.current_level = 5;
    machine.previous_level = 3;
    machine.PID = 0;
    machine.PIE = 0;
    machine.interrupt_on = 0;
    machine.STS = compose_sts(5, 0204) | STS_EXTENDED;
    run_from(01000);
    EXPECT_EQ(machine.current_level, 0u);
    EXPECT_EQ(machine.previous_level, 0u);
    EXPECT_EQ(machine.PID, 1u);
    EXPECT_EQ(machine.PIE, 1u);
    EXPECT_EQ(machine.interrupt_on, INTERRUPT_ON);
    EXPECT_EQ(machine.STS & STS_LEVEL, 0u);
    EXPECT_EQ(machine.STS & ~STS_LEVEL, INTERRUPT_ON | STS_EXTENDED | STS_FIXED | 0204u)
        << "low byte and bits 12 to 14 are kept";

    machine.current_level = 5;
    machine.PIE = machine.PID = 1u << 5;
    machine.level_preset = 1;
    run_from(01000);
    EXPECT_EQ(machine.current_level, 5u);
    EXPECT_EQ(machine.PIE, 1u << 5);
    EXPECT_EQ(machine.level_preset, 0u) << "the preset holds for one start";
}

TEST_F(ShellLoop, AnInstructionAtTheTopOfTheBankFallsThroughToAddressZero) {
    write_normal(0177777, SAA | 5);
    write_normal(0, MON_0);
    run_from(0177777);
    EXPECT_EQ(machine.A, 5u);
    EXPECT_EQ(machine.instruction_count, 2u);
}

TEST_F(ShellLoop, CtrlCStoppingARunGivesAModeFileBackToTheConsole) {
    char path[] = "/tmp/kestrel-mode-out-XXXXXX";
    int descriptor = mkstemp(path);
    ASSERT_GE(descriptor, 0);
    close(descriptor);
    FILE *mode_output = std::fopen(path, "wb");
    FILE *mode_input = std::tmpfile();
    shell.mode_input = mode_input;
    shell.prompt_input = mode_input;
    shell.operator_output = mode_output;
    shell.echo_stream = mode_output;
    shell.program_command_pending = 1;
    interrupt_stopped_run = 1;
    report_interrupted_run();
    EXPECT_EQ(shell.mode_input, nullptr);
    EXPECT_EQ(shell.prompt_input, nullptr);
    EXPECT_EQ(shell.operator_output, stdout) << "the prompt that follows must reach the operator";
    EXPECT_EQ(shell.echo_stream, stdout);
    EXPECT_EQ(shell.program_command_pending, 0);
    EXPECT_EQ(interrupt_stopped_run, 0);
    EXPECT_EQ(file_text(path), "\r\n^C typed, stopping ND-110 execution");
    std::remove(path);
}

TEST_F(ShellLoop, CtrlCAtAnArgumentPromptEndsTheCommand) {
    // Standard input is a pipe holding an answer, so that the reader does
    // not wait; the ^C recorded before it wins over the answer.
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    int saved_stdin = dup(STDIN_FILENO);
    dup2(pipe_ends[0], STDIN_FILENO);
    close(pipe_ends[0]);
    ASSERT_EQ(write(pipe_ends[1], "7\n", 2), 2);
    close(pipe_ends[1]);
    host_terminal_init();

    std::snprintf(shell.command_line, COMMAND_LINE_SIZE, "%s", "");
    shell.argument_position = 0;
    shell.operator_output = stdout;
    interrupt_seen = 1;
    uint32_t value = 3;
    int bad = 0;
    testing::internal::CaptureStdout();
    int result = read_octal_argument(&value, 0, "Level: ", &bad);
    std::fflush(stdout);
    std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, CONSOLE_EOF) << "the command ends silently";
    EXPECT_EQ(value, 3u);
    EXPECT_EQ(console, " ^C typed\r\n");
    EXPECT_EQ(output(), "Level: ");
    EXPECT_EQ(interrupt_seen, 0);
    EXPECT_EQ(shell.console_read_interrupted, 1);
    EXPECT_STREQ(shell.command_line, "");

    while (host_read_byte(0) >= 0) {
    }
    dup2(saved_stdin, STDIN_FILENO);
    close(saved_stdin);
    host_terminal_init();
    shell.console_read_interrupted = 0;
}

TEST(MnemonicTable, NamesEverySlotAsTheTraceShowsIt) {
    for (int slot = 0; slot < 257; ++slot)
        ASSERT_NE(mnemonic_table[slot], nullptr) << "slot " << slot;
    EXPECT_STREQ(mnemonic_table[0], "STZ");
    EXPECT_STREQ(mnemonic_table[01], "STZb");
    EXPECT_STREQ(mnemonic_table[0257], "JMPbix");
    EXPECT_STREQ(mnemonic_table[0260], "JAP");
    EXPECT_STREQ(mnemonic_table[0267], "JXN");
    EXPECT_STREQ(mnemonic_table[0270], "JPL");
    EXPECT_STREQ(mnemonic_table[0277], "JPLbix");
    EXPECT_STREQ(mnemonic_table[0307], "op14nn");
    EXPECT_STREQ(mnemonic_table[0316], "RADD");
    EXPECT_STREQ(mnemonic_table[0317], "ILLEGA");
    EXPECT_STREQ(mnemonic_table[0326], "MONxx");
    EXPECT_STREQ(mnemonic_table[0337], "SHADl");
    EXPECT_STREQ(mnemonic_table[0342], "IOTMON");
    EXPECT_STREQ(mnemonic_table[0343], "IOT");
    EXPECT_STREQ(mnemonic_table[0350], "IOX");
    EXPECT_STREQ(mnemonic_table[0357], "ILLEGA");
    EXPECT_STREQ(mnemonic_table[0367], "AAX");
    EXPECT_STREQ(mnemonic_table[0377], "BORca");
    EXPECT_STREQ(mnemonic_table[TRACE_HOOK_SLOT], "");
}

} // namespace
