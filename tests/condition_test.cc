// Literal conversion (the per-type routines, MBF encoding, hexadecimal
// literals, the ASCII/EBCDIC tables) and INCLUDE and OMIT: the compiled
// postfix sequences, every failure status, selection over record tables.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/run_state.h"
#include "select/conditions.h"
#include "select/literal_conversion.h"
#include "select/mbf_literal.h"
#include "tests/unit_helpers.h"
#include "zara15z37.h"

namespace zara {
namespace {

using namespace std::string_literals;
using Strings = std::vector<std::string>;
using zara_test::hex;
using zara_test::native;
using zara_test::parse_control;

// The compiled sequence: each comparison by its first field's position.
std::string compiled() {
  std::string out;
  for (uint32_t i = 0; i < ip.count; ++i) {
    const CondElement& e = ip.entries[i];
    out += i ? " " : "";
    out += e.kind == kAnd ? "AND" : e.kind == kOr ? "OR" : std::to_string(e.pos1);
  }
  return out;
}
std::vector<uint32_t> element(uint32_t i) {
  const CondElement& e = ip.entries[i];
  return {e.kind, e.pos1, e.len1, e.ftype, e.oper, e.pos2, e.len2, e.lit_len};
}
std::string literal(uint32_t n) {
  return std::string(reinterpret_cast<const char*>(ip.entries[0].lit), n);
}

// Comparison n: byte n equals "x".
std::string cmp(int n) { return std::to_string(n) + ",1,CH,EQ,\"x\""; }

TEST(LiteralConversion, EveryRoutine) {
  struct Case {
    uint8_t type;
    std::string text;
    uint32_t field_length;
    bool ok;
    std::string area;
    uint32_t value_len;
  } cases[] = {
      {kInt, "100", 4, true, hex("64000000"), 4}, {kW, "100", 2, true, hex("6400") + "0", 2},
      {kBin, "100", 4, true, hex("00000064"), 4}, {kFi, "100", 4, true, hex("00000064"), 4},
      {kBin, "-1", 2, true, hex("FFFF"), 2}, {kInt, "65536", 2, true, hex("0000"), 2},
      {kInt, "ABC", 4, true, hex("00000000"), 4}, {kFi, "  +7x9", 2, true, hex("0007"), 2},
      {kInt, "100", 0, false, "100", 3}, {kInt, "100", 3, false, "100", 3},
      {kW, "100", 8, false, "100", 3}, {kBin, "100", 1, false, "100", 3},
      {kFl, "1.5", 8, true, native(1.5), 8}, {kE, "-0.25", 4, true, native(-0.25f), 4},
      {kE, "1e300", 4, true, native(__builtin_inff()), 4},
      {kFl, "1.5", 6, true, "1.5\0"s, 3},  // stays text, no failure
      {kCha, "12AB", 4, true, "12AB\0"s, 4}, {kAlp, "12AB", 4, true, "12AB\0"s, 4},
      {kNum, "12AB", 4, true, "12AB\0"s, 4}, {kSts, "12AB", 4, true, "12AB\0"s, 4},
      {kSu, "123", 3, false, "123", 3}, {kSli, "123", 3, false, "123", 3},
      {kSti, "123", 3, false, "123", 3}, {kZd, "123", 3, false, "123", 3},
      {kT, "123", 3, false, "123", 3}, {kPd, "123", 3, false, "123", 3},
      {kAlt, "123", 3, false, "123", 3},
      {kSp, "10", 4, true, hex("00002084"), 4}, {kDp, "-1", 8, true, hex("0000000000008081"), 8},
      {kSp, "1", 3, false, "1", 1}, {kDp, "1", 0, false, "1", 1},
      {kSp, "1e40", 4, false, "1e40", 4}, {kDp, "nan", 8, false, "nan", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << int{c.type} << " " << c.text << " / "
                                    << c.field_length);
    uint8_t area[54] = {};
    memcpy(area, c.text.data(), c.text.size());
    uint32_t value_len = static_cast<uint32_t>(c.text.size());
    EXPECT_EQ(cnvt_jump[c.type](area, c.field_length, &value_len), c.ok);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(area), c.area.size()), c.area);
    EXPECT_EQ(value_len, c.value_len);
  }
}

TEST(LiteralConversion, MbfEncoding) {
  struct Case {
    long double value;
    uint32_t length;
    std::string bytes;
  } cases[] = {
      {1.0L, 4, hex("00000081")}, {-1.0L, 4, hex("00008081")}, {0.5L, 4, hex("00000080")},
      {-0.0L, 4, hex("00000000")}, {10.0L, 4, hex("00002084")},
      {0.1L, 4, hex("CDCC4C7D")},  // 0.CCCCCC|CC... rounds the last byte up
      {1.0L, 8, hex("0000000000000081")}, {10.0L, 8, hex("0000000000002084")},
      {0.1L, 8, hex("CDCCCCCCCCCC4C7D")},
      {1.0L - 0x1p-30L, 4, hex("00000081")},  // the rounding carries into the exponent
      {0x1p126L, 4, hex("000000FF")}, {0x1p-128L, 4, hex("00000001")},
      {0x1p-129L, 4, hex("00000000")}, {-0x1p-200L, 8, std::string(8, '\0')},  // too small: 0
  };
  for (const Case& c : cases) {
    std::string out(c.length, '\xAA');
    EXPECT_TRUE(mbf_encode(c.value, c.length, reinterpret_cast<uint8_t*>(out.data())));
    EXPECT_EQ(out, c.bytes) << static_cast<double>(c.value) << " in " << c.length;
  }
  uint8_t out[8] = {0x11};
  EXPECT_FALSE(mbf_encode(0x1p127L, 4, out));
  EXPECT_FALSE(mbf_encode(1.0L, 5, out));
  EXPECT_FALSE(mbf_encode(__builtin_infl(), 8, out));
  EXPECT_EQ(out[0], 0x11);  // nothing written on failure
}

TEST(LiteralConversion, Hex2bin) {
  struct Case {
    std::string digits;
    bool ok;
    std::string bytes;
  } cases[] = {
      {"C1C2", true, hex("C1C2")}, {"c1c2", true, hex("C1C2")},
      {"0123456789abcdefABCDEF", true, hex("0123456789ABCDEFABCDEF")},
      {"C1C", false, ""}, {"G1", false, ""}, {"1G", false, ""},
      {"", true, "&H"},                      // nothing written
      {"41\0" "42"s, true, "AH41\0" "42"s},  // the pair after the NUL is never read
      {"4\0" "1"s, false, ""},               // a NUL as the second digit
  };
  for (const Case& c : cases) {
    uint8_t area[54] = {};
    memcpy(area, ("&H" + c.digits).data(), c.digits.size() + 2);
    EXPECT_EQ(hex2bin(area), c.ok) << c.digits;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(area), c.bytes.size()), c.bytes) << c.digits;
  }
}

// The EBCDIC table in full, by ASCII byte, and its exact inverse.
TEST(Translation, TablesAreExactInverses) {
  const std::string ebcdic = hex(
      "00010203372D2E2F0805150B0C0D0E0F10111213B6B5322618193F27221D1E1F"
      "405A7F7B5B6C507D4D5D5C4E6B604B61F0F1F2F3F4F5F6F7F8F97A5E4C7E6E6F"
      "7CC1C2C3C4C5C6C7C8C9D1D2D3D4D5D6D7D8D9E2E3E4E5E6E7E8E9BAE0BBB06D"
      "79818283848586878889919293949596979899A2A3A4A5A6A7A8A9C04FD0A104"
      "68DC5142434447485253545756586367719C9ECBCCCDDBDDDFECFC4AB1B20607"
      "4555CEDE49699A9BABB95FB8B7AA8A8B090A1425B4171A1B1C16202123BDBEBF"
      "2428292ABC2B2C303133CA34353638CF393A3B3C3D3E41466264DA65666A7273"
      "745975767778A0808C8D8EEB9D70EEEF9F8FACADAEAFE1ED90FAB3FBFDEAFEFF");
  ASSERT_EQ(ebcdic.size(), 256u);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(ebcdic_table[i], static_cast<uint8_t>(ebcdic[i])) << i;
    EXPECT_EQ(ascii_table[ebcdic_table[i]], i);
    EXPECT_EQ(ebcdic_table[ascii_table[i]], i);
  }
}

TEST(Translation, InPlaceUpToTheFirstNul) {
  uint8_t text[] = {'A', 'B', '1', 0, 'C', 0};
  ascii2ebcdic(text);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(text), 6), hex("C1C2F100") + "C\0"s);
  ebcdic2ascii(text);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(text), 6), "AB1\0C\0"s);
  uint8_t every[256];
  for (int i = 0; i < 255; ++i) every[i] = static_cast<uint8_t>(i + 1);
  every[255] = 0;
  ebcdic2ascii(every);
  ascii2ebcdic(every);
  for (int i = 0; i < 255; ++i) EXPECT_EQ(every[i], i + 1);
  uint8_t empty[] = {0, 'A'};
  ebcdic2ascii(empty);
  EXPECT_EQ(empty[1], 'A');
}

TEST(ConditionParser, PostfixSequences) {
  const std::pair<std::string, std::string> cases[] = {
      {"(" + cmp(1) + ")", "1"},
      {"(" + cmp(1) + ",AND," + cmp(2) + ",OR," + cmp(3) + ")", "1 2 AND 3 OR"},
      {"(" + cmp(1) + ",OR," + cmp(2) + ",AND," + cmp(3) + ")", "1 2 OR 3 AND"},
      {"(" + cmp(1) + ",AND,(" + cmp(2) + ",OR," + cmp(3) + "))", "1 2 3 OR AND"},
      {"((" + cmp(1) + ",O," + cmp(2) + "),A,(" + cmp(3) + ",or," + cmp(4) + "))",
       "1 2 OR 3 4 OR AND"},
      {std::string(98, '(') + cmp(1) + std::string(98, ')'), "1"},  // the deepest nesting
  };
  for (const auto& [operand, sequence] : cases) {
    ASSERT_EQ(parse_control("INCLUDE " + operand), 0u) << operand;
    EXPECT_EQ(compiled(), sequence) << operand;
    EXPECT_EQ(gv.stack_top, kCondStackSize);
  }
  // A second statement replaces the first; connector slots become comparisons.
  ASSERT_EQ(parse_control("INCLUDE (" + cmp(1) + ",AND," + cmp(2) + ",OR," + cmp(3) +
                          ") INCLUDE (" + cmp(7) + ") , SORT (1,1,CH,A)"),
            0u);
  EXPECT_EQ(compiled(), "7");
  for (uint32_t i = 1; i < 5; ++i) EXPECT_EQ(element(i), std::vector<uint32_t>(8, 0)) << i;
  EXPECT_EQ(sp.count, 1u);  // the scan goes on after the statement
}

TEST(ConditionParser, ElementFields) {
  ASSERT_EQ(parse_control("OMIT (3,4,INT,GT,\"100\",AND,#2,ALP,ne,7,2,or,1,0,CH,LE,#3)"), 0u);
  EXPECT_EQ(cp[kCpOmit], 1);
  ASSERT_EQ(ip.count, 5u);
  EXPECT_EQ(element(0), (std::vector<uint32_t>{kComparison, 3, 4, kInt, kGt, 0, 0, 4}));
  EXPECT_EQ(literal(4), "\x64\0\0\0"s);  // converted: its length, not the text's
  EXPECT_EQ(element(1), (std::vector<uint32_t>{kComparison, 2, 0, kAlp, kNe, 7, 2, 0}));
  EXPECT_EQ(element(2)[0], kAnd);
  EXPECT_EQ(element(3), (std::vector<uint32_t>{kComparison, 1, 0, kCha, kLe, 3, 0, 0}));
  EXPECT_EQ(element(4)[0], kOr);
  ASSERT_EQ(parse_control("INCLUDE (1,4,INT,GT,100,4)"), 0u);  // unquoted: a second field
  EXPECT_EQ(element(0), (std::vector<uint32_t>{kComparison, 1, 4, kInt, kGt, 100, 4, 0}));
}

TEST(ConditionParser, LiteralForms) {
  const std::string fifty(50, 'z');
  const std::pair<std::string, std::string> cases[] = {
      {"INCLUDE (1,3,PD,EQ,\"&H00123C\")", "\x00\x12\x3C"s},
      {"INCLUDE (1,2,CHA,EQ,\"&eAB\")", "\xC1\xC2"s},
      {"INCLUDE (1,2,CHA,EQ,\"&h\")", ""}, {"INCLUDE (1,2,CHA,EQ,\"\")", ""},
      {"APOST INCLUDE (1,2,CHA,EQ,'a\"b')", "a\"b"},
      {"INCLUDE (1,50,CHA,EQ,\"" + fifty + "\")", fifty},
      // A NUL is content; EBCDIC translation stops at it.
      {"INCLUDE (1,3,CHA,EQ,\"a\0b\")"s, "a\0b"s}, {"INCLUDE (1,3,CHA,EQ,\"&EA\0B\")"s, "\xC1\0B"s},
  };
  for (const auto& [control, value] : cases) {
    ASSERT_EQ(parse_control(control), 0u) << control;
    EXPECT_EQ(ip.entries[0].lit_len, value.size()) << control;
    EXPECT_EQ(literal(value.size()), value) << control;
    EXPECT_EQ(ip.entries[0].lit[kMaxLiteralText], 0) << control;
  }
}

TEST(ConditionParser, FailureStatuses) {
  auto chain = [](int n) {
    std::string s = "INCLUDE (" + cmp(1);
    for (int i = 2; i <= n; ++i) s += ",AND," + cmp(i);
    return s + ")";
  };
  ASSERT_EQ(parse_control(chain(30)), 0u);
  EXPECT_EQ(ip.count, 59u);
  const std::pair<std::string, uint32_t> cases[] = {
      {chain(31), kTableFull},  // 61 elements
      {"INCLUDE " + std::string(99, '(') + cmp(1) + std::string(99, ')'), kTableFull},
      {"INCLUDE", kIncludeOperand}, {"OMIT", kOmitOperand}, {"INCLUDE (", kIncludeOperand},
      {"INCLUDE (" + cmp(1) + "))", kIncludeOperand}, {"OMIT (" + cmp(1) + "))", kOmitOperand},
      {"INCLUDE " + cmp(1) + ")", kIncludeOperand},
      {"INCLUDE (" + cmp(1) + ",XXX," + cmp(2) + ")", kIncludeOperand},
      {"INCLUDE (0,1,CH,EQ,\"A\")", kBadPosition}, {"INCLUDE (-1,1,CH,EQ,\"A\")", kBadPosition},
      {"INCLUDE (X,1,CH,EQ,\"A\")", kBadPosition}, {"INCLUDE (#0,CH,EQ,\"A\")", kBadPosition},
      {"INCLUDE (#,CH,EQ,\"A\")", kBadPosition}, {"INCLUDE (1,1,CH,EQ,0,1)", kBadPosition},
      {"INCLUDE (1,1,CH,EQ,#0)", kBadPosition},
      {"INCLUDE (1", kBadLength}, {"INCLUDE (1,-1,CH,EQ,\"A\")", kBadLength},
      {"INCLUDE (1,1,CH,EQ,2", kBadLength}, {"INCLUDE (1,1,CH,EQ,2,-1)", kBadLength},
      {"INCLUDE (1,1", kBadFieldType}, {"INCLUDE (1,1,XY,EQ,\"A\")", kBadFieldType},
      {"INCLUDE (1,1,CH", kBadOperator}, {"INCLUDE (1,1,CH,EX,\"A\")", kBadOperator},
      {"INCLUDE (1,4,INT,CO,\"1\")", kBadOperator},
      {"INCLUDE (1,1,CH,EQ,\"A\"", kTableFull}, {"INCLUDE ((" + cmp(1) + ")", kTableFull},
      {"INCLUDE " + cmp(1), kTableFull},
      {"INCLUDE (1,1,CH,EQ", kBadLiteral}, {"INCLUDE (1,1,CH,EQ,\"A", kBadLiteral},
      {"INCLUDE (1,50,CHA,EQ,\"" + std::string(51, 'z') + "\")", kBadLiteral},
      {"INCLUDE (1,3,PD,EQ,\"123\")", kBadLiteral}, {"INCLUDE (1,3,INT,EQ,\"1\")", kBadLiteral},
      {"INCLUDE (#1,INT,EQ,\"1\")", kBadLiteral}, {"INCLUDE (1,3,CH,EQ,\"&HC1C\")", kBadLiteral},
      {"INCLUDE (1,3,CH,EQ,\"&HG1\")", kBadLiteral}, {"INCLUDE (1,3,SP,EQ,\"1\")", kBadLiteral},
      {"INCLUDE (" + cmp(1) + ",BUT," + cmp(2) + ")", kBadConnector},
      {"INCLUDE " + cmp(1) + " SORT (1,1,CH,A)", kBadConnector},
      // A line end hides the closing parenthesis from the grouping.
      {"INCLUDE (" + cmp(1) + "\n) SORT (1,1,CH,A)", kBadConnector},
      {"INCLUDE (" + cmp(1) + ") OMIT (" + cmp(1) + ")", conflict_status(kCpInclude, kCpOmit)},
  };
  for (const auto& [control, status] : cases) EXPECT_EQ(parse_control(control), status) << control;
}

TEST(ConditionParser, ContainsRoutines) {
  EXPECT_EQ(strncmp2("abc", "abc", 3), 0);
  EXPECT_NE(strncmp2("abc", "abC", 3), 0);
  EXPECT_EQ(strncmp2("x", "y", 0), 0);
  EXPECT_EQ(strncmpi2("a*c", "AzC", 3), 0);
  EXPECT_EQ(strncmpi2("a*c", "A*C", 3), 0);
  EXPECT_NE(strncmpi2("*", "*x", 2), 0);  // '*' matches only in the value
  EXPECT_NE(strncmpi2("a", "*", 1), 0);
  EXPECT_NE(strncmpi2("@", "`", 1), 0);  // not letters: no case folding
  EXPECT_NE(strncmpi2("[", "{", 1), 0);
}

// The records of a load that `control` keeps, in table order.
Strings kept_by(const std::string& control, Strings records) {
  EXPECT_EQ(parse_control(control), 0u) << control;
  std::vector<RecordDesc> table;
  for (std::string& r : records) {
    table.push_back(RecordDesc{reinterpret_cast<uint8_t*>(r.data()), 0, 0, 0});
    table.back().len = static_cast<uint32_t>(r.size());
    table.back().seq = static_cast<uint32_t>(table.size() - 1);
  }
  gv.record_table = table.data();
  gv.record_count = static_cast<uint32_t>(table.size());
  s_select();
  Strings kept;
  for (uint32_t i = 0; i < gv.record_count; ++i) kept.push_back(records[table[i].seq]);
  EXPECT_EQ(gv.stack_top, kCondStackSize);
  return kept;
}
std::string le32(int32_t v) { return native(v); }
std::string f64(double v) { return native(v); }

TEST(Selection, Semantics) {
  const Strings abc = {"ABCD\n", "ABXD\n", "AB\n", "ABC\n"};
  const Strings abcx = {"AXX", "AXC", "XBC", "XBX", "XXX"};
  const std::string a = "1,1,CH,EQ,\"A\"", b = "2,1,CH,EQ,\"B\"", c = "3,1,CH,EQ,\"C\"";
  const Strings pd = {hex("00123C"), hex("00123D"), hex("C1C240")};
  // MBF singles 1, 2, -3 and 10.
  const Strings mbf = {hex("00000081"), hex("00000082"), hex("0000C082"), hex("00002084")};
  const std::string w300 = hex("2C01"), w299 = hex("2B01"), w512 = hex("0002");
  const struct Case {
    std::string control;
    Strings records, kept;
  } cases[] = {
      {"INCLUDE (1,3,CHA,EQ,\"ABC\")", abc, {"ABCD\n", "ABC\n"}},
      {"OMIT (1,3,CHA,EQ,\"ABC\")", abc, {"ABXD\n", "AB\n"}},
      {"INCLUDE (1,3,CH,EQ,\"AB\")", abc, {}},  // a 2-byte value never equals a 3-byte field
      {"INCLUDE (1,3,CH,CO,\"AB\")", {"ABx", "xAB", "xxAB", "aBx"}, {"ABx", "xAB"}},
      {"INCLUDE (1,5,ALP,CO,\"b*d\")", {"xxBCD", "aBxDy", "xxBCE", "bd", "abXd"},
       {"xxBCD", "aBxDy", "abXd"}},
      {"INCLUDE (1,3,CH,CO,\"\")", {"\n", "abc\n"}, {"\n", "abc\n"}},
      {"INCLUDE (1,2,CHA,EQ,3,2)", {"ABAB\n", "ABBA\n", "ABA\n"}, {"ABAB\n"}},
      {"INCLUDE (#2,CHA,EQ,#3)", {"x,ab,ab\n", "x,ab,ac\n", "x,,\n"}, {"x,ab,ab\n"}},
      {"INCLUDE (#2,CHA,GT,\"b\")", {"1,c\n", "1,a\n", "c\n"}, {"1,c\n"}},
      {"RECORD (3) INCLUDE (1,3,PD,EQ,\"&H00123C\")", pd, {pd[0]}},
      {"RECORD (3) INCLUDE (1,2,CHA,EQ,\"&EAB\")", pd, {pd[2]}},
      // AND and OR from left to right, without precedence; parentheses group.
      {"INCLUDE (" + a + ",OR," + b + ",AND," + c + ")", abcx, {"AXC", "XBC"}},
      {"INCLUDE (" + a + ",OR,(" + b + ",AND," + c + "))", abcx, {"AXX", "AXC", "XBC"}},
      {"OMIT (" + a + ",OR,(" + b + ",AND," + c + "))", abcx, {"XBX", "XXX"}},
      {"RECORD (4) INCLUDE (1,4,INT,GT,\"100\")", {le32(101), le32(100), le32(-5), le32(70000)},
       {le32(101), le32(70000)}},
      {"RECORD (4) INCLUDE (1,4,INT,LE,\"-5\")", {le32(100), le32(-5)}, {le32(-5)}},
      {"RECORD (4) INCLUDE (1,2,BIN,EQ,\"-1\")", {"\xFF\xFF\x01\x02", "\xFF\xFE\x01\x02"},
       {"\xFF\xFF\x01\x02"}},
      {"RECORD (2) INCLUDE (1,2,W,GE,\"300\")", {w300, w299, w512}, {w300, w512}},
      {"RECORD (8) INCLUDE (1,8,FL,LE,\"1.5\")", {f64(1.5), f64(2), f64(-7)}, {f64(1.5), f64(-7)}},
      {"RECORD (4) INCLUDE (1,4,SP,GT,\"1.5\")", mbf, {mbf[1], mbf[3]}},
      {"RECORD (4) INCLUDE (1,4,SP,EQ,\"-3\")", mbf, {mbf[2]}},
      {"INCLUDE (1,4,NUM,GT,\"9.5\")", {"  10\n", "   9\n", "9.75\n"}, {"  10\n", "9.75\n"}},
  };
  for (const Case& k : cases) EXPECT_EQ(kept_by(k.control, k.records), k.kept) << k.control;
}

}  // namespace
}  // namespace zara
