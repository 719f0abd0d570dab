#include "shell/shell.h"

#include "console/terminal.h"
#include "filesystem/output_file.h"
#include "host/host.h"
#include "shell/settings.h"

#include <cstring>
#include <vector>

ShellState shell;

static bool ends_word(char c) { return c == '\0' || c == ' ' || c == ','; }

// Matches one typed word against one entry. Returns 0 for no match, 1 for an
// abbreviation, 2 for an exact match made with "*", 3 for a literal exact
// match. *end receives the index just past the typed word.
static int match_entry(const char *text, int start, const char *entry, int *end) {
    int ti = start;
    int ei = 0;
    bool exact = true;
    bool literal = true;
    for (;;) {
        char c = text[ti];
        char e = entry[ei];
        if (ends_word(c)) {
            *end = ti;
            if (exact && (e == ' ' || e == '\0'))
                return literal ? 3 : 2;
            return 1;
        }
        if (e == ' ' || e == '\0')
            return 0;
        if (e == c) {
            ++ti;
            ++ei;
            continue;
        }
        if (c == '.' || c == ':') {
            while (entry[ei] != '.' && entry[ei] != ':') {
                if (entry[ei] == ' ' || entry[ei] == '\0')
                    return 0;
                ++ei;
            }
            ++ei;
            ++ti;
            exact = false;
            continue;
        }
        if (e == '-')
            return 0;
        if (c == '*') {
            ++ti;
            ++ei;
            literal = false;
            continue;
        }
        if (c == '-') {
            while (entry[ei] != '-') {
                if (entry[ei] == ' ' || entry[ei] == '\0')
                    return 0;
                ++ei;
            }
            exact = false;
            continue;
        }
        return 0;
    }
}

int match_command(const char *text, int start, const char *const *table, int *index,
                  int *terminator, int *end) {
    if (ends_word(text[start])) {
        *end = start;
        *terminator = text[start];
        return MATCH_EMPTY;
    }
    int literal_count = 0, literal_index = -1;
    int exact_count = 0, exact_index = -1;
    int match_count = 0, last_index = -1;
    int word_end = start;
    for (int i = 0; table[i]; ++i) {
        int entry_end = start;
        int kind = match_entry(text, start, table[i], &entry_end);
        if (kind == 0)
            continue;
        word_end = entry_end;
        ++match_count;
        last_index = i;
        if (kind >= 2) {
            if (exact_index < 0)
                exact_index = i;
            ++exact_count;
        }
        if (kind == 3) {
            if (literal_index < 0)
                literal_index = i;
            ++literal_count;
        }
    }
    if (match_count == 0) {
        *end = start;
        *terminator = text[start];
        return MATCH_NONE;
    }
    *end = word_end;
    *terminator = text[word_end];
    if (literal_count == 1) {
        *index = literal_index;
        return MATCH_EXACT;
    }
    if (exact_count == 1) {
        *index = exact_index;
        return MATCH_EXACT;
    }
    *index = last_index;
    return match_count == 1 ? MATCH_ABBREVIATION : MATCH_AMBIGUOUS;
}

static int read_console_line(char *buffer, int size) {
    int length = 0;
    buffer[0] = '\0';
    for (;;) {
        // ^C, whether it came before the read or cut it short, discards the
        // line and ends the read as the end of the console input does, so
        // that a command waiting for an argument ends too.
        if (interrupt_seen) {
            buffer[0] = '\0';
            report_idle_interrupt();
            shell.console_read_interrupted = 1;
            return CONSOLE_EOF;
        }
        int byte = host_read_byte(-1);
        if (byte == HOST_INTERRUPTED || interrupt_seen)
            continue;
        if (byte == HOST_EOF) {
            // A line cut short by a termination signal is never taken.
            if (length > 0 && !host_must_end())
                return length;
            buffer[0] = '\0';
            return CONSOLE_EOF;
        }
        if (byte == '\n') {
            page_pause('\n');
            return length;
        }
        if (byte == '\r')
            continue;
        if (byte == 8) {
            if (length > 0)
                buffer[--length] = '\0';
            continue;
        }
        if (length < size - 1) {
            buffer[length++] = static_cast<char>(byte);
            buffer[length] = '\0';
        }
    }
}

int read_line(FILE *stream, char *buffer, int size) {
    if (shell.prompt_input)
        stream = shell.prompt_input;
    if (!stream)
        return read_console_line(buffer, size);
    int length = 0;
    buffer[0] = '\0';
    for (;;) {
        int c = std::fgetc(stream);
        if (c == EOF)
            return -1;
        c &= 0177;
        if (shell.echo_stream)
            std::fputc(c, shell.echo_stream);
        if (c == '\n')
            return length;
        if (c == '\r')
            continue;
        if (length < size - 1) {
            buffer[length++] = static_cast<char>(c);
            buffer[length] = '\0';
        }
    }
}

static void skip_blanks() {
    while (shell.command_line[shell.argument_position] == ' ')
        ++shell.argument_position;
}

// After an argument: blanks and at most one comma.
static void finish_argument() {
    skip_blanks();
    if (shell.command_line[shell.argument_position] == ',') {
        ++shell.argument_position;
        skip_blanks();
    }
}

// Positions at the next argument, prompting for it when the line has ended.
// Returns 1 when an argument is there, 0 when it is not given, CONSOLE_EOF.
static int locate_argument(const char *prompt) {
    shell.saved_argument_position = shell.argument_position;
    skip_blanks();
    char c = shell.command_line[shell.argument_position];
    if (c == ',') {
        ++shell.argument_position;
        skip_blanks();
        return 0;
    }
    if (c != '\0')
        return 1;
    if (!prompt || !*prompt)
        return 0;
    std::fprintf(shell.echo_stream, "%s", prompt);
    std::fflush(shell.echo_stream);
    int length = read_line(nullptr, shell.command_line, COMMAND_LINE_SIZE);
    if (length == CONSOLE_EOF) {
        shell.command_line[0] = '\0';
        shell.argument_position = 0;
        return CONSOLE_EOF;
    }
    shell.argument_position = 0;
    skip_blanks();
    c = shell.command_line[shell.argument_position];
    if (c == ',') {
        ++shell.argument_position;
        skip_blanks();
        return 0;
    }
    return c == '\0' ? 0 : 1;
}

static int read_number_argument(uint32_t *value, uint32_t default_value, const char *prompt,
                                int *bad_char, int base) {
    int found = locate_argument(prompt);
    if (found == CONSOLE_EOF)
        return CONSOLE_EOF;
    if (found == 0) {
        *value = default_value;
        return 1;
    }
    uint32_t result = 0;
    for (;;) {
        char c = shell.command_line[shell.argument_position];
        if (ends_word(c))
            break;
        int digit = c - '0';
        if (digit < 0 || digit >= base) {
            *bad_char = static_cast<unsigned char>(c);
            return -1;
        }
        // A number too large for 32 bits stays at the largest value rather
        // than wrapping round to a small one the operator never typed.
        uint64_t next = uint64_t{result} * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        result = next > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(next);
        ++shell.argument_position;
    }
    finish_argument();
    *value = result;
    return 1;
}

int read_octal_argument(uint32_t *value, uint32_t default_value, const char *prompt,
                        int *bad_char) {
    return read_number_argument(value, default_value, prompt, bad_char, 8);
}

int read_decimal_argument(uint32_t *value, uint32_t default_value, const char *prompt,
                          int *bad_char) {
    return read_number_argument(value, default_value, prompt, bad_char, 10);
}

int read_signed_decimal_argument(int32_t *value, int *bad_char) {
    *value = 0;
    if (locate_argument(nullptr) == 0)
        return 0;
    bool negative = false;
    if (shell.command_line[shell.argument_position] == '-') {
        negative = true;
        ++shell.argument_position;
    }
    int64_t result = 0;
    for (;;) {
        char c = shell.command_line[shell.argument_position];
        if (ends_word(c))
            break;
        if (c < '0' || c > '9') {
            *bad_char = static_cast<unsigned char>(c);
            return -1;
        }
        if (result < 100000000000LL)
            result = result * 10 + (c - '0');
        ++shell.argument_position;
    }
    finish_argument();
    *value = static_cast<int32_t>(negative ? -result : result);
    return 1;
}

int read_word_argument(std::string *text, const char *default_text, const char *prompt) {
    int found = locate_argument(prompt);
    if (found == CONSOLE_EOF)
        return CONSOLE_EOF;
    if (found == 0) {
        *text = default_text ? default_text : "";
        return static_cast<int>(text->size());
    }
    text->clear();
    while (!ends_word(shell.command_line[shell.argument_position]))
        text->push_back(shell.command_line[shell.argument_position++]);
    finish_argument();
    return static_cast<int>(text->size());
}

int read_choice_argument(const char *prompt, const char *default_word, const char *alternatives) {
    std::string word;
    int length = read_word_argument(&word, default_word, prompt);
    if (length == CONSOLE_EOF)
        return CONSOLE_EOF;
    if (length == 0)
        return -3;
    std::vector<std::string> choices;
    for (const char *p = alternatives; *p;) {
        while (*p == ' ')
            ++p;
        const char *start = p;
        while (*p && *p != ' ')
            ++p;
        if (p > start)
            choices.emplace_back(start, p);
    }
    // The alternative spelled exactly as typed wins over any other match.
    for (size_t i = 0; i < choices.size(); ++i)
        if (choices[i] == word)
            return static_cast<int>(i) + 1;
    int found = -1;
    int matches = 0;
    for (size_t i = 0; i < choices.size(); ++i) {
        const char *table[2] = {choices[i].c_str(), nullptr};
        int index = 0, terminator = 0, end = 0;
        int result = match_command(word.c_str(), 0, table, &index, &terminator, &end);
        if (result == MATCH_EXACT)
            return static_cast<int>(i) + 1;
        if (result == MATCH_ABBREVIATION) {
            found = static_cast<int>(i) + 1;
            ++matches;
        }
    }
    if (matches == 0)
        return -1;
    return matches == 1 ? found : -2;
}

bool informational_messages_suppressed() {
    return settings.silent_mode || shell.program_command_pending;
}

void set_program_command_line(const char *rest) {
    size_t length = std::strlen(rest);
    if (length > COMMAND_LINE_SIZE - 2)
        length = COMMAND_LINE_SIZE - 2;
    std::memcpy(shell.program_command_line, rest, length);
    shell.program_command_line[length] = '\r';
    shell.program_command_line[length + 1] = '\0';
    shell.program_command_line_position = 0;
    if (!shell.program_command_pending && !settings.silent_mode)
        std::fprintf(shell.operator_output, "\r\nCommand line set to: %s\r\n",
                     shell.program_command_line);
}

void return_input_to_console() {
    if (shell.mode_input && shell.mode_input != stdin)
        std::fclose(shell.mode_input);
    // What the mode file's commands said must all have reached its output
    // file; the report of a loss goes to the console.
    if (shell.operator_output && shell.operator_output != stdout)
        finish_written_stream(shell.operator_output, "the mode output file", stdout);
    shell.mode_input = nullptr;
    shell.prompt_input = nullptr;
    shell.operator_output = stdout;
    shell.echo_stream = stdout;
}
