#include "operator/operator_channel.h"

#include "console/terminal.h"
#include "host/host.h"
#include "operator/output_file.h"
#include "operator/run_outcome.h"
#include "settings/settings.h"

#include <cstdio>
#include <cstring>

ShellState shell;

volatile sig_atomic_t interrupt_stopped_run = 0;

bool informational_messages_suppressed() {
    return settings.silent_mode || shell.program_command_pending;
}

void set_program_command_line(const char *rest) {
    size_t length = std::strlen(rest);
    if (length > COMMAND_LINE_SIZE - 2)
        length = COMMAND_LINE_SIZE - 2;
    std::memcpy(shell.program_command_line, rest, length);
    shell.program_command_line[length] = '\r';
    shell.program_command_line[length + 1] = '\0';
    shell.program_command_line_position = 0;
    if (!shell.program_command_pending && !settings.silent_mode)
        std::fprintf(shell.operator_output, "\r\nCommand line set to: %s\r\n",
                     shell.program_command_line);
}

void return_input_to_console() {
    if (shell.mode_input && shell.mode_input != stdin)
        std::fclose(shell.mode_input);
    // What the mode file's commands said must all have reached its output
    // file; the report of a loss goes to the console.
    if (shell.operator_output && shell.operator_output != stdout)
        finish_written_stream(shell.operator_output, "the mode output file", stdout);
    shell.mode_input = nullptr;
    shell.prompt_input = nullptr;
    shell.operator_output = stdout;
    shell.echo_stream = stdout;
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
