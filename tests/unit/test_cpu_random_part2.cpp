// Long streams of random words from the level, privileged, I/O, decimal,
// block-move and stack instructions, with random registers and memory made of
// the same words: whatever they do, the machine stays inside its memory, its
// registers and register blocks inside 16 bits, and the level field of STS
// names the current level. (Under the sanitizer build any access outside the
// memory image or any undefined arithmetic also fails here.)
#include "cpu/levels_io.h"
#include "instruction_test_support.h"

#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace {

// Word ranges of the groups under test. Left out: IOX 300 and 302, which
// wait for the keyboard, and the IOTMON codes that are monitor calls (their
// handlers have tests of their own and reach host files).
struct WordRange {
    uint32_t first, last;
};
constexpr WordRange ranges[] = {
    {0150000, 0150377}, // TRA, TRR, MCL, MST
    {0150400, 0150777}, // SYScon
    {0151000, 0151377}, // WAIT
    {0153400, 0153777}, // IRW, IRR
    {0160000, 0163777}, // IOT, IOTMON
    {0164000, 0164377}, // IOX
    {0140120, 0140137}, // decimal, block moves, stack
    {0143100, 0143177}, // MOVEW
};

bool left_out(uint32_t word) {
    if (word == 0164300 || word == 0164302) return true;
    if (word >= 0161000 && word <= 0161377) {
        uint32_t code = word & 0377;
        return (code >= 3 && code <= 7) || code == 015 || code == 020 || code == 042 ||
               code == 043 || code == 064 || code == 065;
    }
    // Read word and test-and-set belong to the other op14nn instructions.
    return word == 0140123 || word == 0140127 || word == 0140133;
}

uint32_t random_word(std::mt19937 &random) {
    for (;;) {
        const WordRange &range = ranges[random() % (sizeof ranges / sizeof ranges[0])];
        uint32_t word = range.first + random() % (range.last - range.first + 1);
        if (!left_out(word)) return word;
    }
}

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

  private:
    int saved_;
};

bool machine_in_bounds() {
    for (int r = 0; r < 8; ++r)
        if (r != R_P && machine.r[r] > WORD_MASK) return false;
    if (machine.P > WORD_MASK + 2 || machine.current_level > 15 || machine.previous_level > 15)
        return false;
    if (((machine.STS >> 8) & 017) != machine.current_level) return false;
    for (const RegisterBlock &block : machine.level_blocks)
        for (uint32_t value : block.r)
            if (value > WORD_MASK) return false;
    return true;
}

std::string run_stream(unsigned seed) {
    std::mt19937 random(seed);
    reset_machine();
    for (uint32_t cell = 0; cell < MEMORY_WORDS; ++cell)
        memory_image[cell] = random_word(random);
    for (int r = 1; r < 8; ++r)
        machine.r[r] = random() & WORD_MASK;
    machine.STS = 0110000 | (random() & 0377);
    machine.apt_offset = (random() & 3) << 16;
    machine.PIE = random() & WORD_MASK;
    static const uint32_t debug_levels[] = {0, 0123, 0444, 0144, 0555, 054, 0100};
    settings.debug_level = debug_levels[seed % 7];
    settings.test_movew = static_cast<int>(seed & 1);
    reset_breakpoint_service();
    char fault[200];
    QuietOutput quiet;
    for (int i = 0; i < 500000; ++i) {
        cpu_running = 1;
        uint32_t p = machine.P & WORD_MASK;
        InstructionTest::step();
        if (!machine_in_bounds()) {
            std::snprintf(fault, sizeof fault,
                          "seed %u step %d: %06o at %06o left P=%o STS=%o level %u A=%o D=%o "
                          "T=%o X=%o B=%o L=%o",
                          seed, i, machine.current_instruction, p, machine.P, machine.STS,
                          machine.current_level, machine.A, machine.D, machine.T, machine.X,
                          machine.B, machine.L);
            return fault;
        }
    }
    for (uint32_t cell = 0; cell < MEMORY_WORDS; ++cell) {
        if (memory_image[cell] > WORD_MASK) {
            std::snprintf(fault, sizeof fault, "seed %u: cell %o holds %o", seed, cell,
                          memory_image[cell]);
            return fault;
        }
    }
    return "";
}

using RandomStreamsPartTwo = InstructionTest;

TEST_F(RandomStreamsPartTwo, NeverLeaveMemoryRegistersOrSixteenBits) {
    for (unsigned seed = 1; seed <= 21; ++seed)
        ASSERT_EQ(run_stream(seed), "");
    reset_breakpoint_service();
}

} // namespace
