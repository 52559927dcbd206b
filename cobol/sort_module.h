// The records that pass between the COBOL adaptor D15O37 and the external
// sort module EXTSM, and EXTSM itself.
//
// EXTSM(function_block, sort_descriptor) performs one operation of a sort
// and returns its status (0 ok; 1 no more records). Both arguments are
// passed by reference. Multi-byte numbers marked BE are big-endian; the two
// addresses in the sort descriptor are native pointers (8 bytes each on a
// 64-bit build, 4 bytes on a 32-bit build).
//
// Function block, 2 bytes: kFunctionMark, then one of the operations.
// Sort descriptor, 100 bytes, zero except:
//   38  2 BE  record length
//   48  2 BE  record length again
//   56  ptr   address of the record buffer (kRecordAreaSize bytes)
//   64  ptr   address of the key block
// Key block, 1030 bytes, zero except:
//   0   2 BE  bytes in use: 30 + 10 * number of keys
//   6   2 BE  the value 1
//   14  2 BE  number of keys
//   16  2 BE  offset of the first key entry: 30
//   30+10(k-1)  key entry k: direction byte, type byte, offset of the key in
//               the record (position - 1) 4 bytes BE, length 4 bytes BE.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zara::cobol {

// The caller's record area and the module's record buffer: the longest
// record that can be exchanged.
constexpr uint32_t kRecordAreaSize = 32767;
constexpr uint32_t kMaxKeys = 100;

constexpr uint8_t kFunctionMark = 0xFA;
constexpr uint8_t kOpStart = 0x01;
constexpr uint8_t kOpRelease = 0xF3;
constexpr uint8_t kOpEndOfInput = 0x10;
constexpr uint8_t kOpReturn = 0xF5;

constexpr size_t kDescriptorSize = 100;
constexpr size_t kDescRecordLength = 38;
constexpr size_t kDescRecordLength2 = 48;
constexpr size_t kDescRecordBuffer = 56;
constexpr size_t kDescKeyBlock = 64;

constexpr size_t kKeyEntrySize = 10;
constexpr size_t kKeyBlockHeader = 30;
constexpr size_t kKeyBlockSize = kKeyBlockHeader + kKeyEntrySize * kMaxKeys;  // 1030
constexpr size_t kKbInUse = 0;
constexpr size_t kKbOne = 6;
constexpr size_t kKbKeyCount = 14;
constexpr size_t kKbFirstEntry = 16;

// Key entry: byte offsets, and the values of the direction and type bytes.
constexpr size_t kKeDirection = 0;
constexpr size_t kKeType = 1;
constexpr size_t kKeOffset = 2;
constexpr size_t kKeLength = 6;
constexpr uint8_t kDirAscending = 0x30;
constexpr uint8_t kDirDescending = 0x40;
constexpr uint8_t kTypeCharacter = 0x00;
constexpr uint8_t kTypeBinary = 0x33;
constexpr uint8_t kTypePacked = 0x23;
constexpr uint8_t kTypeZoned = 0x31;

// Status of an EXTSM call it cannot carry out (no function block, a wrong
// mark or operation, no descriptor or record buffer): the engine's code for
// an unknown function.
constexpr int32_t kBadSortCall = 260;

inline void put_be16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
inline void put_be32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}
inline uint32_t get_be16(const uint8_t* p) { return (uint32_t{p[0]} << 8) | p[1]; }
inline uint32_t get_be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

}  // namespace zara::cobol

extern "C" __attribute__((visibility("default"))) int32_t EXTSM(unsigned char* function_block,
                                                               unsigned char* sort_descriptor);
