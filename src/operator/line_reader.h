// Reading one operator line: from the console, from the @mode command file
// or from the file that answers prompts.
#pragma once

#include <cstdio>

// Reads one line. With a stream (or while a prompt input is set) reads up to
// LF, strips bit 7, drops CR, echoes to the echo stream and returns the length
// or -1 at end of file. Without one, reads the console and returns the length,
// or CONSOLE_EOF at its end and after a ^C, which it reports. The line is
// always NUL-terminated and cut to fit.
int read_line(FILE *stream, char *buffer, int size);
