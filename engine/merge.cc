#include "engine/merge.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "compare/compare.h"
#include "compare/key_prefix.h"
#include "engine/driver.h"
#include "engine/progress.h"
#include "engine/run_state.h"
#include "engine/work_files.h"
#include "engine/write_behind.h"
#include "records/byte_order.h"
#include "records/file_io.h"
#include "records/headers.h"
#include "records/output.h"
#include "zara15z37.h"

namespace zara {

namespace {

constexpr uint32_t kHeaderBytes = 8;  // length word and sequence number

// The descriptor of run r's current record.
RecordDesc current_of(uint32_t r) {
  const uint8_t* cur = gv.merge_current[r];
  RecordDesc d;
  d.addr = const_cast<uint8_t*>(cur + kHeaderBytes);
  d.len = le32(cur);
  d.seq = le32(cur + 4);
  d.flag = 1;
  return d;
}

// The abbreviated key of each run's current record (compare/key_prefix.h),
// taken when the record becomes current; set up at the start of a merge.
PrefixPlan merge_plan;
uint64_t current_prefix[kMaxFiles];

// Makes `record` (a work-file header, or null) the current record of run r.
void set_current(uint32_t r, uint8_t* record) {
  gv.merge_current[r] = record;
  // The run's next record is read when this one is taken: fetch its header
  // now (a prefetch past the buffer's end does no harm).
  if (record) __builtin_prefetch(record + kHeaderBytes + le32(record));
  if (record && merge_plan.kind != PrefixKind::kNone)
    current_prefix[r] = key_prefix(merge_plan, record + kHeaderBytes, le32(record));
}

int compare_runs(uint32_t a, uint32_t b) {
  if (merge_plan.kind != PrefixKind::kNone && current_prefix[a] != current_prefix[b])
    return current_prefix[a] < current_prefix[b] ? -1 : 1;
  const RecordDesc da = current_of(a);
  const RecordDesc db = current_of(b);
  return s_compp(&da, &db);
}

uint32_t head_position() { return gv.merge_first - 1; }

// The record at `at` lies whole within [at, end): its header and its bytes.
// Work files are ours, but their bytes are read back from disk and are not
// trusted to be what was written.
bool record_fits(const uint8_t* at, const uint8_t* end) {
  if (end - at < static_cast<ptrdiff_t>(kHeaderBytes)) return false;
  return uint64_t{le32(at)} + kHeaderBytes <= static_cast<uint64_t>(end - at);
}

bool open_runs() {
  for (uint32_t r = 0; r < gv.workfile_count; ++r) {
    if (!work_path(gv.suffix_chars[r])) return fail(kCannotOpenWorkFile);
    const int fd = open(gv.path_buffer, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail(kCannotOpenWorkFile);
    gv.merge_fd[r] = fd;
    gv.merge_fd_open[r] = 1;
  }
  return true;
}

bool m_init() {
  gv.records_written = 0;
  merge_plan = make_prefix_plan();
  if (!open_runs()) return false;
  bool has_target = true;
  if (gv.intermediate_merge) {
    gv.to_work_file = 1;
    if (work_path(kMergeSuffix)) {
      s_opencreate(Target::kWorkFile);
    } else {
      gv.out_fd = -1;
    }
  } else if (!cp[kCpRaat]) {
    if (cpnm[kOptPause]) s_pause();
    gv.to_work_file = 0;
    output_path();
    s_opencreate(Target::kOutput);
  } else {
    has_target = false;
  }
  if (has_target) {
    if (gv.out_fd < 0) return fail(kCannotCreateOutput);
    if (!gv.intermediate_merge && gv.has_header && !s_rephdr()) return false;
  }
  for (uint32_t r = 0; r < kMaxFiles; ++r) gv.merge_last[r] = 0;
  return true;
}

bool m_read(uint32_t r) {
  uint8_t* buffer = gv.buffers[r];
  gv.merge_current[r] = nullptr;
  const ssize_t got = read_fully(gv.merge_fd[r], buffer, gv.buffer_size);
  if (got < 0) return fail(kWorkReadError);
  gv.merge_bytes[r] = static_cast<uint32_t>(got);
  if (got == 0) return true;
  if (got >= 4 && uint64_t{le32(buffer)} > gv.buffer_size) return fail(kWorkRecordTooLong);
  if (!record_fits(buffer, buffer + got)) {
    if (static_cast<uint32_t>(got) == gv.buffer_size) return fail(kWorkRecordTooLong);
    return fail(kWorkReadError);  // a work file cut off inside a record
  }
  if (static_cast<uint32_t>(got) < gv.buffer_size) gv.merge_last[r] = 1;
  set_current(r, buffer);
  return true;
}

// Selection sort of the runs into queue order; runs without a record (an
// empty work file, which the writer never makes) are left out.
void m_sort_que(uint32_t n) {
  const uint32_t h = head_position();
  uint32_t length = h;
  for (uint32_t i = 0; i < h; ++i) gv.merge_queue[i] = i;
  for (uint32_t r = h; r < n; ++r)
    if (gv.merge_current[r]) gv.merge_queue[length++] = r;
  gv.merge_queue_length = length;
  for (uint32_t i = h; i + 1 < length; ++i) {
    uint32_t candidate = i;
    for (uint32_t j = i + 1; j < length; ++j)
      if (compare_runs(gv.merge_queue[candidate], gv.merge_queue[j]) >= 0) candidate = j;
    const uint32_t t = gv.merge_queue[i];
    gv.merge_queue[i] = gv.merge_queue[candidate];
    gv.merge_queue[candidate] = t;
  }
}

// The head has a new current record: move it to its place.
void m_que_insert() {
  const int32_t h = static_cast<int32_t>(head_position());
  const uint32_t head_run = gv.merge_queue[h];
  int32_t low = h + 1;
  int32_t high = static_cast<int32_t>(gv.merge_queue_length) - 1;
  while (low <= high) {
    const int32_t mid = (low + high) / 2;
    const int c = compare_runs(head_run, gv.merge_queue[mid]);
    if (c < 0 || (c == 0 && head_run < gv.merge_queue[mid])) {
      high = mid - 1;
    } else {
      low = mid + 1;
    }
  }
  for (int32_t i = h; i < low - 1; ++i) gv.merge_queue[i] = gv.merge_queue[i + 1];
  gv.merge_queue[low - 1] = head_run;
}

// Advances run r (the head) to its next record.
bool m_setptr(uint32_t r) {
  uint8_t* const buffer = gv.buffers[r];
  const uint8_t* cur = gv.merge_current[r];
  uint8_t* next = const_cast<uint8_t*>(cur) + kHeaderBytes + le32(cur);
  if (gv.merge_last[r]) {
    const uint8_t* end = buffer + gv.merge_bytes[r];
    if (next >= end) {
      gv.merge_current[r] = nullptr;
      m_que_reduce();
      return true;
    }
    if (!record_fits(next, end)) return fail(kWorkReadError);
    set_current(r, next);
    m_que_insert();
    return true;
  }
  if (gv.merge_bytes[r] < gv.buffer_size) return fail(kWorkShortBuffer);
  const uint32_t remaining = static_cast<uint32_t>(buffer + gv.buffer_size - next);
  // The 4 bytes after the record must also be in the buffer: they hold the
  // length word of the record after it.
  if (remaining >= kHeaderBytes + 4 && uint64_t{le32(next)} + kHeaderBytes + 4 <= remaining) {
    set_current(r, next);
    m_que_insert();
    return true;
  }
  // The output written behind comes first: the run's own file calls wait.
  // Records of this run still to be copied into the output buffer are
  // copied now, before the refill replaces them.
  if (!write_settle()) return false;
  gather_now(buffer, gv.buffer_size);
  if (lseek(gv.merge_fd[r], -static_cast<off_t>(remaining), SEEK_CUR) < 0)
    return fail(kRepositionError);
  if (!m_read(r)) return false;
  if (gv.merge_current[r] == nullptr) {
    m_que_reduce();
  } else {
    m_que_insert();
  }
  return true;
}

bool close_runs_and_remove() {
  for (uint32_t r = 0; r < gv.workfile_count; ++r) {
    if (gv.merge_fd_open[r]) {
      gv.merge_fd_open[r] = 0;
      if (close(gv.merge_fd[r]) != 0) return fail(kWorkCloseError);
    }
    if (r + 1 >= gv.merge_first) {
      if (!work_path(gv.suffix_chars[r]) || unlink(gv.path_buffer) != 0)
        return fail(kWorkRemoveError);
    }
  }
  return true;
}

// The intermediate result takes the name of run merge_first - 1.
bool rename_intermediate() {
  char merged[kPathBufferSize];
  char run[kPathBufferSize];
  if (!build_work_path(kMergeSuffix, merged) ||
      !build_work_path(gv.suffix_chars[head_position()], run))
    return fail(kWorkRenameError);
  if (link(merged, run) != 0 || unlink(merged) != 0) return fail(kWorkRenameError);
  return true;
}

bool m_term(bool has_target) {
  if (has_target) {
    if (!gv.intermediate_merge && (!s_addeof() || !s_updhdr())) return false;
    if (!close_target()) return fail(kMergeCloseError);
  }
  if (!close_runs_and_remove()) return false;
  if (gv.intermediate_merge && !rename_intermediate()) return false;
  return true;
}

bool fill_and_queue() {
  for (uint32_t r = head_position(); r < gv.workfile_count; ++r)
    if (!m_read(r)) return false;
  m_sort_que(gv.workfile_count);
  return true;
}

// A whole merge; its writes may still be in flight when it fails.
bool merge_all() {
  if (!m_init() || !fill_and_queue()) return false;
  const uint32_t h = head_position();
  while (gv.merge_queue_length > h) {
    const uint32_t r = gv.merge_queue[h];
    gv.merge_record = current_of(r);
    if (!s_movrec(gv.merge_record)) return false;
    if (!m_setptr(r)) return false;
  }
  // Unlike a plain write, a failed flush of the held record keeps the work
  // files: the run has failed and they must stay.
  if (!flush_duplicates()) return false;
  if (!s_wbuf() || !write_settle()) return false;
  return m_term(true);
}

}  // namespace

// As a write step, the merge returns with every write settled.
bool s_merge() {
  progress_merge_started();
  const bool ok = merge_all();
  if (!write_settle() || !ok) return false;
  progress_merge_finished();
  return true;
}

bool s_merge1(RecordDesc* record) {
  gv.to_work_file = 0;
  if (!gv.merge_started) {
    gv.merge_started = 1;
    if (!m_init() || !fill_and_queue()) return false;
  } else if (!m_setptr(gv.last_buf_moved_from)) {
    return false;
  }
  const uint32_t h = head_position();
  if (gv.merge_queue_length <= h) {
    gv.give_done = 1;
    gv.merge_first = 1;
    return m_term(false);
  }
  const uint32_t r = gv.merge_queue[h];
  *record = current_of(r);
  gv.last_buf_moved_from = r;
  return true;
}

void s_pause() {
  fputs("Ready to create output file\nchange diskettes and press return\n", stdout);
  fflush(stdout);
  getchar();
}

}  // namespace zara

extern "C" ZARA_API void m_que_reduce(void) {
  using zara::gv;
  const uint32_t h = gv.merge_first - 1;
  if (gv.merge_queue_length <= h) return;
  for (uint32_t i = h; i + 1 < gv.merge_queue_length; ++i) gv.merge_queue[i] = gv.merge_queue[i + 1];
  --gv.merge_queue_length;
}
