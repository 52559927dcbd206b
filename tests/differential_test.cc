// The engine against independent sorts of the same generated data: text
// lines against the system's `sort` in the C locale, and fixed records with
// binary, packed and zoned decimal keys against a COBOL program's SORT
// statement. Outputs must agree byte for byte, ties included.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "tests/child_run.h"
#include "tests/test_support.h"

namespace zara_test {
namespace {

bool tool_found(const char* name) {
  const std::string probe = std::string("command -v ") + name + " >/dev/null 2>&1";
  return std::system(probe.c_str()) == 0;
}

// ---- text lines against sort(1) ----

// Lines of printable bytes other than '|', the field separator handed to
// sort(1) so that each line is one field. Many lines share prefixes over a
// small alphabet, so equal keys are common; min_length lets a second key
// lie inside every line.
std::string generated_lines(unsigned seed, int count, int min_length) {
  std::mt19937 gen(seed);
  std::string out;
  for (int i = 0; i < count; ++i) {
    const int length = min_length + static_cast<int>(gen() % static_cast<unsigned>(101 - min_length));
    const int tied = static_cast<int>(gen() % 18);
    for (int j = 0; j < length; ++j) {
      char c;
      if (j < tied) {
        c = "AB"[gen() % 2];
      } else {
        do c = static_cast<char>(0x20 + gen() % 95); while (c == '|');
      }
      out += c;
    }
    out += '\n';
  }
  return out;
}

struct TextCase {
  const char* name;
  const char* control;   // engine control statements
  const char* sort_keys; // the same order for sort(1)
  int min_length;
};

class AgainstSortUtility : public ::testing::TestWithParam<TextCase> {};

TEST_P(AgainstSortUtility, OutputsAreIdentical) {
  if (!tool_found("sort")) GTEST_SKIP() << "sort(1) not found";
  const TextCase c = GetParam();
  ScratchDir dir;
  const std::string data = generated_lines(2024, 40000, c.min_length);
  write_file("in.txt", data);
  const RunResult r = run("in.txt", "engine.txt", c.control);
  ASSERT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 40000u);
  const std::string command =
      std::string("LC_ALL=C sort -s -t '|' ") + c.sort_keys + " in.txt > utility.txt";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string engine = read_file("engine.txt");
  const std::string utility = read_file("utility.txt");
  ASSERT_EQ(engine.size(), utility.size());
  EXPECT_TRUE(engine == utility) << "first difference at byte "
                                 << std::mismatch(engine.begin(), engine.end(), utility.begin()).first -
                                        engine.begin();
}

INSTANTIATE_TEST_SUITE_P(
    Text, AgainstSortUtility,
    ::testing::Values(
        TextCase{"Ascending", "SORT (1,16,CH,A)", "-k1.1,1.16", 0},
        TextCase{"Descending", "SORT (1,16,CH,D)", "-k1.1,1.16r", 0},
        TextCase{"TwoKeys", "SORT (1,4,CH,A,9,8,CH,D)", "-k1.1,1.4 -k1.9,1.16r", 17},
        TextCase{"SmallCoreAscending", "SORT (1,16,CH,A) CORE (60)", "-k1.1,1.16", 0},
        TextCase{"SmallCoreTwoKeys", "SORT (3,6,CH,D,1,2,CH,A) CORE (60)", "-k1.3,1.8r -k1.1,1.2",
                 17}),
    [](const ::testing::TestParamInfo<TextCase>& i) { return std::string(i.param.name); });

// ---- fixed records against a COBOL SORT ----

// 100-byte records: bytes 1-4 an unsigned big-endian binary (PIC 9(9)
// COMP), 5-9 a packed decimal (PIC S9(9) COMP-3), 10-15 a signed zoned
// decimal with its sign in the zone of the last digit as ASCII COBOL
// writes it (PIC S9(6): zone 3 positive, zone 7 negative), 16-21 an
// unsigned zoned decimal (PIC 9(6)), then the record's serial number.
constexpr int kRecordLength = 100;

// Mostly small values, so that records often tie on the first keys.
int64_t pick(std::mt19937& gen, int64_t small, int64_t large) {
  if (gen() % 8 == 0) return static_cast<int64_t>(gen() % static_cast<uint32_t>(large + 1));
  return static_cast<int64_t>(gen() % static_cast<uint32_t>(small + 1));
}
int64_t pick_signed(std::mt19937& gen, int64_t small, int64_t large) {
  const int64_t v = pick(gen, small, large);
  return gen() % 2 ? -v : v;
}

void put_binary(std::string& rec, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) rec[at + i] = static_cast<char>(v >> (24 - 8 * i));
}

void put_packed(std::string& rec, size_t at, int64_t v) {
  char digits[24];
  snprintf(digits, sizeof digits, "%09lld", static_cast<long long>(v < 0 ? -v : v));
  uint8_t nibbles[10];
  for (int i = 0; i < 9; ++i) nibbles[i] = static_cast<uint8_t>(digits[i] - '0');
  nibbles[9] = v < 0 ? 0xD : 0xC;
  for (int i = 0; i < 5; ++i) rec[at + i] = static_cast<char>((nibbles[2 * i] << 4) | nibbles[2 * i + 1]);
}

void put_zoned(std::string& rec, size_t at, int64_t v, bool is_signed) {
  char digits[24];
  snprintf(digits, sizeof digits, "%06lld", static_cast<long long>(v < 0 ? -v : v));
  for (int i = 0; i < 6; ++i) rec[at + i] = digits[i];
  if (is_signed && v < 0) rec[at + 5] = static_cast<char>(0x70 | (digits[5] - '0'));
}

std::string generated_records(unsigned seed, int count) {
  std::mt19937 gen(seed);
  std::string out;
  for (int i = 0; i < count; ++i) {
    std::string rec(kRecordLength, ' ');
    put_binary(rec, 0, static_cast<uint32_t>(pick(gen, 6, 999999999)));
    put_packed(rec, 4, pick_signed(gen, 4, 999999999));
    put_zoned(rec, 9, pick_signed(gen, 3, 999999), true);
    put_zoned(rec, 15, pick(gen, 2, 999999), false);
    char serial[16];
    snprintf(serial, sizeof serial, "#%08d", i);
    rec.replace(22, 9, serial);
    for (size_t j = 32; j < rec.size(); ++j) rec[j] = static_cast<char>(gen() & 0xFF);
    out += rec;
  }
  return out;
}

TEST(AgainstCobolSort, BinaryPackedAndZonedKeysGiveTheSameOrder) {
  if (!tool_found("cobc")) GTEST_SKIP() << "cobc not found";
  ScratchDir dir;
  const std::string source = std::string(ZARA_TEST_SOURCE_DIR) + "/tests/data/sort_fixed_keys.cob";
  const std::string compile = "cobc -x -o sortkeys '" + source + "' >cobc.log 2>&1";
  if (std::system(compile.c_str()) != 0)
    GTEST_SKIP() << "the COBOL program does not build here: " << read_file("cobc.log");
  const std::string data = generated_records(77, 20000);
  write_file("keys.in", data);
  ASSERT_EQ(std::system("./sortkeys >sortkeys.log 2>&1"), 0) << read_file("sortkeys.log");
  const std::string expected = read_file("keys.cob.out");
  ASSERT_EQ(expected.size(), data.size());
  ASSERT_NE(expected, data);

  const std::string keys = "SORT (1,4,BI,A,5,5,PD,D,10,6,ZD,A,16,6,ZD,A) RECORD (100)";
  for (const char* core : {"", " CORE (60)"}) {
    const RunResult r = run("keys.in", "keys.engine.out", keys + core);
    ASSERT_EQ(r.status, 0u) << core;
    EXPECT_EQ(r.records, 20000u) << core;
    const std::string engine = read_file("keys.engine.out");
    ASSERT_EQ(engine.size(), expected.size()) << core;
    const auto where = std::mismatch(engine.begin(), engine.end(), expected.begin()).first;
    EXPECT_TRUE(where == engine.end())
        << core << ": first difference in record " << (where - engine.begin()) / kRecordLength;
  }
}

}  // namespace
}  // namespace zara_test
