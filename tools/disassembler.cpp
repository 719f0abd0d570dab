#include "disassembler.h"

#include "isa.h"

#include <cstdio>

namespace ndtools {

namespace {

std::string octal(int64_t value) {
    char buffer[32];
    if (value < 0)
        std::snprintf(buffer, sizeof buffer, "-%llo", static_cast<unsigned long long>(-value));
    else
        std::snprintf(buffer, sizeof buffer, "%llo", static_cast<unsigned long long>(value));
    return buffer;
}

std::string octal6(uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%06o", value & 0177777u);
    return buffer;
}

std::string label_name(uint16_t address) {
    return "L" + octal6(address);
}

std::string target_text(int displacement, uint16_t target, const std::set<uint16_t> *labels) {
    if (labels != nullptr && labels->count(target)) return label_name(target);
    if (displacement == 0) return "*";
    return displacement > 0 ? "*+" + octal(displacement) : "*-" + octal(-displacement);
}

std::string extra_text(uint16_t word, const InstructionForm &form) {
    uint16_t extra = word & form.ignored_mask;
    return extra ? " EXTRA " + octal(extra) : std::string();
}

const char *source_name(uint16_t word) {
    return source_registers[(word >> 3) & 7].name;
}
const char *destination_name(uint16_t word) {
    return destination_registers[word & 7].name;
}

std::string memory_text(uint16_t word, uint16_t address, const InstructionForm &form,
                        const std::set<uint16_t> *labels, Disassembled &out) {
    int displacement = sign_extend_8(word);
    std::string text = form.mnemonic;
    if (form.form == Form::cond_jump) {
        out.has_target = true;
        out.target = static_cast<uint16_t>(address + displacement);
        return text + " " + target_text(displacement, out.target, labels);
    }
    bool x = word & bit_X, i = word & bit_I, b = word & bit_B;
    if (i) text += " I";
    if (!b && (!x || i)) {
        out.has_target = true;
        out.target = static_cast<uint16_t>(address + displacement);
        text += " " + target_text(displacement, out.target, labels);
    } else {
        text += " " + octal(displacement);
    }
    if (b) text += ",B";
    if (x) text += ",X";
    return text;
}

std::string register_op_text(uint16_t word, const InstructionForm &form) {
    if (word == 0146142) return "EXIT";
    bool radd_family = (form.base & 0176000) == 0146000;
    uint16_t modifiers =
        word & (radd_family ? (bit_CM1 | bit_CLD | bit_AD1 | bit_ADC) : (bit_CM1 | bit_CLD));
    int source = (word >> 3) & 7;
    std::string name = form.mnemonic;
    uint16_t implied = 0;
    if (radd_family) {
        if (modifiers == bit_CLD) {
            name = source == 0 ? "RCLR" : "COPY";
            implied = bit_CLD;
        } else if (modifiers == (bit_CM1 | bit_AD1)) {
            name = "RSUB";
            implied = modifiers;
        } else if (modifiers == bit_AD1 && source == 0) {
            name = "RINC";
            implied = bit_AD1;
        } else if (modifiers == bit_CM1 && source == 0) {
            name = "RDCR";
            implied = bit_CM1;
        }
    }
    uint16_t shown = modifiers & ~implied;
    static constexpr Keyword modifier_names[] = {
        {"CM1", bit_CM1}, {"CLD", bit_CLD}, {"AD1", bit_AD1}, {"ADC", bit_ADC}};
    for (const Keyword &k : modifier_names)
        if (shown & k.bits) name += std::string(" ") + k.name;
    if (source != 0) name += std::string(" ") + source_name(word);
    if ((word & 7) != 0) name += std::string(" ") + destination_name(word);
    return name;
}

std::string skip_text(uint16_t word) {
    std::string text = "SKP IF";
    if (word & 7) text += std::string(" ") + destination_name(word);
    text += std::string(" ") + skip_conditions[(word >> 8) & 7].name;
    if (word & 070) text += std::string(" ") + source_name(word);
    return text;
}

std::string shift_text(uint16_t word, const InstructionForm &form) {
    std::string text = form.mnemonic;
    uint16_t mode = word & 03000;
    for (const Keyword &k : shift_modes)
        if (k.bits == mode) text += std::string(" ") + k.name;
    int count = word & 077;
    if (count >= 040) count -= 0100;
    text += count < 0 ? " SHR " + octal(-count) : " " + octal(count);
    return text + extra_text(word, form);
}

std::string bit_text(uint16_t word, const InstructionForm &form) {
    std::string text = form.mnemonic;
    if (form.fixed_mask == 0177000)
        text += std::string(" ") + bit_suboperations[(word >> 7) & 3].name;
    int bit = (word >> 3) & 017;
    int reg = word & 7;
    if (reg == 0 && bit < 8) return text + " " + status_bits[bit].name;
    return text + " " + octal(bit) + " " + destination_registers[reg].name;
}

std::string internal_text(uint16_t word, const InstructionForm &form) {
    int reg = word & 017;
    const char *name = form.register_names[reg];
    return std::string(form.mnemonic) + " " + (name ? std::string(name) : octal(reg)) +
           extra_text(word, form);
}

std::string iot_text(uint16_t word) {
    std::string text = "IOT";
    uint16_t function = word & 03400;
    if (function == 0) text += " SNI";
    for (const Keyword &k : iot_functions)
        if (function & k.bits) text += std::string(" ") + k.name;
    return text + " " + octal(word & 0377);
}

// The listing comment: address, the words, and the two characters of a
// one-word line when both are printable.
std::string comment_text(uint32_t address, const uint16_t *words, uint32_t size) {
    std::string text = "; " + octal6(address);
    for (uint32_t k = 0; k < size; ++k)
        text += " " + octal6(words[k]);
    if (size == 1) {
        int high = words[0] >> 8, low = words[0] & 0377;
        if (high >= 040 && high < 0177 && low >= 040 && low < 0177) {
            text += " \"";
            text += static_cast<char>(high);
            text += static_cast<char>(low);
            text += "\"";
        }
    }
    return text;
}

std::string source_line(const std::string &label, const std::string &text,
                        const std::string &comment) {
    std::string line = label.empty() ? std::string() : label + ":";
    line.resize(10, ' ');
    line += text;
    if (!comment.empty()) {
        if (line.size() < 40)
            line.resize(40, ' ');
        else
            line += ' ';
        line += comment;
    }
    return line + "\n";
}

struct Line {
    uint32_t address = 0;
    uint32_t size = 1;
    bool block = false; // a run of zero words written as BLOCK
    Disassembled decoded;
};

constexpr uint32_t shortest_zero_run = 4;

// Cuts low..high into lines. code: decode instructions; otherwise WORD.
// skip_zero_runs: runs of zeros are left out (the bank is filled with
// zeros anyway) instead of being written as BLOCK.
std::vector<Line> lay_out(const std::vector<uint16_t> &words, uint32_t low, uint32_t high,
                          bool code, bool skip_zero_runs) {
    std::vector<Line> lines;
    uint32_t a = low;
    while (a <= high) {
        uint32_t run = 0;
        while (a + run <= high && words[a + run] == 0)
            ++run;
        if (run >= shortest_zero_run || (skip_zero_runs && run > 0 && a + run > high)) {
            if (!skip_zero_runs) {
                Line line;
                line.address = a;
                line.size = run;
                line.block = true;
                lines.push_back(line);
            }
            a += run;
            continue;
        }
        Line line;
        line.address = a;
        if (code) {
            line.decoded = disassemble(&words[a], high - a + 1, static_cast<uint16_t>(a));
        } else {
            line.decoded.text = "WORD " + octal(words[a]);
        }
        line.size = line.decoded.size;
        lines.push_back(line);
        a += line.size;
    }
    return lines;
}

// Targets of P-relative operands that start a line get labels; a target
// inside a BLOCK splits the block there.
std::set<uint16_t> place_labels(std::vector<Line> &lines) {
    std::set<uint16_t> targets;
    for (const Line &line : lines)
        if (!line.block && line.decoded.has_target) targets.insert(line.decoded.target);
    std::vector<Line> split;
    for (const Line &line : lines) {
        if (!line.block) {
            split.push_back(line);
            continue;
        }
        uint32_t start = line.address, end = line.address + line.size;
        auto it = targets.upper_bound(static_cast<uint16_t>(start));
        while (it != targets.end() && *it<end && * it> start) {
            Line piece = line;
            piece.address = start;
            piece.size = *it - start;
            split.push_back(piece);
            start = *it;
            ++it;
        }
        Line rest = line;
        rest.address = start;
        rest.size = end - start;
        split.push_back(rest);
    }
    lines = std::move(split);
    std::set<uint16_t> labels;
    for (const Line &line : lines)
        if (targets.count(static_cast<uint16_t>(line.address)))
            labels.insert(static_cast<uint16_t>(line.address));
    return labels;
}

void write_lines(std::string &out, const std::vector<Line> &lines,
                 const std::vector<uint16_t> &words, const std::set<uint16_t> *labels,
                 uint32_t origin, bool code) {
    uint32_t expected = origin;
    bool first = true;
    for (const Line &line : lines) {
        if (first || line.address != expected)
            out += source_line("", "ORG " + octal(line.address), "");
        first = false;
        std::string label;
        if (labels != nullptr && labels->count(static_cast<uint16_t>(line.address)))
            label = label_name(static_cast<uint16_t>(line.address));
        if (line.block) {
            out += source_line(label, "BLOCK " + octal(line.size),
                               "; " + octal6(line.address) + "-" +
                                   octal6(line.address + line.size - 1) + " zero");
        } else {
            std::string text = line.decoded.text;
            if (code && labels != nullptr)
                text = disassemble(&words[line.address], line.size,
                                   static_cast<uint16_t>(line.address), labels)
                           .text;
            out += source_line(label, text,
                               comment_text(line.address, &words[line.address], line.size));
        }
        expected = line.address + line.size;
    }
}

} // namespace

Disassembled disassemble(const uint16_t *words, size_t available, uint16_t address,
                         const std::set<uint16_t> *labels) {
    Disassembled out;
    uint16_t word = words[0];
    const InstructionForm *form = decode_instruction(word);
    if (form == nullptr || (form->form == Form::stack && available < 1u + form->parameter_words)) {
        out.defined = form != nullptr;
        out.text = "WORD " + octal(word);
        return out;
    }
    std::string name = form->mnemonic;
    switch (form->form) {
    case Form::memory:
    case Form::cond_jump:
        out.text = memory_text(word, address, *form, labels, out);
        break;
    case Form::register_op:
        out.text = register_op_text(word, *form);
        break;
    case Form::skip:
        out.text = skip_text(word);
        break;
    case Form::execute:
        out.text = name + " " + source_name(word) + extra_text(word, *form);
        break;
    case Form::divide:
    case Form::multiply:
        out.text = name;
        if (word & 070) out.text += std::string(" ") + source_name(word);
        if (form->form == Form::multiply && (word & 7))
            out.text += std::string(" ") + destination_name(word);
        out.text += extra_text(word, *form);
        break;
    case Form::shift:
        out.text = shift_text(word, *form);
        break;
    case Form::bit_op:
        out.text = bit_text(word, *form);
        break;
    case Form::argument:
    case Form::scale:
        out.text = name + " " + octal(sign_extend_8(word));
        break;
    case Form::plain:
        out.text = name;
        break;
    case Form::byte_operand: {
        uint16_t value = word & form->operand_max;
        out.text = form->optional_operand && value == 0 ? name : name + " " + octal(value);
        break;
    }
    case Form::internal_reg:
        out.text = internal_text(word, *form);
        break;
    case Form::level_reg:
        out.text = name + " " + octal((word >> 3) & 017) + " " + destination_name(word);
        break;
    case Form::io_transfer:
        out.text = iot_text(word);
        break;
    case Form::stack:
        out.text = name;
        for (uint32_t k = 1; k <= form->parameter_words; ++k)
            out.text += (k == 1 ? " " : ", ") + octal(words[k]);
        out.size = 1u + form->parameter_words;
        break;
    }
    return out;
}

std::string disassemble_image(const LoadedImage &image, const std::string &name) {
    std::string out = "; Disassembly of " + name + " by nd-dis\n";
    if (image.kind == ImageKind::bpun) {
        out += "; :BPUN image, words " + octal6(image.low) + "-" + octal6(image.high) + ", start " +
               octal6(image.start) + "; assemble with nd-asm --bpun\n";
        if (image.checksum_found != image.checksum_computed)
            out += "; the checksum in the file, " + octal6(image.checksum_found) +
                   ", differs from the sum of the words, " + octal6(image.checksum_computed) + "\n";
    } else if (image.two_bank) {
        out += "; :PROG image in 2-bank mode, start " + octal6(image.start) + "\n";
    } else {
        out += "; :PROG image, words " + octal6(image.low) + "-" + octal6(image.high) + ", start " +
               octal6(image.start) + "\n";
    }
    out += source_line("", "START " + octal(image.start), "");
    if (image.restart != image.start) out += source_line("", "RESTART " + octal(image.restart), "");
    if (image.kind == ImageKind::bpun && image.action != 0)
        out += source_line("", "ACTION " + octal(image.action), "");
    std::vector<Line> lines = lay_out(image.program, image.low, image.high, true, image.two_bank);
    std::set<uint16_t> labels = place_labels(lines);
    write_lines(out, lines, image.program, &labels, image.low, true);
    if (image.two_bank) {
        out += source_line("", "BANK DATA", "");
        std::vector<Line> data = lay_out(image.data, 0, 0177777, false, true);
        write_lines(out, data, image.data, nullptr, 0, false);
    }
    return out;
}

std::string disassemble_range(const std::vector<uint16_t> &bank, uint16_t low, uint16_t high) {
    std::string out;
    if (bank.size() != 0200000u || low > high) return out;
    std::vector<Line> lines = lay_out(bank, low, high, true, false);
    std::set<uint16_t> labels = place_labels(lines);
    write_lines(out, lines, bank, &labels, low, true);
    return out;
}

std::string disassemble_words(const std::vector<uint16_t> &words, uint16_t origin) {
    std::string out = source_line("", "ORG " + octal(origin), "");
    size_t k = 0;
    while (k < words.size()) {
        uint32_t address = (origin + k) & 0177777u;
        Disassembled d = disassemble(&words[k], words.size() - k, static_cast<uint16_t>(address));
        out += source_line("", d.text, comment_text(address, &words[k], d.size));
        k += d.size;
    }
    return out;
}

} // namespace ndtools
