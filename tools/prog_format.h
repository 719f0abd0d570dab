// :PROG and :BPUN image files, written by nd-asm and read by nd-dis.
//
// :PROG: a 512-byte header of 256 big-endian words (start, restart, low and
// high address, data low and data high; the rest zero), then the words low
// to high. A one-bank image has data low 177777 and data high 0. A 2-bank
// image has low 0, high 177777, data low 0, data high 177777: its program
// part fills the bytes up to 131584, where all 65536 data words follow.
//
// :BPUN: a text preamble ending with "!" whose last line ended by LF holds
// the start address in octal, then big-endian words: load address, word
// count, the words, their sum modulo 65536 and an action code.
#pragma once

#include "assembler.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ndtools {

inline constexpr uint32_t prog_header_bytes = 512;
inline constexpr uint32_t prog_data_offset = 131584;

// Image bytes, or an empty vector with the reason in error.
std::vector<uint8_t> make_prog_image(const Program &program, std::string &error);
std::vector<uint8_t> make_bpun_image(const Program &program, std::string &error);

enum class ImageKind { prog, bpun };

// An image read back: the words it loads and its entry data.
struct LoadedImage {
    ImageKind kind = ImageKind::prog;
    uint16_t start = 0;
    uint16_t restart = 0;
    uint16_t action = 0;            // :BPUN only
    uint16_t checksum_found = 0;    // :BPUN only
    uint16_t checksum_computed = 0; // :BPUN only
    uint32_t low = 0, high = 0;     // program words present, inclusive
    std::vector<uint16_t> program = std::vector<uint16_t>(65536, 0);
    bool two_bank = false;
    uint32_t data_low = 0, data_high = 0;
    std::vector<uint16_t> data; // 65536 words when two_bank
};

bool read_prog_image(const std::vector<uint8_t> &bytes, LoadedImage &image, std::string &error);
bool read_bpun_image(const std::vector<uint8_t> &bytes, LoadedImage &image, std::string &error);

// Tries :PROG when the file has exactly the size its header promises, then
// :BPUN, then :PROG with trailing bytes; prefer_bpun tries :BPUN first.
bool read_image(const std::vector<uint8_t> &bytes, bool prefer_bpun, LoadedImage &image,
                std::string &error);

} // namespace ndtools
