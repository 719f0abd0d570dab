// Program images end to end: saving and reloading :PROG images (one-bank
// and 2-bank), comparing them, the byte-swapped loader, :BPUN placement, and
// segments defined, listed, written and brought in by loading.
#include "harness.h"

#include <gtest/gtest.h>
#include <regex>

namespace {

const std::string kStartupEnd = "was successful: ./(SCRATCH)/SCRATCH01.DATA\r\n";

std::string transcript(const std::string &output) {
    size_t at = output.find(kStartupEnd);
    std::string text = at == std::string::npos ? output : output.substr(at + kStartupEnd.size());
    text = std::regex_replace(text,
                              std::regex("Time used is: (\\d+ minutes )?\\d+ secs, \\d+ milsecs"),
                              "Time used is: T");
    return std::regex_replace(text, std::regex("executed, [0-9.]+ usec/instruction"),
                              "executed, U usec/instruction");
}

// Writes one letter on the terminal and stops.
std::string print_letter(char letter, const char *origin = "1000") {
    return std::string("        ORG ") + origin +
           "\n        START GO\n        RESTART GO\n"
           "GO:     SAA #" +
           letter +
           "\n        SAT 1\n        MON 2\n        JMP GO\n"
           "        MON 0\n";
}

// The same with a data bank: a 2-bank image.
std::string print_letter_two_bank(char letter) {
    return print_letter(letter, "0") +
           "        BANK DATA\n        ORG 100\n        WORD 11,22,33\n";
}

class Images : public ::testing::Test {
  protected:
    void assemble(const std::string &source, const std::string &image,
                  const std::vector<std::string> &options = {}) {
        std::string log;
        ASSERT_TRUE(tree.assemble(source, image, &log, options)) << log;
    }
    size_t size_of(const std::string &relative) { return tree.read_file(relative).size(); }
    NdTree tree;
};

TEST_F(Images, SavedOneBankImageHasItsWordsOnlyAndRunsAgain) {
    assemble(print_letter('A'), "(EMULATOR)/A.PROG");
    RunResult run = run_kestrel(tree, "load-image-file A\n"
                                      "save-image-to-file \"COPY\" 1000 1001\n"
                                      "compare-images A COPY\n"
                                      "COPY\nquit\n");
    std::string text = transcript(run.output);
    EXPECT_EQ(size_of("(EMULATOR)/COPY.PROG"), 512u + 2 * 5) << text;
    EXPECT_NE(text.find("<>\r\nCreate file ./(EMULATOR)/COPY.PROG\r\n"
                        "Successfully saved program code to file\r\n<>"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\r\nChecking file 1 header validity\r\n"
                        "\r\n File 1: Low/high/start/rstart=   1000    1004    1000    1000\r\n\r\n"
                        "\r\nChecking file 2 header validity\r\n"
                        "\r\n File 2: Low/high/start/rstart=   1000    1004    1000    1001\r\n"
                        "\r\nRestart address differs"
                        "\r\n Comparing memory between 1000 and 1004\r\nFiles are equal\r\n<>"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("<>A\r\nTime used is: T\r\n4 instructions executed"), std::string::npos)
        << text;
}

TEST_F(Images, SavedTwoBankImageHoldsBothBanks) {
    assemble(print_letter_two_bank('B'), "(EMULATOR)/TWOBANK.PROG");
    ASSERT_EQ(size_of("(EMULATOR)/TWOBANK.PROG"), 512u + 2 * 131072);
    RunResult run = run_kestrel(tree, "TWOBANK\n"
                                      "save-image-to-file \"SAVED\" 0 0\n"
                                      "compare-images TWOBANK SAVED\n"
                                      "SAVED\nquit\n");
    std::string text = transcript(run.output);
    EXPECT_EQ(size_of("(EMULATOR)/SAVED.PROG"), 512u + 2 * 131072) << text;
    EXPECT_TRUE(tree.read_file("(EMULATOR)/SAVED.PROG") ==
                tree.read_file("(EMULATOR)/TWOBANK.PROG"))
        << "both banks, data included, are saved as they were loaded";
    EXPECT_NE(text.find("Files are equal\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("<>B\r\nTime used is: T"), std::string::npos) << text;
}

TEST_F(Images, CompareImagesShowsEveryDifferingWord) {
    assemble(print_letter('A'), "(EMULATOR)/A.PROG");
    assemble(print_letter('C'), "(EMULATOR)/C.PROG");
    RunResult run = run_kestrel(tree, "compare-images A C\nquit\n");
    EXPECT_NE(transcript(run.output)
                  .find("\r\n Comparing memory between 1000 and 1004\r\n"
                        "Diff at    1000:  170501  170503\r\n\r\n<>"),
              std::string::npos)
        << run.output;
}

TEST_F(Images, ByteSwappedImageLoadsAndRuns) {
    assemble(print_letter('S'), "(EMULATOR)/S.PROG");
    std::string bytes = tree.read_file("(EMULATOR)/S.PROG");
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        std::swap(bytes[i], bytes[i + 1]);
    tree.write_file("(EMULATOR)/SWAPPED.PROG", bytes);
    RunResult run = run_kestrel(tree, "load-byte-swapped-image-file SWAPPED\nrun\n\nquit\n");
    std::string text = transcript(run.output);
    EXPECT_NE(text.find("<>\r\n****** NB! 2-bank programs not handled!  *****\r\n"
                        "Low/high/start/rstart=   1000    1004    1000    1000\r\n"
                        "Loaded OK\r\nFile was saved with start_address 1000\r\n"
                        "Memory limits are set to    1000 -    1004\r\n"
                        "\r\n{ 0} "),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Start-address (default is 1000): S\r\nTime used is: T"), std::string::npos)
        << text;
}

TEST_F(Images, PlaceBinaryEchoesThePreambleAndShowsTheChecksums) {
    assemble(print_letter('P', "2000"), "(EMULATOR)/P.BPUN", {"--bpun"});
    RunResult run = run_kestrel(tree, "@place-binary P\nrun\n\nquit\n");
    std::string text = transcript(run.output);
    EXPECT_NE(text.find("<>2000\r\n!"
                        "\r\nFound end of preamble (!)"
                        "\r\nLoad start address is 2000"
                        "\r\nData word count is 5"),
              std::string::npos)
        << text;
    std::smatch sums;
    ASSERT_TRUE(std::regex_search(text, sums,
                                  std::regex("Checksum found in file is (\\d+)\r\nMy calculated "
                                             "checksum is (\\d+)\r\nStart address is 2000")))
        << text;
    EXPECT_EQ(sums[1], sums[2]);
    EXPECT_NE(text.find("\r\nLower/upper address set to 2000/2004\n\r\nAction is 0\n<>"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Start-address (default is 2000): P\r\n"), std::string::npos) << text;
}

TEST_F(Images, SegmentsDefinedListedWrittenAndBroughtIn) {
    tree.write_file("(SYSTEM)/SEGFILE.SIN3", "5 FIRST first\r\n6 SECOND second\r\n");
    assemble(print_letter_two_bank('1'), "(SYSTEM)/FIRST.PROG");
    assemble(print_letter_two_bank('2'), "(SYSTEM)/SECOND.PROG");
    assemble(print_letter_two_bank('3'), "(SYSTEM)/THREE.PROG");
    assemble(print_letter_two_bank('4'), "(SYSTEM)/FOUR.PROG");
    RunResult run = run_kestrel(tree, "define-segment 7 third\n"
                                      "define-segment 6 other\n"
                                      "list-segments\n"
                                      "load-segment 5 (SYSTEM)THREE\n"
                                      "load-segment 6 (SYSTEM)FOUR\n"
                                      "(SYSTEM)FIRST\n"
                                      "(SYSTEM)SECOND\n"
                                      "quit\n");
    std::string text = transcript(run.output);
    EXPECT_EQ(tree.read_file("(SYSTEM)/SEGFILE.SIN3"),
              "5 FIRST first\r\n6 SECOND second\r\n7 THIRD\r\n");
    EXPECT_NE(text.find("\r\nSegment number 6 already in use!<>"), std::string::npos) << text;
    EXPECT_NE(text.find("<>\r\nSegno / name / progfile name\r\n"
                        "\r\n5 / FIRST / first"
                        "\r\n6 / SECOND / second"
                        "\r\n** Missing parameter in line 3\r\n<>"),
              std::string::npos)
        << text;
    // The segment image of 5 holds the program of THREE: its header and both
    // banks.
    EXPECT_EQ(size_of("(SYSTEM)/SEGFILE_5.SGNO"), 2u * (4 + 65536 + 65536));
    // Loading FIRST, the program file of segment 5, brings in segment 5, so
    // that THREE's code runs; SECOND brings in segment 6 with FOUR's code.
    size_t first_run = text.find("\r\nTime used is: T");
    ASSERT_NE(first_run, std::string::npos) << text;
    EXPECT_EQ(text.substr(first_run - 1, 1), "3") << text;
    size_t second_run = text.find("\r\nTime used is: T", first_run + 1);
    ASSERT_NE(second_run, std::string::npos) << text;
    EXPECT_EQ(text.substr(second_run - 1, 1), "4") << text;
}

TEST_F(Images, BadImagesAreRefusedWithoutStarting) {
    std::string header(512, '\0');
    header[5] = 010; // low 10
    header[7] = 004; // high 4
    tree.write_file("(EMULATOR)/BAD.PROG", header);
    tree.write_file("(EMULATOR)/EMPTY.PROG", "");
    RunResult run = run_kestrel(tree, "BAD\nEMPTY\n@place-image-file BAD\nquit\n");
    std::string text = transcript(run.output);
    EXPECT_EQ(text, "<>Error in file, lower > upper address:      10       4\r\n"
                    "<>Error when reading file: 0\r\nRequested 1000 bytes, 0 returned\r\n"
                    "<>Error in file, lower > upper address:      10       4\r\n"
                    "No image placed in memory\r\n"
                    "<>\r\n--- Terminated KESTREL\r\n");
}

TEST_F(Images, AWriteTheHostRefusesIsReportedNotSuccess) {
    assemble(print_letter('F'), "(EMULATOR)/F.PROG");
    tree.write_file("(EMULATOR)/FULL.PROG", "");
    RunResult run =
        run_kestrel_with_file_limit(tree,
                                    "load-image-file F\nsave-image-to-file FULL 1000 1000\n"
                                    "WRITE-BINARY 0 FULL:PROG\nquit\n",
                                    0);
    std::string text = transcript(run.output);
    EXPECT_TRUE(
        std::regex_search(text, std::regex("<>Error when writing to file: [1-9]\\d*\r\n<>")))
        << text;
    EXPECT_EQ(text.find("Successfully saved"), std::string::npos) << text;
    EXPECT_NE(text.find("<>Writing to file failed\r\n<>"), std::string::npos) << text;
}

TEST_F(Images, TheEndOfInputAtTheNamePromptEndsTheLoadSilently) {
    RunResult run = run_kestrel(tree, "load-image-file\n\nload-image-file");
    EXPECT_EQ(transcript(run.output), "<>Load from program file: You must enter a file name!\r\n"
                                      "File name too long\r\n"
                                      "<>Load from program file: <>\r\n--- Terminated KESTREL\r\n");
    EXPECT_EQ(run.exit_status, 0);
}

} // namespace
