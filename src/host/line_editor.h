// Line editing, history and Tab completion for command lines typed at a
// terminal (libedit). Piped input and command files never go through it.
#pragma once

#include <string>
#include <vector>

// Result of line_editor_read when ^C interrupted the line.
constexpr int LINE_EDITOR_INTERRUPTED = -2;
// Result when the terminal sent end of input (^D on an empty line).
constexpr int LINE_EDITOR_END = -1;

// True when both standard input and standard output are terminals.
bool line_editor_available();
// The words Tab completes at the start of a line.
void line_editor_set_completions(const std::vector<std::string> &words);
// Shows `prompt`, reads one edited line into buffer (NUL-terminated, cut to
// size) and returns its length, LINE_EDITOR_INTERRUPTED or LINE_EDITOR_END.
// Non-empty lines go into the history, kept in the working directory.
int line_editor_read(const char *prompt, char *buffer, int size);
// Completion of `prefix` against `words`: the longest common extension, and
// the candidates in *matches.
std::string complete_word(const std::string &prefix, const std::vector<std::string> &words,
                          std::vector<std::string> *matches);
