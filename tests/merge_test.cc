// Sorting: the in-memory sort's fast path, intermediate merges under a small work-file limit, damaged runs, whole
// sorts against `LC_ALL=C sort -s` and a COBOL SORT statement, and the record-at-a-time interface.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>

#include "compare/compare.h"
#include "engine/driver.h"
#include "engine/run_state.h"
#include "engine/sort.h"
#include "tests/child_run.h"

namespace zara_test {
namespace {

using namespace zara;
namespace fs = std::filesystem;

// Loads of short records of few bytes, NUL and the delimiter among them, sorted on abbreviated keys: s_compp's order.
TEST(Sort, FastPathAgreesWithTheComparison) {
  gv.input_names = gv.output_name = gv.control_text = nullptr;
  s_init();
  std::vector<RecordDesc> table(4000), d;
  std::vector<SortEntry> entries(4000);
  gv.file_type = kFix, gv.record_capacity = 2000, gv.record_table = table.data(), gv.sort_entries = entries.data();
  gv.sort_scratch = table.data() + 2000;
  std::mt19937 rng(20261206);
  std::vector<std::string> bytes(2000);
  const std::pair<uint32_t, uint32_t> fields[] = {{2, 6}, {1, 12}, {2, 0}, {3, 65535}};  // #2 delimited; to a NUL
  for (uint8_t type : {kCha, kSu, kBin, kAlp, kFi, kPd, kSli, kInt})
    for (uint8_t descending : {0, 1})
      for (const auto& [position, length] : fields) {
        SCOPED_TRACE(testing::Message() << "type " << int(type) << " " << position << "," << length << " " << int(descending));
        sp.count = 2, sp.entries[0] = {position, length, type, descending}, sp.entries[1] = {1, 3, kCha, 1};
        d.resize(300 + rng() % 1700);
        for (uint32_t i = 0; i < d.size(); ++i) {
          bytes[i].resize(rng() % 16);
          for (char& c : bytes[i]) c = ",abAB\x7f\x80\xff"[rng() % 9];
          d[i] = {reinterpret_cast<uint8_t*>(bytes[i].data()), uint32_t(bytes[i].size()), i + 1, 1};
        }
        std::copy(d.begin(), d.end(), table.begin());
        gv.record_count = uint32_t(d.size());
        s_sort();
        std::stable_sort(d.begin(), d.end(), [](auto& a, auto& b) { return s_compp(&a, &b) < 0; });
        for (size_t i = 0; i < d.size(); ++i) ASSERT_EQ(d[i].seq, table[i].seq) << i;
      }
  gv.record_table = gv.sort_scratch = nullptr, gv.sort_entries = nullptr;
}

void note(const zara_progress* p, void* last) { *static_cast<zara_progress*>(last) = *p; }

// In a child with `fds` free descriptors, L = fds - 2 runs: a load bringing the runs to L, not the last, ends in an
// intermediate merge leaving merge_first runs (1, 2, ... L-1, 1 ...). Run 1 damaged as the merge starts: 246, 313.
TEST(Sort, IntermediateMergesKeepTheOrderAndTheTiesAndDamagedRunsFail) {
  ScratchDir dir;
  const std::vector<std::string> keyed = keyed_lines(20000, 7);
  const struct { int fds; std::string control, in, out; } cases[] = {
      {4, "SORT (1,2,CH,A) CORE (30)", concat(keyed), sorted_by_prefix(keyed, 2)},
      {5, "SORT (1,2,CH,D) CORE (30)", concat(keyed), sorted_by_prefix(keyed, 2, true)},
      {4, "SORT (1,2,CH,A) FILETYPE (DB3) CORE (30)", db3_header(40, 9) + concat(keyed) + "\x1A",  // and its save file
       db3_header(40, 9, 'h', 20000) + sorted_by_prefix(keyed, 2) + "\x1A"}};
  for (const auto& c : cases) {
    write_file("in", c.in);
    const ChildResult child = run_in_child([&](uint32_t* extra) {
      zara_progress last{};
      zara_set_progress(note, &last);
      const RunResult r = run("in", "out", c.control);
      return *extra = last.memory_loads | last.merge_passes << 16, r;
    }, nullptr, 20000, c.fds);
    ASSERT_TRUE(child.exited && child.run.status == 0) << c.control;
    EXPECT_TRUE(read_file("out") == c.out && work_files().empty()) << c.control;
    uint32_t loads = child.extra & 0xFFFF, limit = c.fds - 2, runs = 0, merges = 1, first = 0;  // the final merge
    for (uint32_t load = 1; load < loads; ++load)
      if (++runs >= limit) ++merges, runs = first = first + 1 == limit ? 1 : first + 1;
    EXPECT_TRUE(loads > 3 * limit && child.extra >> 16 == merges) << c.control << ": merges " << (child.extra >> 16);
  }
  write_file("in", concat(keyed));
  for (uint32_t status : {246u, 313u}) {
    zara_set_progress([](const zara_progress* p, void* status) {
      for (const std::string& f : work_files()) {
        if (p->phase != ZARA_PHASE_MERGING || p->merge_passes > 0 || !f.ends_with('1')) continue;
        if (*static_cast<uint32_t*>(status) == 313) fs::resize_file(f, fs::file_size(f) - 3);
        else std::fstream(f, std::ios::in | std::ios::out | std::ios::binary).write("\xFF\xFF\0\0", 4);
      }
    }, &status);
    const int fds = count_open_fds();
    EXPECT_EQ(run("in", "out", "SORT (1,2,CH,A) CORE (60)").status, status);
    EXPECT_EQ(count_open_fds(), fds);
  }
  zara_set_progress(nullptr, nullptr);
  gv.merge_first = 2, gv.merge_queue_length = 4;  // m_que_reduce drops the head run of a queue, none of an empty one
  std::copy_n(std::begin({9u, 5u, 6u, 7u}), 4, gv.merge_queue);
  m_que_reduce(), m_que_reduce();
  EXPECT_TRUE(gv.merge_queue_length == 2 && gv.merge_queue[1] == 7 && (m_que_reduce(), gv.merge_queue_length) == 1);
  EXPECT_TRUE((m_que_reduce(), gv.merge_queue_length) == 1 && gv.merge_queue[0] == 9);
}

int shell(const std::string& command) { return std::system(command.c_str()); }

// Lines of bytes below '|' (sort's field separator) with "AB" prefixes making ties; records of a binary, a packed
// S9(9), a zoned S9(6) signed in its last zone (3 or 7), small values making ties, then bytes showing their order.
TEST(Sort, WholeSortsAgreeWithTheSortUtilityAndACobolSort) {
  ScratchDir dir;
  std::mt19937 gen(2024);
  std::string text, data;
  for (int i = 0; i < 40000; ++i, text += '\n')
    for (uint32_t j = 0, length = 17 + gen() % 84, tied = gen() % 18; j < length; ++j)
      text += j < tied ? "AB"[gen() % 2] : char(0x20 + gen() % 92);
  write_file("in", text);
  ASSERT_EQ(run("in", "out", "SORT (3,6,CH,D,1,2,CH,A) CORE (60)").status, 0u);
  ASSERT_EQ(shell("LC_ALL=C sort -s -t '|' -k1.3,1.8r -k1.1,1.2 in >expected"), 0);
  EXPECT_TRUE(read_file("out") == read_file("expected"));
  if (shell("cobc -x -o sort_fixed " ZARA_TEST_SOURCE_DIR "/bench/sort_fixed.cob >log 2>&1") != 0)
    GTEST_SKIP() << "no COBOL compiler: " << read_file("log");
  auto pick = [&](uint32_t small, uint32_t large) { return gen() % ((gen() % 8 ? small : large) + 1); };
  for (int i = 0; i < 20000; ++i) {
    std::string r(100, ' ');
    const uint32_t binary = pick(6, 999999999), packed = pick(4, 999999999), zoned = pick(3, 999999);
    const std::string nibbles = std::to_string(1000000000 + packed).substr(1) + char(packed && gen() % 2 ? 13 : 12);
    for (int b = 0; b < 5; ++b) r[4 + b] = char((nibbles[2 * b] - '0') << 4 | (nibbles[2 * b + 1] & 15));
    for (int b = 0; b < 4; ++b) r[b] = char(binary >> (24 - 8 * b));
    r.replace(9, 6, std::to_string(1000000 + zoned).substr(1));
    r[14] |= zoned && gen() % 2 ? 0x40 : 0;
    for (size_t j = 32; j < 100; ++j) r[j] = char(gen());
    data += r;
  }
  write_file("in", data);
  ASSERT_EQ(shell("SORTIN=in SORTOUT=expected ./sort_fixed >log 2>&1"), 0) << read_file("log");
  ASSERT_EQ(run("in", "out", "SORT (1,4,BI,A,5,5,PD,D,10,6,ZD,A) RECORD (100) CORE (60)").status, 0u);
  EXPECT_TRUE(read_file("expected") != data && read_file("out") == read_file("expected"));
}

// One call of s_1raat with `data`; function 3 receives the record into `back`.
uint32_t raat(int32_t function, std::string data, std::string* back = nullptr) {
  if (function == 3) data.assign(70000, '?');
  uint32_t length = uint32_t(data.size()), status = 0xDEADBEEF;
  s_1raat(function, data.data(), &length, &status);
  if (back) *back = data.substr(0, length);
  return status;
}
using Calls = std::vector<std::tuple<int32_t, std::string, uint32_t>>;  // function, data, status
void play(const Calls& calls) {
  for (const auto& [function, data, status] : calls) EXPECT_EQ(raat(function, data), status) << function << ": " << data;
}

// Releases `in` to a run of `control` and returns the records back, concatenated; the run closes after them.
std::string trip(const std::string& control, const std::vector<std::string>& in) {
  std::string out, back;
  EXPECT_EQ(raat(1, control), 0u);
  for (const std::string& r : in) EXPECT_EQ(raat(2, r), 0u);
  for (uint32_t status = 0; (status = raat(3, "", &back)) != 1; out += back) EXPECT_EQ(status, 0u);
  EXPECT_EQ(raat(3, ""), 261u);
  return out;
}

TEST(Raat, StateTableRoundTripsAndWorkFiles) {
  ScratchDir dir;
  ASSERT_EQ(raat(1, "CORE (60)"), 0u);  // sizes the buffers
  const std::string k1 = "SORT (1,1,CH,A)", full(gv.buffer_size, 'z');
  const std::vector<std::string> keyed = keyed_lines(3000, 5), dups = {"C1", "A1", "B1", "A2", "C2", "A3"};
  play({{1, "SORT (1,6,CH,A)", 0}, {3, "", 1}, {2, "x", 261}, {3, "", 261}, {4, "", 261}, {7, "", 260}, {2, "x", 261},
        {1, k1, 0}, {2, "b", 0}, {2, "a", 0}, {3, "", 0}, {2, "c", 262}, {3, "", 261}, {1, "XYZ", 201}, {2, "x", 261}});
  EXPECT_EQ(trip("SORT (1,2,CH,D) CORE (60)", keyed), sorted_by_prefix(keyed, 2, true));  // merged runs
  EXPECT_EQ(trip("CORE (60)", keyed), concat(keyed));                                     // a copy of many loads
  EXPECT_EQ(trip(k1 + " CORE (60)", {"", full, "m"}), "m" + full);  // a whole buffer stays in memory
  EXPECT_EQ(trip(k1 + " DUPOUT (1,1)", dups) + "|" + trip(k1 + " DUPEX (1,1)", dups), "A1B1C1|B1");
  EXPECT_EQ(trip(k1 + " SUM (2,3,ZD)", {"B010", "A001", "B005", "A002", "C100"}), "A003B015C100");
  EXPECT_TRUE(dir.files().empty());
  // The load before a record over a buffer goes to a work file that stays, neither removed nor read by a new run.
  play({{1, k1 + " CORE (60)", 0}, {2, "small", 0}, {2, full + "z", 245}, {2, "y", 261}, {1, k1, 0}, {3, "", 1}});
  EXPECT_EQ(work_files().size(), 1u);
  // Function 4, early or during the merge, and opening a new run remove the work files of a run that spilled.
  for (const Calls& ending : {Calls{{4, "", 0}, {3, "", 261}}, Calls{{3, "", 0}, {4, "", 0}}, Calls{{1, k1, 0}, {3, "", 1}}}) {
    ScratchDir fresh;
    play({{1, "SORT (1,2,CH,A) CORE (60)", 0}});
    for (const std::string& r : keyed) raat(2, r);
    ASSERT_FALSE(work_files().empty());
    play(ending);
    EXPECT_TRUE(fresh.files().empty());
  }
}

}  // namespace
}  // namespace zara_test
