#include "shell/virtual_keyboard.h"

#include "console/terminal.h"
#include "filesystem/file_names.h"
#include "host/host.h"
#include "operator/arguments.h"
#include "operator/line_reader.h"
#include "operator/operator_channel.h"
#include "shell/commands.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t MAX_LINE = 100;
constexpr int MAX_HEX_NUMBERS = 10;
constexpr int ESC = 27;

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a hexadecimal number at *position (after blanks). Returns false when
// no digit is there. Large numbers saturate.
bool read_hex(const std::string &text, size_t *position, unsigned long *value) {
    size_t p = *position;
    while (p < text.size() && is_blank(text[p]))
        ++p;
    unsigned long result = 0;
    size_t start = p;
    while (p < text.size() && hex_digit(text[p]) >= 0) {
        if (result <= 0xffffffUL)
            result = result * 16 + static_cast<unsigned long>(hex_digit(text[p]));
        else
            result = 0xfffffffUL;
        ++p;
    }
    if (p == start) return false;
    *position = p;
    *value = result;
    return true;
}

// The blank-free word starting at or after `from`.
std::string word_at(const std::string &text, size_t from) {
    size_t p = from;
    while (p < text.size() && is_blank(text[p]))
        ++p;
    size_t start = p;
    while (p < text.size() && !is_blank(text[p]))
        ++p;
    return text.substr(start, p - start);
}

// Translates the escapes of a string definition: backslash r is carriage
// return, backslash n line feed, two backslashes a space, and a backslash
// before any other character (or at the end) stands for itself; the
// character after it is then taken as it comes.
std::string translate_escapes(const std::string &word) {
    std::string bytes;
    for (size_t i = 0; i < word.size(); ++i) {
        char c = word[i];
        char next = i + 1 < word.size() ? word[i + 1] : '\0';
        if (c == '\\' && (next == 'r' || next == 'n' || next == '\\')) {
            c = next == 'r' ? '\r' : next == 'n' ? '\n' : ' ';
            ++i;
        }
        bytes.push_back(c);
    }
    return bytes;
}

// A key as a character; code-page-850 characters as UTF-8.
void put_character(FILE *out, int byte) {
    char encoded[4];
    int length = cp850_to_utf8(byte & 0xff, encoded);
    std::fwrite(encoded, 1, static_cast<size_t>(length), out);
}

// A key or generated entry as the test shows it: the character and the
// value in hexadecimal, or the value alone for a control character.
void print_entry(FILE *out, int value, int byte) {
    if (byte >= 32) put_character(out, byte);
    std::fprintf(out, "(%x)", static_cast<unsigned>(value));
}

} // namespace

void clear_virtual_keys() {
    for (VirtualKey &key : terminal.virtual_key_table)
        key.count = 0;
}

bool apply_virtual_key_line(const std::string &raw_line) {
    std::string line;
    for (char c : raw_line) {
        if (c == '\n' || c == '\r') break;
        line.push_back(static_cast<char>(c & 0177));
    }
    if (line.size() > MAX_LINE) line.resize(MAX_LINE);
    if (line.compare(0, 3, "EOF") == 0) return false;
    FILE *out = shell.operator_output;
    std::fprintf(out, "\n%s\nparsed to:", line.c_str());
    size_t position = 0;
    unsigned long key = 0;
    bool have_key = read_hex(line, &position, &key);
    std::fprintf(out, "%lx ", key);
    size_t blank = line.find_first_of(" \t");
    std::string keyword = blank == std::string::npos ? std::string() : word_at(line, blank);
    bool string_form = keyword == "string:";
    bool hex_form = keyword == "hex:";
    if (have_key && (string_form || hex_form) && key >= static_cast<unsigned long>(VIRTUAL_KEYS)) {
        std::fprintf(out, "\nIllegal virtual key %lu", key);
    } else if (have_key && string_form) {
        size_t colon = line.find("string:", blank) + std::strlen("string:");
        std::string word = word_at(line, colon);
        std::fprintf(out, "String: %s", word.c_str());
        std::string bytes = translate_escapes(word);
        if (bytes.size() > static_cast<size_t>(VIRTUAL_KEY_BYTES - 1))
            bytes.resize(VIRTUAL_KEY_BYTES - 1);
        VirtualKey &entry = terminal.virtual_key_table[key];
        std::memcpy(entry.bytes, bytes.data(), bytes.size());
        entry.bytes[bytes.size()] = 0;
        entry.count = static_cast<int>(bytes.size());
    } else if (have_key && hex_form) {
        size_t p = line.find("hex:", blank) + std::strlen("hex:");
        unsigned long numbers[MAX_HEX_NUMBERS];
        int count = 0;
        while (count < MAX_HEX_NUMBERS && read_hex(line, &p, &numbers[count]))
            ++count;
        std::fprintf(out, "%d hex numbers:", count);
        VirtualKey &entry = terminal.virtual_key_table[key];
        for (int i = 0; i < count; ++i) {
            std::fprintf(out, " %lx", numbers[i]);
            entry.bytes[i] = static_cast<uint8_t>(numbers[i] & 0xff);
        }
        entry.count = count;
    }
    std::fprintf(out, "\r\n");
    return true;
}

void cmd_virtual_keyboard_definition() {
    FILE *file = nullptr;
    if (s3_fopen(&file, "Virtual KB file: ", "r", "SYMB") < 0) return;
    if (file == stdin) {
        // The terminal: lines come through the console line reader.
        char buffer[COMMAND_LINE_SIZE];
        for (;;) {
            int length = read_line(nullptr, buffer, sizeof buffer);
            if (length < 0 || !apply_virtual_key_line(buffer)) break;
        }
        return;
    }
    std::string line;
    for (;;) {
        int c = std::fgetc(file);
        if (c == EOF && line.empty()) break;
        if (c != EOF && c != '\n') {
            if (line.size() <= MAX_LINE) line.push_back(static_cast<char>(c));
            continue;
        }
        if (!apply_virtual_key_line(line)) break;
        line.clear();
        if (c == EOF) break;
    }
    std::fclose(file);
}

void cmd_virtual_keyboard() {
    uint32_t wait = 1;
    int bad = 0;
    int result = read_decimal_argument(&wait, 1, "Waitflag (0 or 1): ", &bad);
    if (result == CONSOLE_EOF) return;
    if (result == -1) {
        std::fprintf(shell.operator_output, "Illegal char. number: %c\r\n", bad);
        return;
    }
    std::printf("Type ESC twice to exit\r\n");
    set_stdin_binary();
    bool last_was_esc = false;
    for (;;) {
        std::printf(wait ? "\r\nAwait event: " : "\r\nPoll event: ");
        std::fflush(stdout);
        int column = 0, row = 0;
        int event = console_wait_event(&column, &row, wait ? 1 : 0);
        if (event == 1) {
            std::printf("Read char ");
            int key = read_raw_key();
            if (key < 0) break;
            if (key == ESC) {
                if (last_was_esc) break;
                last_was_esc = true;
                continue;
            }
            last_was_esc = false;
            std::printf(" %o ", static_cast<unsigned>(key));
            put_character(stdout, key);
        } else if (event == 3) {
            std::printf("\r\nALT-");
            int key = read_raw_key();
            if (key < 0) break;
            print_entry(stdout, key, key);
            gen_virt(3, key, 0, 0);
            std::printf(" converted to ");
            for (int entry = inbyte_get(); entry >= 0; entry = inbyte_get())
                print_entry(stdout, entry, entry & 0xff);
            std::fflush(stdout);
        } else if (event == 2) {
            std::printf(" X/Y = %d %d", column, row);
        } else if (event == 0 && (host_input_ended() || interrupt_seen)) {
            break;
        }
    }
    set_stdin_text();
    std::printf("Exit\r\n");
}
