// The TDV 2215 emulation: the MON 22 queue and both interpreters, the screen
// functions they drive, and what reaches the host terminal.
#include "console/tdv2215.h"
#include "console/terminal.h"
#include "cpu/machine.h"
#include "debug/debug_aids.h"
#include "host/host.h"
#include "monitor/monitor.h"
#include "operator/operator_channel.h"
#include "settings/settings.h"

#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

std::vector<int> pauses;
void record_pause(int milliseconds) {
    pauses.push_back(milliseconds);
}

class Tdv : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_machine();
        reset_settings();
        reset_debug_state();
        reset_terminal_state();
        shell.operator_output = stdout;
        settings.terminal_type = 52;
        machine.P = 01000;
        machine.T = 1;
        pauses.clear();
        diagnostic_pause = record_pause;
    }
    void TearDown() override { diagnostic_pause = host_sleep_ms; }

    // MON 22 with up to eight bytes (missing ones are 0); returns what was
    // written to the terminal.
    static std::string mon22(std::initializer_list<int> bytes) {
        int b[8] = {0, 0, 0, 0, 0, 0, 0, 0};
        int i = 0;
        for (int byte : bytes)
            b[i++] = byte;
        machine.A = static_cast<uint32_t>(b[0] << 8 | b[1]);
        machine.D = static_cast<uint32_t>(b[2] << 8 | b[3]);
        machine.L = static_cast<uint32_t>(b[4] << 8 | b[5]);
        machine.X = static_cast<uint32_t>(b[6] << 8 | b[7]);
        std::fflush(stdout);
        testing::internal::CaptureStdout();
        tdv_write();
        std::fflush(stdout);
        return testing::internal::GetCapturedStdout();
    }
    // Where the cursor stands, without writing anything.
    static void place_cursor(int column, int row) {
        terminal.cursor_column = column;
        terminal.cursor_row = row;
    }
    static int waiting() {
        int n = 0;
        while (n < TDV_QUEUE_SIZE && tdv.tdv_queue[n] != TDV_EMPTY)
            ++n;
        return n;
    }
};

TEST_F(Tdv, CursorAddressMovesWithoutWriting) {
    EXPECT_EQ(mon22({16, 10, 40}), "\x1b[11;41H");
    EXPECT_EQ(terminal.cursor_column, 40);
    EXPECT_EQ(terminal.cursor_row, 10);
    EXPECT_EQ(waiting(), 0) << "the zero padding empties the queue";
    EXPECT_EQ(machine.P, 01002u);
}

TEST_F(Tdv, CursorAddressSplitAcrossCallsWaitsForItsBytes) {
    EXPECT_EQ(mon22({'A', 'B', 'C', 'D', 'E', 'F', 'G', 16}), "ABCDEFG");
    EXPECT_EQ(tdv.cursor_address_half_received, 1);
    EXPECT_EQ(mon22({5, 7, 'x'}), "\x1b[6;8Hx");
    EXPECT_EQ(tdv.cursor_address_half_received, 0);
}

TEST_F(Tdv, OtherFileNumbersAreRefused) {
    machine.T = 5;
    EXPECT_EQ(mon22({'A'}), "\nMON 22: Supports terminal only!\n");
    EXPECT_EQ(machine.A, 2u);
    EXPECT_EQ(machine.P, 01001u);
}

TEST_F(Tdv, TextKeepsItsLineEndsAndControlsInOrder) {
    EXPECT_EQ(mon22({'A', 'B', 13, 10, 'C', 8, 'D'}), "AB\r\nC\x1b[2;1HD");
}

TEST_F(Tdv, ClearScreenSplitAcrossCallsWaitsForTheFinalCharacter) {
    EXPECT_EQ(mon22({'a', 'b', 'c', 'd', 'e', 27, '[', '2'}), "abcde");
    EXPECT_EQ(waiting(), 3);
    EXPECT_EQ(mon22({'J', 'x'}), "\x1b[2J\x1b[Hx");
    EXPECT_EQ(terminal.cursor_column, 1);
    EXPECT_EQ(terminal.cursor_row, 0);
}

TEST_F(Tdv, LoneEscWaitsForTheNextCall) {
    EXPECT_EQ(mon22({'a', 'b', 'c', 'd', 'e', 'f', 'g', 27}), "abcdefg");
    EXPECT_EQ(mon22({'M', 'z'}), "\r\x1b[Kz");
}

TEST_F(Tdv, EraseAndAttributeSequences) {
    place_cursor(5, 3);
    EXPECT_EQ(mon22({27, '[', 'K'}), "\x1b[K") << "absent parameter counts as 0";
    EXPECT_EQ(terminal.cursor_column, 5);
    EXPECT_EQ(mon22({27, '[', '0', 'J'}), "\x1b[K\x1b[4;1H");
    EXPECT_EQ(mon22({27, '[', '2', 'K'}), "\r\x1b[K");
    EXPECT_EQ(mon22({27, '[', '7', 'm', 'R', 27, '[', 'm'}), "\x1b[7mR")
        << "an m without parameters changes nothing";
    EXPECT_EQ(mon22({27, '[', '0', ';', '7', 'm'}), "\x1b[0m\x1b[7m");
    EXPECT_EQ(mon22({27, '[', '4', 'm', 27, '[', 'h'}), "\x1b[0m");
}

TEST_F(Tdv, InsertAndDeleteLineWorkAboveTheLampRow) {
    place_cursor(2, 5);
    EXPECT_EQ(mon22({27, '[', 'L'}), "\x1b[1;24r\x1b[6;3H\x1b[L\x1b[r\x1b[6;3H");
    EXPECT_EQ(mon22({27, '[', '1', 'M'}), "\x1b[1;24r\x1b[6;3H\x1b[M\x1b[r\x1b[6;3H");
    EXPECT_EQ(terminal.cursor_column, 2);
    EXPECT_EQ(terminal.cursor_row, 5);
    std::string more = mon22({27, '[', '3', 'M'});
    EXPECT_NE(more.find("Delete >1 line  (ZP=0)  3"), std::string::npos) << more;
    EXPECT_NE(more.find("\x1b[M"), std::string::npos) << "one line is still deleted";
}

TEST_F(Tdv, ScrollDownMovesTheWholeScreen) {
    place_cursor(4, 7);
    EXPECT_EQ(mon22({23}), "\x1b[1;25r\x1b[H\x1bM\x1b[r\x1b[8;5H");
}

TEST_F(Tdv, CharacterSetTwoInBothInterpreters) {
    EXPECT_EQ(mon22({27, 'N', 'a', 27, 'N', 'o', 27, 'N'}), "\xe2\x94\x94>");
    EXPECT_EQ(mon22({'j'}), "\xe2\x94\x82") << "the third ESC N waited for its character";
    EXPECT_EQ(mon22({27, 'N', 'z'}), "\xc2\xad") << "a character without a glyph shows 240";
    settings.tdv_output = 0;
    EXPECT_EQ(mon22({27, 'N', 'o', 27, 'N', 'a'}), "\xe2\x86\x92\xe2\x94\x94");
    EXPECT_EQ(mon22({27, 'N', 'z'}), ">>chset2=7a \n\xc2\xad");
    EXPECT_EQ(pauses, std::vector<int>{5000});
}

TEST_F(Tdv, BadCharacterForSetTwoIsReported) {
    std::string out = mon22({27, 'N', 3});
    EXPECT_NE(out.find("Bad char req. char set 2"), std::string::npos) << out;
    EXPECT_NE(out.find("\xc2\xad"), std::string::npos);
}

TEST_F(Tdv, CharacterSetThreeWaitsForItsCharacterAndIsNotExaminedTwice) {
    EXPECT_EQ(mon22({'a', 'b', 'c', 'd', 'e', 'f', 27, 'O'}), "abcdef");
    EXPECT_TRUE(pauses.empty());
    EXPECT_EQ(mon22({' ', 'x'}), "\nCHSET 3\n x");
    EXPECT_EQ(pauses, std::vector<int>{5000});
    EXPECT_EQ(mon22({'y'}), "y") << "the request is not examined again";
    EXPECT_EQ(mon22({27, 'O', 0, 'q'}), "\nCHSET 3\nq");
    EXPECT_EQ(mon22({'r'}), "r");
    EXPECT_EQ(pauses.size(), 2u);
}

TEST_F(Tdv, UnhandledEscIsReportedAndPassed) {
    place_cursor(10, 12);
    std::string out = mon22({27, 'Z', 'o', 'k'});
    EXPECT_NE(out.find("\x1b[1;1H\x1b[31mUnsupported ESC-sequence  (ZP=0)  AREG ="),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("1b 5a 6f 6b"), std::string::npos) << out;
    EXPECT_EQ(out.substr(out.size() - 10), "\x1b[13;11Hok");
    EXPECT_EQ(tdv.diag_row, 1);
}

TEST_F(Tdv, UnsupportedControlSequencePassesOneByte) {
    std::string out = mon22({27, '[', '5', 'A', 'x'});
    EXPECT_NE(out.find("Unsupported ESC-sequence  (ZP=0)  5"), std::string::npos) << out;
    EXPECT_EQ(out.substr(out.size() - 4), "[5Ax") << "the bytes after the ESC are text";
}

TEST_F(Tdv, RunawayControlSequenceDoesNotStallOutput) {
    std::string out = mon22({'a', 'b', 'c', 'd', 'e', 'f', 27, '['});
    for (int i = 0; i < 30; ++i)
        out += mon22({'1', '1', '1', '1', '1', '1', '1', '1'});
    EXPECT_LE(waiting(), TDV_QUEUE_SIZE);
    out += mon22({'e', 'n', 'd'});
    EXPECT_NE(out.find("Unsupported ESC-sequence"), std::string::npos);
    EXPECT_EQ(out.substr(out.size() - 3), "end");
    EXPECT_EQ(waiting(), 0);
}

TEST_F(Tdv, ControlCodesAtTheStartOfARound) {
    std::string out = mon22({5});
    EXPECT_EQ(out, "\x1b[24;25H\x1b[31m\xe2\x96\xa0\x1b[0m\x1b[1;1H");
    EXPECT_EQ(mon22({22, 22}), "\x1b[24;25H \x1b[24;17H \x1b[24;36H \x1b[24;38H \x1b[24;39H "
                               "\x1b[24;40H \x1b[24;41H \x1b[24;42H \x1b[24;43H \x1b[24;44H "
                               "\x1b[0m\x1b[1;1H")
        << "the first 22 is skipped, the second puts the lamps out";
    EXPECT_EQ(mon22({14, 'u', 15, 'v'}), "\x1b[4mu\x1b[0m\x1b[0mv");
    EXPECT_EQ(mon22({7, 'b'}), "\ab");
    std::string unsupported = mon22({2, 'q'});
    EXPECT_NE(unsupported.find("C0 not supported: (ZP=0)  2"), std::string::npos) << unsupported;
    EXPECT_EQ(unsupported.back(), 'q');
}

TEST_F(Tdv, NorwegianLettersAreWrittenAsUtf8) {
    settings.norwegian_charset = 1;
    EXPECT_EQ(mon22({'[', '\\', ']', '{', '|', '}'}), "ÆØÅæøå");
    settings.norwegian_charset = 0;
    EXPECT_EQ(mon22({'[', '|'}), "[|");
}

TEST_F(Tdv, SetTerminalTypeEmptiesTheQueue) {
    mon22({'a', 'b', 'c', 'd', 'e', 27, '[', '2'});
    EXPECT_EQ(waiting(), 3);
    tdv_reset_queue();
    EXPECT_EQ(waiting(), 0);
    EXPECT_EQ(mon22({'J'}), "J");
    mon22({'a', 'b', 'c', 'd', 'e', 'f', 'g', 16});
    tdv_reset_queue();
    EXPECT_EQ(mon22({5}), "\x1b[24;25H\x1b[31m\xe2\x96\xa0\x1b[0m\x1b[1;14H")
        << "a cursor address cut off by the reset no longer holds back control codes";
}

TEST_F(Tdv, CompactMovesTheRestToTheFront) {
    for (int i = 0; i < 5; ++i)
        tdv.tdv_queue[i] = 'a' + i;
    tdv.zp = 2;
    tdv_compact();
    EXPECT_EQ(tdv.zp, 0);
    EXPECT_EQ(tdv.tdv_queue[0], 'c');
    EXPECT_EQ(tdv.tdv_queue[2], 'e');
    EXPECT_EQ(tdv.tdv_queue[3], TDV_EMPTY);
    tdv.zp = 3;
    tdv_compact();
    EXPECT_EQ(tdv.tdv_queue[0], TDV_EMPTY);
}

TEST_F(Tdv, LampsAndTheirLimits) {
    place_cursor(3, 4);
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    set_lamp(10);
    set_lamp(11);
    std::fflush(stdout);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "\x1b[24;44H\x1b[31m\xe2\x96\xa0\x1b[0m\x1b[5;4HBAD LED number");
}

TEST_F(Tdv, DiagnosticRowsWrapAfterRow41) {
    tdv.diag_row = 41;
    testing::internal::CaptureStdout();
    tdv_diag("\nC0 not supported:", TdvDetail::Byte);
    std::fflush(stdout);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(tdv.diag_row, 35);
}

TEST_F(Tdv, OldInterpreterSequences) {
    settings.tdv_output = 0;
    place_cursor(6, 2);
    EXPECT_EQ(mon22({27, '[', '0', 'K'}), "\x1b[K\x1b[3;1H");
    EXPECT_EQ(mon22({27, '[', '2', ';', '7', 'm', 'A'}), "\x1b[7mA");
    EXPECT_EQ(mon22({27, '[', '0', 'm', 27, 'Q', 'B'}), "\x1b[0mB");
    EXPECT_EQ(mon22({16, 3, 9, 'C'}), "\x1b[4;10HC");
    EXPECT_EQ(mon22({27, '[', '1', ';', '5', 'm', 'D'}), "D") << "skipped silently";
    EXPECT_EQ(mon22({27, '[', '2', 'J'}), "\x1b[2J\x1b[H");
}

TEST_F(Tdv, OldInterpreterJoinsSplitSequencesAndPassesUnknownOnes) {
    settings.tdv_output = 0;
    EXPECT_EQ(mon22({'a', 'b', 'c', 'd', 'e', 27, '[', '2'}), "abcde");
    EXPECT_EQ(mon22({'K', 'f'}), "\r\x1b[Kf");
    EXPECT_EQ(mon22({27, 'Y', 'g'}), "g") << "an unknown ESC is passed, not examined again";
    EXPECT_EQ(mon22({27, 5, 'h'}), "\nESC-5\nh");
    EXPECT_EQ(mon22({27, 'O', 'A', 'i', 'j'}), "\nCHSET 3\n~j")
        << "the character after a set-3 request shows as ~";
    EXPECT_EQ(mon22({'k'}), "k");
}

} // namespace
