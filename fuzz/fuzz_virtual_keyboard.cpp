// The virtual-keyboard definition reader: the input is a definition file
// that virtual-keyboard-definition reads; then every defined key is
// generated as terminal input once, as Alt and the key do.
#include "fuzz_support.h"

#include "console/terminal.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzInput input;
    fuzz_write_file("(EMULATOR)/KEYS.SYMB", data, size);
    fuzz_shell_line("virtual-keyboard-definition KEYS");
    for (int key = 0; key < VIRTUAL_KEYS; ++key) {
        clear_inbytebuff();
        gen_virt(3, key, 0, 0);
        while (inbyte_get() >= 0) {
        }
    }
    return 0;
}
