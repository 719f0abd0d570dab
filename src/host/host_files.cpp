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

#include <climits>
#include <cstdlib>

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
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system that cannot rename without replacing: the check and the
    // rename are then two steps.
    struct stat status {};
    if (lstat(to.c_str(), &status) == 0) {
        errno = EEXIST;
        return false;
    }
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

// The open(2) flags of a stdio mode; -1 for a mode not known here.
static int open_flags_of(const char *mode, bool *truncate) {
    bool update = std::strchr(mode, '+') != nullptr;
    *truncate = false;
    switch (mode[0]) {
    case 'r':
        return update ? O_RDWR : O_RDONLY;
    case 'w':
        *truncate = true;
        return (update ? O_RDWR : O_WRONLY) | O_CREAT;
    case 'a':
        return (update ? O_RDWR : O_WRONLY) | O_APPEND | O_CREAT;
    default:
        return -1;
    }
}

// Opens without following a link in the last part and without waiting (a
// FIFO would otherwise block the open); keeps the descriptor only for a
// regular file. Returns the descriptor or -1 with errno set.
static int open_regular(const std::string &path, int flags, struct stat *status) {
    int fd = open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) return -1;
    if (fstat(fd, status) != 0 || !S_ISREG(status->st_mode)) {
        int error = S_ISDIR(status->st_mode) ? EISDIR : EINVAL;
        close(fd);
        errno = error;
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

static FILE *stream_of(int fd, const char *mode) {
    FILE *stream = fdopen(fd, mode);
    if (!stream) {
        int error = errno;
        close(fd);
        errno = error;
    }
    return stream;
}

FILE *host_open_regular_file(const std::string &path, const char *mode) {
    bool truncate = false;
    int flags = open_flags_of(mode, &truncate);
    if (flags < 0) {
        errno = EINVAL;
        return nullptr;
    }
    struct stat status {};
    int fd = open_regular(path, flags, &status);
    if (fd < 0) return nullptr;
    if (truncate && ftruncate(fd, 0) != 0) {
        int error = errno;
        close(fd);
        errno = error;
        return nullptr;
    }
    return stream_of(fd, mode);
}

FILE *host_create_new_file(const std::string &path) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    return stream_of(fd, "wb");
}

bool host_is_regular_file(const std::string &path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool host_path_stays_beneath(const std::string &path) {
    if (path.empty() || path[0] == '/') return false;
    size_t slash = path.rfind('/');
    std::string directory = slash == std::string::npos ? "." : path.substr(0, slash);
    char *real_directory = realpath(directory.c_str(), nullptr);
    // A directory that does not exist leads nowhere: the open that follows
    // fails on its own and reports it.
    if (!real_directory && (errno == ENOENT || errno == ENOTDIR)) return true;
    char *real_root = realpath(".", nullptr);
    bool inside = false;
    if (real_directory && real_root) {
        size_t root_length = std::strlen(real_root);
        inside = std::strcmp(real_root, "/") == 0 ||
                 (std::strncmp(real_directory, real_root, root_length) == 0 &&
                  (real_directory[root_length] == '\0' || real_directory[root_length] == '/'));
    }
    std::free(real_directory);
    std::free(real_root);
    return inside;
}

bool host_open_lock_handle(const std::string &path, HostLockHandle *handle) {
    // Read and write access where the file allows it: an exclusive lock
    // needs a handle open for writing, a shared one a handle open for
    // reading.
    struct stat status {};
    int fd = -1;
    for (int access : {O_RDWR, O_RDONLY, O_WRONLY}) {
        fd = open_regular(path, access, &status);
        if (fd >= 0 || (errno != EACCES && errno != EROFS && errno != ETXTBSY && errno != EPERM))
            break;
    }
    if (fd < 0) return false;
    handle->descriptor = fd;
    handle->device = static_cast<uint64_t>(status.st_dev);
    handle->inode = static_cast<uint64_t>(status.st_ino);
    return true;
}

void host_close_lock_handle(HostLockHandle *handle) {
    if (handle->descriptor >= 0) close(handle->descriptor);
    *handle = HostLockHandle{};
}

// The whole file, from byte 0 on, however large it grows.
static struct flock whole_file_lock(short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    lock.l_pid = 0;
    return lock;
}

bool host_set_lock(const HostLockHandle &handle, HostLockLevel level) {
    short type = level == HostLockLevel::Exclusive ? F_WRLCK
                 : level == HostLockLevel::Shared  ? F_RDLCK
                                                   : F_UNLCK;
    struct flock lock = whole_file_lock(type);
    return fcntl(handle.descriptor, F_OFD_SETLK, &lock) == 0;
}

bool host_locked_by_other_handle(const HostLockHandle &handle) {
    struct flock lock = whole_file_lock(F_WRLCK);
    if (fcntl(handle.descriptor, F_OFD_GETLK, &lock) != 0) return false;
    return lock.l_type != F_UNLCK;
}
