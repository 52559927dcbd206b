// zara-sort as a user runs it: a caret under the failing token of a control file, a file error naming
// the file, and '-' for standard input and output in a pipeline.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <tuple>

#include "tests/test_support.h"

namespace {

using namespace zara_test;

// Exit code, standard output and standard error of a shell command line.
std::tuple<int, std::string, std::string> shell(const std::string& command) {
  const int raw = system(("(" + command + ") >cli.out 2>cli.err").c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_file("cli.out"), read_file("cli.err")};
}

TEST(Cli, DiagnosticsAndPipeline) {
  ScratchDir dir;
  const std::string tool = "'" ZARA_TEST_BINARY_DIR "/zara-sort' ";
  write_file("ctl", "SORT (1,4,CH,A)\n\tINCLUDE (1,2,CH,XX,\"ab\")\n");  // the tab kept, so the caret lines up
  EXPECT_EQ(shell(tool + "-f ctl -o out.txt ctl"),
            std::tuple(1, "", "zara-sort: status 205: condition operator missing or not recognised\n"
                              "  \tINCLUDE (1,2,CH,XX,\"ab\")\n  \t                ^\n"));
  EXPECT_EQ(shell(tool + "-c 'SORT (1,1,CH,A)' -o out.txt missing.txt"),
            std::tuple(1, "", "zara-sort: status 214: an input file cannot be opened\n"
                              "zara-sort: missing.txt: No such file or directory\n"));
  write_file("b.txt", "2 from a file\n");
  EXPECT_EQ(shell("printf '3 c\\n1 a\\n' | " + tool + "-c 'SORT (1,1,CH,A)' -o - - b.txt | cat"),
            std::tuple(0, "1 a\n2 from a file\n3 c\n", ""));
  EXPECT_EQ(dir.files(), (std::vector<std::string>{"b.txt", "cli.err", "cli.out", "ctl"}));
}

}  // namespace
