// Floating point: the 32- and 48-bit conversions, FAD/FSU/FMU/FDV with exact
// truncation, NLZ, DNZ, and the float and float-test commands.
#include "cpu/floating_point.h"
#include "instruction_test_support.h"
#include "shell/commands.h"
#include "shell/shell.h"

#include <cmath>
#include <cstring>
#include <random>

namespace {

constexpr uint32_t nd32(uint32_t high, uint32_t low) {
    return (high << 16) | low;
}

TEST(FloatConversions, KnownValues) {
    EXPECT_EQ(nd32_to_double(nd32(040100, 0)), 1.0);
    EXPECT_EQ(nd32_to_double(nd32(0140100, 0)), -1.0) << "the fraction is not complemented";
    EXPECT_EQ(nd32_to_double(nd32(040220, 0)), 2.5);
    EXPECT_EQ(nd32_to_double(nd32(040430, 0)), 11.0);
    EXPECT_EQ(nd32_to_double(nd32(042016, 020000)), 40000.0);
    EXPECT_EQ(nd32_to_double(0), 0.0);
    EXPECT_EQ(nd32_to_double(0x80000000u), -std::ldexp(1.0, -257))
        << "only the all-zero word is zero";
    EXPECT_EQ(double_to_nd32(-0.0), 0u);
    EXPECT_EQ(double_to_nd32(40000.0), nd32(042016, 020000));
    EXPECT_EQ(double_to_nd32(1.0 / 11.0), nd32(037535, 013505)) << "truncated, not rounded";
}

TEST(FloatConversions, EveryWordSurvivesTheRoundTrip) {
    std::mt19937 random(32);
    for (int i = 0; i < 200000; ++i) {
        uint32_t word = static_cast<uint32_t>(random());
        if (word == 0) continue;
        ASSERT_EQ(double_to_nd32(nd32_to_double(word)), word) << std::hex << word;
    }
    for (uint32_t word : {0x00000001u, 0x7fffffffu, 0xffffffffu, 0x80000000u})
        EXPECT_EQ(double_to_nd32(nd32_to_double(word)), word);
}

TEST(FloatConversions, ExponentsOutsideNineBitsSaturateInsteadOfWrapping) {
    EXPECT_EQ(double_to_nd32(std::ldexp(1.0, 300)), 0x7fffffffu);
    EXPECT_EQ(double_to_nd32(-std::ldexp(1.0, 300)), 0xffffffffu);
    EXPECT_EQ(double_to_nd32(std::ldexp(1.0, -300)), 0u);
    EXPECT_EQ(double_to_nd32(-std::ldexp(1.0, -300)), 0u);
    EXPECT_EQ(double_to_nd32(INFINITY), 0x7fffffffu);
    EXPECT_EQ(double_to_nd32(NAN), 0u);
}

TEST(FloatConversions, FortyEightBitFormatIsTheInverseOfItself) {
    Nd48 one = double_to_nd48(1.0);
    EXPECT_EQ(one.t, 040001u);
    EXPECT_EQ(one.a, 0100000u);
    EXPECT_EQ(one.d, 0u);
    Nd48 minus_half = double_to_nd48(-0.5);
    EXPECT_EQ(minus_half.t, 0140000u);
    EXPECT_EQ(minus_half.a, 0100000u);
    EXPECT_EQ(nd48_to_double({0, 0, 0}), 0.0);

    std::mt19937_64 random(48);
    for (int i = 0; i < 100000; ++i) {
        uint32_t exponent = 16384 - 1000 + static_cast<uint32_t>(random() % 2000);
        Nd48 number{(random() & 1 ? 0100000u : 0u) | exponent,
                    0100000u | static_cast<uint32_t>(random() & 077777),
                    static_cast<uint32_t>(random() & WORD_MASK)};
        Nd48 back = double_to_nd48(nd48_to_double(number));
        ASSERT_EQ(back.t, number.t);
        ASSERT_EQ(back.a, number.a);
        ASSERT_EQ(back.d, number.d);
        // And doubles of 32 significant bits come back unchanged.
        double value = std::ldexp(static_cast<double>(random() >> 32 | 0x80000000u),
                                  static_cast<int>(random() % 1950) - 1000);
        ASSERT_EQ(nd48_to_double(double_to_nd48(value)), value);
    }
    // Beyond the host's range: the largest host magnitude, and back the
    // largest 48-bit magnitude is never produced from a finite double.
    EXPECT_EQ(nd48_to_double({077777, 0100000, 0}), DBL_MAX);
    Nd48 huge = double_to_nd48(INFINITY);
    EXPECT_EQ(huge.t, 077777u);
    EXPECT_EQ(huge.a, WORD_MASK);
}

class FloatInstructions : public InstructionTest {
  protected:
    // Runs a floating operation on A:D with the two operand words placed
    // P-relative; returns A:D.
    uint32_t run32(uint32_t op, uint32_t accumulator, uint32_t operand) {
        machine.P = 01000;
        machine.A = accumulator >> 16;
        machine.D = accumulator & WORD_MASK;
        place(01010, {operand >> 16, operand & WORD_MASK});
        execute(mr(op, M_P, 010));
        EXPECT_EQ(machine.P, 01001u);
        return (machine.A << 16) | machine.D;
    }
    Nd48 run48(uint32_t op, Nd48 accumulator, Nd48 operand) {
        machine.float_format = 1;
        machine.P = 01000;
        machine.T = accumulator.t;
        machine.A = accumulator.a;
        machine.D = accumulator.d;
        place(01010, {operand.t, operand.a, operand.d});
        execute(mr(op, M_P, 010));
        EXPECT_EQ(machine.P, 01001u);
        return {machine.T, machine.A, machine.D};
    }
};

TEST_F(FloatInstructions, ArithmeticIn32Bits) {
    const uint32_t one = nd32(040100, 0), eleven = nd32(040430, 0);
    EXPECT_EQ(run32(OP_FAD, one, eleven), double_to_nd32(12.0));
    EXPECT_EQ(run32(OP_FSU, one, eleven), double_to_nd32(-10.0));
    EXPECT_EQ(run32(OP_FSU, eleven, eleven), 0u);
    EXPECT_EQ(run32(OP_FMU, eleven, nd32(0140100, 0)), double_to_nd32(-11.0));
    EXPECT_EQ(run32(OP_FDV, one, eleven), nd32(037535, 013505));
    EXPECT_EQ(float_work_word, nd32(037535, 013505));
    EXPECT_EQ(machine.STS & 0377, 0u) << "no status bit for a normal result";
}

TEST_F(FloatInstructions, TruncationIsExactEvenWhenTheHostWouldRound) {
    // 1.0 - 2^-100: the host double is 1.0, the truncated ND result the
    // largest number below 1.
    uint32_t tiny = double_to_nd32(std::ldexp(1.0, -100));
    EXPECT_EQ(run32(OP_FSU, nd32(040100, 0), tiny), nd32(040077, 0177777));
    EXPECT_EQ(run32(OP_FAD, nd32(0140100, 0), tiny), nd32(0140077, 0177777));
    EXPECT_EQ(run32(OP_FAD, nd32(040100, 0), tiny), nd32(040100, 0));

    // 48 bits: (1 + 2^-31) * (1 - 2^-31) = 1 - 2^-62 rounds to 1.0 on the host.
    Nd48 product = run48(OP_FMU, {040001, 0100000, 1}, {040000, 0177777, 0177776});
    EXPECT_EQ(product.t, 040000u);
    EXPECT_EQ(product.a, 0177777u);
    EXPECT_EQ(product.d, 0177777u);
}

TEST_F(FloatInstructions, DivisionTruncatesIn48Bits) {
    // A quotient X/Y whose 32-bit mantissa is N - 1/Y: the host rounds it up
    // to N, truncation gives N - 1.
    uint64_t x = 0, y = 0, n = 0;
    for (y = 0x80000001u; y < 0x100000000u; y += 2) {
        uint32_t inverse = static_cast<uint32_t>(y);
        for (int i = 0; i < 5; ++i)
            inverse *= 2 - static_cast<uint32_t>(y) * inverse;
        n = inverse;
        if (n < 0x80000000u) continue;
        x = (n * y - 1) >> 32;
        if (x >= 0x80000000u && x < y) break;
    }
    ASSERT_LT(y, 0x100000000u);
    Nd48 quotient =
        run48(OP_FDV, {040000, static_cast<uint32_t>(x >> 16), static_cast<uint32_t>(x & 0xffff)},
              {040000, static_cast<uint32_t>(y >> 16), static_cast<uint32_t>(y & 0xffff)});
    EXPECT_EQ(quotient.t, 040000u);
    EXPECT_EQ((static_cast<uint64_t>(quotient.a) << 16) | quotient.d, n - 1);
}

TEST_F(FloatInstructions, DivisionByZeroSetsZAndKeepsTheAccumulator) {
    EXPECT_EQ(run32(OP_FDV, nd32(040430, 0), 0), nd32(040430, 0));
    EXPECT_TRUE(sts(STS_Z));
    machine.STS &= ~STS_Z;
    Nd48 kept = run48(OP_FDV, {040001, 0100000, 0}, {0, 0, 0});
    EXPECT_TRUE(sts(STS_Z));
    EXPECT_EQ(kept.t, 040001u);
    EXPECT_EQ(kept.a, 0100000u);
    machine.STS &= ~STS_Z;
    run48(OP_FDV, {040001, 0100000, 0}, {0100000, 0, 0}); // minus zero
    EXPECT_TRUE(sts(STS_Z));
}

TEST_F(FloatInstructions, ResultsOutsideTheExponentRange) {
    uint32_t largest = 0x7fffffffu;
    EXPECT_EQ(run32(OP_FMU, largest, double_to_nd32(-2.0)), 0xffffffffu);
    uint32_t smallest = 0x00000001u;
    EXPECT_EQ(run32(OP_FMU, smallest, double_to_nd32(0.5)), 0u);
    EXPECT_EQ(machine.STS & STS_Z, 0u);
}

TEST_F(FloatInstructions, OperandsComeThroughTheAddressingMode) {
    use_alternative_bank(1);
    machine.B = 0177777;
    write_word(1, 0177777, 040200); // 2.0, second word at 0 of bank 1
    write_word(1, 0, 0);
    write_word(0, 0, 0177777);
    machine.A = 040100;
    machine.D = 0;
    execute(mr(OP_FMU, M_B, 0));
    EXPECT_EQ(machine.A, 040200u);
    EXPECT_EQ(machine.D, 0u);
}

TEST_F(FloatInstructions, FortyEightBitArithmetic) {
    Nd48 three = double_to_nd48(3.0), half = double_to_nd48(0.5);
    Nd48 sum = run48(OP_FAD, three, half);
    EXPECT_EQ(nd48_to_double(sum), 3.5);
    Nd48 third = run48(OP_FDV, double_to_nd48(1.0), three);
    EXPECT_EQ(third.t, 037777u);
    EXPECT_EQ(third.a, 0125252u);
    EXPECT_EQ(third.d, 0125252u);
}

TEST_F(FloatInstructions, NlzConvertsAWithScale16) {
    machine.A = 0177777;
    execute(0151400 | 020);
    EXPECT_EQ(machine.A, 0140100u);
    EXPECT_EQ(machine.D, 0u);
    machine.A = 0;
    execute(0151400 | 020);
    EXPECT_EQ(machine.A, 0u);
    EXPECT_EQ(machine.D, 0u);
    machine.A = 0100000;
    machine.P = 02000;
    capture_output();
    execute(0151400 | 021);
    EXPECT_EQ(captured_output(), "\nAt 2000: NLZ works with scaling factor 16 only!\n");
    EXPECT_EQ(nd32_to_double((machine.A << 16) | machine.D), -32768.0);

    machine.float_format = 1;
    machine.A = 5;
    capture_output();
    execute(0151400 | 020);
    EXPECT_EQ(captured_output(), "\nDNZ 48 bit to be checked set TAD-reg\n");
    EXPECT_EQ(nd48_to_double({machine.T, machine.A, machine.D}), 5.0);
}

TEST_F(FloatInstructions, DnzTruncatesTowardZero) {
    struct Case {
        uint32_t value;
        uint32_t a;
        bool z;
    } cases[] = {
        {nd32(040220, 0), 2, false},
        {nd32(0140220, 0), 0177776, false},
        {nd32(042016, 020000), 0, true},
        {double_to_nd32(32767.0), 077777, false},
        {double_to_nd32(32766.75), 077776, false},
        {double_to_nd32(32767.5), 0, true},
        {double_to_nd32(-32768.0), 0100000, false},
        {double_to_nd32(32768.0), 0, true},
        {double_to_nd32(-32768.5), 0, true},
        {double_to_nd32(0.75), 0, false},
    };
    for (const Case &c : cases) {
        machine.STS |= STS_Z;
        machine.A = c.value >> 16;
        machine.D = c.value & WORD_MASK;
        execute(0152000 | 0360);
        EXPECT_EQ(machine.A, c.a) << std::oct << c.value;
        EXPECT_EQ(machine.D, 0u);
        EXPECT_EQ(sts(STS_Z), c.z) << std::oct << c.value;
    }
    capture_output();
    machine.P = 03000;
    execute(0152000 | 0361);
    EXPECT_EQ(captured_output(), "\nAt 3000: DNZ works with scaling factor 16 only!\n");

    machine.float_format = 1;
    machine.STS |= STS_Z;
    Nd48 value = double_to_nd48(-7.9);
    machine.T = value.t;
    machine.A = value.a;
    machine.D = value.d;
    execute(0152000 | 0360);
    EXPECT_EQ(machine.A, 0177771u);
    EXPECT_EQ(machine.T, 0u);
    EXPECT_EQ(machine.D, 0u);
    EXPECT_TRUE(sts(STS_Z)) << "the 48-bit form does not clear Z first";
}

// Runs a shell command handler on an argument text; returns what it printed.
std::string run_command(void (*handler)(), const char *arguments) {
    std::snprintf(shell.command_line, COMMAND_LINE_SIZE, "%s", arguments);
    shell.argument_position = 0;
    FILE *output = std::tmpfile();
    FILE *saved_output = shell.operator_output;
    FILE *saved_echo = shell.echo_stream;
    shell.operator_output = output;
    shell.echo_stream = output;
    handler();
    shell.operator_output = saved_output;
    shell.echo_stream = saved_echo;
    std::string text;
    std::rewind(output);
    for (int c; (c = std::fgetc(output)) != EOF;)
        text.push_back(static_cast<char>(c));
    std::fclose(output);
    return text;
}

using FloatCommands = InstructionTest;

TEST_F(FloatCommands, FloatSelectsTheFormatAndCpuType) {
    EXPECT_EQ(run_command(cmd_float, "48"),
              "Floating format set to 48 bits\r\n"
              "FAD, FSU, FMU, FDV, NLZ and DNZ work on T, A and D (float-test stays 32-bit)\r\n");
    EXPECT_EQ(machine.float_format, 1u);
    EXPECT_EQ(machine.cpu_type, 4u);
    EXPECT_EQ(run_command(cmd_float, "40"), "Bad format, 32 and 48 are supported\r\n");
    EXPECT_EQ(machine.float_format, 1u);
    EXPECT_EQ(run_command(cmd_float, "3x"), "Illegal char. number: x\r\n");
    EXPECT_EQ(machine.float_format, 1u);
    EXPECT_EQ(run_command(cmd_float, "32"), "Floating format set to 32 bits\r\n");
    EXPECT_EQ(machine.float_format, 0u);
    EXPECT_EQ(machine.cpu_type, 5u);
    machine.float_format = 1;
    EXPECT_EQ(run_command(cmd_float, ","), "Floating format set to 32 bits\r\n") << "default 32";
}

TEST_F(FloatCommands, FloatTestConvertsBothWays) {
    EXPECT_EQ(run_command(cmd_float_test, "40100 0"),
              "Converted to 1.000000\r\nConvert back to ND format: 40100 , 0\r\n");
    EXPECT_EQ(run_command(cmd_float_test, "37535,13505"),
              "Converted to 0.090909\r\nConvert back to ND format: 37535 , 13505\r\n");
    EXPECT_EQ(run_command(cmd_float_test, "40109 0"), "Illegal char. in octal number: 9\r\n");
}

} // namespace
