/* Writes COUNT fixed 100-byte records from a fixed seed:
 *   bytes 1-4   unsigned binary key, high byte first (below 10^9)
 *   bytes 5-9   packed decimal S9(9), sign C or D
 *   bytes 10-15 zoned decimal S9(6), ASCII digits, sign in the last zone
 *               (3 positive, 7 negative)
 *   bytes 16-100 printable filler
 *   gen_fixed COUNT SEED > file */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "xorshift.h"


int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: gen_fixed COUNT SEED\n");
    return 2;
  }
  unsigned long long count = strtoull(argv[1], NULL, 10);
  xorshift_seed(strtoull(argv[2], NULL, 10));
  unsigned char r[100];
  for (unsigned long long n = 0; n < count; ++n) {
    /* A small key range makes ties, so the later keys take part. */
    uint32_t bin = (uint32_t)(next() % 1000000);
    r[0] = (unsigned char)(bin >> 24);
    r[1] = (unsigned char)(bin >> 16);
    r[2] = (unsigned char)(bin >> 8);
    r[3] = (unsigned char)bin;
    uint64_t pd = next() % 1000;
    /* No negative zero: the packed key compares signs as written, COBOL by value. */
    int negative = pd != 0 && (int)(next() & 1);
    unsigned char digits[10];
    for (int i = 8; i >= 0; --i) { digits[i] = (unsigned char)(pd % 10); pd /= 10; }
    /* 9 digits and the sign nibble in 5 bytes */
    r[4] = (unsigned char)(digits[0] << 4 | digits[1]);
    r[5] = (unsigned char)(digits[2] << 4 | digits[3]);
    r[6] = (unsigned char)(digits[4] << 4 | digits[5]);
    r[7] = (unsigned char)(digits[6] << 4 | digits[7]);
    r[8] = (unsigned char)(digits[8] << 4 | (negative ? 0xD : 0xC));
    uint64_t zd = next() % 1000000;
    int zneg = zd != 0 && (int)(next() & 1);
    for (int i = 5; i >= 0; --i) { r[9 + i] = (unsigned char)('0' + zd % 10); zd /= 10; }
    if (zneg) r[14] = (unsigned char)(0x70 | (r[14] & 0x0F));
    for (int i = 15; i < 100; ++i) r[i] = (unsigned char)(33 + next() % 94);
    fwrite(r, 1, 100, stdout);
  }
  return 0;
}
