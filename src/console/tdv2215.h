// The TDV 2215 display terminal: its control codes and escape sequences in
// the ND program's output, carried out on the console. Single bytes of MON 2
// use the screen functions directly; the eight bytes of MON 22 go through
// tdv_write_bytes, which queues them so that a sequence may span several calls.
#pragma once

#include <cstdint>

constexpr int TDV_QUEUE_SIZE = 200;
constexpr int TDV_EMPTY = -1;
constexpr int TDV_MAX_PARAMETERS = 16;
constexpr int TDV_LAMPS = 10;
// The lamp row: the row above the bottom row of the 25-row screen.
constexpr int TDV_LAMP_ROW = 23;
// The last row that insert and delete line move.
constexpr int TDV_LAST_TEXT_ROW = 23;

struct TdvState {
    int tdv_queue[TDV_QUEUE_SIZE]; // 7-bit bytes, TDV_EMPTY for none
    int zp;                        // processing position
    int chset_mode;                // 0 normal, 2 set-2 character, 3 after a set-3 request
    int csi_params[TDV_MAX_PARAMETERS];
    int csi_count;
    int diag_row;
    int cursor_address_half_received;
    // A of the MON 22 whose bytes are being interpreted, for the diagnostics.
    uint32_t a_register;
};

extern TdvState tdv;

// Kinds of detail that tdv_diag adds to its message.
enum class TdvDetail {
    Queue,      // A and the waiting queue entries
    Parameters, // the control sequence's parameters
    Byte,       // the entry at zp
};

// Start-up state: empty queue, normal character set, diagnostics from row 0.
void reset_tdv_state();
// Empties the queue (MON 17).
void tdv_reset_queue();

// The eight 7-bit bytes of a MON 22 for terminal type 52: queues them and
// interprets what can be carried out. `a_register` is the call's A, which
// the diagnostics show.
void tdv_write_bytes(const int (&bytes)[8], uint32_t a_register);
// Moves the entries from zp up to the first empty one to the front.
void tdv_compact();
void tdv_diag(const char *message, TdvDetail detail);

// Screen functions, shared with MON 2.
void set_lamp(int lamp);
void erase_line();
void clear_screen();
void clear_screen_by_system();
void delete_line(int count);
void insert_line(int count);
void scroll_down();
void set_reverse(int on);
// The code-page-850 byte that character set 2 shows for c.
int tdv_charset2_glyph(int c, bool new_interpreter);
// Writes a code-page-850 byte to the console: bytes 128 and above and the
// arrow glyphs 24-27 as UTF-8, others as they are.
void tdv_put_glyph(int byte);

// The pauses that let the operator read a diagnostic. Tests replace it.
extern void (*diagnostic_pause)(int milliseconds);
