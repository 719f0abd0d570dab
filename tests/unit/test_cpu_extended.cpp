// The op14nn group: SKP, EXR, byte instructions, RMPY/RDIV, MIX3, read word,
// test-and-set, the terminate path, and the illegal-instruction handler.
#include "instruction_test_support.h"
#include "shell/shell.h"

namespace {

constexpr uint32_t skp(uint32_t condition, uint32_t sr, uint32_t dr) {
    return 0140000 | (condition << 8) | (sr << 3) | dr;
}
constexpr uint32_t exr(uint32_t sr) {
    return 0140600 | (sr << 3);
}
constexpr uint32_t rdiv(uint32_t sr) {
    return 0141600 | (sr << 3);
}
constexpr uint32_t rmpy(uint32_t sr, uint32_t dr) {
    return 0141200 | (sr << 3) | dr;
}

using SkipOnCompare = InstructionTest;

TEST_F(SkipOnCompare, SignedAndUnsignedConditions) {
    struct Case {
        uint32_t condition, d, s;
        bool skip;
    } cases[] = {
        {0, 5, 5, true},  {0, 5, 6, false},       {2, 0177777, 1, false}, {2, 1, 0177777, true},
        {2, 7, 7, true},  {3, 0177777, 1, true},  {3, 1, 0177777, false}, {3, 7, 7, true},
        {4, 5, 6, true},  {4, 6, 6, false},       {6, 0177777, 1, true},  {6, 1, 0177777, false},
        {6, 7, 7, false}, {7, 0177777, 1, false}, {7, 1, 0177777, true},  {7, 7, 7, false},
    };
    for (const Case &c : cases) {
        machine.P = 01000;
        machine.A = c.d;
        machine.T = c.s;
        execute(skp(c.condition, R_T, R_A));
        EXPECT_EQ(machine.P, c.skip ? 01002u : 01001u)
            << "condition " << c.condition << " d " << std::oct << c.d << " s " << c.s;
    }
}

TEST_F(SkipOnCompare, RegisterZeroAndP) {
    machine.P = 02000;
    machine.A = 02001;
    execute(skp(0, R_P, R_A)); // P reads as the address of the following word
    EXPECT_EQ(machine.P, 02002u);
    machine.X = 0;
    execute(skp(0, 0, R_X));
    EXPECT_EQ(machine.P, 02004u);
}

TEST_F(SkipOnCompare, Conditions1And5SkipAsSignedAndReport) {
    machine.A = 0177777;
    machine.T = 1;
    machine.X = 2;
    machine.D = 3;
    capture_output();
    execute(skp(1, R_A, R_T)); // 1 >= -1: skips
    EXPECT_EQ(machine.P, 01002u);
    execute(skp(5, R_A, R_T)); // 1 < -1: no
    EXPECT_EQ(machine.P, 01003u);
    EXPECT_EQ(captured_output(), "\n@ 1001 SKP cond 1 140456\n"
                                 "\n A= 177777 T=      1 X=      2 D=      3"
                                 "\n@ 1002 SKP cond 5 142456\n"
                                 "\n A= 177777 T=      1 X=      2 D=      3");
}

TEST_F(SkipOnCompare, AllowedCldHidesTheWordsWithBit6) {
    machine.B = 0;
    settings.skp_cld_mask = 0200;
    execute(0140130); // SKP EQL of B with the constant 0
    EXPECT_EQ(machine.P, 01002u);
    EXPECT_EQ(cpu_running, 1);
}

using ExecuteRegister = InstructionTest;

TEST_F(ExecuteRegister, JplRunsInThePlaceOfTheExr) {
    machine.A = mr(OP_JPL, M_P, 040);
    execute(exr(R_A));
    EXPECT_EQ(machine.L, 01001u);
    EXPECT_EQ(machine.P, 01040u);
    EXPECT_EQ(machine.instruction_count, 2u) << "EXR and its instruction count as two";
}

TEST_F(ExecuteRegister, SkipSkipsTheWordAfterTheExr) {
    machine.T = skp(0, 0, 0);
    execute(exr(R_T));
    EXPECT_EQ(machine.P, 01002u);
}

TEST_F(ExecuteRegister, RegisterZeroExecutesSts) {
    machine.STS = 0110004; // FMU with displacement 4
    machine.A = 040100;    // 1.0
    machine.D = 0;
    place(01004, {040200, 0}); // 2.0
    execute(exr(R_STS));
    EXPECT_EQ(machine.A, 040200u);
    EXPECT_EQ(machine.D, 0u);
    EXPECT_EQ(machine.P, 01001u);
}

TEST_F(ExecuteRegister, ExrOfExrSetsZAndContinues) {
    machine.X = exr(R_A);
    capture_output();
    execute(exr(R_X));
    EXPECT_EQ(captured_output(), "\nEXR of EXR illegal, at P=1000\n");
    EXPECT_TRUE(sts(STS_Z));
    EXPECT_EQ(machine.P, 01001u);
    EXPECT_EQ(cpu_running, 1);
    machine.X = 0140777;
    execute(exr(R_X));
    EXPECT_EQ(machine.P, 01002u) << "the whole range 140600-140777 is EXR";
}

TEST_F(ExecuteRegister, TraceOfAnExrOfExrShowsTheRefusedWord) {
    machine.X = exr(R_A);
    capture_output();
    execute(exr(R_X));
    captured_output();
    FILE *trace = std::tmpfile();
    shell.operator_output = trace;
    print_trace_line();
    shell.operator_output = stdout;
    char line[200] = {};
    std::rewind(trace);
    size_t length = std::fread(line, 1, sizeof line - 1, trace);
    std::fclose(trace);
    const std::string shown = "\r\n{ 0} op14nn 140650 @ PC=  1000";
    EXPECT_EQ(std::string(line, length).substr(0, shown.size()), shown);
}

using RegisterArithmetic = InstructionTest;

TEST_F(RegisterArithmetic, DivideSignsAndRemainders) {
    struct Case {
        int32_t dividend;
        int32_t divisor;
        uint32_t a, d;
        bool z;
    } cases[] = {
        {7, 2, 3, 1, false},
        {-7, 2, 0177775, 0177777, false},
        {7, -2, 0177775, 1, false},
        {-7, -2, 3, 0177777, false},
        {0x7fffffff, 1, 0177777, 0, true},
        {65536 * 3, 2, 0100000, 0, true}, // quotient 300000 (octal): low bits kept
        {INT32_MIN, -1, 0, 0, true},
        {-65536, 2, 0100000, 0, false},
    };
    for (const Case &c : cases) {
        machine.STS |= STS_Q | STS_C;
        machine.STS &= ~STS_Z;
        uint32_t dividend = static_cast<uint32_t>(c.dividend);
        machine.A = dividend >> 16;
        machine.D = dividend & WORD_MASK;
        machine.T = static_cast<uint32_t>(c.divisor) & WORD_MASK;
        execute(rdiv(R_T));
        SCOPED_TRACE(testing::Message() << c.dividend << " / " << c.divisor);
        EXPECT_EQ(machine.A, c.a);
        EXPECT_EQ(machine.D, c.d);
        EXPECT_EQ(sts(STS_Z), c.z);
        EXPECT_FALSE(sts(STS_Q));
        EXPECT_FALSE(sts(STS_C));
    }
}

TEST_F(RegisterArithmetic, DivideByZeroOrRegisterZeroSetsZ) {
    for (uint32_t word : {rdiv(0), rdiv(R_X)}) {
        machine.STS &= ~STS_Z;
        machine.A = 0;
        machine.D = 7;
        machine.X = 0;
        uint32_t p = machine.P;
        execute(word);
        EXPECT_TRUE(sts(STS_Z));
        EXPECT_EQ(machine.A, 0u);
        EXPECT_EQ(machine.D, 7u);
        EXPECT_EQ(machine.P, p + 1);
    }
}

TEST_F(RegisterArithmetic, MultiplyIntoAD) {
    machine.T = 0177776; // -2
    machine.X = 040000;
    machine.STS |= STS_C | STS_Q;
    execute(rmpy(R_T, R_X));
    EXPECT_EQ((machine.A << 16) | machine.D, static_cast<uint32_t>(-2 * 040000));
    EXPECT_FALSE(sts(STS_C));
    EXPECT_FALSE(sts(STS_Q));
    machine.T = 0100000;
    machine.X = 0100000;
    execute(rmpy(R_T, R_X));
    EXPECT_EQ(machine.A, 040000u);
    EXPECT_EQ(machine.D, 0u);
    capture_output();
    execute(rmpy(0, 0));
    EXPECT_EQ(captured_output(), "\nRMPY dr=0\n\nRMPY sr=0\n");
    EXPECT_EQ(machine.A, 0u);
    EXPECT_EQ(machine.D, 0u);
}

TEST_F(RegisterArithmetic, Mix3) {
    machine.A = 5;
    execute(0143200);
    EXPECT_EQ(machine.X, 12u);
    machine.A = 0;
    execute(0143200);
    EXPECT_EQ(machine.X, 0177775u);
}

using MemoryWords = InstructionTest;

TEST_F(MemoryWords, ByteLoadAndStoreThroughTheDataBank) {
    use_alternative_bank(2);
    machine.T = 03000;
    write_word(2, 03001, 0012345 & 0177777);
    write_word(0, 03001, 0177777);
    machine.X = 3;
    execute(0142200); // LBYT: right byte of T + 1
    EXPECT_EQ(machine.A, 0345u & 0377);
    machine.X = 2;
    execute(0142200);
    EXPECT_EQ(machine.A, 0012345u >> 8);
    machine.A = 0177;
    execute(0142600); // SBYT into the left byte
    EXPECT_EQ(read_word(2, 03001), (0177u << 8) | (0012345u & 0377));
    EXPECT_EQ(read_word(0, 03001), 0177777u);
    machine.X = 0177777; // byte number taken unsigned
    machine.T = 0;
    machine.A = 0401;
    execute(0142600);
    EXPECT_EQ(read_word(2, 077777), 1u);
}

TEST_F(MemoryWords, ReadWordAndTestAndSet) {
    use_alternative_bank(1);
    machine.T = 0500;
    write_word(1, 0500, 0123);
    execute(0140127);
    EXPECT_EQ(machine.A, 0123u);
    EXPECT_EQ(read_word(1, 0500), 0123u);
    execute(0140123);
    EXPECT_EQ(machine.A, 0123u);
    EXPECT_EQ(read_word(1, 0500), 0177777u);
    EXPECT_EQ(read_word(0, 0500), 0u);
    EXPECT_EQ(machine.P, 01002u);
}

using Stops = InstructionTest;

TEST_F(Stops, UnusedGroupWordsTerminate) {
    capture_output();
    execute(0140133);
    EXPECT_EQ(captured_output(), "\nTerminate on ill. or not impl. instr.  140133 at    1000\n");
    EXPECT_EQ(cpu_running, 0);
    EXPECT_EQ(machine.P, 01001u);
}

// At the last address P wraps to 0, whether the word is carried out alone or
// by the cycle, whose halt writes P back.
TEST_F(Stops, UnusedGroupWordAtTheLastAddressWrapsP) {
    machine.P = 0177777;
    capture_output();
    execute(0140133);
    EXPECT_EQ(machine.P, 0u);
    machine.P = 0177777;
    cpu_running = 1;
    run_cpu();
    captured_output();
    EXPECT_EQ(machine.P, 0u);
}

TEST_F(Stops, IllegalSlotsStopWithTheirMessage) {
    for (int slot : {0317, 0325, 0351, 0352, 0353, 0354, 0355, 0356, 0357})
        EXPECT_EQ(instruction_table[slot], &illegal_instruction) << std::oct << slot;
    machine.P = 0177777;
    capture_output();
    execute(0147412);
    EXPECT_EQ(captured_output(),
              "\nIllegal instruction code at 177777  147412 207 (decimal high byte)\n");
    EXPECT_EQ(cpu_running, 0);
    EXPECT_EQ(machine.P, 0u);
}

TEST_F(Stops, RunCpuStopsAtAnIllegalWord) {
    machine.P = 0100;
    place(0100, {0170400 | 7, 0172400 | 1, 0152400}); // SAA 7, AAA 1, illegal
    capture_output();
    run_cpu();
    std::string output = captured_output();
    EXPECT_NE(output.find("Illegal instruction code at 102  152400 213"), std::string::npos);
    EXPECT_EQ(machine.A, 010u);
    EXPECT_EQ(machine.P, 0103u);
    EXPECT_EQ(machine.instruction_count, 3u);
}

} // namespace
