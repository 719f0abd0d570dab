// The one emulated ND-100 CPU and its memory, and the operations through which
// everything else reads and writes emulated memory.
#pragma once

#include <csignal>
#include <cstdint>

// ND register numbers, as 3-bit register fields in instructions name them.
enum RegisterNumber : int {
    R_STS = 0,
    R_D = 1,
    R_P = 2,
    R_B = 3,
    R_L = 4,
    R_A = 5,
    R_T = 6,
    R_X = 7,
};

constexpr uint32_t WORD_MASK = 0177777;
constexpr uint32_t BANK_WORDS = 65536;
constexpr uint32_t MEMORY_WORDS = 4 * BANK_WORDS;

// STS bits.
constexpr uint32_t STS_PTM = 01;  // data references through the alternative page table
constexpr uint32_t STS_TG = 02;   // rounding bit (kept, never consulted)
constexpr uint32_t STS_K = 04;    // one-bit accumulator
constexpr uint32_t STS_Z = 010;   // error indicator
constexpr uint32_t STS_Q = 020;   // dynamic overflow
constexpr uint32_t STS_O = 040;   // static overflow
constexpr uint32_t STS_C = 0100;  // carry
constexpr uint32_t STS_M = 0200;  // multi-shift link
constexpr uint32_t STS_FIXED = 010000;
constexpr uint32_t STS_EXTENDED = 020000;
constexpr uint32_t INTERRUPT_ON = 0100000;

// The eight registers of one interrupt level, in ND register-number order.
struct RegisterBlock {
    uint32_t r[8];
};

struct MachineState {
    // Counted in 64 bits so that long runs report their true count and time
    // per instruction. It comes first so that STS is not at the structure's
    // own address: the compiler would keep that address in a register across
    // the instruction cycle and set it up again after every call the cycle
    // makes, where every other field is reached directly.
    uint64_t instruction_count;
    // Live registers of the current level. `r` is indexed by register number;
    // the named members alias the same cells.
    union {
        uint32_t r[8];
        struct {
            uint32_t STS, D, P, B, L, A, T, X;
        };
    };
    uint32_t current_instruction;
    uint32_t instruction_address;
    RegisterBlock level_blocks[16];
    uint32_t current_level;
    uint32_t previous_level;
    uint32_t PID;
    uint32_t PIE;
    uint32_t interrupt_on;  // 0 or INTERRUPT_ON
    uint32_t IIE;
    uint32_t IIC;
    uint32_t PGST;
    uint32_t pcr[16];
    uint32_t current_pcr;
    uint32_t level_changed;
    uint32_t apt_offset;      // alternative page table as a cell offset; 0 = off
    uint32_t apt_armed;       // the operator chose APT for the next start
    uint32_t data_bank_mask;  // all ones while STS bit 0 is set
    uint32_t level_preset;    // the operator preset the level for the next start
    uint32_t lower_limit;     // program memory limits
    uint32_t upper_limit;
    uint32_t two_bank_lower;  // data limits of a 2-bank program
    uint32_t two_bank_upper;
    uint32_t float_format;  // 0 = 32-bit, 1 = 48-bit
    uint32_t cpu_type;
    uint32_t instruction_set;
};

extern MachineState machine;
extern uint32_t memory_image[MEMORY_WORDS];

// Read before every instruction; cleared by anything that stops the program,
// the ^C handler included.
extern volatile sig_atomic_t cpu_running;

// Clears memory and puts the CPU in its start-up state.
void reset_machine();
// Clears every cell of the memory image.
void clear_memory();
// Puts the registers and levels in their start-up state (P = 0, level 0).
void reset_machine_registers();

inline uint32_t read_word(uint32_t page_table, uint32_t address) {
    return memory_image[((page_table & 3) << 16) | (address & WORD_MASK)];
}
inline void write_word(uint32_t page_table, uint32_t address, uint32_t value) {
    memory_image[((page_table & 3) << 16) | (address & WORD_MASK)] = value & WORD_MASK;
}
inline uint32_t read_normal(uint32_t address) { return memory_image[address & WORD_MASK]; }
inline void write_normal(uint32_t address, uint32_t value) {
    memory_image[address & WORD_MASK] = value & WORD_MASK;
}
inline uint32_t data_cell(uint32_t address) {
    return (address & WORD_MASK) | (machine.data_bank_mask & machine.apt_offset);
}
inline uint32_t read_data(uint32_t address) { return memory_image[data_cell(address)]; }
inline void write_data(uint32_t address, uint32_t value) {
    memory_image[data_cell(address)] = value & WORD_MASK;
}
// Even byte numbers select the left (high) byte.
inline uint32_t read_data_byte(uint32_t base, uint32_t byte_number) {
    uint32_t word = read_data(base + (byte_number >> 1));
    return (byte_number & 1) ? (word & 0377) : (word >> 8);
}
inline void write_data_byte(uint32_t base, uint32_t byte_number, uint32_t value) {
    uint32_t address = base + (byte_number >> 1);
    uint32_t word = read_data(address);
    if (byte_number & 1)
        word = (word & 0177400) | (value & 0377);
    else
        word = (word & 0377) | ((value & 0377) << 8);
    write_data(address, word);
}

// STS composed for a level: level field, fixed bit, interrupt-on value and a low byte.
inline uint32_t compose_sts(uint32_t level, uint32_t low_byte) {
    return ((level & 017) << 8) | STS_FIXED | machine.interrupt_on | (low_byte & 0377);
}

// Texts of the CPU-identification words.
const char *cpu_type_text(uint32_t cpu_type);
const char *instruction_set_text(uint32_t instruction_set);
