// Commands that set EmulatorSettings, and quit, @cc and @mode.
#include "console/terminal.h"
#include "filesystem/file_names.h"
#include "host/host.h"
#include "shell/commands.h"
#include "shell/settings.h"
#include "shell/shell.h"

#include <vector>

static FILE *out() { return shell.operator_output; }

// An on/off choice: 1 on, 0 off, -1 when the answer was not clear.
static int read_on_off(const char *prompt, const char *default_word) {
    int choice = read_choice_argument(prompt, default_word, "off on");
    if (choice == CONSOLE_EOF)
        return -1;
    if (choice == -2) {
        std::fprintf(out(), "Please be more precise\r\n");
        return -1;
    }
    if (choice < 1) {
        std::fprintf(out(), "Please enter on or off\r\n");
        return -1;
    }
    return choice == 2 ? 1 : 0;
}

// An octal setting; returns false when the answer had a bad digit.
static bool read_octal_setting(uint32_t *value, const char *prompt) {
    int bad = 0;
    int result = read_octal_argument(value, 0, prompt, &bad);
    if (result == -1) {
        std::fprintf(out(), "Illegal char. in octal number: %c\r\n", bad);
        return false;
    }
    return result == 1;
}

void cmd_upper_case() {
    int on = read_on_off("off or on ? ", "off");
    if (on >= 0)
        settings.upper_case = on;
}

void cmd_use_7bit_on_symb_files_write() {
    int on = read_on_off("7bit mode on or off ? ", "on");
    if (on >= 0)
        settings.seven_bit_symb_mask = on ? 077577 : 0177777;
}

void cmd_set_parity_when_reading_symb_files() {
    int on = read_on_off("off or on ? ", "off");
    if (on >= 0)
        settings.parity_on_symb_read = on;
}

void cmd_silent_mode() {
    int on = read_on_off("Silent mode off or on ? ", "on");
    if (on >= 0)
        settings.silent_mode = on;
}

void cmd_test_movew() {
    int on = read_on_off("off or on ? ", "off");
    if (on >= 0)
        settings.test_movew = on;
}

void cmd_debug() {
    uint32_t level = 0;
    int bad = 0;
    int result = read_octal_argument(&level, 0, "Debug level (0=off): ", &bad);
    if (result == -1) {
        std::fprintf(out(), "Illegal char. in octal number: %c\r\n\r\n", bad);
        return;
    }
    if (result != 1)
        return;
    settings.debug_level = level;
    if (level == 0)
        std::fprintf(out(), "Debug turned off\r\n");
}

void cmd_use_non_abbr_open() {
    std::vector<std::string> names;
    host_list_directory(".", &names);
    std::fprintf(out(), "Users:\r\n%s\r\n", "");
    for (const auto &name : names)
        if (!name.empty() && name[0] == '(')
            std::fprintf(out(), "%s\r\n", name.c_str());
    uint32_t mode = 0;
    if (!read_octal_setting(&mode, "MON open mode(0=off): "))
        return;
    settings.mon_open_mode = mode;
    if (mode == 0)
        std::fprintf(out(), "Using non-abbr. off\r\n");
}

void cmd_mon310() {
    uint32_t value = 0;
    if (!read_octal_setting(&value, "\r\nMON 310 buffered (0=off): "))
        return;
    settings.mon310_buffered = value;
    if (value == 1)
        std::fprintf(out(), "Using buffered mon310\r\n");
}

void cmd_tdv() {
    uint32_t value = 0;
    if (!read_octal_setting(&value, "\r\nOld or new? (0=oold): "))
        return;
    settings.tdv_output = value;
    if (value == 1)
        std::fprintf(out(), "Using new output\r\n");
}

void cmd_allow_skp_cld() {
    int choice = read_choice_argument("Allow CLD for SKP instruction ? ", "yes", "yes no");
    if (choice == CONSOLE_EOF)
        return;
    if (choice == 1)
        settings.skp_cld_mask = 0200;
    else if (choice == 2)
        settings.skp_cld_mask = 0300;
    else
        std::fprintf(out(), "Please answer yes or no!\r\n");
}

void cmd_norsk_tegnsett() {
    int choice = read_choice_argument("ja eller nei ? ", "ja", "ja nei");
    if (choice == CONSOLE_EOF)
        return;
    if (choice == 1)
        settings.norwegian_charset = 1;
    else if (choice == 2)
        settings.norwegian_charset = 0;
    else
        std::fprintf(out(), "Svar ja eller nei!\r\n");
}

void cmd_use_virtual_keyboard() { settings.use_virtual_keyboard = !settings.use_virtual_keyboard; }

void cmd_nct() {
    settings.nct_mode = !settings.nct_mode;
    std::fprintf(out(), "This function is not available in Linux version\r\n");
}

void cmd_set_terminal_type() {
    int32_t value = 0;
    int bad = 0;
    int result = read_signed_decimal_argument(&value, &bad);
    if (result == -1) {
        std::fprintf(out(), "Illegal char. number: %c\r\n", bad);
        return;
    }
    if (result == 0) {
        settings.terminal_type = 0;
        std::fprintf(out(), "Terminal type set to 0\r\n");
        return;
    }
    settings.terminal_type = value == 32768 ? 0166065u : static_cast<uint32_t>(value) & 0177777u;
}

void cmd_terminal_mode() {
    static const char *const questions[4] = {"Capital letters? ", "Delay after CR? ",
                                             "Stop on full page? ", "Logout on missing carrier? "};
    int *options[4] = {&settings.upper_case, &settings.delay_after_cr,
                       &settings.stop_on_full_page, &settings.logout_on_missing_carrier};
    terminal.line_count = 0;
    for (int i = 0; i < 4; ++i) {
        int choice = read_choice_argument(questions[i], "", "no NO yes YES");
        if (choice == CONSOLE_EOF)
            return;
        if (choice == -3)
            continue;
        if (choice < 1) {
            std::fprintf(out(), "Please enter yes or no\r\n");
            return;
        }
        *options[i] = choice >= 3 ? 1 : 0;
        if (i == 2 && choice < 3)
            terminal.line_count = 0;
    }
}

void cmd_cc() {}

void cmd_quit() {
    std::fprintf(out(), "\r\n--- Terminated KESTREL\r\n");
    shell.quit_requested = 1;
}

// Mode files that start one another without the console giving a command in
// between: past this many it is a loop (a file that runs itself, directly or
// through others), which would otherwise go on until ^C.
constexpr int MAX_CHAINED_MODE_FILES = 32;

void cmd_mode() {
    // What an earlier mode file's output holds reaches the host before a new
    // output file, perhaps of the same name, is emptied.
    std::fflush(shell.operator_output);
    if (!shell.mode_input)
        shell.chained_mode_files = 0;
    if (shell.chained_mode_files >= MAX_CHAINED_MODE_FILES) {
        return_input_to_console();
        std::fprintf(shell.operator_output,
                     "\r\nMode files nested too deeply (%d), taken for a loop: commands come "
                     "from the console again\r\n",
                     MAX_CHAINED_MODE_FILES);
        return;
    }
    FILE *input = nullptr;
    if (s3_fopen(&input, "&Mode input file: ", "r", "SYMB") < 0)
        return;
    // The console's own input never becomes a mode file; its end would end
    // the emulator's input for good. Commands simply go on coming from the
    // console, and no output file is opened (and so emptied) for nothing.
    if (input == stdin)
        return;
    FILE *output = nullptr;
    if (s3_fopen(&output, "&Mode output file: ", "wb", "SYMB") < 0) {
        std::fclose(input);
        return;
    }
    // A mode file that starts another one gives way to it for good: its
    // files are closed rather than left open behind the new ones.
    FILE *previous_input = shell.mode_input;
    FILE *previous_output = shell.operator_output;
    shell.mode_input = input;
    shell.prompt_input = input;
    ++shell.chained_mode_files;
    shell.operator_output = output;
    shell.echo_stream = output;
    if (previous_input && previous_input != stdin)
        std::fclose(previous_input);
    if (previous_output && previous_output != stdout && previous_output != output)
        std::fclose(previous_output);
}

void cmd_show_echo_and_break_strategy() {
    FILE *o = out();
    std::fprintf(o, "Last user break/echo mode 7:");
    for (int code = 0; code < 128; ++code) {
        std::fprintf(o, "\r\n%3o Break", static_cast<unsigned>(code));
        std::fprintf(o, "%s", terminal.break_table[code] ? " YES" : " NO ");
        std::fprintf(o, "... Echo");
        std::fprintf(o, "%s", terminal.echo_table[code] ? " YES" : " NO ");
        if (code >= 33 && code <= 126)
            std::fprintf(o, "  %c", code);
        page_pause('\n');
    }
    std::fprintf(o, "\r\n");
}
