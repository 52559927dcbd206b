// The sort's fast path against the reference comparison: abbreviated keys
// must never order two records differently from s_compp, and the sort of a
// load must give exactly the order of s_compp.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "compare/compare.h"
#include "compare/key_prefix.h"
#include "engine/driver.h"
#include "engine/run_state.h"
#include "engine/sort.h"

namespace {

using zara::gv;
using zara::RecordDesc;

struct KeyShape {
  const char* name;
  uint32_t position;
  uint32_t length;  // 0: field #position, 65535: to a NUL
};

const KeyShape kShapes[] = {
    {"positional", 2, 6}, {"long positional", 1, 12}, {"delimited", 2, 0}, {"to NUL", 3, 65535}};

// Random records over a small alphabet (with NUL and delimiter bytes) and
// random lengths, so that equal prefixes, short fields, proper prefixes
// and clipped fields all occur.
std::vector<std::string> random_records(std::mt19937& rng, size_t count) {
  static const char kAlphabet[] = {'\0', ',', 'a', 'b', 'A', 'B', '\x7f', '\x80', '\xff'};
  std::vector<std::string> out;
  for (size_t i = 0; i < count; ++i) {
    std::string r(rng() % 16, '\0');
    for (char& c : r) c = kAlphabet[rng() % sizeof kAlphabet];
    out.push_back(r);
  }
  return out;
}

class FastPath : public ::testing::Test {
 protected:
  void SetUp() override {
    gv.input_names = gv.output_name = gv.control_text = nullptr;
    zara::s_init();
    gv.file_type = zara::kFix;
  }
  void set_key(uint8_t type, uint8_t dir, const KeyShape& shape) {
    zara::sp.count = 2;
    zara::sp.entries[0] = {shape.position, shape.length, type, dir};
    zara::sp.entries[1] = {1, 3, zara::kCha, 1};  // a second key breaks some ties
  }
  std::vector<RecordDesc> describe(std::vector<std::string>& records) {
    std::vector<RecordDesc> d;
    for (size_t i = 0; i < records.size(); ++i)
      d.push_back({reinterpret_cast<uint8_t*>(records[i].data()),
                   static_cast<uint32_t>(records[i].size()), static_cast<uint32_t>(i + 1), 1});
    return d;
  }
};

const uint8_t kAbbreviatedTypes[] = {zara::kCha, zara::kSu, zara::kBin, zara::kAlp, zara::kFi};

TEST_F(FastPath, PrefixOrderAgreesWithTheComparisonWhereverPrefixesDiffer) {
  std::mt19937 rng(20261206);
  for (uint8_t type : kAbbreviatedTypes)
    for (uint8_t dir : {0, 1})
      for (const KeyShape& shape : kShapes) {
        set_key(type, dir, shape);
        const zara::PrefixPlan plan = zara::make_prefix_plan();
        ASSERT_NE(zara::PrefixKind::kNone, plan.kind);
        std::vector<std::string> records = random_records(rng, 300);
        const std::vector<RecordDesc> d = describe(records);
        std::vector<uint64_t> prefix;
        for (const RecordDesc& r : d) prefix.push_back(zara::key_prefix(plan, r.addr, r.len));
        int decided = 0;
        for (size_t i = 0; i < d.size(); ++i)
          for (size_t j = 0; j < d.size(); ++j) {
            if (prefix[i] == prefix[j]) continue;
            ++decided;
            const int expected = zara::s_compp(&d[i], &d[j]);
            ASSERT_EQ(expected, prefix[i] < prefix[j] ? -1 : 1)
                << "type " << int(type) << " dir " << int(dir) << " " << shape.name << " records "
                << i << " and " << j;
          }
        EXPECT_GT(decided, 1000);
      }
}

TEST_F(FastPath, TypesWithoutAbbreviationUseTheComparisonAlone) {
  for (uint8_t type : {zara::kPd, zara::kZd, zara::kNum, zara::kInt, zara::kE, zara::kAlt}) {
    set_key(type, 0, kShapes[0]);
    EXPECT_EQ(zara::PrefixKind::kNone, zara::make_prefix_plan().kind) << int(type);
  }
}

// s_sort on random loads gives the order of a stable sort by s_compp of
// the records in arrival order, for abbreviated and other key types. (ZD
// is left out: a zone that is neither sign ranks "reversed" against
// anything, so random bytes have no consistent order to compare with.)
TEST_F(FastPath, SortedLoadsEqualTheReferenceOrder) {
  std::mt19937 rng(7);
  const uint32_t capacity = 2000;
  std::vector<RecordDesc> table(2 * capacity);
  std::vector<zara::SortEntry> entries(2 * capacity);
  gv.record_table = table.data();
  gv.sort_scratch = table.data() + capacity;
  gv.sort_entries = entries.data();
  gv.record_capacity = capacity;
  const uint8_t types[] = {zara::kCha, zara::kBin, zara::kAlp, zara::kFi,
                           zara::kPd,  zara::kSli, zara::kInt};
  for (uint8_t type : types)
    for (uint8_t dir : {0, 1})
      for (const KeyShape& shape : kShapes) {
        set_key(type, dir, shape);
        std::vector<std::string> records = random_records(rng, 1 + rng() % capacity);
        const std::vector<RecordDesc> d = describe(records);
        std::copy(d.begin(), d.end(), table.begin());
        gv.record_count = static_cast<uint32_t>(d.size());
        zara::s_sort();
        std::vector<RecordDesc> expected = d;
        std::stable_sort(expected.begin(), expected.end(), [](const RecordDesc& a, const RecordDesc& b) {
          return zara::s_compp(&a, &b) < 0;
        });
        for (size_t i = 0; i < d.size(); ++i)
          ASSERT_EQ(expected[i].seq, table[i].seq)
              << "type " << int(type) << " dir " << int(dir) << " " << shape.name << " at " << i;
      }
  gv.record_table = nullptr;
  gv.sort_scratch = nullptr;
  gv.sort_entries = nullptr;
}

}  // namespace
