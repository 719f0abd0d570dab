// The floppy lister and extractor: the input is a volume image; the files
// are extracted into the tree's EMULATOR directory.
#include "fuzz_support.h"

#include "floppy/floppy.h"

#include <cstdio>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzInput input;
    fuzz_write_file("(SYSTEM)/FUZZ.IMAG", data, size);
    FILE *image = std::fopen("./(SYSTEM)/FUZZ.IMAG", "rb");
    if (!image) return 0;
    extract_floppy_image(image, "./(EMULATOR)", stdout, stdout);
    std::fclose(image);
    return 0;
}
