// E and FL fields: IEEE 754 binary32 (4 bytes) or binary64 (8 bytes),
// least significant byte first, compared by value.
#include <bit>

#include "compare/outcome.h"
#include "records/byte_order.h"

namespace zara {

// A working length other than 4 or 8 ranks the first field greater without
// reading either field. Short first field: it cannot hold a whole number,
// so it is first.
int compieee(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb) {
  if (la > lb) return reversed(compieee(b, lb, a, la));
  if (lb != 4 && lb != 8) return kFirstGreater;
  if (la < lb) return kFirstSmaller;
  if (lb == 4) {
    return value_outcome(std::bit_cast<float>(le32(a)), std::bit_cast<float>(le32(b)));
  }
  return value_outcome(std::bit_cast<double>(le64(a)), std::bit_cast<double>(le64(b)));
}

}  // namespace zara
