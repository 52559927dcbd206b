// Shared helpers of the test programs: a scratch working directory, file contents, whole runs through the C ABI,
// generated records.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "zara15z37.h"

namespace zara_test {

// A fresh working directory (where work files land) for the object's lifetime, removed afterwards.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  std::vector<std::string> files() const;  // names, sorted

 private:
  std::string path_, previous_cwd_;
};
std::vector<std::string> work_files(const std::string& dir = ".");  // 12-byte "sw" names

void write_file(const std::string& path, const std::string& bytes);
inline std::string read_file(const std::string& path) {  // "" when missing
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), {}};
}
inline bool file_exists(const std::string& path) { return exists(std::filesystem::symlink_status(path)); }

struct RunResult { uint32_t status, records; };
RunResult run(const std::string& inputs, const std::string& output, const std::string& control);  // s_2mains

std::string lines(const std::vector<std::string>& records);  // each ends in "\n"
std::string concat(const std::vector<std::string>& parts);
// n lines of a 2-byte key of few values (many ties) and a serial number showing the input order.
std::vector<std::string> keyed_lines(int n, unsigned seed);
std::string sorted_by_prefix(std::vector<std::string> records, size_t key, bool descending = false);  // stable
// True when this 32-bit program runs under user-mode emulation: uname() there reports the emulated "i686", on a
// 64-bit kernel that runs it natively "x86_64". Address-space limits and timings do not hold under emulation.
bool under_emulation();
// A DB3 header of `length` bytes for records of `record_length` bytes, counting `count`.
std::string db3_header(uint32_t length, uint32_t record_length, char fill = 'h', uint32_t count = 999);

}  // namespace zara_test
