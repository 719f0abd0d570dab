#include "shell/shell.h"

int main(int argc, char **argv) { return shell_main(argc, argv); }
