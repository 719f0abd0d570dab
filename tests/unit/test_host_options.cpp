// The host command line: options before PROGRAM, everything after it its
// arguments, and the combinations that are usage errors.
#include "shell/host_options.h"

#include <gtest/gtest.h>

namespace {

HostOptions parse(std::vector<const char *> words, std::string *error) {
    words.insert(words.begin(), "kestrel");
    HostOptions options;
    *error = parse_host_options(static_cast<int>(words.size()), words.data(), &options);
    return options;
}

TEST(HostOptions, ProgramAndItsArguments) {
    std::string error;
    HostOptions o =
        parse({"-q", "--lf", "-C", "tree", "--user=peter", "HELLO", "-q", "A,B"}, &error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(o.action, HostAction::RunProgram);
    EXPECT_TRUE(o.quiet);
    EXPECT_TRUE(o.unix_line_ends);
    EXPECT_EQ(o.tree, "tree");
    EXPECT_EQ(o.user, "peter");
    EXPECT_EQ(o.program, "HELLO");
    EXPECT_EQ(o.arguments, (std::vector<std::string>{"-q", "A,B"}));
    EXPECT_EQ(program_arguments_text(o.arguments), " -q A,B");

    o = parse({"--", "-NAME"}, &error);
    EXPECT_EQ(o.program, "-NAME");
    o = parse({"--init", "dir", "ANNA", "-q"}, &error);
    EXPECT_EQ(o.action, HostAction::InitTree);
    EXPECT_EQ(o.arguments, (std::vector<std::string>{"ANNA", "-q"}));
    o = parse({}, &error);
    EXPECT_EQ(o.action, HostAction::Shell);
    EXPECT_EQ(error, "");
}

TEST(HostOptions, UsageErrors) {
    const std::vector<std::vector<const char *>> bad = {
        {"--bogus"},
        {"-C"},
        {"--tree="},
        {"-q"},
        {"--list-volume"},
        {"--list-volume", "X", "HELLO"},
        {"--help", "--init", "d"},
        {"--extract-volume", "X", "--list-volume", "Y"},
    };
    for (const auto &words : bad) {
        std::string error;
        parse(words, &error);
        EXPECT_NE(error, "") << words[0];
    }
}

} // namespace
