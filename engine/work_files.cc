#include "engine/work_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "engine/run_state.h"

namespace zara {

namespace {

// Family names tried before giving up on clashes with other runs.
constexpr int kNameAttempts = 1000;

bool path_exists(const char* path) {
  struct stat st;
  return lstat(path, &st) == 0;
}

// Moves to the next family name that no file uses.
void take_next_family() {
  unsigned long stamp = strtoul(gv.work_name + 2, nullptr, 10);
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    stamp = (stamp + 1) % 1000000ul;
    set_work_name(stamp);
    if (!family_exists(true)) return;
  }
}

int create_exclusive(const char* path) {
  return open(path, O_RDWR | O_CREAT | O_EXCL | O_TRUNC | O_CLOEXEC, 0600);
}

}  // namespace

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

void set_work_name(unsigned long stamp) {
  char digits[32];
  snprintf(digits, sizeof digits, "%.6lu", stamp);
  const size_t n = strlen(digits);
  snprintf(gv.work_name, sizeof gv.work_name, "sw%s.00", digits + (n - 6));
}

bool family_exists(bool with_probe) {
  char path[kPathBufferSize];
  if (with_probe && build_work_path(kNoSuffix, path) && path_exists(path)) return true;
  for (int k = 0; k < kMaxFiles; ++k)
    if (build_work_path(kSuffixChars[k], path) && path_exists(path)) return true;
  for (char c : {kMergeSuffix, kHeaderSuffix})
    if (build_work_path(c, path) && path_exists(path)) return true;
  return false;
}

int create_first_work_file(char suffix) {
  char lock[kPathBufferSize];
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    if (!build_work_path(kNoSuffix, lock) || !work_path(suffix)) return -1;
    const int held = create_exclusive(lock);
    if (held < 0 && errno != EEXIST) return -1;
    if (held >= 0) {
      close(held);  // an empty lock: only its name counts
      if (!family_exists(false)) {
        const int fd = create_exclusive(gv.path_buffer);
        const int saved = errno;
        if (unlink(lock) != 0) {
          if (fd >= 0) close(fd);
          return -1;
        }
        errno = saved;
        return fd;
      }
      unlink(lock);
    }
    take_next_family();
  }
  errno = EEXIST;
  return -1;
}

}  // namespace zara
