// The shell commands that load, save, compare and start program images and
// that maintain the program segments.
#include "console/terminal.h"
#include "cpu/machine.h"
#include "images/bpun.h"
#include "images/prog_image.h"
#include "images/segments.h"
#include "operator/arguments.h"
#include "operator/operator_channel.h"
#include "shell/commands.h"
#include "shell/shell.h"

#include <cstdio>

// Level registers of a freshly started program: everything but P cleared.
static void clear_level_registers() {
    for (auto &block : machine.level_blocks)
        for (int r = 0; r < 8; ++r)
            if (r != R_P) block.r[r] = 0;
    machine.A = machine.D = machine.T = machine.X = machine.B = machine.L = 0;
    machine.STS = compose_sts(machine.current_level, 0);
}

void start_prog_image() {
    bool prompted = shell_line_ended();
    load_prog_image();
    if (!image_loaded) return;
    set_program_command_line(rest_after_argument(prompted));
    set_stdin_text();
    reset_terminal_for_program();
    clear_level_registers();
    run_loaded_program();
}

void cmd_load_image_file() {
    load_prog_image();
}

void cmd_load_byte_swapped_image_file() {
    load_byte_swapped_image();
}

void cmd_place_image_file() {
    load_prog_image();
    if (!image_loaded) std::fprintf(shell.operator_output, "No image placed in memory\r\n");
}

void cmd_run_loaded_image() {
    start_prog_image();
}

void cmd_recover() {
    start_prog_image();
}

void cmd_save_image_to_file() {
    save_prog_image();
}

void cmd_write_binary() {
    write_binary_page_table();
}

void cmd_read_binary() {
    std::fprintf(shell.operator_output, "\r\nNot implemented\r\n");
}

void cmd_compare_images() {
    compare_prog_images();
}

void cmd_place_binary() {
    place_binary();
}

void cmd_list_segments() {
    list_segments();
}

void cmd_define_segment() {
    define_segment();
}

void cmd_delete_segment() {
    delete_segment();
}

void cmd_load_segment() {
    load_segment();
}

void cmd_clear_internal_segment_table() {
    clear_segment_table();
}
