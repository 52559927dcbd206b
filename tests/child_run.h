// Runs in a forked child (for resource limits, and for the operator prompt, which talks over standard input and
// output), and descriptor counts.
#pragma once

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "tests/test_support.h"

namespace zara_test {

inline int count_open_fds() { return int(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {})) - 1; }
inline bool fd_is_open(int fd) { return fcntl(fd, F_GETFD) != -1; }

// Lowers RLIMIT_NOFILE so that exactly `free_slots` descriptor numbers below it are unused.
inline bool limit_free_descriptors(int free_slots) {
  int free_seen = 0, limit = 0;
  for (; free_seen < free_slots && limit < 4096; ++limit) free_seen += !fd_is_open(limit);
  const rlimit rl{rlim_t(limit), rlim_t(limit)};
  return free_seen == free_slots && setrlimit(RLIMIT_NOFILE, &rl) == 0;
}

// Whether the child ran to its end, its run's result, and a figure it chose to report.
struct ChildResult { bool exited = false; RunResult run{0xFFFFFFFFu, 0xFFFFFFFFu}; uint32_t extra = 0; };

// Runs `body` in a forked child that reports its result and `extra`, with only `free_fds` free descriptor numbers
// unless 0; the child dies after `timeout_ms`. With `talk`, its standard input and output are pipes and
// talk(to_child, from_child) runs meanwhile.
inline ChildResult run_in_child(const std::function<RunResult(uint32_t* extra)>& body,
                                const std::function<void(int, int)>& talk = nullptr, int timeout_ms = 20000,
                                int free_fds = 0) {
  int in[2] = {-1, -1}, out[2] = {-1, -1}, wstatus = -1;
  void* shared = mmap(nullptr, sizeof(ChildResult), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (shared == MAP_FAILED || (talk && (pipe(in) != 0 || pipe(out) != 0))) return {};
  ChildResult* reported = new (shared) ChildResult{false, {0xDEAD, 0}, 0};
  fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    alarm(unsigned(timeout_ms + 999) / 1000);
    if (talk) dup2(in[0], 0), dup2(out[1], 1);
    for (int fd : {in[0], in[1], out[0], out[1]}) close(fd);
    if (free_fds == 0 || limit_free_descriptors(free_fds)) reported->run = body(&reported->extra);
    reported->exited = true;
    _exit(0);
  }
  for (int fd : {in[0], out[1]}) close(fd);
  if (talk && pid > 0) talk(in[1], out[0]);
  for (int fd : {in[1], out[0]}) close(fd);
  const ChildResult result = pid > 0 && waitpid(pid, &wstatus, 0) == pid && wstatus == 0 ? *reported : ChildResult{};
  munmap(shared, sizeof(ChildResult));
  return result;
}

}  // namespace zara_test
