#include "console/terminal.h"
#include "cpu/cycle.h"
#include "cpu/machine.h"
#include "cpu/run_outcome.h"
#include "filesystem/open_files.h"
#include "filesystem/users.h"
#include "host/host.h"
#include "shell/debug_aids.h"
#include "shell/host_options.h"
#include "shell/settings.h"
#include "shell/shell.h"

#include <cctype>
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

// After the start-up messages: when the ND directory tree lacks a scratch file
// or the user logged in, says what is missing. The messages above it stay as
// they are.
static void print_tree_hints(bool scratch_claimed) {
    FILE *out = shell.operator_output;
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

static void print_usage() {
    std::printf("Usage: kestrel [OPTIONS] [PROGRAM [ARGS...]]\n"
                "       kestrel --init DIR [USER...]\n"
                "       kestrel --list-volume IMAGE\n"
                "       kestrel [-C DIR] [-u USER] --extract-volume IMAGE\n"
                "       kestrel --help | --version\n"
                "\n"
                "KESTREL runs ND-100/ND-110/ND-120 programs written for SINTRAN III.\n"
                "It works in an ND directory tree: the ND users as directories named\n"
                "(SYSTEM), (RT), (SCRATCH) and so on, with the eight scratch files\n"
                "(SCRATCH)/SCRATCH01.DATA to SCRATCH08.DATA. At the prompt <> type a\n"
                "command (help lists them; each hyphen-separated part may be abbreviated)\n"
                "or the name of a :PROG file of the current user to run it.\n"
                "\n"
                "With PROGRAM, KESTREL runs that one program with ARGS as its command\n"
                "line, its terminal being standard input and output, and exits. PROGRAM\n"
                "is an ND program name of the user logged in (HELLO, (SYSTEM)SEGA) or a\n"
                "host path to a .PROG or .BPUN image; PATH/(USER)/NAME.PROG changes to\n"
                "PATH and runs NAME as USER.\n"
                "\n"
                "  -q, --quiet          only the program's output on standard output;\n"
                "                       a stop that is not MON 0 in one line on standard\n"
                "                       error\n"
                "  --lf                 CR LF from the program becomes LF\n"
                "  -C, --tree DIR       work in the ND tree DIR\n"
                "  -u, --user USER      log in USER instead of EMULATOR\n"
                "  --init DIR [USER...] lay out a new ND tree with these users (EMULATOR\n"
                "                       if none); nothing that exists is overwritten\n"
                "  --list-volume IMAGE  list the files of an ND volume image\n"
                "  --extract-volume IMAGE\n"
                "                       extract them into the user's directory\n"
                "\n"
                "Exit status: 0 when the program ended with MON 0 (at the prompt: quit or\n"
                "the end of input), 1 when a run stopped otherwise, a set-up failed or\n"
                "standard output could not be written, 2 for a usage error, 128+n after\n"
                "signal n (SIGTERM, SIGHUP).\n");
}

static int usage_error(const std::string &text) {
    std::fprintf(stderr, "kestrel: %s\nTry 'kestrel --help' for more information.\n", text.c_str());
    return EXIT_STATUS_USAGE;
}

// PROGRAM is a host path to an image, not an ND name, when it has a "/" or
// names a host .PROG or .BPUN file in the working directory.
static bool names_host_image(const std::string &program) {
    if (program.find('/') != std::string::npos) return true;
    std::string type =
        program.size() > 5 ? upper_case_name(program.substr(program.size() - 5)) : std::string();
    if (type != ".PROG" && type != ".BPUN") return false;
    HostFileInfo info = host_file_info(program);
    return info.exists && !info.is_directory;
}

// An image path whose directory is a user directory: PATH/(USER)/NAME.PROG.
static bool names_image_in_user_directory(const std::string &path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash < 3) return false;
    size_t start = path.rfind('/', slash - 1);
    start = start == std::string::npos ? 0 : start + 1;
    std::string directory = path.substr(start, slash - start);
    return directory.size() >= 3 && directory.front() == '(' && directory.back() == ')';
}

// Host paths on the command line are meant from where kestrel was started,
// before -C changes the directory.
static std::string path_from(const std::string &directory, const std::string &path) {
    if (path.empty() || path[0] == '/' || directory.empty()) return path;
    return directory + "/" + path;
}

// Where the program named on the host command line comes from; false with the
// usage error printed when its command line cannot be held.
static bool take_startup_program(const HostOptions &options, const std::string &start_directory) {
    const std::string &program = options.program;
    shell.startup_arguments = program_arguments_text(options.arguments);
    if (program.size() + shell.startup_arguments.size() > COMMAND_LINE_SIZE - 2) {
        usage_error("the program's name and arguments are longer than a command line (" +
                    std::to_string(COMMAND_LINE_SIZE - 2) + " characters)");
        return false;
    }
    shell.end_after_startup_program = 1;
    if (!names_host_image(program)) {
        shell.startup_image_name = program;
        shell.startup_image_pending = 1;
    } else if (options.tree.empty() && names_image_in_user_directory(program)) {
        take_image_path(program.c_str());
    } else {
        shell.startup_host_image = path_from(start_directory, program);
        shell.startup_image_pending = 1;
    }
    return true;
}

// The exit status of a one-program run: how its last run ended. A program
// that could not be loaded did not run.
static int status_of_program_run() {
    switch (run_outcome.end) {
    case RunEnd::EndedAtMon0:
        return EXIT_STATUS_OK;
    case RunEnd::Stopped:
        return EXIT_STATUS_FAILED;
    case RunEnd::NotRun:
        break;
    }
    return EXIT_STATUS_USAGE;
}

static void reset_shell_state() {
    shell.start_time = host_time_seconds();
    shell.program_command_pending = 0;
    shell.prompt_input = nullptr;
    shell.mode_input = nullptr;
    shell.echo_stream = stdout;
    shell.operator_output = stdout;
    shell.startup_image_name.clear();
    shell.startup_user_name.clear();
    shell.startup_host_image.clear();
    shell.startup_arguments.clear();
    shell.startup_image_pending = 0;
    shell.end_after_startup_program = 0;
}

// Start-up and the command loop, in the working directory; returns the exit
// status.
static int run_shell(const HostOptions &options, int argc, char **argv,
                     const std::string &start_directory) {
    reset_shell_state();
    reset_settings();
    reset_run_outcome();
    console_output = ConsoleOutputState{options.unix_line_ends, false};
    if (options.quiet) {
        if (!host_keep_standard_output_for_terminal()) {
            std::fprintf(stderr, "kestrel: cannot set up standard output: %s\n",
                         host_error_text().c_str());
            return EXIT_STATUS_FAILED;
        }
        run_outcome.report_stream = stderr;
    }
    host_terminal_init();

    print_banner();
    for (int i = 0; i < argc; ++i)
        std::printf("\r\r\nargv[%d]=%s ", i, argv[i]);
    bool one_program = options.action == HostAction::RunProgram;
    if (one_program && !take_startup_program(options, start_directory)) return EXIT_STATUS_USAGE;

    settings.debug_level = 0;
    reset_terminal_state();
    // Normal rendition is the terminal's default; a pipe gets no sequence.
    if (host_stdout_is_terminal()) console_set_attribute(10);

    reset_user_table();
    if (!options.user.empty()) user_table.current_user_name = upper_case_name(options.user);
    scan_users();
    user_table.current_user_index = find_user_exact(user_table.current_user_name);
    std::fprintf(shell.operator_output, "\r\nLogged in user is %s, index %i\r\n",
                 user_table.current_user_name.c_str(), user_table.current_user_index);
    if (!directory_is_nd_tree()) {
        print_not_a_tree_hint();
        return EXIT_STATUS_USAGE;
    }
    if (!options.user.empty() && !user_present(user_table.current_user_name.c_str())) {
        std::fflush(stdout);
        std::fprintf(stderr, "kestrel: there is no user %s in this ND tree\n",
                     user_table.current_user_name.c_str());
        return EXIT_STATUS_USAGE;
    }

    reset_open_file_table();
    if (!claim_scratch_file()) {
        std::fprintf(shell.operator_output,
                     "Eight KESTRELs already work in this directory, one on each scratch\r\n"
                     "file. End one of them, or start KESTREL in another ND directory tree.\r\n");
        std::fflush(stdout);
        if (options.quiet)
            std::fprintf(stderr, "kestrel: all eight scratch files of this ND tree are in use\n");
        return EXIT_STATUS_FAILED;
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
    console_finish_output();
    host_terminal_restore();
    if (int signal_number = host_termination_signal())
        return 128 + signal_number;
    int status = shell.end_after_startup_program ? status_of_program_run() : EXIT_STATUS_OK;
    if (status == EXIT_STATUS_OK && host_output_failed())
        return EXIT_STATUS_FAILED;
    return status;
}

int shell_main(int argc, char **argv) {
    HostOptions options;
    std::string error = parse_host_options(argc, argv, &options);
    if (!error.empty()) return usage_error(error);
    switch (options.action) {
    case HostAction::Help:
        print_usage();
        return EXIT_STATUS_OK;
    case HostAction::Version:
        std::printf("kestrel %s\n", KESTREL_VERSION);
        return EXIT_STATUS_OK;
    case HostAction::InitTree:
        return init_nd_tree(options.path, options.arguments);
    case HostAction::ListVolume:
        return list_volume(options.path);
    default:
        break;
    }
    std::string start_directory = host_current_directory();
    if (!options.tree.empty() && !host_change_directory(options.tree)) {
        std::fprintf(stderr, "kestrel: cannot work in %s: %s\n", options.tree.c_str(),
                     host_error_text().c_str());
        return EXIT_STATUS_USAGE;
    }
    if (options.action == HostAction::ExtractVolume)
        return extract_volume(path_from(start_directory, options.path), options.user);
    return run_shell(options, argc, argv, start_directory);
}
