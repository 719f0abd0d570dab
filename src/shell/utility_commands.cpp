// Operator utilities that need no file: command help, number conversion, the
// hold, and the console tests.
#include "console/terminal.h"
#include "filesystem/file_names.h"
#include "operator/output_file.h"
#include "host/host.h"
#include "operator/arguments.h"
#include "operator/matcher.h"
#include "operator/operator_channel.h"
#include "shell/command_table.h"
#include "shell/commands.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

FILE *out() {
    return shell.operator_output;
}

bool matches_pattern(const std::string &pattern, const char *text) {
    if (pattern.empty()) return true;
    const char *table[2] = {text, nullptr};
    int index = 0, terminator = 0, end = 0;
    int result = match_command(pattern.c_str(), 0, table, &index, &terminator, &end);
    return result == MATCH_ABBREVIATION || result == MATCH_EXACT;
}

// Writes one listed line, counting it for the page stop when it goes to the console.
void list_line(FILE *stream, const char *text, bool to_console) {
    std::fprintf(stream, "%s\r\n", text);
    if (to_console) page_pause('\n');
}

} // namespace

void cmd_help() {
    std::string pattern;
    if (read_word_argument(&pattern, "", "Describe commands matching: ") == CONSOLE_EOF) return;
    FILE *listing = nullptr;
    if (s3_fopen(&listing, "&List matching commands to output file: ", "w", "SYMB") < 0) return;
    bool to_console = listing == stdout;
    FILE *stream = to_console ? out() : listing;
    int matched = 0;
    for (int i = 0; i < COMMAND_COUNT; ++i) {
        const char *text = command_texts[i];
        if (text[0] == '|' || !matches_pattern(pattern, text)) continue;
        ++matched;
        list_line(stream, text, to_console);
    }
    if (matched == 0) std::fprintf(out(), "No commands matches %s\r\n", pattern.c_str());
    if (!to_console && listing != stdin) finish_written_stream(listing, "the listing", out());
}

void cmd_list_sintran_commands() {
    for (int i = 0; i < COMMAND_COUNT; ++i)
        if (command_texts[i][0] == '@') list_line(out(), command_texts[i], true);
}

void cmd_octal_to_decimal() {
    uint32_t value = 0;
    int bad = 0;
    int result = read_octal_argument(&value, 0, "Enter octal value: ", &bad);
    if (result == -1) {
        std::fprintf(out(), "Illegal char. in octal number: %c\r\n", bad);
        return;
    }
    if (result != 1) return;
    std::fprintf(out(), "%o octal is %d decimal\r\n", value, static_cast<int>(value));
    if (value > 077777)
        std::fprintf(out(), "In 16 bit signed format: %d\r\n", static_cast<int>(value) - 65536);
}

void cmd_decimal_to_octal() {
    int32_t value = 0;
    int bad = 0;
    if (read_signed_decimal_argument(&value, &bad) == -1) {
        std::fprintf(out(), "Illegal char. in number: %c\r\n", bad);
        return;
    }
    std::fprintf(out(), "%d decimal is %o octal\r\n", value, static_cast<uint32_t>(value));
}

void cmd_hold() {
    uint32_t unit = 0, count = 0;
    int bad = 0;
    int result = read_decimal_argument(&unit, 0, "Unit: ", &bad);
    if (result == -1) {
        std::fprintf(out(), "Illegal char. in unit: %c\r\n", bad);
        return;
    }
    if (result != 1) return;
    result = read_decimal_argument(&count, 0, "Number of units: ", &bad);
    if (result == -1) {
        std::fprintf(out(), "Illegal char. in n: %c\r\n", bad);
        return;
    }
    if (result != 1) return;
    int64_t unit_ms = 0;
    switch (unit) {
    case 1:
        unit_ms = 20;
        break;
    case 2:
        unit_ms = 1000;
        break;
    case 3:
        unit_ms = 60 * 1000;
        break;
    case 4:
        unit_ms = 60 * 60 * 1000;
        break;
    default:
        return;
    }
    std::fflush(out());
    std::fflush(stdout);
    // Slept in slices so that ^C ends the wait.
    int64_t remaining = unit_ms * count;
    while (remaining > 0 && !interrupt_seen) {
        int slice = remaining > 1000 ? 1000 : static_cast<int>(remaining);
        host_sleep_ms(slice);
        remaining -= slice;
    }
}

void cmd_test_input() {
    std::fprintf(out(), "\r\nType ESC to exit\r\n");
    std::fflush(out());
    set_stdin_binary();
    for (;;) {
        int key = read_key_byte();
        if (key < 0) break;
        std::fprintf(out(), "Key: %d(dec), %x(hex), %o(oct)", key, key, key);
        if (key == 0) std::fprintf(out(), " (null byte returned by getch()");
        std::fprintf(out(), "\r\n");
        if (key == 27) break;
        if (key == 13) std::fprintf(out(), "\r\n");
        std::fflush(out());
    }
    set_stdin_text();
}

void cmd_test_font_set() {
    for (int code = 0; code < 256; ++code) {
        std::fprintf(out(), "%d= ", code);
        // Code-page-850 glyphs go to the terminal in UTF-8.
        char glyph[4];
        int length = cp850_to_utf8(code, glyph);
        std::fwrite(glyph, 1, static_cast<size_t>(length), out());
        std::fputc(' ', out());
    }
    std::fprintf(out(), "\r\n");
}

namespace {

constexpr int BOX_COUNT = 8;
constexpr int BOX_WIDTH = 9;
constexpr int BOX_HEIGHT = 5;
constexpr int BOX_ROW = 30;
constexpr int VERTICAL_BAR = 179; // box drawing of code page 850

struct BoxStyle {
    int attribute;
    bool border;
    const char *label;
};

const BoxStyle box_styles[BOX_COUNT] = {
    {10, false, "NORM"}, {160, false, "REV"}, {12, false, "RED"}, {0x8020, false, "HIGH"},
    {10, true, "NORM"},  {160, true, "REV"},  {12, true, "RED"},  {0x8020, true, "HIGH"},
};

void draw_box(int column, int top, const BoxStyle &style) {
    int middle = top + BOX_HEIGHT / 2;
    for (int row = top; row < top + BOX_HEIGHT; ++row) {
        console_set_cursor(column, row);
        console_set_attribute(style.attribute);
        for (int x = 0; x < BOX_WIDTH; ++x) {
            bool edge = x == 0 || x == BOX_WIDTH - 1;
            if (style.border && edge)
                console_put_glyph(VERTICAL_BAR);
            else
                console_put_byte(' ');
        }
    }
    int label_length = static_cast<int>(std::strlen(style.label));
    console_set_cursor(column + (BOX_WIDTH - label_length) / 2, middle);
    console_set_attribute(style.attribute);
    console_put_text(style.label);
    console_set_attribute(10);
}

} // namespace

void cmd_rect_test() {
    // The emulated screen has 25 rows: boxes meant for row 30 sit at its foot.
    int top = BOX_ROW;
    if (top > SCREEN_ROWS - BOX_HEIGHT - 1) top = SCREEN_ROWS - BOX_HEIGHT - 1;
    for (int i = 0; i < BOX_COUNT; ++i)
        draw_box(i * 10, top, box_styles[i]);
    console_set_cursor(0, top + BOX_HEIGHT);
    console_put_text("\r\n\r\n");
    std::fflush(stdout);
}
