#include "host/host.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct HostInput {
    bool stdin_terminal = false;
    bool have_saved_mode = false;
    bool raw = false;
    bool program_running = false;
    bool ended = false;
    termios saved_mode{};
    termios raw_mode{};
    unsigned char buffer[4096];
    int count = 0;
    int position = 0;
    int pushed_back[8];
    int pushed_count = 0;
};

// What the signal handlers share with ordinary code. A termination signal
// writes a byte into the wake pipe, which every wait for input watches, so
// that a signal that comes just before a wait still ends it.
struct HostSignals {
    volatile sig_atomic_t termination_signal = 0;
    volatile sig_atomic_t interrupt_count = 0;
    volatile sig_atomic_t mouse_reporting = 0;
    volatile sig_atomic_t mode_kept_at_stop = 0;
    termios mode_at_stop{};
    int wake_pipe[2] = {-1, -1};
    void (*interrupt_handler)(int) = nullptr;
    void (*end_hook)() = nullptr;
};

struct HostOutput {
    bool failed = false;
    bool closed = false;
};

HostInput input;
HostSignals signals;
HostOutput output;
volatile sig_atomic_t resize_seen = 0;
// Null until a quiet run gives the ND terminal's output a stream of its own;
// then terminal_fd is that stream's descriptor (read by the handlers too).
FILE *separate_terminal_output = nullptr;
volatile sig_atomic_t terminal_fd = STDOUT_FILENO;

const char MOUSE_OFF[] = "\x1b[?1006l\x1b[?1000l";
const char MOUSE_ON[] = "\x1b[?1000h\x1b[?1006h";

// Async-signal-safe: used by the handlers as well as by ordinary code.
void write_sequence(const char *text, size_t length) {
    if (!isatty(terminal_fd))
        return;
    ssize_t written = write(terminal_fd, text, length);
    (void)written;
}

// The mode of start, whoever changed it last (the line editor sets modes of
// its own).
void restore_at_exit() {
    input.program_running = false;
    input.raw = false;
    if (input.have_saved_mode)
        tcsetattr(STDIN_FILENO, TCSANOW, &input.saved_mode);
}

void install_handler(int signal_number, void (*handler)(int), int flags) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = flags;
    sigaction(signal_number, &action, nullptr);
}

void on_fatal_signal(int signal_number) {
    // Mouse reporting may be on while an event wait runs; the terminal must
    // not go on reporting clicks to the shell that follows.
    write_sequence(MOUSE_OFF, sizeof MOUSE_OFF - 1);
    if (input.have_saved_mode)
        tcsetattr(STDIN_FILENO, TCSANOW, &input.saved_mode);
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

void on_termination(int signal_number) {
    if (signals.termination_signal)
        on_fatal_signal(signal_number);
    int saved_errno = errno;
    signals.termination_signal = signal_number;
    ssize_t written = write(signals.wake_pipe[1], "", 1);
    (void)written;
    if (signals.end_hook)
        signals.end_hook();
    errno = saved_errno;
}

void on_interrupt_signal(int signal_number) {
    signals.interrupt_count = signals.interrupt_count + 1;
    if (signals.interrupt_handler)
        signals.interrupt_handler(signal_number);
}

// Puts back the terminal mode kept when KESTREL was stopped.
void restore_mode_after_stop() {
    if (signals.mode_kept_at_stop) {
        signals.mode_kept_at_stop = 0;
        tcsetattr(STDIN_FILENO, TCSANOW, &signals.mode_at_stop);
    } else if (input.raw) {
        tcsetattr(STDIN_FILENO, TCSANOW, &input.raw_mode);
    }
    if (signals.mouse_reporting)
        write_sequence(MOUSE_ON, sizeof MOUSE_ON - 1);
}

// ^Z: the shell that takes over gets the terminal as it was at start; the
// stop itself is the default action, raised again here.
void on_stop_signal(int signal_number) {
    int saved_errno = errno;
    if (input.have_saved_mode && tcgetattr(STDIN_FILENO, &signals.mode_at_stop) == 0) {
        signals.mode_kept_at_stop = 1;
        tcsetattr(STDIN_FILENO, TCSANOW, &input.saved_mode);
    }
    if (signals.mouse_reporting)
        write_sequence(MOUSE_OFF, sizeof MOUSE_OFF - 1);
    std::signal(signal_number, SIG_DFL);
    sigset_t stop_set;
    sigemptyset(&stop_set);
    sigaddset(&stop_set, signal_number);
    sigprocmask(SIG_UNBLOCK, &stop_set, nullptr);
    std::raise(signal_number);
    // Going on (SIGCONT), or never stopped: a process group without a
    // shell to continue it is not stopped by ^Z.
    install_handler(signal_number, on_stop_signal, SA_RESTART);
    if (signals.mode_kept_at_stop)
        restore_mode_after_stop();
    errno = saved_errno;
}

void on_continue(int) {
    int saved_errno = errno;
    restore_mode_after_stop();
    errno = saved_errno;
}

void on_resize(int) { resize_seen = 1; }

bool handler_may_be_installed(int signal_number) {
    struct sigaction current {};
    sigaction(signal_number, nullptr, &current);
    return current.sa_handler != SIG_IGN;
}

void install_signal_handlers() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    if (pipe2(signals.wake_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        signals.wake_pipe[0] = signals.wake_pipe[1] = -1;
    std::atexit(restore_at_exit);
    // A closed pipe on standard output is seen as a failed write and ends
    // KESTREL in order, the terminal restored.
    std::signal(SIGPIPE, SIG_IGN);
    install_handler(SIGTERM, on_termination, SA_RESTART);
    if (handler_may_be_installed(SIGHUP))
        install_handler(SIGHUP, on_termination, SA_RESTART);
    install_handler(SIGQUIT, on_fatal_signal, 0);
    if (handler_may_be_installed(SIGTSTP))
        install_handler(SIGTSTP, on_stop_signal, SA_RESTART);
    install_handler(SIGCONT, on_continue, SA_RESTART);
    install_handler(SIGWINCH, on_resize, SA_RESTART);
}

// A terminal that hung up: poll reports it, reads give 0 or EIO.
bool terminal_hung_up() {
    pollfd fd{STDIN_FILENO, POLLIN, 0};
    return poll(&fd, 1, 0) > 0 && (fd.revents & (POLLHUP | POLLERR | POLLNVAL));
}

// Output that can take nothing more: a pipe whose reader has gone reports
// an error, a terminal that hung up a hang-up.
bool output_gone(int fd) {
    pollfd poll_fd{fd, POLLOUT, 0};
    return poll(&poll_fd, 1, 0) > 0 && (poll_fd.revents & (POLLHUP | POLLERR | POLLNVAL));
}

void request_end() {
    if (signals.end_hook)
        signals.end_hook();
}

}  // namespace

bool host_stdin_is_terminal() { return isatty(STDIN_FILENO); }
bool host_stdout_is_terminal() { return isatty(terminal_fd); }

void host_terminal_init() {
    input.stdin_terminal = isatty(STDIN_FILENO);
    input.have_saved_mode = false;
    input.raw = false;
    input.ended = false;
    input.count = 0;
    input.position = 0;
    input.pushed_count = 0;
    if (input.stdin_terminal && tcgetattr(STDIN_FILENO, &input.saved_mode) == 0)
        input.have_saved_mode = true;
    install_signal_handlers();
    output = HostOutput{};
    signals.termination_signal = 0;
    char drained[16];
    while (signals.wake_pipe[0] >= 0 && read(signals.wake_pipe[0], drained, sizeof drained) > 0) {
    }
}

bool host_terminal_raw() {
    if (!input.have_saved_mode || input.raw)
        return true;
    termios mode = input.saved_mode;
    mode.c_lflag &= ~(ICANON | ECHO);
    mode.c_lflag |= ISIG;
    mode.c_iflag &= ~(ICRNL | INLCR | IGNCR | IXON);
    mode.c_cc[VMIN] = 1;
    mode.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &mode) != 0)
        return false;
    input.raw_mode = mode;
    input.raw = true;
    return true;
}

bool host_terminal_restore() {
    // While a program runs the terminal stays raw, so that keys typed
    // between two terminal calls wait unechoed for the next call.
    if (!input.have_saved_mode || !input.raw || input.program_running)
        return true;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &input.saved_mode) != 0)
        return false;
    input.raw = false;
    return true;
}

void host_terminal_program_running(bool running) {
    input.program_running = running;
    if (running)
        host_terminal_raw();
    else
        host_terminal_restore();
}

// Waits until standard input can be read. A signal other than ^C or a
// termination (a resize, ^Z and SIGCONT) does not end a wait without time
// limit. Returns false when the time passed or *interrupted is set.
static bool wait_readable(int timeout_ms, bool *interrupted) {
    for (;;) {
        if (signals.termination_signal) {
            *interrupted = true;
            return false;
        }
        sig_atomic_t interrupts = signals.interrupt_count;
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {signals.wake_pipe[0], POLLIN, 0}};
        int ready = poll(fds, signals.wake_pipe[0] >= 0 ? 2 : 1, timeout_ms);
        if (ready < 0 && errno == EINTR) {
            if (timeout_ms < 0 && interrupts == signals.interrupt_count &&
                !signals.termination_signal)
                continue;
            *interrupted = true;
            return false;
        }
        if (ready > 0 && (fds[1].revents & POLLIN)) {
            *interrupted = true;
            return false;
        }
        // A hang-up or error is read next, and the read reports it.
        return ready > 0;
    }
}

// The end of input at a terminal: an error other than a signal's, or a hang-up.
static bool terminal_input_lost(ssize_t got) {
    if (got < 0)
        return errno != EINTR && errno != EAGAIN;
    return terminal_hung_up();
}

int host_read_byte(int timeout_ms) {
    if (host_must_end()) {
        input.ended = true;
        return HOST_EOF;
    }
    if (input.pushed_count > 0)
        return input.pushed_back[--input.pushed_count];
    if (input.position < input.count)
        return input.buffer[input.position++];
    if (input.ended)
        return HOST_EOF;
    if (!host_flush_output()) {
        input.ended = true;
        return HOST_EOF;
    }
    bool interrupted = false;
    if (!wait_readable(timeout_ms, &interrupted)) {
        if (host_must_end())
            return HOST_EOF;
        return interrupted ? HOST_INTERRUPTED : HOST_TIMEOUT;
    }
    // A terminal is read one byte at a time so that no typed key is taken
    // before it is asked for; pipes and files are read in blocks.
    size_t want = input.stdin_terminal ? 1 : sizeof input.buffer;
    ssize_t got = read(STDIN_FILENO, input.buffer, want);
    if (got > 0) {
        input.count = static_cast<int>(got);
        input.position = 1;
        return input.buffer[0];
    }
    if (got < 0 && (errno == EINTR || errno == EAGAIN))
        return HOST_INTERRUPTED;
    // A pipe or file has ended for good. At a terminal ^D ends one read, not
    // the terminal; a terminal that hung up or fails has ended.
    if (!input.stdin_terminal || terminal_input_lost(got))
        input.ended = true;
    return HOST_EOF;
}

void host_unread_byte(int byte) {
    if (input.pushed_count < 8)
        input.pushed_back[input.pushed_count++] = byte;
}

bool host_input_waiting(int timeout_ms) {
    if (host_must_end())
        return false;
    if (input.pushed_count > 0 || input.position < input.count)
        return true;
    if (input.ended || !host_flush_output())
        return false;
    bool interrupted = false;
    return wait_readable(timeout_ms, &interrupted);
}

bool host_input_ended() {
    if (host_must_end())
        return true;
    return input.ended && input.pushed_count == 0 && input.position >= input.count;
}

void host_window_size(int *columns, int *rows) {
    winsize size{};
    if (isatty(terminal_fd) && ioctl(terminal_fd, TIOCGWINSZ, &size) == 0 && size.ws_col &&
        size.ws_row) {
        *columns = size.ws_col;
        *rows = size.ws_row;
        return;
    }
    *columns = 80;
    *rows = 25;
}

FILE *host_terminal_output() {
    return separate_terminal_output ? separate_terminal_output : stdout;
}

bool host_keep_standard_output_for_terminal() {
    if (separate_terminal_output)
        return true;
    std::fflush(stdout);
    int kept_fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (kept_fd < 0)
        return false;
    FILE *terminal_stream = fdopen(kept_fd, "w");
    if (!terminal_stream) {
        close(kept_fd);
        return false;
    }
    int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null_fd < 0 || dup2(null_fd, STDOUT_FILENO) < 0) {
        if (null_fd >= 0)
            close(null_fd);
        std::fclose(terminal_stream);
        return false;
    }
    close(null_fd);
    separate_terminal_output = terminal_stream;
    terminal_fd = kept_fd;
    return true;
}

void host_set_mouse_reporting(bool on) {
    if (!isatty(terminal_fd) || (signals.mouse_reporting != 0) == on)
        return;
    std::fflush(host_terminal_output());
    if (on)
        write_sequence(MOUSE_ON, sizeof MOUSE_ON - 1);
    else
        write_sequence(MOUSE_OFF, sizeof MOUSE_OFF - 1);
    signals.mouse_reporting = on ? 1 : 0;
}

// Flushes one output stream; a failure is remembered, and an output that
// has closed for good ends KESTREL.
static void flush_stream(FILE *stream) {
    errno = 0;
    bool flushed = std::fflush(stream) == 0 && !std::ferror(stream);
    if (flushed)
        return;
    int error = errno;
    std::clearerr(stream);
    output.failed = true;
    // stdio may have failed in an earlier write of its own, whose error
    // number is gone: the descriptor tells whether it can take more.
    if (!output.closed && (error == EPIPE || output_gone(fileno(stream)))) {
        output.closed = true;
        request_end();
    }
}

bool host_flush_output() {
    if (output.closed)
        return false;
    // KESTREL's own messages on stdout, and the ND terminal's output where a
    // quiet run gave it a stream of its own on the real standard output.
    flush_stream(stdout);
    if (separate_terminal_output)
        flush_stream(separate_terminal_output);
    return !output.closed;
}

bool host_output_failed() { return output.failed; }

void host_install_interrupt_handler(void (*handler)(int)) {
    signals.interrupt_handler = handler;
    // Waits for input (poll) and sleeps return on a signal whatever the
    // flags say; a write to the terminal is carried on, not cut short.
    install_handler(SIGINT, on_interrupt_signal, SA_RESTART);
}

void host_install_end_hook(void (*stop)()) { signals.end_hook = stop; }

bool host_must_end() { return signals.termination_signal != 0 || output.closed; }

int host_termination_signal() { return signals.termination_signal; }

const char *host_end_reason() {
    switch (signals.termination_signal) {
    case 0: return output.closed ? "Standard output closed" : nullptr;
    case SIGTERM: return "SIGTERM received";
    case SIGHUP: return "SIGHUP received";
    default: return "Signal received";
    }
}

void host_suspend() { std::raise(SIGTSTP); }

bool host_take_resize_event() {
    if (!resize_seen)
        return false;
    resize_seen = 0;
    return true;
}
