// Replays the inputs that made the fuzz programs report a finding
// (tests/data/fuzz_regressions/<program>/) and their seed corpora
// (fuzz/corpus/<program>/) through the same fuzz cases, so that every
// build checks them; and checks that the cases' own checks do catch the
// faults they are there for.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "fuzz/cobol_case.h"
#include "fuzz/control_case.h"
#include "fuzz/harness.h"
#include "fuzz/input_case.h"
#include "fuzz/raat_case.h"

// The adaptor and the key-block translation are not part of the engine's
// objects; the COBOL case drives them with its own EXTSM.
#include "cobol/d15o37.cc"
#include "cobol/sort_statement.cc"

namespace {

using zara_fuzz::Bytes;
using CaseFn = std::string (*)(const uint8_t*, size_t);

class FuzzEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(zara_fuzz::prepare_process()); }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new FuzzEnvironment);

// Each case works in a directory of its own, as each fuzz program does in
// its process: a case takes every file it does not know for a stray.
class CaseDirectory {
 public:
  CaseDirectory(const std::string& name, bool (*prepare)()) {
    const std::string path = zara_fuzz::scratch_path() + "/" + name;
    mkdir(path.c_str(), 0700);
    ready_ = chdir(path.c_str()) == 0 && prepare();
  }
  ~CaseDirectory() {
    if (chdir(zara_fuzz::scratch_path().c_str()) != 0) ADD_FAILURE() << "cannot leave case directory";
  }
  bool ready() const { return ready_; }

 private:
  bool ready_ = false;
};

std::vector<std::string> files_in(const std::string& dir) {
  std::vector<std::string> paths;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') paths.push_back(dir + "/" + e->d_name);
    closedir(d);
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

// Runs every file of the directories through the case with standard output
// on /dev/null (PAUSE prompts, the adaptor's console lines); returns the
// number of files run and the findings, as "file: finding".
std::pair<size_t, std::vector<std::string>> replay(CaseFn run,
                                                   const std::vector<std::string>& dirs) {
  std::vector<std::string> findings;
  size_t count = 0;
  fflush(stdout);
  const int saved = dup(1);
  const int null_fd = open("/dev/null", O_WRONLY);
  dup2(null_fd, 1);
  for (const std::string& dir : dirs) {
    for (const std::string& path : files_in(dir)) {
      Bytes bytes;
      if (!zara_fuzz::read_file(path, &bytes)) {
        findings.push_back(path + ": cannot read");
        continue;
      }
      ++count;
      const std::string finding =
          run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      if (!finding.empty()) findings.push_back(path + ": " + finding);
    }
  }
  fflush(stdout);
  dup2(saved, 1);
  close(saved);
  close(null_fd);
  return {count, findings};
}

void expect_clean_replay(const char* program, bool (*prepare)(), CaseFn run) {
  CaseDirectory dir(program, prepare);
  ASSERT_TRUE(dir.ready());
  const std::string source = ZARA_TEST_SOURCE_DIR;
  const auto [count, findings] =
      replay(run, {source + "/tests/data/fuzz_regressions/" + program,
                   source + "/fuzz/corpus/" + program});
  EXPECT_GT(count, 0u) << "no inputs for " << program;
  for (const std::string& f : findings) ADD_FAILURE() << f;
}

TEST(FuzzReplay, ControlCase) {
  expect_clean_replay("fuzz_control", zara_fuzz::prepare_control_case, zara_fuzz::run_control_case);
}
TEST(FuzzReplay, InputCase) {
  expect_clean_replay("fuzz_input", zara_fuzz::prepare_input_case, zara_fuzz::run_input_case);
}
TEST(FuzzReplay, RaatCase) {
  expect_clean_replay("fuzz_raat", zara_fuzz::prepare_raat_case, zara_fuzz::run_raat_case);
}
TEST(FuzzReplay, CobolCase) {
  expect_clean_replay("fuzz_cobol", zara_fuzz::prepare_cobol_case, zara_fuzz::run_cobol_case);
}

// ---- The checks themselves: each must notice the fault it stands for.

std::string run_bytes(CaseFn run, const Bytes& bytes) {
  return run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

TEST(FuzzChecks, ExactOutputCheckCatchesWrongOrderAndLostRecords) {
  CaseDirectory dir("checks", zara_fuzz::prepare_input_case);
  ASSERT_TRUE(dir.ready());
  const zara_fuzz::InputCase& c = zara_fuzz::kInputCases[0];  // RECORD (16), CH keys
  const Bytes a = "bbbb01xx#.......";  // dropped by INCLUDE (byte 9 is '#')
  const Bytes b = "aaaa01xxxxxxxxxx";
  const Bytes d = "aaaa02yyyyyyyyyy";  // same first key, greater second: first (descending)
  // Make the arena's buffer size what a run would have left.
  ASSERT_EQ(run_bytes(zara_fuzz::run_input_case, Bytes(1, '\0') + a + b + d), "");
  const std::vector<Bytes> files = {a + b + d};
  EXPECT_EQ(zara_fuzz::check_input_output(c, files, 0, 2, true, d + b), "");
  EXPECT_NE(zara_fuzz::check_input_output(c, files, 0, 2, true, b + d), "");
  EXPECT_NE(zara_fuzz::check_input_output(c, files, 0, 1, true, d), "");
  EXPECT_NE(zara_fuzz::check_input_output(c, files, 0, 3, true, d + b), "");
  EXPECT_NE(zara_fuzz::check_input_output(c, files, 0, 2, false, ""), "");
  // A failure is a finding unless a record cannot fit a sort buffer.
  EXPECT_NE(zara_fuzz::check_input_output(c, files, zara::kRecordTooLong, 0, false, ""), "");
}

TEST(FuzzChecks, ReferenceFramingFollowsTheFileTypes) {
  const zara_fuzz::Framed text = zara_fuzz::frame_text("a\r\nb\fc\x1A" "d\n");
  EXPECT_EQ(text.records, (std::vector<Bytes>{"a\r", "\n", "b\f"}));
  EXPECT_TRUE(text.end_mark);
  const zara_fuzz::Framed vs = zara_fuzz::frame_vs(Bytes("\x02\x00xy\x00\x00\x05\x00" "abc", 11));
  EXPECT_EQ(vs.records.size(), 2u);
  EXPECT_EQ(vs.longest, 5u);  // the cut-off record at the end
  const zara_fuzz::Framed gp = zara_fuzz::frame_gp("ab||c~~d|", "|", "~~");
  EXPECT_EQ(gp.records, (std::vector<Bytes>{"ab|", "|"}));
  EXPECT_TRUE(gp.end_mark);
}

TEST(FuzzChecks, RunWatchReportsStrayFilesLeftWorkFilesAndDescriptors) {
  CaseDirectory dir("watch", [] { return true; });
  ASSERT_TRUE(dir.ready());
  const std::map<std::string, Bytes> none;
  {
    zara_fuzz::RunWatch watch(&none, {"out"});
    ASSERT_TRUE(zara_fuzz::write_file("out", "x"));
    EXPECT_EQ(watch.finish(true), "");
  }
  unlink("out");
  {
    zara_fuzz::RunWatch watch(&none, {});
    ASSERT_TRUE(zara_fuzz::write_file("sw123456.001", "run"));
    EXPECT_EQ(watch.finish(false), "");  // a failed run may leave work files
  }
  {
    zara_fuzz::RunWatch watch(&none, {});
    ASSERT_TRUE(zara_fuzz::write_file("sw123456.001", "run"));
    EXPECT_NE(watch.finish(true), "");
  }
  {
    zara_fuzz::RunWatch watch(&none, {});
    ASSERT_TRUE(zara_fuzz::write_file("elsewhere", "?"));
    EXPECT_NE(watch.finish(false), "");
  }
  // Whatever a run left is removed, so that it cannot disturb later runs.
  EXPECT_NE(access("sw123456.001", F_OK), 0);
  EXPECT_NE(access("elsewhere", F_OK), 0);
  {
    zara_fuzz::RunWatch watch(&none, {});
    const int fd = open("/dev/null", O_RDONLY);
    EXPECT_NE(watch.finish(true), "");
    close(fd);
  }
}

TEST(FuzzChecks, ControlTextsThatCouldNameOtherDirectoriesAreNotRun) {
  const uint8_t bad[] = "WORKDRIVE (tmp/)";
  const uint8_t good[] = "SORT (1,4,CH,A)";
  EXPECT_FALSE(zara_fuzz::control_text_confined(bad, sizeof bad - 1));
  EXPECT_TRUE(zara_fuzz::control_text_confined(good, sizeof good - 1));
  EXPECT_FALSE(zara_fuzz::is_work_file_name("in.txt"));
  EXPECT_TRUE(zara_fuzz::is_work_file_name("sw001234.00"));
  EXPECT_TRUE(zara_fuzz::is_work_file_name("sw001234.00z"));
}

}  // namespace
