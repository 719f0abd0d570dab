// The ND terminal end to end: ND programs that read keys with MON 1 and
// MON 310 and draw on the TDV 2215 screen with MON 22, run through pipes, a
// pseudo-terminal and tmux.
#include "harness.h"

#include <chrono>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Says READY, then reads bytes with MON 1 and prints each value in octal on
// its own line, until Q.
const char *const keys_program = R"(
        ORG 1000
        START BEGIN
BEGIN:  LDX MSGP
        MON 32
GO:     SAT 1
        MON 1                   ; A = the byte typed
        JMP STOP                ; ESC stopped the program
        STA SAVE
        SAT 10
        MON 35                  ; A in octal
        SAA 15
        SAT 1
        MON 2
        JMP STOP
        SAA 12
        MON 2
        JMP STOP
        LDA SAVE
        LDT KQ
        SKP IF DA EQL ST
        JMP GO
STOP:   MON 0
SAVE:   WORD 0
KQ:     WORD 321                ; Q with its parity bit
MSGP:   WORD MSG
MSG:    TEXT "READY$'"
)";

// Says READY, then reads with MON 310 and prints A and T in octal for each
// call, until Q.
const char *const multi_byte_program = R"(
        ORG 1000
        START GO
GO:     LDX MSGP
        MON 32
LOOP:   MON 310
        JMP STOP
        STA SAVA
        STT SAVT
        SAT 10
        MON 35
        SAA 40
        SAT 1
        MON 2
        JMP STOP
        LDA SAVT
        SAT 10
        MON 35
        SAA 15
        SAT 1
        MON 2
        JMP STOP
        SAA 12
        MON 2
        JMP STOP
        LDA SAVA
        LDT KQ
        SKP IF DA EQL ST
        JMP LOOP
STOP:   MON 0
SAVA:   WORD 0
SAVT:   WORD 0
KQ:     WORD 050400             ; Q in the left half
MSGP:   WORD MSG
MSG:    TEXT "READY$'"
)";

// Sets terminal type 52 and draws with MON 22, eight bytes a call (a
// sequence may span two calls), then waits for a key.
const char *const tdv_program = R"(
        ORG 1000
        START GO
GO:     SAA 64                  ; terminal type 52
        SAT 1
        MON 17
        JMP END
        LDA TABP
        COPY SA DB
LOOP:   LDA 2,B
        COPY SA DL
        LDX 3,B
        LDD 0,B
        JAZ DONE
        SAT 1
        MON 22
        JMP END
        AAB 4
        JMP LOOP
DONE:   SAT 1
        MON 1
        JMP END
END:    MON 0
TABP:   WORD TAB
ESC = 33
CUP = 20
TAB:    TEXT ESC, "[2J", 0, 0, 0, 0
        TEXT CUP, 23, 0, "ROW19"
        TEXT CUP, 24, 0, "ROW20"
        TEXT CUP, 23, 0, ESC, "[L", 0, 0
        TEXT CUP, 5, 0, "DEL5", 0
        TEXT CUP, 6, 0, "KEEP6"
        TEXT CUP, 5, 0, ESC, "[M", 0, 0
        TEXT CUP, 12, 50, "X", 0, 0, 0, 0
        TEXT CUP, 14, 5, ESC, "Ng", ESC, "N"
        TEXT "`", ESC, "Ni", 0, 0, 0, 0
        TEXT CUP, 15, 5, ESC, "Na", ESC, "N"
        TEXT "`", ESC, "Nc", 0, 0, 0, 0
        TEXT 5, 6, CUP, 17, 0, "[\\]"
        TEXT "{|}", 0, 0, 0, 0, 0
        TEXT CUP, 21, 0, "ABCDE"
        TEXT CUP, 21, 3, ESC, "[K", 0, 0
        TEXT CUP, 1, 0, "END", 0, 0
        WORD 0, 0, 0, 0
)";

// Sets terminal type 52 and draws with single bytes of MON 2, one table
// word each (octal codes), then waits for a key.
const char *const tdv_single_byte_program = R"(
        ORG 1000
        START GO
GO:     SAA 64                  ; terminal type 52
        SAT 1
        MON 17
        JMP END
        LDX TABP
LOOP:   LDA 0,X
        JAN DONE                ; the table ends with a negative word
        SAT 1
        MON 2
        JMP END
        AAX 1
        JMP LOOP
DONE:   SAT 1
        MON 1
        JMP END
END:    MON 0
TABP:   WORD TAB
CUP = 20
TAB:    WORD 31                         ; clear the screen
        WORD CUP, 2, 0, #L, #I, #N, #E, #2
        WORD CUP, 3, 0, #L, #I, #N, #E, #3
        WORD CUP, 4, 0, #G, #O, #N, #E, #4
        WORD CUP, 4, 2, 4, #E           ; erase the cursor line, then E
        WORD 27                         ; scroll the screen down one line
        WORD CUP, 12, 12, #A, #B, 10, 10, #X, 34, #Y
        WORD 5, 6, 26, 25               ; lamps 1 and 2, all out, lamp 3
        WORD 27                         ; scrolls again (other types drop it)
        WORD CUP, 1, 0, #[, #|, 7
        WORD CUP, 0, 0, #E, #N, #D
        WORD -1
)";

// Output without the switches of the terminal's mouse reporting, which the
// event reader turns on while it waits.
std::string without_mouse_switches(std::string text) {
    for (const char *sw : {"\x1b[?1000h\x1b[?1006h", "\x1b[?1006l\x1b[?1000l"}) {
        for (size_t at = text.find(sw); at != std::string::npos; at = text.find(sw))
            text.erase(at, std::string(sw).size());
    }
    return text;
}

class TerminalEndToEnd : public ::testing::Test {
  protected:
    void assemble(const char *source, const char *image) {
        std::string log;
        ASSERT_TRUE(tree_.assemble(source, image, &log)) << log;
    }
    NdTree tree_;
};

TEST_F(TerminalEndToEnd, SingleByteInputThroughAPipe) {
    assemble(keys_program, "(EMULATOR)/KEYS.PROG");
    RunResult run = run_kestrel(tree_, "KEYS\n\nCA\x16\x1bQquit\n");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_NE(run.output.find("   215\r\n"
                              "C   303\r\n"
                              "A   101\r\n"
                              "   226\r\n"
                              "    33\r\n"
                              "Q   321\r\n"),
              std::string::npos)
        << run.output;
}

TEST_F(TerminalEndToEnd, EscStopsTheProgramAtItsMonitorCall) {
    assemble(keys_program, "(EMULATOR)/KEYS.PROG");
    RunResult run = run_kestrel(tree_, "KEYS\nA\x1bquit\n");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_NE(run.output.find("A   101\r\n\n\n__ ESC typed on terminal @ 1003"), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("--- Terminated KESTREL"), std::string::npos);
}

TEST_F(TerminalEndToEnd, EndOfPipedInputStopsAWaitingProgram) {
    assemble(keys_program, "(EMULATOR)/KEYS.PROG");
    RunResult run = run_kestrel(tree_, "KEYS\nA");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_NE(run.output.find("A   101\r\n\r\nEnd of input, stopping ND-110 execution"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find("^C typed"), std::string::npos) << run.output;
}

TEST_F(TerminalEndToEnd, KeysOnARealTerminal) {
    assemble(keys_program, "(EMULATOR)/KEYS.PROG");
    PtySession session(tree_);
    ASSERT_TRUE(session.wait_for("<>")) << session.output();
    session.send("norsk-tegnsett ja\r");
    ASSERT_TRUE(session.wait_for("<>")) << session.output();
    session.mark();
    session.send("KEYS\r");
    ASSERT_TRUE(session.wait_for("READY")) << session.output();
    session.mark();
    // Enter, C, the Norwegian letter typed in UTF-8, ^V and ESC. The keys go
    // in one write, so that none arrives while the program runs between two
    // calls (the terminal is in its line mode then and would echo them).
    session.send("\rC\xc3\xb8\x16\x1b");
    ASSERT_TRUE(session.wait_for("    33\r\n")) << session.since_mark();
    EXPECT_NE(
        session.since_mark().find("   215\r\nC   303\r\n\xc3\xb8   374\r\n   226\r\n    33\r\n"),
        std::string::npos)
        << session.since_mark();
    session.mark();
    session.interrupt();
    ASSERT_TRUE(session.wait_for("^C typed, stopping ND-110 execution")) << session.since_mark();
    ASSERT_TRUE(session.wait_for("<>")) << session.since_mark();
    session.send("quit\r");
    EXPECT_EQ(session.wait_exit(), 0);
}

TEST_F(TerminalEndToEnd, CursorKeysPageDownAndAltKeysAtMultiByteInput) {
    assemble(multi_byte_program, "(EMULATOR)/M310.PROG");
    tree_.write_file("(EMULATOR)/KB.SYMB", "61 string: hi\n");
    PtySession session(tree_);
    ASSERT_TRUE(session.wait_for("<>")) << session.output();
    session.send("virtual-keyboard-definition KB\r");
    ASSERT_TRUE(session.wait_for("String: hi")) << session.output();
    session.send("use-virtual-keyboard\r");
    session.mark();
    session.send("M310\r");
    ASSERT_TRUE(session.wait_for("READY")) << session.output();
    session.mark();
    // Up, Page Down (two calls), Alt+a (its two bytes, one a call under
    // break strategy 0), then Q, in one write as above.
    session.send("\x1b[A\x1b[6~\x1b"
                 "aQ");
    ASSERT_TRUE(session.wait_for(" 50400 100001\r\n")) << session.since_mark();
    EXPECT_NE(without_mouse_switches(session.since_mark())
                  .find(" 16000 100001\r\n"
                        " 17400 100001\r\n"
                        "  5400 100001\r\n"
                        "h 64000 100001\r\n"
                        "i 64400 100001\r\n"),
              std::string::npos)
        << session.since_mark();
    ASSERT_TRUE(session.wait_for("<>")) << session.since_mark();
    session.send("quit\r");
    EXPECT_EQ(session.wait_exit(), 0);
}

TEST_F(TerminalEndToEnd, EscStopsMultiByteInput) {
    assemble(multi_byte_program, "(EMULATOR)/M310.PROG");
    RunResult run = run_kestrel(tree_, "M310\nx\x1bquit\n");
    EXPECT_NE(run.output.find(" 74000 100001\r\n\n\n__ ESC typed on terminal\r\n"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.exit_status, 0);
}

// tmux on a socket of its own, removed at the end.
class Tmux {
  public:
    explicit Tmux(const std::string &directory) {
        socket_ = "kestrel-term-" + std::to_string(getpid());
        std::string out;
        started_ = run("new-session -d -x 80 -y 25 -c '" + directory + "' '" + KESTREL_BINARY +
                           "' \\; set-option status off",
                       &out) == 0;
    }
    ~Tmux() {
        std::string out;
        run("kill-server", &out);
    }
    bool started() const { return started_; }
    void keys(const std::string &keys) {
        std::string out;
        run("send-keys -t 0 " + keys, &out);
    }
    std::vector<std::string> screen() {
        std::string out;
        run("capture-pane -p -t 0", &out);
        std::vector<std::string> rows;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);)
            rows.push_back(line);
        rows.resize(25);
        return rows;
    }
    // Waits until `text` shows on `row`; returns the screen then.
    std::vector<std::string> wait_for_row(int row, const std::string &text) {
        std::vector<std::string> rows;
        for (int i = 0; i < 200; ++i) {
            rows = screen();
            if (rows[static_cast<size_t>(row)] == text) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return rows;
    }

  private:
    int run(const std::string &arguments, std::string *out) {
        return run_host_command("tmux -L " + socket_ + " " + arguments + " 2>&1", out);
    }
    std::string socket_;
    bool started_ = false;
};

TEST_F(TerminalEndToEnd, TdvScreenInTmux) {
    std::string out;
    if (run_host_command("command -v tmux", &out) != 0) GTEST_SKIP() << "tmux is not installed";
    assemble(tdv_program, "(EMULATOR)/TDVSCR.PROG");
    Tmux tmux(tree_.root());
    ASSERT_TRUE(tmux.started());
    std::vector<std::string> rows;
    for (int i = 0; i < 200; ++i) {
        rows = tmux.screen();
        bool prompt = false;
        for (const auto &row : rows)
            prompt = prompt || row.find("<>") != std::string::npos;
        if (prompt) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    tmux.keys("'norsk-tegnsett ja' Enter TDVSCR Enter");
    rows = tmux.wait_for_row(1, "END");
    const std::vector<std::string> expected = {
        "",
        "END",
        "",
        "",
        "",
        "KEEP6",
        "",
        "",
        "",
        "",
        std::string(40, ' ') + "X",
        "",
        "     ┌─┐",
        "     └─┘",
        "",
        "ÆØÅæøå",
        "",
        "ABC",
        "",
        "ROW19",
        "ROW20",
        "",
        "",
        std::string(16, ' ') + "■       ■",
        "",
    };
    EXPECT_EQ(rows, expected);
    tmux.keys("x");
    tmux.keys("quit Enter");
}

TEST_F(TerminalEndToEnd, TdvSingleByteOutputInTmux) {
    std::string out;
    if (run_host_command("command -v tmux", &out) != 0) GTEST_SKIP() << "tmux is not installed";
    assemble(tdv_single_byte_program, "(EMULATOR)/TDV2.PROG");
    Tmux tmux(tree_.root());
    ASSERT_TRUE(tmux.started());
    std::vector<std::string> rows;
    for (int i = 0; i < 200; ++i) {
        rows = tmux.screen();
        bool prompt = false;
        for (const auto &row : rows)
            prompt = prompt || row.find("<>") != std::string::npos;
        if (prompt) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    tmux.keys("'norsk-tegnsett ja' Enter TDV2 Enter");
    rows = tmux.wait_for_row(0, "END");
    // The second scroll moved everything written before it down one more
    // line, the lamp included.
    const std::vector<std::string> expected = {
        "END",
        "Æø",
        "",
        "",
        "LINE2",
        "LINE3",
        "E",
        "",
        "",
        "",
        std::string(11, ' ') + "Y",
        std::string(10, ' ') + "XB",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        std::string(35, ' ') + "■",
    };
    EXPECT_EQ(rows, expected);
    tmux.keys("x");
    tmux.keys("quit Enter");
}

} // namespace
