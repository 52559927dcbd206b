#include "cli/temp_dir.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace zara_cli {

TempDir::~TempDir() {
  for (const std::string& f : files_) unlink(f.c_str());
  if (!dir_.empty()) rmdir(dir_.c_str());
}

bool TempDir::make(std::string* error) {
  if (!dir_.empty()) return true;
  const char* tmp = getenv("TMPDIR");
  std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/zara-sort-XXXXXX";
  std::vector<char> name(templ.begin(), templ.end());
  name.push_back('\0');
  if (!mkdtemp(name.data())) {
    *error = templ + ": " + strerror(errno);
    return false;
  }
  dir_ = name.data();
  return true;
}

std::string TempDir::file(const char* name) {
  files_.push_back(dir_ + "/" + name);
  return files_.back();
}

}  // namespace zara_cli
