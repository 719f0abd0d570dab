// Memory-reference instructions: addressing modes and page tables, loads and
// stores, the integer arithmetic flags, MIN and the jumps.
#include "instruction_test_support.h"

namespace {

using MemoryReference = InstructionTest;

// Puts a distinct value at the same address in every bank, so that a load
// tells which bank it read.
void mark_banks(uint32_t address) {
    for (uint32_t bank = 0; bank < 4; ++bank)
        write_word(bank, address, 010000 * (bank + 1) + (address & 0777));
}
uint32_t mark(uint32_t bank, uint32_t address) {
    return 010000 * (bank + 1) + (address & 0777);
}

TEST_F(MemoryReference, EachModeFormsItsAddressAndChoosesItsBank) {
    // With APT 2 active, only the plain P-relative operand and the pointer
    // of P-relative indirect come from bank 0.
    use_alternative_bank(2);
    machine.B = 02000;
    machine.X = 030;
    struct Case {
        uint32_t mode;
        uint32_t expected;
    } cases[] = {
        {M_P, 03000},            // the pointer word of the I mode, bank 0
        {M_B, 04000},            // the pointer word of the BI mode, bank 2
        {M_I, mark(2, 03000)},   // pointer at P+5 in bank 0 = 03000
        {M_BI, mark(2, 04000)},  // pointer at B+5 in bank 2 = 04000
        {M_X, mark(2, 030 + 5)}, // X + d, no P
        {M_BX, mark(2, 02000 + 030 + 5)},
        {M_IX, mark(2, 03000 + 030)}, // post-indexed
        {M_BIX, mark(2, 04000 + 030)},
    };
    for (uint32_t address : {01005u, 02005u, 03000u, 04000u, 035u, 02035u, 03030u, 04030u})
        mark_banks(address);
    write_word(0, 01005, 03000);
    write_word(2, 02005, 04000);
    write_word(0, 02005, 05000); // a bank-0 pointer that must not be used by BI
    for (const Case &c : cases) {
        machine.P = 01000;
        execute(mr(OP_LDA, c.mode, 5));
        EXPECT_EQ(machine.A, c.expected) << "mode " << c.mode;
        EXPECT_EQ(machine.P, 01001u);
    }
}

TEST_F(MemoryReference, DataBankIsZeroWhileSts0IsClear) {
    machine.apt_offset = 2 << 16;
    machine.B = 02000;
    mark_banks(02005);
    execute(mr(OP_LDA, M_B, 5));
    EXPECT_EQ(machine.A, mark(0, 02005));
}

TEST_F(MemoryReference, AddressesWrapWithinTheBank) {
    machine.P = 0;
    write_normal(0177777, 01234);
    execute(mr(OP_LDA, M_P, -1));
    EXPECT_EQ(machine.A, 01234u);

    use_alternative_bank(3);
    machine.P = 01000;
    machine.B = 0177777;
    write_word(3, 1, 04321);
    execute(mr(OP_LDA, M_B, 2));
    EXPECT_EQ(machine.A, 04321u);

    // Post-indexing wraps too.
    machine.X = 2;
    write_word(0, 01001 + 3, 0177777);
    write_word(3, 1, 07070);
    execute(mr(OP_LDA, M_IX, 3));
    EXPECT_EQ(machine.A, 07070u);
}

TEST_F(MemoryReference, IndirectPointerIsUsedWithItsBit15) {
    write_normal(01010, 0100020);
    write_normal(0100020, 0555);
    execute(mr(OP_LDA, M_I, 010));
    EXPECT_EQ(machine.A, 0555u);
}

TEST_F(MemoryReference, StoresWriteThroughTheOperandPath) {
    use_alternative_bank(1);
    machine.B = 03000;
    machine.A = 0111;
    machine.T = 0222;
    machine.X = 0333;
    machine.D = 0444;
    execute(mr(OP_STA, M_B, 0));
    execute(mr(OP_STT, M_B, 1));
    execute(mr(OP_STX, M_B, 2));
    write_word(1, 03003, 0777);
    execute(mr(OP_STZ, M_B, 3));
    EXPECT_EQ(read_word(1, 03000), 0111u);
    EXPECT_EQ(read_word(1, 03001), 0222u);
    EXPECT_EQ(read_word(1, 03002), 0333u);
    EXPECT_EQ(read_word(1, 03003), 0u);
    EXPECT_EQ(read_word(0, 03000), 0u) << "bank 0 untouched";

    // P-relative stores go to bank 0 even with APT active.
    execute(mr(OP_STA, M_P, 020));
    EXPECT_EQ(read_word(0, machine.P - 1 + 020), 0111u);
    EXPECT_EQ(machine.P, 01005u);
}

TEST_F(MemoryReference, StxInXModeUsesXForTheAddress) {
    machine.X = 02000;
    execute(mr(OP_STX, M_X, 4));
    EXPECT_EQ(read_normal(02004), 02000u);
}

TEST_F(MemoryReference, DoubleAndTripleWordsContinueAtZeroOfTheSameBank) {
    use_alternative_bank(2);
    machine.B = 0177777;
    machine.A = 0123;
    machine.D = 0456;
    execute(mr(OP_STD, M_B, 0));
    EXPECT_EQ(read_word(2, 0177777), 0123u);
    EXPECT_EQ(read_word(2, 0), 0456u);
    EXPECT_EQ(read_word(3, 0), 0u);

    machine.A = machine.D = 0;
    execute(mr(OP_LDD, M_B, 0));
    EXPECT_EQ(machine.A, 0123u);
    EXPECT_EQ(machine.D, 0456u);

    machine.B = 0177776;
    machine.T = 1;
    machine.A = 2;
    machine.D = 3;
    execute(mr(OP_STF, M_B, 0));
    EXPECT_EQ(read_word(2, 0177776), 1u);
    EXPECT_EQ(read_word(2, 0177777), 2u);
    EXPECT_EQ(read_word(2, 0), 3u);
    machine.T = machine.A = machine.D = 0;
    execute(mr(OP_LDF, M_B, 0));
    EXPECT_EQ(machine.T, 1u);
    EXPECT_EQ(machine.A, 2u);
    EXPECT_EQ(machine.D, 3u);
}

TEST_F(MemoryReference, FloatMovesAreThreeWordsInEitherFormat) {
    machine.float_format = 0;
    machine.T = 7;
    machine.A = 010;
    machine.D = 011;
    write_normal(01023, 0177777);
    execute(mr(OP_STF, M_P, 020));
    EXPECT_EQ(read_normal(01020), 7u);
    EXPECT_EQ(read_normal(01021), 010u);
    EXPECT_EQ(read_normal(01022), 011u);
    EXPECT_EQ(read_normal(01023), 0177777u);
}

TEST_F(MemoryReference, LoadsOfTXAndLogicalOperations) {
    // Each instruction is one word further on and reaches one word further.
    place(01100, {0170360, 0007417, 0125252, 0000017});
    execute(mr(OP_LDT, M_P, 0100));
    EXPECT_EQ(machine.T, 0170360u);
    execute(mr(OP_LDX, M_P, 0100));
    EXPECT_EQ(machine.X, 0007417u);
    machine.A = 0177400;
    uint32_t sts = machine.STS;
    execute(mr(OP_AND, M_P, 0100));
    EXPECT_EQ(machine.A, 0125000u);
    execute(mr(OP_ORA, M_P, 0100));
    EXPECT_EQ(machine.A, 0125017u);
    EXPECT_EQ(machine.STS, sts) << "logical operations change no status bit";
}

TEST_F(MemoryReference, MinIncrementsAndSkipsOnZero) {
    write_normal(01050, 5);
    execute(mr(OP_MIN, M_P, 050));
    EXPECT_EQ(read_normal(01050), 6u);
    EXPECT_EQ(machine.P, 01001u);

    use_alternative_bank(3);
    machine.B = 04000;
    write_word(3, 04000, 0177777);
    execute(mr(OP_MIN, M_B, 0));
    EXPECT_EQ(read_word(3, 04000), 0u);
    EXPECT_EQ(read_word(0, 04000), 0u);
    EXPECT_EQ(machine.P, 01003u);
}

class Arithmetic : public InstructionTest {
  protected:
    // Runs `op` on A with the operand placed P-relative.
    void run(uint32_t op, uint32_t a, uint32_t operand, uint32_t sts_before = 0) {
        machine.P = 01000;
        machine.STS = (machine.STS & ~0377u) | sts_before;
        machine.A = a;
        write_normal(01040, operand);
        execute(mr(op, M_P, 040));
    }
};

TEST_F(Arithmetic, AddSetsCarryAndOverflow) {
    run(OP_ADD, 077777, 1);
    EXPECT_EQ(machine.A, 0100000u);
    EXPECT_TRUE(sts(STS_Q));
    EXPECT_TRUE(sts(STS_O));
    EXPECT_FALSE(sts(STS_C));

    // A following add without overflow clears Q, while O stays.
    machine.A = 1;
    write_normal(01041, 1);
    execute(mr(OP_ADD, M_P, 040));
    EXPECT_EQ(machine.A, 2u);
    EXPECT_FALSE(sts(STS_Q));
    EXPECT_TRUE(sts(STS_O));

    run(OP_ADD, 0177777, 1);
    EXPECT_EQ(machine.A, 0u);
    EXPECT_TRUE(sts(STS_C));
    EXPECT_FALSE(sts(STS_Q));

    run(OP_ADD, 0100000, 0100000, STS_C | STS_Q);
    EXPECT_EQ(machine.A, 0u);
    EXPECT_TRUE(sts(STS_C));
    EXPECT_TRUE(sts(STS_Q));

    run(OP_ADD, 5, 7, STS_C | STS_Q);
    EXPECT_EQ(machine.A, 12u);
    EXPECT_FALSE(sts(STS_C));
    EXPECT_FALSE(sts(STS_Q));
}

TEST_F(Arithmetic, SubtractCarryMeansNoBorrow) {
    run(OP_SUB, 0444, 0444);
    EXPECT_EQ(machine.A, 0u);
    EXPECT_TRUE(sts(STS_C));
    run(OP_SUB, 3, 5);
    EXPECT_EQ(machine.A, 0177776u);
    EXPECT_FALSE(sts(STS_C));
    run(OP_SUB, 0, 0);
    EXPECT_TRUE(sts(STS_C));
    run(OP_SUB, 0100000, 1);
    EXPECT_EQ(machine.A, 077777u);
    EXPECT_TRUE(sts(STS_Q));
    EXPECT_TRUE(sts(STS_O));
    EXPECT_TRUE(sts(STS_C));
    run(OP_SUB, 077777, 0177777);
    EXPECT_EQ(machine.A, 0100000u);
    EXPECT_TRUE(sts(STS_Q));
    EXPECT_FALSE(sts(STS_C));
    run(OP_SUB, 5, 3, STS_Q);
    EXPECT_EQ(machine.A, 2u);
    EXPECT_FALSE(sts(STS_Q));
}

TEST_F(Arithmetic, MultiplyFlagsProductsOutsideOneWord) {
    machine.D = 0707;
    run(OP_MPY, 200, 200, STS_C);
    EXPECT_EQ(machine.A, 40000u & WORD_MASK);
    EXPECT_TRUE(sts(STS_Q));
    EXPECT_TRUE(sts(STS_O));
    EXPECT_TRUE(sts(STS_C)) << "C untouched";
    EXPECT_EQ(machine.D, 0707u);

    run(OP_MPY, 0177777, 7, STS_Q); // -1 * 7
    EXPECT_EQ(machine.A, 0177771u);
    EXPECT_FALSE(sts(STS_Q));

    run(OP_MPY, 0100000, 1); // exactly -32768
    EXPECT_EQ(machine.A, 0100000u);
    EXPECT_TRUE(sts(STS_Q));

    run(OP_MPY, 0177777, 0100001); // -1 * -32767
    EXPECT_EQ(machine.A, 077777u);
    EXPECT_FALSE(sts(STS_Q));
}

using Jumps = InstructionTest;

TEST_F(Jumps, JmpAndJplInEveryMode) {
    use_alternative_bank(1);
    machine.B = 02000;
    machine.X = 010;
    write_word(0, 01000 + 4, 03000); // P-relative pointer, bank 0
    write_word(1, 02000 + 4, 04000); // B-relative pointer, bank 1
    struct Case {
        uint32_t mode;
        uint32_t target;
    } cases[] = {
        {M_P, 01004}, {M_B, 02004},  {M_I, 03000},  {M_BI, 04000},
        {M_X, 014},   {M_BX, 02014}, {M_IX, 03010}, {M_BIX, 04010},
    };
    for (const Case &c : cases) {
        machine.P = 01000;
        execute(mr(OP_JMP, c.mode, 4));
        EXPECT_EQ(machine.P, c.target) << "JMP mode " << c.mode;
        machine.P = 01000;
        machine.L = 0;
        execute(mr(OP_JPL, c.mode, 4));
        EXPECT_EQ(machine.P, c.target) << "JPL mode " << c.mode;
        EXPECT_EQ(machine.L, 01001u);
    }
}

TEST_F(Jumps, JplAtTheTopOfMemoryLinksToZero) {
    machine.P = 0177777;
    execute(mr(OP_JPL, M_P, -2));
    EXPECT_EQ(machine.L, 0u);
    EXPECT_EQ(machine.P, 0177775u);
}

TEST_F(Jumps, ConditionalJumpsTestAAndX) {
    struct Case {
        uint32_t condition;
        uint32_t a, x;
        bool taken;
        uint32_t x_after;
    } cases[] = {
        {0, 077777, 0, true, 0},
        {0, 0100000, 0, false, 0}, // JAP
        {1, 0100000, 0, true, 0},
        {1, 0, 0, false, 0}, // JAN
        {2, 0, 0, true, 0},
        {2, 1, 0, false, 0}, // JAZ
        {3, 1, 0, true, 0},
        {3, 0, 0, false, 0}, // JAF
        {4, 0, 0177777, true, 0},
        {4, 0, 077777, false, 0100000}, // JPC
        {5, 0, 077777, true, 0100000},
        {5, 0, 0177777, false, 0}, // JNC
        {6, 0, 0, true, 0},
        {6, 0, 1, false, 1}, // JXZ
        {7, 0, 0100000, true, 0100000},
        {7, 0, 077777, false, 077777}, // JXN
    };
    for (const Case &c : cases) {
        machine.P = 01000;
        machine.A = c.a;
        machine.X = c.x;
        // The jump field replaces X I B, so the displacement is always P-relative.
        machine.B = 05000;
        execute(mr(OP_JCOND, c.condition, -3));
        EXPECT_EQ(machine.P, c.taken ? 0775u : 01001u) << "condition " << c.condition;
        EXPECT_EQ(machine.X, c.x_after) << "condition " << c.condition;
    }
}

TEST_F(Jumps, IndirectJumpThroughTheDataBankGoesToBankZeroCode) {
    use_alternative_bank(3);
    machine.B = 0;
    write_word(3, 2, 06000);
    execute(mr(OP_JMP, M_BI, 2));
    EXPECT_EQ(machine.P, 06000u);
    write_normal(06000, mr(OP_LDA, M_P, 1));
    write_normal(06001, 0765);
    step();
    EXPECT_EQ(machine.A, 0765u);
}

} // namespace
