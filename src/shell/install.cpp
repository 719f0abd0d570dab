// The start-up wiring: the instruction table, and every hook and table that a
// lower layer owns and a higher one fills. The lower layers know nothing of
// what they reach through these; this is where the two ends meet.
#include "cpu/cycle.h"
#include "debug/debug_aids.h"
#include "filesystem/open_files.h"
#include "monitor/monitor.h"
#include "shell/commands.h"
#include "shell/shell.h"

namespace {

// The SINTRAN commands that the shell's own command handlers carry out.
const struct {
    const char *name;
    SintranCommandHandler handler;
} sintran_commands_of_the_shell[] = {
    {"TERMINAL-MODE", cmd_terminal_mode},
    {"LIST-USERS", cmd_list_users},
    {"LIST-FILES", cmd_list_file},
    {"NEW", cmd_new},
    {"WHO", cmd_who},
    {"MODE", cmd_mode},
    {"DELETE-FILE", cmd_delete_file},
    {"CREATE-FILE", cmd_create_file},
    {"COPY-FILE", cmd_copy_file},
    {"CLOSE-FILE", cmd_close_file},
    {"SET-ERMINAL-TYPE", cmd_set_terminal_type},
    {"GO", cmd_run},
    {"PLACE-BINARY", cmd_place_binary},
    {"PLACE-IMAGE-FILE", cmd_place_image_file},
    {"COPY", cmd_copy},
    {"HOLD", cmd_hold},
    {"CREATE-USER", cmd_create_user},
    {"DELETE-USER", cmd_delete_user},
    {"CC", cmd_cc},
    {"RENAME-FILE", cmd_rename_file},
    {"RELEASE-DIRECTORY", cmd_release_directory},
};

void close_program_files() {
    close_all_files(CLOSE_KEEP_SCRATCH);
}

} // namespace

void install_instruction_set() {
    install_cpu_instructions();
    install_monitor_call_instruction();
    install_debugging_aids();
    cpu_hooks.list_open_files = list_open_files;
    cpu_hooks.close_program_files = close_program_files;
    for (const auto &command : sintran_commands_of_the_shell)
        set_sintran_command_handler(command.name, command.handler);
}
