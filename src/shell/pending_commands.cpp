// Commands whose handlers are not in this build yet answer with one line.
// Each line below goes away when its command lands.
#include "shell/commands.h"
#include "shell/shell.h"

#include <cstdio>

static void not_available() { std::fprintf(shell.operator_output, "Command not available yet\r\n"); }

// clang-format off
void cmd_virtual_keyboard() { not_available(); }
void cmd_virtual_keyboard_definition() { not_available(); }
// clang-format on

