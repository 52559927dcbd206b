// SP and DP fields: Microsoft Binary Format numbers of 4 and 8 bytes.
// The last byte is the exponent with bias 128 (0: the value is 0, whatever
// the other bytes hold); the top bit of the byte before it is the sign
// (1 negative); the remaining 23 (SP) or 55 (DP) bits, high byte to low,
// are the mantissa after an implied leading 1. Value = ±0.1m × 2^(e−128).
//
// Compared exactly: every nonzero value maps to exponent:mantissa as one
// integer that grows with the magnitude, signed by the sign bit; zeros map
// to 0. The working length lb chooses the format: 8 or more DP, else SP.
#include "compare/outcome.h"

namespace zara {

namespace {

constexpr uint32_t kSpWidth = 4;
constexpr uint32_t kDpWidth = 8;

// An integer that orders like the value of the MBF number of `width` bytes.
int64_t mbf_order_key(const uint8_t* p, uint32_t width) {
  const uint64_t exponent = p[width - 1];
  if (exponent == 0) return 0;
  const uint8_t sign_byte = p[width - 2];
  uint64_t mantissa = sign_byte & 0x7F;
  for (uint32_t i = width - 2; i-- > 0;) mantissa = mantissa << 8 | p[i];
  const uint32_t mantissa_bits = 8 * (width - 1) - 1;
  // Below 2^63 for both widths, so the negation cannot overflow.
  const int64_t magnitude = static_cast<int64_t>(exponent << mantissa_bits | mantissa);
  return (sign_byte & 0x80) ? -magnitude : magnitude;
}

}  // namespace

// Fields too short for the format rank by length, the shorter first.
int compspdp(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb) {
  if (la > lb) return reversed(compspdp(b, lb, a, la));
  const uint32_t width = lb >= kDpWidth ? kDpWidth : kSpWidth;
  if (la < width || lb < width) return length_outcome(la, lb);
  return value_outcome(mbf_order_key(a, width), mbf_order_key(b, width));
}

}  // namespace zara
