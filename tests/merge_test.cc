// Sorts larger than one memory load: runs on work files, intermediate
// merges under a small work-file limit, the final merge, stability of
// equal keys through all of them, records at buffer boundaries, and the
// clean-up of work files.
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "engine/run_state.h"
#include "tests/child_run.h"
#include "tests/test_support.h"

namespace zara_test {
namespace {

struct Sizes {
  uint32_t buffer = 0;
  uint32_t table = 0;
};

// Buffer size and record-table capacity of a run with this CORE value in
// this process, read back after a trivial run.
Sizes sizes_with(const std::string& core) {
  ScratchDir dir;
  write_file("probe.txt", "a\n");
  const RunResult r = run("probe.txt", "probe.out", "SORT (1,1,CH,A) " + core);
  if (r.status != 0) return {};
  return {zara::gv.buffer_size, zara::gv.record_capacity};
}

// Lines of a 2-byte key from a small alphabet (many ties) and a serial
// number that shows the input order.
std::vector<std::string> keyed_lines(int n, unsigned seed) {
  std::mt19937 gen(seed);
  std::vector<std::string> out;
  for (int i = 0; i < n; ++i) {
    char line[32];
    snprintf(line, sizeof line, "%c%c%06d\n", 'A' + static_cast<int>(gen() % 5),
             'a' + static_cast<int>(gen() % 4), i);
    out.push_back(line);
  }
  return out;
}

std::string join(const std::vector<std::string>& v) {
  std::string out;
  for (const auto& s : v) out += s;
  return out;
}

// What a stable sort on the first `key` bytes gives.
std::string stable_sorted(std::vector<std::string> v, size_t key, bool descending) {
  std::stable_sort(v.begin(), v.end(), [&](const std::string& a, const std::string& b) {
    const int c = a.compare(0, key, b, 0, key);
    return descending ? c > 0 : c < 0;
  });
  return join(v);
}

std::vector<std::string> files_in(const std::string& path) {
  std::vector<std::string> out;
  if (DIR* d = opendir(path.c_str())) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') out.push_back(e->d_name);
    closedir(d);
  }
  return out;
}

bool only_inputs_and_output_remain(const ScratchDir& dir, std::vector<std::string> expected) {
  std::sort(expected.begin(), expected.end());
  return dir.files() == expected;
}

TEST(Merge, SeveralLoadsMergeIntoAStableOrderAndLeaveNoWorkFile) {
  ScratchDir dir;
  const auto in = keyed_lines(20000, 1);
  write_file("in.txt", join(in));
  for (const bool descending : {false, true}) {
    PassCounter passes;
    const RunResult r =
        run("in.txt", "out.txt", std::string("SORT (1,2,CH,") + (descending ? "D" : "A") + ") CORE (60)");
    ASSERT_EQ(r.status, 0u);
    EXPECT_EQ(r.records, 20000u);
    EXPECT_EQ(read_file("out.txt"), stable_sorted(in, 2, descending)) << descending;
    EXPECT_GT(passes.most_work_files(), 10u);
    EXPECT_TRUE(only_inputs_and_output_remain(dir, {"in.txt", "out.txt"}));
  }
}

// ---- a work-file limit of 2, 3 and 4 runs, by limiting descriptors ----

struct LimitCase {
  int descriptors;  // the file limit the probe is to find
  bool descending;
};

class SmallFileLimit : public ::testing::TestWithParam<LimitCase> {};

TEST_P(SmallFileLimit, IntermediateMergesKeepTheOrderAndTheTies) {
  const LimitCase c = GetParam();
  ScratchDir dir;
  const auto in = keyed_lines(20000, 7);
  write_file("in.txt", join(in));
  const std::string control = std::string("SORT (1,2,CH,") + (c.descending ? "D" : "A") + ") CORE (30)";
  const ChildResult child = run_in_child([&](uint32_t* extra) {
    if (!limit_free_descriptors(c.descriptors)) return RunResult{0xDEAD, 0};
    PassCounter passes;
    const RunResult r = run("in.txt", "out.txt", control);
    // Loads, merges and the file limit travel back packed in one word.
    *extra = (passes.loads() & 0xFFF) | ((passes.merges() & 0xFFF) << 12) |
             ((zara::gv.file_limit & 0xFF) << 24);
    return r;
  });
  ASSERT_TRUE(child.exited);
  ASSERT_EQ(child.run.status, 0u);
  const uint32_t loads = child.extra & 0xFFF;
  const uint32_t merges = (child.extra >> 12) & 0xFFF;
  const uint32_t limit_seen = child.extra >> 24;
  EXPECT_EQ(limit_seen, static_cast<uint32_t>(c.descriptors));
  EXPECT_EQ(child.run.records, 20000u);
  EXPECT_EQ(read_file("out.txt"), stable_sorted(in, 2, c.descending));
  EXPECT_TRUE(only_inputs_and_output_remain(dir, {"in.txt", "out.txt"}));
  // With L runs allowed, a load that brings the runs to L, and is not the
  // last, ends in an intermediate merge that leaves merge_first runs
  // (counting 1, 2, ... L-1, then 1 again); the final merge comes last.
  const uint32_t L = static_cast<uint32_t>(c.descriptors) - 2;
  ASSERT_GT(loads, 3 * L);
  uint32_t runs = 0, expected_merges = 0, merge_first = 0;
  for (uint32_t load = 1; load <= loads; ++load) {
    ++runs;
    if (runs >= L && load < loads) {
      ++expected_merges;
      if (++merge_first == L) merge_first = 1;
      runs = merge_first;
    }
  }
  EXPECT_EQ(merges, expected_merges + 1);
}

INSTANTIATE_TEST_SUITE_P(Limits, SmallFileLimit,
                         ::testing::Values(LimitCase{4, false}, LimitCase{4, true},
                                           LimitCase{5, false}, LimitCase{5, true},
                                           LimitCase{6, true}),
                         [](const ::testing::TestParamInfo<LimitCase>& i) {
                           return "L" + std::to_string(i.param.descriptors - 2) +
                                  (i.param.descending ? "Descending" : "Ascending");
                         });

// Work files are never filtered: SUM folds each group once, on the final
// merge, whatever intermediate merges came before.
TEST(Merge, SumOverIntermediateMergesFoldsEachGroupOnce) {
  ScratchDir dir;
  std::mt19937 gen(11);
  std::vector<std::string> in;
  std::vector<std::string> first_of(26);
  std::vector<long> total(26, 0);
  for (int i = 0; i < 12000; ++i) {
    const int k = static_cast<int>(gen() % 26);
    const int amount = static_cast<int>(gen() % 100);
    char line[32];
    snprintf(line, sizeof line, "%c %06d %05d\n", 'A' + k, amount, i);
    in.push_back(line);
    if (first_of[k].empty()) first_of[k] = line;
    total[k] += amount;
  }
  write_file("in.txt", join(in));
  const ChildResult child = run_in_child([&](uint32_t* extra) {
    if (!limit_free_descriptors(4)) return RunResult{0xDEAD, 0};
    PassCounter passes;
    const RunResult r = run("in.txt", "out.txt", "SORT (1,1,CH,A) SUM (3,6,ZD) CORE (30)");
    *extra = passes.merges();
    return r;
  });
  ASSERT_TRUE(child.exited);
  ASSERT_EQ(child.run.status, 0u);
  EXPECT_GT(child.extra, 2u);
  EXPECT_EQ(child.run.records, 26u);
  std::string expected;
  for (int k = 0; k < 26; ++k) {
    char sum[8];
    snprintf(sum, sizeof sum, "%06ld", total[k]);
    expected += first_of[k].replace(2, 6, sum);
  }
  EXPECT_EQ(read_file("out.txt"), expected);
}

// With two runs allowed, the final merge of a headed type holds both runs,
// the output and the header save file open at once: four descriptors.
TEST(Merge, HeadedOutputOfAMergeFitsTheSmallestFileLimit) {
  ScratchDir dir;
  std::string header(40, 'h');
  header[0] = 0x03;
  header.replace(8, 2, std::string("\x28\x00", 2));  // 40
  header.replace(10, 2, std::string("\x08\x00", 2));  // 8
  std::vector<std::string> records;
  for (int i = 0; i < 6000; ++i) {
    char rec[16];
    snprintf(rec, sizeof rec, " %05d#", (i * 4099) % 6000);
    records.push_back(std::string(rec, 7) + "\x01");
  }
  write_file("in.dbf", header + join(records) + "\x1A");
  const ChildResult child = run_in_child([&](uint32_t* extra) {
    if (!limit_free_descriptors(4)) return RunResult{0xDEAD, 0};
    PassCounter passes;
    const RunResult r = run("in.dbf", "out.dbf", "SORT (2,5,CH,A) FILETYPE (DB3) CORE (30)");
    *extra = passes.merges();
    return r;
  });
  ASSERT_TRUE(child.exited);
  ASSERT_EQ(child.run.status, 0u);
  EXPECT_GT(child.extra, 2u);
  std::sort(records.begin(), records.end());
  std::string expected = header;
  expected.replace(4, 4, std::string("\x70\x17\x00\x00", 4));  // 6000
  EXPECT_EQ(read_file("out.dbf"), expected + join(records) + "\x1A");
  EXPECT_TRUE(only_inputs_and_output_remain(dir, {"in.dbf", "out.dbf"}));
}

TEST(Merge, FewerThanFourDescriptorsFailWith330BeforeReading) {
  ScratchDir dir;
  write_file("in.txt", "b\na\n");
  const ChildResult child = run_in_child([&](uint32_t*) {
    if (!limit_free_descriptors(3)) return RunResult{0xDEAD, 0};
    return run("in.txt", "out.txt", "SORT (1,1,CH,A)");
  });
  ASSERT_TRUE(child.exited);
  EXPECT_EQ(child.run.status, 330u);
  EXPECT_FALSE(file_exists("out.txt"));
}

// ---- records at buffer boundaries ----

TEST(Merge, RecordsFillingOrStraddlingMergeBuffersComeThroughIntact) {
  const Sizes s = sizes_with("CORE (60)");
  ASSERT_GT(s.buffer, 0u);
  ScratchDir dir;
  // The largest key goes with records whose work-file form (8 bytes more)
  // is exactly one buffer, so each ends its run; the others have lengths
  // that straddle buffer ends everywhere.
  std::mt19937 gen(3);
  std::vector<std::string> in;
  for (int i = 0; i < 4000; ++i) {
    std::string line;
    if (i % 450 == 17) {
      line = "~" + std::to_string(i);
      line.resize(s.buffer - 8 - 1, '#');
    } else {
      line = std::string(1, static_cast<char>('a' + gen() % 26)) + std::to_string(i);
      line.resize(1 + gen() % 300, '=');
    }
    in.push_back(line + "\n");
  }
  write_file("in.txt", join(in));
  PassCounter passes;
  const RunResult r = run("in.txt", "out.txt", "SORT (1,1,CH,A) CORE (60)");
  ASSERT_EQ(r.status, 0u);
  EXPECT_GT(passes.most_work_files(), 5u);
  EXPECT_EQ(read_file("out.txt"), stable_sorted(in, 1, false));
  EXPECT_TRUE(only_inputs_and_output_remain(dir, {"in.txt", "out.txt"}));
}

TEST(Merge, ARunEndingInARecordOfExactlyOneBufferEndsCleanly) {
  const Sizes s = sizes_with("CORE (60)");
  ASSERT_GT(s.table, 0u);
  ScratchDir dir;
  // The first load is a full record table; its largest record, which sorts
  // last in the run, is exactly one buffer in work-file form. The second
  // load is one more record.
  std::vector<std::string> in;
  std::string big = "~";
  big.resize(s.buffer - 8 - 1, '#');
  in.push_back(big + "\n");
  for (uint32_t i = 1; i < s.table; ++i) in.push_back("b" + std::to_string(i) + "\n");
  in.push_back("a\n");
  write_file("in.txt", join(in));
  PassCounter passes;
  const RunResult r = run("in.txt", "out.txt", "SORT (1,1,CH,A) CORE (60)");
  ASSERT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, s.table + 1);
  EXPECT_EQ(passes.most_work_files(), 2u);
  EXPECT_EQ(read_file("out.txt"), stable_sorted(in, 1, false));
}

// ---- how many runs ----

TEST(Merge, OneLoadWritesNoWorkFileAndASingleRunIsCopied) {
  const Sizes s = sizes_with("CORE (60)");
  ASSERT_GT(s.table, 0u);
  ScratchDir dir;
  auto in = keyed_lines(static_cast<int>(s.table) - 1, 5);
  write_file("one.txt", join(in));
  {
    PassCounter passes;
    ASSERT_EQ(run("one.txt", "out.txt", "SORT (1,2,CH,D) CORE (60)").status, 0u);
    EXPECT_EQ(passes.most_work_files(), 0u);
    EXPECT_EQ(passes.merges(), 0u);
    EXPECT_EQ(read_file("out.txt"), stable_sorted(in, 2, true));
  }
  // A full record table makes a run; the next load finds nothing, so the
  // final merge has the one run to copy.
  in = keyed_lines(static_cast<int>(s.table), 6);
  write_file("full.txt", join(in));
  PassCounter passes;
  ASSERT_EQ(run("full.txt", "out.txt", "SORT (1,2,CH,D) CORE (60)").status, 0u);
  EXPECT_EQ(passes.most_work_files(), 1u);
  EXPECT_EQ(passes.merges(), 1u);
  EXPECT_EQ(read_file("out.txt"), stable_sorted(in, 2, true));
  EXPECT_TRUE(only_inputs_and_output_remain(dir, {"full.txt", "one.txt", "out.txt"}));
}

TEST(Merge, ALoadThatSelectionEmptiesWritesNoRun) {
  const Sizes s = sizes_with("CORE (60)");
  ASSERT_GT(s.table, 0u);
  ScratchDir dir;
  std::vector<std::string> in;
  for (const char k : {'c', 'b', 'a'})
    for (uint32_t i = 0; i < s.table; ++i) in.push_back(std::string(1, k) + std::to_string(i) + "\n");
  in.push_back("d\n");
  write_file("in.txt", join(in));
  PassCounter passes;
  const RunResult r = run("in.txt", "out.txt", "SORT (1,1,CH,D) CORE (60) OMIT (1,1,CH,EQ,\"b\")");
  ASSERT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 2 * s.table + 1);
  EXPECT_EQ(passes.most_work_files(), 3u);  // c, a and d; the b load none
  std::vector<std::string> kept;
  for (const auto& l : in)
    if (l[0] != 'b') kept.push_back(l);
  EXPECT_EQ(read_file("out.txt"), stable_sorted(kept, 1, true));
}

// ---- memory shortfall ----

#if !defined(__SANITIZE_ADDRESS__)
long address_space_bytes() {
  FILE* f = fopen("/proc/self/status", "r");
  if (!f) return -1;
  char line[256];
  long kb = -1;
  while (fgets(line, sizeof line, f))
    if (sscanf(line, "VmSize: %ld kB", &kb) == 1) break;
  fclose(f);
  return kb < 0 ? -1 : kb * 1024;
}

struct ArenaShape {
  uint32_t status, part, buffers, file_limit;
};

// Runs a small sort with CORE (8000) (parts of 200 KiB) in a child whose
// address space has room for the output buffer, the record table and about
// `parts` more parts.
ArenaShape arena_with_room_for(double parts) {
  constexpr uint32_t kPart = 8000 / 40 * 1024;
  const double table = 2.0 * (10.0 * kPart / 16) * sizeof(zara::RecordDesc);
  ArenaShape shape{0xFFFFFFFFu, 0, 0, 0};
  const ChildResult child = run_in_child([&](uint32_t* extra) {
    // Blocks this large then always come from their own mappings, whatever
    // the parent's allocations taught the allocator.
    mallopt(M_MMAP_THRESHOLD, 64 * 1024);
    const long used = address_space_bytes();
    const rlimit rl{static_cast<rlim_t>(used + kPart + table + parts * (kPart + 4096)),
                    RLIM_INFINITY};
    if (used < 0 || setrlimit(RLIMIT_AS, &rl) != 0) return RunResult{0xDEAD, 0};
    const RunResult r = run("in.txt", "out.txt", "SORT (1,2,CH,A) CORE (8000)");
    *extra = (zara::gv.buffer_size / 1024) | (zara::gv.last_buffer + 1) << 16 |
             zara::gv.file_limit << 24;
    return r;
  });
  if (child.exited)
    shape = {child.run.status, (child.extra & 0xFFFF) * 1024, (child.extra >> 16) & 0xFF,
             child.extra >> 24};
  return shape;
}

TEST(Merge, ShortOfMemoryTheArenaTakesFewerBuffersOrSmallerParts) {
  ScratchDir dir;
  const auto in = keyed_lines(3000, 12);
  write_file("in.txt", join(in));
  const std::string expected = stable_sorted(in, 2, false);
  // The allocator's own overhead is not known exactly, so the room grows
  // step by step through every case: halved parts, a kept shortfall, and
  // the full arena.
  bool halved = false, short_kept = false, full = false;
  for (int room = 8; room <= 80; room += 2) {
    unlink("out.txt");
    const ArenaShape shape = arena_with_room_for(room);
    ASSERT_EQ(shape.status, 0u) << room;
    ASSERT_EQ(read_file("out.txt"), expected) << room;
    if (shape.buffers == shape.file_limit - 2) {
      EXPECT_EQ(shape.buffers, 28u) << room;
      halved |= shape.part < 204800u;
      full |= shape.part == 204800u;
    } else {
      // More than 60 percent of the 30 files: kept, with a lower file limit.
      EXPECT_GT(shape.buffers, 18u) << room;
      EXPECT_EQ(shape.file_limit, shape.buffers + 1) << room;
      short_kept = true;
    }
  }
  EXPECT_TRUE(halved);
  EXPECT_TRUE(short_kept);
  EXPECT_TRUE(full);
}
#endif

// ---- damaged work files ----

// The final merge opens the runs before it shows the operator prompt, so a
// run can be damaged while the prompt waits: `damage` gets the name of the
// first run. The child reports how many descriptors the run left open.
ChildResult merge_with_damaged_run(const std::function<void(const std::string&)>& damage) {
  return run_in_child(
      [](uint32_t* extra) {
        const int before = count_open_fds();
        const RunResult r = run("in.txt", "out.txt", "SORT (1,2,CH,A) CORE (60) PAUSE");
        *extra = static_cast<uint32_t>(count_open_fds() - before);
        return r;
      },
      [&](int to_child, int from_child) {
        if (read_some(from_child, 62).size() != 62) return;
        for (const auto& f : files_in("."))
          if (f.size() == 12 && f.compare(0, 2, "sw") == 0 && f.back() == '1') damage(f);
        if (write(to_child, "\n", 1) != 1) return;
      });
}

TEST(Merge, ARunWhoseFirstRecordIsLongerThanABufferFailsWith246) {
  ScratchDir dir;
  write_file("in.txt", join(keyed_lines(5000, 4)));
  const ChildResult child = merge_with_damaged_run([](const std::string& run_file) {
    // The length word of the run's first record: far beyond a buffer.
    if (FILE* w = fopen(run_file.c_str(), "r+b")) {
      fwrite("\xFF\xFF\x00\x00", 1, 4, w);
      fclose(w);
    }
  });
  ASSERT_TRUE(child.exited);
  EXPECT_EQ(child.run.status, 246u);
  EXPECT_EQ(child.extra, 0u);
}

TEST(Merge, ARunCutOffInsideARecordFailsInsteadOfReadingPastIt) {
  ScratchDir dir;
  write_file("in.txt", join(keyed_lines(5000, 4)));
  const ChildResult child = merge_with_damaged_run([](const std::string& run_file) {
    struct stat st;
    if (stat(run_file.c_str(), &st) == 0) {
      EXPECT_EQ(truncate(run_file.c_str(), st.st_size - 3), 0);
    }
  });
  ASSERT_TRUE(child.exited);
  EXPECT_EQ(child.run.status, 313u);
  EXPECT_EQ(child.extra, 0u);
}

// ---- work files elsewhere, and after a failure ----

TEST(Merge, WorkFilesGoToTheWorkDirectoryAndStayAfterAFailedMerge) {
  ScratchDir dir;
  ASSERT_EQ(mkdir("wk", 0700), 0);
  const auto in = keyed_lines(5000, 9);
  write_file("in.txt", join(in));
  const int fds = count_open_fds();
  RunResult r = run("in.txt", "out.txt", "SORT (1,2,CH,A) CORE (60) WORKDRIVE (wk/)");
  ASSERT_EQ(r.status, 0u);
  EXPECT_EQ(read_file("out.txt"), stable_sorted(in, 2, false));
  EXPECT_TRUE(only_inputs_and_output_remain(dir, {"in.txt", "out.txt", "wk"}));
  EXPECT_TRUE(files_in("wk").empty());

  // The output cannot be created when the runs are merged: every descriptor
  // is closed, and the runs stay for inspection.
  r = run("in.txt", "missing/out.txt", "SORT (1,2,CH,A) CORE (60) WORKDRIVE (wk/)");
  EXPECT_EQ(r.status, 210u);
  EXPECT_EQ(count_open_fds(), fds);
  EXPECT_GT(files_in("wk").size(), 1u);
}

}  // namespace
}  // namespace zara_test
