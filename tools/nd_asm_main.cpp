// nd-asm: assembles ND-100 source into a :PROG or :BPUN image.
#include "assembler.h"
#include "output_file.h"
#include "prog_format.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

void usage(FILE *stream) {
    std::fputs("usage: nd-asm SOURCE -o IMAGE [--bpun] [--listing | -l LISTING] [-M DEPFILE]\n"
               "       nd-asm SOURCE --listing | -l LISTING\n"
               "  -o IMAGE      the image to write (a :PROG image unless --bpun); without it\n"
               "                only the listing is made\n"
               "  --bpun        write a :BPUN binary image instead\n"
               "  --listing     print the listing (address, octal word, source line)\n"
               "  -l LISTING    write the listing to the file LISTING\n"
               "  -M DEPFILE    write a make rule: the image depends on the source and\n"
               "                on every file it includes\n",
               stream);
}

// A file name in a make rule: spaces, # and $ escaped.
std::string make_escaped(const std::string &name) {
    std::string out;
    for (char c : name) {
        if (c == ' ' || c == '#') out += '\\';
        if (c == '$') out += '$';
        out += c;
    }
    return out;
}

// Writes an output file; false after the message.
bool write_file(const std::string &path, const void *data, size_t size) {
    std::string error;
    if (ndtools::write_output_file(path, data, size, error)) return true;
    std::fprintf(stderr, "nd-asm: cannot write %s: %s\n", path.c_str(), error.c_str());
    return false;
}

} // namespace

int main(int argc, char **argv) {
    std::string source_path, image_path, listing_path, depfile_path;
    bool bpun = false, print_listing = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-o" || arg == "-l" || arg == "-M") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "nd-asm: %s needs a file name\n", arg.c_str());
                return 2;
            }
            (arg == "-o" ? image_path : arg == "-l" ? listing_path : depfile_path) = argv[++i];
        } else if (arg == "--bpun") {
            bpun = true;
        } else if (arg == "--listing") {
            print_listing = true;
        } else if (arg == "-h" || arg == "--help") {
            usage(stdout);
            return 0;
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "nd-asm: unknown option %s\n", arg.c_str());
            usage(stderr);
            return 2;
        } else if (source_path.empty()) {
            source_path = arg;
        } else {
            std::fprintf(stderr,
                         "nd-asm: more than one source file given (%s and %s); the image is "
                         "named with -o\n",
                         source_path.c_str(), arg.c_str());
            return 2;
        }
    }
    bool listing_only = image_path.empty() && (print_listing || !listing_path.empty());
    if (!depfile_path.empty() && image_path.empty()) {
        std::fprintf(stderr, "nd-asm: -M writes a rule for the image: name it with -o\n");
        return 2;
    }
    if (source_path.empty() || (image_path.empty() && !listing_only)) {
        if (!source_path.empty())
            std::fprintf(stderr, "nd-asm: no image file named: give it with -o, such as -o "
                                 "PROG.PROG, or ask for --listing\n");
        else if (argc > 1)
            std::fprintf(stderr, "nd-asm: no source file named\n");
        usage(stderr);
        return 2;
    }
    for (const std::string *output : {&image_path, &listing_path, &depfile_path}) {
        std::error_code ec;
        if (!output->empty() && std::filesystem::equivalent(source_path, *output, ec)) {
            std::fprintf(stderr, "nd-asm: %s is the source file; choose another output name\n",
                         output->c_str());
            return 2;
        }
    }
    std::string source;
    if (!ndtools::read_source_file(source_path, source)) {
        std::fprintf(stderr, "nd-asm: cannot read %s: %s\n", source_path.c_str(),
                     std::strerror(errno));
        return 2;
    }
    ndtools::AssemblyResult result = ndtools::assemble(source, source_path);
    for (const ndtools::Diagnostic &d : result.errors)
        std::fprintf(stderr, "%s\n", ndtools::format_diagnostic(d).c_str());
    // After a failure no image stands under the output name, not even one
    // left by an earlier run, so that nothing can take it for the result.
    if (!result.ok()) {
        if (!image_path.empty()) ndtools::remove_stale_output(image_path);
        std::fprintf(stderr, "nd-asm: %zu error%s; no image written\n", result.errors.size(),
                     result.errors.size() == 1 ? "" : "s");
        return 1;
    }
    if (!image_path.empty()) {
        std::string error;
        std::vector<uint8_t> image = bpun ? ndtools::make_bpun_image(result.program, error)
                                          : ndtools::make_prog_image(result.program, error);
        if (image.empty()) {
            ndtools::remove_stale_output(image_path);
            std::fprintf(stderr, "%s: error: %s; no image written\n", source_path.c_str(),
                         error.c_str());
            return 1;
        }
        if (!write_file(image_path, image.data(), image.size())) return 2;
    }
    if (print_listing) std::fputs(result.listing.c_str(), stdout);
    if (!listing_path.empty() &&
        !write_file(listing_path, result.listing.data(), result.listing.size()))
        return 2;
    if (!depfile_path.empty()) {
        std::string rule = make_escaped(image_path) + ": " + make_escaped(source_path);
        for (const std::string &included : result.included)
            rule += " \\\n  " + make_escaped(included);
        rule += "\n";
        if (!write_file(depfile_path, rule.data(), rule.size())) return 2;
    }
    return 0;
}
