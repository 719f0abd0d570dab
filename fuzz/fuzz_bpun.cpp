// The BPUN loader: the input is a :BPUN file that @place-binary places.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzInput input;
    fuzz_write_file("(EMULATOR)/FUZZ.BPUN", data, size);
    fuzz_shell_line("@place-binary FUZZ");
    return 0;
}
