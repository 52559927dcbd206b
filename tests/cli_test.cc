// zara-sort end to end, run as a user would: quiet and counted sorts, caret
// diagnostics of the control text, file errors, usage errors, '-' in a
// pipeline; and the progress callback the tool relies on.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/diagnostics.h"
#include "tests/test_support.h"
#include "zara15z37.h"

namespace {

using zara_test::read_file;
using zara_test::ScratchDir;
using zara_test::write_file;

struct Result {
  int exit_code;
  std::string out, err;
};

// Runs a shell command line, its standard output and error caught in files.
Result shell(const std::string& command) {
  const int raw = system(("(" + command + ") >cli.out 2>cli.err").c_str());
  Result r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_file("cli.out"), read_file("cli.err")};
  remove("cli.out");
  remove("cli.err");
  return r;
}

const std::string kTool = "'" ZARA_TEST_BINARY_DIR "/zara-sort' ";

TEST(Cli, SortsQuietlyAndCountsWithV) {
  ScratchDir dir;
  write_file("my input.txt", "pear\napple\nfig\n");
  Result r = shell(kTool + "-c 'SORT (1,5,CH,A)' -o 'my output.txt' 'my input.txt'");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out + r.err, "");
  EXPECT_EQ(read_file("my output.txt"), "apple\nfig\npear\n");
  r = shell(kTool + "-v -c 'SORT (1,5,CH,D)' -o out.txt 'my input.txt'");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, "zara-sort: 3 records written\n");
  EXPECT_EQ(read_file("out.txt"), "pear\nfig\napple\n");
  for (const char* usage :
       {"-c 'SORT (1,1,CH,A)' in.txt", "-c 'SORT (1,1,CH,A)' -o out", "--bogus -o out in"})
    EXPECT_EQ(shell(kTool + usage).exit_code, 2) << usage;  // no -o, no input, unknown option
  r = shell(kTool + "--help");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("usage: zara-sort"), std::string::npos);
}

TEST(Cli, ParseErrorsShowTheLineWithACaret) {
  ScratchDir dir;
  write_file("in.txt", "x\n");
  // The failing line of a multi-line text, tabs kept so that the caret lines up.
  write_file("ctl", "SORT (1,4,CH,A)\n\tINCLUDE (1,2,CH,XX,\"ab\")\n");
  const std::pair<std::string, std::string> cases[] = {
      {"-c 'SORT (1,4,XX,A)'",
       "status 204: field type missing or not recognised\n  SORT (1,4,XX,A)\n            ^\n"},
      {"-f ctl",
       "status 205: condition operator missing or not recognised\n"
       "  \tINCLUDE (1,2,CH,XX,\"ab\")\n  \t                ^\n"},
      {"-c 'SORT (1,4,CH,A'",  // a text that ends too early: past its end
       "status 10010: SORT/MERGE: the text ends where a key position is expected\n"
       "  SORT (1,4,CH,A\n                ^\n"},
      {"-c 'SORT (1,4,CH,A) NONSENSE'",
       "status 201: statement keyword not recognised\n  SORT (1,4,CH,A) NONSENSE\n                 "
       " ^\n"}};
  for (const auto& [control, message] : cases) {
    const Result r = shell(kTool + control + " -o out.txt in.txt");
    EXPECT_EQ(r.exit_code, 1) << control;
    EXPECT_EQ(r.err, "zara-sort: " + message) << control;
  }
  EXPECT_EQ(zara_cli::caret_lines("ab\n", 3), "  ab\n    ^\n");  // the end, after a line break
  EXPECT_EQ(zara_cli::caret_lines("ab\r\nx", 4), "  x\n  ^\n");
  EXPECT_EQ(zara_cli::caret_lines("", 0), "  \n  ^\n");
  EXPECT_EQ(zara_cli::caret_lines("ab", 99), "  ab\n    ^\n");  // clamped to the end
}

TEST(Cli, FileErrorsNameTheFileAndTheReason) {
  ScratchDir dir;
  write_file("in.txt", "x\n");
  const std::pair<std::string, std::string> cases[] = {
      {"-c 'SORT (1,1,CH,A)' -o out.txt missing.txt",
       "status 214: an input file cannot be opened\nzara-sort: missing.txt: No such file or "
       "directory\n"},
      {"-c 'SORT (1,1,CH,A)' -o no/such/dir/out in.txt",
       "status 210: the output file or a work file cannot be created\n"
       "zara-sort: no/such/dir/out: No such file or directory\n"},
      {"-o in.txt in.txt",  // a copy onto its own input
       "status 211: the output file is one of the input files\nzara-sort: the output in.txt is "
       "also an input\n"}};
  for (const auto& [arguments, message] : cases) {
    const Result r = shell(kTool + arguments);
    EXPECT_EQ(r.exit_code, 1) << arguments;
    EXPECT_EQ(r.err, "zara-sort: " + message) << arguments;
  }
  EXPECT_EQ(read_file("in.txt"), "x\n");
}

TEST(Cli, WorksInAPipeline) {
  ScratchDir dir;
  write_file("b.txt", "2 from a file\n");
  const Result r =
      shell("printf '3 c\\n1 a\\n' | " + kTool + "-c 'SORT (1,1,CH,A)' -o - - b.txt | cat");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "1 a\n2 from a file\n3 c\n");
  EXPECT_EQ(dir.files(), std::vector<std::string>{"b.txt"});  // nothing left behind
}

// Figures of every callback at load and merge boundaries never go back.
void record_progress(const zara_progress* p, void* seen) {
  static_cast<std::vector<zara_progress>*>(seen)->push_back(*p);
}

TEST(Progress, CallbackFiguresAreMonotone) {
  ScratchDir dir;
  std::string text;
  for (uint32_t i = 0, x = 7; i < 4000; ++i, x = x * 1103515245u + 12345u)
    text += std::to_string(x % 100000) + " some padding to make the records longer\n";
  write_file("in.txt", text);
  std::vector<zara_progress> seen;
  zara_set_progress(record_progress, &seen);
  ASSERT_EQ(zara_test::run("in.txt", "out.txt", "SORT (1,5,CH,A) CORE (60)").status, 0u);
  zara_set_progress(nullptr, nullptr);
  ASSERT_GE(seen.size(), 3u);
  for (size_t i = 1; i < seen.size(); ++i) {
    EXPECT_GE(seen[i].bytes_read, seen[i - 1].bytes_read);
    EXPECT_GE(seen[i].memory_loads, seen[i - 1].memory_loads);
    EXPECT_GE(seen[i].merge_passes, seen[i - 1].merge_passes);
    EXPECT_GE(seen[i].phase, seen[i - 1].phase);
  }
  EXPECT_EQ(seen.back().bytes_total, text.size());
  EXPECT_EQ(seen.back().bytes_read, text.size());
  EXPECT_EQ(seen.back().phase, static_cast<uint32_t>(ZARA_PHASE_DONE));
  EXPECT_GE(seen.back().merge_passes, 1u);
  seen.clear();  // without a callback nothing is called
  ASSERT_EQ(zara_test::run("in.txt", "out.txt", "SORT (1,5,CH,A)").status, 0u);
  EXPECT_TRUE(seen.empty());
}

}  // namespace
