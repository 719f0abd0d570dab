#include "filesystem/users.h"

#include "host/host.h"
#include "shell/shell.h"

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

std::string user_directory(const std::string &name) { return "./(" + name + ")"; }

static bool is_user_directory_name(const std::string &entry) {
    return entry.size() >= 2 && entry.front() == '(' && entry.back() == ')' &&
           host_file_info("./" + entry).is_directory;
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
        if (!is_user_directory_name(entry))
            continue;
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
    auto position_of = [&](const char *name) {
        for (size_t i = 0; i < users.size(); ++i)
            if (users[i] == name)
                return static_cast<int>(i);
        return -1;
    };
    std::vector<std::string> ordered;
    if (position_of("SYSTEM") >= 0 && position_of("RT") >= 0 && position_of("SCRATCH") >= 0) {
        ordered = {"SYSTEM", "RT", "SCRATCH"};
        for (const auto &user : users)
            if (user != "SYSTEM" && user != "RT" && user != "SCRATCH")
                ordered.push_back(user);
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
        if (user_table.names[i] == name)
            return i;
    std::fprintf(shell.operator_output, "Did not find user %s\r\n", name.c_str());
    return 0;
}
