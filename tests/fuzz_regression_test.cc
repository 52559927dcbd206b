// Replays the inputs that made a fuzz program report a finding (tests/data/fuzz_regressions/<program>/)
// and the seed corpora (fuzz/corpus/<program>/) through the programs' own case code.
#define ZARA_FUZZ_REPLAY
#include <gtest/gtest.h>

#include "cobol/d15o37.cc"
#include "cobol/sort_statement.cc"
#include "fuzz/fuzz_cobol.cc"
#include "fuzz/fuzz_control.cc"
#include "fuzz/fuzz_input.cc"
#include "fuzz/fuzz_raat.cc"
#include "tests/test_support.h"

TEST(FuzzReplay, SavedFindingsAndSeedsRunClean) {
  ASSERT_TRUE(freopen("/dev/null", "r", stdin));
  const std::pair<const char*, std::string (*)(const uint8_t*, size_t)> programs[] = {
      {"fuzz_control", control_case::run}, {"fuzz_input", input_case::run}, {"fuzz_raat", raat_case::run},
      {"fuzz_cobol", cobol_case::run}};
  for (const auto& [name, run] : programs) {
    zara_test::ScratchDir dir;  // a program takes any file it did not write for a leftover
    int replayed = 0;
    for (const std::string root : {"/tests/data/fuzz_regressions/", "/fuzz/corpus/"}) {
      std::error_code absent;
      for (const auto& file : zara_fuzz::fs::directory_iterator(ZARA_TEST_SOURCE_DIR + root + name, absent)) {
        zara_fuzz::Bytes bytes;
        ASSERT_TRUE(zara_fuzz::read_file(file.path(), &bytes) && ++replayed);
        EXPECT_EQ(run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), "") << file.path();
      }
    }
    EXPECT_GT(replayed, 0) << name;
  }
}
