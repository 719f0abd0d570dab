// Monitor calls: the MON instruction's dispatcher, the return conventions
// every call shares, and the handler of each emulated call.
//
// A handler starts with P on the MON (or IOTMON) instruction and moves P
// itself: P + 1 is the error return (A holds an error code unless the call
// says otherwise; calls with only one return use it too), P + 2 the skip
// return. Arguments come in A, T, X, D (a few calls read L); results go back
// into the same registers.
#pragma once

#include "cpu/machine.h"

#include <cstdint>

using MonitorHandler = void (*)();

// Handler of each call number; null means the call is not emulated and takes
// the "not coded" path.
extern MonitorHandler monitor_table[256];

// Fills monitor_table and puts the MON dispatcher into its instruction slot.
void install_monitor_calls();

// The MON instruction: decodes the call number from the instruction word and
// carries the call out.
void monitor_call_instruction();
// Carries out call `number` as MON would (used by IOTMON).
void call_monitor(uint32_t number);

inline void mon_plain_return() {
    machine.P = (machine.P + 1) & WORD_MASK;
}
inline void mon_error_return(uint32_t code) {
    machine.A = code & WORD_MASK;
    mon_plain_return();
}
inline void mon_skip_return() {
    machine.P = (machine.P + 2) & WORD_MASK;
}

// The ESC stop of the terminal-input calls: when `byte` is ESC and ESC is
// enabled, prints the stop message (with P when `show_address`), stops the
// program, takes the error return and returns true. Otherwise returns false
// and changes nothing.
bool esc_stops_program(uint32_t byte, bool show_address);

// The input has ended or ^C came while a call waited or polled for a key: the
// program stops as ^C stops it, with P still on the call so that a continue
// repeats it.
void stop_on_lost_input();

// Ends the ND program as MON 65 and the fatal calls do: files closed except
// the scratch files, console input back in text mode.
void stop_program_closing_files();

// The "not coded" path: reports the call being dispatched and takes the error
// return with A unchanged. The program goes on running.
void mon_not_coded();

// Position of `number` in the implemented-calls list, or -1.
int implemented_call_position(uint32_t number);

// ---- Monitor-call dispatch (monitor/dispatch.cpp) ----
void mon_terminate();            // 0
void mon_input_byte();           // 1: routes to the terminal or a file
void mon_output_byte();          // 2: routes to the terminal, the sink or a file
void mon_no_operation();         // 14
void mon_print_error_message();  // 64
void mon_print_error_and_stop(); // 65
void mon_call_implemented();     // 312
void mon_copy_error_text();      // 334

// ---- Terminal calls (monitor/terminal_calls.cpp) ----
void mon_terminal_input_byte();      // 1 with T = 0 or 1
void mon_terminal_output_byte();     // 2 with T = 1
void mon_set_echo_mode();            // 3
void mon_set_break_mode();           // 4
void mon_clear_input_buffer();       // 13
void mon_get_terminal_type();        // 16
void mon_set_terminal_type();        // 17
void mon_input_byte_left();          // 21
void mon_output_bytes_until_zero();  // 22
void mon_incomplete_terminal_call(); // 23
void mon_output_eight_bytes();       // 24
void mon_write_message();            // 32
void mon_print_number();             // 35
void mon_set_terminal_modes();       // 52
void mon_input_byte_no_echo();       // 63
void mon_key_waiting();              // 66
void mon_is_terminal();              // 67
void mon_esc_off();                  // 71
void mon_esc_on();                   // 72
void mon_input_string();             // 161
void mon_output_counted_string();    // 162
void mon_input_up_to_eight_bytes();  // 310

// ---- File calls (monitor/file_calls.cpp) ----
void mon_file_input_byte();                   // 1 with another file number
void mon_file_output_byte();                  // 2 with another file number
void mon_read_scratch_block();                // 5
void mon_write_scratch_block();               // 6
void mon_read_block();                        // 7
void mon_write_block();                       // 10
void mon_directory_entry_of_open_file();      // 41
void mon_open_file_old_form();                // 42
void mon_close_file();                        // 43
void mon_open_file();                         // 50
void mon_delete_file();                       // 54
void mon_file_size();                         // 62
void mon_set_byte_count();                    // 73
void mon_set_byte_pointer();                  // 74
void mon_get_byte_pointer();                  // 75
void mon_set_block_size();                    // 76
void mon_set_block_pointer();                 // 77
void mon_read_block_extended();               // 117
void mon_write_block_extended();              // 120
void mon_directory_entry_by_object_number();  // 215
void mon_open_file_resolving_abbreviations(); // 220
void mon_create_file();                       // 221
void mon_expand_file();                       // 231
void mon_rename_file();                       // 232
void mon_full_file_name();                    // 256

// ---- System, user and miscellaneous calls (monitor/system_calls.cpp) ----
void mon_time_since_start();                 // 11
void mon_set_command_line();                 // 12
void mon_init_byte_buffer();                 // 15
void mon_put_buffer_byte();                  // 20
void mon_init_byte_buffer_second_form();     // 25
void mon_last_typed_byte();                  // 26
void mon_realtime_description();             // 27
void mon_answer_23456();                     // 30
void mon_alternative_page_table_on();        // 33
void mon_normal_page_table();                // 34
void mon_user_information();                 // 44
void mon_hold();                             // 104
void mon_date_and_time();                    // 113
void mon_time_since_run_start();             // 114
void mon_answer_zero();                      // 122, 123, 140
void mon_exit_segment();                     // 133
void mon_terminal_and_user_identification(); // 143
void mon_device_function();                  // 144
void mon_save_segment();                     // 164
void mon_message_system();                   // 200
void mon_current_user_index();               // 213
void mon_user_name_for_index();              // 214
void mon_skip_only();                        // 216
void mon_change_user();                      // 241
void mon_restore_user();                     // 242
void mon_system_information_block();         // 244
void mon_user_index_for_name();              // 250
void mon_answer_77();                        // 253
void mon_copy_system_information();          // 262
void mon_device_attributes();                // 263
void mon_hold_second_form();                 // 267
void mon_set_ssi_code();                     // 321
void mon_segment_by_name();                  // 322
void mon_switch_segment();                   // 323
void mon_batch_mode_query();                 // 325
void mon_answer_one();                       // 327

// ---- SINTRAN command emulation (monitor/sintran_commands.cpp) ----
void mon_sintran_command();             // 70
void mon_sintran_command_second_form(); // 317
