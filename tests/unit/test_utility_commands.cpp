// The operator utilities that need no file: help and its patterns, the
// SINTRAN command list and the number conversions.
#include "operator/operator_channel.h"
#include "settings/settings.h"
#include "shell/command_table.h"
#include "shell/shell.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace {

class UtilityCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_settings();
        output_ = std::tmpfile();
        shell.operator_output = output_;
        shell.echo_stream = output_;
        shell.mode_input = nullptr;
    }
    void TearDown() override {
        shell.operator_output = stdout;
        shell.echo_stream = stdout;
        shell.prompt_input = nullptr;
        std::fclose(output_);
        if (answers_) std::fclose(answers_);
    }
    // Runs a line with the answers to its prompts; returns what it printed.
    std::string command(const char *line, const char *answers = "") {
        if (answers_) std::fclose(answers_);
        answers_ = std::tmpfile();
        std::fputs(answers, answers_);
        std::rewind(answers_);
        shell.prompt_input = answers_;
        std::fflush(output_);
        long start = std::ftell(output_);
        execute_command_line(line);
        shell.prompt_input = nullptr;
        std::fflush(output_);
        long end = std::ftell(output_);
        std::string text(static_cast<size_t>(end - start), '\0');
        std::fseek(output_, start, SEEK_SET);
        text.resize(std::fread(text.data(), 1, text.size(), output_));
        std::fseek(output_, 0, SEEK_END);
        return text;
    }
    FILE *output_ = nullptr;
    FILE *answers_ = nullptr;
};

int lines_in(const std::string &text) {
    int lines = 0;
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2))
        ++lines;
    return lines;
}

TEST_F(UtilityCommands, HelpMatchesAsTheCommandMatcherDoes) {
    // An empty answer to the output prompt means the console.
    EXPECT_EQ(command("help float", "\n"), "List matching commands to output file: \n"
                                           "float <32 or 48 bits>\r\nfloat-test <val1> <val2>\r\n")
        << "a pattern lists the longer commands it abbreviates too";
    EXPECT_EQ(command("help c-a-b", "\n"),
              "List matching commands to output file: \ncontinue-after-breakpoint\r\n");
    EXPECT_EQ(lines_in(command("help *", "\n")), COMMAND_COUNT - 12) << "every visible command";
    EXPECT_EQ(command("help |NCT", "\n"),
              "List matching commands to output file: \nNo commands matches |NCT\r\n")
        << "hidden commands are never listed";
}

TEST_F(UtilityCommands, HelpWithNoPatternListsAllButTheHidden) {
    std::string text = command("help", "\n\n");
    EXPECT_EQ(lines_in(text), COMMAND_COUNT - 12);
    EXPECT_EQ(text.find('|'), std::string::npos);
    EXPECT_EQ(text.rfind("Describe commands matching: \nList matching commands to output file: \n"
                         "upper-case <on/off>\r\n",
                         0),
              0u);
}

TEST_F(UtilityCommands, SintranCommandListHoldsTheAtCommands) {
    std::string text = command("list-SINTRAN-commands");
    EXPECT_EQ(lines_in(text), 22);
    for (size_t start = 0; start < text.size(); start = text.find("\r\n", start) + 2)
        EXPECT_EQ(text[start], '@') << text.substr(start, 20);
}

TEST_F(UtilityCommands, OctalToDecimalShowsTheSignedForm) {
    EXPECT_EQ(command("octal-to-decimal 177777"),
              "177777 octal is 65535 decimal\r\nIn 16 bit signed format: -1\r\n");
    EXPECT_EQ(command("octal-to-decimal 100000"),
              "100000 octal is 32768 decimal\r\nIn 16 bit signed format: -32768\r\n");
    EXPECT_EQ(command("octal-to-decimal 77777"), "77777 octal is 32767 decimal\r\n");
    EXPECT_EQ(command("octal-to-decimal 8"), "Illegal char. in octal number: 8\r\n");
}

TEST_F(UtilityCommands, DecimalToOctalTakesASign) {
    EXPECT_EQ(command("decimal-to-octal 65535"), "65535 decimal is 177777 octal\r\n");
    EXPECT_EQ(command("decimal-to-octal -1"), "-1 decimal is 37777777777 octal\r\n");
    EXPECT_EQ(command("decimal-to-octal"), "0 decimal is 0 octal\r\n") << "no prompt";
    EXPECT_EQ(command("decimal-to-octal 7a"), "Illegal char. in number: a\r\n");
}

} // namespace
