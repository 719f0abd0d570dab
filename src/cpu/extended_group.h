// The op14nn group (140000-143777): register compare-and-skip, execute
// register, byte load and store, register multiply and divide, MIX3, read word
// and test-and-set, and the hand-over of the decimal, block-move and stack
// words. Each of the eight slots has its own decoder: the tests that cannot
// match the slot's high byte are dropped at compile time, so SKP with its
// condition fixed by the slot is reached after a few word compares. The
// instruction cycle runs these in line, except EXR.
#pragma once

#include "console/terminal.h"
#include "cpu/alu.h"
#include "cpu/cycle.h"
#include "cpu/extended_dispatch.h"
#include "cpu/instruction_context.h"
#include "cpu/machine.h"
#include "cpu/run_outcome.h"
#include "filesystem/open_files.h"
#include "shell/settings.h"

#include <cstdint>
#include <cstdio>

namespace extended_group_slots {

// True when a word of slot SLOT can satisfy (word AND mask) = value, judged
// on the high byte alone.
template <int SLOT> constexpr bool may_match(uint32_t mask, uint32_t value) {
    return ((((0300u | SLOT) << 8) ^ value) & mask & 0177400) == 0;
}

HANDLER_INLINE uint32_t source_field(uint32_t word) {
    return (word >> 3) & 7;
}
HANDLER_INLINE uint32_t destination_field(uint32_t word) {
    return word & 7;
}

// A register as SKP compares it: 0 is the constant 0, P is the address of the
// following word.
HANDLER_INLINE uint32_t compare_value(const InstructionContext &c, uint32_t field) {
    if (field == 0) return 0;
    if (field == R_P) return (c.p + 1) & WORD_MASK;
    return register_value(c, field);
}

template <int CONDITION> HANDLER_INLINE void skip_on_compare(InstructionContext &c) {
    uint32_t word = c.word;
    uint32_t s = compare_value(c, source_field(word));
    uint32_t d = compare_value(c, destination_field(word));
    bool skip;
    if constexpr (CONDITION == 0)
        skip = d == s;
    else if constexpr (CONDITION == 1 || CONDITION == 2)
        skip = signed_word(d) >= signed_word(s);
    else if constexpr (CONDITION == 3)
        skip = d >= s;
    else if constexpr (CONDITION == 4)
        skip = d != s;
    else if constexpr (CONDITION == 5 || CONDITION == 6)
        skip = signed_word(d) < signed_word(s);
    else
        skip = d < s;
    if (skip) step_p(c);
    if constexpr (CONDITION == 1 || CONDITION == 5) {
        std::printf("\n@ %o SKP cond %d %o\n", static_cast<uint32_t>(c.p), CONDITION, word);
        std::printf("\n A=%7o T=%7o X=%7o D=%7o", c.a, machine.T, machine.X, machine.D);
    }
    step_p(c);
}

// EXR runs the executed word's handler through the instruction table, on
// the machine brought up to date. The register's word becomes the current
// instruction before it is judged, so that the execution trace shows the
// word an EXR of an EXR refused too.
inline void execute_register(uint32_t word) {
    uint32_t executed = machine.r[source_field(word)] & WORD_MASK;
    machine.current_instruction = executed;
    if ((executed & 0177600) == 0140600) {
        machine.STS |= STS_Z;
        std::printf("\nEXR of EXR illegal, at P=%o\n", machine.P);
        machine.P = (machine.P + 1) & WORD_MASK;
        return;
    }
    instruction_table[executed >> 8]();
    ++machine.instruction_count;
}

HANDLER_INLINE void register_divide(InstructionContext &c) {
    machine.STS &= ~(STS_Q | STS_C);
    uint32_t sr = source_field(c.word);
    step_p(c); // P as the source is the address of the following word
    int64_t divisor = sr ? signed_word(register_value(c, sr)) : 0;
    if (divisor == 0) {
        machine.STS |= STS_Z;
        return;
    }
    int64_t dividend = static_cast<int32_t>((c.a << 16) | machine.D);
    int64_t quotient = dividend / divisor;
    int64_t remainder = dividend % divisor;
    if (quotient > 32767 || quotient < -32768) machine.STS |= STS_Z;
    c.a = static_cast<uint32_t>(quotient) & WORD_MASK;
    machine.D = static_cast<uint32_t>(remainder) & WORD_MASK;
}

HANDLER_INLINE void register_multiply(InstructionContext &c) {
    machine.STS &= ~(STS_Q | STS_C);
    uint32_t sr = source_field(c.word);
    uint32_t dr = destination_field(c.word);
    step_p(c); // P as a factor is the address of the following word
    if (dr == 0) std::printf("\nRMPY dr=0\n");
    if (sr == 0) std::printf("\nRMPY sr=0\n");
    int32_t d = dr ? signed_word(register_value(c, dr)) : 0;
    int32_t s = sr ? signed_word(register_value(c, sr)) : 0;
    uint32_t product = static_cast<uint32_t>(d * s);
    c.a = product >> 16;
    machine.D = product & WORD_MASK;
}

// A word of the group that no instruction uses: the program stops.
inline void terminate_program(uint32_t word) {
    print_stop_message("\nTerminate on ill. or not impl. instr. %7o at %7o\n", word, machine.P);
    cpu_running = 0;
    close_all_files(CLOSE_KEEP_SCRATCH);
    set_stdin_text();
    machine.P = (machine.P + 1) & WORD_MASK;
}

// Everything of the slot but EXR, the words handed over to the decimal,
// block-move and stack sources, which work on `machine`, and the words that
// stop the program: for those it returns false, having done nothing.
template <int SLOT> HANDLER_INLINE bool extended_group_in_line(InstructionContext &c) {
    uint32_t word = c.word;
    if constexpr (may_match<SLOT>(0177777, 0143200)) {
        if (word == 0143200) { // MIX3
            machine.X = ((c.a - 1) * 3) & WORD_MASK;
            step_p(c);
            return true;
        }
    }
    if constexpr (may_match<SLOT>(0177777, 0142200)) {
        if (word == 0142200) { // LBYT
            c.a = read_data_byte(c, machine.T, machine.X);
            step_p(c);
            return true;
        }
    }
    if constexpr (may_match<SLOT>(0177777, 0142600)) {
        if (word == 0142600) { // SBYT
            write_data_byte(c, machine.T, machine.X, c.a);
            step_p(c);
            return true;
        }
    }
    if constexpr (may_match<SLOT>(0177700, 0140600)) {
        if ((word & 0177700) == 0140600) return false;
    }
    if ((word & settings.skp_cld_mask) == 0) [[likely]] {
        skip_on_compare<SLOT>(c);
        return true;
    }
    if constexpr (may_match<SLOT>(0177600, 0141600)) {
        if ((word & 0177600) == 0141600) {
            register_divide(c);
            return true;
        }
    }
    if constexpr (may_match<SLOT>(0177600, 0141200)) {
        if ((word & 0177600) == 0141200) {
            register_multiply(c);
            return true;
        }
    }
    if constexpr (SLOT == 0) {
        switch (word) {
        case 0140130:
        case 0140131:
        case 0140132:
            return false;
        case 0140127: // read word
            c.a = read_data(c, machine.T) & WORD_MASK;
            step_p(c);
            return true;
        case 0140134:
        case 0140135:
        case 0140136:
        case 0140137:
        case 0140120:
        case 0140121:
        case 0140122:
        case 0140124:
        case 0140125:
        case 0140126:
            return false;
        case 0140123: // test and set
            c.a = read_data(c, machine.T) & WORD_MASK;
            write_data(c, machine.T, WORD_MASK);
            step_p(c);
            return true;
        default:
            break;
        }
    }
    if constexpr (may_match<SLOT>(0177700, 0143100)) {
        if ((word & 0177700) == 0143100) {
            return false;
        }
    }
    return false;
}

// The words that extended_group_in_line leaves, with `machine` up to date.
inline void run_on_machine(InstructionContext &c) {
    uint32_t word = c.word;
    live_registers_to_machine(c);
    if ((word & 0177700) == 0140600)
        execute_register(word);
    else if ((word & 0177700) == 0143100)
        execute_movew();
    else if (word == 0140130)
        execute_bfill();
    else if (word == 0140131)
        execute_movb();
    else if (word == 0140132)
        execute_movbf();
    else if (word >= 0140134 && word <= 0140137)
        execute_stack_instruction();
    else if (word >= 0140120 && word <= 0140126 && word != 0140123)
        execute_decimal_instruction();
    else
        terminate_program(word);
    live_registers_from_machine(c);
}

template <int SLOT> inline void extended_group(InstructionContext &c) {
    if (!extended_group_in_line<SLOT>(c)) run_on_machine(c);
}

} // namespace extended_group_slots
