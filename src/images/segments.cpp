#include "images/segments.h"

#include "cpu/machine.h"
#include "host/host.h"
#include "images/prog_image.h"
#include "shell/debug_aids.h"
#include "shell/settings.h"
#include "shell/shell.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

const char *const SEGMENT_DESCRIPTION_FILE = "./(SYSTEM)/SEGFILE.SIN3";
SegmentTable segment_table;

// A SegmentImage file never holds more than its header and two full banks;
// bytes beyond that could not be placed anywhere and are not read.
constexpr uint64_t SEGMENT_IMAGE_MAX_BYTES = 2 * (4 + 2 * static_cast<uint64_t>(BANK_WORDS));
constexpr size_t DESCRIPTION_LINE_LENGTH = 80;

std::string segment_image_path(uint32_t number) {
    char name[64];
    std::snprintf(name, sizeof name, "./(SYSTEM)/SEGFILE_%o.SGNO", number);
    return name;
}

void clear_segment_table() {
    for (auto &slot : segment_table.slots) {
        slot.number = 0;
        std::vector<uint16_t>().swap(slot.words);
    }
}

// One line of the description file: number, name and program file. `fields`
// counts how many of them the line yields, as a scanf of "%o %s %s" would.
struct DescriptionLine {
    int fields;
    uint32_t number;
    std::string name;
    std::string program_file;
};

// Reads one line of at most 80 characters (the rest of a longer line is
// dropped), bit 7 removed. Returns false at the end of the file.
static bool read_description_line(FILE *stream, std::string *line) {
    line->clear();
    int c;
    bool any = false;
    while ((c = std::fgetc(stream)) != EOF) {
        any = true;
        if (c == '\n') return true;
        if (line->size() < DESCRIPTION_LINE_LENGTH) line->push_back(static_cast<char>(c & 0177));
    }
    return any;
}

static DescriptionLine parse_description_line(const std::string &line) {
    DescriptionLine result{0, 0, "", ""};
    size_t i = 0;
    auto skip_space = [&] {
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i])))
            ++i;
    };
    auto take_word = [&](std::string *word) {
        skip_space();
        size_t start = i;
        while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i])))
            ++i;
        *word = line.substr(start, i - start);
        return !word->empty();
    };
    skip_space();
    size_t start = i;
    uint32_t number = 0;
    while (i < line.size() && line[i] >= '0' && line[i] <= '7') {
        number = (number * 8 + static_cast<uint32_t>(line[i] - '0')) & 037777777777u;
        ++i;
    }
    if (i == start) return result;
    result.number = number;
    result.fields = 1;
    if (!take_word(&result.name)) return result;
    result.fields = 2;
    if (!take_word(&result.program_file)) return result;
    result.fields = 3;
    return result;
}

// Calls `visit` for every line of the description file until it returns
// true. Returns false when the file cannot be opened.
template <typename Visit> static bool scan_description_file(Visit visit) {
    FILE *stream = std::fopen(SEGMENT_DESCRIPTION_FILE, "r");
    if (!stream) return false;
    std::string line;
    int line_number = 0;
    while (read_description_line(stream, &line)) {
        ++line_number;
        if (visit(parse_description_line(line), line_number)) break;
    }
    std::fclose(stream);
    return true;
}

static std::string upper_case(std::string text) {
    for (auto &c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

int find_segment_of_image(const std::string &path) {
    clear_segment_table();
    int found = -1;
    bool opened = scan_description_file([&](const DescriptionLine &line, int) {
        if (line.fields < 3) return false;
        if ("./(SYSTEM)/" + upper_case(line.program_file) + ".PROG" != path) return false;
        found = static_cast<int>(line.number);
        return true;
    });
    return opened ? found : -2;
}

int find_segment_by_name(const std::string &name) {
    int found = -1;
    bool opened = scan_description_file([&](const DescriptionLine &line, int) {
        if (line.fields < 3 || line.name != name) return false;
        found = static_cast<int>(line.number);
        return true;
    });
    return opened ? found : -2;
}

// Word `index` of a slot's SegmentImage; words the file lacks are zero.
static uint32_t slot_word(const SegmentSlot &slot, uint64_t index) {
    return index < slot.words.size() ? slot.words[index] : 0;
}

static void copy_segment_code(const SegmentSlot &slot) {
    uint32_t low = slot_word(slot, 0);
    uint32_t high = slot_word(slot, 1);
    uint32_t count = high >= low ? high - low + 1 : 0;
    for (uint32_t i = 0; i < count; ++i)
        write_normal(low + i, slot_word(slot, 4 + i));
    replant_breakpoint_in(low, count);
    if (settings.debug_level == 077) {
        std::printf("\nCopy prog code - lower/upper = %o/%o %o words", low, high, count);
        std::printf("\nFirst word:%o Last word: %o", slot_word(slot, 4),
                    count ? slot_word(slot, 4 + count - 1) : 0);
    }
}

static void copy_segment_data(const SegmentSlot &slot) {
    uint32_t low = slot_word(slot, 0);
    uint32_t high = slot_word(slot, 1);
    uint32_t data_low = slot_word(slot, 2);
    uint32_t data_high = slot_word(slot, 3);
    if (data_low == data_high) {
        std::printf("\nNo program data to copy\n");
        return;
    }
    uint64_t first = 4 + (high >= low ? high - low + 1 : 0);
    uint32_t count = data_high >= data_low ? data_high - data_low + 1 : 0;
    for (uint32_t i = 0; i < count; ++i)
        write_word(2, data_low + i, slot_word(slot, first + i));
    if (settings.debug_level == 077)
        std::printf("\nCopy prog data - lower/upper = %o/%o %o words", data_low, data_high, count);
    if (settings.debug_level == 0115)
        std::printf("\nFirst word:%o Last word: %o", slot_word(slot, first),
                    count ? slot_word(slot, first + count - 1) : 0);
}

int load_into_segment(uint32_t number) {
    for (const auto &slot : segment_table.slots) {
        if (slot.number != number || number == 0) continue;
        if (settings.debug_level == 077) std::printf("\nSegment loaded already - ");
        copy_segment_code(slot);
        return 0;
    }
    std::string path = segment_image_path(number);
    FILE *stream = std::fopen(path.c_str(), "rb");
    if (!stream) {
        std::printf("\nCan not open %s", path.c_str());
        return -1;
    }
    HostFileInfo info = host_file_info(path);
    if (!info.exists) {
        std::printf("\n%s\n", host_error_text().c_str());
        std::fclose(stream);
        return -1;
    }
    if (settings.debug_level == 077)
        std::printf("\nBytes in segfile: %o octal, %d decimal\n", static_cast<unsigned>(info.size),
                    static_cast<int>(info.size));
    SegmentSlot *free_slot = nullptr;
    for (auto &slot : segment_table.slots) {
        if (slot.number == 0) {
            free_slot = &slot;
            break;
        }
    }
    if (!free_slot) {
        std::printf("\nCan not load more segments!\n");
        std::fclose(stream);
        return -2;
    }
    free_slot->number = number;
    uint64_t size = std::min(info.size, SEGMENT_IMAGE_MAX_BYTES);
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    size_t got = std::fread(bytes.data(), 1, bytes.size(), stream);
    std::fclose(stream);
    free_slot->words.assign(got / 2, 0);
    for (size_t i = 0; i < got / 2; ++i)
        free_slot->words[i] = static_cast<uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    copy_segment_code(*free_slot);
    copy_segment_data(*free_slot);
    return 0;
}

void list_segments() {
    FILE *out = shell.operator_output;
    bool header_printed = false;
    bool opened = scan_description_file([&](const DescriptionLine &line, int line_number) {
        if (!header_printed) {
            std::fprintf(out, "\r\nSegno / name / progfile name\r\n");
            header_printed = true;
        }
        if (line.fields == 3)
            std::fprintf(out, "\r\n%o / %s / %s", line.number, line.name.c_str(),
                         line.program_file.c_str());
        else if (line.fields > 0)
            std::fprintf(out, "\r\n** Missing parameter in line %d", line_number);
        return false;
    });
    if (!opened) {
        std::fprintf(out, "\r\nCan not open %s", SEGMENT_DESCRIPTION_FILE);
        return;
    }
    if (!header_printed) std::fprintf(out, "\r\nSegno / name / progfile name\r\n");
    std::fprintf(out, "\r\n");
}

// Reads a segment number. Returns false (after the message) when it is bad,
// missing or the input ended.
static bool read_segment_number(uint32_t *number, const char *prompt) {
    constexpr uint32_t NOT_GIVEN = 0xFFFFFFFFu;
    int bad_char = 0;
    int result = read_octal_argument(number, NOT_GIVEN, prompt, &bad_char);
    if (result == CONSOLE_EOF) return false;
    if (result < 0 || *number == NOT_GIVEN) {
        std::fprintf(shell.operator_output, "\r\nNo default segment number!");
        return false;
    }
    return true;
}

void define_segment() {
    uint32_t number = 0;
    if (!read_segment_number(&number, "Segment number: ")) return;
    std::string name;
    int length = read_word_argument(&name, "", "Segment name: ");
    if (length == CONSOLE_EOF) return;
    FILE *out = shell.operator_output;
    if (length <= 0) {
        std::fprintf(out, "\r\nNo segment name specified");
        return;
    }
    name = upper_case(name);
    std::fprintf(out, "\r\nNB! Lower case letters converted to uppercase\r\n");
    bool number_used = false, name_used = false;
    bool opened = scan_description_file([&](const DescriptionLine &line, int) {
        if (line.fields == 3) {
            number_used = number_used || line.number == number;
            name_used = name_used || line.name == name;
        }
        return false;
    });
    if (!opened) {
        std::fprintf(out, "\r\n No segment description file defined %s", SEGMENT_DESCRIPTION_FILE);
        return;
    }
    if (number_used) {
        std::fprintf(out, "\r\nSegment number %o already in use!", number);
        return;
    }
    if (name_used) {
        std::fprintf(out, "\r\nSegment name already in use!");
        return;
    }
    FILE *stream = host_open_regular_file(SEGMENT_DESCRIPTION_FILE, "a+b");
    if (!stream) {
        std::fprintf(out, "\r\n No segment description file defined %s", SEGMENT_DESCRIPTION_FILE);
        return;
    }
    // The file is edited by hand: a last line left without its line end
    // would run on into the new line and lose both.
    bool ends_mid_line = std::fseek(stream, -1, SEEK_END) == 0 && std::fgetc(stream) != '\n';
    std::fseek(stream, 0, SEEK_END);
    if (ends_mid_line) std::fputs("\r\n", stream);
    std::fprintf(stream, "%o %s\r\n", number, name.c_str());
    std::fclose(stream);
}

void delete_segment() {
    std::fprintf(shell.operator_output, "\r\nThis command is not coded!\r\n");
    uint32_t number = 0;
    read_segment_number(&number, "Segment number: ");
}

// Writes the words `low`..`high` of a page table little-endian.
static bool write_segment_words(FILE *stream, uint32_t page_table, uint32_t low, uint32_t high) {
    if (high < low) return std::fflush(stream) == 0;
    std::vector<uint8_t> bytes;
    bytes.reserve(2 * (high - low + 1));
    for (uint32_t address = low; address <= high; ++address) {
        uint32_t word = read_word(page_table, address);
        bytes.push_back(static_cast<uint8_t>(word));
        bytes.push_back(static_cast<uint8_t>(word >> 8));
    }
    // Flushed, so that a write the host refuses is reported.
    return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size() &&
           std::fflush(stream) == 0;
}

void load_segment() {
    uint32_t number = 0;
    if (!read_segment_number(&number, "\r\nLoad to segment number: ")) return;
    // The segment image is made from the words of the file just loaded: when
    // that file is the segment's own program file, the segment's old image
    // must not be brought in over them.
    load_prog_image(SegmentCheck::KeepWords);
    if (!image_loaded) return;
    FILE *out = shell.operator_output;
    if (!image_state.two_bank_mode) std::fprintf(out, "\r\nProgram not 2-bank!\r\n");
    std::string path = segment_image_path(number);
    FILE *stream = host_open_regular_file(path, "wb");
    if (!stream) {
        std::fprintf(out, "\r\nCan not open %s", path.c_str());
        return;
    }
    uint32_t header[4] = {machine.lower_limit, machine.upper_limit, machine.two_bank_lower,
                          machine.two_bank_upper};
    uint8_t header_bytes[8];
    for (int i = 0; i < 4; ++i) {
        header_bytes[2 * i] = static_cast<uint8_t>(header[i]);
        header_bytes[2 * i + 1] = static_cast<uint8_t>(header[i] >> 8);
    }
    bool written =
        std::fwrite(header_bytes, 1, sizeof header_bytes, stream) == sizeof header_bytes &&
        write_segment_words(stream, 0, machine.lower_limit, machine.upper_limit);
    if (!written)
        std::fprintf(out, "\r\nError when writing to file: %d\r\n", std::ferror(stream));
    else if (!write_segment_words(stream, 2, machine.two_bank_lower, machine.two_bank_upper))
        std::fprintf(out, "\r\nError when writing to file: %d\r\n", std::ferror(stream));
    std::fclose(stream);
}
