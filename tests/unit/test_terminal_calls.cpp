// The terminal monitor calls, carried out through the MON dispatcher with the
// keys typed on a pseudo-terminal and the screen output captured.
#include "console/tdv2215.h"
#include "console/terminal.h"
#include "cpu/cycle.h"
#include "cpu/machine.h"
#include "debug/debug_aids.h"
#include "host/host.h"
#include "monitor/monitor.h"
#include "operator/operator_channel.h"
#include "settings/settings.h"
#include "shell/shell.h"

#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

std::vector<int> pauses;
void record_pause(int milliseconds) {
    pauses.push_back(milliseconds);
}

class TerminalCalls : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
        termios mode{};
        tcgetattr(slave_, &mode);
        cfmakeraw(&mode);
        tcsetattr(slave_, TCSANOW, &mode);
        saved_stdin_ = dup(STDIN_FILENO);
        dup2(slave_, STDIN_FILENO);
        host_terminal_init();

        reset_machine();
        reset_settings();
        reset_debug_state();
        reset_terminal_state();
        install_instruction_set();
        shell.operator_output = stdout;
        shell.echo_stream = stdout;
        shell.mode_input = nullptr;
        shell.prompt_input = nullptr;
        shell.program_command_pending = 0;
        interrupt_stopped_run = 0;
        machine.P = 01000;
        cpu_running = 1;
        pauses.clear();
        diagnostic_pause = record_pause;
    }
    void TearDown() override {
        while (host_input_waiting(0))
            host_read_byte(0);
        dup2(saved_stdin_, STDIN_FILENO);
        close(saved_stdin_);
        close(slave_);
        close(master_);
        diagnostic_pause = host_sleep_ms;
        cpu_running = 0;
        interrupt_stopped_run = 0;
        shell.mode_input = nullptr;
    }

    void type(const std::string &bytes) {
        ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // Carries out MON n at P; returns what it wrote to standard output.
    static std::string mon(uint32_t n) {
        std::fflush(stdout);
        testing::internal::CaptureStdout();
        call_monitor(n);
        std::fflush(stdout);
        return testing::internal::GetCapturedStdout();
    }
    static void place_cursor(int column, int row) {
        terminal.cursor_column = column;
        terminal.cursor_row = row;
    }
    // Writes a parameter list for MON 161/162 at 2000: the listed words are
    // stored at 2100 on and referred to by address, except where `direct`
    // marks the buffer address itself.
    static void parameter_list(const std::vector<uint32_t> &values, int direct) {
        for (size_t i = 0; i < values.size(); ++i) {
            if (static_cast<int>(i) == direct) {
                write_data(02000 + i, values[i]);
            } else {
                write_data(02100 + i, values[i]);
                write_data(02000 + i, 02100 + i);
            }
        }
        machine.A = 02000;
    }

    int master_ = -1, slave_ = -1, saved_stdin_ = -1;
};

// ---- MON 1 ----

TEST_F(TerminalCalls, SingleByteInputAddsEvenParity) {
    machine.T = 1;
    terminal.echo_mode = 0;
    type("\nCA");
    EXPECT_EQ(mon(1), "\r");
    EXPECT_EQ(machine.A, 0215u) << "a line feed is delivered as carriage return";
    EXPECT_EQ(machine.P, 01002u);
    machine.P = 01000;
    EXPECT_EQ(mon(1), "C");
    EXPECT_EQ(machine.A, 0303u);
    machine.P = 01000;
    EXPECT_EQ(mon(1), "A");
    EXPECT_EQ(machine.A, 0101u);
    EXPECT_EQ(terminal.last_typed_byte, 0101);
}

TEST_F(TerminalCalls, SingleByteInputFoldsAndDropsTheRing) {
    machine.T = 1;
    settings.upper_case = 1;
    terminal.echo_mode = 0177777;
    inbyte_put('x');
    type("q");
    EXPECT_EQ(mon(1), "") << "echo strategy 177777 echoes nothing";
    EXPECT_EQ(machine.A, 0321u) << "Q with its parity bit";
    EXPECT_EQ(terminal.nbuff, 0);
}

TEST_F(TerminalCalls, EchoStrategyOneSkipsThePrintableAfterCtrlX) {
    machine.T = 1;
    terminal.echo_mode = 1;
    type(std::string("\x18") + "ab\rc");
    std::string echoed;
    for (int i = 0; i < 5; ++i) {
        machine.P = 01000;
        echoed += mon(1);
    }
    EXPECT_EQ(echoed, "bc");
}

TEST_F(TerminalCalls, EchoStrategySevenFollowsTheTable) {
    machine.T = 1;
    terminal.echo_mode = 7;
    terminal.echo_table['b'] = 1;
    type("ab");
    std::string echoed = mon(1);
    machine.P = 01000;
    echoed += mon(1);
    EXPECT_EQ(echoed, "b");
}

TEST_F(TerminalCalls, EscStopsUnlessCtrlVCameFirst) {
    machine.T = 1;
    type("\x16");
    mon(1);
    EXPECT_EQ(machine.A, 0226u);
    type("\x1b");
    machine.P = 01000;
    mon(1);
    EXPECT_EQ(machine.A, 033u) << "ESC after ^V is data";
    EXPECT_EQ(cpu_running, 1);
    type("\x1b");
    machine.P = 01000;
    EXPECT_EQ(mon(1), "\n\n__ ESC typed on terminal @ 1000");
    EXPECT_EQ(cpu_running, 0);
    EXPECT_EQ(machine.P, 01001u);
}

TEST_F(TerminalCalls, EscIsDataWhileTheEscFunctionIsOff) {
    machine.T = 1;
    mon(071);
    EXPECT_EQ(terminal.esc_enabled, 0);
    EXPECT_EQ(machine.P, 01001u);
    type("\x1b");
    machine.P = 01000;
    mon(1);
    EXPECT_EQ(machine.A, 033u);
    EXPECT_EQ(machine.P, 01002u);
    machine.T = 5;
    EXPECT_EQ(mon(072), "\nMON 72 (ESC-mode) available only on terminal (TREG = 5)\n");
    EXPECT_EQ(terminal.esc_enabled, 0);
}

TEST_F(TerminalCalls, CtrlGTogglesTheTraceAndRepeatsTheCall) {
    machine.T = 1;
    type("\x07");
    EXPECT_EQ(mon(1), "\n ** Trace turned on **\n");
    EXPECT_EQ(machine.P, 01000u);
    EXPECT_TRUE(debug_state.trace_flags & TRACE_EXECUTION);
    type("\x07");
    EXPECT_EQ(mon(1), "\n ** Trace turned off **\n");
    EXPECT_FALSE(debug_state.trace_flags & TRACE_EXECUTION);
}

TEST_F(TerminalCalls, NorwegianLettersInAndEchoedOut) {
    machine.T = 1;
    settings.norwegian_charset = 1;
    terminal.echo_mode = 0;
    type("\xc3\xb8");
    EXPECT_EQ(mon(1), "\xc3\xb8");
    EXPECT_EQ(machine.A, 0374u) << "124 with its parity bit";
}

TEST_F(TerminalCalls, ModeFileFeedsSingleByteInputUntilItsEnd) {
    FILE *file = std::tmpfile();
    std::fputs("a\n\x07"
               "b",
               file);
    std::rewind(file);
    shell.mode_input = file;
    shell.prompt_input = file;
    machine.T = 1;
    terminal.echo_mode = 0177777;
    mon(1);
    EXPECT_EQ(machine.A, 0341u);
    machine.P = 01000;
    EXPECT_EQ(mon(1), "\n ** Trace turned on **\n");
    EXPECT_EQ(machine.A, 0342u) << "the line feed was skipped";
    machine.P = 01000;
    mon(1);
    EXPECT_EQ(machine.A, 3u);
    EXPECT_EQ(machine.P, 01000u);
    EXPECT_EQ(cpu_running, 0);
    EXPECT_EQ(shell.mode_input, nullptr);
    EXPECT_EQ(shell.operator_output, stdout);
}

TEST_F(TerminalCalls, CommandLineInputThenAFreshLineFromTheKeyboard) {
    std::strcpy(shell.program_command_line, " ab\r");
    shell.program_command_line_position = 0;
    machine.T = 0;
    std::vector<uint32_t> got;
    for (int i = 0; i < 4; ++i) {
        machine.P = 01000;
        mon(1);
        EXPECT_EQ(machine.P, 01002u);
        got.push_back(machine.A);
    }
    EXPECT_EQ(got, (std::vector<uint32_t>{0240, 0101, 0102, 0215}));
    type("xq\bz\x11\by\r");
    machine.P = 01000;
    std::string echoed = mon(1);
    EXPECT_EQ(echoed, "xq\b \bz\b \b\b \b\ay\r\n");
    EXPECT_EQ(machine.A, 0131u) << "Y, the line's first character";
    EXPECT_STREQ(shell.program_command_line, "y\r");
}

// ---- MON 2, 22, 24, 32, 35, 162 ----

TEST_F(TerminalCalls, CursorAddressingByteByByte) {
    settings.terminal_type = 52;
    machine.T = 1;
    std::string out;
    for (uint32_t byte : {16u, 10u, 40u}) {
        machine.A = byte;
        machine.P = 01000;
        out += mon(2);
        EXPECT_EQ(machine.P, 01002u);
    }
    EXPECT_EQ(out, "\x1b[11;41H");
    EXPECT_EQ(terminal.cursor_column, 40);
    EXPECT_EQ(terminal.cursor_row, 10);
    settings.nct_mode = 1;
    out.clear();
    for (uint32_t byte : {16u, 64u + 3, 64u + 7}) {
        machine.A = byte;
        out += mon(2);
    }
    EXPECT_EQ(out, "\x1b[4;8H");
}

TEST_F(TerminalCalls, ByteOutputByTerminalType) {
    machine.T = 1;
    place_cursor(3, 3);
    std::string out;
    for (uint32_t byte : {0301u, 027u, 010u, 07u}) {
        machine.A = byte;
        out += mon(2);
    }
    EXPECT_EQ(out, "A\x1b[4;4H\a") << "bit 7 dropped, 23 dropped for type 0";
    settings.terminal_type = 52;
    machine.A = 031;
    EXPECT_EQ(mon(2), "\x1b[2J\x1b[H");
    machine.A = 05;
    EXPECT_EQ(mon(2), "\x1b[24;25H\x1b[31m\xe2\x96\xa0\x1b[0m\x1b[1;1H");
    settings.norwegian_charset = 1;
    machine.A = '}';
    EXPECT_EQ(mon(2), "\xc3\xa5");
}

TEST_F(TerminalCalls, EightByteOutputStopsAtZeroAndBeeps) {
    machine.T = 1;
    machine.A = ('H' << 8) | 'i';
    machine.D = (7 << 8) | '!';
    machine.L = 0;
    machine.X = ('x' << 8) | 'y';
    EXPECT_EQ(mon(022), "Hi\a!");
    EXPECT_EQ(machine.P, 01002u);
    machine.T = 0;
    machine.P = 01000;
    EXPECT_EQ(mon(022), "\nMON 22: Supports terminal only!\n");
    EXPECT_EQ(machine.A, 2u);
    EXPECT_EQ(machine.P, 01001u);
}

TEST_F(TerminalCalls, EightByteOutputForTheTdvGoesThroughTheQueue) {
    settings.terminal_type = 52;
    machine.T = 1;
    machine.A = (16 << 8) | 10;
    machine.D = 40 << 8;
    machine.L = 0;
    machine.X = 0;
    EXPECT_EQ(mon(022), "\x1b[11;41H");
    EXPECT_EQ(machine.P, 01002u);
}

TEST_F(TerminalCalls, AllEightBytesAreWrittenByMon24) {
    machine.T = 1;
    machine.A = ('a' << 8) | 0;
    machine.D = (7 << 8) | 'b';
    machine.L = ('c' << 8) | 'd';
    machine.X = ('e' << 8) | 'f';
    EXPECT_EQ(mon(024), std::string("a\0\ab", 4) + "cdef");
    EXPECT_EQ(machine.P, 01002u);
    machine.T = 3;
    machine.P = 01000;
    machine.A = 0123;
    EXPECT_EQ(mon(024), "\nMON 24: Supports terminal only!\n");
    EXPECT_EQ(machine.A, 0123u);
    EXPECT_EQ(machine.P, 01001u);
}

TEST_F(TerminalCalls, MessageEndsAtApostropheWithDollarAsNewLine) {
    const char *text = "OK$NEXT'IGNORED";
    for (size_t i = 0; i < std::strlen(text); i += 2)
        write_data(03000 + i / 2, static_cast<uint32_t>(text[i] << 8 | text[i + 1]));
    machine.X = 03000;
    EXPECT_EQ(mon(032), "OK\n\rNEXT");
    EXPECT_EQ(machine.P, 01001u);
}

TEST_F(TerminalCalls, NumbersInFourRadixes) {
    machine.A = 0177776;
    machine.T = 2;
    EXPECT_EQ(mon(035), "1111111111111110");
    machine.T = 8;
    EXPECT_EQ(mon(035), "177776");
    machine.T = 10;
    EXPECT_EQ(mon(035), "    -2");
    machine.T = 16;
    EXPECT_EQ(mon(035), "fffe");
    machine.T = 3;
    EXPECT_EQ(mon(035), "");
}

TEST_F(TerminalCalls, CountedStringWithAnOddCountEndsAfterAHighByte) {
    write_data(03000, ('a' << 8) | 'b');
    write_data(03001, ('c' << 8) | 'd');
    parameter_list({1, 03000, 3}, 1);
    EXPECT_EQ(mon(0162), "abc");
    EXPECT_EQ(machine.A, 0u);
    EXPECT_EQ(machine.P, 01002u);
    parameter_list({0103, 03000, 3}, 1);
    machine.P = 01000;
    EXPECT_EQ(mon(0162), "");
    EXPECT_EQ(machine.A, 0140002u);
    EXPECT_EQ(machine.P, 01001u);
}

// ---- MON 3, 4, 13, 16, 17, 52, 66, 67 ----

TEST_F(TerminalCalls, EchoTableBitOrder) {
    for (uint32_t w = 0; w < 8; ++w)
        write_data(04000 + w, 0177777);
    write_data(04000, 0077777); // character 0 echoes
    write_data(04007, 0177776); // character 127 echoes
    machine.A = 7;
    machine.X = 04000;
    mon(3);
    EXPECT_EQ(terminal.echo_mode, 7);
    EXPECT_EQ(terminal.echo_table[0], 1);
    EXPECT_EQ(terminal.echo_table[1], 0);
    EXPECT_EQ(terminal.echo_table[127], 1);
    EXPECT_EQ(terminal.echo_table[126], 0);
    EXPECT_EQ(machine.P, 01001u);
    machine.A = 5;
    mon(3);
    EXPECT_EQ(terminal.echo_mode, 7) << "other strategies leave it";
}

TEST_F(TerminalCalls, BreakTableIsSavedAndRestored) {
    machine.A = 8;
    machine.D = 4;
    terminal.break_table['a'] = 1;
    mon(4);
    EXPECT_EQ(terminal.break_table['a'], 0) << "restores the all-zero table";
    EXPECT_EQ(terminal.break_count, 4);
    for (uint32_t w = 0; w < 8; ++w)
        write_data(04000 + w, 0);
    write_data(04000, 1u << (15 - 13)); // CR breaks
    machine.A = 7;
    machine.D = 10;
    machine.X = 04000;
    mon(4);
    EXPECT_EQ(terminal.break_mode, 7);
    EXPECT_EQ(terminal.break_table[13], 1);
    EXPECT_EQ(terminal.saved_break_table[13], 1);
    terminal.break_table[13] = 0;
    machine.A = 8;
    mon(4);
    EXPECT_EQ(terminal.break_table[13], 1);
    EXPECT_EQ(terminal.break_mode, 7);
    machine.A = 0100000;
    EXPECT_EQ(mon(4), "\nMON 4 never break not coded");
    EXPECT_EQ(pauses, std::vector<int>{5000});
    EXPECT_EQ(is_break_byte(13), 0);
}

TEST_F(TerminalCalls, TerminalTypeAndModes) {
    machine.T = 1;
    machine.A = 01064;
    mon(017);
    EXPECT_EQ(settings.terminal_type, 064u);
    EXPECT_EQ(machine.P, 01002u);
    machine.A = 0;
    mon(016);
    EXPECT_EQ(machine.A, 064u);
    machine.T = 2;
    machine.P = 01000;
    mon(016);
    EXPECT_EQ(machine.A, 2u);
    EXPECT_EQ(machine.P, 01001u);
    machine.T = 1;
    machine.A = 015;
    terminal.line_count = 9;
    mon(052);
    EXPECT_EQ(settings.upper_case, 1);
    EXPECT_EQ(settings.delay_after_cr, 0);
    EXPECT_EQ(settings.stop_on_full_page, 1);
    EXPECT_EQ(settings.logout_on_missing_carrier, 1);
    EXPECT_EQ(terminal.line_count, 0);
    EXPECT_EQ(machine.A, 0u);
    machine.T = 0;
    machine.P = 01000;
    mon(052);
    EXPECT_EQ(machine.A, 033u);
    EXPECT_EQ(machine.P, 01001u);
}

TEST_F(TerminalCalls, ClearBufferAndIsTerminal) {
    inbyte_put('a');
    machine.T = 1;
    mon(013);
    EXPECT_EQ(terminal.nbuff, 0);
    EXPECT_EQ(machine.P, 01002u);
    mon(067);
    EXPECT_EQ(machine.A, 1u);
    machine.T = 0100;
    machine.P = 01000;
    mon(067);
    EXPECT_EQ(machine.A, 2u);
    EXPECT_EQ(machine.P, 01001u);
    machine.P = 01000;
    EXPECT_EQ(mon(023), "");
    EXPECT_EQ(machine.A, 2u);
    machine.T = 1;
    EXPECT_EQ(mon(023), "\n MON 23 not complete!!\n");
}

TEST_F(TerminalCalls, KeyWaitingLooksWithoutTaking) {
    machine.T = 1;
    mon(066);
    EXPECT_EQ(machine.A, 0u);
    type("k");
    machine.P = 01000;
    mon(066);
    EXPECT_EQ(machine.A, 1u);
    EXPECT_EQ(machine.P, 01002u);
    mon(063);
    EXPECT_EQ(machine.A, static_cast<uint32_t>('k') << 8) << "the key is still there";
    EXPECT_EQ(machine.T, 0100001u);
}

// ---- MON 21, 63, 161 ----

TEST_F(TerminalCalls, LeftHalfInputEchoesAndStopsOnEsc) {
    machine.T = 1;
    terminal.echo_mode = 0;
    type("\x16\x1b");
    EXPECT_EQ(mon(021), "\x16");
    EXPECT_EQ(machine.A, 026u << 8);
    EXPECT_EQ(machine.T, 0100001u);
    machine.T = 1;
    machine.P = 01000;
    EXPECT_EQ(mon(021), "\n\n__ ESC typed on terminal") << "^V does not protect ESC here";
    EXPECT_EQ(cpu_running, 0);
    EXPECT_EQ(machine.P, 01001u);
}

TEST_F(TerminalCalls, NoEchoInputRefusesOtherFiles) {
    machine.T = 0;
    EXPECT_EQ(mon(063), "MON 63 supports terminal input only\n");
    EXPECT_EQ(machine.P, 01001u);
}

TEST_F(TerminalCalls, StringInputEndsOnTheTerminatorWithTheBreakBit) {
    write_data(03000, 0);
    write_data(03001, 0177777);
    parameter_list({1, 5, 03000, 13}, 2);
    terminal.echo_mode = 0;
    type("ab\r");
    EXPECT_EQ(mon(0161), "ab\r");
    EXPECT_EQ(machine.A, 0100005u);
    EXPECT_EQ(machine.P, 01001u);
    EXPECT_EQ(read_data(03000), static_cast<uint32_t>('a' << 8 | 'b'));
    EXPECT_EQ(read_data(03001), (13u << 8) | 0377) << "the other half is kept";
}

TEST_F(TerminalCalls, StringInputEndsAtItsCount) {
    parameter_list({1, 2, 03000, 13}, 2);
    type("xyz");
    mon(0161);
    EXPECT_EQ(machine.A, 2u);
    EXPECT_EQ(read_data(03000), static_cast<uint32_t>('x' << 8 | 'y'));
}

TEST_F(TerminalCalls, StringInputChecksItsParameters) {
    parameter_list({0103, 5, 03000, 13}, 2);
    EXPECT_EQ(mon(0161), "\nMON 161 supports terminal only");
    EXPECT_EQ(machine.A, 0222u);
    EXPECT_EQ(machine.P, 01001u);
    parameter_list({1, 0, 03000, 13}, 2);
    mon(0161);
    EXPECT_EQ(machine.A, 0u);
    parameter_list({1, 040000, 03000, 13}, 2);
    mon(0161);
    EXPECT_EQ(machine.A, 044u);
}

TEST_F(TerminalCalls, ParameterListsBuffersAndTablesWrapAtTheEndOfMemory) {
    // The list of MON 161 starts at 177776 and its buffer at 177777: both
    // wrap to address 0 within the page table.
    write_data(0177776, 0177700); // the file number's address
    write_data(0177777, 0177701); // the count's address
    write_data(0, 0177777);       // the buffer itself
    write_data(1, 0177702);       // the terminator's address
    write_data(0177700, 1);
    write_data(0177701, 3);
    write_data(0177702, 13);
    machine.A = 0177776;
    type("xyz");
    mon(0161);
    EXPECT_EQ(machine.A, 3u);
    EXPECT_EQ(read_data(0177777), static_cast<uint32_t>('x' << 8 | 'y'));
    EXPECT_EQ(read_data(0), static_cast<uint32_t>('z' << 8 | 0377))
        << "the third byte went on at 0, the other half kept";
    EXPECT_EQ(read_data(1), 0177702u) << "nothing beyond the count is written";
    // The echo table of MON 3 read from 177776: words 2 to 7 come from 0 on.
    for (uint32_t w = 0; w < 8; ++w)
        write_data((0177776 + w) & WORD_MASK, 0177777);
    write_data(0, 0077777); // character 32 echoes
    machine.A = 7;
    machine.X = 0177776;
    machine.P = 01000;
    mon(3);
    EXPECT_EQ(terminal.echo_table[' '], 1);
    EXPECT_EQ(terminal.echo_table['!'], 0);
}

// ---- MON 310 ----

TEST_F(TerminalCalls, BufferedInputUnderBreakStrategyZeroDeliversEachByte) {
    type("ab");
    mon(0310);
    EXPECT_EQ(machine.A, static_cast<uint32_t>('a') << 8);
    EXPECT_EQ(machine.T, 0100001u);
    EXPECT_EQ(machine.P, 01002u);
    mon(0310);
    EXPECT_EQ(machine.A, static_cast<uint32_t>('b') << 8);
}

TEST_F(TerminalCalls, BufferedInputUnderBreakStrategyTwoWaitsForTheCount) {
    terminal.break_mode = 2;
    terminal.break_count = 3;
    terminal.echo_mode = 0;
    type("xyz");
    EXPECT_EQ(mon(0310), "xyz");
    EXPECT_EQ(machine.T, 0100003u);
    EXPECT_EQ(machine.A, static_cast<uint32_t>('x' << 8 | 'y'));
    EXPECT_EQ(machine.D, static_cast<uint32_t>('z') << 8);
}

TEST_F(TerminalCalls, BufferedInputFillsEightAndKeepsTheRest) {
    terminal.break_mode = 1;
    type("abcdefghij\r");
    mon(0310);
    EXPECT_EQ(machine.T, 8u) << "the eighth byte is not a break character";
    EXPECT_EQ(machine.X, static_cast<uint32_t>('g' << 8 | 'h'));
    EXPECT_EQ(terminal.nbuff, 3);
    mon(0310);
    EXPECT_EQ(machine.T, 0100003u);
    EXPECT_EQ(machine.A, static_cast<uint32_t>('i' << 8 | 'j'));
    EXPECT_EQ(machine.D, 13u << 8);
}

TEST_F(TerminalCalls, PageDownDeliversTwoBytesOverTwoCalls) {
    for (uint32_t buffered : {1u, 0u}) {
        settings.mon310_buffered = buffered;
        type("\x1b[6~");
        mon(0310);
        EXPECT_EQ(machine.A, 037u << 8) << buffered;
        EXPECT_EQ(terminal.pending_key, 11);
        mon(0310);
        EXPECT_EQ(machine.A, 013u << 8);
        EXPECT_EQ(machine.T, 0100001u);
        EXPECT_EQ(terminal.pending_key, -1);
        EXPECT_EQ(terminal.nbuff, 0);
    }
}

TEST_F(TerminalCalls, AltArrowsActAsPageKeysAtUnbufferedInput) {
    settings.mon310_buffered = 0;
    type("\x1b[1;3A\x1bOP");
    mon(0310);
    EXPECT_EQ(machine.A, 037u << 8);
    mon(0310);
    EXPECT_EQ(machine.A, 034u << 8);
    mon(0310);
    EXPECT_EQ(machine.A, static_cast<uint32_t>(';') << 8) << "F1 gives its scan code";
}

TEST_F(TerminalCalls, CursorKeysAreTranslated) {
    settings.mon310_buffered = 0;
    type("\x1b[A\x1b[3~");
    mon(0310);
    EXPECT_EQ(machine.A, 034u << 8);
    mon(0310);
    EXPECT_EQ(machine.A, 1u << 8);
}

TEST_F(TerminalCalls, OnlyThePageKeysSkipTheEchoOfUnbufferedInput) {
    // An extended key whose second byte folds to 31 is an ordinary byte: it
    // is echoed and leaves no key pending.
    settings.mon310_buffered = 0;
    terminal.echo_mode = 0;
    type("\xe0\x9f");
    EXPECT_EQ(mon(0310), "\x1f");
    EXPECT_EQ(machine.A, 037u << 8);
    EXPECT_EQ(machine.T, 0100001u);
    EXPECT_EQ(terminal.pending_key, -1);
}

TEST_F(TerminalCalls, UnbufferedEchoMovesBackOnTheTdv) {
    settings.mon310_buffered = 0;
    settings.terminal_type = 52;
    terminal.echo_mode = 7;
    place_cursor(5, 5);
    type("w");
    EXPECT_EQ(mon(0310), "w\x1b[6;6H");
}

TEST_F(TerminalCalls, EscStopsTheMultiByteInput) {
    terminal.echo_mode = 1; // as a run starts
    type("\x1b");
    EXPECT_EQ(mon(0310), "\n\n__ ESC typed on terminal");
    EXPECT_EQ(machine.P, 01001u);
    EXPECT_EQ(cpu_running, 0);
}

TEST_F(TerminalCalls, SingleByteInputEmptiesTheRingWithoutLeavingOldEntries) {
    // Under strategy 0 a multi-byte call delivers one of the three waiting
    // bytes and leaves two.
    for (int byte : {'p', 'q', 'r'})
        inbyte_put(static_cast<uint32_t>(byte));
    mon(0310);
    EXPECT_EQ(machine.A, static_cast<uint32_t>('p') << 8);
    EXPECT_EQ(terminal.nbuff, 2);
    machine.T = 1;
    type("a");
    machine.P = 01000;
    mon(1);
    EXPECT_EQ(terminal.nbuff, 0);
    // The next multi-byte call gets what is typed now, not the carriage
    // return that MON 1 dropped.
    type("x");
    machine.P = 01000;
    mon(0310);
    EXPECT_EQ(machine.A, static_cast<uint32_t>('x') << 8);
    EXPECT_EQ(machine.T, 0100001u);
    EXPECT_EQ(terminal.nbuff, 0);
}

TEST_F(TerminalCalls, WaitingBytesAreDeliveredAtOnce) {
    inbyte_put('p');
    inbyte_put('q');
    terminal.break_mode = 2;
    terminal.break_count = 10;
    mon(0310);
    EXPECT_EQ(machine.A, static_cast<uint32_t>('p' << 8 | 'q'));
    EXPECT_EQ(machine.T, 0100002u);
}

TEST_F(TerminalCalls, VirtualKeyWithAltAtSingleByteInput) {
    settings.use_virtual_keyboard = 1;
    VirtualKey &key = terminal.virtual_key_table['A'];
    key.bytes[0] = 'A';
    key.bytes[1] = 'B';
    key.bytes[2] = 13;
    key.count = 3;
    machine.T = 1;
    type("\x1b"
         "A");
    mon(1);
    EXPECT_EQ(machine.A, 0101u);
    EXPECT_EQ(terminal.nbuff, 0) << "the rest of the definition is dropped";
    // Bytes left waiting by an earlier multi-byte call do not take the
    // place of the key's first byte.
    inbyte_put('z');
    inbyte_put('y');
    type("\x1b"
         "A");
    machine.P = 01000;
    mon(1);
    EXPECT_EQ(machine.A, 0101u);
    EXPECT_EQ(machine.P, 01002u);
    EXPECT_EQ(terminal.nbuff, 0);
}

TEST_F(TerminalCalls, VirtualKeyWithAltAtMultiByteInput) {
    settings.use_virtual_keyboard = 1;
    VirtualKey &key = terminal.virtual_key_table['a'];
    key.bytes[0] = 'h';
    key.bytes[1] = 'i';
    key.count = 2;
    terminal.break_mode = 2;
    terminal.break_count = 9;
    type("\x1b"
         "a");
    EXPECT_EQ(mon(0310), "hi") << "generated bytes are shown as they are delivered";
    EXPECT_EQ(machine.A, static_cast<uint32_t>('h' << 8 | 'i'));
    EXPECT_EQ(machine.T, 0100002u);
}

TEST_F(TerminalCalls, MouseClickAndWheelAtMultiByteInput) {
    settings.use_virtual_keyboard = 1;
    terminal.break_mode = 2;
    terminal.break_count = 99;
    place_cursor(5, 10);
    type("\x1b[<0;8;11M");
    mon(0310);
    EXPECT_EQ(machine.T, 0100002u);
    EXPECT_EQ(machine.A, (030u << 8) | 030u);
    type("\x1b[<64;1;1M");
    mon(0310);
    EXPECT_EQ(machine.A, 013u << 8);
    EXPECT_EQ(machine.T, 0100001u);
}

} // namespace
