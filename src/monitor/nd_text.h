// Character strings in ND memory: two 8-bit characters to a word, the first
// in the high byte, read and written through the data page table.
#pragma once

#include <cstdint>
#include <string>

// Reads at most `max_chars` characters from `address` on, stopping before an
// apostrophe when `stop_at_apostrophe` is set. Addresses wrap within the
// page table.
std::string read_nd_text(uint32_t address, size_t max_chars, bool stop_at_apostrophe);

// Writes `length` characters from `address` on: the text, then `pad` for the
// characters it lacks. An odd length keeps the low byte of the last word.
void write_nd_text(uint32_t address, const std::string &text, size_t length, char pad);
