// The host layer: the only code that talks to POSIX (termios, poll, signals,
// flock, clocks, directory listing).
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

// Results of host_read_byte besides a byte value.
constexpr int HOST_EOF = -1;
constexpr int HOST_TIMEOUT = -2;
constexpr int HOST_INTERRUPTED = -3;

// --- standard input and the terminal ---
bool host_stdin_is_terminal();
bool host_stdout_is_terminal();
// Remembers the terminal mode KESTREL started with and arranges for it to be
// restored on every way out.
void host_terminal_init();
// Raw mode: no line editing, no echo, no CR translation; ^C still signals.
// Returns false (with errno set) when the terminal refused the mode.
bool host_terminal_raw();
// The terminal's mode as it was at start (kept raw while a program runs).
// Returns false (with errno set) when the terminal refused the mode.
bool host_terminal_restore();
// Raw for the whole run of an ND program, so that the terminal neither
// echoes nor edits keys typed ahead of the program's terminal calls; the
// mode of start comes back when the run ends.
void host_terminal_program_running(bool running);
// Next byte of standard input. timeout_ms < 0 waits for ever. Returns the
// byte, HOST_EOF at the end of input, HOST_TIMEOUT, or HOST_INTERRUPTED when
// a signal cut the wait short.
int host_read_byte(int timeout_ms);
// Puts a byte back so that the next host_read_byte returns it.
void host_unread_byte(int byte);
// True when a byte can be read within timeout_ms.
bool host_input_waiting(int timeout_ms);
// True once standard input has reported its end.
bool host_input_ended();
// Columns and rows of the terminal on standard output, 80 x 25 otherwise.
void host_window_size(int *columns, int *rows);
void host_write(const char *data, size_t length);
// The stream that carries the ND terminal's output: standard output, unless
// host_keep_standard_output_for_terminal moved KESTREL's own messages away.
FILE *host_terminal_output();
// Quiet runs: standard output is left to the ND terminal alone. The terminal
// output gets a stream of its own on the standard output descriptor, and the
// C stream stdout, which KESTREL's own messages use, writes to /dev/null.
// Returns false (with errno set) when that cannot be arranged.
bool host_keep_standard_output_for_terminal();

// --- signals ---
void host_install_interrupt_handler(void (*handler)(int));
// Set by SIGWINCH.
bool host_take_resize_event();

// --- time ---
int64_t host_time_seconds();
int64_t host_time_milliseconds();
void host_local_time(struct tm *out);
// Sleeps; returns early when a signal arrives.
void host_sleep_ms(int milliseconds);

// --- files and directories ---
struct HostFileInfo {
    bool exists;
    bool is_directory;
    uint64_t size;
    uint64_t identity;  // file index (inode)
    int64_t modified;   // seconds
    int64_t accessed;
    int64_t created;
};
HostFileInfo host_file_info(const std::string &path);
// Names in a directory, sorted in byte order, without "." and "..". Returns
// false when the directory cannot be read.
bool host_list_directory(const std::string &path, std::vector<std::string> *names);
bool host_make_directory(const std::string &path);
// Creates an empty file; false (errno EEXIST) when anything has that name.
bool host_create_new_file(const std::string &path);
bool host_remove_directory(const std::string &path);
bool host_rename(const std::string &from, const std::string &to);
bool host_remove_file(const std::string &path);
bool host_set_file_size(const std::string &path, uint64_t size);
// Sets the size of an open file, whatever its name is by now.
bool host_set_stream_size(FILE *stream, uint64_t size);
bool host_set_file_times(const std::string &path, int64_t accessed, int64_t modified);
bool host_change_directory(const std::string &path);
// The working directory, or an empty string when it cannot be read.
std::string host_current_directory();
// Text of the last host error.
std::string host_error_text();

// --- exclusive locks between KESTREL processes ---
// Takes an exclusive advisory lock on the file at path (created if needed),
// held until the process ends.
enum class LockResult { Locked, HeldElsewhere, CannotCreate };
LockResult host_try_lock(const std::string &path);
