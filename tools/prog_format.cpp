#include "prog_format.h"

#include <cstdio>

namespace ndtools {

namespace {

void put_word(std::vector<uint8_t> &out, uint16_t word) {
    out.push_back(static_cast<uint8_t>(word >> 8));
    out.push_back(static_cast<uint8_t>(word & 0377));
}

uint16_t get_word(const std::vector<uint8_t> &bytes, size_t offset) {
    return static_cast<uint16_t>(bytes[offset] << 8 | bytes[offset + 1]);
}

std::string octal6(uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%06o", value & 0177777u);
    return buffer;
}

// The program-bank words low..high of a one-block image; unset words are 0.
bool program_range(const Program &program, uint32_t &low, uint32_t &high, std::string &error) {
    if (program.program.empty()) {
        error = "the program bank holds no words";
        return false;
    }
    low = program.program.low();
    high = program.program.high();
    return true;
}

} // namespace

std::vector<uint8_t> make_prog_image(const Program &program, std::string &error) {
    std::vector<uint8_t> out;
    uint32_t low = 0, high = 0177777;
    if (!program.two_bank && !program_range(program, low, high, error)) return out;
    out.reserve(program.two_bank ? prog_data_offset + 2 * 65536
                                 : prog_header_bytes + 2 * (high - low + 1));
    put_word(out, program.start);
    put_word(out, program.restart);
    put_word(out, static_cast<uint16_t>(low));
    put_word(out, static_cast<uint16_t>(high));
    put_word(out, program.two_bank ? 0 : 0177777);
    put_word(out, program.two_bank ? 0177777 : 0);
    out.resize(prog_header_bytes, 0);
    for (uint32_t a = low; a <= high; ++a)
        put_word(out, program.program.words[a]);
    if (program.two_bank)
        for (uint32_t a = 0; a <= 0177777; ++a)
            put_word(out, program.data.words[a]);
    return out;
}

std::vector<uint8_t> make_bpun_image(const Program &program, std::string &error) {
    std::vector<uint8_t> out;
    if (program.two_bank) {
        error = "a :BPUN image holds one bank only; this program uses BANK DATA";
        return out;
    }
    uint32_t low = 0, high = 0;
    if (!program_range(program, low, high, error)) return out;
    uint32_t count = high - low + 1;
    if (count > 0177777) {
        error = "a :BPUN block holds at most 177777 words";
        return out;
    }
    char preamble[32];
    std::snprintf(preamble, sizeof preamble, "%o\r\n!", program.start);
    for (const char *p = preamble; *p; ++p)
        out.push_back(static_cast<uint8_t>(*p));
    put_word(out, static_cast<uint16_t>(low));
    put_word(out, static_cast<uint16_t>(count));
    uint16_t sum = 0;
    for (uint32_t a = low; a <= high; ++a) {
        put_word(out, program.program.words[a]);
        sum = static_cast<uint16_t>(sum + program.program.words[a]);
    }
    put_word(out, sum);
    put_word(out, program.action);
    return out;
}

namespace {

// exact: the file must end where the header says.
bool read_prog(const std::vector<uint8_t> &bytes, bool exact, LoadedImage &image,
               std::string &error) {
    if (bytes.size() < prog_header_bytes) {
        error = "shorter than the 512-byte :PROG header";
        return false;
    }
    LoadedImage result;
    result.kind = ImageKind::prog;
    result.start = get_word(bytes, 0);
    result.restart = get_word(bytes, 2);
    result.low = get_word(bytes, 4);
    result.high = get_word(bytes, 6);
    uint16_t data_low = get_word(bytes, 8);
    uint16_t data_high = get_word(bytes, 10);
    if (result.high < result.low) {
        error = "header: low address " + octal6(result.low) + " above high address " +
                octal6(result.high);
        return false;
    }
    size_t program_end = prog_header_bytes + 2 * size_t{result.high - result.low + 1};
    if (bytes.size() < program_end) {
        error = "the file ends inside the program words its header promises";
        return false;
    }
    size_t end = program_end;
    if (data_low != 0177777) {
        if (data_high < data_low) {
            error = "header: 2-bank data low " + octal6(data_low) + " above data high " +
                    octal6(data_high);
            return false;
        }
        if (program_end > prog_data_offset) {
            error = "the program words overlap the 2-bank data part";
            return false;
        }
        end = prog_data_offset + 2 * size_t{uint32_t{data_high} - data_low + 1};
        if (bytes.size() < end) {
            error = "the file ends inside the 2-bank data words its header promises";
            return false;
        }
        result.two_bank = true;
        result.data_low = data_low;
        result.data_high = data_high;
        result.data.assign(65536, 0);
        for (uint32_t a = data_low; a <= data_high; ++a)
            result.data[a] = get_word(bytes, prog_data_offset + 2 * size_t{a - data_low});
    }
    if (exact && bytes.size() != end) {
        error = "the file is longer than its header says";
        return false;
    }
    for (uint32_t a = result.low; a <= result.high; ++a)
        result.program[a] = get_word(bytes, prog_header_bytes + 2 * size_t{a - result.low});
    image = std::move(result);
    return true;
}

} // namespace

bool read_prog_image(const std::vector<uint8_t> &bytes, LoadedImage &image, std::string &error) {
    return read_prog(bytes, false, image, error);
}

bool read_bpun_image(const std::vector<uint8_t> &bytes, LoadedImage &image, std::string &error) {
    LoadedImage result;
    result.kind = ImageKind::bpun;
    size_t i = 0;
    uint32_t number = 0, start = 0;
    for (;; ++i) {
        if (i >= bytes.size()) {
            error = "no '!' ends the :BPUN preamble";
            return false;
        }
        uint8_t c = bytes[i] & 0177;
        if (c == '!') break;
        if (c >= '0' && c <= '7') number = (number * 8 + (c - '0')) & 0177777;
        if (c == '\n') {
            start = number;
            number = 0;
        }
    }
    ++i;
    if (bytes.size() < i + 4) {
        error = "the :BPUN file ends before its load address and word count";
        return false;
    }
    uint32_t load = get_word(bytes, i);
    uint32_t count = get_word(bytes, i + 2);
    i += 4;
    if (bytes.size() < i + 2 * size_t{count} + 4) {
        error = "the :BPUN file ends before its words, checksum and action code";
        return false;
    }
    if (count == 0) {
        error = "the :BPUN block holds no words";
        return false;
    }
    if (load + count > 0200000) {
        error = "the :BPUN words run past address 177777";
        return false;
    }
    uint16_t sum = 0;
    for (uint32_t k = 0; k < count; ++k) {
        uint16_t w = get_word(bytes, i + 2 * size_t{k});
        result.program[load + k] = w;
        sum = static_cast<uint16_t>(sum + w);
    }
    i += 2 * size_t{count};
    result.checksum_found = get_word(bytes, i);
    result.checksum_computed = sum;
    result.action = get_word(bytes, i + 2);
    result.start = static_cast<uint16_t>(start);
    result.restart = result.start;
    result.low = load;
    result.high = load + count - 1;
    image = std::move(result);
    return true;
}

bool read_image(const std::vector<uint8_t> &bytes, bool prefer_bpun, LoadedImage &image,
                std::string &error) {
    std::string prog_error, bpun_error;
    if (prefer_bpun && read_bpun_image(bytes, image, bpun_error)) return true;
    if (read_prog(bytes, true, image, prog_error)) return true;
    if (!prefer_bpun && read_bpun_image(bytes, image, bpun_error)) return true;
    if (read_prog(bytes, false, image, prog_error)) return true;
    error = "neither a :PROG image (" + prog_error + ") nor a :BPUN image (" + bpun_error + ")";
    return false;
}

} // namespace ndtools
