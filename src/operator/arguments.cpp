#include "operator/arguments.h"

#include "operator/line_reader.h"
#include "operator/matcher.h"
#include "operator/operator_channel.h"

#include <cstdio>
#include <vector>

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

bool shell_line_ended() {
    int position = shell.argument_position;
    while (position < COMMAND_LINE_SIZE - 1 && shell.command_line[position] == ' ')
        ++position;
    return shell.command_line[position] == '\0';
}

const char *rest_after_argument(bool prompted) {
    // An argument asked for stands at the start of the fresh line; the
    // position saved by the reader belongs to the line it replaced.
    int position = prompted ? 0 : shell.saved_argument_position;
    const char *line = shell.command_line;
    while (position < COMMAND_LINE_SIZE - 1 && line[position] == ' ')
        ++position;
    while (line[position] && line[position] != ' ' && line[position] != ',')
        ++position;
    return line + position;
}
