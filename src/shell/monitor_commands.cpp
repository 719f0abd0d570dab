// The shell commands about monitor calls: whether a call is emulated, and
// the trace of the calls a program makes.
#include "console/terminal.h"
#include "debug/debug_aids.h"
#include "monitor/monitor.h"
#include "operator/arguments.h"
#include "operator/operator_channel.h"
#include "shell/commands.h"

#include <cstdio>

void cmd_check_monitor_call() {
    uint32_t number = 0;
    int bad_char = 0;
    int result =
        read_octal_argument(&number, 0, "\r\nEnter monitor call no:  (555 = all): ", &bad_char);
    if (result == CONSOLE_EOF) return;
    if (result < 0) {
        std::fprintf(shell.operator_output, "Illegal char. in octal number: %c\r\n", bad_char);
        return;
    }
    if (number == 0555) {
        for (uint32_t n = 0; n <= 0377; ++n) {
            if (implemented_call_position(n) < 0) continue;
            std::fprintf(shell.operator_output, "MON %3o implemented\r\n", n);
            if (shell.operator_output == stdout) page_pause('\n');
        }
        return;
    }
    if (implemented_call_position(number) >= 0)
        std::fprintf(shell.operator_output, "MON %o implemented\r\n", number);
    else
        std::fprintf(shell.operator_output, "MON %o not implemented\r\n", number);
}

void cmd_trace_monitor_calls() {
    int choice = read_choice_argument("Trace monitor calls on or off ? ", "on", "off on");
    switch (choice) {
    case CONSOLE_EOF:
        return;
    case 1:
        debug_state.trace_flags &= ~TRACE_MONITOR_CALLS;
        debug_state.saved_trace_flags &= ~TRACE_MONITOR_CALLS;
        break;
    case 2:
        debug_state.trace_flags |= TRACE_MONITOR_CALLS;
        debug_state.saved_trace_flags |= TRACE_MONITOR_CALLS;
        std::fprintf(shell.operator_output, "NOTE: MON 2 not traced\a\r\n");
        break;
    case -2:
        std::fprintf(shell.operator_output, "Please be more precise\r\n");
        break;
    default:
        std::fprintf(shell.operator_output, "Please enter on or off\r\n");
        break;
    }
}
