// The instruction cycle on random memory and registers. Input: the eight
// registers in register-number order (big-endian words), an options byte
// (CPU type, instruction set, float format, alternative page table, raw
// open mode), a load address, then words placed from the load address on in
// page table 0, and again in page table 2 for the alternative page table.
// Runs at most 20000 instructions; monitor calls act on the fuzz tree, in
// which F:DATA and F:SYMB of the user and S:SYMB of SYSTEM exist.
#include "fuzz_support.h"

#include "cpu/cycle.h"
#include "cpu/machine.h"
#include "settings/settings.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_setup();
    return 0;
}

namespace {

constexpr size_t REGISTER_BYTES = 16;
constexpr uint32_t INSTRUCTION_LIMIT = 20000;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < REGISTER_BYTES + 3) return 0;
    FuzzInput input;
    for (int r = 0; r < 8; ++r)
        machine.r[r] = fuzz_word(data + 2 * r);
    uint8_t options = data[REGISTER_BYTES];
    machine.cpu_type = options & 7;
    machine.instruction_set = (options >> 3) & 3;
    machine.float_format = (options >> 5) & 1;
    machine.apt_armed = (options >> 6) & 1;
    if (machine.apt_armed) machine.apt_offset = 2 * BANK_WORDS;
    settings.mon_open_mode = (options >> 7) & 1;
    machine.upper_limit = WORD_MASK;
    fuzz_fill_memory(data, REGISTER_BYTES + 3, size, fuzz_word(data + REGISTER_BYTES + 1));
    fuzz_write_sample_files();
    fuzz_limit_instructions(INSTRUCTION_LIMIT);
    cpu_running = 1;
    run_cpu();
    return 0;
}
