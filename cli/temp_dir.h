// A private temporary directory (under TMPDIR, else /tmp) for the tool's
// own engine runs; the files named through it and the directory are
// removed when it goes.
#pragma once

#include <string>
#include <vector>

namespace zara_cli {

class TempDir {
 public:
  TempDir() = default;
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Creates the directory on the first call; later calls do nothing.
  bool make(std::string* error);
  // The path of a file in the directory, removed with it.
  std::string file(const char* name);

 private:
  std::string dir_;
  std::vector<std::string> files_;
};

}  // namespace zara_cli
