#include "engine/driver.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "control/dispatcher.h"
#include "engine/arena.h"
#include "engine/merge.h"
#include "engine/progress.h"
#include "engine/run_state.h"
#include "engine/sort.h"
#include "engine/work_files.h"
#include "engine/write_behind.h"
#include "records/headers.h"
#include "records/input.h"
#include "records/output.h"
#include "select/conditions.h"

namespace zara {

namespace {

// Delimiters that end the output name: [ ] , blank + tab LF.
constexpr char kOutputNameDelims[] = "[], +\t\n";
// Probe names tried before giving up on a clash with other runs.
constexpr int kNameAttempts = 1000;

void trim_output_name() {
  Scanner names;
  names.reset(gv.output_name, gv.output_name ? gv.output_name_length : 0);
  if (s_gettok(names, kOutputNameDelims, gv.quote_char)) {
    gv.output_name = names.tok_start;
    gv.output_name_length = names.tok_len;
  } else {
    gv.output_name_length = 0;
  }
}

// Closes the probe descriptors held, the last opened first.
bool close_probes(int* fds, int held) {
  bool ok = true;
  while (held > 0)
    if (close(fds[--held]) != 0) ok = false;
  return ok;
}

}  // namespace

void s_init() {
  // A record-at-a-time run closed by a failure keeps its memory and open
  // descriptors until the next run starts; they are released here so that
  // nothing leaks into the caller's process.
  close_run_descriptors();
  arena_free();
  RunState fresh;
  fresh.control_text = gv.control_text;
  fresh.control_length = gv.control_length;
  fresh.input_names_length = gv.input_names_length;
  fresh.input_names = gv.input_names;
  fresh.output_name_length = gv.output_name_length;
  fresh.output_name = gv.output_name;
  fresh.caller_record = gv.caller_record;
  fresh.caller_record_length = gv.caller_record_length;
  gv = fresh;
  memset(cp, 0, sizeof cp);
  memset(cpnm, 0, sizeof cpnm);
  ip = {};
  op = {};
  sp.count = 0;
  su.count = 0;
  du.count = 0;
  cp[kCpFileType + kTxt] = 1;
  trim_output_name();
}

bool s_init2() {
  unsigned long stamp = static_cast<unsigned long>(time(nullptr));
  int probe = -1;
  for (int attempt = 0;; ++attempt) {
    if (attempt == kNameAttempts) return fail(kProbeCreateError);
    set_work_name(stamp);
    // A name in use (a live run, or files left by a failed one) is passed
    // over by taking the next number rather than waiting for the clock.
    stamp = (stamp + 1) % 1000000ul;
    if (!work_path(kNoSuffix)) return fail(kProbeCreateError);
    // Files a failed run left behind must never collide with this run's.
    if (family_exists(true)) continue;
    probe = open(gv.path_buffer, O_RDWR | O_CREAT | O_EXCL | O_TRUNC | O_CLOEXEC, 0600);
    if (probe >= 0) break;
    if (errno != EEXIST) return fail(kProbeCreateError);
  }
  int fds[kMaxFiles];
  fds[0] = probe;
  int held = 1;
  while (held < kMaxFiles) {
    const int fd = open(gv.path_buffer, O_RDONLY | O_CLOEXEC);
    if (fd < 0) break;
    fds[held++] = fd;
  }
  gv.file_limit = static_cast<uint32_t>(held);
  const bool closed = close_probes(fds, held);
  const bool removed = unlink(gv.path_buffer) == 0;
  if (held < 4) return fail(kTooFewFiles);
  if (!closed) return fail(kProbeCloseError);
  if (!removed) return fail(kProbeRemoveError);
  memcpy(gv.suffix_chars, kSuffixChars, sizeof gv.suffix_chars);
  return true;
}

bool output_path() {
  const uint32_t n = gv.output_name_length;
  // A name that cannot name a file leaves an empty path: the output then
  // cannot be created (210).
  if (n == 0 || !name_to_path(gv.output_name, n, gv.path_buffer)) {
    gv.path_buffer[0] = '\0';
    return false;
  }
  return true;
}

bool set_outfile_name() {
  if (cp[kCpSort]) {
    gv.create_before_write = 1;
    gv.close_after_write = 1;
    if (!(gv.input_done && gv.workfile_count == 0)) {
      if (gv.record_count == 0) return false;
      work_path(gv.suffix_chars[gv.workfile_count]);
      ++gv.workfile_count;
      gv.to_work_file = 1;
      return true;
    }
  } else {
    if (!gv.out_open) gv.create_before_write = 1;
    if (gv.input_done) gv.close_after_write = 1;
  }
  if (cpnm[kOptPause]) s_pause();
  gv.to_work_file = 0;
  output_path();
  if (gv.has_header) gv.header_pending = 1;
  return true;
}

void close_run_descriptors() {
  if (gv.input_open) close(gv.input_fd);
  gv.input_open = 0;
  gv.input_fd = 0;
  if (gv.out_open) close(gv.out_fd);
  gv.out_open = 0;
  gv.out_fd = 0;
  if (gv.header_open) close(gv.header_fd);
  gv.header_open = 0;
  gv.header_fd = 0;
  for (int k = 0; k < kMaxFiles; ++k) {
    if (gv.merge_fd_open[k]) close(gv.merge_fd[k]);
    gv.merge_fd_open[k] = 0;
  }
}

bool s_term() {
  arena_free();
  if (gv.status_word != kOk) return false;
  if (gv.has_header && work_path(kHeaderSuffix) && unlink(gv.path_buffer) != 0)
    return fail(kHeaderFileRemoveError);
  return true;
}

namespace {

// The turns of memory loads. False at the first failure.
bool process_loads() {
  for (;;) {
    if (!s_read()) return false;
    progress_load_read();
    if (cp[kCpInclude] || cp[kCpOmit]) s_select();
    if (cp[kCpSort]) s_sort();
    // The operator prompt waits for the load written before.
    if (cpnm[kOptPause] && !write_settle()) return false;
    if (set_outfile_name()) {
      if (!s_write()) return false;
      if (gv.workfile_count >= gv.file_limit - 2 && !gv.input_done) {
        if (!s_interm()) return false;
        continue;
      }
    }
    if (gv.input_done) return true;
  }
}

// The phases from the arena on; the end of run always follows.
bool run_allocated_phases() {
  if (!s_chkhdr()) return false;
  if (gv.has_header && !s_gethdr()) return false;
  progress_run_started();
  if (!process_loads()) return false;
  if (gv.workfile_count != 0) {
    gv.merge_first = 1;
    if (!s_merge()) return false;
  }
  return true;
}

}  // namespace

void mainline() {
  s_init();
  if (!s_ctrl()) return;
  if (!s_init2()) return;
  if (!s_chknam()) return;
  if (!s_alloc()) return;
  bool ok = run_allocated_phases();
  // A copy run's last write may still be in flight, or may have failed
  // before a failure the run met later.
  if (!write_settle()) ok = false;
  if (!ok || gv.status_word != kOk) close_run_descriptors();
  s_term();
  progress_run_finished();
}

}  // namespace zara
