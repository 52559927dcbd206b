#include "tests/test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "engine/run_state.h"
#include "tests/child_run.h"
#include "zara15z37.h"

namespace zara_test {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd)) previous_cwd_ = cwd;
  const char* base = getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/zara-test-XXXXXX";
  if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
  path_ = templ;
  if (chdir(path_.c_str()) != 0) throw std::runtime_error("chdir failed");
}

ScratchDir::~ScratchDir() {
  if (!previous_cwd_.empty() && chdir(previous_cwd_.c_str()) != 0) perror("chdir");
  std::error_code ignored;
  fs::remove_all(path_, ignored);  // links are removed, never followed
}

std::vector<std::string> ScratchDir::files() const {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(path_)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  if (f) s << f.rdbuf();
  return s.str();
}

bool file_exists(const std::string& path) {
  std::error_code ignored;
  return fs::symlink_status(path, ignored).type() != fs::file_type::not_found;
}

RunResult run(const std::string& inputs, const std::string& output, const std::string& control) {
  RunResult r{0xFFFFFFFFu, 0xFFFFFFFFu};
  s_2mains(inputs.data(), static_cast<uint32_t>(inputs.size()), output.data(),
           static_cast<uint32_t>(output.size()), control.data(),
           static_cast<uint32_t>(control.size()), &r.records, &r.status);
  return r;
}

std::string lines(const std::vector<std::string>& records) {
  std::string out;
  for (const auto& r : records) out += r + "\n";
  return out;
}

std::string u16le(uint32_t v) { return {char(v & 0xFF), char((v >> 8) & 0xFF)}; }
std::string u16be(uint32_t v) { return {char((v >> 8) & 0xFF), char(v & 0xFF)}; }
std::string u32le(uint32_t v) { return u16le(v & 0xFFFF) + u16le(v >> 16); }

std::string concat(const std::vector<std::string>& parts) {
  std::string out;
  for (const auto& p : parts) out += p;
  return out;
}

std::vector<std::string> keyed_lines(int n, unsigned seed) {
  std::mt19937 gen(seed);
  std::vector<std::string> out;
  for (int i = 0; i < n; ++i) {
    const char k1 = char('A' + gen() % 5), k2 = char('a' + gen() % 4);
    out.push_back(std::string{k1, k2} + std::to_string(1000000 + i).substr(1) + "\n");
  }
  return out;
}

std::string sorted_by_prefix(std::vector<std::string> records, size_t key, bool descending) {
  std::stable_sort(records.begin(), records.end(), [&](const std::string& a, const std::string& b) {
    const int c = a.compare(0, key, b, 0, key);
    return descending ? c > 0 : c < 0;
  });
  return concat(records);
}

std::string db3_header(uint32_t length, uint32_t record_length, char fill, uint32_t count) {
  std::string h(length, fill);
  h.replace(0, 8, "\x03\x7D\x01\x02" + u32le(count));
  h.replace(8, 4, u16le(length) + u16le(record_length));
  h[length - 1] = 0x0D;
  return h;
}

std::vector<std::string> work_files(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (name.size() == 12 && name.compare(0, 2, "sw") == 0) out.push_back(name);
  }
  return out;
}

CoreSizes sizes_with_core(const std::string& core) {
  ScratchDir dir;
  write_file("probe.txt", "a\n");
  if (run("probe.txt", "probe.out", "SORT (1,1,CH,A) " + core).status != 0) return {};
  return {zara::gv.buffer_size, zara::gv.record_capacity};
}

void check_file_case(const FileCase& c) {
  SCOPED_TRACE(c.name + ": " + c.control);
  ScratchDir dir;
  for (const auto& [name, bytes] : c.files) write_file(name, bytes);
  const int fds = count_open_fds();
  PassCounter passes;
  const RunResult r = run(c.inputs, c.output, c.control);
  EXPECT_EQ(r.status, c.status);
  if (c.records >= 0) {
    EXPECT_EQ(r.records, static_cast<uint32_t>(c.records));
  }
  EXPECT_EQ(file_exists("out") ? std::optional(read_file("out")) : std::nullopt, c.out);
  EXPECT_EQ(count_open_fds(), fds);
  EXPECT_EQ(work_files().size(), c.work_files_left);
  EXPECT_TRUE(!c.spills || passes.most_work_files() > 1);
}

}  // namespace zara_test
