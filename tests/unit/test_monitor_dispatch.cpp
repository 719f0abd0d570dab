// The MON dispatcher: return conventions, calls without a handler, MON 0,
// the error-text calls, MON 312 and the commands that inspect monitor calls.
#include "image_test_support.h"
#include "monitor/error_table.h"
#include "monitor/monitor.h"

namespace {

class MonitorDispatch : public ShellTree {
  protected:
    void SetUp() override {
        ShellTree::SetUp();
        machine.P = 01000;
        cpu_running = 1;
    }
    // Executes MON n at P as the instruction cycle does.
    static void mon(uint32_t n) {
        machine.current_instruction = 0153000 | n;
        machine.instruction_address = machine.P;
        instruction_table[machine.current_instruction >> 8]();
    }
};

TEST(ErrorTable, LooksCodesUpInTableOrder) {
    EXPECT_STREQ(error_text(03), "END OF FILE");
    EXPECT_STREQ(error_text(0), "NO SUCH ERROR");
    EXPECT_STREQ(error_text(0222), "Monitor call supports terminal only");
    EXPECT_EQ(find_error_index(0107), 26);
    EXPECT_EQ(error_text(04), nullptr);
    EXPECT_EQ(error_text(-1), nullptr);
    EXPECT_EQ(find_error_index(-1), -1);
}

TEST_F(MonitorDispatch, NoOperationSkipsAndChangesNothingElse) {
    machine.A = 7;
    mon(014);
    EXPECT_EQ(machine.P, 01002u);
    EXPECT_EQ(machine.A, 7u);
    EXPECT_EQ(cpu_running, 1);
}

TEST_F(MonitorDispatch, ACallWithoutHandlerReturnsToTheNextWordWithAUnchanged) {
    machine.A = 0123;
    testing::internal::CaptureStdout();
    mon(036);
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "\nMON 36 not coded, @1000\n");
    EXPECT_EQ(machine.P, 01001u);
    EXPECT_EQ(machine.A, 0123u);
    EXPECT_EQ(cpu_running, 1);
}

TEST_F(MonitorDispatch, ByteOutputToFileZeroIsASink) {
    machine.T = 0;
    mon(2);
    EXPECT_EQ(machine.P, 01002u);
}

TEST_F(MonitorDispatch, MonZeroStopsQuietlyInSilentMode) {
    settings.silent_mode = 1;
    terminal.nbuff = 3;
    shell.program_command_pending = 1;
    EXPECT_EQ(run(""), "");
    mon(0);
    EXPECT_EQ(cpu_running, 0);
    EXPECT_EQ(machine.P, 01000u);
    EXPECT_EQ(terminal.nbuff, 0);
    EXPECT_EQ(shell.program_command_pending, 0);
}

TEST_F(MonitorDispatch, MonZeroReportsWhereTheProgramEnded) {
    settings.silent_mode = 0;
    mon(0);
    EXPECT_EQ(output(), "\n********* ND program terminates with MON 0 at 1000 **********\n");
    EXPECT_EQ(cpu_running, 0);
}

TEST_F(MonitorDispatch, ImplementedCallsAreAFixedList) {
    machine.A = 0;
    mon(0312);
    EXPECT_EQ(machine.P, 01002u);
    EXPECT_EQ(machine.A, 0u);

    machine.P = 01000;
    machine.A = 0126;
    mon(0312);
    EXPECT_EQ(machine.P, 01002u) << "126 is listed although not emulated";
    EXPECT_EQ(machine.A, 57u);

    machine.P = 01000;
    machine.A = 0133;
    mon(0312);
    EXPECT_EQ(machine.P, 01001u) << "133 is emulated but not listed";
    EXPECT_EQ(machine.A, 0u);

    EXPECT_EQ(implemented_call_position(0253), 89);
}

TEST_F(MonitorDispatch, CopyErrorTextPacksTwoCharactersAWord) {
    for (uint32_t a = 0; a < 8; ++a)
        write_normal(02000 + a, 0177777);
    machine.A = 3;
    machine.X = 02000;
    mon(0334);
    EXPECT_EQ(machine.P, 01002u);
    EXPECT_EQ(machine.A, 3u);
    const char *expected[] = {"EN", "D ", "OF", " F", "IL", "E'"};
    for (int i = 0; i < 6; ++i) {
        uint32_t word = read_normal(02000 + i);
        EXPECT_EQ(static_cast<char>(word >> 8), expected[i][0]) << i;
        EXPECT_EQ(static_cast<char>(word & 0377), expected[i][1]) << i;
    }
    EXPECT_EQ(read_normal(02006), 0177777u);

    // An even-length text puts the apostrophe into the high byte of the word
    // after it; that word's low byte keeps its value.
    write_normal(03011, 0177777);
    machine.P = 01000;
    machine.A = 0117; // "NO SUCH USER INDEX", 18 characters
    machine.X = 03000;
    mon(0334);
    EXPECT_EQ(read_normal(03011), (static_cast<uint32_t>('\'') << 8) | 0377u);

    machine.P = 01000;
    machine.A = 4;
    mon(0334);
    EXPECT_EQ(machine.P, 01001u);
    EXPECT_EQ(machine.A, 0u);
}

TEST_F(MonitorDispatch, PrintErrorMessageAndItsFallback) {
    testing::internal::CaptureStdout();
    machine.A = 056;
    mon(064);
    machine.A = 01000;
    mon(064);
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "\nNO SUCH FILE NAME\n\nMON64: Error code number 1000 octal\n");
    EXPECT_EQ(machine.P, 01002u);
    EXPECT_EQ(cpu_running, 1);
}

TEST_F(MonitorDispatch, PrintErrorAndStopEndsTheRun) {
    testing::internal::CaptureStdout();
    machine.A = 0777;
    mon(065);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nMON65: Error code number 777 octal\n");
    EXPECT_EQ(machine.P, 01001u);
    EXPECT_EQ(cpu_running, 0);
}

TEST_F(MonitorDispatch, EscStopsOnlyWhenEnabled) {
    terminal.esc_enabled = 0;
    EXPECT_FALSE(esc_stops_program(033, true));
    EXPECT_EQ(cpu_running, 1);
    terminal.esc_enabled = 1;
    EXPECT_FALSE(esc_stops_program('A', true));
    shell.program_command_pending = 1;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(esc_stops_program(033, true));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\n\n__ ESC typed on terminal @ 1000");
    EXPECT_EQ(cpu_running, 0);
    EXPECT_EQ(shell.program_command_pending, 0);
    EXPECT_EQ(machine.P, 01001u);
}

TEST_F(MonitorDispatch, CheckMonitorCallUsesTheListOnly) {
    machine.P = 0444;
    EXPECT_EQ(run("check-monitor-call 126"), "MON 126 implemented\r\n");
    EXPECT_EQ(run("check-monitor-call 133"), "MON 133 not implemented\r\n");
    EXPECT_EQ(run("check-monitor-call 9"), "Illegal char. in octal number: 9\r\n");
    std::string all = run("check-monitor-call 555");
    size_t lines = 0;
    for (size_t at = all.find("implemented\r\n"); at != std::string::npos;
         at = all.find("implemented\r\n", at + 1))
        ++lines;
    EXPECT_EQ(lines, 90u);
    EXPECT_EQ(all.substr(0, 21), "MON   0 implemented\r\n");
    EXPECT_EQ(machine.P, 0444u);
}

TEST_F(MonitorDispatch, TraceMonitorCallsSetsAndClearsTheTraceBit) {
    EXPECT_EQ(run("trace-monitor-calls"),
              "Trace monitor calls on or off ? NOTE: MON 2 not traced\a\r\n");
    EXPECT_EQ(debug_state.trace_flags, TRACE_MONITOR_CALLS);
    EXPECT_EQ(debug_state.saved_trace_flags, TRACE_MONITOR_CALLS);
    EXPECT_EQ(run("trace-monitor-calls o"), "Please be more precise\r\n");
    EXPECT_EQ(run("trace-monitor-calls x"), "Please enter on or off\r\n");
    EXPECT_EQ(run("trace-monitor-calls of"), "");
    EXPECT_EQ(debug_state.trace_flags, 0u);
    EXPECT_EQ(debug_state.saved_trace_flags, 0u);
}

} // namespace
