// zara-sort as a user runs it: quoted names, APOST, '--', '-' for standard input and output in a pipeline, a caret
// under the failing token of a control text, a file error naming the file, usage errors.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <tuple>

#include "cli/diagnostics.h"
#include "tests/test_support.h"

namespace {

using namespace zara_test;

// Exit code, standard output and standard error of a shell command line.
std::tuple<int, std::string, std::string> shell(const std::string& command) {
  const int raw = system(("(" + command + ") >cli.out 2>cli.err").c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_file("cli.out"), read_file("cli.err")};
}

#define TOOL "'" ZARA_TEST_BINARY_DIR "/zara-sort' "
const std::string kUsageLine = "usage: zara-sort [-c TEXT | -f FILE] [-v] [--progress] [--copybook FILE] [--explain N]\n";
const std::string kUsage = kUsageLine + "                 -o OUTPUT INPUT...\n       zara-sort --copybook FILE --fields\n";

TEST(Cli, RunsAndDiagnostics) {
  ScratchDir dir;
  write_file("my in.txt", "pear\napple\nfig\n");
  write_file("b.txt", "2 from a file\n");
  write_file("ctl", "SORT (1,4,CH,A)\n\tINCLUDE (1,2,CH,XX,\"ab\")\n");  // the tab kept, so the caret lines up
  const std::tuple<std::string, int, std::string, std::string> rows[] = {
      {TOOL "-c 'SORT (1,5,CH,A)' -o 'my out' 'my in.txt' && cat 'my out'", 0, "apple\nfig\npear\n", ""},
      {TOOL "-v -c 'APOST SORT (1,5,CH,D)' -o - -- 'my in.txt'", 0, "pear\nfig\napple\n", "zara-sort: 3 records written\n"},
      {"printf '3 c\\n1 a\\n' | " TOOL "-c 'SORT (1,1,CH,A)' -o - - b.txt | cat", 0, "1 a\n2 from a file\n3 c\n", ""},
      {TOOL "-c 'SORT (1,4,XX,A)' -o out b.txt", 1, "",
       "zara-sort: status 204: field type missing or not recognised\n  SORT (1,4,XX,A)\n            ^\n"},
      {TOOL "-f ctl -o out b.txt", 1, "", "zara-sort: status 205: condition operator missing or not recognised\n"
                                          "  \tINCLUDE (1,2,CH,XX,\"ab\")\n  \t                ^\n"},
      {TOOL "-c 'SORT (1,4,CH,A' -o out b.txt", 1, "", "zara-sort: status 10010: SORT/MERGE: the text ends where a key "
                                                       "position is expected\n  SORT (1,4,CH,A\n                ^\n"},
      {TOOL "-c 'SORT (1,1,CH,A)' -o out -- -x", 1, "", "zara-sort: status 214: an input file cannot be opened\n"
                                                        "zara-sort: -x: No such file or directory\n"},
      {TOOL "-o no/dir/out b.txt", 1, "", "zara-sort: status 210: the output file or a work file cannot be created\n"
                                          "zara-sort: no/dir/out: No such file or directory\n"},
      {TOOL "-o b.txt b.txt", 1, "", "zara-sort: status 211: the output file is one of the input files\n"
                                     "zara-sort: the output b.txt is also an input\n"},
      {TOOL "-c X b.txt", 2, "", "zara-sort: no output file (-o)\n" + kUsage},
      {TOOL "-o out", 2, "", "zara-sort: no input file\n" + kUsage},
      {TOOL "--bogus -o out b.txt", 2, "", "zara-sort: unknown option\n" + kUsage},
      {TOOL "--help | head -1", 0, kUsageLine, ""}};
  for (const auto& [command, exit_code, out, err] : rows)
    EXPECT_EQ(shell(command), std::tuple(exit_code, out, err)) << command;
  EXPECT_EQ(read_file("b.txt"), "2 from a file\n");
  EXPECT_EQ(dir.files(), (std::vector<std::string>{"b.txt", "cli.err", "cli.out", "ctl", "my in.txt", "my out"}));
  // A failure at the end of a text points at its last line; an offset past the end at the end.
  EXPECT_EQ(zara_cli::caret_lines("ab\n", 3) + zara_cli::caret_lines("ab\r\nx", 4) + zara_cli::caret_lines("ab", 99),
            "  ab\n    ^\n  x\n  ^\n  ab\n    ^\n");
}

}  // namespace
