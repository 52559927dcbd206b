#include "cli/spool.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace zara_cli {

namespace {

bool copy_fd(int from, int to) {
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const ssize_t n = read(from, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = write(to, buffer.data() + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return false;
      done += w;
    }
  }
}

}  // namespace

bool Spool::take_stdin(std::string* path, std::string* error) {
  if (!input_.empty()) {
    *path = input_;  // "-" given twice reads the same spooled data
    return true;
  }
  if (!dir_.make(error)) return false;
  input_ = dir_.file("stdin");
  const int fd = open(input_.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  const bool ok = fd >= 0 && copy_fd(STDIN_FILENO, fd);
  const int saved = errno;
  if (fd >= 0 && close(fd) != 0 && ok) {
    *error = std::string("standard input: ") + strerror(errno);
    return false;
  }
  if (!ok) {
    *error = std::string("standard input: ") + strerror(saved);
    return false;
  }
  *path = input_;
  return true;
}

bool Spool::make_output(std::string* path, std::string* error) {
  if (output_.empty()) {
    if (!dir_.make(error)) return false;
    output_ = dir_.file("stdout");
  }
  *path = output_;
  return true;
}

bool Spool::emit_output(std::string* error) {
  const int fd = open(output_.c_str(), O_RDONLY);
  if (fd < 0 && errno == ENOENT) return true;  // the run wrote nothing
  if (fd < 0 || !copy_fd(fd, STDOUT_FILENO)) {
    *error = std::string("standard output: ") + strerror(errno);
    if (fd >= 0) close(fd);
    return false;
  }
  close(fd);
  return true;
}

}  // namespace zara_cli
