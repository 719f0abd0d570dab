#include "console/terminal.h"

#include "console/tdv2215.h"
#include "host/host.h"
#include "shell/debug_aids.h"
#include "shell/settings.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

TerminalState terminal;
volatile sig_atomic_t interrupt_seen = 0;

namespace {

// Keys read from the host but not yet handed out, after translation of
// escape sequences and UTF-8, plus the mouse event a sequence reported.
struct KeyQueue {
    int bytes[32];
    int count;
    int position;
    bool alt;         // the queued key was typed with Alt
    int mouse_event;  // 0 none, 2 click, 4 wheel toward the user, 5 away
    int mouse_column;
    int mouse_row;
};

KeyQueue keys;
constexpr int ESCAPE_WAIT_MS = 30;

void queue_byte(int byte) {
    if (keys.count < static_cast<int>(sizeof keys.bytes / sizeof keys.bytes[0]))
        keys.bytes[keys.count++] = byte;
}

bool queue_empty() { return keys.position >= keys.count; }

void queue_reset() {
    keys.count = 0;
    keys.position = 0;
}

void queue_extended(int prefix, int code) {
    queue_byte(prefix);
    queue_byte(code);
}

// Cursor keys of a CSI or SS3 sequence by final byte.
bool queue_cursor_key(int final_byte, int modifier) {
    bool alt = modifier == 3 || modifier == 4 || modifier == 7 || modifier == 8;
    switch (final_byte) {
    case 'A': alt ? queue_extended(0, 152) : queue_extended(224, 72); return true;
    case 'B': alt ? queue_extended(0, 160) : queue_extended(224, 80); return true;
    case 'C': queue_extended(224, 77); return true;
    case 'D': queue_extended(224, 75); return true;
    case 'H': queue_extended(224, 71); return true;
    case 'F': queue_extended(224, 79); return true;
    case 'P': queue_extended(0, 59); return true;
    case 'Q': queue_extended(0, 60); return true;
    case 'R': queue_extended(0, 61); return true;
    case 'S': queue_extended(0, 62); return true;
    default: return false;
    }
}

// Keys of the "ESC [ n ~" form.
bool queue_tilde_key(int number) {
    switch (number) {
    case 1: case 7: queue_extended(224, 71); return true;
    case 2: queue_extended(224, 82); return true;
    case 3: queue_extended(224, 83); return true;
    case 4: case 8: queue_extended(224, 79); return true;
    case 5: queue_extended(224, 73); return true;
    case 6: queue_extended(224, 81); return true;
    case 11: case 12: case 13: case 14: case 15: queue_extended(0, 59 + number - 11); return true;
    case 17: case 18: case 19: case 20: case 21: queue_extended(0, 64 + number - 17); return true;
    default: return false;
    }
}

void record_mouse(int button, int column, int row, int final_byte) {
    if (final_byte != 'M')
        return;  // releases are not events
    if (button & 64) {
        if ((button & 3) == 0)
            keys.mouse_event = 5;
        else if ((button & 3) == 1)
            keys.mouse_event = 4;
        return;
    }
    if (button & 32)
        return;  // motion
    keys.mouse_event = 2;
    keys.mouse_column = column - 1;
    keys.mouse_row = row - 1;
}

// Reads an escape sequence after ESC and its introducer; unknown or cut
// sequences are passed on byte by byte.
void translate_sequence(int introducer) {
    int raw[24];
    int length = 0;
    raw[length++] = 27;
    raw[length++] = introducer;
    int final_byte = -1;
    while (length < 24) {
        int byte = host_read_byte(ESCAPE_WAIT_MS);
        if (byte < 0)
            break;
        raw[length++] = byte;
        if (byte >= 0x40 && byte <= 0x7e && !(introducer == '[' && length == 3 && byte == '<')) {
            final_byte = byte;
            break;
        }
    }
    if (final_byte >= 0) {
        int params[4] = {0, 0, 0, 0};
        int count = 0;
        bool mouse = length > 2 && raw[2] == '<';
        bool valid = true;
        for (int i = mouse ? 3 : 2; i < length - 1; ++i) {
            if (raw[i] >= '0' && raw[i] <= '9') {
                if (count == 0)
                    count = 1;
                if (params[count - 1] < 10000)
                    params[count - 1] = params[count - 1] * 10 + (raw[i] - '0');
            } else if (raw[i] == ';' && count < 4) {
                if (count == 0)
                    count = 1;
                ++count;
            } else {
                valid = false;
            }
        }
        if (valid) {
            if (mouse && count == 3 && (final_byte == 'M' || final_byte == 'm')) {
                record_mouse(params[0], params[1], params[2], final_byte);
                return;
            }
            if (!mouse && final_byte == '~' && queue_tilde_key(params[0]))
                return;
            if (!mouse && final_byte != '~' && queue_cursor_key(final_byte, count >= 2 ? params[1] : 1))
                return;
        }
    }
    for (int i = 0; i < length; ++i)
        queue_byte(raw[i]);
}

// Decodes a UTF-8 character typed on the terminal into code page 850.
void translate_utf8(int lead) {
    int extra = lead >= 0xf0 ? 3 : lead >= 0xe0 ? 2 : 1;
    int raw[4] = {lead, 0, 0, 0};
    uint32_t code_point = static_cast<uint32_t>(lead) & (0x3fu >> extra);
    int have = 1;
    for (; have <= extra; ++have) {
        int byte = host_read_byte(ESCAPE_WAIT_MS);
        if (byte < 0 || (byte & 0xc0) != 0x80) {
            if (byte >= 0)
                host_unread_byte(byte);
            break;
        }
        raw[have] = byte;
        code_point = (code_point << 6) | (static_cast<uint32_t>(byte) & 0x3f);
    }
    int converted = have == extra + 1 ? unicode_to_cp850(code_point) : -1;
    if (converted >= 0) {
        queue_byte(converted);
        return;
    }
    for (int i = 0; i < have; ++i)
        queue_byte(raw[i]);
}

// Reads the next key from the host into the queue. Returns false when no
// byte came (end of input, ^C, or the time-out).
bool fill_queue(int timeout_ms) {
    int byte = host_read_byte(timeout_ms);
    if (byte < 0)
        return false;
    queue_reset();
    keys.alt = false;
    if (!host_stdin_is_terminal()) {
        queue_byte(byte);
        return true;
    }
    if (byte == 27) {
        int next = host_read_byte(ESCAPE_WAIT_MS);
        if (next < 0) {
            queue_byte(27);
        } else if (next == '[' || next == 'O') {
            translate_sequence(next);
        } else if (next >= 32 && next < 127) {
            keys.alt = true;
            queue_byte(next);
        } else {
            host_unread_byte(next);
            queue_byte(27);
        }
        return true;
    }
    if (byte >= 0xc0)
        translate_utf8(byte);
    else
        queue_byte(byte);
    return true;
}

// clang-format off
// Unicode code points of the code-page-850 bytes 128-255.
const uint16_t cp850_unicode[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0, 0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4,
    0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE, 0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE, 0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4,
    0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8, 0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,
};
// clang-format on

// A write to the terminal output that failed shows in its error flag; the
// host layer tells a closed output (the end of KESTREL) from a failed one.
void check_console_output(FILE *out) {
    if (std::ferror(out)) [[unlikely]]
        host_flush_output();
}

void advance_cursor(int byte) {
    switch (byte) {
    case '\r': terminal.cursor_column = 0; break;
    case '\n':
        // The terminal's output processing (and the console's text mode)
        // makes a line feed a carriage return and line feed.
        terminal.cursor_column = 0;
        if (terminal.cursor_row < SCREEN_ROWS - 1)
            ++terminal.cursor_row;
        break;
    case '\b':
        if (terminal.cursor_column > 0)
            --terminal.cursor_column;
        break;
    default:
        if (byte >= 32 && byte != 127) {
            if (++terminal.cursor_column >= SCREEN_COLUMNS) {
                terminal.cursor_column = 0;
                if (terminal.cursor_row < SCREEN_ROWS - 1)
                    ++terminal.cursor_row;
            }
        }
    }
}

}  // namespace

int cp850_to_utf8(int byte, char *out) {
    uint32_t code_point = byte < 128 ? static_cast<uint32_t>(byte) : cp850_unicode[byte - 128];
    if (code_point < 0x80) {
        out[0] = static_cast<char>(code_point);
        return 1;
    }
    if (code_point < 0x800) {
        out[0] = static_cast<char>(0xc0 | (code_point >> 6));
        out[1] = static_cast<char>(0x80 | (code_point & 0x3f));
        return 2;
    }
    out[0] = static_cast<char>(0xe0 | (code_point >> 12));
    out[1] = static_cast<char>(0x80 | ((code_point >> 6) & 0x3f));
    out[2] = static_cast<char>(0x80 | (code_point & 0x3f));
    return 3;
}

int unicode_to_cp850(uint32_t code_point) {
    if (code_point < 128)
        return static_cast<int>(code_point);
    for (int i = 0; i < 128; ++i)
        if (cp850_unicode[i] == code_point)
            return 128 + i;
    return -1;
}

void reset_terminal_state() {
    std::memset(&terminal, 0, sizeof terminal);
    terminal.pending_key = -1;
    terminal.echo_armed = 1;
    terminal.esc_enabled = 1;
    queue_reset();
    keys.alt = false;
    keys.mouse_event = 0;
    reset_tdv_state();
}

void clear_inbytebuff() {
    terminal.nbuff = 0;
    terminal.read_index = 0;
    terminal.write_index = 0;
}

void reset_terminal_for_command() {
    terminal.pending_key = -1;
    terminal.echo_mode = 0;
    terminal.break_mode = 0;
}

// A sequence that an earlier program left half written, or the character
// set it switched to, must not colour the new program's output.
void reset_terminal_for_program() {
    terminal.echo_mode = 1;
    terminal.break_mode = 0;
    clear_inbytebuff();
    terminal.cursor_addressing_state = 0;
    reset_tdv_state();
}

// A terminal that refuses the mode is reported, and the emulator goes on.
void set_stdin_binary() {
    if (!host_terminal_raw())
        std::perror("\r\nFailed to set stdin to binary mode\r\n");
}
void set_stdin_text() {
    if (!host_terminal_restore())
        std::perror("\r\nFailed to set stdin to text mode\r\n");
}

int read_key_byte() {
    // A CR held back for --lf goes out before the program waits for a key.
    console_finish_output();
    while (queue_empty()) {
        if (!fill_queue(-1))
            return -1;
    }
    return keys.bytes[keys.position++];
}

int read_raw_key() {
    for (;;) {
        int byte = read_key_byte();
        if (byte != 0)
            return byte;
    }
}

int translate_extended_key(int second_byte) {
    switch (second_byte) {
    case 72: return 28;
    case 80: return 11;
    case 75: return 8;
    case 77: return 24;
    case 71: return 29;
    case 82: return 5;
    case 83: return 1;
    case 73: terminal.pending_key = 28; return 31;
    case 81: terminal.pending_key = 11; return 31;
    default: return second_byte & 0x7f;
    }
}

int console_wait_event(int *column, int *row, int wait) {
    if (terminal.last_typed_byte == 224)
        return 1;
    bool terminal_input = host_stdin_is_terminal();
    if (terminal_input)
        host_set_mouse_reporting(true);
    int result = 0;
    for (;;) {
        if (!queue_empty()) {
            result = keys.alt ? 3 : 1;
            keys.alt = false;
            break;
        }
        if (keys.mouse_event) {
            result = keys.mouse_event;
            *column = keys.mouse_column;
            *row = keys.mouse_row;
            keys.mouse_event = 0;
            break;
        }
        if (host_take_resize_event()) {
            int columns = 0, rows = 0;
            host_window_size(&columns, &rows);
            std::printf("Resize event\n");
            std::printf("Console screen buffer is %d columns by %d rows.\n", columns, rows);
        }
        if (host_input_waiting(20)) {
            if (!fill_queue(0) && host_input_ended())
                break;
            continue;
        }
        if (!wait || host_input_ended() || interrupt_seen)
            break;
    }
    if (terminal_input)
        host_set_mouse_reporting(false);
    return result;
}

int gen_virt(int code, int key, int column, int row) {
    switch (code) {
    case 2: {
        int c = terminal.cursor_column;
        int r = terminal.cursor_row;
        if ((column == c && row == r) || r < 3)
            return -1;
        if (row == 0) {
            inbyte_put(29);
            return 0;
        }
        if (row < 3 || row > 23 || column >= 80)
            return -1;
        for (int i = 0; i < std::abs(column - c); ++i)
            inbyte_put(column < c ? 8 : 24);
        for (int i = 0; i < std::abs(row - r); ++i)
            inbyte_put(row < r ? 28 : 11);
        return 0;
    }
    case 3: {
        if (key >= VIRTUAL_KEYS || key < 0) {
            std::printf("\nIllegal virtual key %d", key);
            return 0;
        }
        const VirtualKey &definition = terminal.virtual_key_table[key];
        if (definition.count <= 0)
            return 0;
        int count = definition.count > VIRTUAL_KEY_BYTES ? VIRTUAL_KEY_BYTES : definition.count;
        for (int i = 0; i < count; ++i)
            inbyte_put(definition.bytes[i] | VIRTUAL_FLAG);
        return count;
    }
    case 4: inbyte_put(28); return 0;
    case 5: inbyte_put(11); return 0;
    default: std::printf("\nIllegal function code in gen_virt\n"); return -1;
    }
}

int inbyte_put(uint32_t entry) {
    if (terminal.nbuff >= INBYTE_SIZE)
        return -1;
    // A ring emptied by clearing nbuff alone (MON 1, the end of a run) starts
    // again where the next entry goes, so that no old entry is read back.
    if (terminal.nbuff <= 0) {
        terminal.nbuff = 0;
        terminal.read_index = terminal.write_index;
    }
    terminal.inbytebuff[terminal.write_index] = entry;
    terminal.write_index = (terminal.write_index + 1) % INBYTE_SIZE;
    ++terminal.nbuff;
    terminal.last_typed_byte = static_cast<int>(entry);
    return 0;
}

int inbyte_get() {
    if (terminal.nbuff <= 0)
        return -1;
    int entry = static_cast<int>(terminal.inbytebuff[terminal.read_index]);
    terminal.read_index = (terminal.read_index + 1) % INBYTE_SIZE;
    --terminal.nbuff;
    return entry;
}

int echo_byte(int byte) {
    int mode = terminal.echo_mode;
    bool echo = false;
    if (mode < 0)
        return 0;
    if (mode > 7)
        return -1;
    switch (mode) {
    case 0: echo = true; break;
    case 1:
        if (!((byte & 0x7f) >= 32 && (byte & 0x7f) <= 76))
            return 0;
        echo = true;
        break;
    case 7:
        if (!terminal.echo_table[byte & 0x7f])
            return 0;
        if (settings.debug_level == 0101)
            std::fprintf(debug_state.trace_stream, "\necho %o \n", byte & 0x7f);
        echo = true;
        break;
    default: return 1;
    }
    if (echo) {
        console_put_byte(byte & 0x7f);
        page_pause(byte & 0x7f);
    }
    return 1;
}

int is_break_byte(int byte) {
    switch (terminal.break_mode) {
    case 0: case 3: case 4: case 5: case 6: return 1;
    case 1: return (byte < 32 || byte == 127) ? 1 : 0;
    case 2: return terminal.nbuff >= terminal.break_count ? 1 : 0;
    case 7:
        return (byte >= 128 || terminal.break_table[byte & 0x7f] ||
                terminal.nbuff >= terminal.break_count)
                   ? 1
                   : 0;
    default: return 0;
    }
}

void nd_to_console(int *value) {
    switch (*value) {
    case 91: *value = 146; break;
    case 92: *value = 157; break;
    case 93: *value = 143; break;
    case 123: *value = 145; break;
    case 124: *value = 155; break;
    case 125: *value = 134; break;
    default: break;
    }
}

void console_to_nd(int *value) {
    switch (*value) {
    case 146: *value = 91; break;
    case 157: *value = 92; break;
    case 143: *value = 93; break;
    case 145: *value = 123; break;
    case 155: *value = 124; break;
    case 134: *value = 125; break;
    default: break;
    }
}

void page_pause(int byte) {
    if (!settings.stop_on_full_page || byte != '\n')
        return;
    if (++terminal.line_count > 23) {
        set_stdin_binary();
        read_raw_key();
        set_stdin_text();
        terminal.line_count = 0;
    }
}

void move_cursor(int code) {
    int column = terminal.cursor_column;
    int row = terminal.cursor_row;
    switch (code) {
    case 8: if (column > 0) --column; break;
    case 24: if (column < 78) ++column; break;
    case 28: if (row > 0) --row; break;
    case 11: if (row < 24) ++row; break;
    default: std::printf("\nMove cursor, bad byte: %o octal\n", static_cast<unsigned>(code)); return;
    }
    console_set_cursor(column, row);
}

void set_highlight(int on) { console_set_attribute(on ? 0x8020 : 10); }

int console_input_ready() {
    if (!queue_empty())
        return 1;
    set_stdin_binary();
    return host_input_waiting(1000) ? 1 : 0;
}

void console_fatal(const char *text) {
    std::fprintf(stderr, "%s\n", text);
    host_set_mouse_reporting(false);
    host_terminal_restore();
    std::exit(1);
}

ConsoleOutputState console_output;

namespace {

// With Unix line ends a CR is held back until the next byte shows whether it
// begins a CR LF pair; every write releases it first.
void release_held_cr(FILE *out) {
    if (!console_output.held_cr) return;
    console_output.held_cr = false;
    std::fputc('\r', out);
}

// The terminal output stream, with a held-back CR written out.
FILE *output_stream() {
    FILE *out = host_terminal_output();
    release_held_cr(out);
    return out;
}

} // namespace

void console_finish_output() {
    release_held_cr(host_terminal_output());
    host_flush_output();
}

void console_put_byte(int byte) {
    byte &= 0xff;
    FILE *out = host_terminal_output();
    if (console_output.unix_line_ends) {
        bool pair = console_output.held_cr && byte == '\n';
        if (pair)
            console_output.held_cr = false;
        else
            release_held_cr(out);
        if (byte == '\r') {
            console_output.held_cr = true;
            advance_cursor(byte);
            return;
        }
    }
    std::fputc(byte, out);
    advance_cursor(byte);
    check_console_output(out);
}

void console_put_glyph(int byte) {
    byte &= 0xff;
    if (byte < 128) {
        console_put_byte(byte);
        return;
    }
    char encoded[4];
    int length = cp850_to_utf8(byte, encoded);
    FILE *out = output_stream();
    std::fwrite(encoded, 1, static_cast<size_t>(length), out);
    advance_cursor('x');
    check_console_output(out);
}

void console_put_unicode(uint32_t code_point) {
    char encoded[4];
    int length = 0;
    if (code_point < 0x80) {
        encoded[length++] = static_cast<char>(code_point);
    } else if (code_point < 0x800) {
        encoded[length++] = static_cast<char>(0xc0 | (code_point >> 6));
        encoded[length++] = static_cast<char>(0x80 | (code_point & 0x3f));
    } else {
        encoded[length++] = static_cast<char>(0xe0 | ((code_point >> 12) & 0x0f));
        encoded[length++] = static_cast<char>(0x80 | ((code_point >> 6) & 0x3f));
        encoded[length++] = static_cast<char>(0x80 | (code_point & 0x3f));
    }
    FILE *out = output_stream();
    std::fwrite(encoded, 1, static_cast<size_t>(length), out);
    advance_cursor('x');
    check_console_output(out);
}

void console_flush() { host_flush_output(); }

void console_put_text(const char *text) {
    while (*text)
        console_put_byte(static_cast<unsigned char>(*text++));
}

void console_set_cursor(int column, int row) {
    if (column < 0) column = 0;
    if (column >= SCREEN_COLUMNS) column = SCREEN_COLUMNS - 1;
    if (row < 0) row = 0;
    if (row >= SCREEN_ROWS) row = SCREEN_ROWS - 1;
    std::fprintf(output_stream(), "\x1b[%d;%dH", row + 1, column + 1);
    terminal.cursor_column = column;
    terminal.cursor_row = row;
}

void console_erase_to_end_of_line() {
    std::fputs("\x1b[K", output_stream());
}
void console_erase_to_end_of_screen() {
    std::fputs("\x1b[J", output_stream());
}

void console_clear_screen() {
    std::fputs("\x1b[2J\x1b[H", output_stream());
    terminal.cursor_column = 0;
    terminal.cursor_row = 0;
}

// Runs one line operation inside the scroll region of rows 0 to bottom_row
// and puts the cursor back where it was (setting or resetting the region
// homes the cursor).
static void within_rows(int bottom_row, const char *operation, bool at_top) {
    int row = terminal.cursor_row + 1;
    int column = terminal.cursor_column + 1;
    FILE *out = output_stream();
    std::fprintf(out, "\x1b[1;%dr", bottom_row + 1);
    if (at_top)
        std::fprintf(out, "\x1b[H%s", operation);
    else
        std::fprintf(out, "\x1b[%d;%dH%s", row, column, operation);
    std::fprintf(out, "\x1b[r\x1b[%d;%dH", row, column);
}

void console_insert_line(int bottom_row) {
    if (terminal.cursor_row > bottom_row) {
        std::fputs("\x1b[2K", output_stream());
        return;
    }
    within_rows(bottom_row, "\x1b[L", false);
}

void console_delete_line(int bottom_row) {
    if (terminal.cursor_row > bottom_row) {
        std::fputs("\x1b[2K", output_stream());
        return;
    }
    within_rows(bottom_row, "\x1b[M", false);
}

void console_scroll_down() {
    // Reverse index at the top row scrolls the screen down by one line.
    within_rows(SCREEN_ROWS - 1, "\x1bM", true);
}

void console_set_attribute(int attribute) {
    switch (attribute) {
    case 160:
        std::fputs("\x1b[7m", output_stream());
        break;
    case 12:
        std::fputs("\x1b[31m", output_stream());
        break;
    case 0x8020:
        std::fputs("\x1b[4m", output_stream());
        break;
    default:
        std::fputs("\x1b[0m", output_stream());
        break;
    }
}

void console_beep() {
    std::fputc('\a', output_stream());
}
