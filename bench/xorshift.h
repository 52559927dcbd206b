/* The benchmarks' random numbers: a xorshift generator seeded from a
 * number given on the command line, so that every run sees the same data. */
#ifndef ZARA_BENCH_XORSHIFT_H
#define ZARA_BENCH_XORSHIFT_H

#include <stdint.h>

static uint64_t xorshift_state;

static void xorshift_seed(unsigned long long seed) {
  xorshift_state = seed * 0x9E3779B97F4A7C15ull + 1;
}

static uint64_t next(void) {
  xorshift_state ^= xorshift_state << 13;
  xorshift_state ^= xorshift_state >> 7;
  xorshift_state ^= xorshift_state << 17;
  return xorshift_state;
}

#endif
