// The execution state of the shell's run commands: the typed-ahead flag and
// the system-information words that SINTRAN-info shows.
#pragma once

#include <cstdint>

constexpr int SYSTEM_INFO_WORDS = 12;

struct ExecutionState {
    // Set when keys were typed ahead; continue-after-breakpoint warns of it.
    int keyboard_input_flag;
    // SystemInfo; word 1 (CPU type and instruction set) is kept in
    // MachineState and composed by system_info_word.
    uint32_t system_info[SYSTEM_INFO_WORDS];
};

extern ExecutionState execution_state;

// Start-up values of SystemInfo, no keys flagged.
void reset_execution_state();
// Word `index` (0-11) of SystemInfo.
uint32_t system_info_word(int index);

// SINTRAN-info.
void print_sintran_info();
