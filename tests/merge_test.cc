// Sorts larger than one memory load: runs on work files, intermediate
// merges under a small work-file limit, the final merge, stability of
// equal keys through all of them, records at buffer boundaries, damaged
// runs, and the clean-up of work files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <random>

#include "engine/run_state.h"
#include "tests/child_run.h"
#include "tests/test_support.h"

namespace zara_test {
namespace {

struct Passes {
  uint32_t most_runs, merges;
};

// Sorts `in` with `control`; checks the stable order on `key` bytes, the
// count, and that no work file remains.
Passes sorted_run(const std::vector<std::string>& in, size_t key, bool descending,
                  const std::string& control) {
  SCOPED_TRACE(control);
  write_file("in.txt", concat(in));
  PassCounter passes;
  const RunResult r = run("in.txt", "out.txt", control);
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, in.size());
  EXPECT_EQ(read_file("out.txt"), sorted_by_prefix(in, key, descending));
  EXPECT_TRUE(work_files().empty());
  return {passes.most_work_files(), passes.merges()};
}

TEST(Merge, SeveralLoadsMergeStablyAndRecordsCrossBufferEnds) {
  const CoreSizes s = sizes_with_core("CORE (60)");
  ASSERT_GT(s.table, 0u);
  ScratchDir dir;
  const auto in = keyed_lines(20000, 1);
  EXPECT_GT(sorted_run(in, 2, false, "SORT (1,2,CH,A) CORE (60)").most_runs, 10u);
  EXPECT_GT(sorted_run(in, 2, true, "SORT (1,2,CH,D) CORE (60)").most_runs, 10u);
  // Records of the largest key whose work-file form (8 bytes more) is
  // exactly one buffer end their runs; the others straddle buffer ends.
  std::mt19937 gen(3);
  std::vector<std::string> mixed;
  for (int i = 0; i < 4000; ++i) {
    const bool full = i % 450 == 17;
    std::string line = (full ? '~' : char('a' + gen() % 26)) + std::to_string(i);
    line.resize(full ? s.buffer - 9 : 1 + gen() % 300, '=');
    mixed.push_back(line + "\n");
  }
  EXPECT_GT(sorted_run(mixed, 1, false, "SORT (1,1,CH,A) CORE (60)").most_runs, 5u);
  // A run whose last record is exactly one buffer in work-file form, then
  // a second load of one record.
  std::vector<std::string> exact = {"~" + std::string(s.buffer - 10, '#') + "\n"};
  for (uint32_t i = 1; i < s.table; ++i) exact.push_back("b" + std::to_string(i) + "\n");
  exact.push_back("a\n");
  EXPECT_EQ(sorted_run(exact, 1, false, "SORT (1,1,CH,A) CORE (60)").most_runs, 2u);
}

TEST(Merge, OneLoadWritesNoRunAndOneRunIsCopied) {
  const CoreSizes s = sizes_with_core("CORE (60)");
  ASSERT_GT(s.table, 0u);
  ScratchDir dir;
  const std::string sort = "SORT (1,2,CH,D) CORE (60)";
  const Passes one = sorted_run(keyed_lines(static_cast<int>(s.table) - 1, 5), 2, true, sort);
  EXPECT_EQ(one.most_runs, 0u);
  EXPECT_EQ(one.merges, 0u);
  // A full table makes a run, the next load finds nothing: the final merge
  // copies the one run.
  const Passes full = sorted_run(keyed_lines(static_cast<int>(s.table), 6), 2, true, sort);
  EXPECT_EQ(full.most_runs, 1u);
  EXPECT_EQ(full.merges, 1u);
  // A load that selection empties writes no run: c, a and d make three.
  std::vector<std::string> in;
  for (const char k : {'c', 'b', 'a'})
    for (uint32_t i = 0; i < s.table; ++i) in.push_back(k + std::to_string(i) + "\n");
  in.push_back("d\n");
  write_file("in.txt", concat(in));
  PassCounter passes;
  const RunResult r = run("in.txt", "out.txt", "SORT (1,1,CH,D) CORE (60) OMIT (1,1,CH,EQ,\"b\")");
  ASSERT_EQ(r.status, 0u);
  EXPECT_EQ(passes.most_work_files(), 3u);
  std::erase_if(in, [](const std::string& l) { return l[0] == 'b'; });
  EXPECT_EQ(r.records, in.size());
  EXPECT_EQ(read_file("out.txt"), sorted_by_prefix(in, 1, true));
}

// Runs `control` over in.txt in a child with `descriptors` free descriptor
// numbers; extra packs loads, merge passes and the file limit found.
ChildResult run_with_descriptors(int descriptors, const std::string& control) {
  return run_in_child([&](uint32_t* extra) {
    if (!limit_free_descriptors(descriptors)) return RunResult{0xDEAD, 0};
    PassCounter passes;
    const RunResult r = run("in.txt", "out.txt", control);
    *extra = (passes.loads() & 0xFFF) | (passes.merges() & 0xFFF) << 12 |
             (zara::gv.file_limit & 0xFF) << 24;
    return r;
  });
}

// A work-file limit of 2, 3 and 4 runs, by limiting descriptors.
TEST(Merge, IntermediateMergesKeepTheOrderAndTheTies) {
  ScratchDir dir;
  const auto in = keyed_lines(20000, 7);
  write_file("in.txt", concat(in));
  for (const auto& [descriptors, descending] :
       std::vector<std::pair<int, bool>>{{4, false}, {4, true}, {5, false}, {5, true}, {6, true}}) {
    SCOPED_TRACE(descriptors);
    const ChildResult child = run_with_descriptors(
        descriptors, std::string("SORT (1,2,CH,") + (descending ? "D" : "A") + ") CORE (30)");
    ASSERT_TRUE(child.exited);
    ASSERT_EQ(child.run.status, 0u);
    const uint32_t loads = child.extra & 0xFFF, merges = (child.extra >> 12) & 0xFFF;
    EXPECT_EQ(child.extra >> 24, static_cast<uint32_t>(descriptors));
    EXPECT_EQ(child.run.records, 20000u);
    EXPECT_EQ(read_file("out.txt"), sorted_by_prefix(in, 2, descending));
    EXPECT_TRUE(work_files().empty());
    // With L runs allowed, a load that brings the runs to L, and is not the
    // last, ends in an intermediate merge that leaves merge_first runs
    // (counting 1, 2, ... L-1, then 1 again); the final merge comes last.
    const uint32_t L = static_cast<uint32_t>(descriptors) - 2;
    ASSERT_GT(loads, 3 * L);
    uint32_t runs = 0, expected_merges = 1, merge_first = 0;
    for (uint32_t load = 1; load <= loads; ++load)
      if (++runs >= L && load < loads) {
        ++expected_merges;
        runs = merge_first = merge_first + 1 == L ? 1 : merge_first + 1;
      }
    EXPECT_EQ(merges, expected_merges);
  }
}

// With two runs allowed: SUM folds each group once, on the final merge
// (work files are never filtered); and the final merge of a headed type
// holds both runs, the output and the header save file at once.
TEST(Merge, TwoRunsAllowedWithSumAndWithAHeader) {
  ScratchDir dir;
  std::mt19937 gen(11);
  std::string sum_in, sum_out;
  std::vector<std::string> first_of(26);
  std::vector<long> total(26, 0);
  for (int i = 0; i < 12000; ++i) {
    const int k = static_cast<int>(gen() % 26), amount = static_cast<int>(gen() % 100);
    char line[32];
    snprintf(line, sizeof line, "%c %06d %05d\n", 'A' + k, amount, i);
    sum_in += line;
    if (first_of[k].empty()) first_of[k] = line;
    total[k] += amount;
  }
  for (int k = 0; k < 26; ++k) {
    char sum[8];
    snprintf(sum, sizeof sum, "%06ld", total[k]);
    sum_out += first_of[k].replace(2, 6, sum);
  }
  std::vector<std::string> records;
  for (int i = 0; i < 6000; ++i)
    records.push_back(" " + std::to_string(10000 + i * 4099 % 6000) + "#-");
  const struct {
    std::string in, control, out;
  } cases[] = {
      {sum_in, "SORT (1,1,CH,A) SUM (3,6,ZD) CORE (30)", sum_out},
      {db3_header(40, 8) + concat(records) + kEndChar, "SORT (2,5,CH,A) FILETYPE (DB3) CORE (30)",
       db3_header(40, 8, 'h', 6000) + sorted_by_prefix(records, 8) + kEndChar},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.control);
    write_file("in.txt", c.in);
    const ChildResult child = run_with_descriptors(4, c.control);
    ASSERT_TRUE(child.exited);
    ASSERT_EQ(child.run.status, 0u);
    EXPECT_GT((child.extra >> 12) & 0xFFF, 2u);
    EXPECT_EQ(read_file("out.txt"), c.out);
    EXPECT_TRUE(work_files().empty());
  }
}

// The final merge opens the runs before it shows the operator prompt, so a
// run can be damaged while the prompt waits. The child reports how many
// descriptors the run left open.
TEST(Merge, DamagedRunsFailWithoutReadingPastARecord) {
  for (const uint32_t status : {246u, 313u}) {
    ScratchDir dir;
    write_file("in.txt", concat(keyed_lines(5000, 4)));
    const ChildResult child = run_in_child(
        [](uint32_t* extra) {
          const int before = count_open_fds();
          const RunResult r = run("in.txt", "out.txt", "SORT (1,2,CH,A) CORE (60) PAUSE");
          *extra = static_cast<uint32_t>(count_open_fds() - before);
          return r;
        },
        [&](int to_child, int from_child) {
          if (read_some(from_child, 62).size() != 62) return;
          for (const auto& f : work_files()) {
            struct stat st;
            if (f.back() != '1' || stat(f.c_str(), &st) != 0) continue;
            if (status == 313) {  // cut inside the last record
              EXPECT_EQ(truncate(f.c_str(), st.st_size - 3), 0);
            } else if (FILE* w = fopen(f.c_str(), "r+b")) {
              fwrite("\xFF\xFF\x00\x00", 1, 4, w);  // the first record's length: past a buffer
              fclose(w);
            }
          }
          if (write(to_child, "\n", 1) != 1) return;
        });
    ASSERT_TRUE(child.exited);
    EXPECT_EQ(child.run.status, status);
    EXPECT_EQ(child.extra, 0u);
  }
}

// The output cannot be created when the runs are merged: every descriptor
// is closed, and the runs stay for inspection.
TEST(Merge, AFailedFinalMergeClosesEverythingAndKeepsTheRuns) {
  ScratchDir dir;
  write_file("in.txt", concat(keyed_lines(5000, 9)));
  const int fds = count_open_fds();
  EXPECT_EQ(run("in.txt", "missing/out.txt", "SORT (1,2,CH,A) CORE (60)").status, 210u);
  EXPECT_EQ(count_open_fds(), fds);
  EXPECT_GT(work_files().size(), 1u);
}

}  // namespace
}  // namespace zara_test
