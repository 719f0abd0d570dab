// The command loop on an @mode file. The input holds up to four files,
// split at "\n--\n": the mode file MODE:SYMB that the loop starts on, a
// second mode file M2:SYMB that it may chain to, an image P:PROG that its
// lines may run (the program's terminal input comes from the mode file too)
// and a text file T:SYMB for the file commands, all of the current user.
// The empty files OUT:SYMB and OUT2:SYMB take the mode files' output.
// The loop reads the mode files to their end, then meets the console's
// ended input and ends as at the end of piped input. The programs it starts
// run at most 20000 instructions in all.
#include "fuzz_support.h"

#include "shell/shell.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_setup();
    return 0;
}

namespace {

constexpr uint32_t INSTRUCTION_LIMIT = 20000;
const char *const FILES[] = {"(EMULATOR)/MODE.SYMB", "(EMULATOR)/M2.SYMB", "(EMULATOR)/P.PROG",
                             "(EMULATOR)/T.SYMB"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzInput input;
    std::vector<std::string> pieces = fuzz_split(data, size, "\n--\n", 4);
    for (size_t i = 0; i < pieces.size(); ++i)
        fuzz_write_file(FILES[i], reinterpret_cast<const uint8_t *>(pieces[i].data()),
                        pieces[i].size());
    fuzz_write_file("(EMULATOR)/OUT.SYMB", nullptr, 0);
    fuzz_write_file("(EMULATOR)/OUT2.SYMB", nullptr, 0);
    fuzz_limit_instructions(INSTRUCTION_LIMIT);
    execute_command_line("@mode MODE OUT");
    run_command_loop();
    return 0;
}
