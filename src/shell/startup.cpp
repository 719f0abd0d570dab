#include "console/terminal.h"
#include "cpu/cycle.h"
#include "cpu/machine.h"
#include "debug/debug_aids.h"
#include "filesystem/open_files.h"
#include "filesystem/users.h"
#include "host/host.h"
#include "operator/operator_channel.h"
#include "settings/settings.h"
#include "shell/shell.h"

#include <cstring>
#include <string>

#ifndef KESTREL_VERSION
#define KESTREL_VERSION "1.0.0"
#endif

static const char RELEASE_DATE[] = "2026-12-07";

static void print_banner() {
    const std::string stars(44, '*');
    std::string title = std::string("* KESTREL ND-100/ND-110/ND-120 emulator ") + KESTREL_VERSION +
                        " " + RELEASE_DATE;
    if (title.size() > 43)
        title = "* KESTREL " + std::string(KESTREL_VERSION) + " " + RELEASE_DATE;
    title.resize(43, ' ');
    title += '*';
    std::printf("\r\r\n%s\r\r\n%s\r\r\n%s\r\r\n", stars.c_str(), title.c_str(), stars.c_str());
}

// A host argument naming ".../(USER)/NAME.PROG": change to the directory that
// holds the user directories and run NAME as USER on the first pass.
static void take_image_path(const char *path) {
    const char *open = std::strchr(path, '(');
    const char *close = open ? std::strchr(open, ')') : nullptr;
    if (!open || !close)
        return;
    // A path that starts with the user directory names the current directory.
    std::string directory(path, static_cast<size_t>(open - path));
    std::printf("\r\nSet current directory to %s", directory.c_str());
    if (!directory.empty())
        host_change_directory(directory);
    std::printf("Double clicked on a .PROG file\r\n");
    const char *name = close[1] ? close + 2 : close + 1;
    std::printf("  to invoke %s", name);
    std::string user(open + 1, static_cast<size_t>(close - open - 1));
    if (user.size() > MAX_USER_NAME)
        user.resize(MAX_USER_NAME);
    shell.startup_user_name = user;
    shell.startup_image_name = name;
    shell.startup_image_pending = 1;
}

static bool user_present(const char *name) {
    for (int i = 0; i < user_table.count; ++i)
        if (user_table.names[i] == name) return true;
    return false;
}

// After the start-up messages: when the working directory is not a complete
// ND directory tree, says what is missing and where a complete one comes
// from. The messages above it stay as they are.
static void print_tree_hints(bool scratch_claimed) {
    FILE *out = shell.operator_output;
    if (!user_present("SYSTEM") || !user_present("RT") || !user_present("SCRATCH")) {
        std::fprintf(out,
                     "Hint: this directory is not an ND directory tree. KESTREL needs the\r\n"
                     "users (SYSTEM), (RT) and (SCRATCH) as directories here, and the scratch\r\n"
                     "files (SCRATCH)/SCRATCH01.DATA to SCRATCH08.DATA. `make run` lays out\r\n"
                     "such a tree in build/demo-tree; see README.md, \"Using KESTREL\".\r\n");
        return;
    }
    if (!scratch_claimed)
        std::fprintf(out,
                     "Hint: no scratch file could be opened. The files (SCRATCH)/SCRATCH01.DATA\r\n"
                     "to SCRATCH08.DATA must exist here (empty files will do); without one,\r\n"
                     "ND programs run, but MON 5 and MON 6 fail.\r\n");
    if (!user_present(user_table.current_user_name.c_str()))
        std::fprintf(out,
                     "Hint: there is no user %s here, no directory (%s). Make that\r\n"
                     "directory, or log in another user with log-in-user.\r\n",
                     user_table.current_user_name.c_str(), user_table.current_user_name.c_str());
}

int shell_main(int argc, char **argv) {
    shell.start_time = host_time_seconds();
    shell.program_command_pending = 0;
    shell.prompt_input = nullptr;
    shell.mode_input = nullptr;
    shell.echo_stream = stdout;
    shell.operator_output = stdout;
    reset_settings();
    host_terminal_init();

    print_banner();
    for (int i = 0; i < argc; ++i)
        std::printf("\r\r\nargv[%d]=%s ", i, argv[i]);
    if (argc >= 2)
        take_image_path(argv[1]);

    settings.debug_level = 0;
    reset_terminal_state();
    console_set_attribute(10);

    reset_user_table();
    scan_users();
    user_table.current_user_index = find_user_exact(user_table.current_user_name);
    std::fprintf(shell.operator_output, "\r\nLogged in user is %s, index %i\r\n",
                 user_table.current_user_name.c_str(), user_table.current_user_index);

    reset_open_file_table();
    if (!claim_scratch_file()) {
        std::fprintf(shell.operator_output,
                     "Eight KESTRELs already work in this directory, one on each scratch\r\n"
                     "file. End one of them, or start KESTREL in another ND directory tree.\r\n");
        std::fflush(stdout);
        return 1;
    }
    print_tree_hints(open_file_table.open_count > 0);

    host_install_interrupt_handler(on_interrupt);
    host_install_end_hook(on_end_request);
    reset_debug_state();
    reset_machine();
    install_instruction_set();

    run_command_loop();
    return end_kestrel();
}

// Every way out of the command loop: the ND files still open, the scratch
// file among them, are closed (so that all a program wrote is in them at its
// size), the terminal gets its mode of start back, and the exit status says
// how KESTREL ended. The scratch file's lock goes with the process.
int end_kestrel() {
    close_all_files(CLOSE_EVERYTHING);
    host_flush_output();
    host_terminal_restore();
    if (int signal_number = host_termination_signal())
        return 128 + signal_number;
    return host_output_failed() ? 1 : 0;
}
