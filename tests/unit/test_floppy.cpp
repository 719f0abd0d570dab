// The ND volume-image lister and extractor, run on volume images built here
// by a small writer of the on-disk format.

#include "floppy/floppy.h"
#include "host/host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr uint32_t PAGE = ND_PAGE_BYTES;

uint32_t pointer(uint32_t index_type, uint32_t page) {
    return (index_type << 30) | page;
}

uint32_t nd_date(int year, int month, int day, int hour, int minute, int second) {
    return (uint32_t(year - 1950) << 26) | (uint32_t(month) << 22) | (uint32_t(day) << 17) |
           (uint32_t(hour) << 12) | (uint32_t(minute) << 6) | uint32_t(second);
}

struct FileSpec {
    std::string name;
    std::string type;
    uint32_t file_pointer = 0;
    uint32_t pages = 0;
    uint32_t size = 0;
    uint32_t owner = 0;
    uint32_t number = 0;
    uint32_t access = 0;
    bool temporary = false;
    uint32_t accessed = 0;
    uint32_t modified = 0;
};

// Writes ND volume images: pages of big-endian words, names ended by an
// apostrophe when shorter than their field.
class VolumeImage {
  public:
    explicit VolumeImage(uint32_t pages) : bytes_(size_t{pages} * PAGE, 0) {}

    void word(uint32_t page, uint32_t offset, uint32_t value) {
        uint8_t *at = &bytes_.at(size_t{page} * PAGE + offset + 3) - 3;
        at[0] = uint8_t(value >> 24);
        at[1] = uint8_t(value >> 16);
        at[2] = uint8_t(value >> 8);
        at[3] = uint8_t(value);
    }
    void byte(uint32_t page, uint32_t offset, uint8_t value) {
        bytes_.at(size_t{page} * PAGE + offset) = value;
    }
    void name(uint32_t page, uint32_t offset, const std::string &text, uint32_t length) {
        for (uint32_t i = 0; i < length; ++i)
            byte(page, offset + i,
                 i < text.size()    ? uint8_t(text[i])
                 : i == text.size() ? '\''
                                    : 0);
    }
    void master(const std::string &directory, uint32_t object_index, uint32_t user_index,
                uint32_t bit_file, uint32_t unreserved) {
        name(0, 2016, directory, 16);
        word(0, 2032, object_index);
        word(0, 2036, user_index);
        word(0, 2040, bit_file);
        word(0, 2044, unreserved);
    }
    void user(uint32_t page, uint32_t slot, const std::string &user_name, uint32_t index,
              uint32_t reserved, uint32_t used = 0, uint8_t flags = 0x80, uint8_t sizes = 0) {
        uint32_t at = slot * 64;
        byte(page, at, flags);
        name(page, at + 2, user_name, 16);
        word(page, at + 28, reserved);
        word(page, at + 32, used);
        byte(page, at + 37, uint8_t(index));
        byte(page, at + 47, sizes);
    }
    void file(uint32_t page, uint32_t slot, const FileSpec &entry) {
        uint32_t at = slot * 64;
        byte(page, at, 0x80);
        name(page, at + 2, entry.name, 16);
        name(page, at + 18, entry.type, 4);
        byte(page, at + 28, uint8_t(((entry.number >> 8) << 4) | (entry.temporary ? 1 : 0)));
        byte(page, at + 29, uint8_t(entry.access));
        byte(page, at + 34, uint8_t(entry.owner));
        byte(page, at + 35, uint8_t(entry.number));
        word(page, at + 44, entry.accessed);
        word(page, at + 48, entry.modified);
        word(page, at + 52, entry.pages);
        word(page, at + 56, entry.size - 1);
        word(page, at + 60, entry.file_pointer);
    }
    // A page of recognisable data: every byte depends on the page and its
    // position.
    void data(uint32_t page) {
        for (uint32_t i = 0; i < PAGE; ++i)
            byte(page, i, uint8_t(page * 7 + i * 13 + (i >> 8)));
    }
    std::string page_bytes(uint32_t page) const {
        return std::string(bytes_.begin() + size_t{page} * PAGE,
                           bytes_.begin() + size_t{page + 1} * PAGE);
    }
    const std::vector<uint8_t> &bytes() const { return bytes_; }
    void truncate(size_t size) { bytes_.resize(size); }

  private:
    std::vector<uint8_t> bytes_;
};

std::string read_file(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs the extractor on the image file at `path`.
int extract_floppy_image_file(const std::string &path, const std::string &directory, FILE *out,
                              FILE *err, bool (*in_use)(const std::string &) = nullptr) {
    FILE *image = std::fopen(path.c_str(), "rb");
    if (!image) return -2;
    int result = extract_floppy_image(image, directory, out, err, {}, in_use);
    std::fclose(image);
    return result;
}

std::string zeros(size_t count) {
    return std::string(count, '\0');
}

class FloppyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/kestrel-floppy-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        user_dir_ = root_ / "(ALICE)";
        fs::create_directory(user_dir_);
        const char *tz = std::getenv("TZ");
        had_tz_ = tz != nullptr;
        if (had_tz_) old_tz_ = tz;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override {
        if (had_tz_)
            setenv("TZ", old_tz_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
        fs::remove_all(root_);
    }

    // Runs the extractor on the image with messages and errors in one text.
    int run(const VolumeImage &image, bool (*in_use)(const std::string &) = nullptr) {
        fs::path path = root_ / "VOLUME.IMAG";
        {
            std::ofstream file(path, std::ios::binary);
            file.write(reinterpret_cast<const char *>(image.bytes().data()),
                       std::streamsize(image.bytes().size()));
        }
        char *text = nullptr;
        size_t length = 0;
        FILE *stream = open_memstream(&text, &length);
        int result =
            extract_floppy_image_file(path.string(), user_dir_.string(), stream, stream, in_use);
        std::fclose(stream);
        output_.assign(text, length);
        std::free(text);
        EXPECT_EQ(read_file(path), std::string(image.bytes().begin(), image.bytes().end()))
            << "the image was changed";
        return result;
    }

    std::vector<std::string> extracted() const {
        std::vector<std::string> names;
        for (const auto &entry : fs::directory_iterator(user_dir_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    bool contains(const std::string &text) const { return output_.find(text) != std::string::npos; }

    fs::path root_;
    fs::path user_dir_;
    std::string output_;
    bool had_tz_ = false;
    std::string old_tz_;
};

// The volume of the main test: page 0 master block, 1 user file index, 2 and
// 3 user entries, 4 object file index, 5 object entries, 6 bit file, data
// from 7 on.
struct SampleVolume {
    VolumeImage image{40};
    const uint32_t text_date = nd_date(1986, 5, 17, 13, 45, 30);
    const uint32_t text_read = nd_date(1987, 1, 2, 3, 4, 5);
    const uint32_t data_date = nd_date(1999, 12, 31, 23, 59, 58);

    SampleVolume() {
        image.master("FLOPPY-USER", pointer(0, 4), pointer(0, 1), pointer(0, 6), 100);
        image.word(1, 0, pointer(0, 2));
        image.word(1, 12, pointer(0, 3));
        image.user(2, 0, "SYSTEM", 0, 50, 40);
        image.user(2, 1, "IDLE", 9, 1000, 0, 0x00); // not in use: does not count
        image.user(3, 4, "ALICE", 5, 10, 3, 0x01, 0x13);
        image.word(4, 0, pointer(0, 5));
        // Contiguous: 3 pages, 5000 bytes.
        for (uint32_t p = 7; p <= 9; ++p)
            image.data(p);
        image.file(
            5, 0,
            {"TEXT", "SYMB", pointer(0, 7), 3, 5000, 0, 1, 0x03, false, text_read, text_date});
        // Indexed: 4 pages with a hole in the second.
        image.word(10, 0, pointer(0, 11));
        image.word(10, 8, pointer(0, 12));
        image.word(10, 12, pointer(0, 13));
        for (uint32_t p = 11; p <= 13; ++p)
            image.data(p);
        image.file(5, 1,
                   {"DATA", "DATA", pointer(1, 10), 3, 3 * PAGE + 10, 5, 0x102, 0x04, true,
                    data_date, data_date});
        // Sub-indexed: 515 pages, the first 512 a hole, then a page, a hole
        // and 100 bytes of a last page.
        image.word(14, 4, pointer(0, 15));
        image.word(15, 0, pointer(0, 16));
        image.word(15, 8, pointer(0, 17));
        image.data(16);
        image.data(17);
        image.file(5, 2,
                   {"BIG", "DATA", pointer(2, 14), 4, 514 * PAGE + 100, 5, 3, 0x80, false, 0, 0});
        // Empty, owned by nobody the volume knows.
        FileSpec empty{"EMPTY", "", pointer(0, 0), 0, 0, 77, 4, 0, false, 0, 0};
        image.file(5, 7, empty);
    }
};

TEST_F(FloppyTest, ListsTheVolumeAndExtractsEveryFileExactly) {
    SampleVolume volume;
    ASSERT_EQ(run(volume.image), 0) << output_;
    EXPECT_EQ(output_,
              "Directory name            : FLOPPY-USER\n"
              "Object file index pointer : 4 SI: 0x0 (contiguous)\n"
              "User file index pointer   : 1 SI: 0x0 (contiguous)\n"
              "Bit file pointer          : 6 SI: 0x0 (contiguous)\n"
              "No. of unreserved pages   : 100\n"
              "User file pointer        0: 2\n"
              "User file pointer        3: 3\n"
              "Object file pointer      0: 5\n"
              "Users:\n"
              "  0 SYSTEM           pages reserved        50 used        40     256   256\n"
              "  5 ALICE            pages reserved        10 used         3     512  1024\n"
              "Files:\n"
              "  0   1: T!       3 pages      5000 bytes 1986-05-17 13:45:30 (SYSTEM)TEXT:SYMB\n"
              "  5 258: S t      3 pages      6154 bytes 1999-12-31 23:59:58 (ALICE)DATA:DATA\n"
              "  5   3: L        4 pages   1052772 bytes 1950-01-01 00:00:00 (ALICE)BIG:DATA\n"
              " 77   4: -        0 pages         0 bytes 1950-01-01 00:00:00 (\?\?\?\?)EMPTY:\n"
              "Directory size: 160 pages\n"
              "Bit file size : 1 page \n"
              "Create file " +
                  user_dir_.string() +
                  "/TEXT.SYMB <- Extracting : TEXT.SYMB\n"
                  "Create file " +
                  user_dir_.string() +
                  "/DATA.DATA <- Extracting : DATA.DATA\n"
                  "Create file " +
                  user_dir_.string() +
                  "/BIG.DATA <- Extracting : BIG.DATA\n"
                  "Create file " +
                  user_dir_.string() +
                  "/EMPTY. <- Extracting : EMPTY.\n"
                  "Files extracted: 4, cut short: 0, not extracted: 0\n");

    // The times first: reading the files may change their access times.
    struct stat status {};
    ASSERT_EQ(stat((user_dir_ / "TEXT.SYMB").c_str(), &status), 0);
    EXPECT_EQ(status.st_mtime, 516721530); // 1986-05-17 13:45:30 UTC
    EXPECT_EQ(status.st_atime, 536555045); // 1987-01-02 03:04:05 UTC
    ASSERT_EQ(stat((user_dir_ / "DATA.DATA").c_str(), &status), 0);
    EXPECT_EQ(status.st_mtime, 946684798);
    ASSERT_EQ(stat((user_dir_ / "BIG.DATA").c_str(), &status), 0);
    EXPECT_EQ(status.st_mtime, -631152000); // 1950-01-01 00:00:00 UTC
    EXPECT_EQ(status.st_atime, -631152000);
    const VolumeImage &image = volume.image;
    EXPECT_EQ(extracted(),
              (std::vector<std::string>{"BIG.DATA", "DATA.DATA", "EMPTY.", "TEXT.SYMB"}));
    EXPECT_EQ(read_file(user_dir_ / "TEXT.SYMB"),
              (image.page_bytes(7) + image.page_bytes(8) + image.page_bytes(9)).substr(0, 5000));
    EXPECT_EQ(read_file(user_dir_ / "DATA.DATA"), image.page_bytes(11) + zeros(PAGE) +
                                                      image.page_bytes(12) +
                                                      image.page_bytes(13).substr(0, 10));
    EXPECT_EQ(read_file(user_dir_ / "BIG.DATA"), zeros(512 * PAGE) + image.page_bytes(16) +
                                                     zeros(PAGE) +
                                                     image.page_bytes(17).substr(0, 100));
    EXPECT_EQ(fs::file_size(user_dir_ / "EMPTY."), 0u);
}

TEST_F(FloppyTest, ExistingFilesAreOverwritten) {
    SampleVolume volume;
    std::ofstream(user_dir_ / "TEXT.SYMB") << std::string(9000, 'x');
    ASSERT_EQ(run(volume.image), 0) << output_;
    EXPECT_EQ(fs::file_size(user_dir_ / "TEXT.SYMB"), 5000u);
}

TEST_F(FloppyTest, DatesAndNames) {
    EXPECT_EQ(format_nd_date(0), "1950-01-01 00:00:00");
    EXPECT_EQ(format_nd_date(nd_date(2013, 12, 31, 23, 59, 59)), "2013-12-31 23:59:59");
    EXPECT_EQ(nd_date_to_host_time(nd_date(1970, 1, 1, 0, 0, 1)), 1);

    EXPECT_EQ(host_safe_name_part("../../ETC", false), "______ETC");
    EXPECT_EQ(host_safe_name_part("A\\B\x1b\x7f", false), "A_B__");
    EXPECT_EQ(host_safe_name_part("", false), "_");
    EXPECT_EQ(host_safe_name_part("", true), "");
    EXPECT_EQ(host_safe_name_part("OK-NAME:(1)", false), "OK-NAME:(1)");
    EXPECT_EQ(printable_name("A\x1b[2J\\"), "A\\033[2J\\134");
}

// A small volume with one entry page whose files the tests choose: page 0
// master block, 1 user file index, 2 users, 3 object file index, 4 object
// entries, 5 bit file, data from 6 on.
VolumeImage small_volume(uint32_t pages) {
    VolumeImage image(pages);
    image.master("HOSTILE", pointer(0, 3), pointer(0, 1), pointer(0, 5), 200);
    image.word(1, 0, pointer(0, 2));
    image.user(2, 0, "ALICE", 0, 10);
    image.word(3, 0, pointer(0, 4));
    return image;
}

const char *const FAILED = "\r\nAn error occured, bad floppy image?";

TEST_F(FloppyTest, FewerThan140PagesStopsBeforeTheListing) {
    VolumeImage image = small_volume(8);
    image.word(0, 2044, 120);
    image.user(2, 0, "ALICE", 0, 19);
    image.file(4, 0, {"A", "B", pointer(0, 6), 1, 1});
    EXPECT_EQ(run(image), -1);
    EXPECT_TRUE(contains("Cannot read bitfile without knowing reserved space.\n"));
    EXPECT_FALSE(contains("Files:"));
    EXPECT_TRUE(output_.ends_with(FAILED));
    EXPECT_TRUE(extracted().empty());
}

TEST_F(FloppyTest, PointersPastTheEndAreReadErrors) {
    {
        VolumeImage image = small_volume(8);
        image.word(0, 2036, pointer(0, 9999));
        EXPECT_EQ(run(image), -1);
        EXPECT_TRUE(output_.ends_with("Error reading page 9999: page is beyond the end of the "
                                      "image\nError reading user file index block\n" +
                                      std::string(FAILED)))
            << output_;
    }
    {
        // A last page cut short is not in the image.
        VolumeImage image = small_volume(8);
        image.file(4, 0, {"A", "B", pointer(0, 7), 1, 1});
        image.truncate(7 * PAGE + 100);
        EXPECT_EQ(run(image), -1);
        EXPECT_TRUE(contains("Error reading page 7: page is beyond the end of the image\n"));
    }
    {
        // The bit file runs past the end: its own message, not the page
        // reader's.
        VolumeImage image = small_volume(6);
        image.user(2, 0, "ALICE", 0, 20000);
        EXPECT_EQ(run(image), -1);
        EXPECT_TRUE(
            output_.ends_with("No. of unreserved pages   : 200\n"
                              "User file pointer        0: 2\n"
                              "Object file pointer      0: 4\n"
                              "Users:\n"
                              "  0 ALICE            pages reserved     20000 used         0"
                              "     256   256\n"
                              "Could not read bitfile: page is beyond the end of the image\n" +
                              std::string(FAILED)))
            << output_;
    }
    {
        // Absurd reserved page counts.
        VolumeImage image = small_volume(6);
        image.user(2, 0, "ALICE", 0, 0xFFFFFFFF);
        image.user(2, 1, "BOB", 1, 0xFFFFFFFF);
        EXPECT_EQ(run(image), -1);
        EXPECT_TRUE(contains("Bad directory size: 8589934790 pages\n")) << output_;
    }
}

TEST_F(FloppyTest, AFileReachingPastTheEndEndsTheExtractionAndEarlierFilesStay) {
    VolumeImage image = small_volume(8);
    image.data(6);
    image.file(4, 0, {"FIRST", "DATA", pointer(0, 6), 1, 100});
    image.file(4, 1, {"HUGE", "DATA", pointer(0, 7), 0xFFFFFFFF, 3000});
    image.file(4, 2, {"LAST", "DATA", pointer(0, 0), 0, 0});
    EXPECT_EQ(run(image), -1);
    EXPECT_TRUE(contains("<- Extracting : HUGE.DATA\nError reading page 8: page is beyond the end "
                         "of the image\n"))
        << output_;
    EXPECT_EQ(read_file(user_dir_ / "FIRST.DATA"), image.page_bytes(6).substr(0, 100));
    EXPECT_FALSE(fs::exists(user_dir_ / "LAST.DATA"));
}

TEST_F(FloppyTest, LoopsAndSelfReferencesEndWithAnError) {
    struct Case {
        const char *what;
        uint32_t file_pointer;
        uint32_t size;
        std::vector<std::pair<uint32_t, uint32_t>> words; // page, pointer at position 0..
    };
    const std::vector<Case> cases = {
        {"index block lists itself", pointer(1, 6), 2 * PAGE, {{6, pointer(0, 6)}}},
        {"index block lists a directory page", pointer(1, 6), PAGE, {{6, pointer(0, 4)}}},
        {"subindex block lists itself", pointer(2, 6), 2 * PAGE, {{6, pointer(0, 6)}}},
        {"index block lists its subindex block",
         pointer(2, 6),
         PAGE,
         {{6, pointer(0, 7)}, {7, pointer(0, 6)}}},
        {"a page twice in one file",
         pointer(1, 6),
         3 * PAGE,
         {{6, pointer(0, 7)}, {6, pointer(0, 7)}}},
    };
    for (const Case &c : cases) {
        VolumeImage image = small_volume(10);
        uint32_t position = 0;
        uint32_t last_page = 0;
        for (auto [page, value] : c.words) {
            position = page == last_page ? position + 1 : 0;
            last_page = page;
            image.word(page, position * 4, value);
        }
        image.file(4, 0, {"LOOP", "DATA", c.file_pointer, 0, c.size});
        EXPECT_EQ(run(image), -1) << c.what;
        EXPECT_TRUE(contains("is used more than once\n")) << c.what << "\n" << output_;
    }
}

TEST_F(FloppyTest, FilesSharingPagesAndRepeatedEntryPagesAreRefused) {
    {
        VolumeImage image = small_volume(8);
        image.file(4, 0, {"ONE", "DATA", pointer(0, 6), 1, 10});
        image.file(4, 1, {"TWO", "DATA", pointer(0, 6), 1, 10});
        EXPECT_EQ(run(image), -1);
        EXPECT_TRUE(contains("<- Extracting : TWO.DATA\nPage 6 is used more than once\n"));
        EXPECT_EQ(fs::file_size(user_dir_ / "ONE.DATA"), 10u);
    }
    fs::remove_all(user_dir_);
    fs::create_directory(user_dir_);
    {
        VolumeImage image = small_volume(8);
        image.word(3, 4, pointer(0, 4));
        image.file(4, 0, {"ONE", "DATA", pointer(0, 6), 1, 10});
        EXPECT_EQ(run(image), -1);
        EXPECT_TRUE(contains(":DATA\nPage 4 is used more than once\n")) << output_;
        EXPECT_TRUE(extracted().empty());
    }
}

TEST_F(FloppyTest, AbsurdFileSizes) {
    struct Case {
        FileSpec file;
        const char *message;
    };
    const std::vector<Case> cases = {
        {{"A", "B", pointer(1, 6), 0, 513 * PAGE}, "Index file size error\n"},
        {{"A", "B", pointer(2, 6), 0, 0xFFFFFFFF}, "Subindexed file size error\n"},
        // 512 x 512 pages is already one too many.
        {{"A", "B", pointer(2, 6), 0, 262144 * PAGE - 2047}, "Subindexed file size error\n"},
        {{"A", "B", pointer(3, 6), 1, 1}, "Unhandled filepointer type: 3\n"},
    };
    for (const Case &c : cases) {
        VolumeImage image = small_volume(8);
        image.file(4, 0, c.file);
        EXPECT_EQ(run(image), -1);
        EXPECT_TRUE(contains(std::string("<- Extracting : A.B\n") + c.message +
                             "Files extracted: 0, cut short: 0, not extracted: 1\n" + FAILED))
            << output_;
    }
}

TEST_F(FloppyTest, SizesBeyondThePagesAreExtendedWithZeros) {
    VolumeImage image = small_volume(10);
    image.data(6);
    // A contiguous file of one page whose byte size reaches into a second.
    image.file(4, 0, {"LONG", "DATA", pointer(0, 6), 1, PAGE + 300});
    // A sub-indexed file of the largest page count, all of it a hole, and a
    // file of 4 GiB without pages: no page on the volume justifies such
    // sizes, which are cut a page beyond the last page held, and reported.
    image.file(4, 1, {"HOLES", "DATA", pointer(2, 7), 0, (262144 - 1) * PAGE});
    image.file(4, 2, {"GIANT", "DATA", pointer(0, 0), 0, 0xFFFFFFFF});
    image.file(4, 3, {"AFTER", "DATA", pointer(0, 0), 0, 5});
    ASSERT_EQ(run(image), 0) << output_;
    EXPECT_EQ(read_file(user_dir_ / "LONG.DATA"), image.page_bytes(6) + zeros(300));
    EXPECT_TRUE(contains("Error: (ALICE)HOLES:DATA declares 536868864 bytes, its pages hold 2048; "
                         "cut there\n"))
        << output_;
    EXPECT_TRUE(contains("Error: (ALICE)GIANT:DATA declares 4294967295 bytes, its pages hold "
                         "2048; cut there\n"))
        << output_;
    EXPECT_TRUE(contains("Files extracted: 2, cut short: 2, not extracted: 0\n")) << output_;
    EXPECT_EQ(read_file(user_dir_ / "HOLES.DATA"), zeros(PAGE));
    EXPECT_EQ(read_file(user_dir_ / "GIANT.DATA"), zeros(PAGE));
    EXPECT_EQ(read_file(user_dir_ / "AFTER.DATA"), zeros(5)) << "the files after are extracted";
}

TEST_F(FloppyTest, AFileNamedLikeTheImageDoesNotReplaceIt) {
    VolumeImage image = small_volume(8);
    image.data(6);
    image.file(4, 0, {"FIRST", "DATA", pointer(0, 6), 1, 10});
    image.file(4, 1, {"VOLUME", "IMAG", pointer(0, 6), 1, 10});
    // The image lies in the user's own directory, as it does when it is
    // opened by its ND name.
    fs::path path = user_dir_ / "VOLUME.IMAG";
    {
        std::ofstream file(path, std::ios::binary);
        file.write(reinterpret_cast<const char *>(image.bytes().data()),
                   std::streamsize(image.bytes().size()));
    }
    char *text = nullptr;
    size_t length = 0;
    FILE *stream = open_memstream(&text, &length);
    FILE *image_file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(image_file, nullptr);
    EXPECT_EQ(extract_floppy_image(image_file, user_dir_.string(), stream, stream, path.string()),
              -1);
    std::fclose(image_file);
    std::fclose(stream);
    output_.assign(text, length);
    std::free(text);
    EXPECT_TRUE(output_.ends_with("Create file " + path.string() + " Error: Could not create " +
                                  path.string() +
                                  ": it is the volume image being read\n"
                                  "Files extracted: 1, cut short: 0, not extracted: 1\n" +
                                  FAILED))
        << output_;
    EXPECT_EQ(read_file(path), std::string(image.bytes().begin(), image.bytes().end()));
    EXPECT_EQ(read_file(user_dir_ / "FIRST.DATA"), image.page_bytes(6).substr(0, 10));
}

// Files of the volume that become the same host file, and host files in
// use, are refused by name; the files after them are extracted. A write the
// host refuses ends the extraction.
TEST_F(FloppyTest, NoFileReplacesAnotherOrAFileInUseAndWritesFailVisibly) {
    VolumeImage image = small_volume(12);
    for (uint32_t page = 6; page <= 8; ++page)
        image.data(page);
    image.file(4, 0, {"TW/IN", "SYMB", pointer(0, 6), 1, 10});
    image.file(4, 1, {"TW.IN", "SYMB", pointer(0, 7), 1, 20});
    image.file(4, 2, {"BUSY", "DATA", pointer(0, 8), 1, 30});
    image.file(4, 3, {"LAST", "DATA", pointer(0, 0), 0, 0});
    std::ofstream(user_dir_ / "BUSY.DATA") << "busy";
    auto busy = [](const std::string &path) { return path.ends_with("/BUSY.DATA"); };
    ASSERT_EQ(run(image, busy), 0) << output_;
    EXPECT_TRUE(contains("Create file " + (user_dir_ / "TW_IN.SYMB").string() +
                         " Error: (ALICE)TW/IN:SYMB and (ALICE)TW.IN:SYMB both become "
                         "TW_IN.SYMB; the later is not extracted\n"))
        << output_;
    EXPECT_TRUE(contains(" Error: " + (user_dir_ / "BUSY.DATA").string() +
                         " is in use (an open or scratch file); (ALICE)BUSY:DATA is not "
                         "extracted\n"))
        << output_;
    EXPECT_TRUE(contains("<- Extracting : LAST.DATA\n"
                         "Files extracted: 2, cut short: 0, not extracted: 2\n"))
        << output_;
    EXPECT_EQ(read_file(user_dir_ / "TW_IN.SYMB"), image.page_bytes(6).substr(0, 10));
    EXPECT_EQ(read_file(user_dir_ / "BUSY.DATA"), "busy");

    fs::remove(user_dir_ / "TW_IN.SYMB");
    host_fail_writes_after(PAGE, ENOSPC);
    int result = run(image);
    host_stop_failing_writes();
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(contains("<- Extracting : TW_IN.SYMB\nCould not write page: No space left on "
                         "device\nFiles extracted: 0, cut short: 0, not extracted: 4\n" +
                         std::string(FAILED)))
        << output_;
}

TEST_F(FloppyTest, UnsafeNamesStayInTheUserDirectory) {
    VolumeImage image = small_volume(10);
    image.data(6);
    image.data(7);
    image.data(8);
    image.file(4, 0, {"../../ESCAPE", "SY/M", pointer(0, 6), 1, 10});
    image.file(4, 1, {"A\x1b[2J", "..", pointer(0, 7), 1, 20});
    image.file(4, 2, {"", "", pointer(0, 8), 1, 30});
    // Bit 7 of name characters is not part of the name.
    image.file(4, 3, {"\xC8I", "\xD4XT", pointer(0, 0), 0, 0});
    ASSERT_EQ(run(image), 0) << output_;
    EXPECT_TRUE(contains(")______ESCAPE:SY_M\n"
                         "         name on the volume ../../ESCAPE:SY/M, unsafe characters "
                         "replaced by _\n"));
    EXPECT_TRUE(contains(")A_[2J:__\n"
                         "         name on the volume A\\033[2J:.., unsafe characters replaced "
                         "by _\n"));
    EXPECT_TRUE(contains(")_:\n         name on the volume :, unsafe characters replaced by _\n"));
    EXPECT_TRUE(contains(")HI:TXT\nDirectory size"));
    EXPECT_EQ(extracted(),
              (std::vector<std::string>{"A_[2J.__", "HI.TXT", "_.", "______ESCAPE.SY_M"}));
    EXPECT_EQ(read_file(user_dir_ / "______ESCAPE.SY_M"), image.page_bytes(6).substr(0, 10));
    EXPECT_EQ(read_file(user_dir_ / "_."), image.page_bytes(8).substr(0, 30));
    // Nothing was written next to the user directory or above it.
    std::vector<std::string> beside;
    for (const auto &entry : fs::directory_iterator(root_))
        beside.push_back(entry.path().filename().string());
    std::sort(beside.begin(), beside.end());
    EXPECT_EQ(beside, (std::vector<std::string>{"(ALICE)", "VOLUME.IMAG"}));
}

TEST_F(FloppyTest, SubindexedObjectIndexIsListedAndExtractedBeyondSixteenBlocks) {
    // Page 3 lists object file index blocks 0 (page 6), 15 (page 11) and 20
    // (page 7). The pointer report shows the pointers of the first 16 blocks;
    // the listing and the extraction go on to block 20.
    VolumeImage image = small_volume(13);
    image.word(0, 2032, pointer(2, 3));
    image.word(3, 0, pointer(0, 6));
    image.word(3, 15 * 4, pointer(0, 11));
    image.word(3, 20 * 4, pointer(0, 7));
    image.word(6, 0, pointer(0, 4));
    image.word(11, 511 * 4, pointer(0, 12));
    image.word(7, 2 * 4, pointer(0, 8));
    image.data(9);
    image.data(10);
    image.file(4, 0, {"LOW", "DATA", pointer(0, 9), 1, 2048});
    image.file(12, 0, {"MIDDLE", "DATA", pointer(0, 0), 0, 0});
    image.file(8, 31, {"HIGH", "DATA", pointer(0, 10), 1, 7});
    ASSERT_EQ(run(image), 0) << output_;
    EXPECT_TRUE(contains("Object file index pointer : 3 SI: 0x2 (sub-indexed)\n"));
    EXPECT_TRUE(contains("Object file pointer      0: 4\nObject file pointer   8191: 12\nUsers:\n"))
        << output_;
    EXPECT_TRUE(contains(")LOW:DATA\n"));
    EXPECT_TRUE(contains(")MIDDLE:DATA\n"));
    EXPECT_TRUE(contains(")HIGH:DATA\n"));
    EXPECT_TRUE(contains("<- Extracting : HIGH.DATA\n"));
    EXPECT_EQ(read_file(user_dir_ / "HIGH.DATA"), image.page_bytes(10).substr(0, 7));

    // An error while extracting from such a volume says so.
    image.file(8, 30, {"BAD", "DATA", pointer(3, 0), 0, 0});
    EXPECT_EQ(run(image), -1);
    EXPECT_TRUE(output_.ends_with("Unhandled filepointer type: 3\n"
                                  "Files extracted: 2, cut short: 0, not extracted: 2\n"
                                  "\nError when extracting subindexed file" +
                                  std::string(FAILED)))
        << output_;
}

TEST_F(FloppyTest, ObjectIndexBlockPastTheEnd) {
    VolumeImage image = small_volume(8);
    image.word(0, 2032, pointer(2, 3));
    image.word(3, 0, pointer(0, 6));
    image.word(3, 4, pointer(0, 4000));
    EXPECT_EQ(run(image), -1);
    EXPECT_TRUE(contains("Error reading page 4000: page is beyond the end of the image\n"
                         "Error reading object file index block 1\n"));
}

TEST_F(FloppyTest, UnreadableImages) {
    EXPECT_EQ(run(VolumeImage(0)), -1);
    EXPECT_EQ(output_, "Error reading page 0: page is beyond the end of the image\n"
                       "Error reading master block\n" +
                           std::string(FAILED));

    // A stream that cannot be positioned, such as a pipe, is no image.
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    ASSERT_EQ(write(ends[1], "data", 4), 4);
    close(ends[1]);
    FILE *pipe_stream = fdopen(ends[0], "rb");
    char *text = nullptr;
    size_t length = 0;
    FILE *stream = open_memstream(&text, &length);
    EXPECT_EQ(extract_floppy_image(pipe_stream, user_dir_.string(), stream, stream), -1);
    std::fclose(stream);
    std::fclose(pipe_stream);
    EXPECT_EQ(std::string(text, length), "Error reading master block\n" + std::string(FAILED));
    std::free(text);
}

TEST_F(FloppyTest, AMissingUserDirectoryIsReported) {
    VolumeImage image = small_volume(8);
    image.file(4, 0, {"A", "B", pointer(0, 0), 0, 0});
    user_dir_ = root_ / "(NOBODY)";
    EXPECT_EQ(run(image), -1);
    EXPECT_TRUE(contains("Error: Could not create " + user_dir_.string() +
                         "/A.B: No such file or directory\n"));
}

} // namespace
