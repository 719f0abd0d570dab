// ND users: host directories named "(USER)" in the working directory.
#pragma once

#include <string>

constexpr int MAX_USERS = 256;
constexpr int MAX_USER_NAME = 16;

struct UserTable {
    std::string names[MAX_USERS];
    int count;
    std::string current_user_name;
    int current_user_index;
    std::string saved_user_name;
    int saved_user_index;  // -1 = none
};

extern UserTable user_table;

void reset_user_table();
// Rebuilds the table from the host directories, SYSTEM, RT and SCRATCH first.
void scan_users();
// Index of the user with exactly this name, or 0 (SYSTEM) with a message.
int find_user_exact(const std::string &name);
// Host directory of a user: "./(NAME)".
std::string user_directory(const std::string &name);
