// Decimal arithmetic on digit strings, shared by the ND-100/CX decimal
// instructions and the operator's BCD-test command.
//
// A digit string is ASCII digits, most significant first, followed by one
// sign character '+' or '-', at most BCD_POSITIONS characters in all; a count
// of decimals goes with it (the digits after the decimal point).
#pragma once

constexpr int BCD_POSITIONS = 64;
// A result keeps at most this many significant digits.
constexpr int BCD_MAX_SIGNIFICANT = 31;
// Room for any result string of the operations below, its NUL included.
constexpr int BCD_RESULT_SIZE = 130;

// Results besides a count of decimals.
constexpr int BCD_OVERFLOW = -1;
// An operand that is not a digit string of at most BCD_POSITIONS positions,
// or a count of decimals outside 0 to BCD_POSITIONS - 1.
constexpr int BCD_CANNOT_HANDLE = -99;

// Each operation writes the result string into `result` (BCD_RESULT_SIZE
// bytes) and returns its number of decimals, BCD_OVERFLOW when more than
// BCD_MAX_SIGNIFICANT digits would have to be kept in the integer part, or
// BCD_CANNOT_HANDLE. With `round` set, the first digit dropped to keep
// BCD_MAX_SIGNIFICANT digits rounds the last kept one (5 or more rounds up).
// The result has no leading zeros beyond the one integer digit that its
// decimal point needs: 0.05 is "005+" with 2 decimals. Zero is always "+".
int bcd_add(const char *a, int decimals_a, const char *b, int decimals_b, char *result, int round);
int bcd_subtract(const char *a, int decimals_a, const char *b, int decimals_b, char *result,
                 int round);
int bcd_multiply(const char *a, int decimals_a, const char *b, int decimals_b, char *result,
                 int round);

// Compares two digit strings by value: -1, 0 or 1; BCD_CANNOT_HANDLE for a
// malformed operand. Minus zero equals plus zero.
int bcd_compare(const char *a, int decimals_a, const char *b, int decimals_b);
