// D15O37.so with libextsm.so and the engine behind it, called as a COBOL
// program calls it: sorts in memory and through work files, a new start
// over an abandoned run, and engine failures reported through the return code.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern "C" int32_t D15O37(int32_t* function_code, unsigned char* record_area,
                          int32_t* control_length, int32_t* end_flag);

namespace {

namespace fs = std::filesystem;

// Each test runs in a fresh directory, where the sort's work files land.
class RoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/zara_cobol_XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
    previous_ = fs::current_path();
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(previous_);
    fs::remove_all(dir_);
  }
  bool work_files_left() const { return !fs::is_empty(dir_); }

  int32_t call(int32_t function, int32_t length = 0) {
    return D15O37(&function, area_.data(), &length, &end_flag_);
  }
  int32_t start(const std::string& control) {
    end_flag_ = 0;
    return call(1, static_cast<int32_t>(put(control)));
  }
  int32_t release(const std::string& record) { return put(record), call(2); }
  size_t put(const std::string& text) {
    area_.assign(area_.size(), ' ');
    memcpy(area_.data(), text.data(), text.size());
    return text.size();
  }
  // A record: a 4-byte big-endian key, the arrival number as 6 digits, filler.
  static std::string record(uint32_t key, uint32_t number, size_t length) {
    char head[16];
    snprintf(head, sizeof head, "%c%c%c%c%06u", key >> 24, (key >> 16) & 0xFF, (key >> 8) & 0xFF,
             key & 0xFF, number);
    return std::string(head, 10) + std::string(length - 10, '-');
  }
  uint32_t key() const {
    return uint32_t{area_[0]} << 24 | uint32_t{area_[1]} << 16 | uint32_t{area_[2]} << 8 | area_[3];
  }
  uint32_t number() const { return std::stoul(std::string(area_.begin() + 4, area_.begin() + 10)); }

  std::vector<uint8_t> area_ = std::vector<uint8_t>(32767, ' ');
  int32_t end_flag_ = 0;
  fs::path dir_, previous_;
};

TEST_F(RoundTrip, SortsInMemoryAndThroughWorkFiles) {
  for (uint32_t n : {20u, 3000u}) {  // 3000 records of 1000 bytes need several loads
    SCOPED_TRACE(n);
    ASSERT_EQ(start("S(00001,004,B,D)R(F,01000)"), 0);
    for (uint32_t i = 0; i < n; ++i) ASSERT_EQ(release(record(i * 7919 % 97, i, 1000)), 0);
    std::vector<bool> seen(n, false);
    for (uint32_t i = 0, previous_key = UINT32_MAX, previous_number = 0; i < n; ++i) {
      ASSERT_EQ(call(3), 0);
      ASSERT_EQ(end_flag_, 0);
      ASSERT_LT(number(), n);
      EXPECT_FALSE(seen[number()]);
      seen[number()] = true;
      EXPECT_EQ(key(), number() * 7919 % 97);
      EXPECT_EQ(area_[999], '-');
      // Descending keys; equal keys in release order.
      EXPECT_TRUE(key() < previous_key || (key() == previous_key && number() > previous_number))
          << i;
      previous_key = key();
      previous_number = number();
    }
    EXPECT_EQ(call(3), 1);
    EXPECT_EQ(end_flag_, 1);
    EXPECT_FALSE(work_files_left());
  }
}

TEST_F(RoundTrip, NewStartEndsAnAbandonedRun) {
  ASSERT_EQ(start("S(00001,004,B,A)R(F,01000)"), 0);
  for (uint32_t i = 0; i < 3000; ++i) release(record(3000 - i, i, 1000));
  ASSERT_EQ(call(3), 0);
  EXPECT_EQ(key(), 1u);
  EXPECT_TRUE(work_files_left());
  ASSERT_EQ(start("S(00005,006,C,D)R(F,00010)"), 0);
  EXPECT_FALSE(work_files_left());
  release(record(1, 1, 10));
  release(record(2, 2, 10));
  EXPECT_EQ(call(3), 0);
  EXPECT_EQ(number(), 2u);
}

TEST_F(RoundTrip, EngineFailuresComeBackAsReturnCode) {
  EXPECT_EQ(start("S(00001,000,C,A)R(F,00010)"), 203);  // length 0
  EXPECT_EQ(start("S(00000,001,C,A)R(F,00010)"), 202);  // position 0
  std::string keys = "S(00001,001,C,A";
  for (int k = 2; k <= 21; ++k) keys += ",00001,001,C,A";
  EXPECT_EQ(start(keys + ")R(F,00010)"), 206);  // more keys than the engine takes
  EXPECT_EQ(release("x"), 261);  // no open run
}

}  // namespace
