// 32-bit floating point is done on integers. The host's double arithmetic,
// with the correction toward zero that the 48-bit instructions use, is the
// reference: for every pair of numbers both must give the same word.
#include "cpu/floating_point.h"
#include "cpu/floating_point_ops.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace {

using namespace floating_point_group;

template <int OP> uint32_t through_doubles(uint32_t x, uint32_t y) {
    return double_to_nd32(float_operation<OP>(nd32_to_double(x), nd32_to_double(y)));
}

// The mismatches of the four operations on one pair, as a text.
std::string mismatches(uint32_t x, uint32_t y) {
    std::string text;
    char line[100];
    auto check = [&](const char *name, uint32_t got, uint32_t want) {
        if (got == want) return;
        std::snprintf(line, sizeof line, "%s %08x %08x: %08x, not %08x; ", name, x, y, got, want);
        text += line;
    };
    check("FAD", float_operation32<FAD>(x, y), through_doubles<FAD>(x, y));
    check("FSU", float_operation32<FSU>(x, y), through_doubles<FSU>(x, y));
    check("FMU", float_operation32<FMU>(x, y), through_doubles<FMU>(x, y));
    if (y != 0) check("FDV", float_operation32<FDV>(x, y), through_doubles<FDV>(x, y));
    return text;
}

uint32_t number(bool negative, uint32_t exponent, uint32_t fraction) {
    return (negative ? 0x80000000u : 0) | ((exponent & 0777) << 22) | (fraction & 017777777);
}

TEST(Float32, EdgeNumbersAgreeWithTheDoubleArithmetic) {
    std::mt19937 random(32);
    std::vector<uint32_t> words = {0,           0x80000000u, 0x7fffffffu, 0xffffffffu, 1,
                                   0x00400000u, 0x40400000u, 0xc0400000u, 0x003fffffu, 0x803fffffu,
                                   0x7fc00000u, 0xffc00000u, 0x40000000u, 0x40800000u};
    for (uint32_t exponent : {0u, 1u, 2u, 255u, 256u, 257u, 258u, 510u, 511u})
        for (int k = 0; k < 8; ++k)
            words.push_back(number(random() & 1, exponent, random()));
    for (uint32_t x : words)
        for (uint32_t y : words)
            ASSERT_EQ(mismatches(x, y), "");
}

TEST(Float32, RandomNumbersAgreeWithTheDoubleArithmetic) {
    std::mt19937 random(3232);
    for (int i = 0; i < 300000; ++i) {
        uint32_t x = random();
        uint32_t y = random();
        switch (i % 4) {
        case 1: // exponents close together: carries, cancellation
            y = number(random() & 1, ((x >> 22) & 0777) - random() % 4, random());
            break;
        case 2: // far apart: the smaller is all below the last bit kept
            y = number(random() & 1, ((x >> 22) & 0777) - 20 - random() % 50, random());
            break;
        case 3: // x a multiple of y, or close to one: quotients on the 23-bit grid
            y = number(random() & 1, 256 + random() % 4, random() & 017777700);
            x = number(random() & 1, 256 + random() % 4, random() & 017777000);
            break;
        default:
            break;
        }
        ASSERT_EQ(mismatches(x, y), "");
    }
}

} // namespace
