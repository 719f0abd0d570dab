#include "host/host.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

HostFileInfo host_file_info(const std::string &path) {
    HostFileInfo info{};
    struct stat status {};
    if (stat(path.c_str(), &status) != 0)
        return info;
    info.exists = true;
    info.is_directory = S_ISDIR(status.st_mode);
    info.size = static_cast<uint64_t>(status.st_size);
    info.identity = static_cast<uint64_t>(status.st_ino);
    info.modified = status.st_mtim.tv_sec;
    info.accessed = status.st_atim.tv_sec;
    info.created = status.st_ctim.tv_sec;
    return info;
}

bool host_list_directory(const std::string &path, std::vector<std::string> *names) {
    names->clear();
    DIR *directory = opendir(path.c_str());
    if (!directory)
        return false;
    while (dirent *entry = readdir(directory)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        names->emplace_back(entry->d_name);
    }
    closedir(directory);
    std::sort(names->begin(), names->end());
    return true;
}

bool host_make_directory(const std::string &path) { return mkdir(path.c_str(), 0777) == 0; }
bool host_remove_directory(const std::string &path) { return rmdir(path.c_str()) == 0; }
bool host_rename(const std::string &from, const std::string &to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}
bool host_remove_file(const std::string &path) { return unlink(path.c_str()) == 0; }
bool host_set_file_size(const std::string &path, uint64_t size) {
    return truncate(path.c_str(), static_cast<off_t>(size)) == 0;
}
bool host_set_stream_size(FILE *stream, uint64_t size) {
    std::fflush(stream);
    return ftruncate(fileno(stream), static_cast<off_t>(size)) == 0;
}
bool host_set_file_times(const std::string &path, int64_t accessed, int64_t modified) {
    timespec times[2]{};
    times[0].tv_sec = static_cast<time_t>(accessed);
    times[1].tv_sec = static_cast<time_t>(modified);
    return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}
bool host_change_directory(const std::string &path) { return chdir(path.c_str()) == 0; }

bool host_create_new_file(const std::string &path) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    return close(fd) == 0;
}

std::string host_current_directory() {
    std::vector<char> buffer(4096);
    for (;;) {
        if (getcwd(buffer.data(), buffer.size())) return buffer.data();
        if (errno != ERANGE || buffer.size() > (1u << 20)) return {};
        buffer.resize(buffer.size() * 2);
    }
}
std::string host_error_text() { return std::strerror(errno); }

LockResult host_try_lock(const std::string &path) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return LockResult::CannotCreate;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return LockResult::HeldElsewhere;
    }
    // The descriptor stays open: the kernel releases the lock when the
    // process ends, however it ends.
    return LockResult::Locked;
}
