// SINTRAN commands that an ND program hands over with MON 70 and MON 317,
// carried out by the operator shell's own command handlers.
#include "filesystem/open_files.h"
#include "filesystem/reservations.h"
#include "monitor/monitor.h"
#include "shell/commands.h"
#include "shell/settings.h"
#include "shell/shell.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

constexpr int SINTRAN_COMMAND_COUNT = 25;
constexpr int RECOVER_ENTRY = 7;
constexpr uint32_t MAX_COMMAND_TEXT = 512;

void help_sintran_commands();
void get_terminal_type();
void list_open_files_command() {
    list_open_files();
}

// The table order matters to the abbreviation matcher. Entry 14 is spelled
// without the T after the hyphen: SET-E and longer abbreviations of it match,
// SET-TERMINAL-TYPE typed in full does not.
const char *const sintran_command_names[SINTRAN_COMMAND_COUNT + 1] = {
    "LIST-OPEN-FILES",
    "HELP",
    "GET-TERMINAL-TYPE",
    "TERMINAL-MODE",
    "LIST-USERS",
    "LIST-FILES",
    "NEW",
    "RECOVER",
    "WHO",
    "MODE",
    "DELETE-FILE",
    "CREATE-FILE",
    "COPY-FILE",
    "CLOSE-FILE",
    "SET-ERMINAL-TYPE",
    "GO",
    "PLACE-BINARY",
    "PLACE-IMAGE-FILE",
    "COPY",
    "HOLD",
    "CREATE-USER",
    "DELETE-USER",
    "CC",
    "RENAME-FILE",
    "RELEASE-DIRECTORY",
    nullptr,
};

void (*const sintran_command_handlers[SINTRAN_COMMAND_COUNT])() = {
    list_open_files_command,
    help_sintran_commands,
    get_terminal_type,
    cmd_terminal_mode,
    cmd_list_users,
    cmd_list_file,
    cmd_new,
    nullptr,
    cmd_who,
    cmd_mode,
    cmd_delete_file,
    cmd_create_file,
    cmd_copy_file,
    cmd_close_file,
    cmd_set_terminal_type,
    cmd_run,
    cmd_place_binary,
    cmd_place_image_file,
    cmd_copy,
    cmd_hold,
    cmd_create_user,
    cmd_delete_user,
    cmd_cc,
    cmd_rename_file,
    cmd_release_directory,
};

void help_sintran_commands() {
    for (int i = 0; i < SINTRAN_COMMAND_COUNT; ++i)
        std::fprintf(shell.operator_output, "\r\n%s", sintran_command_names[i]);
}

void get_terminal_type() {
    std::fprintf(shell.operator_output, "\r\nTerminal type is %d (decimal)\r\n",
                 static_cast<int>(settings.terminal_type));
}

// The command text at `address`: up to the apostrophe or 512 characters,
// upper-cased; blanks are kept wherever they stand.
void read_command_text(uint32_t address, char *text) {
    uint32_t length = 0;
    for (; length < MAX_COMMAND_TEXT; ++length) {
        int c = static_cast<int>(read_data_byte(address, length));
        if (c == '\'') break;
        text[length] = static_cast<char>(std::toupper(c));
    }
    text[length] = '\0';
}

// GO starts the program again inside this call, and that run may carry out
// GO in turn; the nesting is bounded so that a program cannot exhaust the
// host's stack.
constexpr int MAX_NESTED_COMMANDS = 32;
int nested_commands = 0;

void carry_out_sintran_command() {
    static char sintran_command_text[COMMAND_LINE_SIZE];
    read_command_text(machine.A, sintran_command_text);
    int start = 0;
    while (sintran_command_text[start] == ' ')
        ++start;
    int index = 0, terminator = 0, end = start;
    int result = match_command(sintran_command_text, start, sintran_command_names, &index,
                               &terminator, &end);
    switch (result) {
    case MATCH_NONE:
        std::fprintf(shell.operator_output, "\r\nNo such command (MAYBE NOT EMULATED): %s\r\n",
                     sintran_command_text);
        break;
    case MATCH_AMBIGUOUS:
        std::fprintf(shell.operator_output, "Ambiguous command: %s\r\n", sintran_command_text);
        break;
    case MATCH_ABBREVIATION:
    case MATCH_EXACT: {
        int position = end;
        while (sintran_command_text[position] == ' ')
            ++position;
        if (sintran_command_text[position] == ',') ++position;
        while (sintran_command_text[position] == ' ')
            ++position;
        std::memcpy(shell.command_line, sintran_command_text, sizeof shell.command_line);
        shell.argument_position = position;
        if (index == RECOVER_ENTRY) {
            cpu_running = 0;
            shell.program_command_pending = 1;
        } else if (nested_commands >= MAX_NESTED_COMMANDS) {
            std::fprintf(shell.operator_output, "\r\nSINTRAN commands nested too deeply: %s\r\n",
                         sintran_command_text);
        } else {
            ++nested_commands;
            int held = command_reservation_mark();
            sintran_command_handlers[index]();
            release_command_reservations(held);
            --nested_commands;
            std::fprintf(shell.operator_output, "\r\n");
        }
        break;
    }
    default:
        break;
    }
    mon_plain_return();
}

} // namespace

void mon_sintran_command() {
    carry_out_sintran_command();
}
void mon_sintran_command_second_form() {
    carry_out_sintran_command();
}
