// The handler of every instruction-table slot that holds no instruction.
#include "cpu/cycle.h"
#include "cpu/machine.h"
#include "cpu/run_outcome.h"

#include <cstdio>

// Stops the program with P past the offending word, so that the operator can
// look at the machine as it was.
void illegal_instruction() {
    uint32_t word = machine.current_instruction;
    print_stop_message("\nIllegal instruction code at %o %7o %d (decimal high byte)\n", machine.P,
                       word, static_cast<int>(word >> 8));
    cpu_running = 0;
    machine.P = (machine.P + 1) & WORD_MASK;
}
