// CHA, SU and ALP fields: unsigned bytes (ALP through toupper of the
// process locale); with an equal common part the shorter field is first.
#include <cctype>

#include "compare/outcome.h"

namespace zara {

int compchar(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb) {
  const int common = forward_outcome(a, b, la < lb ? la : lb);
  return common != kEqual ? common : length_outcome(la, lb);
}

int compalpha(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb) {
  const uint32_t n = la < lb ? la : lb;
  for (uint32_t i = 0; i < n; ++i) {
    const int ua = std::toupper(a[i]);
    const int ub = std::toupper(b[i]);
    if (ua != ub) return outcome_of(ua - ub);
  }
  return length_outcome(la, lb);
}

}  // namespace zara
