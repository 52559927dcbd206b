// NUM fields: a number written as ASCII or EBCDIC text, compared by the
// value that atof reads from it. Each field is copied into its own 20-byte
// buffer with a closing NUL, so at most its first 19 bytes count; text atof
// cannot read counts as 0.
#include <cstdlib>
#include <cstring>

#include "compare/outcome.h"
#include "select/literal_conversion.h"

namespace zara {

namespace {

constexpr uint32_t kNumBuffer = 20;

void copy_text(uint8_t (&buffer)[kNumBuffer], const uint8_t* field, uint32_t length) {
  const uint32_t n = length < kNumBuffer - 1 ? length : kNumBuffer - 1;
  if (n > 0) memcpy(buffer, field, n);
  buffer[n] = '\0';
}

}  // namespace

// Both fields are translated when the first one begins with an EBCDIC
// number byte or its copy is empty; the second field is not examined.
int compnum(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb) {
  uint8_t x[kNumBuffer];
  uint8_t y[kNumBuffer];
  copy_text(x, a, la);
  copy_text(y, b, lb);
  if (x[0] == '\0' || ebcdic_number_byte(x[0])) {
    ebcdic2ascii(x);
    ebcdic2ascii(y);
  }
  return value_outcome(atof(reinterpret_cast<const char*>(x)), atof(reinterpret_cast<const char*>(y)));
}

}  // namespace zara
