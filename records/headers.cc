// File headers: DB3, CVS and RV inputs begin with a header whose fields say
// how the records are framed; the first input's header is saved in the
// header save file (work-file name, suffix 'z') and copied to the start of
// the output; a DB3 output's record count is brought up to date at the end.
// PRE has no header, but its check notes the size of the first input.
#include "records/headers.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "engine/run_state.h"
#include "engine/work_files.h"
#include "records/byte_order.h"
#include "records/file_io.h"
#include "records/input.h"

namespace zara {

namespace {

constexpr uint32_t kDb3SmallestHeader = 32;

// Opens the first input for a header check; -1 with a status.
int open_first_input() {
  if (!s_getffn()) {
    fail(kNoInputName);
    return -1;
  }
  const int fd = s_openf();
  if (fd < 0) fail(kCannotOpenInput);
  return fd;
}

// Reads the 2 bytes at `offset`. 216 when the seek or read fails, 217 when
// the file is too short to hold them.
bool read_pair(int fd, off_t offset, uint8_t* pair) {
  if (lseek(fd, offset, SEEK_SET) < 0) return fail(kInputReadError);
  const ssize_t n = read_fully(fd, pair, 2);
  if (n < 0) return fail(kInputReadError);
  if (n < 2) return fail(kHeaderTooShort);
  return true;
}

bool read_db3(int fd) {
  uint8_t pair[2];
  if (!read_pair(fd, 10, pair)) return false;
  const uint32_t record_length = le16(pair);
  if (!read_pair(fd, 8, pair)) return false;
  const uint32_t header_length = le16(pair);
  // A zero record length frames nothing; a header shorter than its own
  // fixed part is not a table header.
  if (record_length == 0 || header_length < kDb3SmallestHeader) return fail(kHeaderTooShort);
  gv.record_length = record_length;
  gv.header_skip = header_length;
  return true;
}

bool read_cvs(int fd) {
  uint8_t pair[2];
  if (!read_pair(fd, 56, pair)) return false;
  gv.prefix_width = be16(pair) < 4096 ? 2 : 4;
  gv.header_skip = 128;
  return true;
}

bool read_rv(int fd) {
  uint8_t pair[2];
  if (!read_pair(fd, 2, pair)) return false;
  gv.prefix_width = le16(pair) < 256 ? 1 : 2;
  gv.header_skip = 4;
  return true;
}

// The checks of the headed types: read, mark the header, close.
bool check_headed(bool (*read_fields)(int)) {
  const int fd = open_first_input();
  if (fd < 0) return false;
  if (!read_fields(fd)) {
    close(fd);
    return false;
  }
  gv.has_header = 1;
  gv.skip_header = 1;
  if (close(fd) != 0) return fail(kHeaderInputCloseError);
  return true;
}

bool ch_null() { return true; }
bool ch_rv() { return check_headed(read_rv); }
bool ch_cvs() { return check_headed(read_cvs); }
bool ch_db3() { return check_headed(read_db3); }

bool ch_pre() {
  const int fd = open_first_input();
  if (fd < 0) return false;
  const off_t size = lseek(fd, 0, SEEK_END);
  if (size < 0 || lseek(fd, 0, SEEK_SET) < 0) {
    close(fd);
    return fail(kInputSkipError);
  }
  gv.pre_size = static_cast<uint64_t>(size);
  if (close(fd) != 0) return fail(kInputCloseError);
  return true;
}

using HeaderCheckFn = bool (*)();
const HeaderCheckFn ch_jump[kFileTypeCount] = {
    ch_null, ch_null, ch_null, ch_null, ch_null, ch_rv, ch_cvs, ch_pre, ch_null, ch_db3,
};

// Copies header_skip bytes from `in` to `save` through the first sort
// buffer, in chunks of at most a buffer.
bool copy_header(int in, int save) {
  uint8_t* chunk = gv.buffers[0];
  uint32_t left = gv.header_skip;
  while (left > 0) {
    const uint32_t n = left < gv.buffer_size ? left : gv.buffer_size;
    const ssize_t got = read_fully(in, chunk, n);
    if (got < 0) return fail(kInputReadError);
    if (static_cast<uint32_t>(got) < n) return fail(kHeaderTooShort);
    ssize_t put;
    do {
      put = write(save, chunk, n);
    } while (put < 0 && errno == EINTR);
    if (put < 0) return fail(kHeaderWriteError);
    if (static_cast<uint32_t>(put) != n) return fail(kHeaderShortWrite);
    left -= n;
  }
  return true;
}

bool uh_null() { return true; }

bool uh_db3() {
  uint8_t count[4];
  const uint32_t n = gv.records_written;
  put_le(count, n, 4);
  if (lseek(gv.out_fd, 4, SEEK_SET) < 0 || !write_fully(gv.out_fd, count, 4))
    return fail(kDb3HeaderError);
  return true;
}

using HeaderUpdateFn = bool (*)();
const HeaderUpdateFn uh_jump[kFileTypeCount] = {
    uh_null, uh_null, uh_null, uh_null, uh_null, uh_null, uh_null, uh_null, uh_null, uh_db3,
};

}  // namespace

bool s_chkhdr() { return ch_jump[gv.file_type](); }

bool s_gethdr() {
  const int in = open_first_input();
  if (in < 0) return false;
  // The save file is the first file of the run's work-file family.
  const int save = create_first_work_file(kHeaderSuffix);
  if (save < 0) {
    close(in);
    return fail(kCannotCreateHeaderFile);
  }
  const bool copied = copy_header(in, save);
  const bool in_closed = close(in) == 0;
  const bool save_closed = close(save) == 0;
  if (!copied) return false;
  if (!in_closed) return fail(kInputCloseError);
  if (!save_closed) return fail(kHeaderInputCloseError);
  return true;
}

bool s_rephdr() {
  if (!work_path(kHeaderSuffix)) return fail(kHeaderFileOpenError);
  const int fd = open(gv.path_buffer, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fail(kHeaderFileOpenError);
  gv.header_fd = fd;
  gv.header_open = 1;
  for (;;) {
    const ssize_t got = read_fully(fd, gv.out_buffer, gv.out_buffer_size);
    if (got < 0) return fail(kHeaderFileReadError);
    if (!write_fully(gv.out_fd, gv.out_buffer, static_cast<size_t>(got)))
      return fail(kHeaderCopyError);
    if (static_cast<uint32_t>(got) < gv.out_buffer_size) break;
  }
  gv.header_open = 0;
  gv.header_fd = 0;
  if (close(fd) != 0) return fail(kHeaderFileCloseError);
  return true;
}

bool s_updhdr() { return uh_jump[gv.file_type](); }

}  // namespace zara
