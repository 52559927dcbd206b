/* Writes N bytes of text lines with random printable bytes, lengths 20-200
 * (terminator included), from a fixed seed:  gen_text BYTES SEED > file */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "xorshift.h"


int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: gen_text BYTES SEED\n");
    return 2;
  }
  unsigned long long total = strtoull(argv[1], NULL, 10);
  xorshift_seed(strtoull(argv[2], NULL, 10));
  static char line[256];
  unsigned long long written = 0;
  while (written < total) {
    int len = 20 + (int)(next() % 181); /* 20..200 bytes with the LF */
    if (written + len > total) len = (int)(total - written);
    if (len < 1) break;
    for (int i = 0; i < len - 1; ++i) line[i] = (char)(33 + next() % 94);
    line[len - 1] = '\n';
    fwrite(line, 1, (size_t)len, stdout);
    written += (unsigned long long)len;
  }
  return 0;
}
