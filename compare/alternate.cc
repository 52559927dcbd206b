// ALT fields: bytes ranked by the weights of the ALTSEQ table
// (gv.altseq_image, weight of byte value v at offset 9 + v). Bytes of
// weight 0 are invisible; bytes of equal weight are equal. When one field
// runs out of visible bytes, the field that still holds one is greater.
#include "compare/compare.h"

namespace zara {

namespace {
constexpr uint32_t kWeightsOffset = 9;
}  // namespace

int compalt(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb) {
  const uint8_t* weight = gv.altseq_image + kWeightsOffset;
  uint32_t i = 0;
  uint32_t j = 0;
  for (;;) {
    while (i < la && weight[a[i]] == 0) ++i;
    while (j < lb && weight[b[j]] == 0) ++j;
    if (i == la || j == lb) break;
    const uint8_t wa = weight[a[i]];
    const uint8_t wb = weight[b[j]];
    if (wa != wb) return wa > wb ? kFirstGreater : kFirstSmaller;
    ++i;
    ++j;
  }
  if (i < la) return kFirstGreater;
  if (j < lb) return kFirstSmaller;
  return kEqual;
}

}  // namespace zara
