#include "cpu/cycle.h"
#include "cpu/machine.h"

#include <cstdio>

void illegal_instruction() {
    std::printf("\r\nIllegal instruction %06o at %06o\r\n", machine.current_instruction,
                machine.instruction_address);
    cpu_running = 0;
}
