// The ND-100/CX decimal instructions (add, subtract, compare, pack, unpack,
// shift) on packed decimal operands, and the digit-string arithmetic they
// share with the BCD-test command.
#include "cpu/decimal.h"

#include "cpu/cycle.h"
#include "cpu/extended_dispatch.h"
#include "cpu/machine.h"
#include "settings/settings.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t DEBUG_DECIMAL = 0123;
constexpr uint32_t DEBUG_STRING_OPERATIONS = 054;

// Enough for any scaled operand or product of two operands.
constexpr int WORK_DIGITS = 2 * BCD_POSITIONS;

constexpr uint32_t PLUS_NIBBLE = 014;
constexpr uint32_t MINUS_NIBBLE = 015;
constexpr uint32_t UNSIGNED_NIBBLE = 017;

// A decimal number in the working form: digits least significant first.
struct Number {
    uint8_t digit[WORK_DIGITS];
    int count;
    int decimals;
    bool negative;
};

void trim(Number &x) {
    while (x.count > 0 && x.digit[x.count - 1] == 0)
        --x.count;
    if (x.count == 0) x.negative = false;
}

void clear_number(Number &x) {
    std::memset(x.digit, 0, sizeof x.digit);
    x.count = 0;
    x.decimals = 0;
    x.negative = false;
}

// Digits then one sign character, at most BCD_POSITIONS characters.
bool parse_number(const char *text, int decimals, Number *out) {
    clear_number(*out);
    if (!text || decimals < 0 || decimals >= BCD_POSITIONS) return false;
    size_t length = strnlen(text, BCD_POSITIONS + 1);
    if (length < 1 || length > BCD_POSITIONS) return false;
    char sign = text[length - 1];
    if (sign != '+' && sign != '-') return false;
    int digits = static_cast<int>(length) - 1;
    for (int i = 0; i < digits; ++i) {
        char c = text[digits - 1 - i];
        if (c < '0' || c > '9') return false;
        out->digit[i] = static_cast<uint8_t>(c - '0');
    }
    out->count = digits;
    out->decimals = decimals;
    out->negative = sign == '-';
    trim(*out);
    return true;
}

// Multiplies by 10^places (more decimals, same value). Every caller's
// operands leave room for this; the bound only keeps a mistake in memory.
void scale_up(Number &x, int places) {
    if (places <= 0 || x.count + places > WORK_DIGITS) return;
    std::memmove(x.digit + places, x.digit, static_cast<size_t>(x.count));
    std::memset(x.digit, 0, static_cast<size_t>(places));
    x.count += places;
    x.decimals += places;
    trim(x);
}

// Drops the `places` lowest digits; returns the most significant one dropped.
int drop_low_digits(Number &x, int places) {
    if (places <= 0) return 0;
    int dropped = places - 1 < x.count ? x.digit[places - 1] : 0;
    if (places >= x.count) {
        std::memset(x.digit, 0, sizeof x.digit);
        x.count = 0;
    } else {
        std::memmove(x.digit, x.digit + places, static_cast<size_t>(x.count - places));
        std::memset(x.digit + x.count - places, 0, static_cast<size_t>(places));
        x.count -= places;
    }
    x.decimals -= places;
    return dropped;
}

// Adds one unit in the last place; the count grows when the carry runs out.
void increment(Number &x) {
    for (int i = 0; i < WORK_DIGITS; ++i) {
        if (x.digit[i] < 9) {
            ++x.digit[i];
            if (i >= x.count) x.count = i + 1;
            return;
        }
        x.digit[i] = 0;
    }
}

// Rescales to `decimals`, rounding half up when digits are dropped.
void rescale(Number &x, int decimals) {
    if (x.decimals > decimals) {
        if (drop_low_digits(x, x.decimals - decimals) >= 5) increment(x);
    } else {
        scale_up(x, decimals - x.decimals);
        x.decimals = decimals;
    }
    trim(x);
}

void align(Number &a, Number &b) {
    int decimals = a.decimals > b.decimals ? a.decimals : b.decimals;
    scale_up(a, decimals - a.decimals);
    scale_up(b, decimals - b.decimals);
    a.decimals = b.decimals = decimals;
}

int compare_magnitudes(const Number &a, const Number &b) {
    if (a.count != b.count) return a.count < b.count ? -1 : 1;
    for (int i = a.count - 1; i >= 0; --i)
        if (a.digit[i] != b.digit[i]) return a.digit[i] < b.digit[i] ? -1 : 1;
    return 0;
}

// Both aligned and trimmed; a >= b for the subtraction.
void add_magnitudes(const Number &a, const Number &b, Number &out) {
    int carry = 0;
    int count = a.count > b.count ? a.count : b.count;
    for (int i = 0; i < count; ++i) {
        int sum = a.digit[i] + b.digit[i] + carry;
        out.digit[i] = static_cast<uint8_t>(sum % 10);
        carry = sum / 10;
    }
    out.count = count;
    if (carry) out.digit[out.count++] = static_cast<uint8_t>(carry);
}

void subtract_magnitudes(const Number &a, const Number &b, Number &out) {
    int borrow = 0;
    for (int i = 0; i < a.count; ++i) {
        int difference = a.digit[i] - b.digit[i] - borrow;
        borrow = difference < 0;
        out.digit[i] = static_cast<uint8_t>(difference + (borrow ? 10 : 0));
    }
    out.count = a.count;
}

void format_number(const Number &x, char *out) {
    int shown = x.count > x.decimals + 1 ? x.count : x.decimals + 1;
    int position = 0;
    for (int i = shown - 1; i >= 0; --i)
        out[position++] = static_cast<char>('0' + (i < x.count ? x.digit[i] : 0));
    out[position++] = x.negative ? '-' : '+';
    out[position] = '\0';
}

// Keeps at most BCD_MAX_SIGNIFICANT digits, taking the excess from the
// decimals, and writes the result string.
int normalise(Number &x, char *result, int round) {
    bool debug = settings.debug_level == DEBUG_STRING_OPERATIONS;
    trim(x);
    if (x.count > BCD_MAX_SIGNIFICANT) {
        int excess = x.count - BCD_MAX_SIGNIFICANT;
        if (excess > x.decimals) {
            if (debug) std::printf("\r\nOverflow in result");
            return BCD_OVERFLOW;
        }
        int dropped = drop_low_digits(x, excess);
        if (round && dropped >= 5) {
            increment(x);
            if (x.count > BCD_MAX_SIGNIFICANT) {
                // 99...9 rounded up to 100...0: one more (zero) decimal goes.
                if (x.decimals == 0) {
                    if (debug) std::printf("\r\nOverflow in result");
                    return BCD_OVERFLOW;
                }
                drop_low_digits(x, 1);
            }
        }
        trim(x);
    }
    format_number(x, result);
    if (debug) std::printf("\r\nNumber of decimals = %d", x.decimals);
    return x.decimals;
}

int add_or_subtract(const char *a, int decimals_a, const char *b, int decimals_b, char *result,
                    int round, bool subtract) {
    static Number x, y, sum;
    if (!parse_number(a, decimals_a, &x) || !parse_number(b, decimals_b, &y))
        return BCD_CANNOT_HANDLE;
    if (subtract && y.count > 0) y.negative = !y.negative;
    align(x, y);
    clear_number(sum);
    sum.decimals = x.decimals;
    if (x.negative == y.negative) {
        add_magnitudes(x, y, sum);
        sum.negative = x.negative;
    } else if (compare_magnitudes(x, y) >= 0) {
        subtract_magnitudes(x, y, sum);
        sum.negative = x.negative;
    } else {
        subtract_magnitudes(y, x, sum);
        sum.negative = y.negative;
    }
    return normalise(sum, result, round);
}

int compare_numbers(Number &x, Number &y) {
    trim(x);
    trim(y);
    if (x.negative != y.negative) return x.negative ? -1 : 1;
    align(x, y);
    int magnitude = compare_magnitudes(x, y);
    return x.negative ? -magnitude : magnitude;
}

// ---- packed operands in memory ----

struct Descriptor {
    bool right_byte; // the operand starts in the right byte of its first word
    int sign_representation;
    bool round;
    int decimals;
    int length; // 4-bit positions, the sign included
    uint32_t start_nibble;
};

Descriptor describe(uint32_t word) {
    Descriptor d;
    d.right_byte = (word & 0100000) != 0;
    d.sign_representation = static_cast<int>((word >> 11) & 7);
    d.round = (word & 02000) != 0;
    d.decimals = static_cast<int>((word >> 5) & 037);
    d.length = static_cast<int>(word & 037);
    d.start_nibble = d.right_byte ? 2 : 0;
    return d;
}

// Nibble `index` counted from the most significant nibble of word `base`,
// through the data page table.
uint32_t read_nibble(uint32_t base, uint32_t index) {
    uint32_t word = read_data(base + index / 4);
    return (word >> (12 - 4 * (index % 4))) & 017;
}

void write_nibble(uint32_t base, uint32_t index, uint32_t value) {
    uint32_t address = base + index / 4;
    uint32_t shift = 12 - 4 * (index % 4);
    uint32_t word = read_data(address);
    write_data(address, (word & ~(017u << shift)) | ((value & 017) << shift));
}

// Reads a packed operand. Its last nibble is the sign when it is not a digit
// (13 minus, any other plus); otherwise every nibble is a digit and the sign
// is plus. Returns false when a digit position holds a non-digit.
bool read_packed(uint32_t base, const Descriptor &d, Number *out, uint32_t *sign_nibble) {
    clear_number(*out);
    *sign_nibble = PLUS_NIBBLE;
    int digits = d.length;
    if (digits > 0) {
        uint32_t last = read_nibble(base, d.start_nibble + static_cast<uint32_t>(digits) - 1);
        if (last > 9) {
            *sign_nibble = last;
            out->negative = last == MINUS_NIBBLE;
            --digits;
        }
    }
    for (int i = 0; i < digits; ++i) {
        uint32_t nibble = read_nibble(base, d.start_nibble + static_cast<uint32_t>(i));
        if (nibble > 9) return false;
        out->digit[digits - 1 - i] = static_cast<uint8_t>(nibble);
    }
    out->count = digits;
    out->decimals = d.decimals;
    // A minus zero compares and adds as zero.
    trim(*out);
    return true;
}

// Writes x right-aligned into the field: leading zero digits, the digits and
// the sign nibble last. The caller has checked that the digits fit.
void write_packed(uint32_t base, const Descriptor &d, const Number &x, uint32_t sign_nibble) {
    if (d.length < 1) return;
    int digit_positions = d.length - 1;
    for (int position = 0; position < digit_positions; ++position) {
        int i = digit_positions - 1 - position;
        uint32_t digit = i < x.count ? x.digit[i] : 0;
        write_nibble(base, d.start_nibble + static_cast<uint32_t>(position), digit);
    }
    write_nibble(base, d.start_nibble + static_cast<uint32_t>(digit_positions), sign_nibble);
}

inline void error_return() {
    machine.P = (machine.P + 1) & WORD_MASK;
}
inline void success_return() {
    machine.P = (machine.P + 2) & WORD_MASK;
}

bool decimal_debug() {
    return settings.debug_level == DEBUG_DECIMAL;
}

void trace_operands(const Descriptor &op1, const Descriptor &op2) {
    std::printf(op1.right_byte ? "\nop1 start in right byte" : "\nop1 start in left byte");
    std::printf(op2.right_byte ? "\nop2 start in right byte" : "\nop2 start in left byte");
    std::printf("\nFirst op: A=%o D=%o", machine.A, machine.D);
    std::printf("\nSecnd op: X=%o T=%o", machine.X, machine.T);
    std::printf("\nop1 sign rep=%d, op2 sign rep=%d", op1.sign_representation,
                op2.sign_representation);
    std::printf("\nop1 decp=%o, op2 decp=%o", static_cast<unsigned>(op1.decimals),
                static_cast<unsigned>(op2.decimals));
    std::printf("\nop1 round=%o, op2 round=%o", static_cast<unsigned>(op1.round),
                static_cast<unsigned>(op2.round));
    std::printf("\nop1 len=%d, op2 len=%d", op1.length, op2.length);
}

// ---- the instructions ----

Number operand1, operand2;

void decimal_add_subtract(bool subtract) {
    bool debug = decimal_debug();
    Descriptor op1 = describe(machine.D);
    Descriptor op2 = describe(machine.T);
    if (debug) {
        std::printf(subtract ? "\n\nBCD sub @%o" : "\n\nBCD add @%o", machine.P);
        trace_operands(op1, op2);
    }
    uint32_t sign1 = 0, sign2 = 0;
    if (op1.length < op2.length || !read_packed(machine.A, op1, &operand1, &sign1) ||
        !read_packed(machine.X, op2, &operand2, &sign2)) {
        error_return();
        return;
    }
    char text1[BCD_RESULT_SIZE], text2[BCD_RESULT_SIZE], result[BCD_RESULT_SIZE];
    format_number(operand1, text1);
    format_number(operand2, text2);
    int decimals = subtract ? bcd_subtract(text1, op1.decimals, text2, op2.decimals, result, 1)
                            : bcd_add(text1, op1.decimals, text2, op2.decimals, result, 1);
    if (debug)
        std::printf("\nop1=%o , op2=%o, result is %s", machine.A, machine.X,
                    decimals >= 0 ? result : "");
    if (decimals < 0) {
        error_return();
        return;
    }
    // The sum is stored with operand 1's own decimal point, in its field.
    static Number sum;
    if (!parse_number(result, decimals, &sum)) {
        error_return();
        return;
    }
    rescale(sum, op1.decimals);
    if (sum.count > op1.length - 1) {
        error_return();
        return;
    }
    write_packed(machine.A, op1, sum, sum.negative ? MINUS_NIBBLE : PLUS_NIBBLE);
    success_return();
}

void decimal_compare() {
    Descriptor op1 = describe(machine.D);
    Descriptor op2 = describe(machine.T);
    if (decimal_debug()) {
        std::printf("\n\nBCD compare at %o", machine.P);
        trace_operands(op1, op2);
    }
    uint32_t sign1 = 0, sign2 = 0;
    if (!read_packed(machine.A, op1, &operand1, &sign1) ||
        !read_packed(machine.X, op2, &operand2, &sign2)) {
        error_return();
        return;
    }
    machine.A = static_cast<uint32_t>(compare_numbers(operand1, operand2)) & WORD_MASK;
    success_return();
}

// Sign and digit of an embedded sign code: "{" and "}" are zero, otherwise
// the low four bits are the digit; "A" to "o" are plus, "p" to "z" minus.
bool decode_embedded_sign(uint32_t code, uint32_t *sign_nibble, uint32_t *digit) {
    if (code == '{' || code == '}') {
        *sign_nibble = code == '{' ? PLUS_NIBBLE : MINUS_NIBBLE;
        *digit = 0;
        return true;
    }
    bool plus = code >= 'A' && code <= 'o';
    bool minus = code >= 'p' && code <= 'z';
    if ((!plus && !minus) || (code & 017) > 9) return false;
    *sign_nibble = plus ? PLUS_NIBBLE : MINUS_NIBBLE;
    *digit = code & 017;
    return true;
}

void pack_error(uint32_t bits) {
    machine.D = (machine.D | bits) & WORD_MASK;
    error_return();
}

void decimal_pack() {
    Descriptor op1 = describe(machine.D);
    Descriptor op2 = describe(machine.T);
    if (op2.length < op1.length) {
        pack_error(3);
        return;
    }
    if (op2.sign_representation == 0 || op2.sign_representation == 2) {
        std::printf("\nPACK: Embedded sign not possible");
        pack_error(2);
        return;
    }
    int count = op1.length;
    uint32_t text[BCD_POSITIONS];
    uint32_t first_byte = op1.right_byte ? 1 : 0;
    for (int k = 0; k < count; ++k)
        text[k] = read_data_byte(machine.A, first_byte + static_cast<uint32_t>(k)) & 0177;

    // The characters [first, last) are ASCII digits; an embedded sign adds
    // its digit before or after them.
    int first = 0, last = count;
    uint32_t sign = PLUS_NIBBLE;
    uint32_t embedded_digit = 0;
    bool embedded_leading = false, embedded_trailing = false;
    int representation = op1.sign_representation;
    bool needs_sign_character = representation <= 3;
    if (needs_sign_character && count == 0) {
        pack_error(2);
        return;
    }
    switch (representation) {
    case 1:
    case 3: {
        uint32_t character = representation == 1 ? text[count - 1] : text[0];
        sign = character == '+' ? PLUS_NIBBLE : character == '-' ? MINUS_NIBBLE : 0;
        if (representation == 1)
            last = count - 1;
        else
            first = 1;
        break;
    }
    case 4:
        sign = UNSIGNED_NIBBLE;
        break;
    case 0:
    case 2: {
        uint32_t code = representation == 0 ? text[count - 1] : text[0];
        if (!decode_embedded_sign(code, &sign, &embedded_digit)) {
            std::printf("BCD pack: Embedded sign code %d is illegal", static_cast<int>(code));
            pack_error(2);
            return;
        }
        if (representation == 0) {
            last = count - 1;
            embedded_trailing = true;
        } else {
            first = 1;
            embedded_leading = true;
        }
        break;
    }
    default:
        std::printf("BCD pack: Signtype %d is illegal", representation);
        pack_error(2);
        return;
    }

    static Number packed;
    clear_number(packed);
    uint8_t digits[BCD_POSITIONS];
    int n = 0;
    if (embedded_leading) digits[n++] = static_cast<uint8_t>(embedded_digit);
    for (int k = first; k < last; ++k) {
        if (text[k] < '0' || text[k] > '9') {
            pack_error(2);
            return;
        }
        digits[n++] = static_cast<uint8_t>(text[k] - '0');
    }
    if (embedded_trailing) digits[n++] = static_cast<uint8_t>(embedded_digit);
    for (int i = 0; i < n; ++i)
        packed.digit[i] = digits[n - 1 - i];
    packed.count = n;
    trim(packed);
    if (packed.count > op2.length - 1) {
        pack_error(3);
        return;
    }
    write_packed(machine.X, op2, packed, sign);
    success_return();
}

void decimal_shift() {
    bool debug = decimal_debug();
    Descriptor op1 = describe(machine.D);
    Descriptor op2 = describe(machine.T);
    if (debug) {
        std::printf("\n\nBCD shift");
        trace_operands(op1, op2);
    }
    uint32_t sign = PLUS_NIBBLE;
    if (!read_packed(machine.A, op1, &operand1, &sign)) {
        error_return();
        return;
    }
    int shift = op1.decimals - op2.decimals;
    if (debug) std::printf("\nShift %d", shift);
    if (shift >= 0) {
        int dropped = drop_low_digits(operand1, shift);
        if (op2.round && dropped >= 5) {
            if (debug) std::printf("\nShift right with rounding");
            increment(operand1);
        }
    } else {
        if (op1.length == op2.length) {
            error_return();
            return;
        }
        scale_up(operand1, -shift);
    }
    trim(operand1);
    if (operand1.count > op2.length - 1) {
        error_return();
        return;
    }
    write_packed(machine.X, op2, operand1, sign);
    success_return();
}

} // namespace

int bcd_add(const char *a, int decimals_a, const char *b, int decimals_b, char *result, int round) {
    return add_or_subtract(a, decimals_a, b, decimals_b, result, round, false);
}

int bcd_subtract(const char *a, int decimals_a, const char *b, int decimals_b, char *result,
                 int round) {
    return add_or_subtract(a, decimals_a, b, decimals_b, result, round, true);
}

int bcd_multiply(const char *a, int decimals_a, const char *b, int decimals_b, char *result,
                 int round) {
    static Number x, y, product;
    if (!parse_number(a, decimals_a, &x) || !parse_number(b, decimals_b, &y))
        return BCD_CANNOT_HANDLE;
    clear_number(product);
    int sums[WORK_DIGITS] = {};
    for (int i = 0; i < x.count; ++i)
        for (int j = 0; j < y.count; ++j)
            sums[i + j] += x.digit[i] * y.digit[j];
    int carry = 0;
    int count = x.count + y.count;
    for (int i = 0; i < count; ++i) {
        int value = sums[i] + carry;
        product.digit[i] = static_cast<uint8_t>(value % 10);
        carry = value / 10;
    }
    product.count = count;
    product.decimals = x.decimals + y.decimals;
    product.negative = x.negative != y.negative;
    return normalise(product, result, round);
}

int bcd_compare(const char *a, int decimals_a, const char *b, int decimals_b) {
    static Number x, y;
    if (!parse_number(a, decimals_a, &x) || !parse_number(b, decimals_b, &y))
        return BCD_CANNOT_HANDLE;
    return compare_numbers(x, y);
}

void execute_decimal_instruction() {
    switch (machine.current_instruction) {
    case 0140120:
        decimal_add_subtract(false);
        break;
    case 0140121:
        decimal_add_subtract(true);
        break;
    case 0140122:
        decimal_compare();
        break;
    case 0140124:
        decimal_pack();
        break;
    case 0140125:
        std::printf("\n\nBCD UNPACK not coded at %o", machine.P);
        error_return();
        break;
    case 0140126:
        decimal_shift();
        break;
    default:
        illegal_instruction();
        break;
    }
}

// The decimal instructions are words of the op14nn group: its decoder calls
// execute_decimal_instruction, so this group has no instruction-table slots
// of its own.
void install_decimal_instructions() {}
