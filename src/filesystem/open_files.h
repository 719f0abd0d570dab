// The ND program's open files (ND file numbers 100-121 octal) and the scratch
// file each KESTREL instance claims at start-up.
#pragma once

#include "host/host.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

constexpr int OPEN_FILE_ENTRIES = 18;
constexpr int FIRST_FILE_NUMBER = 0100;
constexpr int DEFAULT_BLOCK_SIZE = 512;
constexpr uint32_t CLOSE_KEEP_SCRATCH = 0177777;
constexpr uint32_t CLOSE_EVERYTHING = 0177776;

struct OpenFileEntry {
    std::string host_path;
    std::string type;
    uint32_t byte_mask;
    int32_t file_number = -1;  // -1 = free
    FILE *stream;
    uint32_t access_code;
    int32_t block_size;
    std::vector<uint8_t> block_buffer;  // random-access codes only
    int32_t buffered_block;             // -1 = none
    // The size a random-access file gets at its close (never below its size
    // at open), imposed only when the program wrote blocks or set the size.
    uint64_t maximum_size;
    bool size_changed;
    uint64_t size_at_open;
    // The host error of the first write or flush that failed; 0 = none.
    int write_error;
    // The hold on the file against other KESTREL instances (reservations.h),
    // released at close; -1 for none.
    int32_t reservation = -1;
    bool reservation_exclusive = false;
};

struct OpenFileTable {
    OpenFileEntry entries[OPEN_FILE_ENTRIES];
    int open_count;
};

extern OpenFileTable open_file_table;

// Marks every entry free without touching host streams.
void reset_open_file_table();
int find_open_file(int32_t file_number);
// ND error codes of a file whose data the host would not take.
constexpr uint32_t ERROR_NO_SPACE = 054;
constexpr uint32_t ERROR_FILE_ACCESS = 0270;
// The ND error code of a failed host write: 54 for a full disk.
uint32_t write_error_code(int host_error);

// Writes to and flushes an open file through the host layer; false with
// errno set when the host refused. A failed write loses what the stream's
// buffer held, so every later write and flush of the file fails with the
// same error: the file never gets a hole that the program was not told of.
bool write_open_file(OpenFileEntry &entry, const void *data, size_t length);
// One byte, as write_open_file writes it (a program's byte output, MON 2),
// with the usual case in line. record_write_failure keeps the host's error
// for every later write of the file and returns false.
bool record_write_failure(OpenFileEntry &entry);
inline bool write_open_file_byte(OpenFileEntry &entry, unsigned char byte) {
    if (entry.write_error || !entry.stream) return write_open_file(entry, &byte, 1);
    return host_write_byte(entry.stream, byte) || record_write_failure(entry);
}
bool flush_open_file(OpenFileEntry &entry);

// 0, or -1 with error code 132 in *error (no such file). A file whose data
// could not all be written is closed all the same: the loss is reported on
// the operator output and the result is -1 with 54 (a full disk) or 270.
int close_file(int32_t file_number, uint32_t *error);
// 0, or the error code of the first file that could not be closed cleanly.
uint32_t close_all_files(uint32_t mode);
void list_open_files();
// Records the reservation an open took, for close_file to release.
void keep_reservation(OpenFileEntry &entry, int reservation, bool exclusive);
// One of the eight scratch files that the emulator instances hold (or need
// at their start), by whatever path it is named.
bool is_scratch_file(const HostFileInfo &info);
// A file in use, not to be removed, renamed or replaced under its streams:
// a file the ND program has open (by whatever path), a scratch file, or a
// file another KESTREL instance has open.
bool file_in_use(const std::string &path);
// Returns false when every scratch file is held by another instance.
bool claim_scratch_file();
