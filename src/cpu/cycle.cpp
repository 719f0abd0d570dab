#include "cpu/cycle.h"

#include "console/terminal.h"
#include "cpu/machine.h"
#include "filesystem/open_files.h"
#include "host/host.h"
#include "shell/debug_aids.h"
#include "shell/settings.h"
#include "shell/shell.h"

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

void run_cpu() {
    start_cycle();
    while (cpu_running) {
        machine.P &= WORD_MASK;
        machine.data_bank_mask = (machine.STS & STS_PTM) ? ~0u : 0u;
        machine.instruction_address = machine.P;
        machine.current_instruction = read_normal(machine.P);
        instruction_table[machine.current_instruction >> 8]();
        ++machine.instruction_count;
        if (debug_state.trace_flags) [[unlikely]] {
            instruction_table[TRACE_HOOK_SLOT]();
            if ((debug_state.trace_flags & TRACE_GUARDS) && !check_guards()) {
                host_terminal_program_running(false);
                return;
            }
        }
    }
    halt_steps();
}
