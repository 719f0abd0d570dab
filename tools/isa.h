// The ND-100 instruction set as one table, shared by the assembler and the
// disassembler: every mnemonic with its fixed bits, the shape of its operand
// field, and the operand keywords (register designators, skip conditions,
// shift modes and so on) with the bits they stand for.
#pragma once

#include <cstdint>
#include <string_view>

namespace ndtools {

// How the bits of an instruction word that are not fixed by the mnemonic are
// written in source.
enum class Form : uint8_t {
    memory,       // LDA I 5,B,X   5-bit operation, X I B bits, 8-bit displacement
    cond_jump,    // JAZ LOOP      P-relative displacement only
    register_op,  // RADD CM1 AD1 SA DX (SWAP, RAND, REXO, RORA, RADD family)
    skip,         // SKP IF DA EQL SX
    execute,      // EXR SA
    divide,       // RDIV ST
    multiply,     // RMPY SA DT
    shift,        // SHA ROT SHR 3
    bit_op,       // BSET ONE 6 DA, BSKP ZRO SSC, BSTC 3 DX
    argument,     // SAA -5   signed 8-bit constant
    plain,        // LBYT, ION ...  no operand
    byte_operand, // MON 2, IOX 300, MOVEW 4  unsigned value in the low bits
    scale,        // NLZ 20, DNZ -20  signed 8-bit scaling factor
    internal_reg, // TRA PVL, TRR 12  internal register by name or number
    level_reg,    // IRR 5 DP   level and register of another interrupt level
    io_transfer,  // IOT ACT 23
    stack,        // INIT d, s, m, f / ENTR d  parameter words follow
};

struct InstructionForm {
    const char *mnemonic;
    uint16_t base;       // the fixed bits
    uint16_t fixed_mask; // which bits the mnemonic fixes
    Form form;
    uint16_t ignored_mask; // bits the CPU does not look at (written with EXTRA)
    uint8_t parameter_words;
    uint16_t operand_max;              // byte_operand: largest value of the low field
    bool optional_operand;             // byte_operand: the value may be left out (WAIT)
    bool alias;                        // assembler-only name for a register operation
    const char *const *register_names; // internal_reg: names of numbers 0-17
};

// Operand keywords and the bits they add to the word.
struct Keyword {
    const char *name;
    uint16_t bits;
};

// Register designators: the destination field (bits 2-0) and the source
// field (bits 5-3). Number 0 is STS for EXR, the bit instructions and
// IRW/IRR, and "nothing" (the constant 0) for the others.
inline constexpr Keyword destination_registers[8] = {{"DSTS", 0}, {"DD", 1}, {"DP", 2}, {"DB", 3},
                                                     {"DL", 4},   {"DA", 5}, {"DT", 6}, {"DX", 7}};
inline constexpr Keyword source_registers[8] = {{"SSTS", 0}, {"SD", 010}, {"SP", 020}, {"SB", 030},
                                                {"SL", 040}, {"SA", 050}, {"ST", 060}, {"SX", 070}};

// Register-operation modifiers. AD1 and ADC belong to RADD only.
inline constexpr uint16_t bit_CM1 = 0200;
inline constexpr uint16_t bit_CLD = 0100;
inline constexpr uint16_t bit_AD1 = 0400;
inline constexpr uint16_t bit_ADC = 01000;

// SKP conditions, bits 10-8.
inline constexpr Keyword skip_conditions[8] = {{"EQL", 0},      {"GEQ", 0400},  {"GRE", 01000},
                                               {"MGRE", 01400}, {"UEQ", 02000}, {"LSS", 02400},
                                               {"LST", 03000},  {"MLST", 03400}};

// Shift modes, bits 10-9 (arithmetic is the absence of a mode word).
inline constexpr Keyword shift_modes[3] = {{"ROT", 01000}, {"ZIN", 02000}, {"LIN", 03000}};

// Sub-operations of BSET and BSKP, bits 8-7.
inline constexpr Keyword bit_suboperations[4] = {
    {"ZRO", 0}, {"ONE", 0200}, {"BCM", 0400}, {"BAC", 0600}};

// Status-register bits by name: bit number, register STS.
inline constexpr Keyword status_bits[8] = {{"SSPTM", 0}, {"SSTG", 1}, {"SSK", 2}, {"SSZ", 3},
                                           {"SSQ", 4},   {"SSO", 5},  {"SSC", 6}, {"SSM", 7}};

// IOT function bits, bits 10-8. SNI is the absence of the others.
inline constexpr Keyword iot_functions[3] = {{"ACT", 0400}, {"SKA", 01000}, {"PIN", 02000}};

// The addressing bits of the memory-reference format.
inline constexpr uint16_t bit_X = 02000;
inline constexpr uint16_t bit_I = 01000;
inline constexpr uint16_t bit_B = 0400;

// The instruction that an instruction word is, or nullptr for a word that no
// instruction uses (it is executed as an illegal or terminating instruction).
const InstructionForm *decode_instruction(uint16_t word);

// The instruction (or alias) of this upper-case mnemonic, or nullptr.
const InstructionForm *find_instruction(std::string_view mnemonic);

// The whole table, aliases included, for iteration.
const InstructionForm *instruction_table_begin();
const InstructionForm *instruction_table_end();

// True for every word that the operand field of any instruction reserves
// (register designators, conditions, I, X, B and the like): these names
// cannot be used as labels.
bool is_reserved_word(std::string_view upper_name);

// Sign-extend the low 8 bits.
inline int sign_extend_8(uint16_t value) {
    return static_cast<int8_t>(value & 0377);
}

} // namespace ndtools
