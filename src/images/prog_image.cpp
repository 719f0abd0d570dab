#include "images/prog_image.h"

#include "console/terminal.h"
#include "cpu/machine.h"
#include "filesystem/file_names.h"
#include "host/host.h"
#include "images/segments.h"
#include "shell/debug_aids.h"
#include "shell/execution.h"
#include "shell/settings.h"
#include "shell/shell.h"

#include <cerrno>
#include <cstring>
#include <vector>

ImageState image_state;
int image_loaded = 0;

// Staging buffer through which images are read and written: word n holds the
// word for address n.
static uint16_t load_buffer[BANK_WORDS];
// The bytes of one bank as they stand in a file.
static uint8_t byte_buffer[2 * BANK_WORDS];

void reset_image_state() {
    image_state = ImageState{};
    image_loaded = 0;
}

static bool quiet() {
    return informational_messages_suppressed();
}

static uint32_t big_endian_word(const uint8_t *bytes) {
    return (static_cast<uint32_t>(bytes[0]) << 8) | bytes[1];
}
static uint32_t little_endian_word(const uint8_t *bytes) {
    return (static_cast<uint32_t>(bytes[1]) << 8) | bytes[0];
}
static void put_big_endian(uint8_t *bytes, uint32_t word) {
    bytes[0] = static_cast<uint8_t>(word >> 8);
    bytes[1] = static_cast<uint8_t>(word);
}

// Reads `count` words (count <= 65536) from the stream into byte_buffer and
// returns the number of bytes that arrived.
static size_t read_words(FILE *stream, uint32_t count) {
    return std::fread(byte_buffer, 1, 2 * static_cast<size_t>(count), stream);
}

// Converts `count` words of byte_buffer into load_buffer from index `first`.
static void stage_words(uint32_t first, uint32_t count, bool swapped) {
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t *bytes = byte_buffer + 2 * i;
        load_buffer[(first + i) & WORD_MASK] =
            static_cast<uint16_t>(swapped ? little_endian_word(bytes) : big_endian_word(bytes));
    }
}

static void store_staged_words(uint32_t page_table, uint32_t first, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t address = (first + i) & WORD_MASK;
        write_word(page_table, address, load_buffer[address]);
    }
}

// Reads the header block. Returns false (after reporting the short read) when
// the file does not even hold a whole header.
static bool read_header(FILE *stream, ProgHeader *header, bool swapped) {
    size_t got = std::fread(byte_buffer, 1, PROG_HEADER_BYTES, stream);
    if (got < PROG_HEADER_BYTES) {
        std::fprintf(shell.operator_output, "Error when reading file: %d\r\n", std::ferror(stream));
        std::fprintf(shell.operator_output, "Requested %o bytes, %o returned\r\n",
                     PROG_HEADER_BYTES, static_cast<unsigned>(got));
        return false;
    }
    uint32_t words[6];
    for (int i = 0; i < 6; ++i)
        words[i] = swapped ? little_endian_word(byte_buffer + 2 * i)
                           : big_endian_word(byte_buffer + 2 * i);
    *header = ProgHeader{words[0], words[1], words[2], words[3], words[4], words[5]};
    return true;
}

// A planted breakpoint does not survive loading: where the new program's
// words do not replace it (outside the program, or beyond the words a short
// file held) the replaced word goes back, so that no stray breakpoint
// instruction stays in memory.
static void remove_breakpoint_for_load(uint32_t first, uint32_t count, const char *message) {
    if (!debug_state.breakpoint_set) return;
    debug_state.breakpoint_set = 0;
    uint32_t address = debug_state.breakpoint_address & WORD_MASK;
    std::fprintf(shell.operator_output, message, address);
    if (address < first || address - first >= count)
        write_normal(address, debug_state.breakpoint_saved_word);
}

static void clear_guards_for_load(const char *message) {
    if (debug_state.guard_count == 0) return;
    std::fprintf(shell.operator_output, "%s", message);
    debug_state.guard_count = 0;
    debug_state.trace_flags &= ~TRACE_GUARDS;
    debug_state.saved_trace_flags &= ~TRACE_GUARDS;
}

// Opens the image named on the command line for reading. Returns null when
// the command is to end (the message has been printed).
static FILE *open_image_for_reading(const char *prompt, std::string *path,
                                    const char *console_message) {
    FILE *stream = nullptr;
    int result = s3_fopen(&stream, prompt, "rb", "PROG", path);
    if (result < 0) {
        if (result == -99) std::fprintf(shell.operator_output, "File name too long\r\n");
        return nullptr;
    }
    if (stream == stdin) {
        std::fprintf(shell.operator_output, "%s", console_message);
        return nullptr;
    }
    return stream;
}

void load_prog_image(SegmentCheck check) {
    if (!quiet()) std::fprintf(shell.operator_output, "\r\nSegment tables cleared\r\n");
    image_loaded = 0;
    image_state.current_segment = 0;
    std::string path;
    FILE *stream =
        open_image_for_reading("Load from program file: ", &path, "Input file not specified\r\n");
    if (stream) load_prog_stream(stream, path, check);
}

// The data image of a 2-bank program into page table 2.
static void load_two_bank_data(FILE *stream, const std::string &path, const ProgHeader &header) {
    uint32_t count = header.data_high - header.data_low + 1;
    size_t got = 0;
    if (std::fseek(stream, PROG_DATA_OFFSET, SEEK_SET) == 0) got = read_words(stream, count);
    HostFileInfo info = host_file_info(path);
    if (!quiet())
        std::fprintf(shell.operator_output, "File size (dec) %d bytes/%d words\r\n",
                     static_cast<int>(info.size), static_cast<int>(info.size / 2));
    uint32_t arrived = static_cast<uint32_t>(got / 2);
    if (arrived < count) {
        std::fprintf(shell.operator_output, "Error when reading data for 2-bank from file: %d\r\n",
                     std::ferror(stream));
        std::fprintf(shell.operator_output, "Requested (oct) %o bytes, %o returned\r\n", 2 * count,
                     static_cast<unsigned>(got));
    }
    stage_words(header.data_low, arrived, false);
    store_staged_words(2, header.data_low, arrived);
    if (!quiet())
        std::fprintf(shell.operator_output, "** Data (oct) loaded in APT 2 is %o words\r\n",
                     arrived);
    machine.two_bank_lower = header.data_low;
    machine.two_bank_upper = arrived > 0 ? header.data_low + arrived - 1
                                         : (header.data_low > 0 ? header.data_low - 1 : 0);
    if (!quiet())
        std::fprintf(shell.operator_output, "APT lower / upper set to %o/%o\r\n",
                     machine.two_bank_lower, machine.two_bank_upper);
}

// After a complete load: is the image some segment's program file?
static void check_segment_of_image(const std::string &path, SegmentCheck check) {
    if (!quiet())
        std::fprintf(shell.operator_output, "Check if program loaded on overlay segment: ");
    int segment = find_segment_of_image(path);
    if (segment > 0) {
        if (!quiet()) {
            std::fprintf(shell.operator_output, "\r\n YES, segment is %o", segment);
            std::fprintf(shell.operator_output,
                         "\r\nLoad in segment tables...code in dev. phase\r\n");
        }
        image_state.current_segment = segment;
        if (check == SegmentCheck::BringIn) load_into_segment(segment);
    } else if (!quiet()) {
        std::fprintf(shell.operator_output, " NO\r\n");
    }
}

void load_prog_stream(FILE *stream, const std::string &path, SegmentCheck check) {
    image_loaded = 0;
    ProgHeader header;
    if (!read_header(stream, &header, false)) {
        std::fclose(stream);
        return;
    }
    if (header.high_address < header.low_address) {
        std::fprintf(shell.operator_output, "Error in file, lower > upper address: %7o %7o\r\n",
                     header.low_address, header.high_address);
        std::fclose(stream);
        return;
    }
    if (!quiet())
        std::fprintf(shell.operator_output,
                     "Program low = %o high = %o start = %o restart = %o\r\n", header.low_address,
                     header.high_address, header.start_address, header.restart_address);

    uint32_t count = header.high_address - header.low_address + 1;
    size_t got = read_words(stream, count);
    uint32_t arrived = static_cast<uint32_t>(got / 2);
    if (arrived == count) {
        image_loaded = 1;
    } else {
        std::fprintf(shell.operator_output, "Error when reading file: %d\r\n", std::ferror(stream));
        std::fprintf(shell.operator_output, "Requested %o bytes, %o returned\r\n", 2 * count,
                     static_cast<unsigned>(got));
    }
    stage_words(header.low_address, arrived, false);

    if (header.data_low == NOT_TWO_BANK) {
        image_state.two_bank_mode = 0;
        machine.apt_offset = 0;
    } else {
        image_state.two_bank_mode = 1;
        if (!settings.silent_mode) {
            std::fprintf(shell.operator_output, "Loading this program in 2-bank mode ");
            std::fprintf(shell.operator_output, "with data low = %o, high = %o\r\n",
                         header.data_low, header.data_high);
        }
        if (header.data_high < header.data_low) {
            std::fprintf(shell.operator_output, "Error, 2-bank data low> data high\r\n");
            std::fclose(stream);
            image_loaded = 0;
            return;
        }
    }

    machine.P = header.start_address;
    image_state.restart_address = header.restart_address;
    machine.lower_limit = header.low_address;
    machine.upper_limit = header.high_address;
    if (!quiet())
        std::fprintf(shell.operator_output,
                     "Loaded OK, memory limits (bank 0) are now set to %o - %o\r\n",
                     machine.lower_limit, machine.upper_limit);
    remove_breakpoint_for_load(header.low_address, arrived, "Break-point at %o cleared!\a\a\r\n");
    clear_guards_for_load("\r\nGuard(s) cleared!\a\a\r\n");
    store_staged_words(0, header.low_address, arrived);

    if (image_state.two_bank_mode) load_two_bank_data(stream, path, header);

    machine.current_instruction = read_normal(machine.P);
    machine.instruction_address = machine.P;
    if (!image_loaded) {
        std::fprintf(shell.operator_output,
                     "\r\n*** Program not started because of above errors!\r\n");
        std::fclose(stream);
        return;
    }
    check_segment_of_image(path, check);
    std::fclose(stream);
}

void load_byte_swapped_image() {
    std::fprintf(shell.operator_output, "\r\n****** NB! 2-bank programs not handled!  *****\r\n");
    std::string path;
    FILE *stream =
        open_image_for_reading("Load from program file: ", &path, "\r\nInput file not specified");
    if (!stream) return;
    ProgHeader header;
    if (!read_header(stream, &header, true)) {
        std::fclose(stream);
        return;
    }
    if (header.high_address < header.low_address) {
        std::fprintf(shell.operator_output, "Error in file, lower > upper address: %7o %7o\r\n",
                     header.low_address, header.high_address);
        std::fclose(stream);
        return;
    }
    std::fprintf(shell.operator_output, "Low/high/start/rstart=%7o %7o %7o %7o\r\n",
                 header.low_address, header.high_address, header.start_address,
                 header.restart_address);
    uint32_t count = header.high_address - header.low_address + 1;
    size_t got = read_words(stream, count);
    if (got / 2 < count) {
        std::fprintf(shell.operator_output, "\r\nError when reading file: %d", std::ferror(stream));
        std::fclose(stream);
        return;
    }
    machine.P = header.start_address;
    machine.lower_limit = header.low_address;
    machine.upper_limit = header.high_address;
    std::fprintf(shell.operator_output, "Loaded OK\r\n");
    std::fprintf(shell.operator_output, "File was saved with start_address %o\r\n",
                 header.start_address);
    std::fprintf(shell.operator_output, "Memory limits are set to %7o - %7o\r\n",
                 machine.lower_limit, machine.upper_limit);
    remove_breakpoint_for_load(header.low_address, count, "\r\nBreak-point at %o cleared!\r\n\a\a");
    clear_guards_for_load("\r\nGuard(s) cleared!\r\n\a\a");
    machine.current_instruction = read_normal(machine.P);
    machine.instruction_address = machine.P;
    list_register_values();
    stage_words(header.low_address, count, true);
    store_staged_words(0, header.low_address, count);
    std::fclose(stream);
}

// Reads an address argument for save-image-to-file. Returns false when the
// command is to end.
static bool read_image_address(uint32_t *value, const char *prompt, const char *range_message,
                               const char *limits_message) {
    int bad_char = 0;
    int result = read_octal_argument(value, machine.P, prompt, &bad_char);
    if (result == CONSOLE_EOF) return false;
    if (result < 0) {
        std::fprintf(shell.operator_output, "Illegal char. in octal number: %c\r\n", bad_char);
        return false;
    }
    if (*value > WORD_MASK) {
        std::fprintf(shell.operator_output, "%s", range_message);
        return false;
    }
    if (*value < machine.lower_limit || *value > machine.upper_limit) {
        std::fprintf(shell.operator_output, limits_message, machine.lower_limit,
                     machine.upper_limit);
        return false;
    }
    return true;
}

// The writers flush what they wrote, so that a write the host refuses is
// known before success is reported.
static bool write_and_flush(FILE *stream, size_t bytes) {
    return std::fwrite(byte_buffer, 1, bytes, stream) == bytes && std::fflush(stream) == 0;
}

// Writes all 65536 words of a page table big-endian; false on a short write.
static bool write_page_table(FILE *stream, uint32_t page_table) {
    for (uint32_t address = 0; address < BANK_WORDS; ++address)
        put_big_endian(byte_buffer + 2 * address, read_word(page_table, address));
    return write_and_flush(stream, sizeof byte_buffer);
}

static bool write_program_words(FILE *stream, uint32_t low, uint32_t high) {
    if (high < low) return std::fflush(stream) == 0;
    uint32_t count = high - low + 1;
    for (uint32_t i = 0; i < count; ++i)
        put_big_endian(byte_buffer + 2 * i, read_normal(low + i));
    return write_and_flush(stream, 2 * static_cast<size_t>(count));
}

static void save_two_bank_data(FILE *stream) {
    if (machine.two_bank_lower == 0177777) {
        std::fprintf(shell.operator_output, "Warning, lower address for APT can not be 177777\r\n");
    } else {
        uint32_t page_table = machine.apt_offset >> 16;
        if (page_table == 0) {
            std::fprintf(shell.operator_output,
                         "Alt.page table is 0, saving data from page table 2\r\n");
            page_table = 2;
        }
        if (!write_page_table(stream, page_table))
            std::fprintf(shell.operator_output, "Error when writing to file: %d\r\n",
                         std::ferror(stream));
        std::fprintf(shell.operator_output, "Dumped data segment from PIT %d\r\n",
                     static_cast<int>(page_table));
    }
    std::fprintf(shell.operator_output,
                 "FYI: The data seg. is always dumped as 64 pages in 2-bank mode\r\n");
}

void save_prog_image() {
    // An existing image is opened without truncation and emptied only once
    // both addresses have been accepted, so that a refused save leaves it as
    // it was. Every write then goes to the end of the emptied file.
    FILE *stream = nullptr;
    std::string path;
    if (s3_fopen(&stream, "Dump to file: ", "a", "PROG", &path) < 0) return;
    if (stream == stdout) {
        std::fprintf(shell.operator_output, "Output file was not specified\r\n");
        return;
    }
    uint32_t start = 0, restart = 0;
    if (!read_image_address(&start,
                            "Start-address (SA): ", "Start address must be within 0-177777\r\n",
                            "Error, startaddr outside memory limits %7o - %7o\r\n") ||
        !read_image_address(&restart,
                            "Restart-address (RA): ", "Restart address must be within 0-177777\r\n",
                            "Error, restart address outside memory limits %7o - %7o\r\n")) {
        std::fclose(stream);
        return;
    }
    if (!host_set_stream_size(stream, 0)) {
        std::fprintf(shell.operator_output, "Error when writing to file: %d\r\n", errno);
        std::fclose(stream);
        return;
    }
    bool two_bank = image_state.two_bank_mode != 0;
    uint32_t header[PROG_HEADER_WORDS] = {};
    header[0] = start;
    header[1] = restart;
    if (two_bank) {
        header[2] = 0;
        header[3] = 0177777;
        header[4] = 0;
        header[5] = 0177777;
    } else {
        header[2] = machine.lower_limit;
        header[3] = machine.upper_limit;
        header[4] = NOT_TWO_BANK;
        header[5] = 0;
    }
    uint8_t header_bytes[PROG_HEADER_BYTES];
    for (uint32_t i = 0; i < PROG_HEADER_WORDS; ++i)
        put_big_endian(header_bytes + 2 * i, header[i]);
    bool written = std::fwrite(header_bytes, 1, sizeof header_bytes, stream) == sizeof header_bytes;
    if (written)
        written = two_bank ? write_page_table(stream, 0)
                           : write_program_words(stream, machine.lower_limit, machine.upper_limit);
    if (!written) {
        std::fprintf(shell.operator_output, "Error when writing to file: %d\r\n",
                     std::ferror(stream));
        std::fclose(stream);
        return;
    }
    std::fprintf(shell.operator_output, "Successfully saved program code to file\r\n");
    if (two_bank) save_two_bank_data(stream);
    std::fclose(stream);
}

void write_binary_page_table() {
    uint32_t page_table = 0;
    int bad_char = 0;
    int result = read_octal_argument(&page_table, 0, "\r\nWrite from page table: ", &bad_char);
    if (result == CONSOLE_EOF) return;
    if (result < 0) {
        std::fprintf(shell.operator_output, "Illegal char in number: %c\r\n", bad_char);
        return;
    }
    if (page_table > 3) {
        std::fprintf(shell.operator_output, "No such page table, 0,1,2,3 is available\r\n");
        return;
    }
    FILE *stream = nullptr;
    if (s3_fopen(&stream, "\r\nTo file: ", "wb", "BIN") < 0) return;
    if (!write_page_table(stream, page_table))
        std::fprintf(shell.operator_output, "Writing to file failed\r\n");
    if (stream != stdout) std::fclose(stream);
}

// One side of compare-images: its header and its words at their addresses.
struct ComparedImage {
    ProgHeader header;
    std::vector<uint16_t> words;
    bool read;
};

// Reads one image for compare-images. Returns false when the file could not
// be opened; the terminal device counts as that, since reading an image from
// it would swallow the operator's input.
static bool read_compared_image(int number, const char *prompt, ComparedImage *image,
                                FILE **stream_out) {
    FILE *stream = nullptr;
    if (s3_fopen(&stream, prompt, "rb", "PROG") < 0 || stream == stdin) return false;
    *stream_out = stream;
    image->words.assign(BANK_WORDS, 0);
    image->read = false;
    std::fprintf(shell.operator_output, "\r\nChecking file %d header validity\r\n", number);
    if (!read_header(stream, &image->header, false)) {
        std::fprintf(shell.operator_output, "\r\n");
        return true;
    }
    const ProgHeader &header = image->header;
    if (header.high_address < header.low_address) {
        std::fprintf(shell.operator_output, "\r\nError in file %d, lower > upper address: %7o %7o",
                     number, header.low_address, header.high_address);
    } else {
        std::fprintf(shell.operator_output, "\r\n File %d: Low/high/start/rstart=%7o %7o %7o %7o",
                     number, header.low_address, header.high_address, header.start_address,
                     header.restart_address);
        if (number == 1) std::fprintf(shell.operator_output, "\r\n");
        uint32_t count = header.high_address - header.low_address + 1;
        size_t got = read_words(stream, count);
        for (uint32_t i = 0; i < got / 2; ++i)
            image->words[header.low_address + i] =
                static_cast<uint16_t>(big_endian_word(byte_buffer + 2 * i));
        if (got / 2 < count)
            std::fprintf(shell.operator_output, "\r\nError when reading file %d image : %d", number,
                         std::ferror(stream));
        else
            image->read = true;
    }
    std::fprintf(shell.operator_output, "\r\n");
    return true;
}

void compare_prog_images() {
    ComparedImage first, second;
    FILE *first_stream = nullptr, *second_stream = nullptr;
    if (!read_compared_image(1, "ND image file 1:  ", &first, &first_stream)) return;
    if (!read_compared_image(2, "ND image file 2:  ", &second, &second_stream)) {
        std::fclose(first_stream);
        return;
    }
    FILE *out = shell.operator_output;
    if (first.read && second.read) {
        const ProgHeader &a = first.header;
        const ProgHeader &b = second.header;
        if (a.low_address != b.low_address) std::fprintf(out, "\r\nLower address differs");
        if (a.high_address != b.high_address) std::fprintf(out, "\r\nUpper address differs");
        if (a.start_address != b.start_address) std::fprintf(out, "\r\nStart address differs");
        if (a.restart_address != b.restart_address)
            std::fprintf(out, "\r\nRestart address differs");
        std::fprintf(out, "\r\n Comparing memory between %o and %o\r\n", a.low_address,
                     a.high_address);
        bool differed = false;
        for (uint32_t address = a.low_address; address <= a.high_address; ++address) {
            if (first.words[address] == second.words[address]) continue;
            differed = true;
            std::fprintf(out, "Diff at %7o: %7o %7o\r\n", address, first.words[address],
                         second.words[address]);
        }
        std::fprintf(out, differed ? "\r\n" : "Files are equal\r\n");
    } else {
        std::fprintf(out, "\r\n");
    }
    std::fclose(first_stream);
    std::fclose(second_stream);
}

// Level registers of a freshly started program: everything but P cleared.
static void clear_level_registers() {
    for (auto &block : machine.level_blocks)
        for (int r = 0; r < 8; ++r)
            if (r != R_P) block.r[r] = 0;
    machine.A = machine.D = machine.T = machine.X = machine.B = machine.L = 0;
    machine.STS = compose_sts(machine.current_level, 0);
}

void start_prog_image() {
    bool prompted = shell_line_ended();
    load_prog_image();
    if (!image_loaded) return;
    set_program_command_line(rest_after_argument(prompted));
    set_stdin_text();
    reset_terminal_for_program();
    clear_level_registers();
    run_loaded_program();
}
