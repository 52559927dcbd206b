// The key block to SORT statement translation of libextsm.so.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cobol/sort_module.h"
#include "cobol/sort_statement.h"

namespace {

using namespace zara::cobol;

struct Key {
  uint8_t direction;
  uint8_t type;
  uint32_t offset;
  uint32_t length;
};

// A key block laid out as the adaptor lays it out.
std::vector<uint8_t> key_block(const std::vector<Key>& keys) {
  std::vector<uint8_t> block(kKeyBlockSize, 0);
  put_be16(&block[kKbInUse], static_cast<uint32_t>(kKeyBlockHeader + kKeyEntrySize * keys.size()));
  put_be16(&block[kKbOne], 1);
  put_be16(&block[kKbKeyCount], static_cast<uint32_t>(keys.size()));
  put_be16(&block[kKbFirstEntry], kKeyBlockHeader);
  for (size_t k = 0; k < keys.size(); ++k) {
    uint8_t* entry = &block[kKeyBlockHeader + kKeyEntrySize * k];
    entry[kKeDirection] = keys[k].direction;
    entry[kKeType] = keys[k].type;
    put_be32(entry + kKeOffset, keys[k].offset);
    put_be32(entry + kKeLength, keys[k].length);
  }
  return block;
}

std::string translate(const std::vector<uint8_t>& block) {
  std::string text(kSortStatementCapacity, '\0');
  text.resize(sort_statement(block.data(), text.data()));
  return text;
}

TEST(SortStatement, TypesAndDirections) {
  EXPECT_EQ(translate(key_block({{0x30, 0x00, 0, 4},
                                 {0x40, 0x33, 4, 2},
                                 {0x30, 0x23, 10, 5},
                                 {0x40, 0x31, 20, 3},
                                 {0x00, 0x77, 99, 1}})),
            "SORT(1,4,CH,A,5,2,BI,D,11,5,PD,A,21,3,ZD,D,100,1,CH,D)");
}

TEST(SortStatement, NoKeysGiveNoStatement) {
  EXPECT_EQ(translate(key_block({})), "");
  char text[kSortStatementCapacity];
  EXPECT_EQ(sort_statement(nullptr, text), 0u);
}

TEST(SortStatement, NumbersAreCutToARecord) {
  EXPECT_EQ(translate(key_block({{0x30, 0x00, 0xFFFFFFFF, 1},
                                 {0x30, 0x00, 32766, 70000},
                                 {0x30, 0x00, 40000, 0}})),
            "SORT(0,1,CH,A,32767,32767,CH,A,32768,0,CH,A)");
}

TEST(SortStatement, EntriesOutsideTheBlockInUseAreNotRead) {
  std::vector<uint8_t> block = key_block({{0x30, 0x00, 0, 1}, {0x30, 0x00, 1, 1}, {0x30, 0x00, 2, 1}});
  put_be16(&block[kKbInUse], 49);  // room for one whole entry only
  EXPECT_EQ(translate(block), "SORT(1,1,CH,A)");

  put_be16(&block[kKbInUse], 60);
  put_be16(&block[kKbFirstEntry], 61);  // entries start past the part in use
  EXPECT_EQ(translate(block), "");

  put_be16(&block[kKbInUse], 0xFFFF);  // in-use length past the block
  put_be16(&block[kKbFirstEntry], kKeyBlockSize - kKeyEntrySize);
  put_be16(&block[kKbKeyCount], 0xFFFF);
  EXPECT_EQ(translate(block), "SORT(1,0,CH,D)");  // only the last (empty) entry fits
}

TEST(SortStatement, AtMostAHundredKeysFitTheText) {
  std::vector<Key> keys(kMaxKeys, Key{0x40, 0x31, 40000, 70000});
  std::vector<uint8_t> block = key_block(keys);
  put_be16(&block[kKbKeyCount], 500);
  const std::string text = translate(block);
  EXPECT_EQ(text.size(), 5 + kMaxKeys * 16 + (kMaxKeys - 1) + 1);
  EXPECT_EQ(text.substr(0, 22), "SORT(32768,32767,ZD,D,");
  EXPECT_EQ(text.back(), ')');
}

}  // namespace
