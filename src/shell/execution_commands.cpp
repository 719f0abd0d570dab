// Execution control: starting, stepping and resuming the ND program, showing
// and changing the machine state, and choosing the machine variant.
#include "console/terminal.h"
#include "cpu/cycle.h"
#include "cpu/machine.h"
#include "debug/debug_aids.h"
#include "host/host.h"
#include "images/prog_image.h"
#include "operator/arguments.h"
#include "operator/operator_channel.h"
#include "settings/settings.h"
#include "shell/commands.h"
#include "shell/execution.h"
#include "shell/shell.h"

#include <cstdio>

// SystemInfo as the emulated system describes itself: CPU 16505, microprogram
// 12, SINTRAN III VSX-500 version L, revision 2624, generated 09:34 16/12-1988.
static const ExecutionState initial_execution_state = {
    0,
    {16505, 0, 12, 0, (5u << 8) | 'L', 0, 2624, 34, 9, 16, 12, 1988},
};

ExecutionState execution_state = initial_execution_state;

void reset_execution_state() {
    execution_state = initial_execution_state;
}

uint32_t system_info_word(int index) {
    if (index == 1) return ((machine.cpu_type & 0377) << 8) | (machine.instruction_set & 0377);
    if (index < 0 || index >= SYSTEM_INFO_WORDS) return 0;
    return execution_state.system_info[index];
}

static FILE *out() {
    return shell.operator_output;
}

static void report_bad_octal(int bad_char) {
    std::fprintf(out(), "Illegal char. in octal number: %c\r\n", bad_char);
}

// ---- the run driver ----

// What every start from the start or restart address sets up.
static void prepare_run() {
    execution_state.keyboard_input_flag = 0;
    terminal.esc_enabled = 1;
    debug_state.histogram_executed = 0;
    debug_state.watched_value = memory_image[debug_state.watched_address % MEMORY_WORDS];
    cpu_running = 1;
    debug_state.trace_line_count = 0;
    debug_state.saved_trace_flags = debug_state.trace_flags;
    machine.instruction_count = 0;
    shell.run_start_milliseconds = host_time_milliseconds();
}

// Runs the cycle and returns the elapsed milliseconds.
static int64_t timed_run() {
    int64_t before = host_time_milliseconds();
    run_cpu();
    int64_t elapsed = host_time_milliseconds() - before;
    return elapsed < 0 ? 0 : elapsed;
}

// "Time used is: ..." and, when `instruction_line` is given, the line with
// the instruction count and the time per instruction.
static void print_timing_report(int64_t elapsed, const char *instruction_line) {
    if (shell.program_command_pending) return;
    int64_t seconds = elapsed / 1000;
    std::fprintf(out(), "\r\nTime used is: ");
    if (seconds / 60 > 0) std::fprintf(out(), "%d minutes ", static_cast<int>(seconds / 60));
    std::fprintf(out(), "%d secs, %d milsecs", static_cast<int>(seconds % 60),
                 static_cast<int>(elapsed % 1000));
    if (!instruction_line) return;
    uint64_t count = machine.instruction_count;
    double per_instruction =
        count ? static_cast<double>(elapsed) * 1000.0 / static_cast<double>(count) : 0.0;
    std::fprintf(out(), instruction_line, static_cast<unsigned long long>(count), per_instruction);
}

void run_loaded_program() {
    if (!informational_messages_suppressed())
        std::fprintf(out(), "\r\nStarting execution at start address %o\r\n", machine.P);
    prepare_run();
    int64_t elapsed = timed_run();
    print_timing_report(elapsed, "\r\n%llu instructions executed, %f usec/instruction");
    std::fprintf(out(), "\r\n");
    if (out() == stdout) page_pause('\n');
}

static void reset_terminal_after_run() {
    terminal.echo_mode = 0;
    terminal.break_mode = 0;
    clear_inbytebuff();
    terminal.last_typed_byte = 0;
    std::fprintf(out(), "\r\n");
}

void cmd_run() {
    char prompt[64];
    std::snprintf(prompt, sizeof prompt, "Start-address (default is %o): ", machine.P);
    uint32_t start = 0;
    int bad_char = 0;
    bool prompted = shell_line_ended();
    int result = read_octal_argument(&start, machine.P, prompt, &bad_char);
    if (result == CONSOLE_EOF) return;
    if (result < 0) {
        report_bad_octal(bad_char);
    } else if (start > WORD_MASK) {
        std::fprintf(out(), "Start address must be within 0-ffff \r\n");
    } else {
        machine.P = start;
        prepare_run();
        reset_terminal_for_program();
        terminal.last_typed_byte = 0;
        set_program_command_line(rest_after_argument(prompted));
        int64_t elapsed = timed_run();
        print_timing_report(elapsed, "\r\n%llu instructions executed, %f usec/instruction\r\n");
    }
    reset_terminal_after_run();
}

void cmd_continue_after_breakpoint() {
    if (!debug_state.breakpoint_set || debug_state.breakpoint_address != (machine.P & WORD_MASK)) {
        std::fprintf(out(), "Not at a break-point\r\n");
        return;
    }
    if (execution_state.keyboard_input_flag)
        std::fprintf(out(), "There are characters in keyboard input buffer!\r\n");
    cpu_running = 1;
    debug_state.watched_value = memory_image[debug_state.watched_address % MEMORY_WORDS];
    execute_breakpoint_saved_word();
    run_cpu();
}

void cmd_step_execution() {
    uint32_t start = 0;
    int bad_char = 0;
    int result = read_octal_argument(&start, machine.P, "Start-address (PC): ", &bad_char);
    if (result == CONSOLE_EOF) return;
    if (result < 0) {
        report_bad_octal(bad_char);
        return;
    }
    std::fprintf(out(), "\r\nStart address entered: %7o", start);
    if (start > WORD_MASK) {
        std::fprintf(out(), "Start address must be within 0-ffff\r\n");
        return;
    }
    DebugState &d = debug_state;
    d.saved_trace_stream = d.trace_stream;
    d.saved_trace_flags = d.trace_flags;
    d.trace_flags |= TRACE_EXECUTION;
    d.trace_stream = stdout;
    d.histogram_executed = 0;
    d.watched_value = memory_image[d.watched_address % MEMORY_WORDS];
    d.single_step = 1;
    std::fprintf(out(), "\r\n    Starting ND CPU emulation\r\n");
    machine.P = start;
    std::fprintf(out(), "\r\n>>");
    cpu_running = 1;
    // With a breakpoint planted, stepping goes through
    // continue-after-breakpoint: at the breakpoint it executes the replaced
    // word and runs the cycle itself (a second run would only repeat the
    // halt); elsewhere it reports that P is not at the breakpoint, and the
    // stepping starts at P.
    if (d.breakpoint_set) {
        bool at_breakpoint = d.breakpoint_address == machine.P;
        cmd_continue_after_breakpoint();
        if (at_breakpoint) return;
    }
    run_cpu();
}

void cmd_continue_at_restart_address() {
    if (!settings.silent_mode)
        std::fprintf(out(), "Starting execution at restart address %o\r\n",
                     image_state.restart_address);
    machine.P = image_state.restart_address & WORD_MASK;
    prepare_run();
    int64_t elapsed = timed_run();
    print_timing_report(elapsed, nullptr);
}

// ---- showing the machine ----

void cmd_list_register_values() {
    list_register_values();
}

static void print_status_bits() {
    static const struct {
        uint32_t mask;
        const char *on;
        const char *off;
    } bits[] = {
        {STS_K, "K= 1  ", "K= 0  "},        {STS_Z, "Z= 1  ", "Z= 0  "},
        {STS_Q, "Q= 1  ", "Q= 0  "},        {STS_O, "O= 1  ", "O= 0  "},
        {STS_C, "C= 1  ", "C= 0  "},        {STS_M, "M= 1  ", "M= 0  "},
        {STS_TG, "SSTG= 1  ", "SSTG= 0  "}, {STS_PTM, "SSPTM=1  ", "SSPTM= 0  "},
    };
    std::fprintf(out(), "\r\nStatus bits: ");
    for (const auto &bit : bits)
        std::fprintf(out(), "%s", (machine.STS & bit.mask) ? bit.on : bit.off);
}

static void print_trace_status() {
    const DebugState &d = debug_state;
    if (d.trace_flags & TRACE_EXECUTION) std::fprintf(out(), "\r\nTracing execution");
    if (d.trace_flags & TRACE_START_ADDRESS)
        std::fprintf(out(), "\r\nStart trace when PC at %7o", d.start_trace_address);
    if (d.trace_flags & TRACE_AREAS) {
        for (int i = 0; i < TRACE_AREA_COUNT; ++i)
            if (d.trace_areas[i].defined)
                std::fprintf(out(), "\r\nTrace area number %3d: %7o - %7o", i + 1,
                             d.trace_areas[i].lower, d.trace_areas[i].upper);
    } else {
        std::fprintf(out(), "\r\nNo trace areas defined");
    }
}

void cmd_status() {
    machine.current_instruction = read_normal(machine.P);
    machine.instruction_address = machine.P;
    std::fprintf(out(), "CPU status is:");
    std::fprintf(out(),
                 machine.float_format ? " 48 bit ND float format" : " 32 bit ND float format");
    std::fprintf(out(), ", defined program memory limits are %o - %7o ", machine.lower_limit,
                 machine.upper_limit);
    if (machine.apt_offset)
        std::fprintf(out(), "\r\nRunning in 2-bank mode, APT = %i , lower = %o, upper = %o\r\n",
                     static_cast<int>(machine.apt_offset >> 16), machine.two_bank_lower,
                     machine.two_bank_upper);
    std::fflush(out());
    print_register_line();
    std::fflush(stdout);
    print_status_bits();
    std::fprintf(out(), "\nActive level %d, prev. level %d",
                 static_cast<int>((machine.STS >> 8) & 017),
                 static_cast<int>(machine.previous_level));
    std::fprintf(out(), (machine.STS & 0100000) ? " Interrupt ON" : " Interrupt OFF");
    std::fprintf(out(), " ,PIE=%o  PID = %o", machine.PIE, machine.PID);
    const DebugState &d = debug_state;
    if (d.breakpoint_set) {
        std::fprintf(out(), "\r\nBreakpoint set at %o ", d.breakpoint_address);
        std::fprintf(out(), "\r\nInstruction code at breakpoint is %o ", d.breakpoint_saved_word);
    }
    if (d.trace_flags & TRACE_WATCH)
        std::fprintf(out(), "\r\nTracing memory references of address %o ", d.watched_address);
    print_trace_status();
    std::fprintf(out(), "\r\nTerminal type is %d\r\n", static_cast<int>(settings.terminal_type));
}

// ---- changing the machine ----

void cmd_set_register_value() {
    std::fprintf(out(),
                 "\r\n(Bits in status register are not influenced when setting other registers)");
    std::fprintf(out(), "\r\nStatus before:");
    std::fflush(out());
    print_register_line();
    int choice = read_choice_argument("Register name: ", "?", "a x d pc sts t l b ad *");
    if (choice == CONSOLE_EOF) return;
    if (choice == -2) {
        std::fprintf(out(), "Internal error, should not happen\r\n");
    } else if (choice < 0) {
        std::fprintf(out(), "a x d pc sts t l b ad * (*=all) are legal register names\r\n");
    } else {
        uint32_t value = 0;
        int bad_char = 0;
        int result = read_octal_argument(&value, 0, "Value: ", &bad_char);
        if (result == CONSOLE_EOF) return;
        enum { A = 1, X, D, PC, STS, T, L, B, AD, ALL };
        if (result < 0) {
            report_bad_octal(bad_char);
        } else if (choice == STS) {
            if (value > 0377)
                std::fprintf(out(), "Error, Status register >377 octal\r\n");
            else
                machine.STS = compose_sts(machine.current_level, value);
        } else if (choice == AD) {
            machine.A = (value >> 16) & WORD_MASK;
            machine.D = value & WORD_MASK;
        } else if (value > WORD_MASK) {
            std::fprintf(out(), "Value outside legal range\r\n");
        } else {
            switch (choice) {
            case A:
                machine.A = value;
                break;
            case X:
                machine.X = value;
                break;
            case D:
                machine.D = value;
                break;
            case PC:
                machine.P = value;
                break;
            case T:
                machine.T = value;
                break;
            case L:
                machine.L = value;
                break;
            case B:
                machine.B = value;
                break;
            default:
                machine.A = machine.X = machine.D = machine.T = machine.L = machine.B = value;
                machine.STS = compose_sts(machine.current_level, machine.STS | value);
                break;
            }
        }
    }
    std::fprintf(out(), "\r\nStatus now: ");
    std::fflush(out());
    print_register_line();
}

void cmd_set_memory_limits() {
    uint32_t lower = 0, upper = 0;
    int bad_char = 0;
    int result = read_octal_argument(&lower, 0, "Lower memory address (octal): ", &bad_char);
    if (result == CONSOLE_EOF) return;
    if (result < 0) {
        report_bad_octal(bad_char);
        return;
    }
    if (lower > WORD_MASK) {
        std::fprintf(out(), "Error, outside memory range 0 - ffff\r\n");
        return;
    }
    result = read_octal_argument(&upper, WORD_MASK, "Upper memory address: ", &bad_char);
    if (result == CONSOLE_EOF) return;
    if (result < 0) {
        report_bad_octal(bad_char);
        return;
    }
    if (upper > WORD_MASK) {
        std::fprintf(out(), "Error, outside memory range 0 - ffff\r\n");
        return;
    }
    if (upper < lower) {
        std::fprintf(out(), "Error, lower address < upper address\r\n");
        return;
    }
    machine.lower_limit = lower;
    machine.upper_limit = upper;
    std::fprintf(out(), "Memory limits are now %7o - %7o\r\n", lower, upper);
}

void cmd_activate_alternative_page_table() {
    uint32_t page_table = 0;
    int bad_char = 0;
    int result = read_octal_argument(&page_table, 0, "Page table no: ", &bad_char);
    if (result == CONSOLE_EOF) return;
    // The choice holds for the next start whatever the answer was.
    machine.apt_armed = 1;
    if (result < 0) {
        report_bad_octal(bad_char);
        return;
    }
    if (page_table > 3) {
        std::fprintf(out(), "Bad alternative page table no, 0,1,2,3 is legal\r\n");
        return;
    }
    machine.apt_offset = page_table * BANK_WORDS;
    if (page_table == 0) {
        std::fprintf(out(), "Alternative page table set to normal page table (0)\r\n");
        return;
    }
    if (page_table != 2) std::fprintf(out(), "Warning: You activated APT for RT-programs\a\r\n");
    std::fprintf(out(), "NOTE: Status register bit 0 not changed by this command\r\n");
}

void cmd_set_2bank_mode() {
    int choice = read_choice_argument("Two-bank on or off? ", "on", "off on");
    switch (choice) {
    case CONSOLE_EOF:
        return;
    case 1:
        machine.apt_offset = 0;
        image_state.two_bank_mode = 0;
        return;
    case 2:
        break;
    case -2:
        std::fprintf(out(), "Please be more precise\r\n");
        return;
    default:
        std::fprintf(out(), "Please enter on or off\r\n");
        return;
    }
    uint32_t page_table = 0;
    int bad_char = 0;
    int result = read_octal_argument(&page_table, machine.P, "Page table: ", &bad_char);
    if (result == CONSOLE_EOF) return;
    if (result < 0) {
        report_bad_octal(bad_char);
        return;
    }
    if (page_table < 1 || page_table > 3) {
        std::fprintf(out(), "Page table must be >0 and <4!\r\n");
        return;
    }
    image_state.two_bank_mode = 1;
    std::fprintf(out(), "Lower data address = %o, upper = %o\r\n", machine.two_bank_lower,
                 machine.two_bank_upper);
    machine.apt_offset = page_table * BANK_WORDS;
    if (page_table != 2) std::fprintf(out(), "Warning: You activated APT for RT-programs\r\n");
    std::fprintf(out(), "NOTE: Status register bit 0 not changed by this command\r\n");
}

void cmd_set_active_level() {
    uint32_t level = 0;
    int bad_char = 0;
    int result = read_decimal_argument(&level, 0, "Set active level to: ", &bad_char);
    if (result == CONSOLE_EOF) return;
    if (result < 0) {
        std::fprintf(out(), "Illegal char. number: %c\r\n", bad_char);
        return;
    }
    if (level > 15) {
        std::fprintf(out(), "Illegal interrupt level\r\n");
        return;
    }
    machine.current_level = level;
    machine.PID = 1u << level;
    machine.PIE = 1u << level;
    machine.interrupt_on = INTERRUPT_ON;
    machine.STS = (machine.STS & 070377) | (level << 8) | 0100000;
    machine.level_preset = 1;
    std::fprintf(out(), "PIE is set to %o and PID to %o , Interrupt system turned on\r\n",
                 machine.PIE, machine.PID);
}

// ---- the machine variant ----

static const char *operating_system_text(uint32_t system) {
    switch (system) {
    case 1:
        return "  SINTRAN III VSE";
    case 2:
        return "  SINTRAN III VSE-500";
    case 3:
        return "  SINTRAN III RTP";
    case 4:
        return "  SINTRAN III VSX";
    case 5:
        return "  SINTRAN III VSX-500";
    default:
        return "";
    }
}

void print_sintran_info() {
    FILE *o = out();
    uint32_t cpu = system_info_word(1);
    uint32_t system = system_info_word(4);
    std::fprintf(o, "\r\nSystem number (CPU#) : %d", static_cast<int>(system_info_word(0)));
    std::fprintf(o, "\r\nCPU type             : %d", static_cast<int>(cpu >> 8));
    std::fprintf(o, "%s", cpu_type_text(cpu >> 8));
    std::fprintf(o, "\r\nInstruction set      : %d", static_cast<int>(cpu & 0377));
    std::fprintf(o, "%s", instruction_set_text(cpu & 0377));
    std::fprintf(o, "\r\nMicroprogram version : %d", static_cast<int>(system_info_word(2)));
    std::fprintf(o, "\r\nSystem type          : %d", static_cast<int>(system_info_word(3)));
    std::fprintf(o, "\r\nOperating system     : %d", static_cast<int>(system >> 8));
    std::fprintf(o, "%s", operating_system_text(system >> 8));
    // The version is a 7-bit character.
    std::fprintf(o, "\r\nOperating system vers: %c", static_cast<int>(system & 0177));
    std::fprintf(o, "\r\nRevision level       : %d", static_cast<int>(system_info_word(6)));
    std::fprintf(o, "\r\nSys.gen time         : %02d:%02d %02d/%02d-%d ",
                 static_cast<int>(system_info_word(8)), static_cast<int>(system_info_word(7)),
                 static_cast<int>(system_info_word(9)), static_cast<int>(system_info_word(10)),
                 static_cast<int>(system_info_word(11)));
    std::fprintf(o, "\r\n");
}

void cmd_sintran_info() {
    print_sintran_info();
}

void cmd_cpu_type() {
    uint32_t cpu_type = 0, instruction_set = 0;
    int bad_char = 0;
    int result = read_decimal_argument(&cpu_type, 5, "CPU type number: ", &bad_char);
    if (result == CONSOLE_EOF) return;
    if (result < 0) {
        std::fprintf(out(), "Illegal char. number: %c\r\n", bad_char);
        return;
    }
    result = read_decimal_argument(&instruction_set, 3, "Instruction set number: ", &bad_char);
    if (result == CONSOLE_EOF) return;
    if (result < 0) {
        std::fprintf(out(), "Illegal char. number: %c\r\n", bad_char);
        return;
    }
    machine.cpu_type = cpu_type & 0377;
    machine.instruction_set = instruction_set & 0377;
    print_sintran_info();
}
