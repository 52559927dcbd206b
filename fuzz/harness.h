// Shared ground of the four fuzz programs and their replay test. A program works in a private scratch
// directory, standard input and output on /dev/null (PAUSE never waits). Control texts holding '/', '\\'
// or ':' are not run: a work directory's path ends in one of them, so every file a run names stays in
// the scratch directory. ZARA_FUZZ_CASE makes the entry points (none under ZARA_FUZZ_REPLAY).
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "zara15z37.h"

namespace zara_fuzz {

using Bytes = std::string;
using Files = std::map<std::string, Bytes>;
namespace fs = std::filesystem;

inline bool write_files(const Files& files) {
  return std::all_of(files.begin(), files.end(), [](auto& f) { return !!(std::ofstream(f.first, std::ios::binary) << f.second); });
}
inline bool read_file(const std::string& name, Bytes* out) {
  std::ifstream f(name, std::ios::binary);
  out->assign(std::istreambuf_iterator<char>(f), {});
  return f.is_open();
}
inline Bytes altseq_file() {  // ALTSEQ weights reversing the byte order
  Bytes file("\xAC\0\0\0\0\0\0\0\0", 9);
  for (int b = 255; b >= 0; --b) file += static_cast<char>(b);
  return file;
}
inline size_t descriptors() { return std::distance(fs::directory_iterator("/proc/self/fd"), {}); }
inline bool confined(const Bytes& text) { return text.find_first_of("/\\:") == Bytes::npos; }
inline std::string status_finding(uint32_t status) {
  return strcmp(zara_status_text(status), "unknown status") ? "" : "undocumented status " + std::to_string(status);
}

// After a run: the descriptor count `fds` again, the `fixed` files unchanged, no file but "out" left after
// a successful run, only work files ("sw...") after a failed one. Removes every file but the fixed ones.
inline std::string leftovers(size_t fds, const Files& fixed, bool succeeded) {
  std::string finding = descriptors() != fds ? "descriptor count changed" : "";
  Bytes now;
  for (const auto& entry : fs::directory_iterator(".")) {
    const std::string name = entry.path().filename();
    if (fixed.count(name) && (!read_file(name, &now) || now != fixed.at(name))) finding = "input changed: " + name;
    if (!fixed.count(name) && name != "out" && (succeeded || name.compare(0, 2, "sw"))) finding = "left: " + name;
    if (!fixed.count(name)) unlink(name.c_str());
  }
  return finding;
}

// Runs `f`, when `small` with only 6 descriptor numbers free below the soft limit: the engine then
// probes a file limit of 6 and merges every 4 runs.
template <class F>
void with_file_limit(bool small, F f) {
  rlimit saved{}, lowered{};
  small = small && getrlimit(RLIMIT_NOFILE, &saved) == 0;
  for (int free_seen = 0; small && free_seen < 6; ++lowered.rlim_cur)
    free_seen += fcntl(static_cast<int>(lowered.rlim_cur), F_GETFD) == -1;
  lowered.rlim_max = saved.rlim_max;
  small = small && setrlimit(RLIMIT_NOFILE, &lowered) == 0;
  f();
  if (small) setrlimit(RLIMIT_NOFILE, &saved);
}

// One s_2mains run of `control` over `inputs` into "out", under a file limit of 6 when `small`, with the
// findings common to whole runs: an undocumented status, an error offset past the text, a successful
// run without output or with more records than input `bytes`, and leftovers (`fixed`: the inputs).
struct Whole { uint32_t status = ~0u, records = ~0u; Bytes out; std::string finding; };
inline Whole run_whole(const Bytes& inputs, const Bytes& control, const Files& fixed, size_t bytes, bool small) {
  Whole w;
  const size_t fds = descriptors();
  with_file_limit(small, [&] {
    s_2mains(inputs.data(), static_cast<uint32_t>(inputs.size()), "out", 3, control.data(),
             static_cast<uint32_t>(control.size()), &w.records, &w.status);
  });
  w.finding = status_finding(w.status);
  if (const uint32_t at = zara_error_offset(); at != ~0u && at > control.size()) w.finding = "error offset past the text";
  if (w.status == 0 && (!read_file("out", &w.out) || w.records > bytes)) w.finding = "no output, or too many records";
  const std::string left = leftovers(fds, fixed, w.status == 0);
  if (w.finding.empty()) w.finding = left;
  return w;
}

// The fuzz input read front to back; past its end every byte reads 0.
struct Input {
  const uint8_t* data;
  size_t size, pos = 0;
  bool empty() const { return pos >= size; }
  uint8_t byte() { return pos < size ? data[pos++] : 0; }
  uint32_t u16() { const uint32_t low = byte(); return low | uint32_t{byte()} << 8; }
  Bytes take(size_t n) {  // up to n bytes
    n = std::min(n, size - std::min(pos, size));
    return pos += n, Bytes(reinterpret_cast<const char*>(data) + pos - n, n);
  }
};

inline void start_process() {  // a scratch directory, removed at exit
  static std::string dir = std::string(getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") + "/zara-fuzz-XXXXXX";
  atexit([] { std::error_code ignored; fs::remove_all(dir, ignored); });
  if (!mkdtemp(dir.data()) || chdir(dir.c_str()) || !freopen("/dev/null", "r", stdin) || !freopen("/dev/null", "w", stdout))
    abort();
}
inline int report(const std::string& finding) {
  if (!finding.empty()) fprintf(stderr, "==FINDING== %s\n", finding.c_str()), abort();
  return 0;
}

}  // namespace zara_fuzz

#ifndef ZARA_FUZZ_REPLAY
#define ZARA_FUZZ_CASE(run)                                                                                   \
  extern "C" int LLVMFuzzerInitialize(int*, char***) { return zara_fuzz::start_process(), 0; }              \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return zara_fuzz::report(run(data, size)); }
#else
#define ZARA_FUZZ_CASE(run)
#endif
