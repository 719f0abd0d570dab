// nd-dis: disassembles a :PROG or :BPUN image, or loose octal words, into
// source that nd-asm assembles back to the same words.
#include "disassembler.h"
#include "output_file.h"
#include "prog_format.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

void usage(FILE *stream) {
    std::fputs("usage: nd-dis IMAGE [-o SOURCE] [--prog | --bpun]\n"
               "       nd-dis --words [--org ADDRESS] [WORD ...]\n"
               "  IMAGE         a :PROG or :BPUN image (the kind is recognised)\n"
               "  --prog, --bpun  read the image as that kind only\n"
               "  -o SOURCE     write the source there instead of to standard output\n"
               "  --words       disassemble octal words from the command line, or from\n"
               "                standard input when none are given\n"
               "  --org ADDRESS the address of the first word (octal, default 0)\n",
               stream);
}

bool parse_octal_word(const std::string &text, uint16_t &value) {
    if (text.empty() || text.size() > 6) return false;
    uint32_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '7') return false;
        v = v * 8 + static_cast<uint32_t>(c - '0');
    }
    if (v > 0177777) return false;
    value = static_cast<uint16_t>(v);
    return true;
}

bool ends_with_bpun(const std::string &path) {
    if (path.size() < 5) return false;
    std::string tail = path.substr(path.size() - 5);
    for (char &c : tail)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return tail == ".BPUN";
}

int write_output(const std::string &path, const std::string &text) {
    if (path.empty()) {
        std::fputs(text.c_str(), stdout);
        return 0;
    }
    std::string error;
    if (ndtools::write_output_file(path, text.data(), text.size(), error)) return 0;
    std::fprintf(stderr, "nd-dis: cannot write %s: %s\n", path.c_str(), error.c_str());
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    std::string image_path, output_path;
    bool words_mode = false, force_prog = false, force_bpun = false;
    uint16_t origin = 0;
    std::vector<std::string> word_args;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-o" || arg == "--org") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "nd-dis: %s needs a value\n", arg.c_str());
                return 2;
            }
            std::string value = argv[++i];
            if (arg == "-o") {
                output_path = value;
            } else if (!parse_octal_word(value, origin)) {
                std::fprintf(stderr, "nd-dis: --org needs an octal address 0-177777\n");
                return 2;
            }
        } else if (arg == "--words") {
            words_mode = true;
        } else if (arg == "--prog") {
            force_prog = true;
        } else if (arg == "--bpun") {
            force_bpun = true;
        } else if (arg == "-h" || arg == "--help") {
            usage(stdout);
            return 0;
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "nd-dis: unknown option %s\n", arg.c_str());
            usage(stderr);
            return 2;
        } else if (words_mode) {
            word_args.push_back(arg);
        } else if (image_path.empty()) {
            image_path = arg;
        } else {
            std::fprintf(stderr, "nd-dis: more than one image given\n");
            return 2;
        }
    }
    if (words_mode) {
        if (word_args.empty()) {
            std::string token;
            while (std::cin >> token)
                word_args.push_back(token);
        }
        std::vector<uint16_t> words;
        for (const std::string &text : word_args) {
            uint16_t w = 0;
            if (!parse_octal_word(text, w)) {
                std::fprintf(stderr, "nd-dis: '%s' is not an octal word 0-177777\n", text.c_str());
                return 2;
            }
            words.push_back(w);
        }
        return write_output(output_path, ndtools::disassemble_words(words, origin));
    }
    if (image_path.empty() || (force_prog && force_bpun)) {
        usage(stderr);
        return 2;
    }
    std::ifstream in(image_path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "nd-dis: cannot read %s: %s\n", image_path.c_str(),
                     std::strerror(errno));
        return 2;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    ndtools::LoadedImage image;
    std::string error;
    bool ok = force_prog   ? ndtools::read_prog_image(bytes, image, error)
              : force_bpun ? ndtools::read_bpun_image(bytes, image, error)
                           : ndtools::read_image(bytes, ends_with_bpun(image_path), image, error);
    if (!ok) {
        std::fprintf(stderr, "nd-dis: %s: %s\n", image_path.c_str(), error.c_str());
        return 1;
    }
    if (image.kind == ndtools::ImageKind::bpun && image.checksum_found != image.checksum_computed)
        std::fprintf(stderr,
                     "nd-dis: %s: warning: checksum %06o in the file, the words sum to %06o\n",
                     image_path.c_str(), image.checksum_found, image.checksum_computed);
    return write_output(output_path, ndtools::disassemble_image(image, image_path));
}
