// The MON instruction: call-number dispatch, program termination, the calls
// that print or copy error texts, the implemented-calls query and the shell
// commands that inspect and trace monitor calls.
#include "console/terminal.h"
#include "cpu/cycle.h"
#include "cpu/run_outcome.h"
#include "filesystem/open_files.h"
#include "monitor/error_table.h"
#include "monitor/monitor.h"
#include "shell/commands.h"
#include "shell/debug_aids.h"
#include "shell/settings.h"
#include "shell/shell.h"

#include <cstdio>
#include <cstring>
#include <string>

MonitorHandler monitor_table[256];

// Number of the call being carried out, for the "not coded" report.
static uint32_t current_call_number;

// The calls ND programs may ask about with MON 312, in the order whose
// positions MON 312 returns. This is a fixed answer list, kept apart from the
// dispatch table on purpose: it names 126, which is not emulated, and lacks
// 133 and 164, which are.
static const int32_t implemented_calls[] = {
    0,    01,   02,   03,   04,   05,   06,   07,   010,  011,  012,  013,  014,  015,  016,  017,
    020,  021,  022,  023,  025,  024,  026,  027,  030,  032,  033,  034,  035,  041,  042,  043,
    044,  050,  052,  054,  062,  063,  064,  065,  066,  067,  070,  071,  072,  073,  074,  075,
    076,  077,  0104, 0113, 0114, 0117, 0120, 0122, 0123, 0126, 0140, 0143, 0144, 0162, 0200, 0214,
    0241, 0242, 0256, 0262, 0263, 0267, 0310, 0312, 0321, 0322, 0323, 0325, 0327, 0334, 0250, 0244,
    0213, 0215, 0216, 0232, 0161, 0221, 0231, 0317, 0220, 0253, -1,
};

int implemented_call_position(uint32_t number) {
    for (int i = 0; implemented_calls[i] != -1; ++i)
        if (static_cast<uint32_t>(implemented_calls[i]) == number) return i;
    return -1;
}

void monitor_call_instruction() {
    call_monitor(machine.current_instruction & 0377);
}

void call_monitor(uint32_t number) {
    current_call_number = number & 0377;
    MonitorHandler handler = monitor_table[current_call_number];
    if (handler)
        handler();
    else
        mon_not_coded();
}

void mon_not_coded() {
    print_fault_message("\nMON %o not coded, @%o\n", current_call_number, machine.P);
    mon_plain_return();
}

void stop_program_closing_files() {
    cpu_running = 0;
    close_all_files(CLOSE_KEEP_SCRATCH);
    set_stdin_text();
}

bool esc_stops_program(uint32_t byte, bool show_address) {
    if (byte != 033 || !terminal.esc_enabled) return false;
    if (show_address)
        print_stop_message("\n\n__ ESC typed on terminal @ %o", machine.P);
    else
        print_stop_message("\n\n__ ESC typed on terminal");
    std::fflush(stdout);
    cpu_running = 0;
    shell.program_command_pending = 0;
    mon_plain_return();
    return true;
}

void mon_terminate() {
    if (!shell.program_command_pending && !settings.silent_mode)
        std::fprintf(shell.operator_output,
                     "\n********* ND program terminates with MON 0 at %o **********\n", machine.P);
    close_all_files(CLOSE_KEEP_SCRATCH);
    cpu_running = 0;
    run_outcome.mon0_seen = true;
    shell.program_command_pending = 0;
    clear_inbytebuff();
    set_stdin_text();
}

void mon_input_byte() {
    if (machine.T == 0 || machine.T == 1)
        mon_terminal_input_byte();
    else
        mon_file_input_byte();
}

void mon_output_byte() {
    if (machine.T == 1)
        mon_terminal_output_byte();
    else if (machine.T == 0)
        mon_skip_return();
    else
        mon_file_output_byte();
}

void mon_no_operation() {
    mon_skip_return();
}

// The text of A on the program's terminal, or the fallback line naming the
// code. Returns the text written.
static std::string print_error_message(const char *fallback) {
    const char *text = error_text(static_cast<int32_t>(machine.A));
    char line[256];
    if (text)
        std::snprintf(line, sizeof line, "\n%s\n", text);
    else
        std::snprintf(line, sizeof line, fallback, machine.A);
    console_put_text(line);
    return line;
}

void mon_print_error_message() {
    print_error_message("\nMON64: Error code number %o octal\n");
    mon_plain_return();
}

void mon_print_error_and_stop() {
    note_stop_reason(print_error_message("\nMON65: Error code number %o octal\n").c_str());
    mon_plain_return();
    stop_program_closing_files();
}

void mon_copy_error_text() {
    const char *text = error_text(static_cast<int32_t>(machine.A));
    if (!text) {
        mon_error_return(0);
        return;
    }
    uint32_t length = static_cast<uint32_t>(std::strlen(text));
    for (uint32_t i = 0; i < length; ++i)
        write_data_byte(machine.X, i, static_cast<unsigned char>(text[i]));
    write_data_byte(machine.X, length, '\'');
    mon_skip_return();
}

void mon_call_implemented() {
    bool report = settings.debug_level == 1;
    if (report)
        std::printf("\nCheck if monitor call %6o is implemented (at p=%6o): ", machine.A,
                    machine.P);
    int position = implemented_call_position(machine.A);
    if (position >= 0) {
        if (report) std::printf(" YES !\n");
        machine.A = static_cast<uint32_t>(position);
        mon_skip_return();
    } else {
        if (report) std::printf(" NO !\n");
        mon_error_return(0);
    }
}

void install_monitor_calls() {
    static const struct {
        uint32_t number;
        MonitorHandler handler;
    } calls[] = {
        {0, mon_terminate},
        {01, mon_input_byte},
        {02, mon_output_byte},
        {03, mon_set_echo_mode},
        {04, mon_set_break_mode},
        {05, mon_read_scratch_block},
        {06, mon_write_scratch_block},
        {07, mon_read_block},
        {010, mon_write_block},
        {011, mon_time_since_start},
        {012, mon_set_command_line},
        {013, mon_clear_input_buffer},
        {014, mon_no_operation},
        {015, mon_init_byte_buffer},
        {016, mon_get_terminal_type},
        {017, mon_set_terminal_type},
        {020, mon_put_buffer_byte},
        {021, mon_input_byte_left},
        {022, mon_output_bytes_until_zero},
        {023, mon_incomplete_terminal_call},
        {024, mon_output_eight_bytes},
        {025, mon_init_byte_buffer_second_form},
        {026, mon_last_typed_byte},
        {027, mon_realtime_description},
        {030, mon_answer_23456},
        {032, mon_write_message},
        {033, mon_alternative_page_table_on},
        {034, mon_normal_page_table},
        {035, mon_print_number},
        {041, mon_directory_entry_of_open_file},
        {042, mon_open_file_old_form},
        {043, mon_close_file},
        {044, mon_user_information},
        {050, mon_open_file},
        {052, mon_set_terminal_modes},
        {054, mon_delete_file},
        {062, mon_file_size},
        {063, mon_input_byte_no_echo},
        {064, mon_print_error_message},
        {065, mon_print_error_and_stop},
        {066, mon_key_waiting},
        {067, mon_is_terminal},
        {070, mon_sintran_command},
        {071, mon_esc_off},
        {072, mon_esc_on},
        {073, mon_set_byte_count},
        {074, mon_set_byte_pointer},
        {075, mon_get_byte_pointer},
        {076, mon_set_block_size},
        {077, mon_set_block_pointer},
        {0104, mon_hold},
        {0113, mon_date_and_time},
        {0114, mon_time_since_run_start},
        {0117, mon_read_block_extended},
        {0120, mon_write_block_extended},
        {0122, mon_answer_zero},
        {0123, mon_answer_zero},
        {0133, mon_exit_segment},
        {0140, mon_answer_zero},
        {0143, mon_terminal_and_user_identification},
        {0144, mon_device_function},
        {0161, mon_input_string},
        {0162, mon_output_counted_string},
        {0164, mon_save_segment},
        {0200, mon_message_system},
        {0213, mon_current_user_index},
        {0214, mon_user_name_for_index},
        {0215, mon_directory_entry_by_object_number},
        {0216, mon_skip_only},
        {0220, mon_open_file_resolving_abbreviations},
        {0221, mon_create_file},
        {0231, mon_expand_file},
        {0232, mon_rename_file},
        {0241, mon_change_user},
        {0242, mon_restore_user},
        {0244, mon_system_information_block},
        {0250, mon_user_index_for_name},
        {0253, mon_answer_77},
        {0256, mon_full_file_name},
        {0262, mon_copy_system_information},
        {0263, mon_device_attributes},
        {0267, mon_hold_second_form},
        {0310, mon_input_up_to_eight_bytes},
        {0312, mon_call_implemented},
        {0317, mon_sintran_command_second_form},
        {0321, mon_set_ssi_code},
        {0322, mon_segment_by_name},
        {0323, mon_switch_segment},
        {0325, mon_batch_mode_query},
        {0327, mon_answer_one},
        {0334, mon_copy_error_text},
    };
    for (auto &slot : monitor_table)
        slot = nullptr;
    for (const auto &call : calls)
        monitor_table[call.number] = call.handler;
}

void install_monitor_call_instruction() {
    install_monitor_calls();
    instruction_table[0326] = monitor_call_instruction;
}

void cmd_check_monitor_call() {
    uint32_t number = 0;
    int bad_char = 0;
    int result =
        read_octal_argument(&number, 0, "\r\nEnter monitor call no:  (555 = all): ", &bad_char);
    if (result == CONSOLE_EOF) return;
    if (result < 0) {
        std::fprintf(shell.operator_output, "Illegal char. in octal number: %c\r\n", bad_char);
        return;
    }
    if (number == 0555) {
        for (uint32_t n = 0; n <= 0377; ++n) {
            if (implemented_call_position(n) < 0) continue;
            std::fprintf(shell.operator_output, "MON %3o implemented\r\n", n);
            if (shell.operator_output == stdout) page_pause('\n');
        }
        return;
    }
    if (implemented_call_position(number) >= 0)
        std::fprintf(shell.operator_output, "MON %o implemented\r\n", number);
    else
        std::fprintf(shell.operator_output, "MON %o not implemented\r\n", number);
}

void cmd_trace_monitor_calls() {
    int choice = read_choice_argument("Trace monitor calls on or off ? ", "on", "off on");
    switch (choice) {
    case CONSOLE_EOF:
        return;
    case 1:
        debug_state.trace_flags &= ~TRACE_MONITOR_CALLS;
        debug_state.saved_trace_flags &= ~TRACE_MONITOR_CALLS;
        break;
    case 2:
        debug_state.trace_flags |= TRACE_MONITOR_CALLS;
        debug_state.saved_trace_flags |= TRACE_MONITOR_CALLS;
        std::fprintf(shell.operator_output, "NOTE: MON 2 not traced\a\r\n");
        break;
    case -2:
        std::fprintf(shell.operator_output, "Please be more precise\r\n");
        break;
    default:
        std::fprintf(shell.operator_output, "Please enter on or off\r\n");
        break;
    }
}
