// ALTSEQ (file): loads the weight table of ALT fields from a file whose
// first byte is the marker 0xAC and whose bytes 9..264 are the weights of
// the byte values 0..255 (0: the byte is ignored). A shorter file keeps the
// earlier weights of the bytes it does not reach.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "control/statements.h"
#include "engine/run_state.h"
#include "records/input.h"

namespace zara {

namespace {

constexpr uint8_t kAltseqMarker = 172;

// Reads up to the image's size, looping over short reads.
bool read_image(int fd) {
  uint8_t image[sizeof gv.altseq_image];
  memcpy(image, gv.altseq_image, sizeof image);
  size_t got = 0;
  while (got < sizeof image) {
    const ssize_t n = read(fd, image + got, sizeof image - got);
    if (n < 0) return false;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  if (got == 0 || image[0] != kAltseqMarker) return false;
  memcpy(gv.altseq_image, image, got);
  return true;
}

}  // namespace

bool altseq_r() {
  cpnm[kOptAltseq] = 1;
  Scanner& sc = gv.scan;
  if (!find_parenl(sc) || !s_gettok(sc, kStatementDelims)) return fail(kAltseqOperand);
  if (sc.tok_len == 0 || !name_to_path(sc.tok_start, sc.tok_len, gv.path_buffer))
    return fail(kAltseqOperand);
  const int fd = open(gv.path_buffer, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fail(kAltseqOperand);
  const bool ok = read_image(fd);
  close(fd);
  return ok ? true : fail(kAltseqOperand);
}

}  // namespace zara
