// Effective addresses of the memory-reference format, specialised per
// addressing mode so that no X, I or B bit is decoded at run time.
//
// MODE is the low three bits of the instruction-table slot: bit 2 X (index),
// bit 1 I (indirect), bit 0 B (relative to B instead of P). P still addresses
// the instruction while the address is formed.
#pragma once

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

// The signed 8-bit displacement of the current instruction.
inline uint32_t displacement() {
    return static_cast<uint32_t>(
        static_cast<int32_t>(static_cast<int8_t>(machine.current_instruction & 0377)));
}

template <int MODE> inline uint32_t effective_address() {
    using namespace addressing;
    uint32_t d = displacement();
    uint32_t address;
    if constexpr (indirect(MODE)) {
        uint32_t pointer = b_relative(MODE) ? read_data(machine.B + d) : read_normal(machine.P + d);
        address = pointer;
        if constexpr (indexed(MODE)) address += machine.X;
    } else if constexpr (indexed(MODE)) {
        address = machine.X + d;
        if constexpr (b_relative(MODE)) address += machine.B;
    } else {
        address = (b_relative(MODE) ? machine.B : machine.P) + d;
    }
    return address & WORD_MASK;
}

template <int MODE> inline uint32_t read_operand(uint32_t address) {
    if constexpr (addressing::data_path(MODE))
        return read_data(address);
    else
        return read_normal(address);
}

template <int MODE> inline void write_operand(uint32_t address, uint32_t value) {
    if constexpr (addressing::data_path(MODE))
        write_data(address, value);
    else
        write_normal(address, value);
}
