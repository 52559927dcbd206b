// What D15O37 sends to EXTSM and when, recorded by an EXTSM of the test's own.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>

#include "cobol/sort_module.h"
#include "cobol/sort_statement.h"

extern "C" int32_t D15O37(int32_t* function, unsigned char* area, int32_t* length, int32_t* end_flag);
extern "C" int32_t d15o37(int32_t* function, unsigned char* area, int32_t* length, int32_t* end_flag);

namespace {
using Bytes = std::vector<uint8_t>;
Bytes operations, descriptor, key_block, area;  // every operation byte; the last descriptor and key block
std::deque<std::string> to_return;              // copied into the record buffer at 0xF5, then status 1
int32_t end_flag = 0;
uint8_t* address_at(size_t offset) { uint8_t* p; memcpy(&p, &descriptor[offset], sizeof p); return p; }

}  // namespace

extern "C" int32_t EXTSM(unsigned char* function_block, unsigned char* sort_descriptor) {
  EXPECT_EQ(function_block[0], 0xFA);
  operations.push_back(function_block[1]);
  descriptor.assign(sort_descriptor, sort_descriptor + 100);
  if (address_at(64)) key_block.assign(address_at(64), address_at(64) + 1030);
  if (function_block[1] != 0xF5 || to_return.empty()) return function_block[1] == 0xF5;
  memcpy(address_at(56), to_return.front().data(), to_return.front().size());
  to_return.pop_front();
  return 0;
}

namespace {

int32_t call(int32_t function, const std::string& text = "", char filler = ' ', int32_t length = -1) {
  area.assign(32767, uint8_t(filler));
  std::copy(text.begin(), text.end(), area.begin());
  if (length == -1) length = int32_t(text.size());
  return D15O37(&function, area.data(), &length, &end_flag);
}

TEST(Adaptor, WireFormatAndCallSequence) {
  call(1, "S(00001,004,C,A,00011,005,P,D)R(F,00300)");
  Bytes expected(100, 0);  // the record length twice, big-endian, and two native addresses
  for (const size_t at : {38, 48}) std::copy_n("\x01\x2C", 2, &expected[at]);
  std::copy_n(&descriptor[56], sizeof(void*), &expected[56]);
  std::copy_n(&descriptor[64], sizeof(void*), &expected[64]);
  EXPECT_EQ(descriptor, expected);
  expected = Bytes(1030, 0);  // in use 50, 1, two keys, entries from 30: direction, type, offset, length
  for (auto [at, value] : {std::pair{1, 50}, {7, 1}, {15, 2}, {17, 30}, {30, 0x30}, {39, 4}, {40, 0x40}, {41, 0x23}, {45, 10}, {49, 5}})
    expected[at] = uint8_t(value);
  EXPECT_EQ(key_block, expected);
  call(2, "REC1", '.');  // a release fills the buffer named at 56, whole
  EXPECT_EQ(std::string((char*)address_at(56), 32767), "REC1" + std::string(32763, '.'));
  call(1, "R(F,00040)");  // no "S(": the keys and the length stay
  EXPECT_EQ(key_block, expected);
  EXPECT_EQ(descriptor[39], 0x2C);
  call(1, "S(00001,001,C,A,00002,001,B,D,00003,001,E,X,00004,001,P,a,00005,001,Z,A,00006,001,Q,A)");
  Bytes direction_and_type;
  for (size_t k = 0; k < 6; ++k) direction_and_type.insert(direction_and_type.end(), &key_block[30 + 10 * k], &key_block[32 + 10 * k]);
  EXPECT_EQ(direction_and_type, (Bytes{0x30, 0x00, 0x40, 0x33, 0x40, 0x33, 0x40, 0x23, 0x30, 0x31, 0x30, 0x00}));
  // End of input once before the first return after any other call; the end flag at return n + 1.
  operations.clear();
  call(1, "S(00001,004,C,A)R(F,00004)");
  call(3);  // nothing released
  EXPECT_EQ(end_flag, 1);
  call(1, "S(00001,004,C,A)R(F,00004)");
  call(2, "BBBB", '.');
  call(2, "AAAA", '.');
  to_return = {"AAAA", "BBBB", "ZZZZ"};
  end_flag = 0;
  for (const std::string expected : {"AAAA.", "BBBB.", "####1"}) {  // the whole buffer, or nothing and the flag
    call(3, "", '#');
    EXPECT_EQ(std::string(area.begin(), area.begin() + 4) + (end_flag ? '1' : char(area.back())), expected);
  }
  call(9);  // any other code changes only the previous function
  call(3);
  EXPECT_EQ(operations, (Bytes{0x01, 0x10, 0xF5, 0x01, 0xF3, 0xF3, 0x10, 0xF5, 0xF5, 0xF5, 0x10, 0xF5}));
}

// The control text is read only to its length, clamped to the area (a negative one reads nothing); a digit field
// counts what is not a digit as 0, sends position 0 as -1 and a record length past the area as the area's. The
// SORT statement of a key block trusts none of its counts.
TEST(Adaptor, ControlTextLimitsNullArgumentsAndTheSortStatement) {
  using namespace zara::cobol;
  char text[kSortStatementCapacity];
  const auto statement = [&](const Bytes& block) { return std::string(text, sort_statement(block.data(), text)); };
  testing::internal::CaptureStdout();
  call(1, "S(0A005,0x3,C,A,00000,001,Q,D)R(F,99999)");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "TYPE IS Q\n");
  EXPECT_EQ(Bytes(&key_block[30], &key_block[50]), (Bytes{0x30, 0, 0, 0, 0, 4, 0, 0, 0, 3, 0x40, 0, 255, 255, 255, 255, 0, 0, 0, 1}));
  EXPECT_TRUE(descriptor[38] == 0x7F && descriptor[39] == 0xFF && statement(key_block) == "SORT(5,3,CH,A,0,1,CH,D)");
  call(1, "S(12345,006,C,A)", ' ', 4);  // "S(12": position 12000, length 0, the letters blank
  EXPECT_EQ(Bytes(&key_block[30], &key_block[40]), (Bytes{0x40, 0, 0, 0, 0x2E, 0xDF, 0, 0, 0, 0}));
  call(1, std::string(32765, ' ') + "S(", ' ', 1000000), call(1, "S(00001,001,C,A)", ' ', -5);
  EXPECT_EQ(get_be16(&key_block[kKbKeyCount]), 0u);
  std::string keys = "S(00001,001,C,D";
  for (int k = 2; k <= 105; ++k) keys += "," + std::to_string(100000 + k).substr(1) + ",001,C,D";
  call(1, keys + ")R(F,00200)");  // keys after the hundredth are ignored
  EXPECT_TRUE(get_be16(&key_block[kKbInUse]) == kKeyBlockSize && get_be16(&key_block[kKbKeyCount]) == 100 && descriptor[39] == 200);
  Bytes b = key_block;
  put_be16(&b[kKbKeyCount], 500);
  for (size_t e = kKeyBlockHeader; e < kKeyBlockSize; e += kKeyEntrySize)
    b[e + kKeType] = kTypeZoned, put_be32(&b[e + kKeOffset], 40000), put_be32(&b[e + kKeLength], 70000);
  EXPECT_TRUE(statement(b).size() == 5 + kMaxKeys * 16 + 99 + 1 && statement(b).starts_with("SORT(32768,32767,ZD,D,"));
  b[kKeyBlockHeader + kKeDirection] = b[kKeyBlockHeader + kKeType] = 0x77;  // any other direction D, type CH
  put_be16(&b[kKbInUse], 49);
  EXPECT_EQ(statement(b), "SORT(32768,32767,CH,D)");
  put_be16(&b[kKbInUse], 60), put_be16(&b[kKbFirstEntry], 61);
  EXPECT_EQ(statement(b), "");
  put_be16(&b[kKbInUse], 0xFFFF), put_be16(&b[kKbFirstEntry], kKeyBlockSize - kKeyEntrySize), put_be32(&b[kKeyBlockSize - 4], 0);
  EXPECT_TRUE(statement(b) == "SORT(32768,0,ZD,D)" && sort_statement(nullptr, text) == 0);
  // Null arguments: an empty text, the record buffer as it was, no length or flag to set; no code: another code.
  int32_t function = 1, length = 50, flag = 0;
  call(2, "kept");
  D15O37(&function, nullptr, &length, &flag);
  function = 2, D15O37(&function, nullptr, &length, &flag);
  EXPECT_TRUE(get_be16(&key_block[kKbKeyCount]) == 100 && memcmp(address_at(56), "kept", 4) == 0);
  to_return = {"r"}, operations.clear();
  function = 3, D15O37(&function, nullptr, nullptr, nullptr), D15O37(&function, nullptr, nullptr, nullptr);
  D15O37(nullptr, nullptr, nullptr, nullptr);
  EXPECT_TRUE(d15o37(&function, area.data(), nullptr, &flag) == 1 && flag == 1);
  EXPECT_EQ(operations, (Bytes{0x10, 0xF5, 0xF5, 0x10, 0xF5}));
}

}  // namespace
