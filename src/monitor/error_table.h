// The monitor-call error codes and their texts, as ND programs receive the
// codes in A and as MON 64, 65 and 334 and the shell print the texts.
#pragma once

#include <cstdint>

struct ErrorTableEntry {
    int32_t code; // -1 ends the table
    const char *text;
};

extern const ErrorTableEntry error_table[];

// Row of the first entry with `code`, or -1. A negative code is never found.
int find_error_index(int32_t code);
// Text of `code`, or null when the table does not have it.
const char *error_text(int32_t code);
