#include "records/file_io.h"

#include <unistd.h>

#include <cerrno>

namespace zara {

ssize_t read_fully(int fd, uint8_t* to, size_t want) {
  size_t got = 0;
  while (got < want) {
    const ssize_t n = read(fd, to + got, want - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(got);
}

bool write_fully(int fd, const uint8_t* bytes, size_t n) {
  while (n > 0) {
    const ssize_t w = write(fd, bytes, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    bytes += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

}  // namespace zara
