// The console as the ND terminal: key reading with translation of cursor and
// function keys, the terminal input ring, echo and break strategies, paging,
// cursor movement and the console event reader.
#pragma once

#include <csignal>
#include <cstdint>

constexpr int INBYTE_SIZE = 200;
constexpr uint32_t VIRTUAL_FLAG = 0x1000;
constexpr int VIRTUAL_KEYS = 256;
constexpr int VIRTUAL_KEY_BYTES = 100;
constexpr int SCREEN_COLUMNS = 80;
constexpr int SCREEN_ROWS = 25;

struct VirtualKey {
    uint8_t bytes[VIRTUAL_KEY_BYTES];
    int count;
};

struct TerminalState {
    uint32_t inbytebuff[INBYTE_SIZE];
    int nbuff;
    int write_index;
    int read_index;
    int last_typed_byte;
    int pending_key;  // -1 = empty
    int echo_mode;
    uint8_t echo_table[128];
    int echo_armed;
    int break_mode;
    uint8_t break_table[128];
    uint8_t saved_break_table[128];
    int break_count;
    int esc_enabled;
    int previous_input_char;
    int line_count;
    int cursor_addressing_state;
    int cursor_addressing_row;
    // The terminal mode word of the last MON 52.
    int terminal_mode;
    // Where the cursor is, as KESTREL's own output left it.
    int cursor_column;
    int cursor_row;
    VirtualKey virtual_key_table[VIRTUAL_KEYS];
};

extern TerminalState terminal;

// Set by the ^C handler; waits for input end early when it is set. The shell
// clears it when it has dealt with the ^C.
extern volatile sig_atomic_t interrupt_seen;

// Start-up state of the terminal.
void reset_terminal_state();
// The per-command reset of the shell loop.
void reset_terminal_for_command();
// The state a program started from the shell begins with.
void reset_terminal_for_program();
// Empties the input ring.
void clear_inbytebuff();

void set_stdin_binary();
void set_stdin_text();

// Next key byte without echo; the 0 prefix of function keys is skipped.
// Returns -1 when the input has ended or a ^C cut the read short.
int read_raw_key();
// Next key byte including the 0 and 224 prefixes (-1 as above).
int read_key_byte();
int translate_extended_key(int second_byte);

int console_wait_event(int *column, int *row, int wait);
int gen_virt(int code, int key, int column, int row);

int inbyte_put(uint32_t entry);
int inbyte_get();
int echo_byte(int byte);
int is_break_byte(int byte);
void console_to_nd(int *value);
void nd_to_console(int *value);
void page_pause(int byte);
void move_cursor(int code);
void set_highlight(int on);
int console_input_ready();
[[noreturn]] void console_fatal(const char *text);

// How the ND terminal's output reaches the host.
struct ConsoleOutputState {
    // --lf: a CR LF pair from the program becomes one LF, for Unix tools.
    bool unix_line_ends;
    bool held_cr;
};
extern ConsoleOutputState console_output;
// Writes out whatever the terminal output still holds back, and flushes it.
void console_finish_output();

// Console output that keeps track of the cursor. console_put_byte writes the
// byte as it is; console_put_glyph writes a code-page-850 glyph (bytes 128
// and above) as UTF-8.
void console_put_byte(int byte);
void console_put_glyph(int byte);
void console_put_text(const char *text);
// Sends what was written to the terminal on its way.
void console_flush();
// Writes one Unicode character as UTF-8 (one column).
void console_put_unicode(uint32_t code_point);
// Cursor positioning, erasing and attributes on the host terminal.
void console_set_cursor(int column, int row);
void console_erase_to_end_of_line();
void console_erase_to_end_of_screen();
void console_clear_screen();
// Insert and delete line work on the cursor line and the rows below it down
// to bottom_row; rows further down stay. On a row below bottom_row they blank
// the cursor line. The cursor stays.
void console_insert_line(int bottom_row);
void console_delete_line(int bottom_row);
// Moves the 25 rows of the screen down by one; the cursor stays.
void console_scroll_down();
// SGR attribute: 10 normal, 160 reverse, 12 red, 0x8020 highlight.
void console_set_attribute(int attribute);
void console_beep();
// UTF-8 encoding of a code-page-850 byte; returns its length.
int cp850_to_utf8(int byte, char *out);
// Code-page-850 byte of a Unicode character, or -1.
int unicode_to_cp850(uint32_t code_point);
