// Shared helpers of the test programs: a scratch directory per test, file
// contents in and out, whole runs through the C ABI, byte builders, and a
// table-driven check of one whole run over files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
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

inline const std::string kEndChar(1, '\x1A');
std::string u16le(uint32_t v);
std::string u16be(uint32_t v);
std::string u32le(uint32_t v);
std::string concat(const std::vector<std::string>& parts);
// Lines of a 2-byte key from a small alphabet (many ties) and a serial
// number that shows the input order, each ending in "\n".
std::vector<std::string> keyed_lines(int n, unsigned seed);
// A stable sort on the first `key` bytes, concatenated.
std::string sorted_by_prefix(std::vector<std::string> records, size_t key, bool descending = false);
// A dBASE III header of `length` bytes (ending in 0x0D) for records of
// `record_length` bytes, holding `count` at offset 4.
std::string db3_header(uint32_t length, uint32_t record_length, char fill = 'h',
                       uint32_t count = 999);
// Work files and header save files ("sw" names of 12 bytes) in `dir`.
std::vector<std::string> work_files(const std::string& dir = ".");

// Sort buffer size and record-table capacity of a run with this CORE
// statement in this process, read back after a trivial run.
struct CoreSizes {
  uint32_t buffer = 0, table = 0;
};
CoreSizes sizes_with_core(const std::string& core);

// One whole run over files written into a fresh scratch directory, with
// output "out" unless `output` names it otherwise.
struct FileCase {
  std::string name;
  std::vector<std::pair<std::string, std::string>> files;
  std::string inputs, control;
  int64_t records = -1;                           // not checked when negative
  std::optional<std::string> out = std::nullopt;  // nullopt: "out" must not exist
  uint32_t status = 0;
  size_t work_files_left = 0;
  bool spills = false;  // the sort must write more than one run
  std::string output = "out";
};
inline const std::optional<std::string> kNoOutput = std::nullopt;
// Checks status, records, output bytes, that no descriptor stays open and
// how many work files remain.
void check_file_case(const FileCase& c);

}  // namespace zara_test
