#include "engine/work_files.h"

#include <cstring>

#include "engine/run_state.h"

namespace zara {

const char kSuffixChars[] = "123456789ABCDEFGHIJKLMNOPQRSTU";
static_assert(sizeof(kSuffixChars) - 1 == kMaxFiles, "one suffix per work file");

bool build_work_path(char suffix, char* out) {
  const size_t dir_len = strnlen(gv.work_dir, kWorkDirSize);
  const size_t name_len = strnlen(gv.work_name, sizeof gv.work_name);
  // work_name holds the base name; its 12th byte is the suffix position.
  const size_t base_len = name_len < 11 ? name_len : 11;
  const size_t total = dir_len + base_len + (suffix ? 1 : 0);
  if (total + 1 > kPathBufferSize) return false;
  memcpy(out, gv.work_dir, dir_len);
  memcpy(out + dir_len, gv.work_name, base_len);
  size_t n = dir_len + base_len;
  if (suffix) out[n++] = suffix;
  out[n] = '\0';
  return true;
}

bool work_path(char suffix) { return build_work_path(suffix, gv.path_buffer); }

}  // namespace zara
