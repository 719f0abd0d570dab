// nd-asm: ND-100 assembly source to program words. The source language is
// described in tools/README.md.
#pragma once

#include <cstdint>
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
    bool ok() const { return errors.empty(); }
};

// Assembles the whole text; file_name is used in diagnostics only.
AssemblyResult assemble(const std::string &source, const std::string &file_name);

} // namespace ndtools
