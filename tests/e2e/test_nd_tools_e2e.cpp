// The nd-asm and nd-dis commands as a user runs them: the round trip of the
// every-form program through both, error reports, listings, loose words,
// and an assembled greeting run by kestrel.
#include "harness.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace {

std::string shell_quoted(const std::string &text) {
    return "'" + text + "'";
}

std::string tool(const char *name) {
    return shell_quoted(std::string(KESTREL_BUILD_DIR) + "/" + name);
}

std::string source_path(const std::string &relative) {
    return std::string(KESTREL_SOURCE_DIR) + "/" + relative;
}

std::string read_bytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

int run(const std::string &command, std::string *output) {
    return run_host_command(command + " 2>&1", output);
}

void expect_round_trip(const NdTree &tree, const std::string &option) {
    std::string out;
    std::string first = tree.path("FIRST.IMG"), text = tree.path("again.asm"),
                second = tree.path("SECOND.IMG");
    ASSERT_EQ(run(tool("nd-asm") + " " + shell_quoted(source_path("tests/asm/every_form.asm")) +
                      " -o " + shell_quoted(first) + option,
                  &out),
              0)
        << out;
    ASSERT_EQ(run(tool("nd-dis") + " " + shell_quoted(first) + " -o " + shell_quoted(text), &out),
              0)
        << out;
    ASSERT_EQ(
        run(tool("nd-asm") + " " + shell_quoted(text) + " -o " + shell_quoted(second) + option,
            &out),
        0)
        << out;
    std::string a = read_bytes(first), b = read_bytes(second);
    EXPECT_FALSE(a.empty());
    EXPECT_TRUE(a == b) << "images differ after the round trip" << option;
}

} // namespace

TEST(NdTools, EveryFormRoundTripsThroughTheCommands) {
    NdTree tree;
    expect_round_trip(tree, "");
    expect_round_trip(tree, " --bpun");
}

TEST(NdTools, WrongSourceNamesFileAndLineAndLeavesNoImage) {
    NdTree tree;
    tree.write_file("bad.asm",
                    "        ORG 1000\n        LDA 5,B\n        JMP 2000\n        FROB\n");
    tree.write_file("OUT.PROG", "left over from an earlier run");
    std::string out;
    int status = run(
        "cd " + shell_quoted(tree.root()) + " && " + tool("nd-asm") + " bad.asm -o OUT.PROG", &out);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("bad.asm:3: error: address 002000 is out of reach from 001001"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("bad.asm:4: error: unknown instruction or directive 'FROB'"),
              std::string::npos)
        << out;
    EXPECT_FALSE(tree.exists("OUT.PROG"));
}

// INCLUDE finds its file beside the including one, an error in it names
// that file, and -M writes the make rule that lists it.
TEST(NdTools, IncludedFilesAndTheDependencyRule) {
    NdTree tree;
    tree.make_directory("lib");
    tree.write_file("main.asm", "        ORG 1000\n        JPL PUT\n        MON 0\n"
                                "        INCLUDE \"lib/put.asm\"\n");
    tree.write_file("lib/put.asm", "PUT:    SAT 1\n        MON 2\n        JMP *+1\n        EXIT\n");
    std::string out;
    ASSERT_EQ(run("cd " + shell_quoted(tree.root()) + " && " + tool("nd-asm") +
                      " main.asm -o MAIN.PROG -M MAIN.PROG.d",
                  &out),
              0)
        << out;
    EXPECT_TRUE(tree.exists("MAIN.PROG"));
    EXPECT_EQ(tree.read_file("MAIN.PROG.d"), "MAIN.PROG: main.asm \\\n  lib/put.asm\n");
    tree.write_file("lib/put.asm", "PUT:    SAT 1\n        FROB\n");
    EXPECT_EQ(run("cd " + shell_quoted(tree.root()) + " && " + tool("nd-asm") +
                      " main.asm -o MAIN.PROG -M MAIN.PROG.d",
                  &out),
              1);
    EXPECT_NE(out.find("lib/put.asm:2: error: unknown instruction or directive 'FROB'"),
              std::string::npos)
        << out;
    EXPECT_FALSE(tree.exists("MAIN.PROG"));
}

TEST(NdTools, ListingAndLooseWords) {
    NdTree tree;
    std::string out;
    ASSERT_EQ(run(tool("nd-asm") + " " + shell_quoted(source_path("tools/examples/greeting.asm")) +
                      " -o " + shell_quoted(tree.path("G.PROG")) + " --listing",
                  &out),
              0);
    EXPECT_NE(out.find(" 001007  153002          MON 2 "), std::string::npos) << out;
    ASSERT_EQ(run(tool("nd-dis") + " --words --org 1000 044000 153002 146100 146142 140134 1 2 3 4",
                  &out),
              0);
    EXPECT_NE(out.find("LDA *       "), std::string::npos) << out;
    EXPECT_NE(out.find("MON 2 "), std::string::npos) << out;
    EXPECT_NE(out.find("RCLR "), std::string::npos) << out;
    EXPECT_NE(out.find("EXIT "), std::string::npos) << out;
    EXPECT_NE(out.find("INIT 1, 2, 3, 4 "), std::string::npos) << out;
    ASSERT_EQ(run("echo 153000 | " + tool("nd-dis") + " --words", &out), 0);
    EXPECT_NE(out.find("MON 0 "), std::string::npos) << out;
    EXPECT_EQ(run(tool("nd-dis") + " --words 200000", &out), 2);
}

// What -o names is never damaged: a link stays a link and its file keeps its
// permissions, a FIFO is written through and stays one (a device such as
// /dev/null takes the same path; the test leaves the machine's devices
// alone), a directory is refused, a failed run leaves the link alone; the
// listing needs no image.
TEST(NdTools, OutputsNeverReplaceWhatTheirNamesStandFor) {
    namespace fs = std::filesystem;
    NdTree tree;
    std::string out;
    std::string in_tree = "cd " + shell_quoted(tree.root()) + " && ";
    std::string asm_greeting =
        tool("nd-asm") + " " + shell_quoted(source_path("tools/examples/greeting.asm"));
    ASSERT_EQ(run(in_tree + asm_greeting + " -o PLAIN.PROG --listing > LISTING", &out), 0) << out;
    std::string image = tree.read_file("PLAIN.PROG");
    tree.write_file("REAL.PROG", "old");
    fs::permissions(tree.path("REAL.PROG"), fs::perms(0640));
    fs::create_symlink("REAL.PROG", tree.path("LINK.PROG"));
    tree.make_directory("DIR");
    tree.write_file("bad.asm", "        FROB\n");
    ASSERT_EQ(run(in_tree + "mkfifo PIPE", &out), 0) << out;

    EXPECT_EQ(run(in_tree + asm_greeting + " -o LINK.PROG", &out), 0) << out;
    // The reader gives up in the end, so that a FIFO replaced by mistake
    // fails the test instead of hanging it.
    EXPECT_EQ(run(in_tree + "{ timeout 60 cat PIPE > FROM-PIPE & } && " + asm_greeting +
                      " -o PIPE && wait",
                  &out),
              0)
        << out;
    EXPECT_EQ(run(in_tree + asm_greeting + " -o DIR", &out), 2);
    EXPECT_EQ(out, "nd-asm: cannot write DIR: a directory; not replaced\n");
    EXPECT_EQ(run(in_tree + tool("nd-asm") + " bad.asm -o LINK.PROG", &out), 1);
    EXPECT_EQ(out, "bad.asm:1: error: unknown instruction or directive 'FROB'\n"
                   "nd-asm: 1 error; no image written\n");
    EXPECT_EQ(run(in_tree + asm_greeting + " --listing", &out), 0);
    EXPECT_EQ(out, tree.read_file("LISTING"));

    EXPECT_TRUE(fs::is_symlink(tree.path("LINK.PROG")));
    EXPECT_EQ(tree.read_file("REAL.PROG"), image);
    EXPECT_EQ(fs::status(tree.path("REAL.PROG")).permissions() & fs::perms::all, fs::perms(0640));
    EXPECT_TRUE(fs::is_fifo(tree.path("PIPE")));
    EXPECT_EQ(tree.read_file("FROM-PIPE"), image);
    EXPECT_TRUE(fs::is_empty(tree.path("DIR")));
    int entries = 0;
    for (const auto &entry : fs::directory_iterator(tree.root()))
        entries += entry.path().filename().string()[0] != '(';
    EXPECT_EQ(entries, 8) << "no temporary file left behind";
}

TEST(NdTools, DisassemblerRefusesWhatIsNoImage) {
    NdTree tree;
    tree.write_file("JUNK.PROG", std::string(100, 'x'));
    std::string out;
    EXPECT_EQ(run(tool("nd-dis") + " " + shell_quoted(tree.path("JUNK.PROG")), &out), 1);
    EXPECT_NE(out.find("neither a :PROG image"), std::string::npos) << out;
}

TEST(NdTools, AssembledGreetingRunsInKestrel) {
    NdTree tree;
    std::string log;
    ASSERT_TRUE(tree.assemble(read_bytes(source_path("tools/examples/greeting.asm")),
                              "(EMULATOR)/GREETING.PROG", &log))
        << log;
    RunResult result = run_kestrel(tree, "GREETING\nquit\n");
    EXPECT_NE(result.output.find("HELLO FROM THE ND-100\r\n"), std::string::npos) << result.output;
}
