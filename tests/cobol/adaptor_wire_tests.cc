// What D15O37 sends to EXTSM, byte by byte, and when. The EXTSM here is the
// test's own: it records every call and plays a sort that hands back queued
// records.
#include <array>
#include <cstdio>
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

struct SortCall {
  uint8_t mark = 0;
  uint8_t operation = 0;
  std::array<uint8_t, kDescriptorSize> descriptor{};
  std::vector<uint8_t> key_block;  // empty when the descriptor names none
  std::string record;              // the record buffer at a release
};

struct FakeSortModule {
  std::vector<SortCall> calls;
  std::deque<std::string> to_return;  // written into the buffer at 0xF5
  int32_t release_status = 0;
};
FakeSortModule fake;

uint8_t* address_at(const uint8_t* descriptor, size_t offset) {
  uint8_t* address;
  memcpy(&address, descriptor + offset, sizeof address);
  return address;
}

}  // namespace

extern "C" int32_t EXTSM(unsigned char* function_block, unsigned char* sort_descriptor) {
  SortCall call;
  call.mark = function_block[0];
  call.operation = function_block[1];
  memcpy(call.descriptor.data(), sort_descriptor, kDescriptorSize);
  if (const uint8_t* block = address_at(sort_descriptor, kDescKeyBlock)) {
    call.key_block.assign(block, block + kKeyBlockSize);
  }
  uint8_t* buffer = address_at(sort_descriptor, kDescRecordBuffer);
  int32_t status = 0;
  if (call.operation == kOpRelease) {
    call.record.assign(reinterpret_cast<const char*>(buffer), kRecordAreaSize);
    status = fake.release_status;
  } else if (call.operation == kOpReturn) {
    if (fake.to_return.empty()) {
      status = 1;
    } else {
      memcpy(buffer, fake.to_return.front().data(), fake.to_return.front().size());
      fake.to_return.pop_front();
    }
  }
  fake.calls.push_back(std::move(call));
  return status;
}

namespace {

class AdaptorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake = FakeSortModule{};
    area_.assign(kRecordAreaSize, ' ');
  }

  int32_t call(int32_t function, int32_t length = 0) {
    return D15O37(&function, area_.data(), &length, &end_flag_);
  }
  int32_t start(const std::string& control) {
    area_.assign(kRecordAreaSize, ' ');
    memcpy(area_.data(), control.data(), control.size());
    return call(1, static_cast<int32_t>(control.size()));
  }
  int32_t release(const std::string& record) {
    area_.assign(kRecordAreaSize, '.');
    memcpy(area_.data(), record.data(), record.size());
    return call(2);
  }
  std::string area_text(size_t n) const { return std::string(area_.begin(), area_.begin() + n); }

  // Operation bytes of the recorded calls, from call `from` on.
  std::vector<uint8_t> operations(size_t from = 0) const {
    std::vector<uint8_t> ops;
    for (size_t i = from; i < fake.calls.size(); ++i) ops.push_back(fake.calls[i].operation);
    return ops;
  }
  const std::vector<uint8_t>& last_key_block() const { return fake.calls.back().key_block; }

  std::vector<uint8_t> area_;
  int32_t end_flag_ = 0;
};

std::vector<uint8_t> key_entry(const std::vector<uint8_t>& block, int k) {
  auto first = block.begin() + static_cast<long>(kKeyBlockHeader + kKeyEntrySize * (k - 1));
  return std::vector<uint8_t>(first, first + static_cast<long>(kKeyEntrySize));
}

TEST_F(AdaptorTest, StartBuildsDescriptorAndKeyBlock) {
  EXPECT_EQ(start("S(00001,004,C,A,00011,005,P,D)R(F,00080)"), 0);
  ASSERT_EQ(fake.calls.size(), 1u);
  const SortCall& c = fake.calls[0];
  EXPECT_EQ(c.mark, 0xFA);
  EXPECT_EQ(c.operation, 0x01);

  const size_t p = sizeof(void*);
  for (size_t i = 0; i < kDescriptorSize; ++i) {
    const bool address = (i >= 56 && i < 56 + p) || (i >= 64 && i < 64 + p);
    if (i == 38 || i == 39 || i == 48 || i == 49 || address) continue;
    EXPECT_EQ(c.descriptor[i], 0) << "descriptor byte " << i;
  }
  EXPECT_EQ(c.descriptor[38], 0x00);
  EXPECT_EQ(c.descriptor[39], 80);
  EXPECT_EQ(c.descriptor[48], 0x00);
  EXPECT_EQ(c.descriptor[49], 80);
  uint8_t* buffer = address_at(c.descriptor.data(), 56);
  ASSERT_NE(buffer, nullptr);
  EXPECT_NE(buffer, area_.data());

  const std::vector<uint8_t>& kb = c.key_block;
  ASSERT_EQ(kb.size(), kKeyBlockSize);
  const std::vector<uint8_t> header = {0, 50, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 2, 0, 30};
  EXPECT_EQ(std::vector<uint8_t>(kb.begin(), kb.begin() + 18), header);
  EXPECT_EQ(key_entry(kb, 1), (std::vector<uint8_t>{0x30, 0x00, 0, 0, 0, 0, 0, 0, 0, 4}));
  EXPECT_EQ(key_entry(kb, 2), (std::vector<uint8_t>{0x40, 0x23, 0, 0, 0, 10, 0, 0, 0, 5}));
  for (size_t i = 18; i < kKeyBlockSize; ++i) {
    if (i >= 30 && i < 50) continue;
    EXPECT_EQ(kb[i], 0) << "key block byte " << i;
  }

  // The record buffer named at 56 is the one a release fills.
  release("REC1");
  EXPECT_EQ(fake.calls.back().record.substr(0, 4), "REC1");
  EXPECT_EQ(memcmp(buffer, "REC1", 4), 0);
}

TEST_F(AdaptorTest, KeyBlockTranslatesToSortStatement) {
  start("R(F,00020)S(00003,002,B,A,00011,005,Z,D)");
  char text[kSortStatementCapacity];
  const size_t n = sort_statement(last_key_block().data(), text);
  EXPECT_EQ(std::string(text, n), "SORT(3,2,BI,A,11,5,ZD,D)");
  EXPECT_EQ(fake.calls.back().descriptor[39], 20);
}

TEST_F(AdaptorTest, TypeAndDirectionLetters) {
  testing::internal::CaptureStdout();
  start("S(00001,001,C,A,00002,001,B,D,00003,001,E,X,00004,001,P,a,00005,001,Z,A,00006,001,Q,A)");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "TYPE IS Q\n");
  const std::vector<uint8_t>& kb = last_key_block();
  const uint8_t types[] = {0x00, 0x33, 0x33, 0x23, 0x31, 0x00};
  const uint8_t directions[] = {0x30, 0x40, 0x40, 0x40, 0x30, 0x30};
  for (int k = 1; k <= 6; ++k) {
    EXPECT_EQ(key_entry(kb, k)[0], directions[k - 1]) << "key " << k;
    EXPECT_EQ(key_entry(kb, k)[1], types[k - 1]) << "key " << k;
    EXPECT_EQ(key_entry(kb, k)[5], k - 1) << "key " << k;  // offset = position - 1
  }
  EXPECT_EQ(fake.calls.back().operation, kOpStart);  // the start went on
}

TEST_F(AdaptorTest, StartWithoutKeyListKeepsPreviousKeysAndLength) {
  start("S(00005,010,P,D)R(F,00100)");
  const std::vector<uint8_t> first_block = last_key_block();
  EXPECT_EQ(start("R(F,00040)"), 0);
  EXPECT_EQ(fake.calls.back().operation, kOpStart);
  EXPECT_EQ(last_key_block(), first_block);
  EXPECT_EQ(fake.calls.back().descriptor[39], 100);

  // A key list without a record part keeps the record length alone.
  start("S(00001,002,C,A)");
  EXPECT_EQ(last_key_block()[15], 1);
  EXPECT_EQ(fake.calls.back().descriptor[39], 100);

  // "S()" is a key list with no keys.
  start("S()");
  EXPECT_EQ(last_key_block()[1], 30);
  EXPECT_EQ(last_key_block()[15], 0);
}

TEST_F(AdaptorTest, ReleaseAndReturnSequence) {
  start("S(00001,004,C,A)R(F,00004)");
  EXPECT_EQ(release("BBBB"), 0);
  EXPECT_EQ(release("AAAA"), 0);
  EXPECT_EQ(fake.calls[1].record.substr(0, 6), "BBBB..");
  EXPECT_EQ(fake.calls[2].record.back(), '.');  // the whole area is copied
  fake.to_return = {"AAAA", "BBBB"};

  for (const char* expected : {"AAAA", "BBBB"}) {
    area_.assign(kRecordAreaSize, '#');
    EXPECT_EQ(call(3), 0);
    EXPECT_EQ(area_text(4), expected);
    EXPECT_EQ(area_.back(), '.');  // the whole buffer comes back
    EXPECT_EQ(end_flag_, 0);
  }
  area_.assign(kRecordAreaSize, '#');
  EXPECT_EQ(call(3), 1);  // the status of the last EXTSM call
  EXPECT_EQ(end_flag_, 1);
  EXPECT_EQ(area_text(4), "####");
  EXPECT_EQ(operations(), (std::vector<uint8_t>{0x01, 0xF3, 0xF3, 0x10, 0xF5, 0xF5, 0xF5}));
}

TEST_F(AdaptorTest, EndFlagComesAfterExactlyNReturns) {
  start("S(00001,001,C,A)R(F,00001)");
  const int n = 5;
  for (int i = 0; i < n; ++i) release(std::string(1, static_cast<char>('a' + i)));
  // A sort module that keeps answering 0 does not end the returns: the count does.
  for (int i = 0; i < n + 3; ++i) fake.to_return.push_back("z");
  for (int i = 1; i <= n; ++i) {
    call(3);
    EXPECT_EQ(end_flag_, 0) << "return " << i;
  }
  area_.assign(kRecordAreaSize, '#');
  call(3);
  EXPECT_EQ(end_flag_, 1);
  EXPECT_EQ(area_[0], '#');
  EXPECT_EQ(fake.calls.back().operation, kOpReturn);  // 0xF5 is still sent
  end_flag_ = 7;
  call(3);
  EXPECT_EQ(end_flag_, 1);  // set again, never cleared
}

TEST_F(AdaptorTest, ReturnRightAfterStartSendsEndOfInputAndEnds) {
  start("S(00001,001,C,A)R(F,00001)");
  call(3);
  EXPECT_EQ(operations(), (std::vector<uint8_t>{0x01, 0x10, 0xF5}));
  EXPECT_EQ(end_flag_, 1);
}

TEST_F(AdaptorTest, EndOfInputIsSentAgainAfterAnyOtherCall) {
  start("S(00001,001,C,A)R(F,00001)");
  release("x");
  release("y");
  fake.to_return = {"x", "y"};
  call(3);
  EXPECT_EQ(call(9), 0);  // no action, but it is the previous function now
  call(3);
  EXPECT_EQ(operations(), (std::vector<uint8_t>{0x01, 0xF3, 0xF3, 0x10, 0xF5, 0x10, 0xF5}));
  EXPECT_EQ(end_flag_, 0);
}

TEST_F(AdaptorTest, ReturnsLastStatusOfTheSortModule) {
  start("S(00001,001,C,A)R(F,00001)");
  fake.release_status = 245;
  EXPECT_EQ(release("x"), 245);
  EXPECT_EQ(call(0), 245);
  EXPECT_EQ(call(-1), 245);
  EXPECT_EQ(fake.calls.size(), 2u);  // other codes call nothing
  int32_t function = 3;
  // Nothing queued: the fake answers 0xF5 with 1, and that is returned.
  EXPECT_EQ(d15o37(&function, area_.data(), nullptr, &end_flag_), 1);
  EXPECT_EQ(operations(1), (std::vector<uint8_t>{0xF3, 0x10, 0xF5}));
}

TEST_F(AdaptorTest, DigitFieldsCountNonDigitsAsZero) {
  start("S(0A005,0x3,C,A)");
  const std::vector<uint8_t> entry = key_entry(last_key_block(), 1);
  EXPECT_EQ(entry, (std::vector<uint8_t>{0x30, 0x00, 0, 0, 0, 4, 0, 0, 0, 3}));

  // Position 0 is sent as position - 1 in 32 bits.
  start("S(00000,001,C,A)");
  EXPECT_EQ(key_entry(last_key_block(), 1),
            (std::vector<uint8_t>{0x30, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 1}));

  // A record length above the buffer is sent as the buffer size.
  start("S(00001,001,C,A)R(F,99999)");
  EXPECT_EQ(fake.calls.back().descriptor[38], 0x7F);
  EXPECT_EQ(fake.calls.back().descriptor[39], 0xFF);
}

TEST_F(AdaptorTest, ReadsNothingPastTheControlLength) {
  // The string is cut after "S(12": the rest of the position reads as zeros,
  // the length as 0, the type and direction as blanks.
  area_.assign(kRecordAreaSize, ' ');
  memcpy(area_.data(), "S(12345,006,C,A)", 16);
  testing::internal::CaptureStdout();
  call(1, 4);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "TYPE IS  \n");
  EXPECT_EQ(last_key_block()[15], 1);
  EXPECT_EQ(key_entry(last_key_block(), 1),
            (std::vector<uint8_t>{0x40, 0x00, 0, 0, 0x2E, 0xDF, 0, 0, 0, 0}));  // 12000 - 1

  // "S(" in the last two bytes of a length clamped to the area: no keys, and
  // no read past the area.
  area_.assign(kRecordAreaSize, ' ');
  memcpy(area_.data() + kRecordAreaSize - 2, "S(", 2);
  call(1, 1'000'000);
  EXPECT_EQ(last_key_block()[15], 0);

  // A negative length reads nothing: the previous keys stay.
  memcpy(area_.data(), "S(00001,001,C,A)", 16);
  call(1, -5);
  EXPECT_EQ(last_key_block()[15], 0);
}

TEST_F(AdaptorTest, KeysAfterTheHundredthAreIgnored) {
  std::string control = "S(";
  for (int k = 1; k <= 105; ++k) {
    char key[32];
    snprintf(key, sizeof key, "%s%05d,%03d,C,%c", k > 1 ? "," : "", k, k % 1000, k % 2 ? 'A' : 'D');
    control += key;
  }
  control += ")R(F,00200)";
  start(control);
  const std::vector<uint8_t>& kb = last_key_block();
  EXPECT_EQ(get_be16(kb.data() + kKbInUse), kKeyBlockSize);
  EXPECT_EQ(get_be16(kb.data() + kKbKeyCount), 100u);
  EXPECT_EQ(get_be32(key_entry(kb, 100).data() + kKeOffset), 99u);
  EXPECT_EQ(get_be32(key_entry(kb, 100).data() + kKeLength), 100u);
  EXPECT_EQ(key_entry(kb, 100)[0], 0x40);
  EXPECT_EQ(fake.calls.back().descriptor[39], 200);  // the record part is still read
}

TEST_F(AdaptorTest, NullArgumentsAreNeitherReadNorWritten) {
  start("S(00001,001,C,A)R(F,00001)");
  release("k");
  int32_t function = 1;
  int32_t length = 50;
  D15O37(&function, nullptr, &length, &end_flag_);  // parses an empty string
  EXPECT_EQ(last_key_block()[15], 1);

  function = 2;
  D15O37(&function, nullptr, &length, &end_flag_);
  EXPECT_EQ(fake.calls.back().operation, kOpRelease);
  EXPECT_EQ(fake.calls.back().record[0], 'k');  // the buffer as it was

  function = 3;
  fake.to_return = {"r"};
  D15O37(&function, nullptr, nullptr, nullptr);
  D15O37(&function, nullptr, nullptr, nullptr);  // past the end: no flag to set
  D15O37(nullptr, nullptr, nullptr, nullptr);    // counts as another code
  D15O37(&function, area_.data(), nullptr, &end_flag_);
  EXPECT_EQ(operations(), (std::vector<uint8_t>{0x01, 0xF3, 0x01, 0xF3, 0x10, 0xF5, 0xF5, 0x10,
                                                0xF5}));
  EXPECT_EQ(end_flag_, 1);
}

}  // namespace
