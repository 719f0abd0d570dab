#include "filesystem/open_files.h"

#include "console/terminal.h"
#include "filesystem/reservations.h"
#include "host/host.h"
#include "operator/operator_channel.h"
#include "settings/settings.h"

#include <cerrno>
#include <cstring>

OpenFileTable open_file_table;

static void free_entry(OpenFileEntry &entry) {
    entry.host_path.clear();
    entry.type.clear();
    entry.byte_mask = 0177777;
    entry.file_number = -1;
    entry.stream = nullptr;
    entry.access_code = 0;
    entry.block_size = DEFAULT_BLOCK_SIZE;
    entry.block_buffer.clear();
    entry.block_buffer.shrink_to_fit();
    entry.buffered_block = -1;
    entry.maximum_size = 0;
    entry.size_changed = false;
    entry.size_at_open = 0;
    entry.write_error = 0;
    entry.reservation = -1;
    entry.reservation_exclusive = false;
}

void keep_reservation(OpenFileEntry &entry, int reservation, bool exclusive) {
    entry.reservation = reservation < 0 ? -1 : reservation;
    entry.reservation_exclusive = exclusive;
}

void reset_open_file_table() {
    for (auto &entry : open_file_table.entries)
        free_entry(entry);
    open_file_table.open_count = 0;
}

int find_open_file(int32_t file_number) {
    // Free entries carry -1: no negative number names an open file.
    if (file_number < 0) return -1;
    for (int i = 0; i < OPEN_FILE_ENTRIES; ++i)
        if (open_file_table.entries[i].file_number == file_number) return i;
    return -1;
}

static bool imposes_maximum_size(uint32_t access_code) {
    return access_code == 2 || access_code == 6 || access_code == 010;
}

uint32_t write_error_code(int host_error) {
    return host_error_is_no_space(host_error) ? ERROR_NO_SPACE : ERROR_FILE_ACCESS;
}

// The data of a file that did not reach the host is not dropped in silence.
static void report_unwritten(const OpenFileEntry &entry, const std::string &host_error,
                             const char *what) {
    std::fprintf(shell.operator_output, "\r\nFile %s not written in full: %s; %s\r\n",
                 entry.host_path.c_str(), host_error.c_str(), what);
}

// Records a failure of the file's host writes; false with errno kept.
bool record_write_failure(OpenFileEntry &entry) {
    if (!entry.write_error) entry.write_error = errno ? errno : EIO;
    errno = entry.write_error;
    return false;
}

bool write_open_file(OpenFileEntry &entry, const void *data, size_t length) {
    if (!entry.stream) {
        errno = EBADF;
        return false;
    }
    if (entry.write_error) return record_write_failure(entry);
    return host_write_bytes(entry.stream, data, length) || record_write_failure(entry);
}

bool flush_open_file(OpenFileEntry &entry) {
    if (!entry.stream) return true;
    if (entry.write_error) return record_write_failure(entry);
    return host_flush(entry.stream) || record_write_failure(entry);
}

int close_file(int32_t file_number, uint32_t *error) {
    int position = find_open_file(file_number);
    if (position < 0) {
        *error = 0132;
        return -1;
    }
    OpenFileEntry &entry = open_file_table.entries[position];
    int failure = entry.write_error;
    if (failure) {
        // The program had the error return of the write that failed.
        report_unwritten(entry, std::strerror(failure),
                         "what the program wrote from its first failed write on is not in it");
    }
    if (entry.stream) {
        uint64_t pending = host_unwritten_bytes(entry.stream);
        if (!failure && !host_flush(entry.stream)) {
            failure = errno;
            std::string what = "the last " + std::to_string(pending) +
                               " bytes the program wrote did not all reach it";
            report_unwritten(entry, host_error_text(), what.c_str());
        }
        if (imposes_maximum_size(entry.access_code) && entry.size_changed) {
            if (settings.debug_level == 1)
                std::printf("\nClose file, maxbytes = %llu\n",
                            static_cast<unsigned long long>(entry.maximum_size));
            if (!host_set_stream_size(entry.stream, entry.maximum_size)) {
                if (!failure) failure = errno;
                std::string what =
                    "its size is not the " + std::to_string(entry.maximum_size) + " bytes set";
                report_unwritten(entry, host_error_text(), what.c_str());
            }
        }
        if (!host_close(entry.stream) && !failure) {
            failure = errno;
            report_unwritten(entry, host_error_text(),
                             "what the program wrote last did not all reach it");
        }
    }
    // Released after the close, so that no other instance can open the file
    // before all this one wrote is in it.
    release_reservation(entry.reservation, entry.reservation_exclusive ? ReservationKind::Exclusive
                                                                       : ReservationKind::Shared);
    free_entry(entry);
    --open_file_table.open_count;
    if (!failure) return 0;
    *error = write_error_code(failure);
    return -1;
}

uint32_t close_all_files(uint32_t mode) {
    uint32_t first_error = 0;
    if (mode != CLOSE_KEEP_SCRATCH && mode != CLOSE_EVERYTHING) return first_error;
    for (auto &entry : open_file_table.entries) {
        if (entry.file_number < 0) continue;
        if (mode == CLOSE_KEEP_SCRATCH && entry.host_path.rfind("./(SCRATCH)/SCRATCH", 0) == 0) {
            entry.block_size = DEFAULT_BLOCK_SIZE;
            continue;
        }
        uint32_t error = 0;
        if (close_file(entry.file_number, &error) != 0 && !first_error) first_error = error;
    }
    return first_error;
}

bool is_scratch_file(const HostFileInfo &info) {
    if (!info.exists || info.is_directory) return false;
    for (int n = 1; n <= 8; ++n) {
        char scratch[40];
        std::snprintf(scratch, sizeof scratch, "./(SCRATCH)/SCRATCH%02d.DATA", n);
        HostFileInfo held = host_file_info(scratch);
        if (held.exists && held.identity == info.identity) return true;
    }
    return false;
}

bool file_in_use(const std::string &path) {
    HostFileInfo info = host_file_info(path);
    for (const auto &entry : open_file_table.entries) {
        if (entry.file_number < 0) continue;
        if (entry.host_path == path) return true;
        HostFileInfo open = host_file_info(entry.host_path);
        if (info.exists && open.exists && open.identity == info.identity) return true;
    }
    return is_scratch_file(info) || file_held_by_another_instance(path);
}

void list_open_files() {
    FILE *out = shell.operator_output;
    for (const auto &entry : open_file_table.entries) {
        if (entry.file_number < 0) continue;
        std::fprintf(out, "\r\n%6o: %s", static_cast<unsigned>(entry.file_number),
                     entry.host_path.c_str());
        std::fprintf(out, " Opened for access %3i, block size %d bytes",
                     static_cast<int>(entry.access_code), static_cast<int>(entry.block_size));
        if (out == stdout) page_pause('\n');
    }
    std::fprintf(out, "\r\n");
}

bool claim_scratch_file() {
    reset_open_file_table();
    std::fprintf(shell.operator_output, "Opening scratch file for random access ");
    for (int n = 1; n <= 8; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "SCRATCH%02d", n);
        std::string lock_path = std::string("./(SCRATCH)/.") + name + ".lock";
        LockResult lock = host_try_lock(lock_path);
        if (lock == LockResult::HeldElsewhere) continue;
        std::string path = std::string("./(SCRATCH)/") + name + ".DATA";
        FILE *stream = lock == LockResult::Locked ? std::fopen(path.c_str(), "rb+") : nullptr;
        if (!stream) {
            std::fprintf(shell.operator_output, "failed !!!\r\n");
            return true;
        }
        OpenFileEntry &entry = open_file_table.entries[0];
        // Held exclusively like any file open for random-access writing;
        // the scratch lock above already keeps other instances from
        // claiming it, so a reservation that fails changes nothing here.
        keep_reservation(entry, reserve_file(path, ReservationKind::Exclusive), true);
        entry.file_number = FIRST_FILE_NUMBER;
        entry.stream = stream;
        entry.block_size = DEFAULT_BLOCK_SIZE;
        entry.block_buffer.assign(DEFAULT_BLOCK_SIZE, 0);
        entry.access_code = 2;
        entry.byte_mask = 0177777;
        entry.host_path = path;
        entry.type = "DATA";
        HostFileInfo info = host_file_info(path);
        entry.maximum_size = info.size;
        entry.size_at_open = info.size;
        open_file_table.open_count = 1;
        std::fprintf(shell.operator_output, "was successful: %s\r\n", path.c_str());
        return true;
    }
    std::fprintf(shell.operator_output, "\r\nAll scratchfiles are in use!\r\n");
    return false;
}
