// ND file names: validation, de-abbreviation against the user directories,
// host paths ./(USER)/NAME.TYPE, and the shell's file opener.
#pragma once

#include <cstdio>
#include <string>

// The shell's file opener: reads the name with read_word_argument (prompting
// with `prompt`; a prompt beginning with "&" lets an empty answer mean the
// console), resolves it with `default_type` and opens it with the host access
// mode. Returns 0 with *stream set, or a negative code after printing the
// message. The path opened is left in *host_path when it is given.
int s3_fopen(FILE **stream, const char *prompt, const char *mode, const char *default_type,
             std::string *host_path = nullptr);
