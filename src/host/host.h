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
// True once standard input has reported its end (a pipe or file at its end,
// a terminal that hung up or fails with EIO), and from the moment KESTREL
// is to end (host_must_end).
bool host_input_ended();
// Columns and rows of the terminal on standard output, 80 x 25 otherwise.
void host_window_size(int *columns, int *rows);
// Tells the host layer whether the terminal reports mouse events, so that
// it can switch them off while KESTREL is stopped (^Z) or dies, and on again
// when it goes on.
void host_set_mouse_reporting(bool on);

// --- standard output ---
// Flushes standard output (and the ND terminal's own stream in a quiet run).
// A write that failed there is remembered (the exit status reports it); when
// the output has closed for good (a pipe without reader, a terminal that hung
// up) KESTREL is to end, as on SIGTERM. Returns false once it has closed.
bool host_flush_output();
// True when something could not be written to standard output.
bool host_output_failed();
// The stream that carries the ND terminal's output: standard output, unless
// host_keep_standard_output_for_terminal moved KESTREL's own messages away.
FILE *host_terminal_output();
// Quiet runs: standard output is left to the ND terminal alone. The terminal
// output gets a stream of its own on the standard output descriptor, and the
// C stream stdout, which KESTREL's own messages use, writes to /dev/null.
// Returns false (with errno set) when that cannot be arranged.
bool host_keep_standard_output_for_terminal();

// --- signals ---
// ^C: the handler runs on SIGINT. A wait for input or a sleep that it cuts
// short returns (HOST_INTERRUPTED); a write in progress is completed.
void host_install_interrupt_handler(void (*handler)(int));
// SIGTERM and SIGHUP (and standard output closing) end KESTREL: `stop` is
// called at once, from the signal handler, and may only store flags (it
// stops a running program as ^C does); from then on input has ended and
// host_must_end() holds, and the command loop ends. A second such signal
// ends the process at once, with the terminal restored. SIGHUP that was
// ignored when KESTREL started (nohup) stays ignored. ^Z (SIGTSTP) gives
// the terminal its mode of start back while KESTREL is stopped, and SIGCONT
// restores the mode KESTREL had.
void host_install_end_hook(void (*stop)());
// True once KESTREL is to end (a termination signal, or standard output
// closed).
bool host_must_end();
// The signal that ends KESTREL (SIGTERM, SIGHUP), or 0.
int host_termination_signal();
// Why KESTREL is to end, for the operator ("SIGTERM received", "Standard
// output closed"), or null.
const char *host_end_reason();
// Stops KESTREL as ^Z does where the terminal sends no signal for it (the
// line editor reads ^Z as a key).
void host_suspend();
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
bool host_remove_directory(const std::string &path);
// Renames without ever replacing a file: fails with EEXIST when `to` exists.
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

// --- ND files: regular files only, never through a symbolic link ---
// Opens a file with a stdio mode ("r", "rb", "rb+", "w", "wb", "w+", "a",
// "ab", "a+b"), as fopen does, but a symbolic link as the last part of the
// path (even a dangling one, which is not created through) and anything that
// is not a regular file are refused (errno ELOOP, EISDIR or EINVAL), and a
// "w" mode empties the file only once it is known to be a regular file.
// Returns null with errno set on failure.
FILE *host_open_regular_file(const std::string &path, const char *mode);
// Makes a new, empty regular file and returns it open for writing ("wb").
// Never follows a link and never opens what exists: a name already taken,
// by a file or a link, fails with errno EEXIST.
FILE *host_create_new_file(const std::string &path);
// True when the entry at path is a regular file itself, not a symbolic link
// or anything else.
bool host_is_regular_file(const std::string &path);
// True when the relative path leads to a place inside the working
// directory once every link in its directory part has been followed, or
// leads nowhere (a directory of it does not exist). The last part is not
// followed here: open it with the functions above.
bool host_path_stays_beneath(const std::string &path);

// --- reservations of files shared between KESTREL processes ---
// A lock handle is a descriptor of the file itself, kept for its locks: open
// file description locks, so that every handle holds its own and the kernel
// releases them when the handle is closed or the process ends.
struct HostLockHandle {
    int descriptor = -1;
    uint64_t device = 0;
    uint64_t inode = 0;
};
enum class HostLockLevel { None, Shared, Exclusive };
// Opens a handle on the regular file at path (no link followed). Returns
// false with errno set.
bool host_open_lock_handle(const std::string &path, HostLockHandle *handle);
void host_close_lock_handle(HostLockHandle *handle);
// Sets the handle's lock without waiting; a shared lock becomes exclusive or
// back in one step, and a refused change leaves the lock as it was. Returns
// false when another handle's lock is in the way (errno EAGAIN) or on a host
// error.
bool host_set_lock(const HostLockHandle &handle, HostLockLevel level);
// True when a handle other than this one holds any lock on the file.
bool host_locked_by_other_handle(const HostLockHandle &handle);

// --- writing host files ---
// Every write, flush and close of a host file that KESTREL writes goes
// through these. They return false with errno set when the host refused.
bool host_write_bytes(FILE *stream, const void *data, size_t length);
// One byte, as host_write_bytes writes it, through the stream's buffer
// without a call per byte into the C library's block write.
bool host_write_byte(FILE *stream, unsigned char byte);
bool host_flush(FILE *stream);
// Bytes written to the stream that still wait in its buffer.
uint64_t host_unwritten_bytes(FILE *stream);
// Closes the stream whatever happens; false when its last data could not be
// written.
bool host_close(FILE *stream);
// A full disk: no space, the quota or the file-size limit reached.
bool host_error_is_no_space(int error);
// For tests: the writes above fail with `error` once `allowed` more bytes
// have gone through them, and keep failing until stopped.
void host_fail_writes_after(uint64_t allowed, int error);
void host_stop_failing_writes();

// --- exclusive locks between KESTREL processes ---
// Takes an exclusive advisory lock on the file at path (created if needed),
// held until the process ends.
enum class LockResult { Locked, HeldElsewhere, CannotCreate };
LockResult host_try_lock(const std::string &path);
