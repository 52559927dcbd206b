// The engine against independent sorts of the same generated data: text
// lines against the system's `sort` in the C locale, and fixed records with
// binary, packed and zoned decimal keys against a COBOL program's SORT
// statement. Outputs must agree byte for byte, ties included.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "tests/test_support.h"

namespace zara_test {
namespace {

int shell(const std::string& command) { return std::system(command.c_str()); }
bool tool_found(const std::string& tool) { return shell("command -v " + tool + ">/dev/null") == 0; }

void expect_same(const std::string& engine, const std::string& other, size_t unit) {
  ASSERT_EQ(engine.size(), other.size());
  const size_t at =
      std::mismatch(engine.begin(), engine.end(), other.begin()).first - engine.begin();
  EXPECT_EQ(at, engine.size()) << "first difference in unit " << at / unit;
}

// Lines of printable bytes other than '|', the field separator handed to
// sort(1) so that each line is one field. Many lines share prefixes over
// "AB", so equal keys are common; min_length lets a second key lie inside
// every line.
std::string generated_lines(unsigned seed, int count, uint32_t min_length) {
  std::mt19937 gen(seed);
  auto printable = [&] {
    char c;
    do c = char(0x20 + gen() % 95); while (c == '|');
    return c;
  };
  std::string out;
  for (int i = 0; i < count; ++i) {
    const uint32_t length = min_length + gen() % (101 - min_length), tied = gen() % 18;
    for (uint32_t j = 0; j < length; ++j) out += j < tied ? "AB"[gen() % 2] : printable();
    out += '\n';
  }
  return out;
}

TEST(AgainstSortUtility, OutputsAreIdentical) {
  if (!tool_found("sort")) GTEST_SKIP() << "sort(1) not found";
  const struct {
    const char *control, *sort_keys;  // the same order for both
    uint32_t min_length;
  } cases[] = {
      {"SORT (1,16,CH,A)", "-k1.1,1.16", 0},
      {"SORT (1,16,CH,D)", "-k1.1,1.16r", 0},
      {"SORT (1,4,CH,A,9,8,CH,D)", "-k1.1,1.4 -k1.9,1.16r", 17},
      {"SORT (1,16,CH,A) CORE (60)", "-k1.1,1.16", 0},
      {"SORT (3,6,CH,D,1,2,CH,A) CORE (60)", "-k1.3,1.8r -k1.1,1.2", 17},
  };
  ScratchDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.control);
    write_file("in.txt", generated_lines(2024, 40000, c.min_length));
    const RunResult r = run("in.txt", "engine.txt", c.control);
    ASSERT_EQ(r.status, 0u);
    EXPECT_EQ(r.records, 40000u);
    ASSERT_EQ(shell("LC_ALL=C sort -s -t '|' " + std::string(c.sort_keys) + " in.txt >ut.txt"), 0);
    expect_same(read_file("engine.txt"), read_file("ut.txt"), 1);
  }
}

// 100-byte records: bytes 1-4 an unsigned big-endian binary (PIC 9(9)
// COMP), 5-9 a packed decimal (PIC S9(9) COMP-3), 10-15 a signed zoned
// decimal with its sign in the zone of the last digit as ASCII COBOL
// writes it (PIC S9(6): zone 3 positive, zone 7 negative), 16-21 an
// unsigned zoned decimal (PIC 9(6)), then the record's serial number.
constexpr int kRecordLength = 100;

// Mostly small values, so that records often tie on the first keys.
int64_t pick(std::mt19937& gen, uint32_t small, uint32_t large, bool is_signed) {
  const bool wide = gen() % 8 == 0;
  const int64_t v = gen() % ((wide ? large : small) + 1);
  return is_signed && gen() % 2 ? -v : v;
}

std::string digits(int64_t v, int n) {
  char d[24];
  snprintf(d, sizeof d, "%0*lld", n, static_cast<long long>(v < 0 ? -v : v));
  return d;
}

std::string generated_records(unsigned seed, int count) {
  std::mt19937 gen(seed);
  std::string out;
  for (int i = 0; i < count; ++i) {
    std::string rec(kRecordLength, ' ');
    const uint32_t binary = static_cast<uint32_t>(pick(gen, 6, 999999999, false));
    for (int b = 0; b < 4; ++b) rec[b] = static_cast<char>(binary >> (24 - 8 * b));
    const int64_t packed = pick(gen, 4, 999999999, true);
    const std::string nibbles = digits(packed, 9) + char('0' + (packed < 0 ? 0xD : 0xC));
    for (int b = 0; b < 5; ++b)
      rec[4 + b] = char((nibbles[2 * b] - '0') << 4 | (nibbles[2 * b + 1] - '0'));
    const int64_t zoned = pick(gen, 3, 999999, true);
    rec.replace(9, 6, digits(zoned, 6));
    if (zoned < 0) rec[14] = static_cast<char>(0x70 | (rec[14] - '0'));
    rec.replace(15, 6, digits(pick(gen, 2, 999999, false), 6));
    rec.replace(22, 9, "#" + digits(i, 8));
    for (size_t j = 32; j < rec.size(); ++j) rec[j] = static_cast<char>(gen() & 0xFF);
    out += rec;
  }
  return out;
}

TEST(AgainstCobolSort, BinaryPackedAndZonedKeysGiveTheSameOrder) {
  if (!tool_found("cobc")) GTEST_SKIP() << "cobc not found";
  ScratchDir dir;
  const std::string source = std::string(ZARA_TEST_SOURCE_DIR) + "/tests/data/sort_fixed_keys.cob";
  if (shell("cobc -x -o sortkeys '" + source + "' >cobc.log 2>&1") != 0)
    GTEST_SKIP() << "the COBOL program does not build here: " << read_file("cobc.log");
  const std::string data = generated_records(77, 20000);
  write_file("keys.in", data);
  ASSERT_EQ(shell("./sortkeys >sortkeys.log 2>&1"), 0) << read_file("sortkeys.log");
  const std::string expected = read_file("keys.cob.out");
  ASSERT_NE(expected, data);
  for (const char* core : {"", " CORE (60)"}) {
    SCOPED_TRACE(core);
    const std::string keys = "SORT (1,4,BI,A,5,5,PD,D,10,6,ZD,A,16,6,ZD,A) RECORD (100)";
    const RunResult r = run("keys.in", "keys.engine.out", keys + core);
    ASSERT_EQ(r.status, 0u);
    EXPECT_EQ(r.records, 20000u);
    expect_same(read_file("keys.engine.out"), expected, kRecordLength);
  }
}

}  // namespace
}  // namespace zara_test
