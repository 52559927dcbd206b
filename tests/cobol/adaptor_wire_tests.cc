// What D15O37 sends to EXTSM, byte by byte, and when; and libextsm.so's
// translation of the key block into a SORT statement. The EXTSM here is the
// test's own: it records every call and hands back queued records.
#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cobol/sort_module.h"
#include "cobol/sort_statement.h"

extern "C" int32_t D15O37(int32_t* function_code, unsigned char* record_area,
                          int32_t* control_length, int32_t* end_flag);
extern "C" int32_t d15o37(int32_t* function_code, unsigned char* record_area,
                          int32_t* control_length, int32_t* end_flag);

namespace {

using namespace zara::cobol;
using Bytes = std::vector<uint8_t>;

struct SortCall {
  uint8_t mark, operation;
  std::array<uint8_t, kDescriptorSize> descriptor;
  Bytes key_block;     // empty when the descriptor names none
  std::string record;  // the record buffer at a release
};
struct FakeSortModule {
  std::vector<SortCall> calls;
  std::deque<std::string> to_return;  // written into the buffer at 0xF5; then status 1
  int32_t release_status = 0;
} fake;

uint8_t* address_at(const uint8_t* descriptor, size_t offset) {
  uint8_t* address;
  memcpy(&address, descriptor + offset, sizeof address);
  return address;
}

}  // namespace

extern "C" int32_t EXTSM(unsigned char* function_block, unsigned char* descriptor) {
  SortCall call{function_block[0], function_block[1], {}, {}, {}};
  memcpy(call.descriptor.data(), descriptor, kDescriptorSize);
  if (const uint8_t* block = address_at(descriptor, kDescKeyBlock))
    call.key_block.assign(block, block + kKeyBlockSize);
  uint8_t* buffer = address_at(descriptor, kDescRecordBuffer);
  int32_t status = 0;
  if (call.operation == kOpRelease) {
    call.record.assign(reinterpret_cast<const char*>(buffer), kRecordAreaSize);
    status = fake.release_status;
  } else if (call.operation == kOpReturn) {
    status = fake.to_return.empty() ? 1 : 0;
    if (status == 0) {
      memcpy(buffer, fake.to_return.front().data(), fake.to_return.front().size());
      fake.to_return.pop_front();
    }
  }
  fake.calls.push_back(std::move(call));
  return status;
}

namespace {

class Adaptor : public ::testing::Test {
 protected:
  void SetUp() override { fake = FakeSortModule{}; }
  int32_t call(int32_t function, int32_t length = 0) {
    return D15O37(&function, area_.data(), &length, &end_flag_);
  }
  void fill(char filler, const std::string& text) {
    area_.assign(kRecordAreaSize, static_cast<uint8_t>(filler));
    memcpy(area_.data(), text.data(), text.size());
  }
  int32_t start(const std::string& control) {
    fill(' ', control);
    return call(1, static_cast<int32_t>(control.size()));
  }
  int32_t release(const std::string& record) {
    fill('.', record);
    return call(2);
  }
  // Operation bytes of the recorded calls, from call `from` on.
  Bytes operations(size_t from = 0) const {
    Bytes ops;
    for (size_t i = from; i < fake.calls.size(); ++i) ops.push_back(fake.calls[i].operation);
    return ops;
  }
  const SortCall& last() const { return fake.calls.back(); }
  uint32_t key_count() const { return get_be16(&last().key_block[kKbKeyCount]); }
  Bytes key(int k) const {
    const auto first = last().key_block.begin() + kKeyBlockHeader + kKeyEntrySize * (k - 1);
    return Bytes(first, first + kKeyEntrySize);
  }
  std::string statement(const uint8_t* block = nullptr) const {
    char text[kSortStatementCapacity];
    return std::string(text, sort_statement(block ? block : last().key_block.data(), text));
  }

  Bytes area_ = Bytes(kRecordAreaSize, ' ');
  int32_t end_flag_ = 0;
};

TEST_F(Adaptor, StartSendsDescriptorAndKeyBlock) {
  EXPECT_EQ(start("S(00001,004,C,A,00011,005,P,D)R(F,00080)"), 0);
  ASSERT_EQ(fake.calls.size(), 1u);
  const SortCall& c = fake.calls[0];
  EXPECT_EQ(c.mark, 0xFA);
  EXPECT_EQ(c.operation, 0x01);
  uint8_t* buffer = address_at(c.descriptor.data(), 56);
  const uint8_t* block = address_at(c.descriptor.data(), 64);
  ASSERT_NE(buffer, nullptr);
  EXPECT_NE(buffer, area_.data());
  std::array<uint8_t, kDescriptorSize> descriptor{};  // zero but the length twice and addresses
  descriptor[39] = descriptor[49] = 80;
  memcpy(&descriptor[56], &buffer, sizeof buffer);
  memcpy(&descriptor[64], &block, sizeof block);
  EXPECT_EQ(c.descriptor, descriptor);
  Bytes kb(kKeyBlockSize, 0);  // in use 50, 1, two keys, entries from 30
  const Bytes header = {0, 50, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 2, 0, 30};
  const Bytes entries = {0x30, 0x00, 0, 0, 0, 0, 0, 0, 0, 4, 0x40, 0x23, 0, 0, 0, 10, 0, 0, 0, 5};
  std::copy(header.begin(), header.end(), kb.begin());
  std::copy(entries.begin(), entries.end(), kb.begin() + 30);
  EXPECT_EQ(c.key_block, kb);
  EXPECT_EQ(statement(), "SORT(1,4,CH,A,11,5,PD,D)");
  release("REC1");  // the buffer named at 56 is the one a release fills, whole
  EXPECT_EQ(last().record, "REC1" + std::string(kRecordAreaSize - 4, '.'));
  EXPECT_EQ(memcmp(buffer, "REC1", 4), 0);
}

TEST_F(Adaptor, TypeAndDirectionLetters) {
  testing::internal::CaptureStdout();
  start("S(00001,001,C,A,00002,001,B,D,00003,001,E,X,00004,001,P,a,00005,001,Z,A,00006,001,Q,A)");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "TYPE IS Q\n");
  const uint8_t types[] = {0x00, 0x33, 0x33, 0x23, 0x31, 0x00};
  const uint8_t directions[] = {0x30, 0x40, 0x40, 0x40, 0x30, 0x30};
  for (int k = 1; k <= 6; ++k) {
    const uint8_t offset = static_cast<uint8_t>(k - 1);
    EXPECT_EQ(key(k), (Bytes{directions[k - 1], types[k - 1], 0, 0, 0, offset, 0, 0, 0, 1}));
  }
  EXPECT_EQ(statement(), "SORT(1,1,CH,A,2,1,BI,D,3,1,BI,D,4,1,PD,D,5,1,ZD,A,6,1,CH,A)");
}

TEST_F(Adaptor, ControlStringParts) {
  start("R(F,00100)S(00005,010,P,D)");
  const Bytes first_block = last().key_block;
  EXPECT_EQ(last().descriptor[39], 100);
  EXPECT_EQ(start("R(F,00040)"), 0);  // no "S(": keys and length stay
  EXPECT_EQ(last().operation, kOpStart);
  EXPECT_EQ(last().key_block, first_block);
  EXPECT_EQ(last().descriptor[39], 100);
  start("S(00001,002,C,A)");  // no record part: the length stays
  EXPECT_EQ(key_count(), 1u);
  EXPECT_EQ(last().descriptor[39], 100);
  start("S()");
  EXPECT_EQ(last().key_block[1], 30);
  EXPECT_EQ(key_count(), 0u);
  EXPECT_EQ(statement(), "");  // a copy
  // Digit fields count non-digits as 0; position 0 goes as -1; a record
  // length above the buffer goes as the buffer size.
  start("S(0A005,0x3,C,A)");
  EXPECT_EQ(key(1), (Bytes{0x30, 0x00, 0, 0, 0, 4, 0, 0, 0, 3}));
  start("S(00000,001,C,A)R(F,99999)");
  EXPECT_EQ(key(1), (Bytes{0x30, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 1}));
  EXPECT_EQ(statement(), "SORT(0,1,CH,A)");
  EXPECT_EQ(last().descriptor[38], 0x7F);
  EXPECT_EQ(last().descriptor[39], 0xFF);
}

TEST_F(Adaptor, ReadsNothingPastTheControlLength) {
  // Cut after "S(12": the position reads 12000, the length 0, the letters blank.
  fill(' ', "S(12345,006,C,A)");
  testing::internal::CaptureStdout();
  call(1, 4);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "TYPE IS  \n");
  EXPECT_EQ(key(1), (Bytes{0x40, 0x00, 0, 0, 0x2E, 0xDF, 0, 0, 0, 0}));
  fill(' ', "");  // "S(" in the last two bytes of a length clamped to the area
  memcpy(area_.data() + kRecordAreaSize - 2, "S(", 2);
  call(1, 1'000'000);
  EXPECT_EQ(key_count(), 0u);
  fill(' ', "S(00001,001,C,A)");
  call(1, -5);  // reads nothing: the previous keys stay
  EXPECT_EQ(key_count(), 0u);
}

TEST_F(Adaptor, KeysAfterTheHundredthAreIgnoredAndBlocksAreNotTrusted) {
  std::string control = "S(";
  for (int k = 1; k <= 105; ++k)
    control += (k > 1 ? "," : "") + std::to_string(100000 + k).substr(1) + ",001,C,D";
  start(control + ")R(F,00200)");
  EXPECT_EQ(get_be16(&last().key_block[kKbInUse]), kKeyBlockSize);
  EXPECT_EQ(key_count(), 100u);
  EXPECT_EQ(key(100), (Bytes{0x40, 0x00, 0, 0, 0, 99, 0, 0, 0, 1}));
  EXPECT_EQ(last().descriptor[39], 200);  // the record part is still read
  // The longest entries, and a key count past the hundred: the text fits.
  Bytes b = last().key_block;
  put_be16(&b[kKbKeyCount], 500);
  for (size_t e = kKeyBlockHeader; e < kKeyBlockSize; e += kKeyEntrySize) {
    b[e + kKeType] = kTypeZoned;
    put_be32(&b[e + kKeOffset], 40000);  // cut to a position past every record
    put_be32(&b[e + kKeLength], 70000);  // cut to the record area
  }
  const std::string longest = statement(b.data());
  EXPECT_EQ(longest.size(), 5 + kMaxKeys * 16 + (kMaxKeys - 1) + 1);
  EXPECT_EQ(longest.substr(0, 22), "SORT(32768,32767,ZD,D,");
  EXPECT_EQ(longest.back(), ')');
  // Only entries wholly inside the part in use, and inside the block.
  b[kKeyBlockHeader + kKeDirection] = 0x77;  // any direction but 0x30: D
  b[kKeyBlockHeader + kKeType] = 0x77;       // any other type: CH
  put_be16(&b[kKbInUse], 49);
  EXPECT_EQ(statement(b.data()), "SORT(32768,32767,CH,D)");
  put_be16(&b[kKbInUse], 60);
  put_be16(&b[kKbFirstEntry], 61);
  EXPECT_EQ(statement(b.data()), "");
  put_be16(&b[kKbInUse], 0xFFFF);
  put_be16(&b[kKbFirstEntry], kKeyBlockSize - kKeyEntrySize);
  put_be32(&b[kKeyBlockSize - 4], 0);
  EXPECT_EQ(statement(b.data()), "SORT(32768,0,ZD,D)");
  char text[kSortStatementCapacity];
  EXPECT_EQ(sort_statement(nullptr, text), 0u);
}

TEST_F(Adaptor, EndFlagAfterExactlyNReturns) {
  start("S(00001,004,C,A)R(F,00004)");
  EXPECT_EQ(release("BBBB"), 0);
  EXPECT_EQ(release("AAAA"), 0);
  fake.to_return = {"AAAA", "BBBB", "ZZZZ"};  // one more than released
  for (const char* expected : {"AAAA", "BBBB"}) {
    fill('#', "");
    EXPECT_EQ(call(3), 0);
    EXPECT_EQ(std::string(area_.begin(), area_.begin() + 4), expected);
    EXPECT_EQ(area_.back(), '.');  // the whole buffer comes back
    EXPECT_EQ(end_flag_, 0);
  }
  fill('#', "");
  EXPECT_EQ(call(3), 0);  // the count ends the returns, not the module
  EXPECT_EQ(end_flag_, 1);
  EXPECT_EQ(area_[0], '#');
  end_flag_ = 7;
  EXPECT_EQ(call(3), 1);  // the status of the last EXTSM call
  EXPECT_EQ(end_flag_, 1);  // set again
  EXPECT_EQ(operations(), (Bytes{0x01, 0xF3, 0xF3, 0x10, 0xF5, 0xF5, 0xF5, 0xF5}));
}

TEST_F(Adaptor, EndOfInputBeforeTheFirstReturnAfterAnyOtherCall) {
  start("S(00001,001,C,A)R(F,00001)");
  call(3);  // straight after the start: end of input, and nothing to return
  EXPECT_EQ(operations(), (Bytes{0x01, 0x10, 0xF5}));
  EXPECT_EQ(end_flag_, 1);
  start("S(00001,001,C,A)R(F,00001)");
  end_flag_ = 0;
  release("x");
  release("y");
  fake.to_return = {"x", "y"};
  call(3);
  EXPECT_EQ(call(9), 0);  // no action, but it is the previous function now
  call(3);
  EXPECT_EQ(operations(3), (Bytes{0x01, 0xF3, 0xF3, 0x10, 0xF5, 0x10, 0xF5}));
  EXPECT_EQ(end_flag_, 0);
}

TEST_F(Adaptor, StatusesAndNullArguments) {
  start("S(00001,001,C,A)R(F,00001)");
  fake.release_status = 245;
  EXPECT_EQ(release("k"), 245);
  EXPECT_EQ(call(0), 245);  // other codes call nothing and keep the last status
  EXPECT_EQ(call(-1), 245);
  EXPECT_EQ(fake.calls.size(), 2u);
  int32_t function = 1, length = 50;
  D15O37(&function, nullptr, &length, &end_flag_);  // parses an empty string
  EXPECT_EQ(key_count(), 1u);
  function = 2;
  D15O37(&function, nullptr, &length, &end_flag_);
  EXPECT_EQ(last().record[0], 'k');  // the buffer as it was
  function = 3;
  fake.to_return = {"r"};
  D15O37(&function, nullptr, nullptr, nullptr);
  D15O37(&function, nullptr, nullptr, nullptr);  // past the end: no flag to set
  D15O37(nullptr, nullptr, nullptr, nullptr);    // counts as another code
  end_flag_ = 0;
  EXPECT_EQ(d15o37(&function, area_.data(), nullptr, &end_flag_), 1);
  EXPECT_EQ(operations(), (Bytes{0x01, 0xF3, 0x01, 0xF3, 0x10, 0xF5, 0xF5, 0x10, 0xF5}));
  EXPECT_EQ(end_flag_, 1);
}

}  // namespace
