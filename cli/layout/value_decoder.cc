#include "cli/layout/value_decoder.h"

#include <cstdio>
#include <cstring>

namespace zara_layout {

namespace {

constexpr size_t kMaxBinaryBytes = 8;

// Digits (most significant first) with a sign and `scale` decimal places.
std::string scaled(bool negative, std::string digits, int32_t scale) {
  if (scale < 0) {
    digits.append(static_cast<size_t>(-scale), '0');
    scale = 0;
  }
  const size_t places = static_cast<size_t>(scale);
  if (digits.size() <= places) digits.insert(0, places + 1 - digits.size(), '0');
  std::string whole = digits.substr(0, digits.size() - places);
  const size_t nonzero = whole.find_first_not_of('0');
  whole = nonzero == std::string::npos ? "0" : whole.substr(nonzero);
  std::string out = (negative ? "-" : "") + whole;
  if (places) out += "." + digits.substr(digits.size() - places);
  return out;
}

std::string integer(const uint8_t* b, size_t n, bool big_endian, bool is_signed, int32_t scale) {
  if (n == 0 || n > kMaxBinaryBytes) return "[" + std::to_string(n) + "-byte binary not shown]";
  uint64_t v = 0;
  for (size_t i = 0; i < n; ++i) v = (v << 8) | b[big_endian ? i : n - 1 - i];
  bool negative = false;
  if (is_signed && (v >> (8 * n - 1)) & 1) {
    negative = true;
    v = n == 8 ? (~v + 1) : ((uint64_t{1} << (8 * n)) - v);
  }
  return scaled(negative, std::to_string(v), scale);
}

std::string packed(const uint8_t* b, size_t n, int32_t scale) {
  if (n == 0) return "[empty]";
  std::string digits;
  for (size_t i = 0; i < n; ++i) {
    const int hi = b[i] >> 4, lo = b[i] & 0xF;
    if (hi > 9 || (i + 1 < n && lo > 9)) return "[not packed decimal]";
    digits += static_cast<char>('0' + hi);
    if (i + 1 < n) digits += static_cast<char>('0' + lo);
  }
  const int sign = b[n - 1] & 0xF;
  if (sign < 0xA) return "[not packed decimal]";
  return scaled(sign == 0xD, digits, scale);
}

// Zoned digits with the sign in the zone of the byte at `sign_at`; the
// zones the engine reads as negative.
std::string zoned(const uint8_t* b, size_t n, size_t sign_at, int32_t scale) {
  if (n == 0) return "[empty]";
  std::string digits;
  for (size_t i = 0; i < n; ++i) {
    if ((b[i] & 0xF) > 9) return "[not zoned decimal]";
    digits += static_cast<char>('0' + (b[i] & 0xF));
  }
  const int zone = b[sign_at] >> 4;
  const bool negative = zone == 0x2 || zone == 0x4 || zone == 0x7 || zone == 0xB || zone == 0xD;
  return scaled(negative, digits, scale);
}

std::string separate(const uint8_t* b, size_t n, bool leading, int32_t scale) {
  if (n < 2) return "[too short]";
  const uint8_t sign = leading ? b[0] : b[n - 1];
  const uint8_t* d = leading ? b + 1 : b;
  std::string digits;
  for (size_t i = 0; i + 1 < n; ++i) {
    if (d[i] < '0' || d[i] > '9') return "[not digits]";
    digits += static_cast<char>(d[i]);
  }
  if (sign != '+' && sign != '-' && sign != ' ') return "[no sign]";
  return scaled(sign == '-', digits, scale);
}

std::string floating(const uint8_t* b, size_t n) {
  char text[64];
  if (n == 4) {
    float f;
    memcpy(&f, b, 4);
    snprintf(text, sizeof text, "%.9g", static_cast<double>(f));
  } else if (n == 8) {
    double d;
    memcpy(&d, b, 8);
    snprintf(text, sizeof text, "%.17g", d);
  } else {
    return "[not 4 or 8 bytes]";
  }
  return text;
}

}  // namespace

std::string hex_bytes(const uint8_t* bytes, size_t length) {
  std::string out;
  char two[4];
  for (size_t i = 0; i < length; ++i) {
    snprintf(two, sizeof two, "%02X", bytes[i]);
    if (i) out += ' ';
    out += two;
  }
  return out;
}

std::string text_bytes(const uint8_t* bytes, size_t length) {
  std::string out;
  for (size_t i = 0; i < length; ++i)
    out += (bytes[i] >= 0x20 && bytes[i] < 0x7F) ? static_cast<char>(bytes[i]) : '.';
  return out;
}

std::string decode_value(const std::string& type, int32_t scale, const uint8_t* b, size_t n) {
  if (type == "BIN") return integer(b, n, true, false, scale);
  if (type == "FI") return integer(b, n, true, true, scale);
  if (type == "W") return integer(b, n, false, false, scale);
  if (type == "INT") return integer(b, n, false, true, scale);
  if (type == "PD") return packed(b, n, scale);
  if (type == "ZD" || type == "STI") return zoned(b, n, n ? n - 1 : 0, scale);
  if (type == "SLI") return zoned(b, n, 0, scale);
  if (type == "STS" || type == "T") return separate(b, n, false, scale);
  if (type == "NUM") {
    if (n >= 2 && (b[0] == '+' || b[0] == '-')) return separate(b, n, true, scale);
    return "\"" + text_bytes(b, n) + "\"";
  }
  if (type == "E" || type == "FL") return floating(b, n);
  if (type == "SP" || type == "DP") return "[MBF value not shown]";
  return "\"" + text_bytes(b, n) + "\"";
}

}  // namespace zara_layout

