// ND users: host directories named "(USER)" in the working directory, the
// current and saved user, and the listing of one user's files with the object
// numbers the file-information calls hand out.
#pragma once

#include <cstdint>
#include <string>

constexpr int MAX_USERS = 256;
constexpr int MAX_USER_NAME = 16;

struct UserTable {
    std::string names[MAX_USERS];
    int count;
    std::string current_user_name;
    int current_user_index;
    std::string saved_user_name;
    int saved_user_index; // -1 = none
};

extern UserTable user_table;

// Results of find_user besides an index.
constexpr int USER_NAME_TOO_LONG = -1;
constexpr int USER_NAME_AMBIGUOUS = -2;
constexpr int USER_NAME_UNKNOWN = -3;
constexpr int USER_NAME_MISSING = -4;

// The ND error codes (octal) of the user lookups as MON 44, 241 and 250
// report them.
constexpr uint32_t ERROR_NOT_AUTHORIZED = 025;
constexpr uint32_t ERROR_TOO_LONG_PARAMETER = 044;
constexpr uint32_t ERROR_AMBIGUOUS_USER = 045;
constexpr uint32_t ERROR_NO_SUCH_USER = 046;

// Empty table, current user EMULATOR at index 0, no saved user.
void reset_user_table();
// Rebuilds the table from the host directories, SYSTEM, RT and SCRATCH first.
void scan_users();
// Index of the user with exactly this name, or 0 (SYSTEM) with a message.
int find_user_exact(const std::string &name);
// Resolves a possibly abbreviated user name: the index with the full name in
// *full_name, or one of the USER_NAME_* results.
int find_user(const std::string &word, std::string *full_name);
// The shell's message for a negative find_user result ("User name too
// long\r\n" ...), or null for any other value.
const char *user_lookup_message(int result);
// A name a new user may have: 1 to 16 letters, digits and "-", upper case.
bool is_valid_user_name(const std::string &name);
// Host directory of a user: "./(NAME)".
std::string user_directory(const std::string &name);
// True when the current or the saved user is SYSTEM or RT, the condition for
// changing to another user.
bool user_change_authorized();

// Changes the current user as MON 241 does. Returns 1 for SYSTEM, 2 for RT,
// 0 for any other user, or -1 with the ND error code in *error_code.
int change_user(const std::string &name, uint32_t *error_code);
// Makes the saved user current again (MON 242).
void restore_user();

// --- the listing of one user's files ---
constexpr int MAX_USER_FILES = 255;
constexpr int OBJECT_TABLE_SLOTS = 257;

struct UserFileEntry {
    std::string name; // NAME.TYPE
    uint32_t size;
    int64_t accessed;
    int64_t modified;
    int64_t changed;
    uint64_t identity; // host file index; 0 when it could not be read
};

struct UserFileList {
    std::string user_name; // the user whose directory was listed last
    int count;
    UserFileEntry entries[MAX_USER_FILES];
    // The identities of the listed files in ascending order; a file's object
    // number is its position here. Unused slots are zero.
    uint64_t sorted_identities[OBJECT_TABLE_SLOTS];
};

extern UserFileList user_file_list;

void reset_user_file_list();
// Lists ./(USER)/ into the UserFileList. verbose = 1 reports names that are
// not ND file names. Returns the number of files, or -1 when the directory
// holds too many.
int scan_user_files(const std::string &user, int verbose);
// Position in the UserFileList of the file with object number k, or -1 when
// that object entry is not used.
int find_object_file(uint32_t object_number);
// Appends a file just created to the UserFileList (it gets the next object
// number). Returns false when the list is full.
bool append_user_file(const std::string &name);
