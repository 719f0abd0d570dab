// The terminal monitor calls: byte and string input and output on the ND
// terminal, its echo and break strategies, the terminal type and modes, and
// the multi-byte input call with its keyboard translation.
#include "console/tdv2215.h"
#include "console/terminal.h"
#include "cpu/machine.h"
#include "host/host.h"
#include "monitor/monitor.h"
#include "shell/debug_aids.h"
#include "shell/settings.h"
#include "shell/shell.h"

#include <cstdio>

void stop_on_lost_input() {
    set_stdin_text();
    cpu_running = 0;
    interrupt_stopped_run =
        !interrupt_seen && host_input_ended() ? STOPPED_AT_END_OF_INPUT : STOPPED_BY_INTERRUPT;
}

namespace {

constexpr uint32_t ONE_BYTE_DELIVERED = 0100001;
constexpr uint32_t BREAK_BIT = 0100000;
constexpr int CTRL_V = 22;
constexpr int ERROR_TERMINAL_ONLY = 2;
constexpr int ERROR_NO_SUCH_LOGICAL_UNIT = 033;
constexpr int ERROR_TOO_LONG_PARAMETER = 044;
constexpr int ERROR_SUPPORTS_TERMINAL_ONLY = 0222;
constexpr uint32_t ERROR_COUNTED_STRING = 0140002;
constexpr int MESSAGE_WORDS = 256;
// Second bytes of Page Up and Page Down after the 224 prefix.
constexpr int PAGE_UP_CODE = 73;
constexpr int PAGE_DOWN_CODE = 81;

bool terminal_file() {
    return machine.T == 1;
}
bool terminal_or_command_line() {
    return machine.T == 0 || machine.T == 1;
}

int fold_upper(int byte) {
    if (settings.upper_case && byte >= 'a' && byte <= 'z') return byte - 'a' + 'A';
    return byte;
}

int set_even_parity(int value) {
    value &= 0x7f;
    return (__builtin_popcount(static_cast<unsigned>(value)) & 1) ? (value | 0x80) : value;
}

void flush_and_pause(int milliseconds) {
    std::fflush(stdout);
    diagnostic_pause(milliseconds);
}

// A byte for the console: code-page-850 glyphs (128 and above) as UTF-8.
void put_console(int byte) {
    byte &= 0xff;
    if (byte >= 128)
        console_put_glyph(byte);
    else
        console_put_byte(byte);
}

void write_terminal_byte(int byte) {
    put_console(byte);
    page_pause(byte & 0xff);
}

void write_operator_byte(int byte) {
    byte &= 0xff;
    FILE *out = shell.operator_output;
    if (!out || out == stdout) {
        put_console(byte);
    } else if (byte >= 128) {
        char encoded[4];
        int length = cp850_to_utf8(byte, encoded);
        std::fwrite(encoded, 1, static_cast<size_t>(length), out);
    } else {
        std::fputc(byte, out);
    }
    page_pause(byte);
}

void toggle_execution_trace() {
    debug_state.trace_flags ^= TRACE_EXECUTION;
    if (debug_state.trace_flags & TRACE_EXECUTION)
        console_put_text("\n ** Trace turned on **\n");
    else
        console_put_text("\n ** Trace turned off **\n");
}

// Loads a 128-flag table from the eight words at `address`: word 0 bit 15 is
// character 0, word 7 bit 0 character 127. `flag_for_one` is the flag a 1 bit
// gives.
void load_character_table(uint8_t table[128], uint32_t address, uint8_t flag_for_one, bool trace) {
    for (uint32_t w = 0; w < 8; ++w) {
        uint32_t word = read_data(address + w);
        if (trace) std::fprintf(debug_state.trace_stream, " %o", word);
        for (int bit = 0; bit < 16; ++bit) {
            bool one = (word >> (15 - bit)) & 1;
            table[w * 16 + static_cast<uint32_t>(bit)] = one ? flag_for_one : !flag_for_one;
        }
    }
}

// ---- MON 1 ----

// A key for MON 1: through the console event reader when the virtual
// keyboard is on (clicks and wheel turns are ignored there), else read
// directly. Returns -1 when no key can come.
int read_key_for_single_byte() {
    if (!settings.use_virtual_keyboard) return read_raw_key();
    for (;;) {
        int column = 0, row = 0;
        int event = console_wait_event(&column, &row, 1);
        if (event == 0) return -1;
        if (event == 1) return read_raw_key();
        if (event == 3) {
            int key = read_raw_key();
            if (key < 0) return -1;
            // The call drops whatever waits in the ring anyway; dropping it
            // first makes the entry taken the first one generated.
            clear_inbytebuff();
            if (gen_virt(3, key, 0, 0) > 0) {
                int entry = inbyte_get();
                if (entry >= 0) return entry & 0xff;
            }
            // A key without a definition arrives as typed.
            return key;
        }
    }
}

// Reads one byte from the @mode file. Returns -1 at its end, after giving
// command input back to the console and stopping the program with A = 3.
int read_mode_file_byte() {
    for (;;) {
        int c = std::fgetc(shell.mode_input);
        if (c == EOF) {
            return_input_to_console();
            machine.A = 3;
            cpu_running = 0;
            return -1;
        }
        if (c == 7) {
            toggle_execution_trace();
            continue;
        }
        if (c == '\n') continue;
        return c;
    }
}

bool echo_under_strategy_one(int byte7) {
    if (terminal.echo_armed == 1 && byte7 >= 32) return true;
    terminal.echo_armed =
        (byte7 == 10 || byte7 == 15 || byte7 == 22 || byte7 == 24 || byte7 == 26) ? 0 : 1;
    return false;
}

void echo_single_byte(int value, int echo_value) {
    int byte7 = value & 0x7f;
    bool echo = false;
    switch (terminal.echo_mode) {
    case 0:
        echo = true;
        break;
    case 1:
        echo = echo_under_strategy_one(byte7);
        break;
    case 7:
        echo = terminal.echo_table[byte7] == 1;
        break;
    default:
        break;
    }
    if (echo) write_operator_byte(echo_value);
}

// Reads a new command line for the program from the keyboard, echoing it.
// Returns false when the program was stopped meanwhile.
bool read_program_command_line() {
    char *line = shell.program_command_line;
    int length = 0;
    line[0] = '\0';
    set_stdin_binary();
    for (;;) {
        int key = read_raw_key();
        if (key < 0) {
            stop_on_lost_input();
            return false;
        }
        key = fold_upper(key);
        if (esc_stops_program(static_cast<uint32_t>(key), true)) {
            set_stdin_text();
            return false;
        }
        if (!cpu_running) {
            set_stdin_text();
            return false;
        }
        if (key == 7) {
            debug_state.trace_flags |= TRACE_EXECUTION;
            continue;
        }
        if (key == 10) key = 13;
        int byte7 = key & 0x7f;
        if (byte7 > 31) {
            if (length < COMMAND_LINE_SIZE - 2) {
                line[length++] = static_cast<char>(byte7);
                line[length] = '\0';
                write_terminal_byte(byte7);
            }
            continue;
        }
        if (byte7 == 13) {
            console_put_text("\r\n");
            line[length++] = '\r';
            line[length] = '\0';
            shell.program_command_line_position = 0;
            set_stdin_text();
            return true;
        }
        if (byte7 == 1 || byte7 == 8 || byte7 == 17) {
            if (length == 0) {
                console_beep();
                continue;
            }
            do {
                line[--length] = '\0';
                console_put_text("\b \b");
            } while (byte7 == 17 && length > 0);
        }
    }
}

void command_line_input_byte() {
    int position = shell.program_command_line_position;
    if (position < 0 || position >= COMMAND_LINE_SIZE ||
        shell.program_command_line[position] == 0) {
        if (!read_program_command_line()) return;
        position = 0;
    }
    int c = static_cast<unsigned char>(shell.program_command_line[position]);
    shell.program_command_line_position = position + 1;
    if (c >= 'a' && c <= 'z') c = c - 'a' + 'A';
    machine.A = static_cast<uint32_t>(set_even_parity(c));
    mon_skip_return();
}

// ---- MON 310 ----

// Moves up to eight waiting bytes into A, D, L and X (two to a register, the
// first in the high half). Returns the number moved; *ended_on_break tells
// whether the last one moved is a break character.
int fill_registers(bool *ended_on_break) {
    uint32_t *registers[4] = {&machine.A, &machine.D, &machine.L, &machine.X};
    machine.T = 0;
    *ended_on_break = false;
    int moved = 0;
    for (int k = 1; k <= 8; ++k) {
        int entry = inbyte_get();
        if (entry < 0) break;
        uint32_t byte = static_cast<uint32_t>(entry) & 0xff;
        uint32_t *reg = registers[(k - 1) / 2];
        if (k & 1)
            *reg = byte << 8;
        else
            *reg = (*reg & 0177400) | byte;
        machine.T = static_cast<uint32_t>(k);
        moved = k;
        if (static_cast<uint32_t>(entry) & VIRTUAL_FLAG)
            write_terminal_byte(static_cast<int>(byte));
        if (is_break_byte(static_cast<int>(byte))) {
            *ended_on_break = true;
            break;
        }
    }
    return moved;
}

void deliver_byte_in_left_half(int byte) {
    machine.A = (static_cast<uint32_t>(byte) & 0xff) << 8;
    machine.T = ONE_BYTE_DELIVERED;
    mon_skip_return();
}

bool deliver_pending_key() {
    if (terminal.pending_key == -1) return false;
    int key = terminal.pending_key;
    terminal.pending_key = -1;
    deliver_byte_in_left_half(key);
    return true;
}

void report_null_byte() {
    console_put_text("\nMON310: <null-byte>\n");
    flush_and_pause(2000);
}

// Alt with Up (152) or Down (160): 31 now and the cursor key in the next
// call, as Page Up and Page Down.
void deliver_alt_arrow(int code) {
    terminal.pending_key = code == 152 ? 28 : 11;
    set_stdin_text();
    deliver_byte_in_left_half(31);
}

void unbuffered_input() {
    if (deliver_pending_key()) return;
    set_stdin_binary();
    // Keys are read as read_raw_key gives them (the 0 prefix of a function
    // key skipped), except that Alt with Up or Down arrives as the 0 prefix
    // and 152 or 160, which act as Page Up and Page Down.
    int key = read_key_byte();
    while (key == 0) {
        key = read_key_byte();
        if (key == 152 || key == 160) {
            deliver_alt_arrow(key);
            return;
        }
    }
    if (key < 0) {
        stop_on_lost_input();
        return;
    }
    int value = fold_upper(key);
    if (settings.norwegian_charset) console_to_nd(&value);
    if (value == 224) {
        int second = read_raw_key();
        if (second < 0) {
            stop_on_lost_input();
            return;
        }
        value = translate_extended_key(second);
        if (second == PAGE_UP_CODE || second == PAGE_DOWN_CODE) {
            // Page Up or Page Down: 31 now, the cursor key in the next call.
            set_stdin_text();
            deliver_byte_in_left_half(31);
            return;
        }
    }
    if (value == 0) {
        int alt = read_raw_key();
        if (alt < 0) {
            stop_on_lost_input();
            return;
        }
        if (alt == 152 || alt == 160) {
            deliver_alt_arrow(alt);
            return;
        }
        console_put_text("\nUnknown Alt-key pressed!");
    }
    int echo_value = value;
    nd_to_console(&echo_value);
    if (terminal.echo_mode == 0) {
        put_console(echo_value >= 128 ? echo_value : echo_value & 0x7f);
    } else if (terminal.echo_mode == 7 && echo_value >= 32 && echo_value <= 127) {
        put_console(echo_value);
        if (settings.terminal_type == 6)
            console_put_byte('\b');
        else if (settings.terminal_type == 52)
            move_cursor(8);
    }
    if (value == 0) report_null_byte();
    set_stdin_text();
    if (esc_stops_program(static_cast<uint32_t>(value), false)) return;
    deliver_byte_in_left_half(value);
}

void finish_delivery(bool wheel) {
    bool ended_on_break = false;
    int moved = fill_registers(&ended_on_break);
    if (moved < 8 || ended_on_break || wheel) machine.T |= BREAK_BIT;
    if (moved == 0) std::printf("\nMON310 error, nbuff><nbytes(%d)\n", terminal.nbuff);
    set_stdin_text();
    mon_skip_return();
}

// One key for the buffered call, with the virtual keyboard's events.
// Returns the key, -1 when no key can come, or -2 when the event generated
// bytes that are to be delivered at once (*wheel tells a wheel turn).
int read_key_for_buffered_input(bool *wheel) {
    if (!settings.use_virtual_keyboard) return read_raw_key();
    for (;;) {
        int column = 0, row = 0;
        int event = console_wait_event(&column, &row, 1);
        switch (event) {
        case 0:
            return -1;
        case 1:
            return read_raw_key();
        case 2:
            if (gen_virt(2, 0, column, row) == 0) return -2;
            break;
        case 4:
        case 5:
            gen_virt(event, 0, 0, 0);
            *wheel = true;
            return -2;
        case 3: {
            int key = read_raw_key();
            if (key < 0) return -1;
            // A defined key's bytes are delivered at once; a key without a
            // definition arrives as typed.
            if (gen_virt(3, key, 0, 0) > 0) return -2;
            return key;
        }
        default:
            break;
        }
    }
}

void buffered_input() {
    if (deliver_pending_key()) return;
    set_stdin_binary();
    if (terminal.nbuff != 0) {
        bool ended_on_break = false;
        if (fill_registers(&ended_on_break) == 0) std::printf("\nMON310 error, nbuff><nbytes\n");
        machine.T |= BREAK_BIT;
        set_stdin_text();
        mon_skip_return();
        return;
    }
    for (;;) {
        bool wheel = false;
        int key = read_key_for_buffered_input(&wheel);
        if (key == -2) {
            finish_delivery(wheel);
            return;
        }
        if (key < 0) {
            stop_on_lost_input();
            return;
        }
        if (settings.norwegian_charset) console_to_nd(&key);
        key = fold_upper(key);
        if (key == 148) key = 8;
        if (key == 224) {
            int second = read_raw_key();
            if (second < 0) {
                stop_on_lost_input();
                return;
            }
            key = translate_extended_key(second);
        }
        inbyte_put(static_cast<uint32_t>(key));
        echo_byte(key);
        if (key == 0) report_null_byte();
        if (esc_stops_program(static_cast<uint32_t>(key), false)) {
            set_stdin_text();
            return;
        }
        if (is_break_byte(key)) break;
    }
    finish_delivery(false);
}

} // namespace

// ---- calls ----

void mon_terminal_input_byte() {
    if (machine.T == 0) {
        command_line_input_byte();
        return;
    }
    int byte;
    if (shell.mode_input) {
        byte = read_mode_file_byte();
        if (byte < 0) return;
    } else {
        set_stdin_binary();
        byte = read_key_for_single_byte();
        set_stdin_text();
        if (byte < 0) {
            stop_on_lost_input();
            return;
        }
        byte = fold_upper(byte);
        machine.A = static_cast<uint32_t>(byte);
        if (terminal.previous_input_char != CTRL_V &&
            esc_stops_program(static_cast<uint32_t>(byte), true))
            return;
        if (byte == 7) {
            // The call is made again after the trace switch.
            toggle_execution_trace();
            return;
        }
    }
    terminal.previous_input_char = byte & 0x7f;
    if (byte == 10) byte = 0215;
    if (settings.norwegian_charset) console_to_nd(&byte);
    int echo_value = byte & 0x7f;
    if (settings.norwegian_charset) nd_to_console(&echo_value);
    machine.A = static_cast<uint32_t>(set_even_parity(byte));
    if (!cpu_running) return;
    terminal.last_typed_byte = static_cast<int>(machine.A);
    terminal.nbuff = 0;
    echo_single_byte(static_cast<int>(machine.A), echo_value);
    mon_skip_return();
}

void mon_terminal_output_byte() {
    int byte = static_cast<int>(machine.A & 0x7f);
    mon_skip_return();
    if (terminal.cursor_addressing_state == 1) {
        terminal.cursor_addressing_row = byte;
        terminal.cursor_addressing_state = 2;
        return;
    }
    if (terminal.cursor_addressing_state == 2) {
        int row = terminal.cursor_addressing_row;
        int column = byte;
        tdv.cursor_address_half_received = 0;
        if (settings.nct_mode) {
            row -= 64;
            column -= 64;
        }
        console_set_cursor(column, row);
        terminal.cursor_addressing_state = 0;
        return;
    }
    if (byte == 8 || byte == 11 || byte == 24 || byte == 28) {
        move_cursor(byte);
        return;
    }
    if (byte == 7) {
        console_beep();
        return;
    }
    if (settings.terminal_type == 52) {
        switch (byte) {
        case 5:
            set_lamp(1);
            return;
        case 6:
            set_lamp(2);
            return;
        case 21:
            set_lamp(3);
            return;
        case 22:
            set_lamp(0);
            return;
        case 4:
            erase_line();
            return;
        case 23:
            scroll_down();
            return;
        case 25:
            clear_screen();
            return;
        case 14:
            set_highlight(1);
            return;
        case 16:
            terminal.cursor_addressing_state = 1;
            return;
        default:
            break;
        }
    }
    if (settings.terminal_type <= 2 && byte == 23) return;
    if (settings.norwegian_charset) nd_to_console(&byte);
    write_operator_byte(byte);
}

void mon_set_echo_mode() {
    uint32_t a = machine.A & WORD_MASK;
    bool trace = settings.debug_level == 0101;
    if (trace) std::fprintf(debug_state.trace_stream, "\nMON 3 echo mode %o", a);
    if (a == 0 || a == 1 || (a & 0100000)) {
        terminal.echo_mode = static_cast<int16_t>(a);
    } else if (a == 7) {
        terminal.echo_mode = 7;
        if (trace) std::fprintf(debug_state.trace_stream, "\necho bits ");
        load_character_table(terminal.echo_table, machine.X, 0, trace);
    }
    mon_plain_return();
}

void mon_set_break_mode() {
    uint32_t a = machine.A & WORD_MASK;
    int count = static_cast<int>(machine.D & WORD_MASK);
    if (settings.debug_level == 0101)
        std::fprintf(debug_state.trace_stream, "\nMON 4 break mode %o, DREG =%o", a,
                     machine.D & WORD_MASK);
    if (a == 0 || a == 1) {
        terminal.break_mode = static_cast<int>(a);
    } else if (a & 0100000) {
        terminal.break_mode = static_cast<int16_t>(a);
        terminal.break_count = count;
        console_put_text("\nMON 4 never break not coded");
        flush_and_pause(5000);
    } else if (a == 2) {
        terminal.break_mode = 2;
        terminal.break_count = count;
    } else if (a == 7) {
        terminal.break_mode = 7;
        load_character_table(terminal.break_table, machine.X, 1, false);
        for (int i = 0; i < 128; ++i)
            terminal.saved_break_table[i] = terminal.break_table[i];
        terminal.break_count = count;
    } else if (a == 8) {
        for (int i = 0; i < 128; ++i)
            terminal.break_table[i] = terminal.saved_break_table[i];
        terminal.break_count = count;
    } else {
        terminal.break_count = count;
    }
    mon_plain_return();
}

void mon_clear_input_buffer() {
    if (!terminal_file()) {
        mon_plain_return();
        return;
    }
    clear_inbytebuff();
    mon_skip_return();
}

void mon_get_terminal_type() {
    if (!terminal_or_command_line()) {
        mon_error_return(ERROR_TERMINAL_ONLY);
        return;
    }
    machine.A = settings.terminal_type & WORD_MASK;
    mon_skip_return();
}

void mon_set_terminal_type() {
    if (!terminal_or_command_line()) {
        mon_error_return(ERROR_TERMINAL_ONLY);
        return;
    }
    settings.terminal_type = machine.A & 0377;
    tdv_reset_queue();
    mon_skip_return();
}

void mon_input_byte_left() {
    if (!terminal_file()) {
        mon_error_return(ERROR_TERMINAL_ONLY);
        return;
    }
    set_stdin_binary();
    int key = read_raw_key();
    set_stdin_text();
    if (key < 0) {
        stop_on_lost_input();
        return;
    }
    key = fold_upper(key);
    machine.A = static_cast<uint32_t>(key);
    if (esc_stops_program(static_cast<uint32_t>(key), false)) return;
    if (settings.norwegian_charset) console_to_nd(&key);
    terminal.last_typed_byte = key;
    echo_byte(key);
    deliver_byte_in_left_half(key);
}

void mon_output_bytes_until_zero() {
    if (!terminal_file()) {
        std::printf("\nMON 22: Supports terminal only!\n");
        mon_error_return(ERROR_TERMINAL_ONLY);
        return;
    }
    if (settings.terminal_type == 52) {
        tdv_write();
        return;
    }
    mon_skip_return();
    const uint32_t words[4] = {machine.A, machine.D, machine.L, machine.X};
    for (int i = 0; i < 8; ++i) {
        int byte = static_cast<int>((i & 1 ? words[i / 2] : words[i / 2] >> 8) & 0177);
        if (byte == 0) return;
        if (settings.norwegian_charset) nd_to_console(&byte);
        if (byte == 7)
            console_beep();
        else
            write_terminal_byte(byte);
    }
}

void mon_incomplete_terminal_call() {
    if (terminal_file())
        console_put_text("\n MON 23 not complete!!\n");
    else
        machine.A = ERROR_TERMINAL_ONLY;
    mon_plain_return();
}

void mon_output_eight_bytes() {
    if (!terminal_file()) {
        std::printf("\nMON 24: Supports terminal only!\n");
        mon_plain_return();
        return;
    }
    mon_skip_return();
    const uint32_t words[4] = {machine.A, machine.D, machine.L, machine.X};
    for (int i = 0; i < 8; ++i) {
        int byte = static_cast<int>((i & 1 ? words[i / 2] : words[i / 2] >> 8) & 0377);
        if (settings.norwegian_charset) nd_to_console(&byte);
        write_terminal_byte(byte);
    }
}

void mon_write_message() {
    uint32_t address = machine.X;
    for (int w = 0; w < MESSAGE_WORDS; ++w) {
        uint32_t word = read_data(address + static_cast<uint32_t>(w));
        for (int half = 0; half < 2; ++half) {
            int c = static_cast<int>(half == 0 ? (word >> 8) & 0377 : word & 0377);
            if (c == '\'') {
                mon_plain_return();
                return;
            }
            if (c == '$') {
                console_put_byte('\n');
                console_put_byte('\r');
                page_pause('\n');
                continue;
            }
            if (settings.norwegian_charset) nd_to_console(&c);
            write_terminal_byte(c);
        }
    }
    mon_plain_return();
}

void mon_print_number() {
    uint32_t a = machine.A & WORD_MASK;
    char text[24];
    text[0] = '\0';
    switch (machine.T & WORD_MASK) {
    case 2:
        for (int bit = 0; bit < 16; ++bit)
            text[bit] = ((a >> (15 - bit)) & 1) ? '1' : '0';
        text[16] = '\0';
        break;
    case 8:
        std::snprintf(text, sizeof text, "%6o", a);
        break;
    case 10:
        std::snprintf(text, sizeof text, "%6d", static_cast<int>(static_cast<int16_t>(a)));
        break;
    case 16:
        std::snprintf(text, sizeof text, "%4x", a);
        break;
    default:
        break;
    }
    console_put_text(text);
    mon_plain_return();
}

void mon_set_terminal_modes() {
    if (!terminal_file()) {
        mon_error_return(ERROR_NO_SUCH_LOGICAL_UNIT);
        return;
    }
    uint32_t a = machine.A & WORD_MASK;
    settings.upper_case = a & 1;
    settings.delay_after_cr = (a >> 1) & 1;
    settings.stop_on_full_page = (a >> 2) & 1;
    settings.logout_on_missing_carrier = (a >> 3) & 1;
    terminal.terminal_mode = static_cast<int>(a);
    terminal.line_count = 0;
    machine.A = 0;
    mon_skip_return();
}

void mon_input_byte_no_echo() {
    if (!terminal_file()) {
        std::printf("MON 63 supports terminal input only\n");
        mon_error_return(ERROR_TERMINAL_ONLY);
        return;
    }
    set_stdin_binary();
    int key = read_raw_key();
    set_stdin_text();
    if (key < 0) {
        stop_on_lost_input();
        return;
    }
    machine.A = static_cast<uint32_t>(key);
    terminal.last_typed_byte = key;
    if (esc_stops_program(static_cast<uint32_t>(key), false)) return;
    deliver_byte_in_left_half(key);
}

void mon_key_waiting() {
    if (!terminal_file()) {
        mon_error_return(ERROR_TERMINAL_ONLY);
        return;
    }
    if (settings.debug_level == 033) std::printf("\nNBUFF: %d", terminal.nbuff);
    int column = 0, row = 0;
    int event = console_wait_event(&column, &row, 0);
    // No key can come any more: a program polling for one would poll for ever.
    if (event == 0 && host_input_ended()) {
        stop_on_lost_input();
        return;
    }
    // A key typed with Alt is a key waiting as well.
    machine.A = (event == 1 || event == 3) ? 1 : 0;
    mon_skip_return();
}

void mon_is_terminal() {
    if (!terminal_file()) {
        mon_error_return(ERROR_TERMINAL_ONLY);
        return;
    }
    machine.A = 1;
    mon_skip_return();
}

void mon_esc_off() {
    if (terminal_or_command_line())
        terminal.esc_enabled = 0;
    else
        std::printf("\nMON 71 (ESC-mode) available only on terminal (TREG = %o)\n",
                    machine.T & WORD_MASK);
    mon_plain_return();
}

void mon_esc_on() {
    if (terminal_or_command_line())
        terminal.esc_enabled = 1;
    else
        std::printf("\nMON 72 (ESC-mode) available only on terminal (TREG = %o)\n",
                    machine.T & WORD_MASK);
    mon_plain_return();
}

void mon_input_string() {
    uint32_t list = machine.A;
    uint32_t file = read_data(read_data(list));
    uint32_t count = read_data(read_data(list + 1));
    uint32_t buffer = read_data(list + 2);
    uint32_t terminator = read_data(read_data(list + 3));
    if (file != 1) {
        std::printf("\nMON 161 supports terminal only");
        mon_error_return(ERROR_SUPPORTS_TERMINAL_ONLY);
        return;
    }
    if (count == 0) {
        mon_error_return(0);
        return;
    }
    if (count & 0140000) {
        mon_error_return(ERROR_TOO_LONG_PARAMETER);
        return;
    }
    set_stdin_binary();
    for (uint32_t i = 0;; ++i) {
        int key = read_raw_key();
        if (key < 0) {
            stop_on_lost_input();
            return;
        }
        key = fold_upper(key);
        if (settings.norwegian_charset) console_to_nd(&key);
        echo_byte(key);
        terminal.last_typed_byte = key;
        if (esc_stops_program(static_cast<uint32_t>(key), false)) {
            set_stdin_text();
            return;
        }
        write_data_byte(buffer, i, static_cast<uint32_t>(key));
        if (i + 1 == count) {
            machine.A = count;
            break;
        }
        if (static_cast<uint32_t>(key) == terminator) {
            machine.A = count | BREAK_BIT;
            break;
        }
    }
    set_stdin_text();
    mon_plain_return();
}

void mon_output_counted_string() {
    uint32_t list = machine.A;
    uint32_t file = read_data(read_data(list));
    uint32_t buffer = read_data(list + 1);
    uint32_t count = read_data(read_data(list + 2));
    if (file != 1) {
        mon_error_return(ERROR_COUNTED_STRING);
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        int byte = static_cast<int>(read_data_byte(buffer, i));
        if (settings.norwegian_charset) nd_to_console(&byte);
        write_terminal_byte(byte);
    }
    machine.A = 0;
    mon_skip_return();
}

void mon_input_up_to_eight_bytes() {
    if (settings.mon310_buffered == 1)
        buffered_input();
    else
        unbuffered_input();
}
