// The 16-bit adder with the carry and overflow rules shared by ADD, SUB, RADD
// and the add-argument instructions.
#pragma once

#include "cpu/machine.h"

#include <cstdint>

// Returns a + b + carry_in in 16 bits. Clears Q and C, sets C when the sum
// leaves 16 bits and sets Q and O when a and b have the same sign and the
// sum's sign differs from it. O is never cleared here. a and b are 16-bit.
inline uint32_t add_with_flags(uint32_t a, uint32_t b, uint32_t carry_in) {
    uint32_t sum = a + b + carry_in;
    uint32_t sts = machine.STS & ~(STS_Q | STS_C);
    if (sum > WORD_MASK) sts |= STS_C;
    if (~(a ^ b) & (a ^ sum) & 0100000) sts |= STS_Q | STS_O;
    machine.STS = sts;
    return sum & WORD_MASK;
}

// Sign extension of a 16-bit word.
inline int32_t signed_word(uint32_t word) {
    return static_cast<int16_t>(word & WORD_MASK);
}
