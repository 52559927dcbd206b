// zara-sort end to end: the built binary run as a user would, and the
// progress callback it relies on.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/diagnostics.h"
#include "tests/test_support.h"
#include "zara15z37.h"

namespace {

using zara_test::ScratchDir;
using zara_test::read_file;
using zara_test::write_file;

const std::string kTool = std::string(ZARA_TEST_BINARY_DIR) + "/zara-sort";

struct Result {
  int exit_code;
  std::string out;  // standard output
  std::string err;  // standard error
};

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs a shell command line; stdout and stderr captured through files.
Result shell(const std::string& command) {
  const std::string line = "(" + command + ") >cli.out 2>cli.err";
  const int raw = system(line.c_str());
  Result r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_file("cli.out"), read_file("cli.err")};
  remove("cli.out");
  remove("cli.err");
  return r;
}

Result tool(const std::string& arguments) { return shell(quote(kTool) + " " + arguments); }

TEST(Cli, SortsFilesQuietlyAndCountsWithV) {
  ScratchDir dir;
  write_file("in.txt", "pear\napple\nfig\n");
  Result r = tool("-c 'SORT (1,5,CH,A)' -o out.txt in.txt");
  EXPECT_EQ(0, r.exit_code);
  EXPECT_EQ("", r.out + r.err);
  EXPECT_EQ("apple\nfig\npear\n", read_file("out.txt"));
  r = tool("-v -c 'SORT (1,5,CH,D)' -o out.txt in.txt");
  EXPECT_EQ(0, r.exit_code);
  EXPECT_EQ("zara-sort: 3 records written\n", r.err);
  EXPECT_EQ("pear\nfig\napple\n", read_file("out.txt"));
}

TEST(Cli, ParseErrorsShowTheLineWithACaret) {
  ScratchDir dir;
  write_file("in.txt", "x\n");
  Result r = tool("-c 'SORT (1,4,XX,A)' -o out.txt in.txt");
  EXPECT_EQ(1, r.exit_code);
  EXPECT_EQ(
      "zara-sort: status 204: field type missing or not recognised\n"
      "  SORT (1,4,XX,A)\n"
      "            ^\n",
      r.err);
  // The failing line of a multi-line text, tabs kept so the caret lines up.
  write_file("ctl", "SORT (1,4,CH,A)\n\tINCLUDE (1,2,CH,XX,\"ab\")\n");
  r = tool("-f ctl -o out.txt in.txt");
  EXPECT_EQ(1, r.exit_code);
  EXPECT_EQ(
      "zara-sort: status 205: condition operator missing or not recognised\n"
      "  \tINCLUDE (1,2,CH,XX,\"ab\")\n"
      "  \t                ^\n",
      r.err);
  // A text that ends too early points past its end.
  r = tool("-c 'SORT (1,4,CH,A' -o out.txt in.txt");
  EXPECT_EQ(
      "zara-sort: status 10010: SORT/MERGE: the text ends where a key position is expected\n"
      "  SORT (1,4,CH,A\n"
      "                ^\n",
      r.err);
  r = tool("-c 'SORT (1,4,CH,A) NONSENSE' -o out.txt in.txt");
  EXPECT_EQ(
      "zara-sort: status 201: statement keyword not recognised\n"
      "  SORT (1,4,CH,A) NONSENSE\n"
      "                  ^\n",
      r.err);
}

TEST(Cli, FileErrorsNameTheFileAndTheReason) {
  ScratchDir dir;
  write_file("in.txt", "x\n");
  Result r = tool("-c 'SORT (1,1,CH,A)' -o out.txt missing.txt");
  EXPECT_EQ(1, r.exit_code);
  EXPECT_EQ(
      "zara-sort: status 214: an input file cannot be opened\n"
      "zara-sort: missing.txt: No such file or directory\n",
      r.err);
  r = tool("-c 'SORT (1,1,CH,A)' -o no/such/dir/out in.txt");
  EXPECT_EQ(
      "zara-sort: status 210: the output file or a work file cannot be created\n"
      "zara-sort: no/such/dir/out: No such file or directory\n",
      r.err);
  r = tool("-o in.txt in.txt");  // a copy onto its own input
  EXPECT_EQ(
      "zara-sort: status 211: the output file is one of the input files\n"
      "zara-sort: the output in.txt is also an input\n",
      r.err);
  EXPECT_EQ("x\n", read_file("in.txt"));
}

TEST(Cli, WorksInAPipeline) {
  ScratchDir dir;
  write_file("b.txt", "2 from a file\n");
  const Result r =
      shell("printf '3 c\\n1 a\\n' | " + quote(kTool) + " -c 'SORT (1,1,CH,A)' -o - - b.txt | cat");
  EXPECT_EQ(0, r.exit_code) << r.err;
  EXPECT_EQ("1 a\n2 from a file\n3 c\n", r.out);
  // Nothing is left behind in the working directory.
  EXPECT_EQ(std::vector<std::string>{"b.txt"}, dir.files());
}

TEST(Cli, NamesWithBlanksAndUsageErrors) {
  ScratchDir dir;
  write_file("my input.txt", "b\na\n");
  Result r = tool("-c 'SORT (1,1,CH,A)' -o 'my output.txt' 'my input.txt'");
  EXPECT_EQ(0, r.exit_code) << r.err;
  EXPECT_EQ("a\nb\n", read_file("my output.txt"));
  EXPECT_EQ(2, tool("-c 'SORT (1,1,CH,A)' in.txt").exit_code);           // no -o
  EXPECT_EQ(2, tool("-c 'SORT (1,1,CH,A)' -o out").exit_code);           // no input
  EXPECT_EQ(2, tool("--bogus -o out in").exit_code);
  r = tool("--help");
  EXPECT_EQ(0, r.exit_code);
  EXPECT_NE(std::string::npos, r.out.find("usage: zara-sort"));
}

TEST(Cli, CaretLinesPointAtTheOffset) {
  EXPECT_EQ("  ab\n    ^\n", zara_cli::caret_lines("ab\n", 3));  // the end, after a line break
  EXPECT_EQ("  x\n  ^\n", zara_cli::caret_lines("ab\r\nx", 4));
  EXPECT_EQ("  \n  ^\n", zara_cli::caret_lines("", 0));
  EXPECT_EQ("  ab\n    ^\n", zara_cli::caret_lines("ab", 99));  // clamped to the end
}

// The progress callback sees monotone figures at load and merge boundaries.
std::vector<zara_progress> seen;
void record_progress(const zara_progress* p, void*) { seen.push_back(*p); }

TEST(Progress, CallbackFiguresAreMonotone) {
  ScratchDir dir;
  std::string text;
  uint32_t x = 7;
  for (int i = 0; i < 4000; ++i) {
    x = x * 1103515245u + 12345u;
    text += std::to_string(x % 100000) + " some padding to make the records longer\n";
  }
  write_file("in.txt", text);
  seen.clear();
  zara_set_progress(record_progress, nullptr);
  const zara_test::RunResult r = zara_test::run("in.txt", "out.txt", "SORT (1,5,CH,A) CORE (60)");
  zara_set_progress(nullptr, nullptr);
  ASSERT_EQ(0u, r.status);
  ASSERT_GE(seen.size(), 3u);
  for (size_t i = 1; i < seen.size(); ++i) {
    EXPECT_GE(seen[i].bytes_read, seen[i - 1].bytes_read);
    EXPECT_GE(seen[i].memory_loads, seen[i - 1].memory_loads);
    EXPECT_GE(seen[i].merge_passes, seen[i - 1].merge_passes);
    EXPECT_GE(seen[i].phase, seen[i - 1].phase);
  }
  EXPECT_EQ(text.size(), seen.back().bytes_total);
  EXPECT_EQ(text.size(), seen.back().bytes_read);
  EXPECT_EQ(static_cast<uint32_t>(ZARA_PHASE_DONE), seen.back().phase);
  EXPECT_GE(seen.back().merge_passes, 1u);
  // Without a callback nothing is called.
  seen.clear();
  ASSERT_EQ(0u, zara_test::run("in.txt", "out.txt", "SORT (1,5,CH,A)").status);
  EXPECT_TRUE(seen.empty());
}

}  // namespace
