// FAD, FSU, FMU, FDV, NLZ and DNZ, one handler per instruction-table slot.
// ND results are truncated, never rounded. 32-bit numbers are worked on as
// integers. 48-bit numbers are converted to host doubles, the host does the
// arithmetic and the result is converted back: every operation first brings
// the host's rounded result to the double next to the exact result on the
// side of zero, so that cutting it to the ND mantissa truncates the exact
// value. The instruction cycle runs these in line.
#pragma once

#include "cpu/addressing.h"
#include "cpu/alu.h"
#include "cpu/floating_point.h"
#include "cpu/instruction_context.h"
#include "cpu/machine.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <utility>

namespace floating_point_group {

// The result of a host operation, moved one step toward zero when the host
// rounded it away from zero. `error` is the exact result minus `result`. For
// a finite double other than zero, the next one toward zero is the one whose
// bits, sign apart, are one less.
HANDLER_INLINE double toward_zero(double result, double error) {
    if (error == 0.0 || !std::isfinite(result) || result == 0.0) return result;
    if ((error < 0) != (result < 0))
        return std::bit_cast<double>(std::bit_cast<uint64_t>(result) - 1);
    return result;
}

HANDLER_INLINE double truncated_sum(double x, double y) {
    double sum = x + y;
    double y_part = sum - x;
    double error = (x - (sum - y_part)) + (y - y_part);
    return toward_zero(sum, error);
}

HANDLER_INLINE double truncated_product(double x, double y) {
    double product = x * y;
    if (!std::isnormal(product)) return product;
    return toward_zero(product, std::fma(x, y, -product));
}

HANDLER_INLINE double truncated_quotient(double x, double y) {
    double quotient = x / y;
    if (!std::isnormal(quotient)) return quotient;
    double remainder = std::fma(-quotient, y, x);
    // The exact quotient is quotient + remainder / y.
    if (remainder == 0.0) return quotient;
    return toward_zero(quotient, (remainder < 0) != (y < 0) ? -1.0 : 1.0);
}

enum FloatOperation : int { FAD, FSU, FMU, FDV };

// On 48-bit numbers (32-bit mantissas) every operation may need its
// correction toward zero.
template <int OP> HANDLER_INLINE double float_operation(double x, double y) {
    if constexpr (OP == FAD)
        return truncated_sum(x, y);
    else if constexpr (OP == FSU)
        return truncated_sum(x, -y);
    else if constexpr (OP == FMU)
        return truncated_product(x, y);
    else
        return truncated_quotient(x, y);
}

// 32-bit numbers are worked on as integers: sign, exponent and the 23-bit
// mantissa with its leading one (m x 2^(e - 257 - 22)). Truncating the exact
// result, with the range rules of double_to_nd32, gives the same word as
// the host's double arithmetic with its correction toward zero.
struct Nd32Parts {
    uint32_t sign; // 0 or bit 31
    int exponent;
    uint64_t mantissa;
};

HANDLER_INLINE Nd32Parts nd32_parts(uint32_t word) {
    return {word & 0x80000000u, static_cast<int>((word >> 22) & 0777),
            (word & 017777777) | 020000000};
}

// The word for sign x mantissa x 2^(exponent - 257 - 22), the mantissa
// already cut to 23 bits with its leading one.
HANDLER_INLINE uint32_t nd32_word(uint32_t sign, int exponent, uint64_t mantissa) {
    // The leading one at bit 22 adds one to the exponent field below it, so
    // the field is written one less; the range is judged on that too, which
    // lets the compiler work out the one value.
    int field = exponent - 1;
    if (field < -1) return 0;
    if (field > 0776) return sign | 0x7fffffffu;
    return sign | ((static_cast<uint32_t>(field) << 22) + static_cast<uint32_t>(mantissa));
}

// The bit number of the leading one of a non-zero value (one bsr on x86).
HANDLER_INLINE int leading_one(uint64_t value) {
    return 63 ^ __builtin_clzll(value);
}

// The sum of two numbers, y with its sign inverted when NEGATE_Y (FSU).
// Only the all-zero word is zero: 100000 000000 is -2^-257, whose inverse
// has the all-zero word.
template <bool NEGATE_Y> HANDLER_INLINE uint32_t nd32_sum(uint32_t x, uint32_t y) {
    if (y == 0) return x;
    if constexpr (NEGATE_Y) y ^= 0x80000000u;
    if (x == 0) return y;
    // The larger magnitude first: the magnitude order of normalised numbers
    // is the order of their exponent and fraction bits.
    uint32_t x_magnitude = x & 0x7fffffffu;
    uint32_t y_magnitude = y & 0x7fffffffu;
    if (x_magnitude < y_magnitude) {
        std::swap(x, y);
        std::swap(x_magnitude, y_magnitude);
    }
    int x_exponent = static_cast<int>(x_magnitude >> 22);
    int gap = x_exponent - static_cast<int>(y_magnitude >> 22);
    // The mantissas at bits 62-40; y's, shifted to x's exponent, keeps 40 bits
    // below its last one before anything is lost. Shifted by 63 places it
    // leaves nothing, as by any gap larger.
    uint64_t sum = static_cast<uint64_t>((x_magnitude & 017777777) | 020000000) << 40;
    uint64_t addend = static_cast<uint64_t>((y_magnitude & 017777777) | 020000000) << 40;
    addend >>= std::min(gap, 63);
    if (static_cast<int32_t>(x ^ y) >= 0) [[likely]] {
        sum += addend; // the lost bits cannot reach the kept 23
    } else {
        // What was lost (gap > 40: bits of y below the 64-bit sum, never all
        // zero) is less than one unit of the last bit: the exact difference
        // lies between sum - addend - 1 and sum - addend.
        sum -= addend + (gap > 40 ? 1 : 0);
        if (sum == 0) return 0;
    }
    // The leading one is at bit 40 or above: a difference of mantissas at
    // bits 62-40 that are not equal.
    int top = leading_one(sum);
    return nd32_word(x & 0x80000000u, x_exponent + top - 62, sum >> (top - 22));
}

HANDLER_INLINE uint32_t nd32_product(uint32_t x, uint32_t y) {
    if (x == 0 || y == 0) return 0;
    Nd32Parts a = nd32_parts(x);
    Nd32Parts b = nd32_parts(y);
    uint64_t product = a.mantissa * b.mantissa; // 2^44 to below 2^46
    int wide = static_cast<int>(product >> 45); // 1 when the product has 46 bits
    return nd32_word(a.sign ^ b.sign, a.exponent + b.exponent - 257 + wide, product >> (22 + wide));
}

// y is not zero.
HANDLER_INLINE uint32_t nd32_quotient(uint32_t x, uint32_t y) {
    if (x == 0) return 0;
    Nd32Parts a = nd32_parts(x);
    Nd32Parts b = nd32_parts(y);
    uint64_t quotient = (a.mantissa << 24) / b.mantissa; // 2^23 to below 2^25
    int wide = static_cast<int>(quotient >> 24);         // 1 when the quotient has 25 bits
    return nd32_word(a.sign ^ b.sign, a.exponent - b.exponent + 256 + wide, quotient >> (1 + wide));
}

template <int OP> HANDLER_INLINE uint32_t float_operation32(uint32_t x, uint32_t y) {
    if constexpr (OP == FAD)
        return nd32_sum<false>(x, y);
    else if constexpr (OP == FSU)
        return nd32_sum<true>(x, y);
    else if constexpr (OP == FMU)
        return nd32_product(x, y);
    else
        return nd32_quotient(x, y);
}

HANDLER_INLINE uint32_t accumulator32(const InstructionContext &c) {
    return (c.a << 16) | machine.D;
}

HANDLER_INLINE void set_accumulator32(InstructionContext &c, uint32_t word) {
    c.a = word >> 16;
    machine.D = word & WORD_MASK;
    float_work_word = word;
}

HANDLER_INLINE Nd48 accumulator48(const InstructionContext &c) {
    return {machine.T, c.a, machine.D};
}

HANDLER_INLINE void set_accumulator48(InstructionContext &c, Nd48 number) {
    machine.T = number.t;
    c.a = number.a;
    machine.D = number.d;
}

// The float format a handler works in: the machine's setting, read when the
// instruction runs, or fixed at compile time by the instruction cycle, which
// has one label for each format (see run_cpu).
enum FloatFormatChoice : int { FORMAT_32 = 0, FORMAT_48 = 1, FORMAT_OF_MACHINE = 2 };

template <int FORMAT> HANDLER_INLINE bool in_32_bits() {
    if constexpr (FORMAT == FORMAT_OF_MACHINE)
        return machine.float_format == 0;
    else
        return FORMAT == FORMAT_32;
}

// A division by zero sets Z and leaves the accumulator as it was.
template <int OP, int MODE, int FORMAT = FORMAT_OF_MACHINE>
HANDLER_INLINE void float_instruction(InstructionContext &c) {
    uint32_t ea = effective_address<MODE>(c);
    if (in_32_bits<FORMAT>()) {
        uint32_t operand = (read_operand<MODE>(c, ea) << 16) | read_operand<MODE>(c, ea + 1);
        if (OP == FDV && operand == 0) [[unlikely]]
            machine.STS |= STS_Z;
        else
            set_accumulator32(c, float_operation32<OP>(accumulator32(c), operand));
    } else {
        Nd48 operand{read_operand<MODE>(c, ea), read_operand<MODE>(c, ea + 1),
                     read_operand<MODE>(c, ea + 2)};
        double y = nd48_to_double(operand);
        if (OP == FDV && y == 0.0) [[unlikely]] {
            machine.STS |= STS_Z;
        } else {
            double x = nd48_to_double(accumulator48(c));
            set_accumulator48(c, double_to_nd48(float_operation<OP>(x, y)));
        }
    }
    step_p(c);
}

// NLZ: integer in A to floating, scaling factor 16.
template <int FORMAT = FORMAT_OF_MACHINE> HANDLER_INLINE void normalize(InstructionContext &c) {
    if ((c.word & 0377) != 020)
        std::printf("\nAt %o: NLZ works with scaling factor 16 only!\n", static_cast<uint32_t>(c.p));
    if (in_32_bits<FORMAT>()) {
        set_accumulator32(c, nd32_from_integer(signed_word(c.a)));
    } else {
        set_accumulator48(c, double_to_nd48(signed_word(c.a)));
        std::printf("\nDNZ 48 bit to be checked set TAD-reg\n");
    }
    step_p(c);
}

// DNZ: floating to integer in A, truncated toward zero, scaling factor 16.
template <int FORMAT = FORMAT_OF_MACHINE> HANDLER_INLINE void denormalize(InstructionContext &c) {
    if ((c.word & 0377) != 0360)
        std::printf("\nAt %o: DNZ works with scaling factor 16 only!\n", static_cast<uint32_t>(c.p));
    bool in_range;
    int32_t whole;
    if (in_32_bits<FORMAT>()) {
        machine.STS &= ~STS_Z;
        float_work_word = accumulator32(c);
        whole = nd32_to_integer(float_work_word, in_range);
    } else {
        double x = nd48_to_double(accumulator48(c));
        machine.T = 0;
        in_range = !(x > 32767.0 || x < -32768.0);
        whole = in_range ? static_cast<int32_t>(x) : 0;
    }
    machine.D = 0;
    if (!in_range) machine.STS |= STS_Z;
    c.a = static_cast<uint32_t>(whole) & WORD_MASK;
    step_p(c);
}

} // namespace floating_point_group
