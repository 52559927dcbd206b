// Helpers of the file and merge tests: descriptor counts, whole runs in a
// forked child (for resource limits and for the operator prompt, which
// talks over standard input and output), and pass counts from the progress
// callback.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "tests/test_support.h"
#include "zara15z37.h"

namespace zara_test {

// Descriptors the process holds now.
inline int count_open_fds() {
  int n = -1;  // the directory's own descriptor
  DIR* d = opendir("/proc/self/fd");
  if (!d) return -1;
  while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
  closedir(d);
  return n;
}

// True when descriptor number fd is open.
inline bool fd_is_open(int fd) { return fcntl(fd, F_GETFD) != -1; }

// Lowers RLIMIT_NOFILE so that exactly `free_slots` descriptor numbers
// below the limit are unused. False when that cannot be arranged.
inline bool limit_free_descriptors(int free_slots) {
  int free_seen = 0, limit = 0;
  for (; free_seen < free_slots && limit < 4096; ++limit) free_seen += !fd_is_open(limit);
  const rlimit rl{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
  return free_seen == free_slots && setrlimit(RLIMIT_NOFILE, &rl) == 0;
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
  if (pipe(report) != 0 || (talk && (pipe(in) != 0 || pipe(out) != 0))) return result;
  fflush(stdout);
  fflush(stderr);
  const pid_t pid = fork();
  if (pid < 0) return result;
  if (pid == 0) {
    close(report[0]);
    if (talk) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      for (int fd : {in[0], in[1], out[0], out[1]}) close(fd);
    }
    uint32_t words[3] = {0, 0, 0};
    const RunResult r = body(&words[2]);
    words[0] = r.status;
    words[1] = r.records;
    _exit(write(report[1], words, sizeof words) == sizeof words ? 0 : 1);
  }
  for (int fd : {report[1], in[0], out[1]}) close(fd);
  if (talk) talk(in[1], out[0]);
  for (int fd : {in[1], out[0]}) close(fd);
  pollfd p{report[0], POLLIN, 0};
  uint32_t words[3];
  if (poll(&p, 1, timeout_ms) == 1 && read(report[0], words, sizeof words) == sizeof words) {
    result = {true, RunResult{words[0], words[1]}, words[2]};
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
  for (pollfd p{fd, POLLIN, 0}; got.size() < want && poll(&p, 1, timeout_ms) == 1;) {
    const ssize_t n = read(fd, buf, std::min(want - got.size(), sizeof buf));
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
    me->most_work_files_ = std::max(me->most_work_files_, p->work_files);
  }
  zara_progress last_{};
  uint32_t most_work_files_ = 0;
};

}  // namespace zara_test
