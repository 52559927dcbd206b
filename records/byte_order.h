// Unsigned numbers in a fixed byte order, read from and written to bytes:
// the length prefixes and headers of the file types, the work-file form.
#pragma once

#include <cstdint>

namespace zara {

inline uint32_t le16(const uint8_t* p) { return uint32_t{p[0]} | (uint32_t{p[1]} << 8); }
inline uint32_t be16(const uint8_t* p) { return (uint32_t{p[0]} << 8) | p[1]; }
inline uint32_t le32(const uint8_t* p) {
  return le16(p) | (le16(p + 2) << 16);
}
inline uint64_t le64(const uint8_t* p) { return uint64_t{le32(p)} | (uint64_t{le32(p + 4)} << 32); }

// The low `bytes` bytes of `value`, least significant first.
inline void put_le(uint8_t* out, uint32_t value, uint32_t bytes) {
  for (uint32_t i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace zara
