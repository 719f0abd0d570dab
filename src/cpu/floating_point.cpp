// FAD, FSU, FMU, FDV, NLZ and DNZ. The ND operands are converted to host
// doubles, the host does the arithmetic and the result is converted back.
// ND results are truncated, never rounded: every operation first brings the
// host's rounded result to the double next to the exact result on the side of
// zero, so that cutting it to the ND mantissa truncates the exact value.
#include "cpu/floating_point.h"

#include "cpu/addressing.h"
#include "cpu/alu.h"
#include "cpu/cycle.h"
#include "cpu/machine.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <utility>

uint32_t float_work_word;

double nd32_to_double(uint32_t word) {
    if (word == 0) return 0.0;
    int exponent = static_cast<int>((word >> 22) & 0777);
    double magnitude =
        std::ldexp(static_cast<double>((word & 017777777) | 020000000), exponent - 257 - 22);
    return (word & 0x80000000u) ? -magnitude : magnitude;
}

uint32_t double_to_nd32(double value) {
    if (value == 0.0 || std::isnan(value)) return 0;
    uint32_t sign = std::signbit(value) ? 0x80000000u : 0;
    if (std::isinf(value)) return sign | 0x7fffffffu;
    int binary_exponent = 0;
    double fraction = std::frexp(std::fabs(value), &binary_exponent); // [0.5, 1)
    int exponent = binary_exponent + 256;
    if (exponent < 0) return 0;
    if (exponent > 0777) return sign | 0x7fffffffu;
    auto mantissa = static_cast<uint32_t>(std::ldexp(fraction, 23)); // 23 bits, top one set
    return sign | (static_cast<uint32_t>(exponent) << 22) | (mantissa & 017777777);
}

double nd48_to_double(Nd48 number) {
    uint32_t t = number.t & WORD_MASK;
    uint64_t mantissa =
        (static_cast<uint64_t>(number.a & WORD_MASK) << 16) | (number.d & WORD_MASK);
    if (t == 0 && mantissa == 0) return 0.0;
    int exponent = static_cast<int>(t & 077777);
    double magnitude = std::ldexp(static_cast<double>(mantissa), exponent - 16384 - 32);
    if (std::isinf(magnitude)) magnitude = DBL_MAX;
    return (t & 0100000) ? -magnitude : magnitude;
}

Nd48 double_to_nd48(double value) {
    if (value == 0.0 || std::isnan(value)) return {0, 0, 0};
    uint32_t sign = std::signbit(value) ? 0100000u : 0;
    if (std::isinf(value)) return {sign | 077777u, WORD_MASK, WORD_MASK};
    int binary_exponent = 0;
    double fraction = std::frexp(std::fabs(value), &binary_exponent);
    auto mantissa = static_cast<uint64_t>(std::ldexp(fraction, 32)); // top bit set
    // A double's binary exponent always lies well inside the 15-bit range.
    return {sign | static_cast<uint32_t>(binary_exponent + 16384),
            static_cast<uint32_t>(mantissa >> 16) & WORD_MASK,
            static_cast<uint32_t>(mantissa) & WORD_MASK};
}

namespace {

// The result of a host operation, moved one step toward zero when the host
// rounded it away from zero. `error` is the exact result minus `result`.
double toward_zero(double result, double error) {
    if (error == 0.0 || !std::isfinite(result) || result == 0.0) return result;
    if ((error < 0) != (result < 0)) return std::nextafter(result, 0.0);
    return result;
}

double truncated_sum(double x, double y) {
    double sum = x + y;
    double y_part = sum - x;
    double error = (x - (sum - y_part)) + (y - y_part);
    return toward_zero(sum, error);
}

double truncated_product(double x, double y) {
    double product = x * y;
    if (!std::isnormal(product)) return product;
    return toward_zero(product, std::fma(x, y, -product));
}

double truncated_quotient(double x, double y) {
    double quotient = x / y;
    if (!std::isnormal(quotient)) return quotient;
    double remainder = std::fma(-quotient, y, x);
    // The exact quotient is quotient + remainder / y.
    if (remainder == 0.0) return quotient;
    return toward_zero(quotient, (remainder < 0) != (y < 0) ? -1.0 : 1.0);
}

enum FloatOperation : int { FAD, FSU, FMU, FDV };

template <int OP> double float_operation(double x, double y) {
    if constexpr (OP == FAD)
        return truncated_sum(x, y);
    else if constexpr (OP == FSU)
        return truncated_sum(x, -y);
    else if constexpr (OP == FMU)
        return truncated_product(x, y);
    else
        return truncated_quotient(x, y);
}

inline uint32_t accumulator32() {
    return (machine.A << 16) | machine.D;
}

inline void set_accumulator32(uint32_t word) {
    machine.A = word >> 16;
    machine.D = word & WORD_MASK;
    float_work_word = word;
}

inline void set_accumulator48(Nd48 number) {
    machine.T = number.t;
    machine.A = number.a;
    machine.D = number.d;
}

// A division by zero sets Z and leaves the accumulator as it was.
template <int OP, int MODE> void float_instruction() {
    uint32_t ea = effective_address<MODE>();
    if (machine.float_format == 0) {
        uint32_t operand = (read_operand<MODE>(ea) << 16) | read_operand<MODE>(ea + 1);
        if (OP == FDV && operand == 0) {
            machine.STS |= STS_Z;
        } else {
            double x = nd32_to_double(accumulator32());
            double y = nd32_to_double(operand);
            set_accumulator32(double_to_nd32(float_operation<OP>(x, y)));
        }
    } else {
        Nd48 operand{read_operand<MODE>(ea), read_operand<MODE>(ea + 1),
                     read_operand<MODE>(ea + 2)};
        double y = nd48_to_double(operand);
        if (OP == FDV && y == 0.0) {
            machine.STS |= STS_Z;
        } else {
            double x = nd48_to_double({machine.T, machine.A, machine.D});
            set_accumulator48(double_to_nd48(float_operation<OP>(x, y)));
        }
    }
    machine.P += 1;
}

// NLZ: integer in A to floating, scaling factor 16.
void normalize() {
    if ((machine.current_instruction & 0377) != 020)
        std::printf("\nAt %o: NLZ works with scaling factor 16 only!\n", machine.P);
    double x = signed_word(machine.A);
    if (machine.float_format == 0) {
        set_accumulator32(double_to_nd32(x));
    } else {
        set_accumulator48(double_to_nd48(x));
        std::printf("\nDNZ 48 bit to be checked set TAD-reg\n");
    }
    machine.P += 1;
}

// DNZ: floating to integer in A, truncated toward zero, scaling factor 16.
void denormalize() {
    if ((machine.current_instruction & 0377) != 0360)
        std::printf("\nAt %o: DNZ works with scaling factor 16 only!\n", machine.P);
    double x;
    if (machine.float_format == 0) {
        machine.STS &= ~STS_Z;
        float_work_word = accumulator32();
        x = nd32_to_double(float_work_word);
    } else {
        x = nd48_to_double({machine.T, machine.A, machine.D});
        machine.T = 0;
    }
    machine.D = 0;
    if (x > 32767.0 || x < -32768.0) {
        machine.STS |= STS_Z;
        machine.A = 0;
    } else {
        machine.A = static_cast<uint32_t>(static_cast<int32_t>(x)) & WORD_MASK;
    }
    machine.P += 1;
}

template <int OP, std::size_t... MODE> void install_group(std::index_sequence<MODE...>) {
    ((instruction_table[0200 + (OP << 3) + MODE] = float_instruction<OP, MODE>), ...);
}

} // namespace

void install_floating_point_instructions() {
    install_group<FAD>(std::make_index_sequence<8>{});
    install_group<FSU>(std::make_index_sequence<8>{});
    install_group<FMU>(std::make_index_sequence<8>{});
    install_group<FDV>(std::make_index_sequence<8>{});
    instruction_table[0323] = normalize;
    instruction_table[0324] = denormalize;
}
