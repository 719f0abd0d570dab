// The instructions of the op14nn group (140000-143777) that the extended-group
// decoder hands on to the decimal, block-move and stack sources. Each one is
// called with the same contract as an instruction-table handler: it reads
// machine.current_instruction, P still addresses the instruction, and it
// leaves P at the next instruction (or clears cpu_running).
#pragma once

// 140130: fill bytes.
void execute_bfill();
// 140131: move bytes.
void execute_movb();
// 140132: move bytes forward.
void execute_movbf();
// 143100-143177: move words.
void execute_movew();
// 140134-140137: stack INIT, ENTR, LEAV, ELEAV.
void execute_stack_instruction();
// 140120-140122 and 140124-140126: the decimal instructions (140123 is
// test-and-set and never comes here).
void execute_decimal_instruction();
