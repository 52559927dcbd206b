// mcomp / mcompr: the signed difference of the first differing pair of
// unsigned bytes, scanning forwards or backwards.
#include "compare/compare.h"

namespace zara {

int mcomp(const uint8_t* a, const uint8_t* b, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return int{a[i]} - int{b[i]};
  }
  return 0;
}

int mcompr(const uint8_t* a, const uint8_t* b, uint32_t n) {
  while (n > 0) {
    --n;
    if (a[n] != b[n]) return int{a[n]} - int{b[n]};
  }
  return 0;
}

}  // namespace zara
