// Writes the large-file test's records to standard output, 32 bytes each, all derived from the serial number: a
// 7-digit key (of 10^7 values, so keys repeat), a blank, the 12-digit serial, a blank, 10 letters, a line feed.
// run.sh checks a sorted copy with the same arithmetic.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 2) return fprintf(stderr, "usage: %s RECORDS >FILE\n", argv[0]), 2;
  for (uint64_t serial = 0, n = strtoull(argv[1], nullptr, 10); serial < n; ++serial) {
    const uint64_t key = serial * 48271 % 2147483647 * 48271 % 2147483647 % 10000000;
    printf("%07" PRIu64 " %012" PRIu64 " %.10s\n", key, serial, "abcdefghijklmnopqrstuvwxyz" + serial % 16);
  }
  return fflush(stdout) == 0 ? 0 : 1;
}
