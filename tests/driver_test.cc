// Whole runs and what they hold: work files, progress figures, the output-is-input and input-name checks,
// descriptors, resource limits (in forked children) and eight processes sorting at once in one directory.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <ctime>
#include <set>

#include "engine/status.h"
#include "tests/child_run.h"
#include "tests/test_support.h"
#include "zara15z37.h"

namespace zara {
namespace {

using namespace zara_test;

// `n` lines "<tag><six digits>\n", descending or ascending.
std::string numbered(int n, char tag = 'n', bool descending = true) {
  std::string out;
  for (int i = 0; i < n; ++i) out += tag + std::to_string(1000000 + (descending ? n - 1 - i : i)).substr(1) + "\n";
  return out;
}

// Every progress report, and the work-file names present at each.
struct Watch { std::vector<zara_progress> reports; std::set<std::string> names; };

// Names "sw" + six digits + ".00" + a suffix, one family per run, all removed at the end; progress figures
// never go back.
TEST(WorkFiles, NamesRemovalAndProgress) {
  ScratchDir dir;
  write_file("in.txt", numbered(3000));
  Watch w;
  zara_set_progress([](const zara_progress* p, void* watch) {
    static_cast<Watch*>(watch)->reports.push_back(*p);
    for (const std::string& f : work_files()) static_cast<Watch*>(watch)->names.insert(f);
  }, &w);
  EXPECT_EQ(run("in.txt", "out.txt", "CORE (40) SORT (1,7,CH,A)").status, kOk);
  zara_set_progress(nullptr, nullptr);
  EXPECT_TRUE(read_file("out.txt") == numbered(3000, 'n', false));
  EXPECT_EQ(dir.files(), (std::vector<std::string>{"in.txt", "out.txt"}));
  const std::string family = w.names.empty() ? "" : w.names.begin()->substr(0, 11);
  EXPECT_TRUE(w.names.count(family + "1") && family.ends_with(".00")) << family;
  for (const std::string& name : w.names)
    EXPECT_TRUE(name.starts_with(family) && name.find_first_not_of("0123456789", 2) == 8 &&
                strchr("123456789ABCDEFGHIJKLMNOPQRSTU", name[11])) << name;
  for (size_t i = 1; i < w.reports.size(); ++i) {
    const zara_progress &a = w.reports[i - 1], &b = w.reports[i];
    EXPECT_TRUE(b.bytes_read >= a.bytes_read && b.memory_loads >= a.memory_loads &&
                b.merge_passes >= a.merge_passes && b.phase >= a.phase) << i;
  }
  EXPECT_TRUE(w.reports.size() >= 3 && w.reports.back().bytes_read == 24000 && w.reports.back().bytes_total == 24000 &&
              w.reports.back().phase == ZARA_PHASE_DONE);
}

// The output may not be an input under any name (in a copy, or a sort that changes records); no input
// name gives 213. No run, failed or not, leaves a descriptor open or closes one of its caller's.
TEST(Runs, OutputIsInputNoInputAndDescriptors) {
  ScratchDir dir;
  write_file("a.txt", lines({"b", "a"}));
  write_file("b.txt", numbered(3000));
  ASSERT_EQ(link("a.txt", "hard.txt") | symlink("a.txt", "soft.txt") | mkdir("sub", 0700), 0);
  const int mine = open("a.txt", O_RDONLY), before = count_open_fds();
  const struct { const char *in, *out, *control; uint32_t status; } runs[] = {
      {"a.txt b.txt", "b.txt", "", 211}, {"a.txt+[c]\"b.txt\"", "b.txt more", "", 211},
      {"missing.txt", "missing.txt", "", 211}, {"hard.txt", "a.txt", "", 211}, {"soft.txt", "a.txt", "OVERWRITE", 211},
      {"a.txt", "soft.txt", "SORT (1,1,CH,A) OUTREC (1,2)", 211},
      {"a.txt", "hard.txt", "SORT (1,1,CH,A) SUM (1,1,ZD)", 211},
      {"./a.txt", "sub/../a.txt", "SORT (1,1,CH,A) INCLUDE (1,1,CH,NE,\"x\")", 211},
      {"", "out.txt", "SORT (1,1,CH,A)", 213}, {" + \t\n[c]", "out.txt", "SORT (1,1,CH,A) OUTREC (1,1)", 213},
      {"a.txt", "A.TXT", "", 0}, {"b.txt", "out.txt", "CORE (40) SORT (1,7,CH,A) SUM (2,1,ZD)", 0},
      {"b.txt missing.txt", "out.txt", "CORE (40) SORT (1,7,CH,A)", 214}, {"b.txt missing.txt", "out.txt", "", 214},
      {"b.txt", "out.txt", "CORE (39) SORT (1,1,CH,A)", 225}, {"b.txt", "out.txt", "WORKDRIVE (a.txt/)", 329},
      {"b.txt", "out.txt", "WORKDRIVE (nodir/) SORT (1,1,CH,A)", 329}};
  for (const auto& r : runs) {
    SCOPED_TRACE(std::string(r.in) + " / " + r.control);
    EXPECT_EQ(run(r.in, r.out, r.control).status, r.status);
    EXPECT_EQ(read_file("a.txt"), lines({"b", "a"}));
    EXPECT_EQ(count_open_fds(), before);
  }
  EXPECT_EQ(run("hard.txt", "a.txt", "SORT (1,1,CH,A)").status, kOk);  // a plain sort may overwrite its input
  EXPECT_EQ(read_file("a.txt"), lines({"a", "b"}));
  EXPECT_TRUE(fd_is_open(mine) && close(mine) == 0);
}

// Runs `control` in a forked child, SIGXFSZ ignored, under the soft limit `value` of `resource` (for
// RLIMIT_NOFILE: `value` free descriptors; for RLIMIT_AS also no free heap block); `extra` counts the
// descriptors the run left open.
ChildResult limited(int resource, rlim_t value, const std::string& in, const std::string& out,
                    const std::string& control) {
  return run_in_child([&](uint32_t* extra) {
    signal(SIGXFSZ, SIG_IGN);
    const int before = count_open_fds();
    rlimit saved, low;
    getrlimit(resource, &saved);
    low = {resource == RLIMIT_NOFILE ? 0 : value, saved.rlim_max};
    for (rlim_t unused = 0; resource == RLIMIT_NOFILE && unused < value; ++low.rlim_cur)
      unused += !fd_is_open(static_cast<int>(low.rlim_cur));
    if (setrlimit(resource, &low) != 0) return RunResult{0xDEAD, 0};
    for (size_t size = size_t{1} << 24; resource == RLIMIT_AS && size >= 8; size /= 2)
      while (void* block = malloc(size)) *static_cast<volatile char*>(block) = 1;
    const RunResult r = run(in, out, control);
    setrlimit(resource, &saved);
    *extra = static_cast<uint32_t>(count_open_fds() - before);
    return r;
  });
}

// Too few descriptors for the work files: 329 without one for the probe, 330 with fewer than four, a
// correct sort (by intermediate merges) with four. Writes past a file-size limit fail: 240 for records,
// 321 for the end character; an appended output keeps its bytes. No room for the arena: 225.
TEST(Limits, DescriptorsFileSizeAndAddressSpace) {
  ScratchDir dir;
  write_file("in.txt", numbered(3000));
  write_file("in.dat", "dddcccbbbaaa");
  write_file("app.txt", std::string(1000, 'o'));
  const std::string sorted = numbered(3000, 'n', false), sort = "CORE (40) SORT (1,7,CH,A)";
  const struct { int resource; rlim_t value; const char *in, *out; std::string control; uint32_t status;
                 std::string bytes; } cases[] = {
      {RLIMIT_NOFILE, 0, "in.txt", "out.txt", sort, 329, ""}, {RLIMIT_NOFILE, 1, "in.txt", "out.txt", sort, 330, ""},
      {RLIMIT_NOFILE, 3, "in.txt", "out.txt", sort, 330, ""}, {RLIMIT_NOFILE, 4, "in.txt", "out.txt", sort, 0, sorted},
      {RLIMIT_FSIZE, 4096, "in.txt", "out.txt", "SORT (1,7,CH,A)", 240, sorted.substr(0, 4096)},
      {RLIMIT_FSIZE, 4096, "in.txt", "out.txt", "CORE (40)", 240, numbered(3000).substr(0, 4096)},
      {RLIMIT_FSIZE, 12, "in.dat", "out.dat", "SORT (1,3,CH,A) FILETYPE (FE) RECORD (3)", 321, "aaabbbcccddd"},
      {RLIMIT_FSIZE, 1000, "in.dat", "app.txt", "SORT (1,3,CH,A) RECORD (3) APPEND", 240, std::string(1000, 'o')},
#ifndef __SANITIZE_ADDRESS__  // an address-space limit defeats the sanitizer
      {RLIMIT_AS, 1 << 20, "in.txt", "out.txt", "SORT (1,7,CH,A)", 225, ""},
#endif
  };
  for (const auto& c : cases) {
    unlink("out.txt");
    const ChildResult child = limited(c.resource, c.value, c.in, c.out, c.control);
    SCOPED_TRACE(c.control + " under " + std::to_string(c.value));
    EXPECT_TRUE(child.exited && child.extra == 0);
    EXPECT_EQ(child.run.status, c.status);
    EXPECT_TRUE(read_file(c.out) == c.bytes);
    EXPECT_TRUE(work_files().empty());
  }
}

// Eight processes released together at a barrier (a pipe the parent closes), five times over, each with
// six free descriptors (so intermediate merges): every one finds a work-file family of its own.
TEST(Concurrency, EightProcessesSortingInOneDirectory) {
  ScratchDir dir;
  for (char p = '0'; p < '8'; ++p) write_file(std::string("in") + p, numbered(4000, p));
  for (int round = 0; round < 5; ++round) {
    int barrier[2];
    ASSERT_EQ(pipe(barrier), 0);
    pid_t children[8];
    for (char p = '0', go; p < '8'; ++p)
      if ((children[p - '0'] = fork()) == 0)
        _exit(close(barrier[1]) != 0 || read(barrier[0], &go, 1) != 0 || !limit_free_descriptors(6) ||
              run(std::string("in") + p, std::string("out") + p, "CORE (60) SORT (1,7,CH,A)").status != kOk);
    close(barrier[0]), close(barrier[1]);  // everyone starts now
    for (char p = '0'; p < '8'; ++p) {
      int status = -1;
      waitpid(children[p - '0'], &status, 0);
      EXPECT_TRUE(status == 0 && read_file(std::string("out") + p) == numbered(4000, p, false)) << round << p;
      unlink((std::string("out") + p).c_str());
    }
    EXPECT_TRUE(work_files().empty());
  }
}

}  // namespace
}  // namespace zara
