// Runs under resource limits, each in a forked child: too few descriptors
// for the work files (329, 330, or a correct sort at the smallest file
// limit), no address space for the arena (225), a file-size limit (240,
// 321; SIGXFSZ ignored so that a write past the limit fails with EFBIG);
// every failed run closes what it opened and keeps its inputs. And
// eight processes sorting at once in one work directory, whose clock-based
// work-file names collide.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/child_run.h"
#include "tests/test_support.h"
#include "zara15z37.h"

namespace zara_test {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

// Runs `body` in a child under the soft limit `value` of `resource` (for
// RLIMIT_NOFILE: the limit that leaves `value` descriptors free); the child
// reports the descriptors the run left open as `extra`.
ChildResult run_limited(int resource, rlim_t value, const std::function<RunResult()>& body) {
  return run_in_child([&](uint32_t* extra) {
    signal(SIGXFSZ, SIG_IGN);
    const int before = count_open_fds();
    rlimit saved;
    getrlimit(resource, &saved);
    rlimit lowered{value, saved.rlim_max};
    if (resource == RLIMIT_NOFILE) {
      lowered.rlim_cur = 0;
      for (rlim_t free_seen = 0; free_seen < value; ++lowered.rlim_cur)
        free_seen += !fd_is_open(static_cast<int>(lowered.rlim_cur));
    }
    if (setrlimit(resource, &lowered) != 0) return RunResult{0xDEAD, 0};
    const RunResult r = body();
    setrlimit(resource, &saved);
    *extra = static_cast<uint32_t>(count_open_fds() - before);
    return r;
  });
}

ChildResult run_limited(int resource, rlim_t value, const std::string& inputs,
                        const std::string& output, const std::string& control) {
  return run_limited(resource, value, [&] { return run(inputs, output, control); });
}

// Records of a 2-byte key (many ties) and a serial number, `end` after each.
std::vector<std::string> keyed(int n, unsigned seed, const char* end = "") {
  std::vector<std::string> records = keyed_lines(n, seed);
  for (std::string& r : records) r.replace(r.size() - 1, 1, end);
  return records;
}

// A record-at-a-time run: its records released, then returned into
// `returned`; the first status other than 0 (1 at the end of data), and the
// function (1 to 3) that gave it.
std::pair<uint32_t, int> raat_sort(std::vector<std::string> records, std::string control,
                                   std::string* returned) {
  uint32_t length = static_cast<uint32_t>(control.size()), status = 0;
  s_1raat(1, control.data(), &length, &status);
  if (status != 0) return {status, 1};
  for (std::string& r : records) {
    length = static_cast<uint32_t>(r.size());
    s_1raat(2, r.data(), &length, &status);
    if (status != 0) return {status, 2};
  }
  char buffer[256];
  for (length = 0; (s_1raat(3, buffer, &length, &status), status == 0); length = 0)
    returned->append(buffer, std::min<uint32_t>(length, sizeof buffer));
  return {status, 3};
}

TEST(DescriptorLimit, FewerThanFourGive330AndFourSuffice) {
  ScratchDir dir;
  write_file("in.txt", lines({"b", "a"}));
  for (rlim_t free_slots : {0, 1, 2, 3}) {  // without one, not even the probe is created
    const ChildResult child =
        run_limited(RLIMIT_NOFILE, free_slots, "in.txt", "out.txt", "SORT (1,1,CH,A)");
    ASSERT_TRUE(child.exited) << free_slots;
    EXPECT_EQ(child.run.status, free_slots == 0 ? 329u : 330u) << free_slots;
    EXPECT_EQ(child.extra, 0u) << free_slots;
    EXPECT_EQ(dir.files(), std::vector<std::string>{"in.txt"}) << free_slots;
  }
  // 2 KB parts: many memory loads folded in by intermediate merges.
  const auto records = keyed(6000, 3, "\n");
  write_file("in.txt", concat(records));
  for (rlim_t free_slots : {4, 5}) {
    const ChildResult child =
        run_limited(RLIMIT_NOFILE, free_slots, "in.txt", "out.txt", "CORE (40) SORT (1,2,CH,A)");
    ASSERT_TRUE(child.exited);
    EXPECT_EQ(child.run.status, 0u);
    EXPECT_EQ(child.run.records, 6000u);
    EXPECT_EQ(child.extra, 0u);
    EXPECT_EQ(read_file("out.txt"), sorted_by_prefix(records, 2));
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"in.txt", "out.txt"}));
  }
  // Record at a time: 2 work files, so every spilled load after the second
  // is folded in by an intermediate merge. The records reach the parent
  // through a file.
  unlink("in.txt");
  unlink("out.txt");
  const auto released = keyed(6000, 3);
  const ChildResult child = run_limited(RLIMIT_NOFILE, 4, [&] {
    std::string returned;
    const auto [status, function] = raat_sort(released, "SORT (1,2,CH,A) CORE (60)", &returned);
    write_file("returned", returned);
    return RunResult{status, static_cast<uint32_t>(function)};
  });
  ASSERT_TRUE(child.exited);
  EXPECT_EQ(child.run.status, 1u);
  EXPECT_EQ(child.extra, 0u);
  EXPECT_EQ(read_file("returned"), sorted_by_prefix(released, 2));
  EXPECT_EQ(dir.files(), std::vector<std::string>{"returned"});
}

// Forbids any new mapping (the limit lies below what is mapped already) and
// takes every free block the heap still has, so that the next allocation of
// any size fails.
void exhaust_memory() {
  char buf[4096];
  const int fd = open("/proc/self/status", O_RDONLY);
  const ssize_t n = fd < 0 ? 0 : read(fd, buf, sizeof buf - 1);
  if (fd >= 0) close(fd);
  buf[n > 0 ? n : 0] = '\0';
  const char* at = strstr(buf, "VmSize:");
  rlimit rl;
  getrlimit(RLIMIT_AS, &rl);
  rl.rlim_cur = at ? strtoull(at + 7, nullptr, 10) * 512 : 0;  // half of it
  setrlimit(RLIMIT_AS, &rl);
  for (size_t size = size_t{1} << 24; size >= 8; size /= 2)
    while (void* block = malloc(size)) *static_cast<volatile char*>(block) = 1;  // kept
}

TEST(MemoryLimit, NoRoomForTheArenaGives225AndLeavesNothing) {
  if (kAddressSanitizer) GTEST_SKIP() << "an address-space limit defeats the sanitizer";
  ScratchDir dir;
  write_file("in.txt", lines({"b", "a"}));
  const std::string inputs = "in.txt", output = "out.txt", control = "SORT (1,1,CH,A)";
  const ChildResult child = run_in_child([&](uint32_t* extra) {
    int before = 0;
    for (int fd = 0; fd < 4096; ++fd) before += fd_is_open(fd);  // counted without the heap
    exhaust_memory();
    const RunResult r = run(inputs, output, control);
    for (int fd = 0; fd < 4096; ++fd) before -= fd_is_open(fd);
    *extra = static_cast<uint32_t>(-before);
    return r;
  });
  ASSERT_TRUE(child.exited);
  EXPECT_EQ(child.run.status, 225u);
  EXPECT_EQ(child.extra, 0u);
  // A record-at-a-time run fails to open and is closed.
  const ChildResult raat = run_in_child([](uint32_t* release_status) {
    char control[] = "SORT (1,1,CH,A)", record[] = "x";
    uint32_t length = sizeof control - 1, open_status = 0;
    exhaust_memory();
    s_1raat(1, control, &length, &open_status);
    length = 1;
    s_1raat(2, record, &length, release_status);
    return RunResult{open_status, 0};
  });
  ASSERT_TRUE(raat.exited);
  EXPECT_EQ(raat.run.status, 225u);
  EXPECT_EQ(raat.extra, 261u);
  EXPECT_EQ(dir.files(), std::vector<std::string>{"in.txt"});
}

TEST(FileSizeLimit, WritesPastTheLimitFail) {
  ScratchDir dir;
  const auto in = keyed(2000, 5, "\n");
  write_file("in.txt", concat(in));
  // One memory load, written straight to the output: cut at the limit.
  ChildResult child = run_limited(RLIMIT_FSIZE, 4096, "in.txt", "out.txt", "SORT (1,2,CH,A)");
  EXPECT_EQ(child.run.status, 240u);
  EXPECT_EQ(child.extra, 0u);
  EXPECT_EQ(read_file("out.txt"), sorted_by_prefix(in, 2).substr(0, 4096));
  EXPECT_TRUE(work_files().empty());
  // Several loads: a run on a work file passes the limit; the runs stay.
  unlink("out.txt");
  child = run_limited(RLIMIT_FSIZE, 4096, "in.txt", "out.txt", "SORT (1,2,CH,A) CORE (60)");
  EXPECT_EQ(child.run.status, 240u);
  EXPECT_EQ(child.extra, 0u);
  EXPECT_FALSE(file_exists("out.txt"));
  EXPECT_FALSE(work_files().empty());
  EXPECT_EQ(read_file("in.txt"), concat(in));
  // The records fill the limit exactly; the end character does not fit.
  write_file("in.dat", "dddcccbbbaaa");
  child = run_limited(RLIMIT_FSIZE, 12, "in.dat", "out.dat",
                      "SORT (1,3,CH,A) FILETYPE (FE) RECORD (3)");
  EXPECT_EQ(child.run.status, 321u);
  EXPECT_EQ(child.extra, 0u);
  EXPECT_EQ(read_file("out.dat"), "aaabbbcccddd");
  // Appending to an output at the limit keeps its bytes.
  write_file("app.txt", std::string(1000, 'o'));
  write_file("two.txt", lines({"b", "a"}));
  child = run_limited(RLIMIT_FSIZE, 1000, "two.txt", "app.txt", "SORT (1,1,CH,A) APPEND");
  EXPECT_EQ(child.run.status, 240u);
  EXPECT_EQ(child.extra, 0u);
  EXPECT_EQ(read_file("app.txt"), std::string(1000, 'o'));
}

TEST(FileSizeLimit, RecordAtATimeSpillPastTheLimitClosesTheRun) {
  ScratchDir dir;
  const auto records = keyed(6000, 8);
  const ChildResult child = run_limited(RLIMIT_FSIZE, 2048, [&] {
    std::string returned;
    const auto [status, function] = raat_sort(records, "SORT (1,2,CH,A) CORE (60)", &returned);
    char record[] = "Zz000000";  // the failed release closed the run
    uint32_t length = 8, after = 0;
    s_1raat(2, record, &length, &after);
    return RunResult{status, static_cast<uint32_t>(function) * 1000 + after};
  });
  EXPECT_EQ(child.run.status, 240u);
  EXPECT_EQ(child.run.records, 2000u + 261u);  // function 2 failed, then no run
  EXPECT_EQ(child.extra, 0u);
  EXPECT_FALSE(work_files().empty());
}

// Eight processes start together at a barrier (a pipe whose write end the
// parent closes), ten times over, in one work directory under a descriptor
// limit of 6 free (few work files, so intermediate merges): text sorts,
// dBASE tables (with their header save files) and record-at-a-time sorts.
// Each must find a work-file family of its own, sort right and leave no
// work file.
TEST(Concurrency, EightProcessesInOneWorkDirectoryAllSucceed) {
  ScratchDir dir;
  constexpr int kProcesses = 8;
  std::vector<std::string> expected(kProcesses), controls(kProcesses);
  std::vector<std::vector<std::string>> released(kProcesses);
  for (int p = 0; p < kProcesses; ++p) {
    const std::string in = "in" + std::to_string(p);
    auto records = keyed(p % 4 == 2 ? 4000 : 6000, 100 + p, "");
    for (std::string& r : records) r = r.substr(0, 2) + std::to_string(p) + r.substr(2);
    controls[p] = "SORT (1,2,CH,A) CORE (60)";
    if (p % 4 == 3) {
      released[p] = records;
      expected[p] = sorted_by_prefix(records, 2);
    } else if (p % 4 == 2) {  // records of 13 bytes: a blank (not deleted) and 12 bytes
      for (std::string& r : records) r = " " + r + "...";
      write_file(in, db3_header(64, 13, 'h', 0) + concat(records) + "\x1A");
      expected[p] = db3_header(64, 13, 'h', 4000) + sorted_by_prefix(records, 3) + "\x1A";
      controls[p] = "SORT (2,2,CH,A) CORE (60) FILETYPE (DB3)";
    } else {
      for (std::string& r : records) r += "\n";
      write_file(in, concat(records));
      expected[p] = sorted_by_prefix(records, 2);
    }
  }
  for (int round = 0; round < 10; ++round) {
    int barrier[2];
    ASSERT_EQ(pipe(barrier), 0);
    std::vector<std::pair<pid_t, int>> started;  // a child and its report pipe
    for (int p = 0; p < kProcesses; ++p) {
      const std::string out = "out" + std::to_string(p);
      unlink(out.c_str());
      int report[2];
      ASSERT_EQ(pipe(report), 0);
      const pid_t pid = fork();
      if (pid == 0) {
        close(barrier[1]);
        char go;
        if (read(barrier[0], &go, 1) != 0 || !limit_free_descriptors(6)) _exit(2);
        PassCounter passes;
        std::string returned;
        uint32_t words[2] = {released[p].empty()
                                 ? run("in" + std::to_string(p), out, controls[p]).status
                                 : raat_sort(released[p], controls[p], &returned).first,
                             0};
        if (!released[p].empty()) write_file(out, returned);
        words[1] = passes.merges();
        _exit(write(report[1], words, sizeof words) == sizeof words ? 0 : 1);
      }
      close(report[1]);
      started.push_back({pid, report[0]});
    }
    close(barrier[0]);
    close(barrier[1]);  // everyone starts now
    for (int p = 0; p < kProcesses; ++p) {
      const auto [pid, report] = started[p];
      uint32_t words[2] = {0xFFFFFFFFu, 0};
      pollfd ready{report, POLLIN, 0};
      if (poll(&ready, 1, 60000) != 1 || read(report, words, sizeof words) != sizeof words)
        kill(pid, SIGKILL);
      close(report);
      waitpid(pid, nullptr, 0);
      SCOPED_TRACE("round " + std::to_string(round) + " process " + std::to_string(p));
      EXPECT_EQ(words[0], released[p].empty() ? 0u : 1u);
      if (released[p].empty()) {
        EXPECT_GE(words[1], 2u);  // an intermediate merge before the final one
      }
      EXPECT_TRUE(read_file("out" + std::to_string(p)) == expected[p]);
    }
    EXPECT_TRUE(work_files().empty());
  }
}

}  // namespace
}  // namespace zara_test
