// ND floating point: the conversions between the ND formats and host doubles
// that the floating-point instructions and the float-test command use.
#pragma once

#include <cstdint>

// A 32-bit ND number: bit 31 sign, bits 30-22 exponent (excess 256), bits
// 21-0 fraction behind an implied leading one; A holds bits 31-16, D 15-0.
double nd32_to_double(uint32_t word);
// Truncates toward zero. Zero gives the all-zero word; an exponent below the
// 9-bit range gives the all-zero word, one above it the largest magnitude
// with the value's sign.
uint32_t double_to_nd32(double value);

// A 48-bit ND number in T, A, D: T bit 15 sign, T bits 14-0 exponent (excess
// 16384), A and D the mantissa with its leading one in bit 15 of A.
struct Nd48 {
    uint32_t t, a, d;
};
// Values beyond the host's range give the largest host magnitude.
double nd48_to_double(Nd48 number);
// Truncates toward zero; exact for every number of 32 significant bits.
Nd48 double_to_nd48(double value);

// The packed 32-bit form of the last operand or result of a 32-bit
// floating-point instruction.
extern uint32_t float_work_word;
