// The file monitor calls on a temporary ND tree: opening by name and access
// code, byte and block transfers, pointers and sizes, directory entries,
// creating, expanding, renaming, deleting and de-abbreviating files.
#include "console/tdv2215.h"
#include "host/host.h"
#include "image_test_support.h"
#include "monitor/monitor.h"

#include <cerrno>
#include <cstring>
#include <string>

namespace {

constexpr uint32_t CALL_AT = 01000;
constexpr uint32_t NAME_AT = 02000;
constexpr uint32_t TYPE_AT = 02100;
constexpr uint32_t BUFFER_AT = 04000;
constexpr uint32_t RESULT_AT = 06000;

class FileCalls : public ShellTree {
  protected:
    void SetUp() override {
        ShellTree::SetUp();
        cpu_running = 1;
        diagnostic_pause = [](int) {};
    }
    void TearDown() override {
        diagnostic_pause = host_sleep_ms;
        ShellTree::TearDown();
    }

    // Executes MON n at CALL_AT as the instruction cycle does.
    static void mon(uint32_t n) {
        machine.P = CALL_AT;
        machine.current_instruction = 0153000 | n;
        machine.instruction_address = machine.P;
        instruction_table[machine.current_instruction >> 8]();
    }
    static bool skipped() { return machine.P == CALL_AT + 2; }
    static bool failed_with(uint32_t code) { return machine.P == CALL_AT + 1 && machine.A == code; }

    // Packs text into memory, two characters a word, the first high.
    static void put_text(uint32_t address, const std::string &text) {
        for (size_t i = 0; i < text.size(); ++i)
            write_data_byte(address, static_cast<uint32_t>(i), static_cast<unsigned char>(text[i]));
    }
    static std::string get_text(uint32_t address, size_t length) {
        std::string text;
        for (size_t i = 0; i < length; ++i)
            text.push_back(static_cast<char>(read_data_byte(address, static_cast<uint32_t>(i))));
        return text;
    }

    // MON 50 of `name` (apostrophe-ended in memory) with a default type.
    static void open_call(const std::string &name, uint32_t access_code,
                          const std::string &type = "SYMB", uint32_t call = 050) {
        put_text(NAME_AT, name + "'");
        put_text(TYPE_AT, type + "'");
        machine.X = NAME_AT;
        machine.A = TYPE_AT;
        machine.T = access_code;
        mon(call);
    }
    // Opens and returns the file number, failing the test on an error.
    uint32_t open_file(const std::string &name, uint32_t access_code,
                       const std::string &type = "SYMB") {
        open_call(name, access_code, type);
        EXPECT_TRUE(skipped()) << name << " gave error " << std::oct << machine.A;
        return machine.A;
    }
    static void close(uint32_t file_number) {
        machine.T = file_number;
        mon(043);
    }
    static void put_byte(uint32_t file_number, uint32_t byte) {
        machine.T = file_number;
        machine.A = byte;
        mon(2);
    }
    static void write_words(uint32_t address, std::initializer_list<uint32_t> words) {
        for (uint32_t word : words)
            write_data(address++, word);
    }
    void make_file(const std::string &relative, const std::string &content) {
        write_text(relative, content);
    }
    void claim_scratch(const std::string &content) {
        make_file("(SCRATCH)/SCRATCH01.DATA", content);
        ASSERT_TRUE(claim_scratch_file());
    }
};

// ---- opening ----

TEST_F(FileCalls, AccessCodeAboveTenIsRefusedWithoutTakingAnEntry) {
    make_file("(EMULATOR)/DATA.SYMB", "x");
    open_call("DATA", 011);
    EXPECT_TRUE(failed_with(0104));
    EXPECT_EQ(open_file_table.open_count, 0);
}

TEST_F(FileCalls, TheTerminalIsFileOneAndUsesNoEntry) {
    make_file("(SYSTEM)/TERMINAL.SYMB", "");
    EXPECT_EQ(open_file("(SYSTEM)TERMINAL", 0), 1u);
    EXPECT_EQ(open_file_table.open_count, 0);
}

TEST_F(FileCalls, QuotedNameCreatesTheFileOnceOnly) {
    uint32_t number = open_file("\"NEWFILE\"", 0);
    EXPECT_EQ(number, 0100u);
    EXPECT_TRUE(exists("(EMULATOR)/NEWFILE.SYMB"));
    EXPECT_EQ(open_file_table.entries[0].host_path, "./(EMULATOR)/NEWFILE.SYMB");
    close(number);
    open_call("\"NEWFILE\"", 0);
    EXPECT_TRUE(failed_with(076));
    // Lower case is folded; a name without its closing quote is refused.
    open_call("\"lower\"", 1);
    EXPECT_TRUE(skipped());
    EXPECT_TRUE(exists("(EMULATOR)/LOWER.SYMB"));
    open_call("\"HALF", 0);
    EXPECT_TRUE(failed_with(021));
    // A name the file scan would never list is not made.
    open_call("\"A*B\"", 0);
    EXPECT_TRUE(failed_with(021));
    EXPECT_FALSE(exists("(EMULATOR)/A*B.SYMB"));
}

TEST_F(FileCalls, OtherUsersMayReadButNotWriteSystemFiles) {
    make_file("(SYSTEM)/SHARED.DATA", "abc");
    open_call("(SYSTEM)SHARED:DATA", 0);
    EXPECT_TRUE(failed_with(0106));
    EXPECT_EQ(read_text("(SYSTEM)/SHARED.DATA"), "abc") << "not truncated";
    // Unqualified, the name is found under SYSTEM and is still protected.
    open_call("SHARED", 2, "DATA");
    EXPECT_TRUE(failed_with(0106));
    EXPECT_EQ(open_file("(SYSTEM)SHARED:DATA", 1), 0100u);
    open_call("\"(SYSTEM)MINE\"", 0);
    EXPECT_TRUE(failed_with(070));
    EXPECT_FALSE(exists("(SYSTEM)/MINE.SYMB"));
}

TEST_F(FileCalls, SystemMayWriteItsOwnFiles) {
    make_file("(SYSTEM)/SHARED.DATA", "abc");
    user_table.current_user_name = "SYSTEM";
    user_table.current_user_index = 0;
    uint32_t number = open_file("SHARED:DATA", 0);
    put_byte(number, 'Z');
    close(number);
    EXPECT_EQ(read_text("(SYSTEM)/SHARED.DATA"), "Z");
}

TEST_F(FileCalls, NameErrorsGiveTheirCodes) {
    make_file("(EMULATOR)/ABC.SYMB", "");
    make_file("(EMULATOR)/ABD.SYMB", "");
    open_call("AB", 1);
    EXPECT_TRUE(failed_with(057)) << "ambiguous";
    open_call("NOSUCH", 1);
    EXPECT_TRUE(failed_with(056));
    open_call("(NOBODY)ABC", 1);
    EXPECT_TRUE(failed_with(046));
    open_call("ABCDEFGHIJKLMNOPQ", 1);
    EXPECT_TRUE(failed_with(044)) << "17-character file name";
    open_call("ABC:SYMBX", 1);
    EXPECT_TRUE(failed_with(044)) << "5-character type";
    open_call(":SYMB", 1);
    EXPECT_TRUE(failed_with(057)) << "empty file name";
    open_call("../ABC", 1);
    EXPECT_TRUE(failed_with(021)) << "a path separator";
    open_call(std::string(61, 'A'), 1);
    EXPECT_TRUE(failed_with(044));
    // The name ends at a blank, comma or line feed within 60 characters.
    EXPECT_EQ(open_file("ABC,REST", 1), 0100u);
    EXPECT_EQ(open_file("abd rest", 1), 0101u);
}

TEST_F(FileCalls, DefaultTypeFromMemoryAndTheTypeInTheName) {
    make_file("(EMULATOR)/PROG.DATA", "d");
    make_file("(EMULATOR)/PROG.SYMB", "s");
    uint32_t data = open_file("PROG", 1, "DATA");
    EXPECT_EQ(open_file_table.entries[data - 0100].host_path, "./(EMULATOR)/PROG.DATA");
    EXPECT_EQ(open_file_table.entries[data - 0100].type, "DATA");
    uint32_t symb = open_file("PROG:SY", 1, "DATA");
    EXPECT_EQ(open_file_table.entries[symb - 0100].host_path, "./(EMULATOR)/PROG.SYMB");
    EXPECT_EQ(open_file_table.entries[symb - 0100].type, "SYMB");
    // A zero first byte of the default type means SYMB.
    put_text(NAME_AT, "PROG'");
    write_data(TYPE_AT, 0);
    machine.X = NAME_AT;
    machine.A = TYPE_AT;
    machine.T = 1;
    mon(050);
    ASSERT_TRUE(skipped());
    EXPECT_EQ(open_file_table.entries[machine.A - 0100].host_path, "./(EMULATOR)/PROG.SYMB");
}

TEST_F(FileCalls, TooManyOpenFilesGive107) {
    make_file("(EMULATOR)/F.SYMB", "");
    for (int i = 0; i < OPEN_FILE_ENTRIES; ++i)
        open_file("F", 1);
    EXPECT_EQ(open_file_table.open_count, OPEN_FILE_ENTRIES);
    open_call("F", 1);
    EXPECT_TRUE(failed_with(0107));
}

TEST_F(FileCalls, OldFormOpenReadsItsParameterBlockThroughTheNormalTable) {
    make_file("(EMULATOR)/OLD.DATA", "old");
    // Word 0 points one word before the name; words 1 and 2 give its length.
    write_words(03000, {NAME_AT - 1, 0, 2, 0, 3});
    put_text(NAME_AT, "OLD");
    put_text(TYPE_AT, "DATA\\");
    machine.X = 03000;
    machine.A = TYPE_AT;
    machine.T = 1;
    mon(042);
    ASSERT_TRUE(skipped()) << std::oct << machine.A;
    EXPECT_EQ(open_file_table.entries[machine.A - 0100].host_path, "./(EMULATOR)/OLD.DATA");
    // Random access through the old form starts from an empty file.
    machine.A = TYPE_AT;
    machine.T = 2;
    mon(042);
    ASSERT_TRUE(skipped());
    EXPECT_EQ(open_file_table.entries[machine.A - 0100].maximum_size, 0u);
    EXPECT_EQ(open_file_table.entries[machine.A - 0100].block_buffer.size(), 512u);
    write_words(03000, {NAME_AT - 1, 0, 0201});
    machine.A = TYPE_AT;
    mon(042);
    EXPECT_TRUE(failed_with(044));
}

TEST_F(FileCalls, RawOpenModeTakesAHostPathInsideTheTree) {
    settings.mon_open_mode = 1;
    make_file("(EMULATOR)/raw.txt", "raw");
    uint32_t number = open_file("(EMULATOR)/raw.txt", 1);
    EXPECT_EQ(open_file_table.entries[number - 0100].host_path, "(EMULATOR)/raw.txt");
    open_call("(EMULATOR)/missing", 1, "DATA");
    EXPECT_TRUE(failed_with(056));
    open_call("\"(EMULATOR)/made\"", 0, "DATA");
    EXPECT_TRUE(skipped());
    EXPECT_TRUE(exists("(EMULATOR)/made.DATA"));
    open_call("\"(EMULATOR)/made\"", 0, "DATA");
    EXPECT_TRUE(failed_with(076));
    open_call("../outside", 1, "DATA");
    EXPECT_TRUE(failed_with(021));
    open_call("/etc/passwd", 1, "DATA");
    EXPECT_TRUE(failed_with(021));
    // A zero byte before the apostrophe of the type is an error.
    put_text(NAME_AT, "X'");
    write_words(TYPE_AT, {0});
    machine.X = NAME_AT;
    machine.A = TYPE_AT;
    machine.T = 1;
    mon(050);
    EXPECT_TRUE(failed_with(044));
    // MON 220 resolves names whatever the mode.
    make_file("(EMULATOR)/NAMED.SYMB", "");
    open_call("NAM", 1, "SYMB", 0220);
    EXPECT_TRUE(skipped());
}

// ---- byte transfers ----

TEST_F(FileCalls, SequentialBytesWrittenAndReadBack) {
    uint32_t out = open_file("\"TEXT\"", 0);
    for (char c : std::string("HI\r\n"))
        put_byte(out, static_cast<unsigned char>(c));
    EXPECT_TRUE(skipped());
    close(out);
    EXPECT_EQ(read_text("(EMULATOR)/TEXT.SYMB"), "HI\r\n");

    uint32_t in = open_file("TEXT", 1);
    std::string got;
    for (;;) {
        machine.T = in;
        mon(1);
        if (!skipped()) break;
        got.push_back(static_cast<char>(machine.A));
    }
    EXPECT_TRUE(failed_with(3)) << "end of file";
    EXPECT_EQ(got, "HI\r\n");
}

TEST_F(FileCalls, ByteCallsCheckTheAccessCode) {
    make_file("(EMULATOR)/BOTH.SYMB", "x");
    uint32_t reading = open_file("BOTH", 1);
    put_byte(reading, 'a');
    EXPECT_TRUE(failed_with(0123));
    uint32_t writing = open_file("BOTH", 0);
    machine.T = writing;
    mon(1);
    EXPECT_TRUE(failed_with(0124));
    put_byte(0121, 'a');
    EXPECT_TRUE(failed_with(0132));
    // Appending keeps what is there.
    close(writing);
    uint32_t append = open_file("BOTH", 5);
    put_byte(append, 'y');
    close(append);
    EXPECT_EQ(read_text("(EMULATOR)/BOTH.SYMB"), "y") << "code 0 emptied it first";
}

TEST_F(FileCalls, SevenBitWritesAndParityReadsOnSymbFiles) {
    settings.seven_bit_symb_mask = 077577;
    uint32_t symb = open_file("\"SEVEN\"", 0);
    put_byte(symb, 0241);
    close(symb);
    uint32_t data = open_file("\"EIGHT\"", 0, "DATA");
    put_byte(data, 0241);
    close(data);
    EXPECT_EQ(read_text("(EMULATOR)/SEVEN.SYMB"), "!");
    EXPECT_EQ(read_text("(EMULATOR)/EIGHT.DATA"), "\241");

    make_file("(EMULATOR)/PAR.SYMB", "AC"); // 101: two ones, 103: three ones
    settings.parity_on_symb_read = 1;
    uint32_t in = open_file("PAR", 1);
    machine.T = in;
    mon(1);
    EXPECT_EQ(machine.A, 0101u);
    machine.T = in;
    mon(1);
    EXPECT_EQ(machine.A, 0303u);
}

// ---- block transfers ----

TEST_F(FileCalls, BlockWriteExtendsTheMaximumSizeAndCloseImposesIt) {
    uint32_t number = open_file("\"BLOCKS\"", 2, "DATA");
    for (uint32_t i = 0; i < 256; ++i)
        write_data(BUFFER_AT + i, 0x4100 + i);
    machine.T = number;
    machine.A = 3;
    machine.X = BUFFER_AT;
    mon(010);
    ASSERT_TRUE(skipped());
    EXPECT_EQ(machine.A, 3u) << "A unchanged";
    EXPECT_EQ(open_file_table.entries[0].maximum_size, 2048u);
    close(number);
    std::string bytes = read_text("(EMULATOR)/BLOCKS.DATA");
    ASSERT_EQ(bytes.size(), 2048u);
    EXPECT_EQ(bytes.substr(0, 1536), std::string(1536, '\0'));
    EXPECT_EQ(bytes[1536], 0x41);
    EXPECT_EQ(static_cast<unsigned char>(bytes[1537]), 0u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[2047]), 0377u);
}

TEST_F(FileCalls, BlockNextAfterTheBufferedOneAndAShortLastBlock) {
    std::string content;
    for (int block = 0; block < 6; ++block)
        content += std::string(512, static_cast<char>('0' + block));
    content += "END";
    make_file("(EMULATOR)/SIX.DATA", content);
    uint32_t number = open_file("SIX", 3, "DATA");
    machine.T = number;
    machine.A = 4;
    machine.X = BUFFER_AT;
    mon(7);
    ASSERT_TRUE(skipped());
    EXPECT_EQ(read_data(BUFFER_AT), 0x3434u);
    testing::internal::CaptureStdout();
    machine.T = number;
    machine.A = 0177777;
    mon(7);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n MON 7, block = -1, reading next block \n");
    EXPECT_EQ(read_data(BUFFER_AT), 0x3535u);
    // Block 6 holds three bytes; the rest of the block reads as zeros.
    machine.T = number;
    machine.A = 6;
    mon(7);
    ASSERT_TRUE(skipped());
    EXPECT_EQ(get_text(BUFFER_AT, 4), std::string("END\0", 4));
    EXPECT_EQ(read_data(BUFFER_AT + 255), 0u);
    machine.T = number;
    machine.A = 7;
    mon(7);
    EXPECT_TRUE(failed_with(022));
    // A read-only file cannot be written by block, nor a sequential one read.
    machine.T = number;
    machine.A = 0;
    mon(010);
    EXPECT_TRUE(failed_with(0136));
    uint32_t sequential = open_file("SIX", 1, "DATA");
    machine.T = sequential;
    machine.A = 0;
    mon(7);
    EXPECT_TRUE(failed_with(0136));
}

TEST_F(FileCalls, ScratchFileBlocks) {
    claim_scratch(std::string(1024, 'S'));
    write_data(BUFFER_AT, 0x4142);
    machine.T = 1;
    machine.X = BUFFER_AT;
    machine.A = 0777;
    mon(6);
    ASSERT_TRUE(skipped());
    EXPECT_EQ(machine.A, 0777u);
    write_data(BUFFER_AT, 0);
    machine.T = 0177777;
    testing::internal::CaptureStdout();
    mon(5);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n MON 5, block = -1, reading next block \n");
    EXPECT_TRUE(failed_with(022)) << "block 2 does not exist yet";
    machine.T = 1;
    mon(5);
    ASSERT_TRUE(skipped());
    EXPECT_EQ(read_data(BUFFER_AT), 0x4142u);
    close_all_files(CLOSE_EVERYTHING);
    EXPECT_EQ(read_text("(SCRATCH)/SCRATCH01.DATA").substr(512, 2), "AB");
    machine.T = 0;
    mon(5);
    EXPECT_TRUE(failed_with(0132));
}

TEST_F(FileCalls, ExtendedBlockCallsWrapWithinThePageTable) {
    uint32_t number = open_file("\"WRAP\"", 2, "DATA");
    // Four words from 177776 on: two at the top of the page table, two at 0.
    write_words(0177776, {0x0102, 0x0304});
    write_words(0, {0x0506, 0x0708});
    write_words(RESULT_AT, {number, 0, 0177776, 1, 4});
    machine.A = RESULT_AT;
    mon(0120);
    EXPECT_TRUE(failed_with(0));
    EXPECT_EQ(open_file_table.entries[0].maximum_size, 512u + 8u);
    close(number);
    EXPECT_EQ(read_text("(EMULATOR)/WRAP.DATA"),
              std::string(512, '\0') + "\x01\x02\x03\x04\x05\x06\x07\x08")
        << "only the program's words reach the file";

    number = open_file("WRAP", 3, "DATA");
    write_words(RESULT_AT, {number, 0, 0177777, 1, 4});
    machine.A = RESULT_AT;
    mon(0117);
    EXPECT_TRUE(failed_with(0));
    EXPECT_EQ(read_data(0177777), 0x0102u);
    EXPECT_EQ(read_data(0), 0x0304u);
    EXPECT_EQ(read_data(2), 0x0708u);
    EXPECT_EQ(open_file_table.entries[0].buffered_block, 1);
    // Word count 0 writes nothing; a file not open gives 132.
    write_words(RESULT_AT, {0121, 0, 0, 0, 1});
    mon(0117);
    EXPECT_TRUE(failed_with(0132));
}

TEST_F(FileCalls, ExtendedReadTakesTheNextBlockWithoutAMessage) {
    make_file("(EMULATOR)/NEXT.DATA", std::string(512, 'a') + std::string(512, 'b'));
    uint32_t number = open_file("NEXT", 3, "DATA");
    write_words(RESULT_AT, {number, 0, 0, 0, 1});
    machine.A = RESULT_AT;
    mon(0117);
    ASSERT_TRUE(failed_with(0));
    write_words(RESULT_AT, {number, 0, BUFFER_AT, 0177777, 1});
    machine.A = RESULT_AT;
    testing::internal::CaptureStdout();
    mon(0117);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(failed_with(0));
    EXPECT_EQ(read_data(BUFFER_AT), 0x6262u) << "block 1";
}

TEST_F(FileCalls, ExtendedWriteOfNoWordsSucceedsWhateverTheBlockSize) {
    uint32_t number = open_file("\"NOWORDS\"", 2, "DATA");
    machine.T = number;
    machine.A = 0;
    mon(076);
    ASSERT_TRUE(skipped());
    write_words(RESULT_AT, {number, 0, BUFFER_AT, 5, 0});
    machine.A = RESULT_AT;
    testing::internal::CaptureStdout();
    mon(0120);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(failed_with(0));
    // Words to write in blocks of no bytes cannot reach the file.
    write_words(RESULT_AT, {number, 0, BUFFER_AT, 5, 1});
    machine.A = RESULT_AT;
    testing::internal::CaptureStdout();
    mon(0120);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nError writing block 5\n");
    EXPECT_TRUE(failed_with(022));
}

// ---- closing, pointers and sizes ----

TEST_F(FileCalls, CloseNumbersAndRanges) {
    close(0200);
    EXPECT_TRUE(failed_with(0127));
    close(0120);
    EXPECT_TRUE(skipped()) << "not open, still the skip return";
    close(1);
    EXPECT_TRUE(skipped());
    make_file("(EMULATOR)/C.SYMB", "");
    open_file("C", 1);
    open_file("C", 1);
    close(0177777);
    EXPECT_TRUE(skipped());
    EXPECT_EQ(open_file_table.open_count, 0);
}

TEST_F(FileCalls, ClosingTheScratchFileByNumberKeepsItForLaterRuns) {
    claim_scratch(std::string(1024, 'S'));
    machine.T = 0100;
    machine.A = 01000;
    mon(076);
    close(0100);
    ASSERT_TRUE(skipped());
    EXPECT_EQ(open_file_table.open_count, 1);
    EXPECT_EQ(open_file_table.entries[0].file_number, 0100);
    EXPECT_EQ(open_file_table.entries[0].block_size, 512) << "back to its standard size";
    write_data(BUFFER_AT, 0x4142);
    machine.T = 1;
    machine.X = BUFFER_AT;
    mon(6);
    EXPECT_TRUE(skipped());
    // Only closing everything closes it, and its contents stay.
    close(0177776);
    EXPECT_EQ(open_file_table.open_count, 0);
    EXPECT_EQ(read_text("(SCRATCH)/SCRATCH01.DATA").substr(510, 4), "SSAB");
}

TEST_F(FileCalls, NoOpenEmptiesAScratchFile) {
    claim_scratch("mine");
    make_file("(SCRATCH)/SCRATCH02.DATA", "other instance");
    open_call("(SCRATCH)SCRATCH01", 0, "DATA");
    EXPECT_TRUE(failed_with(0106));
    open_call("(SCRATCH)SCRATCH02", 0, "DATA");
    EXPECT_TRUE(failed_with(0106));
    uint32_t number = open_file("(SCRATCH)SCRATCH02", 1, "DATA");
    close(number);
    number = open_file("(SCRATCH)SCRATCH02", 2, "DATA");
    close(number);
    settings.mon_open_mode = 1;
    open_call("(SCRATCH)/./SCRATCH02.DATA", 0);
    EXPECT_TRUE(failed_with(0106)) << "by whatever path";
    EXPECT_EQ(read_text("(SCRATCH)/SCRATCH01.DATA"), "mine");
    EXPECT_EQ(read_text("(SCRATCH)/SCRATCH02.DATA"), "other instance");
}

TEST_F(FileCalls, RawRandomAccessCodeTenKeepsTheFileItOnlyRead) {
    settings.mon_open_mode = 1;
    make_file("(EMULATOR)/keep.dat", std::string(700, 'k'));
    uint32_t number = open_file("(EMULATOR)/keep.dat", 010);
    machine.T = number;
    machine.A = 0;
    machine.X = BUFFER_AT;
    mon(7);
    EXPECT_TRUE(skipped());
    close(number);
    EXPECT_EQ(read_text("(EMULATOR)/keep.dat"), std::string(700, 'k'));
}

TEST_F(FileCalls, SizesAndPointers) {
    make_file("(EMULATOR)/SIZED.DATA", std::string(70000, 'x'));
    uint32_t number = open_file("SIZED", 4, "DATA");
    machine.T = number;
    mon(062);
    ASSERT_TRUE(skipped());
    EXPECT_EQ(machine.A, 1u);
    EXPECT_EQ(machine.D, 70000u - 65536u);
    machine.T = 0121;
    mon(062);
    EXPECT_TRUE(failed_with(0132));

    machine.T = number;
    machine.A = 0;
    machine.D = 100;
    mon(074);
    ASSERT_TRUE(skipped());
    machine.T = number;
    mon(075);
    ASSERT_TRUE(skipped());
    EXPECT_EQ(machine.A, 0u);
    EXPECT_EQ(machine.D, 100u);
    machine.T = number;
    mon(1);
    EXPECT_EQ(machine.A, static_cast<uint32_t>('x'));

    // The byte count ends the file where the program says.
    machine.T = number;
    machine.A = 0;
    machine.D = 1000;
    mon(073);
    ASSERT_TRUE(skipped());
    close(number);
    EXPECT_EQ(read_text("(EMULATOR)/SIZED.DATA").size(), 1000u);

    machine.T = 077;
    mon(073);
    EXPECT_TRUE(failed_with(0133));
    uint32_t reading = open_file("SIZED", 1, "DATA");
    machine.T = reading;
    mon(073);
    EXPECT_TRUE(failed_with(0123));
}

TEST_F(FileCalls, RandomAccessPointersBlockSizeAndBlockPointer) {
    std::string content;
    for (int block = 0; block < 8; ++block)
        content += std::string(256, static_cast<char>('a' + block));
    make_file("(EMULATOR)/RAND.DATA", content);
    uint32_t number = open_file("RAND", 2, "DATA");
    machine.T = number;
    mon(075);
    EXPECT_TRUE(failed_with(0125));

    // Block size 128 words: blocks of 256 bytes.
    machine.T = number;
    machine.A = 0200;
    mon(076);
    ASSERT_TRUE(skipped());
    EXPECT_EQ(open_file_table.entries[0].block_size, 256);

    // The byte pointer 600 lies in block 2; the next block read is block 3.
    machine.T = number;
    machine.A = 0;
    machine.D = 600;
    mon(074);
    ASSERT_TRUE(skipped());
    EXPECT_EQ(open_file_table.entries[0].buffered_block, 2);
    machine.T = number;
    machine.A = 0177777;
    machine.X = BUFFER_AT;
    testing::internal::CaptureStdout();
    mon(7);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(read_data(BUFFER_AT), 0x6464u);

    testing::internal::CaptureStdout();
    machine.T = number;
    machine.A = 5;
    mon(077);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nMON 77 not tested. Set blockpointer 10 for file 100\n");
    ASSERT_TRUE(skipped());
    EXPECT_EQ(open_file_table.entries[0].buffered_block, 5);
    testing::internal::CaptureStdout();
    machine.T = number;
    machine.A = 0100000;
    mon(077);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(failed_with(0143));
}

// ---- directory entries ----

TEST_F(FileCalls, DirectoryEntryOfAnOpenFile) {
    make_file("(EMULATOR)/ENTRY.DATA", std::string(5000, 'e'));
    uint32_t number = open_file("ENTRY", 1, "DATA");
    for (uint32_t i = 0; i < 32; ++i)
        write_data(RESULT_AT + i, 0177777);
    machine.T = number;
    machine.A = RESULT_AT;
    mon(041);
    ASSERT_TRUE(skipped());
    EXPECT_EQ(read_data(RESULT_AT), 0151053u);
    EXPECT_EQ(get_text(RESULT_AT + 1, 16), std::string("ENTRY'DATA\0\0\0\0\0\0", 16));
    EXPECT_EQ(get_text(RESULT_AT + 9, 4), "DATA");
    EXPECT_EQ(read_data(RESULT_AT + 16),
              static_cast<uint32_t>(user_table.current_user_index + 0400));
    EXPECT_EQ(read_data(RESULT_AT + 27), 2u);
    EXPECT_EQ(read_data(RESULT_AT + 28), 0u);
    EXPECT_EQ(read_data(RESULT_AT + 29), 5000u);
    EXPECT_EQ(read_data(RESULT_AT + 31), 037330u);
    machine.T = 1;
    mon(041);
    EXPECT_TRUE(skipped());
    machine.T = 0120;
    mon(041);
    EXPECT_TRUE(failed_with(0132));
}

TEST_F(FileCalls, DirectoryEntryByObjectNumber) {
    make_file("(EMULATOR)/ONE.SYMB", std::string(2049, '1'));
    machine.A = RESULT_AT;
    machine.X = 0400;
    mon(0215);
    EXPECT_TRUE(failed_with(0247));
    machine.A = RESULT_AT;
    machine.X = 0;
    mon(0215);
    ASSERT_TRUE(skipped());
    EXPECT_EQ(read_data(RESULT_AT), 0100000u);
    EXPECT_EQ(get_text(RESULT_AT + 1, 8), std::string("ONE'SYMB", 8));
    EXPECT_EQ(get_text(RESULT_AT + 9, 4), "SYMB");
    EXPECT_EQ(read_data(RESULT_AT + 27), 2u) << "pages rounded up";
    EXPECT_EQ(read_data(RESULT_AT + 29), 2049u);
    // The packed modification time: any year after 2013 packs as 63.
    EXPECT_EQ(read_data(RESULT_AT + 24) >> 10, 63u);
    write_data(RESULT_AT, 0);
    machine.A = RESULT_AT;
    machine.X = 1;
    mon(0215);
    EXPECT_TRUE(failed_with(0247));
    EXPECT_EQ(read_data(RESULT_AT), 0100000u);
}

// ---- creating, expanding, renaming, deleting ----

TEST_F(FileCalls, CreateWritesWholePagesOfZeros) {
    write_words(RESULT_AT, {0, 0201});
    put_text(NAME_AT, "TWO'");
    machine.X = NAME_AT;
    machine.T = RESULT_AT;
    mon(0221);
    EXPECT_TRUE(failed_with(054));
    write_words(RESULT_AT, {0, 2});
    mon(0221);
    ASSERT_TRUE(skipped());
    EXPECT_EQ(read_text("(EMULATOR)/TWO.DATA"), std::string(4096, '\0'));
    mon(0221);
    EXPECT_TRUE(failed_with(076));
    // An explicit user and type; SYSTEM's directory is not for others.
    put_text(NAME_AT, "(rt)three:symb'");
    mon(0221);
    ASSERT_TRUE(skipped());
    EXPECT_TRUE(exists("(RT)/THREE.SYMB"));
    put_text(NAME_AT, "(NOBODY)X'");
    mon(0221);
    EXPECT_TRUE(failed_with(046));
    put_text(NAME_AT, "(SYSTEM)X'");
    mon(0221);
    EXPECT_TRUE(failed_with(070));
}

TEST_F(FileCalls, ExpandAddsZerosUpToWholePages) {
    std::string content(3000, 'q');
    make_file("(EMULATOR)/GROW.DATA", content);
    put_text(NAME_AT, "GROW:DATA'");
    write_words(RESULT_AT, {0, 1});
    machine.X = NAME_AT;
    machine.T = RESULT_AT;
    mon(0231);
    ASSERT_TRUE(skipped());
    std::string grown = read_text("(EMULATOR)/GROW.DATA");
    ASSERT_EQ(grown.size(), 3000u + 1096u + 2048u);
    EXPECT_EQ(grown.substr(0, 3000), content);
    EXPECT_EQ(grown.substr(3000), std::string(1096 + 2048, '\0'));
    put_text(NAME_AT, "NONE'");
    mon(0231);
    EXPECT_TRUE(failed_with(056));
}

TEST_F(FileCalls, ExpandingAFileGrowsFromWhatTheProgramWroteToIt) {
    uint32_t number = open_file("\"GROWN\"", 0, "DATA");
    for (int i = 0; i < 3000; ++i)
        put_byte(number, 'g');
    put_text(NAME_AT, "GROWN:DATA'");
    write_words(RESULT_AT, {0, 1});
    machine.X = NAME_AT;
    machine.T = RESULT_AT;
    mon(0231);
    ASSERT_TRUE(skipped());
    close(number);
    EXPECT_EQ(read_text("(EMULATOR)/GROWN.DATA"), std::string(3000, 'g') + std::string(3144, '\0'));
}

TEST_F(FileCalls, ExpandingAnOpenRandomAccessFileSurvivesItsClose) {
    make_file("(EMULATOR)/OPEN.DATA", std::string(100, 'o'));
    uint32_t number = open_file("OPEN", 2, "DATA");
    put_text(NAME_AT, "OPEN:DATA'");
    write_words(RESULT_AT, {0, 1});
    machine.X = NAME_AT;
    machine.T = RESULT_AT;
    mon(0231);
    ASSERT_TRUE(skipped());
    close(number);
    EXPECT_EQ(read_text("(EMULATOR)/OPEN.DATA").size(), 4096u);
}

TEST_F(FileCalls, RenameWithinAndBetweenUsers) {
    make_file("(EMULATOR)/OLDNAME.SYMB", "content");
    make_file("(EMULATOR)/TAKEN.SYMB", "");
    put_text(NAME_AT, "OLDN'");
    put_text(TYPE_AT, "TAKEN:SYMB'");
    machine.X = NAME_AT;
    machine.A = TYPE_AT;
    mon(0232);
    EXPECT_TRUE(failed_with(076));
    put_text(TYPE_AT, "NEWNAME'");
    machine.A = TYPE_AT;
    mon(0232);
    ASSERT_TRUE(skipped());
    EXPECT_EQ(read_text("(EMULATOR)/NEWNAME.SYMB"), "content") << "the type is kept";
    EXPECT_FALSE(exists("(EMULATOR)/OLDNAME.SYMB"));

    put_text(NAME_AT, "NEWNAME:SYMB'");
    put_text(TYPE_AT, "(R)MOVED:SYMB'");
    machine.A = TYPE_AT;
    mon(0232);
    ASSERT_TRUE(skipped());
    EXPECT_EQ(read_text("(RT)/MOVED.SYMB"), "content");

    put_text(NAME_AT, "TAKEN:SYMB'");
    put_text(TYPE_AT, "(S)X:SYMB'");
    machine.A = TYPE_AT;
    mon(0232);
    EXPECT_TRUE(failed_with(045)) << "SYSTEM and SCRATCH";
    put_text(TYPE_AT, "(SYSTEM)X:SYMB'");
    machine.A = TYPE_AT;
    mon(0232);
    EXPECT_TRUE(failed_with(0106));
    put_text(TYPE_AT, "A/B'");
    machine.A = TYPE_AT;
    mon(0232);
    EXPECT_TRUE(failed_with(021));
    EXPECT_TRUE(exists("(EMULATOR)/TAKEN.SYMB"));
}

TEST_F(FileCalls, FilesInUseAreNeitherRenamedNorDeleted) {
    claim_scratch("");
    make_file("(EMULATOR)/BUSY.DATA", std::string(600, 'b'));
    make_file("(SCRATCH)/SCRATCH02.DATA", "other instance");
    uint32_t number = open_file("BUSY", 2, "DATA");
    put_text(NAME_AT, "BUSY:DATA'");
    put_text(TYPE_AT, "MOVED:DATA'");
    machine.X = NAME_AT;
    machine.A = TYPE_AT;
    testing::internal::CaptureStdout();
    mon(0232);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nRename file ./(EMULATOR)/BUSY.DATA to ./(EMULATOR)/MOVED.DATA failed");
    EXPECT_TRUE(failed_with(6));
    machine.X = NAME_AT;
    testing::internal::CaptureStdout();
    mon(054);
    std::string busy = std::strerror(EBUSY);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n(MON 54)Remove file ./(EMULATOR)/BUSY.DATA failed, status -1\nError no is : " +
                  std::to_string(EBUSY) + ", " + busy + "\n");
    EXPECT_TRUE(failed_with(0177777));
    // The file a later open makes under the old name is not cut to this
    // entry's size when it closes.
    close(number);
    EXPECT_EQ(read_text("(EMULATOR)/BUSY.DATA"), std::string(600, 'b'));
    put_text(NAME_AT, "BUSY:DATA'");
    machine.X = NAME_AT;
    mon(054);
    EXPECT_TRUE(skipped()) << "closed, it goes";

    // The scratch files of every instance stay where they are.
    for (const char *name : {"(SCRATCH)SCRATCH01:DATA'", "(SCRATCH)SCRATCH02:DATA'"}) {
        put_text(NAME_AT, name);
        machine.X = NAME_AT;
        testing::internal::CaptureStdout();
        mon(054);
        testing::internal::GetCapturedStdout();
        EXPECT_TRUE(failed_with(0177777)) << name;
    }
    EXPECT_TRUE(exists("(SCRATCH)/SCRATCH01.DATA"));
    EXPECT_EQ(read_text("(SCRATCH)/SCRATCH02.DATA"), "other instance");
}

// Another KESTREL instance is another lock handle on the file.
TEST_F(FileCalls, AFileAnotherInstanceHasOpenIsRefusedWith105) {
    make_file("(EMULATOR)/HELD.DATA", "held");
    HostLockHandle other;
    ASSERT_TRUE(host_open_lock_handle("./(EMULATOR)/HELD.DATA", &other));
    ASSERT_TRUE(host_set_lock(other, HostLockLevel::Shared));
    for (uint32_t code : {0u, 2u, 5u}) {
        open_call("HELD", code, "DATA");
        EXPECT_TRUE(failed_with(0105)) << "access code " << code;
    }
    uint32_t number = open_file("HELD", 1, "DATA");
    close(number);
    put_text(NAME_AT, "HELD:DATA'");
    put_text(TYPE_AT, "MOVED:DATA'");
    write_words(RESULT_AT, {0, 1});
    machine.X = NAME_AT;
    machine.A = TYPE_AT;
    mon(0232);
    EXPECT_TRUE(failed_with(0105)) << "rename";
    machine.X = NAME_AT;
    machine.T = RESULT_AT;
    mon(0231);
    EXPECT_TRUE(failed_with(0105)) << "expand";
    machine.X = NAME_AT;
    mon(054);
    EXPECT_TRUE(failed_with(0105)) << "delete";
    EXPECT_EQ(read_text("(EMULATOR)/HELD.DATA"), "held");

    // Writing elsewhere, it keeps this instance from reading too.
    ASSERT_TRUE(host_set_lock(other, HostLockLevel::Exclusive));
    open_call("HELD", 1, "DATA");
    EXPECT_TRUE(failed_with(0105));
    host_close_lock_handle(&other);
    number = open_file("HELD", 0, "DATA");
    close(number);
    EXPECT_EQ(read_text("(EMULATOR)/HELD.DATA"), "") << "free again, it may be written";
}

TEST_F(FileCalls, DeleteByNameAndTheSystemFallback) {
    make_file("(EMULATOR)/GONE.SYMB", "");
    make_file("(SYSTEM)/KEEP.SYMB", "");
    put_text(NAME_AT, "gone'");
    machine.X = NAME_AT;
    mon(054);
    ASSERT_TRUE(skipped());
    EXPECT_FALSE(exists("(EMULATOR)/GONE.SYMB"));
    mon(054);
    EXPECT_TRUE(failed_with(056));
    put_text(NAME_AT, "KEEP'");
    mon(054);
    EXPECT_TRUE(failed_with(0106));
    EXPECT_TRUE(exists("(SYSTEM)/KEEP.SYMB"));
}

// ---- de-abbreviation ----

TEST_F(FileCalls, FullNameOfAnAbbreviation) {
    make_file("(EMULATOR)/ABC.SYMB", "");
    put_text(NAME_AT, "AB'");
    put_text(TYPE_AT, "SYMB'");
    machine.X = NAME_AT;
    machine.T = TYPE_AT;
    machine.A = RESULT_AT;
    mon(0256);
    ASSERT_TRUE(skipped());
    EXPECT_EQ(get_text(RESULT_AT + 1, 22), "./(EMULATOR)/ABC.SYMB'");

    make_file("(EMULATOR)/ABD.SYMB", "");
    machine.A = RESULT_AT;
    mon(0256);
    EXPECT_TRUE(failed_with(057));
    put_text(NAME_AT, "()'");
    machine.A = RESULT_AT;
    mon(0256);
    EXPECT_TRUE(failed_with(057));
    // A name ended by neither an apostrophe nor a carriage return.
    for (uint32_t i = 0; i < 128; ++i)
        write_data(NAME_AT + i, 0x4141);
    machine.A = RESULT_AT;
    mon(0256);
    EXPECT_TRUE(failed_with(044));
    // A carriage return ends the name too; a zero in the default type is an error.
    put_text(NAME_AT, "ABC\r");
    write_words(TYPE_AT, {0x5300});
    machine.A = RESULT_AT;
    mon(0256);
    EXPECT_TRUE(failed_with(044));
}

TEST_F(FileCalls, FullNameDiagnosticsAtLevelFour) {
    settings.debug_level = 4;
    make_file("(EMULATOR)/ABC.SYMB", "");
    put_text(NAME_AT, "AB'");
    put_text(TYPE_AT, "SYMB'");
    machine.X = NAME_AT;
    machine.T = TYPE_AT;
    machine.A = RESULT_AT;
    testing::internal::CaptureStdout();
    mon(0256);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nFile to deabb: AB.SYMB\n\nDeabbr file: ./(EMULATOR)/ABC.SYMB\n");
    EXPECT_TRUE(skipped());
    // A failed resolution reports its result line, then the status.
    put_text(NAME_AT, "XY'");
    machine.A = RESULT_AT;
    testing::internal::CaptureStdout();
    mon(0256);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nFile to deabb: XY.SYMB\n\nDeabbr file: \n\nNo such file name\n");
    EXPECT_TRUE(failed_with(056));
}

} // namespace
