#include "select/mbf_literal.h"

#include <cmath>
#include <cstring>

namespace zara {

namespace {
constexpr int kExponentBias = 128;
}  // namespace

bool mbf_encode(long double value, uint32_t length, uint8_t* out) {
  if (length != kMbfSingleLength && length != kMbfDoubleLength) return false;
  if (!std::isfinite(value)) return false;
  // Significant bits including the implied one: 24 for a single, 56 for a
  // double; both fit the 64-bit mantissa of a long double and a uint64_t.
  const int bits = length == kMbfSingleLength ? 24 : 56;
  uint8_t bytes[kMbfDoubleLength] = {};
  if (value != 0) {
    const bool negative = std::signbit(value);
    int exponent = 0;
    const long double fraction = std::frexp(std::fabs(value), &exponent);  // [0.5, 1)
    uint64_t mantissa = static_cast<uint64_t>(std::nearbyint(std::ldexp(fraction, bits)));
    if (mantissa == (uint64_t{1} << bits)) {  // rounded up to the next power of two
      mantissa >>= 1;
      ++exponent;
    }
    const int biased = exponent + kExponentBias;
    if (biased > 255) return false;
    if (biased >= 1) {
      mantissa &= (uint64_t{1} << (bits - 1)) - 1;  // drop the implied leading 1
      for (uint32_t i = 0; i + 1 < length; ++i) bytes[i] = static_cast<uint8_t>(mantissa >> (8 * i));
      if (negative) bytes[length - 2] |= 0x80;
      bytes[length - 1] = static_cast<uint8_t>(biased);
    }
  }
  std::memcpy(out, bytes, length);
  return true;
}

}  // namespace zara
