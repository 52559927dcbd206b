// Building blocks shared by the per-type comparison routines: turning a
// byte-run difference into an outcome, and the two scan directions.
//
// Callers guarantee that n bytes are readable at both addresses; n may be 0
// (then the addresses are not touched).
#pragma once

#include <cstdint>
#include <cstring>

#include "compare/compare.h"

namespace zara {

// 1 for a positive difference, 2 for a negative one, 0 for none.
inline int outcome_of(int difference) {
  return difference > 0 ? kFirstGreater : (difference < 0 ? kFirstSmaller : kEqual);
}

// The same test with the roles of 1 and 2 swapped.
inline int reversed(int outcome) { return outcome == kEqual ? kEqual : 3 - outcome; }

// Outcome of n bytes compared as unsigned numbers, first byte first.
// Most fields that differ do so in their first byte: that one is compared
// in place, without a call.
inline int forward_outcome(const uint8_t* a, const uint8_t* b, uint32_t n) {
  if (n == 0) return kEqual;
  if (a[0] != b[0]) return a[0] > b[0] ? kFirstGreater : kFirstSmaller;
  return n == 1 ? kEqual : outcome_of(memcmp(a + 1, b + 1, n - 1));
}

// Outcome of n bytes compared as unsigned numbers, last byte first.
inline int backward_outcome(const uint8_t* a, const uint8_t* b, uint32_t n) {
  return outcome_of(mcompr(a, b, n));
}

// Orders two fields by length alone: the shorter first.
inline int length_outcome(uint32_t la, uint32_t lb) {
  return la > lb ? kFirstGreater : (la < lb ? kFirstSmaller : kEqual);
}

// Outcome of two decoded numbers; equal values and unordered pairs (NaN)
// give 0.
template <class Number>
inline int value_outcome(Number x, Number y) {
  return x > y ? kFirstGreater : (y > x ? kFirstSmaller : kEqual);
}

// Sign-and-digits numbers of n bytes: a negative field is smaller than a
// positive one, two positives rank by their bytes, two negatives in the
// reverse order of their bytes.
inline int sign_magnitude_outcome(bool negative_a, bool negative_b, const uint8_t* a,
                                  const uint8_t* b, uint32_t n) {
  if (negative_a != negative_b) return negative_a ? kFirstSmaller : kFirstGreater;
  const int bytes = forward_outcome(a, b, n);
  return negative_a ? reversed(bytes) : bytes;
}

}  // namespace zara
