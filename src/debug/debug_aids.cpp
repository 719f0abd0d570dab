// The trace hook and the trace prompt: what the debugging aids do after each
// instruction while any trace flag is on; the breakpoint's stop and resume;
// the execution-trace line; the guards; and the hooks by which the cycle and
// the console reach all these.
#include "debug/debug_aids.h"

#include "console/terminal.h"
#include "cpu/cycle.h"
#include "cpu/levels_io.h"
#include "host/host.h"
#include "operator/operator_channel.h"

DebugState debug_state;

void reset_debug_state() {
    debug_state = DebugState{};
    debug_state.trace_flags = 0;
    debug_state.trace_stream = stdout;
    debug_state.saved_trace_stream = stdout;
    wait_breakpoint_check = stop_at_planted_breakpoint;
}

void restore_saved_trace_settings() {
    if (debug_state.trace_stream != debug_state.saved_trace_stream &&
        debug_state.trace_stream != stdout)
        std::fflush(debug_state.trace_stream);
    debug_state.trace_stream = debug_state.saved_trace_stream;
    debug_state.trace_flags = debug_state.saved_trace_flags;
    debug_state.single_step = 0;
}

int read_prompt_answer() {
    std::fflush(shell.operator_output);
    std::fflush(stdout);
    set_stdin_text();
    return read_raw_key();
}

bool stop_at_planted_breakpoint() {
    if (debug_state.resuming_at_breakpoint || !breakpoint_planted_at(machine.instruction_address))
        return false;
    machine.P = debug_state.breakpoint_address;
    cpu_running = 0;
    return true;
}

void replant_breakpoint_in(uint32_t first, uint32_t count) {
    if (!debug_state.breakpoint_set) return;
    uint32_t address = debug_state.breakpoint_address & WORD_MASK;
    if (address < first || address - first >= count) return;
    debug_state.breakpoint_saved_word = read_normal(address);
    write_normal(address, BREAKPOINT_WORD);
}

void execute_breakpoint_saved_word() {
    machine.P &= WORD_MASK;
    machine.data_bank_mask = (machine.STS & STS_PTM) ? ~0u : 0u;
    machine.instruction_address = machine.P;
    machine.current_instruction = debug_state.breakpoint_saved_word & WORD_MASK;
    debug_state.resuming_at_breakpoint = 1;
    instruction_table[machine.current_instruction >> 8]();
    debug_state.resuming_at_breakpoint = 0;
}

// Trace lines go to the trace stream, unless an @mode output file has taken
// the operator output: then they go there.
static FILE *trace_output() {
    return shell.operator_output == stdout ? debug_state.trace_stream : shell.operator_output;
}

void print_trace_line() {
    if (shell.program_command_pending) return;
    uint32_t level = machine.current_level;
    if (machine.level_changed) {
        level = machine.previous_level;
        machine.level_changed = 0;
    }
    uint32_t word = machine.current_instruction & WORD_MASK;
    FILE *out = trace_output();
    std::fprintf(out, "\r\n{%2d} %s", static_cast<int>(level & 017), mnemonic_table[word >> 8]);
    std::fprintf(out, " %6o @ PC=%6o T=%6o A=%6o D=%6o X=%6o", word, machine.instruction_address,
                 machine.T, machine.A, machine.D, machine.X);
    std::fprintf(out, " L=%6o ST=%6o B=%6o", machine.L, machine.STS, machine.B);
}

// The trace prompt, with the run suspended inside the hook.
static void pause_trace() {
    DebugState &d = debug_state;
    d.trace_line_count = 0;
    std::fprintf(shell.operator_output,
                 "\r\n*** Type CR to continue, q = quit s = single c = continuous o = off: ");
    int answer = read_prompt_answer();
    if (answer < 0) {
        // ^C has already stopped the run; an input that has ended quits.
        if (!cpu_running) return;
        answer = 'q';
    }
    switch (answer) {
    case 'o':
        d.trace_flags &= ~TRACE_EXECUTION;
        d.saved_trace_flags &= ~TRACE_EXECUTION;
        d.single_step = 0;
        d.continuous_trace = 1;
        break;
    case 'q':
        std::fprintf(shell.operator_output, "\r\n   Return to command input!\r\n");
        restore_saved_trace_settings();
        cpu_running = 0;
        break;
    case 's':
        d.saved_trace_stream = d.trace_stream;
        d.single_step = 1;
        d.saved_trace_flags = d.trace_flags;
        d.trace_stream = stdout;
        break;
    case 'c':
        d.trace_stream = d.saved_trace_stream;
        d.single_step = 0;
        d.continuous_trace = 1;
        d.trace_flags = d.saved_trace_flags;
        break;
    default:
        return;
    }
    // The line end typed after the letter.
    if (!answer_input_ended()) read_prompt_answer();
}

bool answer_input_ended() {
    return host_input_ended();
}

// A trace line, then a pause every 20 lines (or after each line while
// single-stepping) when the execution trace goes to the console.
static void trace_line_with_pause() {
    if (shell.program_command_pending) return;
    print_trace_line();
    DebugState &d = debug_state;
    if (!(d.trace_flags & TRACE_EXECUTION) || d.trace_stream != stdout) return;
    ++d.trace_line_count;
    if (d.continuous_trace || shell.mode_input) return;
    if (d.trace_line_count >= TRACE_PAUSE_LINES || d.single_step) pause_trace();
}

static bool in_trace_area(uint32_t address) {
    for (const TraceArea &area : debug_state.trace_areas)
        if (area.defined && address >= area.lower && address <= area.upper) return true;
    return false;
}

static bool is_traced_monitor_call(uint32_t word) {
    return (word >= 0153001 && word <= 0153377 && word != 0153002) ||
           (word >= 0161000 && word <= 0161377);
}

void trace_hook() {
    DebugState &d = debug_state;
    uint32_t address = machine.instruction_address;
    bool line_printed = false;

    if (d.trace_flags & TRACE_EXECUTION) {
        trace_line_with_pause();
        line_printed = true;
    }
    if ((d.trace_flags & TRACE_AREAS) && !(d.trace_flags & TRACE_EXECUTION) && !line_printed &&
        in_trace_area(address)) {
        trace_line_with_pause();
        line_printed = true;
    }
    if (d.trace_flags & TRACE_HISTOGRAM) {
        ++d.histogram_executed;
        if (address >= d.histogram_start && address < d.histogram_end &&
            d.histogram_increment != 0) {
            uint32_t area = (address - d.histogram_start) / d.histogram_increment;
            if (area < HISTOGRAM_AREAS) ++d.histogram_hits[area];
        }
    }
    if (d.trace_flags & TRACE_WATCH) {
        uint32_t now = memory_image[d.watched_address % MEMORY_WORDS];
        if (now != d.watched_value) {
            std::fprintf(shell.operator_output,
                         "\r\nMemory address %7o changed from %7o to %7o at P= %7o\r\n",
                         d.watched_address, d.watched_value, now, address);
            d.trace_flags |= TRACE_EXECUTION;
            d.saved_trace_flags |= TRACE_EXECUTION;
            d.watched_value = now;
        }
    }
    if ((d.trace_flags & TRACE_START_ADDRESS) && address == d.start_trace_address &&
        !(d.trace_flags & TRACE_EXECUTION)) {
        d.trace_flags |= TRACE_EXECUTION;
        std::fprintf(shell.operator_output, "\r\nTurning on continuous trace at PC = %7o\r\n",
                     address);
        d.continuous_trace = 0;
    }
    if ((d.trace_flags & TRACE_MONITOR_CALLS) && !(d.trace_flags & TRACE_EXECUTION) &&
        !line_printed && is_traced_monitor_call(machine.current_instruction & WORD_MASK))
        trace_line_with_pause();
    if (d.trace_flags & TRACE_ENTRIES) {
        uint32_t p = machine.P & WORD_MASK;
        for (int i = 0; i < d.entry_count; ++i) {
            EntrySymbol &symbol = d.entries[i];
            if (symbol.value != p) continue;
            std::fprintf(shell.operator_output, "  Enter %s at %6o , LREG = %6o \r\n", symbol.name,
                         p, machine.L);
            ++symbol.hits;
        }
    }
}

void print_register_line() {
    uint32_t flags = debug_state.trace_flags;
    FILE *stream = debug_state.trace_stream;
    debug_state.trace_flags = TRACE_EXECUTION;
    debug_state.trace_stream = stdout;
    print_trace_line();
    debug_state.trace_flags = flags;
    debug_state.trace_stream = stream;
}

void list_register_values() {
    print_register_line();
    std::fprintf(shell.operator_output, "\r\n");
}

// Compares every guarded word with its recorded value. Returns false when the
// operator chose to quit at the prompt.
static bool check_guards() {
    for (int i = 0; i < debug_state.guard_count; ++i) {
        GuardEntry &guard = debug_state.guards[i];
        uint32_t now = memory_image[guard.location % MEMORY_WORDS];
        if (now == guard.value)
            continue;
        std::fprintf(shell.operator_output,
                     "\r\nMemory location %o in PT %d has changed from %o to %o @P= %o\r\n",
                    guard.location & WORD_MASK, static_cast<int>(guard.location >> 16),
                    guard.value, now, machine.instruction_address);
        guard.value = now;
        std::fprintf(shell.operator_output, "\r\n>> Type CR to continue, q to quit");
        int answer = read_prompt_answer();
        // ^C has already stopped the run, which ends through the halt steps.
        if (answer < 0 && !cpu_running)
            return true;
        if (answer == 'q' || answer < 0) {
            std::fprintf(shell.operator_output, "\r\n   Return to command input!\r\n");
            restore_saved_trace_settings();
            cpu_running = 0;
            if (machine.apt_offset) {
                std::fprintf(shell.operator_output, "\r\nStopping with APT on, now turned off\r\n");
                machine.apt_offset = 0;
            }
            return false;
        }
    }
    return true;
}

static FILE *trace_stream() {
    return debug_state.trace_stream;
}

void install_debugging_aids() {
    instruction_table[TRACE_HOOK_SLOT] = trace_hook;
    cpu_hooks.guards_hold = check_guards;
    console_hooks.trace_stream = trace_stream;
}
