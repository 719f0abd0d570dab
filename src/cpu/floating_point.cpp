// The 48-bit conversions between ND numbers and host doubles, and the
// floating-point slots of the instruction table (the handlers are in
// floating_point_ops.h).
#include "cpu/floating_point.h"

#include "cpu/cycle.h"
#include "cpu/floating_point_ops.h"
#include "cpu/machine.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <utility>

uint32_t float_work_word;

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

using namespace floating_point_group;

template <int OP, std::size_t... MODE> void install_group(std::index_sequence<MODE...>) {
    ((instruction_table[0200 + (OP << 3) + MODE] = table_entry<float_instruction<OP, MODE>>), ...);
}

} // namespace

void install_floating_point_instructions() {
    install_group<FAD>(std::make_index_sequence<8>{});
    install_group<FSU>(std::make_index_sequence<8>{});
    install_group<FMU>(std::make_index_sequence<8>{});
    install_group<FDV>(std::make_index_sequence<8>{});
    instruction_table[0323] = table_entry<normalize<>>;
    instruction_table[0324] = table_entry<denormalize<>>;
}
