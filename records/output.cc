#include "records/output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/work_files.h"
#include "engine/write_behind.h"
#include "records/byte_order.h"
#include "records/file_io.h"
#include "records/headers.h"
#include "records/mapped_input.h"
#include "records/outrec.h"
#include "zara15z37.h"

namespace zara {

namespace {

// With APPEND an existing output is written from its end; a TXT output
// loses its trailing 0x1A so that the new records start in its place.
bool position_for_append(int fd) {
  if (lseek(fd, 0, SEEK_END) < 0) return false;
  if (!cp[kCpFileType + kTxt]) return true;
  if (lseek(fd, -1, SEEK_END) < 0) return false;
  uint8_t last = 0;
  if (read(fd, &last, 1) != 1) return false;
  if (last == 0x1A && lseek(fd, -1, SEEK_END) < 0) return false;
  return true;
}

int open_output() {
  constexpr int kCreate = O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC;
  if (!cpnm[kOptAppend]) return open(gv.path_buffer, kCreate, 0644);
  const int fd = open(gv.path_buffer, O_RDWR | O_CLOEXEC);
  // Only a missing output is created: an existing one that cannot be
  // opened (an I/O error, no descriptor left) must not lose its records.
  if (fd < 0) return errno == ENOENT ? open(gv.path_buffer, kCreate, 0644) : -1;
  if (position_for_append(fd)) return fd;
  close(fd);
  return -1;
}

// The output buffer is written out once it holds this much, even when it
// is larger: the bytes are then still in the processor's cache when the
// kernel copies them, which halves the system time of a large sort. Which
// records fit the buffer (315) is still decided by its whole size.
constexpr uint32_t kWriteChunk = 256 * 1024;
// Written behind (engine/write_behind.h), the bytes are copied by the other
// core anyway; larger pieces mean fewer hand-overs between the threads.
constexpr uint32_t kBehindChunk = 1024 * 1024;

// A record-at-a-time copy run spills its loads in work-file form.
bool raat_copy_run() { return cp[kCpRaat] && !cp[kCpSort]; }

// The file about to be created is run 1 and the run has no header save
// file: the first file of its work-file family.
bool first_work_file() {
  return gv.workfile_count == 1 && !gv.intermediate_merge && !gv.has_header;
}

}  // namespace

void s_opencreate(Target target) {
  int fd;
  if (gv.path_buffer[0] == '\0') {
    fd = -1;  // a name that did not fit the path buffer
  } else if (target == Target::kWorkFile && first_work_file()) {
    fd = create_first_work_file(gv.suffix_chars[0]);
  } else if (target == Target::kWorkFile) {
    fd = open(gv.path_buffer, O_RDWR | O_CREAT | O_EXCL | O_TRUNC | O_CLOEXEC, 0600);
  } else {
    fd = open_output();
  }
  gv.out_fd = fd;
  gv.out_open = fd >= 0;
}

bool close_target() {
  const int fd = gv.out_fd;
  gv.out_open = 0;
  gv.out_fd = 0;
  return close(fd) == 0;
}

bool s_wbuf() {
  if (gv.out_fill == 0) return true;
  // With the spare buffer and the writer thread, the buffer is written
  // behind while the run fills the spare.
  const bool behind = gv.out_spare && write_behind_active();
  if (!write_gathered(gv.out_fd, gv.out_buffer, gv.out_fill, gv.gather, gv.gather_count,
                      gv.records_written, behind))
    return false;
  gv.gather_count = 0;
  if (behind) {
    uint8_t* const written = gv.out_buffer;
    gv.out_buffer = gv.out_spare;
    gv.out_spare = written;
    GatherEntry* const list = gv.gather;
    gv.gather = gv.gather_spare;
    gv.gather_spare = list;
  }
  gv.out_fill = 0;
  return true;
}

bool s_movrecb(const uint8_t* record, uint32_t length, uint32_t sequence, bool stays) {
  // Runs on work files keep the records as read, except the spill file of a
  // record-at-a-time copy run, which holds its records already reformatted.
  const bool work_form = gv.to_work_file || raat_copy_run();
  const bool reformat = cp[kCpOutrec] && (!gv.to_work_file || raat_copy_run());
  const uint64_t body = reformat ? outrec_length(record, length) : length;
  const uint64_t size = body + (work_form ? 8 : 0);
  if (size > gv.out_buffer_size - gv.out_fill) {
    if (gv.out_fill == 0 || size > gv.out_buffer_size) return fail(kRecordExceedsOutBuffer);
    if (!s_wbuf()) return false;
  } else if (gv.out_fill + size > (gv.out_spare ? kBehindChunk : kWriteChunk) && gv.out_fill > 0) {
    if (!s_wbuf()) return false;
  }
  // A record that stays where it is until the buffer is written is copied
  // then (by the writer thread when there is one).
  if (stays && !reformat && gv.gather_count < gv.gather_capacity) {
    gv.gather[gv.gather_count++] = {record, length, sequence, gv.out_fill, work_form};
    gv.out_fill += static_cast<uint32_t>(size);
    ++gv.records_written;
    return true;
  }
  uint8_t* out = gv.out_buffer + gv.out_fill;
  if (work_form) {
    put_le(out, static_cast<uint32_t>(body), 4);
    put_le(out + 4, sequence, 4);
    out += 8;
  }
  if (reformat) {
    outrec_place(out, record, length, sequence);
  } else if (length) {
    memcpy(out, record, length);
  }
  gv.out_fill += static_cast<uint32_t>(size);
  ++gv.records_written;
  return true;
}

void gather_now(const uint8_t* begin, uint32_t size) {
  const uint8_t* const end = begin + size;
  for (uint32_t i = 0; i < gv.gather_count; ++i) {
    GatherEntry& e = gv.gather[i];
    if (e.from < begin || e.from >= end) continue;
    place_gathered(gv.out_buffer, e);
    e.length = 0;  // placed: nothing left to copy
    e.work_form = 0;
  }
}

bool flush_duplicates() {
  gv.flush_held = 1;
  const RecordDesc& d = gv.merge_record;
  return dupcheck(d.addr, d.len, d.seq, 0) == 0;
}

bool s_movrec(const RecordDesc& record) {
  // Without duplicate processing every record passes: no call per record.
  if (gv.hold_active) {
    if (dupcheck(record.addr, record.len, record.seq, 0) != 0) return false;
    if (gv.dup_result != 0) return true;
  }
  return s_movrecb(record.addr, record.len, record.seq, true);
}

namespace {

// Spans of records that lie back to back in a sort buffer and go out as
// they are (a copy run without reformatting or duplicate processing) are
// written straight from the sort buffer instead of through the output
// buffer, once they are at least this long; the bytes written are the same.
constexpr uint32_t kDirectSpan = 16384;

bool plain_layout() {
  return !gv.to_work_file && !raat_copy_run() && !cp[kCpOutrec] && !gv.hold_active;
}

// The records of the load, as plain bytes, in spans.
bool move_spans() {
  const RecordDesc* table = gv.record_table;
  const uint32_t n = gv.record_count;
  for (uint32_t i = 0; i < n;) {
    const uint8_t* start = table[i].addr;
    uint64_t length = table[i].len;
    uint32_t j = i + 1;
    while (j < n && table[j].addr == start + length && length + table[j].len <= UINT32_MAX)
      length += table[j++].len;
    if (length >= kDirectSpan) {
      if (!s_wbuf()) return false;
      // The sort buffers keep their bytes until the write step has settled.
      // Read input settles before its next read, so a span handed on would
      // overlap nothing and cost two thread switches: it is written here.
      const bool behind = input_mapped() && write_behind_active();
      if (!write_out(gv.out_fd, start, length, true, gv.records_written, behind)) return false;
      gv.records_written += j - i;
    } else {
      for (uint32_t k = i; k < j; ++k)
        if (!s_movrecb(table[k].addr, table[k].len, table[k].seq, true)) return false;
    }
    i = j;
  }
  return true;
}


bool write_load() {
  const bool work_file = gv.workfile_count != 0;
  if (gv.create_before_write) {
    gv.create_before_write = 0;
    s_opencreate(work_file ? Target::kWorkFile : Target::kOutput);
    if (gv.out_fd < 0) return fail(kCannotCreateOutput);
    if (gv.header_pending) {
      if (!s_rephdr()) return false;
      gv.header_pending = 0;
    }
  }
  if (plain_layout()) {
    if (!move_spans()) return false;
  } else {
    // A sorted load is gathered from all over the sort buffers: fetch the
    // records a few places ahead so that copying them does not wait.
    constexpr uint32_t kAhead = 8;
    const RecordDesc* table = gv.record_table;
    for (uint32_t i = 0; i < gv.record_count; ++i) {
      if (i + kAhead < gv.record_count) __builtin_prefetch(table[i + kAhead].addr);
      if (!s_movrec(table[i])) return false;
    }
  }
  // Duplicate processing writes the record it holds once the last record
  // of the output has passed: after the one load of a sort, or the last
  // load of a copy run (a held record carries over between loads).
  if (gv.close_after_write && !flush_duplicates()) return false;
  if (!s_wbuf()) return false;
  // A whole copy run's output stays open for the next load: its last write
  // may go on while that load is read (the reading settles before its own
  // file calls). Everything else settles here.
  if (!gv.close_after_write && !work_file && !cp[kCpRaat]) return true;
  if (!write_settle()) return false;
  if (!gv.close_after_write) return true;
  if (!work_file) {
    if (!s_addeof() || !s_updhdr()) return false;
  }
  if (!close_target()) return fail(kOutputCloseError);
  return true;
}

}  // namespace

// A failed step returns with every write settled: a write that failed
// behind it is its first failure.
bool s_write() {
  if (write_load()) return true;
  write_settle();
  return false;
}

}  // namespace zara
