#include "cpu/cycle.h"

#include "console/terminal.h"
#include "cpu/extended_group.h"
#include "cpu/floating_point_ops.h"
#include "cpu/instruction_context.h"
#include "cpu/machine.h"
#include "cpu/memory_reference.h"
#include "cpu/register_ops.h"
#include "cpu/run_outcome.h"
#include "filesystem/open_files.h"
#include "host/host.h"
#include "shell/debug_aids.h"
#include "shell/settings.h"
#include "shell/shell.h"

#include <atomic>
#include <bit>
#include <cstdio>

InstructionHandler instruction_table[257];

// clang-format off
const char *const mnemonic_table[257] = {
#define MR(name) name, name "b", name "i", name "bi", name "x", name "bx", name "ix", name "bix"
    MR("STZ"), MR("STA"), MR("STT"), MR("STX"), MR("STD"), MR("LDD"), MR("STF"), MR("LDF"),
    MR("MIN"), MR("LDA"), MR("LDT"), MR("LDX"), MR("ADD"), MR("SUB"), MR("AND"), MR("ORA"),
    MR("FAD"), MR("FSU"), MR("FMU"), MR("FDV"), MR("MPY"), MR("JMP"),
    "JAP", "JAN", "JAZ", "JAF", "JPC", "JNC", "JXZ", "JXN",
    MR("JPL"),
#undef MR
    "op14nn", "op14nn", "op14nn", "op14nn", "op14nn", "op14nn", "op14nn", "op14nn",
    "SWAP", "RAND", "REXO", "RORA", "RADD", "RADD", "RADD", "ILLEGA",
    "op1500", "SYScon", "WAIT", "NLZ", "DNZ", "ILLEGA", "MONxx", "IRrw",
    "SHTDa", "SHADa", "SHTDr", "SHADr", "SHTDz", "SHADz", "SHTDl", "SHADl",
    "IOT", "IOT", "IOTMON", "IOT", "IOT", "IOT", "IOT", "IOT",
    "IOX", "ILLEGA", "ILLEGA", "ILLEGA", "ILLEGA", "ILLEGA", "ILLEGA", "ILLEGA",
    "SAB", "SAA", "SAT", "SAX", "AAB", "AAA", "AAT", "AAX",
    "BSET01", "BSETB", "BSKP01", "BSKPB", "BSTca", "BLDca", "BANcd", "BORca",
    "",
};
// clang-format on

void install_instruction_set() {
    for (auto &slot : instruction_table)
        slot = illegal_instruction;
    install_memory_reference_instructions();
    install_register_instructions();
    install_extended_instructions();
    install_level_and_io_instructions();
    install_decimal_instructions();
    install_floating_point_instructions();
    install_block_and_stack_instructions();
    install_monitor_call_instruction();
    instruction_table[TRACE_HOOK_SLOT] = trace_hook;
}

// Start of a run: P into the level's block, APT only when armed for this
// start, and the interrupt system reset unless the operator preset a level.
static void start_cycle() {
    host_terminal_program_running(true);
    begin_run_outcome();
    machine.level_blocks[machine.current_level].r[R_P] = machine.P;
    if (!machine.apt_armed)
        machine.apt_offset = 0;
    machine.apt_armed = 0;
    if (!machine.level_preset) {
        machine.PID = 1;
        machine.PIE = 1;
        machine.current_level = 0;
        machine.previous_level = 0;
        machine.interrupt_on = INTERRUPT_ON;
        machine.STS = (machine.STS & 070377) | 0100000;
    }
    machine.level_preset = 0;
    machine.level_changed = 0;
    // A ^C typed while the run was being prepared stops it before its first
    // instruction, as one typed a moment later would.
    if (interrupt_seen && cpu_running) {
        cpu_running = 0;
        interrupt_stopped_run = 1;
    }
}

// Compares every guarded word with its recorded value. Returns false when the
// operator chose to quit at the prompt.
static bool check_guards() {
    for (int i = 0; i < debug_state.guard_count; ++i) {
        GuardEntry &guard = debug_state.guards[i];
        uint32_t now = memory_image[guard.location % MEMORY_WORDS];
        if (now == guard.value)
            continue;
        std::fprintf(shell.operator_output,
                     "\r\nMemory location %o in PT %d has changed from %o to %o @P= %o\r\n",
                    guard.location & WORD_MASK, static_cast<int>(guard.location >> 16),
                    guard.value, now, machine.instruction_address);
        guard.value = now;
        std::fprintf(shell.operator_output, "\r\n>> Type CR to continue, q to quit");
        int answer = read_prompt_answer();
        // ^C has already stopped the run, which ends through the halt steps.
        if (answer < 0 && !cpu_running)
            return true;
        if (answer == 'q' || answer < 0) {
            std::fprintf(shell.operator_output, "\r\n   Return to command input!\r\n");
            restore_saved_trace_settings();
            cpu_running = 0;
            if (machine.apt_offset) {
                std::fprintf(shell.operator_output, "\r\nStopping with APT on, now turned off\r\n");
                machine.apt_offset = 0;
            }
            return false;
        }
    }
    return true;
}

static void halt_steps() {
    host_terminal_program_running(false);
    if (interrupt_stopped_run)
        report_interrupted_run();
    end_run_outcome();
    bool quiet = settings.silent_mode || shell.program_command_pending;
    if (!quiet) {
        std::fprintf(shell.operator_output,
                     "\r\n__ ND-110 emulation halted, close files (except scratch file):");
        list_open_files();
    }
    close_all_files(CLOSE_KEEP_SCRATCH);
    if (machine.apt_offset) {
        if (!quiet)
            std::fprintf(shell.operator_output, "\r\nStopping with APT %d on, now turned off\r\n",
                         static_cast<int>(machine.apt_offset >> 16));
        machine.apt_offset = 0;
    }
}

namespace {

// The handler of slot SLOT, run in line by the cycle (the slots with register
// forms call those instead, see SLOT_CODE), the floating-point ones in the
// float format FORMAT. Returns false, having done nothing, when the
// instruction is to go through the instruction table instead: the slots of
// levels, I/O, monitor calls and illegal words, and the op14nn words that
// extended_group_in_line leaves.
template <int SLOT, int FORMAT> [[gnu::always_inline]] inline bool run_in_line(InstructionContext &c) {
    if constexpr (SLOT < 0200 || (SLOT >= 0240 && SLOT < 0260) || (SLOT >= 0270 && SLOT < 0300)) {
        memory_reference_group::memory_reference<(SLOT >> 3), (SLOT & 7)>(c);
    } else if constexpr (SLOT < 0240) {
        floating_point_group::float_instruction<((SLOT >> 3) & 3), (SLOT & 7), FORMAT>(c);
    } else if constexpr (SLOT < 0270) {
        memory_reference_group::conditional_jump<(SLOT & 7)>(c);
    } else if constexpr (SLOT < 0310) {
        return extended_group_slots::extended_group_in_line<(SLOT & 7)>(c);
    } else if constexpr (SLOT < 0317) {
        register_group::register_operation<(SLOT - 0310)>(c);
    } else if constexpr (SLOT == 0323) {
        floating_point_group::normalize<FORMAT>(c);
    } else if constexpr (SLOT == 0324) {
        floating_point_group::denormalize<FORMAT>(c);
    } else if constexpr (SLOT >= 0330 && SLOT < 0340) {
        register_group::shift_instruction<(SLOT & 7)>(c);
    } else if constexpr (SLOT >= 0360 && SLOT < 0370) {
        register_group::argument_instruction<(SLOT & 7)>(c);
    } else if constexpr (SLOT >= 0370) {
        register_group::bit_instruction<(SLOT & 7)>(c);
    } else {
        return false;
    }
    return true;
}

// The low byte of the word at address p of page table 0.
HANDLER_INLINE uint32_t low_byte_at(std::size_t p) {
    if constexpr (std::endian::native == std::endian::little)
        return reinterpret_cast<const uint8_t *>(&memory_image[p])[0];
    else
        return memory_image[p] & 0377;
}

// The high byte of the word at address p of page table 0, read from its
// cell: the instruction-table slot of the instruction there.
HANDLER_INLINE uint32_t high_byte_at(std::size_t p) {
    if constexpr (std::endian::native == std::endian::little)
        return reinterpret_cast<const uint8_t *>(&memory_image[p])[1];
    else
        return memory_image[p] >> 8;
}

// The debugging aids' turn after an instruction: the trace hook, then the
// guarded words. Returns false when the operator quit at the guard prompt,
// which ends the run without the halt steps.
bool debugging_aids_turn() {
    instruction_table[TRACE_HOOK_SLOT]();
    if ((debug_state.trace_flags & TRACE_GUARDS) && !check_guards()) {
        host_terminal_program_running(false);
        return false;
    }
    return true;
}

// The cycle while a debugging aid is on: each instruction through the
// instruction table, then the aids' turn. Returns when the program stops or
// every trace flag is off; false when the run ended at the guard prompt.
bool run_with_debugging_aids() {
    do {
        machine.P &= WORD_MASK;
        machine.data_bank_mask = (machine.STS & STS_PTM) ? ~0u : 0u;
        machine.instruction_address = machine.P;
        machine.current_instruction = read_normal(machine.P);
        instruction_table[machine.current_instruction >> 8]();
        ++machine.instruction_count;
        if (!debug_state.trace_flags) return true;
        if (!debugging_aids_turn()) return false;
    } while (cpu_running && debug_state.trace_flags);
    return true;
}

} // namespace

// Every slot has a label in run_cpu, named by its three octal digits.
// clang-format off
#define SLOT_DIGITS_8(F, a, b)                                                                     \
    F(a, b, 0) F(a, b, 1) F(a, b, 2) F(a, b, 3) F(a, b, 4) F(a, b, 5) F(a, b, 6) F(a, b, 7)
#define SLOT_DIGITS_64(F, a)                                                                       \
    SLOT_DIGITS_8(F, a, 0) SLOT_DIGITS_8(F, a, 1) SLOT_DIGITS_8(F, a, 2) SLOT_DIGITS_8(F, a, 3)    \
    SLOT_DIGITS_8(F, a, 4) SLOT_DIGITS_8(F, a, 5) SLOT_DIGITS_8(F, a, 6) SLOT_DIGITS_8(F, a, 7)
#define EVERY_SLOT(F)                                                                              \
    SLOT_DIGITS_64(F, 0) SLOT_DIGITS_64(F, 1) SLOT_DIGITS_64(F, 2) SLOT_DIGITS_64(F, 3)
// clang-format on

#define SLOT_LABEL_ADDRESS(d0, d1, d2) &&slot_##d0##d1##d2,

// The slots whose handlers depend on the float format: FAD, FSU, FMU and FDV
// in their eight addressing modes, NLZ and DNZ. Each has a second label,
// float48_slot_..., with its handler for the 48-bit format.
#define FLOAT_SLOTS(F)                                                                             \
    SLOT_DIGITS_8(F, 2, 0) SLOT_DIGITS_8(F, 2, 1) SLOT_DIGITS_8(F, 2, 2) SLOT_DIGITS_8(F, 2, 3)    \
    F(3, 2, 3) F(3, 2, 4)
#define SLOT_NUMBER(d0, d1, d2) 0##d0##d1##d2,
#define FLOAT48_LABEL_ADDRESS(d0, d1, d2) &&float48_slot_##d0##d1##d2,

namespace {

// Where the in-line cycle goes for each slot. While a run goes on these are
// the slots' labels; ^C points every entry at the halt label, so that the
// jump after the current instruction leaves the cycle. That is the whole of
// the in-line cycle's test of cpu_running: the jump to the next instruction
// reads its entry anyway, so the test costs nothing. The entries are atomics,
// which the signal handler may store to; on x86 a relaxed load is an
// ordinary one, and the jump reads the entry directly.
std::atomic<const void *> slot_dispatch[256];
std::atomic<const void *> halt_target{nullptr};
// Set when the entries may no longer be the slots' labels for the machine's
// float format: after ^C, and when the float format changes.
std::atomic<bool> dispatch_stale{false};

static_assert(std::atomic<const void *>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

constexpr int float_slots[] = {FLOAT_SLOTS(SLOT_NUMBER)};
constexpr int FLOAT_SLOT_COUNT = sizeof float_slots / sizeof float_slots[0];

// Points the entries at the slots' labels, the floating-point ones at those
// of the machine's float format.
void restore_dispatch(const void *const *labels, const void *const *float48_labels,
                      const void *halt_label) {
    halt_target.store(halt_label, std::memory_order_relaxed);
    dispatch_stale.store(false, std::memory_order_relaxed);
    for (int slot = 0; slot < 256; ++slot)
        slot_dispatch[slot].store(labels[slot], std::memory_order_relaxed);
    if (machine.float_format != 0)
        for (int i = 0; i < FLOAT_SLOT_COUNT; ++i)
            slot_dispatch[float_slots[i]].store(float48_labels[i], std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

} // namespace

void instruction_dispatch_changed() noexcept {
    dispatch_stale.store(true, std::memory_order_relaxed);
}

void halt_instruction_dispatch() noexcept {
    const void *halt_label = halt_target.load(std::memory_order_relaxed);
    if (halt_label == nullptr) return;
    dispatch_stale.store(true, std::memory_order_relaxed);
    for (auto &entry : slot_dispatch)
        entry.store(halt_label, std::memory_order_relaxed);
}

// Jumps to the label of the instruction at P (P within the address space).
#define DISPATCH goto *slot_dispatch[high_byte_at(p)].load(std::memory_order_relaxed)

// The end of an instruction run in line: count it and go on with the next
// one. The mask of P costs nothing after the handlers that are known to keep
// P within the address space. In-line handlers never change the trace flags
// nor clear cpu_running, so the debugging aids' test is made after the other
// instructions only (see run_cpu), and ^C reaches the cycle through
// slot_dispatch.
#define NEXT_INSTRUCTION                                                                           \
    ++count;                                                                                       \
    p &= WORD_MASK;                                                                                \
    DISPATCH;

// The register operations, shifts and bit instructions call the form of
// their low byte (see register_forms).
#define SLOT_CODE(d0, d1, d2)                                                                      \
    slot_##d0##d1##d2 : IN_LINE_CODE(0##d0##d1##d2, floating_point_group::FORMAT_32)
#define FLOAT48_CODE(d0, d1, d2)                                                                   \
    float48_slot_##d0##d1##d2 : IN_LINE_CODE(0##d0##d1##d2, floating_point_group::FORMAT_48)
#define IN_LINE_CODE(SLOT, FORMAT)                                                                 \
    {                                                                                              \
        constexpr int row = register_group::form_row(SLOT);                                        \
        if constexpr (row >= 0) {                                                                  \
            register_group::FormResult next =                                                      \
                register_group::register_forms[row][low_byte_at(p)](p, a);                         \
            p = next.p;                                                                            \
            a = next.a;                                                                            \
            if constexpr (SLOT >= 0370) {                                                          \
                if (p & register_group::DATA_BANK_MAY_CHANGE) [[unlikely]] {                       \
                    p &= WORD_MASK;                                                                \
                    data_base = data_base_from_sts();                                              \
                }                                                                                  \
            }                                                                                      \
            known_address(p);                                                                      \
        } else {                                                                                   \
            InstructionContext c{memory_image[p], p, data_base, a};                                \
            if (!run_in_line<SLOT, FORMAT>(c)) goto through_table;                                 \
            p = c.p;                                                                               \
            data_base = c.data_base;                                                               \
            a = c.a;                                                                               \
        }                                                                                          \
    }                                                                                              \
    NEXT_INSTRUCTION

// The cycle keeps P, A, the data bank and the instruction count in host
// registers. Before anything but an in-line handler looks at the machine they
// go back into `machine`.
#define WRITE_BACK_STATE                                                                           \
    machine.P = static_cast<uint32_t>(p);                                                          \
    machine.A = a;                                                                                 \
    machine.instruction_count = count;                                                             \
    machine.data_bank_mask = (machine.STS & STS_PTM) ? ~0u : 0u;
#define TAKE_BACK_STATE                                                                            \
    p = machine.P;                                                                                 \
    a = machine.A & WORD_MASK;                                                                     \
    data_base = data_base_from_sts();

// The instruction cycle. While no debugging aid is on, the handlers of the
// CPU's own instructions run in line, each slot at its own label, and every
// instruction ends by jumping straight to the label of the next one. The
// other slots (levels, I/O, monitor calls, illegal words, EXR and the
// handed-over op14nn words) are called through the instruction table; the
// trace flags can change only there, so they are tested after those. While
// any trace flag is on, run_with_debugging_aids runs the instructions.
void run_cpu() {
    static const void *const slot_labels[256] = {EVERY_SLOT(SLOT_LABEL_ADDRESS)};
    static const void *const float48_labels[FLOAT_SLOT_COUNT] = {FLOAT_SLOTS(FLOAT48_LABEL_ADDRESS)};
    restore_dispatch(slot_labels, float48_labels, &&halt);
    start_cycle();
    if (cpu_running && debug_state.trace_flags) {
        if (!run_with_debugging_aids()) return;
        // What ran meanwhile may have changed the float format.
        if (dispatch_stale.load(std::memory_order_relaxed))
            restore_dispatch(slot_labels, float48_labels, &&halt);
    }
    std::size_t p = machine.P;
    uint32_t a = machine.A & WORD_MASK; // kept to 16 bits, see store_a
    uint64_t count = machine.instruction_count;
    uint32_t data_base = data_base_from_sts();
    if (!cpu_running) goto halt;
    p &= WORD_MASK;
    DISPATCH;

    EVERY_SLOT(SLOT_CODE)
    FLOAT_SLOTS(FLOAT48_CODE)

through_table:
    WRITE_BACK_STATE
    machine.instruction_address = p;
    machine.current_instruction = memory_image[p];
    instruction_table[machine.current_instruction >> 8]();
    if (debug_state.trace_flags) [[unlikely]] {
        ++machine.instruction_count;
        if (!debugging_aids_turn()) return;
        if (cpu_running && debug_state.trace_flags && !run_with_debugging_aids()) return;
        count = machine.instruction_count;
    } else {
        // The handler may have counted (EXR counts the word it runs).
        count = machine.instruction_count + 1;
    }
    TAKE_BACK_STATE
    if (!cpu_running) goto halt;
    // A run nested in the instruction (a program started by a SINTRAN
    // command) may have left the entries pointing at the halt label, or the
    // float format changed.
    if (dispatch_stale.load(std::memory_order_relaxed)) [[unlikely]] {
        restore_dispatch(slot_labels, float48_labels, &&halt);
        // A ^C that came while the entries were put back is seen here.
        if (!cpu_running) goto halt;
    }
    p &= WORD_MASK;
    DISPATCH;
halt:
    WRITE_BACK_STATE
    // A handler called through the table may have left P one past 177777.
    machine.P &= WORD_MASK;
    halt_steps();
}
