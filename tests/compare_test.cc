// The per-type comparison routines, one group per field type.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "compare/compare.h"
#include "engine/driver.h"
#include "engine/run_state.h"
#include "tests/field_bytes.h"

namespace zara {
namespace {

using zara_test::FieldBytes;
using zara_test::outcome;

constexpr int kEq = kEqual, kGt = kFirstGreater, kLt = kFirstSmaller;

TEST(ByteRuns, SignedDifferenceOfFirstDifferingPairInScanDirection) {
  const uint8_t a[] = {1, 5, 3};
  const uint8_t b[] = {1, 2, 9};
  EXPECT_EQ(mcomp(a, b, 3), 3);
  EXPECT_EQ(mcompr(a, b, 3), -6);
  EXPECT_EQ(mcomp(a, b, 1), 0);
  EXPECT_EQ(mcompr(a + 1, b + 1, 0), 0);
  const uint8_t hi[] = {0xFF};
  const uint8_t lo[] = {0x00};
  EXPECT_EQ(mcomp(hi, lo, 1), 255);  // bytes are unsigned
}

TEST(CharacterFields, BytesThenShorterFirst) {
  EXPECT_EQ(outcome(compchar, FieldBytes("ABC"), FieldBytes("ABD")), kLt);
  EXPECT_EQ(outcome(compchar, FieldBytes("AB"), FieldBytes("ABC")), kLt);
  EXPECT_EQ(outcome(compchar, FieldBytes("ABC"), FieldBytes("AB")), kGt);
  EXPECT_EQ(outcome(compchar, FieldBytes("ABC"), FieldBytes("ABC")), kEq);
  EXPECT_EQ(outcome(compchar, FieldBytes(""), FieldBytes("")), kEq);
  EXPECT_EQ(outcome(compchar, FieldBytes({0x80}), FieldBytes({0x7F})), kGt);
  EXPECT_EQ(comp_jump[kSu], compchar);
}

TEST(CharacterFields, AlphaIgnoresCaseOnly) {
  EXPECT_EQ(outcome(compalpha, FieldBytes("abc"), FieldBytes("ABC")), kEq);
  EXPECT_EQ(outcome(compalpha, FieldBytes("abd"), FieldBytes("ABC")), kGt);
  EXPECT_EQ(outcome(compalpha, FieldBytes("ab"), FieldBytes("ABC")), kLt);
  EXPECT_EQ(outcome(compalpha, FieldBytes(""), FieldBytes("a")), kLt);
  EXPECT_EQ(outcome(compalpha, FieldBytes("a1"), FieldBytes("A2")), kLt);
}

TEST(BinaryFields, Bin) {
  EXPECT_EQ(outcome(compbin, FieldBytes({0x00, 0xFF}), FieldBytes({0x01, 0x00})), kLt);
  EXPECT_EQ(outcome(compbin, FieldBytes({0x01, 0x00}), FieldBytes({0x01, 0x00})), kEq);
  // Unequal lengths rank the same in either order: the longer is greater
  // when the common bytes agree.
  EXPECT_EQ(outcome(compbin, FieldBytes({1, 2, 9}), FieldBytes({1, 2})), kGt);
  EXPECT_EQ(outcome(compbin, FieldBytes({1, 3}), FieldBytes({1, 2, 9})), kGt);
  // Shorter first field: its high-order bytes decide, else it is first.
  EXPECT_EQ(outcome(compbin, FieldBytes({0x01}), FieldBytes({0x00, 0xFF})), kGt);
  EXPECT_EQ(outcome(compbin, FieldBytes({0x01}), FieldBytes({0x01, 0x00})), kLt);
  EXPECT_EQ(outcome(compbin, FieldBytes({}), FieldBytes({0x00})), kLt);
}

TEST(BinaryFields, W) {
  EXPECT_EQ(outcome(compw, FieldBytes({0xFF, 0x00}), FieldBytes({0x00, 0x01})), kLt);
  EXPECT_EQ(outcome(compw, FieldBytes({0x00, 0x01}), FieldBytes({0xFF, 0x00})), kGt);
  EXPECT_EQ(outcome(compw, FieldBytes({0x34, 0x12, 0x77}), FieldBytes({0x34, 0x12})), kGt);
  EXPECT_EQ(outcome(compw, FieldBytes({0xFF}), FieldBytes({0x00, 0x00})), kLt);
  EXPECT_EQ(outcome(compw, FieldBytes({}), FieldBytes({})), kEq);
}

TEST(BinaryFields, Fi) {
  EXPECT_EQ(outcome(compfi, FieldBytes({0xFF, 0xFF}), FieldBytes({0x00, 0x01})), kLt);
  EXPECT_EQ(outcome(compfi, FieldBytes({0x80, 0x00}), FieldBytes({0xFF, 0xFF})), kLt);
  EXPECT_EQ(outcome(compfi, FieldBytes({0x7F, 0xFF}), FieldBytes({0x00, 0x01})), kGt);
  // Shorter first field: the sign and high bytes it holds decide.
  EXPECT_EQ(outcome(compfi, FieldBytes({0x80}), FieldBytes({0x00, 0x00})), kLt);
  EXPECT_EQ(outcome(compfi, FieldBytes({0x00}), FieldBytes({0x80, 0x00})), kGt);
  EXPECT_EQ(outcome(compfi, FieldBytes({0x12}), FieldBytes({0x12, 0x00})), kLt);
  EXPECT_EQ(outcome(compfi, FieldBytes({}), FieldBytes({0x80})), kLt);
  EXPECT_EQ(outcome(compfi, FieldBytes({0x80}), FieldBytes({})), kGt);
}

TEST(BinaryFields, Int) {
  EXPECT_EQ(outcome(compint, FieldBytes({0xFF, 0xFF}), FieldBytes({0x01, 0x00})), kLt);
  EXPECT_EQ(outcome(compint, FieldBytes({0x00, 0x80}), FieldBytes({0xFF, 0xFF})), kLt);
  EXPECT_EQ(outcome(compint, FieldBytes({0x00, 0x01}), FieldBytes({0xFF, 0x00})), kGt);
  // Shorter first field: its sign byte is missing, so it is first.
  EXPECT_EQ(outcome(compint, FieldBytes({0x7F}), FieldBytes({0x00, 0x80})), kLt);
  EXPECT_EQ(outcome(compint, FieldBytes({0x05, 0x80}), FieldBytes({})), kGt);
}

TEST(DecimalFields, Packed) {
  EXPECT_EQ(outcome(comppacked, FieldBytes({0x12, 0x3D}), FieldBytes({0x00, 0x1C})), kLt);
  EXPECT_EQ(outcome(comppacked, FieldBytes({0x99, 0x9D}), FieldBytes({0x12, 0x3D})), kLt);
  EXPECT_EQ(outcome(comppacked, FieldBytes({0x00, 0x1C}), FieldBytes({0x12, 0x3D})), kGt);
  // Only D is negative: B and F are positive.
  EXPECT_EQ(outcome(comppacked, FieldBytes({0x99, 0x9B}), FieldBytes({0x00, 0x1F})), kGt);
  EXPECT_EQ(outcome(comppacked, FieldBytes({0x12, 0x3C}), FieldBytes({0x12, 0x3C})), kEq);
  EXPECT_EQ(outcome(comppacked, FieldBytes({0x12}), FieldBytes({0x12, 0x3C})), kLt);
  EXPECT_EQ(outcome(comppacked, FieldBytes({0x1D}), FieldBytes({})), kGt);
}

TEST(DecimalFields, ZonedEbcdicAndAscii) {
  EXPECT_EQ(outcome(compzoned, FieldBytes({0xF1, 0xF2, 0xD3}), FieldBytes({0xF1, 0xF2, 0xC3})),
            kLt);
  EXPECT_EQ(outcome(compzoned, FieldBytes({0x31, 0x32, 0x73}), FieldBytes({0x31, 0x32, 0x33})),
            kLt);
  // -123 before -53
  EXPECT_EQ(outcome(compzoned, FieldBytes({0xF1, 0xF2, 0xD3}), FieldBytes({0xF0, 0xF5, 0xD3})),
            kLt);
  EXPECT_EQ(outcome(compzoned, FieldBytes({0xF1, 0xF2}), FieldBytes({0xF1, 0xF2, 0xC3})), kLt);
  EXPECT_EQ(outcome(compzoned, FieldBytes({0xD3}), FieldBytes({})), kGt);
}

// The outcome table by the zone classes of the two sign bytes. The bytes
// are chosen so that a plain byte comparison would often say otherwise.
TEST(DecimalFields, ZonedSignTable) {
  const uint8_t neg = 0xD1, neg2 = 0xD2, pos = 0xC1, pos2 = 0xC2, other = 0x51, other2 = 0x52;
  struct Case { uint8_t a, b; int expected; } cases[] = {
      {neg, neg2, kGt},    {neg, pos, kLt},      {neg, other, kLt},
      {pos, neg, kGt},     {pos, pos2, kLt},     {pos, other, kGt},
      {other, neg, kGt},   {other, pos, kGt},    {other, other2, kGt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(outcome(compzoned, FieldBytes({c.a}), FieldBytes({c.b})), c.expected)
        << std::hex << int{c.a} << " vs " << int{c.b};
  }
  // Every zone nibble in its class, by its outcomes against the lowest and
  // the highest positive zone: negative (2, 2), positive (normal, normal),
  // other (reversed, reversed).
  const char* classes = "oonpnoonoopnpnpp";  // zones 0..F
  for (int zone = 0; zone < 16; ++zone) {
    const FieldBytes a({uint8_t(zone << 4 | 5)});
    const int low = outcome(compzoned, a, FieldBytes({0x35}));
    const int high = outcome(compzoned, a, FieldBytes({0xF5}));
    const int normal_low = zone > 3 ? kGt : zone < 3 ? kLt : kEq;
    const int normal_high = zone < 15 ? kLt : kEq;
    switch (classes[zone]) {
      case 'n': EXPECT_TRUE(low == kLt && high == kLt) << "zone " << zone; break;
      case 'p': EXPECT_TRUE(low == normal_low && high == normal_high) << "zone " << zone; break;
      default: EXPECT_TRUE(low == 3 - normal_low && high == kGt) << "zone " << zone; break;
    }
  }
}

TEST(DecimalFields, SeparateSign) {
  EXPECT_EQ(outcome(compts, FieldBytes("12-"), FieldBytes("05+")), kLt);
  EXPECT_EQ(outcome(compts, FieldBytes("12-"), FieldBytes("05-")), kLt);
  EXPECT_EQ(outcome(compts, FieldBytes("05+"), FieldBytes("12 ")), kLt);
  EXPECT_EQ(outcome(compts, FieldBytes("12+"), FieldBytes("12 ")), kEq);  // the sign byte itself is not compared
  EXPECT_EQ(outcome(compts, FieldBytes("-"), FieldBytes("+")), kLt);
  EXPECT_EQ(outcome(compts, FieldBytes("12"), FieldBytes("12+")), kLt);
  EXPECT_EQ(outcome(compts, FieldBytes("1-"), FieldBytes({})), kGt);
  EXPECT_EQ(comp_jump[kT], compts);
  EXPECT_EQ(comp_jump[kSts], compts);
}

TEST(DecimalFields, LeadingSign) {
  // zone 7 (and 4) of the first byte is negative: -12 before 05, -12 before -5
  EXPECT_EQ(outcome(compsli, FieldBytes({0x71, 0x32}), FieldBytes({0x30, 0x35})), kLt);
  EXPECT_EQ(outcome(compsli, FieldBytes({0x71, 0x32}), FieldBytes({0x70, 0x35})), kLt);
  EXPECT_EQ(outcome(compsli, FieldBytes({0x41, 0x32}), FieldBytes({0x30, 0x35})), kLt);
  EXPECT_EQ(outcome(compsli, FieldBytes({0xF1, 0xF2}), FieldBytes({0xF0, 0xF5})), kGt);
  // Shorter first field: sign and leading digits decide, else it is first.
  EXPECT_EQ(outcome(compsli, FieldBytes({0x71}), FieldBytes({0x30, 0x30})), kLt);
  EXPECT_EQ(outcome(compsli, FieldBytes({0x31}), FieldBytes({0x30, 0x35})), kGt);
  EXPECT_EQ(outcome(compsli, FieldBytes({0x31}), FieldBytes({0x31, 0x30})), kLt);
  EXPECT_EQ(outcome(compsli, FieldBytes({}), FieldBytes({})), kEq);
}

TEST(NumericText, AsciiAndEbcdic) {
  EXPECT_EQ(outcome(compnum, FieldBytes("  10"), FieldBytes("9.5")), kGt);
  EXPECT_EQ(outcome(compnum, FieldBytes({0xF1, 0xF0}), FieldBytes({0xF9})), kGt);
  EXPECT_EQ(outcome(compnum, FieldBytes("-3"), FieldBytes("-2.5")), kLt);
  // The first field alone chooses the character set: an ASCII first field
  // leaves an EBCDIC second field unreadable (0).
  EXPECT_EQ(outcome(compnum, FieldBytes("1"), FieldBytes({0xF5})), kGt);
  EXPECT_EQ(outcome(compnum, FieldBytes({0x40, 0xF1}), FieldBytes("5")), kGt);
  // An empty first field is read as EBCDIC, so is the second.
  EXPECT_EQ(outcome(compnum, FieldBytes(""), FieldBytes({0xF1})), kLt);
  EXPECT_EQ(outcome(compnum, FieldBytes("abc"), FieldBytes("0")), kEq);
  EXPECT_EQ(outcome(compnum, FieldBytes("nan"), FieldBytes("1")), kEq);
}

TEST(NumericText, OnlyFirstNineteenBytesCount) {
  const std::string base = "1" + std::string(18, '0');  // 19 bytes: 1e18
  EXPECT_EQ(outcome(compnum, FieldBytes(base + "5"), FieldBytes(base)), kEq);
  EXPECT_EQ(outcome(compnum, FieldBytes(std::string(19, ' ') + "7"), FieldBytes("0")), kEq);
}

TEST(FloatingFields, FloatsAndDoubles) {
  auto float_bytes = [](float f) {
    uint8_t b[4];
    memcpy(b, &f, 4);
    return FieldBytes(b, 4);
  };
  auto double_bytes = [](double d) {
    uint8_t b[8];
    memcpy(b, &d, 8);
    return FieldBytes(b, 8);
  };
  EXPECT_EQ(outcome(compieee, float_bytes(-1.0f), float_bytes(0.5f)), kLt);
  EXPECT_EQ(outcome(compieee, float_bytes(0.0f), float_bytes(-0.0f)), kEq);
  EXPECT_EQ(outcome(compieee, double_bytes(1e300), double_bytes(-1e300)), kGt);
  EXPECT_EQ(outcome(compieee, double_bytes(__builtin_nan("")), double_bytes(1.0)), kEq);
  // Any other working length: the first field is greater, both ways.
  const FieldBytes six_a({0, 0, 0, 0, 0, 1}), six_b({0, 0, 0, 0, 0, 2});
  EXPECT_EQ(outcome(compieee, six_a, six_b), kGt);
  EXPECT_EQ(outcome(compieee, six_b, six_a), kGt);
  EXPECT_EQ(outcome(compieee, FieldBytes({}), FieldBytes({})), kGt);
  // Shorter first field: it is first.
  EXPECT_EQ(outcome(compieee, FieldBytes({0x00, 0x00}), float_bytes(-1.0f)), kLt);
  // A longer first field mirrors the shorter: a 4-byte field cannot hold
  // the double, so it ranks first.
  EXPECT_EQ(outcome(compieee, double_bytes(2.0), float_bytes(0.0f)), kGt);
  EXPECT_EQ(comp_jump[kFl], compieee);
}

// SP: exponent in byte 3, sign in the top bit of byte 2.
TEST(MbfFields, SinglePrecisionOrder) {
  const FieldBytes minus_one({0, 0, 0x80, 0x81}), minus_half({0, 0, 0x80, 0x80});
  const FieldBytes zero({0, 0, 0, 0}), dirty_zero({0x12, 0x34, 0xD6, 0x00});
  const FieldBytes half({0, 0, 0, 0x80}), one({0, 0, 0, 0x81}), three({0, 0, 0x40, 0x82});
  const FieldBytes almost_one({0xFF, 0xFF, 0x7F, 0x80});
  EXPECT_EQ(outcome(compspdp, minus_one, minus_half), kLt);
  EXPECT_EQ(outcome(compspdp, minus_half, zero), kLt);
  EXPECT_EQ(outcome(compspdp, zero, half), kLt);
  EXPECT_EQ(outcome(compspdp, half, almost_one), kLt);  // exponent before mantissa
  EXPECT_EQ(outcome(compspdp, almost_one, one), kLt);
  EXPECT_EQ(outcome(compspdp, three, one), kGt);
  EXPECT_EQ(outcome(compspdp, dirty_zero, zero), kEq);
  EXPECT_EQ(outcome(compspdp, FieldBytes({0, 0, 0x80, 0}), dirty_zero), kEq);  // -0 = 0
  EXPECT_EQ(outcome(compspdp, one, one), kEq);
}

TEST(MbfFields, DoublePrecisionOrder) {
  const FieldBytes one({0, 0, 0, 0, 0, 0, 0, 0x81});
  const FieldBytes one_plus_ulp({1, 0, 0, 0, 0, 0, 0, 0x81});
  const FieldBytes minus_one({0, 0, 0, 0, 0, 0, 0x80, 0x81});
  const FieldBytes dirty_zero({9, 9, 9, 9, 9, 9, 0xFF, 0});
  EXPECT_EQ(outcome(compspdp, one, one_plus_ulp), kLt);  // the lowest mantissa bit counts
  EXPECT_EQ(outcome(compspdp, minus_one, dirty_zero), kLt);
  EXPECT_EQ(outcome(compspdp, dirty_zero, FieldBytes({0, 0, 0, 0, 0, 0, 0, 0})), kEq);
  EXPECT_EQ(outcome(compspdp, one, minus_one), kGt);
}

TEST(MbfFields, FieldsTooShortRankByLength) {
  const FieldBytes sp_one({0, 0, 0, 0x81});
  EXPECT_EQ(outcome(compspdp, FieldBytes({0, 0, 0x81}), sp_one), kLt);
  EXPECT_EQ(outcome(compspdp, sp_one, FieldBytes({0, 0x81})), kGt);
  EXPECT_EQ(outcome(compspdp, FieldBytes({5, 6}), FieldBytes({7, 8})), kEq);
  EXPECT_EQ(outcome(compspdp, sp_one, FieldBytes({0, 0, 0, 0, 0, 0, 0, 0x81})), kLt);
  EXPECT_EQ(outcome(compspdp, FieldBytes({}), FieldBytes({})), kEq);
}

class AlternateFields : public ::testing::Test {
 protected:
  void SetUp() override { s_init(); }
  static void weigh(uint8_t byte, uint8_t weight) { gv.altseq_image[9 + byte] = weight; }
};

TEST_F(AlternateFields, WeightsAndIgnoredBytes) {
  weigh('A', 1);
  weigh('B', 2);
  EXPECT_EQ(outcome(compalt, FieldBytes("A-B"), FieldBytes("AB")), kEq);
  EXPECT_EQ(outcome(compalt, FieldBytes("B"), FieldBytes("AAA")), kGt);
  EXPECT_EQ(outcome(compalt, FieldBytes("AB"), FieldBytes("A")), kGt);
  EXPECT_EQ(outcome(compalt, FieldBytes("A"), FieldBytes("A--B")), kLt);
  EXPECT_EQ(outcome(compalt, FieldBytes("--"), FieldBytes("")), kEq);
  EXPECT_EQ(outcome(compalt, FieldBytes("xyz"), FieldBytes("-")), kEq);
  EXPECT_EQ(outcome(compalt, FieldBytes("AB--"), FieldBytes("-AB")), kEq);
}

TEST_F(AlternateFields, EqualWeightsAreEqualAndWeightsAreUnsigned) {
  weigh('a', 7);
  weigh('A', 7);
  weigh('z', 200);
  EXPECT_EQ(outcome(compalt, FieldBytes("aA"), FieldBytes("Aa")), kEq);
  EXPECT_EQ(outcome(compalt, FieldBytes("z"), FieldBytes("a")), kGt);
}

TEST_F(AlternateFields, WithoutTableEverythingIsEqual) {
  EXPECT_EQ(outcome(compalt, FieldBytes("ABC"), FieldBytes("xyz12")), kEq);
}

}  // namespace
}  // namespace zara
