#include "filesystem/file_names.h"

#include "filesystem/reservations.h"
#include "filesystem/users.h"
#include "host/host.h"
#include "shell/settings.h"
#include "shell/shell.h"

#include <cctype>
#include <cerrno>
#include <cstring>

const char TERMINAL_PATH[] = "./(SYSTEM)/TERMINAL.SYMB";

std::string last_opened_file_name;

static const char HOST_PATH_PREFIX[] = "./(";

static bool starts_with(const std::string &text, const char *prefix, size_t at = 0) {
    return text.compare(at, std::char_traits<char>::length(prefix), prefix) == 0;
}

bool is_nd_name_character(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == '-';
}

static std::string upper_case(std::string text) {
    for (auto &c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

static bool is_host_path_form(const std::string &name) {
    return starts_with(name, HOST_PATH_PREFIX, !name.empty() && name[0] == '"' ? 1 : 0);
}

// Where the name proper begins: after an optional leading double quote and
// an optional "./" of the host-path form.
static size_t name_start(const std::string &name) {
    size_t p = 0;
    if (p < name.size() && name[p] == '"') ++p;
    if (starts_with(name, "./", p)) p += 2;
    return p;
}

// "(DIRECTORY:USER)REST" becomes "(USER)REST". Returns false when a user part
// with ":" has no ")".
static bool drop_directory_name(const std::string &name, std::string *out) {
    *out = name;
    size_t open = name_start(name);
    if (open >= name.size() || name[open] != '(') return true;
    size_t close = name.find(')', open);
    size_t colon = name.find(':', open);
    if (colon == std::string::npos) return true;
    if (close == std::string::npos) return false;
    if (colon < close) *out = name.substr(0, open) + "(" + name.substr(colon + 1);
    return true;
}

// A "/" is legal only in the host-path form ./(USER)/NAME.TYPE, once after
// the prefix and once after the user part.
static bool has_illegal_separator(const std::string &name) {
    if (!is_host_path_form(name)) return name.find('/') != std::string::npos;
    size_t p = name[0] == '"' ? 1 : 0;
    size_t close = name.find(')', p);
    if (close == std::string::npos || close + 1 >= name.size() || name[close + 1] != '/')
        return true;
    return name.find('/', p + 2) != close + 1 || name.find('/', close + 2) != std::string::npos;
}

int normalise_name(const std::string &name, std::string *out) {
    if (name.size() > static_cast<size_t>(MAX_NORMALISED_NAME)) return -2;
    if (name.find('/') != std::string::npos) return -1;
    if (!drop_directory_name(name, out)) return -1;
    size_t open = name_start(*out);
    return open < out->size() && (*out)[open] == '(' ? 1 : 0;
}

int user_of_name(const std::string &name, std::string *user) {
    size_t open = name_start(name);
    if (open >= name.size() || name[open] != '(') {
        *user = user_table.current_user_name;
        return 0;
    }
    size_t close = name.find(')', open);
    if (close == std::string::npos) return NAME_MISSING_PARENTHESIS;
    if (close == open + 1) {
        *user = user_table.current_user_name;
        return 5;
    }
    std::string inner = name.substr(open + 1, close - open - 1);
    if (inner.size() > static_cast<size_t>(MAX_USER_NAME)) return NAME_USER_TOO_LONG;
    *user = inner;
    return 1;
}

// Position of the file-name part: after the quote and the user part (and the
// "/" of the host-path form); npos for "(" without ")".
static size_t file_part_start(const std::string &name) {
    size_t p = name_start(name);
    if (p < name.size() && name[p] == '(') {
        size_t close = name.find(')', p);
        if (close == std::string::npos) return std::string::npos;
        p = close + 1;
        if (p < name.size() && name[p] == '/' && is_host_path_form(name)) ++p;
    }
    return p;
}

int name_part_length(const std::string &name) {
    size_t p = file_part_start(name);
    if (p == std::string::npos) return -1;
    size_t end = name.find_first_of(":.\"", p);
    if (end == std::string::npos) end = name.size();
    return static_cast<int>(end - p);
}

// The file part must name a file inside the user directory: no separator and
// not empty (an empty part would leave the directory itself, or a name
// beginning with "." that the file scan never lists).
static bool file_part_is_legal(const std::string &name, size_t file_start) {
    if (has_illegal_separator(name)) return false;
    return file_start < name.size() && name[file_start] != '.' && name[file_start] != ':' &&
           name[file_start] != '"';
}

static std::string name_before_type(const std::string &file) {
    return file.substr(0, file.find('.'));
}

// Matches the file part (NAME.TYPE, ":" already turned into ".") against
// the listed files. The exact name wins; then a file whose name is the one
// given in full, its type given in part or not at all (A1 and A1.D both
// name A1.DATA beside A12.DATA); then a single abbreviation. Several at the
// best of these ranks are ambiguous. Returns the number of matches at that
// rank.
// A file part without a name (empty, or only a type such as ".SYMB") names
// no file: the matcher would take it as an abbreviation of every file of
// that type.
static int match_listed_file(const std::string &file_part, std::string *listed_name) {
    if (file_part.empty() || file_part[0] == '.') return 0;
    std::string given_name = name_before_type(file_part);
    int abbreviations = 0, whole_names = 0;
    std::string abbreviated, whole;
    for (int i = 0; i < user_file_list.count; ++i) {
        const std::string &listed = user_file_list.entries[i].name;
        const char *table[2] = {listed.c_str(), nullptr};
        int index = 0, terminator = 0, end = 0;
        int result = match_command(file_part.c_str(), 0, table, &index, &terminator, &end);
        if (result == MATCH_EXACT) {
            *listed_name = listed;
            return 1;
        }
        if (result != MATCH_ABBREVIATION) continue;
        if (abbreviations++ == 0) abbreviated = listed;
        if (name_before_type(listed) == given_name && whole_names++ == 0) whole = listed;
    }
    if (whole_names > 0) {
        *listed_name = whole;
        return whole_names;
    }
    *listed_name = abbreviated;
    return abbreviations;
}

int deabb(const std::string &name, std::string *host_path) {
    std::string work;
    if (!drop_directory_name(name, &work)) return NAME_MISSING_PARENTHESIS;
    std::string user;
    int user_part = user_of_name(work, &user);
    if (user_part < 0) return user_part;
    // Only listed files can match, so a separator is the one thing to refuse.
    if (has_illegal_separator(work)) return NAME_ILLEGAL_CHARACTER;
    size_t file_start = file_part_start(work);
    std::string full_user;
    int found = find_user(upper_case(user), &full_user);
    if (found < 0) return found;
    // NAME:TYPE and NAME.TYPE name the same file.
    std::string file_part = work.substr(file_start);
    for (auto &c : file_part)
        if (c == ':') c = '.';
    bool explicit_user = user_part != 0;
    bool tried_system = false;
    int status = NAME_NO_SUCH_FILE;
    for (;;) {
        if (scan_user_files(full_user, 0) < 0) {
            status = NAME_DIRECTORY_TOO_LARGE;
            break;
        }
        // A directory that could not be listed leaves another user's list
        // behind: nothing in it belongs to this user.
        std::string listed;
        int matches =
            user_file_list.user_name == full_user ? match_listed_file(file_part, &listed) : 0;
        if (matches > 1) {
            status = NAME_FILE_AMBIGUOUS;
            break;
        }
        if (matches == 1) {
            *host_path = user_directory(full_user) + "/" + listed;
            status = NAME_RESOLVED;
            break;
        }
        if (explicit_user || full_user == "SYSTEM") {
            status = NAME_NO_SUCH_FILE;
            break;
        }
        if (settings.debug_level == 7)
            std::fprintf(shell.operator_output, "\r\nTry user SYSTEM\r\n");
        full_user = "SYSTEM";
        tried_system = true;
    }
    if (tried_system) scan_user_files(user_table.current_user_name, 0);
    return status;
}

int deabb_user(const std::string &name, std::string *host_path, const std::string &current_user) {
    host_path->clear();
    std::string work;
    if (!drop_directory_name(name, &work)) return NAME_MISSING_PARENTHESIS;
    bool quoted = !work.empty() && work[0] == '"';
    std::string rest = work.substr(quoted ? 1 : 0);
    std::string quote = quoted ? "\"" : "";
    if (rest.empty() || rest[0] != '(' || starts_with(rest, "()")) {
        if (settings.debug_level == 6) std::printf("\nAdd user name %s\n", current_user.c_str());
        // "()" is the current user; it does not become part of the file name.
        std::string file = starts_with(rest, "()") ? rest.substr(2) : rest;
        if (!file_part_is_legal(file, 0)) return NAME_ILLEGAL_CHARACTER;
        *host_path = quote + user_directory(current_user) + "/" + file;
        if (settings.debug_level == 6)
            std::printf("\n** User and file name...: %s\n", host_path->c_str());
        return NAME_RESOLVED;
    }
    size_t close = rest.find(')');
    if (close == std::string::npos) return NAME_MISSING_PARENTHESIS;
    std::string user = rest.substr(1, close - 1);
    std::string file = rest.substr(close + 1);
    if (!file_part_is_legal(file, 0) || user.find('/') != std::string::npos)
        return NAME_ILLEGAL_CHARACTER;
    std::string full_user;
    int found = find_user(user, &full_user);
    if (settings.debug_level == 6)
        std::printf("\ndeabb_user of %s returned %i\n", user.c_str(), found);
    if (found < 0) return found;
    *host_path = quote + user_directory(full_user) + "/" + file;
    if (settings.debug_level == 6)
        std::printf("\nUser directory(deabb) and file name: %s\n", host_path->c_str());
    return NAME_RESOLVED;
}

bool is_terminal_path(const std::string &path) {
    return path == TERMINAL_PATH;
}

std::string add_default_type(const std::string &name, const char *default_type) {
    std::string result = name;
    size_t file_start = file_part_start(result);
    if (file_start == std::string::npos) file_start = 0;
    for (size_t i = file_start; i < result.size(); ++i)
        if (result[i] == ':') result[i] = '.';
    if (result.find('.', file_start) != std::string::npos) return result;
    std::string type = default_type[0] == '.' ? default_type + 1 : default_type;
    bool closing_quote = result.size() > 1 && result[0] == '"' && result.back() == '"';
    size_t at = closing_quote ? result.size() - 1 : result.size();
    result.insert(at, "." + type);
    return result;
}

int resolution_error_code(int status) {
    switch (status) {
    case NAME_USER_TOO_LONG:
        return 044;
    case NAME_USER_AMBIGUOUS:
        return 045;
    case NAME_NO_SUCH_USER:
    case NAME_NO_USER:
        return 046;
    case NAME_MISSING_PARENTHESIS:
    case NAME_ILLEGAL_CHARACTER:
        return 021;
    case NAME_FILE_AMBIGUOUS:
        return 057;
    case NAME_NO_SUCH_FILE:
        return 056;
    default:
        return -1;
    }
}

void print_resolution_status(int status, const std::string &name, bool leading_newline) {
    FILE *out = shell.operator_output;
    const char *lead = leading_newline ? "\r\n" : "";
    switch (status) {
    case NAME_USER_TOO_LONG:
        std::fprintf(out, "%sUser name too long\r\n", lead);
        return;
    case NAME_USER_AMBIGUOUS:
        std::fprintf(out, "%sAmbiguous user name\r\n", lead);
        return;
    case NAME_NO_SUCH_USER:
        std::fprintf(out, "%sNo such user name\r\n", lead);
        return;
    case NAME_NO_USER:
        std::fprintf(out, "%sNo user name specified\r\n", lead);
        return;
    case NAME_MISSING_PARENTHESIS:
        std::fprintf(out, "%sFound ( but not )\r\n", lead);
        return;
    case NAME_FILE_AMBIGUOUS:
        std::fprintf(out, "%sAmbiguous file name\r\n", lead);
        return;
    case NAME_NO_SUCH_FILE:
        std::fprintf(out, "%sNo such file name: %s\r\n", lead, name.c_str());
        return;
    case NAME_ILLEGAL_CHARACTER:
        std::fprintf(out, "%sIllegal character in file name: %s\r\n", lead, name.c_str());
        return;
    default:
        std::fprintf(out, "\r\nsts = %i\r\n", status);
        std::fprintf(out, "\r\n Status %i not handled\r\n", status);
        return;
    }
}

static bool is_creatable_name_character(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == ':' || c == '.' || c == '(' ||
           c == ')' || c == '-' || c == '"';
}

// A name to be created must be one the file scan lists afterwards: a file
// name of 1 to 16 characters, a type of at most 4, and ND file-name
// characters only. Returns 0, NAME_ILLEGAL_CHARACTER, or OPEN_CANCELLED for
// a name or type that is too long.
static int check_name_to_create(const std::string &name) {
    for (char c : name)
        if (!is_creatable_name_character(c)) return NAME_ILLEGAL_CHARACTER;
    size_t start = file_part_start(name);
    if (start == std::string::npos) return NAME_MISSING_PARENTHESIS;
    int length = name_part_length(name);
    if (length < 1) return NAME_ILLEGAL_CHARACTER;
    if (length > MAX_FILE_NAME) return OPEN_CANCELLED;
    size_t dot = name.find('.', start);
    if (dot != std::string::npos) {
        size_t end = name.find('"', dot);
        size_t type_length = (end == std::string::npos ? name.size() : end) - dot - 1;
        if (type_length > static_cast<size_t>(MAX_FILE_TYPE)) return OPEN_CANCELLED;
    }
    return 0;
}

// Console streams for the terminal device and for an empty "&" answer.
static FILE *console_stream_for(const char *mode) {
    return mode[0] == 'r' ? stdin : stdout;
}

static int open_terminal(FILE **stream, const char *mode) {
    std::string m = mode;
    if (m == "r" || m == "rb") {
        *stream = stdin;
        return 0;
    }
    if (m == "w" || m == "wb" || m == "w+" || m == "a") {
        if (settings.debug_level == 7)
            std::fprintf(shell.operator_output, "\r\nOpen TERMINAL device\r\n");
        *stream = stdout;
        return 0;
    }
    std::fprintf(shell.operator_output, "\r\ns3_fopen, cannot handle TERMINAL access code %s\r\n",
                 mode);
    return -1;
}

// Creates the file a quoted name asks for. Returns 0 or a negative code
// after its message; *path receives the host path.
static int create_named_file(const std::string &name, std::string *path) {
    int check = check_name_to_create(name);
    if (check == OPEN_CANCELLED) return check;
    if (check < 0) {
        print_resolution_status(check, name);
        return check;
    }
    std::string quoted_path;
    int status = deabb_user(name, &quoted_path, user_table.current_user_name);
    if (status < 0) {
        print_resolution_status(status, name);
        return status;
    }
    *path = quoted_path[0] == '"' ? quoted_path.substr(1) : quoted_path;
    // Made in one step that neither follows a link nor opens what exists:
    // a name taken meanwhile, by a file or a link, is taken.
    FILE *created = host_create_new_file(*path);
    if (!created && errno == EEXIST) {
        std::fprintf(shell.operator_output, "\r\nFile already exists\r\n");
        return OPEN_FILE_EXISTS;
    }
    std::fprintf(shell.operator_output, "\r\nCreate file %s\r\n", path->c_str());
    if (!created) {
        std::fprintf(shell.operator_output, "\r\nCould not create file %s\r\n", path->c_str());
        return OPEN_FAILED;
    }
    std::fclose(created);
    return 0;
}

static bool writes_to_file(const char *mode) {
    return mode[0] == 'w' || mode[0] == 'a' || std::strchr(mode, '+') != nullptr;
}

void print_held_elsewhere(const std::string &path, const char *consequence) {
    std::fprintf(shell.operator_output, "\r\n%s is open in another KESTREL: %s\r\n", path.c_str(),
                 consequence);
}

bool reserve_for_change_by_command(const std::string &path, const char *consequence) {
    if (reserve_for_command(path, ReservationKind::Exclusive) != RESERVATION_HELD_ELSEWHERE)
        return true;
    print_held_elsewhere(path, consequence);
    return false;
}

int s3_fopen(FILE **stream, const char *prompt, const char *mode, const char *default_type,
             std::string *host_path) {
    bool console_allowed = prompt[0] == '&';
    std::string word;
    int length = read_word_argument(&word, "", console_allowed ? prompt + 1 : prompt);
    if (length == CONSOLE_EOF) return OPEN_INPUT_ENDED;
    if (length == 0) {
        if (console_allowed) {
            *stream = console_stream_for(mode);
            return 0;
        }
        std::fprintf(shell.operator_output, "You must enter a file name!\r\n");
        return OPEN_CANCELLED;
    }
    word = upper_case(word);
    if (word[0] == '@') word.erase(0, 1);
    size_t quotes = 0;
    for (char c : word)
        quotes += c == '"';
    bool create = quotes == 2;
    if (quotes == 1) {
        std::fprintf(shell.operator_output, "\r\nError in file name, did not find ending \" ");
        return OPEN_CANCELLED;
    }
    if (quotes > 2 || (create && word[0] != '"')) {
        print_resolution_status(NAME_ILLEGAL_CHARACTER, word);
        return NAME_ILLEGAL_CHARACTER;
    }
    if (create) word.erase(word.rfind('"'), 1);
    std::string name;
    int normalised = normalise_name(word, &name);
    if (normalised == -2) return OPEN_CANCELLED;
    if (normalised == -1) {
        int status =
            word.find('/') != std::string::npos ? NAME_ILLEGAL_CHARACTER : NAME_MISSING_PARENTHESIS;
        print_resolution_status(status, word);
        return status;
    }
    name = add_default_type(name, default_type);
    if (name.size() > static_cast<size_t>(MAX_TYPED_NAME)) return OPEN_CANCELLED;
    if (create) {
        std::string created;
        int status = create_named_file(name, &created);
        if (status < 0) return status;
        name = created;
    }
    std::string path;
    int status = deabb(name, &path);
    if (status < 0) {
        print_resolution_status(status, name);
        return status;
    }
    last_opened_file_name = path;
    if (host_path) *host_path = path;
    if (!informational_messages_suppressed())
        std::fprintf(shell.operator_output, "\r\nOpen file: %s\r\n", path.c_str());
    if (is_terminal_path(path)) return open_terminal(stream, mode);
    // A file written by a command is held against the other KESTRELs until
    // the command ends.
    if (writes_to_file(mode) && !reserve_for_change_by_command(path, "not opened for writing"))
        return OPEN_HELD_ELSEWHERE;
    *stream = host_open_regular_file(path, mode);
    if (!*stream) {
        std::fprintf(shell.operator_output, "\r\nFailed to open %s\r\n", path.c_str());
        return OPEN_FAILED;
    }
    return 0;
}
