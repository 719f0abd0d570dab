// Faults found by fuzzing and by hostile input, each kept as the case that
// showed it.
#include "filesystem/file_names.h"
#include "image_test_support.h"

#include <string>
#include <vector>

namespace {

size_t count_of(const std::string &text, const std::string &needle) {
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++count;
    return count;
}

std::vector<uint8_t> bytes_of(const std::string &text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

using Regressions = ShellTree;

// A name with no file part but a type ("(EMULATOR):SYMB", ":SYMB") was taken
// as an abbreviation of every file of that type, so that a lone SYMB file
// could be deleted or overwritten through it.
TEST_F(Regressions, ANameWithoutFilePartResolvesToNoFile) {
    write_text("(EMULATOR)/X.SYMB", "hello\n");
    scan_users();
    std::string path = "unchanged";
    for (const char *name : {"(EMULATOR).SYMB", "(EMULATOR):SYMB", ".SYMB", ":SYMB", "(EMULATOR)"})
        EXPECT_EQ(deabb(add_default_type(name, "SYMB"), &path), NAME_NO_SUCH_FILE) << name;
    EXPECT_EQ(path, "unchanged");

    run("@delete-file (EMULATOR):SYMB");
    run("@delete-file :SYMB");
    run("help status (EMULATOR)");
    run("add-parity X (EMULATOR)");
    EXPECT_EQ(read_text("(EMULATOR)/X.SYMB"), "hello\n");
    EXPECT_NE(run("more :SYMB").find("No such file name"), std::string::npos);
}

// A conversion whose output file is its input file emptied the input before
// reading it; it is refused and the file keeps its bytes.
TEST_F(Regressions, ConversionOntoItsOwnInputIsRefused) {
    write_text("(EMULATOR)/TEXT.SYMB", "line one\r\nline two\r\n");
    write_file("(EMULATOR)/IMAGE.PROG", bytes_of("abcdef"));
    scan_users();
    for (const char *line : {"add-parity TEXT TEXT", "remove-parity TEXT (EMULATOR)TEXT:SYMB",
                             "byte-swap IMAGE IMAGE"}) {
        EXPECT_EQ(run(line), "Source and destination are the same file\r\n") << line;
    }
    EXPECT_EQ(read_text("(EMULATOR)/TEXT.SYMB"), "line one\r\nline two\r\n");
    EXPECT_EQ(read_text("(EMULATOR)/IMAGE.PROG"), "abcdef");
}

// The conversions still replace the whole of an existing, longer output file.
TEST_F(Regressions, ConversionOutputIsReplacedNotAppended) {
    write_text("(EMULATOR)/TEXT.SYMB", "ab\r\n");
    write_text("(EMULATOR)/OUT.SYMB", std::string(100, 'x'));
    write_file("(EMULATOR)/IMAGE.PROG", bytes_of("abcd"));
    write_file("(EMULATOR)/SWAPPED.PROG", bytes_of(std::string(50, 'y')));
    scan_users();
    run("remove-parity TEXT OUT");
    EXPECT_EQ(read_text("(EMULATOR)/OUT.SYMB"), "ab\n");
    run("byte-swap IMAGE SWAPPED");
    EXPECT_EQ(read_text("(EMULATOR)/SWAPPED.PROG"), "badc");
}

// A program that has GO carried out by MON 70 starts itself again inside
// the monitor call; when it does so at every start the runs nested without
// end and the host stack overflowed. The nesting now stops with a message
// and every run ends.
TEST_F(Regressions, SintranGoFromEveryStartEndsInsteadOfExhaustingTheStack) {
    // 1000 MIN COUNT, LDA CMDP, MON 70, MON 0; COUNT; CMDP; "GO 1000'".
    write_file("(EMULATOR)/AGAIN.PROG", prog_bytes(01000, 01000, 01000, 01011, NOT_TWO_BANK, 0,
                                                   {040004, 044004, 0153070, 0153000, 0, 01006,
                                                    043517, 020061, 030060, 030047}));
    scan_users();
    std::string out = run("AGAIN");
    EXPECT_EQ(count_of(out, "SINTRAN commands nested too deeply: GO 1000"), 1u) << out;
    EXPECT_EQ(cpu_running, 0);
    // The first start and each of the nested ones counted once.
    EXPECT_EQ(read_normal(01004), 33u);
}

} // namespace
