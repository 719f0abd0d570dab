// ND file-name normalisation and resolution: the input (after a first byte
// that chooses the open mode and default type) is an ND file name, given to
// each name function and to s3_fopen. Every host path a resolution returns
// must be ./(USER)/NAME.TYPE with no path separator in USER or NAME.TYPE.
#include "fuzz_support.h"

#include "filesystem/file_names.h"
#include "filesystem/users.h"
#include "operator/operator_channel.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

namespace {

void check_host_path(const char *what, const std::string &name, const std::string &path) {
    std::string text = path;
    if (!text.empty() && text[0] == '"') text.erase(0, 1);
    bool good = text.rfind("./(", 0) == 0;
    size_t close = good ? text.find(")/", 3) : std::string::npos;
    good = good && close != std::string::npos;
    if (good) {
        std::string user = text.substr(3, close - 3);
        std::string file = text.substr(close + 2);
        good = user.find('/') == std::string::npos && file.find('/') == std::string::npos &&
               file != "." && file != ".." && !file.empty();
    }
    if (!good) {
        std::fprintf(stderr, "\n*** %s(\"%s\") gave the host path \"%s\"\n", what, name.c_str(),
                     path.c_str());
        std::abort();
    }
}

void make_fixtures() {
    const char *users[] = {"(USER-A)", "(USER-B)", "(AB)", "(A-LONG-USER-NAME)"};
    for (const char *user : users)
        mkdir((fuzz_tree() + "/" + user).c_str(), 0777);
    const char *files[] = {"(SYSTEM)/PROGRAM.PROG",  "(SYSTEM)/PROGRAM.SYMB",
                           "(SYSTEM)/TERMINAL.SYMB", "(EMULATOR)/ABC.DATA",
                           "(EMULATOR)/ABD.DATA",    "(USER-A)/FILE-ONE.SYMB",
                           "(USER-A)/FILE-TWO.SYMB", "(AB)/X.Y"};
    for (const char *file : files)
        fuzz_write_file(file, reinterpret_cast<const uint8_t *>("x"), 1);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    FuzzInput input;
    make_fixtures();
    scan_users();
    uint8_t choice = data[0];
    std::string name(reinterpret_cast<const char *>(data + 1), size - 1);

    std::string out;
    normalise_name(name, &out);
    user_of_name(name, &out);
    name_part_length(name);
    std::string typed = add_default_type(name, (choice & 1) ? "SYMB" : ".PROG");

    std::string path;
    if (deabb(name, &path) == NAME_RESOLVED) check_host_path("deabb", name, path);
    if (deabb(typed, &path) == NAME_RESOLVED) check_host_path("deabb", typed, path);
    if (deabb_user(name, &path, user_table.current_user_name) == NAME_RESOLVED)
        check_host_path("deabb_user", name, path);
    if (deabb_user(typed, &path, "SYSTEM") == NAME_RESOLVED)
        check_host_path("deabb_user", typed, path);

    static const char *const MODES[] = {"rb", "wb", "r+b", "ab"};
    std::string line = name.substr(0, COMMAND_LINE_SIZE - 1);
    std::memcpy(shell.command_line, line.c_str(), line.size() + 1);
    shell.argument_position = 0;
    FILE *stream = nullptr;
    std::string opened;
    if (s3_fopen(&stream, (choice & 2) ? "&File: " : "File: ", MODES[(choice >> 2) & 3],
                 (choice & 16) ? "DATA" : "SYMB", &opened) == 0 &&
        stream) {
        if (stream != stdin && stream != stdout) {
            check_host_path("s3_fopen", name, opened);
            std::fclose(stream);
        }
    }
    return 0;
}
