// The operator shell: its state, the operator output, the abbreviation
// matcher and the argument readers every command handler uses.
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

// Match results of match_command.
enum MatchResult : int {
    MATCH_NONE = 0,
    MATCH_ABBREVIATION = 1,
    MATCH_AMBIGUOUS = 2,
    MATCH_EMPTY = 3,
    MATCH_EXACT = 4,
};

// Matches the word of `text` starting at `start` against a null-terminated
// table of texts (only the part of an entry before its first blank counts).
int match_command(const char *text, int start, const char *const *table, int *index,
                  int *terminator, int *end);

// Reads one line. With a stream (or while a prompt input is set) reads up to
// LF, strips bit 7, drops CR, echoes to the echo stream and returns the length
// or -1 at end of file. Without one, reads the console and returns the length,
// or CONSOLE_EOF at its end and after a ^C, which it reports. The line is
// always NUL-terminated and cut to fit.
int read_line(FILE *stream, char *buffer, int size);

int read_octal_argument(uint32_t *value, uint32_t default_value, const char *prompt,
                        int *bad_char);
int read_decimal_argument(uint32_t *value, uint32_t default_value, const char *prompt,
                          int *bad_char);
int read_signed_decimal_argument(int32_t *value, int *bad_char);
int read_word_argument(std::string *text, const char *default_text, const char *prompt);
int read_choice_argument(const char *prompt, const char *default_word, const char *alternatives);

// Informational messages are kept back in silent mode and while a command
// placed by the ND program is pending.
bool informational_messages_suppressed();

// Sets the program command line from the rest of a shell line (starting at
// `from`), followed by CR.
void set_program_command_line(const char *rest);

// Returns command input and the operator output to the console (closing an
// @mode file that is not standard input).
void return_input_to_console();

// Set by the image loader when the last load put a whole image into memory.
extern int image_loaded;
// The run driver: starts the loaded program at its start address as typing
// its name does, and reports the run when it stops.
void run_loaded_program();

// ^C: the handler only records it; ordinary code reports it. The end of input
// while the program waits for a key stops the run the same way, recorded
// with its own value so that it is reported as what it is.
constexpr sig_atomic_t STOPPED_BY_INTERRUPT = 1;
constexpr sig_atomic_t STOPPED_AT_END_OF_INPUT = 2;
extern volatile sig_atomic_t interrupt_stopped_run;
void on_interrupt(int signal_number);
// Reports a ^C that stopped a run and returns command input to the console.
void report_interrupted_run();
// Reports a ^C that came while no program ran: prints " ^C typed\r\n",
// returns command input and output to the console and discards the line.
void report_idle_interrupt();

// Start-up and the command loop; returns the process exit status.
int shell_main(int argc, char **argv);
// Closes what is open at the end of KESTREL and returns the exit status:
// 128 + n after signal n (SIGTERM, SIGHUP); for a one-program run 2 when the
// program could not be loaded and 1 when it stopped other than at MON 0;
// 1 when output could not be written to standard output; 0 otherwise.
int end_kestrel();
// SIGTERM, SIGHUP and the end of standard output stop a running program.
void on_end_request();
void run_command_loop();
// Executes one shell line as the command loop does.
void execute_command_line(const char *line);
