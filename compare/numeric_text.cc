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

// Bytes that mark the text as EBCDIC when they begin the first field:
// blank, digits, period, plus, minus, tab.
inline bool ebcdic_num(uint8_t c) {
  return (c >= 0xF0 && c <= 0xF9) || c == 0x40 || c == 0x4B || c == 0x4E || c == 0x60 ||
         c == 0x05;
}

void copy_text(char (&buffer)[kNumBuffer], const uint8_t* field, uint32_t length) {
  const uint32_t n = length < kNumBuffer - 1 ? length : kNumBuffer - 1;
  if (n > 0) memcpy(buffer, field, n);
  buffer[n] = '\0';
}

void ebcdic_to_ascii(char* text) {
  for (; *text != '\0'; ++text) *text = static_cast<char>(ascii_table[static_cast<uint8_t>(*text)]);
}

}  // namespace

// Both fields are translated when the first one begins with an EBCDIC
// number byte or its copy is empty; the second field is not examined.
int compnum(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb) {
  char x[kNumBuffer];
  char y[kNumBuffer];
  copy_text(x, a, la);
  copy_text(y, b, lb);
  if (x[0] == '\0' || ebcdic_num(static_cast<uint8_t>(x[0]))) {
    ebcdic_to_ascii(x);
    ebcdic_to_ascii(y);
  }
  return value_outcome(atof(x), atof(y));
}

}  // namespace zara
