// SUM: the statement's parse statuses and the addition routine of every
// SUM field type, with its overflow rule.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "control/dispatcher.h"
#include "engine/driver.h"
#include "engine/run_state.h"
#include "select/sum.h"
#include "zara15z37.h"

namespace zara {
namespace {

using Bytes = std::vector<uint8_t>;

uint32_t parse(const std::string& text) {
  static std::string kept;
  kept = text;
  s_init();
  gv.control_text = kept.data();
  gv.control_length = static_cast<uint32_t>(kept.size());
  return s_ctrl() ? kOk : gv.status_word;
}

// The held field after adding `current` into `held` with the routine of
// SUM type `type`.
Bytes add(uint8_t type, Bytes held, const Bytes& current) {
  sum_jump[type](current.data(), held.data(), static_cast<uint32_t>(held.size()));
  return held;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(SumParse, Fields) {
  ASSERT_EQ(parse("SORT(1,2,CH,A) SUM (3,4,BIN, 7,2,PD)"), kOk);
  ASSERT_EQ(su.count, 2u);
  EXPECT_EQ(su.entries[0].sum_pos, 3u);
  EXPECT_EQ(su.entries[0].sum_len, 4u);
  EXPECT_EQ(su.entries[0].sum_type, kSumBin);
  EXPECT_EQ(su.entries[1].sum_type, kSumPd);
  // SUM works as DUPOUT on the sort keys with a 2000-byte hold area.
  EXPECT_TRUE(cpnm[kOptDupout]);
  EXPECT_TRUE(gv.hold_active);
  EXPECT_EQ(gv.hold_area_size, 2000u);
  ASSERT_EQ(du.count, 1u);
  EXPECT_EQ(du.entries[0].dup_len, 2u);
}

TEST(SumParse, NoFields) {
  ASSERT_EQ(parse("SORT(1,2,CH,A) SUM"), kOk);
  EXPECT_EQ(su.count, 0u);
  EXPECT_TRUE(cpnm[kOptSum]);
  ASSERT_EQ(parse("SORT(1,2,CH,A) SUM ( )"), kOk);
  EXPECT_EQ(su.count, 0u);
}

TEST(SumParse, TypeAbbreviations) {
  ASSERT_EQ(parse("SORT(1,2,CH,A) SUM (1,4,E,1,4,W,1,4,FI,1,4,FL,1,4,N,1,4,Z,1,4,I)"), kOk);
  const uint8_t expected[] = {kSumEee, kSumWor, kSumFix, kSumFl, kSumNum, kSumZd, kSumInt};
  ASSERT_EQ(su.count, 7u);
  for (uint32_t i = 0; i < 7; ++i) EXPECT_EQ(su.entries[i].sum_type, expected[i]) << i;
}

TEST(SumParse, StatusCodes) {
  const std::string sort = "SORT(1,2,CH,A) ";
  EXPECT_EQ(parse(sort + "SUM ("), kSumOperand);
  EXPECT_EQ(parse(sort + "SUM (#1,4,ZD)"), kBadPosition);
  EXPECT_EQ(parse(sort + "SUM (0,4,ZD)"), kBadPosition);
  EXPECT_EQ(parse(sort + "SUM (X,4,ZD)"), kBadPosition);
  EXPECT_EQ(parse(sort + "SUM (1"), kBadLength);
  EXPECT_EQ(parse(sort + "SUM (1,0,ZD)"), kBadLength);
  EXPECT_EQ(parse(sort + "SUM (1,4"), kBadFieldType);
  EXPECT_EQ(parse(sort + "SUM (1,4,CH)"), kBadFieldType);
  EXPECT_EQ(parse(sort + "SUM (1,4,F)"), kBadFieldType);
  EXPECT_EQ(parse("SUM (1,4,BIN)"), kSumWithoutSort);
  EXPECT_EQ(parse(sort + "SUM (1,4,BIN) DUPOUT"), kSumWithDup);
  EXPECT_EQ(parse(sort + "DUPIN SUM"), kSumWithDup);
}

TEST(SumParse, LengthLimitsPerType) {
  const std::string sort = "SORT(1,2,CH,A) ";
  const char* fits[] = {"16,ZD", "8,BIN", "8,INT", "13,PD", "8,EEE", "6,FL", "8,WOR", "8,FIX", "31,NUM"};
  const char* too_long[] = {"17,ZD", "9,BIN", "9,INT", "14,PD", "9,EEE", "9,FL", "9,WOR", "9,FIX", "32,NUM"};
  for (const char* f : fits) EXPECT_EQ(parse(sort + "SUM (1," + f + ")"), kOk) << f;
  for (const char* f : too_long) EXPECT_EQ(parse(sort + "SUM (1," + f + ")"), kBadLength) << f;
}

TEST(SumParse, TwentyFieldsAtMost) {
  std::string fields;
  for (int i = 0; i < 20; ++i) fields += "1,2,BIN,";
  EXPECT_EQ(parse("SORT(1,2,CH,A) SUM (" + fields + ")"), kOk);
  EXPECT_EQ(su.count, 20u);
  EXPECT_EQ(parse("SORT(1,2,CH,A) SUM (" + fields + "1,2,BIN)"), kTableFull);
}

TEST(SumBinary, BigAndLittleEndianWrap) {
  Bytes bin = {0, 0, 0, 1};
  bin = add(kSumBin, bin, {0, 0, 0, 2});
  bin = add(kSumFix, bin, {0, 0, 0, 3});
  EXPECT_EQ(bin, (Bytes{0, 0, 0, 6}));
  Bytes little = {1, 0, 0, 0};
  little = add(kSumInt, little, {2, 0, 0, 0});
  little = add(kSumWor, little, {3, 0, 0, 0});
  EXPECT_EQ(little, (Bytes{6, 0, 0, 0}));

  EXPECT_EQ(add(kSumBin, {0xFF}, {0x01}), (Bytes{0x00}));
  EXPECT_EQ(add(kSumBin, {0x7F}, {0x01}), (Bytes{0x80}));
  EXPECT_EQ(add(kSumBin, {0x00, 0xFF}, {0x00, 0x01}), (Bytes{0x01, 0x00}));
  EXPECT_EQ(add(kSumInt, {0xFF, 0x00}, {0x01, 0x00}), (Bytes{0x00, 0x01}));
  // -1 + -1 = -2 in 8 bytes, the carry out of the top byte dropped.
  EXPECT_EQ(add(kSumInt, Bytes(8, 0xFF), Bytes(8, 0xFF)),
            (Bytes{0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(SumPacked, SignsCarriesAndOverflow) {
  EXPECT_EQ(add(kSumPd, {0x01, 0x2C}, {0x00, 0x5D}), (Bytes{0x00, 0x7C}));  // 12 + -5
  EXPECT_EQ(add(kSumPd, {0x99, 0x9C}, {0x00, 0x1C}), (Bytes{0x00, 0x0C}));  // 999 + 1 wraps
  EXPECT_EQ(add(kSumPd, {0x00, 0x3C}, {0x00, 0x5D}), (Bytes{0x00, 0x2D}));  // 3 + -5
  EXPECT_EQ(add(kSumPd, {0x5C}, {0x5D}), (Bytes{0x0D}));                    // negative zero
  EXPECT_EQ(add(kSumPd, {0x00, 0x7D}, {0x00, 0x5B}), (Bytes{0x01, 0x2D}));  // -7 + -5
  EXPECT_EQ(add(kSumPd, {0x1F}, {0x2A}), (Bytes{0x3C}));                    // F and A positive
  // An operand with a digit sign half is not a number: the field stays.
  EXPECT_EQ(add(kSumPd, {0x01, 0x25}, {0x00, 0x5C}), (Bytes{0x01, 0x25}));
  EXPECT_EQ(add(kSumPd, {0x01, 0x2C}, {0x00, 0x59}), (Bytes{0x01, 0x2C}));
  EXPECT_EQ(add(kSumPd, {0x0A, 0x2C}, {0x00, 0x1C}), (Bytes{0x0A, 0x2C}));  // digit A
}

TEST(SumZoned, AsciiAndEbcdicSignZones) {
  EXPECT_EQ(add(kSumZd, {0x31, 0x32}, {0x30, 0x75}), (Bytes{0x30, 0x37}));  // 12 + -5
  EXPECT_EQ(add(kSumZd, {0xF1, 0xF2}, {0xF0, 0xD5}), (Bytes{0xF0, 0xF7}));  // EBCDIC
  EXPECT_EQ(add(kSumZd, {0x30, 0x33}, {0x30, 0x75}), (Bytes{0x30, 0x72}));  // 3 + -5 = -2
  EXPECT_EQ(add(kSumZd, {0x39, 0x39}, {0x30, 0x31}), (Bytes{0x30, 0x30}));  // wraps
  EXPECT_EQ(add(kSumZd, {0x35}, {0x75}), (Bytes{0x70}));                    // negative zero
  // The held field's positive zone wins over the current one's.
  EXPECT_EQ(add(kSumZd, {0x31, 0xC2}, {0x30, 0x31}), (Bytes{0x31, 0xC3}));
  // Sign zone 5 is not a sign: the field stays.
  EXPECT_EQ(add(kSumZd, {0x31, 0x52}, {0x30, 0x31}), (Bytes{0x31, 0x52}));
  EXPECT_EQ(add(kSumZd, {0x31, 0x32}, {0x30, 0x91}), (Bytes{0x31, 0x32}));
}

TEST(SumNum, AsciiText) {
  EXPECT_EQ(add(kSumNum, text("12.50"), text(" 1.25")), text("13.75"));
  EXPECT_EQ(add(kSumNum, text("  7"), text(" -9")), text(" -2"));
  EXPECT_EQ(add(kSumNum, text(".25"), text(".25")), text(".50"));  // leading 0 dropped
  Bytes over = add(kSumNum, text("99"), text(" 5"));
  EXPECT_EQ(over, text("**"));
  EXPECT_EQ(add(kSumNum, over, text(" 1")), text("**"));  // stays overflowed
  // A sum whose text exceeds the 31-character buffer is an overflow too.
  EXPECT_EQ(add(kSumNum, text("1e300     "), text("1e300     ")), text("**********"));
}

TEST(SumNum, EbcdicText) {
  // F1 F2 is "12", 40 F5 is " 5": 17 in EBCDIC digits.
  EXPECT_EQ(add(kSumNum, {0xF1, 0xF2}, {0x40, 0xF5}), (Bytes{0xF1, 0xF7}));
  // "1.5" + "2.5" with the EBCDIC point 4B.
  EXPECT_EQ(add(kSumNum, {0xF1, 0x4B, 0xF5}, {0xF2, 0x4B, 0xF5}), (Bytes{0xF4, 0x4B, 0xF0}));
  EXPECT_EQ(add(kSumNum, {0xF9, 0xF9}, {0xF0, 0xF1}), (Bytes{0x5C, 0x5C}));
}

TEST(SumIeee, SingleDoubleAndOtherLengths) {
  Bytes f(4), g(4);
  const float a = 1.5f, b = 2.25f;
  memcpy(f.data(), &a, 4);
  memcpy(g.data(), &b, 4);
  Bytes r = add(kSumEee, f, g);
  float fr;
  memcpy(&fr, r.data(), 4);
  EXPECT_EQ(fr, 3.75f);

  const float big = 3e38f;
  memcpy(f.data(), &big, 4);
  r = add(kSumFl, f, f);
  memcpy(&fr, r.data(), 4);
  EXPECT_TRUE(std::isinf(fr));

  Bytes d(8), e(8);
  const double x = 0.5, y = -2.0;
  memcpy(d.data(), &x, 8);
  memcpy(e.data(), &y, 8);
  r = add(kSumFl, d, e);
  double dr;
  memcpy(&dr, r.data(), 8);
  EXPECT_EQ(dr, -1.5);

  EXPECT_EQ(add(kSumFl, {1, 2, 3, 4, 5, 6}, {1, 1, 1, 1, 1, 1}), (Bytes{1, 2, 3, 4, 5, 6}));
}

// sum_fields over the hold area: fields outside either record stay.
TEST(SumFields, ClipsToBothRecords) {
  ASSERT_EQ(parse("SORT(1,1,CH,A) SUM (2,1,BIN,5,2,BIN)"), kOk);
  uint8_t hold[8] = {'K', 1, 0, 0, 0, 1};
  hold_area_info.address = hold;
  hold_area_info.length = 6;
  const uint8_t current[4] = {'K', 2, 0, 0};  // too short for the field at 5
  EXPECT_EQ(sum_fields(current, 4, 2, 0), 0);
  EXPECT_EQ(hold[1], 3);
  EXPECT_EQ(hold[5], 1);

  const uint8_t longer[7] = {'K', 1, 0, 0, 0, 1, 9};
  hold_area_info.length = 5;  // now the held record is too short
  EXPECT_EQ(sum_fields(longer, 7, 3, 0), 0);
  EXPECT_EQ(hold[1], 4);
  EXPECT_EQ(hold[5], 1);
  hold_area_info.length = 6;
  EXPECT_EQ(sum_fields(longer, 7, 3, 0), 0);
  EXPECT_EQ(hold[5], 2);
}

}  // namespace
}  // namespace zara
