// Effective addresses of the memory-reference format, specialised per
// addressing mode so that no X, I or B bit is decoded at run time.
//
// MODE is the low three bits of the instruction-table slot: bit 2 X (index),
// bit 1 I (indirect), bit 0 B (relative to B instead of P). The context's P
// still addresses the instruction while the address is formed.
#pragma once

#include "cpu/instruction_context.h"
#include "cpu/machine.h"

#include <cstdint>

namespace addressing {

constexpr bool indexed(int mode) {
    return (mode & 4) != 0;
}
constexpr bool indirect(int mode) {
    return (mode & 2) != 0;
}
constexpr bool b_relative(int mode) {
    return (mode & 1) != 0;
}
// Only the plain P-relative mode reaches its operand through page table 0;
// every other mode goes through the data path.
constexpr bool data_path(int mode) {
    return mode != 0;
}

} // namespace addressing

// The signed 8-bit displacement of an instruction word.
HANDLER_INLINE uint32_t displacement(uint32_t word) {
    return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(word & 0377)));
}

template <int MODE> HANDLER_INLINE uint32_t effective_address(const InstructionContext &c) {
    using namespace addressing;
    uint32_t d = displacement(c.word);
    uint32_t address;
    if constexpr (indirect(MODE)) {
        uint32_t pointer = b_relative(MODE) ? read_data(c, machine.B + d) : read_normal(c.p + d);
        address = pointer;
        if constexpr (indexed(MODE)) address += machine.X;
    } else if constexpr (indexed(MODE)) {
        address = machine.X + d;
        if constexpr (b_relative(MODE)) address += machine.B;
    } else {
        address = (b_relative(MODE) ? machine.B : c.p) + d;
    }
    return address & WORD_MASK;
}

template <int MODE>
HANDLER_INLINE uint32_t read_operand(const InstructionContext &c, uint32_t address) {
    if constexpr (addressing::data_path(MODE))
        return read_data(c, address);
    else
        return read_normal(address);
}

// A memory word as A takes it: masked to 16 bits, which costs nothing in the
// load (see store_a).
template <int MODE>
HANDLER_INLINE uint32_t read_word_for_a(const InstructionContext &c, uint32_t address) {
    return read_operand<MODE>(c, address) & WORD_MASK;
}

// Stores A, which the handlers keep to 16 bits: every value they put in it
// is a memory word, a masked result or a byte, and the cycle masks A when it
// takes it from the machine.
template <int MODE>
HANDLER_INLINE void store_a(const InstructionContext &c, uint32_t address) {
    if constexpr (addressing::data_path(MODE))
        memory_image[(address & WORD_MASK) | c.data_base] = c.a;
    else
        memory_image[address & WORD_MASK] = c.a;
}

template <int MODE>
HANDLER_INLINE void write_operand(const InstructionContext &c, uint32_t address, uint32_t value) {
    if constexpr (addressing::data_path(MODE))
        write_data(c, address, value);
    else
        write_normal(address, value);
}
