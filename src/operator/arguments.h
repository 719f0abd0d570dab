// The argument readers: every command takes its arguments from the rest of
// the shell line through these, and asks for one on a fresh line when the
// line has ended.
#pragma once

#include <cstdint>
#include <string>

int read_octal_argument(uint32_t *value, uint32_t default_value, const char *prompt, int *bad_char);
int read_decimal_argument(uint32_t *value, uint32_t default_value, const char *prompt,
                          int *bad_char);
int read_signed_decimal_argument(int32_t *value, int *bad_char);
int read_word_argument(std::string *text, const char *default_text, const char *prompt);
int read_choice_argument(const char *prompt, const char *default_word, const char *alternatives);

// Whether the shell line holds no further argument, so that the next argument
// reader asks for it on a fresh line.
bool shell_line_ended();
// The text after the argument the last reader took, blanks included: the
// program command line of a program started with its arguments. `prompted`
// tells that the reader took the argument from a fresh line it asked for.
const char *rest_after_argument(bool prompted);
