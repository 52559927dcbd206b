// Randomised check of the numeric comparison routines: random values are
// encoded in each field format, and the routine's outcome must equal the
// comparison of the values themselves.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "compare/compare.h"
#include "tests/field_bytes.h"

namespace zara {
namespace {

using zara_test::FieldBytes;

constexpr int kPairs = 20000;

template <class T>
int expected(T x, T y) {
  return x > y ? kFirstGreater : (y > x ? kFirstSmaller : kEqual);
}

class RandomValues {
 public:
  explicit RandomValues(uint64_t seed) : rng_(seed) {}
  uint64_t bits() { return rng_(); }
  uint32_t below(uint32_t n) { return static_cast<uint32_t>(rng_() % n); }
  // A value that fits `width` bytes, of random magnitude, so that runs of
  // leading 0x00 or 0xFF bytes are common and every byte gets to decide.
  int64_t integer(uint32_t width, bool is_signed) {
    const uint32_t bits_used = 8 * width - (is_signed ? 1 : 0);
    const uint64_t magnitude = (bits() >> (64 - bits_used)) >> below(bits_used);
    if (!is_signed || below(2)) return static_cast<int64_t>(magnitude);
    return -static_cast<int64_t>(magnitude) - 1;
  }
  // A decimal value of at most `digits` digits (often fewer), either sign.
  int64_t decimal(uint32_t digits) {
    int64_t limit = 1;
    for (uint32_t i = below(digits + 1); i > 0; --i) limit *= 10;
    const int64_t magnitude = static_cast<int64_t>(bits() % static_cast<uint64_t>(limit));
    return below(2) ? -magnitude : magnitude;
  }

 private:
  std::mt19937_64 rng_;
};

// Two's-complement bytes, most significant first or last.
std::vector<uint8_t> integer_bytes(int64_t v, uint32_t width, bool high_first) {
  std::vector<uint8_t> out(width);
  for (uint32_t i = 0; i < width; ++i) {
    const uint8_t byte = static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i));
    out[high_first ? width - 1 - i : i] = byte;
  }
  return out;
}

std::vector<uint8_t> digits_of(int64_t v, uint32_t digits) {
  std::vector<uint8_t> out(digits);
  uint64_t m = static_cast<uint64_t>(v < 0 ? -v : v);
  for (uint32_t i = digits; i-- > 0; m /= 10) out[i] = static_cast<uint8_t>(m % 10);
  return out;
}

// Packed decimal of `width` bytes: 2 * width - 1 digits, sign C or D.
std::vector<uint8_t> packed(int64_t v, uint32_t width) {
  std::vector<uint8_t> d = digits_of(v, 2 * width - 1);
  d.push_back(v < 0 ? 0xD : 0xC);
  std::vector<uint8_t> out(width);
  for (uint32_t i = 0; i < width; ++i) out[i] = static_cast<uint8_t>(d[2 * i] << 4 | d[2 * i + 1]);
  return out;
}

// Zoned decimal with the sign in the zone of the last byte (first == false)
// or of the first byte (first == true).
std::vector<uint8_t> zoned(int64_t v, uint32_t digits, uint8_t digit_zone, uint8_t minus_zone,
                           bool sign_first) {
  std::vector<uint8_t> out = digits_of(v, digits);
  for (uint8_t& b : out) b = static_cast<uint8_t>(digit_zone << 4 | b);
  uint8_t& sign_byte = sign_first ? out.front() : out.back();
  if (v < 0) sign_byte = static_cast<uint8_t>(minus_zone << 4 | (sign_byte & 0x0F));
  return out;
}

std::vector<uint8_t> separate_sign(int64_t v, uint32_t digits, uint8_t plus) {
  std::vector<uint8_t> out = digits_of(v, digits);
  for (uint8_t& b : out) b = static_cast<uint8_t>('0' + b);
  out.push_back(v < 0 ? '-' : plus);
  return out;
}

int run(CompareFn f, const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  const FieldBytes fa(a.data(), static_cast<uint32_t>(a.size()));
  const FieldBytes fb(b.data(), static_cast<uint32_t>(b.size()));
  return zara_test::outcome(f, fa, fb);
}

// Runs kPairs random pairs: make(rng, width) yields a value and its
// bytes. One pair in four compares a value with itself.
template <class Make>
void check_pairs(CompareFn f, uint32_t max_width, uint64_t seed, Make make) {
  RandomValues rng(seed);
  for (int i = 0; i < kPairs; ++i) {
    const uint32_t width = 1 + rng.below(max_width);
    const auto x = make(rng, width);
    const auto y = i % 4 == 0 ? x : make(rng, width);
    ASSERT_EQ(run(f, x.second, y.second), expected(x.first, y.first))
        << "pair " << i << " width " << width;
  }
}

TEST(CompareProperty, BinaryIntegers) {
  auto make_as = [](bool is_signed, bool high_first) {
    return [=](RandomValues& rng, uint32_t width) {
      const int64_t v = rng.integer(width, is_signed);
      return std::pair{v, integer_bytes(v, width, high_first)};
    };
  };
  check_pairs(compbin, 7, 1, make_as(false, true));
  check_pairs(compw, 7, 2, make_as(false, false));
  check_pairs(compfi, 8, 3, make_as(true, true));
  check_pairs(compint, 8, 4, make_as(true, false));
}

TEST(CompareProperty, DecimalFormats) {
  check_pairs(comppacked, 9, 5, [](RandomValues& rng, uint32_t width) {
    const int64_t v = rng.decimal(2 * width - 1);
    return std::pair{v, packed(v, width)};
  });
  for (const auto& [digit_zone, minus_zone, seed] :
       {std::tuple{uint8_t{0x3}, uint8_t{0x7}, 6}, std::tuple{uint8_t{0xF}, uint8_t{0xD}, 7}}) {
    check_pairs(compzoned, 18, seed, [=](RandomValues& rng, uint32_t width) {
      const int64_t v = rng.decimal(width);
      return std::pair{v, zoned(v, width, digit_zone, minus_zone, false)};
    });
  }
  check_pairs(compsli, 18, 8, [](RandomValues& rng, uint32_t width) {
    const int64_t v = rng.decimal(width);
    return std::pair{v, zoned(v, width, 0x3, 0x7, true)};
  });
  check_pairs(compts, 17, 9, [](RandomValues& rng, uint32_t width) {
    const int64_t v = rng.decimal(width);
    return std::pair{v, separate_sign(v, width, rng.below(2) ? '+' : ' ')};
  });
}

TEST(CompareProperty, IeeeFloatingPoint) {
  check_pairs(compieee, 1, 10, [](RandomValues& rng, uint32_t) {
    float f;
    do {
      const uint32_t raw = static_cast<uint32_t>(rng.bits() >> (rng.below(2) ? 32 : 40));
      memcpy(&f, &raw, 4);
    } while (std::isnan(f));
    std::vector<uint8_t> b(4);
    memcpy(b.data(), &f, 4);
    return std::pair{static_cast<double>(f), b};
  });
  check_pairs(compieee, 1, 11, [](RandomValues& rng, uint32_t) {
    double d;
    do {
      const uint64_t raw = rng.bits() >> rng.below(2);
      memcpy(&d, &raw, 8);
    } while (std::isnan(d));
    std::vector<uint8_t> b(8);
    memcpy(b.data(), &d, 8);
    return std::pair{d, b};
  });
}

// value = ±0.1m × 2^(e−128), 0 when e = 0; decoded in long double, which
// holds the 56 significant bits of DP exactly.
TEST(CompareProperty, MicrosoftBinaryFormat) {
  if (std::numeric_limits<long double>::digits < 56) GTEST_SKIP() << "long double too narrow";
  for (const uint32_t width : {4u, 8u}) {
    check_pairs(compspdp, 1, 12 + width, [width](RandomValues& rng, uint32_t) {
      // Exponents from a narrow band (and 0) so that mantissas often decide.
      std::vector<uint8_t> b(width);
      const uint64_t raw = rng.bits() >> rng.below(64);
      for (uint32_t i = 0; i + 1 < width; ++i) b[i] = static_cast<uint8_t>(raw >> (8 * i));
      if (rng.below(2)) b[width - 2] |= 0x80;
      b[width - 1] = rng.below(8) == 0 ? 0 : static_cast<uint8_t>(126 + rng.below(5));
      if (b[width - 1] == 0 && rng.below(2)) b[0] |= 0x5A;  // zeros with other bytes set
      const uint32_t exponent = b[width - 1];
      uint64_t mantissa = b[width - 2] & 0x7F;
      for (uint32_t i = width - 2; i-- > 0;) mantissa = mantissa << 8 | b[i];
      const int mantissa_bits = 8 * static_cast<int>(width - 1) - 1;
      long double v = 0;
      if (exponent != 0) {
        const long double fraction =
            std::ldexp(static_cast<long double>(mantissa | uint64_t{1} << mantissa_bits),
                       -(mantissa_bits + 1));
        v = std::ldexp(fraction, static_cast<int>(exponent) - 128);
        if (b[width - 2] & 0x80) v = -v;
      }
      return std::pair{v, b};
    });
  }
}

}  // namespace
}  // namespace zara
