// The operator's file and user commands: users and the current user, file
// listings, creating, copying, renaming and deleting files and users, and
// the ND program's open files.
#include "filesystem/file_names.h"
#include "filesystem/open_files.h"
#include "filesystem/users.h"
#include "host/host.h"
#include "monitor/error_table.h"
#include "shell/commands.h"
#include "shell/settings.h"
#include "shell/shell.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>

static FILE *out() {
    return shell.operator_output;
}

static constexpr uint64_t PAGE_BYTES = 2048; // one page of 1024 words
static constexpr int MAX_TYPED_USER_NAME = 32;

static std::string upper_case(std::string text) {
    for (auto &c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// An error-table text with "\r\n" around it, or the code when the table
// lacks it.
static void print_error_code(int32_t code) {
    const char *text = error_text(code);
    if (text)
        std::fprintf(out(), "\r\n%s\r\n", text);
    else
        std::fprintf(out(), "\r\nError code number %o octal\r\n", static_cast<unsigned>(code));
}

static bool is_console(FILE *stream) {
    return stream == stdin || stream == stdout;
}

static void close_unless_console(FILE *stream) {
    if (stream && !is_console(stream)) std::fclose(stream);
}

// --- users ---

void cmd_list_users() {
    std::fprintf(out(), "These users are known:\r\n");
    for (int i = 0; i < user_table.count; ++i)
        std::fprintf(out(), "\r\n%s", user_table.names[i].c_str());
    std::fprintf(out(), "\r\n");
}

void cmd_check_files() {
    scan_user_files(user_table.current_user_name, 1);
    std::fprintf(out(), "\r\nThese files are known for user %s:\r\n",
                 user_table.current_user_name.c_str());
    for (int i = 0; i < user_file_list.count; ++i)
        std::fprintf(out(), "\r\n%s", user_file_list.entries[i].name.c_str());
    std::fprintf(out(), "\r\n");
}

void cmd_who() {
    std::fprintf(out(), "===>  1  %s\r\n", user_table.current_user_name.c_str());
}

// Reads a user name (prompt "Enter user: ", default SYSTEM) and resolves it.
// Returns the find_user result, or CONSOLE_EOF.
static int read_user_name(std::string *full_name) {
    std::string word;
    if (read_word_argument(&word, "SYSTEM", "Enter user: ") == CONSOLE_EOF) return CONSOLE_EOF;
    return find_user(upper_case(word), full_name);
}

void cmd_new() {
    std::string full_name;
    int found = read_user_name(&full_name);
    if (found == CONSOLE_EOF) return;
    if (!user_change_authorized()) {
        std::fprintf(out(), "YOU ARE NOT AUTHORIZED TO DO THIS\r\n");
        return;
    }
    if (found < 0) {
        std::fprintf(out(), "%s", user_lookup_message(found));
        return;
    }
    int new_index = find_user_exact(full_name);
    std::fprintf(out(), "Changing from user %s to user %s (user %i)\r\n",
                 user_table.current_user_name.c_str(), full_name.c_str(), new_index);
    int old_index = user_table.current_user_index;
    bool old_is_privileged = old_index == 0 || old_index == 1;
    if (user_table.saved_user_index == -1 && old_is_privileged) {
        // The saved user is the one changed from, name and index together.
        user_table.saved_user_name = user_table.current_user_name;
        user_table.saved_user_index = old_index;
    } else if (user_table.saved_user_index != -1 && old_is_privileged) {
        user_table.saved_user_name.clear();
        user_table.saved_user_index = -1;
    }
    user_table.current_user_name = full_name;
    user_table.current_user_index = new_index;
}

void cmd_log_in_user() {
    std::string full_name;
    int found = read_user_name(&full_name);
    if (found == CONSOLE_EOF) return;
    if (found < 0) {
        std::fprintf(out(), "%s", user_lookup_message(found));
        return;
    }
    user_table.current_user_index = find_user_exact(full_name);
    std::fprintf(out(), "Logged out user %s and logged in user %s (user %i)\r\n",
                 user_table.current_user_name.c_str(), full_name.c_str(), found);
    user_table.current_user_name = full_name;
    user_table.saved_user_name.clear();
    user_table.saved_user_index = -1;
}

static bool is_known_user(const std::string &name) {
    for (int i = 0; i < user_table.count; ++i)
        if (user_table.names[i] == name) return true;
    return false;
}

void cmd_create_user() {
    std::string name;
    if (read_word_argument(&name, "*", "User name: ") == CONSOLE_EOF) return;
    name = upper_case(name);
    // A user name longer than the UserTable holds would be skipped by every
    // later scan of the users, so it is refused here.
    if (name.size() > static_cast<size_t>(MAX_USER_NAME)) {
        std::fprintf(out(), "User name too long\r\n");
        return;
    }
    if (!is_valid_user_name(name)) {
        print_error_code(021);
        return;
    }
    if (is_known_user(name)) {
        print_error_code(051);
        return;
    }
    std::string directory = user_directory(name);
    if (!host_make_directory(directory))
        std::fprintf(out(), "mkdir %s error: %d\r\n", directory.c_str(), errno);
    scan_users();
}

void cmd_delete_user() {
    std::string name;
    if (read_word_argument(&name, "*", "User name: ") == CONSOLE_EOF) return;
    name = upper_case(name);
    if (name.size() > static_cast<size_t>(MAX_TYPED_USER_NAME)) {
        std::fprintf(out(), "User name too long\r\n");
        return;
    }
    std::string full_name;
    switch (find_user(name, &full_name)) {
    case USER_NAME_TOO_LONG:
        print_error_code(044);
        return;
    case USER_NAME_AMBIGUOUS:
    case USER_NAME_MISSING:
        print_error_code(045);
        return;
    case USER_NAME_UNKNOWN:
        print_error_code(046);
        return;
    default:
        break;
    }
    if (full_name == user_table.current_user_name) {
        std::fprintf(out(), "You can not delete yourself\r\n");
        return;
    }
    std::string directory = user_directory(full_name);
    HostFileInfo info = host_file_info(directory);
    if (!info.exists || !info.is_directory) {
        std::fprintf(out(), "Error, user %s was found but not the directory\r\n",
                     full_name.c_str());
        return;
    }
    std::vector<std::string> entries;
    if (!host_list_directory(directory, &entries)) {
        std::fprintf(out(), "Some error, directory is %s\r\n", directory.c_str());
        return;
    }
    if (!entries.empty()) {
        print_error_code(052);
        return;
    }
    if (!host_remove_directory(directory)) {
        std::fprintf(out(), "rmdir failed\r\n");
        return;
    }
    scan_users();
    user_table.current_user_index = find_user_exact(user_table.current_user_name);
}

void cmd_release_directory() {
    std::string name;
    read_word_argument(&name, "*", "Directory name: ");
}

// --- listing files ---

// The user a listing or a new file is meant for: the user part of `name`
// resolved, or the current user. Prints the failure and returns false.
static bool resolve_user_part(const std::string &name, std::string *full_user,
                              const char *no_user_message) {
    std::string user;
    int part = user_of_name(name, &user);
    if (part == NAME_MISSING_PARENTHESIS) {
        std::fprintf(out(), "Found ( but not )\r\n");
        return false;
    }
    if (part == NAME_USER_TOO_LONG) {
        std::fprintf(out(), "User name too long\r\n");
        return false;
    }
    if (part != 1) {
        *full_user = user_table.current_user_name;
        return true;
    }
    int found = find_user(user, full_user);
    if (found >= 0) return true;
    if (found == USER_NAME_MISSING)
        std::fprintf(out(), "%s", no_user_message);
    else
        std::fprintf(out(), "%s", user_lookup_message(found));
    return false;
}

static std::string after_user_part(const std::string &name) {
    if (name.empty() || name[0] != '(') return name;
    size_t close = name.find(')');
    return close == std::string::npos ? std::string() : name.substr(close + 1);
}

static bool listed_file_matches(const std::string &file, const std::string &pattern) {
    if (pattern.empty() || pattern == "*") return true;
    if (pattern[0] == '.') {
        size_t dot = file.find('.');
        std::string type = dot == std::string::npos ? std::string() : file.substr(dot + 1);
        return type.compare(0, pattern.size() - 1, pattern, 1) == 0;
    }
    const char *table[2] = {file.c_str(), nullptr};
    int index = 0, terminator = 0, end = 0;
    int result = match_command(pattern.c_str(), 0, table, &index, &terminator, &end);
    return result == MATCH_EXACT || result == MATCH_ABBREVIATION;
}

static void print_listed_file(int index, const std::string &user, const UserFileEntry &entry) {
    std::string shown = entry.name;
    size_t dot = shown.find('.');
    if (dot != std::string::npos) shown[dot] = ':';
    char line[128];
    std::snprintf(line, sizeof line, "\r\nFILE %i : (%s)%s", index, user.c_str(), shown.c_str());
    std::string text = line;
    // Sizes line up after the longest possible "FILE nnn : (USER)NAME:TYPE".
    constexpr size_t SIZE_COLUMN = 2 + 11 + 2 + MAX_USER_NAME + MAX_FILE_NAME + 1 + MAX_FILE_TYPE;
    if (text.size() < SIZE_COLUMN + 1) text.append(SIZE_COLUMN + 1 - text.size(), ' ');
    std::fprintf(out(), "%s%ld bytes", text.c_str(), static_cast<long>(entry.size));
}

void cmd_list_file() {
    std::string pattern;
    if (read_word_argument(&pattern, "*", "File name: ") == CONSOLE_EOF) return;
    std::string name;
    int normalised = normalise_name(upper_case(pattern), &name);
    if (normalised == -2) {
        print_error_code(044);
        return;
    }
    if (normalised == -1) {
        print_error_code(021);
        return;
    }
    for (auto &c : name)
        if (c == ':') c = '.';
    std::string user;
    if (!resolve_user_part(name, &user, "Error: No user name specified\r\n")) return;
    std::string file_pattern = after_user_part(name);
    if (scan_user_files(user, 0) < 0) return;
    int shown = 0;
    for (int i = 0; i < user_file_list.count; ++i) {
        if (!listed_file_matches(user_file_list.entries[i].name, file_pattern)) continue;
        print_listed_file(i, user, user_file_list.entries[i]);
        ++shown;
    }
    if (shown == 0 && !file_pattern.empty() && file_pattern != "*" && file_pattern[0] != '.')
        std::fprintf(out(), "NO SUCH FILE NAME\r\n");
    else
        std::fprintf(out(), "\r\n");
}

// --- creating and deleting files ---

// Writes `bytes` zero bytes at the end of the stream; false on a write error.
static bool write_zero_bytes(FILE *stream, uint64_t bytes) {
    static const char zeros[PAGE_BYTES] = {};
    while (bytes > 0) {
        size_t chunk = bytes < PAGE_BYTES ? static_cast<size_t>(bytes) : sizeof zeros;
        if (std::fwrite(zeros, 1, chunk, stream) != chunk) return false;
        bytes -= chunk;
    }
    return true;
}

// Checks NAME or NAME:TYPE of a file to create; prints the refusal.
static bool file_name_is_acceptable(const std::string &file) {
    size_t colon = file.find(':');
    std::string name = file.substr(0, colon);
    std::string type = colon == std::string::npos ? std::string() : file.substr(colon + 1);
    for (char c : file)
        if (!is_nd_name_character(c) && c != ':') {
            std::fprintf(out(), "Illegal character in file name: %c\r\n", c);
            return false;
        }
    if (name.empty() || type.find(':') != std::string::npos) {
        print_error_code(021);
        return false;
    }
    if (name.size() > static_cast<size_t>(MAX_FILE_NAME)) {
        std::fprintf(out(), "File name too long\r\n");
        return false;
    }
    if (type.size() > static_cast<size_t>(MAX_FILE_TYPE)) {
        std::fprintf(out(), "File type > 4 characters\r\n");
        return false;
    }
    return true;
}

void cmd_create_file() {
    std::string name;
    if (read_word_argument(&name, "*", "File name: ") == CONSOLE_EOF) return;
    uint32_t pages = 0;
    int bad_char = 0;
    int read = read_decimal_argument(&pages, 0, "Number of pages: ", &bad_char);
    if (read == CONSOLE_EOF) return;
    if (read < 0) {
        std::fprintf(out(), "Illegal char. in number: %c\r\n", bad_char);
        return;
    }
    if (pages > 100) {
        int answer = read_choice_argument("Do you really want to create such a large file ? ", "no",
                                          "yes no");
        if (answer == CONSOLE_EOF || answer == 2) return;
        if (answer != 1) std::fprintf(out(), "Please answer yes or no\r\n");
    }
    name = upper_case(name);
    if (name.find('.') != std::string::npos) {
        for (auto &c : name)
            if (c == '.') c = ':';
        std::fprintf(out(), "File type separator . substituted by :\r\n");
    }
    if (!name.empty() && name.back() == ':') name.pop_back();
    std::string user;
    int part = user_of_name(name, &user);
    if (part == NAME_MISSING_PARENTHESIS) {
        std::fprintf(out(), "Bad user name\r\n");
        return;
    }
    if (part == NAME_USER_TOO_LONG) {
        std::fprintf(out(), "User name too long\r\n");
        return;
    }
    std::string full_user = user_table.current_user_name;
    if (part == 1) {
        int found = find_user(user, &full_user);
        if (found < 0) {
            const char *message = user_lookup_message(found);
            if (found == USER_NAME_MISSING || !message)
                std::fprintf(out(), "User name error %d\r\n", found);
            else
                std::fprintf(out(), "%s", message);
            return;
        }
    }
    std::string file = after_user_part(name);
    if (file.find('"') != std::string::npos) {
        std::fprintf(out(), "Illegal character in file name: \"");
        return;
    }
    if (!file_name_is_acceptable(file)) return;
    size_t colon = file.find(':');
    std::string host_name = colon == std::string::npos
                                ? file + ".DATA"
                                : file.substr(0, colon) + "." + file.substr(colon + 1);
    std::string path = user_directory(full_user) + "/" + host_name;
    // Made in one step that neither follows a link nor opens what exists.
    FILE *created = host_create_new_file(path);
    if (!created && errno == EEXIST) {
        std::fprintf(out(), "File already exists\r\n");
        return;
    }
    if (!settings.silent_mode) std::fprintf(out(), "%s\r\n", path.c_str());
    if (!created) {
        std::fprintf(out(), "Open file error %d\r\n", errno);
        return;
    }
    // Extending the new file gives it the zero bytes of its pages at once,
    // however many pages were asked for.
    bool extended = host_set_stream_size(created, static_cast<uint64_t>(pages) * PAGE_BYTES);
    int error = errno;
    std::fclose(created);
    if (!extended) {
        host_remove_file(path);
        std::fprintf(out(), "Open file error %d\r\n", error);
    }
}

// Renaming and deleting are for the current user's own files: a file that
// resolves into another user's directory (through the SYSTEM fallback too)
// is refused with the message. The user of the path is left in *user.
static bool own_file(const std::string &path, const char *verb, std::string *user) {
    int part = user_of_name(path, user);
    if (part == NAME_USER_TOO_LONG) {
        std::fprintf(out(), "User name too long\r\n");
        return false;
    }
    if (part == NAME_MISSING_PARENTHESIS) {
        std::fprintf(out(), "Found ( but not )\r\n");
        return false;
    }
    if (*user != user_table.current_user_name) {
        std::fprintf(out(), "Not allowed to %s another user's file\r\n", verb);
        return false;
    }
    return true;
}

void cmd_delete_file() {
    std::string name;
    if (read_word_argument(&name, "*", "\r\nFile name: ") == CONSOLE_EOF) return;
    name = upper_case(name);
    std::string path;
    int status = deabb(name, &path);
    if (status >= 0) {
        std::string user;
        if (!own_file(path, "delete", &user)) return;
        if (!reserve_for_change_by_command(path, "not deleted")) return;
        if (!host_remove_file(path)) {
            int error = errno;
            std::fprintf(out(), "\r\n(Delete file %s failed, status %d\r\n", path.c_str(), -1);
            std::fprintf(out(), "Error no is : %d, ", error);
            std::fprintf(out(), "%s\r\n", std::strerror(error));
        }
        return;
    }
    int code = resolution_error_code(status);
    if (code >= 0)
        print_error_code(code);
    else
        std::fprintf(out(), "\r\nDelete file %s failed, status %d\r\n", name.c_str(), status);
}

// --- copying ---

static bool same_host_file(const std::string &a, const std::string &b) {
    HostFileInfo first = host_file_info(a);
    HostFileInfo second = host_file_info(b);
    return first.exists && second.exists && first.identity == second.identity;
}

// Opens destination and source as the copy commands name them. The
// destination is opened without truncation; nothing is changed when the
// source fails. Returns false after the message.
static bool open_copy_files(FILE **destination, std::string *destination_path, FILE **source,
                            bool console_allowed) {
    if (s3_fopen(destination, "Copy to file: ", "a", "SYMB", destination_path) < 0) return false;
    if (!console_allowed && is_console(*destination)) {
        std::fprintf(out(), "Not allowed, terminal is a peripheral device\r\n");
        return false;
    }
    std::string source_path;
    if (s3_fopen(source, "Copy from file: ", "rb", "SYMB", &source_path) < 0) {
        close_unless_console(*destination);
        return false;
    }
    if (!console_allowed && is_console(*source)) {
        std::fprintf(out(), "Not allowed, terminal is a peripheral device\r\n");
        close_unless_console(*destination);
        return false;
    }
    if (!is_console(*destination) && !is_console(*source) &&
        same_host_file(*destination_path, source_path)) {
        std::fprintf(out(), "Source and destination are the same file\r\n");
        close_unless_console(*destination);
        close_unless_console(*source);
        return false;
    }
    return true;
}

void cmd_copy_file() {
    FILE *destination = nullptr, *source = nullptr;
    std::string destination_path;
    if (!open_copy_files(&destination, &destination_path, &source, false)) return;
    unsigned long count = 0;
    for (int c; (c = std::fgetc(source)) != EOF; ++count)
        std::fputc(c, destination);
    if (count % PAGE_BYTES != 0) write_zero_bytes(destination, PAGE_BYTES - count % PAGE_BYTES);
    std::fclose(destination);
    std::fclose(source);
    std::fprintf(out(), "%lu bytes copied from source file, wrote 0's to fill a page\r\n", count);
}

void cmd_copy() {
    FILE *destination = nullptr, *source = nullptr;
    std::string destination_path;
    if (!open_copy_files(&destination, &destination_path, &source, true)) return;
    bool to_console = is_console(destination);
    // The destination is made anew only now that the source is open.
    if (!to_console) host_set_stream_size(destination, 0);
    unsigned long count = 0;
    for (int c; (c = std::fgetc(source)) != EOF; ++count)
        std::fputc(to_console ? (c & 0177) : c, destination);
    if (to_console) std::fflush(destination);
    close_unless_console(destination);
    close_unless_console(source);
    std::fprintf(out(), "%lu bytes copied from source file\r\n", count);
}

// --- renaming ---

static bool is_type_character(char c) {
    return is_nd_name_character(c);
}

void cmd_rename_file() {
    FILE *stream = nullptr;
    std::string old_path;
    if (s3_fopen(&stream, "Rename file: ", "r", "SYMB", &old_path) < 0) return;
    close_unless_console(stream);
    std::string old_user;
    if (!own_file(old_path, "rename", &old_user)) return;
    std::string new_name;
    if (read_word_argument(&new_name, "*", "New file name: ") == CONSOLE_EOF) return;
    new_name = upper_case(new_name);
    std::string existing;
    int status = deabb(new_name, &existing);
    if (status == NAME_RESOLVED) {
        std::fprintf(out(), "File already exists\r\n");
        return;
    }
    // A new name that names no file yet is what a rename wants: only the
    // other resolution failures are reported.
    if (status != NAME_NO_SUCH_FILE)
        print_resolution_status(status, new_name, true);
    if (status != NAME_NO_SUCH_FILE && status != NAME_FILE_AMBIGUOUS) return;

    // The new name stays in the same user directory: a user part may only
    // name the current user.
    std::string file = new_name;
    std::string new_user;
    int new_part = user_of_name(new_name, &new_user);
    if (new_part == 1) {
        std::string full_user;
        if (find_user(new_user, &full_user) < 0 || full_user != old_user) {
            std::fprintf(out(), "Not allowed to rename another user's file\r\n");
            return;
        }
    }
    if (new_part == 1 || new_part == 5) file = after_user_part(new_name);

    size_t separator = file.find_first_of(":.");
    std::string base = file.substr(0, separator);
    std::string type;
    if (separator == std::string::npos) {
        size_t old_dot = old_path.rfind('.');
        type = old_dot == std::string::npos ? std::string() : old_path.substr(old_dot + 1);
    } else {
        type = file.substr(separator + 1);
        if (type.empty()) {
            std::fprintf(out(), "Found file type separator, but no file type!\r\n");
            return;
        }
        for (char c : type)
            if (!is_type_character(c)) {
                std::fprintf(out(), "Bad character in file type\r\n");
                return;
            }
        if (type.size() > static_cast<size_t>(MAX_FILE_TYPE)) {
            std::fprintf(out(), "File type > 4 characters\r\n");
            return;
        }
    }
    for (char c : base)
        if (!is_nd_name_character(c) && c != '(' && c != ')') {
            print_resolution_status(NAME_ILLEGAL_CHARACTER, new_name);
            return;
        }
    std::string new_path = user_directory(old_user) + "/" + base + "." + type;
    if (!settings.silent_mode)
        std::fprintf(out(), "Rename %s to %s\r\n", old_path.c_str(), new_path.c_str());
    if (host_file_info(new_path).exists) {
        std::fprintf(out(), "File already exists\r\n");
        return;
    }
    size_t open = base.find('(');
    if (open != std::string::npos && base.find(')', open) == std::string::npos) {
        std::fprintf(out(), "Found ( but not )\r\n");
        return;
    }
    if (base.size() > static_cast<size_t>(MAX_FILE_NAME)) {
        std::fprintf(out(), "File name too long\r\n");
        return;
    }
    if (base.empty()) {
        print_resolution_status(NAME_ILLEGAL_CHARACTER, new_name);
        return;
    }
    if (!reserve_for_change_by_command(old_path, "not renamed")) return;
    // The rename never replaces a file, not even one made meanwhile.
    if (host_rename(old_path, new_path)) return;
    if (errno == EEXIST)
        std::fprintf(out(), "File already exists\r\n");
    else
        std::fprintf(out(), "Rename file failed\r\n");
}

// --- the ND program's open files ---

void cmd_list_opened_files() {
    list_open_files();
}

void cmd_close_file() {
    uint32_t number = 0;
    int bad_char = 0;
    int read = read_octal_argument(&number, 0, "Enter file number (177777 = all): ", &bad_char);
    if (read == CONSOLE_EOF) return;
    if (read < 0) {
        std::fprintf(out(), "Illegal char. in octal number: %c\r\n", bad_char);
        return;
    }
    if (number == CLOSE_KEEP_SCRATCH) {
        list_open_files();
        close_all_files(CLOSE_KEEP_SCRATCH);
        std::fprintf(out(), "All above files closed\r\n");
        return;
    }
    uint32_t error = 0;
    int32_t file_number = number > 0x7fffffffu ? -1 : static_cast<int32_t>(number);
    if (close_file(file_number, &error) == 0) return;
    const char *text = error_text(static_cast<int32_t>(error));
    if (text)
        std::fprintf(out(), "%s", text);
    else
        std::fprintf(out(), "Error code number %o octal\r\n", error);
    std::fprintf(out(), "\r\nFiles still open:");
    list_open_files();
}

void cmd_open_scratch_file() {
    std::fprintf(out(), "\r\nNot coded, restart emulator to open scratch file!\r\n");
}
