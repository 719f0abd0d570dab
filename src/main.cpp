#include "shell/shell.h"

// Everything, the options included, is the shell's start-up; its result is
// the exit status.
int main(int argc, char **argv) {
    return shell_main(argc, argv);
}
