#include "filesystem/open_files.h"

#include "console/terminal.h"
#include "filesystem/reservations.h"
#include "host/host.h"
#include "shell/settings.h"
#include "shell/shell.h"

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
    entry.size_at_open = 0;
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

int close_file(int32_t file_number, uint32_t *error) {
    int position = find_open_file(file_number);
    if (position < 0) {
        *error = 0132;
        return -1;
    }
    OpenFileEntry &entry = open_file_table.entries[position];
    if (entry.stream) {
        std::fflush(entry.stream);
        if (imposes_maximum_size(entry.access_code)) {
            if (settings.debug_level == 1)
                std::printf("\nClose file, maxbytes = %i\n", static_cast<int>(entry.maximum_size));
            host_set_stream_size(entry.stream, entry.maximum_size);
        }
        std::fclose(entry.stream);
    }
    // Released after the close, so that no other instance can open the file
    // before all this one wrote is in it.
    release_reservation(entry.reservation, entry.reservation_exclusive ? ReservationKind::Exclusive
                                                                       : ReservationKind::Shared);
    free_entry(entry);
    --open_file_table.open_count;
    return 0;
}

void close_all_files(uint32_t mode) {
    if (mode != CLOSE_KEEP_SCRATCH && mode != CLOSE_EVERYTHING) return;
    for (auto &entry : open_file_table.entries) {
        if (entry.file_number < 0) continue;
        if (mode == CLOSE_KEEP_SCRATCH && entry.host_path.rfind("./(SCRATCH)/SCRATCH", 0) == 0) {
            entry.block_size = DEFAULT_BLOCK_SIZE;
            continue;
        }
        uint32_t error = 0;
        close_file(entry.file_number, &error);
    }
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
        entry.maximum_size = static_cast<uint32_t>(info.size);
        entry.size_at_open = static_cast<uint32_t>(info.size);
        open_file_table.open_count = 1;
        std::fprintf(shell.operator_output, "was successful: %s\r\n", path.c_str());
        return true;
    }
    std::fprintf(shell.operator_output, "\r\nAll scratchfiles are in use!\r\n");
    return false;
}
