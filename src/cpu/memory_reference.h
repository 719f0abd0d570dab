// Loads, stores, integer arithmetic, jumps and the memory increment: the
// memory-reference format with its eight addressing modes, one handler per
// instruction-table slot. The instruction cycle runs these in line.
#pragma once

#include "cpu/addressing.h"
#include "cpu/alu.h"
#include "cpu/instruction_context.h"
#include "cpu/machine.h"

#include <cstdint>

namespace memory_reference_group {

// Operation codes (instruction bits 15-11), which are also the slot group.
enum MemoryOperation : int {
    STZ = 000,
    STA = 001,
    STT = 002,
    STX = 003,
    STD = 004,
    LDD = 005,
    STF = 006,
    LDF = 007,
    MIN = 010,
    LDA = 011,
    LDT = 012,
    LDX = 013,
    ADD = 014,
    SUB = 015,
    AND = 016,
    ORA = 017,
    MPY = 024,
    JMP = 025,
    CONDITIONAL_JUMP = 026,
    JPL = 027,
};

template <int OP, int MODE> HANDLER_INLINE void memory_reference(InstructionContext &c) {
    uint32_t ea = effective_address<MODE>(c);
    if constexpr (OP == JMP) {
        c.p = ea;
        return;
    } else if constexpr (OP == JPL) {
        machine.L = (c.p + 1) & WORD_MASK;
        c.p = ea;
        return;
    } else {
        if constexpr (OP == STZ) {
            write_operand<MODE>(c, ea, 0);
        } else if constexpr (OP == STA) {
            store_a<MODE>(c, ea);
        } else if constexpr (OP == STT) {
            write_operand<MODE>(c, ea, machine.T);
        } else if constexpr (OP == STX) {
            write_operand<MODE>(c, ea, machine.X);
        } else if constexpr (OP == STD) {
            write_operand<MODE>(c, ea, c.a);
            write_operand<MODE>(c, ea + 1, machine.D);
        } else if constexpr (OP == LDD) {
            c.a = read_word_for_a<MODE>(c, ea);
            machine.D = read_operand<MODE>(c, ea + 1);
        } else if constexpr (OP == STF) {
            write_operand<MODE>(c, ea, machine.T);
            write_operand<MODE>(c, ea + 1, c.a);
            write_operand<MODE>(c, ea + 2, machine.D);
        } else if constexpr (OP == LDF) {
            machine.T = read_operand<MODE>(c, ea);
            c.a = read_word_for_a<MODE>(c, ea + 1);
            machine.D = read_operand<MODE>(c, ea + 2);
        } else if constexpr (OP == MIN) {
            uint32_t value = (read_operand<MODE>(c, ea) + 1) & WORD_MASK;
            write_operand<MODE>(c, ea, value);
            if (value == 0) step_p(c);
        } else if constexpr (OP == LDA) {
            c.a = read_word_for_a<MODE>(c, ea);
        } else if constexpr (OP == LDT) {
            machine.T = read_operand<MODE>(c, ea);
        } else if constexpr (OP == LDX) {
            machine.X = read_operand<MODE>(c, ea);
        } else if constexpr (OP == ADD) {
            c.a = add_with_flags(c.a, read_operand<MODE>(c, ea), 0);
        } else if constexpr (OP == SUB) {
            c.a = add_with_flags(c.a, ~read_operand<MODE>(c, ea), 1);
        } else if constexpr (OP == AND) {
            c.a &= read_operand<MODE>(c, ea);
        } else if constexpr (OP == ORA) {
            c.a |= read_word_for_a<MODE>(c, ea);
        } else if constexpr (OP == MPY) {
            int32_t product = signed_word(c.a) * signed_word(read_operand<MODE>(c, ea));
            machine.STS &= ~STS_Q;
            if (product > 32767 || product < -32767) machine.STS |= STS_Q | STS_O;
            c.a = static_cast<uint32_t>(product) & WORD_MASK;
        } else {
            static_assert(OP == STZ, "no such memory-reference operation");
        }
        step_p(c);
    }
}

// The conditional jumps: bits 10-8 are the condition, the displacement is
// always relative to P.
enum JumpCondition : int { JAP, JAN, JAZ, JAF, JPC, JNC, JXZ, JXN };

template <int CONDITION> HANDLER_INLINE void conditional_jump(InstructionContext &c) {
    bool taken;
    if constexpr (CONDITION == JAP) {
        taken = (c.a & 0100000) == 0;
    } else if constexpr (CONDITION == JAN) {
        taken = (c.a & 0100000) != 0;
    } else if constexpr (CONDITION == JAZ) {
        taken = c.a == 0;
    } else if constexpr (CONDITION == JAF) {
        taken = c.a != 0;
    } else if constexpr (CONDITION == JPC) {
        machine.X = (machine.X + 1) & WORD_MASK;
        taken = (machine.X & 0100000) == 0;
    } else if constexpr (CONDITION == JNC) {
        machine.X = (machine.X + 1) & WORD_MASK;
        taken = (machine.X & 0100000) != 0;
    } else if constexpr (CONDITION == JXZ) {
        taken = machine.X == 0;
    } else {
        static_assert(CONDITION == JXN);
        taken = (machine.X & 0100000) != 0;
    }
    if (taken)
        jump_relative(c, displacement(c.word));
    else
        step_p(c);
}

} // namespace memory_reference_group
