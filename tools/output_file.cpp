#include "output_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ndtools {

namespace {

bool write_all(int fd, const void *data, size_t size) {
    const char *bytes = static_cast<const char *>(data);
    while (size > 0) {
        ssize_t n = ::write(fd, bytes, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

std::string failure(const char *what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// The permission bits a new file gets: 0666 less the umask.
mode_t new_file_mode() {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

bool replace_regular(const std::string &target, mode_t mode, const void *data, size_t size,
                     std::string &error) {
    std::string::size_type slash = target.rfind('/');
    std::string directory = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temporary = directory + "." + base + ".XXXXXX";
    int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        error = failure("cannot make a temporary file beside it");
        return false;
    }
    bool ok = write_all(fd, data, size);
    if (!ok) error = failure("write failed");
    if (ok && ::fchmod(fd, mode) != 0) {
        ok = false;
        error = failure("cannot set its permissions");
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = failure("write failed");
    }
    if (ok && ::rename(temporary.c_str(), target.c_str()) != 0) {
        ok = false;
        error = failure("cannot rename the temporary file over it");
    }
    if (!ok) ::unlink(temporary.c_str());
    return ok;
}

bool write_through(const std::string &target, const void *data, size_t size, std::string &error) {
    int fd = ::open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = failure("cannot open");
        return false;
    }
    bool ok = write_all(fd, data, size);
    if (!ok) error = failure("write failed");
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = failure("write failed");
    }
    return ok;
}

} // namespace

bool write_output_file(const std::string &path, const void *data, size_t size, std::string &error) {
    if (path.empty()) {
        error = "an empty file name";
        return false;
    }
    std::string target = path;
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        if (errno != ENOENT) {
            error = failure("cannot look at it");
            return false;
        }
        return replace_regular(target, new_file_mode(), data, size, error);
    }
    if (S_ISLNK(info.st_mode)) {
        char *resolved = ::realpath(path.c_str(), nullptr);
        if (resolved == nullptr) {
            error = errno == ENOENT ? "a symbolic link that leads nowhere; not replaced"
                                    : failure("cannot follow the symbolic link");
            return false;
        }
        target = resolved;
        std::free(resolved);
        if (::stat(target.c_str(), &info) != 0) {
            error = failure("cannot look at what the link names");
            return false;
        }
    }
    if (S_ISREG(info.st_mode))
        return replace_regular(target, info.st_mode & 07777, data, size, error);
    if (S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode))
        return write_through(target, data, size, error);
    error = S_ISDIR(info.st_mode) ? "a directory; not replaced"
                                  : "neither a regular file, a character device nor a FIFO; "
                                    "not replaced";
    return false;
}

void remove_stale_output(const std::string &path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) ::unlink(path.c_str());
}

} // namespace ndtools
