#include "tests/test_support.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <stdexcept>

namespace zara_test {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() : path_(fs::temp_directory_path() / "zara-test-XXXXXX"), previous_cwd_(fs::current_path()) {
  if (!mkdtemp(path_.data()) || chdir(path_.c_str()) != 0) throw std::runtime_error("no scratch directory " + path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::current_path(previous_cwd_, ignored);
  fs::remove_all(path_, ignored);  // links are removed, never followed
}

static std::vector<std::string> names(const std::string& dir, bool work_files_only) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename());
  if (work_files_only) std::erase_if(out, [](const std::string& n) { return n.size() != 12 || !n.starts_with("sw"); });
  std::sort(out.begin(), out.end());
  return out;
}
std::vector<std::string> ScratchDir::files() const { return names(path_, false); }
std::vector<std::string> work_files(const std::string& dir) { return names(dir, true); }

void write_file(const std::string& path, const std::string& bytes) {
  if (!(std::ofstream(path, std::ios::binary) << bytes)) throw std::runtime_error("cannot write " + path);
}

RunResult run(const std::string& inputs, const std::string& output, const std::string& control) {
  RunResult r{0xFFFFFFFFu, 0xFFFFFFFFu};
  s_2mains(inputs.data(), uint32_t(inputs.size()), output.data(), uint32_t(output.size()), control.data(),
           uint32_t(control.size()), &r.records, &r.status);
  return r;
}

static std::string join(const std::vector<std::string>& parts, const std::string& end) {
  std::string out;
  for (const auto& p : parts) out += p + end;
  return out;
}
std::string lines(const std::vector<std::string>& records) { return join(records, "\n"); }
std::string concat(const std::vector<std::string>& parts) { return join(parts, ""); }

std::vector<std::string> keyed_lines(int n, unsigned seed) {
  std::mt19937 gen(seed);
  std::vector<std::string> out;
  for (int i = 0; i < n; ++i)  // the list's elements are evaluated in order
    out.push_back(std::string{char('A' + gen() % 5), char('a' + gen() % 4)} + std::to_string(1000000 + i).substr(1) + "\n");
  return out;
}

std::string sorted_by_prefix(std::vector<std::string> records, size_t key, bool descending) {
  std::stable_sort(records.begin(), records.end(),
                   [&](const auto& a, const auto& b) { return (descending ? -1 : 1) * a.compare(0, key, b, 0, key) < 0; });
  return concat(records);
}

bool under_emulation() {
  utsname u{};
  return sizeof(void*) == 4 && uname(&u) == 0 && std::string(u.machine) != "x86_64";
}

std::string db3_header(uint32_t length, uint32_t record_length, char fill, uint32_t count) {
  std::string h(length, fill);
  const uint32_t fields[] = {0x02017D03u, count, length | record_length << 16};  // little-endian words
  for (int i = 0; i < 12; ++i) h[i] = char(fields[i / 4] >> (8 * (i % 4)));
  h[length - 1] = 0x0D;
  return h;
}

}  // namespace zara_test
