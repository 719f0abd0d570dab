// Monitor calls that are neither terminal nor file calls: time and date,
// holds, in-memory byte buffers, the alternative page table, users, fixed
// system-information blocks, device attributes, segments, and the calls that
// answer with fixed values so that SINTRAN programs run on.
#include "console/terminal.h"
#include "cpu/machine.h"
#include "cpu/run_outcome.h"
#include "filesystem/open_files.h"
#include "filesystem/users.h"
#include "host/host.h"
#include "images/prog_image.h"
#include "images/segments.h"
#include "monitor/monitor.h"
#include "monitor/nd_text.h"
#include "shell/settings.h"
#include "shell/shell.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>

static uint32_t ssi_code;

// A parameter given by reference: the list word holds the value's address.
static uint32_t by_reference(uint32_t list, uint32_t word) {
    return read_data(read_data(list + word));
}

static void put_double_word(uint32_t value) {
    machine.A = (value >> 16) & WORD_MASK;
    machine.D = value & WORD_MASK;
}

void mon_time_since_start() {
    int64_t seconds = host_time_seconds() - shell.start_time;
    put_double_word(static_cast<uint32_t>(seconds * 20));
    mon_plain_return();
}

void mon_time_since_run_start() {
    int64_t elapsed = (host_time_milliseconds() - shell.run_start_milliseconds) / 50;
    put_double_word(static_cast<uint32_t>(elapsed));
    mon_plain_return();
}

void mon_date_and_time() {
    uint32_t result = read_normal(machine.A);
    int64_t now = host_time_milliseconds();
    time_t seconds = static_cast<time_t>(now / 1000);
    struct tm local {};
    if (const struct tm *converted = std::localtime(&seconds)) local = *converted;
    write_normal(result, static_cast<uint32_t>((now % 1000) / 20));
    write_normal(result + 1, static_cast<uint32_t>(local.tm_sec));
    write_normal(result + 2, static_cast<uint32_t>(local.tm_min));
    write_normal(result + 3, static_cast<uint32_t>(local.tm_hour));
    write_normal(result + 4, static_cast<uint32_t>(local.tm_mday));
    write_normal(result + 5, static_cast<uint32_t>(local.tm_mon + 1));
    write_normal(result + 6, static_cast<uint32_t>(local.tm_year + 1900));
    mon_plain_return();
}

// MON 104 and 267: count and unit by reference.
static void hold_program() {
    uint32_t count = by_reference(machine.A, 0);
    uint32_t unit = by_reference(machine.A, 1);
    int64_t milliseconds = 0;
    if (count != 0) {
        switch (unit) {
        case 1:
            milliseconds = int64_t{count} * 20;
            break;
        case 2:
            milliseconds = int64_t{count} * 1000;
            break;
        case 3:
            milliseconds = int64_t{count} * 60000;
            break;
        case 4:
            milliseconds = int64_t{count} * 3600000;
            break;
        default:
            break;
        }
    }
    if (settings.debug_level == 1)
        std::printf("\nHold %i %i = %i milsec @%o %o\n", static_cast<int>(count),
                    static_cast<int>(unit), static_cast<int>(milliseconds), machine.P, machine.A);
    std::fflush(stdout);
    // Sleep in slices so that ^C ends the hold at once.
    while (milliseconds > 0 && !interrupt_seen) {
        int slice = milliseconds > 100 ? 100 : static_cast<int>(milliseconds);
        host_sleep_ms(slice);
        milliseconds -= slice;
    }
}

void mon_hold() {
    hold_program();
    mon_plain_return();
}

void mon_hold_second_form() {
    hold_program();
    machine.A = 0;
    mon_plain_return();
}

// In-memory byte buffers: a five-word header at X in the normal page table.
void mon_init_byte_buffer() {
    uint32_t start = (machine.T - 1) & WORD_MASK;
    write_normal(machine.X, start);
    write_normal(machine.X + 1, start);
    write_normal(machine.X + 2, start);
    write_normal(machine.X + 3, start + (((machine.D + 1) / 2) & 077777));
    write_normal(machine.X + 4, 017);
    mon_plain_return();
}

void mon_put_buffer_byte() {
    uint32_t pointer = read_normal(machine.X + 2);
    uint32_t byte = machine.A & 0377;
    if (read_normal(machine.X + 4) == 017) {
        uint32_t word = read_normal(pointer + 1);
        write_normal(pointer + 1, (word & 0377) | (byte << 8));
        write_normal(machine.X + 4, 013);
        write_normal(machine.X + 2, pointer + 1);
    } else {
        uint32_t word = read_normal(pointer);
        write_normal(pointer, (word & 0177400) | byte);
        write_normal(machine.X + 4, 017);
    }
    mon_skip_return();
}

void mon_init_byte_buffer_second_form() {
    uint32_t start = (machine.T - 1) & WORD_MASK;
    write_normal(machine.X, start);
    write_normal(machine.X + 1, start);
    write_normal(machine.X + 2, start + (((machine.D + 1) / 2) & 077777));
    write_normal(machine.X + 4, (machine.D & 1) ? 3 : 021);
    mon_plain_return();
}

void mon_set_command_line() {
    size_t length = 0;
    for (uint32_t i = 0; i < 512; ++i) {
        char c = static_cast<char>(read_data_byte(machine.A, i));
        if (c == '\'') {
            shell.program_command_line[length++] = '\r';
            break;
        }
        shell.program_command_line[length++] = c;
    }
    shell.program_command_line[length] = '\0';
    shell.program_command_line_position = 0;
    mon_plain_return();
}

void mon_last_typed_byte() {
    uint32_t address = read_data(machine.A);
    machine.A = read_data(address) == 1
                    ? static_cast<uint32_t>(terminal.last_typed_byte) & WORD_MASK
                    : WORD_MASK;
    mon_plain_return();
}

void mon_realtime_description() {
    uint32_t check = read_data(read_data(machine.A));
    if (check != 0) {
        machine.A = WORD_MASK;
        std::printf("\n MON 27: Illegal RT-description: %o\n", check);
    } else {
        uint32_t description = read_data(machine.A + 1);
        write_data(description + 20, static_cast<uint32_t>(image_state.current_segment));
        machine.A = 0;
    }
    mon_plain_return();
}

// Leaves P on the call as the original does, but takes the error return so
// that the program is not stuck executing the same call for ever.
void mon_answer_23456() {
    machine.A = 023456;
    mon_plain_return();
}

void mon_alternative_page_table_on() {
    uint32_t table = read_normal(read_normal(machine.A));
    if (settings.debug_level == 1)
        std::printf("\n*** MON alternative page table %i requested  ***\n",
                    static_cast<int>(table));
    uint32_t bank = 2;
    switch (table) {
    case 0:
        bank = 1;
        break;
    case 1:
        bank = 0;
        break;
    case 2:
        bank = 2;
        break;
    case 3:
        if (settings.debug_level == 1)
            std::printf("*** Requesting page table 3, forcing it to 2 ***\n");
        break;
    default:
        std::printf("\n\nRequesting alternative page table >3, forced to use 2");
        break;
    }
    machine.STS |= STS_PTM;
    machine.data_bank_mask = ~0u;
    machine.apt_offset = bank * BANK_WORDS;
    mon_plain_return();
}

void mon_normal_page_table() {
    machine.apt_offset = 0;
    mon_plain_return();
}

static uint32_t lookup_error_code(int result) {
    switch (result) {
    case USER_NAME_TOO_LONG:
        return ERROR_TOO_LONG_PARAMETER;
    case USER_NAME_UNKNOWN:
        return ERROR_NO_SUCH_USER;
    default:
        return ERROR_AMBIGUOUS_USER;
    }
}

static std::string upper_cased(std::string text) {
    for (auto &c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

void mon_user_information() {
    std::string word = upper_cased(read_nd_text(machine.X, MAX_USER_NAME, true));
    std::string full_name;
    int index = find_user(word, &full_name);
    if (index < 0) {
        mon_error_return(lookup_error_code(index));
        return;
    }
    if (index != user_table.current_user_index && user_table.current_user_index != 0) {
        mon_error_return(ERROR_NOT_AUTHORIZED);
        return;
    }
    uint32_t entry = machine.A;
    static const uint32_t fixed[][2] = {{0, 0100401}, {9, 01053},   {10, 0111016}, {11, 0175273},
                                        {12, 011544}, {13, 037330}, {14, 0},       {15, 01750},
                                        {16, 0},      {17, 0620},   {19, 0},       {20, 01411}};
    for (const auto &word_value : fixed)
        write_data(entry + word_value[0], word_value[1]);
    write_nd_text(entry + 1, full_name, 16, '\'');
    write_data(entry + 18, static_cast<uint32_t>(index));
    for (uint32_t i = 24; i < 32; ++i)
        write_data(entry + i, 0);
    mon_skip_return();
}

void mon_answer_zero() {
    machine.A = 0;
    mon_plain_return();
}

void mon_exit_segment() {
    print_stop_message("\nMON 133, exit from segment %o with LREG=%o, terminate program", machine.T,
                       machine.L);
    cpu_running = 0;
}

void mon_terminal_and_user_identification() {
    machine.T = 1;
    machine.D = 1;
    machine.A = shell.mode_input ? 2 : 0;
    machine.X = static_cast<uint32_t>(user_table.current_user_index + 0400) & WORD_MASK;
    mon_plain_return();
}

void mon_device_function() {
    uint32_t list = machine.A;
    uint32_t function = by_reference(list, 0);
    uint32_t buffer = read_data(list + 1);
    uint32_t file_number = by_reference(list, 2);
    uint32_t max_words = by_reference(list, 3);
    uint32_t result_address = read_data(list + 4);
    if (settings.debug_level == 1) {
        std::printf("\nMon 144 under dev.,Not cons. inside memory limits\n");
        std::printf("\nMON 144: func=%o, bufad=%o, dev=%o, para1(max words)=%o, PREG= %o\n",
                    function, buffer, file_number, max_words, machine.P);
    }
    if (function > 1) {
        std::printf("\nMON 144: Function %i not supported\n", static_cast<int>(function));
        mon_error_return(0201);
        return;
    }
    int position = find_open_file(static_cast<int32_t>(file_number));
    if (position < 0) {
        std::printf("\nMON 144: Unsupported device: %o\n", file_number);
        mon_error_return(0132);
        return;
    }
    if (function == 1) {
        std::printf("\nMON 144: Function 1 not coded\n");
        mon_error_return(0201);
        return;
    }
    OpenFileEntry &entry = open_file_table.entries[position];
    size_t wanted = 2 * static_cast<size_t>(max_words);
    auto *bytes = static_cast<uint8_t *>(std::malloc(wanted ? wanted : 1));
    if (!bytes) {
        mon_error_return(0367);
        return;
    }
    size_t got = entry.stream && wanted ? std::fread(bytes, 1, wanted, entry.stream) : 0;
    // The words go into memory from the buffer address on, wrapping within
    // the page table.
    for (size_t i = 0; i < got; ++i)
        write_data_byte(buffer, static_cast<uint32_t>(i), bytes[i]);
    std::free(bytes);
    uint32_t words = static_cast<uint32_t>((got + 1) / 2);
    int32_t block_words = entry.block_size / 2;
    if (block_words > 0) entry.buffered_block += static_cast<int32_t>(words) / block_words;
    write_data(result_address, words);
    machine.A = 0;
    if (settings.debug_level == 1) std::printf("\nRead %o bytes\n", static_cast<unsigned>(got));
    mon_plain_return();
}

void mon_save_segment() {
    std::printf("\nMON 164, save segment %o (nothing done)", by_reference(machine.A, 0));
    mon_plain_return();
}

void mon_message_system() {
    std::printf("\nMON 200 XMSG not coded, PREG = %o\n", machine.P);
    mon_plain_return();
}

void mon_current_user_index() {
    machine.T = static_cast<uint32_t>(user_table.current_user_index + 0400) & WORD_MASK;
    mon_skip_return();
}

void mon_user_name_for_index() {
    int index = static_cast<int>(machine.X & 0377);
    if (settings.debug_level == 4) std::printf("\n\nMON 214, user index %d\n", index);
    if (index >= user_table.count) {
        if (settings.debug_level == 4) std::printf("\n\nMON 214, bad user index %d\n", index);
        mon_error_return(0250);
        return;
    }
    const std::string &name = user_table.names[index];
    if (settings.debug_level == 4)
        std::printf("\n\nMON 214: Return user name %s for user index %d\n", name.c_str(), index);
    write_nd_text(machine.A, name, 16, '\'');
    mon_skip_return();
}

void mon_skip_only() {
    mon_skip_return();
}

void mon_change_user() {
    std::string name = read_nd_text(machine.X, MAX_USER_NAME, false);
    uint32_t error = 0;
    int result = change_user(name, &error);
    if (result < 0) {
        mon_error_return(error);
        return;
    }
    machine.A = static_cast<uint32_t>(result);
    mon_skip_return();
}

void mon_restore_user() {
    restore_user();
    mon_skip_return();
}

void mon_system_information_block() {
    uint32_t block = machine.X;
    static const uint32_t fixed[][2] = {{1, 011100}, {2, 0},      {3, 1},      {4, 0},
                                        {5, 050101}, {6, 041513}, {7, 026517}, {8, 047105},
                                        {9, 023400}, {21, 03720}};
    write_data(block, 0140000 + static_cast<uint32_t>(open_file_table.open_count));
    for (const auto &word_value : fixed)
        write_data(block + word_value[0], word_value[1]);
    for (uint32_t i = 14; i <= 20; ++i)
        write_data(block + i, 0);
    mon_skip_return();
}

void mon_user_index_for_name() {
    std::string name = read_nd_text(machine.X, MAX_USER_NAME, true);
    if (settings.debug_level == 4) std::printf("\nMON 250: User name: %s", name.c_str());
    std::string full_name;
    int index = find_user(name, &full_name);
    if (index < 0) {
        mon_error_return(lookup_error_code(index));
        return;
    }
    machine.X = static_cast<uint32_t>(find_user_exact(full_name));
    machine.T = 1;
    if (settings.debug_level == 4)
        std::printf("\nMON 250 User index for user %s is %d", full_name.c_str(),
                    static_cast<int>(machine.X));
    mon_skip_return();
}

void mon_answer_77() {
    mon_error_return(077);
}

void mon_copy_system_information() {
    if (machine.A != 0) {
        mon_error_return(0174);
        return;
    }
    static const uint32_t block[12] = {040171, 02412, 014, 0,   02514, 0,
                                       05100,  042,   011, 020, 014,   03704};
    for (uint32_t i = 0; i < 12; ++i)
        write_data(machine.X + i, block[i]);
    mon_skip_return();
}

void mon_device_attributes() {
    if (settings.debug_level == 1)
        std::printf("\nGet device type and attributes for device=%o , ioflag=%o at %o\n", machine.T,
                    machine.A, machine.P);
    if (machine.T == 0 || machine.T == 1) {
        machine.T = 1;
        machine.A = 0;
        machine.D = 0101;
        mon_skip_return();
        return;
    }
    int position = find_open_file(static_cast<int32_t>(machine.T));
    if (position < 0) {
        mon_error_return(033);
        return;
    }
    machine.T = 7;
    switch (open_file_table.entries[position].access_code) {
    case 0:
    case 4:
        if (machine.A != 0) {
            mon_skip_return();
        } else {
            machine.D = 0101;
            machine.P = (machine.P + 3) & WORD_MASK;
        }
        return;
    case 1:
    case 5:
        if (machine.A == 0) machine.A = 033;
        mon_skip_return();
        return;
    default:
        if (machine.A == 0)
            machine.D = 0;
        else
            machine.A = 033;
        mon_skip_return();
        return;
    }
}

void mon_set_ssi_code() {
    uint32_t block = machine.X;
    if (settings.debug_level == 2) {
        std::printf("\n");
        for (uint32_t i = 0; i < 24; ++i)
            std::printf("%o: %o\n", (block + i) & WORD_MASK, read_data(block + i));
    }
    switch (machine.A) {
    case 7:
        write_data(block, 012);
        write_data(block + 1, 3);
        write_data(block + 2, 0);
        mon_skip_return();
        return;
    case 1:
        write_data(block + 4, 022);
        write_data(block + 5, 033);
        mon_skip_return();
        return;
    case 2:
        ssi_code = read_data(block + 4);
        if (settings.debug_level == 2) std::printf("\nSet SSI-code %o(oct)\n", ssi_code);
        mon_skip_return();
        return;
    default:
        std::printf("\nMON321 Unknown code: %i (dec)\n", static_cast<int>(machine.A));
        mon_plain_return();
        return;
    }
}

void mon_segment_by_name() {
    std::string name = read_nd_text(read_data(machine.A), 39, true);
    int number = find_segment_by_name(name);
    machine.A = static_cast<uint32_t>(number) & WORD_MASK;
    if (settings.debug_level == 0115)
        std::printf("\n\n Segname %s Segno %o", name.c_str(), machine.A);
    mon_skip_return();
}

void mon_switch_segment() {
    uint32_t segment = by_reference(machine.A, 0);
    if (settings.debug_level == 077)
        std::printf("\nMON 323: Switch to proseg no = %o @%o", segment, machine.P);
    if (segment != 0) {
        load_into_segment(static_cast<int>(segment));
        if (settings.debug_level == 077) {
            std::fflush(stdout);
            host_sleep_ms(1000);
        }
    }
    mon_plain_return();
}

void mon_batch_mode_query() {
    std::printf("\nBatch mode MON 325");
    std::printf(" Control = %o octal", machine.A);
    if (machine.A == WORD_MASK) machine.A = 0;
    mon_plain_return();
}

void mon_answer_one() {
    machine.A = 1;
    mon_skip_return();
}
