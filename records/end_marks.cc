// End-of-file marks, one handler per file type (ae_jump), appended when the
// output is complete: FE and DB3 end with eof_char, TXT with 0x1A and GP
// with its end string when the input had them, PRE is padded with zeros to
// the size of its first input.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/run_state.h"
#include "records/file_io.h"
#include "records/output.h"

namespace zara {

namespace {

bool ae_null() { return true; }

bool ae_fe() { return write_fully(gv.out_fd, &gv.eof_char, 1); }

bool ae_txt() {
  static const uint8_t kEndMark = 0x1A;
  return !gv.end_mark_seen || write_fully(gv.out_fd, &kEndMark, 1);
}

bool ae_gp() { return !gv.end_mark_seen || write_fully(gv.out_fd, gv.end_string, gv.end_string_length); }

// Pads with zeros through the (empty) output buffer.
bool ae_pre() {
  const off_t size = lseek(gv.out_fd, 0, SEEK_END);
  if (size < 0) return false;
  uint64_t missing = gv.pre_size > static_cast<uint64_t>(size) ? gv.pre_size - size : 0;
  if (missing == 0) return true;
  memset(gv.out_buffer, 0, gv.out_buffer_size);
  while (missing > 0) {
    const uint32_t chunk =
        missing < gv.out_buffer_size ? static_cast<uint32_t>(missing) : gv.out_buffer_size;
    if (!write_fully(gv.out_fd, gv.out_buffer, chunk)) return false;
    missing -= chunk;
  }
  return true;
}

using EndMarkFn = bool (*)();
const EndMarkFn ae_jump[kFileTypeCount] = {
    ae_null, ae_fe, ae_txt, ae_null, ae_null, ae_null, ae_null, ae_pre, ae_gp, ae_fe,
};

}  // namespace

bool s_addeof() {
  if (!ae_jump[gv.file_type]()) return fail(kEndMarkWriteError);
  return true;
}

}  // namespace zara
