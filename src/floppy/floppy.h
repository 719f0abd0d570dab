// The ND volume-image reader: lists an image of an ND file-system volume (a
// floppy) and extracts its files into one ND user's host directory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

constexpr uint32_t ND_PAGE_BYTES = 2048;

// Lists the volume image read from `image` (master block, index pointers,
// users, files) on `out`, then writes every file it lists into the host
// directory `directory` (such as "./(EMULATOR)"). Error messages go to `err`.
// The image is only read: given the image's host path `image_path`, a file
// of the volume that would replace the image itself is refused. Returns 0, or
// -1 after the failure has been reported, ending with
// "\r\nAn error occured, bad floppy image?".
int extract_floppy_image(FILE *image, const std::string &directory, FILE *out, FILE *err,
                         const std::string &image_path = {});
// The listing of extract_floppy_image alone: nothing is written.
int list_floppy_image(FILE *image, FILE *out, FILE *err);

// A volume date: bits 31-26 year - 1950, 25-22 month, 21-17 day, 16-12 hour,
// 11-6 minute, 5-0 second; the value 0 stands for 1950-01-01 00:00:00.
struct NdDate {
    int year;
    int month;
    int day;
    int hour;
    int minute;
    int second;
};
NdDate decode_nd_date(uint32_t value);
// "YYYY-MM-DD hh:mm:ss".
std::string format_nd_date(uint32_t value);
// The date as host calendar seconds, read as local time (fields out of their
// range carry over into the next larger field).
int64_t nd_date_to_host_time(uint32_t value);

// A file name or type from the volume made fit to be part of a host file
// name: control characters, DEL, "/", "\" and "." become "_"; an empty name
// becomes "_" (set `empty_allowed` for types, which may be empty).
std::string host_safe_name_part(const std::string &raw, bool empty_allowed);
// A name from the volume shown on the terminal: control characters, DEL and
// "\" are shown as a backslash and three octal digits.
std::string printable_name(const std::string &raw);
