// The debugging aids' state: everything that acts while a program runs hangs
// off trace_flags, which the instruction cycle tests after every instruction.
#pragma once

#include <cstdint>
#include <cstdio>

constexpr uint32_t TRACE_EXECUTION = 01;
constexpr uint32_t TRACE_AREAS = 02;
constexpr uint32_t TRACE_HISTOGRAM = 010;
constexpr uint32_t TRACE_WATCH = 020;
constexpr uint32_t TRACE_START_ADDRESS = 0100;
constexpr uint32_t TRACE_MONITOR_CALLS = 0200;
constexpr uint32_t TRACE_GUARDS = 0400;
constexpr uint32_t TRACE_ENTRIES = 01000;

constexpr int MAX_GUARDS = 20;

struct GuardEntry {
    uint32_t location;  // page table in bits 16-17, address in bits 0-15
    uint32_t value;     // last recorded value
};

struct DebugState {
    uint32_t trace_flags;
    uint32_t saved_trace_flags;
    FILE *trace_stream;
    FILE *saved_trace_stream;
    int single_step;
    int continuous_trace;
    int trace_line_count;
    int guard_count;
    GuardEntry guards[MAX_GUARDS];
};

extern DebugState debug_state;

// Start-up state: no flags, trace output to standard output.
void reset_debug_state();
// The trace hook of slot 256: runs the enabled debugging aids for the
// instruction just executed.
void trace_hook();
// Puts the trace output and trace flags back to what was saved for them and
// ends single-step mode (the quit answers of the trace and guard prompts).
void restore_saved_trace_settings();
