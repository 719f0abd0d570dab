// The floating-point commands: choosing the float format and trying the
// 32-bit conversions by hand.
#include "cpu/cycle.h"
#include "cpu/floating_point.h"
#include "cpu/machine.h"
#include "shell/commands.h"
#include "shell/shell.h"

#include <cstdint>
#include <cstdio>

void cmd_float() {
    uint32_t bits = 0;
    int bad = 0;
    int result = read_decimal_argument(&bits, 32, "Floating 32 or 48 bits: ", &bad);
    if (result == -1) {
        std::fprintf(shell.operator_output, "Illegal char. number: %c\r\n", bad);
        return;
    }
    if (result != 1) return;
    if (bits == 32) {
        machine.float_format = 0;
        instruction_dispatch_changed();
        machine.cpu_type = 5;
        std::fprintf(shell.operator_output, "Floating format set to 32 bits\r\n");
    } else if (bits == 48) {
        machine.cpu_type = 4;
        std::fprintf(shell.operator_output, "Floating format set to 48 bits\r\n");
        std::fprintf(shell.operator_output,
                     "FAD, FSU, FMU, FDV, NLZ and DNZ work on T, A and D (float-test stays "
                     "32-bit)\r\n");
        machine.float_format = 1;
        instruction_dispatch_changed();
    } else {
        std::fprintf(shell.operator_output, "Bad format, 32 and 48 are supported\r\n");
    }
}

// Reads one octal word; false when the answer had a bad digit or input ended.
static bool read_test_word(uint32_t *word, const char *prompt) {
    int bad = 0;
    int result = read_octal_argument(word, 0, prompt, &bad);
    if (result == -1) {
        std::fprintf(shell.operator_output, "Illegal char. in octal number: %c\r\n", bad);
        return false;
    }
    *word &= WORD_MASK;
    return result == 1;
}

void cmd_float_test() {
    uint32_t high = 0;
    uint32_t low = 0;
    if (!read_test_word(&high, "Value 1: ") || !read_test_word(&low, "Value 2:")) return;
    double value = nd32_to_double((high << 16) | low);
    std::fprintf(shell.operator_output, "Converted to %f\r\n", value);
    uint32_t back = double_to_nd32(value);
    std::fprintf(shell.operator_output, "Convert back to ND format:");
    std::fprintf(shell.operator_output, " %o , %o\r\n", back >> 16, back & WORD_MASK);
}
