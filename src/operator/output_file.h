// Host files that the operator's commands write (copies, conversions, saved
// images): every write goes through the host layer, and a failure (a full
// disk) is reported once, with the file's name, the host's reason and how
// much of the file there is, never passed over as success.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

struct OutputFile {
    FILE *stream = nullptr;
    std::string path;
    int error = 0; // the host error of the first failure; 0 = none
};

// False once a write has failed; later writes are not tried.
bool output_bytes(OutputFile &file, const void *data, size_t length);
bool output_byte(OutputFile &file, int byte);
bool output_text(OutputFile &file, const std::string &text);
// Hands what waits in the stream's buffer to the host; false when it failed.
bool output_flush(OutputFile &file);
// Flushes and closes the file (the console is only flushed). True when all
// of it was written; otherwise prints on `report`
// "\r\nCould not write PATH: REASON; it is incomplete at N bytes\r\n" with
// the size the file has.
bool finish_output(OutputFile &file, FILE *report);

// Closes a stream that was written with the printf family (a listing, a
// trace). True when all of it was written; otherwise prints on `report`
// "\r\nCould not write NAME: REASON; it is incomplete\r\n".
bool finish_written_stream(FILE *stream, const std::string &name, FILE *report);
