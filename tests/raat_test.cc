// The record-at-a-time interface: its state table, in-memory and merged
// returns, copy runs, duplicate processing on the way back, work files.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/test_support.h"
#include "zara15z37.h"

namespace zara_test {
namespace {

// One call of s_1raat: function, the record or control text of 1 and 2,
// the status expected, and for 3 with status 0 the record expected back.
struct Step {
  int32_t function;
  std::string data;
  uint32_t status;
  std::string back = "";
};

void play(const std::vector<Step>& steps) {
  std::vector<char> buffer(70000);
  for (size_t i = 0; i < steps.size(); ++i) {
    const Step& s = steps[i];
    std::string data = s.data;
    uint32_t length = static_cast<uint32_t>(data.size()), status = 0xDEADBEEF;
    void* at = s.function == 3 ? buffer.data() : s.function < 3 ? data.data() : nullptr;
    s_1raat(s.function, at, s.function <= 3 ? &length : nullptr, &status);
    ASSERT_EQ(status, s.status) << "step " << i << ", function " << s.function;
    if (s.function == 3 && status == 0) {
      ASSERT_EQ(std::string(buffer.data(), length), s.back) << "step " << i;
    }
  }
}

// Opens with `control`, releases `in`, expects `out` back, then the end of
// data, after which the run is closed.
std::vector<Step> round_trip(const std::string& control, const std::vector<std::string>& in,
                             const std::vector<std::string>& out) {
  std::vector<Step> steps = {{1, control, 0}};
  for (const auto& r : in) steps.push_back({2, r, 0});
  for (const auto& r : out) steps.push_back({3, "", 0, r});
  steps.insert(steps.end(), {{3, "", 1}, {3, "", 261}, {2, "x", 261}});
  return steps;
}

std::string key_record(int key, int tag, size_t length = 12) {
  char buf[32];
  snprintf(buf, sizeof buf, "%06d%06d", key, tag);
  return std::string(buf).append(length - 12, '.');
}

TEST(Raat, StateTableAndControlErrors) {
  ScratchDir dir;
  // Function 4 after the end does nothing: the status stays.
  play({{1, "SORT (1,6,CH,A)", 0}, {3, "", 1}, {2, "x", 261}, {3, "", 261}, {4, "", 261}});
  play({{1, "SORT (1,1,CH,A)", 0}, {2, "b", 0}, {2, "a", 0}, {3, "", 0, "a"}, {2, "c", 262},
        {3, "", 261}});
  play({{7, "", 260}, {2, "x", 261}, {3, "", 261}});
  play({{1, "SORT (1,2,CH,A) OUTREC (1,2)", 10708}, {1, "SORT (1,2,CH,A) RECORD (10)", 10809},
        {1, "FILETYPE (PRE,10)", 10818}, {1, "LIMIT (3)", 10508}, {1, "XYZ", 201},
        {1, "SORTED", 10010},  // only four letters count
        {2, "x", 261}});       // a failed open leaves no run
  EXPECT_TRUE(dir.files().empty());
}

TEST(Raat, RecordsComeBackSortedCopiedOrProcessed) {
  const uint32_t buffer = sizes_with_core("CORE (60)").buffer;
  ASSERT_GT(buffer, 0u);
  ScratchDir dir;
  // Many loads with intermediate merges, and a copy run over several loads.
  std::vector<std::string> many, reversed;
  for (uint32_t i = 0, x = 12345; i < 3000; ++i) {
    x = x * 1103515245u + 12345u;
    many.push_back(key_record(static_cast<int>((x >> 8) % 500), i, 20 + i % 30));
  }
  for (int i = 0; i < 2000; ++i) reversed.push_back(key_record(2000 - i, i, 30));
  std::vector<std::string> sorted = many;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const auto& a, const auto& b) { return a.compare(0, 6, b, 0, 6) < 0; });
  // A record of a whole buffer cannot go to a work file; one load comes
  // back from memory.
  const std::string full(buffer, 'z');
  const std::vector<std::string> dups = {"C1", "A1", "B1", "A2", "C2", "A3"};
  const std::string k1 = "SORT (1,1,CH,A)";
  const std::vector<std::vector<Step>> scripts = {
      round_trip("SORT (1,6,CH,D)", {key_record(5, 0), key_record(3, 1), key_record(9, 2)},
                 {key_record(9, 2), key_record(5, 0), key_record(3, 1)}),
      round_trip("SORT (1,6,CH,A) CORE (60)", many, sorted),
      round_trip("CORE (60)", reversed, reversed),
      round_trip(k1 + " CORE (60)", {"", full, "m"}, {"", "m", full}),
      // The last held record comes with status 0, the next call gives 1.
      round_trip(k1 + " DUPOUT (1,1)", dups, {"A1", "B1", "C1"}),
      round_trip(k1 + " DUPEX (1,1)", dups, {"B1"}),
      round_trip(k1 + " DUPIN (1,1)", dups, {"A1", "A2", "A3", "C1", "C2"}),
      round_trip(k1 + " DUPOUT (1,1) CORE (60)", dups, {"A1", "B1", "C1"}),
      round_trip(k1 + " SUM (2,3,ZD)", {"B010", "A001", "B005", "A002", "C100"},
                 {"A003", "B015", "C100"}),
      round_trip("INCLUDE (1,1,CH,NE,\"x\") OUTREC (2,3,\"!\")", {"abcd", "xyzw", "1234"},
                 {"bcd!", "234!"}),
  };
  for (const auto& s : scripts) {
    play(s);
    EXPECT_TRUE(dir.files().empty()) << s.front().data;
  }
  // A small sort returns from memory: no work file even while returning.
  play({{1, k1, 0}, {2, "b", 0}, {2, "a", 0}, {3, "", 0, "a"}});
  EXPECT_TRUE(dir.files().empty());
  play({{4, "", 0}});
}

TEST(Raat, WorkFilesOfFailedFinishedAndReopenedRuns) {
  const uint32_t buffer = sizes_with_core("CORE (60)").buffer;
  ASSERT_GT(buffer, 0u);
  ScratchDir dir;
  // The load released before a record over a buffer goes to a work file,
  // which stays; a new run neither removes it nor is disturbed by it.
  play({{1, "SORT (1,1,CH,A) CORE (60)", 0}, {2, "small", 0},
        {2, std::string(buffer + 1, 'x'), 245}, {2, "y", 261}});
  EXPECT_EQ(dir.files().size(), 1u);
  play({{1, "SORT (1,1,CH,A)", 0}, {2, "q", 0}, {3, "", 0, "q"}, {3, "", 1}});
  EXPECT_EQ(dir.files().size(), 1u);
  // Finishing early, finishing during the merge, and opening a new run
  // remove the work files of a run that spilled.
  std::vector<Step> spill = {{1, "SORT (1,6,CH,A) CORE (60)", 0}};
  for (int i = 0; i < 400; ++i) spill.push_back({2, key_record(400 - i, i, 100), 0});
  const std::vector<std::vector<Step>> endings = {{{4, "", 0}, {3, "", 261}},
                                                  {{3, "", 0, key_record(1, 399, 100)}, {4, "", 0}},
                                                  {{1, "SORT (1,6,CH,A)", 0}, {3, "", 1}}};
  for (const auto& ending : endings) {
    ScratchDir fresh;
    play(spill);
    ASSERT_FALSE(fresh.files().empty());
    play(ending);
    EXPECT_TRUE(fresh.files().empty());
  }
}

}  // namespace
}  // namespace zara_test
