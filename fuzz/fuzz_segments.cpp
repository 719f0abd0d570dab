// The segment loader: the input holds the segment description file, a
// segment image file and shell lines, separated by "\n--\n" lines. The image
// file is written for segments 1 and 2; a program file SEGPROG is the same
// bytes as a :PROG image. The shell lines then define, list, load and delete
// segments and load images.
#include "fuzz_support.h"

#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzInput input;
    std::vector<std::string> parts = fuzz_split(data, size, "\n--\n", 3);
    parts.resize(3);
    auto write = [](const char *path, const std::string &bytes) {
        fuzz_write_file(path, reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
    };
    write("(SYSTEM)/SEGFILE.SIN3", parts[0]);
    write("(SYSTEM)/SEGFILE_1.SGNO", parts[1]);
    write("(SYSTEM)/SEGFILE_2.SGNO", parts[1]);
    write("(SYSTEM)/SEGPROG.PROG", parts[1]);
    size_t position = 0;
    int lines = 0;
    while (position < parts[2].size() && lines++ < 16) {
        size_t end = parts[2].find('\n', position);
        if (end == std::string::npos) end = parts[2].size();
        fuzz_shell_line(parts[2].substr(position, end - position));
        position = end + 1;
    }
    return 0;
}
