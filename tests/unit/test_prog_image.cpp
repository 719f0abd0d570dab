// :PROG images: loading with its checks and messages, saving, the raw page
// table writer, the comparison and the byte-swapped loader.
#include "image_test_support.h"

#include <random>

namespace {

class ProgImage : public ShellTree {
  protected:
    void SetUp() override {
        ShellTree::SetUp();
        settings.silent_mode = 0;
    }
};

TEST_F(ProgImage, LoadsAOneBankImageAndSetsTheMachineUp) {
    write_file("(EMULATOR)/HELLO.PROG",
               prog_bytes(01001, 01002, 01000, 01003, 0177777, 0, {011, 022, 033, 0153000}));
    machine.apt_offset = 2 * BANK_WORDS;
    std::string out = run("load-image-file HELLO");
    EXPECT_EQ(image_loaded, 1);
    EXPECT_EQ(read_normal(01000), 011u);
    EXPECT_EQ(read_normal(01003), 0153000u);
    EXPECT_EQ(read_normal(01004), 0u);
    EXPECT_EQ(machine.P, 01001u);
    EXPECT_EQ(machine.current_instruction, 022u);
    EXPECT_EQ(image_state.restart_address, 01002u);
    EXPECT_EQ(machine.lower_limit, 01000u);
    EXPECT_EQ(machine.upper_limit, 01003u);
    EXPECT_EQ(image_state.two_bank_mode, 0);
    EXPECT_EQ(machine.apt_offset, 0u);
    EXPECT_NE(out.find("\r\nSegment tables cleared\r\n"), std::string::npos);
    EXPECT_NE(out.find("Program low = 1000 high = 1003 start = 1001 restart = 1002\r\n"),
              std::string::npos);
    EXPECT_NE(out.find("Loaded OK, memory limits (bank 0) are now set to 1000 - 1003\r\n"),
              std::string::npos);
    // No segment description file: the check answers NO.
    EXPECT_NE(out.find("Check if program loaded on overlay segment:  NO\r\n"), std::string::npos);
}

TEST_F(ProgImage, SilentModeKeepsTheInformationalMessagesBack) {
    settings.silent_mode = 1;
    write_file("(EMULATOR)/HELLO.PROG", prog_bytes(0, 0, 0, 0, 0177777, 0, {7}));
    std::string out = run("load-image-file HELLO");
    EXPECT_EQ(image_loaded, 1);
    EXPECT_EQ(out, "");
}

TEST_F(ProgImage, RefusesAHeaderWhoseLowIsAboveHigh) {
    write_file("(EMULATOR)/BAD.PROG", prog_bytes(0, 0, 02000, 01000, 0177777, 0, {1, 2, 3}));
    machine.P = 0555;
    std::string out = run("load-image-file BAD");
    EXPECT_EQ(image_loaded, 0);
    EXPECT_NE(out.find("Error in file, lower > upper address:    2000    1000\r\n"),
              std::string::npos);
    EXPECT_EQ(machine.P, 0555u);
    EXPECT_EQ(read_normal(01000), 0u);
    EXPECT_EQ(read_normal(02000), 0u);
}

TEST_F(ProgImage, EqualLowAndHighLoadExactlyOneWord) {
    write_file("(EMULATOR)/ONE.PROG", prog_bytes(0100, 0100, 0100, 0100, 0177777, 0, {0123, 0456}));
    run("load-image-file ONE");
    EXPECT_EQ(image_loaded, 1);
    EXPECT_EQ(read_normal(0100), 0123u);
    EXPECT_EQ(read_normal(0101), 0u);
}

TEST_F(ProgImage, AShortFileLoadsWhatItHoldsAndIsNotStarted) {
    auto bytes = prog_bytes(01000, 01000, 01000, 01004, 0177777, 0, {1, 2, 3});
    bytes.push_back(0); // half a word
    write_file("(EMULATOR)/SHORT.PROG", bytes);
    std::string out = run("SHORT 1 2");
    EXPECT_EQ(image_loaded, 0);
    EXPECT_EQ(read_normal(01000), 1u);
    EXPECT_EQ(read_normal(01002), 3u);
    EXPECT_EQ(read_normal(01003), 0u);
    EXPECT_NE(out.find("Error when reading file: 0\r\nRequested 12 bytes, 7 returned\r\n"),
              std::string::npos);
    EXPECT_NE(out.find("\r\n*** Program not started because of above errors!\r\n"),
              std::string::npos);
    EXPECT_EQ(out.find("Starting execution"), std::string::npos);
}

TEST_F(ProgImage, ZeroLengthAndShortHeaderFilesLoadNothing) {
    write_file("(EMULATOR)/EMPTY.PROG", {});
    write_file("(EMULATOR)/STUB.PROG", {0, 1, 0, 2, 0, 3});
    machine.P = 0777;
    std::string out = run("load-image-file EMPTY");
    EXPECT_EQ(image_loaded, 0);
    EXPECT_NE(out.find("Requested 1000 bytes, 0 returned\r\n"), std::string::npos);
    out = run("load-image-file STUB");
    EXPECT_EQ(image_loaded, 0);
    EXPECT_NE(out.find("Requested 1000 bytes, 6 returned\r\n"), std::string::npos);
    EXPECT_EQ(machine.P, 0777u);
}

TEST_F(ProgImage, GarbageFilesNeverWriteOutsideTheirRange) {
    std::mt19937 random(17);
    for (int round = 0; round < 200; ++round) {
        size_t length = random() % 2000;
        std::vector<uint8_t> bytes(length);
        for (auto &b : bytes)
            b = static_cast<uint8_t>(random());
        write_file("(EMULATOR)/JUNK.PROG", bytes);
        run("load-image-file JUNK");
        if (length >= 8) {
            uint32_t low = (bytes[4] << 8) | bytes[5];
            uint32_t high = (bytes[6] << 8) | bytes[7];
            if (high < low) {
                ASSERT_EQ(image_loaded, 0);
            }
        }
        if (length < 512) {
            ASSERT_EQ(image_loaded, 0);
        }
    }
}

TEST_F(ProgImage, TwoBankImageLoadsItsDataIntoPageTableTwo) {
    std::vector<uint32_t> program(BANK_WORDS, 0);
    program[0100] = 0153000;
    write_file("(EMULATOR)/BIG.PROG",
               prog_bytes(0100, 0100, 0, 0177777, 010, 013, program, {0111, 0222, 0333, 0444}));
    std::string out = run("load-image-file BIG");
    EXPECT_EQ(image_loaded, 1);
    EXPECT_EQ(image_state.two_bank_mode, 1);
    EXPECT_EQ(read_word(2, 010), 0111u);
    EXPECT_EQ(read_word(2, 013), 0444u);
    EXPECT_EQ(machine.two_bank_lower, 010u);
    EXPECT_EQ(machine.two_bank_upper, 013u);
    EXPECT_NE(out.find("Loading this program in 2-bank mode with data low = 10, high = 13\r\n"),
              std::string::npos);
    EXPECT_NE(out.find("** Data (oct) loaded in APT 2 is 4 words\r\n"), std::string::npos);
    EXPECT_NE(out.find("APT lower / upper set to 10/13\r\n"), std::string::npos);
}

TEST_F(ProgImage, AShortDataPartStillCountsAsLoaded) {
    std::vector<uint32_t> program(BANK_WORDS, 0);
    write_file("(EMULATOR)/BIG.PROG", prog_bytes(0, 0, 0, 0177777, 0, 0177777, program, {5, 6, 7}));
    std::string out = run("load-image-file BIG");
    EXPECT_EQ(image_loaded, 1);
    EXPECT_EQ(read_word(2, 2), 7u);
    EXPECT_EQ(machine.two_bank_upper, 2u);
    EXPECT_NE(out.find("Error when reading data for 2-bank from file: 0\r\n"
                       "Requested (oct) 400000 bytes, 6 returned\r\n"),
              std::string::npos);
}

TEST_F(ProgImage, TwoBankDataLimitsUpsideDownAreRefused) {
    write_file("(EMULATOR)/BIG.PROG", prog_bytes(0, 0, 0, 0, 020, 010, {1}));
    std::string out = run("load-image-file BIG");
    EXPECT_EQ(image_loaded, 0);
    EXPECT_NE(out.find("Error, 2-bank data low> data high\r\n"), std::string::npos);
}

TEST_F(ProgImage, LoadingRemovesTheBreakpointAndTheGuards) {
    write_normal(05000, 0151000);
    debug_state.breakpoint_set = 1;
    debug_state.breakpoint_address = 05000;
    debug_state.breakpoint_saved_word = 0777;
    debug_state.guard_count = 2;
    debug_state.trace_flags = TRACE_GUARDS;
    write_file("(EMULATOR)/P.PROG", prog_bytes(01000, 01000, 01000, 01001, 0177777, 0, {1, 2}));
    std::string out = run("load-image-file P");
    EXPECT_EQ(debug_state.breakpoint_set, 0);
    EXPECT_EQ(read_normal(05000), 0777u) << "outside the new program the word goes back";
    EXPECT_EQ(debug_state.guard_count, 0);
    EXPECT_EQ(debug_state.trace_flags, 0u);
    EXPECT_NE(out.find("Break-point at 5000 cleared!\a\a\r\n"), std::string::npos);
    EXPECT_NE(out.find("\r\nGuard(s) cleared!\a\a\r\n"), std::string::npos);

    write_normal(01001, 0151000);
    debug_state.breakpoint_set = 1;
    debug_state.breakpoint_address = 01001;
    debug_state.breakpoint_saved_word = 0777;
    run("load-image-file P");
    EXPECT_EQ(read_normal(01001), 2u) << "inside it the image word stays";

    // A short file: the breakpoint lies in the program's range but beyond
    // the words that arrived, so nothing replaced it.
    write_file("(EMULATOR)/SHORT.PROG", prog_bytes(01000, 01000, 01000, 01003, 0177777, 0, {1}));
    write_normal(01002, 0151000);
    debug_state.breakpoint_set = 1;
    debug_state.breakpoint_address = 01002;
    debug_state.breakpoint_saved_word = 0666;
    run("load-image-file SHORT");
    EXPECT_EQ(image_loaded, 0);
    EXPECT_EQ(debug_state.breakpoint_set, 0);
    EXPECT_EQ(read_normal(01002), 0666u) << "no stray breakpoint instruction stays behind";
}

TEST_F(ProgImage, SavedOneBankImageReloadsTheSame) {
    for (uint32_t a = 02000; a <= 02017; ++a)
        write_normal(a, a * 3);
    machine.lower_limit = 02000;
    machine.upper_limit = 02017;
    machine.P = 02004;
    std::string out = run("save-image-to-file \"SAVED\" 2001 2002");
    EXPECT_NE(out.find("Successfully saved program code to file\r\n"), std::string::npos);
    auto bytes = read_file("(EMULATOR)/SAVED.PROG");
    ASSERT_EQ(bytes.size(), 512u + 2 * 020);
    EXPECT_EQ(bytes[8], 0377); // data low 177777: one bank
    EXPECT_EQ(bytes[9], 0377);

    clear_memory();
    machine.P = 0;
    run("load-image-file SAVED");
    EXPECT_EQ(image_loaded, 1);
    EXPECT_EQ(machine.P, 02001u);
    EXPECT_EQ(image_state.restart_address, 02002u);
    for (uint32_t a = 02000; a <= 02017; ++a)
        ASSERT_EQ(read_normal(a), (a * 3) & WORD_MASK);
}

TEST_F(ProgImage, SaveChecksItsAddresses) {
    settings.silent_mode = 1;
    machine.lower_limit = 01000;
    machine.upper_limit = 01777;
    auto created = [](const char *name) {
        return std::string("\r\nCreate file ./(EMULATOR)/") + name + ".PROG\r\n";
    };
    EXPECT_EQ(run("save-image-to-file \"A\" 200000"),
              created("A") + "Start address must be within 0-177777\r\n");
    EXPECT_EQ(run("dump-memory \"B\" 777"),
              created("B") + "Error, startaddr outside memory limits    1000 -    1777\r\n");
    EXPECT_EQ(run("dump-memory \"C\" 1000 2000"),
              created("C") + "Error, restart address outside memory limits    1000 -    1777\r\n");
    EXPECT_EQ(run("dump-memory \"D\" 10x"), created("D") + "Illegal char. in octal number: x\r\n");
    EXPECT_TRUE(exists("(EMULATOR)/A.PROG")) << "the file is created before the check";
    EXPECT_EQ(read_file("(EMULATOR)/A.PROG").size(), 0u);

    // An existing image survives a refused save and is replaced by an
    // accepted one.
    write_text("(EMULATOR)/OLD.PROG", std::string(600, 'x'));
    EXPECT_EQ(run("save-image-to-file OLD 200000"), "Start address must be within 0-177777\r\n");
    EXPECT_EQ(run("dump-memory OLD 1000 2000"),
              "Error, restart address outside memory limits    1000 -    1777\r\n");
    EXPECT_EQ(read_text("(EMULATOR)/OLD.PROG"), std::string(600, 'x'));
    write_normal(01000, 0123456);
    EXPECT_EQ(run("save-image-to-file OLD 1000 1000"),
              "Successfully saved program code to file\r\n");
    auto saved = read_file("(EMULATOR)/OLD.PROG");
    ASSERT_EQ(saved.size(), 512u + 2 * 01000);
    EXPECT_EQ(saved[0], 02); // start address 1000
    EXPECT_EQ(saved[512], 0123456 >> 8);
    EXPECT_EQ(saved[513], 0123456 & 0377);
}

TEST_F(ProgImage, SavedTwoBankImageHasBothBanks) {
    image_state.two_bank_mode = 1;
    machine.two_bank_lower = 0;
    machine.two_bank_upper = 017;
    write_word(2, 0177777, 0765);
    machine.apt_offset = 0;
    std::string out = run("save-image-to-file \"TWO\" 0 0");
    EXPECT_NE(out.find("Alt.page table is 0, saving data from page table 2\r\n"
                       "Dumped data segment from PIT 2\r\n"
                       "FYI: The data seg. is always dumped as 64 pages in 2-bank mode\r\n"),
              std::string::npos);
    auto bytes = read_file("(EMULATOR)/TWO.PROG");
    ASSERT_EQ(bytes.size(), 512u + 2 * 131072);
    EXPECT_EQ(bytes[bytes.size() - 2], 0765 >> 8);
    EXPECT_EQ(bytes[bytes.size() - 1], 0765 & 0377);

    machine.two_bank_lower = 0177777;
    out = run("save-image-to-file \"ONLY\" 0 0");
    EXPECT_NE(out.find("Warning, lower address for APT can not be 177777\r\n"), std::string::npos);
    EXPECT_EQ(read_file("(EMULATOR)/ONLY.PROG").size(), 512u + 131072);

    clear_memory();
    run("load-image-file TWO");
    EXPECT_EQ(image_loaded, 1);
    EXPECT_EQ(read_word(2, 0177777), 0765u);
}

TEST_F(ProgImage, CompareImagesReportsEachDifferingWord) {
    write_file("(EMULATOR)/A.PROG", prog_bytes(0, 0, 010, 012, 0177777, 0, {1, 2, 3}));
    write_file("(EMULATOR)/B.PROG", prog_bytes(0, 1, 010, 012, 0177777, 0, {1, 2, 4}));
    std::string same = run("compare-images A A");
    EXPECT_NE(same.find("\r\n File 1: Low/high/start/rstart=     10      12       0       0\r\n"),
              std::string::npos);
    EXPECT_NE(same.find("\r\n Comparing memory between 10 and 12\r\nFiles are equal\r\n"),
              std::string::npos);
    std::string differ = run("compare-images A B");
    EXPECT_NE(differ.find("\r\nRestart address differs"), std::string::npos);
    EXPECT_NE(differ.find("Diff at      12:       3       4\r\n"), std::string::npos);
    EXPECT_EQ(differ.find("Files are equal"), std::string::npos);

    write_file("(EMULATOR)/C.PROG", prog_bytes(0, 0, 010, 012, 0177777, 0, {1}));
    std::string truncated = run("compare-images A C");
    EXPECT_NE(truncated.find("\r\nError when reading file 2 image : 0"), std::string::npos);
    EXPECT_EQ(truncated.find("Files are equal"), std::string::npos);

    // The terminal device is no image: nothing is read from the console.
    write_text("(SYSTEM)/TERMINAL.SYMB", "");
    settings.silent_mode = 1;
    EXPECT_EQ(run("compare-images (SYSTEM)TERMINAL:SYMB A"), "");
}

TEST_F(ProgImage, WriteBinaryWritesOnePageTableRaw) {
    write_word(3, 0, 0x1234);
    write_word(3, 0177777, 0xabcd);
    run("WRITE-BINARY 3 \"RAW\"");
    auto bytes = read_file("(EMULATOR)/RAW.BIN");
    ASSERT_EQ(bytes.size(), 131072u);
    EXPECT_EQ(bytes[0], 0x12);
    EXPECT_EQ(bytes[1], 0x34);
    EXPECT_EQ(bytes[131070], 0xab);
    EXPECT_EQ(run("WRITE-BINARY 4"), "No such page table, 0,1,2,3 is available\r\n");
    EXPECT_EQ(run("READ-BINARY"), "\r\nNot implemented\r\n");
}

TEST_F(ProgImage, ByteSwappedImagesLoadWithoutConversion) {
    std::vector<uint8_t> bytes(512, 0);
    uint32_t fields[4] = {0102, 0103, 0100, 0101};
    for (int i = 0; i < 4; ++i) {
        bytes[2 * i] = static_cast<uint8_t>(fields[i]);
        bytes[2 * i + 1] = static_cast<uint8_t>(fields[i] >> 8);
    }
    for (uint8_t b : {0x34, 0x12, 0xcd, 0xab})
        bytes.push_back(b);
    write_file("(EMULATOR)/SW.PROG", bytes);
    std::string out = run("load-byte-swapped-image-file SW");
    EXPECT_EQ(read_normal(0100), 0x1234u);
    EXPECT_EQ(read_normal(0101), 0xabcdu);
    EXPECT_EQ(machine.P, 0102u);
    EXPECT_NE(out.find("Low/high/start/rstart=    100     101     102     103\r\n"),
              std::string::npos);
    EXPECT_NE(out.find("Loaded OK\r\nFile was saved with start_address 102\r\n"
                       "Memory limits are set to     100 -     101\r\n"),
              std::string::npos);
}

TEST_F(ProgImage, PlaceImageFileSaysWhenNothingWasPlaced) {
    write_file("(EMULATOR)/BAD.PROG", prog_bytes(0, 0, 2, 1, 0177777, 0, {}));
    EXPECT_NE(run("@place-image-file BAD").find("No image placed in memory\r\n"),
              std::string::npos);
}

} // namespace
