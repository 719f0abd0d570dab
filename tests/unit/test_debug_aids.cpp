// The debugging aids: the trace hook's steps, the breakpoint planted as WAIT,
// trace areas, histogram, watch, guards, and the memory tools.
#include "cpu/cycle.h"
#include "cpu/machine.h"
#include "debug/debug_aids.h"
#include "filesystem/open_files.h"
#include "operator/operator_channel.h"
#include "settings/settings.h"
#include "shell/shell.h"

#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

constexpr uint32_t SAA = 0170400; // A = the signed low byte
constexpr uint32_t MON_0 = 0153000;
constexpr uint32_t WAIT = 0151000;
constexpr uint32_t ILLEGAL = 0147400;

class DebugAids : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_machine();
        reset_settings();
        reset_debug_state();
        reset_open_file_table();
        install_instruction_set();
        machine.lower_limit = 0;
        machine.upper_limit = 0177777;
        output_ = std::tmpfile();
        shell.operator_output = output_;
        shell.echo_stream = output_;
        shell.prompt_input = nullptr;
        shell.mode_input = nullptr;
        shell.program_command_pending = 0;
        cpu_running = 0;
    }
    void TearDown() override {
        shell.operator_output = stdout;
        shell.echo_stream = stdout;
        shell.prompt_input = nullptr;
        std::fclose(output_);
        if (answers_) std::fclose(answers_);
        reset_debug_state();
        cpu_running = 0;
    }
    // Runs a shell line; answers to prompts come from `answers`.
    std::string command(const char *line, const char *answers = "") {
        if (answers_) std::fclose(answers_);
        answers_ = std::tmpfile();
        std::fputs(answers, answers_);
        std::rewind(answers_);
        shell.prompt_input = answers_;
        mark();
        execute_command_line(line);
        shell.prompt_input = nullptr;
        return since_mark();
    }
    void mark() {
        std::fflush(output_);
        mark_ = std::ftell(output_);
    }
    std::string since_mark() {
        std::fflush(output_);
        long end = std::ftell(output_);
        std::string text(static_cast<size_t>(end - mark_), '\0');
        std::fseek(output_, mark_, SEEK_SET);
        size_t got = std::fread(text.data(), 1, text.size(), output_);
        text.resize(got);
        std::fseek(output_, 0, SEEK_END);
        return text;
    }
    // The state after executing the instruction at `address`, as the cycle
    // leaves it for the trace hook.
    static void executed(uint32_t address, uint32_t word) {
        machine.instruction_address = address;
        machine.current_instruction = word;
        machine.P = address + 1;
    }
    std::string hook_after(uint32_t address, uint32_t word) {
        executed(address, word);
        mark();
        trace_hook();
        return since_mark();
    }
    static void run_from(uint32_t address) {
        machine.P = address;
        cpu_running = 1;
        run_cpu();
    }

    FILE *output_ = nullptr;
    FILE *answers_ = nullptr;
    long mark_ = 0;
};

// --- the trace line and the hook's steps ---

TEST_F(DebugAids, TraceLineShowsLevelMnemonicWordAndRegisters) {
    machine.T = 1;
    machine.A = 2;
    machine.D = 3;
    machine.X = 4;
    machine.L = 5;
    machine.STS = 010000;
    machine.B = 0177777;
    debug_state.trace_flags = TRACE_EXECUTION;
    EXPECT_EQ(hook_after(01000, 0044005),
              "\r\n{ 0} LDA  44005 @ PC=  1000 T=     1 A=     2 D=     3 X=     4"
              " L=     5 ST= 10000 B=177777");
}

TEST_F(DebugAids, TraceLineShowsPreviousLevelOnceAfterALevelChange) {
    machine.current_level = 5;
    machine.previous_level = 2;
    machine.level_changed = 1;
    debug_state.trace_flags = TRACE_EXECUTION;
    EXPECT_EQ(hook_after(0100, WAIT).substr(0, 12), "\r\n{ 2} WAIT ");
    EXPECT_EQ(machine.level_changed, 0u);
    EXPECT_EQ(hook_after(0101, SAA).substr(0, 11), "\r\n{ 5} SAA ");
}

TEST_F(DebugAids, NoTraceLineWhileTheProgramHasACommandPending) {
    shell.program_command_pending = 1;
    debug_state.trace_flags = TRACE_EXECUTION;
    EXPECT_EQ(hook_after(01000, SAA), "");
}

TEST_F(DebugAids, TraceToAFileNeverPauses) {
    FILE *file = std::tmpfile();
    debug_state.trace_stream = file;
    debug_state.trace_flags = TRACE_EXECUTION;
    // With the operator output on the console, trace lines go to the trace file.
    shell.operator_output = stdout;
    for (int i = 0; i < 45; ++i)
        trace_hook();
    shell.operator_output = output_;
    EXPECT_EQ(debug_state.trace_line_count, 0) << "lines are counted only on the console";
    EXPECT_GT(std::ftell(file), 0);
    std::fclose(file);
}

TEST_F(DebugAids, TraceAreasIncludeTheirBoundsAndYieldToTheFullTrace) {
    EXPECT_EQ(command("define-trace-area 3 100 200"), "");
    EXPECT_EQ(debug_state.trace_flags, TRACE_AREAS);
    EXPECT_EQ(hook_after(077, SAA), "");
    EXPECT_NE(hook_after(0100, SAA), "");
    EXPECT_NE(hook_after(0200, SAA), "");
    EXPECT_EQ(hook_after(0201, SAA), "");
    debug_state.trace_flags |= TRACE_EXECUTION;
    std::string both = hook_after(0150, SAA);
    EXPECT_EQ(both.find("\r\n{"), both.rfind("\r\n{")) << "one line, not two";
}

TEST_F(DebugAids, DefineAndResetTraceAreaMessages) {
    EXPECT_EQ(command("define-trace-area 0 100 200"), "Trace number must a number from 1 to 8\r\n");
    machine.lower_limit = 01000;
    machine.upper_limit = 02000;
    EXPECT_EQ(command("define-trace-area 1 100 1200"),
              "From address outside defined memory limits\r\n");
    EXPECT_EQ(command("define-trace-area 1 1100 3000"),
              "From address outside defined memory limits\r\n");
    EXPECT_EQ(command("define-trace-area 1 1200 1100"), "Error, from address is > to address\r\n");
    EXPECT_EQ(debug_state.trace_flags, 0u);
    EXPECT_EQ(command("define-trace-area 10 1000 1100"), "") << "area 8 is typed in octal";
    EXPECT_EQ(command("define-trace-area 10 1200 1300"),
              "Reset old trace area from    1000 -    1100\r\n");
    EXPECT_EQ(command("define-trace-area 3 1000 1000"), "");
    EXPECT_EQ(command("reset-trace-area 10"), "");
    EXPECT_EQ(debug_state.trace_flags, TRACE_AREAS) << "area 3 is still defined";
    EXPECT_EQ(command("reset-trace-area 3"), "");
    EXPECT_EQ(debug_state.trace_flags, 0u) << "no area left";
    EXPECT_EQ(command("reset-trace-area 3"), "No trace defined for trace number 3\r\n");
    EXPECT_EQ(command("reset-trace-area 11"), "Trace number must be from 1 - 8\r\n");
    EXPECT_EQ(command("reset-trace-area 9"), "Illegal char. in octal number: 9\r\n");
}

TEST_F(DebugAids, HistogramCountsTenAreasAndTheInstructionsOutside) {
    EXPECT_EQ(command("define-histogram 1000 10"),
              "Histogram area starts at    1000, ends at    1120\r\n");
    EXPECT_EQ(debug_state.trace_flags, TRACE_HISTOGRAM);
    for (uint32_t address : {01000u, 01007u, 01010u, 01117u, 01120u, 0777u})
        hook_after(address, SAA);
    EXPECT_EQ(debug_state.histogram_hits[0], 2u);
    EXPECT_EQ(debug_state.histogram_hits[1], 1u);
    EXPECT_EQ(debug_state.histogram_hits[9], 1u);
    EXPECT_EQ(debug_state.histogram_executed, 6u);
    std::string listing = command("list-histogram");
    EXPECT_EQ(listing.substr(0, 62),
              "\r\n      Area         hits (dec)\r\n-----------------------------");
    EXPECT_NE(listing.find("\r\n   1000 -    1007           2\r\n   1010 -    1017           1"),
              std::string::npos)
        << listing;
    EXPECT_NE(
        listing.find("\r\n   1110 -    1117           1\r\n\r\nNumber of instr. executed: 6 "
                     "\r\nInside histogram area    : 4\r\nHistogram has now been cleared!\r\n"),
        std::string::npos)
        << listing;
    EXPECT_EQ(debug_state.trace_flags, 0u);
}

TEST_F(DebugAids, HistogramRefusals) {
    machine.lower_limit = 01000;
    machine.upper_limit = 02000;
    EXPECT_EQ(command("define-histogram 777 10"),
              "Error, outside defined memory limits    1000 -    2000\r\n");
    EXPECT_EQ(command("define-histogram 1000 200000"), "Error, increment value impossible\r\n");
    EXPECT_EQ(command("define-histogram 1000 200"),
              "\r\nHistogram would be outside defined memory limits"
              "\r\nDefined memory limits are    1000 -    2000"
              "\r\nHistogram defined from       1000 -    3400\r\nNot set\r\n");
    EXPECT_EQ(debug_state.trace_flags, 0u);
}

TEST_F(DebugAids, WatchReportsAChangeAndSwitchesTheTraceOn) {
    write_word(2, 0500, 7);
    EXPECT_EQ(command("report-memory-change 400500"), "");
    EXPECT_EQ(debug_state.watched_value, 7u);
    EXPECT_EQ(hook_after(01000, SAA), "");
    write_word(2, 0500, 010);
    std::string report = hook_after(01001, SAA);
    EXPECT_EQ(report.substr(0, 62),
              "\r\nMemory address  400500 changed from       7 to      10 at P=");
    EXPECT_NE(report.find("at P=    1001\r\n"), std::string::npos);
    EXPECT_TRUE(debug_state.trace_flags & TRACE_EXECUTION);
    EXPECT_TRUE(debug_state.saved_trace_flags & TRACE_EXECUTION);
    EXPECT_EQ(debug_state.watched_value, 010u);
}

TEST_F(DebugAids, WatchCommandMessages) {
    EXPECT_EQ(
        command("report-memory-change", "\n"),
        "Memory address (- is turn off): \nNo default memory address, please enter a value\r\n");
    EXPECT_EQ(command("report-memory-change 1000000"),
              "Error, memory address outside defined memory area\r\n");
    machine.lower_limit = 0100;
    EXPECT_EQ(command("report-memory-change 77"),
              "Error, memory address outside defined memory area\r\n");
    EXPECT_EQ(command("report-memory-change 100"), "");
    EXPECT_EQ(command("report-memory-change -"), "Report memory change turned off\r\n");
    EXPECT_EQ(debug_state.trace_flags, 0u);
    command("report-memory-change 100");
    command("reset-report-memory-reference");
    EXPECT_EQ(debug_state.trace_flags, 0u);
}

TEST_F(DebugAids, StartTraceAddressTurnsTheTraceOnThere) {
    machine.P = 01234;
    EXPECT_EQ(command("begin-trace-execution-when-at", "\n"), "When at address: \n") << "default P";
    EXPECT_EQ(debug_state.start_trace_address, 01234u);
    debug_state.continuous_trace = 1;
    EXPECT_EQ(hook_after(01233, SAA), "");
    std::string text = hook_after(01234, SAA);
    EXPECT_EQ(text, "\r\nTurning on continuous trace at PC =    1234\r\n");
    EXPECT_TRUE(debug_state.trace_flags & TRACE_EXECUTION);
    EXPECT_TRUE(debug_state.trace_flags & TRACE_START_ADDRESS) << "stays set";
    EXPECT_EQ(debug_state.continuous_trace, 0);
    EXPECT_EQ(command("begin-trace-execution-when-at 200000"),
              "Start address must be within 0-ffff\r\n");
}

TEST_F(DebugAids, MonitorCallTraceSkipsMon0AndMon2) {
    debug_state.trace_flags = TRACE_MONITOR_CALLS;
    EXPECT_EQ(hook_after(01000, 0153000), "");
    EXPECT_EQ(hook_after(01000, 0153002), "");
    EXPECT_NE(hook_after(01000, 0153001), "");
    EXPECT_NE(hook_after(01000, 0153377), "");
    EXPECT_NE(hook_after(01000, 0161000), "");
    EXPECT_NE(hook_after(01000, 0161377), "");
    EXPECT_EQ(hook_after(01000, 0161400), "");
    debug_state.trace_flags |= TRACE_EXECUTION;
    std::string once = hook_after(01000, 0153001);
    EXPECT_EQ(once.find("\r\n{"), once.rfind("\r\n{"));
}

TEST_F(DebugAids, EntryTraceReportsEverySymbolAtP) {
    debug_state.entry_count = 3;
    debug_state.entries[0] = {02000, "MAIN", 0};
    debug_state.entries[1] = {03000, "OTHER", 0};
    debug_state.entries[2] = {02000, "ALIAS", 0};
    debug_state.trace_flags = TRACE_ENTRIES;
    machine.L = 01010;
    EXPECT_EQ(hook_after(01000, SAA), "");
    executed(01777, 0124000);
    machine.P = 02000;
    mark();
    trace_hook();
    EXPECT_EQ(since_mark(), "  Enter MAIN at   2000 , LREG =   1010 \r\n"
                            "  Enter ALIAS at   2000 , LREG =   1010 \r\n");
    EXPECT_EQ(debug_state.entries[0].hits, 1u);
    EXPECT_EQ(debug_state.entries[1].hits, 0u);
}

TEST_F(DebugAids, TraceAndEntryChoices) {
    EXPECT_EQ(command("trace-execution", "\n"), "Execution trace off or on ? \n");
    EXPECT_EQ(debug_state.trace_flags, TRACE_EXECUTION) << "default on";
    EXPECT_EQ(debug_state.saved_trace_flags, TRACE_EXECUTION);
    debug_state.continuous_trace = 1;
    command("trace-execution of");
    EXPECT_EQ(debug_state.trace_flags, 0u);
    EXPECT_EQ(debug_state.saved_trace_flags, 0u);
    EXPECT_EQ(debug_state.continuous_trace, 0);
    EXPECT_EQ(command("trace-execution o"), "Please be more precise\r\n");
    EXPECT_EQ(command("trace-execution maybe"), "Please enter on or off\r\n");
    command("trace-entries on");
    EXPECT_EQ(debug_state.trace_flags, TRACE_ENTRIES);
    EXPECT_EQ(debug_state.saved_trace_flags, TRACE_ENTRIES);
    command("trace-entries", "\n");
    EXPECT_EQ(debug_state.trace_flags, 0u) << "default off";
}

// --- the breakpoint ---

TEST_F(DebugAids, BreakpointPlantsWaitAndClearRestores) {
    write_normal(01001, SAA | 6);
    EXPECT_EQ(command("set-break-point 1001"), "");
    EXPECT_EQ(read_normal(01001), WAIT);
    EXPECT_EQ(debug_state.breakpoint_saved_word, SAA | 6);
    EXPECT_EQ(command("set-break-point 1002"), "Clear current breakpoint at 1001\r\n");
    EXPECT_EQ(read_normal(01001), SAA | 6);
    EXPECT_EQ(command("clear-breakpoint"), "Breakpoint at 1002 cleared\r\n");
    EXPECT_EQ(read_normal(01002), 0u);
    EXPECT_EQ(command("clear-breakpoint"), "");
}

TEST_F(DebugAids, BreakpointOnAWaitStillSavesAndRestoresIt) {
    write_normal(0500, WAIT | 3);
    command("set-break-point 500");
    command("set-break-point 500");
    EXPECT_EQ(debug_state.breakpoint_saved_word, WAIT | 3) << "replanting keeps the real word";
    command("clear-breakpoint");
    EXPECT_EQ(read_normal(0500), WAIT | 3);
}

TEST_F(DebugAids, BreakpointArgumentsAndIllegalWarning) {
    EXPECT_EQ(command("set-break-point", "\n"),
              "Break-point address (octal): \nBreak point address not specified\r\n");
    EXPECT_EQ(command("set-break-point 200000"), "Break-point address outside memory limits\r\n");
    EXPECT_EQ(command("set-break-point 18"), "Illegal char. in octal number: 8\r\n");
    EXPECT_FALSE(debug_state.breakpoint_set);
    write_normal(0300, ILLEGAL);
    EXPECT_EQ(command("set-break-point 300"),
              "Warning, this location contains illegal instruction code\r\n");
    EXPECT_TRUE(debug_state.breakpoint_set);
}

TEST_F(DebugAids, RunStopsAtThePlantedBreakpointAndResumesThere) {
    write_normal(01000, SAA | 5);
    write_normal(01001, SAA | 6);
    write_normal(01002, SAA | 7);
    write_normal(01003, MON_0);
    command("set-break-point 1001");
    run_from(01000);
    EXPECT_EQ(machine.P, 01001u) << "stopped at the breakpoint";
    EXPECT_EQ(machine.A, 5u);
    cpu_running = 1;
    execute_breakpoint_saved_word();
    EXPECT_EQ(machine.A, 6u);
    EXPECT_EQ(machine.P, 01002u);
    run_cpu();
    EXPECT_EQ(machine.A, 7u);
    EXPECT_EQ(read_normal(01001), WAIT) << "the breakpoint stays planted";
    run_from(01000);
    EXPECT_EQ(machine.P, 01001u) << "and is hit again";
}

TEST_F(DebugAids, ProgramsOwnWaitKeepsItsMeaning) {
    write_normal(01000, WAIT);
    write_normal(01001, SAA | 1);
    write_normal(01002, MON_0);
    write_normal(01100, SAA | 2);
    command("set-break-point 1100");
    run_from(01000);
    EXPECT_EQ(machine.A, 1u) << "WAIT on level 0 went on to the next word";
    // A breakpoint planted over a WAIT: resuming executes that WAIT once.
    command("set-break-point 1000");
    machine.A = 0;
    run_from(01000);
    EXPECT_EQ(machine.P, 01000u);
    cpu_running = 1;
    execute_breakpoint_saved_word();
    EXPECT_EQ(machine.P, 01001u);
    run_cpu();
    EXPECT_EQ(machine.A, 1u);
}

// --- guards ---

TEST_F(DebugAids, GuardsUseSintranPageTablesAndAreLimitedToTwenty) {
    write_word(0, 0100, 011);
    write_word(1, 0100, 022);
    EXPECT_EQ(command("guard 1 100"), "Contents now is: 11\r\n");
    EXPECT_EQ(command("guard 0 100"), "Contents now is: 22\r\n");
    EXPECT_EQ(debug_state.guards[0].location, 0100u);
    EXPECT_EQ(debug_state.guards[1].location, 0200100u);
    EXPECT_EQ(debug_state.trace_flags, TRACE_GUARDS);
    EXPECT_EQ(command("guard 1 100"), "Location already guarded\r\n");
    EXPECT_EQ(command("guard 4 100"), "APT must be >0 and <4\r\n");
    EXPECT_EQ(command("guard 1 200000"), "Location outside memory limits\r\n");
    for (uint32_t address = 1; debug_state.guard_count < MAX_GUARDS; ++address) {
        char line[40];
        std::snprintf(line, sizeof line, "guard 2 %o", address);
        command(line);
    }
    EXPECT_EQ(command("guard 3 7"), "Too many guards defined, max 20 allowed\r\n");
    EXPECT_EQ(debug_state.guard_count, 20);
}

// --- memory tools ---

TEST_F(DebugAids, FindValueUsesSintranPageTablesAndReachesTheLastWord) {
    write_word(0, 0177777, 0123);
    write_word(1, 0, 0123);
    EXPECT_EQ(command("find-value-in-memory 123 1"), " found at:  177777\r\n");
    EXPECT_EQ(command("find-value-in-memory 123 0"), " found at:       0\r\n");
    EXPECT_EQ(command("find-value-in-memory 200000 1"),
              "Illegal value, must be bwtween 0-ffff\r\n");
    EXPECT_EQ(command("find-value-in-memory 1 9"), "Illegal char in number: 9\r\n");
    EXPECT_EQ(command("find-value-in-memory 1 4"), "No such page table, 0,1,2,3 are available\r\n");
}

TEST_F(DebugAids, FindNonzeroUsesTheBankNumber) {
    write_word(1, 05, 077);
    EXPECT_EQ(command("find-nonzero-in-page-table 1"), "\r\nNonzero at 200005:     77\r\n");
    EXPECT_EQ(command("find-nonzero-in-page-table 0"), "\r\n");
    EXPECT_EQ(command("find-nonzero-in-page-table 4"),
              "Bad alternative page table no, 0,1,2,3 is legal\r\n\r\n");
}

TEST_F(DebugAids, FillMemoryRangesAndTheBreakpoint) {
    command("set-break-point 150");
    EXPECT_EQ(command("fill-memory 7,100,200"), "Breakpoint at 150 cleared !\r\n");
    EXPECT_FALSE(debug_state.breakpoint_set);
    EXPECT_EQ(read_normal(0100), 7u);
    EXPECT_EQ(read_normal(0150), 7u);
    EXPECT_EQ(read_normal(0200), 7u);
    EXPECT_EQ(read_normal(0201), 0u);
    EXPECT_EQ(command("fill-memory 200000 1 2"), "Value must be within 0 - 177777\r\n");
    EXPECT_EQ(command("fill-memory 1 200000 2"), "Start address must be within 0-177777\r\n");
    EXPECT_EQ(command("fill-memory 1 2 200000"), "Address area must be within 0-177777\r\n");
    EXPECT_EQ(command("fill-memory 1 3 2"), "Error, from address is > to address\r\n");
}

TEST_F(DebugAids, CopyMemoryReplicatesABlockAfterItself) {
    write_normal(0100, 1);
    write_normal(0101, 2);
    EXPECT_EQ(command("copy-memory 100 2 3"), "Done in PIT0!\r\n");
    for (uint32_t i = 0; i < 8; ++i)
        EXPECT_EQ(read_normal(0100 + i), (i % 2) + 1) << i;
    EXPECT_EQ(read_normal(0110), 0u);
    // Stops before a copy would run past the end of the page table.
    write_normal(0177774, 5);
    command("copy-memory 177774 1 10");
    EXPECT_EQ(read_normal(0177775), 5u);
    EXPECT_EQ(read_normal(0177776), 5u);
    EXPECT_EQ(read_normal(0177777), 0u);
    EXPECT_EQ(read_normal(0), 0u);
}

TEST_F(DebugAids, ZzzFindsTwoCharactersInAndAcrossWords) {
    write_normal(0100, ('A' << 8) | 'B');
    write_normal(0200, 'A');
    write_normal(0201, 'B' << 8);
    EXPECT_EQ(command("|zzz AB"), "\r\nFound at     100 ...A B\r\nFound at     200 ...A B");
}

TEST_F(DebugAids, PrintStringsEndsApostropheTexts) {
    write_normal(0100, ('H' << 8) | 'I');
    write_normal(0101, ('\'' << 8));
    EXPECT_EQ(command("|print-strings-in-memory"), "HI' @101\r\n");
}

TEST_F(DebugAids, Fill123StoresEachAddress) {
    command("|fill-123");
    EXPECT_EQ(read_normal(0), 0u);
    EXPECT_EQ(read_normal(01234), 01234u);
    EXPECT_EQ(read_normal(0177777), 0177777u);
}

// --- look-at-memory ---

const char kEditorHelp[] = "\r\r\nNote: Background programs use PT 1 and 2\r\r\n"
                           "\r\r\nEnter value (octal) or"
                           "\r\r\n\"text string\" or"
                           "\r\r\nmemory address (octal value): (or /) to set location"
                           "\r\r\nEnter q or . and return to terminate\r\r\n\r\r\n";

TEST_F(DebugAids, LookAtMemoryShowsBytesAndNibbles) {
    write_normal(0100, ('A' << 8) | 'B');
    std::string text = command("look-at-memory 1 100", "q\n");
    EXPECT_EQ(text, std::string(kEditorHelp) +
                        "PT 1/    100 :   40502 101/102  ASCII A / ASCII B nibles: 4|1|4|2  >q\n"
                        "\r\r\n");
}

TEST_F(DebugAids, LookAtMemoryDescribesParityAndControlBytes) {
    write_normal(0100, 0140640); // 301 / 240
    write_normal(0101, 0105012); // 212 / 012
    write_normal(0102, 0077777); // 177 / 377
    write_normal(0103, 0020000); // 040 / 000
    std::string text = command("look-at-memory 1 100", "\n\n\n\n.\n");
    EXPECT_NE(
        text.find(
            " 301/240  ASCII A (with parity bit on) / SPACE with parity on   nibles: c|1|a|0 "),
        std::string::npos)
        << text;
    EXPECT_NE(text.find(" 212/ 12  / cntlch  cntlch  (with parity bit on) nibles: 8|a|0|a "),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(" 177/377  DEL     / DEL with parity on nibles: 7|f|f|f "),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(" 40/  0  SPACE   / cntlch  nibles: 2|0|0|0 "), std::string::npos) << text;
}

TEST_F(DebugAids, LookAtMemoryEditsValuesAddressesAndText) {
    command("look-at-memory 2 100", "12\n\n300/\n\"ABC\"\n177777:\n5\n.\n");
    EXPECT_EQ(read_word(2, 0100), 012u);
    EXPECT_EQ(read_word(2, 0101), 0u);
    EXPECT_EQ(read_word(2, 0300), ('A' << 8) | 'B');
    EXPECT_EQ(read_word(2, 0301), 'C' << 8);
    EXPECT_EQ(read_word(2, 0177777), 5u);
    EXPECT_EQ(read_word(0, 0100), 0u) << "page table 2 is bank 2";
}

TEST_F(DebugAids, LookAtMemoryTakesALoneCommaAsNoValue) {
    write_normal(0100, 0111);
    std::string text = command("look-at-memory 1 100", ",\n  ,\n7,\n.\n");
    EXPECT_EQ(text.find("Illegal char."), std::string::npos) << text;
    EXPECT_EQ(read_normal(0100), 0111u) << "a comma stores nothing";
    EXPECT_NE(text.find("PT 1/    101"), std::string::npos) << "and goes on to the next address";
    EXPECT_EQ(read_normal(0102), 7u) << "a value before a comma is stored";
}

TEST_F(DebugAids, LookAtMemoryTextKeepsTheLowByteOfAnOddLastCharacter) {
    write_normal(0100, 0777);
    write_normal(0101, 0777);
    command("look-at-memory 1 100", "\"XYZ\n.\n");
    EXPECT_EQ(read_normal(0100), ('X' << 8) | 'Y');
    EXPECT_EQ(read_normal(0101), ('Z' << 8) | 0377);
}

TEST_F(DebugAids, LookAtMemoryMessages) {
    EXPECT_EQ(command("look-at-memory 4"), "No such page table, 0,1,2,3 is available\r\n");
    EXPECT_EQ(command("look-at-memory 8"), "Illegal char in number: 8\r\n");
    EXPECT_EQ(command("look-at-memory 1 9"), "Illegal char. in octal number: 71 9\r\n");
    EXPECT_EQ(command("look-at-memory 1 200000"), "Location outside memory limits\r\n\r\r\n");
    std::string text = command("look-at-memory 1 100", "200000\n200000/\nx\n.\n");
    EXPECT_NE(text.find("This value is out of range\r\r\n"), std::string::npos);
    EXPECT_NE(text.find("This memory address is out of range\r\r\n"), std::string::npos);
    EXPECT_NE(text.find("Illegal char. in octal number: x\r\r\n\a"), std::string::npos);
    EXPECT_EQ(text.find("PT 1/    101"), std::string::npos) << "errors stay at the address";
}

TEST_F(DebugAids, LookAtMemoryDefaultsToP) {
    machine.P = 0177777;
    std::string text = command("look-at-memory", "\n\n\n.\n");
    EXPECT_NE(text.find("PT 0/ 177777 :"), std::string::npos) << text;
    EXPECT_NE(text.find("PT 0/      0 :"), std::string::npos) << "wraps to 0";
}

TEST_F(DebugAids, LookAtMemorySeesAndEditsTheWordUnderTheBreakpoint) {
    write_normal(0100, 0123);
    command("set-break-point 100");
    std::string text = command("look-at-memory 1 100", "456\n.\n");
    EXPECT_NE(text.find("PT 1/    100 :     123"), std::string::npos) << text;
    EXPECT_EQ(read_normal(0100), WAIT) << "the breakpoint stays planted";
    EXPECT_EQ(debug_state.breakpoint_saved_word, 0456u);
    // Text over the breakpoint removes it.
    text = command("look-at-memory 1 77", "\"ABCD\n.\n");
    EXPECT_NE(text.find("\r\r\nBreakpoint at 100 cleared!\r\r\n"), std::string::npos);
    EXPECT_FALSE(debug_state.breakpoint_set);
    EXPECT_EQ(read_normal(0100), ('C' << 8) | 'D');
}

TEST_F(DebugAids, LookAtMemoryEndsAtTheEndOfItsInput) {
    std::string text = command("look-at-memory 1 100", "");
    EXPECT_NE(text.find("PT 1/    100"), std::string::npos);
}

} // namespace
