#include "cpu/levels_io.h"

#include "console/terminal.h"
#include "cpu/cycle.h"
#include "cpu/machine.h"
#include "cpu/run_outcome.h"
#include "host/host.h"
#include "monitor/monitor.h"
#include "shell/debug_aids.h"
#include "shell/settings.h"
#include "shell/shell.h"

#include <cstdio>

BreakpointService breakpoint_service = {NO_BREAKPOINT_HANDLER, 0};

bool (*wait_breakpoint_check)() = nullptr;

void reset_breakpoint_service() {
    breakpoint_service.handler_address = NO_BREAKPOINT_HANDLER;
    breakpoint_service.save_block = 0;
}

namespace {

// Debug levels that switch on the diagnostics of this group.
constexpr uint32_t DEBUG_PRIVILEGED = 0444;
constexpr uint32_t DEBUG_TERMINAL_IOX = 0100;
constexpr uint32_t DEBUG_BREAKPOINT_SERVICE = 0144;

constexpr uint32_t LEVEL_FIELD = 07400;

inline bool debugging(uint32_t level) {
    return settings.debug_level == level;
}
inline bool privileged_debug() {
    return debugging(DEBUG_PRIVILEGED);
}

inline void advance(uint32_t words) {
    machine.P = (machine.P + words) & WORD_MASK;
}

// Register names as the IRW and IRR diagnostics print them.
const char *const block_register_names[8] = {"STS",  "DREG", "PREG", "BREG",
                                             "LREG", "AREG", "TREG", "XREG"};

// ---- TRA, TRR, MCL, MST (slot 320) ----

void transfer_to_a(uint32_t word, uint32_t reg) {
    if (privileged_debug())
        std::printf("\nPrivileged instruction TRA %o @ %o, reg=%o", word, machine.P, reg);
    const char *name = nullptr;
    switch (reg) {
    case 0:
        machine.A = machine.STS & WORD_MASK;
        name = "STS";
        break;
    case 3:
        machine.A = machine.PGST & WORD_MASK;
        name = "PGST";
        break;
    case 4:
        machine.A = ((machine.previous_level & 017) << 3) | 0153602;
        name = "PVL";
        break;
    case 5:
        machine.A = machine.IIC & 017;
        machine.IIC = 0;
        name = "IIC";
        break;
    case 6:
        machine.A = machine.PID & WORD_MASK;
        name = "PID";
        break;
    case 7:
        machine.A = machine.PIE & WORD_MASK;
        name = "PIE";
        break;
    default:
        break;
    }
    if (name && privileged_debug()) std::printf("\n -AREG set to %s, value %o", name, machine.A);
    advance(1);
}

void transfer_from_a(uint32_t word, uint32_t reg) {
    bool debug = privileged_debug();
    if (debug) std::printf("\nPrivileged instruction TRR %o @ %o , reg=%o", word, machine.P, reg);
    uint32_t a = machine.A & WORD_MASK;
    switch (reg) {
    case 0:
        // The level field always names the current level, whatever A holds there.
        machine.STS = compose_sts(machine.current_level, 0) | (a & ~LEVEL_FIELD);
        if (debug) std::printf("\n -STS set to %o", machine.STS);
        break;
    case 3: {
        uint32_t level = (a >> 3) & 017;
        uint32_t pt = (a >> 9) & 3;
        uint32_t apt = (a >> 7) & 3;
        uint32_t ring = a & 3;
        machine.pcr[level] = pt * 01000 + apt * 0200 + ring;
        if (level == machine.current_level) machine.current_pcr = machine.pcr[level];
        if (debug)
            std::printf("\n -PCR for level %d set to ring=%d, PT=%d, APT=%d",
                        static_cast<int>(level), static_cast<int>(ring), static_cast<int>(pt),
                        static_cast<int>(apt));
        break;
    }
    case 5:
        machine.IIE = a;
        if (debug) std::printf("\n -IIE set to %o", a);
        break;
    case 6:
        machine.PID = a;
        if (debug) std::printf("\n -PID set to %o, check if need to change level!", a);
        break;
    case 7:
        machine.PIE = a;
        if (debug) std::printf("\n -PIE set to %o, check if need to change level!", a);
        break;
    default:
        break;
    }
    advance(1);
}

void clear_bits(uint32_t word, uint32_t reg) {
    bool debug = privileged_debug();
    uint32_t a = machine.A & WORD_MASK;
    if (debug)
        std::printf("\nMCL %o AREG=%o @ %o ACTL=%d", word, a, machine.P,
                    static_cast<int>(machine.current_level));
    switch (reg) {
    case 0:
        machine.level_blocks[machine.current_level].r[R_STS] &= ~a;
        break;
    case 6:
        machine.PID &= ~a;
        if (debug) std::printf(" PID now %o ", machine.PID);
        break;
    case 7:
        machine.PIE &= ~a;
        if (debug) std::printf(" PIE now %o ", machine.PIE);
        break;
    default:
        break;
    }
    advance(1);
}

// After PID or PIE gained bits: with the interrupt system on, the CPU goes to
// the highest enabled requesting level. Returns true when the level changed.
bool switch_to_requested_level(bool pid_changed) {
    uint32_t requests = machine.PID & machine.PIE;
    if (!machine.interrupt_on || requests == 0) return false;
    uint32_t target = highest_level(requests);
    if (target == machine.current_level) return false;
    if (privileged_debug()) {
        if (pid_changed)
            std::printf("\n -MST PID Change level from %d to %d @%o",
                        static_cast<int>(machine.current_level), static_cast<int>(target),
                        machine.P);
        else
            std::printf("\n -MST PIE Change level from %d to %d @%o PIE=%o PID=%o",
                        static_cast<int>(machine.current_level), static_cast<int>(target),
                        machine.P, machine.PIE, machine.PID);
    }
    change_level(target);
    return true;
}

void set_bits(uint32_t word, uint32_t reg) {
    bool debug = privileged_debug();
    uint32_t a = machine.A & WORD_MASK;
    if (debug)
        std::printf("\nMST %o AREG=%o @ %o ACTL=%d", word, a, machine.P,
                    static_cast<int>(machine.current_level));
    bool changed = false;
    switch (reg) {
    case 0:
        machine.level_blocks[machine.current_level].r[R_STS] |= a;
        break;
    case 5:
        machine.IIC = a;
        break;
    case 6:
        if (debug)
            std::printf("\n -MST PID now=%o to be %o (PIE=%o, INST=%d)", machine.PID,
                        machine.PID | a, machine.PIE, static_cast<int>(machine.interrupt_on));
        machine.PID |= a;
        changed = switch_to_requested_level(true);
        break;
    case 7:
        if (debug)
            std::printf("\n -MST PIE  now=%o to be=%o (PID=%o)", machine.PIE, machine.PIE | a,
                        machine.PID);
        machine.PIE |= a;
        changed = switch_to_requested_level(false);
        break;
    default:
        break;
    }
    if (!changed) advance(1);
}

// ---- IOT (slots 340, 341, 343-347): no device answers ----

template <uint32_t FUNCTION> void iot_instruction() {
    uint32_t word = machine.current_instruction;
    std::printf("\nIOT");
    if constexpr (FUNCTION == 0) {
        std::printf(" SNI");
    } else {
        if constexpr ((FUNCTION & 1) != 0) std::printf(" ACT");
        if constexpr ((FUNCTION & 2) != 0) std::printf(" SKA");
        if constexpr ((FUNCTION & 4) != 0) std::printf(" PIN");
    }
    std::printf(" dev %o @ %o", word & 0377, machine.P);
    constexpr bool skips = FUNCTION == 0 || (FUNCTION & 2) != 0;
    advance(skips ? 2 : 1);
}

// ---- IOTMON breakpoint service (codes 45, 46, 47) ----

constexpr int SAVE_P = 0, SAVE_X = 1, SAVE_T = 2, SAVE_A = 3, SAVE_D = 4, SAVE_L = 5, SAVE_STS = 6,
              SAVE_B = 7;

bool breakpoint_handler_defined() {
    return breakpoint_service.handler_address <= WORD_MASK;
}

void define_breakpoint_handler() {
    bool debug = debugging(DEBUG_BREAKPOINT_SERVICE);
    if (debug) {
        std::printf("\nDefine BP(45) called at %o, A=%o X=%o T=%o\n", machine.P, machine.A,
                    machine.X, machine.T);
        std::printf("Setting handler address to: %o, reg.block: %o", machine.X, machine.T);
    }
    breakpoint_service.handler_address = machine.X & WORD_MASK;
    breakpoint_service.save_block = machine.T & WORD_MASK;
    machine.A = 0;
    advance(2);
}

void enter_breakpoint_handler() {
    bool debug = debugging(DEBUG_BREAKPOINT_SERVICE);
    if (debug) {
        std::printf("\nGet BP(46) info @ %o, A=%o X=%o T=%o\n", machine.P, machine.A, machine.X,
                    machine.T);
        std::printf("Check if BP defined @ %o, \n", machine.P);
    }
    if (!breakpoint_handler_defined()) {
        std::printf("\nBreakpoint (MON 46) not defined at %o, continue execution\n", machine.P);
        advance(1);
        return;
    }
    if (debug) std::printf(" handler address is %o\n", breakpoint_service.handler_address);
    uint32_t block = breakpoint_service.save_block;
    write_word(0, block + SAVE_P, machine.P);
    write_word(0, block + SAVE_X, machine.X);
    write_word(0, block + SAVE_T, machine.T);
    write_word(0, block + SAVE_A, machine.A);
    write_word(0, block + SAVE_D, machine.D);
    write_word(0, block + SAVE_L, machine.L);
    write_word(0, block + SAVE_STS, machine.STS);
    write_word(0, block + SAVE_B, machine.B);
    machine.P = breakpoint_service.handler_address;
}

void leave_breakpoint_handler() {
    bool debug = debugging(DEBUG_BREAKPOINT_SERVICE);
    uint32_t block = breakpoint_service.save_block;
    if (debug) {
        std::printf("\nSet BP(47) @ %o, A=%o X=%o T=%o\n", machine.P, machine.A, machine.X,
                    machine.T);
        std::printf("Reg.block @ %o", block);
        std::printf(" contains ");
        std::printf("P=%o X=%o T=%o A=%o D=%o L=%o STS=%o B=%o - copied to user program now\n",
                    read_word(0, block + SAVE_P), read_word(0, block + SAVE_X),
                    read_word(0, block + SAVE_T), read_word(0, block + SAVE_A),
                    read_word(0, block + SAVE_D), read_word(0, block + SAVE_L),
                    read_word(0, block + SAVE_STS), read_word(0, block + SAVE_B));
    }
    machine.P = read_word(0, block + SAVE_P);
    machine.X = read_word(0, block + SAVE_X);
    machine.T = read_word(0, block + SAVE_T);
    machine.A = read_word(0, block + SAVE_A);
    machine.D = read_word(0, block + SAVE_D);
    machine.L = read_word(0, block + SAVE_L);
    // Leaving the handler changes no level: the level field stays the current one.
    machine.STS = (read_word(0, block + SAVE_STS) & ~LEVEL_FIELD) | (machine.current_level << 8);
    machine.B = read_word(0, block + SAVE_B);
    if (debug) std::printf("Restart user prog @%o, instr=%o\n", machine.P, read_normal(machine.P));
}

// IOTMON 43: the sub-function in T decides whether the close call is made.
void iotmon_close_file() {
    uint32_t t = machine.T & WORD_MASK;
    if (t == 0177777 || (t >= 0100 && t <= 0110)) {
        call_monitor(043);
    } else if (t == 1) {
        advance(2);
    } else {
        machine.A = 0132;
        advance(1);
    }
}

// ---- IOX terminal 1 ----

// One key for IOX 300, read as the terminal input calls read it: through the
// virtual keyboard when it is in use. Returns -1 when the input has ended or a
// ^C cut the read short.
int read_terminal_key() {
    if (!settings.use_virtual_keyboard) return read_raw_key();
    for (;;) {
        int column = 0, row = 0;
        int event = console_wait_event(&column, &row, 1);
        if (event == 0) return -1;
        if (event == 1) return read_raw_key();
        if (event == 3) {
            int key = read_raw_key();
            if (key < 0) return -1;
            // Bytes left in the ring by earlier terminal input must not take
            // the place of the key's own first byte; the rest of a multi-byte
            // definition is dropped, as at the single-byte terminal input.
            clear_inbytebuff();
            int entry = gen_virt(3, key, 0, 0) > 0 ? inbyte_get() : -1;
            clear_inbytebuff();
            // A key without a definition arrives as typed.
            return entry >= 0 ? entry & 0377 : key;
        }
    }
}

void iox_read_key() {
    set_stdin_binary();
    int key = read_terminal_key();
    set_stdin_text();
    if (key < 0) {
        stop_on_lost_input();
        return;
    }
    machine.A = static_cast<uint32_t>(key) & 0377;
    terminal.last_typed_byte = key & 0377;
    // The vertical bar is the operator's way to stop a program that polls the
    // terminal; console input is already back in text mode.
    if (machine.A == 0174) cpu_running = 0;
    advance(1);
}

} // namespace

uint32_t highest_level(uint32_t requests) {
    requests &= 0177777;
    if (requests == 0) return 0;
    return 31u - static_cast<uint32_t>(__builtin_clz(requests));
}

void change_level(uint32_t new_level) {
    new_level &= 017;
    uint32_t old_level = machine.current_level & 017;
    machine.level_changed = 1;
    machine.previous_level = old_level;
    machine.current_level = new_level;

    RegisterBlock &old_block = machine.level_blocks[old_level];
    for (int reg : {R_A, R_D, R_T, R_X, R_B, R_L})
        old_block.r[reg] = machine.r[reg] & WORD_MASK;
    old_block.r[R_P] = (machine.P + 1) & WORD_MASK;
    old_block.r[R_STS] = machine.STS & WORD_MASK;

    const RegisterBlock &new_block = machine.level_blocks[new_level];
    for (int reg : {R_A, R_D, R_T, R_X, R_B, R_L, R_P})
        machine.r[reg] = new_block.r[reg] & WORD_MASK;
    // The saved status keeps its flags; the level field is the new level's.
    machine.STS = compose_sts(new_level, 0) | (new_block.r[R_STS] & WORD_MASK & ~LEVEL_FIELD);
    machine.current_pcr = machine.pcr[new_level];
}

void transfer_instruction() {
    uint32_t word = machine.current_instruction;
    uint32_t reg = word & 017;
    switch ((word >> 6) & 3) {
    case 0:
        transfer_to_a(word, reg);
        break;
    case 1:
        transfer_from_a(word, reg);
        break;
    case 2:
        clear_bits(word, reg);
        break;
    default:
        set_bits(word, reg);
        break;
    }
}

void system_control_instruction() {
    uint32_t word = machine.current_instruction;
    bool debug = privileged_debug();
    switch (word) {
    case 0150400:
        print_stop_message("\nPrivileged instruction OPCOM @ %o", machine.P);
        cpu_running = 0;
        return;
    case 0150401:
        std::printf("\nPrivileged instruction IOF @ %o", machine.P);
        machine.STS &= ~INTERRUPT_ON;
        machine.interrupt_on = 0;
        break;
    case 0150402:
        if (debug) std::printf("\nPrivileged instruction ION @ %o", machine.P);
        machine.STS |= INTERRUPT_ON;
        machine.interrupt_on = INTERRUPT_ON;
        break;
    case 0150404:
        if (debug) std::printf("\nPrivileged instruction POF @ %o", machine.P);
        machine.PGST = 0;
        break;
    case 0150405:
        if (debug) std::printf("\nPrivileged instruction PIOF @ %o", machine.P);
        machine.STS &= ~INTERRUPT_ON;
        machine.interrupt_on = 0;
        machine.PGST = 0;
        break;
    case 0150406:
        if (debug) std::printf("\nPrivileged instruction SEX @ %o", machine.P);
        machine.STS |= STS_EXTENDED;
        break;
    case 0150407:
        std::printf("\nPrivileged instruction REX @ %o", machine.P);
        machine.STS &= ~STS_EXTENDED;
        break;
    case 0150410:
        if (debug) std::printf("\nPrivileged instruction PON @ %o", machine.P);
        machine.PGST = 1;
        break;
    case 0150412:
        if (debug) std::printf("\nPrivileged instruction PION @ %o", machine.P);
        machine.STS |= INTERRUPT_ON;
        machine.interrupt_on = INTERRUPT_ON;
        machine.PGST = 1;
        break;
    case 0150415:
        std::printf("\nIOXT instruction, ignore and continue\n");
        break;
    case 0150416:
        std::printf("\nPrivileged instruction EXAM @ %o", machine.P);
        break;
    case 0150417:
        std::printf("\nPrivileged instruction DEPO @ %o", machine.P);
        break;
    default:
        print_stop_message("Illegal instruction @ %o : %o", machine.P, word);
        cpu_running = 0;
        break;
    }
    advance(1);
}

void wait_instruction() {
    if (wait_breakpoint_check && wait_breakpoint_check()) return;
    std::fflush(stdout);
    bool debug = privileged_debug();
    if (debug)
        std::printf("\nWAIT at %o ACTL=%d", machine.P, static_cast<int>(machine.current_level));
    if (!machine.interrupt_on) {
        advance(1);
        return;
    }
    uint32_t level = machine.current_level & 017;
    uint32_t mask = 1u << level;
    uint32_t pid_before = machine.PID;
    machine.PID &= ~mask;
    if (debug) {
        std::printf("\n -current level is %d, PID is %o, PIE is %o", static_cast<int>(level),
                    pid_before, machine.PIE);
        std::printf("\n -Clear level mask %o oct , PID was %o , PID now=%o\n", mask, pid_before,
                    machine.PID);
    }
    if (level == 0) {
        advance(1);
        return;
    }
    uint32_t requests = machine.PID & machine.PIE;
    uint32_t target = highest_level(requests);
    if (debug) {
        if (requests)
            std::printf("\nWAIT change level from %d to %d", static_cast<int>(level),
                        static_cast<int>(target));
        else
            std::printf(" -WAIT change level from %d to %d", static_cast<int>(level),
                        static_cast<int>(target));
    }
    change_level(target);
    if (debug) std::printf(" - PREG set to %o", machine.P);
}

void interlevel_register_instruction() {
    uint32_t word = machine.current_instruction;
    uint32_t level = (word >> 3) & 017;
    uint32_t reg = word & 7;
    bool debug = privileged_debug();
    RegisterBlock &block = machine.level_blocks[level];
    if ((word & 0200) == 0) {
        if (debug)
            std::printf("\n{%o}Privileged instruction IRW %o @ %o", machine.current_level, word,
                        machine.P);
        uint32_t a = machine.A & WORD_MASK;
        if (reg == R_STS)
            block.r[R_STS] = (block.r[R_STS] & 0177400) | (a & 0377);
        else
            block.r[reg] = a;
        if (debug)
            std::printf("\n -IRW: %s on level %d set to %o", block_register_names[reg],
                        static_cast<int>(level), block.r[reg]);
    } else {
        if (debug) {
            std::printf("\n{%d}Priv. instr. IRR %o @ %o, read from level %d to AREG on level %d",
                        static_cast<int>(machine.current_level), word, machine.P,
                        static_cast<int>(level), static_cast<int>(machine.current_level));
            std::printf("\n -IRR: Read %s", block_register_names[reg]);
        }
        uint32_t value = block.r[reg] & WORD_MASK;
        if (reg == R_STS) value &= 0377;
        machine.A = value;
        machine.level_blocks[machine.current_level].r[R_A] = value;
        if (debug) std::printf(" , AREG is now %o", value);
    }
    advance(1);
}

void iotmon_instruction() {
    uint32_t code = machine.current_instruction & 0377;
    if (debug_state.trace_flags & TRACE_MONITOR_CALLS)
        std::printf("\nIOTMON %4o at %7o, A=%7o T=%7o X=%7o D=%7o", code, machine.P, machine.A,
                    machine.T, machine.X, machine.D);
    switch (code) {
    case 03:
    case 04:
    case 05:
    case 06:
    case 07:
    case 015:
    case 020:
    case 042:
    case 064:
    case 065:
        call_monitor(code);
        break;
    case 043:
        iotmon_close_file();
        break;
    case 045:
        define_breakpoint_handler();
        break;
    case 046:
        enter_breakpoint_handler();
        break;
    case 047:
        leave_breakpoint_handler();
        break;
    default:
        std::printf("\nUnsupported IOTMON code %o at %o\n", code, machine.P);
        advance(1);
        break;
    }
}

void iox_instruction() {
    uint32_t reg = machine.current_instruction & 0377;
    if (reg < 0300 || reg > 0307) {
        illegal_instruction();
        return;
    }
    if (debugging(DEBUG_TERMINAL_IOX)) std::printf("\nTerminal 1 IOX %o", reg);
    switch (reg) {
    case 0300:
        iox_read_key();
        return;
    case 0302:
        machine.A = console_input_ready() ? 010 : 0;
        // No key can come any more: a program polling for one would poll
        // for ever.
        if (machine.A == 0 && host_input_ended()) {
            stop_on_lost_input();
            return;
        }
        break;
    case 0304:
        machine.A = 0;
        break;
    case 0305:
        console_put_byte(static_cast<int>(machine.A & 0177));
        console_flush();
        break;
    case 0306:
        machine.A = 010;
        break;
    default:
        break;
    }
    advance(1);
}

void install_level_and_io_instructions() {
    instruction_table[0320] = transfer_instruction;
    instruction_table[0321] = system_control_instruction;
    instruction_table[0322] = wait_instruction;
    instruction_table[0327] = interlevel_register_instruction;
    instruction_table[0340] = iot_instruction<0>;
    instruction_table[0341] = iot_instruction<1>;
    instruction_table[0342] = iotmon_instruction;
    instruction_table[0343] = iot_instruction<3>;
    instruction_table[0344] = iot_instruction<4>;
    instruction_table[0345] = iot_instruction<5>;
    instruction_table[0346] = iot_instruction<6>;
    instruction_table[0347] = iot_instruction<7>;
    instruction_table[0350] = iox_instruction;
}
