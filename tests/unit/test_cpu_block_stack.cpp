// Byte and word block moves and the stack-frame instructions.
#include "instruction_test_support.h"

namespace {

constexpr uint32_t BFILL = 0140130, MOVB = 0140131, MOVBF = 0140132, MOVEW = 0143100;
constexpr uint32_t INIT = 0140134, ENTR = 0140135, LEAV = 0140136, ELEAV = 0140137;

using BlockMoves = InstructionTest;

// ---- BFILL ----

TEST_F(BlockMoves, BfillFromTheLeftByte) {
    write_word(0, 02000, 0);
    write_word(0, 02001, 0000021);
    machine.A = 0177452;
    machine.T = 3;
    machine.X = 02000;
    execute(BFILL);
    EXPECT_EQ(read_word(0, 02000), 0025052u);
    EXPECT_EQ(read_word(0, 02001), 0025021u) << "the right byte of the last word is kept";
    EXPECT_EQ(machine.T, 0100000u);
    EXPECT_EQ(machine.X, 02002u);
    EXPECT_EQ(machine.P, 01002u);
}

TEST_F(BlockMoves, BfillFromTheRightByteThroughTheAlternativePageTable) {
    use_alternative_bank(2);
    write_word(2, 03000, 0177400);
    machine.A = 0101;
    machine.T = 0140000 | 2;
    machine.X = 03000;
    execute(BFILL);
    EXPECT_EQ(read_word(2, 03000), 0177501u);
    EXPECT_EQ(read_word(2, 03001) >> 8, 0101u);
    EXPECT_EQ(read_word(0, 03000), 0u) << "page table 0 untouched";
    EXPECT_EQ(machine.T, 0100000u);
    EXPECT_EQ(machine.X, 03002u);
}

TEST_F(BlockMoves, BfillAlternativeBitNeedsPageTableMode) {
    machine.apt_offset = 2u << 16;
    machine.A = 7;
    machine.T = 040000 | 2;
    machine.X = 03000;
    execute(BFILL);
    EXPECT_EQ(read_word(0, 03000), 0003407u);
    EXPECT_EQ(read_word(2, 03000), 0u);
}

TEST_F(BlockMoves, BfillWrapsWithinTheBank) {
    machine.A = 0377;
    machine.T = 4;
    machine.X = 0177777;
    execute(BFILL);
    EXPECT_EQ(read_word(0, 0177777), 0177777u);
    EXPECT_EQ(read_word(0, 0), 0177777u);
    EXPECT_EQ(read_word(1, 0), 0u) << "never the next bank";
    EXPECT_EQ(machine.X, 1u);
}

// ---- MOVB, MOVBF ----

TEST_F(BlockMoves, MovbCopiesWholeWordsFromTheLeftByte) {
    write_word(0, 02000, 0060542);
    machine.A = 02000;
    machine.D = 0100002;
    machine.X = 03000;
    machine.T = 0100000;
    execute(MOVB);
    EXPECT_EQ(read_word(0, 03000), 0060542u);
    EXPECT_EQ(machine.D, 0100000u);
    EXPECT_EQ(machine.T, 0100002u);
    EXPECT_EQ(machine.A, 02001u);
    EXPECT_EQ(machine.X, 03001u);
    EXPECT_EQ(machine.P, 01002u);
}

TEST_F(BlockMoves, MovbFromTheRightByteAndBetweenPageTables) {
    // D bit 15 clear: the first byte is the right byte of word A.
    write_word(2, 02000, 0000101);
    write_word(2, 02001, 0041000);
    write_word(0, 03000, 0177777);
    write_word(0, 03001, 0177777);
    machine.A = 02000;
    machine.D = 040000 | 2;
    machine.X = 03000;
    machine.T = 0;
    execute(MOVB);
    EXPECT_EQ(read_word(0, 03000), 0177501u);
    EXPECT_EQ(read_word(0, 03001), 0041377u);
    EXPECT_EQ(machine.T, 2u);
    EXPECT_EQ(machine.D, 040000u);
    EXPECT_EQ(machine.X, 03001u);
}

TEST_F(BlockMoves, MovbfRunsBackwardAndClearsTheCount) {
    // Overlapping move one word up: backward order keeps the source intact.
    for (uint32_t i = 0; i < 4; ++i)
        write_word(0, 02000 + i, 0101102 + i * 0001001);
    machine.A = 02000;
    machine.D = 0100000 | 6;
    machine.X = 02001;
    machine.T = 0100000;
    execute(MOVBF);
    EXPECT_EQ(read_word(0, 02001), 0101102u);
    EXPECT_EQ(read_word(0, 02002), 0102103u);
    EXPECT_EQ(read_word(0, 02003), 0103104u);
    EXPECT_EQ(machine.T, 0100000u);
    EXPECT_EQ(machine.A, 02003u);
}

TEST_F(BlockMoves, ZeroCountMovesNothing) {
    write_word(0, 03000, 0123);
    machine.A = 02000;
    machine.D = 0100000;
    machine.X = 03000;
    machine.T = 0100000;
    execute(MOVB);
    execute(MOVBF);
    EXPECT_EQ(read_word(0, 03000), 0123u);
    EXPECT_EQ(machine.P, 01004u);
}

// ---- MOVEW ----

TEST_F(BlockMoves, MovewZeroCountOnlyAdvances) {
    machine.L = 0;
    machine.D = 04000;
    machine.T = 05000;
    execute(MOVEW);
    EXPECT_EQ(machine.D, 04000u);
    EXPECT_EQ(machine.T, 05000u);
    EXPECT_EQ(machine.P, 01001u);
}

TEST_F(BlockMoves, MovewModeZeroCopiesWithinPageTableOneEvenWithAptOn) {
    use_alternative_bank(3);
    for (uint32_t i = 0; i < 3; ++i)
        write_word(1, 04000 + i, 0700 + i);
    machine.L = 3;
    machine.D = 04000;
    machine.T = 05000;
    execute(MOVEW);
    for (uint32_t i = 0; i < 3; ++i)
        EXPECT_EQ(read_word(1, 05000 + i), 0700 + i);
    EXPECT_EQ(read_word(3, 05000), 0u);
    EXPECT_EQ(machine.D, 04003u);
    EXPECT_EQ(machine.T, 05003u);
    EXPECT_EQ(machine.L, 0u);
    EXPECT_EQ(machine.P, 01001u);
}

TEST_F(BlockMoves, MovewAlternativeModesUseTheAptWhateverStsSays) {
    machine.apt_offset = 2u << 16;
    write_word(1, 04000, 0111);
    write_word(2, 04000, 0222);
    machine.L = 1;
    machine.D = 04000;
    machine.T = 06000;
    execute(MOVEW | 1);
    EXPECT_EQ(read_word(2, 06000), 0111u);
    machine.L = 1;
    machine.D = 04000;
    machine.T = 06000;
    execute(MOVEW | 3);
    EXPECT_EQ(read_word(1, 06000), 0222u);
    machine.L = 1;
    machine.D = 04000;
    machine.T = 07000;
    execute(MOVEW | 4);
    EXPECT_EQ(read_word(2, 07000), 0222u);
}

TEST_F(BlockMoves, MovewCopiesLastWordFirstAndWraps) {
    write_word(1, 0177776, 0444);
    write_word(1, 0177777, 0555);
    machine.L = 2;
    machine.D = 0177776;
    machine.T = 0177777;
    execute(MOVEW);
    EXPECT_EQ(read_word(1, 0), 0555u) << "the last word first, wrapped to the bank's start";
    EXPECT_EQ(read_word(1, 0177777), 0444u);
    EXPECT_EQ(read_word(2, 0), 0u);
    EXPECT_EQ(machine.D, 0u);
    EXPECT_EQ(machine.T, 1u);
}

TEST_F(BlockMoves, MovewPhysicalModesStopTheProgramOnTheInstruction) {
    write_word(1, 04000, 0777);
    machine.L = 1;
    machine.D = 04000;
    machine.T = 05000;
    capture_output();
    execute(MOVEW | 2);
    EXPECT_EQ(captured_output(), "\nMOVEW to phys mem: priv, instruction");
    EXPECT_EQ(cpu_running, 0);
    EXPECT_EQ(machine.P, 01000u);
    EXPECT_EQ(machine.L, 1u);
    EXPECT_EQ(read_word(1, 05000), 0u);
}

TEST_F(BlockMoves, MovewAbove2048WordsCopiesNothingAndStopsPastIt) {
    write_word(1, 04000, 0777);
    machine.L = 2049;
    machine.D = 04000;
    machine.T = 05000;
    capture_output();
    execute(MOVEW);
    EXPECT_EQ(captured_output(), "\nMOVEW>2048 words");
    EXPECT_EQ(cpu_running, 0);
    EXPECT_EQ(machine.P, 01001u);
    EXPECT_EQ(read_word(1, 05000), 0u);
    EXPECT_EQ(machine.D, 04000u);

    settings.test_movew = 1;
    cpu_running = 1;
    machine.P = 01000;
    capture_output();
    execute(MOVEW);
    captured_output();
    EXPECT_EQ(machine.P, 01001u) << "the test mode moves on as well";
    EXPECT_EQ(cpu_running, 0);

    machine.L = 2048;
    cpu_running = 1;
    machine.P = 01000;
    execute(MOVEW);
    EXPECT_EQ(cpu_running, 1) << "2048 words are allowed";
}

TEST_F(BlockMoves, MovewTestModeUsesTheSystemOffsets) {
    settings.test_movew = 1;
    // Paging off: page table 0 on both sides; source D + 6000, destination
    // T + 12000 for mode 1.
    write_word(0, 04000 + 06000, 0321);
    machine.L = 1;
    machine.D = 04000;
    machine.T = 0100;
    execute(MOVEW | 1);
    EXPECT_EQ(read_word(0, 0100 + 012000), 0321u);
    EXPECT_EQ(machine.P, 01001u);

    // Physical destination (mode 2): no offset; it is copied in the test mode.
    machine.L = 1;
    machine.D = 04000;
    machine.T = 0200;
    execute(MOVEW | 2);
    EXPECT_EQ(read_word(0, 0200), 0321u);
    EXPECT_EQ(cpu_running, 1);
}

TEST_F(BlockMoves, MovewTestModeWithPagingTakesThePcrPageTables) {
    settings.test_movew = 1;
    machine.PGST = 1;
    machine.current_pcr = (0u << 9) | (3u << 7); // PT field 0 = page table 1, APT 3
    write_word(1, 04000 + 06000, 0432);
    machine.L = 1;
    machine.D = 04000;
    machine.T = 0100;
    settings.debug_level = 0555;
    capture_output();
    execute(MOVEW | 1);
    EXPECT_EQ(captured_output(), "\nMove block of words. paging=1,PT=1, APT=3\nMode 1\n>>>432");
    EXPECT_EQ(read_word(3, 0100 + 012000), 0432u);
}

TEST_F(BlockMoves, MovewTestModeRefusesModesWithoutPageTables) {
    settings.test_movew = 1;
    machine.L = 1;
    capture_output();
    execute(MOVEW | 011);
    EXPECT_EQ(captured_output(), "\nMOVEW to phys mem: priv, instruction");
    EXPECT_EQ(cpu_running, 0);
    EXPECT_EQ(machine.P, 01000u);
}

// ---- stack frames ----

class StackFrames : public InstructionTest {
  protected:
    // INIT at P with its four parameter words.
    static void init(uint32_t demand, uint32_t start, uint32_t size, uint32_t flag) {
        place(machine.P, {INIT, demand, start, size, flag});
        step();
    }
};

TEST_F(StackFrames, InitLaysOutTheFirstFrame) {
    machine.B = 0777;
    machine.L = 0400;
    init(010, 020000, 01000, 0);
    EXPECT_EQ(machine.P, 01007u);
    EXPECT_EQ(machine.B, 020200u);
    EXPECT_EQ(read_word(0, 020000), 0401u);
    EXPECT_EQ(read_word(0, 020001), 0777u);
    EXPECT_EQ(read_word(0, 020002), 020016u);
    EXPECT_EQ(read_word(0, 020003), 021000u);
}

TEST_F(StackFrames, InitErrors) {
    machine.B = 0777;
    init(010, 020000, 015, 0);
    EXPECT_EQ(machine.P, 01006u) << "stack smaller than the frame";
    EXPECT_EQ(machine.B, 0777u);
    machine.P = 01000;
    init(010, 020000, 01000, 1);
    EXPECT_EQ(machine.P, 01006u) << "made for the other page-table mode";
    EXPECT_EQ(read_word(0, 020000), 0u);
}

TEST_F(StackFrames, InitInPageTableModeUsesTheDataPageTable) {
    use_alternative_bank(2);
    init(0, 020000, 010, 1);
    EXPECT_EQ(machine.P, 01007u);
    EXPECT_EQ(read_word(2, 020002), 020006u);
    EXPECT_EQ(read_word(0, 020002), 0u);
}

TEST_F(StackFrames, EnterAndLeaveRestoreTheCallersFrame) {
    machine.B = 0777;
    init(4, 020000, 01000, 0);
    const uint32_t first_b = machine.B;

    // A subroutine called with JPL: L is the address after the call.
    machine.P = 02000;
    machine.L = 01101;
    place(02000, {ENTR, 020});
    step();
    EXPECT_EQ(machine.P, 02003u);
    EXPECT_EQ(machine.B, 020012u + 0200u) << "the new frame starts where the first ended";
    EXPECT_EQ(read_word(0, 020012), 01102u);
    EXPECT_EQ(read_word(0, 020013), first_b);
    EXPECT_EQ(read_word(0, 020014), 020012u + 020 + 6);
    EXPECT_EQ(read_word(0, 020015), 021000u);

    execute(LEAV);
    EXPECT_EQ(machine.B, first_b);
    EXPECT_EQ(machine.P, 01102u) << "one word beyond the word after the call";
}

TEST_F(StackFrames, EleavReturnsOneEarlierWithTheErrorCode) {
    init(4, 020000, 01000, 0);
    machine.P = 02000;
    machine.L = 01101;
    place(02000, {ENTR, 020});
    step();
    const uint32_t frame_b = machine.B;
    machine.A = 047;
    execute(ELEAV);
    EXPECT_EQ(machine.P, 01101u);
    EXPECT_EQ(read_word(0, frame_b - 123), 047u);
    EXPECT_EQ(read_word(0, frame_b - 128), 01101u);
    EXPECT_EQ(machine.B, 020200u);
}

TEST_F(StackFrames, EnterBeyondTheLimitTakesTheErrorReturn) {
    init(4, 020000, 040, 0);
    machine.P = 02000;
    const uint32_t b = machine.B;
    place(02000, {ENTR, 040});
    step();
    EXPECT_EQ(machine.P, 02002u);
    EXPECT_EQ(machine.B, b);

    // A demand that would wrap past the end of the bank is an overflow too.
    machine.P = 02000;
    place(02000, {ENTR, 0177000});
    step();
    EXPECT_EQ(machine.P, 02002u);
}

TEST_F(StackFrames, FramesWrapWithinThePageTable) {
    machine.B = 0;
    init(0, 0177776, 010, 0);
    EXPECT_EQ(machine.B, 0176u);
    EXPECT_EQ(read_word(0, 0177776), 01u);
    EXPECT_EQ(read_word(0, 0), 04u) << "next free word, wrapped";
    EXPECT_EQ(read_word(0, 1), 06u) << "limit, wrapped";
    EXPECT_EQ(read_word(1, 0), 0u);
    execute(LEAV);
    EXPECT_EQ(machine.P, 1u);
}

TEST_F(StackFrames, DiagnosticsAtDebugLevel123) {
    settings.debug_level = 0123;
    machine.B = 0;
    capture_output();
    init(010, 020000, 4, 0);
    EXPECT_EQ(captured_output(), "\n\nStack instruction 140134 at 1000 , BREG is 0 ---Init stack"
                                 "\nStack demand: 10\nStack start : 20000\nStack max   : 4"
                                 "\nStack flag  : 0\nPREVB       : 0\nStack overflow");
}

} // namespace
