#include "fuzz_support.h"

#include "console/tdv2215.h"
#include "console/terminal.h"
#include "cpu/cycle.h"
#include "cpu/levels_io.h"
#include "cpu/machine.h"
#include "debug/debug_aids.h"
#include "filesystem/open_files.h"
#include "filesystem/reservations.h"
#include "filesystem/users.h"
#include "images/prog_image.h"
#include "images/segments.h"
#include "operator/operator_channel.h"
#include "settings/settings.h"
#include "shell/execution.h"
#include "shell/shell.h"
#include "shell/virtual_keyboard.h"

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

// The host calls the emulator makes are linked through these wrappers
// (ld --wrap): each checks its path before the real call.
extern "C" {
FILE *__real_fopen(const char *path, const char *mode);
FILE *__real_freopen(const char *path, const char *mode, FILE *stream);
int __real_open(const char *path, int flags, ...);
int __real_open64(const char *path, int flags, ...);
int __real_mkdir(const char *path, mode_t mode);
int __real_rmdir(const char *path);
int __real_rename(const char *from, const char *to);
int __real_renameat2(int from_directory, const char *from, int to_directory, const char *to,
                     unsigned int flags);
int __real_unlink(const char *path);
int __real_remove(const char *path);
int __real_truncate(const char *path, off_t size);
int __real_utimensat(int directory, const char *path, const struct timespec times[2], int flags);
DIR *__real_opendir(const char *path);
int __real_chdir(const char *path);
int __real_stat(const char *path, struct stat *status);
int __real_lstat(const char *path, struct stat *status);
int __real_nanosleep(const struct timespec *wait, struct timespec *left);
}

namespace {

std::string tree;
// Where the fuzzer was started: its corpus and crash files are there.
std::string fuzzer_directory;
bool guard_armed = false;
std::string scratch_path;
uint32_t instruction_limit = 0;
uint32_t instructions_counted = 0;
constexpr uint32_t FUZZ_LIMIT_FLAG = 0x40000000;
constexpr uint32_t SHELL_LINE_INSTRUCTIONS = 20000;
constexpr int64_t OPERATOR_PATIENCE_MILLISECONDS = 3600 * 1000;
int64_t waited_milliseconds = 0;

const char *const BASE_USERS[] = {"(SYSTEM)", "(RT)", "(SCRATCH)", "(EMULATOR)"};

// Lexical normal form of an absolute path: no ".", "..", or repeated "/".
std::string normal_path(const std::string &path) {
    std::vector<std::string> parts;
    size_t position = 0;
    while (position <= path.size()) {
        size_t slash = path.find('/', position);
        if (slash == std::string::npos) slash = path.size();
        std::string part = path.substr(position, slash - position);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        position = slash + 1;
    }
    std::string result;
    for (const std::string &part : parts)
        result += "/" + part;
    return result.empty() ? "/" : result;
}

std::string current_directory() {
    char buffer[4096];
    if (!getcwd(buffer, sizeof buffer)) return "?";
    return buffer;
}

// Aborts (so that libFuzzer keeps the input) when the emulator reaches a
// host path outside the tree. The devices a console program may open are
// allowed.
bool inside(const std::string &path, const std::string &directory) {
    return path == directory || path.compare(0, directory.size() + 1, directory + "/") == 0;
}

// libFuzzer itself is linked through the same wrappers and writes its crash
// files while an input runs: absolute paths below the directory it was
// started in stay allowed.
void check_path(const char *call, const char *path) {
    if (!guard_armed || path == nullptr) return;
    std::string text = path;
    if (text == "/dev/null" || text == "/dev/tty") return;
    bool absolute = !text.empty() && text[0] == '/';
    std::string normal = normal_path(absolute ? text : current_directory() + "/" + text);
    if (inside(normal, tree) || (absolute && inside(normal, fuzzer_directory))) return;
    guard_armed = false;
    std::fprintf(stderr, "\n*** out-of-tree host access: %s(\"%s\") reaches %s, outside %s\n", call,
                 path, normal.c_str(), tree.c_str());
    std::abort();
}

void make_directory(const std::string &path) {
    if (__real_mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "fuzz: cannot create %s: %s\n", path.c_str(), std::strerror(errno));
        std::abort();
    }
}

// Removes everything below `path` (not following links); keeps `path`.
void empty_directory(const std::string &path, bool keep_scratch) {
    DIR *directory = __real_opendir(path.c_str());
    if (!directory) return;
    std::vector<std::string> names;
    while (dirent *entry = readdir(directory)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        names.push_back(name);
    }
    closedir(directory);
    for (const std::string &name : names) {
        if (keep_scratch && (name.rfind("SCRATCH", 0) == 0 || name.rfind(".SCRATCH", 0) == 0))
            continue;
        std::string child = path + "/" + name;
        struct stat status {};
        if (lstat(child.c_str(), &status) != 0) continue;
        if (S_ISDIR(status.st_mode)) {
            empty_directory(child, false);
            __real_rmdir(child.c_str());
        } else {
            __real_unlink(child.c_str());
        }
    }
}

void write_host_file(const std::string &path, const void *data, size_t size) {
    FILE *file = __real_fopen(path.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "fuzz: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        std::abort();
    }
    if (size > 0) std::fwrite(data, 1, size, file);
    std::fclose(file);
}

// Rebuilds the tree: the four users, the scratch files, and nothing else.
void rebuild_tree() {
    DIR *directory = __real_opendir(tree.c_str());
    std::vector<std::string> names;
    while (dirent *entry = directory ? readdir(directory) : nullptr) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    if (directory) closedir(directory);
    for (const std::string &name : names) {
        std::string child = tree + "/" + name;
        bool base = false;
        for (const char *user : BASE_USERS)
            base = base || name == user;
        struct stat status {};
        if (lstat(child.c_str(), &status) != 0) continue;
        if (base && S_ISDIR(status.st_mode)) {
            empty_directory(child, name == "(SCRATCH)");
        } else if (S_ISDIR(status.st_mode)) {
            empty_directory(child, false);
            __real_rmdir(child.c_str());
        } else {
            __real_unlink(child.c_str());
        }
    }
    for (const char *user : BASE_USERS)
        make_directory(tree + "/" + user);
    for (int n = 1; n <= 8; ++n) {
        char name[64];
        std::snprintf(name, sizeof name, "/(SCRATCH)/SCRATCH%02d.DATA", n);
        struct stat status {};
        if (lstat((tree + name).c_str(), &status) != 0) write_host_file(tree + name, "", 0);
    }
}

// Every input starts with only the claimed scratch file open, empty, and
// held as the claim holds it. The lock that claims it stays with the process
// from the set-up; the reservations of files the last input left behind go.
void restore_scratch_file() {
    close_all_files(CLOSE_EVERYTHING);
    reset_open_file_table();
    reset_reservations();
    FILE *stream = __real_fopen(scratch_path.c_str(), "rb+");
    if (!stream) {
        std::fprintf(stderr, "fuzz: cannot reopen %s\n", scratch_path.c_str());
        std::abort();
    }
    OpenFileEntry &entry = open_file_table.entries[0];
    keep_reservation(entry, reserve_file(scratch_path, ReservationKind::Exclusive), true);
    entry.file_number = FIRST_FILE_NUMBER;
    entry.stream = stream;
    entry.block_size = DEFAULT_BLOCK_SIZE;
    entry.block_buffer.assign(DEFAULT_BLOCK_SIZE, 0);
    entry.buffered_block = -1;
    entry.access_code = 2;
    entry.byte_mask = 0177777;
    entry.host_path = scratch_path;
    entry.type = "DATA";
    entry.maximum_size = 0;
    entry.size_at_open = 0;
    open_file_table.open_count = 1;
}

// The temporary directory goes when the fuzzer ends normally.
void remove_temporary_directory() {
    guard_armed = false;
    std::string base = tree.substr(0, tree.rfind('/'));
    if (__real_chdir("/") != 0) return;
    empty_directory(base, false);
    __real_rmdir(base.c_str());
}

void limit_hook() {
    if (++instructions_counted >= instruction_limit) cpu_running = 0;
    debug_state.trace_flags |= FUZZ_LIMIT_FLAG;
    debug_state.saved_trace_flags |= FUZZ_LIMIT_FLAG;
    if (debug_state.trace_flags & ~FUZZ_LIMIT_FLAG) trace_hook();
}

void no_pause(int) {}

} // namespace

extern "C" {
FILE *__wrap_fopen(const char *path, const char *mode) {
    check_path("fopen", path);
    return __real_fopen(path, mode);
}
FILE *__wrap_freopen(const char *path, const char *mode, FILE *stream) {
    check_path("freopen", path);
    return __real_freopen(path, mode, stream);
}
int __wrap_open(const char *path, int flags, ...) {
    check_path("open", path);
    va_list arguments;
    va_start(arguments, flags);
    mode_t mode = static_cast<mode_t>(va_arg(arguments, int));
    va_end(arguments);
    return __real_open(path, flags, mode);
}
int __wrap_open64(const char *path, int flags, ...) {
    check_path("open64", path);
    va_list arguments;
    va_start(arguments, flags);
    mode_t mode = static_cast<mode_t>(va_arg(arguments, int));
    va_end(arguments);
    return __real_open64(path, flags, mode);
}
int __wrap_mkdir(const char *path, mode_t mode) {
    check_path("mkdir", path);
    return __real_mkdir(path, mode);
}
int __wrap_rmdir(const char *path) {
    check_path("rmdir", path);
    return __real_rmdir(path);
}
int __wrap_rename(const char *from, const char *to) {
    check_path("rename", from);
    check_path("rename", to);
    return __real_rename(from, to);
}
int __wrap_renameat2(int from_directory, const char *from, int to_directory, const char *to,
                     unsigned int flags) {
    if (from_directory == AT_FDCWD) check_path("renameat2", from);
    if (to_directory == AT_FDCWD) check_path("renameat2", to);
    return __real_renameat2(from_directory, from, to_directory, to, flags);
}
int __wrap_unlink(const char *path) {
    check_path("unlink", path);
    return __real_unlink(path);
}
int __wrap_remove(const char *path) {
    check_path("remove", path);
    return __real_remove(path);
}
int __wrap_truncate(const char *path, off_t size) {
    check_path("truncate", path);
    return __real_truncate(path, size);
}
int __wrap_utimensat(int directory, const char *path, const struct timespec times[2], int flags) {
    if (directory == AT_FDCWD) check_path("utimensat", path);
    return __real_utimensat(directory, path, times, flags);
}
DIR *__wrap_opendir(const char *path) {
    check_path("opendir", path);
    return __real_opendir(path);
}
int __wrap_chdir(const char *path) {
    check_path("chdir", path);
    return __real_chdir(path);
}
int __wrap_stat(const char *path, struct stat *status) {
    check_path("stat", path);
    return __real_stat(path, status);
}
int __wrap_lstat(const char *path, struct stat *status) {
    check_path("lstat", path);
    return __real_lstat(path, status);
}
// Hold calls and pauses take no time under the fuzzer. An input that asks
// for more than an hour of waiting in all gets the ^C an operator would type.
int __wrap_nanosleep(const struct timespec *wait, struct timespec *left) {
    if (left) *left = timespec{};
    if (wait) waited_milliseconds += wait->tv_sec * 1000 + wait->tv_nsec / 1000000;
    if (waited_milliseconds > OPERATOR_PATIENCE_MILLISECONDS) on_interrupt(SIGINT);
    return 0;
}
}

const std::string &fuzz_tree() {
    return tree;
}

void fuzz_setup() {
    if (!tree.empty()) return;
    fuzzer_directory = normal_path(current_directory());
    char pattern[] = "/tmp/kestrel-fuzz-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("fuzz: mkdtemp");
        std::abort();
    }
    // The emulator works one level down, so that a ".." step out of its
    // working directory is still caught inside the temporary directory.
    tree = std::string(pattern) + "/tree";
    make_directory(tree);
    rebuild_tree();
    if (__real_chdir(tree.c_str()) != 0) std::abort();
    std::atexit(remove_temporary_directory);

    // Standard input has ended; the operator output, prompts and console
    // output go to standard output, which goes nowhere.
    int null_input = __real_open("/dev/null", O_RDONLY);
    dup2(null_input, 0);
    close(null_input);
    if (!std::getenv("KESTREL_FUZZ_VERBOSE")) {
        int null_output = __real_open("/dev/null", O_WRONLY);
        dup2(null_output, 1);
        close(null_output);
    }
    diagnostic_pause = no_pause;

    return_input_to_console();
    reset_settings();
    reset_user_table();
    scan_users();
    user_table.current_user_index = find_user_exact(user_table.current_user_name);
    reset_open_file_table();
    if (!claim_scratch_file() || open_file_table.entries[0].file_number != FIRST_FILE_NUMBER) {
        std::fprintf(stderr, "fuzz: no scratch file\n");
        std::abort();
    }
    scratch_path = open_file_table.entries[0].host_path;
    fuzz_reset();
    fuzz_done();
}

void fuzz_reset() {
    guard_armed = false;
    return_input_to_console();
    if (__real_chdir(tree.c_str()) != 0) std::abort();
    restore_scratch_file();
    rebuild_tree();
    guard_armed = true;

    reset_machine();
    reset_settings();
    reset_debug_state();
    reset_terminal_state();
    reset_tdv_state();
    clear_virtual_keys();
    reset_image_state();
    reset_execution_state();
    reset_breakpoint_service();
    clear_segment_table();
    install_instruction_set();
    reset_user_table();
    scan_users();
    user_table.current_user_index = find_user_exact(user_table.current_user_name);

    shell.quit_requested = 0;
    shell.program_command_pending = 0;
    shell.program_command_line[0] = '\0';
    shell.program_command_line_position = 0;
    shell.startup_image_pending = 0;
    shell.command_line[0] = '\0';
    shell.argument_position = 0;
    image_loaded = 0;
    cpu_running = 0;
    interrupt_stopped_run = 0;
    interrupt_seen = 0;
    instruction_limit = 0;
    waited_milliseconds = 0;
}

void fuzz_done() {
    guard_armed = false;
}

void fuzz_write_file(const std::string &relative, const uint8_t *data, size_t size) {
    write_host_file(tree + "/" + relative, data, size);
}

void fuzz_fill_memory(const uint8_t *data, size_t from, size_t size, uint32_t address) {
    for (size_t i = from; i + 1 < size; i += 2) {
        uint32_t word = fuzz_word(data + i);
        write_word(0, address, word);
        write_word(2, address, word);
        address = (address + 1) & WORD_MASK;
    }
}

void fuzz_write_sample_files() {
    static const uint8_t TEXT[] = "ND TEXT\r\n";
    fuzz_write_file("(EMULATOR)/F.DATA", TEXT, sizeof TEXT - 1);
    fuzz_write_file("(EMULATOR)/F.SYMB", TEXT, sizeof TEXT - 1);
    fuzz_write_file("(SYSTEM)/S.SYMB", TEXT, sizeof TEXT - 1);
}

void fuzz_shell_line(const std::string &line) {
    std::string cut = line.substr(0, COMMAND_LINE_SIZE - 1);
    // A line may start a program; an endless one is the operator's to stop.
    fuzz_limit_instructions(SHELL_LINE_INSTRUCTIONS);
    execute_command_line(cut.c_str());
    // A command may have taken input from a mode file; the next line comes
    // from the console again.
    return_input_to_console();
}

std::vector<std::string> fuzz_split(const uint8_t *data, size_t size, const std::string &separator,
                                    size_t parts) {
    std::string text(reinterpret_cast<const char *>(data), size);
    std::vector<std::string> pieces;
    size_t position = 0;
    while (pieces.size() + 1 < parts) {
        size_t found = text.find(separator, position);
        if (found == std::string::npos) break;
        pieces.push_back(text.substr(position, found - position));
        position = found + separator.size();
    }
    pieces.push_back(text.substr(position));
    return pieces;
}

void fuzz_limit_instructions(uint32_t limit) {
    instruction_limit = limit;
    instructions_counted = 0;
    instruction_table[TRACE_HOOK_SLOT] = limit_hook;
    debug_state.trace_flags |= FUZZ_LIMIT_FLAG;
    debug_state.saved_trace_flags |= FUZZ_LIMIT_FLAG;
}
