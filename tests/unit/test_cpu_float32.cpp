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

namespace {

// DNZ as the host double gives it: the range judged on the exact value, the
// integer truncated toward zero.
int32_t integer_through_double(uint32_t word, bool &in_range) {
    double x = nd32_to_double(word);
    in_range = !(x > 32767.0 || x < -32768.0);
    return in_range ? static_cast<int32_t>(x) : 0;
}

// NLZ's bit conversion gives the host double's word for every 16-bit integer.
TEST(Float32, EveryIntegerConvertsAsThroughTheDouble) {
    for (int32_t value = -32768; value <= 32767; ++value)
        ASSERT_EQ(nd32_from_integer(value), double_to_nd32(value)) << value;
}

// DNZ's bit conversion agrees with the double on the whole part and on the
// range, at every exponent near and in the integer range and at random.
TEST(Float32, EveryNumberTruncatesAsThroughTheDouble) {
    std::mt19937 random(1616);
    std::vector<uint32_t> words = {0, 0x80000000u, 0x7fffffffu, 0xffffffffu};
    for (uint32_t exponent = 240; exponent < 290; ++exponent)
        for (bool negative : {false, true}) {
            for (uint32_t fraction : {0u, 1u, 017777777u, 010000000u, 017777776u, 000000001u})
                words.push_back(number(negative, exponent, fraction));
            for (int k = 0; k < 2000; ++k)
                words.push_back(number(negative, exponent, random()));
        }
    // Both ends of the range and the numbers just past them.
    for (int32_t end : {32767, -32768, 32766, -32767}) {
        uint32_t word = double_to_nd32(end);
        for (int32_t step = -3; step <= 3; ++step)
            words.push_back(word + step);
    }
    for (int k = 0; k < 200000; ++k)
        words.push_back(random());
    for (uint32_t word : words) {
        bool in_range = false, want_in_range = false;
        int32_t got = nd32_to_integer(word, in_range);
        int32_t want = integer_through_double(word, want_in_range);
        ASSERT_EQ(in_range, want_in_range) << std::hex << word;
        ASSERT_EQ(got, want) << std::hex << word;
    }
}

} // namespace
