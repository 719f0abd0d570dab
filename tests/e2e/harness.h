// End-to-end harness: runs the real kestrel binary in a temporary ND
// directory tree with scripted input, through a pipe or a pseudo-terminal.
#pragma once

#include <string>
#include <vector>

// A temporary working directory with the users SYSTEM, RT, SCRATCH and
// EMULATOR, the eight scratch files and the terminal device file. Removed
// when the object goes.
class NdTree {
  public:
    NdTree();
    ~NdTree();
    NdTree(const NdTree &) = delete;
    NdTree &operator=(const NdTree &) = delete;

    const std::string &root() const { return root_; }
    // Host path of a file inside the tree, e.g. path("(EMULATOR)/HELLO.PROG").
    std::string path(const std::string &relative) const { return root_ + "/" + relative; }
    void write_file(const std::string &relative, const std::string &content) const;
    std::string read_file(const std::string &relative) const;
    bool exists(const std::string &relative) const;
    void make_directory(const std::string &relative) const;
    // Assembles ND source with nd-asm into the tree; returns false (with the
    // assembler's output in *log) when it fails.
    bool assemble(const std::string &source, const std::string &relative_image,
                  std::string *log = nullptr, const std::vector<std::string> &options = {}) const;

  private:
    std::string root_;
};

struct RunResult {
    std::string output;  // everything kestrel wrote to standard output
    int exit_status;     // exit code, or 128 + signal
    std::string errors;  // standard error, when run_kestrel_apart kept it apart
};

// Runs kestrel in the tree with `input` as its standard input (a pipe);
// standard error goes into output with standard output.
RunResult run_kestrel(const NdTree &tree, const std::string &input,
                      const std::vector<std::string> &arguments = {}, int timeout_seconds = 30);
// The same, with standard error kept apart in errors.
RunResult run_kestrel_apart(const NdTree &tree, const std::string &input,
                            const std::vector<std::string> &arguments = {},
                            int timeout_seconds = 30);

// As run_kestrel, with no host file allowed to grow beyond max_file_bytes:
// a write beyond it fails (EFBIG), as on a full disk.
RunResult run_kestrel_with_file_limit(const NdTree &tree, const std::string &input,
                                      long max_file_bytes);

// The banner and start-up lines that every run begins with, up to the
// first prompt, for a tree in which the first scratch file is free.
std::string startup_text(const std::vector<std::string> &arguments = {});

// How a PtySession starts kestrel.
struct PtyOptions {
    std::vector<std::string> arguments;
    // SIGHUP ignored from the start, as nohup leaves it.
    bool ignore_hangup = false;
    // Standard output a pipe that the session reads instead of the terminal.
    bool output_to_pipe = false;
    // When set, /bin/sh runs this script on the terminal instead, with the
    // kestrel binary's path in $KESTREL.
    std::string shell_script;
};

// kestrel on a pseudo-terminal, for raw keys, ^C and screen output.
class PtySession {
  public:
    PtySession(const NdTree &tree, const std::vector<std::string> &arguments = {});
    PtySession(const NdTree &tree, const PtyOptions &options);
    ~PtySession();
    PtySession(const PtySession &) = delete;
    PtySession &operator=(const PtySession &) = delete;

    void send(const std::string &bytes);
    // Reads until `needle` has appeared in the output after the read mark,
    // or the timeout passes; returns whether it appeared.
    bool wait_for(const std::string &needle, int timeout_ms = 10000);
    // Everything read so far.
    const std::string &output() const { return output_; }
    // Output after the last mark.
    std::string since_mark() const { return output_.substr(mark_); }
    void mark() { mark_ = output_.size(); }
    void interrupt();  // ^C through the terminal's line discipline
    // Waits until kestrel has put the terminal into raw mode (the line
    // editor or a program's key read is ready for keys); returns whether it did.
    bool wait_raw_mode(int timeout_ms = 10000);
    // Waits for the process to end; returns its exit status.
    int wait_exit(int timeout_ms = 10000);
    // After wait_exit: whether the process died of a signal rather than exit.
    bool killed_by_signal() const { return killed_; }
    void send_signal(int signal_number);
    // Closes the terminal's master side: the terminal hangs up.
    void hang_up();
    // Closes the reading end of the output pipe (output_to_pipe).
    void close_output();
    // True when the terminal is in line mode with echo, as it was at start.
    bool terminal_in_line_mode() const;

  private:
    void pump(int timeout_ms);
    int output_pipe_ = -1;
    bool killed_ = false;
    int master_ = -1;
    int pid_ = -1;
    int status_ = -1;
    std::string output_;
    size_t mark_ = 0;
};

// The bytes of a demo program the build assembled, such as "HELLO.PROG".
std::string demo_image(const std::string &name);

// Runs a shell command line; returns its exit status and output.
int run_host_command(const std::string &command, std::string *output);
