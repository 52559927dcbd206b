// Field comparison and selection: the comparison routines of the 19 field types (rules, and order by value over
// random fields), field location, literal conversion, INCLUDE and OMIT, statement statuses, OUTREC, SUM and what
// DUPOUT, DUPEX, DUPIN and SUM write. Fields live in heap blocks of exactly their size: ASan sees reads past them.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <random>

#include "compare/compare.h"
#include "control/dispatcher.h"
#include "engine/driver.h"
#include "records/field_location.h"
#include "records/outrec.h"
#include "select/conditions.h"
#include "select/literal_conversion.h"
#include "select/sum.h"
#include "tests/test_support.h"

namespace zara {
namespace {

using namespace std::string_literals;
using namespace zara_test;
using Strings = std::vector<std::string>;

std::vector<uint8_t> exact(std::string_view s) { return {s.begin(), s.end()}; }
template <class T> std::string native(T v) { return std::string(reinterpret_cast<const char*>(&v), sizeof v); }
std::string hex(std::string_view d, std::string out = "") {  // "00FF" -> the bytes 00 FF
  for (size_t i = 0; i + 1 < d.size(); i += 2) out += char(std::stoi(std::string(d.substr(i, 2)), nullptr, 16));
  return out;
}

// The operands (hexadecimal bytes or 'text') and operators of a row like "00FF < 0100" or "'1' + ' 2' = '3'".
std::vector<std::string> split_row(std::string_view row, std::string* operators = nullptr) {
  std::vector<std::string> operands;
  for (size_t i = 0, end = 0; i < row.size(); i = end + 1) {
    const bool quoted = row[i] == '\'', digits = isxdigit(uint8_t(row[i]));
    end = std::min(quoted ? row.find('\'', i + 1) : digits ? row.find(' ', i) : i, row.size());
    if (quoted) operands.emplace_back(row.substr(i + 1, end - i - 1));
    else if (digits) operands.push_back(hex(row.substr(i, end - i)));
    else if (row[i] != ' ' && operators) operators->push_back(row[i]);
  }
  return operands;
}

uint32_t parse_control(const std::string& text) {  // the status of a fresh run's control text, 0 if accepted
  static std::string kept;  // the scanner keeps pointers into it
  kept = text;
  s_init();
  gv.control_text = kept.data();
  gv.control_length = uint32_t(kept.size());
  return s_ctrl() ? 0 : gv.status_word;
}

int outcome(uint8_t type, const std::string& a, const std::string& b) {
  const auto fa = exact(a), fb = exact(b);
  return comp_jump[type](fa.data(), uint32_t(fa.size()), fb.data(), uint32_t(fb.size()));
}

TEST(Compare, RulesOfEveryType) {
  s_init();
  for (const auto& [byte, weight] : {std::pair{'A', 7}, {'a', 7}, {'B', 8}, {'z', 200}}) gv.altseq_image[9 + byte] = uint8_t(weight);
  // A shorter first field is read as far as it goes and ranks first. Zones: D negative, C positive, 5 other. NUM: the first field
  // picks the code (empty: EBCDIC), unreadable is 0, 19 bytes count. IEEE: other lengths first greater. MBF: exponent last, sign before.
  const std::pair<uint8_t, std::string> rows[] = {
      {kCha, "'ABC' < 'ABD'"}, {kSu, "'AB' < 'ABC'"}, {kSu, "80 > 7F"}, {kAlp, "'abc' = 'ABC'"}, {kAlp, "'ab' < 'ABC'"},
      {kBin, "0103 > 010209"}, {kBin, "01 < 0100"}, {kBin, "'' < 00"}, {kW, "341277 > 3412"}, {kFi, "80 < 0000"}, {kFi, "12 < 1200"},
      {kInt, "7F < 0080"}, {kPd, "12 < 123C"}, {kSti, "F1F2 < F1F2C3"}, {kSli, "71 < 3030"}, {kSli, "31 > 3035"}, {kPd, "999B > 001F"},
      {kZd, "D1 > D2"}, {kZd, "D1 < 51"}, {kZd, "C1 > D1"}, {kZd, "C1 > 51"}, {kZd, "51 > D1"}, {kZd, "51 > 52"}, {kT, "'12-' < '05-'"},
      {kT, "'12+' = '12 '"}, {kSts, "'12' < '12+'"}, {kNum, "F1F0 > F9"}, {kNum, "'  10' > '9.5'"}, {kNum, "40F1 > '5'"},
      {kNum, "'' < F1"}, {kNum, "4BF5 > F0"}, {kNum, "60F5 < F0"}, {kNum, "05F7 = 4EF7"}, {kNum, "'abc' = '0'"}, {kNum, "'nan' = '1'"}, {kNum, "'10000000000000000005' = '1000000000000000000'"},
      {kE, "00000000 = 00000080"}, {kE, "000001 > 000002"}, {kE, "'' > ''"}, {kFl, "0000 < 000080BF"}, {kT, "'' = ''"},
      {kZd, "'' = ''"}, {kFl, "000000000000F87F = 000000000000F03F"}, {kFl, "000002 > 000001"},
      {kSp, "00008081 < 00008080"}, {kSp, "00008080 < 00000000"}, {kSp, "00000080 < FFFF7F80"}, {kSp, "1234D600 = 00008000"},
      {kDp, "0000000000000081 < 0100000000000081"}, {kSp, "000081 < 00000081"}, {kDp, "090909090909FF00 = 0000000000000000"},
      {kDp, "0506 = 0708"}, {kAlt, "'A-B' = 'AB'"}, {kAlt, "'B' > 'AAA'"}, {kAlt, "'AB' > 'A'"}, {kAlt, "'z' > 'a'"},
  };
  for (const auto& [type, row] : rows) {
    std::string op;
    const auto ab = split_row(row, &op);
    const int expected = op == "<" ? kFirstSmaller : op == ">" ? kFirstGreater : kEqual;
    EXPECT_EQ(outcome(type, ab[0], ab[1]), expected) << int{type} << ": " << row;
    if (ab[0].size() == ab[1].size() || type == kNum) continue;  // unequal lengths rank the same either way
    EXPECT_EQ(outcome(type, ab[1], ab[0]), expected ? 3 - expected : kEqual) << "swapped " << row;
  }
  const uint8_t a[] = {1, 5, 3}, b[] = {1, 2, 9}, high[] = {0xFF}, low[] = {0};  // bytes unsigned, forwards and back
  EXPECT_TRUE(mcomp(a, b, 3) == 3 && mcompr(a, b, 3) == -6 && mcomp(a, b, 1) == 0 && mcomp(high, low, 1) == 255);
  for (int zone = 0; zone < 16; ++zone) {  // each zone in its class (negative, positive, other) against positive ones
    const char c = "oonpnoonoopnpnpp"[zone], a[] = {char(zone << 4 | 5), 0};
    EXPECT_EQ(outcome(kZd, a, "\xF5"), c == 'o' ? kFirstGreater : zone == 15 ? kEqual : kFirstSmaller) << zone;
    EXPECT_EQ(outcome(kZd, a, "\x35") == kFirstSmaller, c == 'n' || (c == 'o' && zone > 3)) << zone;
  }
}

// Random fields of each numeric type, often with leading 00 or FF bytes or narrow exponents.
std::mt19937_64 rng;
uint32_t below(uint64_t n) { return uint32_t(rng() % n); }
int64_t decimal(uint32_t digits) { return int64_t(rng() % uint64_t(std::pow(10.0L, below(digits + 1)))) * (below(2) ? -1 : 1); }
// |v| as n digits under `zone`; `minus` marks the sign digit (the first or the last) of a negative v.
std::string zoned(int64_t v, uint32_t n, int zone, int minus = 0, bool sign_first = false) {
  std::string out(n, '\0');
  for (uint64_t i = n, m = v < 0 ? -v : v; i-- > 0; m /= 10) out[i] = char(zone << 4 | m % 10);
  char& sign = sign_first ? out.front() : out.back();
  if (v < 0) sign = char(minus << 4 | (sign & 15));
  return out;
}

long double mbf(const std::string& b, size_t w) {  // ±0.1m × 2^(e−128), m after an implied 1; 0 when e is 0
  uint64_t m = uint8_t(b[w - 2]) | 0x80;
  for (size_t i = w - 2; i-- > 0;) m = m << 8 | uint8_t(b[i]);
  const long double v = b[w - 1] ? std::ldexp((long double)m, uint8_t(b[w - 1]) - 128 - 8 * int(w - 1)) : 0;
  return b[w - 2] & 0x80 ? -v : v;
}

std::pair<long double, std::string> make(uint8_t t, uint32_t w) {
  const uint64_t bits = (rng() >> below(64)) >> (64 - 8 * std::min(w, 8u)), raw = rng() >> below(2);
  const uint32_t single = uint32_t(raw >> (32 + 8 * below(2)));
  const int64_t v = decimal(t == kPd ? 2 * w - 1 : w);
  std::string b = native(bits).substr(0, w), d = zoned(v, 2 * w, 0) + char(v < 0 ? 0xD : 0xC);
  if (t == kBin || t == kFi) std::reverse(b.begin(), b.end());
  switch (t) {
    case kBin: case kW: return {bits, b};
    case kFi: case kInt: return {int64_t(bits << (64 - 8 * w)) >> (64 - 8 * w), b};
    case kPd: b.resize(w);
      for (uint32_t i = 0; i < w; ++i) b[i] = char(d[2 * i + 1] << 4 | d[2 * i + 2]);
      return {v, b};
    case kSts: return {v, zoned(v, w, 3, 3) + (v < 0 ? '-' : below(2) ? '+' : ' ')};
    case kE: return {std::bit_cast<float>(single), native(single)};
    case kFl: return {std::bit_cast<double>(raw), native(raw)};
    case kSp: case kDp:
      b[w - 2] = char(b[w - 2] | below(2) << 7);
      b[w - 1] = char(below(8) ? 126 + below(5) : 0);
      return {mbf(b, w), b};
    default: return {v, t == kSti ? zoned(v, w, 15, 13) : zoned(v, w, 3, 7, t == kSli)};  // ZD, STI, SLI
  }
}

TEST(Compare, NumericTypesOrderByValue) {
  for (const uint8_t t : {kBin, kW, kFi, kInt, kPd, kZd, kSti, kSli, kSts, kE, kFl, kSp, kDp}) {
    for (int i = 0; i < 20000; ++i) {
      const uint32_t w = t == kE || t == kSp ? 4 : t == kFl || t == kDp ? 8  // or 1 up to the longest field
                         : 1 + below(t == kPd ? 9 : t == kSts ? 17 : t == kZd || t == kSti || t == kSli ? 18 : 8);
      const auto x = make(t, w), y = i % 4 ? make(t, w) : x;
      if (std::isnan(x.first) || std::isnan(y.first)) continue;
      const int expected = x.first > y.first ? kFirstGreater : x.first < y.first ? kFirstSmaller : kEqual;
      ASSERT_EQ(outcome(t, x.second, y.second), expected) << "type " << int{t} << ", pair " << i;
    }
  }
}

TEST(FieldLocation, PositionalNulTerminatedAndDelimited) {
  constexpr uint32_t Z = kNulTerminated, H = kDelimitedField;  // length Z; #n
  const std::string quoted = "x,\0p,q\0,y\n"s;
  const struct { uint32_t file_type; std::string record; uint32_t position, length; std::string field; } rows[] = {
      {kFix, "0123456789", 8, 5, "789"}, {kFix, "0123456789", 11, 1, ""}, {kFix, "0123456789", 0xFFFFFFFF, 4, ""},
      {kVs, "pqrsAB", 1, 2, "rs"}, {kRv, "pqrsAB", 1, 2, "qr"}, {kCvs, "pqrsAB", 1, 9, "AB"}, {kCvs, "pqrsAB", 1, Z, "AB"},
      {kTxt, "ab\0cd"s, 1, Z, "ab"}, {kTxt, "ab\0cd"s, 4, Z, "cd"}, {kTxt, "A,B,C\n", 3, H, "C"}, {kTxt, "A,,C\n", 2, H, ""},
      {kTxt, "A,B\n", 3, H, ""}, {kTxt, "A,B,\n", 3, H, "\n"}, {kVs, "ab,c,d\n", 2, H, "c"}, {kTxt, quoted, 2, H, "p,q"},
      {kTxt, quoted, 3, H, "y"}, {kTxt, "x,\0p,q\n"s, 3, H, ""},  // a NUL quotes up to the next NUL
  };
  s_init();
  for (const auto& c : rows) {
    gv.file_type = c.file_type;
    gv.prefix_width = c.file_type == kRv ? 1 : c.file_type == kCvs ? 4 : 0;
    const auto record = exact(c.record);
    const Field f = s_movptr(record.data(), uint32_t(record.size()), c.position, c.length);
    EXPECT_EQ(std::string((const char*)f.addr, f.len), c.field) << "row " << &c - rows;
  }
}

// The value a literal becomes for a field of the type and length: hexadecimal bytes, "=" the text
// kept, or "!" refused (the text stays). MBF rounds to nearest, into the exponent if need be.
TEST(LiteralConversion, EveryType) {
  const struct { uint8_t type; std::string text; uint32_t field_length; std::string value; } rows[] = {
      {kInt, "100", 4, "64000000"}, {kW, "100", 2, "6400"}, {kBin, "100", 4, "00000064"}, {kFi, "100", 4, "00000064"},
      {kBin, "-1", 2, "FFFF"}, {kInt, "65536", 2, "0000"}, {kInt, "ABC", 4, "00000000"}, {kInt, "100", 3, "!"}, {kInt, "100", 0, "!"},
      {kFl, "1.5", 8, "000000000000F83F"}, {kE, "-0.25", 4, "000080BE"}, {kE, "1e300", 4, "0000807F"}, {kFl, "1.5", 6, "="},
      {kCha, "12", 4, "="}, {kAlp, "12", 4, "="}, {kNum, "12", 4, "="}, {kSts, "12", 4, "="}, {kSu, "1", 1, "!"}, {kSli, "1", 1, "!"},
      {kSti, "1", 1, "!"}, {kZd, "1", 1, "!"}, {kT, "1", 1, "!"}, {kPd, "1", 1, "!"}, {kAlt, "1", 1, "!"}, {kSp, "10", 4, "00002084"}, {kSp, "0", 4, "00000000"}, {kFi, "1", 3, "!"},
      {kDp, "-1", 8, "0000000000008081"}, {kSp, "0.1", 4, "CDCC4C7D"}, {kDp, "0.1", 8, "CDCCCCCCCCCC4C7D"}, {kSp, "0x1p126", 4, "000000FF"},
      {kSp, "0x0.fffffffcp0", 4, "00000081"}, {kSp, "0x1p-128", 4, "00000001"}, {kDp, "-0x1p-129", 8, "0000000000000000"},
      {kSp, "0x1p127", 4, "!"}, {kSp, "1", 3, "!"}, {kDp, "inf", 8, "!"},
  };
  for (const auto& c : rows) {
    uint8_t area[54] = {};
    std::copy(c.text.begin(), c.text.end(), area);
    uint32_t length = uint32_t(c.text.size());
    EXPECT_EQ(cnvt_jump[c.type](area, c.field_length, &length), c.value != "!") << int{c.type} << " " << c.text;
    EXPECT_EQ(std::string((char*)area, length), c.value.size() == 1 ? c.text : hex(c.value)) << int{c.type} << " " << c.text;
  }
}

// The tables are inverse permutations; letters, digits and the bytes of numbers sit where the EBCDIC code puts them.
TEST(LiteralConversion, TranslationTables) {
  for (int i = 0; i < 256; ++i) EXPECT_TRUE(ascii_table[ebcdic_table[i]] == i && ebcdic_table[ascii_table[i]] == i) << i;
  for (int i = 0; i < 26; ++i) {
    const int upper = 0xC1 + i + (i >= 9) * 7 + (i >= 18) * 8;  // A-I C1-C9, J-R D1-D9, S-Z E2-E9
    EXPECT_TRUE(ebcdic_table['A' + i] == upper && ebcdic_table['a' + i] == upper - 0x40 && ebcdic_table['0' + i % 10] == 0xF0 + i % 10) << i;
  }
  EXPECT_EQ(hex("404B4E6005"), std::string({char(ebcdic_table[' ']), char(ebcdic_table['.']), char(ebcdic_table['+']),
                                            char(ebcdic_table['-']), char(ebcdic_table['\t'])}));
}

std::string expand(std::string text) {  // each %n becomes the comparison "byte n is the n-th capital"
  for (size_t i; (i = text.find('%')) != text.npos;) text.replace(i, 2, text[i + 1] + ",1,CH,EQ,\""s + char(text[i + 1] + 16) + '"');
  return text;
}

TEST(Conditions, PostfixOrder) {
  const std::pair<std::string, std::string> sequences[] = {
      {"(%1)", "1"}, {"((%1))", "1"}, {"(%1,AND,%2)", "12&"}, {"(%1,AND,%2,OR,%3)", "12&3|"}, {"(%1,OR,%2,AND,%3)", "12|3&"}, {"(%1,AND,(%2,OR,%3))", "123|&"},
      {"((%1,O,%2),A,(%3,or,%4))", "12|34|&"},
  };
  for (const auto& [operand, sequence] : sequences) {
    ASSERT_EQ(parse_control(expand("INCLUDE " + operand)), 0u) << operand;
    std::string compiled;
    for (uint32_t i = 0; i < ip.count; ++i) compiled += char(ip.entries[i].kind ? "?&|"[ip.entries[i].kind] : '0' + ip.entries[i].pos1);
    EXPECT_EQ(compiled, sequence) << operand;
  }
}

// The records of one load that `control` keeps, in order.
Strings kept_by(const std::string& control, Strings records) {
  EXPECT_EQ(parse_control(expand(control)), 0u) << control;
  std::vector<RecordDesc> table;
  for (std::string& r : records) table.push_back({(uint8_t*)r.data(), uint32_t(r.size()), uint32_t(table.size()), 0});
  gv.record_table = table.data();
  gv.record_count = uint32_t(table.size());
  s_select();
  Strings kept;
  for (uint32_t i = 0; i < gv.record_count; ++i) kept.push_back(records[table[i].seq]);
  return kept;
}

TEST(Conditions, WhichRecordsAreKept) {
  const Strings abc = {"ABCD\n", "ABXD\n", "AB\n", "ABC\n"}, xabc = {"AXX", "AXC", "XBC", "XBX", "XXX"};
  const Strings pd = {hex("00123C"), hex("00123D"), hex("C1C240")}, digits = {hex("0123456789ABCDEFABCDEF"), "0123456789A"};
  const struct { std::string control; Strings records, kept; } rows[] = {  // AND and OR from left to right
      {"INCLUDE (1,3,CHA,EQ,\"ABC\")", abc, {"ABCD\n", "ABC\n"}}, {"OMIT (1,3,CHA,EQ,\"ABC\")", abc, {"ABXD\n", "AB\n"}},
      {"INCLUDE (1,3,CH,EQ,\"AB\")", abc, {}}, {"INCLUDE (1,3,CH,CO,\"AB\")", {"ABx", "xAB", "xxAB", "aBx"}, {"ABx", "xAB"}},
      {"INCLUDE (1,3,CH,CO,\"\")", {"\n"}, {"\n"}},
      {"INCLUDE (1,5,ALP,CO,\"b*d\")", {"xxBCD", "aBxDy", "xxBCE", "bd", "abXd", "b*D", "bD*"}, {"xxBCD", "aBxDy", "abXd", "b*D"}},
      {"INCLUDE (#2,CHA,EQ,1,2)", {"ab,ab\n", "ab,ac\n"}, {"ab,ab\n"}}, {"INCLUDE (1,3,PD,EQ,\"&H00123C\")", pd, {pd[0]}},
      {"INCLUDE (1,2,CHA,EQ,\"&eAB\")", pd, {pd[2]}}, {"INCLUDE (1,11,CH,EQ,\"&h0123456789abcdefABCDEF\")", digits, {digits[0]}},
      {"INCLUDE (1,4,INT,GT,\"100\")", {native(101), native(100), native(-5), native(70000)}, {native(101), native(70000)}},
      {"INCLUDE (1,4,INT,LE,\"100\")", {native(101), native(100), native(-5)}, {native(100), native(-5)}},
      {"INCLUDE (1,4,INT,GE,\"100\")", {native(101), native(100), native(-5)}, {native(101), native(100)}},
      {"INCLUDE (1,4,INT,LT,\"100\")", {native(101), native(100), native(-5)}, {native(-5)}},
      {"INCLUDE (1,4,INT,NE,\"100\")", {native(101), native(100), native(-5)}, {native(101), native(-5)}},
      {"INCLUDE (1,4,INT,GT,5,4)", {native(7) + native(5), native(5) + native(7)}, {native(7) + native(5)}},  // a field
      {"INCLUDE (1,2,CHA,EQ,3,2)", {"abab", "abac"}, {"abab"}}, {"INCLUDE (#2,CHA,EQ,#3)", {"x,a,a\n", "x,a,b\n"}, {"x,a,a\n"}},
      {"INCLUDE (1,1,ALP,CO,\"@\")", {"`", "@"}, {"@"}},  // only letters match in either case
      {"INCLUDE (%1,OR,%2,AND,%3)", xabc, {"AXC", "XBC"}}, {"INCLUDE (%1,OR,(%2,AND,%3))", xabc, {"AXX", "AXC", "XBC"}},
      {"OMIT (%1,OR,(%2,AND,%3))", xabc, {"XBX", "XXX"}},
  };
  for (const auto& k : rows) EXPECT_EQ(kept_by(k.control, k.records), k.kept) << k.control;
}

TEST(OutputStatements, OutrecLayouts) {
  const struct { std::string control, record; uint32_t sequence; std::string reformatted; } rows[] = {
      {"OUTREC (1,10,\"-\",11,E)", "ABCDEFGHIJKLM\n", 1, "ABCDEFGHIJ-KLM\n"}, {"OUTREC (RECL,1,5)", "HELLOWORLD", 1, "\x05\0HELLO"s},
      {"OUTREC (ARRN,1,3)", "ABCDEF", 12, "0000012ABC"}, {"OUTREC (RBA,ARRN)", "A", 12345678, "\x4E\x61\xBC\0" "1234567"s},
      {"OUTREC (\"&H0D0A\",CRLF,\"&h\",\"&EAB\",BT-R,HL-R)", "any", 1, "\r\n\r\n\xC1\xC2" + std::string(7, '\0')},
      {"ADDROUT", "whatever", 7, "\x07\0\0\0"s}, {"OUTREC (1,3,RRN) OUTREC (5,1)", "ABCDEFG", 1, "E"},  // the second replaces
      {"OUTREC (1,5,8,4,\"|\",10,E)", "ABCDEF", 1, "ABCDE    |"},  // nothing from outside the record
      {"OUTREC (\"&H414243444546474849\")", "", 1, "ABCDEFGHI"},  // the longest hexadecimal literal
  };
  for (const auto& c : rows) {
    ASSERT_EQ(parse_control(c.control), 0u) << c.control;
    const auto in = exact(c.record);
    std::vector<uint8_t> out(outrec_length(in.data(), uint32_t(in.size())));
    outrec_place(out.data(), in.data(), uint32_t(in.size()), c.sequence);
    EXPECT_EQ(std::string(out.begin(), out.end()), c.reformatted) << c.control;
  }
}

// Rows "held + current = result": integers wrap, decimals lose the top digit, NUM overflows to asterisks, operands that
// are not numbers leave the field. IEEE in host order: 1.5 + 2.25 = 3.75, 3e38 + 3e38 = infinity, 0.5 + -2 = -1.5.
TEST(Sum, EveryTypeAndItsOverflowRule) {
  const std::pair<uint8_t, std::string> rows[] = {
      {kSumBin, "00000003 + 00000003 = 00000006"}, {kSumInt, "03000000 + 03000000 = 06000000"}, {kSumBin, "FF + 01 = 00"},
      {kSumFix, "7F + 01 = 80"}, {kSumWor, "FF00 + 0100 = 0001"}, {kSumInt, "FFFFFFFFFFFFFFFF + FFFFFFFFFFFFFFFF = FEFFFFFFFFFFFFFF"},
      {kSumPd, "012C + 005D = 007C"}, {kSumPd, "999C + 001C = 000C"}, {kSumPd, "5C + 5D = 0D"}, {kSumPd, "1F + 2A = 3C"},
      {kSumPd, "0125 + 005C = 0125"}, {kSumPd, "012C + 0059 = 012C"}, {kSumPd, "0A2C + 001C = 0A2C"}, {kSumZd, "3132 + 3075 = 3037"}, {kSumZd, "F1F2 + F0D5 = F0F7"},
      {kSumZd, "3939 + 3031 = 3030"}, {kSumZd, "35 + 75 = 70"}, {kSumZd, "31C2 + 3031 = 31C3"}, {kSumZd, "3152 + 3031 = 3152"},
      {kSumNum, "'12.50' + ' 1.25' = '13.75'"}, {kSumNum, "'.25' + '.25' = '.50'"}, {kSumNum, "'99' + ' 5' = '**'"},
      {kSumNum, "'**' + ' 1' = '**'"}, {kSumNum, "'1e300     ' + '1e300     ' = '**********'"}, {kSumNum, "F1F2 + 40F5 = F1F7"},
      {kSumNum, "F9F9 + F0F1 = 5C5C"}, {kSumEee, "0000C03F + 00001040 = 00007040"}, {kSumFl, "E6B1617F + E6B1617F = 0000807F"},
      {kSumFl, "000000000000E03F + 00000000000000C0 = 000000000000F8BF"}, {kSumFl, "010203040506 + 010101010101 = 010203040506"},
  };
  for (const auto& [type, row] : rows) {
    std::vector<std::string> v = split_row(row);
    sum_jump[type]((const uint8_t*)v[1].data(), (uint8_t*)v[0].data(), uint32_t(v[0].size()));
    EXPECT_EQ(v[0], v[2]) << int{type} << ": " << row;
  }
}

// The output records of a run over `records` (lines) under `control`, or its failure status.
std::string output_of(const std::string& control, const Strings& records) {
  write_file("in", lines(records));
  const uint32_t status = run("in", "out", control).status;
  return status ? "status " + std::to_string(status) : read_file("out");
}

TEST(Duplicates, WhatEachKindWrites) {
  ScratchDir dir;
  const Strings groups = {"A1", "A2", "A3", "B1", "C1", "C2"};
  // dup_count as each record is written; a held record (line end included) has 1000 bytes at most, 2000 under SUM.
  const std::string dupc = " OUTREC (1,2,DUPC,3,E)", big(999, 'x');
  Strings seven_keys;  // 3000 records need several loads with CORE(40)
  for (int i = 0; i < 3000; ++i) seven_keys.push_back(std::string(1, char('A' + i % 7)));
  const struct { std::string control; Strings records; std::string written; } rows[] = {
      {"DUPOUT (1,1)" + dupc, groups, "A10000003\nB10000001\nC10000002\n"},
      {"DUPOUT (1,1) OUTREC (1,2,DUPC(2),3,E)", groups, "A10000003\nC10000002\n"}, {"DUPEX (1,1)" + dupc, groups, "B10000001\n"},
      {"DUPIN (1,1)" + dupc, groups, "A10000002\nA20000003\nA30000002\nC10000002\nC20000002\n"},
      {"SORT (1,1,CH,A) SUM (2,1,ZD)" + dupc, groups, "A60000003\nB10000001\nC30000002\n"}, {"DUPOUT (1,1) DUPEX (1,1)", groups, "B1\n"},
      {"DUPOUT (1,1) OUTREC (DUPC(3)) OUTREC (1,1,DUPC,3,E)", groups, "A0000003\nB0000001\nC0000002\n"}, {"DUPOUT", {"one"}, "one\n"},
      {"DUPEX", {"one"}, "one\n"}, {"DUPIN", {"one"}, ""}, {"DUPOUT", {}, ""}, {"DUPOUT", {"AB", "AB", "AB ", "ab"}, "AB\nAB \nab\n"},
      {"DUPOUT (1,5)", {"HELLOx", "HELLOy", "HELLz"}, "HELLOx\nHELLz\n"}, {"DUPOUT (#2)", {"x,K1,a", "y,K1,b", "z,K2,c"}, "x,K1,a\nz,K2,c\n"},
      {"DUPOUT (3,E)", {"xxABC", "yyABC", "zzABCD", "A", "B"}, "xxABC\nzzABCD\nA\n"},
      {"SORT (1,1,CH,A) DUPOUT (1,1) OUTREC (1,1,DUPC) CORE(40)", seven_keys, "A0000429B0000429C0000429D0000429E0000428F0000428G0000428"},
      {"DUPOUT", {big}, big + "\n"}, {"DUPOUT", {big + "x"}, "status 256"}, {"DUPOUT (B1001)", {big + "x"}, big + "x\n"},
      {"SORT (1,1,CH,A) SUM", {big + big + "x"}, big + big + "x\n"}, {"SORT (1,1,CH,A) SUM", {big + big + "xx"}, "status 256"},
      {"DUPOUT (B0)", {"x"}, "status 256"}, {"CORE (60) DUPOUT OUTREC (1,E,1,E)", {big}, "status 315"},  // when flushed
      {"CORE (60) DUPOUT OUTREC (1,E,1,E)", {big, "y"}, "status 315"},  // when the next group starts
      {"SORT (1,1,CH,A) SUM (3,1,ZD)", {"A", "A 5", "B 1", "B"}, "A\nB 1\n"},  // a field past either record stays
      {"SORT (1,1,CH,A) SUM (2,3,NUM)", {"A  5x", "A  7y"}, "A 12x\n"},  // the byte after the field stays
  };
  for (const auto& c : rows) EXPECT_EQ(output_of(c.control, c.records), c.written) << c.control;
}

}  // namespace
}  // namespace zara
