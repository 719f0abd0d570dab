// A clean machine for instruction tests: words are placed in memory, registers
// set, and single instructions stepped exactly as the instruction cycle does.
#pragma once

#include "cpu/cycle.h"
#include "cpu/machine.h"
#include "debug/debug_aids.h"
#include "settings/settings.h"
#include "shell/shell.h"

#include <cstdint>
#include <cstdio>
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>

// Memory-reference word: operation code (bits 15-11), X I B mode, displacement.
constexpr uint32_t mr(uint32_t op, uint32_t mode, int displacement) {
    return (op << 11) | (mode << 8) | (static_cast<uint32_t>(displacement) & 0377);
}

// Operation codes of the memory-reference format.
enum : uint32_t {
    OP_STZ = 000,
    OP_STA = 001,
    OP_STT = 002,
    OP_STX = 003,
    OP_STD = 004,
    OP_LDD = 005,
    OP_STF = 006,
    OP_LDF = 007,
    OP_MIN = 010,
    OP_LDA = 011,
    OP_LDT = 012,
    OP_LDX = 013,
    OP_ADD = 014,
    OP_SUB = 015,
    OP_AND = 016,
    OP_ORA = 017,
    OP_FAD = 020,
    OP_FSU = 021,
    OP_FMU = 022,
    OP_FDV = 023,
    OP_MPY = 024,
    OP_JMP = 025,
    OP_JCOND = 026,
    OP_JPL = 027,
};

// Addressing modes (X I B).
enum : uint32_t { M_P = 0, M_B = 1, M_I = 2, M_BI = 3, M_X = 4, M_BX = 5, M_IX = 6, M_BIX = 7 };

class InstructionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_machine();
        reset_settings();
        reset_debug_state();
        install_instruction_set();
        machine.P = 01000;
        cpu_running = 1;
    }
    // Leaves the machine, the settings and the instruction table as a fresh
    // start has them, whatever the test changed.
    void TearDown() override {
        cpu_running = 0;
        reset_machine();
        reset_settings();
        install_instruction_set();
    }

  public:
    // One pass of the instruction cycle without the debugging aids.
    static void step() {
        machine.P &= WORD_MASK;
        machine.data_bank_mask = (machine.STS & STS_PTM) ? ~0u : 0u;
        machine.instruction_address = machine.P;
        machine.current_instruction = read_normal(machine.P);
        instruction_table[machine.current_instruction >> 8]();
        ++machine.instruction_count;
    }

    // Places `word` at P and executes it.
    static void execute(uint32_t word) {
        write_normal(machine.P, word);
        step();
    }

    static void place(uint32_t address, std::initializer_list<uint32_t> words) {
        for (uint32_t word : words)
            write_normal(address++, word);
    }

    // Data references through page table `bank` while STS bit 0 is set.
    static void use_alternative_bank(uint32_t bank) {
        machine.apt_offset = bank << 16;
        machine.STS |= STS_PTM;
    }

    static bool sts(uint32_t bit) { return (machine.STS & bit) != 0; }

    void capture_output() { ::testing::internal::CaptureStdout(); }
    std::string captured_output() {
        std::fflush(stdout);
        return ::testing::internal::GetCapturedStdout();
    }
};
