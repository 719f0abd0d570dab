// nd-asm: ND-100 assembly source to program words. The source language is
// described in tools/README.md.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ndtools {

struct Diagnostic {
    std::string file;
    int line = 0;
    std::string message;
};

// "file:line: error: message"
std::string format_diagnostic(const Diagnostic &diagnostic);

// One 64K-word bank: the words and which of them the source set.
struct Bank {
    std::vector<uint16_t> words = std::vector<uint16_t>(65536, 0);
    std::vector<bool> used = std::vector<bool>(65536, false);

    bool empty() const;
    uint32_t low() const;  // lowest used address (empty: 0)
    uint32_t high() const; // highest used address (empty: 0)
};

// What the assembler produces, ready to be written as a :PROG or :BPUN image.
struct Program {
    Bank program;          // page table 0
    Bank data;             // the data bank of a 2-bank program
    bool two_bank = false; // the source used BANK DATA
    bool start_given = false;
    uint16_t start = 0;
    bool restart_given = false;
    uint16_t restart = 0;
    uint16_t action = 0; // the action code of a :BPUN image
};

struct AssemblyResult {
    Program program;
    std::vector<Diagnostic> errors;
    std::string listing; // address, octal word and source line, one line each
    std::vector<std::string> included; // the files INCLUDE brought in, as found
    bool ok() const { return errors.empty(); }
};

// Reads a file that INCLUDE names into text; false when it cannot be read.
using SourceReader = std::function<bool(const std::string &path, std::string &text)>;

// Reads a file from the host's file system.
bool read_source_file(const std::string &path, std::string &text);

// Assembles the whole text. file_name names the source in diagnostics, and
// the files INCLUDE names are found relative to its directory and read with
// `read`.
AssemblyResult assemble(const std::string &source, const std::string &file_name,
                        const SourceReader &read = read_source_file);

} // namespace ndtools
