// The one-word register instructions: register operations (SWAP, RAND, REXO,
// RORA, RADD), the argument instructions, the shifts of T, D, A and AD, and the
// single-bit instructions. Each slot has its own handler with the operation,
// shift mode or bit operation fixed; registers are reached by number. The
// instruction cycle runs the argument instructions in line and calls the
// others in forms fixed on the whole word (register_forms).
#pragma once

#include "cpu/alu.h"
#include "cpu/instruction_context.h"
#include "cpu/machine.h"
#include "settings/settings.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace register_group {

// ---------------------------------------------------------------------------
// Register operations (slots 310-316).

constexpr uint32_t CM1 = 0200; // complement the source
constexpr uint32_t CLD = 0100; // clear the destination first

HANDLER_INLINE uint32_t source_field(uint32_t word) {
    return (word >> 3) & 7;
}
HANDLER_INLINE uint32_t destination_field(uint32_t word) {
    return word & 7;
}

enum RegisterOperation : int { SWAP, RAND, REXO, RORA, RADD, RADD_ONE, RADD_CARRY };

// A register as an instruction names it by number, P being `p` and A `a`:
// the cycle keeps both in host registers, and with the field known at
// compile time the choice costs nothing.
HANDLER_INLINE uint32_t &named_register(uint32_t field, uint32_t &p, uint32_t &a) {
    return field == R_P ? p : field == R_A ? a : machine.r[field];
}

// The value of a source field: register 0 is the constant 0.
HANDLER_INLINE uint32_t source_value(uint32_t field, uint32_t &p, uint32_t &a) {
    return field ? named_register(field, p, a) : 0;
}

// P is advanced before the registers are read, so that P as a source or a
// destination means the address of the following instruction. A result
// written to P is cut to the address space.
template <int OP> HANDLER_INLINE void register_operation_on(uint32_t word, InstructionContext &c) {
    uint32_t sr = source_field(word);
    uint32_t dr = destination_field(word);
    if constexpr (OP == RADD || OP == RADD_ONE) {
        // The subroutine returns: COPY SL DP and its add-one form.
        // Each return word lies in the slot of its own RADD form.
        constexpr uint32_t return_word = OP == RADD ? 0146142 : 0146542;
        if (word == return_word) {
            c.p = (machine.L + (OP == RADD_ONE ? 1 : 0)) & WORD_MASK;
            machine.STS &= ~(STS_Q | STS_C);
            return;
        }
    }
    uint32_t address = static_cast<uint32_t>(c.p);
    step_p(c);
    uint32_t p = static_cast<uint32_t>(c.p);
    uint32_t &a = c.a;
    if constexpr (OP == SWAP) {
        if (dr == 0) return;
        uint32_t s = source_value(sr, p, a);
        uint32_t t = named_register(dr, p, a);
        named_register(dr, p, a) = (word & CM1) ? ~s & WORD_MASK : s;
        if (sr != 0) named_register(sr, p, a) = (word & CLD) ? 0 : t;
    } else if constexpr (OP == RAND || OP == REXO || OP == RORA) {
        if (dr == 0) {
            if constexpr (OP == RORA) std::printf("\nRORA DR=0\n");
            return;
        }
        if (sr == 0) {
            if constexpr (OP == RAND)
                std::printf("\nRAND SR=0, P=%6o OPC=%6o\n", address, word);
            else if constexpr (OP == RORA)
                std::printf("\nRORA SR=0\n");
        }
        uint32_t s = source_value(sr, p, a);
        if (word & CM1) s = ~s & WORD_MASK;
        uint32_t d = (word & CLD) ? 0 : named_register(dr, p, a);
        if constexpr (OP == RAND)
            named_register(dr, p, a) = d & s;
        else if constexpr (OP == REXO)
            named_register(dr, p, a) = d ^ s;
        else
            named_register(dr, p, a) = d | s;
    } else {
        if (dr == 0) {
            machine.STS &= ~STS_C;
            return;
        }
        uint32_t d = (word & CLD) ? 0 : named_register(dr, p, a);
        uint32_t s = source_value(sr, p, a);
        if (word & CM1) s = ~s & WORD_MASK;
        uint32_t carry_in;
        if constexpr (OP == RADD)
            carry_in = 0;
        else if constexpr (OP == RADD_ONE)
            carry_in = 1;
        else
            carry_in = (machine.STS & STS_C) ? 1 : 0;
        named_register(dr, p, a) = add_with_flags(d, s, carry_in);
    }
    c.p = p & WORD_MASK;
}

// ---------------------------------------------------------------------------
// Argument instructions (slots 360-367): a sign-extended 8-bit constant.

template <int SLOT> HANDLER_INLINE void argument_instruction(InstructionContext &c) {
    // The constant sign-extended: add_with_flags looks at its low 16 bits only.
    auto d = static_cast<uint32_t>(static_cast<int8_t>(c.word & 0377));
    constexpr int registers[4] = {R_B, R_A, R_T, R_X};
    constexpr int reg = registers[SLOT & 3];
    uint32_t &r = reg == R_A ? c.a : machine.r[reg];
    if constexpr ((SLOT & 4) == 0)
        r = d & WORD_MASK;
    else
        r = add_with_flags(r, d, 0);
    step_p(c);
}

// ---------------------------------------------------------------------------
// Shifts (slots 330-337). The slot fixes the mode (bits 10-9) and whether the
// register is T or D (bit 8 clear) or A or AD (bit 8 set); bit 7 picks one of
// the pair. The count is a signed 6-bit number: positive shifts left.

enum ShiftMode : int { ARITHMETIC, ROTATE, ZERO_END, LINK };

HANDLER_INLINE void set_m(uint32_t bit) {
    machine.STS = (machine.STS & ~STS_M) | (bit ? STS_M : 0);
}

HANDLER_INLINE int shift_count(uint32_t word) {
    return static_cast<int>((word & 077) ^ 040) - 040;
}

// Shifts one 16-bit register by n (n not 0).
template <int MODE> HANDLER_INLINE uint32_t shift_word(uint32_t value, int n) {
    if constexpr (MODE == ARITHMETIC || MODE == ZERO_END) {
        if (n > 16 || n < -16) {
            set_m(0);
            return 0;
        }
        if (n > 0) {
            uint32_t wide = value << n;
            set_m((wide >> 16) & 1);
            return wide & WORD_MASK;
        }
        int k = -n;
        int32_t extended = MODE == ARITHMETIC ? signed_word(value) : static_cast<int32_t>(value);
        set_m((extended >> (k - 1)) & 1);
        return static_cast<uint32_t>(extended >> k) & WORD_MASK;
    } else if constexpr (MODE == ROTATE) {
        int k = n < 0 ? -n : n;
        if (k >= 16) k -= 16;
        if (k == 0) return value;
        int left = (n > 0 ? k : 16 - k) & 15;
        uint32_t result = ((value << left) | (value >> (16 - left))) & WORD_MASK;
        set_m(n > 0 ? result & 1 : (result >> 15) & 1);
        return result;
    } else {
        // Through M: a 17-bit rotation of M above the register.
        // |n| is at most 32, so one subtraction reduces it modulo 17.
        uint32_t k = static_cast<uint32_t>(n < 0 ? -n : n);
        if (k >= 17) k -= 17;
        uint32_t left = n > 0 || k == 0 ? k : 17 - k;
        uint32_t wide = ((machine.STS & STS_M) ? 0200000u : 0u) | value;
        if (left) wide = ((wide << left) | (wide >> (17 - left))) & 0377777;
        set_m(wide >> 16);
        return wide & WORD_MASK;
    }
}

// Shifts the 32-bit AD pair by n (n not 0).
template <int MODE> HANDLER_INLINE uint32_t shift_double(uint32_t value, int n) {
    if constexpr (MODE == ARITHMETIC || MODE == ZERO_END) {
        if (n > 0) {
            uint64_t wide = static_cast<uint64_t>(value) << n;
            set_m(static_cast<uint32_t>(wide >> 32) & 1);
            return static_cast<uint32_t>(wide);
        }
        int k = -n;
        int64_t extended = MODE == ARITHMETIC ? static_cast<int64_t>(static_cast<int32_t>(value))
                                              : static_cast<int64_t>(value);
        set_m(static_cast<uint32_t>(extended >> (k - 1)) & 1);
        return static_cast<uint32_t>(extended >> k);
    } else if constexpr (MODE == ROTATE) {
        int left = (n > 0 ? n : 32 + n) & 31;
        uint32_t result = left ? (value << left) | (value >> (32 - left)) : value;
        set_m(n > 0 ? result & 1 : result >> 31);
        return result;
    } else {
        // Through M: a 33-bit rotation of M above AD.
        // |n| is at most 32: a whole turn never happens.
        uint32_t k = static_cast<uint32_t>(n < 0 ? -n : n);
        uint32_t left = n > 0 || k == 0 ? k : 33 - k;
        constexpr uint64_t mask33 = (uint64_t{1} << 33) - 1;
        uint64_t wide = ((machine.STS & STS_M) ? uint64_t{1} << 32 : 0) | value;
        if (left) wide = ((wide << left) | (wide >> (33 - left))) & mask33;
        set_m(static_cast<uint32_t>(wide >> 32));
        return static_cast<uint32_t>(wide);
    }
}

template <int SLOT>
HANDLER_INLINE void shift_word_instruction(uint32_t word, InstructionContext &c) {
    constexpr int mode = (SLOT >> 1) & 3;
    constexpr bool a_or_ad = (SLOT & 1) != 0;
    int n = shift_count(word);
    bool second = (word & 0200) != 0; // D or AD
    step_p(c);
    if (n == 0) {
        // A zero count changes nothing, except that the single-register
        // arithmetic and zero-end shifts of T and D clear M.
        if constexpr (!a_or_ad && (mode == ARITHMETIC || mode == ZERO_END)) set_m(0);
        return;
    }
    if constexpr (a_or_ad) {
        if (second) {
            uint32_t ad = shift_double<mode>((c.a << 16) | machine.D, n);
            c.a = ad >> 16;
            machine.D = ad & WORD_MASK;
        } else {
            c.a = shift_word<mode>(c.a, n);
        }
    } else {
        if (second)
            machine.D = shift_word<mode>(machine.D, n);
        else
            machine.T = shift_word<mode>(machine.T, n);
    }
}

template <int SLOT> HANDLER_INLINE void shift_instruction(InstructionContext &c) {
    shift_word_instruction<SLOT>(c.word, c);
}

// ---------------------------------------------------------------------------
// Bit instructions (slots 370-377). Bits 10-7 are the operation: the slot
// fixes bits 10-8 and bit 7 picks one of its two operations. Register 0 is STS.

enum BitOperation : int {
    BSET_ZRO,
    BSET_ONE,
    BSET_BCM,
    BSET_BAC,
    BSKP_ZRO,
    BSKP_ONE,
    BSKP_BCM,
    BSKP_BAC,
    BSTC,
    BSTA,
    BLDC,
    BLDA,
    BANC,
    BAND,
    BORC,
    BORA,
};

HANDLER_INLINE uint32_t k_bit() {
    return (machine.STS >> 2) & 1;
}
HANDLER_INLINE void set_k(uint32_t bit) {
    machine.STS = (machine.STS & ~STS_K) | (bit ? STS_K : 0);
}

// Writes the selected bit. In STS only the low byte (the status bits) can be
// changed: the level field and the interrupt bit above it belong to the level
// machinery and stay as they are.
HANDLER_INLINE void write_bit(uint32_t reg, uint32_t mask, uint32_t bit, uint32_t &p, uint32_t &a) {
    if (reg == R_STS && mask > 0377) return;
    uint32_t &r = named_register(reg, p, a);
    r = bit ? r | mask : r & ~mask;
}

template <int OP>
HANDLER_INLINE void bit_operation(uint32_t word, uint32_t reg, uint32_t mask, uint32_t &p,
                                   uint32_t &a) {
    uint32_t bit = (named_register(reg, p, a) & mask) ? 1 : 0;
    if constexpr (OP == BSET_ZRO) {
        write_bit(reg, mask, 0, p, a);
    } else if constexpr (OP == BSET_ONE) {
        write_bit(reg, mask, 1, p, a);
    } else if constexpr (OP == BSET_BCM) {
        write_bit(reg, mask, !bit, p, a);
    } else if constexpr (OP == BSET_BAC) {
        write_bit(reg, mask, k_bit(), p, a);
    } else if constexpr (OP == BSKP_ZRO) {
        if (!bit) p = (p + 1) & WORD_MASK;
    } else if constexpr (OP == BSKP_ONE) {
        if (bit) p = (p + 1) & WORD_MASK;
    } else if constexpr (OP == BSKP_BCM) {
        if (settings.debug_level == 0123)
            std::printf("BSKP @%o %o kmask= %o bitmask = %o reg=%d/%o", p, word, k_bit() * mask,
                        mask, static_cast<int>(reg), named_register(reg, p, a));
        if (bit != k_bit()) p = (p + 1) & WORD_MASK;
    } else if constexpr (OP == BSKP_BAC) {
        if (bit == k_bit()) p = (p + 1) & WORD_MASK;
    } else if constexpr (OP == BSTC) {
        write_bit(reg, mask, !k_bit(), p, a);
        set_k(1);
    } else if constexpr (OP == BSTA) {
        write_bit(reg, mask, k_bit(), p, a);
        set_k(0);
    } else if constexpr (OP == BLDC) {
        set_k(!bit);
    } else if constexpr (OP == BLDA) {
        set_k(bit);
    } else if constexpr (OP == BANC) {
        set_k(k_bit() & (bit ^ 1));
    } else if constexpr (OP == BAND) {
        set_k(k_bit() & bit);
    } else if constexpr (OP == BORC) {
        set_k(k_bit() | (bit ^ 1));
    } else {
        static_assert(OP == BORA);
        set_k(k_bit() | bit);
    }
}

// P is advanced first: P as the named register means the following address,
// and a skip adds one more.
// A bit instruction on STS may change bit 0, which chooses the data bank of
// the instructions after it.
template <int SLOT> HANDLER_INLINE void bit_word_instruction(uint32_t word, InstructionContext &c) {
    uint32_t reg = word & 7;
    uint32_t mask = 1u << ((word >> 3) & 017);
    step_p(c);
    uint32_t p = static_cast<uint32_t>(c.p);
    if (word & 0200)
        bit_operation<(SLOT << 1) | 1>(word, reg, mask, p, c.a);
    else
        bit_operation<SLOT << 1>(word, reg, mask, p, c.a);
    c.p = p & WORD_MASK;
    if (reg == R_STS) c.data_base = data_base_from_sts();
}

template <int SLOT> HANDLER_INLINE void bit_instruction(InstructionContext &c) {
    bit_word_instruction<SLOT>(c.word, c);
}

template <int OP> HANDLER_INLINE void register_operation(InstructionContext &c) {
    register_operation_on<OP>(c.word, c);
}

// The cycle runs the register operations, shifts and bit instructions in a
// form of their own for each low byte: with the whole word known at compile
// time, the register fields, modifiers, counts and bit numbers are decoded
// while compiling. A form takes P and A and gives back the next P and A, in
// host registers.
struct FormResult {
    std::size_t p;
    uint32_t a;
};

// The forms of the bit instructions on STS bit 0 give back P with this bit
// added: the data bank may have changed with STS bit 0.
constexpr std::size_t DATA_BANK_MAY_CHANGE = std::size_t{1} << 16;

template <int SLOT, uint32_t LOW> FormResult register_form(std::size_t p, uint32_t a) {
    constexpr uint32_t word = (static_cast<uint32_t>(SLOT) << 8) | LOW;
    InstructionContext c{word, p, 0, a};
    if constexpr (SLOT >= 0310 && SLOT < 0317) {
        register_operation<SLOT - 0310>(c);
    } else if constexpr (SLOT >= 0330 && SLOT < 0340) {
        shift_word_instruction<(SLOT & 7)>(word, c);
    } else {
        static_assert(SLOT >= 0370 && SLOT < 0400);
        bit_word_instruction<(SLOT & 7)>(word, c);
        if constexpr ((LOW & 7) == R_STS && ((LOW >> 3) & 017) == 0)
            return {c.p | DATA_BANK_MAY_CHANGE, c.a};
    }
    return {c.p, c.a};
}

// The row of slot `slot` in register_forms, or -1 for a slot without forms.
constexpr int form_row(int slot) {
    if (slot >= 0310 && slot < 0317) return slot - 0310;
    if (slot >= 0330 && slot < 0340) return 7 + (slot - 0330);
    if (slot >= 0370 && slot < 0400) return 15 + (slot - 0370);
    return -1;
}
constexpr int FORM_ROWS = 23;

// The forms of the slots that have them, by row and low byte.
using RegisterForm = FormResult (*)(std::size_t p, uint32_t a);
extern const std::array<std::array<RegisterForm, 256>, FORM_ROWS> register_forms;

} // namespace register_group
