// Helpers of the unit tests: fields held in heap blocks of exactly their
// length (AddressSanitizer catches a read past either end), byte strings
// from hexadecimal digits, table rows and native values, and control-text
// parsing.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "control/dispatcher.h"
#include "engine/driver.h"
#include "engine/run_state.h"

namespace zara_test {

class FieldBytes {
 public:
  explicit FieldBytes(std::string_view bytes)
      : data_(new uint8_t[bytes.size()]), size_(static_cast<uint32_t>(bytes.size())) {
    if (size_ > 0) memcpy(data_.get(), bytes.data(), size_);
  }
  const uint8_t* data() const { return data_.get(); }
  uint32_t size() const { return size_; }

 private:
  std::unique_ptr<uint8_t[]> data_;
  uint32_t size_;
};

// "00FF" -> the bytes 00 FF.
inline std::string hex(std::string_view digits) {
  std::string out;
  for (size_t i = 0; i + 1 < digits.size(); i += 2)
    out += static_cast<char>(std::stoi(std::string(digits.substr(i, 2)), nullptr, 16));
  return out;
}

// Hexadecimal digits of bytes: the inverse of hex().
inline std::string hex_of(std::string_view bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : bytes) out.append({digits[(c >> 4) & 0x0F], digits[c & 0x0F]});
  return out;
}

// A table row such as "00FF < 0100" or "'12.50' + ' 1.25' = '13.75'": its
// operands (hexadecimal bytes, or text between single quotes) and the
// one-character operators between them, in order.
inline std::vector<std::string> split_row(std::string_view row, std::string* operators) {
  std::vector<std::string> operands;
  for (size_t i = 0, end; i < row.size(); i = end) {
    if (row[i] == '\'') {
      end = std::min(row.find('\'', i + 1), row.size()) + 1;
      operands.emplace_back(row.substr(i + 1, end - i - 2));
    } else if (isxdigit(static_cast<uint8_t>(row[i]))) {
      end = std::min(row.find(' ', i), row.size());
      operands.push_back(hex(row.substr(i, end - i)));
    } else {
      end = i + 1;
      if (row[i] != ' ') operators->push_back(row[i]);
    }
  }
  return operands;
}

// The bytes of a value in the host's byte order.
template <class T>
std::string native(T value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

// The status of parsing `text` as the control statements of a fresh run (0
// accepted). The text stays alive until the next call, as the scanner keeps
// pointers into it.
inline uint32_t parse_control(const std::string& text) {
  static std::string kept;
  kept = text;
  zara::s_init();
  zara::gv.control_text = kept.data();
  zara::gv.control_length = static_cast<uint32_t>(kept.size());
  return zara::s_ctrl() ? 0 : zara::gv.status_word;
}

}  // namespace zara_test
