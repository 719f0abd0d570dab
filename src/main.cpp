#include "shell/shell.h"

#include <cstdio>
#include <cstring>

#ifndef KESTREL_VERSION
#define KESTREL_VERSION "1.0.0"
#endif

static void print_usage() {
    std::printf(
        "Usage: kestrel [PATH/(USER)/NAME.PROG]\n"
        "       kestrel --help | --version\n"
        "\n"
        "KESTREL runs ND-100/ND-110/ND-120 programs written for SINTRAN III.\n"
        "Start it in a directory that holds the ND users as directories named\n"
        "(SYSTEM), (RT), (SCRATCH) and so on, with the eight scratch files\n"
        "(SCRATCH)/SCRATCH01.DATA to SCRATCH08.DATA. At the prompt <> type a\n"
        "command (help lists them; each hyphen-separated part may be abbreviated)\n"
        "or the name of a :PROG file of the current user to run it.\n"
        "\n"
        "With PATH/(USER)/NAME.PROG, KESTREL changes to PATH, logs in USER and\n"
        "runs NAME.\n");
}

int main(int argc, char **argv) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        print_usage();
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("kestrel %s\n", KESTREL_VERSION);
        return 0;
    }
    return shell_main(argc, argv);
}
