// Work-file names: work_dir + "sw" + six digits + ".00" + a suffix
// character. Run k has suffix kSuffixChars[k]; 'X' is the result of an
// intermediate merge before it takes its run's name; 'z' is the header save
// file; no suffix is the probe of the work-file set-up.
#pragma once

#include <cstdint>

namespace zara {

extern const char kSuffixChars[];  // "123456789ABCDEFGHIJKLMNOPQRSTU"
constexpr char kMergeSuffix = 'X';
constexpr char kHeaderSuffix = 'z';
constexpr char kNoSuffix = '\0';

// Builds the path of the work file with `suffix` into `out` (size
// kPathBufferSize). False when it does not fit.
bool build_work_path(char suffix, char* out);
// The same into gv.path_buffer.
bool work_path(char suffix);
// The suffix character of run k (0-based).
inline char run_suffix(uint32_t k) { return kSuffixChars[k]; }

}  // namespace zara
