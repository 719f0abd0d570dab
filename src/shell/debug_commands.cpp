// The operator's debugging commands: execution trace and trace file, the
// breakpoint, trace areas, the start-trace address, the histogram, the memory
// watch, guards and the entry-point symbols.
#include "cpu/cycle.h"
#include "cpu/machine.h"
#include "debug/debug_aids.h"
#include "filesystem/file_names.h"
#include "operator/arguments.h"
#include "operator/operator_channel.h"
#include "operator/output_file.h"
#include "shell/commands.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

// Default of an argument that has none: a value no typed number is taken for.
constexpr uint32_t NO_VALUE = 0xffffffffu;

FILE *out() {
    return shell.operator_output;
}

// An octal argument. False when the command is to end: a bad digit (its
// message printed) or the end of console input.
bool read_octal(uint32_t *value, uint32_t default_value, const char *prompt) {
    int bad = 0;
    int result = read_octal_argument(value, default_value, prompt, &bad);
    if (result == -1) {
        std::fprintf(out(), "Illegal char. in octal number: %c\r\n", bad);
        return false;
    }
    return result == 1;
}

// An on/off choice: 1 on, 0 off, -1 when the answer was not clear.
int read_on_off(const char *prompt, const char *default_word) {
    int choice = read_choice_argument(prompt, default_word, "off on");
    if (choice == CONSOLE_EOF) return -1;
    if (choice == -2) {
        std::fprintf(out(), "Please be more precise\r\n");
        return -1;
    }
    if (choice < 1) {
        std::fprintf(out(), "Please enter on or off\r\n");
        return -1;
    }
    return choice == 2 ? 1 : 0;
}

void set_flag_in_both(uint32_t flag, bool on) {
    if (on) {
        debug_state.trace_flags |= flag;
        debug_state.saved_trace_flags |= flag;
    } else {
        debug_state.trace_flags &= ~flag;
        debug_state.saved_trace_flags &= ~flag;
    }
}

bool is_file_stream(FILE *stream) {
    return stream && stream != stdout && stream != stdin;
}

bool within_memory_limits(uint32_t address) {
    return address >= machine.lower_limit && address <= machine.upper_limit;
}

// Reads a trace-area number; false when the command is to end.
bool read_trace_number(uint32_t *number) {
    return read_octal(number, 1, "Trace number (octal): ");
}

} // namespace

void cmd_trace_execution() {
    int on = read_on_off("Execution trace off or on ? ", "on");
    if (on < 0) return;
    set_flag_in_both(TRACE_EXECUTION, on == 1);
    if (!on) debug_state.continuous_trace = 0;
}

void cmd_open_trace_file() {
    FILE *file = nullptr;
    if (s3_fopen(&file, "Output file: ", "w", "TXT") < 0) return;
    FILE *old = debug_state.trace_stream;
    if (is_file_stream(old) && old != file) {
        finish_written_stream(old, "the trace file", out());
        // The stream kept for the trace prompt must not outlive its file.
        if (debug_state.saved_trace_stream == old) debug_state.saved_trace_stream = file;
    }
    debug_state.trace_stream = file;
}

void cmd_close_trace_file() {
    FILE *current = debug_state.trace_stream;
    FILE *saved = debug_state.saved_trace_stream;
    if (is_file_stream(current)) finish_written_stream(current, "the trace file", out());
    if (is_file_stream(saved) && saved != current)
        finish_written_stream(saved, "the trace file", out());
    debug_state.trace_stream = stdout;
    debug_state.saved_trace_stream = stdout;
}

void cmd_set_break_point() {
    uint32_t address = 0;
    if (!read_octal(&address, NO_VALUE, "Break-point address (octal): ")) return;
    if (address == NO_VALUE) {
        std::fprintf(out(), "Break point address not specified\r\n");
        return;
    }
    if (address > WORD_MASK) {
        std::fprintf(out(), "Break-point address outside memory limits\r\n");
        return;
    }
    // At a planted breakpoint the word that counts is the one it replaced.
    uint32_t word =
        breakpoint_planted_at(address) ? debug_state.breakpoint_saved_word : read_normal(address);
    if (instruction_table[word >> 8] == illegal_instruction)
        std::fprintf(out(), "Warning, this location contains illegal instruction code\r\n");
    if (debug_state.breakpoint_set) {
        std::fprintf(out(), "Clear current breakpoint at %o\r\n", debug_state.breakpoint_address);
        write_normal(debug_state.breakpoint_address, debug_state.breakpoint_saved_word);
    }
    debug_state.breakpoint_saved_word = read_normal(address);
    write_normal(address, BREAKPOINT_WORD);
    debug_state.breakpoint_set = 1;
    debug_state.breakpoint_address = address;
}

void cmd_clear_breakpoint() {
    if (!debug_state.breakpoint_set) return;
    write_normal(debug_state.breakpoint_address, debug_state.breakpoint_saved_word);
    debug_state.breakpoint_set = 0;
    std::fprintf(out(), "Breakpoint at %o cleared\r\n", debug_state.breakpoint_address);
}

void cmd_define_trace_area() {
    uint32_t number = 0, from = 0, to = 0;
    if (!read_trace_number(&number)) return;
    if (number < 1 || number > TRACE_AREA_COUNT) {
        std::fprintf(out(), "Trace number must a number from 1 to 8\r\n");
        return;
    }
    if (!read_octal(&from, 0, "From address: ")) return;
    if (!within_memory_limits(from)) {
        std::fprintf(out(), "From address outside defined memory limits\r\n");
        return;
    }
    if (!read_octal(&to, 0, "To address: ")) return;
    if (!within_memory_limits(to)) {
        std::fprintf(out(), "From address outside defined memory limits\r\n");
        return;
    }
    if (to < from) {
        std::fprintf(out(), "Error, from address is > to address\r\n");
        return;
    }
    TraceArea &area = debug_state.trace_areas[number - 1];
    if (area.defined)
        std::fprintf(out(), "Reset old trace area from %7o - %7o\r\n", area.lower, area.upper);
    area.defined = 1;
    area.lower = from;
    area.upper = to;
    debug_state.trace_flags |= TRACE_AREAS;
}

void cmd_reset_trace_area() {
    uint32_t number = 0;
    if (!read_trace_number(&number)) return;
    if (number < 1 || number > TRACE_AREA_COUNT) {
        std::fprintf(out(), "Trace number must be from 1 - 8\r\n");
        return;
    }
    TraceArea &area = debug_state.trace_areas[number - 1];
    if (!area.defined) {
        std::fprintf(out(), "No trace defined for trace number %d\r\n", static_cast<int>(number));
        return;
    }
    area.defined = 0;
    for (const TraceArea &other : debug_state.trace_areas)
        if (other.defined) return;
    debug_state.trace_flags &= ~TRACE_AREAS;
}

void cmd_begin_trace_execution_when_at() {
    uint32_t address = 0;
    if (!read_octal(&address, machine.P & WORD_MASK, "When at address: ")) return;
    if (address > WORD_MASK) {
        std::fprintf(out(), "Start address must be within 0-ffff\r\n");
        return;
    }
    debug_state.start_trace_address = address;
    debug_state.trace_flags |= TRACE_START_ADDRESS;
}

void cmd_define_histogram() {
    uint32_t start = 0, increment = 0;
    if (!read_octal(&start, 0, "Start address (octal): ")) return;
    if (!within_memory_limits(start)) {
        std::fprintf(out(), "Error, outside defined memory limits %7o - %7o\r\n",
                     machine.lower_limit, machine.upper_limit);
        return;
    }
    if (!read_octal(&increment, 0377, "Increment (octal): ")) return;
    if (increment > WORD_MASK) {
        std::fprintf(out(), "Error, increment value impossible\r\n");
        return;
    }
    uint32_t end = start + HISTOGRAM_AREAS * increment;
    if (end > machine.upper_limit) {
        std::fprintf(out(), "\r\nHistogram would be outside defined memory limits");
        std::fprintf(out(), "\r\nDefined memory limits are %7o - %7o", machine.lower_limit,
                     machine.upper_limit);
        std::fprintf(out(), "\r\nHistogram defined from    %7o - %7o", start, end);
        std::fprintf(out(), "\r\nNot set\r\n");
        return;
    }
    debug_state.histogram_start = start;
    debug_state.histogram_increment = increment;
    debug_state.histogram_end = end;
    debug_state.trace_flags |= TRACE_HISTOGRAM;
    std::fprintf(out(), "Histogram area starts at %7o, ends at %7o\r\n", start, end);
    for (uint32_t &hits : debug_state.histogram_hits)
        hits = 0;
}

void cmd_list_histogram() {
    const DebugState &d = debug_state;
    std::fprintf(out(), "\r\n      Area         hits (dec)");
    std::fprintf(out(), "\r\n-----------------------------");
    uint32_t inside = 0;
    for (int i = 0; i < HISTOGRAM_AREAS; ++i) {
        uint32_t first = d.histogram_start + static_cast<uint32_t>(i) * d.histogram_increment;
        uint32_t last = d.histogram_increment ? first + d.histogram_increment - 1 : first;
        std::fprintf(out(), "\r\n%7o - %7o", first, last);
        std::fprintf(out(), "     %7d", static_cast<int>(d.histogram_hits[i]));
        inside += d.histogram_hits[i];
    }
    std::fprintf(out(), "\r\n\r\nNumber of instr. executed: %d ",
                 static_cast<int>(d.histogram_executed));
    std::fprintf(out(), "\r\nInside histogram area    : %d", static_cast<int>(inside));
    debug_state.trace_flags &= ~TRACE_HISTOGRAM;
    std::fprintf(out(), "\r\nHistogram has now been cleared!\r\n");
}

void cmd_report_memory_change() {
    uint32_t address = 0;
    int bad = 0;
    int result = read_octal_argument(&address, NO_VALUE, "Memory address (- is turn off): ", &bad);
    if (result == -1) {
        if (bad == '-') {
            debug_state.trace_flags &= ~TRACE_WATCH;
            std::fprintf(out(), "Report memory change turned off\r\n");
        } else {
            std::fprintf(out(), "Illegal char. in octal number: %c\r\n", bad);
        }
        return;
    }
    if (result != 1) return;
    if (address == NO_VALUE) {
        std::fprintf(out(), "No default memory address, please enter a value\r\n");
        return;
    }
    if (address < machine.lower_limit || address > MEMORY_WORDS - 1) {
        std::fprintf(out(), "Error, memory address outside defined memory area\r\n");
        return;
    }
    debug_state.watched_address = address;
    debug_state.watched_value = memory_image[address];
    debug_state.trace_flags |= TRACE_WATCH;
}

void cmd_reset_report_memory_reference() {
    debug_state.trace_flags &= ~TRACE_WATCH;
}

void cmd_guard() {
    uint32_t page_table = 0, address = 0;
    if (!read_octal(&page_table, 0, "Page table (octal): ")) return;
    if (page_table > 3) {
        std::fprintf(out(), "APT must be >0 and <4\r\n");
        return;
    }
    if (!read_octal(&address, 0, "Address (octal): ")) return;
    if (address > WORD_MASK) {
        std::fprintf(out(), "Location outside memory limits\r\n");
        return;
    }
    if (debug_state.guard_count >= MAX_GUARDS) {
        std::fprintf(out(), "Too many guards defined, max %d allowed\r\n", MAX_GUARDS);
        return;
    }
    uint32_t location = (sintran_page_table_bank(page_table) << 16) | address;
    for (int i = 0; i < debug_state.guard_count; ++i) {
        if (debug_state.guards[i].location == location) {
            std::fprintf(out(), "Location already guarded\r\n");
            return;
        }
    }
    GuardEntry &guard = debug_state.guards[debug_state.guard_count++];
    guard.location = location;
    guard.value = memory_image[location];
    std::fprintf(out(), "Contents now is: %o\r\n", guard.value);
    debug_state.trace_flags |= TRACE_GUARDS;
}

namespace {

bool is_symbol_separator(int c) {
    return c == ' ' || c == '\r' || c == '\n';
}

// Reads the symbol lines NAME....VALUE of a symbol file into the entry table.
void read_entry_symbols(FILE *file) {
    DebugState &d = debug_state;
    for (;;) {
        int c = std::fgetc(file);
        while (c != EOF && is_symbol_separator(c & 0177))
            c = std::fgetc(file);
        if (c == EOF) return;
        if (d.entry_count >= MAX_ENTRY_SYMBOLS) {
            std::fprintf(out(), "More than %d symbols\r\n", MAX_ENTRY_SYMBOLS);
            return;
        }
        std::string name;
        while (c != EOF && (c & 0177) != '.') {
            c &= 0177;
            // A line without a "." holds no symbol.
            if (c == '\r' || c == '\n')
                name.clear();
            else
                name.push_back(static_cast<char>(c));
            c = std::fgetc(file);
        }
        if (c == EOF) return;
        while (c != EOF && (c & 0177) == '.')
            c = std::fgetc(file);
        uint32_t value = 0;
        for (;;) {
            if (c == EOF) {
                std::fprintf(out(), "\r\nEnd of file");
                return;
            }
            c &= 0177;
            if (is_symbol_separator(c)) break;
            if (c >= '0' && c <= '7') value = value * 8 + static_cast<uint32_t>(c - '0');
            c = std::fgetc(file);
        }
        EntrySymbol &symbol = d.entries[d.entry_count++];
        // Longer names are cut to the eleven characters the table holds.
        std::string kept = name.substr(0, ENTRY_NAME_LENGTH);
        kept.copy(symbol.name, ENTRY_NAME_LENGTH);
        symbol.name[kept.size()] = '\0';
        symbol.value = value;
        symbol.hits = 0;
        std::fprintf(out(), "%s", symbol.name);
        std::fprintf(out(), " = %7o\r\n", value);
    }
}

} // namespace

void cmd_get_entries() {
    FILE *file = nullptr;
    if (s3_fopen(&file, "Get symbols in  file: ", "rb", "SYMB") < 0) return;
    std::fprintf(out(), "\r\nClearing old entries\r\n");
    debug_state.entry_count = 0;
    read_entry_symbols(file);
    if (is_file_stream(file)) std::fclose(file);
}

void cmd_trace_entries() {
    int on = read_on_off("off or on ? ", "off");
    if (on >= 0) set_flag_in_both(TRACE_ENTRIES, on == 1);
}
