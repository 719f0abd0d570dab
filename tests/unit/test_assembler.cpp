// nd-asm and nd-dis: instruction encodings, the source language, the image
// formats and the round trip source -> image -> source -> image.
#include "assembler.h"
#include "disassembler.h"
#include "isa.h"
#include "prog_format.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace ndtools;

namespace {

// The words of one assembled source line at address 1000.
std::vector<uint16_t> assemble_line(const std::string &line, std::string *error = nullptr) {
    AssemblyResult r = assemble("        ORG 1000\n        " + line + "\n", "line.asm");
    if (!r.ok()) {
        if (error) *error = format_diagnostic(r.errors[0]);
        return {};
    }
    std::vector<uint16_t> words;
    for (uint32_t a = 01000; a < 0200000 && r.program.program.used[a]; ++a)
        words.push_back(r.program.program.words[a]);
    return words;
}

uint16_t word_of(const std::string &line) {
    std::string error;
    std::vector<uint16_t> w = assemble_line(line, &error);
    EXPECT_EQ(w.size(), 1u) << line << ": " << error;
    return w.empty() ? 0 : w[0];
}

// The first error of a source, or "" when it assembles.
std::string first_error(const std::string &source) {
    AssemblyResult r = assemble(source, "bad.asm");
    return r.ok() ? std::string() : format_diagnostic(r.errors[0]);
}

std::vector<uint8_t> image_of(const std::string &source, bool bpun = false) {
    AssemblyResult r = assemble(source, "t.asm");
    EXPECT_TRUE(r.ok()) << (r.ok() ? "" : format_diagnostic(r.errors[0]));
    std::string error;
    return bpun ? make_bpun_image(r.program, error) : make_prog_image(r.program, error);
}

uint16_t word_at(const std::vector<uint8_t> &bytes, size_t offset) {
    return static_cast<uint16_t>(bytes[offset] << 8 | bytes[offset + 1]);
}

std::string read_text(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Encoding {
    const char *source;
    uint16_t word;
};

// Values from the instruction tables of the machine: the slot map, the
// format tables and the individual instruction words.
const Encoding encodings[] = {
    // Memory reference: operation code in bits 15-11, displacement 0 (*).
    {"STZ *", 0000000},
    {"STA *", 0004000},
    {"STT *", 0010000},
    {"STX *", 0014000},
    {"STD *", 0020000},
    {"LDD *", 0024000},
    {"STF *", 0030000},
    {"LDF *", 0034000},
    {"MIN *", 0040000},
    {"LDA *", 0044000},
    {"LDT *", 0050000},
    {"LDX *", 0054000},
    {"ADD *", 0060000},
    {"SUB *", 0064000},
    {"AND *", 0070000},
    {"ORA *", 0074000},
    {"FAD *", 0100000},
    {"FSU *", 0104000},
    {"FMU *", 0110000},
    {"FDV *", 0114000},
    {"MPY *", 0120000},
    {"JMP *", 0124000},
    {"JPL *", 0134000},
    // The addressing bits X (2000), I (1000), B (400).
    {"LDA 0,B", 0044400},
    {"LDA I *", 0045000},
    {"LDA I 0,B", 0045400},
    {"LDA 0,X", 0046000},
    {"LDA 0,B,X", 0046400},
    {"LDA I *,X", 0047000},
    {"LDA I 0,B,X", 0047400},
    {"LDA *-1", 0044377},
    {"LDA *+177", 0044177},
    {"LDA -200,B", 0044600},
    // Conditional jumps, condition in bits 10-8.
    {"JAP *", 0130000},
    {"JAN *", 0130400},
    {"JAZ *", 0131000},
    {"JAF *", 0131400},
    {"JPC *", 0132000},
    {"JNC *", 0132400},
    {"JXZ *", 0133000},
    {"JXN *", 0133400},
    // Extended group.
    {"MIX3", 0143200},
    {"LBYT", 0142200},
    {"SBYT", 0142600},
    {"EXR SA", 0140650},
    {"SKP IF DA EQL ST", 0140065},
    {"SKP IF DX MLST SB", 0143437},
    {"RDIV ST", 0141660},
    {"RMPY SA DT", 0141256},
    {"BFILL", 0140130},
    {"MOVB", 0140131},
    {"MOVBF", 0140132},
    {"RDUS", 0140127},
    {"MOVEW 0", 0143100},
    {"MOVEW 77", 0143177},
    {"LEAV", 0140136},
    {"ELEAV", 0140137},
    {"TSET", 0140123},
    {"ADDD", 0140120},
    {"SUBD", 0140121},
    {"COMD", 0140122},
    {"PACK", 0140124},
    {"UPACK", 0140125},
    {"SHDE", 0140126},
    // Register operations and their bits.
    {"SWAP", 0144000},
    {"RAND", 0144400},
    {"REXO", 0145000},
    {"RORA", 0145400},
    {"RADD", 0146000},
    {"RADD AD1", 0146400},
    {"RADD ADC", 0147000},
    {"RADD CM1", 0146200},
    {"RADD CLD", 0146100},
    {"EXIT", 0146142},
    {"COPY SL DP", 0146142},
    {"COPY SL DP AD1", 0146542},
    {"RADD SX DA", 0146075},
    // Privileged and control instructions.
    {"TRA STS", 0150000},
    {"TRA PVL", 0150004},
    {"TRR STS", 0150100},
    {"TRR PCR", 0150103},
    {"MCL PIE", 0150207},
    {"MST PID", 0150306},
    {"OPCOM", 0150400},
    {"IOF", 0150401},
    {"ION", 0150402},
    {"POF", 0150404},
    {"PIOF", 0150405},
    {"SEX", 0150406},
    {"REX", 0150407},
    {"PON", 0150410},
    {"PION", 0150412},
    {"IOXT", 0150415},
    {"EXAM", 0150416},
    {"DEPO", 0150417},
    {"WAIT", 0151000},
    {"NLZ 20", 0151420},
    {"DNZ -20", 0152360},
    {"DNZ 360", 0152360},
    {"MON 0", 0153000},
    {"MON 2", 0153002},
    {"MON 377", 0153377},
    // IRR for register P of level 5 is what TRA PVL yields after level 5.
    {"IRR 5 DP", 0153652},
    {"IRW 0 DSTS", 0153400},
    {"IRW 17 DX", 0153577},
    // Shifts: register in bits 8-7, mode in bits 10-9, signed count.
    {"SHT 0", 0154000},
    {"SHD 0", 0154200},
    {"SHA 0", 0154400},
    {"SAD 0", 0154600},
    {"SHT ROT 0", 0155000},
    {"SHT ZIN 0", 0156000},
    {"SHT LIN 0", 0157000},
    {"SHA SHR 1", 0154477},
    {"SHA -1", 0154477},
    {"SAD SHR 40", 0154640},
    {"SHT 37", 0154037},
    // Input and output.
    {"IOT SNI 0", 0160000},
    {"IOT ACT 0", 0160400},
    {"IOT ACT SKA 0", 0161400},
    {"IOT PIN 0", 0162000},
    {"IOTMON 45", 0161045},
    {"IOX 300", 0164300},
    {"IOX 305", 0164305},
    // Argument instructions.
    {"SAB 0", 0170000},
    {"SAA 0", 0170400},
    {"SAT 0", 0171000},
    {"SAX 0", 0171400},
    {"AAB 0", 0172000},
    {"AAA 0", 0172400},
    {"AAT 0", 0173000},
    {"AAX -1", 0173777},
    // Bit instructions: operation in bits 10-7, bit in 6-3, register in 2-0.
    {"BSET ZRO 0 DSTS", 0174000},
    {"BSET ONE SSC", 0174260},
    {"BSET BCM 0", 0174400},
    {"BSET BAC 0", 0174600},
    {"BSKP ZRO 0", 0175000},
    {"BSKP ONE 0", 0175200},
    {"BSKP BCM 0", 0175400},
    {"BSKP BAC 0", 0175600},
    {"BSTC 0", 0176000},
    {"BSTA 0", 0176200},
    {"BLDC 0", 0176400},
    {"BLDA 0", 0176600},
    {"BANC 0", 0177000},
    {"BAND 0", 0177200},
    {"BORC 0", 0177400},
    {"BORA 17 DX", 0177777},
};

} // namespace

TEST(NdAssemblerEncoding, EveryFormMatchesTheMachineValues) {
    for (const Encoding &e : encodings)
        EXPECT_EQ(word_of(e.source), e.word) << e.source;
}

TEST(NdAssemblerEncoding, DisassemblyNamesTheInstructionAndAssemblesBack) {
    for (const Encoding &e : encodings) {
        uint16_t words[5] = {e.word, 0, 0, 0, 0};
        Disassembled d = disassemble(words, 5, 01000);
        ASSERT_TRUE(d.defined) << e.source;
        std::string mnemonic = std::string(e.source).substr(0, std::string(e.source).find(' '));
        std::string shown = d.text.substr(0, d.text.find(' '));
        // The register-operation short names may stand for the long form.
        if (mnemonic != "RADD" && mnemonic != "COPY") {
            EXPECT_EQ(shown, mnemonic) << e.source;
        }
        EXPECT_EQ(word_of(d.text), e.word) << e.source << " shown as " << d.text;
    }
}

TEST(NdAssemblerEncoding, StackInstructionsCarryTheirParameterWords) {
    EXPECT_EQ(assemble_line("INIT 10, 2000, 200, 1"),
              (std::vector<uint16_t>{0140134, 010, 02000, 0200, 1}));
    EXPECT_EQ(assemble_line("ENTR 20"), (std::vector<uint16_t>{0140135, 020}));
    uint16_t words[] = {0140134, 010, 02000, 0200, 1, 0140135, 020};
    EXPECT_EQ(disassemble(words, 7, 01000).text, "INIT 10, 2000, 200, 1");
    EXPECT_EQ(disassemble(words, 7, 01000).size, 5u);
    EXPECT_EQ(disassemble(words + 5, 2, 01005).text, "ENTR 20");
    // Without room for its parameters the word stays a data word.
    EXPECT_EQ(disassemble(words, 3, 01000).text, "WORD 140134");
}

// Every one of the 65536 words, placed at its own address, disassembles to
// source that assembles to the same word.
TEST(NdAssemblerEncoding, EveryWordSurvivesTheRoundTrip) {
    std::vector<uint16_t> all(65536);
    for (uint32_t w = 0; w < 65536; ++w)
        all[w] = static_cast<uint16_t>(w);
    std::string source = disassemble_words(all, 0);
    AssemblyResult r = assemble(source, "all.asm");
    ASSERT_TRUE(r.ok()) << format_diagnostic(r.errors[0]);
    for (uint32_t a = 0; a < 65536; ++a)
        ASSERT_EQ(r.program.program.words[a], a) << "word " << std::oct << a;
}

TEST(NdAssemblerEncoding, UnusedWordsAreDataAndIgnoredBitsAreNamed) {
    for (uint16_t w : {0147400, 0147777, 0152400, 0164400, 0167777, 0140100, 0140133, 0150403,
                       0150411, 0150414, 0141100})
        EXPECT_EQ(decode_instruction(w), nullptr) << std::oct << w;
    uint16_t words[] = {0140601};
    EXPECT_EQ(disassemble(words, 1, 0).text, "EXR SSTS EXTRA 1");
    words[0] = 0154503;
    EXPECT_EQ(disassemble(words, 1, 0).text, "SHA 3 EXTRA 100");
    words[0] = 0151377;
    EXPECT_EQ(disassemble(words, 1, 0).text, "WAIT 377");
}

TEST(NdAssemblerSyntax, AddressingForms) {
    // P-relative forms take an address, the others a displacement.
    EXPECT_EQ(assemble_line("LDA 1005"), (std::vector<uint16_t>{0044005}));
    EXPECT_EQ(assemble_line("LDA I 1005,X"), (std::vector<uint16_t>{0047005}));
    EXPECT_EQ(assemble_line("LDA 5,X"), (std::vector<uint16_t>{0046005}));
    EXPECT_EQ(assemble_line("LDA ,X 5"), (std::vector<uint16_t>{0046005}));
    EXPECT_EQ(assemble_line("LDA I ,B 5"), (std::vector<uint16_t>{0045405}));
    EXPECT_EQ(assemble_line("LDA * + 3"), (std::vector<uint16_t>{0044003}));
    // Addresses wrap within the bank: word 1 seen from 177777.
    AssemblyResult r = assemble("        ORG 177777\n        JMP 1\n", "w.asm");
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.program.program.words[0177777], 0124002);
}

TEST(NdAssemblerSyntax, LabelsEquatesAndExpressions) {
    AssemblyResult r = assemble("        ORG 100\n"
                                "P1:     WORD P2, Q1, Q2\n"
                                "P2,     WORD 2+3*4, -(1+1), #A, 10D, 12., 17B, *\n"
                                "Q1 = Q2 - 1        ; forward reference\n"
                                "Q2 = P2 + 100\n"
                                "LOOP:   JMP LOOP\n",
                                "e.asm");
    ASSERT_TRUE(r.ok()) << format_diagnostic(r.errors[0]);
    const auto &w = r.program.program.words;
    EXPECT_EQ(w[0100], 0103);
    EXPECT_EQ(w[0101], 0202);
    EXPECT_EQ(w[0102], 0203);
    EXPECT_EQ(w[0103], 016);
    EXPECT_EQ(w[0104], 0177776);
    EXPECT_EQ(w[0105], 0101);
    EXPECT_EQ(w[0106], 10);
    EXPECT_EQ(w[0107], 12);
    EXPECT_EQ(w[0110], 017);
    EXPECT_EQ(w[0111], 0111);
    EXPECT_EQ(w[0112], 0124000);
}

TEST(NdAssemblerSyntax, TextIsPackedTwoCharactersAWordHighByteFirst) {
    EXPECT_EQ(assemble_line("TEXT \"AB\""), (std::vector<uint16_t>{0040502}));
    EXPECT_EQ(assemble_line("TEXT \"ABC\""), (std::vector<uint16_t>{0040502, 0041400}));
    // Apostrophes as quotes add the terminating apostrophe.
    EXPECT_EQ(assemble_line("TEXT 'A'"), (std::vector<uint16_t>{0040447}));
    EXPECT_EQ(assemble_line("TEXT 'AB'"), (std::vector<uint16_t>{0040502, 0023400}));
    EXPECT_EQ(assemble_line("TEXT \"A\\r\\n\", 7"), (std::vector<uint16_t>{0040415, 0005007}));
    EXPECT_EQ(assemble_line("TEXT \"%;\\\"\""), (std::vector<uint16_t>{0022473, 0021000}));
}

TEST(NdAssemblerSyntax, DirectivesPlaceWordsAndEntryPoints) {
    AssemblyResult r = assemble("        ORG 200\n"
                                "        BLOCK 3\n"
                                "X1:     WORD -100000, 177777\n"
                                "        START X1\n"
                                "        RESTART 201\n"
                                "        ORG 300\n"
                                "        WORD 1\n",
                                "d.asm");
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.program.program.low(), 0200u);
    EXPECT_EQ(r.program.program.high(), 0300u);
    EXPECT_TRUE(r.program.program.used[0202]);
    EXPECT_FALSE(r.program.program.used[0205]);
    EXPECT_EQ(r.program.program.words[0203], 0100000);
    EXPECT_EQ(r.program.start, 0203);
    EXPECT_EQ(r.program.restart, 0201);
    EXPECT_FALSE(r.program.two_bank);
}

TEST(NdAssemblerSyntax, ListingShowsAddressWordAndSource) {
    AssemblyResult r = assemble("        ORG 1000\nGO:     MON 2\n        TEXT \"ABC\"\n", "l.asm");
    ASSERT_TRUE(r.ok());
    EXPECT_NE(r.listing.find(" 001000  153002  GO:     MON 2\n"), std::string::npos) << r.listing;
    EXPECT_NE(r.listing.find(" 001002  041400\n"), std::string::npos) << r.listing;
}

TEST(NdAssemblerErrors, EveryFaultIsReportedWithFileAndLine) {
    struct Case {
        const char *source;
        const char *message;
    } cases[] = {
        {"        ORG 1000\n        LDA 1200\n",
         "bad.asm:2: error: address 001200 is out of reach from 001000"},
        {"        ORG 1000\n        JAZ 777\n        JAZ 1201\n",
         "bad.asm:3: error: address 001201"},
        {"        LDA 200,B\n", "bad.asm:1: error: displacement 200 is out of range -200..177"},
        {"        LDA -201,X\n", "bad.asm:1: error: displacement -201 is out of range"},
        {"\n        FOO 1\n", "bad.asm:2: error: unknown instruction or directive 'FOO'"},
        {"        LDA NOWHERE\n", "bad.asm:1: error: undefined symbol 'NOWHERE'"},
        {"        WORD 18\n", "bad.asm:1: error: digit 8 in octal number 18"},
        {"A:      WORD 1\nA:      WORD 2\n", "bad.asm:2: error: symbol 'A' is defined twice"},
        {"DA:     WORD 1\n", "bad.asm:1: error: 'DA' is a reserved word"},
        {"        ORG 10\n        WORD 1\n        ORG 10\n        WORD 2\n",
         "bad.asm:4: error: address 000010 is assembled twice"},
        {"        RAND AD1 SA DX\n", "bad.asm:1: error: AD1 belongs to RADD only"},
        {"        RADD AD1 ADC\n", "bad.asm:1: error: AD1 and ADC cannot be combined"},
        {"        SKP DA ST\n", "bad.asm:1: error: SKP needs a condition"},
        {"        SHA 40\n", "bad.asm:1: error: shift count 40 is out of range -40..37"},
        {"        SHA SHR 41\n", "bad.asm:1: error: right shift count 41"},
        {"        BSET ONE 20 DA\n", "bad.asm:1: error: bit number 20 is out of range 0..17"},
        {"        BSET 3 DA\n", "bad.asm:1: error: BSET needs ZRO, ONE, BCM or BAC"},
        {"        SAA 200\n", "bad.asm:1: error: argument 200 is out of range -200..177"},
        {"        MON 400\n", "bad.asm:1: error: operand 400 is out of range 0..377"},
        {"        IOT SKA 5\n", "bad.asm:1: error: IOT SKA alone is the IOTMON instruction"},
        {"        TRR PGST\n", "bad.asm:1: error: 'PGST' is not a register of TRR"},
        {"        LDA DA\n", "bad.asm:1: error: 'DA' is not an operand of LDA"},
        {"        JAZ I *\n", "bad.asm:1: error: JAZ takes only an address"},
        {"        EXR SA EXTRA 10\n", "bad.asm:1: error: EXTRA 10 is not within the unused bits"},
        {"        RADD SA EXTRA 1\n", "bad.asm:1: error: RADD has no unused bits for EXTRA"},
        {"        TEXT \"AB\n", "bad.asm:1: error: string has no closing"},
        {"        TEXT \"\xc3\xb8\"\n",
         "bad.asm:1: error: string holds a character that is not 7-bit"},
        {"        INIT 1, 2\n", "bad.asm:1: error: INIT takes 4 parameter words"},
        {"        ION 1\n", "bad.asm:1: error: ION takes no operand"},
        {"        ORG 177777\n        WORD 1, 2\n",
         "bad.asm:2: error: the words of this line run past address 177777"},
        {"        BLOCK N\nN = 3\n", "bad.asm:1: error: BLOCK needs symbols defined above it"},
        {"        BANK CODE\n", "bad.asm:1: error: BANK takes PROG or DATA"},
        {"        START 1\n        START 2\n        WORD 0\n",
         "bad.asm:2: error: START is given twice"},
        {"X1 = X2\nX2 = X1\n        WORD 0\n",
         "bad.asm:1: error: undefined symbol 'X2' in the value of X1"},
        {"; nothing\n", "bad.asm:0: error: the source assembles no words"},
        {"        RCLR SA DX\n", "bad.asm:1: error: RCLR clears its destination and takes no"},
    };
    for (const Case &c : cases) {
        std::string error = first_error(c.source);
        EXPECT_EQ(error.rfind(c.message, 0), 0u) << c.source << "gave: " << error;
    }
}

// Parentheses and signs nested beyond reason are an error of their line, not
// a crash of the assembler.
TEST(NdAssemblerErrors, DeeplyNestedExpressionsAreRefused) {
    std::string deep = "        WORD " + std::string(300000, '(') + "1" + std::string(300000, ')');
    EXPECT_EQ(first_error(deep + "\n").rfind("bad.asm:1: error: expression nested more than", 0),
              0u);
    std::string signs = "        WORD " + std::string(300000, '-') + "1\n";
    EXPECT_EQ(first_error(signs).rfind("bad.asm:1: error: expression nested more than", 0), 0u);
    // Ordinary nesting is fine.
    EXPECT_EQ(assemble_line("WORD ((((1+2)*3)-(-(-4))))"), (std::vector<uint16_t>{5}));
}

TEST(NdAssemblerErrors, AllErrorsAreReportedInLineOrder) {
    AssemblyResult r = assemble("        LDA 300,B\n        BOGUS\n        WORD UNDEF\n", "m.asm");
    ASSERT_EQ(r.errors.size(), 3u);
    EXPECT_EQ(r.errors[0].line, 1);
    EXPECT_EQ(r.errors[1].line, 2);
    EXPECT_EQ(r.errors[2].line, 3);
}

TEST(NdImageFormat, OneBankProgHeaderAndWords) {
    std::vector<uint8_t> bytes =
        image_of("        ORG 1000\n        START 1001\n        RESTART 1002\n"
                 "        WORD 1, 2, 3\n");
    ASSERT_EQ(bytes.size(), 512u + 6u);
    EXPECT_EQ(word_at(bytes, 0), 01001);   // start
    EXPECT_EQ(word_at(bytes, 2), 01002);   // restart
    EXPECT_EQ(word_at(bytes, 4), 01000);   // low
    EXPECT_EQ(word_at(bytes, 6), 01002);   // high
    EXPECT_EQ(word_at(bytes, 8), 0177777); // one bank
    EXPECT_EQ(word_at(bytes, 10), 0);
    for (size_t k = 12; k < 512; ++k)
        ASSERT_EQ(bytes[k], 0) << k;
    EXPECT_EQ(word_at(bytes, 512), 1);
    EXPECT_EQ(word_at(bytes, 516), 3);
}

TEST(NdImageFormat, StartDefaultsToTheFirstWord) {
    std::vector<uint8_t> bytes = image_of("        ORG 400\n        WORD 7\n");
    EXPECT_EQ(word_at(bytes, 0), 0400);
    EXPECT_EQ(word_at(bytes, 2), 0400);
}

TEST(NdImageFormat, TwoBankProgHoldsBothWholeBanks) {
    std::vector<uint8_t> bytes = image_of("        ORG 1000\n        LDA 5,B\n"
                                          "        BANK DATA\n        ORG 5\n        WORD 4711\n"
                                          "        BANK PROG\n        WORD 1\n");
    ASSERT_EQ(bytes.size(), 131584u + 131072u);
    EXPECT_EQ(word_at(bytes, 4), 0);
    EXPECT_EQ(word_at(bytes, 6), 0177777);
    EXPECT_EQ(word_at(bytes, 8), 0);
    EXPECT_EQ(word_at(bytes, 10), 0177777);
    EXPECT_EQ(word_at(bytes, 512 + 2 * 01000), 0044405);
    EXPECT_EQ(word_at(bytes, 512 + 2 * 01001), 1);
    EXPECT_EQ(word_at(bytes, 131584 + 2 * 5), 04711);
    LoadedImage image;
    std::string error;
    ASSERT_TRUE(read_image(bytes, false, image, error)) << error;
    EXPECT_TRUE(image.two_bank);
    EXPECT_EQ(image.data[5], 04711);
}

TEST(NdImageFormat, BpunPreambleBlockChecksumAndAction) {
    std::vector<uint8_t> bytes = image_of("        ORG 1000\n        START 1001\n        ACTION 7\n"
                                          "        WORD 1, 2, 177777\n",
                                          true);
    std::string preamble(bytes.begin(), bytes.begin() + 7);
    EXPECT_EQ(preamble, "1001\r\n!");
    EXPECT_EQ(word_at(bytes, 7), 01000); // load address
    EXPECT_EQ(word_at(bytes, 9), 3);     // word count
    EXPECT_EQ(word_at(bytes, 11), 1);
    EXPECT_EQ(word_at(bytes, 15), 0177777);
    EXPECT_EQ(word_at(bytes, 17), 2); // 1 + 2 + 177777 modulo 65536
    EXPECT_EQ(word_at(bytes, 19), 7); // action code
    EXPECT_EQ(bytes.size(), 21u);
}

TEST(NdImageFormat, BpunRefusesTwoBankPrograms) {
    AssemblyResult r = assemble("        WORD 1\n        BANK DATA\n        WORD 2\n", "b.asm");
    ASSERT_TRUE(r.ok());
    std::string error;
    EXPECT_TRUE(make_bpun_image(r.program, error).empty());
    EXPECT_NE(error.find("BANK DATA"), std::string::npos);
}

TEST(NdImageFormat, BpunReaderTakesTheStartFromTheLastLineBeforeTheBang) {
    // Bit 7 is ignored, letters leave the number alone, the "!" line does not count.
    std::vector<uint8_t> bytes = {'7',  '\r', '\n', 0261, 'X', '0', '0', '0', '\r',
                                  '\n', '5',  '!',  002,  000, 000, 003, 000, 001,
                                  000,  002,  000,  003,  000, 006, 000, 000};
    LoadedImage image;
    std::string error;
    ASSERT_TRUE(read_bpun_image(bytes, image, error)) << error;
    EXPECT_EQ(image.start, 01000);
    EXPECT_EQ(image.low, 01000u);
    EXPECT_EQ(image.high, 01002u);
    EXPECT_EQ(image.program[01002], 3);
    EXPECT_EQ(image.checksum_found, image.checksum_computed);
    std::vector<uint8_t> no_lf = {'1', '2', '!', 0, 0, 0, 1, 0, 5, 0, 5, 0, 0};
    ASSERT_TRUE(read_bpun_image(no_lf, image, error));
    EXPECT_EQ(image.start, 0);
}

TEST(NdImageFormat, DamagedImagesAreRefused) {
    LoadedImage image;
    std::string error;
    std::vector<uint8_t> prog = image_of("        ORG 1000\n        WORD 1, 2\n");
    std::vector<uint8_t> short_prog(prog.begin(), prog.end() - 1);
    EXPECT_FALSE(read_prog_image(short_prog, image, error));
    std::vector<uint8_t> reversed = prog;
    reversed[5] = 0;
    reversed[4] = 0x10; // low 010000 above high 001001
    EXPECT_FALSE(read_prog_image(reversed, image, error));
    EXPECT_NE(error.find("above high"), std::string::npos);
    EXPECT_FALSE(read_prog_image(std::vector<uint8_t>(100, 0), image, error));
    std::vector<uint8_t> bpun = image_of("        WORD 1, 2\n", true);
    bpun.resize(bpun.size() - 3);
    EXPECT_FALSE(read_bpun_image(bpun, image, error));
    EXPECT_FALSE(read_bpun_image(std::vector<uint8_t>{'1', '2', '\n'}, image, error));
    std::vector<uint8_t> past_end = {'!', 0377, 0377, 0, 2, 0, 1, 0, 2, 0, 3, 0, 0};
    EXPECT_FALSE(read_bpun_image(past_end, image, error));
    EXPECT_NE(error.find("past address 177777"), std::string::npos);
}

namespace {

// source -> image -> disassembly -> image; the two images must be equal.
void expect_round_trip(const std::string &source, bool bpun) {
    std::vector<uint8_t> first = image_of(source, bpun);
    ASSERT_FALSE(first.empty());
    LoadedImage image;
    std::string error;
    ASSERT_TRUE(read_image(first, bpun, image, error)) << error;
    EXPECT_EQ(image.kind, bpun ? ImageKind::bpun : ImageKind::prog);
    std::string text = disassemble_image(image, "FIRST");
    AssemblyResult again = assemble(text, "disassembly.asm");
    ASSERT_TRUE(again.ok()) << format_diagnostic(again.errors[0]) << "\n" << text;
    std::vector<uint8_t> second =
        bpun ? make_bpun_image(again.program, error) : make_prog_image(again.program, error);
    EXPECT_TRUE(first == second) << text;
}

std::string every_form_source() {
    return read_text(std::filesystem::path(NDTOOLS_TEST_ASM_DIR) / "every_form.asm");
}

} // namespace

TEST(NdRoundTrip, EveryFormProgramIsBitIdenticalAsProgAndBpun) {
    std::string source = every_form_source();
    ASSERT_FALSE(source.empty());
    expect_round_trip(source, false);
    expect_round_trip(source, true);
}

TEST(NdRoundTrip, TwoBankProgram) {
    expect_round_trip("        ORG 1000\n        START 1000\nGO:     LDA 3,B\n        JMP GO\n"
                      "        BANK DATA\n        ORG 3\n        WORD 1, 0, 0, 0, 0, 2\n"
                      "        ORG 177777\n        WORD 5\n",
                      false);
}

TEST(NdRoundTrip, ZeroRunsBecomeBlocksSplitAtJumpTargets) {
    std::string source =
        "        ORG 100\nGO:     JMP HERE\n        BLOCK 10\nHERE:   BLOCK 10\n        JMP GO\n";
    std::vector<uint8_t> bytes = image_of(source);
    LoadedImage image;
    std::string error;
    ASSERT_TRUE(read_image(bytes, false, image, error));
    std::string text = disassemble_image(image, "Z");
    EXPECT_NE(text.find("JMP L000111"), std::string::npos) << text;
    EXPECT_NE(text.find("L000111:  BLOCK 10"), std::string::npos) << text;
    EXPECT_NE(text.find("JMP L000100"), std::string::npos) << text;
    expect_round_trip(source, false);
}

TEST(NdRoundTrip, BpunChecksumMismatchIsShown) {
    std::vector<uint8_t> bytes = image_of("        WORD 1, 2\n", true);
    bytes[bytes.size() - 3] ^= 1;
    LoadedImage image;
    std::string error;
    ASSERT_TRUE(read_bpun_image(bytes, image, error));
    EXPECT_NE(disassemble_image(image, "B").find("differs from the sum of the words"),
              std::string::npos);
}

namespace {

// Sources INCLUDE reads from memory, by the path it asks for.
struct IncludedFiles {
    std::map<std::string, std::string> files;
    std::vector<std::string> asked;
    SourceReader reader() {
        return [this](const std::string &path, std::string &text) {
            asked.push_back(path);
            auto found = files.find(path);
            if (found == files.end()) return false;
            text = found->second;
            return true;
        };
    }
};

// An included file's lines are assembled where the INCLUDE stands: its
// labels, its words and the address after it, as if written there.
TEST(NdAssemblerInclude, TheFileIsAssembledInPlace) {
    IncludedFiles sources;
    sources.files["src/lib/util.asm"] = "% a routine\nTWICE:  RADD SA DA\n        EXIT\nVALUE:  WORD 7\n";
    const std::string main = "        ORG 1000\n"
                             "        JPL TWICE\n"
                             "        INCLUDE \"lib/util.asm\"  ; TWICE and VALUE\n"
                             "AFTER:  LDA VALUE\n";
    AssemblyResult r = assemble(main, "src/main.asm", sources.reader());
    ASSERT_TRUE(r.ok()) << format_diagnostic(r.errors[0]);
    const std::string inline_source = "        ORG 1000\n"
                                      "        JPL TWICE\n"
                                      "TWICE:  RADD SA DA\n        EXIT\nVALUE:  WORD 7\n"
                                      "AFTER:  LDA VALUE\n";
    AssemblyResult expected = assemble(inline_source, "inline.asm");
    ASSERT_TRUE(expected.ok());
    EXPECT_EQ(r.program.program.words, expected.program.program.words);
    EXPECT_EQ(r.program.program.used, expected.program.program.used);
    EXPECT_EQ(sources.asked, std::vector<std::string>{"src/lib/util.asm"});
    EXPECT_EQ(r.included, std::vector<std::string>{"src/lib/util.asm"});
    // The listing shows the INCLUDE line and then the included lines.
    size_t include_line = r.listing.find("INCLUDE \"lib/util.asm\"");
    size_t twice_line = r.listing.find("TWICE:  RADD SA DA");
    ASSERT_NE(include_line, std::string::npos) << r.listing;
    ASSERT_NE(twice_line, std::string::npos) << r.listing;
    EXPECT_LT(include_line, twice_line);
}

// A fault in an included file is reported with that file's name and its
// own line number; faults in the including file keep theirs, all in the
// order the lines were read.
TEST(NdAssemblerInclude, FaultsNameTheFileAndLineTheyAreIn) {
    IncludedFiles sources;
    sources.files["inner.asm"] = "        WORD 1\n        LDQ 2\n";
    const std::string main = "        ORG 1000\n"
                             "        FOO\n"
                             "        INCLUDE \"inner.asm\"\n"
                             "        BAR\n";
    AssemblyResult r = assemble(main, "outer.asm", sources.reader());
    ASSERT_EQ(r.errors.size(), 3u);
    EXPECT_EQ(r.errors[0].file, "outer.asm");
    EXPECT_EQ(r.errors[0].line, 2);
    EXPECT_EQ(r.errors[1].file, "inner.asm");
    EXPECT_EQ(r.errors[1].line, 2);
    EXPECT_EQ(r.errors[2].file, "outer.asm");
    EXPECT_EQ(r.errors[2].line, 4);
}

TEST(NdAssemblerInclude, BadIncludesAreErrorsNotCrashes) {
    IncludedFiles sources;
    sources.files["self.asm"] = "        INCLUDE \"self.asm\"\n";
    sources.files["b.asm"] = "        WORD 1\n";
    struct Case {
        std::string line, want;
    } cases[] = {
        {"        INCLUDE \"missing.asm\"", "cannot read the included file 'missing.asm'"},
        {"        INCLUDE \"\"", "cannot read the included file ''"},
        {"        INCLUDE", "INCLUDE takes one file name in quotes"},
        {"        INCLUDE UTIL", "INCLUDE takes one file name in quotes"},
        {"        INCLUDE \"b.asm\", \"b.asm\"", "INCLUDE takes one file name in quotes"},
        {"        INCLUDE \"self.asm\"", "INCLUDE nested more than 16 deep"},
        {"INCLUDE: WORD 1", "INCLUDE"},
    };
    for (const Case &test : cases) {
        AssemblyResult r =
            assemble("        ORG 1000\n" + test.line + "\n        WORD 2\n", "t.asm", sources.reader());
        ASSERT_FALSE(r.ok()) << test.line;
        EXPECT_NE(format_diagnostic(r.errors[0]).find(test.want), std::string::npos)
            << test.line << ": " << format_diagnostic(r.errors[0]);
    }
}

} // namespace
