// Monitor calls with their registers and parameter blocks. Input: an
// options byte (raw open mode, alternative page table, debug level, silent
// mode), a count byte, then that many calls (1 to 16) of twelve bytes each:
// the call number, a flags byte and the registers A, T, X, D and L
// (big-endian words). The rest of the input is memory: words from address 0
// on, in page table 0 and again in page table 2, where the parameter blocks,
// names and buffers the registers point at are. Flag bit 0 gives T, bit 1
// gives A the file number that the last open call (MON 42, 50, 220)
// returned. The calls are carried out one after the other as a running program
// makes them, until one stops the program; a call that starts the program
// (GO) runs it for at most 20000 instructions. The fuzz tree holds F:DATA
// and F:SYMB of the user and S:SYMB of SYSTEM.
#include "fuzz_support.h"

#include "cpu/cycle.h"
#include "cpu/machine.h"
#include "monitor/monitor.h"
#include "settings/settings.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_setup();
    return 0;
}

namespace {

constexpr size_t CALL_BYTES = 12;
constexpr size_t MAX_CALLS = 16;
constexpr uint32_t INSTRUCTION_LIMIT = 20000;
// Where the calls stand: above the memory the input fills.
constexpr uint32_t CALL_ADDRESS = 0170000;
constexpr uint32_t MON_INSTRUCTION = 0153000;
const uint32_t DEBUG_LEVELS[] = {0, 1, 6, 0};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    size_t calls = 1 + data[1] % MAX_CALLS;
    if (size < 2 + calls * CALL_BYTES) return 0;
    FuzzInput input;
    uint8_t options = data[0];
    settings.mon_open_mode = options & 1;
    if (options & 2) {
        machine.apt_offset = 2 * BANK_WORDS;
        machine.data_bank_mask = ~0u;
    }
    settings.debug_level = DEBUG_LEVELS[(options >> 2) & 3];
    settings.silent_mode = (options >> 4) & 1;
    machine.upper_limit = WORD_MASK;
    fuzz_fill_memory(data, 2 + calls * CALL_BYTES, size, 0);
    fuzz_write_sample_files();
    fuzz_limit_instructions(INSTRUCTION_LIMIT);

    uint32_t opened = 0;
    for (size_t n = 0; n < calls; ++n) {
        const uint8_t *call = data + 2 + n * CALL_BYTES;
        uint32_t number = call[0];
        uint8_t flags = call[1];
        machine.A = (flags & 2) ? opened : fuzz_word(call + 2);
        machine.T = (flags & 1) ? opened : fuzz_word(call + 4);
        machine.X = fuzz_word(call + 6);
        machine.D = fuzz_word(call + 8);
        machine.L = fuzz_word(call + 10);
        machine.P = CALL_ADDRESS + static_cast<uint32_t>(n);
        machine.current_instruction = MON_INSTRUCTION | number;
        write_word(0, machine.P, machine.current_instruction);
        cpu_running = 1;
        call_monitor(number);
        if (number == 042 || number == 050 || number == 0220) opened = machine.A;
        if (!cpu_running) break;
    }
    cpu_running = 0;
    return 0;
}
