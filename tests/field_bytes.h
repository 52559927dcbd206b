// Test helper: a field held in a heap block of exactly its length, so that
// a read past either end is caught by AddressSanitizer.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>

#include "compare/compare.h"

namespace zara_test {

class FieldBytes {
 public:
  FieldBytes(std::initializer_list<uint8_t> bytes)
      : data_(new uint8_t[bytes.size()]), size_(static_cast<uint32_t>(bytes.size())) {
    if (size_ > 0) memcpy(data_.get(), bytes.begin(), size_);
  }
  explicit FieldBytes(const std::string& text)
      : data_(new uint8_t[text.size()]), size_(static_cast<uint32_t>(text.size())) {
    if (size_ > 0) memcpy(data_.get(), text.data(), size_);
  }
  FieldBytes(const uint8_t* bytes, uint32_t n) : data_(new uint8_t[n]), size_(n) {
    if (n > 0) memcpy(data_.get(), bytes, n);
  }
  const uint8_t* data() const { return data_.get(); }
  uint8_t* data() { return data_.get(); }
  uint32_t size() const { return size_; }

 private:
  std::unique_ptr<uint8_t[]> data_;
  uint32_t size_;
};

// The outcome of routine f on two fields (0 equal, 1 first greater, 2 first smaller).
inline int outcome(zara::CompareFn f, const FieldBytes& a, const FieldBytes& b) {
  return f(a.data(), a.size(), b.data(), b.size());
}

}  // namespace zara_test
