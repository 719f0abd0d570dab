#include "images/bpun.h"

#include "console/terminal.h"
#include "cpu/machine.h"
#include "filesystem/file_names.h"
#include "images/prog_image.h"
#include "shell/debug_aids.h"
#include "shell/shell.h"

// Echo of a preamble byte (bit 7 already removed): printable characters, CR
// and LF as they are, NUL as the code-page-850 character 167, anything else
// as "?".
static void echo_preamble_byte(FILE *out, int byte) {
    if ((byte >= 32 && byte <= 126) || byte == '\r' || byte == '\n') {
        std::fprintf(out, "%c", byte);
    } else if (byte == 0) {
        char glyph[4];
        int length = cp850_to_utf8(167, glyph);
        std::fwrite(glyph, 1, static_cast<size_t>(length), out);
    } else {
        std::fprintf(out, "?");
    }
}

// One big-endian word; false at the end of the file.
static bool read_bpun_word(FILE *stream, uint32_t *word) {
    int high = std::fgetc(stream);
    if (high == EOF) return false;
    int low = std::fgetc(stream);
    if (low == EOF) return false;
    *word = (static_cast<uint32_t>(high) << 8) | static_cast<uint32_t>(low);
    return true;
}

// The preamble up to and including "!": echoed, and the start address taken
// from the last line ended by LF. False when the file ends first.
static bool read_preamble(FILE *stream, FILE *out, uint32_t *start_address) {
    uint32_t number = 0;
    *start_address = 0;
    for (;;) {
        int c = std::fgetc(stream);
        if (c == EOF) return false;
        c &= 0177;
        echo_preamble_byte(out, c);
        if (c == '!') {
            std::fprintf(out, "\r\nFound end of preamble (!)");
            return true;
        }
        if (c >= '0' && c <= '7') {
            number = (8 * number + static_cast<uint32_t>(c - '0')) & WORD_MASK;
        } else if (c == '\n') {
            *start_address = number;
            number = 0;
        }
    }
}

void place_binary() {
    FILE *stream = nullptr;
    if (s3_fopen(&stream, "\r\nPlace binary file: ", "rb", "BPUN") < 0) return;
    if (stream == stdin) return;
    place_binary_stream(stream);
}

bool place_binary_stream(FILE *stream) {
    FILE *out = shell.operator_output;
    uint32_t start_address = 0, load_address = 0, count = 0;
    if (!read_preamble(stream, out, &start_address) || !read_bpun_word(stream, &load_address)) {
        std::fclose(stream);
        return false;
    }
    std::fprintf(out, "\r\nLoad start address is %o", load_address);
    if (!read_bpun_word(stream, &count)) {
        std::fclose(stream);
        return false;
    }
    std::fprintf(out, "\r\nData word count is %o", count);

    // Words are stored up to address 177777 and no further: page table 0
    // ends there, and a block that would run past it is cut.
    uint32_t sum = 0, stored = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t word = 0;
        if (!read_bpun_word(stream, &word)) {
            std::fprintf(out, "\r\nError when reading program data");
            replant_breakpoint_in(load_address, stored);
            std::fclose(stream);
            return false;
        }
        sum = (sum + word) & WORD_MASK;
        if (load_address + i > WORD_MASK) {
            if (load_address + i == BANK_WORDS)
                std::fprintf(out, "\r\nWords beyond address 177777 not loaded");
            continue;
        }
        write_normal(load_address + i, word);
        ++stored;
    }
    replant_breakpoint_in(load_address, stored);
    uint32_t checksum = 0;
    if (!read_bpun_word(stream, &checksum)) {
        std::fclose(stream);
        return false;
    }
    std::fprintf(out, "\r\nChecksum found in file is %o", checksum);
    std::fprintf(out, "\r\nMy calculated checksum is %o", sum);
    std::fprintf(out, "\r\nStart address is %o", start_address);

    machine.P = start_address;
    machine.lower_limit = load_address;
    machine.upper_limit = stored > 0 ? load_address + stored - 1 : load_address;
    std::fprintf(out, "\r\nLower/upper address set to %o/%o\n", machine.lower_limit,
                 machine.upper_limit);
    image_state.two_bank_mode = 0;
    machine.apt_offset = 0;

    uint32_t action = 0;
    if (read_bpun_word(stream, &action)) std::fprintf(out, "\r\nAction is %o\n", action);
    std::fclose(stream);
    return true;
}
