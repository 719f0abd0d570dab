// How a run of the ND program ended: at MON 0, or stopped by anything else
// (an illegal instruction, a fatal monitor call, ESC, ^C, the end of input).
// A caller that runs one program and exits turns it into the exit status.
#pragma once

#include <cstdio>

enum class RunEnd { NotRun, EndedAtMon0, Stopped };

struct RunOutcome {
    RunEnd end;
    // Set by MON 0, taken by the halt steps of the run it ended (a program
    // that a SINTRAN command started inside a run has its own).
    bool mon0_seen;
    // Whether the stop of the current run has been reported on report_stream.
    bool stop_reported;
    // Where a stop and a monitor call that is not emulated are reported in
    // one line each, besides their usual message on standard output; null
    // when nobody asked for it.
    FILE *report_stream;
};

extern RunOutcome run_outcome;

// Nothing run yet, no report stream.
void reset_run_outcome();
// The start of a run: until its halt says otherwise it counts as stopped.
void begin_run_outcome();
// The halt steps: MON 0 ended the run, or something stopped it.
void end_run_outcome();

// Prints the message of something that stops the program on standard output
// as printf does, and reports it on the report stream (the first of a run).
void print_stop_message(const char *format, ...) __attribute__((format(printf, 1, 2)));
// Reports the reason of a stop whose message went elsewhere.
void note_stop_reason(const char *text);
// Reports a message in one line on the report stream, if there is one.
void report_in_one_line(const char *text);
// Prints a message about the program that does not stop it on standard
// output, and reports it on the report stream.
void print_fault_message(const char *format, ...) __attribute__((format(printf, 1, 2)));
