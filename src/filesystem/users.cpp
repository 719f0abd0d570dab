#include "filesystem/users.h"
#include "filesystem/file_names.h"

#include "host/host.h"
#include "shell/settings.h"
#include "shell/shell.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <vector>

UserTable user_table;

void reset_user_table() {
    for (auto &name : user_table.names)
        name.clear();
    user_table.count = 0;
    user_table.current_user_name = "EMULATOR";
    user_table.current_user_index = 0;
    user_table.saved_user_name.clear();
    user_table.saved_user_index = -1;
}

std::string user_directory(const std::string &name) {
    return "./(" + name + ")";
}

// The listing pattern "(*)": a directory whose name is a user name in
// parentheses. "()" names no user.
bool is_valid_user_name(const std::string &name) {
    if (name.empty() || name.size() > static_cast<size_t>(MAX_USER_NAME)) return false;
    for (char c : name)
        if (!is_nd_name_character(c)) return false;
    return true;
}

static bool is_user_directory_name(const std::string &entry) {
    return entry.size() >= 3 && entry.front() == '(' && entry.back() == ')' &&
           host_file_info("./" + entry).is_directory;
}

static int position_in(const std::vector<std::string> &users, const char *name) {
    for (size_t i = 0; i < users.size(); ++i)
        if (users[i] == name) return static_cast<int>(i);
    return -1;
}

void scan_users() {
    std::vector<std::string> entries;
    if (!host_list_directory(".", &entries)) {
        std::fprintf(shell.operator_output, "Invalid File Handle. Get Last Error reports %d\r\n",
                     errno);
        return;
    }
    std::vector<std::string> users;
    for (const auto &entry : entries) {
        if (!is_user_directory_name(entry)) continue;
        if (entry.size() > MAX_USER_NAME + 2) {
            std::fprintf(shell.operator_output, "User name %s is too long\r\n", entry.c_str());
            continue;
        }
        users.push_back(entry.substr(1, entry.size() - 2));
        if (users.size() == MAX_USERS) {
            std::fprintf(shell.operator_output, "\r\n Cannot handle more than %i users\r\n",
                         MAX_USERS);
            break;
        }
    }
    std::vector<std::string> ordered;
    if (position_in(users, "SYSTEM") >= 0 && position_in(users, "RT") >= 0 &&
        position_in(users, "SCRATCH") >= 0) {
        ordered = {"SYSTEM", "RT", "SCRATCH"};
        for (const auto &user : users)
            if (user != "SYSTEM" && user != "RT" && user != "SCRATCH") ordered.push_back(user);
    } else {
        std::fprintf(shell.operator_output, "Missing user SYSTEM, RT or SCRATCH\r\n");
        ordered = users;
    }
    for (auto &name : user_table.names)
        name.clear();
    for (size_t i = 0; i < ordered.size(); ++i)
        user_table.names[i] = ordered[i];
    user_table.count = static_cast<int>(ordered.size());
}

int find_user_exact(const std::string &name) {
    for (int i = 0; i < user_table.count; ++i)
        if (user_table.names[i] == name) return i;
    std::fprintf(shell.operator_output, "Did not find user %s\r\n", name.c_str());
    return 0;
}

int find_user(const std::string &word, std::string *full_name) {
    if (word.empty() || word.size() > MAX_USER_NAME + 1) return USER_NAME_TOO_LONG;
    const char *table[MAX_USERS + 1];
    for (int i = 0; i < user_table.count; ++i)
        table[i] = user_table.names[i].c_str();
    table[user_table.count] = nullptr;
    int index = -1, terminator = 0, end = 0;
    switch (match_command(word.c_str(), 0, table, &index, &terminator, &end)) {
    case MATCH_EXACT:
    case MATCH_ABBREVIATION:
        *full_name = user_table.names[index];
        return index;
    case MATCH_AMBIGUOUS:
        return USER_NAME_AMBIGUOUS;
    case MATCH_EMPTY:
        return USER_NAME_MISSING;
    default:
        return USER_NAME_UNKNOWN;
    }
}

const char *user_lookup_message(int result) {
    switch (result) {
    case USER_NAME_TOO_LONG:
        return "User name too long\r\n";
    case USER_NAME_AMBIGUOUS:
        return "Ambiguous user name\r\n";
    case USER_NAME_UNKNOWN:
        return "No such user name\r\n";
    case USER_NAME_MISSING:
        return "No user name specified\r\n";
    default:
        return nullptr;
    }
}

static bool is_system_or_rt(int index) {
    return index == 0 || index == 1;
}

bool user_change_authorized() {
    return is_system_or_rt(user_table.current_user_index) ||
           is_system_or_rt(user_table.saved_user_index);
}

static uint32_t user_lookup_error_code(int result) {
    switch (result) {
    case USER_NAME_TOO_LONG:
        return ERROR_TOO_LONG_PARAMETER;
    case USER_NAME_UNKNOWN:
        return ERROR_NO_SUCH_USER;
    default:
        return ERROR_AMBIGUOUS_USER;
    }
}

int change_user(const std::string &name, uint32_t *error_code) {
    std::string word = name.substr(0, name.find('\''));
    if (word.size() > MAX_USER_NAME) word.resize(MAX_USER_NAME);
    if (settings.debug_level == 4) {
        std::printf("\nChange to user %s\n", word.c_str());
        std::fflush(stdout);
        host_sleep_ms(4000);
    }
    for (auto &c : word)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string full_name;
    int found = find_user(word, &full_name);
    if (found < 0) {
        *error_code = user_lookup_error_code(found);
        return -1;
    }
    int new_index = find_user_exact(full_name);
    if (settings.debug_level == 4)
        std::printf("\nChanging from user %s to user %s (user %i)\n",
                    user_table.current_user_name.c_str(), full_name.c_str(), new_index);
    if (!user_change_authorized()) {
        *error_code = ERROR_NOT_AUTHORIZED;
        return -1;
    }
    int result = new_index == 0 ? 1 : new_index == 1 ? 2 : 0;
    // The saved user is the one changed from: its name and index stay a pair,
    // so that restoring it gives a consistent current user.
    if (user_table.saved_user_index == -1 && is_system_or_rt(new_index)) {
        user_table.saved_user_name = user_table.current_user_name;
        user_table.saved_user_index = user_table.current_user_index;
    } else if (user_table.saved_user_index != -1 && new_index == 0) {
        user_table.saved_user_name.clear();
        user_table.saved_user_index = -1;
    }
    user_table.current_user_name = full_name;
    user_table.current_user_index = new_index;
    return result;
}

void restore_user() {
    if (user_table.saved_user_index == -1) return;
    user_table.current_user_index = user_table.saved_user_index;
    user_table.current_user_name = user_table.saved_user_name;
}
