// s_compp: records ordered by the key table, then by arrival.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "compare/compare.h"
#include "engine/driver.h"
#include "engine/run_state.h"

namespace zara {
namespace {

constexpr uint8_t kAsc = 0, kDesc = 1;

class KeyCompare : public ::testing::Test {
 protected:
  void SetUp() override { s_init(); }

  static void add_key(uint32_t pos, uint32_t len, uint8_t type, uint8_t dir) {
    sp.entries[sp.count++] = KeyField{pos, len, type, dir};
  }
  // Records of the given texts, numbered from 1 in order.
  void load(const std::vector<std::string>& texts) {
    texts_ = texts;
    records_.clear();
    for (size_t i = 0; i < texts_.size(); ++i) {
      records_.push_back(RecordDesc{reinterpret_cast<uint8_t*>(texts_[i].data()),
                                    static_cast<uint32_t>(texts_[i].size()),
                                    static_cast<uint32_t>(i + 1), 0});
    }
  }
  int compare(size_t i, size_t j) const { return s_compp(&records_[i], &records_[j]); }
  // The texts after a stable sort by s_compp.
  std::vector<std::string> sorted() const {
    std::vector<RecordDesc> order = records_;
    std::sort(order.begin(), order.end(),
              [](const RecordDesc& x, const RecordDesc& y) { return s_compp(&x, &y) < 0; });
    std::vector<std::string> out;
    for (const RecordDesc& r : order) out.emplace_back(reinterpret_cast<const char*>(r.addr), r.len);
    return out;
  }

  std::vector<std::string> texts_;
  std::vector<RecordDesc> records_;
};

TEST_F(KeyCompare, LaterKeysBreakTiesEachInItsOwnDirection) {
  add_key(1, 2, kCha, kAsc);
  add_key(3, 2, kBin, kDesc);
  add_key(5, 1, kCha, kAsc);
  load({"AA01z", "AB00z", "AA02y", "AA01a", "AA10z"});
  EXPECT_EQ(sorted(), (std::vector<std::string>{"AA10z", "AA02y", "AA01a", "AA01z", "AB00z"}));
  EXPECT_EQ(compare(0, 1), -1);
  EXPECT_EQ(compare(1, 0), +1);
  EXPECT_EQ(compare(0, 2), +1);  // second key descending
  EXPECT_EQ(compare(0, 3), +1);  // third key ascending
}

TEST_F(KeyCompare, EqualKeysKeepArrivalOrderInBothDirections) {
  add_key(1, 1, kCha, kDesc);
  load({"b1", "a1", "b2", "a2", "b3"});
  EXPECT_EQ(sorted(), (std::vector<std::string>{"b1", "b2", "b3", "a1", "a2"}));
  sp.entries[0].key_dir = kAsc;
  EXPECT_EQ(sorted(), (std::vector<std::string>{"a1", "a2", "b1", "b2", "b3"}));
}

TEST_F(KeyCompare, TieBreakIsSignedAndNeverZero) {
  add_key(1, 1, kCha, kAsc);
  load({"x", "x"});
  records_[0].seq = 0x80000000u;  // negative as a signed number: first
  records_[1].seq = 1;
  EXPECT_EQ(compare(0, 1), -1);
  EXPECT_EQ(compare(1, 0), +1);
  EXPECT_EQ(compare(0, 0), +1);
}

TEST_F(KeyCompare, KeysAreLocatedPerFileType) {
  gv.file_type = kVs;
  add_key(1, 2, kBin, kAsc);
  load({std::string("\x01\x00\x00\x02", 4), std::string("\x09\x00\x00\x01", 4)});
  EXPECT_EQ(compare(0, 1), +1);  // the prefixes, which would say otherwise, are skipped
}

TEST_F(KeyCompare, DelimitedNumericKeysAndShortRecords) {
  add_key(2, kDelimitedField, kNum, kDesc);
  load({"a,9.5\n", "b,10\n", "c\n", "d,-3\n"});
  EXPECT_EQ(sorted(), (std::vector<std::string>{"b,10\n", "a,9.5\n", "c\n", "d,-3\n"}));
  sp.count = 0;
  add_key(3, 4, kPd, kAsc);  // runs past the end of every record but the first
  load({std::string("xx\x00\x00\x00\x1C", 6), "xx", std::string("xx\x00\x00\x00\x1D", 6)});
  EXPECT_EQ(compare(2, 0), -1);
  EXPECT_EQ(compare(1, 0), -1);  // the clipped (empty) field comes first
}

TEST_F(KeyCompare, AlternateSequenceKeys) {
  gv.altseq_image[9 + 'x'] = 1;
  gv.altseq_image[9 + 'a'] = 2;
  add_key(1, 3, kAlt, kAsc);
  load({"a..", "x..", ".x."});
  EXPECT_EQ(sorted(), (std::vector<std::string>{"x..", ".x.", "a.."}));
}

}  // namespace
}  // namespace zara
