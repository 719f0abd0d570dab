// The instruction cycle: fetch at P from page table 0, one indexed call of the
// handler for the instruction's high byte, count, and the debugging aids' turn.
#pragma once

#include <cstdint>

using InstructionHandler = void (*)();

constexpr int TRACE_HOOK_SLOT = 256;

// Slots 0-255 by high byte of the instruction word; slot 256 is the trace hook.
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

// Fills slots 0-255 with the instruction handlers and slot 256 with the trace hook.
void install_instruction_set();

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
void install_monitor_call_instruction();
