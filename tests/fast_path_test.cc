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

// Key shapes: positional, long positional, field #2 (delimited), to a NUL.
const uint32_t kShapes[][2] = {{2, 6}, {1, 12}, {2, 0}, {3, 65535}};

// Random records over a small alphabet (with NUL and delimiter bytes) and
// random lengths, so that equal prefixes, short fields, proper prefixes
// and clipped fields all occur; described in arrival order.
std::vector<RecordDesc> random_records(std::mt19937& rng, size_t count,
                                       std::vector<std::string>& bytes) {
  static const char kAlphabet[] = {'\0', ',', 'a', 'b', 'A', 'B', '\x7f', '\x80', '\xff'};
  bytes.assign(count, "");
  std::vector<RecordDesc> d;
  for (uint32_t i = 0; i < count; ++i) {
    bytes[i].resize(rng() % 16);
    for (char& c : bytes[i]) c = kAlphabet[rng() % sizeof kAlphabet];
    d.push_back({reinterpret_cast<uint8_t*>(bytes[i].data()), uint32_t(bytes[i].size()), i + 1,
                 1});
  }
  return d;
}

// ZD is not sorted here: a zone that is neither sign ranks "reversed"
// against anything, so random bytes have no consistent order to compare
// with; NUM, E and ALT are only checked for having no abbreviation.
TEST(FastPath, PrefixesAndSortedLoadsAgreeWithTheComparison) {
  gv.input_names = gv.output_name = gv.control_text = nullptr;
  zara::s_init();
  gv.file_type = zara::kFix;
  const uint32_t capacity = 2000;
  std::vector<RecordDesc> table(2 * capacity);
  std::vector<zara::SortEntry> entries(2 * capacity);
  gv.record_table = table.data();
  gv.sort_scratch = table.data() + capacity;
  gv.sort_entries = entries.data();
  gv.record_capacity = capacity;
  std::mt19937 rng(20261206);
  std::vector<std::string> bytes;
  const uint8_t abbreviated[] = {zara::kCha, zara::kSu, zara::kBin, zara::kAlp, zara::kFi};
  for (uint8_t type : {zara::kCha, zara::kSu, zara::kBin, zara::kAlp, zara::kFi, zara::kPd,
                       zara::kSli, zara::kInt, zara::kZd, zara::kNum, zara::kE, zara::kAlt})
    for (uint8_t dir : {0, 1})
      for (const auto& [position, length] : kShapes) {
        SCOPED_TRACE(testing::Message() << "type " << int(type) << " dir " << int(dir)
                                        << " field " << position << "," << length);
        zara::sp.count = 2;  // the key under test, then one that breaks some ties
        zara::sp.entries[0] = {position, length, type, dir};
        zara::sp.entries[1] = {1, 3, zara::kCha, 1};
        const zara::PrefixPlan plan = zara::make_prefix_plan();
        const bool abbreviates = std::count(std::begin(abbreviated), std::end(abbreviated), type);
        ASSERT_EQ(plan.kind != zara::PrefixKind::kNone, abbreviates);
        if (abbreviates) {
          const std::vector<RecordDesc> d = random_records(rng, 300, bytes);
          std::vector<uint64_t> prefix;
          for (const RecordDesc& r : d) prefix.push_back(zara::key_prefix(plan, r.addr, r.len));
          int decided = 0;
          for (size_t i = 0; i < d.size(); ++i)
            for (size_t j = 0; j < d.size(); ++j) {
              if (prefix[i] == prefix[j]) continue;
              ++decided;
              ASSERT_EQ(zara::s_compp(&d[i], &d[j]), prefix[i] < prefix[j] ? -1 : 1)
                  << "records " << i << " and " << j;
            }
          EXPECT_GT(decided, 1000);
        }
        if (type == zara::kZd || type == zara::kNum || type == zara::kE || type == zara::kAlt)
          continue;
        const std::vector<RecordDesc> d = random_records(rng, 1 + rng() % capacity, bytes);
        std::copy(d.begin(), d.end(), table.begin());
        gv.record_count = static_cast<uint32_t>(d.size());
        zara::s_sort();
        std::vector<RecordDesc> expected = d;
        std::stable_sort(expected.begin(), expected.end(),
                         [](const auto& a, const auto& b) { return zara::s_compp(&a, &b) < 0; });
        for (size_t i = 0; i < d.size(); ++i) ASSERT_EQ(expected[i].seq, table[i].seq) << i;
      }
  gv.record_table = gv.sort_scratch = nullptr;
  gv.sort_entries = nullptr;
}

}  // namespace
