// The listing of one user's directory (UserFileList) and the object numbers
// derived from the host file identities.
#include "filesystem/users.h"

#include "host/host.h"
#include "shell/settings.h"
#include "shell/shell.h"

#include <cerrno>
#include <cstdio>
#include <vector>

UserFileList user_file_list;

static void clear_object_table() {
    for (auto &identity : user_file_list.sorted_identities)
        identity = 0;
}

void reset_user_file_list() {
    user_file_list.user_name.clear();
    user_file_list.count = 0;
    for (auto &entry : user_file_list.entries)
        entry = UserFileEntry{};
    clear_object_table();
}

static bool is_file_name_character(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == ':' || c == '.' || c == '/' ||
           c == '(' || c == ')' || c == '-';
}

// Whether a host name is an ND file name NAME.TYPE; names that are not are
// reported when verbose is 1 (except for bad characters, which are skipped
// quietly).
static bool is_nd_file_name(const std::string &name, int verbose) {
    size_t dot = name.find('.');
    const char *problem = nullptr;
    if (dot == std::string::npos)
        problem = "File type is missing";
    else if (name.size() - dot - 1 > 4)
        problem = "File type is too long";
    else if (dot > static_cast<size_t>(MAX_USER_NAME))
        problem = "File name is too long";
    if (problem) {
        if (verbose == 1)
            std::fprintf(shell.operator_output, "\r\nFile: %30s > %s", name.c_str(), problem);
        return false;
    }
    for (char c : name) {
        if (c == '\'') break;
        if (!is_file_name_character(c)) return false;
    }
    return true;
}

static UserFileEntry describe_file(const std::string &directory, const std::string &name) {
    UserFileEntry entry{};
    entry.name = name;
    std::string path = directory + "/" + name;
    HostFileInfo info = host_file_info(path);
    if (!info.exists) {
        std::fprintf(shell.operator_output, "\r\nstat failed for %s", path.c_str());
        std::fflush(shell.operator_output);
        host_sleep_ms(3000);
        return entry;
    }
    entry.size = static_cast<uint32_t>(info.size);
    entry.accessed = info.accessed;
    entry.modified = info.modified;
    entry.changed = info.created;
    FILE *probe = host_open_regular_file(path, "rb");
    if (!probe) {
        std::fprintf(shell.operator_output, "\r\nErrno=%d", errno);
        return entry;
    }
    std::fclose(probe);
    entry.identity = info.identity;
    if (settings.debug_level == 0300)
        std::fprintf(shell.operator_output, "\r\nInode %lld",
                     static_cast<long long>(entry.identity));
    return entry;
}

static void sort_object_table() {
    int count = user_file_list.count;
    for (int i = 0; i < count; ++i)
        user_file_list.sorted_identities[i] = user_file_list.entries[i].identity;
    for (int i = 0; i < count; ++i) {
        int smallest = i;
        for (int j = i + 1; j < count; ++j)
            if (user_file_list.sorted_identities[j] < user_file_list.sorted_identities[smallest])
                smallest = j;
        std::swap(user_file_list.sorted_identities[i], user_file_list.sorted_identities[smallest]);
    }
    if (settings.debug_level == 0300)
        for (int i = 0; i < count; ++i)
            std::fprintf(shell.operator_output, "\r\n %lld",
                         static_cast<long long>(user_file_list.sorted_identities[i]));
}

int scan_user_files(const std::string &user, int verbose) {
    clear_object_table();
    std::string directory = user_directory(user);
    std::vector<std::string> names;
    if (!host_list_directory(directory, &names)) {
        std::fprintf(shell.operator_output, "Invalid File Handle. Get Last Error reports %d\r\n",
                     errno);
        return user_file_list.count;
    }
    user_file_list.user_name = user;
    int count = 0;
    for (const auto &name : names) {
        if (name[0] == '.' || !is_nd_file_name(name, verbose)) continue;
        // Only regular files are ND files: a symbolic link (which could lead
        // out of the tree), a directory or a device is not listed.
        if (!host_is_regular_file(directory + "/" + name)) continue;
        if (count == MAX_USER_FILES) {
            // A directory the object numbers cannot cover is not listed at
            // all, so that no stale entries remain.
            std::fprintf(shell.operator_output, "\r\n Cannot handle more than %i files\r\n",
                         MAX_USER_FILES + 1);
            user_file_list.count = 0;
            return -1;
        }
        user_file_list.entries[count++] = describe_file(directory, name);
    }
    for (int i = count; i < MAX_USER_FILES; ++i)
        user_file_list.entries[i] = UserFileEntry{};
    user_file_list.count = count;
    sort_object_table();
    return count;
}

int find_object_file(uint32_t object_number) {
    if (object_number >= MAX_USER_FILES + 1) return -1;
    uint64_t identity = user_file_list.sorted_identities[object_number];
    if (identity == 0) return -1;
    for (int i = 0; i < user_file_list.count; ++i)
        if (user_file_list.entries[i].identity == identity) return i;
    return -1;
}

bool append_user_file(const std::string &name) {
    int count = user_file_list.count;
    if (count >= MAX_USER_FILES) return false;
    std::string path = user_directory(user_file_list.user_name) + "/" + name;
    HostFileInfo info = host_file_info(path);
    UserFileEntry &entry = user_file_list.entries[count];
    entry = UserFileEntry{};
    entry.name = name;
    entry.size = static_cast<uint32_t>(info.size);
    entry.accessed = info.accessed;
    entry.modified = info.modified;
    entry.changed = info.created;
    entry.identity = info.identity;
    user_file_list.sorted_identities[count] = info.identity;
    user_file_list.count = count + 1;
    return true;
}
