#include "shell/debug_aids.h"

DebugState debug_state;

void reset_debug_state() {
    debug_state = DebugState{};
    debug_state.trace_stream = stdout;
    debug_state.saved_trace_stream = stdout;
}

void restore_saved_trace_settings() {
    if (debug_state.trace_stream != debug_state.saved_trace_stream &&
        debug_state.trace_stream != stdout)
        std::fflush(debug_state.trace_stream);
    debug_state.trace_stream = debug_state.saved_trace_stream;
    debug_state.trace_flags = debug_state.saved_trace_flags;
    debug_state.single_step = 0;
}

void trace_hook() {}
