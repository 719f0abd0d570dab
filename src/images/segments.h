// Program segments: the segment description file that names each segment and
// its program file, one SegmentImage file per segment, and SegmentTable, the
// segments read into memory for switching at run time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int SEGMENT_SLOTS = 20;
extern const char *const SEGMENT_DESCRIPTION_FILE;

struct SegmentSlot {
    uint32_t number;             // 0 = free
    std::vector<uint16_t> words; // the SegmentImage file as read
};

struct SegmentTable {
    SegmentSlot slots[SEGMENT_SLOTS];
};

extern SegmentTable segment_table;

// Host path of the SegmentImage file of segment `number`.
std::string segment_image_path(uint32_t number);

// Empties SegmentTable (clear-internal-segment-table).
void clear_segment_table();
// The segment whose program file is the image at host path `path`: its
// number, -1 when no line names it, -2 without a description file. Empties
// SegmentTable first.
int find_segment_of_image(const std::string &path);
// Brings segment `number` into memory: 0 done, -1 its SegmentImage file
// cannot be opened or measured, -2 SegmentTable is full.
int load_into_segment(uint32_t number);
// Number of the segment called `name`, -1 when none, -2 without a
// description file.
int find_segment_by_name(const std::string &name);

// The shell commands.
void list_segments();
void define_segment();
void delete_segment();
void load_segment();
