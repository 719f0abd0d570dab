// The instruction cycle runs the CPU's own instructions in line and the rest
// through the instruction table, and hands over to a plain table-driven
// cycle while a debugging aid is on. These tests run the same programs both
// ways and compare the machines, and check the hand-overs, the instruction
// count and the stop after the current instruction.
#include "cpu/cycle.h"
#include "cpu/floating_point.h"
#include "cpu/machine.h"
#include "debug/debug_aids.h"
#include "filesystem/open_files.h"
#include "operator/operator_channel.h"
#include "settings/settings.h"
#include "shell/shell.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

namespace {

// Sends standard output to /dev/null while the instructions' diagnostics run.
class QuietOutput {
  public:
    QuietOutput() {
        std::fflush(stdout);
        saved_ = dup(1);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        close(null);
    }
    ~QuietOutput() {
        std::fflush(stdout);
        dup2(saved_, 1);
        close(saved_);
    }
    QuietOutput(const QuietOutput &) = delete;
    QuietOutput &operator=(const QuietOutput &) = delete;

  private:
    int saved_;
};

// Stops the run from a timer signal, as ^C does from SIGINT.
volatile sig_atomic_t timer_stopped_run = 0;
void stop_on_timer(int) {
    cpu_running = 0;
    halt_instruction_dispatch();
    timer_stopped_run = 1;
}

class StopTimer {
  public:
    explicit StopTimer(int milliseconds) {
        timer_stopped_run = 0;
        struct sigaction action {};
        action.sa_handler = stop_on_timer;
        sigemptyset(&action.sa_mask);
        sigaction(SIGALRM, &action, &saved_);
        itimerval timer{};
        timer.it_value.tv_sec = milliseconds / 1000;
        timer.it_value.tv_usec = (milliseconds % 1000) * 1000;
        setitimer(ITIMER_REAL, &timer, nullptr);
    }
    ~StopTimer() {
        itimerval off{};
        setitimer(ITIMER_REAL, &off, nullptr);
        sigaction(SIGALRM, &saved_, nullptr);
    }
    StopTimer(const StopTimer &) = delete;
    StopTimer &operator=(const StopTimer &) = delete;

  private:
    struct sigaction saved_ {};
};

// The trace hook of the reference runs: it counts the instructions it sees
// and stops the run after `hook_limit` of them.
uint64_t hook_calls = 0;
uint64_t hook_limit = 0;
void counting_hook() {
    if (++hook_calls >= hook_limit) cpu_running = 0;
}

// Everything a run may change, for comparing two runs.
struct Snapshot {
    MachineState machine;
    std::vector<uint32_t> memory;
    uint32_t float_work;
};

Snapshot take_snapshot() {
    return {machine, std::vector<uint32_t>(memory_image, memory_image + MEMORY_WORDS),
            float_work_word};
}

void restore(const Snapshot &s) {
    machine = s.machine;
    std::copy(s.memory.begin(), s.memory.end(), memory_image);
    float_work_word = s.float_work;
}

// The cells that differ from `base`, as pairs of cell index and value.
std::vector<uint32_t> changed_cells(const std::vector<uint32_t> &base) {
    std::vector<uint32_t> changes;
    constexpr uint32_t BLOCK = 1024;
    for (uint32_t start = 0; start < MEMORY_WORDS; start += BLOCK) {
        if (std::memcmp(&memory_image[start], &base[start], BLOCK * sizeof(uint32_t)) == 0)
            continue;
        for (uint32_t cell = start; cell < start + BLOCK; ++cell)
            if (memory_image[cell] != base[cell]) {
                changes.push_back(cell);
                changes.push_back(memory_image[cell]);
            }
    }
    return changes;
}

void undo_changes(const std::vector<uint32_t> &base, const std::vector<uint32_t> &changes) {
    for (size_t i = 0; i < changes.size(); i += 2)
        memory_image[changes[i]] = base[changes[i]];
}

// The first difference between two machines, or an empty text.
std::string difference(const Snapshot &a, const Snapshot &b) {
    char text[200];
    for (int r = 0; r < 8; ++r)
        if (a.machine.r[r] != b.machine.r[r]) {
            std::snprintf(text, sizeof text, "register %d: %o and %o", r, a.machine.r[r],
                          b.machine.r[r]);
            return text;
        }
    struct Field {
        const char *name;
        uint64_t a, b;
    };
    const MachineState &x = a.machine, &y = b.machine;
    const Field fields[] = {
        {"instruction_count", x.instruction_count, y.instruction_count},
        {"current_instruction", x.current_instruction, y.current_instruction},
        {"instruction_address", x.instruction_address, y.instruction_address},
        {"current_level", x.current_level, y.current_level},
        {"previous_level", x.previous_level, y.previous_level},
        {"PID", x.PID, y.PID},
        {"PIE", x.PIE, y.PIE},
        {"interrupt_on", x.interrupt_on, y.interrupt_on},
        {"IIE", x.IIE, y.IIE},
        {"IIC", x.IIC, y.IIC},
        {"current_pcr", x.current_pcr, y.current_pcr},
        {"apt_offset", x.apt_offset, y.apt_offset},
        {"data_bank_mask", x.data_bank_mask, y.data_bank_mask},
        {"float_work_word", a.float_work, b.float_work},
    };
    for (const Field &f : fields)
        if (f.a != f.b) {
            std::snprintf(text, sizeof text, "%s: %llo and %llo", f.name,
                          static_cast<unsigned long long>(f.a),
                          static_cast<unsigned long long>(f.b));
            return text;
        }
    for (int level = 0; level < 16; ++level)
        for (int r = 0; r < 8; ++r)
            if (x.level_blocks[level].r[r] != y.level_blocks[level].r[r]) {
                std::snprintf(text, sizeof text, "level %d register %d", level, r);
                return text;
            }
    if (a.memory.size() != b.memory.size()) return "the memory";
    for (size_t i = 0; i < a.memory.size(); ++i)
        if (a.memory[i] != b.memory[i]) {
            std::snprintf(text, sizeof text, "memory word %zu: %o and %o", i, a.memory[i],
                          b.memory[i]);
            return text;
        }
    return "";
}

// Slots whose instructions talk to the terminal or the monitor: left out of
// the random programs.
bool talks_to_the_outside(uint32_t slot) {
    return slot == 0321 || slot == 0326 || (slot >= 0340 && slot <= 0357);
}

// Slots that stop the program (illegal words, WAIT): kept rare in the random
// programs, so that they run for a while.
bool stops(uint32_t slot) {
    return slot == 0317 || slot == 0325 || slot == 0322;
}

class Cycle : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_machine();
        reset_settings();
        reset_debug_state();
        reset_open_file_table();
        install_instruction_set();
        shell.program_command_pending = 0;
        cpu_running = 0;
    }
    void TearDown() override {
        cpu_running = 0;
        reset_machine();
        reset_settings();
        reset_debug_state();
        install_instruction_set();
    }

    // A machine full of random words and registers; the levels and the
    // alternative page table are kept by the start of the cycle.
    static void random_machine(std::mt19937 &random) {
        for (uint32_t cell = 0; cell < MEMORY_WORDS; ++cell) {
            uint32_t word;
            do
                word = random() & WORD_MASK;
            while (talks_to_the_outside(word >> 8) || (stops(word >> 8) && random() % 64 != 0));
            // Most op14nn words are made compare-and-skips, the rest may stop.
            if ((word >> 11) == 030 && random() % 16 != 0) word &= ~0300u;
            memory_image[cell] = word;
        }
        for (int r = 1; r < 8; ++r)
            machine.r[r] = random() & WORD_MASK;
        machine.STS = 0110000 | (random() & 0377);
        machine.apt_offset = (random() & 3) << 16;
        machine.apt_armed = 1;
        machine.level_preset = 1;
        settings.skp_cld_mask = (random() & 1) ? 0300 : 0200;
        machine.float_format = (random() & 3) == 0 ? 1 : 0;
    }

    // Runs the cycle with a debugging aid on, so that every instruction goes
    // through the instruction table; stops after `limit` instructions.
    static void run_through_table(uint64_t limit) {
        instruction_table[TRACE_HOOK_SLOT] = counting_hook;
        debug_state.trace_flags = TRACE_HISTOGRAM;
        hook_calls = 0;
        hook_limit = limit;
        cpu_running = 1;
        run_cpu();
        debug_state.trace_flags = 0;
        install_instruction_set();
    }
};

TEST_F(Cycle, RandomProgramsRunAsThroughTheTable) {
    QuietOutput quiet;
    int compared = 0;
    for (unsigned seed = 1; compared < 40 && seed < 400; ++seed) {
        std::mt19937 random(seed);
        random_machine(random);
        Snapshot start = take_snapshot();
        run_through_table(200000);
        if (hook_calls >= hook_limit) continue; // a program that does not stop
        Snapshot reference = take_snapshot();
        restore(start);
        {
            StopTimer watchdog(20000);
            cpu_running = 1;
            run_cpu();
            ASSERT_EQ(timer_stopped_run, 0) << "seed " << seed << " ran on";
        }
        Snapshot in_line = take_snapshot();
        ASSERT_EQ(difference(reference, in_line), "") << "seed " << seed;
        ++compared;
    }
    EXPECT_EQ(compared, 40);
}

// Every slot the cycle runs in line, with words of all its forms: the word
// at a random address of page table 0, the registers, STS, the alternative
// page table and the SKP setting random, every other word of page table 0 an
// illegal word, so that the run stops after the next instruction.
TEST_F(Cycle, EveryFormRunsAsThroughTheTable) {
    std::mt19937 random(2024);
    constexpr uint32_t STOP = 0152400;
    for (uint32_t cell = 0; cell < BANK_WORDS; ++cell)
        memory_image[cell] = STOP | (random() & 0377);
    for (uint32_t cell = BANK_WORDS; cell < MEMORY_WORDS; ++cell)
        memory_image[cell] = random() & WORD_MASK;
    const std::vector<uint32_t> base(memory_image, memory_image + MEMORY_WORDS);
    for (uint32_t slot = 0; slot < 0400; ++slot) {
        if (talks_to_the_outside(slot)) continue;
        for (int form = 0; form < 24; ++form) {
            uint32_t word = (slot << 8) | (random() & 0377);
            uint32_t address = random() & WORD_MASK;
            for (int r = 1; r < 8; ++r)
                machine.r[r] = random() & WORD_MASK;
            machine.STS = 0110000 | (random() & 0377);
            machine.P = address;
            machine.apt_offset = (random() & 3) << 16;
            machine.apt_armed = 1;
            machine.level_preset = 1;
            settings.skp_cld_mask = (random() & 1) ? 0300 : 0200;
            machine.float_format = (random() & 3) == 0 ? 1 : 0;
            memory_image[address] = word;
            const MachineState before = machine;
            Snapshot reference, in_line;
            {
                QuietOutput quiet;
                run_through_table(10);
                reference = {machine, changed_cells(base), float_work_word};
                undo_changes(base, reference.memory);
                machine = before;
                if (hook_calls >= hook_limit) continue; // a jump to itself
                memory_image[address] = word;
                cpu_running = 1;
                run_cpu();
                in_line = {machine, changed_cells(base), float_work_word};
                undo_changes(base, in_line.memory);
            }
            ASSERT_EQ(difference(reference, in_line), "") << std::oct << "word " << word;
        }
    }
}

// Instructions that name P by its register number see the address of the
// word after them, in line as through the table.
TEST_F(Cycle, PAsARegisterIsTheFollowingAddress) {
    constexpr uint32_t RMPY_SA_DP = 0141200 | (R_A << 3) | R_P;
    constexpr uint32_t RDIV_SP = 0141600 | (R_P << 3);
    constexpr uint32_t COPY_SP_DX = 0146100 | (R_P << 3) | R_X;
    constexpr uint32_t SKP_DP_EQL_ST = 0140000 | (R_T << 3) | R_P;
    constexpr uint32_t MON_0 = 0153000;
    struct Case {
        uint32_t word;
        uint32_t a, d, t;
        uint32_t want_a, want_d, want_x, want_p;
    };
    const Case cases[] = {
        {RMPY_SA_DP, 3, 0, 0, 0, 03003, 0, 01001},    // A x 1001
        {RDIV_SP, 0, 02002, 0, 2, 0, 0, 01001},       // 2002 / 1001
        {COPY_SP_DX, 0, 0, 0, 0, 0, 01001, 01001},    // X = 1001
        {SKP_DP_EQL_ST, 0, 0, 01001, 0, 0, 0, 01002}, // 1001 = T: skip
    };
    for (const Case &test : cases) {
        for (bool in_line : {true, false}) {
            reset_machine();
            install_instruction_set();
            memory_image[01000] = test.word;
            memory_image[01001] = MON_0;
            memory_image[01002] = MON_0;
            machine.A = test.a;
            machine.D = test.d;
            machine.T = test.t;
            machine.P = 01000;
            if (!in_line) {
                instruction_table[TRACE_HOOK_SLOT] = counting_hook;
                debug_state.trace_flags = TRACE_HISTOGRAM;
                hook_calls = 0;
                hook_limit = 1;
            }
            cpu_running = 1;
            {
                QuietOutput quiet;
                run_cpu();
            }
            debug_state.trace_flags = 0;
            SCOPED_TRACE(testing::Message()
                         << std::oct << test.word << (in_line ? " in line" : ""));
            EXPECT_EQ(machine.A, test.want_a);
            EXPECT_EQ(machine.D, test.want_d);
            EXPECT_EQ(machine.X, test.want_x);
            EXPECT_EQ(machine.P, test.want_p);
        }
    }
}

// A bit instruction that sets or clears STS bit 0 moves the data references
// of the instructions after it to or from the alternative page table.
TEST_F(Cycle, TheDataBankFollowsStsBitZero) {
    constexpr uint32_t SET_PTM = 0174200, CLEAR_PTM = 0174000; // BSET ONE/ZRO SSPTM
    constexpr uint32_t LDA_B = 0044400, LDT_B = 0050400, MON_0 = 0153000;
    uint32_t program[] = {SET_PTM, LDA_B, CLEAR_PTM, LDT_B, MON_0};
    for (uint32_t i = 0; i < 5; ++i)
        memory_image[01000 + i] = program[i];
    machine.B = 02000;
    memory_image[02000] = 0111;
    memory_image[2 * BANK_WORDS + 02000] = 0222;
    machine.apt_offset = 2 * BANK_WORDS;
    machine.apt_armed = 1;
    machine.P = 01000;
    cpu_running = 1;
    run_cpu();
    EXPECT_EQ(machine.A, 0222u);
    EXPECT_EQ(machine.T, 0111u);
    EXPECT_EQ(machine.instruction_count, 5u);
}

// A loop that adds 1 to A and jumps back: stopped from outside, the machine
// is left after a whole instruction, whichever it was.
TEST_F(Cycle, StopsAfterTheCurrentInstruction) {
    constexpr uint32_t AAA_1 = 0172401, JMP_BACK = 0124377, SAA_0 = 0170400;
    memory_image[01000] = SAA_0;
    memory_image[01001] = AAA_1;
    memory_image[01002] = JMP_BACK;
    machine.P = 01000;
    {
        StopTimer timer(50);
        cpu_running = 1;
        run_cpu();
    }
    ASSERT_EQ(timer_stopped_run, 1);
    // SAA, then AAA and JMP again and again; A counts the AAAs in 16 bits.
    uint64_t count = machine.instruction_count;
    uint64_t additions = count / 2;
    if (count % 2 == 0)
        EXPECT_EQ(machine.P, 01002u) << count;
    else
        EXPECT_EQ(machine.P, 01001u) << count;
    EXPECT_EQ(machine.A, additions & WORD_MASK) << count;
    EXPECT_GT(count, 0u);
}

// A run stopped from outside leaves nothing behind that stops the next one:
// it runs to its end, every instruction counted.
TEST_F(Cycle, TheRunAfterAStoppedOneRunsToItsEnd) {
    constexpr uint32_t JMP_SELF = 0124000, SAA_0 = 0170400, AAA_1 = 0172401, MON_0 = 0153000;
    memory_image[01000] = JMP_SELF;
    machine.P = 01000;
    {
        StopTimer timer(30);
        cpu_running = 1;
        run_cpu();
    }
    ASSERT_EQ(timer_stopped_run, 1);
    uint32_t program[] = {SAA_0, AAA_1, AAA_1, AAA_1, MON_0};
    for (uint32_t i = 0; i < 5; ++i)
        memory_image[02000 + i] = program[i];
    machine.P = 02000;
    machine.instruction_count = 0;
    cpu_running = 1;
    {
        QuietOutput quiet;
        run_cpu();
    }
    EXPECT_EQ(machine.A, 3u);
    EXPECT_EQ(machine.instruction_count, 5u);
}

// P wraps from 177777 to 0 after a one-word instruction, a skip and a
// relative jump alike, in line as through the table.
TEST_F(Cycle, PWrapsAtTheTopOfTheAddressSpace) {
    constexpr uint32_t AAA_1 = 0172401, MON_0 = 0153000, JUMP_PLUS_2 = 0130002; // JAP *+2
    constexpr uint32_t SKP_ALWAYS = 0140000 | (R_A << 3) | R_A;               // SKP IF DA EQL SA
    struct Case {
        const char *name;
        uint32_t address;
        std::vector<uint32_t> words;
        uint32_t want_a; // before the AAA at address 0
    } cases[] = {
        {"one word", 0177777, {AAA_1}, 1},
        {"skip over the top", 0177776, {SKP_ALWAYS, AAA_1}, 0},
        {"jump over the top", 0177776, {JUMP_PLUS_2}, 0},
    };
    for (const Case &test : cases) {
        for (bool in_line : {true, false}) {
            reset_machine();
            install_instruction_set();
            for (std::size_t i = 0; i < test.words.size(); ++i)
                memory_image[(test.address + i) & WORD_MASK] = test.words[i];
            memory_image[0] = AAA_1;
            memory_image[1] = MON_0;
            memory_image[2] = MON_0;
            machine.P = test.address;
            if (!in_line) debug_state.trace_flags = TRACE_HISTOGRAM;
            cpu_running = 1;
            {
                QuietOutput quiet;
                run_cpu();
            }
            debug_state.trace_flags = 0;
            SCOPED_TRACE(testing::Message() << test.name << (in_line ? " in line" : ""));
            EXPECT_EQ(machine.A, test.want_a + 1);
            EXPECT_EQ(machine.P, 1u) << "stopped at the MON 0 after the AAA";
        }
    }
}

// The hook of the hand-over test: records what it saw.
struct HookRecord {
    uint32_t address, word;
    uint64_t count;
};
std::vector<HookRecord> hook_records;
void recording_hook() {
    hook_records.push_back(
        {machine.instruction_address, machine.current_instruction, machine.instruction_count});
    if (hook_records.size() == 3) debug_state.trace_flags = 0; // the aid goes off again
}

// Slot 317 (no instruction) stands for an instruction, run through the
// table, that switches a debugging aid on.
void switch_aid_on() {
    debug_state.trace_flags = TRACE_EXECUTION;
    machine.P += 1;
}

TEST_F(Cycle, AnAidSwitchedOnDuringTheRunGetsItsTurnAtOnce) {
    constexpr uint32_t SAA_1 = 0170401, AAA_1 = 0172401, AID_ON = 0147400, MON_0 = 0153000;
    uint32_t program[] = {SAA_1, AAA_1, AID_ON, AAA_1, AAA_1, AAA_1, AAA_1, MON_0};
    for (uint32_t i = 0; i < 8; ++i)
        memory_image[01000 + i] = program[i];
    instruction_table[0317] = switch_aid_on;
    instruction_table[TRACE_HOOK_SLOT] = recording_hook;
    hook_records.clear();
    machine.P = 01000;
    cpu_running = 1;
    {
        QuietOutput quiet;
        run_cpu();
    }
    // The aid's turn comes after the instruction that switched it on and
    // after each one up to the one after which it went off.
    ASSERT_EQ(hook_records.size(), 3u);
    EXPECT_EQ(hook_records[0].address, 01002u);
    EXPECT_EQ(hook_records[0].word, AID_ON);
    EXPECT_EQ(hook_records[0].count, 3u);
    EXPECT_EQ(hook_records[1].address, 01003u);
    EXPECT_EQ(hook_records[1].word, AAA_1);
    EXPECT_EQ(hook_records[1].count, 4u);
    EXPECT_EQ(hook_records[2].address, 01004u);
    EXPECT_EQ(hook_records[2].count, 5u);
    // The rest ran without it, counted.
    EXPECT_EQ(machine.A, 6u);
    EXPECT_EQ(machine.instruction_count, 8u);
    EXPECT_EQ(machine.P, 01007u);
}

// Slot 317 (no instruction) stands for an instruction, run through the
// table, that switches the float format to 48 bits, as the float command
// does.
void switch_to_48_bits() {
    machine.float_format = 1;
    instruction_dispatch_changed();
    machine.P += 1;
}

// The floating-point slots have a label for each float format: a format
// switched during the run holds for the next floating-point instruction in
// line.
TEST_F(Cycle, AFloatFormatSwitchedDuringTheRunHoldsAtOnce) {
    constexpr uint32_t FAD_P = 0100000, TO_48 = 0147400, MON_0 = 0153000;
    // FAD *+10 twice, the format switched between them.
    uint32_t program[] = {FAD_P | 010, TO_48, FAD_P | 010, MON_0};
    for (uint32_t i = 0; i < 4; ++i)
        memory_image[01000 + i] = program[i];
    const uint32_t one32 = double_to_nd32(1.0);
    memory_image[01010] = one32 >> 16; // 1.0 in 32 bits for the first FAD
    memory_image[01011] = one32 & WORD_MASK;
    const Nd48 one48 = double_to_nd48(1.0);
    memory_image[01012] = one48.t; // 1.0 in 48 bits for the second
    memory_image[01013] = one48.a;
    memory_image[01014] = one48.d;
    instruction_table[0317] = switch_to_48_bits;
    machine.P = 01000;
    cpu_running = 1;
    run_cpu();
    // 0 + 1.0 in 32 bits gives A:D of 1.0; read as 48 bits with T = 0 that
    // is a tiny number, so the 48-bit sum is 1.0.
    EXPECT_EQ(machine.float_format, 1u);
    EXPECT_EQ(nd48_to_double({machine.T, machine.A, machine.D}), 1.0);
    EXPECT_EQ(machine.instruction_count, 4u);
}

// EXR runs its instruction through the table; both count.
TEST_F(Cycle, ExecuteRegisterCountsTwo) {
    constexpr uint32_t EXR_ST = 0140600 | (R_T << 3), AAA_5 = 0172405, MON_0 = 0153000;
    machine.T = AAA_5;
    memory_image[01000] = EXR_ST;
    memory_image[01001] = EXR_ST;
    memory_image[01002] = MON_0;
    machine.P = 01000;
    cpu_running = 1;
    {
        QuietOutput quiet;
        run_cpu();
    }
    EXPECT_EQ(machine.A, 012u);
    EXPECT_EQ(machine.instruction_count, 5u) << "two EXRs, the two words they ran, MON 0";
}

} // namespace
