// :BPUN binary images: a text preamble ending with "!" whose last complete
// line holds the start address, then one block of big-endian words with its
// load address, word count, checksum and action code.
#pragma once

#include <cstdio>

// @place-binary: opens the file named at argument_position (prompting for
// it) and places its block in page table 0.
void place_binary();
// The loader proper, on an open stream; closes the stream. Returns whether
// the block was placed and P set to its start address.
bool place_binary_stream(FILE *stream);
