// Long streams of random words from the memory-reference, floating-point,
// register, shift, bit and extended groups: whatever they do, the machine
// stays inside its memory and its 16-bit registers, and P inside 16 bits.
// (Run under the sanitizer build, any access outside the memory image or any
// undefined arithmetic also fails here.)
#include "instruction_test_support.h"

#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace {

// Slots of the groups under test; every other slot is replaced by a plain
// step so that random words executed through EXR stay inside these groups.
bool slot_under_test(uint32_t slot) {
    return slot <= 0317 || (slot >= 0323 && slot <= 0325) || (slot >= 0330 && slot <= 0337) ||
           (slot >= 0351 && slot <= 0357) || slot >= 0360;
}

// The op14nn words handed on to the decimal, block-move and stack sources.
bool handed_on(uint32_t word) {
    return (word >= 0140120 && word <= 0140137 && word != 0140123 && word != 0140127 &&
            word != 0140133) ||
           (word >= 0143100 && word <= 0143177);
}

void plain_step() {
    machine.P += 1;
}

uint32_t random_word(std::mt19937 &random) {
    for (;;) {
        uint32_t word = random() & WORD_MASK;
        if (slot_under_test(word >> 8) && !handed_on(word)) return word;
    }
}

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

  private:
    int saved_;
};

// Runs one random stream; returns a description of the first fault, or an
// empty text.
std::string run_stream(unsigned seed) {
    std::mt19937 random(seed);
    for (uint32_t cell = 0; cell < MEMORY_WORDS; ++cell)
        memory_image[cell] = random_word(random);
    for (int r = 1; r < 8; ++r)
        machine.r[r] = random() & WORD_MASK;
    machine.STS = 0110000 | (random() & 0377);
    machine.apt_offset = (random() & 3) << 16;
    settings.skp_cld_mask = (seed & 1) ? 0300 : 0200;
    machine.float_format = (seed >> 1) & 1;
    const uint32_t sts_high = machine.STS & 0177400;
    char fault[200];
    QuietOutput quiet;
    for (int i = 0; i < 500000; ++i) {
        cpu_running = 1;
        uint32_t p = machine.P & WORD_MASK;
        InstructionTest::step();
        bool registers_ok = true;
        for (int r = 0; r < 8; ++r)
            registers_ok = registers_ok && (r == R_P || machine.r[r] <= WORD_MASK);
        if (machine.P > 0200001u || !registers_ok || (machine.STS & 0177400) != sts_high) {
            std::snprintf(fault, sizeof fault,
                          "seed %u step %d: %06o at %06o left P=%o STS=%o A=%o D=%o T=%o X=%o "
                          "B=%o L=%o",
                          seed, i, machine.current_instruction, p, machine.P, machine.STS,
                          machine.A, machine.D, machine.T, machine.X, machine.B, machine.L);
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

using RandomStreams = InstructionTest;

TEST_F(RandomStreams, NeverLeaveMemoryRegistersOrSixteenBits) {
    for (uint32_t slot = 0; slot < 256; ++slot)
        if (!slot_under_test(slot)) instruction_table[slot] = plain_step;
    for (unsigned seed = 1; seed <= 24; ++seed)
        ASSERT_EQ(run_stream(seed), "");
}

} // namespace
