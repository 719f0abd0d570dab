// Writing host files: every write, flush and close of a file that KESTREL
// writes (the ND program's files, the files of the shell's commands, the
// files extracted from a volume) goes through here, so that a failure such
// as a full disk is seen where it happens and never taken for success.
//
// Tests make these calls fail on purpose (host_fail_writes_after): the one
// place that talks to the host is the one place a full disk can be staged.
#include "host/host.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdio_ext.h>

namespace {

struct WriteFailure {
    bool armed;
    uint64_t allowed; // bytes that still go through before the failure
    int error;
};
WriteFailure write_failure{};

// How many of `length` bytes may go through; sets errno when not all.
size_t bytes_allowed(size_t length) {
    if (!write_failure.armed || length <= write_failure.allowed) {
        if (write_failure.armed) write_failure.allowed -= length;
        return length;
    }
    size_t allowed = static_cast<size_t>(write_failure.allowed);
    write_failure.allowed = 0;
    return allowed;
}

// A staged full disk stays full: data left in a stream's buffer cannot
// leave it either.
bool staged_failure_pending(FILE *stream) {
    return write_failure.armed && write_failure.allowed == 0 && __fpending(stream) > 0;
}

} // namespace

bool host_write_bytes(FILE *stream, const void *data, size_t length) {
    size_t allowed = bytes_allowed(length);
    size_t written = allowed ? std::fwrite(data, 1, allowed, stream) : 0;
    if (written == length) return true;
    if (written == allowed) errno = write_failure.error;
    return false;
}

bool host_write_byte(FILE *stream, unsigned char byte) {
    if (write_failure.armed) return host_write_bytes(stream, &byte, 1);
    return putc_unlocked(byte, stream) != EOF;
}

bool host_flush(FILE *stream) {
    if (staged_failure_pending(stream)) {
        errno = write_failure.error;
        return false;
    }
    return std::fflush(stream) == 0;
}

uint64_t host_unwritten_bytes(FILE *stream) {
    return __fpending(stream);
}

bool host_close(FILE *stream) {
    if (staged_failure_pending(stream)) {
        // As the C library does when a write fails: the buffer is lost.
        __fpurge(stream);
        std::fclose(stream);
        errno = write_failure.error;
        return false;
    }
    return std::fclose(stream) == 0;
}

bool host_error_is_no_space(int error) {
    return error == ENOSPC || error == EDQUOT || error == EFBIG;
}

void host_fail_writes_after(uint64_t allowed, int error) {
    write_failure = WriteFailure{true, allowed, error};
}

void host_stop_failing_writes() {
    write_failure = WriteFailure{};
}
