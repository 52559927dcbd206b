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

// Sets the family name (gv.work_name, without suffix) to "sw", the last six
// digits of `stamp`, ".00".
void set_work_name(unsigned long stamp);
// True when any file of the current family exists: the probe (when
// `with_probe`), a run, the intermediate result or the header save file.
bool family_exists(bool with_probe);

// Creates, exclusively with permission bits 0600, the first file of the
// run's family (the header save file, or run 1 of a run without one) and
// returns its descriptor, or -1; gv.path_buffer holds its path.
//
// The work-file set-up removes its probe, so until this first file exists
// nothing marks the family as taken, and a run started meanwhile in the
// same directory may have chosen the same name. The probe name is taken
// again, exclusively, as a lock while the family is checked to hold no
// other file and the first file is created; a family in use is passed
// over for the next free name, as the set-up does.
int create_first_work_file(char suffix);

}  // namespace zara
