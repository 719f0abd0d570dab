// The TDV 2215 interpreters: the first input byte chooses the interpreter
// (old or new), the Norwegian character set and a diagnostic level; the rest
// is a stream of records, each a kind byte and either one byte for MON 2 or
// eight bytes for MON 22, as an ND program on terminal type 52 sends them.
#include "fuzz_support.h"

#include "cpu/machine.h"
#include "monitor/monitor.h"
#include "settings/settings.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_setup();
    return 0;
}

namespace {

uint32_t word_of(const uint8_t *bytes) {
    return (uint32_t{bytes[0]} << 8) | bytes[1];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    FuzzInput input;
    static const uint32_t DEBUG_LEVELS[] = {0, 055, 01, 077};
    settings.terminal_type = 52;
    settings.tdv_output = data[0] & 1;
    settings.norwegian_charset = (data[0] >> 1) & 1;
    settings.debug_level = DEBUG_LEVELS[(data[0] >> 2) & 3];
    settings.nct_mode = (data[0] >> 4) & 1;
    size_t position = 1;
    while (position < size) {
        uint8_t kind = data[position++];
        machine.T = 1;
        machine.P = 01000;
        if ((kind & 1) == 0) {
            if (position >= size) break;
            machine.A = data[position++];
            monitor_table[2]();
            continue;
        }
        if (position + 8 > size) break;
        machine.A = word_of(data + position);
        machine.D = word_of(data + position + 2);
        machine.L = word_of(data + position + 4);
        machine.X = word_of(data + position + 6);
        position += 8;
        monitor_table[022]();
    }
    return 0;
}
