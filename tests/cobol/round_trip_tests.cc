// D15O37.so with libextsm.so and the engine behind it, called as a COBOL
// program calls it: sorts that fit in memory and sorts that spill to work
// files, copies, and engine failures reported through the return code.
#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern "C" int32_t D15O37(int32_t* function_code, unsigned char* record_area,
                          int32_t* control_length, int32_t* end_flag);

namespace {

constexpr size_t kAreaSize = 32767;

// Runs each test in a fresh directory, where the sort's work files land.
class RoundTripTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/zara_cobol_XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    previous_cwd_ = cwd;
    ASSERT_EQ(chdir(dir_.c_str()), 0);
  }
  void TearDown() override {
    for (const std::string& f : files()) unlink((dir_ + "/" + f).c_str());
    EXPECT_EQ(chdir(previous_cwd_.c_str()), 0);
    rmdir(dir_.c_str());
  }
  std::vector<std::string> files() const {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir_.c_str())) {
      while (dirent* e = readdir(d)) {
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
      }
      closedir(d);
    }
    return names;
  }

  int32_t call(int32_t function, int32_t length = 0) {
    return D15O37(&function, area_.data(), &length, &end_flag_);
  }
  int32_t start(const std::string& control) {
    area_.assign(kAreaSize, ' ');
    memcpy(area_.data(), control.data(), control.size());
    end_flag_ = 0;
    return call(1, static_cast<int32_t>(control.size()));
  }
  int32_t release(const std::string& record) {
    area_.assign(kAreaSize, ' ');
    memcpy(area_.data(), record.data(), record.size());
    return call(2);
  }
  std::string returned(size_t n) const { return std::string(area_.begin(), area_.begin() + n); }

  std::vector<uint8_t> area_ = std::vector<uint8_t>(kAreaSize, ' ');
  int32_t end_flag_ = 0;
  std::string dir_;
  std::string previous_cwd_;
};

// A record of `length` bytes: a 4-byte big-endian key, then the arrival
// number as 6 digits, then filler.
std::string record(uint32_t key, uint32_t number, size_t length) {
  std::string r(length, '-');
  r[0] = static_cast<char>(key >> 24);
  r[1] = static_cast<char>(key >> 16);
  r[2] = static_cast<char>(key >> 8);
  r[3] = static_cast<char>(key);
  char digits[8];
  snprintf(digits, sizeof digits, "%06u", number);
  memcpy(&r[4], digits, 6);
  return r;
}
uint32_t key_of(const std::string& r) {
  return (uint32_t{static_cast<uint8_t>(r[0])} << 24) | (uint32_t{static_cast<uint8_t>(r[1])} << 16) |
         (uint32_t{static_cast<uint8_t>(r[2])} << 8) | static_cast<uint8_t>(r[3]);
}
uint32_t number_of(const std::string& r) { return static_cast<uint32_t>(atoi(r.substr(4, 6).c_str())); }

TEST_F(RoundTripTest, SortsInMemoryAndThroughWorkFiles) {
  for (uint32_t n : {20u, 3000u}) {  // 3000 records of 1000 bytes do not fit one memory load
    SCOPED_TRACE(n);
    ASSERT_EQ(start("S(00001,004,B,D)R(F,01000)"), 0);
    for (uint32_t i = 0; i < n; ++i) ASSERT_EQ(release(record(i * 7919 % 97, i, 1000)), 0);
    std::vector<bool> seen(n, false);
    uint32_t previous_key = UINT32_MAX;
    uint32_t previous_number = 0;
    for (uint32_t i = 0; i < n; ++i) {
      ASSERT_EQ(call(3), 0);
      ASSERT_EQ(end_flag_, 0);
      const std::string r = returned(1000);
      const uint32_t key = key_of(r);
      const uint32_t number = number_of(r);
      ASSERT_LT(number, n);
      EXPECT_FALSE(seen[number]);
      seen[number] = true;
      EXPECT_EQ(key, number * 7919 % 97);
      EXPECT_EQ(r.back(), '-');
      if (i > 0) {
        EXPECT_TRUE(key < previous_key || (key == previous_key && number > previous_number))
            << "record " << i;
      }
      previous_key = key;
      previous_number = number;
    }
    EXPECT_EQ(call(3), 1);
    EXPECT_EQ(end_flag_, 1);
    EXPECT_EQ(files(), std::vector<std::string>{});
  }
}

TEST_F(RoundTripTest, CopyKeepsReleaseOrder) {
  ASSERT_EQ(start("S()R(F,00010)"), 0);
  for (uint32_t i = 0; i < 50; ++i) release(record(50 - i, i, 10));
  for (uint32_t i = 0; i < 50; ++i) {
    ASSERT_EQ(call(3), 0);
    EXPECT_EQ(number_of(returned(10)), i);
  }
  EXPECT_EQ(call(3), 1);
  EXPECT_EQ(end_flag_, 1);
}

TEST_F(RoundTripTest, NewStartEndsAnAbandonedRun) {
  ASSERT_EQ(start("S(00001,004,B,A)R(F,01000)"), 0);
  for (uint32_t i = 0; i < 3000; ++i) release(record(3000 - i, i, 1000));
  ASSERT_EQ(call(3), 0);
  EXPECT_EQ(key_of(returned(1000)), 1u);
  EXPECT_FALSE(files().empty());  // the run has spilled to work files

  ASSERT_EQ(start("S(00005,006,C,D)R(F,00010)"), 0);
  EXPECT_EQ(files(), std::vector<std::string>{});
  release(record(1, 1, 10));
  release(record(2, 2, 10));
  EXPECT_EQ(call(3), 0);
  EXPECT_EQ(number_of(returned(10)), 2u);
}

TEST_F(RoundTripTest, EngineFailuresComeBackAsReturnCode) {
  EXPECT_EQ(start("S(00001,000,C,A)R(F,00010)"), 203);  // length 0
  EXPECT_EQ(start("S(00000,001,C,A)R(F,00010)"), 202);  // position 0
  std::string keys = "S(";
  for (int k = 1; k <= 21; ++k) keys += std::string(k > 1 ? "," : "") + "00001,001,C,A";
  EXPECT_EQ(start(keys + ")R(F,00010)"), 206);  // more keys than the engine takes
  // Releasing into no open run.
  EXPECT_EQ(release("x"), 261);
}

}  // namespace
