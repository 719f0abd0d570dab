// The abbreviation matcher and the argument readers.
#include "operator/arguments.h"
#include "operator/line_reader.h"
#include "operator/matcher.h"
#include "operator/operator_channel.h"
#include "settings/settings.h"
#include "shell/command_table.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

struct Match {
    int result;
    std::string entry;
    int end;
};

Match match(const char *typed) {
    int index = -1, terminator = 0, end = 0;
    int result = match_command(typed, 0, command_texts, &index, &terminator, &end);
    Match m{result, "", end};
    if (result == MATCH_EXACT || result == MATCH_ABBREVIATION) {
        std::string text = command_texts[index];
        m.entry = text.substr(0, text.find(' '));
    }
    return m;
}

TEST(CommandTable, HoldsTheCommandsInTableOrder) {
    int count = 0;
    while (command_texts[count])
        ++count;
    EXPECT_EQ(count, COMMAND_COUNT);
    EXPECT_STREQ(command_texts[0], "upper-case <on/off>");
    EXPECT_STREQ(command_texts[42], "! <image file>");
    EXPECT_STREQ(command_texts[114], "|fill-123");
    EXPECT_EQ(command_handlers[20], command_handlers[29]) << "quit and exit share a handler";
    EXPECT_EQ(command_handlers[6], command_handlers[53]) << "run and @go share a handler";
    EXPECT_EQ(command_handlers[8], command_handlers[54]) << "save and dump share a handler";
}

TEST(MatchCommand, EachHyphenPartAbbreviatesOnItsOwn) {
    EXPECT_EQ(match("l-i-f").result, MATCH_ABBREVIATION);
    EXPECT_EQ(match("l-i-f").entry, "load-image-file");
    EXPECT_EQ(match("se-br").entry, "set-break-point");
    EXPECT_EQ(match("l-b-s-i-f").entry, "load-byte-swapped-image-file");
}

TEST(MatchCommand, CompleteWordWinsOverLongerCommands) {
    Match m = match("float");
    EXPECT_EQ(m.result, MATCH_EXACT);
    EXPECT_EQ(m.entry, "float");
    m = match("float-");
    EXPECT_EQ(m.result, MATCH_ABBREVIATION);
    EXPECT_EQ(m.entry, "float-test");
}

TEST(MatchCommand, AmbiguousAndUnknownAndEmpty) {
    EXPECT_EQ(match("set").result, MATCH_AMBIGUOUS);
    EXPECT_EQ(match("list-USERS").result, MATCH_NONE);
    EXPECT_EQ(match("").result, MATCH_EMPTY);
    EXPECT_EQ(match(" x").result, MATCH_EMPTY);
    EXPECT_EQ(match(",x").result, MATCH_EMPTY);
}

TEST(MatchCommand, IsCaseSensitive) {
    EXPECT_EQ(match("READ-BINARY").entry, "READ-BINARY");
    EXPECT_EQ(match("read-binary").result, MATCH_NONE);
    EXPECT_EQ(match("CPU").entry, "CPU-type");
    EXPECT_EQ(match("@LIST-FILE").result, MATCH_NONE) << "the shell lower-cases @ words first";
    EXPECT_EQ(match("@list-file").entry, "@list-file");
}

TEST(MatchCommand, HiddenCommandsNeedTheirBar) {
    EXPECT_EQ(match("|NCT").entry, "|NCT");
    EXPECT_EQ(match("NCT").result, MATCH_NONE);
    EXPECT_EQ(match("|t-M").entry, "|test-MOVEW");
}

TEST(MatchCommand, WordEndsAtBlankOrComma) {
    Match m = match("fill-memory 0,100,200");
    EXPECT_EQ(m.entry, "fill-memory");
    EXPECT_EQ(m.end, 11);
    m = match("qu,");
    EXPECT_EQ(m.entry, "quit");
    EXPECT_EQ(m.end, 2);
}

TEST(MatchCommand, StarMatchesAnyOneCharacter) {
    EXPECT_EQ(match("qu*t").entry, "quit");
    EXPECT_EQ(match("q*it").result, MATCH_EXACT);
}

TEST(MatchCommand, DotAndColonSkipToTheTypePart) {
    const char *files[] = {"HELLO:PROG", "HELLO:SYMB", "HEAP:DATA", nullptr};
    int index = -1, terminator = 0, end = 0;
    EXPECT_EQ(match_command("HEL:P", 0, files, &index, &terminator, &end), MATCH_ABBREVIATION);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(match_command("HE:D", 0, files, &index, &terminator, &end), MATCH_ABBREVIATION);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(match_command("HELLO", 0, files, &index, &terminator, &end), MATCH_AMBIGUOUS);
    EXPECT_EQ(match_command("HELLO.SYMB", 0, files, &index, &terminator, &end), MATCH_ABBREVIATION)
        << "a dot matches the entry's colon by skipping, which is not exact";
    EXPECT_EQ(index, 1);
}

TEST(MatchCommand, LiteralEntryWinsOverStarMatch) {
    const char *registers[] = {"a", "*", nullptr};
    int index = -1, terminator = 0, end = 0;
    EXPECT_EQ(match_command("*", 0, registers, &index, &terminator, &end), MATCH_EXACT);
    EXPECT_EQ(index, 1);
}

class ArgumentReaders : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_settings();
        echo_ = std::tmpfile();
        shell.echo_stream = echo_;
        shell.operator_output = echo_;
        shell.prompt_input = nullptr;
    }
    void TearDown() override {
        shell.prompt_input = nullptr;
        shell.echo_stream = stdout;
        shell.operator_output = stdout;
        std::fclose(echo_);
        if (answers_)
            std::fclose(answers_);
    }
    void line(const char *text, int position = 0) {
        std::snprintf(shell.command_line, COMMAND_LINE_SIZE, "%s", text);
        shell.argument_position = position;
    }
    void answer(const char *text) {
        answers_ = std::tmpfile();
        std::fputs(text, answers_);
        std::rewind(answers_);
        shell.prompt_input = answers_;
    }
    std::string echoed() {
        std::fflush(echo_);
        std::rewind(echo_);
        std::string text;
        int c;
        while ((c = std::fgetc(echo_)) != EOF)
            text.push_back(static_cast<char>(c));
        return text;
    }
    FILE *echo_ = nullptr;
    FILE *answers_ = nullptr;
};

TEST_F(ArgumentReaders, BlanksAndCommasSeparateArguments) {
    for (const char *text : {"0,100,200", "0 100 200", "0 , 100,  200"}) {
        line(text);
        uint32_t a = 9, b = 9, c = 9;
        int bad = 0;
        EXPECT_EQ(read_octal_argument(&a, 7, "A: ", &bad), 1);
        EXPECT_EQ(read_octal_argument(&b, 7, "B: ", &bad), 1);
        EXPECT_EQ(read_octal_argument(&c, 7, "C: ", &bad), 1);
        EXPECT_EQ(a, 0u);
        EXPECT_EQ(b, 0100u);
        EXPECT_EQ(c, 0200u) << text;
    }
}

TEST_F(ArgumentReaders, CommaInPlaceOfArgumentTakesDefault) {
    line(",");
    uint32_t value = 0;
    int bad = 0;
    EXPECT_EQ(read_octal_argument(&value, 0123, "Start: ", &bad), 1);
    EXPECT_EQ(value, 0123u);
    EXPECT_EQ(echoed(), "") << "no prompt for a comma";
}

TEST_F(ArgumentReaders, BadDigitIsReturned) {
    line("128");
    uint32_t value = 0;
    int bad = 0;
    EXPECT_EQ(read_octal_argument(&value, 0, "", &bad), -1);
    EXPECT_EQ(bad, '8');
    line("12a");
    EXPECT_EQ(read_decimal_argument(&value, 0, "", &bad), -1);
    EXPECT_EQ(bad, 'a');
    line("129");
    EXPECT_EQ(read_decimal_argument(&value, 0, "", &bad), 1);
    EXPECT_EQ(value, 129u);
}

TEST_F(ArgumentReaders, MissingArgumentPromptsAndReadsAnswer) {
    line("");
    answer("  17\n");
    uint32_t value = 0;
    int bad = 0;
    EXPECT_EQ(read_octal_argument(&value, 5, "Level: ", &bad), 1);
    EXPECT_EQ(value, 017u);
    EXPECT_EQ(echoed(), "Level:   17\n");
}

TEST_F(ArgumentReaders, EmptyAnswerTakesDefault) {
    line("");
    answer("\n");
    std::string word;
    EXPECT_EQ(read_word_argument(&word, "DEF", "Name: "), 3);
    EXPECT_EQ(word, "DEF");
}

TEST_F(ArgumentReaders, SignedDecimalHasNoPrompt) {
    line("-52 x");
    int32_t value = 0;
    int bad = 0;
    EXPECT_EQ(read_signed_decimal_argument(&value, &bad), 1);
    EXPECT_EQ(value, -52);
    EXPECT_EQ(read_signed_decimal_argument(&value, &bad), -1);
    EXPECT_EQ(bad, 'x');
    line("");
    EXPECT_EQ(read_signed_decimal_argument(&value, &bad), 0);
    EXPECT_EQ(value, 0);
}

TEST_F(ArgumentReaders, ChoiceAbbreviationsAndAmbiguity) {
    line("o");
    EXPECT_EQ(read_choice_argument("", "on", "off on"), -2);
    line("of");
    EXPECT_EQ(read_choice_argument("", "on", "off on"), 1);
    line("on");
    EXPECT_EQ(read_choice_argument("", "off", "off on"), 2);
    line("maybe");
    EXPECT_EQ(read_choice_argument("", "off", "off on"), -1);
    line("");
    EXPECT_EQ(read_choice_argument("", "", "no NO yes YES"), -3);
    line("YES");
    EXPECT_EQ(read_choice_argument("", "", "no NO yes YES"), 4);
}

TEST_F(ArgumentReaders, ReadLineStripsBit7DropsCrAndCutsLongLines) {
    answer("ab\xe3\r\nnext\n");
    char buffer[8];
    EXPECT_EQ(read_line(nullptr, buffer, sizeof buffer), 3);
    EXPECT_STREQ(buffer, "abc");
    std::string long_line(100, 'z');
    std::fclose(answers_);
    answer((long_line + "\n").c_str());
    EXPECT_EQ(read_line(nullptr, buffer, sizeof buffer), 7);
    EXPECT_EQ(std::string(buffer), std::string(7, 'z'));
}

}  // namespace
