// Register operations, argument instructions, shifts and bit instructions.
#include "instruction_test_support.h"

#include <random>

namespace {

enum : uint32_t { SWAP = 0, RAND = 1, REXO = 2, RORA = 3, RADD = 4, RADD1 = 5, RADDC = 6 };
constexpr uint32_t CM1 = 0200;
constexpr uint32_t CLD = 0100;

constexpr uint32_t register_op(uint32_t op, uint32_t flags, uint32_t sr, uint32_t dr) {
    return 0144000 | (op << 8) | flags | (sr << 3) | dr;
}

using RegisterOperations = InstructionTest;

TEST_F(RegisterOperations, RaddWithComplementAndOneSubtracts) {
    machine.A = 5; // source
    machine.T = 3; // destination
    execute(register_op(RADD1, CM1, R_A, R_T));
    EXPECT_EQ(machine.T, 0177776u);
    EXPECT_FALSE(sts(STS_C));
    machine.A = 3;
    machine.T = 5;
    execute(register_op(RADD1, CM1, R_A, R_T));
    EXPECT_EQ(machine.T, 2u);
    EXPECT_TRUE(sts(STS_C));
    EXPECT_EQ(machine.P, 01002u);
}

TEST_F(RegisterOperations, RaddAddsTheEarlierCarry) {
    machine.A = 0177777;
    machine.X = 1;
    execute(register_op(RADD, 0, R_X, R_A)); // sets C
    EXPECT_EQ(machine.A, 0u);
    EXPECT_TRUE(sts(STS_C));
    machine.D = 0;
    machine.B = 4;
    execute(register_op(RADDC, 0, R_B, R_D));
    EXPECT_EQ(machine.D, 5u);
    EXPECT_FALSE(sts(STS_C));
    execute(register_op(RADDC, 0, R_B, R_D));
    EXPECT_EQ(machine.D, 9u) << "no carry left to add";
}

TEST_F(RegisterOperations, RaddOverflowAndClearDestination) {
    machine.A = 077777;
    machine.T = 1;
    execute(register_op(RADD, 0, R_T, R_A));
    EXPECT_EQ(machine.A, 0100000u);
    EXPECT_TRUE(sts(STS_Q));
    EXPECT_TRUE(sts(STS_O));
    machine.X = 0123;
    execute(register_op(RADD, CLD, R_X, R_A)); // copy
    EXPECT_EQ(machine.A, 0123u);
    EXPECT_FALSE(sts(STS_Q));
    EXPECT_TRUE(sts(STS_O));
    execute(register_op(RADD, CLD | CM1, 0, R_A)); // complement of the constant 0
    EXPECT_EQ(machine.A, 0177777u);
}

TEST_F(RegisterOperations, RaddWithoutDestinationOnlyClearsCarry) {
    machine.STS |= STS_C | STS_Q;
    machine.A = 1;
    execute(register_op(RADD, 0, R_A, 0));
    EXPECT_FALSE(sts(STS_C));
    EXPECT_TRUE(sts(STS_Q));
    EXPECT_EQ(machine.A, 1u);
    EXPECT_EQ(machine.P, 01001u);
}

TEST_F(RegisterOperations, ReturnWordsSetPFromL) {
    machine.L = 04000;
    machine.A = 1;
    machine.STS |= STS_C | STS_Q | STS_O;
    execute(0146142);
    EXPECT_EQ(machine.P, 04000u);
    EXPECT_FALSE(sts(STS_C));
    EXPECT_FALSE(sts(STS_Q));
    EXPECT_TRUE(sts(STS_O));
    EXPECT_EQ(machine.L, 04000u);
    EXPECT_EQ(machine.A, 1u);
    machine.L = 0177777;
    execute(0146542);
    EXPECT_EQ(machine.P, 0u);
}

TEST_F(RegisterOperations, PAsARegisterMeansTheFollowingAddress) {
    machine.P = 02000;
    execute(register_op(RADD, CLD, R_P, R_A));
    EXPECT_EQ(machine.A, 02001u);
    machine.X = 03000;
    execute(register_op(SWAP, 0, R_X, R_P)); // jump to X, old P into X
    EXPECT_EQ(machine.P, 03000u);
    EXPECT_EQ(machine.X, 02002u);
}

TEST_F(RegisterOperations, Swap) {
    machine.A = 1;
    machine.D = 2;
    execute(register_op(SWAP, 0, R_A, R_D));
    EXPECT_EQ(machine.D, 1u);
    EXPECT_EQ(machine.A, 2u);
    execute(register_op(SWAP, CLD, R_A, R_D));
    EXPECT_EQ(machine.D, 2u);
    EXPECT_EQ(machine.A, 0u);
    machine.T = 0707;
    uint32_t sts_before = machine.STS;
    execute(register_op(SWAP, CM1, 0, R_T));
    EXPECT_EQ(machine.T, 0177777u);
    EXPECT_EQ(machine.A, 0u);
    EXPECT_EQ(machine.D, 2u);
    EXPECT_EQ(machine.STS, sts_before);
    machine.X = 5;
    execute(register_op(SWAP, 0, R_X, 0));
    EXPECT_EQ(machine.X, 5u);
}

TEST_F(RegisterOperations, LogicalOperationsAndTheirMessages) {
    machine.A = 0170017;
    machine.T = 0007777;
    execute(register_op(RAND, 0, R_A, R_T));
    EXPECT_EQ(machine.T, 0000017u);
    machine.T = 0007777;
    execute(register_op(RAND, CM1, R_A, R_T));
    EXPECT_EQ(machine.T, 0007760u);
    execute(register_op(REXO, 0, R_A, R_T));
    EXPECT_EQ(machine.T, 0177777u);
    machine.X = 1;
    execute(register_op(RORA, CLD, R_A, R_X));
    EXPECT_EQ(machine.X, 0170017u);

    capture_output();
    machine.P = 02000;
    execute(register_op(RAND, 0, 0, R_T));
    EXPECT_EQ(machine.T, 0u);
    execute(register_op(RORA, 0, 0, R_T));
    execute(register_op(RORA, 0, R_A, 0));
    execute(register_op(REXO, 0, 0, 0));
    EXPECT_EQ(captured_output(), "\nRAND SR=0, P=  2000 OPC=144406\n"
                                 "\nRORA SR=0\n"
                                 "\nRORA DR=0\n");
    EXPECT_EQ(machine.P, 02004u);
}

using ArgumentInstructions = InstructionTest;

TEST_F(ArgumentInstructions, SetAndAddSignExtendedConstants) {
    execute(0170000 | 0377); // SAB -1
    EXPECT_EQ(machine.B, 0177777u);
    execute(0170400 | 0177); // SAA 127
    EXPECT_EQ(machine.A, 0177u);
    execute(0171000 | 0200); // SAT -128
    EXPECT_EQ(machine.T, 0177600u);
    execute(0171400 | 5); // SAX 5
    EXPECT_EQ(machine.X, 5u);
    EXPECT_EQ(machine.STS & 0377, 0u);

    execute(0172000 | 1); // AAB 1: -1 + 1
    EXPECT_EQ(machine.B, 0u);
    EXPECT_TRUE(sts(STS_C));
    machine.A = 077777;
    execute(0172400 | 1); // AAA 1
    EXPECT_EQ(machine.A, 0100000u);
    EXPECT_TRUE(sts(STS_Q));
    EXPECT_TRUE(sts(STS_O));
    EXPECT_FALSE(sts(STS_C));
    execute(0173000 | 0377); // AAT -1: 177600 - 1
    EXPECT_EQ(machine.T, 0177577u);
    EXPECT_TRUE(sts(STS_C));
    EXPECT_FALSE(sts(STS_Q));
    machine.X = 0100000;
    execute(0173400 | 0377); // AAX -1 overflows
    EXPECT_EQ(machine.X, 077777u);
    EXPECT_TRUE(sts(STS_Q));
    EXPECT_EQ(machine.P, 01010u);
}

// Shift word: mode 0 arithmetic, 1 rotate, 2 zero-end, 3 link; register 0 T,
// 1 D, 2 A, 3 AD.
enum : uint32_t { ARITH = 0, ROT = 1, ZERO = 2, LINK = 3 };
enum : uint32_t { SH_T = 0, SH_D = 1, SH_A = 2, SH_AD = 3 };
constexpr uint32_t shift(uint32_t mode, uint32_t reg, int n) {
    return 0154000 | (mode << 9) | (reg << 7) | (static_cast<uint32_t>(n) & 077);
}

class Shifts : public InstructionTest {
  protected:
    void set_m(bool on) { machine.STS = on ? machine.STS | STS_M : machine.STS & ~STS_M; }
    bool m() { return sts(STS_M); }
    uint32_t ad() { return (machine.A << 16) | machine.D; }
    void set_ad(uint32_t value) {
        machine.A = value >> 16;
        machine.D = value & WORD_MASK;
    }
};

TEST_F(Shifts, ArithmeticAndZeroEndRightShifts) {
    machine.A = 0100001;
    execute(shift(ARITH, SH_A, -1));
    EXPECT_EQ(machine.A, 0140000u);
    EXPECT_TRUE(m());
    machine.A = 0100001;
    set_m(false);
    execute(shift(ZERO, SH_A, -1));
    EXPECT_EQ(machine.A, 040000u);
    EXPECT_TRUE(m());
    machine.T = 0100000;
    execute(shift(ARITH, SH_T, -16));
    EXPECT_EQ(machine.T, 0177777u);
    EXPECT_TRUE(m());
    machine.D = 0100000;
    execute(shift(ZERO, SH_D, -16));
    EXPECT_EQ(machine.D, 0u);
    EXPECT_TRUE(m());
}

TEST_F(Shifts, LeftShiftsKeepTheLastBitOutInM) {
    machine.D = 0140001;
    execute(shift(ARITH, SH_D, 1));
    EXPECT_EQ(machine.D, 0100002u);
    EXPECT_TRUE(m());
    execute(shift(ZERO, SH_D, 2));
    EXPECT_EQ(machine.D, 010u);
    EXPECT_FALSE(m());
    machine.T = 1;
    execute(shift(ARITH, SH_T, 16));
    EXPECT_EQ(machine.T, 0u);
    EXPECT_TRUE(m());
}

TEST_F(Shifts, CountsBeyondSixteenClearTheRegisterAndM) {
    machine.T = 0177777;
    set_m(true);
    execute(shift(ARITH, SH_T, 20));
    EXPECT_EQ(machine.T, 0u);
    EXPECT_FALSE(m());
    machine.A = 0177777;
    set_m(true);
    execute(shift(ZERO, SH_A, -17));
    EXPECT_EQ(machine.A, 0u);
    EXPECT_FALSE(m());
}

TEST_F(Shifts, ZeroCounts) {
    machine.T = 0123;
    set_m(true);
    execute(shift(ARITH, SH_T, 0));
    EXPECT_EQ(machine.T, 0123u);
    EXPECT_FALSE(m()) << "SHT with count 0 clears M";
    set_m(true);
    execute(shift(ZERO, SH_D, 0));
    EXPECT_FALSE(m()) << "SHD with count 0 clears M";
    for (uint32_t word : {shift(ARITH, SH_A, 0), shift(ZERO, SH_AD, 0), shift(ROT, SH_T, 0),
                          shift(LINK, SH_A, 0), shift(ROT, SH_AD, 0)}) {
        set_m(true);
        machine.A = 0456;
        execute(word);
        EXPECT_TRUE(m()) << std::oct << word;
        EXPECT_EQ(machine.A, 0456u);
    }
}

TEST_F(Shifts, RotationsOfOneRegister) {
    std::mt19937 random(4);
    for (int i = 0; i < 200; ++i) {
        uint32_t value = random() & WORD_MASK;
        machine.T = value;
        execute(shift(ROT, SH_T, -12));
        uint32_t right = machine.T;
        bool right_m = m();
        machine.T = value;
        execute(shift(ROT, SH_T, 4));
        EXPECT_EQ(machine.T, right);
        EXPECT_EQ(right_m, ((right >> 15) & 1) != 0) << "right rotation: M is bit 15";
        EXPECT_EQ(m(), (right & 1) != 0) << "left rotation: M is bit 0";
    }
    machine.A = 0100001;
    execute(shift(ROT, SH_A, 1));
    EXPECT_EQ(machine.A, 3u);
    execute(shift(ROT, SH_A, -1));
    EXPECT_EQ(machine.A, 0100001u);
    EXPECT_TRUE(m());
    // |n| of 16 or more counts 16 less; a rotation by 16 keeps the register.
    machine.A = 0100002;
    set_m(false);
    execute(shift(ROT, SH_A, -16));
    EXPECT_EQ(machine.A, 0100002u);
    EXPECT_FALSE(m()) << "count 16 reduces to 0: nothing changes";
    execute(shift(ROT, SH_A, 17));
    EXPECT_EQ(machine.A, 0000005u);
    execute(shift(ROT, SH_A, -32));
    EXPECT_EQ(machine.A, 0000005u);
    EXPECT_FALSE(m()) << "bit 15 of the result";
}

TEST_F(Shifts, DoubleRegisterShifts) {
    set_ad(0x80000001u);
    execute(shift(ARITH, SH_AD, -1));
    EXPECT_EQ(ad(), 0xC0000000u);
    EXPECT_TRUE(m());
    set_ad(0x80000001u);
    execute(shift(ZERO, SH_AD, -32));
    EXPECT_EQ(ad(), 0u);
    EXPECT_TRUE(m());
    set_ad(0x80000000u);
    execute(shift(ARITH, SH_AD, -32));
    EXPECT_EQ(ad(), 0xFFFFFFFFu);
    set_ad(0x00010003u);
    execute(shift(ARITH, SH_AD, 31));
    EXPECT_EQ(ad(), 0x80000000u);
    EXPECT_TRUE(m());
    set_ad(0x00018000u); // A = 1, D = 100000
    execute(shift(ZERO, SH_AD, 1));
    EXPECT_EQ(machine.A, 3u);
    EXPECT_EQ(machine.D, 0u);
    EXPECT_FALSE(m());

    set_ad(0x80000001u);
    execute(shift(ROT, SH_AD, 1));
    EXPECT_EQ(ad(), 3u);
    EXPECT_TRUE(m());
    execute(shift(ROT, SH_AD, -1));
    EXPECT_EQ(ad(), 0x80000001u);
    EXPECT_TRUE(m());
    set_ad(0x12345678u);
    execute(shift(ROT, SH_AD, -32));
    EXPECT_EQ(ad(), 0x12345678u);
    EXPECT_FALSE(m());
}

TEST_F(Shifts, LinkModeRotatesThroughM) {
    set_m(true);
    set_ad(0x80000000u);
    execute(shift(LINK, SH_AD, 1));
    EXPECT_EQ(machine.A, 0u);
    EXPECT_EQ(machine.D, 1u);
    EXPECT_TRUE(m());
    execute(shift(LINK, SH_AD, -1));
    EXPECT_EQ(ad(), 0x80000000u);
    EXPECT_TRUE(m());

    set_m(false);
    machine.T = 0100001;
    execute(shift(LINK, SH_T, -1));
    EXPECT_EQ(machine.T, 040000u);
    EXPECT_TRUE(m());
    execute(shift(LINK, SH_T, 1));
    EXPECT_EQ(machine.T, 0100001u);
    EXPECT_FALSE(m());
    // Seventeen single steps through M make a full turn; so do 33 for AD
    // (31 left then 2 more).
    std::mt19937 random(17);
    for (int i = 0; i < 50; ++i) {
        uint32_t value = random() & WORD_MASK;
        bool m_before = random() & 1;
        set_m(m_before);
        machine.D = value;
        execute(shift(LINK, SH_D, 17));
        EXPECT_EQ(machine.D, value);
        EXPECT_EQ(m(), m_before);
        set_m(m_before);
        machine.D = value;
        execute(shift(LINK, SH_D, 9));
        execute(shift(LINK, SH_D, -9));
        EXPECT_EQ(machine.D, value);
        uint32_t pair = static_cast<uint32_t>(random());
        set_ad(pair);
        set_m(m_before);
        execute(shift(LINK, SH_AD, 31));
        execute(shift(LINK, SH_AD, 2));
        EXPECT_EQ(ad(), pair);
        EXPECT_EQ(m(), m_before);
    }
}

// Bit instruction word: operation (bits 10-7), bit number, register.
constexpr uint32_t bit_op(uint32_t op, uint32_t bit, uint32_t reg) {
    return 0174000 | (op << 7) | (bit << 3) | reg;
}

class BitInstructions : public InstructionTest {
  protected:
    void set_k(bool on) { machine.STS = on ? machine.STS | STS_K : machine.STS & ~STS_K; }
    bool k() { return sts(STS_K); }
};

TEST_F(BitInstructions, EveryOperationForEveryBitAndK) {
    struct Expect {
        int bit;  // the register bit afterwards (-1 for complemented)
        int k;    // K afterwards, -1 for unchanged
        int skip; // 1 skip, 0 not
    };
    // Expected results for [operation][bit][K] as the operations define them.
    auto expected = [](uint32_t op, int bit, int kk) -> Expect {
        switch (op) {
        case 000:
            return {0, kk, 0};
        case 001:
            return {1, kk, 0};
        case 002:
            return {!bit, kk, 0};
        case 003:
            return {kk, kk, 0};
        case 004:
            return {bit, kk, bit == 0};
        case 005:
            return {bit, kk, bit == 1};
        case 006:
            return {bit, kk, bit != kk};
        case 007:
            return {bit, kk, bit == kk};
        case 010:
            return {!kk, 1, 0};
        case 011:
            return {kk, 0, 0};
        case 012:
            return {bit, !bit, 0};
        case 013:
            return {bit, bit, 0};
        case 014:
            return {bit, kk && !bit, 0};
        case 015:
            return {bit, kk && bit, 0};
        case 016:
            return {bit, kk || !bit, 0};
        default:
            return {bit, kk || bit, 0};
        }
    };
    for (uint32_t op = 0; op < 16; ++op) {
        for (int bit = 0; bit < 2; ++bit) {
            for (int kk = 0; kk < 2; ++kk) {
                machine.P = 01000;
                set_k(kk);
                machine.X = bit ? 0020000 : 0;
                execute(bit_op(op, 13, R_X));
                Expect e = expected(op, bit, kk);
                SCOPED_TRACE(testing::Message() << "op " << op << " bit " << bit << " K " << kk);
                EXPECT_EQ(machine.X, e.bit ? 0020000u : 0u);
                EXPECT_EQ(k(), e.k != 0);
                EXPECT_EQ(machine.P, e.skip ? 01002u : 01001u);
            }
        }
    }
}

TEST_F(BitInstructions, RegisterZeroIsSts) {
    execute(bit_op(001, 6, R_STS)); // BSET ONE on bit 6: C
    EXPECT_TRUE(sts(STS_C));
    set_k(true);
    execute(bit_op(010, 5, R_STS)); // BSTC on O with K = 1
    EXPECT_FALSE(sts(STS_O));
    EXPECT_TRUE(k());
    // The level field and the interrupt bit are not the bit instructions' to change.
    uint32_t high = machine.STS & 0177400;
    execute(bit_op(002, 15, R_STS));
    execute(bit_op(001, 8, R_STS));
    EXPECT_EQ(machine.STS & 0177400, high);
    execute(bit_op(013, 15, R_STS)); // but they can be read: BLDA of bit 15
    EXPECT_EQ(k(), (high & 0100000) != 0);
}

TEST_F(BitInstructions, BskpBcmMessageAtDebugLevel123) {
    settings.debug_level = 0123;
    set_k(true);
    machine.A = 0;
    capture_output();
    execute(bit_op(006, 3, R_A));
    EXPECT_EQ(captured_output(), "BSKP @1001 175435 kmask= 10 bitmask = 10 reg=5/0");
    EXPECT_EQ(machine.P, 01002u);
}

} // namespace
