#include "select/literal_conversion.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "control/tokenizer.h"
#include "select/mbf_literal.h"

namespace zara {

namespace {

int32_t text_atoi(const uint8_t* buffer) {
  const char* text = reinterpret_cast<const char*>(buffer);
  return token_atoi(text, static_cast<uint32_t>(std::strlen(text)));
}

// Stores the low 16 or all 32 bits of n in native byte order.
bool store_native_integer(uint8_t* buffer, uint32_t field_length, int32_t n,
                          uint32_t* value_length) {
  if (field_length == 2) {
    const uint16_t v = static_cast<uint16_t>(static_cast<uint32_t>(n));
    std::memcpy(buffer, &v, sizeof v);
  } else if (field_length == 4) {
    std::memcpy(buffer, &n, sizeof n);
  } else {
    return false;
  }
  *value_length = field_length;
  return true;
}

// The nearest IEEE single of d, with the overflow to infinity made explicit
// (a plain conversion of an out-of-range double is undefined).
float to_single(double d) {
  // Half a unit above the largest single: from here on the value rounds up.
  static const double kSingleOverflow = std::ldexp(1.0, 128) - std::ldexp(1.0, 103);
  if (std::isfinite(d) && std::fabs(d) >= kSingleOverflow)
    return d > 0 ? HUGE_VALF : -HUGE_VALF;
  return static_cast<float>(d);
}

int hex_digit(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void translate(uint8_t* text, const uint8_t* table) {
  for (; *text != 0; ++text) *text = table[*text];
}

}  // namespace

bool a2nul(uint8_t*, uint32_t, uint32_t*) { return true; }

bool a2na(uint8_t*, uint32_t, uint32_t*) { return false; }

bool a2int(uint8_t* buffer, uint32_t field_length, uint32_t* value_length) {
  return store_native_integer(buffer, field_length, text_atoi(buffer), value_length);
}

bool a2fi(uint8_t* buffer, uint32_t field_length, uint32_t* value_length) {
  if (!a2int(buffer, field_length, value_length)) return false;
  revbytes(buffer, field_length);
  return true;
}

bool a2ieee(uint8_t* buffer, uint32_t field_length, uint32_t* value_length) {
  const double d = std::atof(reinterpret_cast<const char*>(buffer));
  if (field_length == 4) {
    const float f = to_single(d);
    std::memcpy(buffer, &f, sizeof f);
    *value_length = 4;
  } else if (field_length == 8) {
    std::memcpy(buffer, &d, sizeof d);
    *value_length = 8;
  }
  return true;
}

bool a2spdp(uint8_t* buffer, uint32_t field_length, uint32_t* value_length) {
  const long double value = std::strtold(reinterpret_cast<const char*>(buffer), nullptr);
  uint8_t mbf[kMbfDoubleLength];
  if (!mbf_encode(value, field_length, mbf)) return false;
  std::memcpy(buffer, mbf, field_length);
  *value_length = field_length;
  return true;
}

const ConvertFn cnvt_jump[kFieldTypeCount] = {
    a2nul,   // CHA
    a2nul,   // ALP
    a2na,    // SU
    a2na,    // SLI
    a2nul,   // NUM
    a2na,    // STI
    a2nul,   // STS
    a2na,    // ZD
    a2na,    // T
    a2int,   // INT
    a2na,    // PD
    a2fi,    // BIN
    a2na,    // ALT
    a2ieee,  // E
    a2int,   // W
    a2spdp,  // SP
    a2spdp,  // DP
    a2fi,    // FI
    a2ieee,  // FL
};

bool hex2bin(uint8_t* buffer) {
  const uint8_t* in = buffer + 2;
  uint8_t* out = buffer;
  while (*in != 0) {
    const int high = hex_digit(in[0]);
    if (high < 0) return false;
    const int low = hex_digit(in[1]);  // in[1] exists: in[0] is not the NUL
    if (low < 0) return false;
    *out++ = static_cast<uint8_t>(high * 16 + low);
    in += 2;
  }
  return true;
}

void ascii2ebcdic(uint8_t* text) { translate(text, ebcdic_table); }

void ebcdic2ascii(uint8_t* text) { translate(text, ascii_table); }

bool ebcdic_number_byte(uint8_t b) {
  return (b >= 0xF0 && b <= 0xF9) || b == 0x40 || b == 0x4B || b == 0x4E || b == 0x60 || b == 0x05;
}

void revbytes(uint8_t* buffer, uint32_t n) {
  for (uint32_t i = 0, j = n; i + 1 < j; ++i) {
    --j;
    const uint8_t t = buffer[i];
    buffer[i] = buffer[j];
    buffer[j] = t;
  }
}

}  // namespace zara
