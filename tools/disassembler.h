// nd-dis: program words back to source that nd-asm assembles to the same
// words.
#pragma once

#include "prog_format.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace ndtools {

struct Disassembled {
    std::string text;        // "LDA I 5,B", or "WORD 147400" for a word no instruction uses
    uint32_t size = 1;       // words taken, parameter words included
    bool defined = true;     // false: no instruction uses this word
    bool has_target = false; // a P-relative address operand
    uint16_t target = 0;
};

// Disassembles the instruction at words[0], which stands at address;
// available counts the words that may be read (parameter words). P-relative
// operands name "Lnnnnnn" when labels holds the target, else "*+d".
Disassembled disassemble(const uint16_t *words, size_t available, uint16_t address,
                         const std::set<uint16_t> *labels = nullptr);

// Source for a whole image: origin, start, labels, one instruction a line.
std::string disassemble_image(const LoadedImage &image, const std::string &name);

// Source for the words low..high of a bank, laid out as disassemble_image
// lays out a program: labels for P-relative targets inside the range, BLOCK
// for runs of zeros. bank holds all 65536 words of the bank.
std::string disassemble_range(const std::vector<uint16_t> &bank, uint16_t low, uint16_t high);

// Source for loose words placed from origin on.
std::string disassemble_words(const std::vector<uint16_t> &words, uint16_t origin);

} // namespace ndtools
