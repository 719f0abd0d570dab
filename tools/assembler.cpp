#include "assembler.h"

#include "isa.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string_view>

namespace ndtools {

std::string format_diagnostic(const Diagnostic &diagnostic) {
    return diagnostic.file + ":" + std::to_string(diagnostic.line) +
           ": error: " + diagnostic.message;
}

bool Bank::empty() const {
    return std::find(used.begin(), used.end(), true) == used.end();
}

uint32_t Bank::low() const {
    auto it = std::find(used.begin(), used.end(), true);
    return it == used.end() ? 0 : static_cast<uint32_t>(it - used.begin());
}

uint32_t Bank::high() const {
    for (uint32_t a = 65536; a > 0; --a)
        if (used[a - 1]) return a - 1;
    return 0;
}

namespace {

constexpr int64_t value_limit = int64_t{1} << 40;
// Parentheses and unary signs nest at most this deep, so that no source line
// can exhaust the stack of the recursive expression parser.
constexpr int nesting_limit = 100;

std::string octal(int64_t value) {
    char buffer[32];
    if (value < 0)
        std::snprintf(buffer, sizeof buffer, "-%llo", static_cast<unsigned long long>(-value));
    else
        std::snprintf(buffer, sizeof buffer, "%llo", static_cast<unsigned long long>(value));
    return buffer;
}

std::string octal6(uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%06o", value & 0177777u);
    return buffer;
}

int sign_extend_16(int64_t value) {
    return static_cast<int16_t>(static_cast<uint16_t>(value));
}

// ---------------------------------------------------------------------------
// Lexer: one source line to tokens.

enum class TokenKind { identifier, number, string, character, punctuation };

struct Token {
    TokenKind kind = TokenKind::punctuation;
    std::string text;        // identifier (upper case), string bytes, punctuation
    int64_t value = 0;       // number or character
    bool apostrophe = false; // string quoted with apostrophes: terminator added
    bool space_before = false;
    bool is(char c) const {
        return kind == TokenKind::punctuation && text.size() == 1 && text[0] == c;
    }
    bool is_identifier(std::string_view name) const {
        return kind == TokenKind::identifier && text == name;
    }
};

bool identifier_start(unsigned char c) {
    return std::isalpha(c) || c == '_';
}
bool identifier_char(unsigned char c) {
    return std::isalnum(c) || c == '_';
}

// A backslash escape inside a string; i points at the backslash.
bool lex_escape(const std::string &line, size_t &i, int &value, std::string &error) {
    if (i + 1 >= line.size()) {
        error = "string ends with a backslash";
        return false;
    }
    char c = line[i + 1];
    i += 2;
    switch (c) {
    case 'r':
        value = 015;
        return true;
    case 'n':
        value = 012;
        return true;
    case 't':
        value = 011;
        return true;
    case 'e':
        value = 033;
        return true;
    case '\\':
        value = '\\';
        return true;
    case '"':
        value = '"';
        return true;
    case '\'':
        value = '\'';
        return true;
    default:
        break;
    }
    if (c >= '0' && c <= '7') {
        value = c - '0';
        for (int n = 1; n < 3 && i < line.size() && line[i] >= '0' && line[i] <= '7'; ++n, ++i)
            value = value * 8 + (line[i] - '0');
        if (value > 0177) {
            error = "character \\" + octal(value) + " is not a 7-bit character";
            return false;
        }
        return true;
    }
    error = std::string("unknown escape \\") + c;
    return false;
}

bool lex_number(const std::string &line, size_t &i, Token &token, std::string &error) {
    size_t j = i;
    while (j < line.size() && std::isdigit(static_cast<unsigned char>(line[j])))
        ++j;
    std::string digits = line.substr(i, j - i);
    int base = 8;
    auto suffix_alone = [&](size_t k) {
        return k + 1 >= line.size() || !identifier_char(static_cast<unsigned char>(line[k + 1]));
    };
    if (j < line.size() && line[j] == '.') {
        base = 10;
        ++j;
    } else if (j < line.size() && std::toupper(static_cast<unsigned char>(line[j])) == 'D' &&
               suffix_alone(j)) {
        base = 10;
        ++j;
    } else if (j < line.size() && std::toupper(static_cast<unsigned char>(line[j])) == 'B' &&
               suffix_alone(j)) {
        ++j;
    }
    if (j < line.size() && identifier_char(static_cast<unsigned char>(line[j]))) {
        error = "malformed number '" + line.substr(i, j - i + 1) + "'";
        return false;
    }
    int64_t value = 0;
    for (char c : digits) {
        int d = c - '0';
        if (d >= base) {
            error = "digit " + std::string(1, c) + " in octal number " + digits + " (write " +
                    digits + "D for a decimal number)";
            return false;
        }
        value = value * base + d;
        if (value > 0xFFFFFFFFLL) {
            error = "number " + digits + " is too large";
            return false;
        }
    }
    token.kind = TokenKind::number;
    token.text = line.substr(i, j - i);
    token.value = value;
    i = j;
    return true;
}

bool lex_string(const std::string &line, size_t &i, Token &token, std::string &error) {
    char quote = line[i];
    token.kind = TokenKind::string;
    token.apostrophe = quote == '\'';
    size_t j = i + 1;
    while (true) {
        if (j >= line.size()) {
            error = std::string("string has no closing ") + (quote == '"' ? "\"" : "'");
            return false;
        }
        unsigned char c = static_cast<unsigned char>(line[j]);
        if (c == static_cast<unsigned char>(quote)) break;
        int value = c;
        if (c == '\\') {
            if (!lex_escape(line, j, value, error)) return false;
        } else {
            if (c >= 0200) {
                error = "string holds a character that is not 7-bit ASCII";
                return false;
            }
            ++j;
        }
        token.text.push_back(static_cast<char>(value));
    }
    i = j + 1;
    return true;
}

bool lex_line(const std::string &line, std::vector<Token> &tokens, std::string &error) {
    size_t i = 0;
    bool space = false;
    while (i < line.size()) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        if (c == ' ' || c == '\t' || c == '\r' || c == '\f') {
            space = true;
            ++i;
            continue;
        }
        if (c == ';' || c == '%') break;
        Token token;
        token.space_before = space;
        space = false;
        if (identifier_start(c)) {
            size_t j = i;
            while (j < line.size() && identifier_char(static_cast<unsigned char>(line[j]))) {
                token.text.push_back(
                    static_cast<char>(std::toupper(static_cast<unsigned char>(line[j]))));
                ++j;
            }
            token.kind = TokenKind::identifier;
            i = j;
        } else if (std::isdigit(c)) {
            if (!lex_number(line, i, token, error)) return false;
        } else if (c == '"' || c == '\'') {
            if (!lex_string(line, i, token, error)) return false;
        } else if (c == '#') {
            if (i + 1 >= line.size()) {
                error = "'#' must be followed by a character";
                return false;
            }
            unsigned char ch = static_cast<unsigned char>(line[i + 1]);
            if (ch >= 0200) {
                error = "character constant is not 7-bit ASCII";
                return false;
            }
            token.kind = TokenKind::character;
            token.value = ch;
            token.text = line.substr(i, 2);
            i += 2;
        } else if (std::string_view("+-*(),:=").find(static_cast<char>(c)) !=
                   std::string_view::npos) {
            token.kind = TokenKind::punctuation;
            token.text = std::string(1, static_cast<char>(c));
            ++i;
        } else {
            char shown[16];
            if (c >= 040 && c < 0177)
                std::snprintf(shown, sizeof shown, "'%c'", c);
            else
                std::snprintf(shown, sizeof shown, "byte %03o", c);
            error = std::string("unexpected character ") + shown;
            return false;
        }
        tokens.push_back(std::move(token));
    }
    return true;
}

// ---------------------------------------------------------------------------
// Expressions: + - * with the usual precedence, unary minus, parentheses,
// numbers, #c characters, symbols and * for the current address.

using Symbols = std::map<std::string, int64_t>;

struct Evaluation {
    enum Status { ok, undefined, failed } status = ok;
    int64_t value = 0;
    std::string message; // failed: the error; undefined: the first undefined name
};

const std::vector<std::string_view> directives = {"ORG",  "WORD",    "BLOCK", "TEXT",   "START",
                                                  "RESTART", "BANK", "ACTION", "INCLUDE"};

// How deep INCLUDE may nest: enough for any program, and a file that
// includes itself is stopped with a message.
constexpr int MAX_INCLUDE_DEPTH = 16;

// The directory part of a path, with its slash ("" for a bare name).
std::string directory_of(const std::string &path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool is_directive(std::string_view name) {
    return std::find(directives.begin(), directives.end(), name) != directives.end();
}

class ExpressionParser {
  public:
    ExpressionParser(const std::vector<Token> &tokens, const Symbols &symbols, int64_t here)
        : tokens_(tokens), symbols_(symbols), here_(here) {}

    Evaluation evaluate() {
        Evaluation result;
        if (tokens_.empty()) return fail("missing expression");
        int64_t value = 0;
        if (!expression(value)) return fail(error_);
        if (position_ < tokens_.size())
            return fail("unexpected '" + shown(tokens_[position_]) + "'");
        if (!undefined_.empty()) {
            result.status = Evaluation::undefined;
            result.message = undefined_;
            return result;
        }
        result.value = value;
        return result;
    }

  private:
    static std::string shown(const Token &t) {
        if (t.kind == TokenKind::string) return "\"" + t.text + "\"";
        return t.text;
    }
    Evaluation fail(const std::string &message) {
        Evaluation result;
        result.status = Evaluation::failed;
        result.message = message;
        return result;
    }
    bool check(int64_t value) {
        if (value > value_limit || value < -value_limit) {
            error_ = "value of expression too large";
            return false;
        }
        return true;
    }
    bool expression(int64_t &value) {
        if (!term(value)) return false;
        while (position_ < tokens_.size() &&
               (tokens_[position_].is('+') || tokens_[position_].is('-'))) {
            bool plus = tokens_[position_++].is('+');
            int64_t right = 0;
            if (!term(right)) return false;
            value = plus ? value + right : value - right;
            if (!check(value)) return false;
        }
        return true;
    }
    bool term(int64_t &value) {
        if (!unary(value)) return false;
        while (position_ < tokens_.size() && tokens_[position_].is('*')) {
            ++position_;
            int64_t right = 0;
            if (!unary(right)) return false;
            if ((value != 0 && right != 0) &&
                (value > value_limit / (right < 0 ? -right : right) ||
                 value < -value_limit / (right < 0 ? -right : right))) {
                error_ = "value of expression too large";
                return false;
            }
            value *= right;
        }
        return true;
    }
    // Counts one level of nesting for the lifetime of a recursive call.
    struct Nesting {
        explicit Nesting(int &depth) : depth_(depth) { ++depth_; }
        ~Nesting() { --depth_; }
        Nesting(const Nesting &) = delete;
        Nesting &operator=(const Nesting &) = delete;
        int &depth_;
    };
    bool too_deep() {
        if (depth_ <= nesting_limit) return false;
        error_ = "expression nested more than " + std::to_string(nesting_limit) + " levels deep";
        return true;
    }
    bool unary(int64_t &value) {
        Nesting nesting(depth_);
        if (too_deep()) return false;
        if (position_ < tokens_.size() &&
            (tokens_[position_].is('-') || tokens_[position_].is('+'))) {
            bool minus = tokens_[position_++].is('-');
            if (!unary(value)) return false;
            if (minus) value = -value;
            return true;
        }
        return primary(value);
    }
    bool primary(int64_t &value) {
        if (position_ >= tokens_.size()) {
            error_ = "expression ends too early";
            return false;
        }
        const Token &t = tokens_[position_++];
        switch (t.kind) {
        case TokenKind::number:
        case TokenKind::character:
            value = t.value;
            return true;
        case TokenKind::string:
            error_ = "a string cannot stand in an expression (use TEXT for strings)";
            return false;
        case TokenKind::identifier: {
            if (is_reserved_word(t.text) || is_directive(t.text)) {
                error_ = "'" + t.text + "' is a reserved word and cannot stand in an expression";
                return false;
            }
            auto it = symbols_.find(t.text);
            if (it == symbols_.end()) {
                if (undefined_.empty()) undefined_ = t.text;
                value = 0;
            } else {
                value = it->second;
            }
            return true;
        }
        case TokenKind::punctuation:
            if (t.is('*')) {
                value = here_;
                return true;
            }
            if (t.is('(')) {
                if (!expression(value)) return false;
                if (position_ >= tokens_.size() || !tokens_[position_].is(')')) {
                    error_ = "missing ')'";
                    return false;
                }
                ++position_;
                return true;
            }
            error_ = "unexpected '" + t.text + "'";
            return false;
        }
        return false;
    }

    const std::vector<Token> &tokens_;
    const Symbols &symbols_;
    int64_t here_;
    size_t position_ = 0;
    int depth_ = 0;
    std::string error_;
    std::string undefined_;
};

// ---------------------------------------------------------------------------
// Statements.

enum { program_bank = 0, data_bank = 1 };

struct Statement {
    int line = 0;
    std::string text;
    std::string label;
    std::string equate;
    std::string op;
    std::vector<Token> operands;
    bool valid = true;
    int bank = program_bank;
    uint32_t address = 0;
    uint32_t size = 0;
};

// The operand field of the register-style instructions: keywords, at most
// one number expression, and the EXTRA value.
struct OperandField {
    std::vector<std::string> keywords;
    std::vector<Token> number;
    std::vector<Token> extra;
    bool has_extra = false;
};

bool is_operand_keyword(std::string_view name) {
    return is_reserved_word(name) && find_instruction(name) == nullptr;
}

template <size_t N>
std::optional<uint16_t> keyword_bits(const std::string &name, const Keyword (&list)[N]) {
    for (const Keyword &k : list)
        if (name == k.name) return k.bits;
    return std::nullopt;
}

// Splits a token list at top-level commas.
std::vector<std::vector<Token>> split_commas(const std::vector<Token> &tokens) {
    std::vector<std::vector<Token>> items(1);
    int depth = 0;
    for (const Token &t : tokens) {
        if (t.is('(')) ++depth;
        if (t.is(')')) --depth;
        if (t.is(',') && depth == 0) {
            items.emplace_back();
            continue;
        }
        items.back().push_back(t);
    }
    if (items.size() == 1 && items[0].empty()) items.clear();
    return items;
}

class Assembler {
  public:
    Assembler(std::string file, const SourceReader &read) : file_(std::move(file)), read_(read) {}

    AssemblyResult run(const std::string &source) {
        files_.push_back(file_);
        read_statements(source, 0, 0);
        pass_one();
        resolve_equates();
        pass_two();
        // In the order of the lines read, included ones at their places.
        std::stable_sort(errors_.begin(), errors_.end(),
                         [](const auto &a, const auto &b) { return a.first < b.first; });
        for (auto &numbered : errors_)
            result_.errors.push_back(std::move(numbered.second));
        errors_.clear();
        if (result_.errors.empty() && result_.program.program.empty() &&
            result_.program.data.empty())
            result_.errors.push_back({file_, 0, "the source assembles no words"});
        if (!result_.program.start_given)
            result_.program.start = static_cast<uint16_t>(result_.program.program.low());
        if (!result_.program.restart_given) result_.program.restart = result_.program.start;
        return std::move(result_);
    }

  private:
    // `line` numbers the lines read, included ones too, from 1; the
    // diagnostic names the file and the line within it.
    void error(int line, const std::string &message) {
        if (line > 0 && static_cast<size_t>(line) <= lines_.size()) {
            const SourceLine &at = lines_[static_cast<size_t>(line) - 1];
            errors_.push_back({line, {files_[at.file], at.line, message}});
        } else {
            errors_.push_back({line, {file_, line, message}});
        }
    }

    // ---- reading ----------------------------------------------------------

    // Reads the lines of one file (file_index in files_), taking in the
    // files that its INCLUDE lines name at their places.
    void read_statements(const std::string &source, int file_index, int depth) {
        size_t start = 0;
        int line_in_file = 0;
        while (start <= source.size()) {
            size_t end = source.find('\n', start);
            if (end == std::string::npos) end = source.size();
            std::string line = source.substr(start, end - start);
            ++line_in_file;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (end == source.size() && line.empty()) break;
            lines_.push_back({file_index, line_in_file});
            int line_number = static_cast<int>(lines_.size());
            if (!include_file(line, line_number, file_index, depth))
                parse_statement(line, line_number);
            start = end + 1;
        }
    }

    // INCLUDE "file": the file's lines are assembled in place of this one,
    // which stays in the listing. Returns false for any other line.
    bool include_file(const std::string &line, int line_number, int file_index, int depth) {
        std::vector<Token> tokens;
        std::string lex_error;
        if (!lex_line(line, tokens, lex_error) || tokens.empty() ||
            !tokens[0].is_identifier("INCLUDE"))
            return false;
        Statement listed;
        listed.line = line_number;
        listed.text = line;
        statements_.push_back(listed);
        if (tokens.size() != 2 || tokens[1].kind != TokenKind::string) {
            error(line_number, "INCLUDE takes one file name in quotes");
            return true;
        }
        if (depth >= MAX_INCLUDE_DEPTH) {
            error(line_number, "INCLUDE nested more than " + std::to_string(MAX_INCLUDE_DEPTH) +
                                   " deep (does a file include itself?)");
            return true;
        }
        std::string name = tokens[1].text;
        std::string path = name.empty() || name[0] == '/' ? name : directory_of(files_[file_index]) + name;
        std::string text;
        if (name.empty() || !read_(path, text)) {
            error(line_number, "cannot read the included file '" + name + "'");
            return true;
        }
        if (std::find(result_.included.begin(), result_.included.end(), path) ==
            result_.included.end())
            result_.included.push_back(path);
        files_.push_back(path);
        read_statements(text, static_cast<int>(files_.size()) - 1, depth + 1);
        return true;
    }

    void parse_statement(const std::string &line, int line_number) {
        Statement st;
        st.line = line_number;
        st.text = line;
        std::vector<Token> tokens;
        std::string lex_error;
        if (!lex_line(line, tokens, lex_error)) {
            error(line_number, lex_error);
            return;
        }
        size_t i = 0;
        // A label is NAME: or, as in ND MAC, NAME, with the comma right after
        // the name (LDA ,X 3 is an instruction, not the label LDA).
        if (tokens.size() >= 2 && tokens[0].kind == TokenKind::identifier &&
            (tokens[1].is(':') ||
             (tokens[1].is(',') && !tokens[1].space_before &&
              find_instruction(tokens[0].text) == nullptr && !is_directive(tokens[0].text)))) {
            st.label = tokens[0].text;
            i = 2;
        }
        if (i + 1 < tokens.size() && tokens[i].kind == TokenKind::identifier &&
            tokens[i + 1].is('=')) {
            st.equate = tokens[i].text;
            st.operands.assign(tokens.begin() + static_cast<long>(i) + 2, tokens.end());
        } else if (i < tokens.size()) {
            if (tokens[i].kind != TokenKind::identifier) {
                error(line_number,
                      "expected an instruction or directive, found '" + tokens[i].text + "'");
                return;
            }
            st.op = tokens[i].text;
            st.operands.assign(tokens.begin() + static_cast<long>(i) + 1, tokens.end());
        }
        statements_.push_back(std::move(st));
    }

    // ---- symbols ----------------------------------------------------------

    bool define(int line, const std::string &name, int64_t value) {
        if (is_reserved_word(name) || is_directive(name)) {
            error(line, "'" + name + "' is a reserved word and cannot be defined");
            return false;
        }
        if (symbols_.count(name)) {
            error(line, "symbol '" + name + "' is defined twice");
            return false;
        }
        symbols_[name] = value;
        return true;
    }

    Evaluation evaluate(const std::vector<Token> &tokens, int64_t here) const {
        return ExpressionParser(tokens, symbols_, here).evaluate();
    }

    // Evaluates an expression whose symbols must all be defined now.
    bool value_of(const Statement &st, const std::vector<Token> &tokens, int64_t &value,
                  const char *what) {
        return value_at(st, st.address, tokens, value, what);
    }

    // As value_of, with * standing for here.
    bool value_at(const Statement &st, int64_t here, const std::vector<Token> &tokens,
                  int64_t &value, const char *what) {
        Evaluation e = evaluate(tokens, here);
        if (e.status == Evaluation::failed) {
            error(st.line, e.message);
            return false;
        }
        if (e.status == Evaluation::undefined) {
            error(st.line, "undefined symbol '" + e.message + "' in " + what);
            return false;
        }
        value = e.value;
        return true;
    }

    bool in_range(const Statement &st, int64_t value, int64_t low, int64_t high,
                  const std::string &what) {
        if (value >= low && value <= high) return true;
        error(st.line,
              what + " " + octal(value) + " is out of range " + octal(low) + ".." + octal(high));
        return false;
    }

    // ---- pass one: addresses ---------------------------------------------

    void pass_one() {
        uint32_t location[2] = {0, 0};
        int bank = program_bank;
        for (Statement &st : statements_) {
            if (!st.label.empty()) define(st.line, st.label, location[bank]);
            st.bank = bank;
            st.address = location[bank];
            if (!st.equate.empty()) {
                Evaluation e = evaluate(st.operands, location[bank]);
                if (e.status == Evaluation::failed) {
                    error(st.line, e.message);
                    st.valid = false;
                } else if (e.status == Evaluation::ok) {
                    define(st.line, st.equate, e.value);
                } else {
                    pending_equates_.push_back(&st);
                }
                continue;
            }
            if (st.op.empty()) continue;
            uint32_t size = 0;
            if (!measure(st, location[bank], bank, size)) {
                st.valid = false;
                continue;
            }
            st.bank = bank;
            st.address = location[bank];
            st.size = size;
            if (st.address + size > 0200000) {
                error(st.line, "the words of this line run past address 177777");
                st.valid = false;
                location[bank] = 0200000;
                continue;
            }
            location[bank] += size;
        }
    }

    // Size of a statement in words; ORG and BANK move the location.
    bool measure(Statement &st, uint32_t &location, int &bank, uint32_t &size) {
        const std::string &op = st.op;
        if (op == "ORG" || op == "BLOCK") {
            Evaluation e = evaluate(st.operands, location);
            if (e.status == Evaluation::failed) {
                error(st.line, e.message);
                return false;
            }
            if (e.status == Evaluation::undefined) {
                error(st.line, op + " needs symbols defined above it; '" + e.message + "' is not");
                return false;
            }
            if (op == "ORG") {
                st.address = location;
                if (!in_range(st, e.value, 0, 0177777, "origin")) return false;
                location = static_cast<uint32_t>(e.value);
            } else {
                if (!in_range(st, e.value, 0, 0200000, "block size")) return false;
                size = static_cast<uint32_t>(e.value);
            }
            return true;
        }
        if (op == "BANK") {
            if (st.operands.size() != 1 || st.operands[0].kind != TokenKind::identifier ||
                (st.operands[0].text != "PROG" && st.operands[0].text != "DATA")) {
                error(st.line, "BANK takes PROG or DATA");
                return false;
            }
            bank = st.operands[0].text == "DATA" ? data_bank : program_bank;
            if (bank == data_bank) result_.program.two_bank = true;
            return true;
        }
        if (op == "WORD") {
            auto items = split_commas(st.operands);
            if (items.empty()) {
                error(st.line, "WORD needs at least one value");
                return false;
            }
            size = static_cast<uint32_t>(items.size());
            return true;
        }
        if (op == "TEXT") {
            auto items = split_commas(st.operands);
            if (items.empty()) {
                error(st.line, "TEXT needs a string");
                return false;
            }
            uint32_t bytes = 0;
            for (const auto &item : items) {
                if (item.size() == 1 && item[0].kind == TokenKind::string)
                    bytes +=
                        static_cast<uint32_t>(item[0].text.size()) + (item[0].apostrophe ? 1 : 0);
                else
                    bytes += 1;
            }
            size = (bytes + 1) / 2;
            return true;
        }
        if (op == "START" || op == "RESTART" || op == "ACTION") return true;
        const InstructionForm *form = find_instruction(op);
        if (form == nullptr) {
            error(st.line, "unknown instruction or directive '" + op + "'");
            return false;
        }
        size = 1u + form->parameter_words;
        return true;
    }

    void resolve_equates() {
        bool progress = true;
        while (progress && !pending_equates_.empty()) {
            progress = false;
            for (auto it = pending_equates_.begin(); it != pending_equates_.end();) {
                Statement &st = **it;
                Evaluation e = evaluate(st.operands, st.address);
                if (e.status == Evaluation::ok) {
                    define(st.line, st.equate, e.value);
                    it = pending_equates_.erase(it);
                    progress = true;
                } else {
                    ++it;
                }
            }
        }
        for (Statement *st : pending_equates_) {
            Evaluation e = evaluate(st->operands, st->address);
            error(st->line, "undefined symbol '" + e.message + "' in the value of " + st->equate);
        }
    }

    // ---- pass two: words --------------------------------------------------

    void pass_two() {
        for (const Statement &st : statements_) {
            std::vector<uint16_t> words;
            bool emitted = false;
            if (st.valid && !st.op.empty() && st.equate.empty()) {
                size_t errors_before = result_.errors.size();
                generate(st, words);
                if (result_.errors.size() == errors_before) {
                    emitted = place(st, words);
                }
            }
            list(st, emitted ? words : std::vector<uint16_t>{});
        }
    }

    bool place(const Statement &st, const std::vector<uint16_t> &words) {
        Bank &bank = st.bank == data_bank ? result_.program.data : result_.program.program;
        for (size_t k = 0; k < words.size(); ++k) {
            uint32_t a = st.address + static_cast<uint32_t>(k);
            if (bank.used[a]) {
                error(st.line, "address " + octal6(a) +
                                   (st.bank == data_bank ? " of the data bank" : "") +
                                   " is assembled twice");
                return false;
            }
        }
        for (size_t k = 0; k < words.size(); ++k) {
            uint32_t a = st.address + static_cast<uint32_t>(k);
            bank.words[a] = words[k];
            bank.used[a] = true;
        }
        return true;
    }

    void list(const Statement &st, const std::vector<uint16_t> &words) {
        char bank_mark = st.bank == data_bank ? 'D' : ' ';
        char buffer[64];
        std::string &out = result_.listing;
        if (st.op == "BLOCK" && st.valid) {
            std::snprintf(buffer, sizeof buffer, "%c%06o  ......  ", bank_mark, st.address);
            out += buffer + st.text + "\n";
            return;
        }
        if (words.empty()) {
            if (!st.label.empty())
                std::snprintf(buffer, sizeof buffer, "%c%06o          ", bank_mark,
                              st.address & 0177777);
            else
                std::snprintf(buffer, sizeof buffer, "                 ");
            out += buffer + st.text;
            while (!out.empty() && out.back() == ' ')
                out.pop_back();
            out += "\n";
            return;
        }
        for (size_t k = 0; k < words.size(); ++k) {
            std::snprintf(buffer, sizeof buffer, "%c%06o  %06o  ", bank_mark,
                          st.address + static_cast<uint32_t>(k), words[k]);
            out += buffer;
            out += k == 0 ? st.text : std::string();
            while (!out.empty() && out.back() == ' ')
                out.pop_back();
            out += "\n";
        }
    }

    void generate(const Statement &st, std::vector<uint16_t> &words) {
        const std::string &op = st.op;
        if (op == "ORG" || op == "BANK") return;
        if (op == "BLOCK") {
            words.assign(st.size, 0);
            return;
        }
        if (op == "WORD") {
            for (const auto &item : split_commas(st.operands)) {
                int64_t v = 0;
                int64_t here = st.address + static_cast<int64_t>(words.size());
                if (!value_at(st, here, item, v, "WORD") ||
                    !in_range(st, v, -0100000, 0177777, "word value"))
                    return;
                words.push_back(static_cast<uint16_t>(v));
            }
            return;
        }
        if (op == "TEXT") {
            generate_text(st, words);
            return;
        }
        if (op == "START" || op == "RESTART" || op == "ACTION") {
            int64_t v = 0;
            if (!value_of(st, st.operands, v, op.c_str()) ||
                !in_range(st, v, 0, 0177777, op + " value"))
                return;
            Program &p = result_.program;
            bool &given = op == "START"     ? p.start_given
                          : op == "RESTART" ? p.restart_given
                                            : action_given_;
            if (given) {
                error(st.line, op + " is given twice");
                return;
            }
            given = true;
            (op == "START"     ? p.start
             : op == "RESTART" ? p.restart
                               : p.action) = static_cast<uint16_t>(v);
            return;
        }
        const InstructionForm *form = find_instruction(op);
        uint16_t word = form->base;
        if (form->form == Form::stack) {
            generate_stack(st, *form, words);
            return;
        }
        if (encode(st, *form, word)) words.push_back(word);
    }

    void generate_text(const Statement &st, std::vector<uint16_t> &words) {
        std::vector<uint8_t> bytes;
        for (const auto &item : split_commas(st.operands)) {
            if (item.size() == 1 && item[0].kind == TokenKind::string) {
                for (char c : item[0].text)
                    bytes.push_back(static_cast<uint8_t>(c));
                if (item[0].apostrophe) bytes.push_back('\'');
                continue;
            }
            int64_t v = 0;
            if (!value_of(st, item, v, "TEXT") || !in_range(st, v, 0, 0177, "character")) return;
            bytes.push_back(static_cast<uint8_t>(v));
        }
        if (bytes.size() % 2) bytes.push_back(0);
        for (size_t k = 0; k < bytes.size(); k += 2)
            words.push_back(static_cast<uint16_t>(bytes[k] << 8 | bytes[k + 1]));
    }

    void generate_stack(const Statement &st, const InstructionForm &form,
                        std::vector<uint16_t> &words) {
        auto items = split_commas(st.operands);
        if (items.size() != form.parameter_words) {
            error(st.line,
                  std::string(form.mnemonic) + " takes " + std::to_string(form.parameter_words) +
                      (form.parameter_words == 1 ? " parameter word"
                                                 : " parameter words, separated by commas"));
            return;
        }
        std::vector<uint16_t> out{form.base};
        for (const auto &item : items) {
            int64_t v = 0;
            if (!value_of(st, item, v, "a parameter word") ||
                !in_range(st, v, -0100000, 0177777, "parameter word"))
                return;
            out.push_back(static_cast<uint16_t>(v));
        }
        words = out;
    }

    // ---- instruction encoding ---------------------------------------------

    bool encode(const Statement &st, const InstructionForm &form, uint16_t &word) {
        switch (form.form) {
        case Form::memory:
        case Form::cond_jump:
            return encode_memory(st, form, word);
        case Form::plain:
            if (!st.operands.empty()) {
                error(st.line, std::string(form.mnemonic) + " takes no operand");
                return false;
            }
            return true;
        case Form::stack:
            return false;
        default:
            break;
        }
        OperandField field;
        if (!split_field(st, form, field)) return false;
        switch (form.form) {
        case Form::register_op:
            return encode_register_op(st, form, field, word);
        case Form::skip:
            return encode_skip(st, form, field, word);
        case Form::execute:
        case Form::divide:
        case Form::multiply:
            return encode_register_pair(st, form, field, word);
        case Form::shift:
            return encode_shift(st, form, field, word);
        case Form::bit_op:
            return encode_bit(st, form, field, word);
        case Form::argument:
        case Form::byte_operand:
        case Form::scale:
            return encode_value(st, form, field, word);
        case Form::internal_reg:
            return encode_internal(st, form, field, word);
        case Form::level_reg:
            return encode_level(st, form, field, word);
        case Form::io_transfer:
            return encode_iot(st, form, field, word);
        default:
            return false;
        }
    }

    bool encode_memory(const Statement &st, const InstructionForm &form, uint16_t &word) {
        const std::string name = form.mnemonic;
        uint16_t bits = 0;
        std::vector<Token> address;
        bool address_closed = false;
        const auto &t = st.operands;
        auto add_bit = [&](uint16_t bit, const char *shown) {
            if (bits & bit) {
                error(st.line, std::string(shown) + " is given twice");
                return false;
            }
            bits |= bit;
            if (!address.empty()) address_closed = true;
            return true;
        };
        for (size_t i = 0; i < t.size(); ++i) {
            if (t[i].is_identifier("I")) {
                if (!add_bit(bit_I, "I")) return false;
                continue;
            }
            if (t[i].is(',')) {
                if (i + 1 < t.size() &&
                    (t[i + 1].is_identifier("X") || t[i + 1].is_identifier("B"))) {
                    bool x = t[i + 1].text == "X";
                    if (!add_bit(x ? bit_X : bit_B, x ? ",X" : ",B")) return false;
                    ++i;
                    continue;
                }
                error(st.line, "expected X or B after ','");
                return false;
            }
            if (t[i].kind == TokenKind::identifier && is_operand_keyword(t[i].text)) {
                error(st.line, "'" + t[i].text + "' is not an operand of " + name);
                return false;
            }
            if (address_closed) {
                error(st.line, name + " takes one address expression");
                return false;
            }
            address.push_back(t[i]);
        }
        if (form.form == Form::cond_jump && bits != 0) {
            error(st.line, name + " takes only an address (no I, ,X or ,B)");
            return false;
        }
        if (address.empty()) {
            error(st.line, name + " needs an address");
            return false;
        }
        int64_t v = 0;
        if (!value_of(st, address, v, "the address")) return false;
        bool p_relative = !(bits & bit_B) && (!(bits & bit_X) || (bits & bit_I));
        int64_t displacement = v;
        if (p_relative) {
            // Addresses wrap within the bank as the CPU's do: *+5 at 177777 is 4.
            if (!in_range(st, v, -0200000, 0377777, "address")) return false;
            displacement = sign_extend_16(v - st.address);
            if (displacement < -128 || displacement > 127) {
                error(st.line, "address " + octal6(static_cast<uint32_t>(v)) +
                                   " is out of reach from " + octal6(st.address) +
                                   ": displacement " + octal(displacement) +
                                   " is outside -200..177");
                return false;
            }
        } else if (!in_range(st, v, -128, 127, "displacement")) {
            return false;
        }
        word = static_cast<uint16_t>(form.base | bits | (displacement & 0377));
        return true;
    }

    bool split_field(const Statement &st, const InstructionForm &form, OperandField &field) {
        bool number_closed = false;
        const auto &t = st.operands;
        for (size_t i = 0; i < t.size(); ++i) {
            if (t[i].is_identifier("EXTRA")) {
                field.has_extra = true;
                field.extra.assign(t.begin() + static_cast<long>(i) + 1, t.end());
                if (field.extra.empty()) {
                    error(st.line, "EXTRA needs a value");
                    return false;
                }
                break;
            }
            if (t[i].kind == TokenKind::identifier && is_operand_keyword(t[i].text)) {
                field.keywords.push_back(t[i].text);
                if (!field.number.empty()) number_closed = true;
                continue;
            }
            if (t[i].is(',')) {
                error(st.line,
                      std::string(form.mnemonic) + " operands are separated by blanks, not commas");
                return false;
            }
            if (number_closed) {
                error(st.line, std::string(form.mnemonic) + " takes only one number");
                return false;
            }
            field.number.push_back(t[i]);
        }
        if (field.has_extra) {
            if (form.ignored_mask == 0) {
                error(st.line, std::string(form.mnemonic) + " has no unused bits for EXTRA");
                return false;
            }
        }
        return true;
    }

    bool apply_extra(const Statement &st, const InstructionForm &form, const OperandField &field,
                     uint16_t &word) {
        if (!field.has_extra) return true;
        int64_t v = 0;
        if (!value_of(st, field.extra, v, "EXTRA")) return false;
        if (v < 0 || v > 0177777 || (v & ~static_cast<int64_t>(form.ignored_mask)) != 0) {
            error(st.line, "EXTRA " + octal(v) + " is not within the unused bits " +
                               octal6(form.ignored_mask) + " of " + form.mnemonic);
            return false;
        }
        word = static_cast<uint16_t>(word | v);
        return true;
    }

    bool no_number(const Statement &st, const InstructionForm &form, const OperandField &field) {
        if (field.number.empty()) return true;
        error(st.line, std::string(form.mnemonic) + " takes no number");
        return false;
    }

    bool not_operand(const Statement &st, const InstructionForm &form, const std::string &keyword) {
        error(st.line, "'" + keyword + "' is not an operand of " + form.mnemonic);
        return false;
    }

    bool set_once(const Statement &st, bool &seen, const std::string &what) {
        if (seen) {
            error(st.line, what + " is given twice");
            return false;
        }
        seen = true;
        return true;
    }

    // Source and destination register designators shared by several forms.
    bool register_keyword(const Statement &st, const std::string &kw, bool allow_source,
                          bool allow_destination, bool &source_seen, bool &destination_seen,
                          uint16_t &word, bool &matched) {
        matched = false;
        if (auto bits = keyword_bits(kw, source_registers); bits && allow_source) {
            matched = true;
            if (!set_once(st, source_seen, "the source register")) return false;
            word |= *bits;
        } else if (auto dbits = keyword_bits(kw, destination_registers);
                   dbits && allow_destination) {
            matched = true;
            if (!set_once(st, destination_seen, "the destination register")) return false;
            word |= *dbits;
        }
        return true;
    }

    bool encode_register_op(const Statement &st, const InstructionForm &form,
                            const OperandField &field, uint16_t &word) {
        bool radd_family = (form.base & 0176000) == 0146000;
        bool source = false, destination = false;
        for (const std::string &kw : field.keywords) {
            bool matched = false;
            if (!register_keyword(st, kw, true, true, source, destination, word, matched))
                return false;
            if (matched) continue;
            uint16_t bit = kw == "CM1"   ? bit_CM1
                           : kw == "CLD" ? bit_CLD
                           : kw == "AD1" ? bit_AD1
                           : kw == "ADC" ? bit_ADC
                                         : 0;
            if (bit == 0) return not_operand(st, form, kw);
            if ((bit == bit_AD1 || bit == bit_ADC)) {
                if (!radd_family) {
                    error(st.line, kw + " belongs to RADD only");
                    return false;
                }
                if (word & (bit_AD1 | bit_ADC) & ~bit) {
                    error(st.line, "AD1 and ADC cannot be combined");
                    return false;
                }
            }
            if (word & bit) {
                error(st.line, kw + " is given twice");
                return false;
            }
            word |= bit;
        }
        if (std::string_view(form.mnemonic) == "RCLR" && source) {
            error(st.line, "RCLR clears its destination and takes no source register (write COPY)");
            return false;
        }
        return no_number(st, form, field);
    }

    bool encode_skip(const Statement &st, const InstructionForm &form, const OperandField &field,
                     uint16_t &word) {
        bool source = false, destination = false, condition = false, if_seen = false;
        for (const std::string &kw : field.keywords) {
            if (kw == "IF") {
                if (!set_once(st, if_seen, "IF")) return false;
                continue;
            }
            if (auto bits = keyword_bits(kw, skip_conditions)) {
                if (!set_once(st, condition, "the condition")) return false;
                word |= *bits;
                continue;
            }
            bool matched = false;
            if (!register_keyword(st, kw, true, true, source, destination, word, matched))
                return false;
            if (!matched) return not_operand(st, form, kw);
        }
        if (!condition) {
            error(st.line, "SKP needs a condition: EQL, GEQ, GRE, MGRE, UEQ, LSS, LST or MLST");
            return false;
        }
        return no_number(st, form, field);
    }

    // EXR (source), RDIV (source), RMPY (source and destination).
    bool encode_register_pair(const Statement &st, const InstructionForm &form,
                              const OperandField &field, uint16_t &word) {
        bool source = false, destination = false;
        bool allow_destination = form.form == Form::multiply;
        for (const std::string &kw : field.keywords) {
            bool matched = false;
            if (!register_keyword(st, kw, true, allow_destination, source, destination, word,
                                  matched))
                return false;
            if (!matched) return not_operand(st, form, kw);
        }
        return no_number(st, form, field) && apply_extra(st, form, field, word);
    }

    bool encode_shift(const Statement &st, const InstructionForm &form, const OperandField &field,
                      uint16_t &word) {
        bool mode = false, right = false;
        for (const std::string &kw : field.keywords) {
            if (auto bits = keyword_bits(kw, shift_modes)) {
                if (!set_once(st, mode, "the shift mode")) return false;
                word |= *bits;
            } else if (kw == "SHR") {
                if (!set_once(st, right, "SHR")) return false;
            } else {
                return not_operand(st, form, kw);
            }
        }
        if (field.number.empty()) {
            error(st.line, std::string(form.mnemonic) + " needs a shift count");
            return false;
        }
        int64_t count = 0;
        if (!value_of(st, field.number, count, "the shift count")) return false;
        if (right) {
            if (!in_range(st, count, 1, 040, "right shift count")) return false;
            count = -count;
        } else if (!in_range(st, count, -040, 037, "shift count")) {
            return false;
        }
        word = static_cast<uint16_t>(word | (count & 077));
        return apply_extra(st, form, field, word);
    }

    bool encode_bit(const Statement &st, const InstructionForm &form, const OperandField &field,
                    uint16_t &word) {
        bool needs_suboperation = form.fixed_mask == 0177000;
        bool suboperation = false, destination = false, status_bit = false;
        uint16_t reg = 0;
        int64_t bit = 0;
        for (const std::string &kw : field.keywords) {
            if (auto bits = keyword_bits(kw, bit_suboperations); bits && needs_suboperation) {
                if (!set_once(st, suboperation, "the operation")) return false;
                word |= *bits;
            } else if (auto sbit = keyword_bits(kw, status_bits)) {
                if (!set_once(st, status_bit, "the bit")) return false;
                bit = *sbit;
            } else if (auto dbits = keyword_bits(kw, destination_registers)) {
                if (!set_once(st, destination, "the register")) return false;
                reg = *dbits;
            } else {
                return not_operand(st, form, kw);
            }
        }
        if (needs_suboperation && !suboperation) {
            error(st.line, std::string(form.mnemonic) + " needs ZRO, ONE, BCM or BAC");
            return false;
        }
        if (status_bit) {
            if (!field.number.empty()) {
                error(st.line, "give either a status bit name or a bit number, not both");
                return false;
            }
            if (reg != 0) {
                error(st.line,
                      "status bit names belong to STS; they cannot name a bit of another register");
                return false;
            }
        } else {
            if (field.number.empty()) {
                error(st.line, std::string(form.mnemonic) + " needs a bit number");
                return false;
            }
            if (!value_of(st, field.number, bit, "the bit number") ||
                !in_range(st, bit, 0, 017, "bit number"))
                return false;
        }
        word = static_cast<uint16_t>(word | bit << 3 | reg);
        return true;
    }

    bool encode_value(const Statement &st, const InstructionForm &form, const OperandField &field,
                      uint16_t &word) {
        if (!field.keywords.empty()) return not_operand(st, form, field.keywords[0]);
        if (field.number.empty()) {
            if (form.optional_operand) return true;
            error(st.line, std::string(form.mnemonic) + " needs a value");
            return false;
        }
        int64_t v = 0;
        if (!value_of(st, field.number, v, "the operand")) return false;
        switch (form.form) {
        case Form::argument:
            if (!in_range(st, v, -0200, 0177, "argument")) return false;
            v &= 0377;
            break;
        case Form::scale:
            if (!in_range(st, v, -0200, 0377, "scaling factor")) return false;
            v &= 0377;
            break;
        default:
            if (!in_range(st, v, 0, form.operand_max, "operand")) return false;
            break;
        }
        word = static_cast<uint16_t>(word | v);
        return true;
    }

    bool encode_internal(const Statement &st, const InstructionForm &form,
                         const OperandField &field, uint16_t &word) {
        bool given = false;
        int64_t reg = 0;
        for (const std::string &kw : field.keywords) {
            int found = -1;
            for (int n = 0; n < 16; ++n)
                if (form.register_names[n] != nullptr && kw == form.register_names[n]) found = n;
            if (found < 0) {
                error(st.line, "'" + kw + "' is not a register of " + form.mnemonic);
                return false;
            }
            if (!set_once(st, given, "the register")) return false;
            reg = found;
        }
        if (!field.number.empty()) {
            if (!set_once(st, given, "the register")) return false;
            if (!value_of(st, field.number, reg, "the register number") ||
                !in_range(st, reg, 0, 017, "register number"))
                return false;
        }
        if (!given) {
            error(st.line, std::string(form.mnemonic) + " needs a register name or number");
            return false;
        }
        word = static_cast<uint16_t>(word | reg);
        return apply_extra(st, form, field, word);
    }

    bool encode_level(const Statement &st, const InstructionForm &form, const OperandField &field,
                      uint16_t &word) {
        bool source = false, destination = false;
        for (const std::string &kw : field.keywords) {
            bool matched = false;
            if (!register_keyword(st, kw, false, true, source, destination, word, matched))
                return false;
            if (!matched) return not_operand(st, form, kw);
        }
        if (field.number.empty()) {
            error(st.line, std::string(form.mnemonic) + " needs a level number");
            return false;
        }
        int64_t level = 0;
        if (!value_of(st, field.number, level, "the level") ||
            !in_range(st, level, 0, 017, "level"))
            return false;
        word = static_cast<uint16_t>(word | level << 3);
        return true;
    }

    bool encode_iot(const Statement &st, const InstructionForm &form, const OperandField &field,
                    uint16_t &word) {
        bool sni = false;
        uint16_t function = 0;
        for (const std::string &kw : field.keywords) {
            if (kw == "SNI") {
                if (!set_once(st, sni, "SNI")) return false;
            } else if (auto bits = keyword_bits(kw, iot_functions)) {
                if (function & *bits) {
                    error(st.line, kw + " is given twice");
                    return false;
                }
                function |= *bits;
            } else {
                return not_operand(st, form, kw);
            }
        }
        if (sni && function != 0) {
            error(st.line, "SNI cannot be combined with ACT, SKA or PIN");
            return false;
        }
        if (function == 01000) {
            error(st.line, "IOT SKA alone is the IOTMON instruction; write IOTMON n");
            return false;
        }
        if (field.number.empty()) {
            error(st.line, "IOT needs a device number");
            return false;
        }
        int64_t device = 0;
        if (!value_of(st, field.number, device, "the device number") ||
            !in_range(st, device, 0, 0377, "device number"))
            return false;
        word = static_cast<uint16_t>(word | function | device);
        return true;
    }

    // Where each line read came from.
    struct SourceLine {
        int file; // index in files_
        int line; // line within that file, from 1
    };

    std::string file_;
    const SourceReader &read_;
    std::vector<std::string> files_;
    std::vector<SourceLine> lines_;
    std::vector<std::pair<int, Diagnostic>> errors_; // by the number of the line read
    std::vector<Statement> statements_;
    std::vector<Statement *> pending_equates_;
    Symbols symbols_;
    AssemblyResult result_;
    bool action_given_ = false;
};

} // namespace

bool read_source_file(const std::string &path, std::string &text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return !in.bad();
}

AssemblyResult assemble(const std::string &source, const std::string &file_name,
                        const SourceReader &read) {
    return Assembler(file_name, read).run(source);
}

} // namespace ndtools
