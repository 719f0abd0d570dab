// Hostile input, run in the real binary: ND names that try to leave the user
// directories or are plainly malformed, through every command and monitor
// call that takes a name; damaged images; monitor-call parameters that run
// past the end of memory; a mode file of binary garbage; malformed escape
// sequences from the terminal; host paths that cannot be written. Each is
// refused or handled, nothing outside the tree is touched, nothing inside it
// changes that should not, and the emulator goes on working.
#include "harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const std::string kClaimLine = "was successful: ./(SCRATCH)/SCRATCH01.DATA\r\n";
const std::string kSentinelCommand = "octal-to-decimal 7\n";
const std::string kSentinelAnswer = "7 octal is 7 decimal";

// Unique per test process, upper case (the shell upper-cases names), so
// that a file that escaped the tree can be recognised in its parent.
std::string escape_tag() {
    return "KESTREL-ESCAPE-" + std::to_string(getpid());
}

size_t count_of(const std::string &text, const std::string &needle) {
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++count;
    return count;
}

// Everything below the tree root with the sizes of the files; the lock files
// of the scratch files are left out.
std::string tree_listing(const NdTree &tree) {
    std::vector<std::string> lines;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(tree.root())) {
        if (entry.path().filename().string()[0] == '.') continue;
        std::string line = entry.path().string().substr(tree.root().size());
        if (entry.is_regular_file()) line += ":" + std::to_string(entry.file_size());
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const auto &line : lines)
        text += line + "\n";
    return text;
}

// Names in the tree's parent directory that carry the escape tag.
std::vector<std::string> escaped_files(const NdTree &tree) {
    std::vector<std::string> found;
    std::filesystem::path parent = std::filesystem::path(tree.root()).parent_path();
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(parent, error))
        if (entry.path().filename().string().find(escape_tag()) != std::string::npos)
            found.push_back(entry.path().string());
    return found;
}

// The hostile names: path separators, parent steps, absolute paths, control
// characters and a 1000-character name.
std::vector<std::string> hostile_names() {
    std::string tag = escape_tag();
    return {"../" + tag,
            "./(SYSTEM)/../../" + tag,
            "(SYSTEM)/../../" + tag,
            "/tmp/" + tag,
            "A/B",
            "..",
            "(..)" + tag,
            "(EMULATOR)",
            ":SYMB",
            std::string("A\001\007\033B"),
            std::string(1000, 'N')};
}

// A printable label for a name in test messages.
std::string label(const std::string &name) {
    std::string shown;
    for (char c : name.substr(0, 40)) {
        if (static_cast<unsigned char>(c) < 32) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\%03o", static_cast<unsigned char>(c));
            shown += escaped;
        } else {
            shown += c;
        }
    }
    return name.size() > 40 ? shown + "... (" + std::to_string(name.size()) + ")" : shown;
}

// Every shell command that takes a file or user name, with all its
// arguments so that none prompts; {} stands for the hostile name.
const char *const kNameCommands[] = {
    "@create-file {} 1",
    "@delete-file {}",
    "@copy-file {} KEEP",
    "@copy-file KEEP {}",
    "@copy {} KEEP",
    "@copy KEEP {}",
    "@rename-file KEEP {}",
    "@rename-file {} KEEP",
    "@list-file {}",
    "more {}",
    "od 8 {}",
    "find-text-in-file {} abc",
    "find-in-file {} 1 2",
    "byte-swap {} OUT",
    "byte-swap KEEP {}",
    "add-parity KEEP {}",
    "remove-parity {} OUT",
    "compare-images {} KEEP",
    "compare-images KEEP KEEP {}",
    "save-image-to-file {} 0 0",
    "dump-memory {} 0 0",
    "WRITE-BINARY 0 {}",
    "READ-BINARY {}",
    "COMPARE-BINARY {} KEEP",
    "load-image-file {}",
    "load-byte-swapped-image-file {}",
    "@place-binary {}",
    "@place-image-file {}",
    "|extract-floppy-image {}",
    "@mode {} {}",
    "open-trace-file {}",
    "close-trace-file",
    "help status {}",
    "virtual-keyboard-definition {}",
    "get-entries {}",
    "define-segment 1 {}",
    "load-segment 1 {}",
    "! {}",
    "@recover {}",
    "{}",
    "log-in-user {}",
    "@create-user {}",
    "@delete-user {}",
    "@new {}",
    "@release-directory {}",
};

std::string with_name(const std::string &pattern, const std::string &name) {
    std::string line = pattern;
    size_t at;
    while ((at = line.find("{}")) != std::string::npos)
        line.replace(at, 2, name);
    return line;
}

void write_fixtures(const NdTree &tree) {
    tree.write_file("(EMULATOR)/KEEP.SYMB", "keep these bytes\r\n");
    tree.write_file("(EMULATOR)/KEEP.PROG", std::string(600, '\001'));
    tree.write_file("(EMULATOR)/OUT.SYMB", "out\r\n");
    tree.write_file("(EMULATOR)/OUT.PROG", "out");
    tree.write_file("(SYSTEM)/SYSFILE.SYMB", "system\r\n");
}

TEST(HostileNames, EveryCommandThatTakesANameRefusesItAndChangesNothing) {
    for (const std::string &name : hostile_names()) {
        SCOPED_TRACE(label(name));
        NdTree tree;
        write_fixtures(tree);
        std::string before = tree_listing(tree);
        std::string input;
        size_t commands = 0;
        for (const char *pattern : kNameCommands) {
            std::string line = with_name(pattern, name);
            if (line.size() >= 1000 && name.size() >= 1000 && count_of(pattern, "{}") > 1)
                line = with_name(pattern, name.substr(0, 400));
            input += line + "\n" + kSentinelCommand;
            ++commands;
        }
        RunResult run = run_kestrel(tree, input + "quit\n");
        EXPECT_EQ(run.exit_status, 0);
        EXPECT_EQ(count_of(run.output, kSentinelAnswer), commands)
            << "a command stopped reading its own line, or the emulator stopped";
        EXPECT_NE(run.output.find("--- Terminated KESTREL"), std::string::npos);
        // The file commands say why a name with a path separator is refused.
        if (name.find('/') != std::string::npos) {
            EXPECT_GE(count_of(run.output, "Illegal character in file name"), 25u) << run.output;
        }
        EXPECT_EQ(tree_listing(tree), before);
        EXPECT_EQ(tree.read_file("(EMULATOR)/KEEP.SYMB"), "keep these bytes\r\n");
        EXPECT_TRUE(escaped_files(tree).empty());
    }
}

// ---- ND programs ----

// The report routine and its pointer words: JPL I REPP-BASE,B prints the
// letter in T, A in octal and a line end. Programs keep their pointer words
// near BASE and reach them B-relative.
const char *const kProgramHead = R"(
BASE = 400
        ORG 400
CODE:   WORD 0
RET:    WORD 0
REPP:   WORD REPORT
TYPEP:  WORD TYPE
PAGEP:  WORD PAGES
RESP:   WORD RESULT
KEEPP:  WORD KEEPN
SAFEP:  WORD SAFEN
)";

const char *const kProgramTail = R"(
        SAA 105
        SAT 1
        MON 2
        JMP *+1
        SAA 116
        SAT 1
        MON 2
        JMP *+1
        SAA 104
        SAT 1
        MON 2
        JMP *+1
        MON 0

REPORT: STA CODE-BASE,B
        COPY SL DA
        STA RET-BASE,B
        COPY ST DA
        SAT 1
        MON 2
        JMP *+1
        LDA CODE-BASE,B
        SAT 10
        MON 35
        SAA 15
        SAT 1
        MON 2
        JMP *+1
        SAA 12
        SAT 1
        MON 2
        JMP *+1
        LDA RET-BASE,B
        COPY SA DP

        ORG 40000
TYPE:   TEXT 'SYMB'
PAGES:  WORD 0, 1
RESULT: BLOCK 200
KEEPN:  TEXT 'KEEP:SYMB'
SAFEN:  TEXT 'SAFE:SYMB'
)";

// Packed ND text of `name` with its apostrophe, as TEXT lines of character
// codes.
std::string text_lines(const std::string &label_name, const std::string &name) {
    std::string codes = name + "'";
    if (codes.size() % 2) codes += '\0';
    std::string source;
    for (size_t i = 0; i < codes.size(); i += 20) {
        source += i == 0 ? label_name + ":" : "";
        source += "\tTEXT ";
        for (size_t j = i; j < std::min(codes.size(), i + 20); ++j) {
            char octal[8];
            std::snprintf(octal, sizeof octal, "%o", static_cast<unsigned char>(codes[j]));
            source += (j == i ? "" : ", ") + std::string(octal);
        }
        source += "\n";
    }
    return source;
}

// One monitor call on name pointer `pointer`, then the report: S and A for
// the skip return, E and A for the error return.
std::string call_block(const std::string &setup, const std::string &call) {
    return setup + "\tMON " + call +
           "\n\tJMP *+3\n\tSAT 123\n\tJMP *+2\n\tSAT 105\n"
           "\tJPL I REPP-BASE,B\n";
}

// The monitor calls that take a name, each on name pointer NPn.
std::vector<std::string> name_calls(const std::string &pointer) {
    std::string x = "\tLDX " + pointer + "-BASE,B\n";
    return {
        call_block(x + "\tLDA TYPEP-BASE,B\n\tSAT 1\n", "50"),
        call_block(x + "\tLDA TYPEP-BASE,B\n\tSAT 0\n", "50"),
        call_block(x + "\tLDA TYPEP-BASE,B\n\tSAT 2\n", "220"),
        call_block(x, "54"),
        call_block("\tLDX KEEPP-BASE,B\n\tLDA " + pointer + "-BASE,B\n", "232"),
        call_block(x + "\tLDA SAFEP-BASE,B\n", "232"),
        call_block(x + "\tLDT PAGEP-BASE,B\n", "221"),
        call_block(x + "\tLDT PAGEP-BASE,B\n", "231"),
        call_block(x + "\tLDT TYPEP-BASE,B\n\tLDA RESP-BASE,B\n", "256"),
        call_block(x, "241"),
        call_block(x, "250"),
    };
}

std::string hostile_name_program(const std::vector<std::string> &names) {
    std::string pointers, texts, code;
    for (size_t n = 0; n < names.size(); ++n) {
        std::string number = std::to_string(n);
        pointers += "NP" + number + ":\tWORD NAME" + number + "\n";
        pointers += "QP" + number + ":\tWORD QNAME" + number + "\n";
        texts += text_lines("NAME" + number, names[n]);
        texts += text_lines("QNAME" + number, "\"" + names[n] + "\"");
        for (const std::string &block : name_calls("NP" + number))
            code += block;
        for (const std::string &block : name_calls("QP" + number))
            code += block;
    }
    return std::string(kProgramHead) + pointers +
           "\n\tORG 1000\n\tSTART GO\nGO:\tLDA BASEP\n\tCOPY SA DB\n\tJMP MAIN\nBASEP:\tWORD "
           "BASE\nMAIN:\n" +
           code + kProgramTail + texts;
}

// What the program printed between its start and the timing report.
std::string program_output(const std::string &output) {
    size_t start = output.find(kClaimLine);
    start = start == std::string::npos ? 0 : start + kClaimLine.size();
    if (output.compare(start, 2, "<>") == 0) start += 2;
    size_t end = output.find("\r\nTime used is: ", start);
    return output.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// The report lines ("S" or "E", then A in octal) in program order.
std::vector<std::string> report_lines(const std::string &output) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < output.size()) {
        size_t end = output.find("\r\n", at);
        if (end == std::string::npos) break;
        std::string line = output.substr(at, end - at);
        if (line.size() == 7 && (line[0] == 'S' || line[0] == 'E')) lines.push_back(line);
        at = end + 2;
    }
    return lines;
}

TEST(HostileNames, EveryMonitorCallThatTakesANameRefusesIt) {
    std::vector<std::string> names = hostile_names();
    NdTree tree;
    write_fixtures(tree);
    std::string log;
    ASSERT_TRUE(tree.assemble(hostile_name_program(names), "(SYSTEM)/NAMES.PROG", &log)) << log;
    std::string before = tree_listing(tree);
    RunResult run = run_kestrel(tree, "(SYSTEM)NAMES\n" + kSentinelCommand + "quit\n");
    EXPECT_EQ(run.exit_status, 0);
    std::string output = program_output(run.output);
    EXPECT_NE(output.find("END"), std::string::npos) << output;
    EXPECT_NE(run.output.find(kSentinelAnswer), std::string::npos);
    std::vector<std::string> reports = report_lines(output);
    size_t calls_per_name = name_calls("X").size();
    ASSERT_EQ(reports.size(), names.size() * 2 * calls_per_name) << output;
    for (size_t i = 0; i < reports.size(); ++i)
        EXPECT_EQ(reports[i][0], 'E') << "name " << label(names[i / (2 * calls_per_name)])
                                      << ", call " << i % calls_per_name << ": " << reports[i];
    // A name with a path separator is an illegal character (21) for the
    // open calls; one that is too long is refused with 44.
    size_t slash = 4, longest = names.size() - 1;
    EXPECT_EQ(reports[slash * 2 * calls_per_name], "E    21");
    EXPECT_EQ(reports[longest * 2 * calls_per_name], "E    44");
    EXPECT_EQ(tree_listing(tree), before);
    EXPECT_EQ(tree.read_file("(EMULATOR)/KEEP.SYMB"), "keep these bytes\r\n");
    EXPECT_TRUE(escaped_files(tree).empty());
}

// MON 70 hands SINTRAN command lines with hostile names to the shell's
// handlers.
TEST(HostileNames, SintranCommandsWithHostileNamesChangeNothing) {
    std::string tag = escape_tag();
    std::vector<std::string> commands = {"DELETE-FILE ../" + tag,
                                         "CREATE-FILE ../" + tag + " 1",
                                         "CREATE-FILE \"../" + tag + "\" 1",
                                         "COPY-FILE ../" + tag + " KEEP",
                                         "COPY ../" + tag + " KEEP",
                                         "RENAME-FILE KEEP ../" + tag,
                                         "CREATE-USER ../" + tag,
                                         "DELETE-USER ..",
                                         "LIST-FILES /tmp",
                                         "MODE ../" + tag + " ../" + tag,
                                         "PLACE-BINARY /etc/passwd",
                                         "PLACE-IMAGE-FILE ../" + tag,
                                         "DELETE-FILE (EMULATOR)",
                                         "NEW ..",
                                         "RELEASE-DIRECTORY ../" + tag};
    std::string pointers, texts, code;
    for (size_t n = 0; n < commands.size(); ++n) {
        std::string number = std::to_string(n);
        pointers += "CP" + number + ":\tWORD CMD" + number + "\n";
        texts += text_lines("CMD" + number, commands[n] + "\r");
        code += "\tLDA CP" + number + "-BASE,B\n\tMON 70\n";
    }
    std::string source = std::string(kProgramHead) + pointers +
                         "\n\tORG 1000\n\tSTART GO\nGO:\tLDA BASEP\n\tCOPY SA DB\n\tJMP "
                         "MAIN\nBASEP:\tWORD BASE\nMAIN:\n" +
                         code + kProgramTail + texts;
    NdTree tree;
    write_fixtures(tree);
    std::string log;
    ASSERT_TRUE(tree.assemble(source, "(SYSTEM)/SINTRAN.PROG", &log)) << log;
    std::string before = tree_listing(tree);
    RunResult run = run_kestrel(tree, "(SYSTEM)SINTRAN\n" + kSentinelCommand + "quit\n");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_NE(program_output(run.output).find("END"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(kSentinelAnswer), std::string::npos);
    EXPECT_EQ(tree_listing(tree), before);
    EXPECT_TRUE(escaped_files(tree).empty());
}

// Parameter blocks, names and buffers placed so that they run past address
// 177777: the calls wrap within the page table or refuse, and the program
// goes on.
TEST(HostileMemory, ParameterBlocksAndBuffersRunningPastTheEndOfMemory) {
    const char *source = R"(
BASE = 400
        ORG 400
CODE:   WORD 0
RET:    WORD 0
REPP:   WORD REPORT
TYPEP:  WORD TYPE
HIGH:   WORD 177770
TOP:    WORD 177777
TOPM1:  WORD 177776
BUFP:   WORD 177600
FILE:   WORD 0
NEWP:   WORD NEWN
OLDP:   WORD OLDN
K1000:  WORD 1000

        ORG 1000
        START GO
GO:     LDA BASEP
        COPY SA DB
        JMP MAIN
BASEP:  WORD BASE
% A name that runs from 177770 over the end of memory, without apostrophe
MAIN:   LDX HIGH-BASE,B
        LDA TYPEP-BASE,B
        SAT 1
        MON 50
        JMP *+3
        SAT 123
        JMP *+2
        SAT 105
        JPL I REPP-BASE,B
        LDX HIGH-BASE,B
        MON 54
        JMP *+3
        SAT 123
        JMP *+2
        SAT 105
        JPL I REPP-BASE,B
% Create a file with a page count whose two words straddle 177777 and 0
        LDX NEWP-BASE,B
        LDT TOP-BASE,B
        MON 221
        JMP *+3
        SAT 123
        JMP *+2
        SAT 105
        JPL I REPP-BASE,B
% Write and read whole blocks from buffers that run past 177777
        LDX OLDP-BASE,B
        LDA TYPEP-BASE,B
        SAT 2
        MON 50
        JMP *+3
        SAT 123
        JMP *+2
        SAT 105
        STA FILE-BASE,B
        JPL I REPP-BASE,B
        LDT FILE-BASE,B
        SAA 0
        LDX BUFP-BASE,B
        MON 10
        JMP *+3
        SAT 123
        JMP *+2
        SAT 105
        JPL I REPP-BASE,B
        LDT FILE-BASE,B
        SAA 0
        LDX HIGH-BASE,B
        MON 7
        JMP *+3
        SAT 123
        JMP *+2
        SAT 105
        JPL I REPP-BASE,B
% The extended block calls with their parameter block at 177776
        LDA TOPM1-BASE,B
        MON 117
        SAT 105
        JPL I REPP-BASE,B
        LDA TOPM1-BASE,B
        MON 120
        SAT 105
        JPL I REPP-BASE,B
% The system information block written at 177770
        LDX HIGH-BASE,B
        MON 244
        JMP *+3
        SAT 123
        JMP *+2
        SAT 105
        JPL I REPP-BASE,B
% A SINTRAN command text from 177770 without its carriage return
        LDA HIGH-BASE,B
        MON 70
% The full name written to a result area at 177770
        LDX OLDP-BASE,B
        LDT TYPEP-BASE,B
        LDA HIGH-BASE,B
        MON 256
        JMP *+3
        SAT 123
        JMP *+2
        SAT 105
        JPL I REPP-BASE,B
% A message, a command line and a byte buffer that run past 177777
        LDX HIGH-BASE,B
        MON 32
        SAA 15
        SAT 1
        MON 2
        JMP *+1
        SAA 12
        MON 2
        JMP *+1
        LDA HIGH-BASE,B
        MON 12
        LDX TOPM1-BASE,B
        LDT HIGH-BASE,B
        LDA K1000-BASE,B
        COPY SA DD
        MON 15
        SAA 101
        LDX TOPM1-BASE,B
        MON 20
        JMP *+3
        SAT 123
        JMP *+2
        SAT 105
        JPL I REPP-BASE,B
% A counted string whose parameter list starts at 177776
        LDA TOPM1-BASE,B
        MON 162
        JMP *+3
        SAT 123
        JMP *+2
        SAT 105
        JPL I REPP-BASE,B
        LDT FILE-BASE,B
        MON 43
        JMP *+1
        SAA 105
        SAT 1
        MON 2
        JMP *+1
        SAA 116
        SAT 1
        MON 2
        JMP *+1
        SAA 104
        SAT 1
        MON 2
        JMP *+1
        MON 0

REPORT: STA CODE-BASE,B
        COPY SL DA
        STA RET-BASE,B
        COPY ST DA
        SAT 1
        MON 2
        JMP *+1
        LDA CODE-BASE,B
        SAT 10
        MON 35
        SAA 15
        SAT 1
        MON 2
        JMP *+1
        SAA 12
        SAT 1
        MON 2
        JMP *+1
        LDA RET-BASE,B
        COPY SA DP

        ORG 40000
TYPE:   TEXT 'DATA'
NEWN:   TEXT 'NEW'
OLDN:   TEXT 'BLOCKS'

        ORG 177600
        WORD 1, 2, 3, 4, 5, 6, 7, 10
        ORG 177770
        TEXT "ABCDEFGHIJKLMNOP"
)";
    NdTree tree;
    tree.write_file("(EMULATOR)/BLOCKS.DATA", std::string(2048, 'z'));
    std::string log;
    ASSERT_TRUE(tree.assemble(source, "(EMULATOR)/WRAP.PROG", &log)) << log;
    RunResult run = run_kestrel(tree, "WRAP\n" + kSentinelCommand + "quit\n");
    EXPECT_EQ(run.exit_status, 0);
    std::string output = program_output(run.output);
    EXPECT_NE(output.find("END"), std::string::npos) << output;
    EXPECT_EQ(report_lines(output).size(), 12u) << output;
    EXPECT_NE(run.output.find(kSentinelAnswer), std::string::npos);
    // The block written from 177600 wrapped to address 0: its first words
    // are the ones placed at 177600.
    std::string blocks = tree.read_file("(EMULATOR)/BLOCKS.DATA");
    ASSERT_GE(blocks.size(), 16u);
    EXPECT_EQ(blocks.substr(0, 4), std::string("\0\1\0\2", 4));
    EXPECT_TRUE(escaped_files(tree).empty());
}

// ---- damaged images ----

std::string big_endian(std::initializer_list<unsigned> words) {
    std::string bytes;
    for (unsigned word : words) {
        bytes += static_cast<char>((word >> 8) & 0377);
        bytes += static_cast<char>(word & 0377);
    }
    return bytes;
}

std::string prog_header(unsigned start, unsigned low, unsigned high, unsigned data_low = 0177777,
                        unsigned data_high = 0) {
    std::string header = big_endian({start, start, low, high, data_low, data_high});
    header.resize(512, '\0');
    return header;
}

TEST(HostileImages, TruncatedOversizedAndContradictoryImagesAreRefused) {
    NdTree tree;
    // The words of a good program: MON 0 at 1000.
    tree.write_file("(EMULATOR)/TRUNC.PROG", prog_header(01000, 01000, 01777) + big_endian({1, 2}));
    tree.write_file("(EMULATOR)/HEADER.PROG", prog_header(01000, 01000, 01000).substr(0, 100));
    tree.write_file("(EMULATOR)/EMPTY.PROG", "");
    tree.write_file("(EMULATOR)/BACKWARD.PROG", prog_header(01000, 02000, 01000));
    std::string swapped("\0\2\0\2\0\4\0\2", 8); // little-endian: low 2000, high 1000
    swapped.resize(512, '\0');
    tree.write_file("(EMULATOR)/SWAPPED.PROG", swapped);
    tree.write_file("(EMULATOR)/DATABACK.PROG",
                    prog_header(01000, 01000, 01000, 03000, 02000) + big_endian({0153000}));
    tree.write_file("(EMULATOR)/LONG.PROG", prog_header(01000, 01000, 01000) +
                                                big_endian({0153000}) + std::string(300000, 'x'));
    tree.write_file("(EMULATOR)/SHORT.BPUN", "1000\n!" + big_endian({01000, 100, 1, 2, 3}));
    tree.write_file("(EMULATOR)/NOBANG.BPUN", "1000\n2000\n");
    tree.write_file("(EMULATOR)/WRAP.BPUN",
                    "177776\n!" + big_endian({0177776, 4, 0153000, 0153000, 5, 6, 0153000 + 011}));
    tree.write_file("(EMULATOR)/NOSUM.BPUN", "1000\n!" + big_endian({01000, 1, 0153000}));
    std::string before = tree_listing(tree);
    std::string input = "load-image-file TRUNC\n! TRUNC\n"
                        "load-image-file HEADER\n! HEADER\n"
                        "load-image-file EMPTY\n"
                        "load-image-file BACKWARD\nload-byte-swapped-image-file SWAPPED\n"
                        "load-image-file DATABACK\n"
                        "! LONG\n"
                        "@place-binary SHORT\n@place-binary NOBANG\n@place-binary WRAP\n"
                        "@place-binary NOSUM\n" +
                        kSentinelCommand + "quit\n";
    RunResult run = run_kestrel(tree, input);
    EXPECT_EQ(run.exit_status, 0);
    const std::string &out = run.output;
    EXPECT_NE(out.find("Requested 2000 bytes, 4 returned\r\n"), std::string::npos) << out;
    EXPECT_EQ(count_of(out, "*** Program not started because of above errors!"), 2u) << out;
    EXPECT_NE(out.find("Error in file, lower > upper address:    2000    1000\r\n"),
              std::string::npos);
    // The byte-swapped header says the same.
    EXPECT_NE(out.find("Error in file, lower > upper address:    2000    1000\r\n",
                       out.find("2-bank programs not handled")),
              std::string::npos);
    EXPECT_NE(out.find("Error, 2-bank data low> data high\r\n"), std::string::npos);
    EXPECT_NE(out.find("\r\nError when reading program data"), std::string::npos);
    EXPECT_NE(out.find("\r\nWords beyond address 177777 not loaded"), std::string::npos);
    // The long image ran its one word, MON 0, and ended normally.
    EXPECT_NE(out.find("Time used is: "), std::string::npos);
    EXPECT_NE(out.find(kSentinelAnswer), std::string::npos);
    EXPECT_EQ(tree_listing(tree), before);
}

// ---- the mode file, the terminal, the host ----

TEST(HostileInput, AModeFileOfBinaryGarbage) {
    NdTree tree;
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 7919 + i / 13) & 0377);
    garbage += std::string(3000, 'A') + "\n" + std::string("\0\0\0\n\r\r\n\377\376", 9);
    garbage += "octal-to-decimal 5"; // the last line has no line end
    tree.write_file("(EMULATOR)/GARBAGE.SYMB", garbage);
    RunResult run = run_kestrel(tree, "@mode GARBAGE\n\n" + kSentinelCommand + "quit\n");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_NE(run.output.find(kSentinelAnswer), std::string::npos) << run.output.substr(0, 2000);
    EXPECT_NE(run.output.find("--- Terminated KESTREL"), std::string::npos);
    EXPECT_TRUE(escaped_files(tree).empty());
}

TEST(HostileInput, MalformedEscapeSequencesFromTheTerminal) {
    NdTree tree;
    PtySession session(tree);
    ASSERT_TRUE(session.wait_for("<>"));
    const char *const sequences[] = {
        "\033[",
        "\033[999999999999;999999999999H",
        "\033\033\033",
        "\033O",
        "\033[M\377\377\377",
        "\033[<0;99999;99999M",
        "\303",
        "\377\376\375",
        "\033[1;2;3;4;5;6;7;8;9;10;11;12;13;14~",
        "\033]0;title\007",
        "\033P\033\\",
    };
    for (const char *sequence : sequences) {
        session.send(sequence);
        session.send("\025"); // ^U drops whatever reached the line
    }
    session.mark();
    session.send("\r");
    session.mark();
    session.send("octal-to-decimal 7\r");
    EXPECT_TRUE(session.wait_for(kSentinelAnswer)) << session.output();
    session.send("quit\r");
    EXPECT_EQ(session.wait_exit(), 0);
}

// A program reading single keys (ESC switched off, so that the bytes of the
// sequences reach it) is fed the same malformed sequences; it sees bytes,
// ends on Q, and the prompt works afterwards.
TEST(HostileInput, MalformedEscapeSequencesWhileAProgramReadsKeys) {
    const char *source = R"(
        ORG 1000
        START BEGIN
BEGIN:  MON 71                  ; ESC does not stop the program
        LDX MSGP
        MON 32
GO:     SAT 1
        MON 1
        JMP STOP
        STA SAVE
        SAT 10
        MON 35
        SAA 15
        SAT 1
        MON 2
        JMP STOP
        SAA 12
        MON 2
        JMP STOP
        LDA SAVE
        SAT 177
        AND KMASK
        LDT KQ
        SKP IF DA EQL ST
        JMP GO
STOP:   MON 0
SAVE:   WORD 0
KMASK:  WORD 177
KQ:     WORD 121
MSGP:   WORD MSG
MSG:    TEXT "READY$'"
)";
    NdTree tree;
    std::string log;
    ASSERT_TRUE(tree.assemble(source, "(EMULATOR)/KEYS.PROG", &log)) << log;
    PtySession session(tree);
    ASSERT_TRUE(session.wait_for("<>"));
    session.send("KEYS\r");
    ASSERT_TRUE(session.wait_for("READY")) << session.output();
    session.mark();
    // One write, so that no byte arrives while the program runs between two
    // calls.
    session.send(std::string("\033[999999999999;99999H\033[<0;1;2\033O\303\377\376\033[1;2;3;4;5;6;"
                             "7;8;9;10;11;12;13;14~\033\033Q"));
    EXPECT_TRUE(session.wait_for("<>", 15000)) << session.since_mark();
    session.mark();
    session.send("octal-to-decimal 7\r");
    EXPECT_TRUE(session.wait_for(kSentinelAnswer)) << session.output();
    session.send("quit\r");
    EXPECT_EQ(session.wait_exit(), 0);
}

// As root, permission bits stop nothing: the host refuses writing through a
// directory standing where a file should be, and a file where a directory
// should be.
TEST(HostileInput, HostPathsThatCannotBeWritten) {
    NdTree tree;
    tree.make_directory("(EMULATOR)/OUT.SYMB");
    tree.make_directory("(EMULATOR)/IMAGE.PROG");
    tree.write_file("(EMULATOR)/KEEP.SYMB", "keep\r\n");
    tree.write_file("(BLOCKED)", "a file where a user directory should be");
    std::string before = tree_listing(tree);
    std::string input = "help status OUT\n"
                        "add-parity KEEP OUT\n"
                        "save-image-to-file IMAGE 0 0\n"
                        "@copy-file OUT KEEP\n"
                        "log-in-user BLOCKED\n"
                        "@create-user BLOCKED\n" +
                        kSentinelCommand + "quit\n";
    RunResult run = run_kestrel(tree, input);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(count_of(run.output, kSentinelAnswer), 1u) << run.output;
    EXPECT_EQ(tree_listing(tree), before);
    EXPECT_EQ(tree.read_file("(EMULATOR)/KEEP.SYMB"), "keep\r\n");
}

// ---- no data loss ----

TEST(NoDataLoss, AClosedFileHoldsExactlyTheBytesWrittenAndTheScratchFileSurvives) {
    const char *source = R"(
        ORG 1000
        START GO
GO:     LDX NAMEP
        LDA TYPEP
        SAT 0
        MON 50
        JMP STOP
        STA FILE
        SAX 0
LOOP:   COPY SX DA
        LDT FILE
        MON 2
        JMP STOP
        AAX 1
        LDA COUNT
        COPY SX DT
        SKP IF DA UEQ ST
        JMP CLOSE
        JMP LOOP
CLOSE:  LDT FILE
        MON 43
        JMP STOP
        SAT 0
        SAA 3
        LDX BUFP
        MON 6
        JMP STOP
STOP:   MON 0
FILE:   WORD 0
COUNT:  WORD 1001
NAMEP:  WORD NAME
TYPEP:  WORD TYPE
BUFP:   WORD BUF
NAME:   TEXT '"WRITTEN"'
TYPE:   TEXT 'DATA'
        ORG 4000
BUF:    WORD 123456, 65432
)";
    NdTree tree;
    std::string log;
    ASSERT_TRUE(tree.assemble(source, "(EMULATOR)/WRITER.PROG", &log)) << log;
    RunResult run = run_kestrel(tree, "WRITER\nWRITER\n" + kSentinelCommand + "quit\n");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_NE(run.output.find(kSentinelAnswer), std::string::npos);
    // 1001 octal bytes, each the low byte of its position.
    std::string expected;
    for (int i = 0; i < 01001; ++i)
        expected += static_cast<char>(i & 0377);
    EXPECT_EQ(tree.read_file("(EMULATOR)/WRITTEN.DATA"), expected);
    // The second run found the file existing and stopped at once.
    ASSERT_TRUE(tree.exists("(SCRATCH)/SCRATCH01.DATA"));
    // The block the first run wrote to the scratch file is still there after
    // both halts and the second run.
    std::string scratch = tree.read_file("(SCRATCH)/SCRATCH01.DATA");
    ASSERT_GE(scratch.size(), 512u);
    EXPECT_EQ(scratch.substr(0, 6), std::string("\xa7\x2e\x6b\x1a\0\0", 6));
}

} // namespace
