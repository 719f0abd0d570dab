// What every fuzz target shares: a temporary ND directory tree that the
// emulator works in, a fresh emulator for each input, and the guard that
// stops the run when the emulator touches a host path outside that tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Creates the temporary tree (users SYSTEM, RT, SCRATCH and EMULATOR, the
// eight scratch files), changes into it, silences standard output, gives the
// emulator an ended standard input, claims a scratch file and arms the host
// access guard. Called once, from LLVMFuzzerInitialize.
void fuzz_setup();

// Puts the tree back as fuzz_setup left it (keeping the claimed scratch file
// open and locked) and the emulator in its start-up state, with the operator
// output and argument prompts going nowhere.
void fuzz_reset();

// Ends the host access guard until the next fuzz_reset: libFuzzer's own
// file work between inputs is not checked.
void fuzz_done();

// One input's run: a fresh emulator at the start, the guard off at the end.
struct FuzzInput {
    FuzzInput() { fuzz_reset(); }
    ~FuzzInput() { fuzz_done(); }
    FuzzInput(const FuzzInput &) = delete;
    FuzzInput &operator=(const FuzzInput &) = delete;
};

// Absolute path of the tree.
const std::string &fuzz_tree();

// Writes `size` bytes as a host file at a path relative to the tree.
void fuzz_write_file(const std::string &relative, const uint8_t *data, size_t size);

// A big-endian word of the input.
inline uint32_t fuzz_word(const uint8_t *bytes) { return (uint32_t{bytes[0]} << 8) | bytes[1]; }

// Fills page tables 0 and 2 alike with the input's words from `from` on,
// starting at `address` and wrapping at 177777.
void fuzz_fill_memory(const uint8_t *data, size_t from, size_t size, uint32_t address);

// Text files for the file calls to find, read, write, rename and delete:
// (EMULATOR)F:DATA, (EMULATOR)F:SYMB and (SYSTEM)S:SYMB.
void fuzz_write_sample_files();

// Executes one shell line as the command loop does; a program it starts
// runs at most 20000 instructions.
void fuzz_shell_line(const std::string &line);

// Splits an input at the separator into at most `parts` pieces; the last
// piece holds the rest.
std::vector<std::string> fuzz_split(const uint8_t *data, size_t size, const std::string &separator,
                                    size_t parts);

// Stops the instruction cycle after `limit` instructions: the cycle gives
// the debugging aids' slot its turn after every instruction while a trace
// flag is set, and the fuzz hook there counts.
void fuzz_limit_instructions(uint32_t limit);
