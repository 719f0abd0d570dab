// The demo programs that `make run` puts into the demo tree, run as a
// newcomer would run them, and kestrel's own command-line options.
#include "harness.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

std::string demo_image(const std::string &name) {
    std::ifstream file(std::string(KESTREL_BUILD_DIR) + "/demo-programs/" + name,
                       std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

TEST(Demo, HelloPrintsItsCommandLineBack) {
    NdTree tree;
    std::string image = demo_image("HELLO.PROG");
    ASSERT_FALSE(image.empty()) << "the build assembles demo/hello.asm";
    tree.write_file("(EMULATOR)/HELLO.PROG", image);
    RunResult run = run_kestrel(tree, "HELLO world\nquit\n");
    EXPECT_NE(run.output.find("HELLO FROM KESTREL: WORLD\r\n"), std::string::npos) << run.output;
    EXPECT_EQ(run.exit_status, 0);
}

TEST(Demo, HelloWithoutCommandLine) {
    NdTree tree;
    tree.write_file("(EMULATOR)/HELLO.PROG", demo_image("HELLO.PROG"));
    RunResult run = run_kestrel(tree, "HELLO\nquit\n");
    EXPECT_NE(run.output.find("HELLO FROM KESTREL:\r\n"), std::string::npos) << run.output;
}

TEST(Options, HelpAndVersionPrintAndExit) {
    NdTree tree;
    RunResult help = run_kestrel(tree, "", {"--help"});
    EXPECT_EQ(help.exit_status, 0);
    EXPECT_EQ(help.output.rfind("Usage: kestrel", 0), 0u) << help.output;
    RunResult version = run_kestrel(tree, "", {"--version"});
    EXPECT_EQ(version.exit_status, 0);
    EXPECT_EQ(version.output.rfind("kestrel 1.", 0), 0u) << version.output;
    EXPECT_EQ(version.output.find("Logged in"), std::string::npos);
}

TEST(Options, ImagePathChangesDirectoryAndRunsAsThatUser) {
    NdTree tree;
    tree.make_directory("(PETER)");
    tree.write_file("(PETER)/HELLO.PROG", demo_image("HELLO.PROG"));
    // Started from elsewhere: the path names the tree and the user.
    RunResult run = run_kestrel(tree, "@who\nquit\n", {tree.path("(PETER)/HELLO.PROG")});
    EXPECT_NE(run.output.find("\r\nSet current directory to " + tree.root() + "/"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("Double clicked on a .PROG file\r\n  to invoke HELLO.PROG"),
              std::string::npos);
    EXPECT_NE(run.output.find("\r\nMust change to user PETER\r\n"), std::string::npos);
    EXPECT_NE(run.output.find("HELLO FROM KESTREL:"), std::string::npos) << run.output;
}

}  // namespace
