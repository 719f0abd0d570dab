// The shell line: the abbreviation matcher against the command table, the
// argument readers on the rest of the first line, then up to eight lines
// executed one after the other as the command loop executes them. The first
// input byte chooses the readers (two bits each); the rest holds the lines.
#include "fuzz_support.h"

#include "operator/arguments.h"
#include "operator/matcher.h"
#include "operator/operator_channel.h"
#include "shell/command_table.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_setup();
    return 0;
}

namespace {

void read_arguments(uint8_t choice) {
    for (int i = 0; i < 4; ++i) {
        uint32_t value = 0;
        int32_t signed_value = 0;
        int bad = 0;
        std::string word;
        switch ((choice >> (2 * i)) & 3) {
        case 0:
            read_octal_argument(&value, 017, "Octal: ", &bad);
            break;
        case 1:
            read_decimal_argument(&value, 10, "Decimal: ", &bad);
            break;
        case 2:
            read_signed_decimal_argument(&signed_value, &bad);
            break;
        default:
            read_word_argument(&word, "DEFAULT", "Word: ");
            break;
        }
    }
    read_choice_argument("On or off: ", "on", "on off");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    FuzzInput input;
    std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
    std::vector<std::string> lines;
    size_t position = 0;
    while (position <= text.size() && lines.size() < 8) {
        size_t end = text.find('\n', position);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(position, end - position);
        lines.push_back(
            line.substr(0, std::min(line.find('\0'), static_cast<size_t>(COMMAND_LINE_SIZE - 1))));
        position = end + 1;
    }

    std::memcpy(shell.command_line, lines[0].c_str(), lines[0].size() + 1);
    int index = 0, terminator = 0, end = 0;
    match_command(shell.command_line, 0, command_texts, &index, &terminator, &end);
    shell.argument_position = end;
    read_arguments(data[0]);

    for (const std::string &line : lines)
        fuzz_shell_line(line);
    return 0;
}
