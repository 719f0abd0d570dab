// BCD-test: the operator's check of the decimal string arithmetic that the
// decimal instructions use.
#include "cpu/decimal.h"
#include "operator/arguments.h"
#include "operator/matcher.h"
#include "operator/operator_channel.h"
#include "shell/commands.h"

#include <cstdio>
#include <string>

namespace {

enum class Operation { Add, Subtract, Multiply, Divide, Unknown };

Operation parse_operation(std::string word) {
    if (word == "*") word = "x";
    static const char *const symbols[] = {"+", "-", "x", "/"};
    static const Operation symbol_operations[] = {Operation::Add, Operation::Subtract,
                                                  Operation::Multiply, Operation::Divide};
    for (int i = 0; i < 4; ++i)
        if (word == symbols[i]) return symbol_operations[i];
    static const char *const words[] = {"add", "subtract", "multiply", "divide", nullptr};
    int index = 0, terminator = 0, end = 0;
    int match = match_command(word.c_str(), 0, words, &index, &terminator, &end);
    if ((match == MATCH_EXACT || match == MATCH_ABBREVIATION) &&
        end == static_cast<int>(word.size()))
        return symbol_operations[index];
    return Operation::Unknown;
}

// A typed value: digits with an optional point and signs (the last sign
// counts). Gives the digit string and its count of decimals; false when the
// value holds any other character.
bool parse_value(const std::string &text, std::string *digits, int *decimals) {
    char sign = '+';
    bool point_seen = false;
    digits->clear();
    *decimals = 0;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            digits->push_back(c);
            if (point_seen) ++*decimals;
        } else if (c == '.' && !point_seen) {
            point_seen = true;
        } else if (c == '+' || c == '-') {
            sign = c;
        } else {
            return false;
        }
    }
    digits->push_back(sign);
    return true;
}

// Reads one value; a leading "U" marks it unsigned. Returns false when input
// ended.
bool read_value(const char *prompt, std::string *text) {
    if (read_word_argument(text, "0.0", prompt) == CONSOLE_EOF) return false;
    if (!text->empty() && (*text)[0] == 'U') {
        std::fprintf(shell.operator_output, "\r\nUnsigned");
        text->erase(0, 1);
    }
    return true;
}

void print_result(const char *result, int decimals) {
    FILE *out = shell.operator_output;
    std::string text(result);
    char sign = text.back();
    text.pop_back();
    std::fprintf(out, "\r\nResult is : ");
    size_t integer_digits = text.size() - static_cast<size_t>(decimals);
    std::fprintf(out, "%s", text.substr(0, integer_digits).c_str());
    if (decimals > 0) std::fprintf(out, ".%s", text.substr(integer_digits).c_str());
    std::fprintf(out, "%c (No. of decimals: %d)\r\n", sign, decimals);
}

} // namespace

void cmd_bcd_test() {
    FILE *out = shell.operator_output;
    std::string first, operation_word, second;
    if (!read_value("\r\nEnter first value: ", &first)) return;
    if (read_word_argument(&operation_word, "", "\r\nOperation: ") == CONSOLE_EOF) return;
    Operation operation = parse_operation(operation_word);
    if (operation == Operation::Unknown) {
        std::fprintf(out, "\r\nOperation is add subtract multiply divide\r\n");
        return;
    }
    if (!read_value("\r\nEnter second value: ", &second)) return;

    std::string digits1, digits2;
    int decimals1 = 0, decimals2 = 0;
    if (!parse_value(first, &digits1, &decimals1)) {
        std::fprintf(out, "\r\nInvalid character in value 1\r\n");
        return;
    }
    if (!parse_value(second, &digits2, &decimals2)) {
        std::fprintf(out, "\r\nInvalid character in value 2\r\n");
        return;
    }
    if (operation == Operation::Divide) {
        std::fprintf(out, "\r\nOperator / not implemented yet\r\n");
        return;
    }

    char result[BCD_RESULT_SIZE];
    int decimals = 0;
    switch (operation) {
    case Operation::Add:
        decimals = bcd_add(digits1.c_str(), decimals1, digits2.c_str(), decimals2, result, 1);
        break;
    case Operation::Subtract:
        decimals = bcd_subtract(digits1.c_str(), decimals1, digits2.c_str(), decimals2, result, 1);
        break;
    default:
        decimals = bcd_multiply(digits1.c_str(), decimals1, digits2.c_str(), decimals2, result, 1);
        break;
    }
    if (decimals == BCD_CANNOT_HANDLE)
        std::fprintf(out, "\r\nCan not handle this...coding in progress\r\n");
    else if (decimals < 0)
        std::fprintf(out, "\r\nOverflow\r\n");
    else
        print_result(result, decimals);
}
