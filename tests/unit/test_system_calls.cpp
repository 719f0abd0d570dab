// The system, user and miscellaneous monitor calls: time, holds, byte
// buffers, the command line, the alternative page table, users, fixed
// information blocks, device attributes and function, segments.
#include "host/host.h"
#include "image_test_support.h"
#include "monitor/monitor.h"

#include <string>

namespace {

constexpr uint32_t CALL_AT = 01000;
constexpr uint32_t LIST_AT = 02000;
constexpr uint32_t TEXT_AT = 02100;
constexpr uint32_t RESULT_AT = 03000;

class SystemCalls : public ShellTree {
  protected:
    void SetUp() override {
        ShellTree::SetUp();
        cpu_running = 1;
    }
    static void mon(uint32_t n) {
        machine.P = CALL_AT;
        machine.current_instruction = 0153000 | n;
        machine.instruction_address = machine.P;
        instruction_table[machine.current_instruction >> 8]();
    }
    static bool skipped() { return machine.P == CALL_AT + 2; }
    static bool returned() { return machine.P == CALL_AT + 1; }
    static bool failed_with(uint32_t code) { return returned() && machine.A == code; }
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
    // A parameter list at LIST_AT whose words point at the given values,
    // placed from LIST_AT + 20 on.
    static void list_by_reference(std::initializer_list<uint32_t> values) {
        uint32_t i = 0;
        for (uint32_t value : values) {
            write_data(LIST_AT + 020 + i, value);
            write_data(LIST_AT + i, LIST_AT + 020 + i);
            ++i;
        }
        machine.A = LIST_AT;
    }
    static void write_words_at(uint32_t address, std::initializer_list<uint32_t> words) {
        for (uint32_t word : words)
            write_data(address++, word);
    }
    static void become(const char *user) {
        user_table.current_user_name = user;
        user_table.current_user_index = find_user_exact(user);
    }
};

// ---- time ----

TEST_F(SystemCalls, TimeSinceStartInTwentiethsOfASecond) {
    shell.start_time = host_time_seconds() - 20;
    mon(011);
    EXPECT_TRUE(returned());
    EXPECT_EQ(machine.A, 0u);
    EXPECT_EQ(machine.D, 0620u);
}

TEST_F(SystemCalls, TimeSinceTheRunStarted) {
    shell.run_start_milliseconds = host_time_milliseconds() - 100000;
    mon(0114);
    EXPECT_TRUE(returned());
    uint32_t elapsed = (machine.A << 16) | machine.D;
    EXPECT_GE(elapsed, 2000u);
    EXPECT_LT(elapsed, 2200u);
}

TEST_F(SystemCalls, DateAndTimeThroughTheNormalPageTable) {
    write_normal(LIST_AT, RESULT_AT);
    machine.A = LIST_AT;
    struct tm before {};
    host_local_time(&before);
    mon(0113);
    EXPECT_TRUE(returned());
    EXPECT_LT(read_normal(RESULT_AT), 50u);
    EXPECT_LT(read_normal(RESULT_AT + 1), 61u);
    EXPECT_LT(read_normal(RESULT_AT + 2), 60u);
    EXPECT_LT(read_normal(RESULT_AT + 3), 24u);
    EXPECT_GE(read_normal(RESULT_AT + 4), 1u);
    EXPECT_GE(read_normal(RESULT_AT + 5), 1u);
    EXPECT_LE(read_normal(RESULT_AT + 5), 12u);
    EXPECT_GE(read_normal(RESULT_AT + 6), static_cast<uint32_t>(before.tm_year + 1900));
}

TEST_F(SystemCalls, HoldUnitsAndItsReport) {
    settings.debug_level = 1;
    testing::internal::CaptureStdout();
    list_by_reference({3, 5});
    mon(0104);
    EXPECT_TRUE(returned());
    list_by_reference({0, 2});
    mon(0104);
    list_by_reference({1, 1});
    machine.A = LIST_AT;
    mon(0267);
    EXPECT_TRUE(failed_with(0));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nHold 3 5 = 0 milsec @1000 2000\n"
                                                      "\nHold 0 2 = 0 milsec @1000 2000\n"
                                                      "\nHold 1 1 = 20 milsec @1000 2000\n");
}

// ---- byte buffers and the command line ----

TEST_F(SystemCalls, ByteBufferFillsWordsLeftByteFirst) {
    write_normal(01001, 0123);
    machine.X = LIST_AT;
    machine.T = 01000;
    machine.D = 5;
    mon(015);
    EXPECT_TRUE(returned());
    EXPECT_EQ(read_normal(LIST_AT), 0777u);
    EXPECT_EQ(read_normal(LIST_AT + 2), 0777u);
    EXPECT_EQ(read_normal(LIST_AT + 3), 0777u + 3);
    EXPECT_EQ(read_normal(LIST_AT + 4), 017u);
    for (uint32_t byte : {0101u, 0102u, 0103u}) {
        machine.A = byte;
        machine.X = LIST_AT;
        mon(020);
        EXPECT_TRUE(skipped());
    }
    EXPECT_EQ(read_normal(01000), 040502u);
    EXPECT_EQ(read_normal(01001), 041400u | 0123u);
    EXPECT_EQ(read_normal(LIST_AT + 4), 013u);

    // The second form leaves word 3 and marks an odd count.
    write_normal(LIST_AT + 3, 0555);
    machine.X = LIST_AT;
    machine.T = 01000;
    machine.D = 5;
    mon(025);
    EXPECT_EQ(read_normal(LIST_AT + 2), 0777u + 3);
    EXPECT_EQ(read_normal(LIST_AT + 3), 0555u);
    EXPECT_EQ(read_normal(LIST_AT + 4), 3u);
    machine.D = 4;
    mon(025);
    EXPECT_EQ(read_normal(LIST_AT + 4), 021u);
}

TEST_F(SystemCalls, PresetCommandLineEndsWithCarriageReturn) {
    put_text(TEXT_AT, "A B'");
    machine.A = TEXT_AT;
    shell.program_command_line_position = 7;
    mon(012);
    EXPECT_TRUE(returned());
    EXPECT_STREQ(shell.program_command_line, "A B\r");
    EXPECT_EQ(shell.program_command_line_position, 0);
    put_text(TEXT_AT, std::string(600, 'X'));
    mon(012);
    EXPECT_EQ(std::string(shell.program_command_line), std::string(512, 'X'));
}

// ---- small calls ----

TEST_F(SystemCalls, FixedAnswers) {
    machine.A = 5;
    mon(030);
    EXPECT_TRUE(failed_with(023456)) << "never the same call again";
    mon(0122);
    EXPECT_TRUE(failed_with(0));
    mon(0253);
    EXPECT_TRUE(failed_with(077));
    mon(0327);
    EXPECT_TRUE(skipped());
    EXPECT_EQ(machine.A, 1u);
    mon(0216);
    EXPECT_TRUE(skipped());
    testing::internal::CaptureStdout();
    machine.A = 0177777;
    mon(0325);
    EXPECT_TRUE(failed_with(0));
    mon(0200);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nBatch mode MON 325 Control = 177777 octal\nMON 200 XMSG not coded, PREG = 1000\n");
    EXPECT_TRUE(returned());
}

TEST_F(SystemCalls, LastTypedByteOnRequest) {
    terminal.last_typed_byte = 0215;
    list_by_reference({1});
    mon(026);
    EXPECT_TRUE(failed_with(0215));
    list_by_reference({0});
    mon(026);
    EXPECT_TRUE(failed_with(0177777));
}

TEST_F(SystemCalls, RealTimeDescriptionGetsTheSegment) {
    image_state.current_segment = 7;
    write_data(LIST_AT + 020, 0);
    write_data(LIST_AT, LIST_AT + 020);
    write_data(LIST_AT + 1, RESULT_AT);
    machine.A = LIST_AT;
    mon(027);
    EXPECT_TRUE(failed_with(0));
    EXPECT_EQ(read_data(RESULT_AT + 20), 7u);
    write_data(LIST_AT + 020, 4);
    machine.A = LIST_AT;
    testing::internal::CaptureStdout();
    mon(027);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\n MON 27: Illegal RT-description: 4\n");
    EXPECT_TRUE(failed_with(0177777));
}

TEST_F(SystemCalls, ExitFromSegmentStopsWithoutMoving) {
    testing::internal::CaptureStdout();
    machine.T = 3;
    machine.L = 01234;
    mon(0133);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nMON 133, exit from segment 3 with LREG=1234, terminate program");
    EXPECT_EQ(machine.P, CALL_AT);
    EXPECT_EQ(cpu_running, 0);
}

// ---- the alternative page table ----

TEST_F(SystemCalls, AlternativePageTableOnAndBack) {
    write_normal(LIST_AT + 020, 0);
    write_normal(LIST_AT, LIST_AT + 020);
    machine.A = LIST_AT;
    mon(033);
    EXPECT_TRUE(returned());
    EXPECT_EQ(machine.STS & STS_PTM, STS_PTM);
    write_data(0100, 0777);
    EXPECT_EQ(read_word(1, 0100), 0777u);
    EXPECT_EQ(read_word(0, 0100), 0u);
    mon(034);
    EXPECT_TRUE(returned());
    EXPECT_EQ(machine.STS & STS_PTM, STS_PTM) << "STS bit 0 stays";
    write_data(0101, 0666);
    EXPECT_EQ(read_word(0, 0101), 0666u);

    write_normal(LIST_AT + 020, 7);
    machine.A = LIST_AT;
    testing::internal::CaptureStdout();
    mon(033);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n\nRequesting alternative page table >3, forced to use 2");
    EXPECT_EQ(machine.apt_offset, 2 * BANK_WORDS);
}

// ---- users ----

TEST_F(SystemCalls, UserInformationForOneselfOrForSystem) {
    put_text(TEXT_AT, "emu'");
    machine.X = TEXT_AT;
    machine.A = RESULT_AT;
    write_data(RESULT_AT + 21, 0555);
    mon(044);
    ASSERT_TRUE(skipped());
    EXPECT_EQ(read_data(RESULT_AT), 0100401u);
    EXPECT_EQ(get_text(RESULT_AT + 1, 16), "EMULATOR''''''''");
    EXPECT_EQ(read_data(RESULT_AT + 18), 3u);
    EXPECT_EQ(read_data(RESULT_AT + 21), 0555u) << "words the entry does not name stay";
    put_text(TEXT_AT, "RT'");
    machine.A = RESULT_AT;
    mon(044);
    EXPECT_TRUE(failed_with(025));
    become("SYSTEM");
    machine.A = RESULT_AT;
    mon(044);
    EXPECT_TRUE(skipped());
    put_text(TEXT_AT, "S'");
    machine.A = RESULT_AT;
    mon(044);
    EXPECT_TRUE(failed_with(045));
    put_text(TEXT_AT, "NOBODY'");
    machine.A = RESULT_AT;
    mon(044);
    EXPECT_TRUE(failed_with(046));
}

TEST_F(SystemCalls, UserIndicesAndNames) {
    mon(0213);
    EXPECT_TRUE(skipped());
    EXPECT_EQ(machine.T, 0403u);
    machine.X = 0401; // only the low byte counts
    machine.A = RESULT_AT;
    mon(0214);
    ASSERT_TRUE(skipped());
    EXPECT_EQ(get_text(RESULT_AT, 16), "RT''''''''''''''");
    machine.X = static_cast<uint32_t>(user_table.count);
    mon(0214);
    EXPECT_TRUE(failed_with(0250));

    put_text(TEXT_AT, "SC'");
    machine.X = TEXT_AT;
    mon(0250);
    ASSERT_TRUE(skipped());
    EXPECT_EQ(machine.X, 2u);
    EXPECT_EQ(machine.T, 1u);
    put_text(TEXT_AT, "sc'");
    machine.X = TEXT_AT;
    mon(0250);
    EXPECT_TRUE(failed_with(046)) << "MON 250 does not fold case";

    machine.T = 0;
    shell.mode_input = stdin;
    mon(0143);
    shell.mode_input = nullptr;
    EXPECT_EQ(machine.A, 2u);
    EXPECT_EQ(machine.X, 0403u);
    EXPECT_EQ(machine.T, 1u);
    EXPECT_EQ(machine.D, 1u);
}

TEST_F(SystemCalls, ChangeAndRestoreUser) {
    put_text(TEXT_AT, "RT'");
    machine.X = TEXT_AT;
    mon(0241);
    EXPECT_TRUE(failed_with(025)) << "EMULATOR may not change user";
    become("RT");
    put_text(TEXT_AT, "sys'");
    mon(0241);
    ASSERT_TRUE(skipped());
    EXPECT_EQ(machine.A, 1u);
    EXPECT_EQ(user_table.current_user_name, "SYSTEM");
    put_text(TEXT_AT, "EMULATOR'");
    mon(0241);
    ASSERT_TRUE(skipped());
    EXPECT_EQ(machine.A, 0u);
    EXPECT_EQ(user_table.current_user_name, "EMULATOR");
    mon(0242);
    EXPECT_TRUE(skipped());
    EXPECT_EQ(user_table.current_user_name, "RT");
    EXPECT_EQ(user_table.current_user_index, 1);
}

// ---- fixed blocks ----

TEST_F(SystemCalls, SystemInformationBlocks) {
    write_data(RESULT_AT + 10, 0555);
    machine.X = RESULT_AT;
    mon(0244);
    ASSERT_TRUE(skipped());
    EXPECT_EQ(read_data(RESULT_AT), 0140000u);
    EXPECT_EQ(get_text(RESULT_AT + 5, 9), "PACK-ONE'");
    EXPECT_EQ(read_data(RESULT_AT + 10), 0555u);
    EXPECT_EQ(read_data(RESULT_AT + 21), 03720u);

    machine.A = 1;
    mon(0262);
    EXPECT_TRUE(failed_with(0174));
    machine.A = 0;
    mon(0262);
    ASSERT_TRUE(skipped());
    EXPECT_EQ(read_data(RESULT_AT), 040171u);
    EXPECT_EQ(read_data(RESULT_AT + 11), 03704u);
}

TEST_F(SystemCalls, SsiCode) {
    machine.X = RESULT_AT;
    machine.A = 7;
    mon(0321);
    ASSERT_TRUE(skipped());
    EXPECT_EQ(read_data(RESULT_AT), 012u);
    EXPECT_EQ(read_data(RESULT_AT + 1), 3u);
    machine.A = 1;
    mon(0321);
    EXPECT_EQ(read_data(RESULT_AT + 5), 033u);
    testing::internal::CaptureStdout();
    machine.A = 9;
    mon(0321);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nMON321 Unknown code: 9 (dec)\n");
    EXPECT_TRUE(returned());
}

// ---- devices ----

TEST_F(SystemCalls, DeviceAttributes) {
    machine.T = 0;
    mon(0263);
    EXPECT_TRUE(skipped());
    EXPECT_EQ(machine.T, 1u);
    EXPECT_EQ(machine.A, 0u);
    EXPECT_EQ(machine.D, 0101u);
    machine.T = 0110;
    mon(0263);
    EXPECT_TRUE(failed_with(033));

    write_text("(EMULATOR)/DEV.DATA", "0123456789");
    put_text(TEXT_AT, "DEV'");
    put_text(TEXT_AT + 010, "DATA'");
    machine.X = TEXT_AT;
    machine.A = TEXT_AT + 010;
    machine.T = 0;
    mon(050);
    ASSERT_TRUE(skipped());
    uint32_t writing = machine.A;
    machine.T = writing;
    machine.A = 0;
    mon(0263);
    EXPECT_EQ(machine.P, CALL_AT + 3);
    EXPECT_EQ(machine.T, 7u);
    EXPECT_EQ(machine.D, 0101u);

    write_text("(EMULATOR)/DEV.DATA", "0123456789");
    machine.X = TEXT_AT;
    machine.A = TEXT_AT + 010;
    machine.T = 1;
    mon(050);
    uint32_t reading = machine.A;
    machine.T = reading;
    machine.A = 0;
    mon(0263);
    EXPECT_TRUE(skipped());
    EXPECT_EQ(machine.A, 033u);
}

TEST_F(SystemCalls, DeviceFunctionReadsWordsFromAFile) {
    write_text("(EMULATOR)/DEV.DATA", "ABCDE");
    put_text(TEXT_AT, "DEV'");
    put_text(TEXT_AT + 010, "DATA'");
    machine.X = TEXT_AT;
    machine.A = TEXT_AT + 010;
    machine.T = 1;
    mon(050);
    ASSERT_TRUE(skipped());
    uint32_t file = machine.A;

    // Function by reference, buffer address itself, file and count by
    // reference, the address of the result word.
    write_data(LIST_AT + 020, 0);
    write_data(LIST_AT + 021, file);
    write_data(LIST_AT + 022, 10);
    write_words_at(LIST_AT, {LIST_AT + 020, 0177777, LIST_AT + 021, LIST_AT + 022, RESULT_AT});
    machine.A = LIST_AT;
    mon(0144);
    EXPECT_TRUE(failed_with(0));
    EXPECT_EQ(read_data(RESULT_AT), 3u);
    EXPECT_EQ(read_data(0177777), 0x4142u);
    EXPECT_EQ(read_data(0), 0x4344u) << "the buffer wraps within the page table";
    EXPECT_EQ(read_data(1) >> 8, 0x45u);

    testing::internal::CaptureStdout();
    write_data(LIST_AT + 020, 2);
    machine.A = LIST_AT;
    mon(0144);
    EXPECT_TRUE(failed_with(0201));
    write_data(LIST_AT + 020, 0);
    write_data(LIST_AT + 021, 0121);
    machine.A = LIST_AT;
    mon(0144);
    EXPECT_TRUE(failed_with(0132));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nMON 144: Function 2 not supported\n\nMON 144: Unsupported device: 121\n");
}

// ---- segments ----

TEST_F(SystemCalls, SegmentByNameAndSwitching) {
    put_text(TEXT_AT, "MAIN'");
    write_data(LIST_AT, TEXT_AT);
    machine.A = LIST_AT;
    machine.X = 0444;
    mon(0322);
    EXPECT_TRUE(skipped());
    EXPECT_EQ(machine.A, 0177776u) << "no description file";
    EXPECT_EQ(machine.X, 0444u);

    write_text("(SYSTEM)/SEGFILE.SIN3", "3 MAIN main\r\n");
    machine.A = LIST_AT;
    mon(0322);
    EXPECT_TRUE(skipped());
    EXPECT_EQ(machine.A, 3u);

    // Segment 3: program words 2000-2001, no data.
    write_file("(SYSTEM)/SEGFILE_3.SGNO",
               {0x00, 0x04, 0x01, 0x04, 0, 0, 0, 0, 0x11, 0x11, 0x22, 0x22});
    write_data(LIST_AT + 020, 3);
    write_data(LIST_AT, LIST_AT + 020);
    machine.A = LIST_AT;
    mon(0323);
    EXPECT_TRUE(returned());
    EXPECT_EQ(read_normal(02000), 0x1111u);
    EXPECT_EQ(read_normal(02001), 0x2222u);

    // A planted breakpoint: inside the segment's code the new word is saved
    // under the WAIT; outside it the saved word is left alone.
    write_data(RESULT_AT + 020, 3);
    write_data(RESULT_AT, RESULT_AT + 020);
    for (uint32_t address : {02001u, 04000u}) {
        write_normal(address, 0777);
        debug_state.breakpoint_saved_word = 0777;
        debug_state.breakpoint_address = address;
        debug_state.breakpoint_set = 1;
        write_normal(address, BREAKPOINT_WORD);
        machine.A = RESULT_AT;
        mon(0323);
        EXPECT_EQ(read_normal(address), BREAKPOINT_WORD);
        EXPECT_EQ(debug_state.breakpoint_saved_word, address == 02001 ? 0x2222u : 0777u);
    }
    reset_debug_state();
}

} // namespace
