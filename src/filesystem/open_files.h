// The ND program's open files (ND file numbers 100-121 octal) and the scratch
// file each KESTREL instance claims at start-up.
#pragma once

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
    uint32_t maximum_size;
    uint32_t size_at_open;
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
// 0, or -1 with error code 132 in *error.
int close_file(int32_t file_number, uint32_t *error);
void close_all_files(uint32_t mode);
void list_open_files();
// Records the reservation an open took, for close_file to release.
void keep_reservation(OpenFileEntry &entry, int reservation, bool exclusive);
// Returns false when every scratch file is held by another instance.
bool claim_scratch_file();
