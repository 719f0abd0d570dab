#include "cpu/run_outcome.h"

#include "cpu/machine.h"

#include <cstdarg>
#include <string>

RunOutcome run_outcome;

void reset_run_outcome() {
    run_outcome = RunOutcome{RunEnd::NotRun, false, false, nullptr};
}

void begin_run_outcome() {
    run_outcome.end = RunEnd::Stopped;
    run_outcome.mon0_seen = false;
    run_outcome.stop_reported = false;
}

void end_run_outcome() {
    run_outcome.end = run_outcome.mon0_seen ? RunEnd::EndedAtMon0 : RunEnd::Stopped;
    run_outcome.mon0_seen = false;
    if (run_outcome.end == RunEnd::Stopped && !run_outcome.stop_reported) {
        char text[64];
        std::snprintf(text, sizeof text, "The ND program stopped at %o",
                      static_cast<unsigned>(machine.P));
        note_stop_reason(text);
    }
}

// The message as one line: the line ends and the decoration around it go.
void report_in_one_line(const char *text) {
    if (!run_outcome.report_stream) return;
    std::string line;
    bool line_end = false;
    for (const char *p = text; *p; ++p) {
        if (*p == '\r' || *p == '\n') {
            line_end = true;
            continue;
        }
        if (line.empty() && (*p == ' ' || *p == '_')) continue;
        if (line_end && !line.empty()) line += ' ';
        line_end = false;
        line += *p;
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    std::fflush(stdout);
    std::fprintf(run_outcome.report_stream, "kestrel: %s\n", line.c_str());
    std::fflush(run_outcome.report_stream);
}

namespace {

std::string formatted(const char *format, va_list arguments) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    return text;
}

} // namespace

void note_stop_reason(const char *text) {
    if (run_outcome.stop_reported) return;
    run_outcome.stop_reported = true;
    report_in_one_line(text);
}

void print_stop_message(const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::string text = formatted(format, arguments);
    va_end(arguments);
    std::fputs(text.c_str(), stdout);
    note_stop_reason(text.c_str());
}

void print_fault_message(const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::string text = formatted(format, arguments);
    va_end(arguments);
    std::fputs(text.c_str(), stdout);
    report_in_one_line(text.c_str());
}
