// Shared helpers of the test programs: a scratch directory per test, file
// contents in and out, and a whole run through the C ABI.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zara_test {

// A fresh directory that becomes the working directory for the test's
// lifetime (work files land there); removed with its contents afterwards.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  // Names of the files in the directory, sorted.
  std::vector<std::string> files() const;

 private:
  std::string path_;
  std::string previous_cwd_;
};

void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);

struct RunResult {
  uint32_t status;
  uint32_t records;
};
// s_2mains with the three texts.
RunResult run(const std::string& inputs, const std::string& output, const std::string& control);

// Records of a text of lines, each with its terminator "\n".
std::string lines(const std::vector<std::string>& records);

}  // namespace zara_test
