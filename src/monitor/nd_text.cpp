#include "monitor/nd_text.h"

#include "cpu/machine.h"

std::string read_nd_text(uint32_t address, size_t max_chars, bool stop_at_apostrophe) {
    std::string text;
    for (size_t i = 0; i < max_chars; ++i) {
        char c = static_cast<char>(read_data_byte(address, static_cast<uint32_t>(i)));
        if (stop_at_apostrophe && c == '\'')
            break;
        text.push_back(c);
    }
    return text;
}

void write_nd_text(uint32_t address, const std::string &text, size_t length, char pad) {
    for (size_t i = 0; i < length; ++i) {
        char c = i < text.size() ? text[i] : pad;
        write_data_byte(address, static_cast<uint32_t>(i), static_cast<unsigned char>(c));
    }
}
