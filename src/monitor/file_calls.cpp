// The file monitor calls: opening ND files by name and access code, closing,
// byte and block transfers, byte and block pointers, sizes, directory
// entries, and creating, expanding, renaming, deleting and de-abbreviating
// files in the user directories.
//
// Every byte copied between ND memory and a host file goes through the data
// page table with its address reduced to 16 bits, so a buffer that runs past
// 177777 wraps within its page table. File offsets are 32-bit ND byte
// addresses: a transfer that would reach beyond them fails as a positioning
// error.
#include "console/tdv2215.h"
#include "filesystem/file_names.h"
#include "filesystem/open_files.h"
#include "filesystem/reservations.h"
#include "filesystem/users.h"
#include "host/host.h"
#include "monitor/monitor.h"
#include "monitor/nd_text.h"
#include "operator/operator_channel.h"
#include "settings/settings.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace {

// ND error codes (octal) of the file calls.
constexpr uint32_t ERROR_CANNOT_CREATE = 01;
constexpr uint32_t ERROR_END_OF_FILE = 03;
constexpr uint32_t ERROR_CANNOT_RENAME = 06;
constexpr uint32_t ERROR_ILLEGAL_CHARACTER = 021;
constexpr uint32_t ERROR_NO_SUCH_PAGE = 022;
constexpr uint32_t ERROR_TOO_LONG = 044;
constexpr uint32_t ERROR_AMBIGUOUS_USER_NAME = 045;
constexpr uint32_t ERROR_NO_SUCH_USER_NAME = 046;
constexpr uint32_t ERROR_NO_SUCH_FILE = 056;
constexpr uint32_t ERROR_AMBIGUOUS_FILE = 057;
constexpr uint32_t ERROR_NOT_DIRECTORY_ACCESS = 070;
constexpr uint32_t ERROR_FILE_EXISTS = 076;
constexpr uint32_t ERROR_NO_SUCH_ACCESS_CODE = 0104;
constexpr uint32_t ERROR_FILE_ALREADY_OPEN = 0105;
constexpr uint32_t ERROR_NOT_WRITE_ACCESS = 0106;
constexpr uint32_t ERROR_TOO_MANY_FILES = 0107;
constexpr uint32_t ERROR_NOT_SEQUENTIAL_WRITE = 0123;
constexpr uint32_t ERROR_NOT_SEQUENTIAL_READ = 0124;
constexpr uint32_t ERROR_NOT_RANDOM_WRITE = 0125;
constexpr uint32_t ERROR_FILE_NUMBER_RANGE = 0127;
constexpr uint32_t ERROR_NOT_OPEN = 0132;
constexpr uint32_t ERROR_NOT_MASS_STORAGE = 0133;
constexpr uint32_t ERROR_SEQUENTIAL_ONLY = 0136;
constexpr uint32_t ERROR_NO_SUCH_BLOCK = 0143;
constexpr uint32_t ERROR_NO_USER_GIVEN = 0174;
constexpr uint32_t ERROR_OBJECT_NOT_USED = 0247;

constexpr uint32_t TERMINAL_FILE = 1;
constexpr uint32_t NEXT_BLOCK = 0177777;
constexpr uint32_t SCRATCH_FILE = 0100;
constexpr uint32_t MAX_ACCESS_CODE = 010;
constexpr size_t NAME_BYTES = 256;
constexpr size_t NAME_CUT_WINDOW = 60;
constexpr uint32_t PAGE_BYTES = 2048;
constexpr uint32_t MAX_CREATED_PAGES = 0200;
constexpr uint64_t MAX_FILE_BYTES = 0xffffffffULL;

// A host file size as the ND program sees it: sizes are 32-bit, so a larger
// file shows the largest size. Page counts are taken from the true size.
uint32_t nd_size(uint64_t size) {
    return static_cast<uint32_t>(size > MAX_FILE_BYTES ? MAX_FILE_BYTES : size);
}
uint32_t nd_pages(uint64_t size, bool rounded_up) {
    uint64_t pages = (size + (rounded_up ? PAGE_BYTES - 1 : 0)) / PAGE_BYTES;
    return static_cast<uint32_t>(pages > MAX_FILE_BYTES ? MAX_FILE_BYTES : pages);
}

// The error code of a write the host refused: 54 for a full disk, else the
// call's own code for a failed transfer.
uint32_t failed_write_code(uint32_t transfer_error) {
    return host_error_is_no_space(errno) ? ERROR_NO_SPACE : transfer_error;
}

// Host mode and write flag of each access code, for MON 50/220 and MON 42.
struct AccessMode {
    const char *open_mode;
    const char *old_open_mode;
    bool write;
};
const AccessMode access_modes[MAX_ACCESS_CODE + 1] = {
    {"wb", "wb", true},  {"rb", "rb", false}, {"rb+", "wb", true},
    {"rb", "rb", false}, {"rb", "wb", true},  {"ab", "ab", true},
    {"rb+", "wb", true}, {"rb", "rb", false}, {"rb+", "wb", true},
};

bool reads_by_byte(uint32_t code) {
    return code == 1 || code == 4;
}
bool writes_by_byte(uint32_t code) {
    return code == 0 || code == 4 || code == 5;
}
bool reads_blocks(uint32_t code) {
    return code == 2 || code == 3 || code == 6 || code == 7 || code == 010;
}
bool writes_blocks(uint32_t code) {
    return code == 2 || code == 6 || code == 010;
}

uint32_t double_word() {
    return ((machine.A & WORD_MASK) << 16) | (machine.D & WORD_MASK);
}
void put_double_word(uint32_t value) {
    machine.A = (value >> 16) & WORD_MASK;
    machine.D = value & WORD_MASK;
}
void write_double_word(uint32_t address, uint32_t value) {
    write_data(address, value >> 16);
    write_data(address + 1, value & WORD_MASK);
}

std::string upper_cased(std::string text) {
    for (auto &c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool has_odd_parity(int byte) {
    return (__builtin_popcount(static_cast<unsigned>(byte & 0177)) & 1) != 0;
}
// The even-parity form of a byte read from a SYMB file, when that setting
// is on.
int with_symb_parity(const OpenFileEntry &entry, int byte) {
    if (settings.parity_on_symb_read && entry.type == "SYMB" && has_odd_parity(byte))
        return byte | 0200;
    return byte;
}

OpenFileEntry *open_entry(uint32_t file_number) {
    int position = find_open_file(static_cast<int32_t>(file_number & WORD_MASK));
    return position < 0 ? nullptr : &open_file_table.entries[position];
}

// A block number from a register or parameter word: 177777 is the block
// after the one in the buffer, announced with the call's message (MON 117
// takes it silently: `call` is null).
int64_t block_number(const OpenFileEntry &entry, uint32_t given, const char *call,
                     const char *verb) {
    if ((given & WORD_MASK) != NEXT_BLOCK) return given & WORD_MASK;
    if (call) std::printf("\n %s, block = -1, %s next block \n", call, verb);
    return static_cast<int64_t>(entry.buffered_block) + 1;
}

// Positions the host stream at `offset`, provided `length` bytes from there
// stay within a 32-bit file.
bool position_at(FILE *stream, int64_t offset, uint64_t length) {
    if (!stream || offset < 0 || static_cast<uint64_t>(offset) + length > MAX_FILE_BYTES)
        return false;
    return std::fseek(stream, static_cast<long>(offset), SEEK_SET) == 0;
}

void ensure_buffer(OpenFileEntry &entry, size_t bytes) {
    if (entry.block_buffer.size() < bytes) entry.block_buffer.resize(bytes, 0);
}

// Copies `bytes` bytes of the buffer into memory from `address` on, two to a
// word, the first in the high byte.
void copy_to_memory(const std::vector<uint8_t> &buffer, size_t bytes, uint32_t address) {
    for (size_t i = 0; i < bytes; ++i)
        write_data_byte(address, static_cast<uint32_t>(i), buffer[i]);
}
void copy_from_memory(std::vector<uint8_t> &buffer, size_t bytes, uint32_t address, uint32_t mask) {
    for (size_t i = 0; i < bytes; ++i)
        buffer[i] = static_cast<uint8_t>(read_data_byte(address, static_cast<uint32_t>(i)) & mask);
}

void apply_symb_parity(const OpenFileEntry &entry, std::vector<uint8_t> &buffer, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i)
        buffer[i] = static_cast<uint8_t>(with_symb_parity(entry, buffer[i]));
}

// A name in memory as the name-taking calls read it: 7-bit characters up to
// an apostrophe (or a NUL), at most `max_chars`.
std::string read_seven_bit_name(uint32_t address, size_t max_chars) {
    std::string text;
    for (size_t i = 0; i < max_chars; ++i) {
        int c = static_cast<int>(read_data_byte(address, static_cast<uint32_t>(i))) & 0177;
        if (c == '\'' || c == 0) break;
        text.push_back(static_cast<char>(c));
    }
    return text;
}

// Where the file-name part of a typed name begins: after a leading double
// quote and the user part.
size_t file_part_start(const std::string &name) {
    size_t p = !name.empty() && name[0] == '"' ? 1 : 0;
    if (p < name.size() && name[p] == '(') {
        size_t close = name.find(')', p);
        if (close != std::string::npos) p = close + 1;
    }
    return p;
}

size_t file_part_length(const std::string &name) {
    size_t start = file_part_start(name);
    size_t end = name.find_first_of(":.\"", start);
    return (end == std::string::npos ? name.size() : end) - start;
}

// Inserts "." and the type before a closing double quote, or at the end.
std::string with_type(const std::string &name, const std::string &type) {
    bool closing_quote = name.size() > 1 && name[0] == '"' && name.back() == '"';
    std::string result = name;
    result.insert(closing_quote ? result.size() - 1 : result.size(), "." + type);
    return result;
}

// The file part of a host path ./(USER)/NAME.TYPE, and its user directory.
std::string file_of_path(const std::string &path) {
    size_t at = path.find(")/");
    return at == std::string::npos ? path : path.substr(at + 2);
}
std::string type_of_path(const std::string &path) {
    std::string file = file_of_path(path);
    size_t dot = file.find('.');
    return dot == std::string::npos ? std::string() : file.substr(dot + 1);
}
bool is_system_path(const std::string &path) {
    return path.find("(SYSTEM)") != std::string::npos;
}
bool current_user_is_system() {
    return user_table.current_user_name == "SYSTEM";
}

bool is_nd_file_character(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == ':' || c == '.' || c == '(' ||
           c == ')' || c == '-';
}

// A file that is to be made must be one that the file scan lists afterwards
// (so that it can be opened and deleted by name): 1 to 16 characters of
// name, at most 4 of type, ND file-name characters only. Returns 0 or the
// error code.
uint32_t check_new_file(const std::string &file) {
    if (file.empty() || file[0] == '.') return ERROR_ILLEGAL_CHARACTER;
    for (char c : file)
        if (!is_nd_file_character(c)) return ERROR_ILLEGAL_CHARACTER;
    size_t dot = file.find('.');
    size_t name_length = dot == std::string::npos ? file.size() : dot;
    if (name_length > static_cast<size_t>(MAX_FILE_NAME)) return ERROR_TOO_LONG;
    if (dot != std::string::npos && file.size() - dot - 1 > static_cast<size_t>(MAX_FILE_TYPE))
        return ERROR_TOO_LONG;
    return 0;
}

// Error code for a deabb status as the open calls give it; statuses they do
// not name give 56.
uint32_t open_status_code(int status) {
    int code = resolution_error_code(status);
    return code < 0 ? ERROR_NO_SUCH_FILE : static_cast<uint32_t>(code);
}

// A host path taken as it stands (the raw open mode) must stay inside the
// working directory: relative, and without a ".." step.
bool stays_in_tree(const std::string &path) {
    if (path.empty() || path[0] == '/') return false;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (path.compare(start, end - start, "..") == 0 && end - start == 2) return false;
        start = end + 1;
    }
    return true;
}

// ---- packed date and time ----

uint32_t packed_time(int64_t seconds) {
    time_t t = static_cast<time_t>(seconds);
    struct tm *local = std::localtime(&t);
    if (!local) return 0;
    int year = local->tm_year + 1900 - 1950;
    uint32_t packed_year = year >= 0 && year <= 63 ? static_cast<uint32_t>(year) : 63;
    return (packed_year << 26) | (static_cast<uint32_t>(local->tm_mon + 1) << 22) |
           (static_cast<uint32_t>(local->tm_mday) << 17) |
           (static_cast<uint32_t>(local->tm_hour) << 12) |
           (static_cast<uint32_t>(local->tm_min) << 6) | static_cast<uint32_t>(local->tm_sec);
}

// ---- files in use ----

constexpr char SCRATCH_PATH_PREFIX[] = "./(SCRATCH)/SCRATCH";

// The scratch file this instance claimed: file 100, held for the life of the
// emulator.
bool is_claimed_scratch(const OpenFileEntry &entry) {
    return entry.file_number == static_cast<int32_t>(SCRATCH_FILE) &&
           entry.host_path.rfind(SCRATCH_PATH_PREFIX, 0) == 0;
}

// An open that would empty a scratch file under the instance that holds it.
bool empties_scratch_file(const char *host_mode, const HostFileInfo &info) {
    return host_mode[0] == 'w' && is_scratch_file(info);
}

// ---- opening ----

enum class OpenForm { Standard, AlwaysResolving, Old };

struct OpenCall {
    OpenForm form;
    uint32_t mon_address; // of the MON instruction, for the messages
    uint32_t access_code;
    uint32_t type_address;
    bool raw;
};

// Reads one typed line into the program command line as MON 1 with file 0
// does, registers kept. The line is taken whole by the open, so the next
// MON 1 from file 0 reads a new line. Returns false when the program was
// stopped meanwhile.
bool read_typed_name_line(std::string *line) {
    uint32_t saved_a = machine.A, saved_t = machine.T, saved_p = machine.P;
    shell.program_command_line[0] = '\0';
    shell.program_command_line_position = 0;
    machine.T = 0;
    machine.P = (saved_p - 1) & WORD_MASK;
    mon_terminal_input_byte();
    bool delivered = machine.P == ((saved_p + 1) & WORD_MASK) && cpu_running;
    machine.A = saved_a;
    machine.T = saved_t;
    machine.P = saved_p;
    if (!delivered) return false;
    *line = shell.program_command_line;
    shell.program_command_line_position = static_cast<int>(line->size());
    return true;
}

// The name of MON 50 and MON 220: 256 bytes at X, or a typed line for X = 0,
// cut at the first line feed, blank, apostrophe or comma within its first 60
// characters (and at the carriage return that ends a typed line).
bool read_open_name(std::string *name) {
    std::string text;
    bool typed = machine.X == 0;
    if (typed) {
        if (!read_typed_name_line(&text)) return false;
    } else {
        for (uint32_t i = 0; i < NAME_BYTES; ++i) {
            char c = static_cast<char>(read_data_byte(machine.X, i));
            if (c == '\0') break;
            text.push_back(c);
        }
    }
    const char *separators = typed ? "\n '\r," : "\n ',";
    size_t cut = text.find_first_of(separators);
    if (cut != std::string::npos && cut < NAME_CUT_WINDOW) text.resize(cut);
    *name = text;
    return true;
}

// The name of MON 42: through the normal page table, at one word after the
// address in word 0 of the parameter block, 2 x (word 2 - word 1) bytes long
// (one less for the record types 3 and 13). Returns false when it is too long.
bool read_old_open_name(std::string *name) {
    uint32_t block = machine.X;
    uint32_t address = (read_normal(block) + 1) & WORD_MASK;
    int32_t words =
        static_cast<int32_t>(read_normal(block + 2)) - static_cast<int32_t>(read_normal(block + 1));
    int32_t length = words > 0 ? 2 * words : 0;
    uint32_t record_type = read_normal(block + 4);
    if (length > 0 && (record_type == 3 || record_type == 013)) --length;
    if (length > static_cast<int32_t>(NAME_BYTES)) return false;
    name->clear();
    for (int32_t i = 0; i < length; ++i) {
        uint32_t word = read_normal(address + static_cast<uint32_t>(i / 2));
        char c = static_cast<char>((i & 1) ? (word & 0377) : (word >> 8));
        if (c == '\0') break;
        name->push_back(c);
    }
    return true;
}

// The default type: up to four characters at A, ending early at `end_mark`
// or a zero byte; a zero first byte means SYMB. In the raw open mode a zero
// byte before the apostrophe is an error (returns false).
bool read_default_type(const OpenCall &call, std::string *type) {
    char end_mark = call.form == OpenForm::Old && !call.raw ? '\\' : '\'';
    type->clear();
    for (uint32_t i = 0; i < 4; ++i) {
        char c = static_cast<char>(read_data_byte(call.type_address, i));
        if (c == end_mark) break;
        if (c == '\0') {
            if (call.raw) return false;
            break;
        }
        type->push_back(c);
    }
    if (type->empty() && !call.raw) *type = "SYMB";
    return true;
}

// Fills a free entry for the stream just opened. Returns its file number.
uint32_t fill_entry(OpenFileEntry &entry, int position, const OpenCall &call, FILE *stream,
                    const std::string &path, const std::string &type, uint64_t host_size) {
    uint32_t code = call.access_code;
    entry.host_path = path;
    entry.type = type.substr(0, MAX_FILE_TYPE);
    entry.byte_mask = entry.type == "SYMB" ? settings.seven_bit_symb_mask : 0177777;
    entry.file_number = FIRST_FILE_NUMBER + position;
    entry.stream = stream;
    entry.access_code = code;
    entry.block_size = DEFAULT_BLOCK_SIZE;
    entry.block_buffer.clear();
    entry.buffered_block = -1;
    bool old_form = call.form == OpenForm::Old;
    entry.size_at_open = old_form ? 0 : host_size;
    // The close imposes the maximum size on the random-access codes once the
    // program wrote blocks or set the size: it starts as the file's true size
    // (which may be beyond 32 bits), so that no close cuts the file short.
    entry.maximum_size = reads_blocks(code) && !old_form ? host_size : 0;
    entry.size_changed = false;
    if (reads_blocks(code) && !(call.raw && code == 010))
        entry.block_buffer.assign(DEFAULT_BLOCK_SIZE, 0);
    ++open_file_table.open_count;
    return static_cast<uint32_t>(entry.file_number);
}

void print_name_stage(const OpenCall &call, const char *format, const std::string &name) {
    if (call.form == OpenForm::Old) return;
    bool wanted = call.raw ? settings.debug_level == 1 : settings.debug_level == 6;
    if (wanted) std::printf(format, name.c_str(), call.mon_address);
}

// Reserves the file against the other KESTREL instances (exclusively for a
// writing access code) and then opens it, so that a write open empties no
// file another instance reads. Returns the reservation, or
// RESERVATION_HELD_ELSEWHERE with no stream. A reservation that fails for a
// host reason leaves the open to the host: *stream tells how it went.
int reserve_open(const std::string &path, const AccessMode &mode, FILE **stream,
                 const char *host_mode) {
    ReservationKind kind = mode.write ? ReservationKind::Exclusive : ReservationKind::Shared;
    int reservation = reserve_file(path, kind);
    *stream = nullptr;
    if (reservation == RESERVATION_HELD_ELSEWHERE) return reservation;
    *stream = host_open_regular_file(path, host_mode);
    if (!*stream) {
        int error = errno;
        release_reservation(reservation, kind);
        errno = error;
    }
    return reservation;
}

// The raw open mode: the name with its type is a host path relative to the
// working directory, taken as it stands.
void open_raw(const OpenCall &call, OpenFileEntry &entry, int position, std::string name) {
    const AccessMode &mode = access_modes[call.access_code];
    print_name_stage(call, "\n(a) MON 50: File name=%s @ %o\n", name);
    size_t last_part = name.rfind('/');
    last_part = last_part == std::string::npos ? 0 : last_part + 1;
    size_t separator = name.find_first_of(":.", last_part);
    std::string type;
    if (separator != std::string::npos) {
        name[separator] = '.';
        size_t end = name.find('"', separator);
        type = name.substr(separator + 1,
                           end == std::string::npos ? std::string::npos : end - separator - 1);
    } else {
        if (!read_default_type(call, &type)) {
            machine.A = ERROR_TOO_LONG;
            return;
        }
        if (!type.empty()) name = with_type(name, type);
    }
    print_name_stage(call, "\n(b) MON 50: File name=%s @ %o\n", name);
    print_name_stage(call, "\n(c)MON 50: File name=%s @ %o\n", name);
    bool create = !name.empty() && name[0] == '"';
    if (create) {
        if (name.size() < 2 || name.back() != '"') {
            machine.A = ERROR_ILLEGAL_CHARACTER;
            return;
        }
        name = name.substr(1, name.size() - 2);
    }
    if (!stays_in_tree(name) || name.find('"') != std::string::npos ||
        !host_path_stays_beneath(name)) {
        machine.A = ERROR_ILLEGAL_CHARACTER;
        return;
    }
    if (create) {
        FILE *made = host_create_new_file(name);
        if (!made && errno == EEXIST) {
            machine.A = ERROR_FILE_EXISTS;
            return;
        }
        if (!made) {
            std::printf("\nUNIX open file error %d, returning errcode=0 to ND\n", errno);
            machine.A = 0;
            return;
        }
        std::fclose(made);
    } else if (!host_is_regular_file(name)) {
        machine.A = ERROR_NO_SUCH_FILE;
        return;
    }
    HostFileInfo info = host_file_info(name);
    const char *host_mode = call.form == OpenForm::Old ? mode.old_open_mode : mode.open_mode;
    if (empties_scratch_file(host_mode, info)) {
        machine.A = ERROR_NOT_WRITE_ACCESS;
        return;
    }
    FILE *stream = nullptr;
    int reservation = reserve_open(name, mode, &stream, host_mode);
    if (reservation == RESERVATION_HELD_ELSEWHERE) {
        machine.A = ERROR_FILE_ALREADY_OPEN;
        return;
    }
    if (!stream) {
        std::printf("\nUNIX open file error %d, returning errcode=1 to ND\n", errno);
        machine.A = 1;
        return;
    }
    machine.A = fill_entry(entry, position, call, stream, name, type, info.size);
    keep_reservation(entry, reservation, mode.write);
    if (call.form != OpenForm::Old && settings.debug_level == 6)
        std::printf("\n Got fileno=%o\n", machine.A);
    mon_plain_return();
}

// Creates the file a quoted name asks for. Returns 0, or the error code.
// *handled is set when the call has already put its answer in A.
uint32_t create_quoted_file(const OpenCall &call, const std::string &inner, bool *handled) {
    *handled = false;
    std::string path;
    int status = deabb_user(inner, &path, user_table.current_user_name);
    switch (status) {
    case NAME_RESOLVED:
        break;
    case NAME_NO_USER:
        std::printf("\nEmulator error: No user name specified\n");
        return ERROR_NO_USER_GIVEN;
    case NAME_NO_SUCH_USER:
        return ERROR_NO_SUCH_USER_NAME;
    case NAME_USER_AMBIGUOUS:
        return ERROR_AMBIGUOUS_USER_NAME;
    case NAME_USER_TOO_LONG:
        return ERROR_TOO_LONG;
    default:
        return ERROR_ILLEGAL_CHARACTER;
    }
    if (access_modes[call.access_code].write && is_system_path(path) &&
        user_table.current_user_index != 0)
        return ERROR_NOT_DIRECTORY_ACCESS;
    uint32_t check = check_new_file(file_of_path(path));
    if (check) return check;
    FILE *made = host_create_new_file(path);
    if (!made && errno == EEXIST) return ERROR_FILE_EXISTS;
    if (!made) {
        if (call.form == OpenForm::Old)
            std::printf("\nUNIX open file error %d, returning errcode=0 to ND\n", errno);
        else
            std::printf("\nOpen file error %d\n", errno);
        *handled = true;
        machine.A = 0;
        return 0;
    }
    std::fclose(made);
    return 0;
}

void open_file_call(OpenForm form) {
    OpenCall call{form, machine.P, machine.T & WORD_MASK, machine.A, false};
    call.raw = form != OpenForm::AlwaysResolving && settings.mon_open_mode != 0;
    mon_plain_return();
    if (form == OpenForm::Old && call.raw && settings.debug_level == 1)
        std::printf("\nMON 42 old open file\nA=%6o, T=%6o, X=%6o, D=%6o, P=%6o\n", machine.A,
                    machine.T, machine.X, machine.D, call.mon_address);
    if (open_file_table.open_count >= OPEN_FILE_ENTRIES) {
        machine.A = ERROR_TOO_MANY_FILES;
        return;
    }
    int position = 0;
    for (; position < OPEN_FILE_ENTRIES; ++position)
        if (open_file_table.entries[position].file_number < 0) break;
    if (position == OPEN_FILE_ENTRIES) {
        std::printf("\nError in emulated ND file adm, no free entries\n");
        machine.A = ERROR_TOO_MANY_FILES;
        return;
    }
    OpenFileEntry &entry = open_file_table.entries[position];
    if (call.access_code > MAX_ACCESS_CODE) {
        machine.A = ERROR_NO_SUCH_ACCESS_CODE;
        return;
    }
    const AccessMode &mode = access_modes[call.access_code];

    std::string name;
    if (form == OpenForm::Old) {
        if (!read_old_open_name(&name)) {
            machine.A = ERROR_TOO_LONG;
            return;
        }
        if (call.raw && settings.debug_level == 1) std::printf("\nFile = %s \n", name.c_str());
    } else {
        if (!read_open_name(&name)) return;
        if (!call.raw) {
            std::string normalised;
            int result = normalise_name(name, &normalised);
            if (result == -1 || result == -2) {
                machine.A = result == -1 ? ERROR_ILLEGAL_CHARACTER : ERROR_TOO_LONG;
                return;
            }
            name = normalised;
        }
    }
    if (call.raw) {
        open_raw(call, entry, position, name);
        return;
    }
    print_name_stage(call, "\n(a) MON 50: File name=%s @ %o\n", name);

    size_t start = file_part_start(name);
    size_t separator = name.find_first_of(":.", start);
    std::string type;
    if (separator != std::string::npos) {
        size_t end = name.find('"', separator);
        type = name.substr(separator + 1,
                           end == std::string::npos ? std::string::npos : end - separator - 1);
        if (type.size() > static_cast<size_t>(MAX_FILE_TYPE)) {
            machine.A = ERROR_TOO_LONG;
            return;
        }
    } else {
        read_default_type(call, &type);
        name = with_type(name, type);
    }
    size_t name_length = file_part_length(name);
    if (name.size() > NAME_BYTES || name_length > static_cast<size_t>(MAX_FILE_NAME)) {
        machine.A = ERROR_TOO_LONG;
        return;
    }
    if (name_length == 0) {
        machine.A = ERROR_AMBIGUOUS_FILE;
        return;
    }
    print_name_stage(call, "\n(b) MON 50: File name=%s @ %o\n", name);
    name = upper_cased(name);
    print_name_stage(call, "\n(c)MON 50: File name=%s @ %o\n", name);

    // The type separator is "." in host paths, for the file made below as
    // for the one opened: a made NAME:TYPE must be the file then opened.
    for (auto &c : name)
        if (c == ':') c = '.';
    if (name[0] == '"') {
        if (name.size() < 2 || name.back() != '"') {
            machine.A = ERROR_ILLEGAL_CHARACTER;
            return;
        }
        name = name.substr(1, name.size() - 2);
        bool handled = false;
        uint32_t error = create_quoted_file(call, name, &handled);
        if (handled) return;
        if (error) {
            machine.A = error;
            return;
        }
    }
    std::string path;
    int status = deabb(name, &path);
    if (status >= 0 && is_terminal_path(path)) {
        machine.A = TERMINAL_FILE;
        mon_plain_return();
        return;
    }
    if (settings.debug_level == 6) std::printf("\nFile to open: %s\n", path.c_str());
    if (status < 0) {
        machine.A = open_status_code(status);
        return;
    }
    HostFileInfo info = host_file_info(path);
    if (!current_user_is_system() && is_system_path(path) && mode.write) {
        machine.A = ERROR_NOT_WRITE_ACCESS;
        return;
    }
    const char *host_mode = form == OpenForm::Old ? mode.old_open_mode : mode.open_mode;
    if (empties_scratch_file(host_mode, info)) {
        machine.A = ERROR_NOT_WRITE_ACCESS;
        return;
    }
    FILE *stream = nullptr;
    int reservation = reserve_open(path, mode, &stream, host_mode);
    if (reservation == RESERVATION_HELD_ELSEWHERE) {
        machine.A = ERROR_FILE_ALREADY_OPEN;
        return;
    }
    if (!stream) {
        machine.A = ERROR_NO_SUCH_FILE;
        return;
    }
    std::string resolved_type = type_of_path(path);
    machine.A = fill_entry(entry, position, call, stream, path, resolved_type, info.size);
    keep_reservation(entry, reservation, mode.write);
    if (form != OpenForm::Old && settings.debug_level == 6)
        std::printf("\n Got fileno=%o\n", machine.A);
    mon_plain_return();
}

// ---- block transfers ----

void read_block(uint32_t file_number, uint32_t given_block, const char *call, bool rest_retry,
                bool parity) {
    OpenFileEntry *entry = open_entry(file_number);
    if (!entry) {
        mon_error_return(ERROR_NOT_OPEN);
        return;
    }
    if (!reads_blocks(entry->access_code)) {
        mon_error_return(ERROR_SEQUENTIAL_ONLY);
        return;
    }
    int64_t block = block_number(*entry, given_block, call, "reading");
    size_t size = static_cast<size_t>(entry->block_size > 0 ? entry->block_size : 0);
    int64_t offset = block * static_cast<int64_t>(size);
    if (size == 0 || !position_at(entry->stream, offset, size)) {
        mon_error_return(ERROR_NO_SUCH_PAGE);
        return;
    }
    ensure_buffer(*entry, size);
    size_t got = std::fread(entry->block_buffer.data(), 1, size, entry->stream);
    if (got == 0 && rest_retry) {
        size_t rest = entry->size_at_open % size;
        if (settings.debug_level == 3) std::printf("\nRestbytes = %d", static_cast<int>(rest));
        if (rest > 0 && position_at(entry->stream, offset, rest))
            got = std::fread(entry->block_buffer.data(), 1, rest, entry->stream);
    }
    if (got == 0) {
        mon_error_return(ERROR_NO_SUCH_PAGE);
        return;
    }
    // The part of a last block that the file does not reach reads as zeros.
    std::fill(entry->block_buffer.begin() + static_cast<long>(got),
              entry->block_buffer.begin() + static_cast<long>(size), 0);
    entry->buffered_block = static_cast<int32_t>(block);
    if (parity) apply_symb_parity(*entry, entry->block_buffer, size);
    copy_to_memory(entry->block_buffer, size, machine.X);
    mon_skip_return();
}

// Hands the file's buffered writes to the host; a refusal is the error
// return of the call (54 for a full disk, else `transfer_error`).
bool flush_writes(OpenFileEntry &entry, uint32_t transfer_error) {
    if (flush_open_file(entry)) return true;
    mon_error_return(failed_write_code(transfer_error));
    return false;
}

void write_block(uint32_t file_number, uint32_t given_block, const char *call, bool scratch) {
    OpenFileEntry *entry = open_entry(file_number);
    if (!entry) {
        mon_error_return(ERROR_NOT_OPEN);
        return;
    }
    if (!writes_blocks(entry->access_code)) {
        mon_error_return(ERROR_SEQUENTIAL_ONLY);
        return;
    }
    int64_t block = block_number(*entry, given_block, call, "writing");
    size_t size = static_cast<size_t>(entry->block_size > 0 ? entry->block_size : 0);
    int64_t offset = block * static_cast<int64_t>(size);
    // The blocks written before leave the buffer now, before the seek.
    if (!flush_writes(*entry, scratch ? ERROR_NO_SUCH_BLOCK : ERROR_NO_SUCH_PAGE)) return;
    if (size == 0 || !position_at(entry->stream, offset, size)) {
        if (scratch) {
            std::printf("\nError writing block %d\n", static_cast<int>(block));
            mon_error_return(ERROR_NO_SUCH_BLOCK);
        } else {
            mon_error_return(ERROR_NO_SUCH_PAGE);
        }
        return;
    }
    ensure_buffer(*entry, size);
    copy_from_memory(entry->block_buffer, size, machine.X, entry->byte_mask & 0377);
    if (!scratch && settings.debug_level == 1)
        std::printf("\nMON 10 write block %d on file %o, blsz is %d\n", static_cast<int>(block),
                    file_number & WORD_MASK, static_cast<int>(size));
    entry->size_changed = true;
    if (!write_open_file(*entry, entry->block_buffer.data(), size)) {
        mon_error_return(failed_write_code(ERROR_NO_SUCH_PAGE));
        return;
    }
    uint64_t end = static_cast<uint64_t>(offset) + size;
    if (end > entry->maximum_size) entry->maximum_size = end;
    entry->buffered_block = static_cast<int32_t>(block);
    mon_skip_return();
}

// Parameter block of MON 117 and MON 120 at A.
struct TransferBlock {
    uint32_t file_number;
    uint32_t buffer;
    uint32_t block;
    uint32_t words;
};
TransferBlock read_transfer_block() {
    uint32_t list = machine.A;
    return {read_data(list), read_data(list + 2), read_data(list + 3), read_data(list + 4)};
}

// ---- directory entries ----

void write_words(uint32_t address, std::initializer_list<std::pair<uint32_t, uint32_t>> words) {
    for (const auto &word : words)
        write_data(address + word.first, word.second);
}

std::string with_apostrophe_for_dot(std::string name) {
    for (auto &c : name)
        if (c == '.') c = '\'';
    return name;
}

// ---- names of the file-management calls ----

// A name read, upper-cased and normalised as MON 231 and MON 232 take it.
// Returns 0 or the error code.
uint32_t normalised_call_name(uint32_t address, size_t max_chars, std::string *name) {
    std::string text = upper_cased(read_seven_bit_name(address, max_chars));
    int result = normalise_name(text, name);
    if (result == -1) return ERROR_ILLEGAL_CHARACTER;
    if (result == -2) return ERROR_TOO_LONG;
    return 0;
}

uint32_t user_lookup_code(int result) {
    switch (result) {
    case NAME_USER_TOO_LONG:
        return ERROR_TOO_LONG;
    case NAME_USER_AMBIGUOUS:
        return ERROR_AMBIGUOUS_USER_NAME;
    default:
        return ERROR_NO_SUCH_USER_NAME;
    }
}

// The host path a new name of MON 232 gives: in the current user's directory
// without a user part, else in the directory of the user it names; a new
// name without a type keeps `old_type`. Returns 0 or the error code.
uint32_t rename_target(const std::string &name, const std::string &old_type, std::string *path) {
    std::string user;
    int part = user_of_name(name, &user);
    if (part == NAME_MISSING_PARENTHESIS) return ERROR_ILLEGAL_CHARACTER;
    if (part == NAME_USER_TOO_LONG) return ERROR_TOO_LONG;
    std::string full_user = user_table.current_user_name;
    if (part == 1) {
        int found = find_user(user, &full_user);
        if (found < 0) return user_lookup_code(found);
    }
    std::string file = name.substr(file_part_start(name));
    for (auto &c : file)
        if (c == ':') c = '.';
    // A name without a type would be no ND file name: the file keeps its type.
    if (file.find('.') == std::string::npos && !old_type.empty()) file += "." + old_type;
    uint32_t check = check_new_file(file);
    if (check) return check;
    *path = user_directory(full_user) + "/" + file;
    return 0;
}

std::string directory_of_path(const std::string &path) {
    size_t at = path.find(")/");
    return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

// The UserFileList entry of a renamed file takes its new name, so that its
// object number stays; a file moved to another directory is listed afresh.
void update_listing_after_rename(const std::string &old_path, const std::string &new_path) {
    std::string listed = user_directory(user_file_list.user_name);
    std::string old_directory = directory_of_path(old_path);
    std::string new_directory = directory_of_path(new_path);
    if (listed != old_directory && listed != new_directory) return;
    if (old_directory != new_directory) {
        scan_user_files(user_file_list.user_name, 0);
        return;
    }
    std::string old_file = file_of_path(old_path);
    for (int i = 0; i < user_file_list.count; ++i)
        if (user_file_list.entries[i].name == old_file)
            user_file_list.entries[i].name = file_of_path(new_path);
}

// A call that changes a file (expanding, renaming, deleting it) holds it
// exclusively while it does. Returns the reservation (negative when the
// host gave none: the call then goes on as the host lets it), or
// RESERVATION_HELD_ELSEWHERE when another KESTREL has the file open.
int reserve_for_change(const std::string &path) {
    return reserve_file(path, ReservationKind::Exclusive);
}
void release_after_change(int reservation) {
    release_reservation(reservation, ReservationKind::Exclusive);
}

// Changing a file of SYSTEM is for SYSTEM alone, as with opening one for
// writing.
bool changes_refused(const std::string &path) {
    return is_system_path(path) && !current_user_is_system();
}

// The host error text of a failed status query, as MON 62 and MON 231
// report it.
void print_host_error() {
    std::printf("\n%s\n", host_error_text().c_str());
}

} // namespace

// ---- byte transfers ----

void mon_file_input_byte() {
    OpenFileEntry *entry = open_entry(machine.T);
    if (!entry) {
        mon_error_return(ERROR_NOT_OPEN);
        return;
    }
    if (!reads_by_byte(entry->access_code)) {
        mon_error_return(ERROR_NOT_SEQUENTIAL_READ);
        return;
    }
    int byte = entry->stream ? std::fgetc(entry->stream) : EOF;
    if (byte == EOF) {
        mon_error_return(ERROR_END_OF_FILE);
        return;
    }
    machine.A = static_cast<uint32_t>(with_symb_parity(*entry, byte));
    mon_skip_return();
}

void mon_file_output_byte() {
    OpenFileEntry *entry = open_entry(machine.T);
    if (!entry) {
        mon_error_return(ERROR_NOT_OPEN);
        return;
    }
    if (!writes_by_byte(entry->access_code)) {
        mon_error_return(ERROR_NOT_SEQUENTIAL_WRITE);
        return;
    }
    unsigned char byte = static_cast<unsigned char>(machine.A & 0377 & entry->byte_mask);
    if (!entry->stream) {
        mon_error_return(ERROR_END_OF_FILE);
        return;
    }
    if (!write_open_file_byte(*entry, byte)) {
        mon_error_return(failed_write_code(ERROR_END_OF_FILE));
        return;
    }
    mon_skip_return();
}

// ---- block transfers ----

void mon_read_scratch_block() {
    read_block(SCRATCH_FILE, machine.T, "MON 5", false, false);
}
void mon_write_scratch_block() {
    write_block(SCRATCH_FILE, machine.T, "MON 6", true);
}
void mon_read_block() {
    read_block(machine.T, machine.A, "MON 7", true, true);
}
void mon_write_block() {
    write_block(machine.T, machine.A, "MON 10", false);
}

void mon_read_block_extended() {
    TransferBlock request = read_transfer_block();
    if (settings.debug_level == 1)
        std::printf("\nMON 117: fil=%o, blo=%i, wor=%i, buf=%o APTbias=%o APTonoff=%x @ %o\n",
                    request.file_number, static_cast<int>(request.block),
                    static_cast<int>(request.words), request.buffer, machine.apt_offset,
                    machine.data_bank_mask, machine.P);
    OpenFileEntry *entry = open_entry(request.file_number);
    if (!entry) {
        mon_error_return(ERROR_NOT_OPEN);
        return;
    }
    if (!reads_blocks(entry->access_code)) {
        mon_error_return(ERROR_SEQUENTIAL_ONLY);
        return;
    }
    int64_t block = block_number(*entry, request.block, nullptr, "reading");
    size_t bytes = 2 * static_cast<size_t>(request.words);
    ensure_buffer(*entry, bytes);
    int64_t offset = block * entry->block_size;
    if (!position_at(entry->stream, offset, bytes)) {
        mon_error_return(ERROR_NO_SUCH_PAGE);
        return;
    }
    size_t got = bytes ? std::fread(entry->block_buffer.data(), 1, bytes, entry->stream) : 0;
    if (got == 0) {
        mon_error_return(ERROR_NO_SUCH_PAGE);
        return;
    }
    entry->buffered_block = static_cast<int32_t>(block);
    apply_symb_parity(*entry, entry->block_buffer, got);
    copy_to_memory(entry->block_buffer, got, request.buffer);
    mon_error_return(0);
}

void mon_write_block_extended() {
    TransferBlock request = read_transfer_block();
    if (settings.debug_level == 1) {
        std::printf("\nMon 120 under development: Not considering inside memory limits!\n");
        std::printf("\nMON 120: file=%o, block=%i, words=%i, bufad=%o, @ %o\n", request.file_number,
                    static_cast<int>(request.block), static_cast<int>(request.words),
                    request.buffer, machine.P);
    }
    OpenFileEntry *entry = open_entry(request.file_number);
    if (!entry) {
        mon_error_return(ERROR_NOT_OPEN);
        return;
    }
    if (!writes_blocks(entry->access_code)) {
        mon_error_return(ERROR_SEQUENTIAL_ONLY);
        return;
    }
    int64_t block = block_number(*entry, request.block, "MON 120", "writing");
    size_t block_size = static_cast<size_t>(entry->block_size > 0 ? entry->block_size : 0);
    size_t bytes = 2 * static_cast<size_t>(request.words);
    int64_t offset = block * static_cast<int64_t>(block_size);
    if (!flush_writes(*entry, ERROR_NO_SUCH_PAGE)) return;
    if (!position_at(entry->stream, offset, bytes)) {
        std::printf("\nError writing block %d\n", static_cast<int>(block));
        mon_error_return(ERROR_NO_SUCH_PAGE);
        return;
    }
    if (bytes == 0) {
        mon_error_return(0);
        return;
    }
    // Blocks of no bytes would never carry the words to the file.
    if (block_size == 0) {
        std::printf("\nError writing block %d\n", static_cast<int>(block));
        mon_error_return(ERROR_NO_SUCH_PAGE);
        return;
    }
    // Block after block; the last one takes only the words that remain, so
    // that nothing beyond the program's buffer reaches the file.
    ensure_buffer(*entry, block_size);
    size_t written = 0;
    int64_t current = block;
    while (written < bytes) {
        size_t part = bytes - written < block_size ? bytes - written : block_size;
        copy_from_memory(entry->block_buffer, part,
                         (request.buffer + static_cast<uint32_t>(written / 2)) & WORD_MASK,
                         entry->byte_mask & 0377);
        entry->size_changed = true;
        if (!write_open_file(*entry, entry->block_buffer.data(), part)) {
            uint32_t code = failed_write_code(ERROR_NO_SUCH_PAGE);
            if (settings.debug_level == 1)
                std::printf("\nError, sts =%d  writing block %d\n", -1, static_cast<int>(current));
            mon_error_return(code);
            return;
        }
        written += part;
        entry->buffered_block = static_cast<int32_t>(current);
        ++current;
    }
    uint64_t end = static_cast<uint64_t>(offset) + bytes;
    if (end > entry->maximum_size) entry->maximum_size = end;
    mon_error_return(0);
}

// ---- opening and closing ----

void mon_open_file() {
    open_file_call(OpenForm::Standard);
}
void mon_open_file_resolving_abbreviations() {
    open_file_call(OpenForm::AlwaysResolving);
}
void mon_open_file_old_form() {
    open_file_call(OpenForm::Old);
}

void mon_close_file() {
    uint32_t file_number = machine.T & WORD_MASK;
    if (file_number == TERMINAL_FILE) {
        mon_skip_return();
    } else if (file_number == CLOSE_KEEP_SCRATCH || file_number == CLOSE_EVERYTHING) {
        uint32_t error = close_all_files(file_number);
        if (file_number == CLOSE_EVERYTHING && settings.debug_level == 1)
            std::printf("\nMON 43: perm. files not handled\n");
        // Data that could not be written is the program's to know of.
        if (error)
            mon_error_return(error);
        else
            mon_skip_return();
    } else if (file_number >= 1 && file_number <= FIRST_FILE_NUMBER + OPEN_FILE_ENTRIES - 1) {
        // The scratch file stays open for the runs to come: only closing
        // everything (177776) closes it. Like the close of all other files,
        // this one gives it back its standard block size.
        OpenFileEntry *entry = open_entry(file_number);
        uint32_t error = 0;
        if (entry && is_claimed_scratch(*entry))
            entry->block_size = DEFAULT_BLOCK_SIZE;
        else if (entry)
            close_file(static_cast<int32_t>(file_number), &error);
        // Data that could not be written is the program's to know of.
        if (error)
            mon_error_return(error);
        else
            mon_skip_return();
    } else {
        mon_error_return(ERROR_FILE_NUMBER_RANGE);
    }
}

// ---- pointers and sizes ----

void mon_file_size() {
    OpenFileEntry *entry = open_entry(machine.T);
    if (!entry) {
        mon_error_return(ERROR_NOT_OPEN);
        return;
    }
    flush_open_file(*entry);
    HostFileInfo info = host_file_info(entry->host_path);
    if (!info.exists) {
        print_host_error();
        mon_error_return(WORD_MASK);
        return;
    }
    put_double_word(nd_size(info.size));
    mon_skip_return();
}

void mon_set_byte_count() {
    if ((machine.T & WORD_MASK) <= 077) {
        mon_error_return(ERROR_NOT_MASS_STORAGE);
        return;
    }
    OpenFileEntry *entry = open_entry(machine.T);
    if (!entry) {
        mon_error_return(ERROR_NOT_OPEN);
        return;
    }
    uint32_t code = entry->access_code;
    if (code == 1 || code == 3 || code == 7) {
        mon_error_return(ERROR_NOT_SEQUENTIAL_WRITE);
        return;
    }
    uint32_t count = double_word();
    if (count == 0xffffffffu) {
        std::printf("\nMON 73: nbytes = -1, set to 0\n");
        count = 0;
    }
    entry->maximum_size = count;
    entry->size_changed = true;
    // The file ends where the program says, whatever it was opened for.
    if (!flush_open_file(*entry)) {
        mon_error_return(failed_write_code(static_cast<uint32_t>(errno)));
        return;
    }
    // The entry's own stream may be open for reading only: the size is set
    // through a stream of its own, which follows no link.
    FILE *sizing = host_open_regular_file(entry->host_path, "rb+");
    bool sized = sizing && host_set_stream_size(sizing, count);
    int error = errno;
    if (sizing) std::fclose(sizing);
    errno = error;
    if (!sized || !position_at(entry->stream, count, 0)) {
        mon_error_return(static_cast<uint32_t>(errno));
        return;
    }
    mon_skip_return();
}

void mon_set_byte_pointer() {
    uint32_t pointer = double_word();
    if (settings.debug_level == 1)
        std::printf("\nMON 74, set byte pointer, file = %o, bytepointer = %ld(dec)\n",
                    machine.T & WORD_MASK, static_cast<long>(pointer));
    OpenFileEntry *entry = open_entry(machine.T);
    if (!entry) {
        mon_error_return(ERROR_NOT_OPEN);
        return;
    }
    if (!position_at(entry->stream, pointer, 0)) {
        mon_error_return(ERROR_NO_SUCH_BLOCK);
        return;
    }
    uint32_t code = entry->access_code;
    if ((code == 2 || code == 3 || code == 6 || code == 010) && entry->block_size > 0)
        entry->buffered_block =
            static_cast<int32_t>(pointer / static_cast<uint32_t>(entry->block_size));
    mon_skip_return();
}

void mon_get_byte_pointer() {
    OpenFileEntry *entry = open_entry(machine.T);
    if (!entry) {
        mon_error_return(ERROR_NOT_OPEN);
        return;
    }
    uint32_t code = entry->access_code;
    if (code == 2 || code == 3 || code == 6 || code == 010) {
        mon_error_return(ERROR_NOT_RANDOM_WRITE);
        return;
    }
    long position = entry->stream ? std::ftell(entry->stream) : -1;
    if (position < 0) {
        mon_error_return(0);
        return;
    }
    if (settings.debug_level == 1)
        std::printf("\nMON 75, get byte pointer, file = %o, bytepointer = %ld(dec)\n",
                    machine.T & WORD_MASK, position);
    put_double_word(nd_size(static_cast<uint64_t>(position)));
    mon_skip_return();
}

void mon_set_block_size() {
    OpenFileEntry *entry = open_entry(machine.T);
    if (!entry) {
        mon_error_return(ERROR_NOT_OPEN);
        return;
    }
    entry->block_size = static_cast<int32_t>(2 * (machine.A & WORD_MASK));
    entry->block_buffer.assign(static_cast<size_t>(entry->block_size), 0);
    if (settings.debug_level == 1)
        std::printf("\nSet blocksize %d bytes on file %o", static_cast<int>(entry->block_size),
                    machine.T & WORD_MASK);
    mon_skip_return();
}

void mon_set_block_pointer() {
    std::printf("\nMON 77 not tested. Set blockpointer %d for file %o\n",
                static_cast<int>(2 * (machine.A & WORD_MASK)), machine.T & WORD_MASK);
    OpenFileEntry *entry = open_entry(machine.T);
    if (!entry) {
        mon_error_return(ERROR_NOT_OPEN);
        return;
    }
    uint32_t block = machine.A & WORD_MASK;
    if (block > 077777 ||
        !position_at(entry->stream, static_cast<int64_t>(block) * entry->block_size, 0)) {
        mon_error_return(ERROR_NO_SUCH_BLOCK);
        return;
    }
    entry->buffered_block = static_cast<int32_t>(block);
    mon_skip_return();
}

// ---- directory entries ----

void mon_directory_entry_of_open_file() {
    if ((machine.T & WORD_MASK) == TERMINAL_FILE) {
        mon_skip_return();
        return;
    }
    OpenFileEntry *entry = open_entry(machine.T);
    if (!entry) {
        mon_error_return(ERROR_NOT_OPEN);
        return;
    }
    uint32_t address = machine.A;
    std::string file = file_of_path(entry->host_path).substr(0, 15);
    write_data(address, 0151053);
    write_nd_text(address + 1, with_apostrophe_for_dot(file), 16, '\0');
    write_nd_text(address + 9, type_of_path(entry->host_path), 4, '\'');
    write_words(address, {{11, 01003},
                          {12, 01003},
                          {13, 02377},
                          {14, 010},
                          {15, 01224},
                          {16, static_cast<uint32_t>(user_table.current_user_index + 0400)},
                          {17, 01003},
                          {18, 1},
                          {19, 033},
                          {20, 0111016},
                          {21, 0175273},
                          {22, 0115441},
                          {23, 037330},
                          {24, 0115441},
                          {25, 037330},
                          {30, 040000},
                          {31, 037330}});
    flush_open_file(*entry);
    HostFileInfo info = host_file_info(entry->host_path);
    if (!info.exists) std::printf("\nMON41: stat failed");
    write_double_word(address + 26, nd_pages(info.size, false));
    write_double_word(address + 28, nd_size(info.size));
    mon_skip_return();
}

void mon_directory_entry_by_object_number() {
    uint32_t object = machine.X & WORD_MASK;
    if (object > 0377) {
        mon_error_return(ERROR_OBJECT_NOT_USED);
        return;
    }
    uint32_t address = machine.A;
    write_data(address, 0100000);
    scan_user_files(user_table.current_user_name, 0);
    int position = find_object_file(object);
    if (position < 0) {
        mon_error_return(ERROR_OBJECT_NOT_USED);
        return;
    }
    const UserFileEntry &file = user_file_list.entries[position];
    size_t dot = file.name.find('.');
    std::string type = dot == std::string::npos ? std::string() : file.name.substr(dot + 1, 4);
    write_nd_text(address + 1, with_apostrophe_for_dot(file.name).substr(0, 16), 16, '\0');
    write_nd_text(address + 9, type, 4, '\0');
    uint32_t index = static_cast<uint32_t>(position);
    write_words(address, {{11, index},
                          {12, index},
                          {13, 037},
                          {14, 010},
                          {15, 0200},
                          {16, static_cast<uint32_t>(user_table.current_user_index)},
                          {17, index},
                          {18, 0},
                          {19, 0},
                          {30, 040000},
                          {31, 0}});
    write_double_word(address + 20, packed_time(file.changed));
    write_double_word(address + 22, packed_time(file.accessed));
    write_double_word(address + 24, packed_time(file.modified));
    write_double_word(address + 26, nd_pages(file.size, true));
    write_double_word(address + 28, nd_size(file.size));
    mon_skip_return();
}

// ---- creating, expanding, renaming, deleting ----

void mon_create_file() {
    uint32_t pages = (read_data(machine.T) << 16) | read_data(machine.T + 1);
    if (pages > MAX_CREATED_PAGES) {
        mon_error_return(ERROR_NO_SPACE);
        return;
    }
    std::string name;
    int normalised = normalise_name(upper_cased(read_seven_bit_name(machine.X, 61)), &name);
    if (normalised == -1 || normalised == -2) {
        mon_error_return(normalised == -1 ? ERROR_ILLEGAL_CHARACTER : ERROR_TOO_LONG);
        return;
    }
    for (auto &c : name)
        if (c == ':') c = '.';
    if (!name.empty() && name.back() == '.') name.pop_back();
    std::string user;
    int part = user_of_name(name, &user);
    if (part == NAME_USER_TOO_LONG || part == NAME_MISSING_PARENTHESIS) {
        mon_error_return(ERROR_NO_SUCH_USER_NAME);
        return;
    }
    std::string full_user = user_table.current_user_name;
    if (part == 1) {
        int found = find_user(user, &full_user);
        if (found == USER_NAME_TOO_LONG) std::printf("User name too long");
        if (found == USER_NAME_TOO_LONG || found == USER_NAME_AMBIGUOUS) {
            mon_error_return(ERROR_TOO_LONG);
            return;
        }
        if (found < 0) {
            mon_error_return(ERROR_NO_SUCH_USER_NAME);
            return;
        }
    }
    std::string file = name.substr(file_part_start(name));
    if (file.find('.') == std::string::npos) file += ".DATA";
    if (file.find('"') != std::string::npos) {
        mon_error_return(ERROR_ILLEGAL_CHARACTER);
        return;
    }
    uint32_t check = check_new_file(file);
    if (check) {
        mon_error_return(check);
        return;
    }
    std::string path = user_directory(full_user) + "/" + file;
    if (changes_refused(path)) {
        mon_error_return(ERROR_NOT_DIRECTORY_ACCESS);
        return;
    }
    FILE *made = host_create_new_file(path);
    if (!made) {
        mon_error_return(errno == EEXIST ? ERROR_FILE_EXISTS : ERROR_CANNOT_CREATE);
        return;
    }
    static const char zeros[PAGE_BYTES] = {};
    bool complete = true;
    for (uint32_t page = 0; page < pages && complete; ++page)
        complete = host_write_bytes(made, zeros, PAGE_BYTES);
    complete = host_close(made) && complete;
    if (!complete) {
        host_remove_file(path);
        mon_error_return(ERROR_NO_SPACE);
        return;
    }
    if (user_file_list.user_name == full_user) append_user_file(file);
    mon_skip_return();
}

void mon_expand_file() {
    std::string name;
    uint32_t error = normalised_call_name(machine.X, 58, &name);
    if (error) {
        mon_error_return(error);
        return;
    }
    std::string path;
    int status = deabb(name, &path);
    if (status < 0) {
        mon_error_return(open_status_code(status));
        return;
    }
    if (changes_refused(path)) {
        mon_error_return(ERROR_NOT_WRITE_ACCESS);
        return;
    }
    uint32_t pages = (read_data(machine.T) << 16) | read_data(machine.T + 1);
    // What the program wrote to the file is part of the size it grows from.
    for (auto &entry : open_file_table.entries)
        if (entry.file_number >= 0 && entry.host_path == path) flush_open_file(entry);
    HostFileInfo info = host_file_info(path);
    if (!info.exists) {
        print_host_error();
        std::fflush(stdout);
        diagnostic_pause(5000);
        mon_error_return(WORD_MASK);
        return;
    }
    if (info.is_directory) {
        mon_error_return(ERROR_NO_SUCH_FILE);
        return;
    }
    if (settings.debug_level == 4)
        std::printf("\nExpand %s from %d to %d", path.c_str(), static_cast<int>(2 * pages),
                    static_cast<int>(info.size));
    uint64_t size = (info.size / PAGE_BYTES + 1) * PAGE_BYTES + uint64_t{pages} * PAGE_BYTES;
    if (size > MAX_FILE_BYTES) {
        mon_error_return(ERROR_NO_SPACE);
        return;
    }
    int reservation = reserve_for_change(path);
    if (reservation == RESERVATION_HELD_ELSEWHERE) {
        mon_error_return(ERROR_FILE_ALREADY_OPEN);
        return;
    }
    // Through a stream of the file itself, so that a link put in its place
    // is not followed.
    FILE *stream = host_open_regular_file(path, "rb+");
    bool grown = stream && host_set_stream_size(stream, size);
    if (stream) std::fclose(stream);
    release_after_change(reservation);
    if (!grown) {
        mon_error_return(ERROR_NO_SUCH_FILE);
        return;
    }
    // The program's own entries of the file keep the new size when they
    // close.
    for (auto &entry : open_file_table.entries)
        if (entry.file_number >= 0 && entry.host_path == path && entry.maximum_size < size)
            entry.maximum_size = size;
    mon_skip_return();
}

void mon_rename_file() {
    std::string old_name = upper_cased(read_seven_bit_name(machine.X, 58));
    std::string new_text = upper_cased(read_seven_bit_name(machine.A, 58));
    std::string old_path;
    int status = deabb(old_name, &old_path);
    if (status < 0) {
        mon_error_return(open_status_code(status));
        return;
    }
    std::string new_name;
    int normalised = normalise_name(new_text, &new_name);
    if (normalised == -1 || normalised == -2) {
        mon_error_return(normalised == -1 ? ERROR_ILLEGAL_CHARACTER : ERROR_TOO_LONG);
        return;
    }
    std::string new_path;
    uint32_t error = rename_target(new_name, type_of_path(old_path), &new_path);
    if (error) {
        mon_error_return(error);
        return;
    }
    if (settings.debug_level == 4)
        std::printf("\nRename %s to %s", old_path.c_str(), new_path.c_str());
    if (changes_refused(old_path) || changes_refused(new_path)) {
        mon_error_return(ERROR_NOT_WRITE_ACCESS);
        return;
    }
    if (host_file_info(new_path).exists) {
        mon_error_return(ERROR_FILE_EXISTS);
        return;
    }
    int reservation = reserve_for_change(old_path);
    if (reservation == RESERVATION_HELD_ELSEWHERE) {
        mon_error_return(ERROR_FILE_ALREADY_OPEN);
        return;
    }
    std::fflush(stdout);
    diagnostic_pause(1000);
    // The rename never replaces a file: one made under the new name
    // meanwhile stays, and the call reports the name taken.
    bool renamed = false;
    int rename_error = EBUSY;
    if (!file_in_use(old_path)) {
        renamed = host_rename(old_path, new_path);
        rename_error = renamed ? 0 : errno;
    }
    release_after_change(reservation);
    if (!renamed && rename_error == EEXIST) {
        mon_error_return(ERROR_FILE_EXISTS);
        return;
    }
    if (!renamed) {
        std::printf("\nRename file %s to %s failed", old_path.c_str(), new_path.c_str());
        std::fflush(stdout);
        diagnostic_pause(5000);
        mon_error_return(ERROR_CANNOT_RENAME);
        return;
    }
    update_listing_after_rename(old_path, new_path);
    mon_skip_return();
}

void mon_delete_file() {
    std::string name = upper_cased(read_seven_bit_name(machine.X, 199));
    std::string path;
    int status = deabb(name, &path);
    if (status < 0) {
        int code = resolution_error_code(status);
        if (code < 0) {
            std::printf("\n(MON 54)Delete file %s failed, status %d\n", name.c_str(), status);
            mon_plain_return();
        } else {
            mon_error_return(static_cast<uint32_t>(code));
        }
        return;
    }
    if (changes_refused(path)) {
        mon_error_return(ERROR_NOT_WRITE_ACCESS);
        return;
    }
    int reservation = reserve_for_change(path);
    if (reservation == RESERVATION_HELD_ELSEWHERE) {
        mon_error_return(ERROR_FILE_ALREADY_OPEN);
        return;
    }
    bool in_use = file_in_use(path);
    bool removed = !in_use && host_remove_file(path);
    int error = in_use ? EBUSY : errno;
    release_after_change(reservation);
    if (!removed) {
        std::printf("\n(MON 54)Remove file %s failed, status %d\n", path.c_str(), -1);
        std::printf("Error no is : %d, ", error);
        std::printf("%s\n", std::strerror(error));
        mon_error_return(WORD_MASK);
        return;
    }
    mon_skip_return();
}

// ---- de-abbreviation ----

void mon_full_file_name() {
    mon_plain_return();
    std::string text;
    bool ended = false;
    for (uint32_t i = 0; i < NAME_BYTES; ++i) {
        char c = static_cast<char>(read_data_byte(machine.X, i));
        if (c == '\'' || c == '\r') {
            ended = true;
            break;
        }
        if (c == '\0') break;
        text.push_back(c);
    }
    if (!ended) {
        machine.A = ERROR_TOO_LONG;
        return;
    }
    if (text == "()") {
        machine.A = ERROR_AMBIGUOUS_FILE;
        return;
    }
    size_t start = file_part_start(text);
    size_t separator = text.find_first_of(":.", start);
    if (separator != std::string::npos) {
        size_t end = text.find('"', separator);
        size_t type_length = (end == std::string::npos ? text.size() : end) - separator - 1;
        if (type_length > static_cast<size_t>(MAX_FILE_TYPE)) {
            machine.A = ERROR_TOO_LONG;
            return;
        }
    } else {
        std::string type;
        for (uint32_t i = 0; i < 4; ++i) {
            char c = static_cast<char>(read_data_byte(machine.T, i));
            if (c == '\'') break;
            if (c == '\0') {
                machine.A = ERROR_TOO_LONG;
                return;
            }
            type.push_back(c);
        }
        text = with_type(text, type);
    }
    size_t name_length = file_part_length(text);
    if (text.size() > NAME_BYTES || name_length > static_cast<size_t>(MAX_FILE_NAME)) {
        machine.A = ERROR_TOO_LONG;
        return;
    }
    if (name_length == 0) {
        machine.A = ERROR_AMBIGUOUS_FILE;
        return;
    }
    text = upper_cased(text);
    for (auto &c : text)
        if (c == ':') c = '.';
    if (text.find('.', file_part_start(text)) == std::string::npos) text = with_type(text, "SYMB");
    bool report = settings.debug_level == 4;
    if (report) std::printf("\nFile to deabb: %s\n", text.c_str());
    std::string path;
    int status = deabb(text, &path);
    if (report) std::printf("\nDeabbr file: %s\n", path.c_str());
    if (status < 0) {
        if (report) {
            switch (status) {
            case NAME_NO_SUCH_FILE:
                std::printf("\nNo such file name\n");
                break;
            case NAME_FILE_AMBIGUOUS:
                std::printf("\nAmbiguous file name\n");
                break;
            case NAME_MISSING_PARENTHESIS:
                std::printf("\nFound ( but not )\n");
                break;
            case NAME_NO_USER:
                std::printf("\nNo user name specified\n");
                break;
            case NAME_NO_SUCH_USER:
                std::printf("\nNo such user name\n");
                break;
            case NAME_USER_AMBIGUOUS:
                std::printf("\nAmbiguous user name\n");
                break;
            case NAME_USER_TOO_LONG:
                std::printf("\nUser name too long\n");
                break;
            default:
                break;
            }
        }
        machine.A = open_status_code(status);
        return;
    }
    write_nd_text(machine.A + 1, path + "'", path.size() + 1, '\0');
    mon_plain_return();
}
