// The writer thread and mapped input: writes written behind fail as the
// write itself would; no thread outlives an entry point; a copy run through a mapping cuts the same memory loads and writes
// the same bytes as one that reads.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/run_state.h"
#include "engine/write_behind.h"
#include "records/mapped_input.h"
#include "tests/child_run.h"
#include "tests/test_support.h"
#include "zara15z37.h"

namespace {

using namespace zara_test;

using zara_test::count_open_fds;

int thread_count() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n;
}

// Threads of the test program itself, counted once a writer thread has
// come and gone (a sanitizer's run time starts one of its own then).
int own_threads() {
  static const int n = [] {
    const uint8_t byte = 0;
    zara::write_out(-1, &byte, 1, false, 0, true);
    zara::write_behind_stop();
    zara::gv.status_word = 0;
    usleep(20000);
    return thread_count();
  }();
  return n;
}

// The threads left after an entry point returned. A joined thread may
// still be listed for a moment while the kernel takes it down.
int threads_after_return() {
  int n = thread_count();
  for (int attempt = 0; n != own_threads() && attempt < 50; ++attempt) {
    usleep(2000);
    n = thread_count();
  }
  return n;
}

// A write that fails behind the run is reported as the run's failure at the
// next settle, with the records count of its hand-over and its errno, and
// replaces a failure the run met after handing it on.
TEST(WriteBehind, FailedWriteIsTheRunsFirstFailure) {
  ScratchDir dir;
  write_file("in", "x");
  const int fd = open("in", O_RDONLY);  // writing to it fails with EBADF
  ASSERT_GE(fd, 0);
  const uint8_t bytes[16] = {};
  zara::gv.status_word = 0;
  zara::gv.records_written = 100;
  errno = 0;
  const bool handed = zara::write_out(fd, bytes, sizeof bytes, false, 42, true);
  if (handed) {
    zara::gv.records_written = 150;  // the run went on filling the spare buffer
    zara::fail(zara::kRecordExceedsOutBuffer);
    EXPECT_FALSE(zara::write_settle());
  }
  EXPECT_EQ(zara::gv.status_word, zara::kOutputWriteError);
  EXPECT_EQ(zara::gv.records_written, 42u);
  EXPECT_EQ(zara::gv.error_errno, EBADF);
  EXPECT_TRUE(zara::write_settle());  // reported once
  zara::write_behind_stop();
  close(fd);
  zara::gv.status_word = 0;
}

// A copy run whose first load's write fails at the file-size limit while
// the next load holds a record longer than a sort buffer: the write came
// first, so the run fails with 240 (not 245), keeps the bytes written and
// no descriptor, and counts the records of the buffers handed to writes, the
// failed one included (about 1 KB of 12-byte records each under CORE (60)).
TEST(WriteBehind, CopyRunWriteFailureComesBeforeTheNextLoad) {
  ScratchDir dir;
  std::string first;
  for (int i = 0; i < 3000; ++i) first += "line " + std::to_string(100000 + i) + "\n";
  write_file("in.txt", first + std::string(5000, 'x') + "\n");
  const ChildResult child = run_in_child([](uint32_t* extra) {
    signal(SIGXFSZ, SIG_IGN);
    const int before = count_open_fds();
    const rlimit limit{4096, RLIM_INFINITY};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return RunResult{0xDEAD, 0};
    const RunResult r = run("in.txt", "out.txt", "CORE (60)");
    *extra = static_cast<uint32_t>(count_open_fds() - before);
    return r;
  });
  ASSERT_TRUE(child.exited);
  EXPECT_EQ(child.run.status, zara::kOutputWriteError);
  EXPECT_EQ(child.extra, 0u);
  const std::string out = read_file("out.txt");
  EXPECT_EQ(out, first.substr(0, out.size()));
  EXPECT_GE(child.run.records * 12, out.size());
  EXPECT_LT(child.run.records * 12, out.size() + 1024);
  EXPECT_EQ(out.size(), 4096u);
}

struct Observed {
  uint32_t loads = 0;
  int most_threads = 0;
  bool mapped = false;
  std::string watched;  // the path whose mapping is looked for
};

void observe(const zara_progress* p, void* context) {
  Observed& o = *static_cast<Observed*>(context);
  if (p->memory_loads > o.loads) o.loads = p->memory_loads;
  const int n = thread_count();
  if (n > o.most_threads) o.most_threads = n;
  if (!o.watched.empty()) {
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);)
      if (line.size() >= o.watched.size() &&
          line.compare(line.size() - o.watched.size(), o.watched.size(), o.watched) == 0)
        o.mapped = true;
  }
}

std::string absolute(const std::string& name) {
  char buffer[PATH_MAX];
  return realpath(name.c_str(), buffer) ? buffer : name;
}

// A multi-load sort with merges and a copy run: the writer thread works
// during the run, and none is left when the entry point returns.
TEST(WriteBehind, NoThreadOutlivesARun) {
  ScratchDir dir;
  const std::vector<std::string> records = keyed_lines(20000, 3);
  write_file("in.txt", concat(records));
  Observed seen;
  zara_set_progress(observe, &seen);
  const RunResult sorted = run("in.txt", "sorted.txt", "SORT (1,2,CH,A) CORE (60)");
  EXPECT_EQ(threads_after_return(), own_threads());
  const RunResult copied = run("in.txt", "copied.txt", "CORE (60)");
  EXPECT_EQ(threads_after_return(), own_threads());
  zara_set_progress(nullptr, nullptr);
  ASSERT_EQ(sorted.status, 0u);
  ASSERT_EQ(copied.status, 0u);
  EXPECT_EQ(read_file("sorted.txt"), sorted_by_prefix(records, 2));
  EXPECT_EQ(read_file("copied.txt"), concat(records));
  EXPECT_GT(seen.loads, 10u);
  EXPECT_EQ(seen.most_threads, own_threads() + (ZARA_THREADS ? 1 : 0));
}

TEST(WriteBehind, RecordAtATimeCallsEndTheirThreads) {
  ScratchDir dir;
  std::string control = "SORT (1,2,CH,A) CORE (60)";
  uint32_t length = static_cast<uint32_t>(control.size()), status = 0;
  s_1raat(1, control.data(), &length, &status);
  ASSERT_EQ(status, 0u);
  std::vector<std::string> records = keyed_lines(5000, 9);
  for (std::string& r : records) {
    length = static_cast<uint32_t>(r.size());
    s_1raat(2, r.data(), &length, &status);
    ASSERT_EQ(status, 0u);
    ASSERT_EQ(threads_after_return(), own_threads());
  }
  std::string back;
  char buffer[64];
  for (length = 0; (s_1raat(3, buffer, &length, &status), status == 0); length = 0) {
    back.append(buffer, length);
    ASSERT_EQ(threads_after_return(), own_threads());
  }
  EXPECT_EQ(status, 1u);
  EXPECT_EQ(back, sorted_by_prefix(records, 2));
  EXPECT_TRUE(work_files().empty());
}

struct CopyCase {
  const char* name;
  const char* control;
  std::vector<std::string> files;  // contents of in0, in1, ...
};

std::string lines_of(int n, int width, unsigned seed) {
  std::string out;
  for (int i = 0; i < n; ++i) {
    const int len = 1 + static_cast<int>((i * 7919u + seed) % static_cast<unsigned>(width));
    out += std::string(static_cast<size_t>(len), static_cast<char>('A' + (i + seed) % 26)) + "\n";
  }
  return out;
}

// A copy run through mappings and the same run reading its files: the same
// memory loads, records and bytes, for the ways a load and a file can end.
// CORE (60) makes sort buffers of about 1 KB.
TEST(MappedInput, CopyRunsMatchReadInput) {
  const std::string fixed = std::string(3000, 'f') + "tail";  // FIX 100: an incomplete tail
  const std::vector<CopyCase> cases = {
      {"plain", "CORE (60)", {lines_of(3000, 300, 1)}},
      {"long lines", "CORE (60)", {lines_of(400, 900, 2)}},
      {"no last terminator", "CORE (60)", {lines_of(500, 80, 3) + "unterminated"}},
      {"end mark mid-file", "CORE (60)", {lines_of(700, 90, 4) + "part\x1A" + lines_of(50, 9, 5)}},
      {"two files", "CORE (60)", {lines_of(301, 70, 6), lines_of(299, 50, 7)}},
      {"empty file between", "CORE (60)", {lines_of(200, 60, 8), "", lines_of(200, 60, 9)}},
      {"include", "CORE (60) INCLUDE (1,1,CH,EQ,\"C\")", {lines_of(3000, 120, 10)}},
      {"limit and origin", "CORE (60) LIMIT (2500) ORIGIN (40)", {lines_of(3000, 50, 11)}},
      {"table full", "CORE (60) OUTREC (1,3)", {lines_of(9000, 3, 12)}},
      {"fixed records", "CORE (60) RECORD (100)", {fixed}},
  };
  for (const CopyCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    std::string names;
    for (size_t i = 0; i < c.files.size(); ++i) {
      write_file("in" + std::to_string(i), c.files[i]);
      names += (i ? " in" : "in") + std::to_string(i);
    }
    Observed mapped_run;
    mapped_run.watched = absolute("in0");
    zara_set_progress(observe, &mapped_run);
    const RunResult from_file = run(names, "mapped.out", c.control);
    zara_set_progress(nullptr, nullptr);
    const std::string mapped_bytes = read_file("mapped.out");

    zara::allow_input_mapping(false);
    Observed read_run;
    read_run.watched = mapped_run.watched;
    zara_set_progress(observe, &read_run);
    const RunResult read_only = run(names, "read.out", c.control);
    zara_set_progress(nullptr, nullptr);
    zara::allow_input_mapping(true);

    EXPECT_EQ(from_file.status, read_only.status);
    EXPECT_EQ(from_file.records, read_only.records);
    EXPECT_EQ(mapped_run.loads, read_run.loads);
    EXPECT_EQ(mapped_bytes, read_file("read.out"));
    EXPECT_GT(from_file.records, 0u);
    EXPECT_EQ(mapped_run.mapped, ZARA_MAP_INPUT != 0 && !c.files[0].empty());
    EXPECT_FALSE(read_run.mapped);
  }
}

// Another program cuts the input short while a copy run reads it (log
// rotation truncates files in place). Reading, the run ends at the new end
// of the file and reports what it wrote; through a mapping the bytes past
// the new end are gone from under the run and the process dies of SIGBUS,
// which is why only builds that ask for mapping map.
struct Truncation {
  uint64_t cut = 0;
  bool done = false;
};

void truncate_at_second_load(const zara_progress* p, void* context) {
  Truncation& t = *static_cast<Truncation*>(context);
  if (t.done || p->memory_loads < 2) return;
  t.done = truncate("in", static_cast<off_t>(t.cut)) == 0;
}

TEST(MappedInput, InputCutShortDuringTheRun) {
  ScratchDir dir;
  // The cut falls on a page boundary and at the end of a line: a mapping
  // has nothing of the file's last page left to read as zeros.
  std::string text;
  for (int i = 0; i < 4096; ++i) text += std::string(127, static_cast<char>('a' + i % 26)) + "\n";
  const uint64_t cut = text.size();  // 512 KiB, many loads on
  text += lines_of(6000, 120, 21);
  write_file("in", text);
  const ChildResult child = run_in_child([&](uint32_t* truncated) {
    Truncation t{cut, false};
    zara_set_progress(truncate_at_second_load, &t);
    const RunResult r = run("in", "out", "CORE (60)");
    zara_set_progress(nullptr, nullptr);
    *truncated = t.done;
    return r;
  });
  if (ZARA_MAP_INPUT) {
    EXPECT_FALSE(child.exited);
    return;
  }
  ASSERT_TRUE(child.exited);
  EXPECT_EQ(child.extra, 1u);
  EXPECT_EQ(child.run.status, 0u);
  const std::string kept = text.substr(0, cut);
  EXPECT_EQ(child.run.records, static_cast<uint32_t>(std::count(kept.begin(), kept.end(), '\n')));
  const std::string out = read_file("out");
  EXPECT_EQ(out.size(), kept.size());
  EXPECT_TRUE(out == kept);
}

// BYPASS positions each mapped input after its header.
TEST(MappedInput, HeadersAreSkipped) {
  ScratchDir dir;
  const std::string a = lines_of(900, 40, 13), b = lines_of(90, 40, 14);
  write_file("a", a);
  write_file("b", b);
  const RunResult r = run("a b", "out", "CORE (60) BYPASS (17,D)");
  ASSERT_EQ(r.status, 0u);
  EXPECT_EQ(read_file("out"), a.substr(17) + b.substr(17));
}

}  // namespace
