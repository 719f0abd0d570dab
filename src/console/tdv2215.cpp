#include "console/tdv2215.h"

#include "console/terminal.h"
#include "host/host.h"
#include "settings/settings.h"

#include <cstdio>
#include <string>

static TdvState initial_tdv_state() {
    TdvState state{};
    for (int &slot : state.tdv_queue)
        slot = TDV_EMPTY;
    return state;
}

TdvState tdv = initial_tdv_state();
void (*diagnostic_pause)(int milliseconds) = host_sleep_ms;

namespace {

constexpr int ESC = 27;
constexpr int LAMP_COLUMNS[TDV_LAMPS] = {24, 16, 35, 37, 38, 39, 40, 41, 42, 43};
constexpr int LAMP_GLYPH = 254;
constexpr int DIAG_LAST_ROW = 41;
constexpr int DIAG_WRAP_ROW = 35;
constexpr int UNKNOWN_SET2_GLYPH = 240;

int entry(int position) {
    if (position < 0 || position >= TDV_QUEUE_SIZE) return TDV_EMPTY;
    return tdv.tdv_queue[position];
}

void empty_queue() {
    for (int &slot : tdv.tdv_queue)
        slot = TDV_EMPTY;
    tdv.zp = 0;
}

// First empty entry at or after `from`.
int first_empty(int from) {
    int position = from < 0 ? 0 : from;
    while (position < TDV_QUEUE_SIZE && tdv.tdv_queue[position] != TDV_EMPTY)
        ++position;
    return position;
}

// Appends after the waiting entries; bytes beyond the queue's end are lost.
void append_bytes(const int bytes[8]) {
    tdv_compact();
    int position = first_empty(0);
    for (int i = 0; i < 8 && position < TDV_QUEUE_SIZE; ++i)
        tdv.tdv_queue[position++] = bytes[i];
}

bool is_cursor_step(int byte) {
    return byte == 8 || byte == 11 || byte == 24 || byte == 28;
}
bool is_line_end(int byte) {
    return byte == 10 || byte == 13;
}
bool is_digit(int byte) {
    return byte >= '0' && byte <= '9';
}

void put_text_byte(int byte) {
    if (settings.norwegian_charset) nd_to_console(&byte);
    tdv_put_glyph(byte);
    page_pause(byte);
}

void put_control(int byte) {
    console_put_byte(byte);
    page_pause(byte);
}

// A control sequence waiting for its final character may not grow beyond
// what the queue can still take from the next call; past that it is treated
// as unsupported so that output cannot stall.
bool queue_can_wait(int waiting_end) {
    return waiting_end + 8 <= TDV_QUEUE_SIZE;
}

// Parses the parameters of ESC [ between `from` and `end`: decimal numbers
// separated by ";". `present` tells which were given.
void parse_parameters(int from, int end, bool present[TDV_MAX_PARAMETERS]) {
    tdv.csi_count = 0;
    for (int i = 0; i < TDV_MAX_PARAMETERS; ++i) {
        tdv.csi_params[i] = 0;
        present[i] = false;
    }
    if (from >= end) return;
    int index = 0;
    tdv.csi_count = 1;
    for (int position = from; position < end; ++position) {
        int byte = entry(position);
        if (byte == ';') {
            if (index + 1 < TDV_MAX_PARAMETERS) {
                ++index;
                tdv.csi_count = index + 1;
            }
            continue;
        }
        present[index] = true;
        if (tdv.csi_params[index] < 10000)
            tdv.csi_params[index] = tdv.csi_params[index] * 10 + (byte - '0');
    }
}

// Blanks from the cursor to the end of the line, the cursor staying.
void blank_to_end_of_line() {
    console_erase_to_end_of_line();
}

// ---- the new interpreter ----

enum class Step { Continue, EndCall };

Step new_control_sequence(int start) {
    int end = start + 2;
    while (is_digit(entry(end)) || entry(end) == ';')
        ++end;
    int final_byte = entry(end);
    if (final_byte == TDV_EMPTY) {
        if (queue_can_wait(end)) return Step::EndCall;
        tdv.csi_count = 0;
        tdv_diag("\nUnsupported ESC-sequence ", TdvDetail::Parameters);
        tdv.zp = start + 1;
        return Step::Continue;
    }
    bool present[TDV_MAX_PARAMETERS];
    parse_parameters(start + 2, end, present);
    int first = tdv.csi_params[0];
    switch (final_byte) {
    case 'J':
        if (!present[0] || first == 0) {
            int row = terminal.cursor_row;
            blank_to_end_of_line();
            console_set_cursor(0, row);
        } else if (first == 2) {
            clear_screen();
        }
        break;
    case 'K':
        if (!present[0] || first == 0)
            blank_to_end_of_line();
        else if (first == 2)
            erase_line();
        break;
    case 'L':
        insert_line(present[0] ? first : 1);
        break;
    case 'M':
        delete_line(present[0] ? first : 1);
        break;
    case 'h':
        break;
    case 'l':
        tdv_diag("\nCSI reset mode ignored", TdvDetail::Parameters);
        break;
    case 'm':
        for (int i = 0; i < tdv.csi_count; ++i) {
            switch (tdv.csi_params[i]) {
            case 0:
                console_set_attribute(10);
                break;
            case 4:
                set_highlight(0);
                break;
            case 7:
                set_reverse(1);
                break;
            default:
                break;
            }
        }
        break;
    default:
        tdv_diag("\nUnsupported ESC-sequence ", TdvDetail::Parameters);
        tdv.zp = start + 1;
        return Step::Continue;
    }
    tdv.zp = end + 1;
    return Step::Continue;
}

Step new_escape(int start) {
    int c = entry(start + 1);
    if (c == TDV_EMPTY) return Step::EndCall;
    switch (c) {
    case 'H':
    case 'P':
    case 'Q':
    case '\\':
    case '^':
        tdv_diag("\nC1 not supported:", TdvDetail::Queue);
        tdv.zp = start + 2;
        return Step::Continue;
    case 'M':
        erase_line();
        tdv.zp = start + 2;
        return Step::Continue;
    case 'N': {
        int character = entry(start + 2);
        if (character == TDV_EMPTY) return Step::EndCall;
        if (character < 32 || character > 126) {
            tdv_diag("\nBad char req. char set 2", TdvDetail::Queue);
            tdv_put_glyph(UNKNOWN_SET2_GLYPH);
        } else {
            tdv_put_glyph(tdv_charset2_glyph(character, true));
        }
        tdv.zp = start + 3;
        return Step::Continue;
    }
    case 'O': {
        // The third character set is not available: the request is shown
        // and passed. Processing goes on, so that the bytes after it are
        // neither examined again nor lost behind the zero padding.
        int character = entry(start + 2);
        if (character == TDV_EMPTY) return Step::EndCall;
        console_put_text("\nCHSET 3\n");
        std::fflush(stdout);
        diagnostic_pause(5000);
        if (character == ' ') console_put_byte(' ');
        tdv.zp = start + 3;
        return Step::Continue;
    }
    case '[':
        return new_control_sequence(start);
    default:
        tdv_diag("\nUnsupported ESC-sequence ", TdvDetail::Queue);
        tdv.zp = start + 2;
        return Step::Continue;
    }
}

void run_new_interpreter() {
    for (;;) {
        tdv_compact();
        int byte = entry(0);
        if (byte == TDV_EMPTY) return;
        if (byte == ESC && entry(1) == TDV_EMPTY) return;
        if (is_cursor_step(byte)) {
            move_cursor(byte);
            tdv.zp = 1;
            continue;
        }
        if (is_line_end(byte)) {
            put_control(byte);
            tdv.zp = 1;
            continue;
        }
        bool acted = false;
        if (!tdv.cursor_address_half_received) {
            int position = 0;
            if (entry(position) == 22) ++position;
            if (entry(position) == 23) {
                scroll_down();
                ++position;
            }
            if (entry(position) == 7) {
                console_beep();
                ++position;
            }
            tdv.zp = position;
            byte = entry(position);
            if (byte == TDV_EMPTY) continue;
            if (byte == 0) {
                empty_queue();
                return;
            }
            switch (byte) {
            case 2:
            case 3:
            case 4:
            case 9:
            case 12:
                tdv_diag("\nC0 not supported:", TdvDetail::Byte);
                tdv.zp = position + 1;
                continue;
            case 5:
                set_lamp(1);
                acted = true;
                break;
            case 6:
                set_lamp(2);
                acted = true;
                break;
            case 21:
                set_lamp(3);
                acted = true;
                break;
            case 22:
                set_lamp(0);
                acted = true;
                break;
            case 14:
                set_highlight(1);
                acted = true;
                break;
            case 15:
                set_highlight(0);
                set_reverse(0);
                acted = true;
                break;
            case 25:
                clear_screen_by_system();
                acted = true;
                break;
            default:
                break;
            }
        }
        int start = tdv.zp;
        if (!acted && byte == 16) {
            int row = entry(start + 1);
            int column = entry(start + 2);
            if (row == TDV_EMPTY || column == TDV_EMPTY) {
                tdv.cursor_address_half_received = 1;
                return;
            }
            console_set_cursor(column, row);
            tdv.cursor_address_half_received = 0;
            tdv.zp = start + 3;
            continue;
        }
        if (!acted && byte == ESC) {
            if (new_escape(start) == Step::EndCall) return;
            continue;
        }
        // Text. A control byte that a rule of the next round handles is left
        // for it; any other control byte is passed over.
        int position = start;
        if (byte < 32) {
            if (!acted && start > 0 && (is_cursor_step(byte) || is_line_end(byte) || byte == 16))
                continue;
            ++position;
        }
        for (;;) {
            int text = entry(position);
            if (text < 32 || text > 127) break;
            put_text_byte(text);
            ++position;
        }
        tdv.zp = position;
    }
}

// ---- the old interpreter ----

int old_charset2(int c) {
    switch (c) {
    case 76:
        return 187;
    case 96:
        return 196;
    case 97:
        return 192;
    case 99:
        return 217;
    case 100:
        return 195;
    case 101:
        return 197;
    case 103:
        return 218;
    case 105:
        return 191;
    case 106:
        return 179;
    case 111:
        return 26;
    case 112:
        return 27;
    case 113:
        return 24;
    case 114:
        return 25;
    default:
        return -1;
    }
}

// Handles ESC at `start`. Returns EndCall when the call ends there.
Step old_escape(int start) {
    int c = entry(start + 1);
    if (c == TDV_EMPTY) return Step::EndCall;
    switch (c) {
    case 'Q':
        tdv.zp = start + 2;
        return Step::Continue;
    case 'M':
        erase_line();
        tdv.zp = start + 2;
        return Step::Continue;
    case 'N': {
        int character = entry(start + 2);
        if (character == TDV_EMPTY) {
            console_put_text("!!\n");
            return Step::EndCall;
        }
        tdv.chset_mode = 2;
        int glyph = (character >= 32 && character <= 126) ? old_charset2(character) : -1;
        if (glyph < 0) {
            char report[32];
            std::snprintf(report, sizeof report, ">>chset2=%x \n",
                          (character >= 32 && character <= 126) ? static_cast<unsigned>(character)
                                                                : 0u);
            console_put_text(report);
            std::fflush(stdout);
            diagnostic_pause(5000);
            glyph = UNKNOWN_SET2_GLYPH;
        }
        tdv_put_glyph(glyph);
        tdv.chset_mode = 0;
        tdv.zp = start + 3;
        return Step::Continue;
    }
    case 'O': {
        int character = entry(start + 2);
        if (character == TDV_EMPTY) return Step::EndCall;
        console_put_text("\nCHSET 3\n");
        std::fflush(stdout);
        diagnostic_pause(5000);
        tdv.chset_mode = 3;
        if (character == ' ') console_put_byte(' ');
        tdv.zp = start + 3;
        return Step::Continue;
    }
    default:
        break;
    }
    if (c == '[') {
        int end = start + 2;
        while (is_digit(entry(end)) || entry(end) == ';')
            ++end;
        if (entry(end) == TDV_EMPTY && queue_can_wait(end)) return Step::EndCall;
        int p1 = entry(start + 2), p2 = entry(start + 3), p3 = entry(start + 4),
            p4 = entry(start + 5);
        if (p1 == '0' && p2 == 'm') {
            set_reverse(0);
            tdv.chset_mode = 0;
            tdv.zp = start + 4;
            return Step::Continue;
        }
        if (p1 == '4' && p2 == 'm') {
            tdv.zp = start + 4;
            return Step::Continue;
        }
        if (p1 == '0' && p2 != TDV_EMPTY) {
            int row = terminal.cursor_row;
            blank_to_end_of_line();
            console_set_cursor(0, row);
            tdv.zp = start + 4;
            return Step::Continue;
        }
        if (p1 == '2' && p2 == ';' && p3 == '7' && p4 == 'm') {
            set_reverse(1);
            tdv.zp = start + 6;
            return Step::Continue;
        }
        if (p1 == '2' && p2 == 'J') {
            clear_screen();
            tdv.zp = start + 4;
            return Step::Continue;
        }
        if (p1 == '2' && p2 == 'K') {
            erase_line();
            tdv.zp = start + 4;
            return Step::Continue;
        }
        if (p1 == 'M') {
            delete_line(1);
            tdv.zp = start + 3;
            return Step::Continue;
        }
        if (p1 == 'L') {
            insert_line(1);
            tdv.zp = start + 3;
            return Step::Continue;
        }
        if (p1 == '3' && p2 == '0' && p3 == ';' && p4 == '7') {
            tdv.zp = start + 6;
            return Step::Continue;
        }
    }
    if (c < 64 || c >= 127) {
        char report[32];
        std::snprintf(report, sizeof report, "\nESC-%0x\n", static_cast<unsigned>(c));
        console_put_text(report);
        std::fflush(stdout);
        diagnostic_pause(5000);
        tdv.zp = start + 2;
        return Step::Continue;
    }
    // Parameters with a ";" ended by h, l or m: the whole sequence is skipped.
    bool semicolon = false;
    int end = start + 2;
    while (is_digit(entry(end)) || entry(end) == ';') {
        if (entry(end) == ';') semicolon = true;
        ++end;
    }
    int final_byte = entry(end);
    if (semicolon && (final_byte == 'h' || final_byte == 'l' || final_byte == 'm')) {
        tdv.zp = end + 1;
        return Step::Continue;
    }
    if (settings.debug_level == 5) {
        int third = entry(start + 2);
        std::fprintf(console_hooks.trace_stream(), "\nTDV 2215 emulation: Unsupported ESC-sequence ");
        std::fprintf(console_hooks.trace_stream(), "%o %o %o ", static_cast<unsigned>(ESC),
                     static_cast<unsigned>(c), static_cast<unsigned>(third < 0 ? 0 : third));
        std::fflush(console_hooks.trace_stream());
        diagnostic_pause(5000);
    }
    // Passed, so that the same bytes are not examined again.
    tdv.zp = start + 2;
    return Step::Continue;
}

void run_old_interpreter() {
    for (;;) {
        tdv_compact();
        int byte = entry(0);
        if (byte == TDV_EMPTY) return;
        if (byte == 16) {
            if (entry(1) == TDV_EMPTY || entry(2) == TDV_EMPTY) return;
            console_set_cursor(entry(2), entry(1));
            tdv.zp = 3;
            continue;
        }
        if (is_cursor_step(byte)) {
            move_cursor(byte);
            tdv.zp = 1;
            continue;
        }
        if (is_line_end(byte)) {
            put_control(byte);
            tdv.zp = 1;
            continue;
        }
        int position = 0;
        if (entry(position) == 22) ++position;
        if (entry(position) == 23) {
            scroll_down();
            ++position;
        }
        if (entry(position) == 7) {
            console_beep();
            ++position;
        }
        tdv.zp = position;
        byte = entry(position);
        if (byte == TDV_EMPTY) continue;
        if (byte == ESC) {
            if (old_escape(position) == Step::EndCall) return;
            continue;
        }
        if (byte == 0) {
            // The rest of the eight bytes is padding.
            empty_queue();
            return;
        }
        if (tdv.chset_mode != 0) {
            console_put_byte('~');
            tdv.chset_mode = 0;
            tdv.zp = position + 1;
            continue;
        }
        if (byte >= 32) {
            put_text_byte(byte);
            tdv.zp = position + 1;
            continue;
        }
        if (position > 0 && (is_cursor_step(byte) || is_line_end(byte) || byte == 16)) continue;
        if (settings.debug_level == 055) {
            std::fprintf(console_hooks.trace_stream(), "\nTDV 2215 emul/Ill char: %o-%o-%o\n",
                         static_cast<unsigned>(byte),
                         static_cast<unsigned>(entry(position + 1) & 0177),
                         static_cast<unsigned>(entry(position + 2) & 0177));
            std::fflush(console_hooks.trace_stream());
            diagnostic_pause(5000);
        }
        tdv.zp = position + 1;
    }
}

} // namespace

void reset_tdv_state() {
    empty_queue();
    tdv.chset_mode = 0;
    tdv.csi_count = 0;
    tdv.diag_row = 0;
    tdv.cursor_address_half_received = 0;
}

void tdv_reset_queue() {
    empty_queue();
    tdv.cursor_address_half_received = 0;
}

void tdv_compact() {
    int from = tdv.zp;
    if (from < 0 || from >= TDV_QUEUE_SIZE || tdv.tdv_queue[from] == TDV_EMPTY) {
        empty_queue();
        return;
    }
    int length = first_empty(from) - from;
    for (int i = 0; i < length; ++i)
        tdv.tdv_queue[i] = tdv.tdv_queue[from + i];
    for (int i = length; i < TDV_QUEUE_SIZE; ++i)
        tdv.tdv_queue[i] = TDV_EMPTY;
    tdv.zp = 0;
}

void tdv_write_bytes(const int (&bytes)[8], uint32_t a_register) {
    tdv.a_register = a_register;
    if (settings.tdv_output == 0 && settings.debug_level == 055) {
        std::fprintf(console_hooks.trace_stream(), "\nzp=%d", tdv.zp);
        for (int byte : bytes)
            std::fprintf(console_hooks.trace_stream(), "\n %4x", static_cast<unsigned>(byte));
    }
    append_bytes(bytes);
    if (settings.tdv_output == 0)
        run_old_interpreter();
    else
        run_new_interpreter();
}

void tdv_diag(const char *message, TdvDetail detail) {
    int saved_column = terminal.cursor_column;
    int saved_row = terminal.cursor_row;
    int row = tdv.diag_row < SCREEN_ROWS ? tdv.diag_row : SCREEN_ROWS - 1;
    std::string text;
    for (const char *p = message; *p; ++p)
        if (*p != '\n') text.push_back(*p);
    char number[64];
    std::snprintf(number, sizeof number, " (ZP=%d) ", tdv.zp);
    text += number;
    switch (detail) {
    case TdvDetail::Queue:
        std::snprintf(number, sizeof number,
                      " AREG = %d (dec)%4x(hex)- inbytebuff: ", static_cast<int>(tdv.a_register),
                      static_cast<unsigned>(tdv.a_register));
        text += number;
        for (int position = tdv.zp; entry(position) != TDV_EMPTY; ++position) {
            std::snprintf(number, sizeof number, "%x ", static_cast<unsigned>(entry(position)));
            text += number;
        }
        break;
    case TdvDetail::Parameters:
        for (int i = 0; i < tdv.csi_count; ++i) {
            std::snprintf(number, sizeof number, " %d", tdv.csi_params[i]);
            text += number;
        }
        break;
    case TdvDetail::Byte:
        std::snprintf(number, sizeof number, " %x", static_cast<unsigned>(entry(tdv.zp) & 0377));
        text += number;
        break;
    }
    console_set_cursor(0, row);
    console_set_attribute(12);
    console_put_text(text.c_str());
    console_set_attribute(10);
    console_erase_to_end_of_line();
    console_set_cursor(saved_column, saved_row);
    if (++tdv.diag_row > DIAG_LAST_ROW) tdv.diag_row = DIAG_WRAP_ROW;
}

void set_lamp(int lamp) {
    if (lamp < 0 || lamp > TDV_LAMPS) {
        console_put_text("BAD LED number");
        return;
    }
    int saved_column = terminal.cursor_column;
    int saved_row = terminal.cursor_row;
    if (lamp == 0) {
        for (int column : LAMP_COLUMNS) {
            console_set_cursor(column, TDV_LAMP_ROW);
            console_put_byte(' ');
        }
    } else {
        console_set_cursor(LAMP_COLUMNS[lamp - 1], TDV_LAMP_ROW);
        console_set_attribute(12);
        console_put_glyph(LAMP_GLYPH);
    }
    console_set_attribute(10);
    console_set_cursor(saved_column, saved_row);
}

void erase_line() {
    console_put_byte('\r');
    console_erase_to_end_of_line();
}

void clear_screen() {
    console_clear_screen();
}

void clear_screen_by_system() {
    console_clear_screen();
}

void delete_line(int count) {
    if (count > 1) tdv_diag("\nDelete >1 line ", TdvDetail::Parameters);
    console_delete_line(TDV_LAST_TEXT_ROW);
}

void insert_line(int count) {
    if (count > 1) tdv_diag("\nInsert >1 line ", TdvDetail::Parameters);
    console_insert_line(TDV_LAST_TEXT_ROW);
}

void scroll_down() {
    console_scroll_down();
}

void set_reverse(int on) {
    console_set_attribute(on ? 160 : 10);
}

int tdv_charset2_glyph(int c, bool new_interpreter) {
    if (c < 32 || c > 126) return UNKNOWN_SET2_GLYPH;
    if (new_interpreter) {
        switch (c) {
        case 111:
            return 62;
        case 112:
            return 60;
        case 113:
            return 94;
        case 114:
            return 118;
        default:
            break;
        }
    }
    int glyph = old_charset2(c);
    return glyph < 0 ? UNKNOWN_SET2_GLYPH : glyph;
}

void tdv_put_glyph(int byte) {
    // Code page 850 shows the control codes 24-27 as arrows.
    switch (byte) {
    case 24:
        console_put_unicode(0x2191);
        return;
    case 25:
        console_put_unicode(0x2193);
        return;
    case 26:
        console_put_unicode(0x2192);
        return;
    case 27:
        console_put_unicode(0x2190);
        return;
    default:
        break;
    }
    if (byte >= 128)
        console_put_glyph(byte);
    else
        console_put_byte(byte);
}
