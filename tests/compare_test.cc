// The per-type comparison routines, field location, and s_compp, the
// record order by keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "compare/compare.h"
#include "engine/driver.h"
#include "engine/run_state.h"
#include "records/field_location.h"
#include "tests/unit_helpers.h"

namespace zara {
namespace {

using zara_test::hex;
using zara_test::hex_of;
using zara_test::native;
using namespace std::string_literals;

constexpr int kEq = kEqual, kGt = kFirstGreater, kLt = kFirstSmaller;

// The outcome of comp_jump[type] on two fields held in exact-size blocks.
int outcome(uint8_t type, const std::string& a, const std::string& b) {
  const zara_test::FieldBytes fa(a), fb(b);
  return comp_jump[type](fa.data(), fa.size(), fb.data(), fb.size());
}

TEST(CompareRoutines, ByteRuns) {
  const uint8_t a[] = {1, 5, 3}, b[] = {1, 2, 9}, hi[] = {0xFF}, lo[] = {0};
  EXPECT_EQ(mcomp(a, b, 3), 3);
  EXPECT_EQ(mcompr(a, b, 3), -6);
  EXPECT_EQ(mcomp(a, b, 1), 0);
  EXPECT_EQ(mcomp(hi, lo, 1), 255);  // bytes are unsigned
}

// Each row calls the routine through its field type's entry of comp_jump,
// so that every entry is used; operands are hexadecimal or 'text'. Where the
// lengths differ, the swapped pair must give the mirrored outcome: unequal
// lengths rank the same either way.
TEST(CompareRoutines, EdgeCasesOfEveryType) {
  s_init();
  const std::pair<uint8_t, uint8_t> weights[] = {{'A', 7}, {'a', 7}, {'B', 8}, {'z', 200}};
  for (const auto& [byte, weight] : weights) gv.altseq_image[9 + byte] = weight;
  auto ieee = [](auto a, const char* op, auto b) {
    return hex_of(native(a)) + op + hex_of(native(b));
  };
  const std::pair<uint8_t, std::string> cases[] = {
      {kCha, "'ABC' < 'ABD'"}, {kSu, "'AB' < 'ABC'"}, {kCha, "'ABC' = 'ABC'"}, {kSu, "80 > 7F"},
      {kAlp, "'abc' = 'ABC'"}, {kAlp, "'abd' > 'ABC'"}, {kAlp, "'ab' < 'ABC'"},
      // Shorter first field: BIN, FI and SLI compare the high-order bytes it
      // holds, then rank it first; the other numeric types rank it first.
      {kBin, "00FF < 0100"}, {kBin, "010209 > 0102"}, {kBin, "0103 > 010209"},
      {kBin, "01 > 00FF"}, {kBin, "01 < 0100"}, {kBin, "'' < 00"},
      {kW, "FF00 < 0001"}, {kW, "341277 > 3412"}, {kW, "FF < 0000"},
      {kFi, "FFFF < 0001"}, {kFi, "8000 < FFFF"}, {kFi, "80 < 0000"}, {kFi, "00 > 8000"},
      {kFi, "12 < 1200"}, {kFi, "'' < 80"},
      {kInt, "FFFF < 0100"}, {kInt, "0080 < FFFF"}, {kInt, "0001 > FF00"}, {kInt, "7F < 0080"},
      {kPd, "123D < 001C"}, {kPd, "999D < 123D"}, {kPd, "999B > 001F"},  // only D is negative
      {kPd, "123C = 123C"}, {kPd, "12 < 123C"},
      {kZd, "F1F2D3 < F1F2C3"}, {kSti, "313273 < 313233"}, {kZd, "F1F2D3 < F0F5D3"},
      {kSti, "F1F2 < F1F2C3"},
      // Zone classes of the sign bytes: negative D, positive C, other 5.
      {kZd, "D1 > D2"}, {kZd, "D1 < C1"}, {kZd, "D1 < 51"}, {kZd, "C1 > D1"}, {kZd, "C1 < C2"},
      {kZd, "C1 > 51"}, {kZd, "51 > D1"}, {kZd, "51 > C1"}, {kZd, "51 > 52"},
      {kSts, "'12-' < '05+'"}, {kT, "'12-' < '05-'"}, {kSts, "'05+' < '12 '"},
      {kT, "'12+' = '12 '"},  // the sign byte itself is not compared
      {kSts, "'-' < '+'"}, {kT, "'12' < '12+'"},
      {kSli, "7132 < 3035"}, {kSli, "7132 < 7035"}, {kSli, "4132 < 3035"}, {kSli, "F1F2 > F0F5"},
      {kSli, "71 < 3030"}, {kSli, "31 > 3035"}, {kSli, "31 < 3130"},
      // NUM: the first field alone chooses the character set (an empty one
      // is EBCDIC); unreadable text is 0; only the first 19 bytes count.
      {kNum, "'  10' > '9.5'"}, {kNum, "F1F0 > F9"}, {kNum, "'-3' < '-2.5'"}, {kNum, "'1' > F5"},
      {kNum, "40F1 > '5'"}, {kNum, "'' < F1"}, {kNum, "'abc' = '0'"}, {kNum, "'nan' = '1'"},
      {kNum, "'10000000000000000005' = '1000000000000000000'"},
      {kNum, "'                   7' = '0'"},
      {kE, ieee(-1.0f, " < ", 0.5f)}, {kFl, ieee(0.0f, " = ", -0.0f)},
      {kFl, ieee(1e300, " > ", -1e300)}, {kE, ieee(__builtin_nan(""), " = ", 1.0)},
      {kFl, ieee(2.0, " > ", 0.0f)}, {kFl, "0000 < 000080BF"},  // -1.0f
      {kE, "000000000001 > 000000000002"},  // any other length: first greater, both ways
      {kFl, "000000000002 > 000000000001"}, {kE, "'' > ''"},
      // MBF: exponent in the last byte, sign in the top bit of the one before.
      {kSp, "00008081 < 00008080"}, {kSp, "00008080 < 00000000"}, {kSp, "00000000 < 00000080"},
      {kSp, "00000080 < FFFF7F80"},  // exponent before mantissa
      {kSp, "FFFF7F80 < 00000081"}, {kSp, "00004082 > 00000081"},
      {kSp, "1234D600 = 00000000"}, {kSp, "00008000 = 1234D600"},  // dirty and negative zeros
      {kDp, "0000000000000081 < 0100000000000081"},  // the lowest mantissa bit counts
      {kDp, "0000000000008081 < 090909090909FF00"}, {kDp, "090909090909FF00 = 0000000000000000"},
      {kSp, "000081 < 00000081"}, {kDp, "0506 = 0708"}, {kSp, "00000081 < 0000000000000081"},
      // Alternate weights: A = a = 7, B = 8, z = 200; unweighted bytes ignored.
      {kAlt, "'A-B' = 'AB'"}, {kAlt, "'B' > 'AAA'"}, {kAlt, "'AB' > 'A'"}, {kAlt, "'A' < 'A--B'"},
      {kAlt, "'--' = ''"}, {kAlt, "'xy' = '-'"}, {kAlt, "'aA' = 'Aa'"},
      {kAlt, "'z' > 'a'"},  // weights are unsigned
  };
  for (const auto& [type, row] : cases) {
    SCOPED_TRACE(testing::Message() << "type " << int{type} << ": " << row);
    std::string op;
    const std::vector<std::string> ab = zara_test::split_row(row, &op);
    ASSERT_EQ(ab.size(), 2u);
    const int expected = op == "<" ? kLt : op == ">" ? kGt : kEq;
    EXPECT_EQ(outcome(type, ab[0], ab[1]), expected);
    if (ab[0].size() != ab[1].size() && type != kNum) {
      EXPECT_EQ(outcome(type, ab[1], ab[0]), expected == kEq ? kEq : 3 - expected);
    }
  }
  s_init();
  EXPECT_EQ(outcome(kAlt, "ABC", "xyz12"), kEq);  // no weights: all equal
}

// Every zone nibble in its class, by its outcomes against the lowest and the
// highest positive zone: negative (2, 2), positive (normal, normal), other
// (reversed, reversed).
TEST(CompareRoutines, EveryZoneInItsClass) {
  const char* classes = "oonpnoonoopnpnpp";  // zones 0..F
  for (int zone = 0; zone < 16; ++zone) {
    const std::string a(1, static_cast<char>(zone << 4 | 5));
    const int low = outcome(kZd, a, hex("35")), high = outcome(kZd, a, hex("F5"));
    const int normal_low = zone > 3 ? kGt : zone < 3 ? kLt : kEq;
    const int normal_high = zone < 15 ? kLt : kEq;
    const char c = classes[zone];
    EXPECT_EQ(low, c == 'n' ? kLt : c == 'p' ? normal_low : 3 - normal_low) << zone;
    EXPECT_EQ(high, c == 'n' ? kLt : c == 'p' ? normal_high : kGt) << zone;
  }
}

using Texts = std::vector<std::string>;

// The texts in the order s_compp gives them, numbered from 1 in arrival order.
Texts sorted(Texts texts, std::initializer_list<KeyField> keys) {
  sp.count = 0;
  for (const KeyField& k : keys) sp.entries[sp.count++] = k;
  std::vector<RecordDesc> order;
  for (std::string& t : texts) {
    order.push_back(RecordDesc{reinterpret_cast<uint8_t*>(t.data()), 0, 0, 0});
    order.back().len = static_cast<uint32_t>(t.size());
    order.back().seq = static_cast<uint32_t>(order.size());
  }
  std::sort(order.begin(), order.end(),
            [](const RecordDesc& x, const RecordDesc& y) { return s_compp(&x, &y) < 0; });
  Texts out;
  for (const RecordDesc& r : order) out.emplace_back(reinterpret_cast<const char*>(r.addr), r.len);
  return out;
}

TEST(KeyCompare, RecordOrder) {
  s_init();
  const Texts letters = {"b1", "a1", "b2", "a2", "b3"};
  // Each key in its own direction; equal keys in arrival order either way.
  EXPECT_EQ(sorted({"AA01z", "AB00z", "AA02y", "AA01a", "AA10z"},
                   {{1, 2, kCha, 0}, {3, 2, kBin, 1}, {5, 1, kCha, 0}}),
            (Texts{"AA10z", "AA02y", "AA01a", "AA01z", "AB00z"}));
  EXPECT_EQ(sorted(letters, {{1, 1, kCha, 1}}), (Texts{"b1", "b2", "b3", "a1", "a2"}));
  EXPECT_EQ(sorted(letters, {{1, 1, kCha, 0}}), (Texts{"a1", "a2", "b1", "b2", "b3"}));
  // Keys are located in the record: delimited, clipped, past the prefixes.
  EXPECT_EQ(sorted({"a,9.5\n", "b,10\n", "c\n", "d,-3\n"}, {{2, kDelimitedField, kNum, 1}}),
            (Texts{"b,10\n", "a,9.5\n", "c\n", "d,-3\n"}));
  EXPECT_EQ(sorted({"xx" + hex("0000001C"), "xx", "xx" + hex("0000001D")}, {{3, 4, kPd, 0}}),
            (Texts{"xx", "xx" + hex("0000001D"), "xx" + hex("0000001C")}));
  gv.altseq_image[9 + 'x'] = 1;
  gv.altseq_image[9 + 'a'] = 2;
  EXPECT_EQ(sorted({"a..", "x..", ".x."}, {{1, 3, kAlt, 0}}), (Texts{"x..", ".x.", "a.."}));
  gv.file_type = kVs;
  EXPECT_EQ(sorted({hex("01000002"), hex("09000001")}, {{1, 2, kBin, 0}}),
            (Texts{hex("09000001"), hex("01000002")}));
  // All keys equal: the sequence numbers as signed numbers, never 0.
  uint8_t same[] = {1, 2, 3, 4};
  RecordDesc x{same, 4, 0x80000000u, 0}, y{same, 4, 1, 0};
  EXPECT_EQ(s_compp(&x, &y), -1);
  EXPECT_EQ(s_compp(&y, &x), +1);
  EXPECT_EQ(s_compp(&x, &x), +1);
}

TEST(FieldLocation, EveryKindOfReference) {
  constexpr uint32_t kNul = kNulTerminated, kDel = kDelimitedField;
  const std::string prefixed = "pqrsAB", quoted = "x,\0p,q\0,y\n"s, unclosed = "x,\0p,q\n"s;
  struct Case {
    uint32_t file_type, prefix_width;
    std::string record;
    uint32_t position, length;
    std::string field;
  } cases[] = {
      // Positional fields are clipped to the record.
      {kFix, 0, "0123456789", 1, 3, "012"}, {kFix, 0, "0123456789", 8, 5, "789"},
      {kFix, 0, "0123456789", 11, 1, ""}, {kFix, 0, "0123456789", 0xFFFFFFFFu, 4, ""},
      {kFix, 0, "0123456789", 0, 4, ""}, {kFix, 0, "", 1, 4, ""},
      // Positions skip length prefixes.
      {kVs, 0, prefixed, 1, 2, "rs"}, {kRv, 1, prefixed, 1, 2, "qr"},
      {kRv, 2, prefixed, 1, 2, "rs"},
      {kCvs, 4, prefixed, 1, 2, "AB"}, {kCvs, 4, prefixed, 1, kNul, "AB"},
      {kCvs, 4, prefixed, 0, 2, "sA"}, {kCvs, 4, prefixed, 3, 2, ""},
      // NUL-terminated: to the NUL, or to the record's end.
      {kTxt, 0, "ab\0cd"s, 1, kNul, "ab"}, {kTxt, 0, "ab\0cd"s, 3, kNul, ""},
      {kTxt, 0, "ab\0cd"s, 4, kNul, "cd"}, {kTxt, 0, "ab\0cd"s, 6, kNul, ""},
      // Delimited: the record's last byte is the limit, prefixes are not skipped.
      {kTxt, 0, "A,B,C\n", 3, kDel, "C"}, {kTxt, 0, "A,B,C\n", 1, kDel, "A"},
      {kTxt, 0, "A,,C\n", 2, kDel, ""}, {kTxt, 0, "A,B\n", 3, kDel, ""},
      {kTxt, 0, "A,B,\n", 3, kDel, "\n"}, {kTxt, 0, "AB,CD", 2, kDel, "C"},
      {kTxt, 0, "A,B,C\n", 0, kDel, ""}, {kTxt, 0, "A,B,C\n", 4, kDel, ""},
      {kTxt, 0, "", 1, kDel, ""}, {kTxt, 0, ",", 1, kDel, ""}, {kTxt, 0, ",", 2, kDel, ""},
      {kVs, 0, "ab,c,d\n", 2, kDel, "c"},
      // A NUL opens a stretch up to the next NUL where delimiters do not count.
      {kTxt, 0, quoted, 2, kDel, "p,q"}, {kTxt, 0, quoted, 3, kDel, "y"},
      {kTxt, 0, unclosed, 2, kDel, "p,q"}, {kTxt, 0, unclosed, 3, kDel, ""},
      {kTxt, 0, "a,\0"s, 2, kDel, ""},
  };
  for (const Case& c : cases) {
    s_init();
    gv.file_type = c.file_type;
    gv.prefix_width = c.prefix_width;
    const zara_test::FieldBytes record(c.record);
    const Field f = s_movptr(record.data(), record.size(), c.position, c.length);
    SCOPED_TRACE(testing::Message() << "row " << &c - cases);
    EXPECT_GE(f.addr, record.data());
    EXPECT_LE(f.addr + f.len, record.data() + record.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.addr), f.len), c.field);
  }
  gv.field_delimiter = ';';
  const zara_test::FieldBytes record(std::string("a,b;c,d\n"));
  const Field f = s_movptr(record.data(), record.size(), 2, kDelimitedField);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.addr), f.len), "c,d");
}

}  // namespace
}  // namespace zara
