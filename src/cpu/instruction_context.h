// What an instruction handler works on besides the registers in `machine`:
// the instruction word, P, the data bank and the A register. The instruction
// cycle keeps P, the data bank and A in host registers while a program runs,
// reads the word at the slot's label and hands them to the handler it runs in
// line; the instruction-table entry of a slot builds them from `machine` and
// writes P and A back, so both paths run the same handler code. Handlers
// reach A through the context only; anything they call that works on
// `machine` gets A written back first (see live_registers_to_machine).
#pragma once

#include "cpu/machine.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// The handlers and the helpers on their common paths are built into the
// instruction cycle's loop, whatever the compiler's size heuristics say.
#define HANDLER_INLINE [[gnu::always_inline]] inline

struct InstructionContext {
    uint32_t word;      // the instruction being executed (current_instruction)
    std::size_t p;      // the instruction's address on entry; the next P on exit
    uint32_t data_base; // cell offset of data references: apt_offset while STS bit 0 is set
    uint32_t a;         // the A register
};

// Before a handler calls code that works on `machine`, and after.
HANDLER_INLINE void live_registers_to_machine(const InstructionContext &c) {
    machine.P = static_cast<uint32_t>(c.p);
    machine.A = c.a;
}
HANDLER_INLINE void live_registers_from_machine(InstructionContext &c) {
    c.p = machine.P;
    c.a = machine.A;
}

// A register by its number, A and P from the context.
HANDLER_INLINE uint32_t register_value(const InstructionContext &c, uint32_t field) {
    if (field == R_A) return c.a;
    if (field == R_P) return static_cast<uint32_t>(c.p);
    return machine.r[field];
}

// The data bank as `data_bank_mask` and `apt_offset` give it.
inline uint32_t machine_data_base() {
    return machine.data_bank_mask & machine.apt_offset;
}

// The data bank for the STS and alternative page table the machine has now.
HANDLER_INLINE uint32_t data_base_from_sts() {
    return (machine.STS & STS_PTM) ? machine.apt_offset : 0;
}

HANDLER_INLINE uint32_t read_data(const InstructionContext &c, uint32_t address) {
    return memory_image[(address & WORD_MASK) | c.data_base];
}
HANDLER_INLINE void write_data(const InstructionContext &c, uint32_t address, uint32_t value) {
    memory_image[(address & WORD_MASK) | c.data_base] = value & WORD_MASK;
}
// Even byte numbers select the left (high) byte.
HANDLER_INLINE uint32_t read_data_byte(const InstructionContext &c, uint32_t base,
                                       uint32_t byte_number) {
    uint32_t word = read_data(c, base + (byte_number >> 1));
    return (byte_number & 1) ? (word & 0377) : (word >> 8);
}
HANDLER_INLINE void write_data_byte(const InstructionContext &c, uint32_t base,
                                    uint32_t byte_number, uint32_t value) {
    uint32_t cell = ((base + (byte_number >> 1)) & WORD_MASK) | c.data_base;
    uint32_t word = memory_image[cell];
    if (byte_number & 1)
        word = (word & 0177400) | (value & 0377);
    else
        word = (word & 0377) | ((value & 0377) << 8);
    memory_image[cell] = word;
}

// P within the 16-bit address space. In an optimised build the compiler is
// told so, and drops the cycle's masks of P where this holds; elsewhere it is
// checked, so that the test builds catch a handler that breaks it.
HANDLER_INLINE void known_address(std::size_t p) {
#if defined(__OPTIMIZE__)
    if (p > WORD_MASK) __builtin_unreachable();
#else
    if (p > WORD_MASK) std::abort();
#endif
}

// Moves P on by N words, wrapping within the address space: past the
// instruction, and past a skipped word. P is within the address space on
// entry. On x86 one 16-bit add does the move and the wrap together.
template <unsigned N = 1> HANDLER_INLINE void step_p(InstructionContext &c) {
    known_address(c.p);
#if defined(__x86_64__) || defined(__i386__)
    asm("addw %1, %w0" : "+r"(c.p) : "i"(N) : "cc");
    known_address(c.p);
#else
    c.p = (c.p + N) & WORD_MASK;
#endif
}

// P moved by a signed displacement, wrapping within the address space.
HANDLER_INLINE void jump_relative(InstructionContext &c, uint32_t displacement) {
    known_address(c.p);
#if defined(__x86_64__) || defined(__i386__)
    asm("addw %w1, %w0" : "+r"(c.p) : "r"(displacement) : "cc");
    known_address(c.p);
#else
    c.p = (c.p + displacement) & WORD_MASK;
#endif
}

// The instruction-table entry of a handler written on the context: single
// steps, EXR and the debugging aids call slots through the table.
template <void (*HANDLER)(InstructionContext &)> void table_entry() {
    InstructionContext c{machine.current_instruction, machine.P & WORD_MASK, machine_data_base(),
                         machine.A};
    HANDLER(c);
    machine.P = static_cast<uint32_t>(c.p);
    machine.A = c.a;
}
