// Interrupt levels, the privileged control instructions and I/O: level
// changes with their register blocks, TRA/TRR/MCL/MST, WAIT, IRW/IRR, the
// SYScon words, IOT, IOX for console terminal 1 and IOTMON with the
// breakpoint-handler service.
#pragma once

#include <cstdint>

// The value of the breakpoint-handler address while no handler is defined.
constexpr uint32_t NO_BREAKPOINT_HANDLER = 0xffffffffu;

// The program's own breakpoint handler, registered by IOTMON 45. The save
// block is eight words in page table 0: P, X, T, A, D, L, STS, B.
struct BreakpointService {
    uint32_t handler_address; // NO_BREAKPOINT_HANDLER = none
    uint32_t save_block;
};

extern BreakpointService breakpoint_service;

// No handler defined. The registration survives runs and machine resets; only
// a fresh start of the emulator (or a test) calls this.
void reset_breakpoint_service();

// The operator's breakpoint is a WAIT planted in the program. The debugging
// aids set this to a function that WAIT asks first: it returns true when the
// WAIT at P is that breakpoint and it has stopped the run there, and WAIT then
// does nothing more. Null while no debugging aid wants to be asked.
extern bool (*wait_breakpoint_check)();

// Switches the CPU from the current level to `new_level`: the live registers
// go into the old level's block (its P the word after this instruction), the
// new level's block becomes the live registers.
void change_level(uint32_t new_level);

// The most significant level whose bit is set in `requests`, or 0.
uint32_t highest_level(uint32_t requests);

// The SYScon, level and I/O handlers, as the instruction table holds them.
void transfer_instruction();            // slot 320: TRA, TRR, MCL, MST
void system_control_instruction();      // slot 321
void wait_instruction();                // slot 322
void interlevel_register_instruction(); // slot 327: IRW, IRR
void iotmon_instruction();              // slot 342
void iox_instruction();                 // slot 350
