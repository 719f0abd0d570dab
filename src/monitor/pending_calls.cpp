// Calls whose handlers are not in this build yet take the "not coded" path.
// Each line below is removed when its call lands in its own file.
#include "monitor/monitor.h"

// clang-format off
// File calls
void mon_file_input_byte() { mon_not_coded(); }
void mon_file_output_byte() { mon_not_coded(); }
void mon_read_scratch_block() { mon_not_coded(); }
void mon_write_scratch_block() { mon_not_coded(); }
void mon_read_block() { mon_not_coded(); }
void mon_write_block() { mon_not_coded(); }
void mon_directory_entry_of_open_file() { mon_not_coded(); }
void mon_open_file_old_form() { mon_not_coded(); }
void mon_close_file() { mon_not_coded(); }
void mon_open_file() { mon_not_coded(); }
void mon_delete_file() { mon_not_coded(); }
void mon_file_size() { mon_not_coded(); }
void mon_set_byte_count() { mon_not_coded(); }
void mon_set_byte_pointer() { mon_not_coded(); }
void mon_get_byte_pointer() { mon_not_coded(); }
void mon_set_block_size() { mon_not_coded(); }
void mon_set_block_pointer() { mon_not_coded(); }
void mon_read_block_extended() { mon_not_coded(); }
void mon_write_block_extended() { mon_not_coded(); }
void mon_directory_entry_by_object_number() { mon_not_coded(); }
void mon_open_file_resolving_abbreviations() { mon_not_coded(); }
void mon_create_file() { mon_not_coded(); }
void mon_expand_file() { mon_not_coded(); }
void mon_rename_file() { mon_not_coded(); }
void mon_full_file_name() { mon_not_coded(); }
// System, user and miscellaneous calls
void mon_time_since_start() { mon_not_coded(); }
void mon_set_command_line() { mon_not_coded(); }
void mon_init_byte_buffer() { mon_not_coded(); }
void mon_put_buffer_byte() { mon_not_coded(); }
void mon_init_byte_buffer_second_form() { mon_not_coded(); }
void mon_last_typed_byte() { mon_not_coded(); }
void mon_realtime_description() { mon_not_coded(); }
void mon_answer_23456() { mon_not_coded(); }
void mon_alternative_page_table_on() { mon_not_coded(); }
void mon_normal_page_table() { mon_not_coded(); }
void mon_user_information() { mon_not_coded(); }
void mon_hold() { mon_not_coded(); }
void mon_date_and_time() { mon_not_coded(); }
void mon_time_since_run_start() { mon_not_coded(); }
void mon_answer_zero() { mon_not_coded(); }
void mon_exit_segment() { mon_not_coded(); }
void mon_terminal_and_user_identification() { mon_not_coded(); }
void mon_device_function() { mon_not_coded(); }
void mon_save_segment() { mon_not_coded(); }
void mon_message_system() { mon_not_coded(); }
void mon_current_user_index() { mon_not_coded(); }
void mon_user_name_for_index() { mon_not_coded(); }
void mon_skip_only() { mon_not_coded(); }
void mon_change_user() { mon_not_coded(); }
void mon_restore_user() { mon_not_coded(); }
void mon_system_information_block() { mon_not_coded(); }
void mon_user_index_for_name() { mon_not_coded(); }
void mon_answer_77() { mon_not_coded(); }
void mon_copy_system_information() { mon_not_coded(); }
void mon_device_attributes() { mon_not_coded(); }
void mon_hold_second_form() { mon_not_coded(); }
void mon_set_ssi_code() { mon_not_coded(); }
void mon_segment_by_name() { mon_not_coded(); }
void mon_switch_segment() { mon_not_coded(); }
void mon_batch_mode_query() { mon_not_coded(); }
void mon_answer_one() { mon_not_coded(); }
// SINTRAN command emulation
void mon_sintran_command() { mon_not_coded(); }
void mon_sintran_command_second_form() { mon_not_coded(); }
// clang-format on
