// Operator tools that work on host files: octal dumps, binary comparison,
// searches, paging, byte swapping, parity conversion and the register-line
// filter.
#include "filesystem/file_names.h"
#include "host/host.h"
#include "shell/commands.h"
#include "shell/debug_aids.h"
#include "shell/shell.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

FILE *out() {
    return shell.operator_output;
}

bool open_file(FILE **file, const char *prompt, const char *mode, const char *default_type) {
    *file = nullptr;
    return s3_fopen(file, prompt, mode, default_type) >= 0;
}

bool is_console(FILE *file) {
    return file == stdin || file == stdout;
}

void close_file(FILE *file) {
    if (file && !is_console(file)) std::fclose(file);
}

// Opens the output file of a conversion whose input came from `input_path`,
// with the host access mode `mode`. The file is looked at without truncation
// first: when it is the input file itself, writing would destroy the input
// before it is read, and the command is refused with the input untouched.
bool open_conversion_output(FILE **output, const char *prompt, const char *mode,
                            const char *default_type, const std::string &input_path) {
    *output = nullptr;
    std::string output_path;
    if (s3_fopen(output, prompt, "a", default_type, &output_path) < 0) return false;
    if (is_console(*output)) return true;
    HostFileInfo input = host_file_info(input_path);
    HostFileInfo target = host_file_info(output_path);
    if (input.exists && target.exists && input.identity == target.identity) {
        std::fprintf(out(), "Source and destination are the same file\r\n");
        close_file(*output);
        return false;
    }
    close_file(*output);
    *output = host_open_regular_file(output_path, mode);
    if (!*output) {
        std::fprintf(out(), "\r\nFailed to open %s\r\n", output_path.c_str());
        return false;
    }
    return true;
}

// Reads one big-endian word; returns the number of bytes read (0, 1 or 2).
int read_big_endian_word(FILE *file, uint32_t *word) {
    int high = std::fgetc(file);
    if (high == EOF) return 0;
    int low = std::fgetc(file);
    if (low == EOF) {
        *word = static_cast<uint32_t>(high) << 8;
        return 1;
    }
    *word = (static_cast<uint32_t>(high) << 8) | static_cast<uint32_t>(low);
    return 2;
}

// The dump's pause. True when the operator wants to stop; `either_case`
// accepts "Q" too.
bool dump_quit_requested(bool either_case) {
    std::fprintf(out(), "\r\nType q to quit: ");
    int answer = read_prompt_answer();
    if (answer < 0) return true;
    if (answer == 'q' || (either_case && answer == 'Q')) {
        if (!answer_input_ended()) read_prompt_answer();
        return true;
    }
    return false;
}

constexpr int DUMP_PAUSE = 300;

void dump_words() {
    FILE *file;
    if (!open_file(&file, "From file: ", "rb", "BIN")) return;
    long long index = 0;
    uint32_t word = 0;
    while (read_big_endian_word(file, &word) == 2) {
        if (index % 8 == 0) std::fprintf(out(), "\r\n%7lli (%7llo): ", index, index);
        std::fprintf(out(), "%8o", word);
        ++index;
        if (index % 8 == 0) std::fprintf(out(), "   ");
        if (index % DUMP_PAUSE == 0 && dump_quit_requested(false)) break;
    }
    close_file(file);
}

constexpr int BYTES_PER_LINE = 10;

void finish_byte_line(const unsigned char *bytes, int count) {
    for (int i = count; i < BYTES_PER_LINE; ++i)
        std::fprintf(out(), "    ");
    std::fprintf(out(), "   ");
    for (int i = 0; i < count; ++i)
        std::fputc(bytes[i] >= 32 && bytes[i] <= 126 ? bytes[i] : '.', out());
}

void dump_bytes() {
    FILE *file;
    if (!open_file(&file, "From file: ", "rb", "BIN")) return;
    uint32_t start = 0;
    int bad = 0;
    int result = read_decimal_argument(&start, 0, "start at byte: ", &bad);
    if (result != 1) {
        if (result == -1) std::fprintf(out(), "Illegal char. number: %c\r\n", bad);
        close_file(file);
        return;
    }
    long long offset = 0;
    while (offset < start && std::fgetc(file) != EOF)
        ++offset;
    unsigned char line[BYTES_PER_LINE];
    int in_line = 0;
    long long printed = 0;
    int byte;
    while ((byte = std::fgetc(file)) != EOF) {
        if (in_line == 0) std::fprintf(out(), "\r\n%7lli (%7llo): ", offset, offset);
        std::fprintf(out(), " %3o", byte);
        line[in_line++] = static_cast<unsigned char>(byte);
        ++offset;
        ++printed;
        if (in_line == BYTES_PER_LINE) {
            finish_byte_line(line, in_line);
            in_line = 0;
        }
        if (printed % DUMP_PAUSE == 0 && dump_quit_requested(true)) {
            in_line = 0;
            break;
        }
    }
    if (in_line > 0) finish_byte_line(line, in_line);
    close_file(file);
}

bool write_byte(FILE *file, int byte, bool *failed) {
    if (std::fputc(byte, file) == EOF) {
        *failed = true;
        return false;
    }
    return true;
}

void report_write_failure() {
    std::fprintf(out(), "\r\nError when writing output file, terminating\r\n");
}

// Bit 7 set so that the byte has an even number of one bits.
int with_even_parity(int byte) {
    int value = byte & 0177;
    int ones = 0;
    for (int bit = 0; bit < 7; ++bit)
        ones += (value >> bit) & 1;
    return (ones & 1) ? (value | 0200) : value;
}

void report_lines(int lines) {
    if (lines > 0)
        std::fprintf(out(), "This file contained %d lines\r\n", lines);
    else
        std::fprintf(out(), "This file contained 1 line\r\n");
}

} // namespace

void cmd_od() {
    uint32_t format = 0;
    int bad = 0;
    int result = read_decimal_argument(&format, 32, "8 bits or 16 bits format? ", &bad);
    if (result == CONSOLE_EOF) return;
    if (result == -1)
        std::fprintf(out(), "Illegal char. number: %c\r\n", bad);
    else if (format == 16)
        dump_words();
    else if (format == 8)
        dump_bytes();
    else
        std::fprintf(out(), "Bad format, 8 and 16 are supported");
    std::fprintf(out(), "\r\n");
}

void cmd_compare_binary() {
    FILE *first, *second;
    if (!open_file(&first, "File 1: ", "rb", "BIN")) return;
    if (!open_file(&second, "File 2: ", "rb", "BIN")) {
        close_file(first);
        return;
    }
    if (is_console(second)) {
        std::fprintf(out(), "Input file 2 not specified\r\n");
        close_file(first);
        return;
    }
    bool differ = false;
    for (long long index = 0;; ++index) {
        uint32_t word1 = 0, word2 = 0;
        int got1 = read_big_endian_word(first, &word1);
        int got2 = read_big_endian_word(second, &word2);
        if (got1 == 0 && got2 == 0) break;
        if (got1 == 0) {
            std::fprintf(out(), "\r\nFile number 1 has less data than file 2\r\n");
            differ = true;
            break;
        }
        if (got2 == 0) {
            std::fprintf(out(), "\r\nFile number 1 has more data than file 2\r\n");
            differ = true;
            break;
        }
        // A last odd byte is a word of its own; it differs from a whole word.
        if (word1 != word2 || got1 != got2) {
            std::fprintf(out(), "\r\nFiles differ at word(16bit): %lld %5o/%5o", index, word1,
                         word2);
            differ = true;
        }
    }
    std::fprintf(out(), differ ? "\r\n" : "Files are equal\r\n");
    close_file(first);
    close_file(second);
}

void cmd_find_in_file() {
    std::fprintf(out(), "Find two values that are close to each other\r\n");
    FILE *file;
    if (!open_file(&file, "Find in file: ", "rb", "BIN")) return;
    uint32_t values[2] = {0, 0};
    for (uint32_t &value : values) {
        int bad = 0;
        int result = read_octal_argument(&value, 0, "Enter octal value: ", &bad);
        if (result != 1) {
            if (result == -1) std::fprintf(out(), "Illegal char. in octal number: %c\r\n", bad);
            close_file(file);
            return;
        }
    }
    uint32_t word1 = 0, word2 = 0;
    for (long long index = 0;; index += 2) {
        if (read_big_endian_word(file, &word1) != 2 || read_big_endian_word(file, &word2) != 2)
            break;
        if (word1 == values[0] && word2 == values[1])
            std::fprintf(out(), "\r\nFound at word: %lld(dec) %llo(oct)", index, index);
    }
    close_file(file);
}

namespace {

constexpr size_t TEXT_BLOCK = 40;

char upper_case(int byte) {
    return static_cast<char>(byte >= 'a' && byte <= 'z' ? byte - 'a' + 'A' : byte);
}

bool text_at(const std::string &data, size_t position, const std::string &text) {
    return data.compare(position, text.size(), text) == 0;
}

// Searches the file in blocks of 40 bytes, converted to capitals, and reports
// every block in which an occurrence of the text begins; an occurrence may run
// on into the next block, and the last block may be shorter.
void search_text_blocks(FILE *file, const std::string &text) {
    std::string data; // from the start of the current block on
    long long block_offset = 0;
    bool ended = false;
    const size_t wanted = TEXT_BLOCK + text.size() - 1;
    for (;;) {
        while (!ended && data.size() < wanted) {
            int byte = std::fgetc(file);
            if (byte == EOF)
                ended = true;
            else
                data.push_back(upper_case(byte));
        }
        if (data.empty()) return;
        size_t block_length = data.size() < TEXT_BLOCK ? data.size() : TEXT_BLOCK;
        bool found = false;
        for (size_t position = 0; position < block_length && !found; ++position)
            found = position + text.size() <= data.size() && text_at(data, position, text);
        if (found) {
            std::string block = data.substr(0, block_length);
            std::fprintf(out(), "\r\n%s found at byte pos %lld (close to)", text.c_str(),
                         block_offset);
            std::fprintf(out(), "  %s", block.c_str());
        }
        data.erase(0, block_length);
        block_offset += static_cast<long long>(block_length);
    }
}

} // namespace

void cmd_find_text_in_file() {
    FILE *file;
    if (!open_file(&file, "Search in  file: ", "rb", "BIN")) return;
    std::string text;
    int length = read_word_argument(&text, "", "\r\nSearch for text: ");
    if (length == CONSOLE_EOF) {
        close_file(file);
        return;
    }
    if (length == 0) {
        std::fprintf(out(), "Please enter a text to search for\r\n");
        close_file(file);
        return;
    }
    search_text_blocks(file, text);
    close_file(file);
}

void cmd_more() {
    FILE *file;
    if (!open_file(&file, "From file: ", "rb", "SYMB")) return;
    if (is_console(file)) {
        std::fprintf(out(), "File not specified\r\n");
        return;
    }
    int byte;
    while ((byte = std::fgetc(file)) != EOF)
        std::fputc(byte & 0177, out());
    std::fprintf(out(), "\r\n");
    close_file(file);
}

void cmd_byte_swap() {
    FILE *input, *output;
    std::string input_path;
    input = nullptr;
    if (s3_fopen(&input, "Input file: ", "rb", "PROG", &input_path) < 0) return;
    if (input == stdin) {
        std::fprintf(out(), "\r\n:PROG (default) input file not specified");
        return;
    }
    if (!open_conversion_output(&output, "Output file: ", "wb", "PROG", input_path)) {
        close_file(input);
        return;
    }
    bool failed = false;
    for (;;) {
        int first = std::fgetc(input);
        if (first == EOF) break;
        int second = std::fgetc(input);
        if (second == EOF) {
            write_byte(output, first, &failed);
            break;
        }
        if (!write_byte(output, second, &failed) || !write_byte(output, first, &failed)) break;
    }
    if (!failed && !is_console(output) && std::fflush(output) != 0) failed = true;
    if (failed) report_write_failure();
    close_file(input);
    close_file(output);
    if (!failed) std::fprintf(out(), "Byte swap completed\r\n");
}

void cmd_add_parity() {
    FILE *input, *output;
    std::string input_path;
    input = nullptr;
    if (s3_fopen(&input, "Text input file: ", "r", "SYMB", &input_path) < 0) return;
    if (input == stdin) {
        std::fprintf(out(), "Text input fil not specified\r\n");
        return;
    }
    if (!open_conversion_output(&output, "Output file: ", "w", "SYMB", input_path)) {
        close_file(input);
        return;
    }
    bool failed = false;
    int lines = 0;
    int byte;
    while ((byte = std::fgetc(input)) != EOF) {
        if ((byte & 0177) == '\n') ++lines;
        if (!write_byte(output, with_even_parity(byte), &failed)) break;
    }
    if (!failed && !is_console(output) && std::fflush(output) != 0) failed = true;
    close_file(input);
    close_file(output);
    if (failed) {
        report_write_failure();
        return;
    }
    report_lines(lines);
}

void cmd_remove_parity() {
    FILE *input, *output;
    std::string input_path;
    input = nullptr;
    if (s3_fopen(&input, "Text input file: ", "r", "SYMB", &input_path) < 0) return;
    if (!open_conversion_output(&output, "Output file: ", "w", "SYMB", input_path)) {
        close_file(input);
        return;
    }
    bool failed = false;
    int lines = 0;
    int byte;
    while ((byte = std::fgetc(input)) != EOF) {
        byte &= 0177;
        if (byte == '\r') continue;
        if (byte == '\n') ++lines;
        if (!write_byte(output, byte, &failed)) break;
    }
    if (!failed && !is_console(output) && std::fflush(output) != 0) failed = true;
    close_file(input);
    close_file(output);
    if (failed) {
        report_write_failure();
        return;
    }
    std::fprintf(out(), "This file contained %d lines\r\n", lines);
    std::fprintf(out(), "All CR has been removed, file is now readble by e.g. WordPad\r\n");
}

namespace {

// One line of a text file as the shell's line reader takes it from a file:
// bit 7 stripped, CR dropped, every character echoed. False at the end of
// the file with nothing read.
bool read_file_line(FILE *file, std::string *line) {
    line->clear();
    for (;;) {
        int c = std::fgetc(file);
        if (c == EOF) return !line->empty();
        c &= 0177;
        if (shell.echo_stream) std::fputc(c, shell.echo_stream);
        if (c == '\n') return true;
        if (c != '\r') line->push_back(static_cast<char>(c));
    }
}

constexpr size_t PREG_COLUMN = 20;
constexpr size_t PREG_DIGITS = 6;

// The octal value in columns 20-25 (blank counting as 0); -1 when it is not
// a 16-bit octal value.
long preg_of_line(const std::string &line) {
    long value = 0;
    for (size_t column = PREG_COLUMN; column < PREG_COLUMN + PREG_DIGITS; ++column) {
        char c = column < line.size() ? line[column] : ' ';
        if (c == ' ') c = '0';
        if (c < '0' || c > '7') return -1;
        value = value * 8 + (c - '0');
    }
    return value > 0177777 ? -1 : value;
}

} // namespace

void cmd_yyy() {
    FILE *input, *output;
    if (!open_file(&input, "Input file: ", "rb", "TXT")) return;
    if (!open_file(&output, "Output file: ", "wb", "TXT")) {
        close_file(input);
        return;
    }
    std::vector<bool> seen(0200000, false);
    std::string line;
    while (read_file_line(input, &line)) {
        long value = preg_of_line(line);
        if (value < 0) {
            std::printf("\nBad PREG\n");
            continue;
        }
        if (seen[static_cast<size_t>(value)]) continue;
        seen[static_cast<size_t>(value)] = true;
        std::fprintf(output, "%s\r\n", line.c_str());
    }
    close_file(input);
    close_file(output);
}
