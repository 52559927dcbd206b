// Binary integers: BIN (unsigned, high byte first), W (unsigned, low byte
// first), FI (two's complement, high byte first), INT (two's complement,
// low byte first). Same-signed two's-complement numbers of equal width
// order like their unsigned bytes, so no value is ever assembled.
//
// Working length is lb. Fields of unequal lengths rank the same whichever
// comes first: a longer first field is ranked as the mirror image of the
// shorter one, so a sort never sees a pair ordered both ways. For a
// shorter first field see each routine.
#include "compare/outcome.h"

namespace zara {

namespace {
inline bool top_bit(uint8_t byte) { return (byte & 0x80) != 0; }
}  // namespace

// Short first field: it holds the high-order bytes, which decide when they
// differ; otherwise the shorter field is first.
int compbin(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb) {
  if (la > lb) return reversed(compbin(b, lb, a, la));
  if (la >= lb) return forward_outcome(a, b, lb);
  const int common = forward_outcome(a, b, la);
  return common != kEqual ? common : kFirstSmaller;
}

// Short first field: it holds only low-order bytes, which cannot decide,
// so it is first.
int compw(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb) {
  if (la > lb) return reversed(compw(b, lb, a, la));
  if (la < lb) return kFirstSmaller;
  return backward_outcome(a, b, lb);
}

// Short first field: it holds the sign and the high-order bytes, which
// decide when they differ; otherwise the shorter field is first.
int compfi(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb) {
  if (la > lb) return reversed(compfi(b, lb, a, la));
  const uint32_t n = la < lb ? la : lb;
  if (n == 0) return la < lb ? kFirstSmaller : kEqual;
  const bool negative_a = top_bit(a[0]);
  const bool negative_b = top_bit(b[0]);
  if (negative_a != negative_b) return negative_a ? kFirstSmaller : kFirstGreater;
  const int common = forward_outcome(a, b, n);
  return (common == kEqual && la < lb) ? kFirstSmaller : common;
}

// Short first field: its sign byte (the last) is missing, so it is first.
int compint(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb) {
  if (la > lb) return reversed(compint(b, lb, a, la));
  if (la < lb) return kFirstSmaller;
  if (lb == 0) return kEqual;
  const bool negative_a = top_bit(a[lb - 1]);
  const bool negative_b = top_bit(b[lb - 1]);
  if (negative_a != negative_b) return negative_a ? kFirstSmaller : kFirstGreater;
  return backward_outcome(a, b, lb);
}

}  // namespace zara
