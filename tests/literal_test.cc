// Literal conversion: the per-type routines, hexadecimal literals, the
// ASCII/EBCDIC tables and their translation routines, MBF encoding.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "select/literal_conversion.h"
#include "select/mbf_literal.h"

namespace zara {
namespace {

using Bytes = std::vector<uint8_t>;

// A 54-byte literal area holding `text` and a NUL, as a condition keeps it.
struct Literal {
  uint8_t area[54] = {};
  uint32_t value_len;
  explicit Literal(const std::string& text) : value_len(static_cast<uint32_t>(text.size())) {
    std::memcpy(area, text.data(), text.size());
  }
  Bytes first(uint32_t n) const { return Bytes(area, area + n); }
};

bool convert(uint8_t type, Literal& lit, uint32_t field_length) {
  return cnvt_jump[type](lit.area, field_length, &lit.value_len);
}

TEST(LiteralConversion, IntegersInEachByteOrder) {
  Literal int4("100");
  ASSERT_TRUE(convert(kInt, int4, 4));
  EXPECT_EQ(int4.first(4), (Bytes{0x64, 0, 0, 0}));
  EXPECT_EQ(int4.value_len, 4u);

  Literal int2("100");
  ASSERT_TRUE(convert(kInt, int2, 2));
  EXPECT_EQ(int2.first(3), (Bytes{0x64, 0, '0'}));  // the rest of the text stays
  EXPECT_EQ(int2.value_len, 2u);

  for (uint8_t type : {kBin, kFi}) {
    Literal big("100");
    ASSERT_TRUE(convert(type, big, 4));
    EXPECT_EQ(big.first(4), (Bytes{0, 0, 0, 0x64}));
  }
  Literal minus_one("-1");
  ASSERT_TRUE(convert(kBin, minus_one, 2));
  EXPECT_EQ(minus_one.first(2), (Bytes{0xFF, 0xFF}));
}

TEST(LiteralConversion, IntegerEdgeCases) {
  Literal wraps("65536");
  ASSERT_TRUE(convert(kInt, wraps, 2));
  EXPECT_EQ(wraps.first(2), (Bytes{0, 0}));

  Literal letters("ABC");
  ASSERT_TRUE(convert(kInt, letters, 4));
  EXPECT_EQ(letters.first(4), (Bytes{0, 0, 0, 0}));

  Literal spaced("  +7x9");
  ASSERT_TRUE(convert(kFi, spaced, 2));
  EXPECT_EQ(spaced.first(2), (Bytes{0, 7}));

  for (uint32_t bad_length : {0u, 1u, 3u, 8u}) {
    Literal lit("100");
    EXPECT_FALSE(convert(kInt, lit, bad_length)) << bad_length;
    EXPECT_EQ(lit.first(3), (Bytes{'1', '0', '0'}));
    EXPECT_EQ(lit.value_len, 3u);
    EXPECT_FALSE(convert(kBin, lit, bad_length)) << bad_length;
  }
}

TEST(LiteralConversion, FloatingPoint) {
  Literal d("1.5");
  ASSERT_TRUE(convert(kFl, d, 8));
  double got_d;
  std::memcpy(&got_d, d.area, 8);
  EXPECT_EQ(got_d, 1.5);
  EXPECT_EQ(d.value_len, 8u);

  Literal f("-0.25");
  ASSERT_TRUE(convert(kE, f, 4));
  float got_f;
  std::memcpy(&got_f, f.area, 4);
  EXPECT_EQ(got_f, -0.25f);
  EXPECT_EQ(f.value_len, 4u);

  Literal huge("1e300");
  ASSERT_TRUE(convert(kE, huge, 4));
  std::memcpy(&got_f, huge.area, 4);
  EXPECT_TRUE(std::isinf(got_f));

  Literal odd("1.5");
  ASSERT_TRUE(convert(kFl, odd, 6));  // stays text, no failure
  EXPECT_EQ(odd.first(4), (Bytes{'1', '.', '5', 0}));
  EXPECT_EQ(odd.value_len, 3u);
}

TEST(LiteralConversion, TextKeptOrRefusedByType) {
  for (uint8_t type : {kCha, kAlp, kNum, kSts}) {
    Literal lit("12AB");
    EXPECT_TRUE(convert(type, lit, 4)) << int(type);
    EXPECT_EQ(lit.first(5), (Bytes{'1', '2', 'A', 'B', 0}));
    EXPECT_EQ(lit.value_len, 4u);
  }
  for (uint8_t type : {kSu, kSli, kSti, kZd, kT, kPd, kAlt}) {
    Literal lit("123");
    EXPECT_FALSE(convert(type, lit, 3)) << int(type);
  }
}

TEST(LiteralConversion, MbfLiteralsForSpAndDp) {
  Literal sp("10");
  ASSERT_TRUE(convert(kSp, sp, 4));
  EXPECT_EQ(sp.first(4), (Bytes{0x00, 0x00, 0x20, 0x84}));
  EXPECT_EQ(sp.value_len, 4u);

  Literal dp("-1");
  ASSERT_TRUE(convert(kDp, dp, 8));
  EXPECT_EQ(dp.first(8), (Bytes{0, 0, 0, 0, 0, 0, 0x80, 0x81}));
  EXPECT_EQ(dp.value_len, 8u);

  Literal wrong("1");
  EXPECT_FALSE(convert(kSp, wrong, 3));
  EXPECT_FALSE(convert(kDp, wrong, 0));
  Literal too_big("1e40");
  EXPECT_FALSE(convert(kSp, too_big, 4));
  Literal not_a_number("nan");
  EXPECT_FALSE(convert(kDp, not_a_number, 8));
}

Bytes mbf(long double value, uint32_t length) {
  Bytes out(length, 0xAA);
  EXPECT_TRUE(mbf_encode(value, length, out.data())) << static_cast<double>(value);
  return out;
}

TEST(MbfEncode, KnownSingles) {
  EXPECT_EQ(mbf(1.0L, 4), (Bytes{0x00, 0x00, 0x00, 0x81}));
  EXPECT_EQ(mbf(-1.0L, 4), (Bytes{0x00, 0x00, 0x80, 0x81}));
  EXPECT_EQ(mbf(0.5L, 4), (Bytes{0x00, 0x00, 0x00, 0x80}));
  EXPECT_EQ(mbf(0.0L, 4), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(mbf(-0.0L, 4), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(mbf(10.0L, 4), (Bytes{0x00, 0x00, 0x20, 0x84}));
  // 0.1 = 0.CCCCCC|CC... (hex): the dropped bits round the last byte up.
  EXPECT_EQ(mbf(0.1L, 4), (Bytes{0xCD, 0xCC, 0x4C, 0x7D}));
}

TEST(MbfEncode, KnownDoubles) {
  EXPECT_EQ(mbf(1.0L, 8), (Bytes{0, 0, 0, 0, 0, 0, 0x00, 0x81}));
  EXPECT_EQ(mbf(10.0L, 8), (Bytes{0, 0, 0, 0, 0, 0, 0x20, 0x84}));
  // 0.1 = 0.CCCCCCCCCCCCCC|CCC... (hex) over 56 bits: rounds up.
  EXPECT_EQ(mbf(0.1L, 8), (Bytes{0xCD, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0x4C, 0x7D}));
}

TEST(MbfEncode, RoundingCarryAndExponentLimits) {
  // Just below 1 rounds up to 1.0: the mantissa carries into the exponent.
  EXPECT_EQ(mbf(1.0L - 0x1p-30L, 4), (Bytes{0x00, 0x00, 0x00, 0x81}));
  // Largest exponent byte: 0.5 * 2^127.
  EXPECT_EQ(mbf(0x1p126L, 4), (Bytes{0x00, 0x00, 0x00, 0xFF}));
  // Smallest: 0.5 * 2^-127; below it the value becomes 0.
  EXPECT_EQ(mbf(0x1p-128L, 4), (Bytes{0x00, 0x00, 0x00, 0x01}));
  EXPECT_EQ(mbf(0x1p-129L, 4), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(mbf(-0x1p-200L, 8), (Bytes(8, 0)));

  uint8_t out[8] = {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11};
  EXPECT_FALSE(mbf_encode(0x1p127L, 4, out));
  EXPECT_FALSE(mbf_encode(1.0L, 5, out));
  EXPECT_FALSE(mbf_encode(__builtin_infl(), 8, out));
  EXPECT_EQ(out[0], 0x11);  // nothing written on failure
}

// A NUL-terminated hexadecimal literal "&H<digits>" in a 54-byte area.
struct Hex {
  uint8_t area[54] = {};
  explicit Hex(const std::string& digits) {
    const std::string text = "&H" + digits;
    std::memcpy(area, text.data(), text.size());
  }
};

TEST(Hex2bin, DigitPairsInEitherCase) {
  Hex upper("C1C2");
  ASSERT_TRUE(hex2bin(upper.area));
  EXPECT_EQ(Bytes(upper.area, upper.area + 2), (Bytes{0xC1, 0xC2}));
  Hex lower("c1c2");
  ASSERT_TRUE(hex2bin(lower.area));
  EXPECT_EQ(Bytes(lower.area, lower.area + 2), (Bytes{0xC1, 0xC2}));
  Hex all("0123456789abcdefABCDEF");
  ASSERT_TRUE(hex2bin(all.area));
  EXPECT_EQ(Bytes(all.area, all.area + 11),
            (Bytes{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0xAB, 0xCD, 0xEF}));
}

TEST(Hex2bin, RejectsOddCountAndNonDigits) {
  Hex odd("C1C");
  EXPECT_FALSE(hex2bin(odd.area));
  Hex bad_high("G1");
  EXPECT_FALSE(hex2bin(bad_high.area));
  Hex bad_low("1G");
  EXPECT_FALSE(hex2bin(bad_low.area));
  Hex empty("");
  EXPECT_TRUE(hex2bin(empty.area));
  EXPECT_EQ(empty.area[0], '&');  // nothing written
}

TEST(Hex2bin, StopsAtTheFirstNul) {
  // "&H41", NUL, "42": the pair after the NUL is never read.
  uint8_t area[54] = {'&', 'H', '4', '1', 0, '4', '2'};
  ASSERT_TRUE(hex2bin(area));
  EXPECT_EQ(area[0], 0x41);
  EXPECT_EQ(area[5], '4');
  // A NUL as the second digit of a pair fails.
  uint8_t cut[54] = {'&', 'H', '4', 0, '1'};
  EXPECT_FALSE(hex2bin(cut));
}

TEST(TranslationTables, NamedEntries) {
  EXPECT_EQ(ebcdic_table[' '], 0x40);
  for (int d = 0; d < 10; ++d) EXPECT_EQ(ebcdic_table['0' + d], 0xF0 + d);
  EXPECT_EQ(ebcdic_table['A'], 0xC1);
  EXPECT_EQ(ebcdic_table['a'], 0x81);
  EXPECT_EQ(ebcdic_table['['], 0xBA);
  EXPECT_EQ(ebcdic_table[']'], 0xBB);
  EXPECT_EQ(ebcdic_table['^'], 0xB0);
  EXPECT_EQ(ebcdic_table['!'], 0x5A);
  EXPECT_EQ(ebcdic_table['|'], 0x4F);
  EXPECT_EQ(ebcdic_table[0x80], 0x68);
  EXPECT_EQ(ebcdic_table[0x81], 0xDC);
  EXPECT_EQ(ebcdic_table['\n'], 0x15);
  EXPECT_EQ(ebcdic_table['\t'], 0x05);
  EXPECT_EQ(ebcdic_table[0x08], 0x08);
  EXPECT_EQ(ebcdic_table[0x14], 0xB6);
  EXPECT_EQ(ebcdic_table[0x15], 0xB5);
  EXPECT_EQ(ebcdic_table[0x1C], 0x22);
  EXPECT_EQ(ebcdic_table[0x7F], 0x04);
  // Row Fx in full.
  const uint8_t row_f[16] = {0x9F, 0x8F, 0xAC, 0xAD, 0xAE, 0xAF, 0xE1, 0xED,
                             0x90, 0xFA, 0xB3, 0xFB, 0xFD, 0xEA, 0xFE, 0xFF};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(ebcdic_table[0xF0 + i], row_f[i]) << i;
}

TEST(TranslationTables, PermutationsAndExactInverses) {
  bool seen[256] = {};
  for (int i = 0; i < 256; ++i) {
    EXPECT_FALSE(seen[ebcdic_table[i]]) << "EBCDIC byte used twice: " << int(ebcdic_table[i]);
    seen[ebcdic_table[i]] = true;
    EXPECT_EQ(ascii_table[ebcdic_table[i]], i);
    EXPECT_EQ(ebcdic_table[ascii_table[i]], i);
  }
}

TEST(Translation, RoundTripAndStopAtNul) {
  uint8_t text[] = {'A', 'B', '1', 0};
  ascii2ebcdic(text);
  EXPECT_EQ(Bytes(text, text + 4), (Bytes{0xC1, 0xC2, 0xF1, 0}));
  ebcdic2ascii(text);
  EXPECT_EQ(Bytes(text, text + 4), (Bytes{'A', 'B', '1', 0}));

  uint8_t every[256];
  for (int i = 0; i < 255; ++i) every[i] = static_cast<uint8_t>(i + 1);
  every[255] = 0;
  ebcdic2ascii(every);
  ascii2ebcdic(every);
  for (int i = 0; i < 255; ++i) EXPECT_EQ(every[i], i + 1);

  uint8_t cut[] = {'A', 0, 'B', 0};
  ascii2ebcdic(cut);
  EXPECT_EQ(Bytes(cut, cut + 4), (Bytes{0xC1, 0, 'B', 0}));
  uint8_t empty[] = {0, 'A'};
  ebcdic2ascii(empty);
  EXPECT_EQ(empty[1], 'A');
}

}  // namespace
}  // namespace zara
