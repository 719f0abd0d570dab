// The abbreviation matcher: a typed word against a table of hyphenated
// command texts, as the shell's commands, the SINTRAN commands, the users and
// the choices of a prompt are matched.
#pragma once

// Match results of match_command.
enum MatchResult : int {
    MATCH_NONE = 0,
    MATCH_ABBREVIATION = 1,
    MATCH_AMBIGUOUS = 2,
    MATCH_EMPTY = 3,
    MATCH_EXACT = 4,
};

// The characters that end a typed word: the end of the line, a blank, a comma.
inline bool ends_word(char c) {
    return c == '\0' || c == ' ' || c == ',';
}

// Matches the word of `text` starting at `start` against a null-terminated
// table of texts (only the part of an entry before its first blank counts).
int match_command(const char *text, int start, const char *const *table, int *index,
                  int *terminator, int *end);
