// The debugging aids' state: everything that acts while a program runs hangs
// off trace_flags, which the instruction cycle tests after every instruction.
#pragma once

#include "cpu/cycle.h"
#include "cpu/machine.h"

#include <cstdint>
#include <cstdio>

constexpr uint32_t TRACE_EXECUTION = 01;
constexpr uint32_t TRACE_AREAS = 02;
constexpr uint32_t TRACE_HISTOGRAM = 010;
constexpr uint32_t TRACE_WATCH = 020;
constexpr uint32_t TRACE_START_ADDRESS = 0100;
constexpr uint32_t TRACE_ENTRIES = 01000;

constexpr int MAX_GUARDS = 20;
constexpr int TRACE_AREA_COUNT = 8;
constexpr int HISTOGRAM_AREAS = 10;
constexpr int MAX_ENTRY_SYMBOLS = 100;
constexpr int ENTRY_NAME_LENGTH = 11;
// Trace lines between two pauses of the execution trace.
constexpr int TRACE_PAUSE_LINES = 20;
// The word planted at the breakpoint: WAIT.
constexpr uint32_t BREAKPOINT_WORD = 0151000;

struct GuardEntry {
    uint32_t location; // page table in bits 16-17, address in bits 0-15
    uint32_t value;    // last recorded value
};

struct TraceArea {
    int defined;
    uint32_t lower;
    uint32_t upper;
};

struct EntrySymbol {
    uint32_t value; // an address in page table 0
    char name[ENTRY_NAME_LENGTH + 1];
    uint32_t hits;
};

struct DebugState {
    // The trace flags live in the CPU's hooks, where the cycle tests them
    // after each instruction of the table; TRACE_MONITOR_CALLS and
    // TRACE_GUARDS are defined with them.
    static constexpr uint32_t &trace_flags = cpu_hooks.trace_flags;
    uint32_t saved_trace_flags;
    FILE *trace_stream;
    FILE *saved_trace_stream;
    int single_step;
    int continuous_trace;
    int trace_line_count;

    // The breakpoint: a WAIT planted in page table 0 in place of the saved word.
    int breakpoint_set;
    uint32_t breakpoint_address;
    uint32_t breakpoint_saved_word;
    // Set while continue-after-breakpoint executes the replaced word, so that
    // a WAIT of the program's own at the breakpoint keeps its meaning.
    int resuming_at_breakpoint;

    TraceArea trace_areas[TRACE_AREA_COUNT]; // areas 1-8 at index 0-7
    uint32_t start_trace_address;

    uint32_t histogram_start;
    uint32_t histogram_increment;
    uint32_t histogram_end; // start + 10 x increment
    uint32_t histogram_hits[HISTOGRAM_AREAS];
    uint32_t histogram_executed; // instructions since the run began

    uint32_t watched_address; // MemoryImage index: page table x 65536 + address
    uint32_t watched_value;

    int guard_count;
    GuardEntry guards[MAX_GUARDS];

    int entry_count;
    EntrySymbol entries[MAX_ENTRY_SYMBOLS];
};

extern DebugState debug_state;

// Start-up state: no flags, trace output to standard output, no breakpoint.
void reset_debug_state();
// Puts the trace hook into slot 256 and fills the hooks by which the cycle
// checks the guards and the console finds the trace stream.
void install_debugging_aids();
// The trace hook of slot 256: runs the enabled debugging aids for the
// instruction just executed.
void trace_hook();
// Puts the trace output and trace flags back to what was saved for them and
// ends single-step mode (the quit answers of the trace and guard prompts).
void restore_saved_trace_settings();

// One character typed in answer to a debugging prompt, read from standard
// input in the console's text mode. Returns -1 when the input has ended or
// ^C cut the read short (the caller tells the two apart with
// answer_input_ended).
int read_prompt_answer();
bool answer_input_ended();

// Prints the execution-trace line of the instruction just executed (level,
// mnemonic, instruction word, PC and registers) without pausing.
void print_trace_line();
// The execution-trace line of the current state (the instruction at P),
// without a line end.
void print_register_line();
// list-register-values: the register line and a line end.
void list_register_values();

inline bool breakpoint_planted_at(uint32_t address) {
    return debug_state.breakpoint_set && debug_state.breakpoint_address == (address & WORD_MASK);
}

// A loader that has just written `count` words of page table 0 from `first`
// on calls this: when the planted breakpoint lies among them, the loaded word
// becomes the saved word and the WAIT is planted again over it, so that the
// breakpoint keeps working in the new code and clearing it restores that code.
void replant_breakpoint_in(uint32_t first, uint32_t count);

// The WAIT instruction asks this first: when the instruction being executed
// is the planted breakpoint, the run stops there with P left at the
// breakpoint address, and true is returned.
bool stop_at_planted_breakpoint();

// Executes the word the breakpoint replaced as the instruction at P, as the
// instruction cycle dispatches it (continue-after-breakpoint).
void execute_breakpoint_saved_word();

// Page-table numbers as SINTRAN gives them (background programs use 1 and
// 2): page table 1 is memory bank 0, page table 0 is bank 1, 2 and 3 are
// banks 2 and 3.
inline uint32_t sintran_page_table_bank(uint32_t page_table) {
    return page_table == 0 ? 1 : page_table == 1 ? 0 : page_table & 3;
}
