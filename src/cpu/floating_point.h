// ND floating point: the conversions between the ND formats and host doubles
// that the floating-point instructions and the float-test command use.
#pragma once

#include <bit>
#include <cstdint>

// A 32-bit ND number: bit 31 sign, bits 30-22 exponent (excess 256), bits
// 21-0 fraction behind an implied leading one; A holds bits 31-16, D 15-0.
// Every ND number is a normal double: the fraction goes to the top of the
// double's fraction and the exponent is rebased (1.f x 2^(e-256-1)), so the
// conversion is exact and made on the bits.
inline double nd32_to_double(uint32_t word) {
    if (word == 0) return 0.0;
    uint64_t sign = static_cast<uint64_t>(word >> 31) << 63;
    uint64_t exponent = ((word >> 22) & 0777) + (1023 - 257);
    uint64_t fraction = static_cast<uint64_t>(word & 017777777) << (52 - 22);
    return std::bit_cast<double>(sign | (exponent << 52) | fraction);
}

// Truncates toward zero. Zero gives the all-zero word; an exponent below the
// 9-bit range gives the all-zero word, one above it the largest magnitude
// with the value's sign. Made on the bits of the double: its fraction's top
// 22 bits are the ND fraction (dropping the rest truncates), and a double
// too small to be normal is below the ND range.
inline uint32_t double_to_nd32(double value) {
    uint64_t bits = std::bit_cast<uint64_t>(value);
    uint32_t sign = static_cast<uint32_t>(bits >> 63) << 31;
    int exponent = static_cast<int>((bits >> 52) & 03777) - (1023 - 257);
    uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
    if (exponent < 0) return 0;
    if (exponent > 0777) {
        bool nan = exponent == 03777 - (1023 - 257) && fraction != 0;
        return nan ? 0 : sign | 0x7fffffffu;
    }
    return sign | (static_cast<uint32_t>(exponent) << 22) | static_cast<uint32_t>(fraction >> 30);
}

// The 32-bit number of a 16-bit integer (NLZ with scaling factor 16): exact,
// the same word as double_to_nd32 of the integer. The host converts the
// integer to a double exactly; shifted right by 30, the double's exponent
// and the top 22 bits of its fraction lie where the ND word has them, and
// the exponent only needs rebasing (1.f x 2^(e - 1023) against 2^(e - 257)).
inline uint32_t nd32_from_integer(int32_t value) {
    if (value == 0) return 0;
    auto bits = std::bit_cast<uint64_t>(static_cast<double>(value));
    constexpr uint64_t rebase = static_cast<uint64_t>(1023 - 257) << 22;
    auto magnitude = static_cast<uint32_t>((bits >> 30) - rebase); // sign and top bit dropped
    return static_cast<uint32_t>(bits >> 32 & 0x80000000u) | magnitude;
}

// The integer part of a 32-bit number, truncated toward zero (DNZ with
// scaling factor 16). `in_range` is false when the value lies outside -32768
// to 32767. The number as a host double, made as in nd32_to_double but
// without the test for the zero word: that gives a tiny number, whose whole
// part is zero too.
inline int32_t nd32_to_integer(uint32_t word, bool &in_range) {
    uint32_t magnitude = word & 0x7fffffffu;
    uint64_t bits = (static_cast<uint64_t>(magnitude) << 30) + (static_cast<uint64_t>(1023 - 257) << 52);
    bits |= static_cast<uint64_t>(word >> 31) << 63;
    double value = std::bit_cast<double>(bits);
    in_range = value <= 32767.0 && value >= -32768.0;
    if (in_range) [[likely]]
        return static_cast<int32_t>(value);
    return 0;
}

// A 48-bit ND number in T, A, D: T bit 15 sign, T bits 14-0 exponent (excess
// 16384), A and D the mantissa with its leading one in bit 15 of A.
struct Nd48 {
    uint32_t t, a, d;
};
// Values beyond the host's range give the largest host magnitude.
double nd48_to_double(Nd48 number);
// Truncates toward zero; exact for every number of 32 significant bits.
Nd48 double_to_nd48(double value);

// The packed 32-bit form of the last operand or result of a 32-bit
// floating-point instruction.
extern uint32_t float_work_word;
