// |extract-floppy-image run in the real binary: a volume image in the
// current user's directory is listed and its files appear beside it.
#include "harness.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr uint32_t PAGE = 2048;

// A volume of 12 pages: master block, user file index, users, object file
// index, object entries, bit file, then data.
class Volume {
  public:
    Volume() : bytes_(12 * PAGE, '\0') {
        name(0, 2016, "E2E-VOLUME", 16);
        word(0, 2032, 3);
        word(0, 2036, 1);
        word(0, 2040, 5);
        word(0, 2044, 150);
        word(1, 0, 2);
        byte(2, 0, 0x80);
        name(2, 2, "GUEST", 16);
        word(2, 28, 20);
        byte(2, 37, 7);
        word(3, 0, 4);
        for (uint32_t i = 0; i < PAGE; ++i) {
            byte(6, i, uint8_t('A' + i % 26));
            byte(7, i, uint8_t(i));
        }
    }
    void file(uint32_t slot, const std::string &file_name, const std::string &type,
              uint32_t file_pointer, uint32_t pages, uint32_t size, uint32_t date) {
        uint32_t at = slot * 64;
        byte(4, at, 0x80);
        name(4, at + 2, file_name, 16);
        name(4, at + 18, type, 4);
        byte(4, at + 29, 0x02);
        byte(4, at + 34, 7);
        byte(4, at + 35, uint8_t(slot));
        word(4, at + 44, date);
        word(4, at + 48, date);
        word(4, at + 52, pages);
        word(4, at + 56, size - 1);
        word(4, at + 60, file_pointer);
    }
    void word(uint32_t page, uint32_t offset, uint32_t value) {
        for (int i = 0; i < 4; ++i)
            byte(page, offset + i, uint8_t(value >> (24 - 8 * i)));
    }
    void byte(uint32_t page, uint32_t offset, uint8_t value) {
        bytes_.at(page * PAGE + offset) = char(value);
    }
    std::string page(uint32_t number) const { return bytes_.substr(number * PAGE, PAGE); }
    const std::string &bytes() const { return bytes_; }

  private:
    void name(uint32_t page, uint32_t offset, const std::string &text, uint32_t length) {
        for (uint32_t i = 0; i < length; ++i)
            byte(page, offset + i,
                 i < text.size()    ? uint8_t(text[i])
                 : i == text.size() ? '\''
                                    : 0);
    }
    std::string bytes_;
};

// 1986-05-17 13:45:30
constexpr uint32_t DATE = (36u << 26) | (5u << 22) | (17u << 17) | (13u << 12) | (45u << 6) | 30u;

// The child process reads dates as local time: make that UTC for the test.
class FloppyE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        const char *tz = std::getenv("TZ");
        had_tz_ = tz != nullptr;
        if (had_tz_) old_tz_ = tz;
        setenv("TZ", "UTC", 1);
    }
    void TearDown() override {
        if (had_tz_)
            setenv("TZ", old_tz_.c_str(), 1);
        else
            unsetenv("TZ");
    }
    bool had_tz_ = false;
    std::string old_tz_;
};

TEST_F(FloppyE2E, ListsAndExtractsIntoTheCurrentUser) {
    NdTree tree;
    Volume volume;
    volume.file(0, "LETTERS", "SYMB", 6, 1, 1000, DATE);
    volume.word(8, 4, 7); // index block: a hole, then page 7
    volume.file(1, "BYTES", "DATA", (1u << 30) | 8, 3, 2 * PAGE, DATE);
    tree.write_file("(EMULATOR)/DISK.IMAG", volume.bytes());

    RunResult run = run_kestrel(tree, "|extract-floppy-image DISK\nquit\n");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_NE(run.output.find(
                  "<>\r\nNorsk Data filesystem inspector, lister and extractor.\r\n"
                  "The files of the volume are written into the directory of user EMULATOR.\r\n"
                  "\r\n"
                  "Directory name            : E2E-VOLUME\n"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("Files:\n"
                              "  7   0: P        1 page       1000 bytes 1986-05-17 13:45:30 "
                              "(GUEST)LETTERS:SYMB\n"
                              "  7   1: P        3 pages      4096 bytes 1986-05-17 13:45:30 "
                              "(GUEST)BYTES:DATA\n"
                              "Directory size: 170 pages\n"
                              "Bit file size : 1 page \n"
                              "Create file ./(EMULATOR)/LETTERS.SYMB <- Extracting : LETTERS.SYMB\n"
                              "Create file ./(EMULATOR)/BYTES.DATA <- Extracting : BYTES.DATA\n"
                              "<>"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(tree.read_file("(EMULATOR)/LETTERS.SYMB"), volume.page(6).substr(0, 1000));
    EXPECT_EQ(tree.read_file("(EMULATOR)/BYTES.DATA"), std::string(PAGE, '\0') + volume.page(7));
    struct stat status {};
    ASSERT_EQ(stat(tree.path("(EMULATOR)/LETTERS.SYMB").c_str(), &status), 0);
    EXPECT_EQ(status.st_mtime, 516721530);
    EXPECT_EQ(tree.read_file("(EMULATOR)/DISK.IMAG"), volume.bytes());
}

TEST_F(FloppyE2E, FilesGoToTheUserLoggedInNow) {
    NdTree tree;
    Volume volume;
    volume.file(0, "LETTERS", "SYMB", 6, 1, 1000, DATE);
    tree.write_file("(EMULATOR)/DISK.IMAG", volume.bytes());

    RunResult run =
        run_kestrel(tree, "log-in-user SYSTEM\n|extract-floppy-image (EMULATOR)DISK\nquit\n");
    EXPECT_NE(run.output.find("directory of user SYSTEM.\r\n"), std::string::npos) << run.output;
    EXPECT_EQ(tree.read_file("(SYSTEM)/LETTERS.SYMB"), volume.page(6).substr(0, 1000));
    EXPECT_FALSE(tree.exists("(EMULATOR)/LETTERS.SYMB"));
}

TEST_F(FloppyE2E, PromptsForTheImageAndRefusesHostileNames) {
    NdTree tree;
    Volume volume;
    volume.file(0, "../../OUT", "SYMB", 6, 1, 10, 0);
    tree.write_file("(EMULATOR)/EVIL.IMAG", volume.bytes());

    RunResult run = run_kestrel(tree, "|e-f-i\nEVIL\nquit\n");
    EXPECT_NE(run.output.find("\r\nFrom file: "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("(GUEST)______OUT:SYMB\n"
                              "         name on the volume ../../OUT:SYMB, unsafe characters "
                              "replaced by _\n"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(tree.read_file("(EMULATOR)/______OUT.SYMB"), volume.page(6).substr(0, 10));
    EXPECT_FALSE(tree.exists("OUT.SYMB"));
    EXPECT_FALSE(tree.exists("../OUT.SYMB"));
}

TEST_F(FloppyE2E, TheImageIsNeverReplacedByAFileOfItsOwn) {
    NdTree tree;
    Volume volume;
    volume.file(0, "LETTERS", "SYMB", 6, 1, 1000, DATE);
    volume.file(1, "DISK", "IMAG", 7, 1, 2048, DATE);
    tree.write_file("(EMULATOR)/DISK.IMAG", volume.bytes());

    RunResult run = run_kestrel(tree, "|extract-floppy-image DISK\nquit\n");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_NE(run.output.find("Create file ./(EMULATOR)/DISK.IMAG Error: Could not create "
                              "./(EMULATOR)/DISK.IMAG: it is the volume image being read\n"
                              "\r\nAn error occured, bad floppy image?<>"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(tree.read_file("(EMULATOR)/DISK.IMAG"), volume.bytes());
    EXPECT_EQ(tree.read_file("(EMULATOR)/LETTERS.SYMB"), volume.page(6).substr(0, 1000));
}

TEST_F(FloppyE2E, ABadImageIsReportedAndTheShellGoesOn) {
    NdTree tree;
    Volume volume;
    volume.word(0, 2036, 4000); // the user file index lies past the end
    tree.write_file("(EMULATOR)/BAD.IMAG", volume.bytes());

    RunResult run = run_kestrel(tree, "|extract-floppy-image BAD\nquit\n");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_NE(run.output.find("Error reading page 4000: page is beyond the end of the image\n"
                              "Error reading user file index block\n"
                              "\r\nAn error occured, bad floppy image?<>"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("--- Terminated KESTREL"), std::string::npos);
}

TEST_F(FloppyE2E, TheTerminalIsNoImage) {
    NdTree tree;
    RunResult run = run_kestrel(tree, "|extract-floppy-image (SYSTEM)TERMINAL:SYMB\nquit\n");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_NE(run.output.find("Error reading master block\n"
                              "\r\nAn error occured, bad floppy image?<>"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("--- Terminated KESTREL"), std::string::npos) << run.output;
}

// The same lister and extractor from the host command line, on an image
// anywhere on the host: the listing is the shell's, without its prompts.
TEST_F(FloppyE2E, ListAndExtractAVolumeFromTheHostCommandLine) {
    NdTree tree;
    Volume volume;
    volume.file(0, "LETTERS", "SYMB", 6, 1, 1000, DATE);
    tree.write_file("DISK.IMAG", volume.bytes());
    tree.make_directory("(GUEST)");
    const std::string listing =
        "Files:\n"
        "  7   0: P        1 page       1000 bytes 1986-05-17 13:45:30 (GUEST)LETTERS:SYMB\n"
        "Directory size: 170 pages\n"
        "Bit file size : 1 page \n";

    RunResult list = run_kestrel_apart(tree, "", {"--list-volume", "DISK.IMAG"});
    EXPECT_EQ(list.output.rfind("Directory name            : E2E-VOLUME\n", 0), 0u) << list.output;
    EXPECT_EQ(list.output.substr(list.output.find("Files:")), listing);
    EXPECT_EQ(list.errors, "");
    EXPECT_EQ(list.exit_status, 0);
    EXPECT_FALSE(tree.exists("(EMULATOR)/LETTERS.SYMB"));

    RunResult extract = run_kestrel_apart(
        tree, "", {"-C", "(GUEST)/..", "--extract-volume", "DISK.IMAG", "-u", "guest"});
    EXPECT_NE(extract.output.find(
                  listing + "Create file ./(GUEST)/LETTERS.SYMB <- Extracting : LETTERS.SYMB\n"),
              std::string::npos)
        << extract.output;
    EXPECT_EQ(extract.exit_status, 0);
    EXPECT_EQ(tree.read_file("(GUEST)/LETTERS.SYMB"), volume.page(6).substr(0, 1000));

    RunResult missing = run_kestrel_apart(tree, "", {"--list-volume", "NONE.IMAG"});
    EXPECT_EQ(missing.errors, "kestrel: cannot read NONE.IMAG: No such file or directory\n");
    EXPECT_EQ(missing.exit_status, 2);
    volume.word(0, 2036, 4000);
    tree.write_file("BAD.IMAG", volume.bytes());
    RunResult bad = run_kestrel_apart(tree, "", {"--extract-volume", "BAD.IMAG"});
    EXPECT_NE(bad.errors.find("Error reading user file index block\n"), std::string::npos)
        << bad.errors;
    EXPECT_EQ(bad.exit_status, 1);
}

} // namespace
