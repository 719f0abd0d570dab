// Commands whose handlers are not in this build yet answer with one line.
// Each line below goes away when its command lands.
#include "shell/commands.h"
#include "shell/shell.h"

#include <cstdio>

static void not_available() { std::fprintf(shell.operator_output, "Command not available yet\r\n"); }

// clang-format off
void cmd_close_trace_file() { not_available(); }
void cmd_open_trace_file() { not_available(); }
void cmd_trace_execution() { not_available(); }
void cmd_look_at_memory() { not_available(); }
void cmd_test_font_set() { not_available(); }
void cmd_copy_memory() { not_available(); }
void cmd_define_trace_area() { not_available(); }
void cmd_reset_trace_area() { not_available(); }
void cmd_report_memory_change() { not_available(); }
void cmd_set_break_point() { not_available(); }
void cmd_clear_breakpoint() { not_available(); }
void cmd_help() { not_available(); }
void cmd_fill_memory() { not_available(); }
void cmd_find_value_in_memory() { not_available(); }
void cmd_define_histogram() { not_available(); }
void cmd_list_histogram() { not_available(); }
void cmd_reset_report_memory_reference() { not_available(); }
void cmd_compare_binary() { not_available(); }
void cmd_begin_trace_execution_when_at() { not_available(); }
void cmd_guard() { not_available(); }
void cmd_octal_to_decimal() { not_available(); }
void cmd_decimal_to_octal() { not_available(); }
void cmd_add_parity() { not_available(); }
void cmd_remove_parity() { not_available(); }
void cmd_find_nonzero_in_page_table() { not_available(); }
void cmd_od() { not_available(); }
void cmd_byte_swap() { not_available(); }
void cmd_find_in_file() { not_available(); }
void cmd_test_input() { not_available(); }
void cmd_list_sintran_commands() { not_available(); }
void cmd_more() { not_available(); }
void cmd_find_text_in_file() { not_available(); }
void cmd_hold() { not_available(); }
void cmd_get_entries() { not_available(); }
void cmd_trace_entries() { not_available(); }
void cmd_yyy() { not_available(); }
void cmd_zzz() { not_available(); }
void cmd_print_strings_in_memory() { not_available(); }
void cmd_virtual_keyboard() { not_available(); }
void cmd_rect_test() { not_available(); }
void cmd_virtual_keyboard_definition() { not_available(); }
void cmd_fill_123() { not_available(); }
// clang-format on

