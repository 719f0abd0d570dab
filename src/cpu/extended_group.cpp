// The op14nn group (140000-143777): register compare-and-skip, execute
// register, byte load and store, register multiply and divide, MIX3, read word
// and test-and-set, and the hand-over of the decimal, block-move and stack
// words. Each of the eight slots has its own decoder: the tests that cannot
// match the slot's high byte are dropped at compile time, so SKP with its
// condition fixed by the slot is reached after a few word compares.
#include "console/terminal.h"
#include "cpu/alu.h"
#include "cpu/cycle.h"
#include "cpu/extended_dispatch.h"
#include "cpu/machine.h"
#include "filesystem/open_files.h"
#include "shell/settings.h"

#include <cstdint>
#include <cstdio>
#include <utility>

namespace {

// True when a word of slot SLOT can satisfy (word AND mask) = value, judged
// on the high byte alone.
template <int SLOT> constexpr bool may_match(uint32_t mask, uint32_t value) {
    return ((((0300u | SLOT) << 8) ^ value) & mask & 0177400) == 0;
}

inline uint32_t source_field(uint32_t word) {
    return (word >> 3) & 7;
}
inline uint32_t destination_field(uint32_t word) {
    return word & 7;
}

// A register as SKP compares it: 0 is the constant 0, P is the address of the
// following word.
inline uint32_t compare_value(uint32_t field) {
    if (field == 0) return 0;
    if (field == R_P) return (machine.P + 1) & WORD_MASK;
    return machine.r[field];
}

template <int CONDITION> void skip_on_compare(uint32_t word) {
    uint32_t s = compare_value(source_field(word));
    uint32_t d = compare_value(destination_field(word));
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
    if (skip) machine.P += 1;
    if constexpr (CONDITION == 1 || CONDITION == 5) {
        std::printf("\n@ %o SKP cond %d %o\n", machine.P, CONDITION, word);
        std::printf("\n A=%7o T=%7o X=%7o D=%7o", machine.A, machine.T, machine.X, machine.D);
    }
    machine.P += 1;
}

// The register's word becomes the current instruction before it is judged, so
// that the execution trace shows the word an EXR of an EXR refused too.
void execute_register(uint32_t word) {
    uint32_t executed = machine.r[source_field(word)] & WORD_MASK;
    machine.current_instruction = executed;
    if ((executed & 0177600) == 0140600) {
        machine.STS |= STS_Z;
        std::printf("\nEXR of EXR illegal, at P=%o\n", machine.P);
        machine.P += 1;
        return;
    }
    instruction_table[executed >> 8]();
    ++machine.instruction_count;
}

void register_divide(uint32_t word) {
    machine.STS &= ~(STS_Q | STS_C);
    uint32_t sr = source_field(word);
    machine.P = (machine.P + 1) & WORD_MASK;
    int64_t divisor = sr ? signed_word(machine.r[sr]) : 0;
    if (divisor == 0) {
        machine.STS |= STS_Z;
        return;
    }
    int64_t dividend = static_cast<int32_t>((machine.A << 16) | machine.D);
    int64_t quotient = dividend / divisor;
    int64_t remainder = dividend % divisor;
    if (quotient > 32767 || quotient < -32768) machine.STS |= STS_Z;
    machine.A = static_cast<uint32_t>(quotient) & WORD_MASK;
    machine.D = static_cast<uint32_t>(remainder) & WORD_MASK;
}

void register_multiply(uint32_t word) {
    machine.STS &= ~(STS_Q | STS_C);
    uint32_t sr = source_field(word);
    uint32_t dr = destination_field(word);
    machine.P = (machine.P + 1) & WORD_MASK;
    if (dr == 0) std::printf("\nRMPY dr=0\n");
    if (sr == 0) std::printf("\nRMPY sr=0\n");
    int32_t d = dr ? signed_word(machine.r[dr]) : 0;
    int32_t s = sr ? signed_word(machine.r[sr]) : 0;
    uint32_t product = static_cast<uint32_t>(d * s);
    machine.A = product >> 16;
    machine.D = product & WORD_MASK;
}

// A word of the group that no instruction uses: the program stops.
void terminate_program(uint32_t word) {
    std::printf("\nTerminate on ill. or not impl. instr. %7o at %7o\n", word, machine.P);
    cpu_running = 0;
    close_all_files(CLOSE_KEEP_SCRATCH);
    set_stdin_text();
    machine.P += 1;
}

template <int SLOT> void extended_group() {
    uint32_t word = machine.current_instruction;
    if constexpr (may_match<SLOT>(0177777, 0143200)) {
        if (word == 0143200) { // MIX3
            machine.X = ((machine.A - 1) * 3) & WORD_MASK;
            machine.P += 1;
            return;
        }
    }
    if constexpr (may_match<SLOT>(0177777, 0142200)) {
        if (word == 0142200) { // LBYT
            machine.A = read_data_byte(machine.T, machine.X);
            machine.P += 1;
            return;
        }
    }
    if constexpr (may_match<SLOT>(0177777, 0142600)) {
        if (word == 0142600) { // SBYT
            write_data_byte(machine.T, machine.X, machine.A);
            machine.P += 1;
            return;
        }
    }
    if constexpr (may_match<SLOT>(0177700, 0140600)) {
        if ((word & 0177700) == 0140600) {
            execute_register(word);
            return;
        }
    }
    if ((word & settings.skp_cld_mask) == 0) [[likely]] {
        skip_on_compare<SLOT>(word);
        return;
    }
    if constexpr (may_match<SLOT>(0177600, 0141600)) {
        if ((word & 0177600) == 0141600) {
            register_divide(word);
            return;
        }
    }
    if constexpr (may_match<SLOT>(0177600, 0141200)) {
        if ((word & 0177600) == 0141200) {
            register_multiply(word);
            return;
        }
    }
    if constexpr (SLOT == 0) {
        switch (word) {
        case 0140130:
            execute_bfill();
            return;
        case 0140131:
            execute_movb();
            return;
        case 0140132:
            execute_movbf();
            return;
        case 0140127: // read word
            machine.A = read_data(machine.T);
            machine.P += 1;
            return;
        case 0140134:
        case 0140135:
        case 0140136:
        case 0140137:
            execute_stack_instruction();
            return;
        case 0140123: // test and set
            machine.A = read_data(machine.T);
            write_data(machine.T, WORD_MASK);
            machine.P += 1;
            return;
        case 0140120:
        case 0140121:
        case 0140122:
        case 0140124:
        case 0140125:
        case 0140126:
            execute_decimal_instruction();
            return;
        default:
            break;
        }
    }
    if constexpr (may_match<SLOT>(0177700, 0143100)) {
        if ((word & 0177700) == 0143100) {
            execute_movew();
            return;
        }
    }
    terminate_program(word);
}

template <std::size_t... SLOT> void install_slots(std::index_sequence<SLOT...>) {
    ((instruction_table[0300 + SLOT] = extended_group<SLOT>), ...);
}

} // namespace

void install_extended_instructions() {
    install_slots(std::make_index_sequence<8>{});
}
