// The libFuzzer side of a fuzz program: set-up before the first input, and
// a finding turned into a crash that libFuzzer records and minimises.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/harness.h"

namespace zara_fuzz {

// The scratch directory, standard input and output on /dev/null (PAUSE
// prompts and the adaptor's console lines would flood the log), then the
// case's own files. Aborts when any of it fails: fuzzing without the
// confinement is not safe.
inline int start_fuzzing(bool (*prepare_case)()) {
  const int null_fd = open("/dev/null", O_WRONLY);
  if (!prepare_process() || null_fd < 0 || dup2(null_fd, 1) != 1 || !prepare_case()) {
    fprintf(stderr, "fuzz set-up failed\n");
    abort();
  }
  close(null_fd);
  return 0;
}

inline int report(const std::string& finding) {
  if (finding.empty()) return 0;
  fprintf(stderr, "==FINDING== %s\n", finding.c_str());
  fflush(stderr);
  abort();
}

}  // namespace zara_fuzz
