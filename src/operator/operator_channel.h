// The operator channel: the shell line and its argument position, where the
// operator's messages go (standard output or the @mode output file), where
// commands and answers come from, the command line handed to the ND program,
// and the reports of a ^C.
#pragma once

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>

constexpr int COMMAND_LINE_SIZE = 1024;

// Result of reading a line or an argument when the console input has ended.
constexpr int CONSOLE_EOF = -99;

struct ShellState {
    char command_line[COMMAND_LINE_SIZE];
    int argument_position;
    int saved_argument_position;
    FILE *operator_output;  // messages: standard output or the @mode output file
    FILE *echo_stream;      // argument prompts and echoed file lines
    FILE *prompt_input;     // answers to prompts; null = the console
    FILE *mode_input;       // the @mode command file; null = the console
    // Mode files started one by another since the console last gave a
    // command (each takes the place of the one that started it).
    int chained_mode_files;
    int quit_requested;
    int program_command_pending;
    char program_command_line[COMMAND_LINE_SIZE];
    int program_command_line_position;
    int64_t start_time;
    // Host time in milliseconds when the current run was started.
    int64_t run_start_milliseconds;
    int previous_line_empty;
    // Set by start-up when the host command line named a program: run it on
    // the first pass, never taken as a command. startup_image_name is an ND
    // name, or empty when startup_host_image is the host path of the image;
    // startup_user_name is the user of an image path ".../(USER)/NAME.PROG",
    // logged in first; startup_arguments the program command line.
    std::string startup_image_name;
    std::string startup_user_name;
    std::string startup_host_image;
    std::string startup_arguments;
    int startup_image_pending;
    // A one-program run: the loop ends when that program's run (and what it
    // left for the shell) is done.
    int end_after_startup_program;
    // Set when a ^C ended a line read from the console: the reader has
    // reported it and returned CONSOLE_EOF.
    int console_read_interrupted;
};

extern ShellState shell;

// Informational messages are kept back in silent mode and while a command
// placed by the ND program is pending.
bool informational_messages_suppressed();

// Sets the program command line from the rest of a shell line (starting at
// `from`), followed by CR.
void set_program_command_line(const char *rest);

// Returns command input and the operator output to the console (closing an
// @mode file that is not standard input).
void return_input_to_console();

// ^C: the handler only records it; ordinary code reports it. The end of input
// while the program waits for a key stops the run the same way, recorded
// with its own value so that it is reported as what it is.
constexpr sig_atomic_t STOPPED_BY_INTERRUPT = 1;
constexpr sig_atomic_t STOPPED_AT_END_OF_INPUT = 2;
extern volatile sig_atomic_t interrupt_stopped_run;
// Reports a ^C that stopped a run and returns command input to the console.
void report_interrupted_run();
// Reports a ^C that came while no program ran: prints " ^C typed\r\n",
// returns command input and output to the console and discards the line.
void report_idle_interrupt();
