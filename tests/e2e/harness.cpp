#include "harness.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

std::string make_temporary_directory() {
    char pattern[] = "/tmp/kestrel-e2e-XXXXXX";
    char *made = mkdtemp(pattern);
    if (!made) {
        std::perror("mkdtemp");
        std::abort();
    }
    return made;
}

std::vector<char *> argument_vector(const std::vector<std::string> &arguments) {
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(KESTREL_BINARY));
    for (const auto &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    return argv;
}

int decode_status(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

NdTree::NdTree() : root_(make_temporary_directory()) {
    for (const char *user : {"(SYSTEM)", "(RT)", "(SCRATCH)", "(EMULATOR)"})
        make_directory(user);
    for (int n = 1; n <= 8; ++n) {
        char name[64];
        std::snprintf(name, sizeof name, "(SCRATCH)/SCRATCH%02d.DATA", n);
        write_file(name, "");
    }
    write_file("(SYSTEM)/TERMINAL.SYMB", "");
}

NdTree::~NdTree() {
    std::string command = "rm -rf '" + root_ + "'";
    if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", root_.c_str());
}

void NdTree::write_file(const std::string &relative, const std::string &content) const {
    std::ofstream file(path(relative), std::ios::binary);
    file << content;
}

std::string NdTree::read_file(const std::string &relative) const {
    std::ifstream file(path(relative), std::ios::binary);
    std::stringstream buffer;
    buffer << file.rdbuf();
    return buffer.str();
}

bool NdTree::exists(const std::string &relative) const {
    struct stat status {};
    return stat(path(relative).c_str(), &status) == 0;
}

void NdTree::make_directory(const std::string &relative) const {
    mkdir(path(relative).c_str(), 0777);
}

bool NdTree::assemble(const std::string &source, const std::string &relative_image,
                      std::string *log, const std::vector<std::string> &options) const {
    std::string source_path = root_ + "/.source.asm";
    {
        std::ofstream file(source_path, std::ios::binary);
        file << source;
    }
    std::string command = std::string("'") + KESTREL_BUILD_DIR + "/nd-asm' '" + source_path + "'";
    for (const auto &option : options)
        command += " " + option;
    command += " -o '" + path(relative_image) + "' 2>&1";
    std::string output;
    int status = run_host_command(command, &output);
    if (log)
        *log = output;
    unlink(source_path.c_str());
    return status == 0;
}

int run_host_command(const std::string &command, std::string *output) {
    output->clear();
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output->append(buffer, got);
    int status = pclose(pipe);
    return decode_status(status);
}

namespace {

// Runs kestrel in the tree; `errors_apart` keeps standard error apart from
// standard output; a `max_file_bytes` of 0 or more limits the size of every
// host file it writes.
RunResult run_process(const NdTree &tree, const std::string &input,
                      const std::vector<std::string> &arguments, int timeout_seconds,
                      bool errors_apart, long max_file_bytes = -1) {
    int to_child[2], from_child[2], errors_from_child[2] = {-1, -1};
    if (pipe(to_child) != 0 || pipe(from_child) != 0 ||
        (errors_apart && pipe(errors_from_child) != 0))
        std::abort();
    std::vector<char *> argv = argument_vector(arguments);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(to_child[0], STDIN_FILENO);
        dup2(from_child[1], STDOUT_FILENO);
        dup2(errors_apart ? errors_from_child[1] : from_child[1], STDERR_FILENO);
        for (int fd : {to_child[0], to_child[1], from_child[0], from_child[1], errors_from_child[0],
                       errors_from_child[1]})
            if (fd >= 0) close(fd);
        if (chdir(tree.root().c_str()) != 0)
            _exit(126);
        if (max_file_bytes >= 0) {
            // Writes beyond the limit then fail with EFBIG instead of
            // raising SIGXFSZ: a host write failure on a regular file.
            signal(SIGXFSZ, SIG_IGN);
            rlimit limit{static_cast<rlim_t>(max_file_bytes), static_cast<rlim_t>(max_file_bytes)};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(125);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(to_child[0]);
    close(from_child[1]);
    if (errors_apart) close(errors_from_child[1]);
    signal(SIGPIPE, SIG_IGN);
    fcntl(to_child[1], F_SETFL, O_NONBLOCK);
    size_t written = 0;
    bool input_open = true;
    if (input.empty()) {
        close(to_child[1]);
        input_open = false;
    }
    RunResult result{"", -1, ""};
    int outputs[2] = {from_child[0], errors_apart ? errors_from_child[0] : -1};
    std::string *texts[2] = {&result.output, &result.errors};
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
    while (outputs[0] >= 0 || outputs[1] >= 0) {
        pollfd fds[3] = {{outputs[0], POLLIN, 0},
                         {outputs[1], POLLIN, 0},
                         {input_open ? to_child[1] : -1, POLLOUT, 0}};
        int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        deadline - std::chrono::steady_clock::now())
                                        .count());
        if (left <= 0) {
            kill(pid, SIGKILL);
            result.output += "\n[harness: timed out]";
            break;
        }
        if (poll(fds, 3, left) < 0 && errno != EINTR) break;
        if (input_open && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t n = write(to_child[1], input.data() + written, input.size() - written);
            if (n > 0)
                written += static_cast<size_t>(n);
            if ((n < 0 && errno != EAGAIN) || written == input.size()) {
                close(to_child[1]);
                input_open = false;
            }
        }
        for (int i = 0; i < 2; ++i) {
            if (outputs[i] < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buffer[8192];
            ssize_t n = read(outputs[i], buffer, sizeof buffer);
            if (n <= 0) {
                close(outputs[i]);
                outputs[i] = -1;
            } else {
                texts[i]->append(buffer, static_cast<size_t>(n));
            }
        }
    }
    if (input_open)
        close(to_child[1]);
    for (int fd : outputs)
        if (fd >= 0) close(fd);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exit_status = decode_status(status);
    return result;
}

} // namespace

RunResult run_kestrel(const NdTree &tree, const std::string &input,
                      const std::vector<std::string> &arguments, int timeout_seconds) {
    return run_process(tree, input, arguments, timeout_seconds, false);
}

RunResult run_kestrel_apart(const NdTree &tree, const std::string &input,
                            const std::vector<std::string> &arguments, int timeout_seconds) {
    return run_process(tree, input, arguments, timeout_seconds, true);
}

RunResult run_kestrel_with_file_limit(const NdTree &tree, const std::string &input,
                                      long max_file_bytes) {
    return run_process(tree, input, {}, 30, false, max_file_bytes);
}

std::string startup_text(const std::vector<std::string> &arguments) {
    std::string text = "\r\r\n" + std::string(44, '*') + "\r\r\n";
    // The title line is checked by its frame only: version and date change.
    (void)arguments;
    return text;
}

PtySession::PtySession(const NdTree &tree, const std::vector<std::string> &arguments)
    : PtySession(tree, PtyOptions{arguments, false, false, ""}) {}

PtySession::PtySession(const NdTree &tree, const PtyOptions &options) {
    std::vector<char *> argv = argument_vector(options.arguments);
    winsize size{};
    size.ws_col = 80;
    size.ws_row = 25;
    // A terminal in its usual line mode, but without output processing, so
    // that the bytes kestrel writes arrive as they are.
    termios mode{};
    int probe_master = -1, probe_slave = -1;
    openpty(&probe_master, &probe_slave, nullptr, nullptr, nullptr);
    tcgetattr(probe_slave, &mode);
    close(probe_master);
    close(probe_slave);
    mode.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    int output[2] = {-1, -1};
    if (options.output_to_pipe && pipe(output) != 0)
        std::abort();
    pid_ = forkpty(&master_, nullptr, &mode, &size);
    if (pid_ == 0) {
        if (chdir(tree.root().c_str()) != 0)
            _exit(126);
        setenv("TERM", "xterm", 1);
        if (options.ignore_hangup)
            signal(SIGHUP, SIG_IGN);
        if (options.output_to_pipe) {
            dup2(output[1], STDOUT_FILENO);
            close(output[0]);
            close(output[1]);
        }
        if (!options.shell_script.empty()) {
            setenv("KESTREL", KESTREL_BINARY, 1);
            execl("/bin/sh", "sh", "-c", options.shell_script.c_str(), static_cast<char *>(nullptr));
        } else {
            execv(argv[0], argv.data());
        }
        _exit(127);
    }
    if (options.output_to_pipe) {
        close(output[1]);
        output_pipe_ = output[0];
    }
}

PtySession::~PtySession() {
    if (pid_ > 0 && status_ < 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0)
        close(master_);
    if (output_pipe_ >= 0)
        close(output_pipe_);
}

void PtySession::send(const std::string &bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
}

void PtySession::pump(int timeout_ms) {
    pollfd fds[2] = {{master_, POLLIN, 0}, {output_pipe_, POLLIN, 0}};
    if (poll(fds, 2, timeout_ms) <= 0)
        return;
    for (const pollfd &fd : fds) {
        if (fd.fd < 0 || !(fd.revents & (POLLIN | POLLHUP)))
            continue;
        char buffer[8192];
        ssize_t n = read(fd.fd, buffer, sizeof buffer);
        if (n > 0)
            output_.append(buffer, static_cast<size_t>(n));
    }
}

bool PtySession::wait_for(const std::string &needle, int timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (output_.find(needle, mark_) == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0)
            return false;
        pump(static_cast<int>(left));
    }
    return true;
}

void PtySession::interrupt() { send("\x03"); }

bool PtySession::wait_raw_mode(int timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        termios mode{};
        if (tcgetattr(master_, &mode) == 0 && !(mode.c_lflag & ICANON))
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        pump(5);
    }
}

void PtySession::send_signal(int signal_number) { kill(pid_, signal_number); }

void PtySession::hang_up() {
    close(master_);
    master_ = -1;
}

void PtySession::close_output() {
    close(output_pipe_);
    output_pipe_ = -1;
}

bool PtySession::terminal_in_line_mode() const {
    termios mode{};
    return tcgetattr(master_, &mode) == 0 && (mode.c_lflag & ICANON) && (mode.c_lflag & ECHO);
}

int PtySession::wait_exit(int timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (status_ < 0) {
        int status = 0;
        pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            status_ = decode_status(status);
            killed_ = WIFSIGNALED(status);
            break;
        }
        if (std::chrono::steady_clock::now() > deadline)
            return -1;
        pump(20);
    }
    // What the process wrote last may take more than one read.
    for (size_t before = std::string::npos; before != output_.size();) {
        before = output_.size();
        pump(0);
    }
    return status_;
}

std::string demo_image(const std::string &name) {
    std::ifstream file(std::string(KESTREL_BUILD_DIR) + "/demo-programs/" + name, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}
