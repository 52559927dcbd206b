// Runs under resource limits, each in a forked child: no descriptors or
// too few for the work files, no address space for the arena, and a
// file-size limit (with SIGXFSZ ignored, so that a write past the limit is
// cut short or fails with EFBIG instead of killing the process). Every run
// must fail with its status, close what it opened and keep the inputs.
// (The file limit that follows the descriptor limit, and sorts at file
// limits 4 and 5, are in driver_test and merge_test.)
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
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

// The soft descriptor limit under which exactly `free_slots` more
// descriptors can be opened.
rlim_t descriptor_limit_for(int free_slots) {
  int limit = 0;
  for (int free_below = 0; free_below < free_slots; ++limit)
    if (!fd_is_open(limit)) ++free_below;
  return static_cast<rlim_t>(limit);
}

// Runs `body` in a child under the soft limit `value` of `resource`; the
// child reports the descriptors the run left open as `extra`.
ChildResult run_limited(int resource, rlim_t value, const std::function<RunResult()>& body) {
  return run_in_child([&](uint32_t* extra) {
    signal(SIGXFSZ, SIG_IGN);
    const int before = count_open_fds();
    rlimit saved;
    getrlimit(resource, &saved);
    const rlimit lowered{value, saved.rlim_max};
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

// Lines of a 2-byte key and a serial number, and their stable sort.
std::vector<std::string> keyed(int n, unsigned seed, const char* end) {
  std::mt19937 gen(seed);
  std::vector<std::string> out;
  for (int i = 0; i < n; ++i) {
    char r[32];
    snprintf(r, sizeof r, "%c%c%06d%s", 'A' + static_cast<int>(gen() % 5),
             'a' + static_cast<int>(gen() % 4), i, end);
    out.push_back(r);
  }
  return out;
}

std::vector<std::string> stable_sorted(std::vector<std::string> v) {
  std::stable_sort(v.begin(), v.end(),
                   [](const std::string& a, const std::string& b) { return a.compare(0, 2, b, 0, 2) < 0; });
  return v;
}

std::string joined(const std::vector<std::string>& v) {
  std::string out;
  for (const auto& s : v) out += s;
  return out;
}

bool has_work_files(const ScratchDir& dir) {
  for (const auto& f : dir.files())
    if (f.compare(0, 2, "sw") == 0) return true;
  return false;
}

// A record-at-a-time sort of `records`; the status of the first call that
// did not succeed (1 at the end of data), and the records returned.
struct RaatResult {
  uint32_t status = 0;
  uint32_t failed_function = 0;
  std::vector<std::string> returned;
};

RaatResult raat_sort(std::vector<std::string> records, const std::string& control_text) {
  RaatResult out;
  std::string control = control_text;
  uint32_t length = static_cast<uint32_t>(control.size());
  s_1raat(1, control.data(), &length, &out.status);
  if (out.status != 0) {
    out.failed_function = 1;
    return out;
  }
  for (std::string& r : records) {
    length = static_cast<uint32_t>(r.size());
    s_1raat(2, r.data(), &length, &out.status);
    if (out.status != 0) {
      out.failed_function = 2;
      return out;
    }
  }
  char buffer[256];
  for (;;) {
    length = 0;
    s_1raat(3, buffer, &length, &out.status);
    if (out.status != 0) break;
    out.returned.emplace_back(buffer, std::min<uint32_t>(length, sizeof buffer));
  }
  if (out.status != 1) out.failed_function = 3;
  return out;
}

// ---------------------------------------------------------------------------
// Descriptors

TEST(DescriptorLimit, NoFreeDescriptorGives329AndFewerThanFourGive330) {
  ScratchDir dir;
  write_file("in.txt", lines({"b", "a"}));
  for (int free_slots : {0, 1, 2}) {
    const ChildResult child = run_limited(RLIMIT_NOFILE, descriptor_limit_for(free_slots),
                                          "in.txt", "out.txt", "SORT (1,1,CH,A)");
    ASSERT_TRUE(child.exited) << free_slots;
    // Without a descriptor not even the probe can be created.
    EXPECT_EQ(child.run.status, free_slots == 0 ? 329u : 330u) << free_slots;
    EXPECT_EQ(child.extra, 0u) << free_slots;
    EXPECT_EQ(dir.files(), std::vector<std::string>{"in.txt"}) << free_slots;
  }
}

TEST(DescriptorLimit, RecordAtATimeSortAtTheSmallestFileLimit) {
  ScratchDir dir;
  const auto records = keyed(6000, 3, "");
  // 4 descriptors: 2 work files, so every spilled load after the second
  // is folded in by an intermediate merge.
  std::vector<std::string> returned;
  const ChildResult child = run_in_child([&](uint32_t* extra) {
    const int before = count_open_fds();
    rlimit saved;
    getrlimit(RLIMIT_NOFILE, &saved);
    const rlimit lowered{descriptor_limit_for(4), saved.rlim_max};
    if (setrlimit(RLIMIT_NOFILE, &lowered) != 0) return RunResult{0xDEAD, 0};
    const RaatResult r = raat_sort(records, "SORT (1,2,CH,A) CORE (60)");
    setrlimit(RLIMIT_NOFILE, &saved);
    *extra = static_cast<uint32_t>(count_open_fds() - before);
    // The child's records reach the parent through a file.
    write_file("returned", joined(r.returned));
    return RunResult{r.status, static_cast<uint32_t>(r.returned.size())};
  });
  ASSERT_TRUE(child.exited);
  EXPECT_EQ(child.run.status, 1u);
  EXPECT_EQ(child.run.records, 6000u);
  EXPECT_EQ(read_file("returned"), joined(stable_sorted(records)));
  EXPECT_EQ(child.extra, 0u);
  EXPECT_EQ(dir.files(), std::vector<std::string>{"returned"});
}

// ---------------------------------------------------------------------------
// Address space

// The address space this process has mapped, from /proc, without using
// the heap.
rlim_t mapped_bytes() {
  char buf[4096];
  const int fd = open("/proc/self/status", O_RDONLY);
  if (fd < 0) return 0;
  const ssize_t n = read(fd, buf, sizeof buf - 1);
  close(fd);
  if (n <= 0) return 0;
  buf[n] = '\0';
  const char* at = strstr(buf, "VmSize:");
  return at ? static_cast<rlim_t>(strtoull(at + 7, nullptr, 10)) * 1024 : 0;
}

// Descriptors open now, counted without using the heap.
int descriptors_open() {
  int n = 0;
  for (int fd = 0; fd < 4096; ++fd) n += fd_is_open(fd);
  return n;
}

// Forbids any new mapping (the limit lies below what is mapped already)
// and takes every free block the heap still has, so that the next
// allocation of any size fails.
void exhaust_memory() {
  rlimit rl;
  getrlimit(RLIMIT_AS, &rl);
  rl.rlim_cur = mapped_bytes() / 2;
  setrlimit(RLIMIT_AS, &rl);
  for (size_t size = size_t{1} << 24; size >= 8; size /= 2) {
    // Each block is touched, so that the compiler keeps the allocation.
    while (void* block = malloc(size)) *static_cast<volatile char*>(block) = 1;
  }
}

TEST(MemoryLimit, NoRoomForTheArenaGives225AndLeavesNothing) {
  if (kAddressSanitizer) GTEST_SKIP() << "an address-space limit defeats the sanitizer";
  ScratchDir dir;
  write_file("in.txt", lines({"b", "a"}));
  const std::string inputs = "in.txt", output = "out.txt", control = "SORT (1,1,CH,A)";
  const ChildResult child = run_in_child([&](uint32_t* extra) {
    const int before = descriptors_open();
    exhaust_memory();
    const RunResult r = run(inputs, output, control);
    *extra = static_cast<uint32_t>(descriptors_open() - before);
    return r;
  });
  ASSERT_TRUE(child.exited);
  EXPECT_EQ(child.run.status, 225u);
  EXPECT_EQ(child.extra, 0u);
  EXPECT_EQ(dir.files(), std::vector<std::string>{"in.txt"});

  // A record-at-a-time run fails to open; the run is closed.
  const ChildResult raat = run_in_child([](uint32_t* extra) {
    char control[] = "SORT (1,1,CH,A)";
    char record[] = "x";
    uint32_t length = sizeof control - 1, open_status = 0, release_status = 0;
    exhaust_memory();
    s_1raat(1, control, &length, &open_status);
    length = 1;
    s_1raat(2, record, &length, &release_status);
    *extra = release_status;
    return RunResult{open_status, 0};
  });
  ASSERT_TRUE(raat.exited);
  EXPECT_EQ(raat.run.status, 225u);
  EXPECT_EQ(raat.extra, 261u);
  EXPECT_EQ(dir.files(), std::vector<std::string>{"in.txt"});
}

// ---------------------------------------------------------------------------
// File size

TEST(FileSizeLimit, WritesPastTheLimitFailWith240AndKeepWhatWasWritten) {
  ScratchDir dir;
  const auto in = keyed(2000, 5, "\n");
  write_file("in.txt", joined(in));
  // One memory load, written straight to the output: cut at the limit.
  ChildResult child = run_limited(RLIMIT_FSIZE, 4096, "in.txt", "out.txt", "SORT (1,2,CH,A)");
  ASSERT_TRUE(child.exited);
  EXPECT_EQ(child.run.status, 240u);
  EXPECT_EQ(child.extra, 0u);
  EXPECT_EQ(read_file("out.txt"), joined(stable_sorted(in)).substr(0, 4096));
  EXPECT_FALSE(has_work_files(dir));

  // Several loads: a run on a work file passes the limit; the runs stay.
  unlink("out.txt");
  child = run_limited(RLIMIT_FSIZE, 4096, "in.txt", "out.txt", "SORT (1,2,CH,A) CORE (60)");
  ASSERT_TRUE(child.exited);
  EXPECT_EQ(child.run.status, 240u);
  EXPECT_EQ(child.extra, 0u);
  EXPECT_FALSE(file_exists("out.txt"));
  EXPECT_TRUE(has_work_files(dir));
  EXPECT_EQ(read_file("in.txt"), joined(in));
}

TEST(FileSizeLimit, EndMarkPastTheLimitFailsWith321) {
  ScratchDir dir;
  write_file("in.dat", "dddcccbbbaaa");
  // The records fill the limit exactly; the end character does not fit.
  const ChildResult child = run_limited(RLIMIT_FSIZE, 12, "in.dat", "out.dat",
                                        "SORT (1,3,CH,A) FILETYPE (FE) RECORD (3)");
  ASSERT_TRUE(child.exited);
  EXPECT_EQ(child.run.status, 321u);
  EXPECT_EQ(child.extra, 0u);
  EXPECT_EQ(read_file("out.dat"), "aaabbbcccddd");
}

TEST(FileSizeLimit, HeaderSaveFileCutShortFailsWith219) {
  ScratchDir dir;
  std::string header(290, 'h');
  header[0] = 0x03;
  header.replace(8, 2, std::string("\x22\x01", 2));  // 290
  header.replace(10, 2, std::string("\x05\x00", 2));  // records of 5 bytes
  write_file("in.dbf", header + " bbbb aaaa\x1A");
  const ChildResult child =
      run_limited(RLIMIT_FSIZE, 200, "in.dbf", "out.dbf", "SORT (2,4,CH,A) FILETYPE (DB3)");
  ASSERT_TRUE(child.exited);
  EXPECT_EQ(child.run.status, 219u);
  EXPECT_EQ(child.extra, 0u);
  EXPECT_FALSE(file_exists("out.dbf"));
  // After a failed run the save file stays, cut at the limit.
  std::vector<std::string> saved;
  for (const auto& f : dir.files())
    if (f.size() == 12 && f.compare(0, 2, "sw") == 0 && f.back() == 'z') saved.push_back(f);
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(read_file(saved[0]), header.substr(0, 200));
}

TEST(FileSizeLimit, AppendToAnOutputAtTheLimitKeepsItsBytes) {
  ScratchDir dir;
  write_file("in.txt", lines({"b", "a"}));
  const std::string old(1000, 'o');
  write_file("out.txt", old);
  const ChildResult child =
      run_limited(RLIMIT_FSIZE, 1000, "in.txt", "out.txt", "SORT (1,1,CH,A) APPEND");
  ASSERT_TRUE(child.exited);
  EXPECT_EQ(child.run.status, 240u);
  EXPECT_EQ(child.extra, 0u);
  EXPECT_EQ(read_file("out.txt"), old);
}

TEST(FileSizeLimit, RecordAtATimeSpillPastTheLimitFailsAndClosesItsFiles) {
  ScratchDir dir;
  const auto records = keyed(6000, 8, "");
  const ChildResult child = run_limited(RLIMIT_FSIZE, 2048, [&] {
    const RaatResult r = raat_sort(records, "SORT (1,2,CH,A) CORE (60)");
    // The failed release closed the run.
    char record[] = "Zz000000";
    uint32_t length = 8, status = 0;
    s_1raat(2, record, &length, &status);
    return RunResult{r.status, r.failed_function * 1000 + status};
  });
  ASSERT_TRUE(child.exited);
  EXPECT_EQ(child.run.status, 240u);
  EXPECT_EQ(child.run.records, 2000u + 261u);  // function 2 failed, then no run
  EXPECT_EQ(child.extra, 0u);                   // and no descriptor stays open
  EXPECT_TRUE(has_work_files(dir));
}

}  // namespace
}  // namespace zara_test
