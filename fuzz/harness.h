// Shared ground of the fuzz cases: a private scratch directory, the files
// and descriptors a run leaves behind, and the small helpers the cases use.
//
// Every fuzz case (control_case.h, input_case.h, raat_case.h,
// cobol_case.h) is a function from fuzz input bytes to a finding: an empty
// string when the run behaved, otherwise one line saying what went wrong.
// The libFuzzer entry points abort on a finding (fuzz_main.h); the
// regression test replays saved inputs through the same functions and
// expects no finding.
//
// The process works inside one scratch directory (prepare_process), with
// standard input read from /dev/null so that PAUSE never waits. A case
// refuses control texts holding '/', '\\' or ':': no work directory can then
// be named (its path must end with one of them) and every file name in a
// control text stays inside the scratch directory.
//
// Everything here is header-only so that the fuzz programs and the
// GoogleTest replay compile the very same code.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "zara15z37.h"

namespace zara_fuzz {

using Bytes = std::string;

inline std::string& scratch_path() {
  static std::string path;
  return path;
}

inline void remove_tree(const std::string& path) {
  if (DIR* d = opendir(path.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      const std::string full = path + "/" + name;
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

inline void remove_scratch() {
  if (!scratch_path().empty()) remove_tree(scratch_path());
}

// Creates the scratch directory, makes it the working directory and points
// standard input at /dev/null. Idempotent. False when any step fails.
inline bool prepare_process() {
  if (!scratch_path().empty()) return true;
  const char* base = getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/zara-fuzz-XXXXXX";
  std::vector<char> buf(templ.begin(), templ.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) return false;
  if (chdir(buf.data()) != 0) return false;
  scratch_path() = buf.data();
  atexit(remove_scratch);
  const int null_fd = open("/dev/null", O_RDONLY);
  if (null_fd < 0) return false;
  const bool ok = dup2(null_fd, 0) == 0;
  close(null_fd);
  return ok;
}

inline bool write_file(const std::string& name, const Bytes& bytes) {
  const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  close(fd);
  return done == bytes.size();
}

// The file's bytes; false when it cannot be read.
inline bool read_file(const std::string& name, Bytes* out) {
  out->clear();
  const int fd = open(name.c_str(), O_RDONLY);
  if (fd < 0) return false;
  char chunk[8192];
  ssize_t n;
  while ((n = read(fd, chunk, sizeof chunk)) > 0) out->append(chunk, static_cast<size_t>(n));
  close(fd);
  return n == 0;
}

// Names in the working directory, sorted.
inline std::vector<std::string> directory_names() {
  std::vector<std::string> names;
  if (DIR* d = opendir(".")) {
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Descriptors the process holds now.
inline int open_descriptor_count() {
  int n = 0;
  DIR* d = opendir("/proc/self/fd");
  if (!d) return -1;
  while (dirent* e = readdir(d))
    if (e->d_name[0] != '.') ++n;
  closedir(d);
  return n - 1;  // the directory's own descriptor
}

// A name of the engine's work-file family: "sw", six digits, ".00" and at
// most one suffix character.
inline bool is_work_file_name(const std::string& name) {
  if (name.size() != 11 && name.size() != 12) return false;
  if (name.compare(0, 2, "sw") != 0 || name.compare(8, 3, ".00") != 0) return false;
  for (size_t i = 2; i < 8; ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return true;
}

// No byte that could lead a file name out of the scratch directory.
inline bool control_text_confined(const uint8_t* text, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (text[i] == '/' || text[i] == '\\' || text[i] == ':') return false;
  return true;
}

inline bool status_documented(uint32_t status) {
  return strcmp(zara_status_text(status), "unknown status") != 0;
}

inline std::string describe_status(uint32_t status) {
  return "status " + std::to_string(status) + " (" + zara_status_text(status) + ")";
}

// Takes the state of the directory and the descriptors before a run and
// compares after it. The harness's own files are `fixed` (they must stay
// byte for byte as written) and `outputs` (they may appear or change).
class RunWatch {
 public:
  RunWatch(const std::map<std::string, Bytes>* fixed, std::vector<std::string> outputs)
      : fixed_(fixed), outputs_(std::move(outputs)), descriptors_(open_descriptor_count()) {}

  // Checks after a run. `succeeded`: work files must be gone; otherwise
  // they are removed here. Any other unknown file is a finding either way
  // (and is removed, so that it does not poison later runs).
  std::string finish(bool succeeded) const {
    std::string finding;
    const int now = open_descriptor_count();
    if (now != descriptors_)
      finding = "descriptor count " + std::to_string(descriptors_) + " before the run, " +
                std::to_string(now) + " after it";
    for (const std::string& name : directory_names()) {
      if (fixed_->count(name) ||
          std::find(outputs_.begin(), outputs_.end(), name) != outputs_.end())
        continue;
      const bool work = is_work_file_name(name);
      if (!(work && !succeeded) && finding.empty())
        finding = (work ? "work file left after a successful run: " : "stray file: ") + name;
      unlink(name.c_str());
    }
    for (const auto& [name, bytes] : *fixed_) {
      Bytes now_bytes;
      if ((!read_file(name, &now_bytes) || now_bytes != bytes) && finding.empty())
        finding = "input file changed by the run: " + name;
    }
    return finding;
  }

 private:
  const std::map<std::string, Bytes>* fixed_;
  std::vector<std::string> outputs_;
  int descriptors_;
};

// Lowers the soft descriptor limit so that only `free_slots` descriptor
// numbers stay free, and restores it when destroyed. The engine's probe
// then finds a small file limit, which brings intermediate merges within
// reach of small inputs.
class DescriptorBudget {
 public:
  // free_slots 0: no change.
  explicit DescriptorBudget(int free_slots) {
    if (free_slots <= 0 || getrlimit(RLIMIT_NOFILE, &saved_) != 0) return;
    int free_seen = 0;
    int limit = 0;
    while (free_seen < free_slots && limit < 4096) {
      if (fcntl(limit, F_GETFD) == -1) ++free_seen;
      ++limit;
    }
    rlimit lowered = saved_;
    lowered.rlim_cur = static_cast<rlim_t>(limit);
    active_ = free_seen == free_slots && setrlimit(RLIMIT_NOFILE, &lowered) == 0;
  }
  ~DescriptorBudget() {
    if (active_) setrlimit(RLIMIT_NOFILE, &saved_);
  }
  DescriptorBudget(const DescriptorBudget&) = delete;
  DescriptorBudget& operator=(const DescriptorBudget&) = delete;

 private:
  rlimit saved_{};
  bool active_ = false;
};

// Reads the fuzz input front to back; past its end every read gives 0.
class InputReader {
 public:
  InputReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return pos_ >= size_; }
  size_t left() const { return pos_ < size_ ? size_ - pos_ : 0; }
  uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint32_t u16() {
    const uint32_t lo = byte();
    return lo | (uint32_t{byte()} << 8);
  }
  // Up to n bytes (fewer when the input ends).
  Bytes take(size_t n) {
    const size_t k = std::min(n, left());
    Bytes out(reinterpret_cast<const char*>(data_ + pos_), k);
    pos_ += k;
    return out;
  }
  Bytes rest() { return take(left()); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace zara_fuzz
