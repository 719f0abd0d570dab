// Segments: the description file and its commands, SegmentImage files, and
// SegmentTable with its lookups and loading.
#include "image_test_support.h"

namespace {

std::string segment_file(uint32_t number) {
    char name[64];
    std::snprintf(name, sizeof name, "(SYSTEM)/SEGFILE_%o.SGNO", number);
    return name;
}

// A SegmentImage file: header words, program words, data words, all
// little-endian.
std::vector<uint8_t> segment_bytes(const std::vector<uint32_t> &words) {
    std::vector<uint8_t> bytes;
    for (uint32_t w : words) {
        bytes.push_back(static_cast<uint8_t>(w));
        bytes.push_back(static_cast<uint8_t>(w >> 8));
    }
    return bytes;
}

class Segments : public ShellTree {
  protected:
    void SetUp() override {
        ShellTree::SetUp();
        settings.silent_mode = 0;
    }
};

TEST_F(Segments, WithoutADescriptionFileNothingIsFound) {
    EXPECT_EQ(run("list-segments"), "\r\nCan not open ./(SYSTEM)/SEGFILE.SIN3");
    EXPECT_EQ(find_segment_of_image("./(SYSTEM)/X.PROG"), -2);
    EXPECT_EQ(find_segment_by_name("X"), -2);
    EXPECT_EQ(run("define-segment 5 abc"),
              "\r\nNB! Lower case letters converted to uppercase\r\n"
              "\r\n No segment description file defined ./(SYSTEM)/SEGFILE.SIN3");
}

TEST_F(Segments, DefineListAndLookUp) {
    write_text("(SYSTEM)/SEGFILE.SIN3", "3 MAIN main\r\n12 OVL ovlprog\r\n");
    EXPECT_EQ(run("define-segment 4 extra"),
              "\r\nNB! Lower case letters converted to uppercase\r\n");
    EXPECT_EQ(read_text("(SYSTEM)/SEGFILE.SIN3"), "3 MAIN main\r\n12 OVL ovlprog\r\n4 EXTRA\r\n");
    EXPECT_EQ(run("list-segments"), "\r\nSegno / name / progfile name\r\n"
                                    "\r\n3 / MAIN / main"
                                    "\r\n12 / OVL / ovlprog"
                                    "\r\n** Missing parameter in line 3"
                                    "\r\n");
    EXPECT_EQ(find_segment_by_name("OVL"), 012);
    EXPECT_EQ(find_segment_by_name("ovl"), -1) << "names compare case-sensitively";
    EXPECT_EQ(find_segment_by_name("EXTRA"), -1) << "a two-field line never matches";
    EXPECT_EQ(find_segment_of_image("./(SYSTEM)/OVLPROG.PROG"), 012);
    EXPECT_EQ(find_segment_of_image("./(EMULATOR)/OVLPROG.PROG"), -1);

    EXPECT_EQ(run("define-segment 12 new"), "\r\nNB! Lower case letters converted to uppercase\r\n"
                                            "\r\nSegment number 12 already in use!");
    EXPECT_EQ(run("define-segment 20 main"), "\r\nNB! Lower case letters converted to uppercase\r\n"
                                             "\r\nSegment name already in use!");
    EXPECT_EQ(run("define-segment 9x"), "\r\nNo default segment number!");
    EXPECT_EQ(run("define-segment 7"), "Segment name: \r\nNo segment name specified");
    EXPECT_EQ(run("delete-segment 3"), "\r\nThis command is not coded!\r\n");
}

TEST_F(Segments, LoadingCopiesCodeAndDataAndKeepsChangedDataOnReturn) {
    write_file("(SYSTEM)/SEGFILE_5.SGNO",
               segment_bytes({0100, 0102, 010, 011, 01, 02, 03, 0701, 0702}));
    ASSERT_EQ(load_into_segment(5), 0);
    EXPECT_EQ(read_normal(0100), 1u);
    EXPECT_EQ(read_normal(0102), 3u);
    EXPECT_EQ(read_word(2, 010), 0701u);
    EXPECT_EQ(read_word(2, 011), 0702u);

    write_normal(0101, 0);
    write_word(2, 010, 0555);
    debug_state.breakpoint_set = 1;
    debug_state.breakpoint_address = 0101;
    ASSERT_EQ(load_into_segment(5), 0);
    EXPECT_EQ(read_normal(0100), 1u);
    EXPECT_EQ(read_word(2, 010), 0555u) << "data are not copied again";
    EXPECT_EQ(read_normal(0101), 0151000u) << "the breakpoint survives the switch";
    EXPECT_EQ(debug_state.breakpoint_saved_word, 2u);
}

TEST_F(Segments, AShortSegmentImageLoadsTheWordsItHas) {
    write_file("(SYSTEM)/SEGFILE_6.SGNO", segment_bytes({0200, 0203, 0, 4, 011, 022}));
    for (uint32_t a = 0200; a <= 0203; ++a)
        write_normal(a, 0777);
    write_word(2, 0, 0777);
    ASSERT_EQ(load_into_segment(6), 0);
    EXPECT_EQ(read_normal(0201), 022u);
    EXPECT_EQ(read_normal(0202), 0u);
    EXPECT_EQ(read_normal(0203), 0u);
    EXPECT_EQ(read_word(2, 0), 0u);

    write_file("(SYSTEM)/SEGFILE_7.SGNO", {1});
    EXPECT_EQ(load_into_segment(7), 0);
    EXPECT_EQ(load_into_segment(010), -1);
}

TEST_F(Segments, TheTableHoldsTwentySegments) {
    for (uint32_t n = 1; n <= 21; ++n)
        write_file(segment_file(n), segment_bytes({0, 0, 0, 0, n}));
    for (uint32_t n = 1; n <= 20; ++n)
        ASSERT_EQ(load_into_segment(n), 0);
    EXPECT_EQ(load_into_segment(21), -2);
    EXPECT_EQ(load_into_segment(3), 0);
    EXPECT_EQ(read_normal(0), 3u);
    run("clear-internal-segment-table");
    EXPECT_EQ(load_into_segment(21), 0);
}

TEST_F(Segments, DefineSegmentAfterALastLineWithoutItsLineEnd) {
    write_text("(SYSTEM)/SEGFILE.SIN3", "3 MAIN main");
    run("define-segment 4 extra");
    EXPECT_EQ(read_text("(SYSTEM)/SEGFILE.SIN3"), "3 MAIN main\r\n4 EXTRA\r\n");
    EXPECT_EQ(find_segment_of_image("./(SYSTEM)/MAIN.PROG"), 3);
    write_text("(SYSTEM)/SEGFILE.SIN3", "");
    run("define-segment 5 first");
    EXPECT_EQ(read_text("(SYSTEM)/SEGFILE.SIN3"), "5 FIRST\r\n");
}

TEST_F(Segments, LoadingTheProgramFileOfASegmentBringsTheSegmentIn) {
    write_text("(SYSTEM)/SEGFILE.SIN3", "4 PART part\n");
    write_file("(SYSTEM)/PART.PROG", prog_bytes(0100, 0100, 0100, 0101, 0177777, 0, {1, 2}));
    write_file("(SYSTEM)/SEGFILE_4.SGNO", segment_bytes({0100, 0101, 0, 0, 0444, 0555}));
    std::string out = run("load-image-file (SYSTEM)PART");
    EXPECT_NE(out.find("Check if program loaded on overlay segment: \r\n YES, segment is 4"
                       "\r\nLoad in segment tables...code in dev. phase\r\n"),
              std::string::npos);
    EXPECT_EQ(image_state.current_segment, 4);
    EXPECT_EQ(read_normal(0100), 0444u);
}

TEST_F(Segments, LoadSegmentWritesTheSegmentImage) {
    std::vector<uint32_t> program(BANK_WORDS, 0);
    program[0] = 0123;
    program[0177777] = 0321;
    write_file("(EMULATOR)/TWO.PROG", prog_bytes(0, 0, 0, 0177777, 1, 2, program, {0611, 0622}));
    std::string out = run("load-segment 11 TWO");
    EXPECT_EQ(out.find("Program not 2-bank"), std::string::npos);
    auto bytes = read_file("(SYSTEM)/SEGFILE_11.SGNO");
    ASSERT_EQ(bytes.size(), 2u * (4 + 65536 + 2));
    EXPECT_EQ(bytes[2], 0377); // high address 177777
    EXPECT_EQ(bytes[3], 0377);
    EXPECT_EQ(bytes[8], 0123);
    EXPECT_EQ(bytes[bytes.size() - 2], 0622 & 0377);

    write_file("(EMULATOR)/ONE.PROG", prog_bytes(0, 0, 0, 0, 0177777, 0, {1}));
    EXPECT_NE(run("load-segment 12 ONE").find("\r\nProgram not 2-bank!\r\n"), std::string::npos);
    EXPECT_EQ(run("load-segment"), "\r\nLoad to segment number: \r\nNo default segment number!");
}

TEST_F(Segments, LoadSegmentOfTheSegmentsOwnProgramFileWritesItsNewWords) {
    // Segment 4's program file has been changed since its image was made:
    // writing the image again must take the new words, not bring the old
    // image in over them.
    write_text("(SYSTEM)/SEGFILE.SIN3", "4 PART part\n");
    write_file("(SYSTEM)/SEGFILE_4.SGNO", segment_bytes({0100, 0101, 0, 0, 0444, 0555}));
    write_file("(SYSTEM)/PART.PROG", prog_bytes(0100, 0100, 0100, 0101, 0177777, 0, {1, 2}));
    std::string out = run("load-segment 4 (SYSTEM)PART");
    EXPECT_NE(out.find("\r\n YES, segment is 4"), std::string::npos) << out;
    EXPECT_EQ(image_state.current_segment, 4);
    EXPECT_EQ(read_normal(0100), 1u);
    auto bytes = read_file("(SYSTEM)/SEGFILE_4.SGNO");
    ASSERT_GE(bytes.size(), 12u);
    EXPECT_EQ(bytes[8], 1);
    EXPECT_EQ(bytes[10], 2);

    // Loading the program file now brings in the image just written.
    write_normal(0100, 0);
    run("load-image-file (SYSTEM)PART");
    EXPECT_EQ(read_normal(0100), 1u);
    EXPECT_EQ(read_normal(0101), 2u);
}

} // namespace
