#include "tests/test_support.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "zara15z37.h"

namespace zara_test {

namespace {
void remove_tree(const std::string& path) {
  DIR* d = opendir(path.c_str());
  if (d) {
    while (dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      std::string full = path + "/" + name;
      struct stat st;
      if (lstat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        remove_tree(full);
      else
        unlink(full.c_str());
    }
    closedir(d);
  }
  rmdir(path.c_str());
}
}  // namespace

ScratchDir::ScratchDir() {
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd)) previous_cwd_ = cwd;
  const char* base = getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/zara-test-XXXXXX";
  std::vector<char> buf(templ.begin(), templ.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
  path_ = buf.data();
  if (chdir(path_.c_str()) != 0) throw std::runtime_error("chdir failed");
}

ScratchDir::~ScratchDir() {
  if (!previous_cwd_.empty() && chdir(previous_cwd_.c_str()) != 0) {
  }
  remove_tree(path_);
}

std::vector<std::string> ScratchDir::files() const {
  std::vector<std::string> out;
  if (DIR* d = opendir(path_.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name != "." && name != "..") out.push_back(name);
    }
    closedir(d);
  }
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
  if (!f) return std::string();
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

bool file_exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
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

}  // namespace zara_test
