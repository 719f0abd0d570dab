// The memory tools: the interactive memory viewer and editor, searches,
// fill and copy, and the hidden text finders and filler.
#include "console/terminal.h"
#include "cpu/machine.h"
#include "disassembler.h"
#include "shell/commands.h"
#include "shell/debug_aids.h"
#include "shell/shell.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

FILE *out() {
    return shell.operator_output;
}

bool read_octal(uint32_t *value, uint32_t default_value, const char *prompt) {
    int bad = 0;
    int result = read_octal_argument(value, default_value, prompt, &bad);
    if (result == -1) {
        std::fprintf(out(), "Illegal char. in octal number: %c\r\n", bad);
        return false;
    }
    return result == 1;
}

// A page-table number with the message that the memory viewer and the search
// give for a bad digit.
bool read_page_table(uint32_t *page_table, const char *prompt) {
    int bad = 0;
    int result = read_octal_argument(page_table, 0, prompt, &bad);
    if (result == -1) {
        std::fprintf(out(), "Illegal char in number: %c\r\n", bad);
        return false;
    }
    return result == 1;
}

uint32_t cell_of(uint32_t bank, uint32_t address) {
    return (bank << 16) | (address & WORD_MASK);
}

bool is_octal_digit(char c) {
    return c >= '0' && c <= '7';
}

// --- look-at-memory ---

// The word as the program sees it: at the breakpoint, the word it replaced.
uint32_t shown_word(uint32_t bank, uint32_t address) {
    if (bank == 0 && breakpoint_planted_at(address)) return debug_state.breakpoint_saved_word;
    return memory_image[cell_of(bank, address)];
}

void store_shown_word(uint32_t bank, uint32_t address, uint32_t value) {
    if (bank == 0 && breakpoint_planted_at(address))
        debug_state.breakpoint_saved_word = value;
    else
        memory_image[cell_of(bank, address)] = value & WORD_MASK;
}

void describe_byte(uint32_t byte) {
    if (byte < 127) {
        if (byte > 32)
            std::fprintf(out(), " ASCII %c", static_cast<int>(byte));
        else if (byte == 32)
            std::fprintf(out(), " SPACE  ");
        else
            std::fprintf(out(), " cntlch ");
        return;
    }
    if (byte >= 161 && byte <= 254)
        std::fprintf(out(), " ASCII %c (with parity bit on)", static_cast<int>(byte & 0177));
    else if (byte == 127)
        std::fprintf(out(), " DEL    ");
    else if (byte == 255)
        std::fprintf(out(), " DEL with parity on");
    else if (byte == 160)
        std::fprintf(out(), " SPACE with parity on  ");
}

void show_location(uint32_t page_table, uint32_t bank, uint32_t address) {
    uint32_t word = shown_word(bank, address);
    uint32_t high = word >> 8;
    uint32_t low = word & 0377;
    std::fprintf(out(), "PT %1o/%7o : %7o", page_table, address, word);
    std::fprintf(out(), " %3o/%3o ", high, low);
    describe_byte(high);
    std::fprintf(out(), " /");
    describe_byte(low);
    if (low >= 128 && low <= 159) std::fprintf(out(), " cntlch  (with parity bit on)");
    if (high >= 128 && high <= 159) std::fprintf(out(), " cntlch  (with parity bit on)");
    std::fprintf(out(), " nibles: ");
    std::fprintf(out(), "%x|%x|%x|%x ", (word >> 12) & 017, (word >> 8) & 017, (word >> 4) & 017,
                 word & 017);
}

// Stores the text after a double quote two characters a word from *address
// on; returns the address after the text.
uint32_t store_text(const char *text, uint32_t bank, uint32_t address) {
    size_t i = 0;
    while (text[i] != '\0' && text[i] != '"') {
        uint32_t first = static_cast<unsigned char>(text[i]);
        char next = text[i + 1];
        uint32_t word;
        if (next == '\0' || next == '"') {
            word = (first << 8) | (shown_word(bank, address) & 0377);
            i += 1;
        } else {
            word = (first << 8) | static_cast<unsigned char>(next);
            i += 2;
        }
        if (bank == 0 && breakpoint_planted_at(address)) {
            debug_state.breakpoint_set = 0;
            std::fprintf(out(), "\r\r\nBreakpoint at %o cleared!\r\r\n", address);
        }
        memory_image[cell_of(bank, address)] = word & WORD_MASK;
        address = (address + 1) & WORD_MASK;
    }
    return address;
}

void print_editor_help() {
    std::fprintf(out(), "\r\r\nNote: Background programs use PT 1 and 2\r\r\n");
    std::fprintf(out(), "\r\r\nEnter value (octal) or");
    std::fprintf(out(), "\r\r\n\"text string\" or");
    std::fprintf(out(), "\r\r\nmemory address (octal value): (or /) to set location");
    std::fprintf(out(), "\r\r\nEnter q or . and return to terminate\r\r\n\r\r\n");
}

// What one answer at the editor's prompt asks for.
enum class EditAction { Next, Same, Quit };

EditAction apply_edit_line(const char *line, uint32_t bank, uint32_t *address) {
    size_t i = 0;
    while (line[i] == ' ')
        ++i;
    char c = line[i];
    // As with any argument, a comma in its place means that none is given.
    if (c == '\0' || c == ',') return EditAction::Next;
    if (c == 'q' || c == '.') {
        std::fprintf(out(), "\r\r\n");
        return EditAction::Quit;
    }
    if (c == '"') {
        *address = store_text(line + i + 1, bank, *address);
        return EditAction::Same;
    }
    if (is_octal_digit(c)) {
        uint64_t value = 0;
        while (is_octal_digit(line[i])) {
            if (value <= 0xffffffffu) value = value * 8 + static_cast<uint64_t>(line[i] - '0');
            ++i;
        }
        c = line[i];
        if (c == '/' || c == ':') {
            if (value > WORD_MASK)
                std::fprintf(out(), "This memory address is out of range\r\r\n");
            else
                *address = static_cast<uint32_t>(value);
            return EditAction::Same;
        }
        if (c == '\0' || c == ' ' || c == ',') {
            if (value > WORD_MASK) {
                std::fprintf(out(), "This value is out of range\r\r\n");
                return EditAction::Same;
            }
            store_shown_word(bank, *address, static_cast<uint32_t>(value));
            return EditAction::Next;
        }
    }
    std::fprintf(out(), "Illegal char. in octal number: %c\r\r\n\a", c);
    return EditAction::Same;
}

} // namespace

void cmd_look_at_memory() {
    uint32_t page_table = 0, address = 0;
    if (!read_page_table(&page_table, "Page table: ")) return;
    if (page_table > 3) {
        std::fprintf(out(), "No such page table, 0,1,2,3 is available\r\n");
        return;
    }
    int bad = 0;
    int result = read_octal_argument(&address, machine.P & WORD_MASK, "At address (octal): ", &bad);
    if (result == -1) {
        std::fprintf(out(), "Illegal char. in octal number: %o %c\r\n", bad, bad);
        return;
    }
    if (result != 1) return;
    if (address > WORD_MASK) {
        std::fprintf(out(), "Location outside memory limits\r\n");
        std::fprintf(out(), "\r\r\n");
        return;
    }
    uint32_t bank = sintran_page_table_bank(page_table);
    print_editor_help();
    for (;;) {
        address &= WORD_MASK;
        show_location(page_table, bank, address);
        shell.command_line[0] = '\0';
        shell.argument_position = 0;
        std::fprintf(shell.echo_stream, "%s", " >");
        std::fflush(shell.echo_stream);
        int length = read_line(nullptr, shell.command_line, COMMAND_LINE_SIZE);
        // The end of the console input or of the mode file ends the editor.
        if (length == CONSOLE_EOF || (length < 0 && shell.command_line[0] == '\0')) return;
        if (shell.mode_input) {
            std::fprintf(out(), "%s", shell.command_line);
            std::fprintf(out(), "\r\r\n");
        }
        EditAction action = apply_edit_line(shell.command_line, bank, &address);
        if (action == EditAction::Quit) break;
        if (action == EditAction::Next) address = (address + 1) & WORD_MASK;
    }
    shell.command_line[0] = '\0';
    shell.argument_position = 0;
}

// --- disassemble-memory ---

// Shows the program's words (bank 0, page table 1) from..to as source,
// through the decoder nd-dis uses, so that the text assembles back to the
// same words. A planted breakpoint shows the word it replaced.
void cmd_disassemble_memory() {
    uint32_t from = 0, to = 0;
    if (!read_octal(&from, machine.P & WORD_MASK, "From address (octal): ")) return;
    uint32_t last = from > WORD_MASK - 017 ? WORD_MASK : from + 017;
    if (!read_octal(&to, last, "To address (octal): ")) return;
    if (from > WORD_MASK || to > WORD_MASK) {
        std::fprintf(out(), "Location outside memory limits\r\n");
        return;
    }
    if (from > to) {
        std::fprintf(out(), "The first address is above the last\r\n");
        return;
    }
    std::vector<uint16_t> words(WORD_MASK + 1);
    for (uint32_t address = from; address <= to; ++address)
        words[address] = static_cast<uint16_t>(shown_word(0, address));
    std::string text =
        ndtools::disassemble_range(words, static_cast<uint16_t>(from), static_cast<uint16_t>(to));
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::fprintf(out(), "%.*s\r\n", static_cast<int>(end - start), text.data() + start);
        if (out() == stdout) page_pause('\n');
        start = end + 1;
    }
}

void cmd_find_value_in_memory() {
    uint32_t value = 0, page_table = 0;
    if (!read_octal(&value, 0, "Find value (octal): ")) return;
    if (value > WORD_MASK) {
        std::fprintf(out(), "Illegal value, must be bwtween 0-ffff\r\n");
        return;
    }
    if (!read_page_table(&page_table, "In page table: ")) return;
    if (page_table > 3) {
        std::fprintf(out(), "No such page table, 0,1,2,3 are available\r\n");
        return;
    }
    uint32_t bank = sintran_page_table_bank(page_table);
    for (uint32_t address = 0; address <= WORD_MASK; ++address)
        if (memory_image[cell_of(bank, address)] == value)
            std::fprintf(out(), " found at: %7o\r\n", address);
}

void cmd_find_nonzero_in_page_table() {
    uint32_t bank = 0;
    if (!read_octal(&bank, 0, "Page table no: ")) return;
    if (bank > 3) {
        std::fprintf(out(), "Bad alternative page table no, 0,1,2,3 is legal\r\n");
    } else {
        for (uint32_t address = 0; address <= WORD_MASK; ++address) {
            uint32_t cell = cell_of(bank, address);
            if (memory_image[cell] != 0)
                std::fprintf(out(), "\r\nNonzero at %6o: %6o", cell, memory_image[cell]);
        }
    }
    std::fprintf(out(), "\r\n");
}

void cmd_fill_memory() {
    uint32_t value = 0, from = 0, to = 0;
    if (!read_octal(&value, 0, "Value (oct): ")) return;
    if (value > WORD_MASK) {
        std::fprintf(out(), "Value must be within 0 - 177777\r\n");
        return;
    }
    if (!read_octal(&from, 0, "From address: ")) return;
    if (from > WORD_MASK) {
        std::fprintf(out(), "Start address must be within 0-177777\r\n");
        return;
    }
    if (!read_octal(&to, 0, "To address: ")) return;
    if (to > WORD_MASK) {
        std::fprintf(out(), "Address area must be within 0-177777\r\n");
        return;
    }
    if (to < from) {
        std::fprintf(out(), "Error, from address is > to address\r\n");
        return;
    }
    for (uint32_t address = from; address <= to; ++address)
        write_normal(address, value);
    if (debug_state.breakpoint_set && debug_state.breakpoint_address >= from &&
        debug_state.breakpoint_address <= to) {
        std::fprintf(out(), "Breakpoint at %o cleared !\r\n", debug_state.breakpoint_address);
        debug_state.breakpoint_set = 0;
    }
}

void cmd_copy_memory() {
    uint32_t p = machine.P & WORD_MASK;
    uint32_t from = 0, count = 0, times = 0;
    if (!read_octal(&from, p, "From address (PC): ") ||
        !read_octal(&count, p, "No. of consequtive bytes: ") ||
        !read_octal(&times, p, "Number of times: "))
        return;
    std::fprintf(out(), "Done in PIT0!\r\n");
    if (count == 0) return;
    uint64_t source = from;
    const uint64_t words = count;
    for (uint32_t round = 0; round < times; ++round) {
        if (source + 2 * words > WORD_MASK) break;
        for (uint64_t i = 0; i < words; ++i)
            write_normal(static_cast<uint32_t>(source + words + i),
                         read_normal(static_cast<uint32_t>(source + i)));
        source += words;
    }
}

void cmd_zzz() {
    std::string text;
    if (read_word_argument(&text, "*", "Find text: ") == CONSOLE_EOF || text.empty()) return;
    uint32_t first = static_cast<unsigned char>(text[0]);
    uint32_t second = text.size() > 1 ? static_cast<unsigned char>(text[1]) : 0;
    for (uint32_t address = 0; address <= WORD_MASK; ++address) {
        uint32_t word = read_normal(address);
        bool in_word = (word >> 8) == first && (word & 0377) == second;
        bool across = (word & 0377) == first && (read_normal(address + 1) >> 8) == second;
        if (in_word || across)
            std::fprintf(out(), "\r\nFound at %7o ...%c %c", address, static_cast<int>(first),
                         static_cast<int>(second));
    }
}

void cmd_print_strings_in_memory() {
    for (uint32_t address = 0; address <= WORD_MASK; ++address) {
        uint32_t word = read_normal(address);
        uint32_t high = word >> 8;
        uint32_t low = word & 0377;
        if (word >= 020000 && word <= 076777) {
            std::fputc(static_cast<int>(high), out());
            if (high == '\'') std::fprintf(out(), " @%o\r\n", address);
        }
        if (low >= 32 && low <= 126) {
            std::fputc(static_cast<int>(low), out());
            if (low == '\'') std::fprintf(out(), " @%o\r\n", address);
        }
    }
}

void cmd_fill_123() {
    for (uint32_t address = 0; address <= WORD_MASK; ++address)
        write_normal(address, address);
}
