// The run driver's set-up phases: the run reset, the output-name trimming,
// the work-file set-up (names, probe, file limit), the output-is-input
// check, the arena, and the descriptors a run leaves open (none). Tests
// that lower a process limit run in a forked child so that the test
// program keeps its own limits.
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "control/dispatcher.h"
#include "engine/arena.h"
#include "engine/driver.h"
#include "engine/run_state.h"
#include "tests/test_support.h"
#include "zara15z37.h"

namespace zara {
namespace {

using zara_test::lines;
using zara_test::read_file;
using zara_test::run;
using zara_test::ScratchDir;
using zara_test::write_file;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

// The descriptors open in this process.
std::set<int> open_fds() {
  std::set<int> fds;
  DIR* d = opendir("/proc/self/fd");
  if (!d) return fds;
  const int own = dirfd(d);
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] == '.') continue;
    const int fd = atoi(e->d_name);
    if (fd != own) fds.insert(fd);
  }
  closedir(d);
  return fds;
}

// Names in a directory, sorted.
std::vector<std::string> list_dir(const std::string& path) {
  std::set<std::string> names;
  if (DIR* d = opendir(path.c_str())) {
    while (dirent* e = readdir(d))
      if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.insert(e->d_name);
    closedir(d);
  }
  return std::vector<std::string>(names.begin(), names.end());
}

std::string joined(const std::vector<std::string>& names) {
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "" : " ") + n;
  return out;
}

// Runs `body` in a forked child and returns the text it produced, or a
// message saying how the child ended abnormally.
std::string in_child(const std::function<std::string()>& body) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return "pipe failed";
  fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) return "fork failed";
  if (pid == 0) {
    close(pipe_fds[0]);
    const std::string out = body();
    ssize_t done = 0;
    while (done < static_cast<ssize_t>(out.size())) {
      const ssize_t n = write(pipe_fds[1], out.data() + done, out.size() - done);
      if (n <= 0) break;
      done += n;
    }
    _exit(0);
  }
  close(pipe_fds[1]);
  std::string out;
  char buf[512];
  ssize_t n;
  while ((n = read(pipe_fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
  close(pipe_fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return "child ended abnormally (" + std::to_string(status) + "): " + out;
  return out;
}

// Lowers the descriptor limit so that exactly `n` more descriptors can be
// opened, counting the free numbers below the limit.
bool allow_descriptors(int n) {
  const std::set<int> in_use = open_fds();
  int limit = 0;
  for (int free_below = 0; free_below < n; ++limit)
    if (!in_use.count(limit)) ++free_below;
  rlimit rl;
  getrlimit(RLIMIT_NOFILE, &rl);
  rl.rlim_cur = static_cast<rlim_t>(limit);
  return setrlimit(RLIMIT_NOFILE, &rl) == 0;
}

void restore_descriptor_limit(const rlimit& saved) { setrlimit(RLIMIT_NOFILE, &saved); }

// `count` lines of six-digit numbers, in descending order.
std::string numbered_lines(int count) {
  std::string out;
  char line[16];
  for (int i = count - 1; i >= 0; --i) {
    snprintf(line, sizeof line, "%06d\n", i);
    out += line;
  }
  return out;
}

std::string sorted_numbered_lines(int count) {
  std::string out;
  char line[16];
  for (int i = 0; i < count; ++i) {
    snprintf(line, sizeof line, "%06d\n", i);
    out += line;
  }
  return out;
}

// The run reset of a run that names no files: a whole run's names (texts
// of that run's caller, gone since) are not read again.
void reset_without_names() {
  gv.input_names = nullptr;
  gv.input_names_length = 0;
  gv.output_name = nullptr;
  gv.output_name_length = 0;
  s_init();
}

// ---------------------------------------------------------------------------
// Run reset

uint32_t parse(const std::string& text) {
  static std::string kept;
  kept = text;
  reset_without_names();
  gv.control_text = kept.data();
  gv.control_length = static_cast<uint32_t>(kept.size());
  return s_ctrl() ? kOk : gv.status_word;
}

TEST(RunReset, GivesTheDefaultsWhateverTheLastRunSet) {
  ASSERT_EQ(parse("APOST RECORD (40) BYPASS SORT (1,4,CH,A) KEYOUT CORE (9) DELIMIT (59) "
                  "LIMIT (3) ORIGIN (2) OPENMODE (1) WORKDRIVE (/tmp/) EQUALS PAUSE "
                  "OMIT (1,1,CH,EQ,'x') FILETYPE (FIX,40) OVERWRITE VERB"),
            kOk);
  gv.status_word = 245;
  const char* text = gv.control_text;
  reset_without_names();
  EXPECT_EQ(gv.control_text, text);  // the call arguments stay
  EXPECT_EQ(gv.status_word, 0u);
  EXPECT_EQ(gv.quote_char, '"');
  EXPECT_EQ(gv.core_kb, 2000u);
  EXPECT_EQ(gv.open_mode, 64u);
  EXPECT_EQ(gv.file_type, kTxt);
  EXPECT_EQ(gv.eof_char, 26);
  EXPECT_EQ(gv.field_delimiter, ',');
  EXPECT_EQ(gv.min_dup_count, 1u);
  EXPECT_EQ(gv.stack_top, 100u);
  EXPECT_EQ(gv.record_length, 0u);
  EXPECT_EQ(gv.header_skip, 0u);
  EXPECT_EQ(gv.has_header, 0);
  EXPECT_EQ(gv.bypass_given, 0);
  EXPECT_EQ(gv.record_limit, 0u);
  EXPECT_EQ(gv.origin, 0u);
  EXPECT_STREQ(gv.work_dir, "");
  EXPECT_EQ(gv.hold_active, 0);
  EXPECT_EQ(gv.hold_area_size, 0u);
  EXPECT_EQ(gv.alt_key_seen, 0);
  for (int i = 0; i < kCpCount; ++i) EXPECT_EQ(cp[i], i == kCpFileType + kTxt ? 1 : 0) << i;
  for (int i = 0; i < kCpnmCount; ++i) EXPECT_EQ(cpnm[i], 0) << i;
  EXPECT_EQ(ip.count, 0u);
  EXPECT_EQ(op.count, 0u);
  EXPECT_EQ(sp.count, 0u);
  EXPECT_EQ(su.count, 0u);
  EXPECT_EQ(du.count, 0u);
  EXPECT_EQ(op.entries[0].type, 0);
  EXPECT_EQ(op.entries[1].length, 0u);
  EXPECT_EQ(ip.entries[0].pos1, 0u);
  EXPECT_EQ(std::string(kStatementDelims), std::string("[], )(+\t\r\n"));
}

TEST(RunReset, SecondRunStartsFromTheDefaults) {
  ScratchDir dir;
  write_file("my in.txt", lines({"b", "c", "a"}));
  write_file("in.txt", lines({"a 1", "a 2", "b 5"}));
  // The first run changes the quote, the record length and the limit ...
  auto result = run("'my in.txt'", "out.txt", "APOST RECORD (2) LIMIT (1) SORT (1,1,CH,D)");
  ASSERT_EQ(result.status, kOk);
  EXPECT_EQ(read_file("out.txt"), "b\n");
  // ... the second sees double quotes, text lines and no limit.
  result = run("\"my in.txt\"", "out.txt", "SORT (1,1,CH,A)");
  ASSERT_EQ(result.status, kOk);
  EXPECT_EQ(read_file("out.txt"), lines({"a", "b", "c"}));

  // A run with DUPOUT but no SUM sums nothing, even after a run with SUM.
  result = run("in.txt", "out.txt", "SORT (1,1,CH,A) SUM (3,1,ZD)");
  ASSERT_EQ(result.status, kOk);
  EXPECT_EQ(read_file("out.txt"), lines({"a 3", "b 5"}));
  result = run("in.txt", "out.txt", "SORT (1,1,CH,A) DUPOUT (1,1)");
  ASSERT_EQ(result.status, kOk);
  EXPECT_EQ(read_file("out.txt"), lines({"a 1", "b 5"}));

  // A failed run's status does not carry over.
  EXPECT_EQ(run("in.txt", "out.txt", "XYZ").status, kBadKeyword);
  result = run("in.txt", "out.txt", "");
  EXPECT_EQ(result.status, kOk);
  EXPECT_EQ(result.records, 3u);
}

TEST(RunReset, LaterBypassWithOperandsReplacesAnEarlierOne) {
  ASSERT_EQ(parse("RECORD (80) BYPASS BYPASS (10,D)"), kOk);
  EXPECT_EQ(gv.header_skip, 10u);
  EXPECT_EQ(gv.has_header, 0);
  ASSERT_EQ(parse("RECORD (80) BYPASS (10,D) BYPASS"), kOk);
  EXPECT_EQ(gv.header_skip, 80u);
  EXPECT_EQ(gv.has_header, 1);
}

// A record-at-a-time run takes no names: the names of an earlier whole run,
// whose texts the caller may have freed since, must not be read again.
TEST(RunReset, RecordAtATimeRunDoesNotReadTheLastRunsNames) {
  ScratchDir dir;
  write_file("in.txt", lines({"b", "a"}));
  const std::string out = in_child([] {
    const long page = sysconf(_SC_PAGESIZE);
    void* block = mmap(nullptr, static_cast<size_t>(page), PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) return std::string("mmap failed");
    char* names = static_cast<char*>(block);
    strcpy(names, "in.txt");
    strcpy(names + 16, "out.txt");
    uint32_t records = 0, status = 0;
    s_2mains(names, 6, names + 16, 7, "SORT (1,1,CH,A)", 15, &records, &status);
    munmap(block, static_cast<size_t>(page));  // the caller's texts are gone
    char control[] = "SORT (1,1,CH,A)";
    uint32_t length = sizeof control - 1;
    s_1raat(1, control, &length, &status);
    uint32_t ignored = 0;
    s_1raat(4, nullptr, &length, &ignored);
    return "status " + std::to_string(status);
  });
  EXPECT_EQ(out, "status 0");
}

// A text in a heap block of exactly its length (no NUL after it), so that
// a read past its end shows under the address sanitizer.
class ExactText {
 public:
  explicit ExactText(const std::string& bytes)
      : size_(static_cast<uint32_t>(bytes.size())), data_(new char[bytes.size() + !bytes.size()]) {
    memcpy(data_.get(), bytes.data(), bytes.size());
  }
  const char* data() const { return data_.get(); }
  uint32_t size() const { return size_; }

 private:
  uint32_t size_;
  std::unique_ptr<char[]> data_;
};

uint32_t run_exact(const std::string& inputs, const std::string& output,
                   const std::string& control, uint32_t control_length) {
  const ExactText in(inputs), out(output), ctl(control);
  uint32_t records = 0, status = 0xFFFFFFFFu;
  s_2mains(in.data(), in.size(), out.data(), out.size(), ctl.data(), control_length, &records,
           &status);
  return status;
}

TEST(EntryPoints, TextsAreReadOnlyWithinTheirLengths) {
  ScratchDir dir;
  write_file("in.txt", lines({"b", "a"}));
  // The statement after the given length is never seen.
  EXPECT_EQ(run_exact("in.txt", "out.txt", "SORT (1,1,CH,A) XYZ", 15), kOk);
  EXPECT_EQ(read_file("out.txt"), lines({"a", "b"}));
  EXPECT_EQ(run_exact("in.txt", "out.txt", "SORT (1,1,CH,A) XYZ", 19), kBadKeyword);
  // Texts that end inside a literal or a comment.
  EXPECT_EQ(run_exact("in.txt", "out.txt", "WORKDRIVE (\"/tmp/", 17), kWorkdriveOperand);
  EXPECT_EQ(run_exact("in.txt", "out.txt", "SORT (1,1,CH,A) [note", 21), kOk);
  EXPECT_EQ(run_exact("in.txt", "\"out", "", 0), kCannotCreateOutput);
  EXPECT_EQ(run_exact("in.txt [x", "out.txt", "", 0), kOk);
  EXPECT_EQ(run_exact("\"in.txt", "out.txt", "", 0), kNoInputName);
  EXPECT_EQ(run_exact("\"in.txt", "out.txt", "SORT (1,1,CH,A)", 15), kNoInputName);
}

TEST(EntryPoints, NulTerminatedTextsAndMissingTexts) {
  ScratchDir dir;
  write_file("in.txt", lines({"b", "a"}));
  uint32_t records = 0, status = 0xFFFFFFFFu;
  s_1mains("in.txt", " out.txt x", "SORT (1,1,CH,D)", &records, &status);
  EXPECT_EQ(status, kOk);
  EXPECT_EQ(records, 2u);
  EXPECT_EQ(read_file("out.txt"), lines({"b", "a"}));
  s_1mains(nullptr, nullptr, nullptr, &records, &status);
  EXPECT_EQ(status, kNoInputName);
  s_1mains("in.txt", nullptr, nullptr, &records, &status);
  EXPECT_EQ(status, kCannotCreateOutput);
  s_2mains(nullptr, 5, nullptr, 7, nullptr, 9, &records, &status);  // lengths of nothing
  EXPECT_EQ(status, kNoInputName);
  EXPECT_EQ(dir.files(), (std::vector<std::string>{"in.txt", "out.txt"}));
}

// ---------------------------------------------------------------------------
// Output name

TEST(OutputName, FirstWordOfTheTextNamesTheOutput) {
  ScratchDir dir;
  write_file("in.txt", lines({"b", "a"}));
  for (const char* name : {"  out.txt extra", "[a comment]out.txt,x", "\tout.txt+y",
                           "out.txt\nmore", "out.txt]z"}) {
    unlink("out.txt");
    const auto result = run("in.txt", name, "SORT (1,1,CH,A)");
    EXPECT_EQ(result.status, kOk) << name;
    EXPECT_EQ(read_file("out.txt"), lines({"a", "b"})) << name;
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"in.txt", "out.txt"})) << name;
  }
  EXPECT_EQ(run("in.txt", "\"o u t\" extra", "").status, kOk);
  EXPECT_EQ(read_file("o u t"), lines({"b", "a"}));
}

TEST(OutputName, TrimmedInPlaceByTheReset) {
  const std::string text = " [x] name.dat other";
  gv.output_name = text.data();
  gv.output_name_length = static_cast<uint32_t>(text.size());
  s_init();
  EXPECT_EQ(gv.output_name, text.data() + 5);
  EXPECT_EQ(gv.output_name_length, 8u);
  // Nothing but delimiters leaves an empty name.
  const std::string blank = " ,\t+ ";
  gv.output_name = blank.data();
  gv.output_name_length = static_cast<uint32_t>(blank.size());
  s_init();
  EXPECT_EQ(gv.output_name_length, 0u);
  gv.output_name = nullptr;
  gv.output_name_length = 0;
}

TEST(OutputName, NameThatCannotBeCreated) {
  ScratchDir dir;
  write_file("in.txt", lines({"b", "a"}));
  EXPECT_EQ(run("in.txt", "  ", "SORT (1,1,CH,A)").status, kCannotCreateOutput);
  EXPECT_EQ(run("in.txt", "", "").status, kCannotCreateOutput);
  EXPECT_EQ(run("in.txt", std::string("o\0x", 3), "").status, kCannotCreateOutput);
  EXPECT_EQ(run("in.txt", "nodir/out.txt", "SORT (1,1,CH,A)").status, kCannotCreateOutput);
  EXPECT_EQ(dir.files(), std::vector<std::string>{"in.txt"});
}

// A path of exactly `length` bytes through two directories of 100 bytes.
std::string long_path(size_t length, const std::string& prefix) {
  const std::string a(100, 'a'), b(100, 'b');
  mkdir(a.c_str(), 0700);
  mkdir((a + "/" + b).c_str(), 0700);
  return a + "/" + b + "/" + prefix + std::string(length - 202 - prefix.size(), 'c');
}

TEST(PathBuffer, NamesUpTo263BytesFitAndLongerOnesAreRefused) {
  ScratchDir dir;
  write_file("in.txt", lines({"b", "a"}));
  const std::string out263 = long_path(263, "o");
  const std::string out264 = long_path(264, "o");
  EXPECT_EQ(run("in.txt", out263, "SORT (1,1,CH,A)").status, kOk);
  EXPECT_EQ(read_file(out263), lines({"a", "b"}));
  EXPECT_EQ(run("in.txt", out264, "SORT (1,1,CH,A)").status, kCannotCreateOutput);
  EXPECT_FALSE(zara_test::file_exists(out264));

  const std::string in263 = long_path(263, "i");
  const std::string in264 = long_path(264, "i");
  write_file(in263, lines({"z", "y"}));
  write_file(in264, lines({"x"}));
  auto result = run(in263, "out.txt", "SORT (1,1,CH,A)");
  EXPECT_EQ(result.status, kOk);
  EXPECT_EQ(read_file("out.txt"), lines({"y", "z"}));
  EXPECT_EQ(run(in264, "out.txt", "SORT (1,1,CH,A)").status, kCannotOpenInput);
  EXPECT_EQ(run("in.txt " + in264, "out.txt", "").status, kCannotOpenInput);
}

// ---------------------------------------------------------------------------
// Work files

bool is_work_name(const std::string& name, bool with_suffix) {
  if (name.size() != (with_suffix ? 12u : 11u)) return false;
  if (name.compare(0, 2, "sw") != 0 || name.compare(8, 3, ".00") != 0) return false;
  for (int i = 2; i < 8; ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return !with_suffix || strchr("123456789ABCDEFGHIJKLMNOPQRSTUXz", name[11]) != nullptr;
}

// Work-file names seen in a directory at memory-load and merge boundaries.
struct WorkFileWatch {
  std::string dir = ".";
  std::set<std::string> seen;
};
void note_work_files(const zara_progress*, void* context) {
  auto* watch = static_cast<WorkFileWatch*>(context);
  if (DIR* d = opendir(watch->dir.c_str())) {
    while (dirent* e = readdir(d))
      if (strncmp(e->d_name, "sw", 2) == 0) watch->seen.insert(e->d_name);
    closedir(d);
  }
}

TEST(WorkFiles, SetUpNamesTheRunFromTheClock) {
  ScratchDir dir;
  reset_without_names();
  const unsigned long before = static_cast<unsigned long>(time(nullptr));
  ASSERT_TRUE(s_init2());
  const unsigned long after = static_cast<unsigned long>(time(nullptr));
  const std::string name = gv.work_name;
  ASSERT_TRUE(is_work_name(name, false)) << name;
  const unsigned long digits = std::stoul(name.substr(2, 6));
  EXPECT_TRUE(digits == before % 1000000 || digits == after % 1000000) << name;
  EXPECT_EQ(std::string(gv.suffix_chars, 30), "123456789ABCDEFGHIJKLMNOPQRSTU");
  EXPECT_EQ(gv.file_limit, 30u);  // this process may open far more than 30 files
  EXPECT_TRUE(dir.files().empty());  // the probe is gone
}

TEST(WorkFiles, NamesInUseArePassedOver) {
  ScratchDir dir;
  const unsigned long now = static_cast<unsigned long>(time(nullptr));
  // Leftovers of other runs for this second and the next few: any member
  // of a family blocks the whole family.
  const char* members[] = {"", "1", "U", "X", "z"};
  std::vector<std::string> blockers;
  for (unsigned long k = 0; k < 5; ++k) {
    char name[32];
    snprintf(name, sizeof name, "sw%06lu.00%s", (now + k) % 1000000, members[k]);
    write_file(name, "keep");
    blockers.push_back(name);
  }
  reset_without_names();
  ASSERT_TRUE(s_init2());
  const std::string base = gv.work_name;
  for (const std::string& f : dir.files()) EXPECT_NE(f.compare(0, base.size(), base), 0) << f;
  for (const std::string& b : blockers) EXPECT_EQ(read_file(b), "keep") << b;
  EXPECT_EQ(dir.files().size(), blockers.size());
}

TEST(WorkFiles, ProbeNeverFollowsALinkLeftUnderItsName) {
  ScratchDir dir;
  const unsigned long now = static_cast<unsigned long>(time(nullptr));
  for (unsigned long k = 0; k < 3; ++k) {
    char name[32];
    snprintf(name, sizeof name, "sw%06lu.00", (now + k) % 1000000);
    ASSERT_EQ(symlink(("target" + std::to_string(k)).c_str(), name), 0);
  }
  reset_without_names();
  ASSERT_TRUE(s_init2());
  for (int k = 0; k < 3; ++k) EXPECT_FALSE(zara_test::file_exists("target" + std::to_string(k)));
  EXPECT_EQ(dir.files().size(), 3u);
}

TEST(WorkFiles, MissingWorkDirectoryGives329) {
  ScratchDir dir;
  write_file("in.txt", lines({"b", "a"}));
  const std::set<int> before = open_fds();
  EXPECT_EQ(run("in.txt", "out.txt", "WORKDRIVE (nodir/) SORT (1,1,CH,A)").status,
            kProbeCreateError);
  EXPECT_EQ(run("in.txt", "out.txt", "WORKDRIVE (in.txt/) SORT (1,1,CH,A)").status,
            kProbeCreateError);
  EXPECT_EQ(open_fds(), before);
  EXPECT_EQ(dir.files(), std::vector<std::string>{"in.txt"});
  // An existing directory takes the work files, which are gone afterwards.
  mkdir("work", 0700);
  write_file("many.txt", numbered_lines(3000));
  WorkFileWatch watch;
  watch.dir = "work";
  zara_set_progress(note_work_files, &watch);
  const auto result = run("many.txt", "out.txt", "WORKDRIVE (work/) CORE (40) SORT (1,6,CH,A)");
  zara_set_progress(nullptr, nullptr);
  EXPECT_EQ(result.status, kOk);
  EXPECT_EQ(read_file("out.txt"), sorted_numbered_lines(3000));
  EXPECT_FALSE(watch.seen.empty());
  EXPECT_EQ(dir.files(), (std::vector<std::string>{"in.txt", "many.txt", "out.txt", "work"}));
  EXPECT_TRUE(list_dir("work").empty());
}

TEST(WorkFiles, FileLimitFollowsTheDescriptorLimit) {
  ScratchDir dir;
  const std::string out = in_child([] {
    rlimit saved;
    getrlimit(RLIMIT_NOFILE, &saved);
    std::string result;
    for (int allowed : {3, 4, 5, 17, 30, 40}) {
      reset_without_names();
      if (!allow_descriptors(allowed)) return std::string("setrlimit failed");
      const bool ok = s_init2();
      restore_descriptor_limit(saved);
      result += std::to_string(allowed) + ":" +
                (ok ? std::to_string(gv.file_limit) : "status " + std::to_string(gv.status_word)) +
                " ";
    }
    return result;
  });
  EXPECT_EQ(out, "3:status 330 4:4 5:5 17:17 30:30 40:30 ");
  EXPECT_TRUE(dir.files().empty());
}

TEST(WorkFiles, TooFewDescriptorsGive330AndLeaveNothingBehind) {
  ScratchDir dir;
  write_file("in.txt", lines({"b", "a"}));
  const std::string out = in_child([] {
    rlimit saved;
    getrlimit(RLIMIT_NOFILE, &saved);
    const std::set<int> before = open_fds();
    if (!allow_descriptors(3)) return std::string("setrlimit failed");
    const auto result = run("in.txt", "out.txt", "SORT (1,1,CH,A)");
    restore_descriptor_limit(saved);
    const bool same_fds = open_fds() == before;
    const std::vector<std::string> files = list_dir(".");
    return "status " + std::to_string(result.status) + " fds " + (same_fds ? "same" : "changed") +
           " files " + joined(files);
  });
  EXPECT_EQ(out, "status 330 fds same files in.txt");
}

TEST(WorkFiles, SortWithTheSmallestFileLimitCompletes) {
  ScratchDir dir;
  write_file("in.txt", numbered_lines(6000));
  for (int allowed : {4, 5}) {
    const std::string out = in_child([allowed] {
      rlimit saved;
      getrlimit(RLIMIT_NOFILE, &saved);
      const std::set<int> before = open_fds();
      if (!allow_descriptors(allowed)) return std::string("setrlimit failed");
      // 2 KB parts: many memory loads, so intermediate merges are needed.
      const auto result = run("in.txt", "out.txt", "CORE (40) SORT (1,6,CH,A)");
      const uint32_t limit = gv.file_limit;
      restore_descriptor_limit(saved);
      return "status " + std::to_string(result.status) + " records " +
             std::to_string(result.records) + " limit " + std::to_string(limit) + " fds " +
             (open_fds() == before ? "same" : "changed");
    });
    EXPECT_EQ(out, "status 0 records 6000 limit " + std::to_string(allowed) + " fds same");
    EXPECT_EQ(read_file("out.txt"), sorted_numbered_lines(6000));
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"in.txt", "out.txt"}));
  }
}

TEST(WorkFiles, RunsAreNamedByTheFamilyAndRemovedAfterSuccess) {
  ScratchDir dir;
  write_file("in.txt", numbered_lines(3000));
  WorkFileWatch watch;
  zara_set_progress(note_work_files, &watch);
  const auto result = run("in.txt", "out.txt", "CORE (40) SORT (1,6,CH,A)");
  zara_set_progress(nullptr, nullptr);
  const std::set<std::string>& seen = watch.seen;
  ASSERT_EQ(result.status, kOk);
  EXPECT_EQ(result.records, 3000u);
  EXPECT_EQ(read_file("out.txt"), sorted_numbered_lines(3000));
  EXPECT_EQ(dir.files(), (std::vector<std::string>{"in.txt", "out.txt"}));
  ASSERT_FALSE(seen.empty());
  const std::string base = seen.begin()->substr(0, 11);
  for (const std::string& name : seen) {
    EXPECT_TRUE(is_work_name(name, true)) << name;
    EXPECT_EQ(name.substr(0, 11), base) << name;  // one family per run
  }
  EXPECT_TRUE(seen.count(base + "1"));
}

TEST(WorkFiles, OneMemoryLoadNeedsNoWorkFile) {
  ScratchDir dir;
  write_file("in.txt", numbered_lines(50));
  WorkFileWatch watch;
  zara_set_progress(note_work_files, &watch);
  const auto result = run("in.txt", "out.txt", "SORT (1,6,CH,A)");
  zara_set_progress(nullptr, nullptr);
  EXPECT_EQ(result.status, kOk);
  EXPECT_TRUE(watch.seen.empty());
  EXPECT_EQ(read_file("out.txt"), sorted_numbered_lines(50));
}

// No run, failed or not, leaves a descriptor open.
TEST(Descriptors, NoneStaysOpenAfterAnyRun) {
  ScratchDir dir;
  write_file("in.txt", numbered_lines(3000));
  write_file("short.txt", lines({"b", "a"}));
  const std::set<int> before = open_fds();
  const std::vector<std::pair<std::string, std::string>> runs = {
      {"in.txt", "XYZ"},
      {"in.txt", "WORKDRIVE (nodir/)"},
      {"missing.txt", "SORT (1,1,CH,A)"},
      {"in.txt missing.txt", "CORE (40) SORT (1,6,CH,A)"},  // fails after spilling
      {"in.txt missing.txt", ""},                             // copy run fails midway
      {"", "SORT (1,1,CH,A)"},
      {"in.txt", "CORE (39) SORT (1,1,CH,A)"},
      {"out.txt", ""},
      {"in.txt", "CORE (40) SORT (1,6,CH,A)"},
      {"in.txt short.txt", "SORT (1,6,CH,A)"},
      {"in.txt", "INCLUDE (1,1,CH,EQ,\"0\") OUTREC (1,3)"},
      {"in.txt", "CORE (40) SORT (1,1,CH,A) SUM (2,1,ZD)"},
  };
  for (const auto& [inputs, control] : runs) {
    run(inputs, "out.txt", control);
    EXPECT_EQ(open_fds(), before) << inputs << " / " << control;
  }
  // A caller's descriptor opened between runs is left alone by the next run.
  const int mine = open("short.txt", O_RDONLY);
  ASSERT_GE(mine, 0);
  run("in.txt", "out.txt", "SORT (1,6,CH,A)");
  run("in.txt missing.txt", "out.txt", "CORE (40) SORT (1,6,CH,A)");
  EXPECT_NE(fcntl(mine, F_GETFD), -1);
  close(mine);
}

// ---------------------------------------------------------------------------
// Arena

TEST(Arena, PartSize) {
  EXPECT_EQ(arena_part_size(0, 30), 2092768u);
  EXPECT_EQ(arena_part_size(0, 4), 2092768u);
  EXPECT_EQ(arena_part_size(2000, 30), 51200u);
  EXPECT_EQ(arena_part_size(40, 30), 1024u);
  EXPECT_EQ(arena_part_size(39, 30), 0u);
  EXPECT_EQ(arena_part_size(2000, 4), 142u * 1024u);
  EXPECT_EQ(arena_part_size(1000000, 30), 2092768u);
  EXPECT_EQ(arena_part_size(0xFFFFFFFFu, 30), 2092768u);
}

TEST(Arena, CoreZeroTakesTheLargestParts) {
  ScratchDir dir;
  reset_without_names();
  gv.core_kb = 0;
  ASSERT_TRUE(s_init2());
  ASSERT_EQ(gv.file_limit, 30u);
  ASSERT_TRUE(s_alloc());
  EXPECT_EQ(gv.buffer_size, 2092768u);
  EXPECT_EQ(gv.out_buffer_size, 2092768u);
  EXPECT_EQ(gv.record_capacity, 130798u);
  EXPECT_EQ(gv.last_buffer, 27u);
  EXPECT_NE(gv.record_table, nullptr);
  EXPECT_NE(gv.out_buffer, nullptr);
  arena_free();
}

TEST(Arena, DefaultsAndHandingOutBuffers) {
  ScratchDir dir;
  reset_without_names();
  ASSERT_TRUE(s_init2());
  ASSERT_TRUE(s_alloc());
  EXPECT_EQ(gv.buffer_size, 51200u);
  EXPECT_EQ(gv.record_capacity, 32000u);
  EXPECT_EQ(gv.last_buffer, 27u);
  std::set<uint8_t*> taken;
  gv.next_buffer = 0;
  for (int i = 0; i < 28; ++i) {
    ASSERT_TRUE(read_gda()) << i;
    EXPECT_EQ(gv.buffer_used, 0u);
    taken.insert(gv.current_buffer);
  }
  EXPECT_EQ(taken.size(), 28u);
  uint8_t* last = gv.current_buffer;
  gv.buffer_used = 17;
  EXPECT_FALSE(read_gda());
  EXPECT_EQ(gv.current_buffer, last);
  EXPECT_EQ(gv.buffer_used, 17u);
  EXPECT_EQ(gv.next_buffer, 28u);
  EXPECT_EQ(gv.status_word, 0u);
  arena_free();
}

TEST(Arena, TinyCoreFailsBeforeAllocating) {
  ScratchDir dir;
  write_file("in.txt", lines({"b", "a"}));
  const std::set<int> before = open_fds();
  EXPECT_EQ(run("in.txt", "out.txt", "CORE (39) SORT (1,1,CH,A)").status, kNoMemory);
  EXPECT_EQ(run("in.txt", "out.txt", "CORE (1) SORT (1,1,CH,A) SUM (3,1,ZD)").status, kNoMemory);
  EXPECT_EQ(open_fds(), before);
  EXPECT_EQ(dir.files(), std::vector<std::string>{"in.txt"});
  EXPECT_EQ(run("in.txt", "out.txt", "CORE (40) SORT (1,1,CH,A)").status, kOk);
  EXPECT_EQ(read_file("out.txt"), lines({"a", "b"}));

  reset_without_names();
  gv.core_kb = 39;
  gv.file_limit = 30;
  gv.hold_active = 1;
  gv.hold_area_size = 2000;
  EXPECT_FALSE(s_alloc());
  EXPECT_EQ(gv.status_word, kNoMemory);
  EXPECT_EQ(gv.hold_area, nullptr);
  EXPECT_EQ(gv.out_buffer, nullptr);
  EXPECT_EQ(gv.record_table, nullptr);
  EXPECT_EQ(gv.buffers[0], nullptr);
}

// Current address-space size of this process, from /proc, without using
// the heap.
uint64_t address_space_bytes() {
  char buf[4096];
  const int fd = open("/proc/self/status", O_RDONLY);
  if (fd < 0) return 0;
  const ssize_t n = read(fd, buf, sizeof buf - 1);
  close(fd);
  if (n <= 0) return 0;
  buf[n] = '\0';
  const char* at = strstr(buf, "VmSize:");
  return at ? strtoull(at + 7, nullptr, 10) * 1024 : 0;
}

// In a child: allocates the CORE (0) arena with a file limit of 30 under an
// address-space limit that leaves room for the output buffer, the record
// table and `room_for` sort buffers (and half a part more).
std::string allocate_with_room_for(uint32_t room_for) {
  return in_child([room_for] {
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);  // every part is a mapping of its own
    reset_without_names();
    gv.core_kb = 0;
    gv.file_limit = 30;
    const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    auto mapped = [page](uint64_t n) { return (n + 64 + page - 1) / page * page; };
    const uint64_t part = mapped(kMaxPartSize);
    const uint64_t table = mapped(2ull * (kMaxPartSize / 16) * sizeof(RecordDesc));
    const uint64_t room = part + table + room_for * part + part / 2;
    rlimit rl;
    getrlimit(RLIMIT_AS, &rl);
    rl.rlim_cur = static_cast<rlim_t>(address_space_bytes() + room);
    if (setrlimit(RLIMIT_AS, &rl) != 0) return std::string("setrlimit failed");
    const bool ok = s_alloc();
    const uint32_t status = gv.status_word, size = gv.buffer_size, last = gv.last_buffer,
                   limit = gv.file_limit;
    arena_free();
    char out[128];
    snprintf(out, sizeof out, "ok %d status %u part %u last %u limit %u", ok ? 1 : 0, status,
             size, last, limit);
    return std::string(out);
  });
}

TEST(Arena, ShortfallAboveSixtyPercentIsAccepted) {
  if (kAddressSanitizer) GTEST_SKIP() << "an address-space limit defeats the sanitizer";
  // The heap this process already holds, and blocks the arena takes beside
  // the parts, shift the room by a part or two, so the room is swept one
  // part at a time. Every outcome must follow the rule (more than 60 % of
  // the 28 buffers, the file limit one above the buffers), and the sweep
  // must cross the border: 19 buffers of full size are kept with a file
  // limit of 20, while one part less room makes the allocator free
  // everything and halve the part size.
  struct Outcome {
    unsigned part, buffers, limit;
  };
  std::vector<Outcome> outcomes;
  for (uint32_t room = 14; room <= 26; ++room) {
    const std::string out = allocate_with_room_for(room);
    int ok = 0;
    unsigned status = 0, part = 0, last = 0, limit = 0;
    ASSERT_EQ(sscanf(out.c_str(), "ok %d status %u part %u last %u limit %u", &ok, &status,
                     &part, &last, &limit),
              5)
        << out;
    ASSERT_EQ(ok, 1) << out;
    EXPECT_EQ(status, 0u) << out;
    const unsigned buffers = last + 1;
    EXPECT_GE(buffers, 19u) << out;  // never 60 % of 30 or fewer
    EXPECT_EQ(limit, buffers == 28 ? 30u : buffers + 1) << out;
    EXPECT_TRUE(part == kMaxPartSize || part == kMaxPartSize / 2) << out;
    outcomes.push_back({part, buffers, limit});
  }
  size_t border = 0;
  while (border < outcomes.size() &&
         !(outcomes[border].part == kMaxPartSize && outcomes[border].buffers == 19))
    ++border;
  ASSERT_LT(border, outcomes.size()) << "no room gave 19 full-size buffers";
  EXPECT_EQ(outcomes[border].limit, 20u);
  ASSERT_GT(border, 0u);
  EXPECT_EQ(outcomes[border - 1].part, kMaxPartSize / 2);
}

// ---------------------------------------------------------------------------
// Output is input

TEST(OutputIsInput, CheckedWhereTheRunNeedsIt) {
  ScratchDir dir;
  const std::string data = lines({"b", "a", "c"});
  const std::vector<std::pair<std::string, uint32_t>> cases = {
      {"", kOutputIsInput},  // a copy run
      {"OVERWRITE", kOutputIsInput},
      {"SORT (1,1,CH,A)", kOk},
      {"MERGE (1,1,CH,A)", kOk},
      {"SORT (1,1,CH,A) INCLUDE (1,1,CH,NE,\"x\")", kOutputIsInput},
      {"SORT (1,1,CH,A) OMIT (1,1,CH,EQ,\"x\")", kOutputIsInput},
      {"SORT (1,1,CH,A) OUTREC (1,2)", kOutputIsInput},
      {"SORT (1,1,CH,A) ADDROUT", kOutputIsInput},
      {"SORT (1,1,CH,A) KEYOUT", kOutputIsInput},
      {"SORT (1,1,CH,A) DUPOUT (1,1)", kOutputIsInput},
      {"SORT (1,1,CH,A) DUPEX (1,1)", kOutputIsInput},
      {"SORT (1,1,CH,A) DUPIN (1,1)", kOutputIsInput},
      {"SORT (1,1,CH,A) SUM (1,1,ZD)", kOutputIsInput},
      {"SORT (1,1,CH,A) OUTREC (1,2) OVERWRITE", kOk},
      {"OVERWRITE SORT (1,1,CH,A) DUPOUT (1,1) INCLUDE (1,1,CH,NE,\"x\")", kOk},
  };
  for (const auto& [control, status] : cases) {
    write_file("data.txt", data);
    EXPECT_EQ(run("data.txt", "data.txt", control).status, status) << control;
    if (status == kOutputIsInput) {
      EXPECT_EQ(read_file("data.txt"), data) << control;
    }
  }
  write_file("data.txt", data);
  ASSERT_EQ(run("data.txt", "data.txt", "SORT (1,1,CH,A)").status, kOk);
  EXPECT_EQ(read_file("data.txt"), lines({"a", "b", "c"}));
}

TEST(OutputIsInput, EveryNameOfTheListIsCompared) {
  ScratchDir dir;
  write_file("a.txt", lines({"a"}));
  write_file("b.txt", lines({"b"}));
  EXPECT_EQ(run("a.txt b.txt", "b.txt", "").status, kOutputIsInput);
  EXPECT_EQ(run("a.txt+[c]b.txt", "b.txt more", "").status, kOutputIsInput);
  EXPECT_EQ(run("\"b.txt\"", "b.txt", "").status, kOutputIsInput);
  // Checked before any input is opened.
  EXPECT_EQ(run("missing.txt", "missing.txt", "").status, kOutputIsInput);
  // Names differ by case: different files.
  EXPECT_EQ(run("a.txt", "A.TXT", "").status, kOk);
  EXPECT_EQ(read_file("A.TXT"), lines({"a"}));
}

TEST(OutputIsInput, CommaDoesNotSeparateNamesInTheCheck) {
  ScratchDir dir;
  write_file("a", lines({"1"}));
  write_file("b", lines({"2"}));
  const auto result = run("a,b", "b", "");
  EXPECT_EQ(result.status, kOk);
  EXPECT_EQ(read_file("b"), lines({"1", "2"}));  // read both, then written
}

TEST(OutputIsInput, AnotherNameOfTheSameFile) {
  ScratchDir dir;
  const std::string data = lines({"b", "a"});
  write_file("data.txt", data);
  ASSERT_EQ(link("data.txt", "hard.txt"), 0);
  ASSERT_EQ(symlink("data.txt", "soft.txt"), 0);
  mkdir("sub", 0700);
  for (const char* input : {"./data.txt", "hard.txt", "soft.txt", "sub/../data.txt"}) {
    EXPECT_EQ(run(input, "data.txt", "").status, kOutputIsInput) << input;
    EXPECT_EQ(run("data.txt", input, "SORT (1,1,CH,A) OUTREC (1,2)").status, kOutputIsInput)
        << input;
    EXPECT_EQ(read_file("data.txt"), data) << input;
  }
  // Where the check does not run, another name is no obstacle either.
  EXPECT_EQ(run("hard.txt", "data.txt", "SORT (1,1,CH,A)").status, kOk);
  EXPECT_EQ(read_file("data.txt"), lines({"a", "b"}));
}

TEST(OutputIsInput, EmptyListGives213) {
  ScratchDir dir;
  for (const char* names : {"", "   ", " + \t\n", "[only a comment]"}) {
    EXPECT_EQ(run(names, "out.txt", "").status, kNoInputName) << names;
    EXPECT_EQ(run(names, "out.txt", "SORT (1,1,CH,A)").status, kNoInputName) << names;
    EXPECT_EQ(run(names, "out.txt", "SORT (1,1,CH,A) OUTREC (1,1)").status, kNoInputName)
        << names;
  }
  EXPECT_TRUE(dir.files().empty());
}

}  // namespace
}  // namespace zara
