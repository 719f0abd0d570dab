// The PROG loader: the input is a :PROG image that load-image-file loads.
// A part after a "\nDATA\n" line is placed at the data offset of a 2-bank
// image, so that short inputs reach the data loader too.
#include "fuzz_support.h"

#include "images/prog_image.h"

#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzInput input;
    std::vector<std::string> parts = fuzz_split(data, size, "\nDATA\n", 2);
    std::string image = parts[0];
    if (parts.size() > 1) {
        image.resize(PROG_DATA_OFFSET, '\0');
        image += parts[1];
    }
    fuzz_write_file("(EMULATOR)/FUZZ.PROG", reinterpret_cast<const uint8_t *>(image.data()),
                    image.size());
    fuzz_shell_line("load-image-file FUZZ");
    return 0;
}
