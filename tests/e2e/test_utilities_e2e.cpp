// The operator utilities on host files and numbers, run through the real
// binary: help, conversions, dumps, comparisons, searches, byte swap, parity,
// the console tests and the register-line filter.
#include "harness.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kScratchLine = "SCRATCH01.DATA\r\n";

// Output after the start-up lines, from the first prompt on.
std::string session(const NdTree &tree, const std::string &input) {
    RunResult run = run_kestrel(tree, input + "quit\n");
    EXPECT_EQ(run.exit_status, 0);
    size_t at = run.output.find(kScratchLine);
    if (at == std::string::npos) return run.output;
    return run.output.substr(at + kScratchLine.size());
}

int count_of(const std::string &text, const std::string &needle) {
    int count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++count;
    return count;
}

std::string bytes(std::initializer_list<int> values) {
    std::string text;
    for (int value : values)
        text.push_back(static_cast<char>(value));
    return text;
}

TEST(Help, EmptyPatternListsEveryVisibleCommand) {
    NdTree tree;
    std::string out = session(tree, "help\n\n\n");
    EXPECT_EQ(out.rfind("<>Describe commands matching: List matching commands to output file: "
                        "upper-case <on/off>\r\nclose-trace-file\r\n",
                        0),
              0u)
        << out;
    EXPECT_EQ(count_of(out, "\r\n"), 116 - 12 + 2) << "12 hidden commands; quit adds two";
    EXPECT_EQ(out.find("|"), std::string::npos);
    EXPECT_NE(out.find("\r\nset-active-level <level>\r\ndisassemble-memory <from> <to>\r\n<>"),
              std::string::npos);
}

TEST(Help, PatternsMatchAsCommandsAbbreviate) {
    NdTree tree;
    std::string out = session(tree, "help set\n\nhelp l-i-f\n\nhelp nothing-like-it\n\n");
    const std::string listed = "<>List matching commands to output file: ";
    EXPECT_NE(
        out.find(listed +
                 "set-memory-limits <lower> <upper>\r\nset-break-point <address>\r\n"
                 "set-register-value <register> <value>\r\nset-2bank-mode <on/off> <page table>\r\n"
                 "set-parity-when-reading-SYMB-files <on/off>\r\nset-active-level <level>\r\n<>"),
        std::string::npos)
        << out;
    EXPECT_NE(out.find(listed + "load-image-file <image file>\r\n<>"), std::string::npos) << out;
    EXPECT_NE(out.find(listed + "No commands matches nothing-like-it\r\n<>"), std::string::npos)
        << out;
}

TEST(Help, ToAFile) {
    NdTree tree;
    std::string out = session(tree, "help se-br \"HELP\"\n");
    EXPECT_EQ(tree.read_file("(EMULATOR)/HELP.SYMB"), "set-break-point <address>\r\n");
    EXPECT_EQ(out.find("set-break-point <address>"), std::string::npos) << out;
}

TEST(Help, SintranCommandsAreTheAtCommands) {
    NdTree tree;
    std::string out = session(tree, "list-SINTRAN-commands\n");
    EXPECT_EQ(out.rfind("<>@recover <prog file>\r\n@mode <file name> <output file>\r\n", 0), 0u)
        << out;
    EXPECT_EQ(count_of(out, "\r\n@"), 21) << "22 commands, the first after the prompt";
    EXPECT_NE(out.find("\r\n@terminal-mode <cap.lett> <delay after CR> <stop on full page> "
                       "<logout miss. carr.>\r\n<>"),
              std::string::npos);
}

// Things a user meets at the prompt: float 48 says what the format does,
// @delete-file keeps off another user's file (here found through the SYSTEM
// fallback), and disassemble-memory shows the loaded program, a planted
// breakpoint hidden, exactly as nd-dis shows its image.
TEST(Prompt, FloatDeleteFileAndDisassembleMemory) {
    NdTree tree;
    std::string log;
    ASSERT_TRUE(tree.assemble("        ORG 1000\n        START GO\nGO:     SAA 0\n"
                              "LOOP:   AAA 1\n        JAZ DONE\n        JMP LOOP\n"
                              "DONE:   MON 0\n        BLOCK 4\n        WORD 147400\n",
                              "(EMULATOR)/LOOP.PROG", &log))
        << log;
    tree.write_file("(SYSTEM)/SYSFILE.DATA", "s");
    tree.write_file("(EMULATOR)/MINE.DATA", "m");
    const std::string listing = "          ORG 1000\n"
                                "          SAA 0                         ; 001000 170400\n"
                                "L001001:  AAA 1                         ; 001001 172401\n"
                                "          JAZ L001004                   ; 001002 131002\n"
                                "          JMP L001001                   ; 001003 124376\n"
                                "L001004:  MON 0                         ; 001004 153000\n"
                                "          BLOCK 4                       ; 001005-001010 zero\n"
                                "          WORD 147400                   ; 001011 147400\n";
    std::string shown;
    for (char c : listing)
        shown += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(session(tree, "float 48\n@delete-file SYSFILE\n@delete-file MINE\nl-i-f LOOP\n"
                            "set-break-point 1003\ndisassemble-memory 1000 1011\n"),
              "<>Floating format set to 48 bits\r\n"
              "FAD, FSU, FMU, FDV, NLZ and DNZ work on T, A and D (float-test stays 32-bit)\r\n"
              "<>Not allowed to delete another user's file\r\n"
              "<><><><>" +
                  shown + "<>\r\n--- Terminated KESTREL\r\n");
    EXPECT_TRUE(tree.exists("(SYSTEM)/SYSFILE.DATA"));
    EXPECT_FALSE(tree.exists("(EMULATOR)/MINE.DATA"));
    std::string dis;
    ASSERT_EQ(run_host_command("'" + std::string(KESTREL_BUILD_DIR) + "/nd-dis' '" +
                                   tree.path("(EMULATOR)/LOOP.PROG") + "'",
                               &dis),
              0);
    EXPECT_EQ(dis.substr(dis.find("          ORG")), listing);
}

TEST(Conversions, OctalAndDecimal) {
    NdTree tree;
    std::string out = session(tree, "octal-to-decimal 177777\noctal-to-decimal 77777\n"
                                    "octal-to-decimal 19\ndecimal-to-octal 100\n"
                                    "decimal-to-octal -8\ndecimal-to-octal 1x\ndecimal-to-octal\n"
                                    "octal-to-decimal\n\n");
    EXPECT_EQ(out, "<>177777 octal is 65535 decimal\r\nIn 16 bit signed format: -1\r\n"
                   "<>77777 octal is 32767 decimal\r\n"
                   "<>Illegal char. in octal number: 9\r\n"
                   "<>100 decimal is 144 octal\r\n"
                   "<>-8 decimal is 37777777770 octal\r\n"
                   "<>Illegal char. in number: x\r\n"
                   "<>0 decimal is 0 octal\r\n"
                   "<>Enter octal value: 0 octal is 0 decimal\r\n"
                   "<>\r\n--- Terminated KESTREL\r\n");
}

TEST(OctalDump, WordsEightToALine) {
    NdTree tree;
    std::string data;
    for (int i = 0; i < 10; ++i)
        data += bytes({i, 0200 + i});
    data += "Z"; // an odd last byte is no word
    tree.write_file("(EMULATOR)/W.BIN", data);
    std::string out = session(tree, "od 16 W\n");
    EXPECT_EQ(out, "<>\r\n      0 (      0):      200     601    1202    1603    2204    2605"
                   "    3206    3607   \r\n      8 (     10):     4210    4611\r\n"
                   "<>\r\n--- Terminated KESTREL\r\n");
}

TEST(OctalDump, BytesTenToALineFromAStartByte) {
    NdTree tree;
    tree.write_file("(EMULATOR)/B.BIN", "0123456789AB\001C");
    std::string out = session(tree, "od 8 B 2\n");
    EXPECT_EQ(out, "<>\r\n      2 (      2):   62  63  64  65  66  67  70  71 101 102   23456789AB"
                   "\r\n     12 (     14):    1 103                                   .C\r\n"
                   "<>\r\n--- Terminated KESTREL\r\n");
}

TEST(OctalDump, PausesEvery300WordsAndQuits) {
    NdTree tree;
    tree.write_file("(EMULATOR)/BIG.BIN", std::string(2 * 700, '\0'));
    std::string out = session(tree, "od 16 BIG\n\nq\n");
    EXPECT_EQ(count_of(out, "\r\nType q to quit: "), 2);
    EXPECT_EQ(count_of(out, "       0"), 600) << "stops after the second pause";
    EXPECT_NE(out.find("Type q to quit: \r\n<>\r\n--- Terminated"), std::string::npos) << out;
}

TEST(OctalDump, BadFormatAndBadDigit) {
    NdTree tree;
    std::string out = session(tree, "od 40\nod 1x\nod\n\n");
    EXPECT_EQ(out, "<>Bad format, 8 and 16 are supported\r\n"
                   "<>Illegal char. number: x\r\n\r\n"
                   "<>8 bits or 16 bits format? Bad format, 8 and 16 are supported\r\n"
                   "<>\r\n--- Terminated KESTREL\r\n");
}

TEST(CompareBinary, EqualDifferingShorterLonger) {
    NdTree tree;
    tree.write_file("(EMULATOR)/A.BIN", bytes({0, 1, 2, 3, 4, 5}));
    tree.write_file("(EMULATOR)/SAME.BIN", bytes({0, 1, 2, 3, 4, 5}));
    tree.write_file("(EMULATOR)/DIFF.BIN", bytes({0, 1, 9, 9, 4, 5, 6, 7}));
    tree.write_file("(EMULATOR)/ODD.BIN", bytes({0, 1, 2, 3, 4}));
    std::string out = session(tree, "COMPARE-BINARY A SAME\nCOMPARE-BINARY A DIFF\n"
                                    "COMPARE-BINARY DIFF A\nCOMPARE-BINARY A ODD\n");
    EXPECT_EQ(out, "<>Files are equal\r\n"
                   "<>\r\nFiles differ at word(16bit): 1  1003/ 4411"
                   "\r\nFile number 1 has less data than file 2\r\n\r\n"
                   "<>\r\nFiles differ at word(16bit): 1  4411/ 1003"
                   "\r\nFile number 1 has more data than file 2\r\n\r\n"
                   "<>\r\nFiles differ at word(16bit): 2  2005/ 2000\r\n"
                   "<>\r\n--- Terminated KESTREL\r\n");
}

TEST(FindInFile, PairsOfWords) {
    NdTree tree;
    // Pairs (1,2) at word 0, (3,1) at word 2, (1,2) at word 4; the (1,2)
    // across words 3-4 straddles two pairs and is not counted.
    tree.write_file("(EMULATOR)/F.BIN", bytes({0, 1, 0, 2, 0, 3, 0, 1, 0, 1, 0, 2}));
    std::string out = session(tree, "find-in-file F 1 2\n");
    EXPECT_EQ(out, "<>Find two values that are close to each other\r\n"
                   "\r\nFound at word: 0(dec) 0(oct)\r\nFound at word: 4(dec) 4(oct)"
                   "<>\r\n--- Terminated KESTREL\r\n");
}

TEST(FindTextInFile, EveryOccurrenceAcrossBlocksAndInTheLastBlock) {
    NdTree tree;
    std::string data = std::string(38, 'x') + "needle" + std::string(70, 'y') + "NEEDLE";
    ASSERT_EQ(data.size(), 120u);
    data += "..needle"; // a last, shorter block
    tree.write_file("(EMULATOR)/S.BIN", data);
    std::string out = session(tree, "find-text-in-file S NEEDLE\nfind-text-in-file S needle\n"
                                    "find-text-in-file S\n\n");
    EXPECT_NE(out.find("<>\r\nNEEDLE found at byte pos 0 (close to)  " + std::string(38, 'X') +
                       "NE"
                       "\r\nNEEDLE found at byte pos 80 (close to)  " +
                       std::string(34, 'Y') +
                       "NEEDLE"
                       "\r\nNEEDLE found at byte pos 120 (close to)  ..NEEDLE<>"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("<><>"), std::string::npos) << "small letters are never found";
    EXPECT_NE(out.find("<>\r\nSearch for text: Please enter a text to search for\r\n"),
              std::string::npos)
        << out;
}

TEST(More, StripsBitSeven) {
    NdTree tree;
    tree.write_file("(EMULATOR)/T.SYMB", bytes({0301, 0302, '\r', '\n', 'c'}));
    std::string out = session(tree, "more T\n");
    EXPECT_EQ(out, "<>AB\r\nc\r\n<>\r\n--- Terminated KESTREL\r\n");
}

TEST(ByteSwap, SwapsPairsAndKeepsAnOddLastByte) {
    NdTree tree;
    tree.write_file("(EMULATOR)/ODD.PROG", bytes({1, 2, 3}));
    std::string out = session(tree, "byte-swap ODD \"SWAPPED\"\n");
    EXPECT_EQ(tree.read_file("(EMULATOR)/SWAPPED.PROG"), bytes({2, 1, 3}));
    EXPECT_NE(out.find("Byte swap completed\r\n<>"), std::string::npos) << out;
}

TEST(ByteSwap, WriteFailureIsReportedNotCompleted) {
    NdTree tree;
    tree.write_file("(EMULATOR)/IN.PROG", std::string(10000, 'x'));
    tree.write_file("(EMULATOR)/FULL.PROG", "");
    std::string out = run_kestrel_with_file_limit(tree, "byte-swap IN FULL\nquit\n", 0).output;
    EXPECT_NE(out.find("\r\nError when writing output file, terminating\r\n<>"), std::string::npos)
        << out;
    EXPECT_EQ(out.find("Byte swap completed"), std::string::npos);
}

TEST(Parity, AddMakesEvenParityAndRemoveDropsCarriageReturns) {
    NdTree tree;
    tree.write_file("(EMULATOR)/T.SYMB", "CA\r\nB\n");
    std::string out = session(tree, "add-parity T \"P\"\nremove-parity P \"R\"\n");
    EXPECT_EQ(tree.read_file("(EMULATOR)/P.SYMB"), bytes({0303, 0101, 0215, 012, 0102, 012}));
    EXPECT_EQ(tree.read_file("(EMULATOR)/R.SYMB"), "CA\nB\n");
    EXPECT_NE(out.find("/P.SYMB\r\nThis file contained 2 lines\r\n<>"), std::string::npos) << out;
    EXPECT_NE(out.find("/R.SYMB\r\nThis file contained 2 lines\r\n"
                       "All CR has been removed, file is now readble by e.g. WordPad\r\n<>"),
              std::string::npos)
        << out;
}

TEST(Parity, AFileWithoutLineEndHasOneLine) {
    NdTree tree;
    tree.write_file("(EMULATOR)/ONE.SYMB", "A");
    std::string out = session(tree, "add-parity ONE \"P\"\n");
    EXPECT_NE(out.find("/P.SYMB\r\nThis file contained 1 line\r\n<>"), std::string::npos) << out;
}

TEST(Hold, BadCharacters) {
    NdTree tree;
    std::string out = session(tree, "@hold x\n@hold 1 y\n@hold 1 2\n@hold 7 1\n");
    EXPECT_EQ(out, "<>Illegal char. in unit: x\r\n<>Illegal char. in n: y\r\n<><>"
                   "<>\r\n--- Terminated KESTREL\r\n");
}

TEST(ConsoleTests, TestInputEchoesKeyCodesUntilEscape) {
    NdTree tree;
    std::string out = session(tree, std::string("test-input\nA\r") + '\0' + "\033");
    EXPECT_EQ(out, "<>\r\nType ESC to exit\r\n"
                   "Key: 65(dec), 41(hex), 101(oct)\r\n"
                   "Key: 13(dec), d(hex), 15(oct)\r\n\r\n"
                   "Key: 0(dec), 0(hex), 0(oct) (null byte returned by getch()\r\n"
                   "Key: 27(dec), 1b(hex), 33(oct)\r\n"
                   "<>\r\n--- Terminated KESTREL\r\n");
}

TEST(ConsoleTests, FontSetShowsCodePage850InUtf8) {
    NdTree tree;
    std::string out = session(tree, "test-font-set\n");
    EXPECT_NE(out.find("64= @ 65= A 66= B "), std::string::npos);
    EXPECT_NE(out.find("155= \xc3\xb8 156= \xc2\xa3 "), std::string::npos) << "ø and £";
    EXPECT_NE(out.find("255= \xc2\xa0 \r\n<>"), std::string::npos);
}

TEST(ConsoleTests, RectTestDrawsWithCursorAndAttributes) {
    NdTree tree;
    std::string out = session(tree, "|rect-test\n");
    EXPECT_NE(out.find("\x1b[20;1H\x1b[0m         "), std::string::npos) << "first box, top row";
    EXPECT_NE(out.find("\x1b[20;11H\x1b[7m"), std::string::npos) << "second box reversed";
    EXPECT_NE(out.find("\x1b[20;71H\x1b[4m\xe2\x94\x82"), std::string::npos)
        << "last box highlighted, with a border";
    EXPECT_NE(out.find("REV\x1b[0m"), std::string::npos) << "attribute restored";
    EXPECT_NE(out.find("\r\n\r\n<>"), std::string::npos);
}

TEST(RegisterFilter, KeepsTheFirstLineOfEachValue) {
    NdTree tree;
    std::string pad(20, ' ');
    tree.write_file("(EMULATOR)/IN.TXT", "first" + pad.substr(5) + "  1234 a\r\n" + "second" +
                                             pad.substr(6) + "  1234 b\n" + "third" +
                                             pad.substr(5) + "   777\n" + "bad" + pad.substr(3) +
                                             "277777\n" + "short\n");
    std::string out = session(tree, "|yyy IN \"OUT\"\n");
    EXPECT_EQ(tree.read_file("(EMULATOR)/OUT.TXT"), "first" + pad.substr(5) + "  1234 a\r\n" +
                                                        "third" + pad.substr(5) + "   777\r\n" +
                                                        "short\r\n");
    EXPECT_NE(out.find("\nBad PREG\n"), std::string::npos) << out;
}

} // namespace
