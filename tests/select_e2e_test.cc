// Whole runs with duplicate processing, SUM and OUTREC: through s_2mains
// (one memory load, several loads with work files, copy runs) and through
// the record-at-a-time interface.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/run_state.h"
#include "tests/test_support.h"
#include "zara15z37.h"

namespace {

using zara_test::lines;
using zara_test::read_file;
using zara_test::run;
using zara_test::ScratchDir;
using zara_test::write_file;

// A memory small enough that a few thousand records need several loads.
const std::string kSmallCore = " CORE(40)";

TEST(SelectRun, SortedDupoutKeepsTheFirstOfEachGroup) {
  ScratchDir dir;
  write_file("in", lines({"B 1", "A 1", "B 2", "C 1", "A 2", "A 3"}));
  const auto r = run("in", "out", "SORT(1,1,CH,A) DUPOUT(1,1)");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 3u);
  EXPECT_EQ(read_file("out"), lines({"A 1", "B 1", "C 1"}));
}

TEST(SelectRun, DupinAndDupexWithDupc) {
  ScratchDir dir;
  write_file("in", lines({"B 1", "A 1", "B 2", "C 1", "A 2", "A 3"}));
  auto r = run("in", "out", "SORT(1,1,CH,A) DUPIN(1,1) OUTREC(1,3,\":\",DUPC,CRLF)");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(read_file("out"),
            "A 1:0000002\r\nA 2:0000003\r\nA 3:0000002\r\nB 1:0000002\r\nB 2:0000002\r\n");
  r = run("in", "out", "SORT(1,1,CH,A) DUPEX(1,1)");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(read_file("out"), lines({"C 1"}));
}

TEST(SelectRun, SumTotalsZonedAndNumFields) {
  ScratchDir dir;
  write_file("in", lines({"B 010  2.5", "A 001  1.0", "B 005 10.0", "A 002  0.5"}));
  const auto r = run("in", "out", "SORT(1,1,CH,A) SUM(3,3,ZD,7,4,NUM)");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 2u);
  EXPECT_EQ(read_file("out"), lines({"A 003  1.5", "B 015 12.5"}));
}

// Sorted runs on work files are complete; the final merge filters them.
TEST(SelectRun, SeveralLoadsFilterOnceInTheFinalMerge) {
  ScratchDir dir;
  std::vector<std::string> records;
  for (int i = 0; i < 3000; ++i) records.push_back(std::string(1, static_cast<char>('A' + i % 7)) + " 01");
  write_file("in", lines(records));
  auto r = run("in", "out", "SORT(1,1,CH,A) DUPOUT(1,1)" + kSmallCore);
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(read_file("out"), lines({"A 01", "B 01", "C 01", "D 01", "E 01", "F 01", "G 01"}));
  r = run("in", "out", "SORT(1,1,CH,A) SUM(3,2,ZD)" + kSmallCore);
  EXPECT_EQ(r.status, 0u);
  // 3000 = 7 * 428 + 4: A to D have 429 members, E to G 428; the sums wrap
  // at two digits.
  EXPECT_EQ(read_file("out"), lines({"A 29", "B 29", "C 29", "D 29", "E 28", "F 28", "G 28"}));
  EXPECT_EQ(dir.files(), (std::vector<std::string>{"in", "out"}));
}

// A copy run holds its record across memory loads and flushes it at the end.
TEST(SelectRun, CopyRunOverSeveralLoads) {
  ScratchDir dir;
  std::vector<std::string> records(1500, "AAAA");
  records.insert(records.end(), 1500, "BBBB");
  write_file("in", lines(records));
  auto r = run("in", "out", "DUPOUT" + kSmallCore);
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 2u);
  EXPECT_EQ(read_file("out"), lines({"AAAA", "BBBB"}));
  r = run("in", "out", "DUPEX" + kSmallCore);
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(read_file("out"), "");
}

TEST(SelectRun, HoldAreaTooSmall) {
  ScratchDir dir;
  write_file("in", lines({std::string(1000, 'x'), "short"}));
  EXPECT_EQ(run("in", "out", "SORT(1,1,CH,A) DUPOUT").status, 256u);
  EXPECT_EQ(run("in", "out", "SORT(1,1,CH,A) DUPOUT(B1001)").status, 0u);
}

// Record at a time: duplicates apply on the way back to the caller.
struct Raat {
  uint32_t call(int32_t function, std::string* data) {
    uint32_t status = 0;
    uint32_t length = static_cast<uint32_t>(data->size());
    s_1raat(function, data->data(), &length, &status);
    data->resize(length);
    return status;
  }
  std::vector<std::string> sort(const std::string& control, const std::vector<std::string>& in) {
    // The run reset of function 1 still reads the output name of the last
    // s_2mains call, whose text is gone by now.
    zara::gv.output_name = nullptr;
    zara::gv.output_name_length = 0;
    std::string text = control;
    EXPECT_EQ(call(1, &text), 0u);
    for (std::string r : in) EXPECT_EQ(call(2, &r), 0u);
    std::vector<std::string> out;
    for (;;) {
      std::string buffer(256, '\0');
      const uint32_t status = call(3, &buffer);
      if (status == 1) break;
      EXPECT_EQ(status, 0u);
      if (status != 0) break;
      out.push_back(buffer);
    }
    std::string none(256, '\0');
    EXPECT_EQ(call(3, &none), 261u);
    return out;
  }
};

TEST(SelectRaat, DuplicatesOnTheWayBack) {
  ScratchDir dir;
  using V = std::vector<std::string>;
  const V in = {"B1", "A1", "C1", "A2", "C2", "A3"};
  EXPECT_EQ(Raat().sort("SORT(1,1,CH,A) DUPOUT(1,1)", in), (V{"A1", "B1", "C1"}));
  EXPECT_EQ(Raat().sort("SORT(1,1,CH,A) DUPIN(1,1)", in), (V{"A1", "A2", "A3", "C1", "C2"}));
  EXPECT_EQ(Raat().sort("SORT(1,1,CH,A) SUM(2,1,ZD)", in), (V{"A6", "B1", "C3"}));
  // A copy run keeps release order; only adjacent equal records are groups.
  EXPECT_EQ(Raat().sort("DUPOUT(1,1)", {"A1", "A2", "B1", "A3"}), (V{"A1", "B1", "A3"}));
}

}  // namespace
