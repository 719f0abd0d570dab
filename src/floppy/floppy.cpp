// Reader of ND file-system volume images.
//
// A volume is a sequence of 2048-byte pages; every number in it is a 32-bit
// big-endian word. Page 0 is the master block. It points to the user file
// index (up to eight pages of 32 user entries), to the object file index
// (pages of 32 file entries, reached through one or, on large volumes, up to
// 64 object file index blocks of 512 pointers) and to the bit file. A file's
// pages are contiguous, or listed in an index block, or listed in index
// blocks that a subindex block lists.
//
// Every file that the listing shows is also extracted: both follow the same
// object file index blocks.
//
// The image is untrusted. Every page number is checked against the image's
// size before it is read, and every page may serve one purpose only: a page
// that the volume's structure or its files reach a second time is an error.
// That ends index loops and self-references, and bounds the work and the
// data written by the size of the image.

#include "floppy/floppy.h"

#include "host/host.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <unordered_set>
#include <vector>

namespace {

constexpr uint32_t POINTERS_PER_PAGE = ND_PAGE_BYTES / 4;
constexpr uint32_t ENTRY_BYTES = 64;
constexpr uint32_t ENTRIES_PER_PAGE = ND_PAGE_BYTES / ENTRY_BYTES;
constexpr uint32_t USER_FILE_POINTERS = 8;
// The object file index blocks followed in a sub-indexed object file index
// by the listing and the extraction; the pointer report shows the pointers
// of the first 16 of them.
constexpr uint32_t OBJECT_INDEX_BLOCKS = 64;
constexpr uint32_t REPORTED_OBJECT_INDEX_BLOCKS = 16;
constexpr uint32_t MIN_DIRECTORY_PAGES = 140;
constexpr uint32_t PAGES_PER_BIT_FILE_PAGE = ND_PAGE_BYTES * 8;
constexpr uint32_t MAX_INDEXED_PAGES = POINTERS_PER_PAGE;
// A sub-indexed file has fewer pages than its subindex block can reach.
constexpr uint32_t SUBINDEXED_PAGE_LIMIT = POINTERS_PER_PAGE * POINTERS_PER_PAGE;
// Page numbers have 30 bits.
constexpr uint64_t MAX_VOLUME_PAGES = uint64_t{1} << 30;

// Master block fields.
constexpr uint32_t MASTER_DIRECTORY_NAME = 2016;
constexpr uint32_t MASTER_OBJECT_INDEX = 2032;
constexpr uint32_t MASTER_USER_INDEX = 2036;
constexpr uint32_t MASTER_BIT_FILE = 2040;
constexpr uint32_t MASTER_UNRESERVED_PAGES = 2044;
constexpr uint32_t NAME_LENGTH = 16;
constexpr uint32_t TYPE_LENGTH = 4;

enum IndexType : uint32_t { CONTIGUOUS = 0, INDEXED = 1, SUBINDEXED = 2, RESERVED = 3 };
const char *const INDEX_TYPE_NAMES[4] = {"contiguous", "indexed", "sub-indexed",
                                         "reserved for future extension"};

const char *const BEYOND_IMAGE = "page is beyond the end of the image";

using Page = std::array<uint8_t, ND_PAGE_BYTES>;

uint32_t word_at(const uint8_t *bytes) {
    return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
           uint32_t{bytes[3]};
}
uint32_t pointer_at(const Page &page, uint32_t position) {
    return word_at(&page[position * 4]);
}
uint32_t index_type(uint32_t pointer) {
    return pointer >> 30;
}
uint32_t page_of(uint32_t pointer) {
    return pointer & 0x3FFFFFFF;
}

// A name field: 7-bit characters ended by an apostrophe or the field's end.
std::string name_at(const uint8_t *bytes, uint32_t length) {
    std::string name;
    for (uint32_t i = 0; i < length; ++i) {
        char c = static_cast<char>(bytes[i] & 0x7F);
        if (c == '\'') break;
        name.push_back(c);
    }
    return name;
}

struct UserEntry {
    std::string name;
    uint32_t reserved_pages;
    uint32_t used_pages;
    uint32_t index;
    uint32_t size_a;
    uint32_t size_b;
};

struct ObjectEntry {
    std::string name;
    std::string type;
    uint32_t flags;        // byte 28: bit 0 temporary, bits 7-4 high part of the object number
    uint32_t access;       // byte 29
    uint32_t owner;        // owner's user index
    uint32_t number;       // object number
    uint32_t accessed;     // date
    uint32_t modified;     // date
    uint32_t pages;        // number of pages
    uint32_t size;         // bytes
    uint32_t file_pointer; // SI and page
};

ObjectEntry object_entry_at(const uint8_t *bytes) {
    ObjectEntry entry{};
    entry.name = name_at(bytes + 2, NAME_LENGTH);
    entry.type = name_at(bytes + 18, TYPE_LENGTH);
    entry.flags = bytes[28];
    entry.access = bytes[29];
    entry.owner = bytes[34];
    entry.number = ((entry.flags >> 4) << 8) | bytes[35];
    entry.accessed = word_at(bytes + 44);
    entry.modified = word_at(bytes + 48);
    entry.pages = word_at(bytes + 52);
    // The highest byte address of an empty file is all ones: its size is 0.
    entry.size = word_at(bytes + 56) + 1;
    entry.file_pointer = word_at(bytes + 60);
    return entry;
}

// The access letter of the lowest set access bit, "!" when more bits are set,
// then the temporary-file mark.
std::string access_text(const ObjectEntry &entry) {
    static const char LETTERS[] = "TPSICAML";
    std::string text = "-";
    for (int bit = 0; bit < 8; ++bit) {
        if (entry.access & (1u << bit)) {
            text[0] = LETTERS[bit];
            break;
        }
    }
    bool several = (entry.access & (entry.access - 1)) != 0;
    text.push_back(several ? '!' : ' ');
    text.push_back((entry.flags & 1) ? 't' : ' ');
    return text;
}

struct Volume {
    FILE *image;
    HostFileInfo image_file; // the image on the host, when its path is known
    FILE *out;
    FILE *err;
    uint64_t pages; // whole pages in the image
    // Pages already given a purpose; as many as have been read, so that an
    // image that claims a vast size costs nothing until its pages are read.
    std::unordered_set<uint32_t> in_use;
    std::string read_error; // why the last page read failed
    std::vector<UserEntry> users;
    std::vector<uint32_t> entry_pages; // object entry pages, in index order
    std::vector<ObjectEntry> files;    // object entries in use, in index order
    uint32_t object_index_type;
};

void say(Volume &volume, const char *format, ...) __attribute__((format(printf, 2, 3)));
void say(Volume &volume, const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(volume.out, format, arguments);
    va_end(arguments);
}

// Error messages go to the error stream; what was said before them comes
// first.
void complain(Volume &volume, const char *format, ...) __attribute__((format(printf, 2, 3)));
void complain(Volume &volume, const char *format, ...) {
    std::fflush(volume.out);
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(volume.err, format, arguments);
    va_end(arguments);
    std::fflush(volume.err);
}

enum class ReadResult { Ok, SeekFailed, ReadFailed };

// Reads one page of the image; a failure leaves its reason in read_error.
ReadResult read_page_quietly(Volume &volume, uint32_t number, Page &page) {
    if (number >= volume.pages) {
        volume.read_error = BEYOND_IMAGE;
        return ReadResult::ReadFailed;
    }
    long offset = static_cast<long>(number) * static_cast<long>(ND_PAGE_BYTES);
    if (std::fseek(volume.image, offset, SEEK_SET) != 0) {
        volume.read_error = std::strerror(errno);
        return ReadResult::SeekFailed;
    }
    if (std::fread(page.data(), 1, page.size(), volume.image) != page.size()) {
        volume.read_error =
            std::ferror(volume.image) ? std::strerror(errno) : "unexpected end of the image";
        return ReadResult::ReadFailed;
    }
    return ReadResult::Ok;
}

// Reads one page of the image, reporting a failure with the page's number.
ReadResult read_page(Volume &volume, uint32_t number, Page &page) {
    ReadResult result = read_page_quietly(volume, number, page);
    if (result == ReadResult::SeekFailed)
        complain(volume, "Could not seek to page %u: %s\n", number, volume.read_error.c_str());
    else if (result == ReadResult::ReadFailed)
        complain(volume, "Error reading page %u: %s\n", number, volume.read_error.c_str());
    return result;
}

// Gives a page that has been read its one purpose.
bool claim_page(Volume &volume, uint32_t number) {
    if (!volume.in_use.insert(number).second) {
        complain(volume, "Page %u is used more than once\n", number);
        return false;
    }
    return true;
}

bool read_and_claim(Volume &volume, uint32_t number, Page &page) {
    return read_page(volume, number, page) == ReadResult::Ok && claim_page(volume, number);
}

bool measure_image(Volume &volume) {
    if (std::fseek(volume.image, 0, SEEK_END) != 0) return false;
    long size = std::ftell(volume.image);
    if (size < 0) return false;
    volume.pages = static_cast<uint64_t>(size) / ND_PAGE_BYTES;
    if (volume.pages > MAX_VOLUME_PAGES) volume.pages = MAX_VOLUME_PAGES;
    volume.in_use.clear();
    return true;
}

void report_pointer(Volume &volume, const char *format, uint32_t pointer) {
    uint32_t type = index_type(pointer);
    say(volume, format, page_of(pointer), type, INDEX_TYPE_NAMES[type]);
}

struct MasterBlock {
    uint32_t object_index;
    uint32_t user_index;
    uint32_t bit_file;
    uint32_t unreserved_pages;
};

bool read_master_block(Volume &volume, MasterBlock &master) {
    Page page;
    if (!measure_image(volume) || read_page(volume, 0, page) != ReadResult::Ok ||
        !claim_page(volume, 0)) {
        complain(volume, "Error reading master block\n");
        return false;
    }
    master.object_index = word_at(&page[MASTER_OBJECT_INDEX]);
    master.user_index = word_at(&page[MASTER_USER_INDEX]);
    master.bit_file = word_at(&page[MASTER_BIT_FILE]);
    master.unreserved_pages = word_at(&page[MASTER_UNRESERVED_PAGES]);
    say(volume, "Directory name            : %s\n",
        printable_name(name_at(&page[MASTER_DIRECTORY_NAME], NAME_LENGTH)).c_str());
    report_pointer(volume, "Object file index pointer : %u SI: 0x%0x (%s)\n", master.object_index);
    report_pointer(volume, "User file index pointer   : %u SI: 0x%0x (%s)\n", master.user_index);
    report_pointer(volume, "Bit file pointer          : %u SI: 0x%0x (%s)\n", master.bit_file);
    say(volume, "No. of unreserved pages   : %u\n", master.unreserved_pages);
    return true;
}

bool read_user_file_index(Volume &volume, const MasterBlock &master,
                          std::vector<uint32_t> &user_pages) {
    Page page;
    if (!read_and_claim(volume, page_of(master.user_index), page)) {
        complain(volume, "Error reading user file index block\n");
        return false;
    }
    for (uint32_t position = 0; position < USER_FILE_POINTERS; ++position) {
        uint32_t pointer = pointer_at(page, position);
        if (pointer == 0) continue;
        say(volume, "User file pointer   %6d: %u\n", static_cast<int>(position), page_of(pointer));
        user_pages.push_back(page_of(pointer));
    }
    return true;
}

// Collects the pages of object entries from the object file index block on
// `block`, the `block_number`th; the first blocks' pointers are reported.
void collect_entry_pages(Volume &volume, const Page &block, uint32_t block_number) {
    for (uint32_t position = 0; position < POINTERS_PER_PAGE; ++position) {
        uint32_t pointer = pointer_at(block, position);
        if (pointer == 0) continue;
        if (block_number < REPORTED_OBJECT_INDEX_BLOCKS)
            say(volume, "Object file pointer %6d: %u\n",
                static_cast<int>(position + POINTERS_PER_PAGE * block_number), page_of(pointer));
        volume.entry_pages.push_back(page_of(pointer));
    }
}

bool read_object_file_index(Volume &volume, const MasterBlock &master) {
    Page index;
    volume.object_index_type = index_type(master.object_index);
    if (!read_and_claim(volume, page_of(master.object_index), index)) {
        complain(volume, "Error reading object file index block\n");
        return false;
    }
    if (volume.object_index_type != SUBINDEXED) {
        collect_entry_pages(volume, index, 0);
        return true;
    }
    for (uint32_t number = 0; number < OBJECT_INDEX_BLOCKS; ++number) {
        uint32_t pointer = pointer_at(index, number);
        if (pointer == 0) continue;
        Page block;
        if (!read_and_claim(volume, page_of(pointer), block)) {
            complain(volume, "Error reading object file index block %d\n",
                     static_cast<int>(number));
            return false;
        }
        collect_entry_pages(volume, block, number);
    }
    return true;
}

bool read_users(Volume &volume, const std::vector<uint32_t> &user_pages, uint64_t &total_pages) {
    bool heading_shown = false;
    for (uint32_t number : user_pages) {
        Page page;
        if (!read_and_claim(volume, number, page)) {
            complain(volume, "\nError reading user entry");
            return false;
        }
        for (uint32_t slot = 0; slot < ENTRIES_PER_PAGE; ++slot) {
            const uint8_t *bytes = &page[slot * ENTRY_BYTES];
            if ((bytes[0] & 0x81) == 0) continue;
            UserEntry user{};
            user.name = name_at(bytes + 2, NAME_LENGTH);
            user.reserved_pages = word_at(bytes + 28);
            user.used_pages = word_at(bytes + 32);
            user.index = bytes[37];
            user.size_a = ((bytes[47] >> 4) + 1) * 256;
            user.size_b = ((bytes[47] & 0x0F) + 1) * 256;
            if (!heading_shown) {
                say(volume, "Users:\n");
                heading_shown = true;
            }
            say(volume, "%3u %-16s pages reserved %9u used %9u   %5u %5u\n", user.index,
                printable_name(user.name).c_str(), user.reserved_pages, user.used_pages,
                user.size_a, user.size_b);
            total_pages += user.reserved_pages;
            volume.users.push_back(user);
        }
    }
    return true;
}

// Reads the bit file, one bit per page of the volume, to see that it is
// there; returns its length in pages through `bit_file_pages`.
bool read_bit_file(Volume &volume, const MasterBlock &master, uint64_t total_pages,
                   uint32_t &bit_file_pages) {
    if (total_pages < MIN_DIRECTORY_PAGES) {
        complain(volume, "Cannot read bitfile without knowing reserved space.\n");
        return false;
    }
    if (total_pages > MAX_VOLUME_PAGES) {
        complain(volume, "Bad directory size: %llu pages\n",
                 static_cast<unsigned long long>(total_pages));
        return false;
    }
    bit_file_pages = static_cast<uint32_t>((total_pages + PAGES_PER_BIT_FILE_PAGE - 1) /
                                           PAGES_PER_BIT_FILE_PAGE);
    for (uint32_t i = 0; i < bit_file_pages; ++i) {
        Page page;
        ReadResult result = read_page_quietly(volume, page_of(master.bit_file) + i, page);
        if (result == ReadResult::SeekFailed) {
            complain(volume, "Could not seek to bitfile: %s\n", volume.read_error.c_str());
            return false;
        }
        if (result == ReadResult::ReadFailed) {
            complain(volume, "Could not read bitfile: %s\n", volume.read_error.c_str());
            return false;
        }
        if (!claim_page(volume, page_of(master.bit_file) + i)) return false;
    }
    return true;
}

std::string owner_name(const Volume &volume, uint32_t owner) {
    auto user = std::find_if(volume.users.begin(), volume.users.end(),
                             [owner](const UserEntry &entry) { return entry.index == owner; });
    return user == volume.users.end() ? "????" : printable_name(user->name);
}

bool list_files(Volume &volume) {
    say(volume, "Files:\n");
    for (uint32_t number : volume.entry_pages) {
        Page page;
        if (!read_and_claim(volume, number, page)) return false;
        for (uint32_t slot = 0; slot < ENTRIES_PER_PAGE; ++slot) {
            const uint8_t *bytes = &page[slot * ENTRY_BYTES];
            if ((bytes[0] & 0x80) == 0) continue;
            ObjectEntry entry = object_entry_at(bytes);
            std::string name = host_safe_name_part(entry.name, false);
            std::string type = host_safe_name_part(entry.type, true);
            say(volume, "%3d %3d: %s %6d page%c %9d bytes %s (%s)%s:%s\n",
                static_cast<int>(entry.owner), static_cast<int>(entry.number),
                access_text(entry).c_str(), static_cast<int>(entry.pages),
                entry.pages == 1 ? ' ' : 's', static_cast<int>(entry.size),
                format_nd_date(entry.modified).c_str(), owner_name(volume, entry.owner).c_str(),
                name.c_str(), type.c_str());
            if (name != entry.name || type != entry.type)
                say(volume, "         name on the volume %s:%s, unsafe characters replaced by _\n",
                    printable_name(entry.name).c_str(), printable_name(entry.type).c_str());
            volume.files.push_back(entry);
        }
    }
    return true;
}

// Copying one file's pages into the host file.
struct Extraction {
    Volume &volume;
    FILE *file;
};

// Writes one page of the image at page `file_page` of the output file.
bool copy_page(Extraction &extraction, uint32_t image_page, uint32_t file_page) {
    Page page;
    if (!read_and_claim(extraction.volume, image_page, page)) return false;
    long offset = static_cast<long>(file_page) * static_cast<long>(ND_PAGE_BYTES);
    if (std::fseek(extraction.file, offset, SEEK_SET) != 0) {
        complain(extraction.volume, "Seek error to page %u: %s\n", file_page, std::strerror(errno));
        return false;
    }
    if (std::fwrite(page.data(), 1, page.size(), extraction.file) != page.size()) {
        complain(extraction.volume, "Could not write page: %s\n", std::strerror(errno));
        return false;
    }
    return true;
}

uint32_t pages_for_size(uint32_t size) {
    return static_cast<uint32_t>((uint64_t{size} + ND_PAGE_BYTES - 1) / ND_PAGE_BYTES);
}

bool copy_contiguous(Extraction &extraction, const ObjectEntry &entry) {
    uint32_t first = page_of(entry.file_pointer);
    for (uint32_t i = 0; i < entry.pages; ++i) {
        // The first page outside the image ends the copy; its number fits.
        uint64_t image_page = uint64_t{first} + i;
        if (!copy_page(extraction, static_cast<uint32_t>(image_page), i)) return false;
    }
    return true;
}

// Copies up to 512 pages listed in the index block on `index_page`, the
// first of them being page `first_file_page` of the file.
bool copy_index_block(Extraction &extraction, uint32_t index_page, uint32_t first_file_page,
                      uint32_t count) {
    Page index;
    if (!read_and_claim(extraction.volume, index_page, index)) {
        complain(extraction.volume, "Could not read index block\n");
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t pointer = pointer_at(index, i);
        if (pointer != 0 && !copy_page(extraction, page_of(pointer), first_file_page + i))
            return false;
    }
    return true;
}

bool copy_indexed(Extraction &extraction, const ObjectEntry &entry) {
    uint32_t pages = pages_for_size(entry.size);
    if (pages > MAX_INDEXED_PAGES) {
        complain(extraction.volume, "Index file size error\n");
        return false;
    }
    if (pages == 0) return true;
    return copy_index_block(extraction, page_of(entry.file_pointer), 0, pages);
}

bool copy_subindexed(Extraction &extraction, const ObjectEntry &entry) {
    uint32_t pages = pages_for_size(entry.size);
    if (pages >= SUBINDEXED_PAGE_LIMIT) {
        complain(extraction.volume, "Subindexed file size error\n");
        return false;
    }
    if (pages == 0) return true;
    Page subindex;
    if (!read_and_claim(extraction.volume, page_of(entry.file_pointer), subindex)) {
        complain(extraction.volume, "Could not read subindex block\n");
        return false;
    }
    for (uint32_t block = 0; block * POINTERS_PER_PAGE < pages; ++block) {
        uint32_t pointer = pointer_at(subindex, block);
        if (pointer == 0) continue; // 512 pages of holes
        uint32_t first = block * POINTERS_PER_PAGE;
        uint32_t count = std::min(POINTERS_PER_PAGE, pages - first);
        if (!copy_index_block(extraction, page_of(pointer), first, count)) return false;
    }
    return true;
}

bool extract_file(Volume &volume, const std::string &directory, const ObjectEntry &entry) {
    std::string file_name =
        host_safe_name_part(entry.name, false) + "." + host_safe_name_part(entry.type, true);
    std::string path = directory + "/" + file_name;
    say(volume, "Create file %s ", path.c_str());
    HostFileInfo target = host_file_info(path);
    if (volume.image_file.exists && target.exists &&
        target.identity == volume.image_file.identity) {
        // Creating it would empty the image that is being read.
        complain(volume, "Error: Could not create %s: %s\n", path.c_str(),
                 "it is the volume image being read");
        return false;
    }
    FILE *file = std::fopen(path.c_str(), "wb");
    if (!file) {
        complain(volume, "Error: Could not create %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    say(volume, "<- Extracting : %s\n", file_name.c_str());
    Extraction extraction{volume, file};
    bool copied = false;
    switch (index_type(entry.file_pointer)) {
    case CONTIGUOUS:
        copied = copy_contiguous(extraction, entry);
        break;
    case INDEXED:
        copied = copy_indexed(extraction, entry);
        break;
    case SUBINDEXED:
        copied = copy_subindexed(extraction, entry);
        break;
    default:
        complain(volume, "Unhandled filepointer type: %d\n",
                 static_cast<int>(index_type(entry.file_pointer)));
        break;
    }
    if (std::fclose(file) != 0 && copied) {
        complain(volume, "Could not write page: %s\n", std::strerror(errno));
        return false;
    }
    if (!copied) return false;
    if (!host_set_file_size(path, entry.size)) {
        complain(volume, "Error: Could not set file size: %s\n", host_error_text().c_str());
        return false;
    }
    if (!host_set_file_times(path, nd_date_to_host_time(entry.accessed),
                             nd_date_to_host_time(entry.modified))) {
        complain(volume, "Could not set file time: %s\n", host_error_text().c_str());
        return false;
    }
    return true;
}

// Extracts the files in index order; an error ends the extraction.
bool extract_files(Volume &volume, const std::string &directory) {
    bool extracted =
        std::all_of(volume.files.begin(), volume.files.end(), [&](const ObjectEntry &entry) {
            return extract_file(volume, directory, entry);
        });
    if (!extracted && volume.object_index_type == SUBINDEXED)
        complain(volume, "\nError when extracting subindexed file");
    return extracted;
}

bool list_and_extract(Volume &volume, const std::string &directory) {
    MasterBlock master{};
    if (!read_master_block(volume, master)) return false;
    std::vector<uint32_t> user_pages;
    if (!read_user_file_index(volume, master, user_pages)) return false;
    if (!read_object_file_index(volume, master)) return false;
    uint64_t total_pages = master.unreserved_pages;
    if (!read_users(volume, user_pages, total_pages)) return false;
    uint32_t bit_file_pages = 0;
    if (!read_bit_file(volume, master, total_pages, bit_file_pages)) return false;
    if (!list_files(volume)) return false;
    say(volume, "Directory size: %u pages\n", static_cast<uint32_t>(total_pages));
    say(volume, "Bit file size : %u page%c\n", bit_file_pages, bit_file_pages == 1 ? ' ' : 's');
    if (directory.empty()) return true;
    return extract_files(volume, directory);
}

} // namespace

NdDate decode_nd_date(uint32_t value) {
    if (value == 0) return NdDate{1950, 1, 1, 0, 0, 0};
    return NdDate{static_cast<int>(value >> 26) + 1950,   static_cast<int>((value >> 22) & 0x0F),
                  static_cast<int>((value >> 17) & 0x1F), static_cast<int>((value >> 12) & 0x1F),
                  static_cast<int>((value >> 6) & 0x3F),  static_cast<int>(value & 0x3F)};
}

std::string format_nd_date(uint32_t value) {
    NdDate date = decode_nd_date(value);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", date.year, date.month,
                  date.day, date.hour, date.minute, date.second);
    return text;
}

int64_t nd_date_to_host_time(uint32_t value) {
    NdDate date = decode_nd_date(value);
    std::tm fields{};
    fields.tm_year = date.year - 1900;
    fields.tm_mon = date.month - 1;
    fields.tm_mday = date.day;
    fields.tm_hour = date.hour;
    fields.tm_min = date.minute;
    fields.tm_sec = date.second;
    fields.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&fields));
}

std::string host_safe_name_part(const std::string &raw, bool empty_allowed) {
    std::string safe = raw;
    for (char &c : safe) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 32 || u >= 127 || c == '/' || c == '\\' || c == '.') c = '_';
    }
    if (safe.empty() && !empty_allowed) safe = "_";
    return safe;
}

std::string printable_name(const std::string &raw) {
    std::string shown;
    for (char c : raw) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 32 || u >= 127 || c == '\\') {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\%03o", u);
            shown += escape;
        } else {
            shown.push_back(c);
        }
    }
    return shown;
}

int extract_floppy_image(FILE *image, const std::string &directory, FILE *out, FILE *err,
                         const std::string &image_path) {
    Volume volume{};
    volume.image = image;
    if (!image_path.empty()) volume.image_file = host_file_info(image_path);
    volume.out = out;
    volume.err = err;
    if (list_and_extract(volume, directory)) {
        std::fflush(out);
        return 0;
    }
    complain(volume, "\r\nAn error occured, bad floppy image?");
    return -1;
}

int list_floppy_image(FILE *image, FILE *out, FILE *err) {
    return extract_floppy_image(image, std::string(), out, err);
}
