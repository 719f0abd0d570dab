// The multi-word operations of the op14nn group: the byte blocks BFILL, MOVB
// and MOVBF, the word block MOVEW, and the stack frames of INIT, ENTR, LEAV
// and ELEAV. Every address is reduced to 16 bits inside its page table, so
// no operand can reach outside the memory image.
#include "console/terminal.h"
#include "cpu/cycle.h"
#include "cpu/extended_dispatch.h"
#include "cpu/machine.h"
#include "cpu/run_outcome.h"
#include "shell/settings.h"

#include <cstdio>

namespace {

constexpr uint32_t DEBUG_STACK = 0123;
constexpr uint32_t DEBUG_MOVEW_TEST = 0555;
constexpr uint32_t MOVEW_MAX_WORDS = 2048;

inline void advance(uint32_t words) {
    machine.P = (machine.P + words) & WORD_MASK;
}

// Cell of (page-table offset, address): the offset is a page table number
// times 65536, as apt_offset holds it.
inline uint32_t cell(uint32_t bank_offset, uint32_t address) {
    return (bank_offset & (3u << 16)) | (address & WORD_MASK);
}

// Byte j counted from the left byte of word `base`.
inline uint32_t read_block_byte(uint32_t bank_offset, uint32_t base, uint32_t j) {
    uint32_t word = memory_image[cell(bank_offset, base + (j >> 1))];
    return (j & 1) ? (word & 0377) : (word >> 8);
}

// Replaces the left (`left`) or right half of the word at `address`.
inline void write_half(uint32_t bank_offset, uint32_t address, bool left, uint32_t value) {
    uint32_t &word = memory_image[cell(bank_offset, address)];
    if (left)
        word = (word & 0377) | ((value & 0377) << 8);
    else
        word = (word & 0177400) | (value & 0377);
}

// ---- MOVB and MOVBF ----

struct ByteMove {
    uint32_t source_offset, destination_offset;
    uint32_t s0, d0, count;
};

ByteMove decode_byte_move() {
    ByteMove move;
    move.s0 = (machine.D & 0100000) ? 0 : 1;
    move.d0 = (machine.T & 0100000) ? 0 : 1;
    move.count = machine.D & 07777;
    move.source_offset = (machine.D & 040000) ? (2u << 16) : 0;
    move.destination_offset = (machine.T & 040000) ? (2u << 16) : 0;
    return move;
}

// Byte j of the source goes into the destination word X + (d0 - s0 + j) / 2,
// into the half that it held in the source.
inline void move_one_byte(const ByteMove &move, uint32_t j) {
    uint32_t value = read_block_byte(move.source_offset, machine.A, j);
    uint32_t address = machine.X + (move.d0 + j - move.s0) / 2;
    write_half(move.destination_offset, address, (j & 1) == 0, value);
}

void finish_byte_move(const ByteMove &move) {
    machine.A = (machine.A + move.count / 2) & WORD_MASK;
    machine.X = (machine.X + (move.s0 + move.count) / 2) & WORD_MASK;
    machine.D &= 0170000;
    advance(2);
}

// ---- MOVEW ----

// Page table of a PCR field value in the test mode: 0 is page table 1 and 1
// is page table 0; 2 and 3 are themselves.
inline uint32_t pcr_page_table(uint32_t field) {
    static constexpr uint32_t tables[4] = {1, 0, 2, 3};
    return tables[field & 3];
}

void refuse_movew() {
    print_stop_message("\nMOVEW to phys mem: priv, instruction");
    cpu_running = 0;
    set_stdin_text();
}

// Copies `count` words last first, from (source bank, source address) to
// (destination bank, destination address), each address wrapping in its bank.
// Returns the word copied last.
uint32_t copy_words(uint32_t source_offset, uint32_t source, uint32_t destination_offset,
                    uint32_t destination, uint32_t count) {
    uint32_t last = 0;
    for (uint32_t k = count; k-- > 0;) {
        last = memory_image[cell(source_offset, source + k)];
        memory_image[cell(destination_offset, destination + k)] = last;
    }
    return last;
}

// The operator's test mode: page tables from the current level's PCR and the
// fixed offsets of the system's physical-memory modes. Returns false when the
// mode has no meaning here and the program was stopped.
bool movew_test_mode(uint32_t mode, uint32_t count) {
    bool debug = settings.debug_level == DEBUG_MOVEW_TEST;
    uint32_t paging = machine.PGST;
    uint32_t normal = pcr_page_table(machine.current_pcr >> 9);
    uint32_t alternative = pcr_page_table(machine.current_pcr >> 7);
    if (debug) {
        std::printf("\nMove block of words. paging=%d,PT=%d, APT=%d", static_cast<int>(paging),
                    static_cast<int>(normal), static_cast<int>(alternative));
        std::printf("\nMode %d", static_cast<int>(mode));
    }
    if (mode > 010) {
        refuse_movew();
        return false;
    }
    // Source side by mode: 0-2 normal, 3-5 alternative, 6, 7 and 10 physical;
    // destination side: 0, 3, 6 normal, 1, 4, 7 alternative, 2, 5, 10 physical.
    static constexpr int source_side[9] = {0, 0, 0, 1, 1, 1, 2, 2, 2};
    static constexpr int destination_side[9] = {0, 1, 2, 0, 1, 2, 0, 1, 2};
    static constexpr uint32_t destination_offsets[3] = {06000, 012000, 0};
    int from = source_side[mode];
    int to = destination_side[mode];
    if (debug) {
        if (to == 2)
            std::printf("\nMOVEW to phys mem: priv, instruction");
        else if (from == 2)
            std::printf("\nMOVEW from phys mem: priv, instruction");
    }
    const uint32_t side_tables[3] = {normal, alternative, 0};
    uint32_t source_table = paging ? side_tables[from] : 0;
    uint32_t destination_table = paging ? side_tables[to] : 0;
    uint32_t last = copy_words(source_table << 16, machine.D + 06000, destination_table << 16,
                               machine.T + destination_offsets[to], count);
    if (debug && count > 0) std::printf("\n>>>%o", last);
    return true;
}

// MOVEW's own page tables: page table 1 for the normal side and the
// program's alternative page table (page table 0 while none is chosen).
bool movew_normal_mode(uint32_t mode, uint32_t count) {
    uint32_t apt = machine.apt_offset;
    constexpr uint32_t table1 = 1u << 16;
    switch (mode) {
    case 0:
        copy_words(table1, machine.D, table1, machine.T, count);
        return true;
    case 1:
        copy_words(table1, machine.D, apt, machine.T, count);
        return true;
    case 3:
        copy_words(apt, machine.D, table1, machine.T, count);
        return true;
    case 4:
        copy_words(apt, machine.D, apt, machine.T, count);
        return true;
    default:
        refuse_movew();
        return false;
    }
}

// ---- stack frames ----

// Frame words relative to B.
constexpr uint32_t FRAME_RETURN = 128;
constexpr uint32_t FRAME_PREVIOUS_B = 127;
constexpr uint32_t FRAME_NEXT_FREE = 126;
constexpr uint32_t FRAME_LIMIT = 125;
constexpr uint32_t FRAME_ERROR_CODE = 123;
constexpr uint32_t FRAME_LOCALS = 122;
constexpr uint32_t FRAME_OVERHEAD = 6;

inline uint32_t frame_word(uint32_t back) {
    return read_data(machine.B - back);
}

// Lays out a frame at `start` with `demand` local words and the stack limit.
void open_frame(uint32_t start, uint32_t demand, uint32_t limit) {
    uint32_t previous_b = machine.B;
    write_data(start, machine.L + 1);
    write_data(start + 1, previous_b);
    write_data(start + 2, start + demand + FRAME_OVERHEAD);
    write_data(start + 3, limit);
    machine.B = (start + FRAME_RETURN) & WORD_MASK;
}

void stack_init(bool debug) {
    uint32_t demand = read_normal(machine.P + 1);
    uint32_t start = read_normal(machine.P + 2);
    uint32_t size = read_normal(machine.P + 3);
    uint32_t flag = read_normal(machine.P + 4);
    if (debug) {
        std::printf("---Init stack");
        std::printf("\nStack demand: %o", demand);
        std::printf("\nStack start : %o", start);
        std::printf("\nStack max   : %o", size);
        std::printf("\nStack flag  : %o", flag);
        std::printf("\nPREVB       : %o", machine.B);
    }
    if (size < demand + FRAME_OVERHEAD) {
        if (debug) std::printf("\nStack overflow");
        advance(6);
        return;
    }
    if ((flag & 1) != (machine.STS & STS_PTM)) {
        if (debug) std::printf("\naltoff stack init");
        advance(6);
        return;
    }
    open_frame(start, demand, start + size);
    advance(7);
}

void stack_enter(bool debug) {
    if (debug) std::printf("---Enter stack");
    uint32_t demand = read_normal(machine.P + 1);
    uint32_t limit = frame_word(FRAME_LIMIT);
    // Computed without wrapping, so that a demand beyond the end of the bank
    // counts as an overflow.
    int64_t needed = static_cast<int64_t>(machine.B) - FRAME_LOCALS + demand;
    if (static_cast<int64_t>(limit) < needed) {
        advance(2);
        return;
    }
    open_frame(frame_word(FRAME_NEXT_FREE), demand, limit);
    advance(3);
}

void stack_leave(bool debug) {
    if (debug) std::printf("---Leave stack");
    uint32_t return_address = frame_word(FRAME_RETURN);
    machine.B = frame_word(FRAME_PREVIOUS_B);
    machine.P = return_address;
}

void stack_error_leave(bool debug) {
    if (debug) std::printf("( ...Error leave stack)");
    uint32_t return_address = (frame_word(FRAME_RETURN) - 1) & WORD_MASK;
    write_data(machine.B - FRAME_RETURN, return_address);
    write_data(machine.B - FRAME_ERROR_CODE, machine.A);
    machine.B = frame_word(FRAME_PREVIOUS_B);
    machine.P = return_address;
}

} // namespace

void execute_bfill() {
    uint32_t value = machine.A & 0377;
    uint32_t t0 = (machine.T >> 15) & 1;
    uint32_t count = machine.T & 07777;
    bool alternative = (machine.T & 040000) && (machine.STS & STS_PTM);
    uint32_t bank_offset = alternative ? machine.apt_offset : 0;
    for (uint32_t j = t0; j < t0 + count; ++j)
        write_half(bank_offset, machine.X + j / 2, (j & 1) == 0, value);
    machine.T = ((t0 + count) & 1) << 15;
    machine.X = (machine.X + (t0 + count + 1) / 2) & WORD_MASK;
    advance(2);
}

void execute_movb() {
    ByteMove move = decode_byte_move();
    for (uint32_t j = move.s0; j < move.s0 + move.count; ++j)
        move_one_byte(move, j);
    machine.T = (machine.T & 0100000) | move.count;
    finish_byte_move(move);
}

void execute_movbf() {
    ByteMove move = decode_byte_move();
    for (uint32_t j = move.s0 + move.count; j-- > move.s0;)
        move_one_byte(move, j);
    machine.T &= 0100000;
    finish_byte_move(move);
}

void execute_movew() {
    uint32_t count = machine.L & WORD_MASK;
    uint32_t mode = machine.current_instruction & 077;
    if (count > MOVEW_MAX_WORDS) {
        // Nothing is copied; the program stops past the instruction so that a
        // continue does not meet the same refusal again.
        print_stop_message("\nMOVEW>2048 words");
        cpu_running = 0;
        advance(1);
        return;
    }
    bool done = settings.test_movew ? movew_test_mode(mode, count) : movew_normal_mode(mode, count);
    if (!done) return;
    machine.D = (machine.D + count) & WORD_MASK;
    machine.T = (machine.T + count) & WORD_MASK;
    machine.L = 0;
    advance(1);
}

void execute_stack_instruction() {
    uint32_t word = machine.current_instruction;
    bool debug = settings.debug_level == DEBUG_STACK;
    if (debug)
        std::printf("\n\nStack instruction %o at %o , BREG is %o ", word, machine.P, machine.B);
    switch (word) {
    case 0140134:
        stack_init(debug);
        break;
    case 0140135:
        stack_enter(debug);
        break;
    case 0140136:
        stack_leave(debug);
        break;
    case 0140137:
        stack_error_leave(debug);
        break;
    default:
        illegal_instruction();
        break;
    }
}

// BFILL, MOVB, MOVBF, MOVEW and the stack instructions are words of the
// op14nn group: its decoder reaches them through the entry points above, so
// this group has no instruction-table slots of its own.
void install_block_and_stack_instructions() {}
