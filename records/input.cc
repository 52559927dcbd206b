// Reading one memory load: the inputs are read in turn into the sort
// buffers and framed into records; each record gets a descriptor in the
// record table pointing at its bytes where they were read.
//
// A sort buffer holds only whole records. The bytes of an incomplete record
// at the end of a read are handed back to the file by moving its offset
// back, so they are read again at the start of the next sort buffer (or of
// the next memory load) instead of being copied.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "engine/arena.h"
#include "engine/progress.h"
#include "engine/run_state.h"
#include "engine/write_behind.h"
#include "records/file_io.h"
#include "records/framing.h"
#include "records/input.h"
#include "records/mapped_input.h"

namespace zara {

namespace {

bool close_input() {
  mapped_input_closed();
  const int fd = gv.input_fd;
  gv.input_open = 0;
  gv.input_fd = 0;
  return close(fd) == 0;
}

// Opens the name the list scan stands on and skips its header.
bool open_current_input() {
  gv.input_eof = 0;
  const int fd = s_openf();
  if (fd < 0) return fail(kCannotOpenInput);
  gv.input_fd = fd;
  gv.input_open = 1;
  if (gv.skip_header && lseek(fd, static_cast<off_t>(gv.header_skip), SEEK_SET) < 0)
    return fail(kInputSkipError);
  map_input(fd, gv.skip_header ? gv.header_skip : 0);
  return true;
}

// Frames the `remaining` bytes at `scan` that were just read. False with
// status 322 when the unframed bytes cannot be handed back.
bool s_setptr(const uint8_t* scan, uint32_t remaining) {
  gv.end_mark_seen = 0;
  const FrameFn frame = sp_jump[gv.file_type];
  const bool limit_given = cp[kCpLimit];
  const bool origin_given = cpnm[kOptOrigin];
  for (;;) {
    const FrameResult r = frame(scan, remaining);
    if (r.kind == Frame::kIncomplete) {
      if (gv.input_eof) return true;  // the tail of the file is dropped
      break;
    }
    if (r.kind == Frame::kEndMark) {
      gv.end_mark_seen = 1;
      gv.input_eof = 1;
      return true;
    }
    ++gv.record_sequence;
    if (limit_given && gv.record_sequence > gv.record_limit) {
      gv.limit_reached = 1;
      return true;
    }
    if (!(origin_given && gv.record_sequence < gv.origin)) {
      RecordDesc& d = gv.record_table[gv.record_count++];
      d.addr = const_cast<uint8_t*>(scan);
      d.len = r.length;
      d.seq = gv.record_sequence;
      d.flag = 1;
    }
    scan += r.length;
    remaining -= r.length;
    if (gv.record_count >= gv.record_capacity) {
      gv.table_full = 1;
      break;
    }
  }
  if (input_mapped()) {
    mapped_unread(remaining);
  } else if (remaining != 0 &&
             lseek(gv.input_fd, -static_cast<off_t>(remaining), SEEK_CUR) < 0) {
    return fail(kRepositionError);
  }
  progress_bytes_unread(remaining);
  gv.input_eof = 0;
  gv.input_done = 0;
  return true;
}

}  // namespace

bool s_read() {
  const uint32_t sequence_at_start = gv.record_sequence;
  gv.next_buffer = 0;
  gv.record_count = 0;
  gv.table_full = 0;
  if (!read_gda()) return fail(kNoSortBuffer);
  // The load before may still be written behind (a copy run): the run's own
  // file calls, and reads into the sort buffers, wait for it.
  if (!release_framed_input()) return false;
  if (!gv.input_open) {
    if (!s_getffn()) return fail(kNoInputName);
    if (!open_current_input()) return false;
  }
  for (;;) {
    const uint32_t want = gv.buffer_size - gv.buffer_used;
    const uint8_t* to = gv.current_buffer + gv.buffer_used;
    ssize_t got;
    if (input_mapped()) {
      uint32_t taken;
      to = mapped_take(want, &taken);
      got = taken;
    } else {
      if (!write_settle()) return false;
      got = read_fully(gv.input_fd, gv.current_buffer + gv.buffer_used, want);
    }
    if (got < 0) return fail(kInputReadError);
    if (static_cast<uint32_t>(got) < want) gv.input_eof = 1;
    gv.buffer_used += static_cast<uint32_t>(got);
    progress_bytes_read(static_cast<uint32_t>(got));
    if (!s_setptr(to, static_cast<uint32_t>(got))) return false;

    if (gv.limit_reached) {
      if (!write_settle()) return false;
      if (!close_input()) return fail(kInputCloseError);
      gv.input_done = 1;
      return true;
    }
    if (gv.table_full) return true;
    if (!gv.input_eof) {
      if (read_gda()) continue;
      // Every buffer is used: a load without a single record means a record
      // longer than a sort buffer.
      if (gv.record_sequence == sequence_at_start) return fail(kRecordTooLong);
      return true;
    }
    if (!write_settle()) return false;
    if (!close_input()) return fail(kInputCloseError);
    if (!s_gettok(gv.names, kInputNameDelims)) {
      gv.input_done = 1;
      return true;
    }
    if (!open_current_input()) return false;
  }
}

}  // namespace zara
