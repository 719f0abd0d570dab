// The 16-bit adder with the carry and overflow rules shared by ADD, SUB, RADD
// and the add-argument instructions.
#pragma once

#include "cpu/instruction_context.h"
#include "cpu/machine.h"

#include <cstdint>

// Returns a + b + carry_in in 16 bits. Clears Q and C, sets C when the sum
// leaves 16 bits and sets Q and O when a and b have the same sign and the
// sum's sign differs from it. O is never cleared here. Only the low 16 bits
// of a and b count: whatever lies above them, bits 15 and 16 of a ^ b ^ sum
// are the carries into bits 15 and 16, so a sign-extended or complemented
// operand needs no mask.
HANDLER_INLINE uint32_t add_with_flags(uint32_t a, uint32_t b, uint32_t carry_in) {
    uint32_t sum = a + b + carry_in;
    // In a ^ b ^ sum, bit 16 is the carry out of bit 15 and bit 15 the carry
    // into it; the sum overflows when the two differ.
    static constexpr uint32_t carry_flags[4] = {0, STS_Q | STS_O, STS_C | STS_Q | STS_O, STS_C};
    uint32_t carries = ((a ^ b ^ sum) >> 15) & 3;
    machine.STS = (machine.STS & ~(STS_Q | STS_C)) | carry_flags[carries];
    return sum & WORD_MASK;
}

// Sign extension of a 16-bit word.
HANDLER_INLINE int32_t signed_word(uint32_t word) {
    return static_cast<int16_t>(word & WORD_MASK);
}
