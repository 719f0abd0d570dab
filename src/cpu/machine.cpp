#include "cpu/machine.h"

#include <cstring>

MachineState machine;
uint32_t memory_image[MEMORY_WORDS];
volatile sig_atomic_t cpu_running = 0;

void clear_memory() { std::memset(memory_image, 0, sizeof memory_image); }

void reset_machine_registers() {
    uint32_t cpu_type = machine.cpu_type;
    uint32_t instruction_set = machine.instruction_set;
    uint32_t float_format = machine.float_format;
    bool first = cpu_type == 0 && instruction_set == 0;
    std::memset(&machine, 0, sizeof machine);
    machine.cpu_type = first ? 5 : cpu_type;
    machine.instruction_set = first ? 10 : instruction_set;
    machine.float_format = float_format;
    machine.PID = 1;
    machine.PIE = 1;
    machine.interrupt_on = INTERRUPT_ON;
    machine.STS = 0110000;
    machine.upper_limit = WORD_MASK;
    machine.current_instruction = read_normal(machine.P);
}

void reset_machine() {
    clear_memory();
    machine.cpu_type = 0;
    machine.instruction_set = 0;
    machine.float_format = 0;
    reset_machine_registers();
}

const char *cpu_type_text(uint32_t cpu_type) {
    switch (cpu_type) {
    case 2: return "  ND-100 with 48 bit floating";
    case 3: return "  ND-100 with 32 bit floating";
    case 4: return "  ND-110CX/ND-120CX with 48 bit floating";
    case 5: return "  ND-110CX/ND-120CX with 32 bit floating";
    default: return "  Unknown";
    }
}

const char *instruction_set_text(uint32_t instruction_set) {
    switch (instruction_set) {
    case 0: return "  ND-100 standard";
    case 1: return "  ND-100/CE";
    case 2: return "  ND-100/CX 4 page tables";
    case 3: return "  ND-1n0/CX 16 page tables";
    default: return "";
    }
}
