// :BPUN images placed with @place-binary: preamble echo and start address,
// the block with its checksum, and files that end early or run past 177777.
#include "image_test_support.h"

#include <random>

namespace {

std::vector<uint8_t> bpun_bytes(const std::string &preamble, uint32_t load, uint32_t count,
                                const std::vector<uint32_t> &words, int checksum = -1,
                                bool with_tail = true) {
    std::vector<uint8_t> bytes(preamble.begin(), preamble.end());
    auto put = [&](uint32_t w) {
        bytes.push_back(static_cast<uint8_t>(w >> 8));
        bytes.push_back(static_cast<uint8_t>(w));
    };
    put(load);
    put(count);
    uint32_t sum = 0;
    for (uint32_t w : words) {
        put(w);
        sum = (sum + w) & 0177777;
    }
    if (with_tail) {
        put(checksum < 0 ? sum : static_cast<uint32_t>(checksum));
        put(0123);
    }
    return bytes;
}

using PlaceBinary = ShellTree;

TEST_F(PlaceBinary, LoadsTheBlockAndEchoesEveryStep) {
    write_file("(EMULATOR)/P.BPUN", bpun_bytes("1000\r\n!", 01000, 3, {1, 2, 3}));
    machine.apt_offset = BANK_WORDS;
    image_state.two_bank_mode = 1;
    std::string out = run("@place-binary P");
    EXPECT_EQ(out, "1000\r\n!"
                   "\r\nFound end of preamble (!)"
                   "\r\nLoad start address is 1000"
                   "\r\nData word count is 3"
                   "\r\nChecksum found in file is 6"
                   "\r\nMy calculated checksum is 6"
                   "\r\nStart address is 1000"
                   "\r\nLower/upper address set to 1000/1002\n"
                   "\r\nAction is 123\n");
    EXPECT_EQ(read_normal(01000), 1u);
    EXPECT_EQ(read_normal(01002), 3u);
    EXPECT_EQ(machine.P, 01000u);
    EXPECT_EQ(machine.lower_limit, 01000u);
    EXPECT_EQ(machine.upper_limit, 01002u);
    EXPECT_EQ(machine.apt_offset, 0u);
    EXPECT_EQ(image_state.two_bank_mode, 0);
}

TEST_F(PlaceBinary, StartAddressComesFromTheLastCompleteLine) {
    write_file("(EMULATOR)/A.BPUN", bpun_bytes("12\n7x7\n55!", 0, 1, {0}));
    run("@place-binary A");
    EXPECT_EQ(machine.P, 077u) << "7x7 is 77; the digits on the ! line do not count";
    write_file("(EMULATOR)/B.BPUN", bpun_bytes("1234!", 0, 1, {0}));
    run("@place-binary B");
    EXPECT_EQ(machine.P, 0u) << "no LF, no start address";
}

TEST_F(PlaceBinary, PreambleBytesAreEchoedSevenBitWithNulAndControlsMarked) {
    std::string preamble("A\0\x01\xc2\n!", 6);
    write_file("(EMULATOR)/E.BPUN", bpun_bytes(preamble, 0, 0, {}));
    std::string out = run("@place-binary E");
    // NUL shows as the code-page-850 character 167, ^A as "?", and 302
    // without bit 7 as "B".
    EXPECT_EQ(out.substr(0, 7), "A\xc2\xba?B\n!");
}

TEST_F(PlaceBinary, AChecksumMismatchIsOnlyShown) {
    write_file("(EMULATOR)/C.BPUN", bpun_bytes("\n!", 0100, 2, {5, 7}, 014 + 1));
    std::string out = run("@place-binary C");
    EXPECT_NE(out.find("\r\nChecksum found in file is 15\r\nMy calculated checksum is 14"),
              std::string::npos);
    EXPECT_EQ(read_normal(0101), 7u);
}

TEST_F(PlaceBinary, WordsStopAtTheEndOfPageTableZero) {
    write_file("(EMULATOR)/W.BPUN", bpun_bytes("\n!", 0177776, 4, {1, 2, 3, 4}));
    std::string out = run("@place-binary W");
    EXPECT_EQ(read_normal(0177776), 1u);
    EXPECT_EQ(read_normal(0177777), 2u);
    EXPECT_EQ(read_normal(0), 0u);
    EXPECT_EQ(read_word(1, 0), 0u);
    EXPECT_NE(out.find("\r\nWords beyond address 177777 not loaded"), std::string::npos);
    EXPECT_NE(out.find("\r\nMy calculated checksum is 12"), std::string::npos);
    EXPECT_EQ(machine.upper_limit, 0177777u);
}

TEST_F(PlaceBinary, AFileEndingEarlyKeepsTheWordsItHeld) {
    machine.P = 0444;
    write_file("(EMULATOR)/T.BPUN", bpun_bytes("7\n!", 02000, 5, {011, 022}, -1, false));
    std::string out = run("@place-binary T");
    EXPECT_EQ(read_normal(02000), 011u);
    EXPECT_EQ(read_normal(02001), 022u);
    EXPECT_NE(out.find("\r\nError when reading program data"), std::string::npos);
    EXPECT_EQ(machine.P, 0444u);

    write_file("(EMULATOR)/N.BPUN", std::vector<uint8_t>{'1', '\n'});
    EXPECT_EQ(run("@place-binary N"), "1\n");
    write_file("(EMULATOR)/Z.BPUN", {});
    EXPECT_EQ(run("@place-binary Z"), "");
}

TEST_F(PlaceBinary, APlantedBreakpointStaysPlantedOverTheNewWords) {
    write_normal(01001, 0777);
    run("set-break-point 1001");
    write_file("(EMULATOR)/P.BPUN", bpun_bytes("1000\r\n!", 01000, 3, {1, 2, 3}));
    run("@place-binary P");
    EXPECT_EQ(read_normal(01001), BREAKPOINT_WORD) << "the WAIT planted again";
    EXPECT_EQ(debug_state.breakpoint_saved_word, 2u) << "the loaded word is the saved word";
    run("clear-breakpoint");
    EXPECT_EQ(read_normal(01001), 2u) << "clearing restores the new program, not the old";
}

TEST_F(PlaceBinary, GarbageNeverCrashes) {
    std::mt19937 random(5);
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> bytes(random() % 600);
        for (auto &b : bytes)
            b = static_cast<uint8_t>(random());
        if (!bytes.empty() && round % 2) bytes[random() % bytes.size()] = '!';
        write_file("(EMULATOR)/G.BPUN", bytes);
        run("@place-binary G");
        ASSERT_LE(machine.upper_limit, 0177777u);
        ASSERT_EQ(read_word(1, 0), 0u);
    }
}

} // namespace
