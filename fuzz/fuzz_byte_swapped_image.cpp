// The byte-swapped loader: the input is an image with little-endian words
// that load-byte-swapped-image-file loads.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzInput input;
    fuzz_write_file("(EMULATOR)/FUZZ.PROG", data, size);
    fuzz_shell_line("load-byte-swapped-image-file FUZZ");
    return 0;
}
