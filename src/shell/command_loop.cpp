#include "console/terminal.h"
#include "cpu/cycle.h"
#include "cpu/machine.h"
#include "cpu/run_outcome.h"
#include "filesystem/open_files.h"
#include "filesystem/reservations.h"
#include "filesystem/users.h"
#include "host/host.h"
#include "host/line_editor.h"
#include "images/bpun.h"
#include "images/prog_image.h"
#include "shell/command_table.h"
#include "shell/commands.h"
#include "shell/debug_aids.h"
#include "shell/host_options.h"
#include "shell/settings.h"
#include "shell/shell.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

volatile sig_atomic_t interrupt_stopped_run = 0;

// Runs asynchronously on ^C: only flags are touched here; the messages come
// from the line reader and the instruction cycle.
void on_interrupt(int) {
    if (cpu_running) {
        cpu_running = 0;
        halt_instruction_dispatch();
        interrupt_stopped_run = STOPPED_BY_INTERRUPT;
    }
    interrupt_seen = 1;
}

// SIGTERM, SIGHUP or the end of standard output: a running program stops as
// on ^C. Runs asynchronously too; the command loop then ends KESTREL.
void on_end_request() {
    if (cpu_running) {
        cpu_running = 0;
        halt_instruction_dispatch();
        interrupt_stopped_run = STOPPED_BY_INTERRUPT;
    }
}

// The message goes where the run's output went; then an @mode file gives
// way to the console, for commands and for messages alike, so that the
// operator sees the prompt that follows.
void report_interrupted_run() {
    // A termination signal or a closed output says so; otherwise the end of
    // input or a ^C stopped the run.
    char message[96];
    if (const char *end_reason = host_end_reason())
        std::snprintf(message, sizeof message, "%s, stopping ND-110 execution", end_reason);
    else if (interrupt_stopped_run == STOPPED_AT_END_OF_INPUT)
        std::snprintf(message, sizeof message, "End of input, stopping ND-110 execution");
    else
        std::snprintf(message, sizeof message, "^C typed, stopping ND-110 execution");
    interrupt_stopped_run = 0;
    interrupt_seen = 0;
    shell.program_command_pending = 0;
    set_stdin_text();
    std::fprintf(shell.operator_output, "\r\n%s", message);
    note_stop_reason(message);
    if (shell.mode_input)
        return_input_to_console();
}

void report_idle_interrupt() {
    interrupt_seen = 0;
    set_stdin_text();
    return_input_to_console();
    shell.command_line[0] = '\0';
    shell.argument_position = 0;
    std::fprintf(stdout, " ^C typed\r\n");
}

// Lower-cases the first word of an "@" line, so SINTRAN-style commands may be
// typed in any case.
static void lower_case_first_word(char *line) {
    for (char *p = line; *p && *p != ' ' && *p != ','; ++p)
        *p = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
}

// Runs what the loader has just put into memory with the command line `rest`.
static void run_program_just_loaded(const char *rest) {
    set_program_command_line(rest);
    set_stdin_text();
    reset_terminal_for_program();
    run_loaded_program();
}

// The "no such command" path: the first word names a PROG file to load and run.
static void load_and_run_named_program(int word_start, int word_end) {
    shell.argument_position = word_start;
    cmd_load_image_file();
    if (image_loaded) run_program_just_loaded(shell.command_line + word_end);
    // A RECOVER from the program leaves its line here for the next pass.
    if (!shell.program_command_pending) {
        shell.command_line[0] = '\0';
        shell.argument_position = 0;
    }
    clear_inbytebuff();
}

// Loads an image given by its host path, a :BPUN by that type, any other a
// :PROG; sets image_loaded.
static void load_host_image(const std::string &path) {
    image_loaded = 0;
    FILE *stream = std::fopen(path.c_str(), "rb");
    if (!stream) {
        std::fprintf(shell.operator_output, "Cannot open %s: %s\r\n", path.c_str(),
                     host_error_text().c_str());
        return;
    }
    std::string type = path.size() > 5 ? upper_case_name(path.substr(path.size() - 5)) : "";
    if (type == ".BPUN")
        image_loaded = place_binary_stream(stream) ? 1 : 0;
    else
        load_prog_stream(stream, path);
}

// Loads the program the host command line named: by name as typed at the
// prompt, or from its host path. When stops are reported on a stream of their
// own (a quiet run), the loader's messages are kept back, and reported there
// in one line when the load failed.
static void load_startup_program() {
    FILE *kept = run_outcome.report_stream ? std::tmpfile() : nullptr;
    FILE *operator_output = shell.operator_output;
    if (kept) shell.operator_output = kept;
    if (shell.startup_host_image.empty()) {
        shell.argument_position = 0;
        cmd_load_image_file();
    } else {
        load_host_image(shell.startup_host_image);
    }
    shell.operator_output = operator_output;
    std::string messages;
    if (kept) {
        std::rewind(kept);
        for (int c; (c = std::fgetc(kept)) != EOF;)
            messages += static_cast<char>(c);
        std::fclose(kept);
    }
    if (!image_loaded)
        report_in_one_line(messages.empty() ? "The program could not be loaded" : messages.c_str());
}

// The program the host command line named, run with its arguments; the name
// is never taken as a command.
static void run_startup_program() {
    load_startup_program();
    if (image_loaded) {
        int word_end = 0;
        while (shell.command_line[word_end] && shell.command_line[word_end] != ' ')
            ++word_end;
        run_program_just_loaded(shell.startup_host_image.empty() ? shell.command_line + word_end
                                                                 : shell.startup_arguments.c_str());
    }
    if (!shell.program_command_pending) {
        shell.command_line[0] = '\0';
        shell.argument_position = 0;
    }
    clear_inbytebuff();
}

void execute_command_line(const char *line) {
    if (line != shell.command_line) {
        std::strncpy(shell.command_line, line, COMMAND_LINE_SIZE - 1);
        shell.command_line[COMMAND_LINE_SIZE - 1] = '\0';
    }
    char *text = shell.command_line;
    if (text[0] == '@')
        lower_case_first_word(text);
    if (text[0] == 27)
        std::fprintf(shell.operator_output, "\r\nFunction key handling not implemented\r\n");
    int start = 0;
    while (text[start] == ' ')
        ++start;
    int index = 0, terminator = 0, end = start;
    int result = match_command(text, start, command_texts, &index, &terminator, &end);
    shell.previous_line_empty = result == MATCH_EMPTY;
    int position = end;
    while (text[position] == ' ')
        ++position;
    if (text[position] == ',') {
        // A comma that nothing follows stands for the first argument, not
        // given: `run ,` takes the default start address without a prompt.
        int comma = position++;
        while (text[position] == ' ')
            ++position;
        if (text[position] == '\0')
            position = comma;
    }
    shell.argument_position = position;
    switch (result) {
    case MATCH_ABBREVIATION:
    case MATCH_EXACT: command_handlers[index](); break;
    case MATCH_AMBIGUOUS: std::fprintf(shell.operator_output, "Ambiguous command: %s\r\n", text); break;
    case MATCH_NONE: {
        if (!settings.silent_mode)
            std::fprintf(shell.operator_output,
                         "No such command: %s, try to load and run image file ", text);
        int word_end = start;
        while (text[word_end] && text[word_end] != ' ' && text[word_end] != ',')
            ++word_end;
        load_and_run_named_program(start, word_end);
        break;
    }
    default: break;
    }
}

// The prompt goes to the line editor when the operator types at a terminal.
static bool editing_at_terminal() {
    return !shell.mode_input && !shell.program_command_pending && !shell.startup_image_pending &&
           shell.operator_output == stdout && line_editor_available();
}

static void prepare_completions() {
    std::vector<std::string> words;
    for (int i = 0; command_texts[i]; ++i) {
        std::string text = command_texts[i];
        text.resize(text.find(' ') == std::string::npos ? text.size() : text.find(' '));
        if (text[0] != '|')
            words.push_back(text);
    }
    line_editor_set_completions(words);
}

// Reads a command line at the terminal with editing and history. ^C
// discards the line; ^D reads again, as end of input at a terminal does.
// Returns false when the terminal has gone (hung up) or KESTREL is to end.
static bool read_edited_line() {
    for (;;) {
        int length = line_editor_read("<>", shell.command_line, COMMAND_LINE_SIZE);
        if (host_input_ended())
            return false;
        if (length >= 0) {
            interrupt_seen = 0;
            page_pause('\n');
            return true;
        }
        if (length == LINE_EDITOR_INTERRUPTED || interrupt_seen) {
            interrupt_seen = 0;
            std::fprintf(stdout, " ^C typed\r\n");
        } else {
            std::fprintf(stdout, "\r\n");
        }
    }
}

// Reads the next command line into command_line. Returns false when the
// emulator is to end because its piped input has ended.
static bool obtain_line(bool edit) {
    if (shell.mode_input) {
        int length = read_line(shell.mode_input, shell.command_line, COMMAND_LINE_SIZE);
        if (length < 0 && shell.command_line[0] == '\0') {
            std::fprintf(shell.operator_output, "\r\nEnd of file on mode input file\r\n");
            if (shell.mode_input != stdin)
                std::fclose(shell.mode_input);
            if (shell.operator_output != stdout)
                std::fclose(shell.operator_output);
            shell.operator_output = stdout;
            shell.echo_stream = stdout;
            shell.prompt_input = nullptr;
            shell.mode_input = nullptr;
            shell.command_line[0] = '\0';
        } else if (length < 0) {
            std::fputc('\n', shell.operator_output);
        }
        return true;
    }
    if (shell.program_command_pending)
        return true;
    if (shell.startup_image_pending) {
        shell.startup_image_pending = 0;
        std::snprintf(shell.command_line, COMMAND_LINE_SIZE, "%s%s",
                      shell.startup_image_name.c_str(), shell.startup_arguments.c_str());
        if (!shell.startup_user_name.empty()) {
            std::fprintf(shell.operator_output, "\r\nMust change to user %s\r\n",
                         shell.startup_user_name.c_str());
            user_table.current_user_index = find_user_exact(shell.startup_user_name);
            user_table.current_user_name = shell.startup_user_name;
        }
        return true;
    }
    if (edit)
        return read_edited_line();
    for (;;) {
        shell.console_read_interrupted = 0;
        int length = read_line(nullptr, shell.command_line, COMMAND_LINE_SIZE);
        // A line cut short by a termination signal is not carried out.
        if (host_must_end())
            return false;
        if (length != CONSOLE_EOF)
            return true;
        // After a ^C the prompt comes again, as the operator expects it after
        // " ^C typed".
        if (shell.console_read_interrupted) {
            std::fprintf(stdout, "<>");
            continue;
        }
        if (host_input_ended())
            return false;
    }
}

void run_command_loop() {
    prepare_completions();
    bool first = true;
    while (!shell.quit_requested && !host_must_end()) {
        machine.STS = compose_sts(machine.current_level, machine.STS);
        reset_terminal_for_command();
        scan_users();
        // A ^C that came while a command worked without a program running
        // (a wait, a listing) is reported before the next prompt.
        if (interrupt_seen)
            report_idle_interrupt();
        shell.console_read_interrupted = 0;
        bool pending = shell.program_command_pending;
        bool edit = editing_at_terminal();
        if (!pending) {
            if (!edit)
                std::fprintf(shell.operator_output, "<>");
            if (!first && !shell.previous_line_empty && shell.operator_output == stdout)
                page_pause('\n');
        }
        first = false;
        std::fflush(shell.operator_output);
        bool startup_program = !pending && !shell.mode_input && shell.startup_image_pending;
        if (!obtain_line(edit))
            break;
        // A line placed by the program is always a RECOVER: command_line holds
        // its text and argument_position points past the command word.
        if (pending)
            cmd_recover();
        else if (startup_program)
            run_startup_program();
        else
            execute_command_line(shell.command_line);
        // What the command held against other KESTRELs goes with it.
        release_command_reservations(0);
        // A line placed by the program is taken once.
        if (pending && shell.program_command_pending)
            shell.program_command_pending = 0;
        host_flush_output();
        // A one-program run ends with its program (unless it left a command).
        if (shell.end_after_startup_program && !shell.program_command_pending)
            break;
    }
    if (shell.quit_requested)
        return;
    // The end of input or of a one-program run, a termination signal or the
    // end of standard output.
    if (const char *end_reason = host_end_reason())
        std::fprintf(stdout, "\r\n--- Terminated KESTREL: %s\r\n", end_reason);
    else
        std::fprintf(stdout, "\r\n--- Terminated KESTREL\r\n");
}
