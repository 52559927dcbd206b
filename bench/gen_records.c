/* Writes N records of the sort benchmark's shape, from a fixed seed: 100-byte
 * lines, a 10-byte random key of printable bytes (no blank, so that it is
 * one field for GNU sort), the record number in decimal and filler, then a
 * line feed.  gen_records COUNT SEED > file */
#include <stdio.h>
#include <stdlib.h>

#include "xorshift.h"

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: gen_records COUNT SEED\n");
    return 2;
  }
  unsigned long long count = strtoull(argv[1], NULL, 10);
  xorshift_seed(strtoull(argv[2], NULL, 10));
  char line[101];
  for (unsigned long long i = 0; i < count; ++i) {
    for (int k = 0; k < 10; ++k) line[k] = (char)(33 + next() % 94);
    int n = snprintf(line + 10, 91, "  %020llu  ", i);
    for (int k = 10 + n; k < 99; ++k) line[k] = (char)('A' + (i + k) % 26);
    line[99] = '\n';
    fwrite(line, 1, 100, stdout);
  }
  return 0;
}
