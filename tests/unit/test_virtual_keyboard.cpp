// The virtual keyboard: definition lines and files, and the operator's test
// of the event reader with Alt keys typed on a pseudo-terminal.
#include "host/host.h"
#include "image_test_support.h"
#include "shell/virtual_keyboard.h"

#include <pty.h>
#include <termios.h>

namespace {

class VirtualKeyboard : public ShellTree {
  protected:
    static std::string bytes_of(int key) {
        const VirtualKey &entry = terminal.virtual_key_table[key];
        return std::string(reinterpret_cast<const char *>(entry.bytes),
                           static_cast<size_t>(entry.count));
    }
    std::string apply(const std::string &line) {
        std::fflush(stdout);
        size_t before = output().size();
        apply_virtual_key_line(line);
        return output().substr(before);
    }
};

TEST_F(VirtualKeyboard, StringLineWithEscapes) {
    EXPECT_EQ(apply("41 string: AB\\r trailing words\n"),
              "\n41 string: AB\\r trailing words\nparsed to:41 String: AB\\r\r\n");
    EXPECT_EQ(bytes_of(0x41), "AB\r");
    EXPECT_EQ(terminal.virtual_key_table[0x41].bytes[3], 0) << "a 0 follows a string";
    apply("7a string: x\\\\y\\nz\\q\\");
    EXPECT_EQ(bytes_of(0x7a), "x y\nz\\q\\")
        << "a backslash before another character, or at the end, stays a backslash";
    apply("7b string: \\\\\\r\\\\\\");
    EXPECT_EQ(bytes_of(0x7b), " \r \\") << "pairs are taken from the left";
    apply("46\tstring: T");
    EXPECT_EQ(bytes_of(0x46), "T") << "a tab is a blank too";
}

TEST_F(VirtualKeyboard, HexLineKeepsAtMostTenNumbers) {
    EXPECT_EQ(apply("42 hex: 1b 5b 48"),
              "\n42 hex: 1b 5b 48\nparsed to:42 3 hex numbers: 1b 5b 48\r\n");
    EXPECT_EQ(bytes_of(0x42), "\x1b[H");
    apply("43 hex: 1 2 3 4 5 6 7 8 9 a b c");
    EXPECT_EQ(terminal.virtual_key_table[0x43].count, 10);
    apply("42 hex: 7");
    EXPECT_EQ(bytes_of(0x42), "\x07") << "a new definition replaces the old";
}

TEST_F(VirtualKeyboard, LinesThatDefineNothing) {
    apply("44 strings: abc");
    apply("45 hex:1b");
    apply("string: abc");
    EXPECT_EQ(terminal.virtual_key_table[0x44].count, 0);
    EXPECT_EQ(terminal.virtual_key_table[0x45].count, 0);
    EXPECT_EQ(terminal.virtual_key_table[0].count, 0);
    EXPECT_FALSE(apply_virtual_key_line("EOF and the rest"));
}

TEST_F(VirtualKeyboard, KeyNumbersAbove255AreRefused) {
    std::string before(reinterpret_cast<const char *>(&terminal), sizeof terminal);
    EXPECT_EQ(apply("100 string: X"),
              "\n100 string: X\nparsed to:100 \nIllegal virtual key 256\r\n");
    apply("fffffffff hex: 1 2");
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&terminal), sizeof terminal), before);
}

TEST_F(VirtualKeyboard, DefinitionFileUpToEof) {
    write_text("(EMULATOR)/KEYS.SYMB",
               "41 string: AB\\r\r\n42 hex: 1b 5b 48\nEOF\n43 string: no\n");
    run("virtual-keyboard-definition KEYS");
    EXPECT_EQ(bytes_of(0x41), "AB\r");
    EXPECT_EQ(bytes_of(0x42), "\x1b[H");
    EXPECT_EQ(terminal.virtual_key_table[0x43].count, 0);
}

TEST_F(VirtualKeyboard, EofOnTheFirstLineLoadsNothing) {
    write_text("(EMULATOR)/NONE.SYMB", "EOF\n41 string: AB\n");
    run("virtual-keyboard-definition NONE");
    EXPECT_EQ(terminal.virtual_key_table[0x41].count, 0);
}

TEST_F(VirtualKeyboard, UseVirtualKeyboardToggles) {
    EXPECT_EQ(run("use-virtual-keyboard"), "");
    EXPECT_EQ(settings.use_virtual_keyboard, 1);
    run("use-virtual-keyboard");
    EXPECT_EQ(settings.use_virtual_keyboard, 0);
}

TEST_F(VirtualKeyboard, TestCommandShowsGeneratedEntriesWithTheirFlag) {
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    termios mode{};
    tcgetattr(slave, &mode);
    cfmakeraw(&mode);
    tcsetattr(slave, TCSANOW, &mode);
    int saved_stdin = dup(STDIN_FILENO);
    dup2(slave, STDIN_FILENO);
    host_terminal_init();

    apply_virtual_key_line("42 hex: 1b 5b 48");
    std::string keys = "\x1b"
                       "Bq\x1b\x1b";
    ASSERT_EQ(write(master, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    run("|virtual-keyboard 1");
    std::fflush(stdout);
    std::string shown = testing::internal::GetCapturedStdout();

    while (host_input_waiting(0))
        host_read_byte(0);
    dup2(saved_stdin, STDIN_FILENO);
    close(saved_stdin);
    close(slave);
    close(master);

    EXPECT_EQ(shown, "Type ESC twice to exit\r\n"
                     "\r\nAwait event: \r\nALT-B(42) converted to (101b)[(105b)H(1048)"
                     "\r\nAwait event: Read char  161 q"
                     "\r\nAwait event: Read char "
                     "\r\nAwait event: Read char Exit\r\n");
}

} // namespace
