// The instruction cycle: fetch at P from page table 0, one indexed call of the
// handler for the instruction's high byte, count, and the debugging aids' turn;
// the hooks by which the CPU reaches the layers above it.
#pragma once

#include <cstdint>

using InstructionHandler = void (*)();

constexpr int TRACE_HOOK_SLOT = 256;

// The two trace flags the CPU acts on itself (the debugging aids define the
// others): the guards' turn after each instruction, and IOTMON's report of
// its calls (MON reports through the trace hook).
constexpr uint32_t TRACE_MONITOR_CALLS = 0200;
constexpr uint32_t TRACE_GUARDS = 0400;

// Slots 0-255 by high byte of the instruction word; slot 256 is the trace
// hook, filled by the debugging aids.
extern InstructionHandler instruction_table[257];
// The group mnemonic of every slot, as the execution trace prints it.
extern const char *const mnemonic_table[257];

// Runs the emulated program from P until cpu_running is cleared, then performs
// the halt steps.
void run_cpu();

// Makes a running cycle leave after the instruction it is carrying out, as
// clearing cpu_running does. Only stores, so the ^C handler may call it.
void halt_instruction_dispatch() noexcept;
// Tells a running cycle to choose its labels again before its next
// instruction: the float format has changed.
void instruction_dispatch_changed() noexcept;

// The input has ended or ^C came while an instruction or a monitor call
// waited or polled for a key: the program stops as ^C stops it, with P still
// on the instruction so that a continue repeats it.
void stop_on_lost_input();

// Fills slots 0-255 with the handlers of the CPU's own instructions and
// illegal_instruction; the MON slot and slot 256 are filled by the monitor
// calls and the debugging aids (see install_instruction_set in the shell).
void install_cpu_instructions();

// What the CPU reaches above itself, through hooks it owns: the layers that
// own the other ends fill them at start-up. Each has a harmless default, so
// that the CPU also runs on its own.
struct CpuHooks {
    // The debugging aids' trace flags, kept here for them (they reach the
    // word as debug_state.trace_flags): while it is non-zero, every
    // instruction goes through the instruction table and the trace hook of
    // slot 256 runs after it; with TRACE_GUARDS guards_hold runs then too.
    // IOTMON reports its calls while TRACE_MONITOR_CALLS is set.
    uint32_t trace_flags;
    // Compares the guarded words after the trace hook. Returns false when the
    // operator quit at the guard prompt: the run then ends without the halt
    // steps.
    bool (*guards_hold)();
    // IOTMON's monitor calls: carries out call `number` as MON does.
    void (*call_monitor)(uint32_t number);
    // When a program ends: the halt steps' listing of the open files, and the
    // closing of every file but the scratch files.
    void (*list_open_files)();
    void (*close_program_files)();
};

extern CpuHooks cpu_hooks;

// Every hook at its default: no trace flags, no monitor calls (IOTMON's
// calls stop the program as an illegal instruction does), no files.
void reset_cpu_hooks();

// The handler of every slot without an instruction: stops the program with its message.
void illegal_instruction();

// Installers of the instruction groups; each fills the slots of its group.
void install_memory_reference_instructions();
void install_register_instructions();
void install_extended_instructions();
void install_level_and_io_instructions();
void install_decimal_instructions();
void install_floating_point_instructions();
void install_block_and_stack_instructions();
