// The record-at-a-time interface: its state table, in-memory and merged
// returns, copy runs, duplicate processing on the way back, work files.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/test_support.h"
#include "zara15z37.h"

namespace {

using zara_test::ScratchDir;

class Raat {
 public:
  uint32_t call(int32_t function, void* data, uint32_t* length) {
    uint32_t status = 0xDEADBEEF;
    s_1raat(function, data, length, &status);
    return status;
  }
  uint32_t open(const std::string& control) {
    std::string text = control;
    uint32_t n = static_cast<uint32_t>(text.size());
    return call(1, text.data(), &n);
  }
  uint32_t release(const std::string& record) {
    std::string r = record;
    uint32_t n = static_cast<uint32_t>(r.size());
    return call(2, r.data(), &n);
  }
  // Function 3; the record in *out on status 0.
  uint32_t give(std::string* out) {
    std::vector<char> buffer(70000);
    uint32_t n = 0;
    const uint32_t status = call(3, buffer.data(), &n);
    if (status == 0 && out) out->assign(buffer.data(), n);
    return status;
  }
  std::vector<std::string> give_all(uint32_t* final_status) {
    std::vector<std::string> out;
    std::string r;
    uint32_t status;
    while ((status = give(&r)) == 0) out.push_back(r);
    *final_status = status;
    return out;
  }
  uint32_t finish() { return call(4, nullptr, nullptr); }
};

std::string key_record(int key, int tag, size_t length = 12) {
  char buf[32];
  snprintf(buf, sizeof buf, "%06d%06d", key, tag);
  std::string r(buf);
  r.resize(length, '.');
  return r;
}

TEST(Raat, ReturnWithoutRecordsEndsAtOnceAndCloses) {
  ScratchDir dir;
  Raat raat;
  ASSERT_EQ(0u, raat.open("SORT (1,6,CH,A)"));
  EXPECT_EQ(1u, raat.give(nullptr));
  // The run is closed: releasing and returning need a new function 1.
  EXPECT_EQ(261u, raat.release("x"));
  EXPECT_EQ(261u, raat.give(nullptr));
  EXPECT_EQ(261u, raat.finish());  // function 4 does nothing; the status stays
}

TEST(Raat, SmallSortComesBackFromMemoryWithoutWorkFiles) {
  ScratchDir dir;
  Raat raat;
  ASSERT_EQ(0u, raat.open("SORT (1,6,CH,D)"));
  const int keys[] = {5, 3, 9, 3, 1};
  for (int i = 0; i < 5; ++i) ASSERT_EQ(0u, raat.release(key_record(keys[i], i)));
  std::string first;
  ASSERT_EQ(0u, raat.give(&first));
  EXPECT_TRUE(dir.files().empty());
  uint32_t status;
  std::vector<std::string> rest = raat.give_all(&status);
  EXPECT_EQ(1u, status);
  rest.insert(rest.begin(), first);
  const std::vector<std::string> expected = {key_record(9, 2), key_record(5, 0), key_record(3, 1),
                                             key_record(3, 3), key_record(1, 4)};
  EXPECT_EQ(expected, rest);
}

TEST(Raat, ManyLoadsMergeInOrderAndLeaveNoWorkFile) {
  ScratchDir dir;
  Raat raat;
  // CORE (60): 1 KiB parts, so a few hundred records need many loads and
  // intermediate merges.
  ASSERT_EQ(0u, raat.open("SORT (1,6,CH,A) CORE (60)"));
  std::vector<std::string> expected;
  uint32_t x = 12345;
  for (int i = 0; i < 3000; ++i) {
    x = x * 1103515245u + 12345u;
    const std::string r = key_record(static_cast<int>((x >> 8) % 500), i, 20 + i % 30);
    expected.push_back(r);
    ASSERT_EQ(0u, raat.release(r)) << i;
  }
  std::stable_sort(expected.begin(), expected.end(),
                   [](const std::string& a, const std::string& b) { return a.substr(0, 6) < b.substr(0, 6); });
  uint32_t status;
  const std::vector<std::string> got = raat.give_all(&status);
  EXPECT_EQ(1u, status);
  EXPECT_EQ(expected, got);
  EXPECT_TRUE(dir.files().empty());
}

TEST(Raat, CopyRunKeepsReleaseOrderAcrossLoads) {
  ScratchDir dir;
  Raat raat;
  ASSERT_EQ(0u, raat.open("CORE (60)"));
  std::vector<std::string> expected;
  for (int i = 0; i < 500; ++i) {
    expected.push_back(key_record(500 - i, i, 30));
    ASSERT_EQ(0u, raat.release(expected.back()));
  }
  uint32_t status;
  EXPECT_EQ(expected, raat.give_all(&status));
  EXPECT_EQ(1u, status);
  EXPECT_TRUE(dir.files().empty());
}

TEST(Raat, ReleaseAfterReturnIsRefusedAndCloses) {
  ScratchDir dir;
  Raat raat;
  ASSERT_EQ(0u, raat.open("SORT (1,1,CH,A)"));
  ASSERT_EQ(0u, raat.release("b"));
  ASSERT_EQ(0u, raat.release("a"));
  std::string r;
  ASSERT_EQ(0u, raat.give(&r));
  EXPECT_EQ("a", r);
  EXPECT_EQ(262u, raat.release("c"));
  EXPECT_EQ(261u, raat.give(&r));
}

TEST(Raat, UnknownFunctionAndCallsWithoutRun) {
  ScratchDir dir;
  Raat raat;
  EXPECT_EQ(260u, raat.call(7, nullptr, nullptr));
  EXPECT_EQ(261u, raat.release("x"));
  EXPECT_EQ(261u, raat.give(nullptr));
}

TEST(Raat, ControlTextErrorsAndForbiddenStatements) {
  ScratchDir dir;
  Raat raat;
  EXPECT_EQ(10708u, raat.open("SORT (1,2,CH,A) OUTREC (1,2)"));
  EXPECT_EQ(10809u, raat.open("SORT (1,2,CH,A) RECORD (10)"));  // flags 7 and 8
  EXPECT_EQ(10818u, raat.open("FILETYPE (PRE,10)"));
  EXPECT_EQ(10508u, raat.open("LIMIT (3)"));
  EXPECT_EQ(201u, raat.open("XYZ"));
  EXPECT_EQ(10010u, raat.open("SORTED"));  // only four letters count
  EXPECT_EQ(261u, raat.release("x"));  // a failed open leaves no run
}

TEST(Raat, RecordLongerThanASortBufferFailsAfterSpillingItsLoad) {
  ScratchDir dir;
  Raat raat;
  ASSERT_EQ(0u, raat.open("SORT (1,1,CH,A) CORE (60)"));  // 1 KiB sort buffers
  ASSERT_EQ(0u, raat.release("small"));
  EXPECT_EQ(245u, raat.release(std::string(1025, 'x')));
  // The load released before it went to a work file, which stays.
  EXPECT_EQ(1u, dir.files().size());
  EXPECT_EQ(261u, raat.release("y"));
  // A new run neither removes that file nor is disturbed by it.
  ASSERT_EQ(0u, raat.open("SORT (1,1,CH,A)"));
  ASSERT_EQ(0u, raat.release("q"));
  std::string r;
  EXPECT_EQ(0u, raat.give(&r));
  EXPECT_EQ("q", r);
  EXPECT_EQ(1u, raat.give(&r));
}

TEST(Raat, FinishEarlyRemovesWorkFiles) {
  ScratchDir dir;
  Raat raat;
  ASSERT_EQ(0u, raat.open("SORT (1,6,CH,A) CORE (60)"));
  for (int i = 0; i < 400; ++i) ASSERT_EQ(0u, raat.release(key_record(400 - i, i, 100)));
  EXPECT_FALSE(dir.files().empty());
  EXPECT_EQ(0u, raat.finish());
  EXPECT_TRUE(dir.files().empty());
  EXPECT_EQ(261u, raat.give(nullptr));
}

TEST(Raat, FinishDuringMergeRemovesWorkFiles) {
  ScratchDir dir;
  Raat raat;
  ASSERT_EQ(0u, raat.open("SORT (1,6,CH,A) CORE (60)"));
  for (int i = 0; i < 400; ++i) ASSERT_EQ(0u, raat.release(key_record(400 - i, i, 100)));
  std::string r;
  ASSERT_EQ(0u, raat.give(&r));
  EXPECT_EQ(key_record(1, 399, 100), r);
  EXPECT_EQ(0u, raat.finish());
  EXPECT_TRUE(dir.files().empty());
}

TEST(Raat, OpenOnAnOpenRunEndsItAndRemovesItsWorkFiles) {
  ScratchDir dir;
  Raat raat;
  ASSERT_EQ(0u, raat.open("SORT (1,6,CH,A) CORE (60)"));
  for (int i = 0; i < 400; ++i) ASSERT_EQ(0u, raat.release(key_record(i, i, 100)));
  ASSERT_FALSE(dir.files().empty());
  ASSERT_EQ(0u, raat.open("SORT (1,6,CH,A)"));
  EXPECT_TRUE(dir.files().empty());
  EXPECT_EQ(1u, raat.give(nullptr));
}

TEST(Raat, DuplicatesAreProcessedOnTheWayBack) {
  ScratchDir dir;
  Raat raat;
  // A1 A2 A3 B1 C1 C2 by the first byte.
  const std::vector<std::string> in = {"C1", "A1", "B1", "A2", "C2", "A3"};
  struct Case {
    const char* control;
    std::vector<std::string> out;
  } cases[] = {
      {"SORT (1,1,CH,A) DUPOUT (1,1)", {"A1", "B1", "C1"}},
      {"SORT (1,1,CH,A) DUPEX (1,1)", {"B1"}},
      {"SORT (1,1,CH,A) DUPIN (1,1)", {"A1", "A2", "A3", "C1", "C2"}},
      {"SORT (1,1,CH,A) DUPOUT (1,1) CORE (60)", {"A1", "B1", "C1"}},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(0u, raat.open(c.control)) << c.control;
    for (const std::string& r : in) ASSERT_EQ(0u, raat.release(r));
    uint32_t status;
    EXPECT_EQ(c.out, raat.give_all(&status)) << c.control;
    EXPECT_EQ(1u, status);
    // After the end of data, the run is closed.
    EXPECT_EQ(261u, raat.give(nullptr));
  }
}

TEST(Raat, SumAddsIntoTheFirstRecordOfEachGroup) {
  ScratchDir dir;
  Raat raat;
  ASSERT_EQ(0u, raat.open("SORT (1,1,CH,A) SUM (2,3,ZD)"));
  for (const char* r : {"B010", "A001", "B005", "A002", "C100"}) ASSERT_EQ(0u, raat.release(r));
  uint32_t status;
  const std::vector<std::string> expected = {"A003", "B015", "C100"};
  EXPECT_EQ(expected, raat.give_all(&status));
}

TEST(Raat, CopyRunWithOutrecAndSelection) {
  ScratchDir dir;
  Raat raat;
  ASSERT_EQ(0u, raat.open("INCLUDE (1,1,CH,NE,\"x\") OUTREC (2,3,\"!\")"));
  for (const char* r : {"abcd", "xyzw", "1234"}) ASSERT_EQ(0u, raat.release(r));
  uint32_t status;
  const std::vector<std::string> expected = {"bcd!", "234!"};
  EXPECT_EQ(expected, raat.give_all(&status));
  EXPECT_EQ(1u, status);
  EXPECT_TRUE(dir.files().empty());
}

TEST(Raat, EmptyRecordsAndRecordsOfExactlyABuffer) {
  ScratchDir dir;
  Raat raat;
  ASSERT_EQ(0u, raat.open("SORT (1,1,CH,A) CORE (60)"));
  ASSERT_EQ(0u, raat.release(""));
  ASSERT_EQ(0u, raat.release(std::string(1024, 'z')));
  ASSERT_EQ(0u, raat.release("m"));
  uint32_t status;
  const std::vector<std::string> got = raat.give_all(&status);
  // A record of a whole buffer cannot go to a work file with its 8-byte
  // header; everything here fits one load, so it comes back from memory.
  ASSERT_EQ(1u, status);
  ASSERT_EQ(3u, got.size());
  EXPECT_EQ("", got[0]);
  EXPECT_EQ("m", got[1]);
  EXPECT_EQ(std::string(1024, 'z'), got[2]);
}

}  // namespace
