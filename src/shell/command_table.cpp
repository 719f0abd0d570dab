#include "shell/command_table.h"

#include "shell/commands.h"

// clang-format off
const char *const command_texts[COMMAND_COUNT + 1] = {
    "upper-case <on/off>",
    "close-trace-file",
    "open-trace-file <output file>",
    "trace-execution <on/off>",
    "look-at-memory <page table> <address>",
    "test-font-set",
    "run <start-address>",
    "set-memory-limits <lower> <upper>",
    "save-image-to-file <image file> <SA> <RA>",
    "copy-memory <from> <bytecount> <ntimes>",
    "define-trace-area <trace no.> <lower> <upper>",
    "reset-trace-area <trace number>",
    "status",
    "report-memory-change <address>",
    "set-break-point <address>",
    "clear-breakpoint",
    "continue-after-breakpoint",
    "@recover <prog file>",
    "help <command> <output file>",
    "fill-memory <value> <from> <to>",
    "quit",
    "load-image-file <image file>",
    "find-value-in-memory <value> <page table>",
    "step-execution [optional start address]",
    "define-histogram <start-address> <increment>",
    "list-histogram",
    "|use-non-abbr-open",
    "reset-report-memory-reference",
    "set-register-value <register> <value>",
    "exit",
    "list-register-values",
    "float <32 or 48 bits>",
    "trace-monitor-calls <on/off>",
    "READ-BINARY <input file>",
    "WRITE-BINARY <page table> <output file>",
    "COMPARE-BINARY <file 1> <file 2>",
    "begin-trace-execution-when-at <address>",
    "load-byte-swapped-image-file <image file>",
    "guard <page table> <address>",
    "use-7bit-on-symb-files-write <on/off>",
    "@mode <file name> <output file>",
    "continue-at-restart-address",
    "! <image file>",
    "octal-to-decimal <number>",
    "decimal-to-octal <number>",
    "compare-images <image file1> <image file2> [report file]",
    "add-parity <input file> <output file>",
    "remove-parity <input file> <output file>",
    "float-test <val1> <val2>",
    "activate-alternative-page-table <APT no.>",
    "find-nonzero-in-page-table <page table no>",
    "@set-terminal-type <n>",
    "set-2bank-mode <on/off> <page table>",
    "@go <address>",
    "dump-memory <prog.file> <start address> <restart address>",
    "od <8 or 16 bit> <input file>",
    "byte-swap <inp.file> <outp.file>",
    "@list-opened-files",
    "@close-file <file number (-1=all)>",
    "open-scratch-file",
    "debug <level(0=off)>",
    "log-in-user <user name>",
    "list-users",
    "@list-file <file name>",
    "check-files",
    "@new <user name>",
    "@who",
    "list-segments",
    "define-segment <no> <name>",
    "delete-segment <no>",
    "load-segment <segno> <prog-file>",
    "clear-internal-segment-table",
    "SINTRAN-info",
    "find-in-file <file> <w1> <w2>",
    "BCD-test <value 1> <operation> <value 2>",
    "test-input",
    "@place-image-file <:PROG file>",
    "@place-binary <:BPUN file>",
    "CPU-type <cpu type no.> <instruction set no.>",
    "set-parity-when-reading-SYMB-files <on/off>",
    "check-monitor-call <number(555=all)>",
    "@delete-file <file name>",
    "@copy-file <to file> <from file>",
    "list-SINTRAN-commands",
    "silent-mode <on/off>",
    "@create-file <file>",
    "more <file>",
    "find-text-in-file <file> <text-string>",
    "@copy <to file> <from file>",
    "@hold <unit> <n>",
    "@create-user <user name>",
    "@delete-user <user name>",
    "get-entries <file name>",
    "trace-entries <on/off>",
    "|extract-floppy-image <from file>",
    "@cc",
    "@rename-file <file> <new file name>",
    "|yyy <infile> <outfile>",
    "|zzz <text>",
    "|print-strings-in-memory",
    "allow-SKP-CLD <yes/no>",
    "show-echo-and-break-strategy",
    "|MON310 <on/off>",
    "norsk-tegnsett <nei/ja>",
    "|virtual-keyboard",
    "|rect-test",
    "@release-directory <name>",
    "|TDV",
    "use-virtual-keyboard",
    "virtual-keyboard-definition <file>",
    "|NCT",
    "@terminal-mode <cap.lett> <delay after CR> <stop on full page> <logout miss. carr.>",
    "set-active-level <level>",
    "|test-MOVEW <on/off>",
    "|fill-123",
    "disassemble-memory <from> <to>",
    nullptr,
};

CommandHandler command_handlers[COMMAND_COUNT] = {
    cmd_upper_case, // 0
    cmd_close_trace_file, // 1
    cmd_open_trace_file, // 2
    cmd_trace_execution, // 3
    cmd_look_at_memory, // 4
    cmd_test_font_set, // 5
    cmd_run, // 6
    cmd_set_memory_limits, // 7
    cmd_save_image_to_file, // 8
    cmd_copy_memory, // 9
    cmd_define_trace_area, // 10
    cmd_reset_trace_area, // 11
    cmd_status, // 12
    cmd_report_memory_change, // 13
    cmd_set_break_point, // 14
    cmd_clear_breakpoint, // 15
    cmd_continue_after_breakpoint, // 16
    cmd_recover, // 17
    cmd_help, // 18
    cmd_fill_memory, // 19
    cmd_quit, // 20
    cmd_load_image_file, // 21
    cmd_find_value_in_memory, // 22
    cmd_step_execution, // 23
    cmd_define_histogram, // 24
    cmd_list_histogram, // 25
    cmd_use_non_abbr_open, // 26
    cmd_reset_report_memory_reference, // 27
    cmd_set_register_value, // 28
    cmd_quit, // 29
    cmd_list_register_values, // 30
    cmd_float, // 31
    cmd_trace_monitor_calls, // 32
    cmd_read_binary, // 33
    cmd_write_binary, // 34
    cmd_compare_binary, // 35
    cmd_begin_trace_execution_when_at, // 36
    cmd_load_byte_swapped_image_file, // 37
    cmd_guard, // 38
    cmd_use_7bit_on_symb_files_write, // 39
    cmd_mode, // 40
    cmd_continue_at_restart_address, // 41
    cmd_run_loaded_image, // 42
    cmd_octal_to_decimal, // 43
    cmd_decimal_to_octal, // 44
    cmd_compare_images, // 45
    cmd_add_parity, // 46
    cmd_remove_parity, // 47
    cmd_float_test, // 48
    cmd_activate_alternative_page_table, // 49
    cmd_find_nonzero_in_page_table, // 50
    cmd_set_terminal_type, // 51
    cmd_set_2bank_mode, // 52
    cmd_run, // 53
    cmd_save_image_to_file, // 54
    cmd_od, // 55
    cmd_byte_swap, // 56
    cmd_list_opened_files, // 57
    cmd_close_file, // 58
    cmd_open_scratch_file, // 59
    cmd_debug, // 60
    cmd_log_in_user, // 61
    cmd_list_users, // 62
    cmd_list_file, // 63
    cmd_check_files, // 64
    cmd_new, // 65
    cmd_who, // 66
    cmd_list_segments, // 67
    cmd_define_segment, // 68
    cmd_delete_segment, // 69
    cmd_load_segment, // 70
    cmd_clear_internal_segment_table, // 71
    cmd_sintran_info, // 72
    cmd_find_in_file, // 73
    cmd_bcd_test, // 74
    cmd_test_input, // 75
    cmd_place_image_file, // 76
    cmd_place_binary, // 77
    cmd_cpu_type, // 78
    cmd_set_parity_when_reading_symb_files, // 79
    cmd_check_monitor_call, // 80
    cmd_delete_file, // 81
    cmd_copy_file, // 82
    cmd_list_sintran_commands, // 83
    cmd_silent_mode, // 84
    cmd_create_file, // 85
    cmd_more, // 86
    cmd_find_text_in_file, // 87
    cmd_copy, // 88
    cmd_hold, // 89
    cmd_create_user, // 90
    cmd_delete_user, // 91
    cmd_get_entries, // 92
    cmd_trace_entries, // 93
    cmd_extract_floppy_image, // 94
    cmd_cc, // 95
    cmd_rename_file, // 96
    cmd_yyy, // 97
    cmd_zzz, // 98
    cmd_print_strings_in_memory, // 99
    cmd_allow_skp_cld, // 100
    cmd_show_echo_and_break_strategy, // 101
    cmd_mon310, // 102
    cmd_norsk_tegnsett, // 103
    cmd_virtual_keyboard, // 104
    cmd_rect_test, // 105
    cmd_release_directory, // 106
    cmd_tdv, // 107
    cmd_use_virtual_keyboard, // 108
    cmd_virtual_keyboard_definition, // 109
    cmd_nct, // 110
    cmd_terminal_mode, // 111
    cmd_set_active_level, // 112
    cmd_test_movew, // 113
    cmd_fill_123, // 114
    cmd_disassemble_memory, // 115
};
// clang-format on
