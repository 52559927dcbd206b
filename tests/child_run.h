// Helpers of the file and merge tests: descriptor counts, whole runs in a
// forked child (for resource limits and for the operator prompt, which
// talks over standard input and output), and merge-pass counts from the
// progress callback.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "tests/test_support.h"
#include "zara15z37.h"

namespace zara_test {

// Descriptors the process holds now.
inline int count_open_fds() {
  int n = 0;
  DIR* d = opendir("/proc/self/fd");
  if (!d) return -1;
  while (dirent* e = readdir(d))
    if (e->d_name[0] != '.') ++n;
  closedir(d);
  return n - 1;  // the directory's own descriptor
}

// True when descriptor number fd is open.
inline bool fd_is_open(int fd) { return fcntl(fd, F_GETFD) != -1; }

// Lowers RLIMIT_NOFILE so that exactly `free_slots` descriptor numbers
// below the limit are unused. False when that cannot be arranged.
inline bool limit_free_descriptors(int free_slots) {
  int free_seen = 0;
  int limit = 0;
  while (free_seen < free_slots && limit < 4096) {
    if (!fd_is_open(limit)) ++free_seen;
    ++limit;
  }
  if (free_seen != free_slots) return false;
  const rlimit rl{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
  return setrlimit(RLIMIT_NOFILE, &rl) == 0;
}

struct ChildResult {
  bool exited = false;  // the child ran to its end and reported
  RunResult run{0xFFFFFFFFu, 0xFFFFFFFFu};
  uint32_t extra = 0;  // a figure the child chose to report
};

// Runs `body` in a forked child; body returns the run's result and may set
// `extra`. The child's standard input and output are left alone unless
// `talk` is given: then they are pipes, and `talk(to_child, from_child)`
// runs in the parent while the child works. The child is killed after
// `timeout_ms` of silence on its result pipe.
inline ChildResult run_in_child(const std::function<RunResult(uint32_t* extra)>& body,
                                const std::function<void(int, int)>& talk = nullptr,
                                int timeout_ms = 20000) {
  ChildResult result;
  int report[2], in[2] = {-1, -1}, out[2] = {-1, -1};
  if (pipe(report) != 0) return result;
  if (talk && (pipe(in) != 0 || pipe(out) != 0)) return result;
  fflush(stdout);
  fflush(stderr);
  const pid_t pid = fork();
  if (pid < 0) return result;
  if (pid == 0) {
    close(report[0]);
    if (talk) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      close(in[0]);
      close(in[1]);
      close(out[0]);
      close(out[1]);
    }
    uint32_t words[3] = {0, 0, 0};
    const RunResult r = body(&words[2]);
    words[0] = r.status;
    words[1] = r.records;
    const bool sent = write(report[1], words, sizeof words) == sizeof words;
    _exit(sent ? 0 : 1);
  }
  close(report[1]);
  if (talk) {
    close(in[0]);
    close(out[1]);
    talk(in[1], out[0]);
    close(in[1]);
    close(out[0]);
  }
  pollfd p{report[0], POLLIN, 0};
  uint32_t words[3];
  if (poll(&p, 1, timeout_ms) == 1 && read(report[0], words, sizeof words) == sizeof words) {
    result.exited = true;
    result.run = RunResult{words[0], words[1]};
    result.extra = words[2];
  } else {
    kill(pid, SIGKILL);
  }
  close(report[0]);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  if (!WIFEXITED(wstatus) || WEXITSTATUS(wstatus) != 0) result.exited = false;
  return result;
}

// Reads from fd until `want` bytes arrived, the pipe closed, or `timeout_ms`
// passed without a byte.
inline std::string read_some(int fd, size_t want, int timeout_ms = 10000) {
  std::string got;
  char buf[256];
  while (got.size() < want) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) != 1) break;
    const ssize_t n = read(fd, buf, want - got.size() < sizeof buf ? want - got.size() : sizeof buf);
    if (n <= 0) break;
    got.append(buf, static_cast<size_t>(n));
  }
  return got;
}

// Counts memory loads and finished merge passes of the next runs while it
// lives.
class PassCounter {
 public:
  PassCounter() { zara_set_progress(&PassCounter::note, this); }
  ~PassCounter() { zara_set_progress(nullptr, nullptr); }
  PassCounter(const PassCounter&) = delete;
  PassCounter& operator=(const PassCounter&) = delete;
  uint32_t loads() const { return last_.memory_loads; }
  uint32_t merges() const { return last_.merge_passes; }
  uint32_t most_work_files() const { return most_work_files_; }

 private:
  static void note(const zara_progress* p, void* self) {
    auto* me = static_cast<PassCounter*>(self);
    me->last_ = *p;
    if (p->work_files > me->most_work_files_) me->most_work_files_ = p->work_files;
  }
  zara_progress last_{};
  uint32_t most_work_files_ = 0;
};

}  // namespace zara_test
