// Microsoft Binary Format numbers, the SP (4-byte) and DP (8-byte) field
// types, for literals compared with such fields.
//
// Layout, little-endian: the last byte is the exponent with bias 128 (0
// means the value 0); the top bit of the byte before it is the sign (1
// negative); the remaining 23 (single) or 55 (double) bits are the mantissa
// after an implied leading 1, so value = ±0.1m (binary) × 2^(exponent−128).
#pragma once

#include <cstdint>

namespace zara {

constexpr uint32_t kMbfSingleLength = 4;
constexpr uint32_t kMbfDoubleLength = 8;

// Writes `value` rounded to nearest as an MBF number of `length` bytes (4 or
// 8) into out[0 .. length-1]. A value too small for the exponent becomes 0.
// False, with nothing written, for another length, a value too large for
// the exponent, an infinity or a NaN.
bool mbf_encode(long double value, uint32_t length, uint8_t* out);

}  // namespace zara
