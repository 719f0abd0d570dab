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
    unsigned char buffer[4096];
    int count = 0;
    int position = 0;
    int pushed_back[8];
    int pushed_count = 0;
};

HostInput input;
volatile sig_atomic_t resize_seen = 0;
// Null until a quiet run gives the terminal its own stream.
FILE *separate_terminal_output = nullptr;

// Output the user is to see before KESTREL waits for input.
void flush_output() {
    std::fflush(stdout);
    if (separate_terminal_output) std::fflush(separate_terminal_output);
}

// The descriptor the ND terminal's output goes to.
int terminal_output_fd() {
    return separate_terminal_output ? fileno(separate_terminal_output) : STDOUT_FILENO;
}

void restore_at_exit() {
    input.program_running = false;
    host_terminal_restore();
}

void on_fatal_signal(int signal_number) {
    // Mouse reporting may be on while an event wait runs; the terminal must
    // not go on reporting clicks to the shell that follows.
    static const char mouse_off[] = "\x1b[?1006l\x1b[?1000l";
    int fd = terminal_output_fd();
    if (isatty(fd)) {
        ssize_t written = write(fd, mouse_off, sizeof mouse_off - 1);
        (void)written;
    }
    if (input.have_saved_mode)
        tcsetattr(STDIN_FILENO, TCSANOW, &input.saved_mode);
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

void on_resize(int) { resize_seen = 1; }

}  // namespace

bool host_stdin_is_terminal() { return isatty(STDIN_FILENO); }
bool host_stdout_is_terminal() {
    return isatty(terminal_output_fd());
}

void host_terminal_init() {
    static bool restore_registered = false;
    input.stdin_terminal = isatty(STDIN_FILENO);
    input.have_saved_mode = false;
    input.raw = false;
    input.ended = false;
    input.count = 0;
    input.position = 0;
    input.pushed_count = 0;
    if (input.stdin_terminal && tcgetattr(STDIN_FILENO, &input.saved_mode) == 0) {
        input.have_saved_mode = true;
        if (!restore_registered)
            std::atexit(restore_at_exit);
        restore_registered = true;
        struct sigaction action {};
        action.sa_handler = on_fatal_signal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGHUP, &action, nullptr);
        sigaction(SIGQUIT, &action, nullptr);
    }
    struct sigaction resize {};
    resize.sa_handler = on_resize;
    sigemptyset(&resize.sa_mask);
    resize.sa_flags = SA_RESTART;
    sigaction(SIGWINCH, &resize, nullptr);
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

static bool wait_readable(int timeout_ms, bool *interrupted) {
    pollfd fd{STDIN_FILENO, POLLIN, 0};
    int ready = poll(&fd, 1, timeout_ms);
    if (ready < 0 && errno == EINTR)
        *interrupted = true;
    return ready > 0;
}

int host_read_byte(int timeout_ms) {
    if (input.pushed_count > 0)
        return input.pushed_back[--input.pushed_count];
    if (input.position < input.count)
        return input.buffer[input.position++];
    if (input.ended)
        return HOST_EOF;
    flush_output();
    if (timeout_ms >= 0) {
        bool interrupted = false;
        if (!wait_readable(timeout_ms, &interrupted))
            return interrupted ? HOST_INTERRUPTED : HOST_TIMEOUT;
    }
    // A terminal is read one byte at a time so that no typed key is taken
    // before it is asked for; pipes and files are read in blocks.
    size_t want = input.stdin_terminal ? 1 : sizeof input.buffer;
    ssize_t got = read(STDIN_FILENO, input.buffer, want);
    if (got < 0) {
        if (errno == EINTR || errno == EAGAIN)
            return HOST_INTERRUPTED;
        if (!input.stdin_terminal)
            input.ended = true;
        return HOST_EOF;
    }
    if (got == 0) {
        // ^D on a terminal ends one read, not the terminal.
        if (!input.stdin_terminal)
            input.ended = true;
        return HOST_EOF;
    }
    input.count = static_cast<int>(got);
    input.position = 1;
    return input.buffer[0];
}

void host_unread_byte(int byte) {
    if (input.pushed_count < 8)
        input.pushed_back[input.pushed_count++] = byte;
}

bool host_input_waiting(int timeout_ms) {
    if (input.pushed_count > 0 || input.position < input.count)
        return true;
    if (input.ended)
        return false;
    flush_output();
    bool interrupted = false;
    return wait_readable(timeout_ms, &interrupted);
}

bool host_input_ended() {
    return input.ended && input.pushed_count == 0 && input.position >= input.count;
}

void host_window_size(int *columns, int *rows) {
    winsize size{};
    int fd = terminal_output_fd();
    if (isatty(fd) && ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col && size.ws_row) {
        *columns = size.ws_col;
        *rows = size.ws_row;
        return;
    }
    *columns = 80;
    *rows = 25;
}

void host_write(const char *data, size_t length) {
    std::fwrite(data, 1, length, host_terminal_output());
}

FILE *host_terminal_output() {
    return separate_terminal_output ? separate_terminal_output : stdout;
}

bool host_keep_standard_output_for_terminal() {
    if (separate_terminal_output) return true;
    std::fflush(stdout);
    int terminal_fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (terminal_fd < 0) return false;
    FILE *terminal_stream = fdopen(terminal_fd, "w");
    if (!terminal_stream) {
        close(terminal_fd);
        return false;
    }
    int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null_fd < 0 || dup2(null_fd, STDOUT_FILENO) < 0) {
        if (null_fd >= 0) close(null_fd);
        std::fclose(terminal_stream);
        return false;
    }
    close(null_fd);
    separate_terminal_output = terminal_stream;
    return true;
}

void host_install_interrupt_handler(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocked read returns on ^C
    sigaction(SIGINT, &action, nullptr);
}

bool host_take_resize_event() {
    if (!resize_seen)
        return false;
    resize_seen = 0;
    return true;
}
