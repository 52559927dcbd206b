// Randomised check of the numeric comparison routines: random values are
// encoded in each field format, and the routine's outcome must equal the
// comparison of the values themselves.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <utility>

#include "compare/compare.h"
#include "tests/unit_helpers.h"

namespace zara {
namespace {

// A value (long double holds every 64-bit integer and MBF double exactly)
// and its field bytes.
using Value = std::pair<long double, std::string>;

struct Random : std::mt19937_64 {
  using std::mt19937_64::mt19937_64;
  uint32_t below(uint32_t n) { return static_cast<uint32_t>((*this)() % n); }
  // At most `bits` magnitude bits, of random size, so that runs of leading
  // 0x00 or 0xFF bytes are common and every byte gets to decide.
  uint64_t magnitude(uint32_t bits) { return ((*this)() >> (64 - bits)) >> below(bits); }
  // At most `digits` decimal digits (often fewer), either sign, never -0.
  int64_t decimal(uint32_t digits) {
    uint64_t limit = 1;
    for (uint32_t i = below(digits + 1); i > 0; --i) limit *= 10;
    const int64_t m = static_cast<int64_t>((*this)() % limit);
    return below(2) ? -m : m;
  }
};

// Two's-complement bytes of v, most significant first or last.
std::string integer(uint64_t v, uint32_t width, bool high_first) {
  std::string out(width, '\0');
  for (uint32_t i = 0; i < width; ++i)
    out[high_first ? width - 1 - i : i] = static_cast<char>(v >> (8 * i));
  return out;
}
// |v| as n digits, each the low nibble under `zone`; a negative v puts
// `minus_zone` on the first or the last digit.
std::string zoned(int64_t v, uint32_t n, int zone, int minus_zone = 0, bool sign_first = false) {
  std::string out(n, '\0');
  uint64_t m = static_cast<uint64_t>(v < 0 ? -v : v);
  for (uint32_t i = n; i-- > 0; m /= 10) out[i] = static_cast<char>(zone << 4 | m % 10);
  char& sign = sign_first ? out.front() : out.back();
  if (v < 0) sign = static_cast<char>(minus_zone << 4 | (sign & 0x0F));
  return out;
}
std::string packed(int64_t v, uint32_t width) {
  const std::string d = zoned(v, 2 * width - 1, 0) + static_cast<char>(v < 0 ? 0xD : 0xC);
  std::string out(width, '\0');
  for (uint32_t i = 0; i < width; ++i) out[i] = static_cast<char>(d[2 * i] << 4 | d[2 * i + 1]);
  return out;
}
// ±0.1m × 2^(e−128) with m after an implied 1, 0 when e = 0.
long double mbf_value(const std::string& b) {
  const size_t w = b.size();
  const int exponent = static_cast<uint8_t>(b[w - 1]);
  uint64_t mantissa = (static_cast<uint8_t>(b[w - 2]) & 0x7F) | 0x80;
  for (size_t i = w - 2; i-- > 0;) mantissa = mantissa << 8 | static_cast<uint8_t>(b[i]);
  const int scale = exponent - 128 - 8 * static_cast<int>(w - 1);
  const long double v = exponent == 0 ? 0 : std::ldexp(static_cast<long double>(mantissa), scale);
  return (b[w - 2] & 0x80) ? -v : v;
}

// 20000 random pairs of widths 1..max_width; one in four compares a value
// with itself.
template <class Make>
void check(uint8_t type, uint32_t max_width, Make make) {
  SCOPED_TRACE(testing::Message() << "type " << int{type});
  Random rng(type);
  for (int i = 0; i < 20000; ++i) {
    const uint32_t width = 1 + rng.below(max_width);
    const Value x = make(rng, width), y = i % 4 == 0 ? x : make(rng, width);
    const zara_test::FieldBytes a(x.second), b(y.second);
    const int expected =
        x.first > y.first ? kFirstGreater : x.first < y.first ? kFirstSmaller : kEqual;
    ASSERT_EQ(comp_jump[type](a.data(), a.size(), b.data(), b.size()), expected) << "pair " << i;
  }
}

TEST(CompareProperty, EveryNumericTypeOrdersByValue) {
  if (std::numeric_limits<long double>::digits < 64) GTEST_SKIP() << "long double too narrow";
  for (const bool high_first : {true, false}) {
    check(high_first ? kBin : kW, 8, [=](Random& r, uint32_t w) {
      const uint64_t m = r.magnitude(8 * w);
      return Value(m, integer(m, w, high_first));
    });
    check(high_first ? kFi : kInt, 8, [=](Random& r, uint32_t w) {
      const uint64_t m = r.magnitude(8 * w - 1);
      const int64_t v = r.below(2) ? static_cast<int64_t>(m) : -static_cast<int64_t>(m) - 1;
      return Value(v, integer(static_cast<uint64_t>(v), w, high_first));
    });
  }
  check(kPd, 9, [](Random& r, uint32_t w) {
    const int64_t v = r.decimal(2 * w - 1);
    return Value(v, packed(v, w));
  });
  // ASCII and EBCDIC zones, the sign last or first.
  const std::tuple<uint8_t, int, int> zoned_types[] = {{kZd, 3, 7}, {kSti, 0xF, 0xD}, {kSli, 3, 7}};
  for (const auto& [type, zone, minus_zone] : zoned_types) {
    check(type, 18, [=](Random& r, uint32_t w) {
      const int64_t v = r.decimal(w);
      return Value(v, zoned(v, w, zone, minus_zone, type == kSli));
    });
  }
  check(kSts, 17, [](Random& r, uint32_t w) {
    const int64_t v = r.decimal(w);
    return Value(v, zoned(v, w, 3) + (v < 0 ? '-' : r.below(2) ? '+' : ' '));
  });
  for (const uint32_t w : {4u, 8u}) {
    check(w == 4 ? kE : kFl, 1, [w](Random& r, uint32_t) {
      long double number;
      uint64_t raw;
      do {  // raw bits, often with a zero high part; no NaNs
        raw = r() >> (w == 4 ? 32 + 8 * r.below(2) : r.below(2));
        const float single = std::bit_cast<float>(static_cast<uint32_t>(raw));
        number = w == 4 ? single : std::bit_cast<double>(raw);
      } while (std::isnan(number));
      return Value(number, integer(raw, w, false));
    });
    // Exponents from a narrow band (and 0) so that mantissas often decide.
    check(w == 4 ? kSp : kDp, 1, [w](Random& r, uint32_t) {
      std::string b = integer(r() >> r.below(64), w, false);
      if (r.below(2)) b[w - 2] = static_cast<char>(b[w - 2] | 0x80);
      b[w - 1] = static_cast<char>(r.below(8) == 0 ? 0 : 126 + r.below(5));
      if (b[w - 1] == 0 && r.below(2)) b[0] = static_cast<char>(b[0] | 0x5A);  // dirty zeros
      return Value(mbf_value(b), b);
    });
  }
}

}  // namespace
}  // namespace zara
