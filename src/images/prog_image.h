// :PROG images: the 512-byte header block and the program words (and for a
// 2-bank program a 64K-word data image), all big-endian. Loading, saving,
// the raw page-table writer and the image comparison.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

constexpr uint32_t PROG_HEADER_WORDS = 256;
constexpr uint32_t PROG_HEADER_BYTES = 512;
// Byte offset of the data image of a 2-bank program.
constexpr long PROG_DATA_OFFSET = 131584;
// data_low of an image that is not a 2-bank image.
constexpr uint32_t NOT_TWO_BANK = 0177777;

struct ProgHeader {
    uint32_t start_address;
    uint32_t restart_address;
    uint32_t low_address;
    uint32_t high_address;
    uint32_t data_low;
    uint32_t data_high;
};

// What loading an image leaves for the run and segment commands. The memory
// limits and the 2-bank data limits live in MachineState.
struct ImageState {
    uint32_t restart_address;
    int two_bank_mode;
    int current_segment; // segment of the last loaded image, 0 = none
};

extern ImageState image_state;

// Set by the image loader when the last load put a whole image into memory.
extern int image_loaded;

void reset_image_state();

// How a complete load treats an image that is a segment's program file.
enum class SegmentCheck {
    BringIn,   // the segment's SegmentImage replaces the words just loaded
    KeepWords, // the words loaded stay (load-segment writes them out)
};

// load-image-file: opens the image named at argument_position (prompting for
// it) and loads it; sets image_loaded.
void load_prog_image(SegmentCheck check = SegmentCheck::BringIn);
// The loader proper, on an open stream; `path` is the host path the stream
// was opened with (for the segment check). Closes the stream.
void load_prog_stream(FILE *stream, const std::string &path,
                      SegmentCheck check = SegmentCheck::BringIn);
// load-byte-swapped-image-file.
void load_byte_swapped_image();
// save-image-to-file and dump-memory.
void save_prog_image();
// WRITE-BINARY.
void write_binary_page_table();
// compare-images.
void compare_prog_images();
