// EXTSM: a stand-in for the external sort module of a COBOL run-time. It
// carries out the operations that D15O37 sends (sort_module.h) with the
// engine's record-at-a-time interface s_1raat:
//   0x01 start:   ends any run still open, then opens a run whose control
//                 text is the SORT statement built from the key block (no
//                 text at all when there are no keys: a copy run);
//   0xF3 release: releases the first `record length` bytes of the record
//                 buffer;
//   0x10 end of input: nothing (the engine starts its return phase at the
//                 first return);
//   0xF5 return:  receives the next record into the record buffer; status 1
//                 once no record is left, the buffer then unchanged.
// Each returns the engine's status. A call it cannot carry out (no function
// block, a wrong mark or operation, no descriptor, no record buffer for a
// release or return) returns kBadSortCall and leaves the engine alone.
//
// Everything in the descriptor is bounded: the record length is cut to
// kRecordAreaSize, the size of the record buffer; the key block is read by
// sort_statement().
#include <cstring>

#include "cobol/sort_module.h"
#include "cobol/sort_statement.h"
#include "zara15z37.h"

namespace zara::cobol {
namespace {

constexpr int32_t kRaatOpen = 1;
constexpr int32_t kRaatRelease = 2;
constexpr int32_t kRaatReturn = 3;
constexpr int32_t kRaatFinish = 4;

uint8_t* descriptor_address(const uint8_t* descriptor, size_t offset) {
  uint8_t* address;
  memcpy(&address, descriptor + offset, sizeof address);
  return address;
}

uint32_t record_length(const uint8_t* descriptor) {
  const uint32_t length = get_be16(descriptor + kDescRecordLength);
  return length > kRecordAreaSize ? kRecordAreaSize : length;
}

int32_t raat(int32_t function, void* data, uint32_t length) {
  uint32_t status = 0;
  s_1raat(function, data, &length, &status);
  return static_cast<int32_t>(status);
}

int32_t start(const uint8_t* descriptor) {
  char text[kSortStatementCapacity];
  const size_t length = sort_statement(descriptor_address(descriptor, kDescKeyBlock), text);
  raat(kRaatFinish, nullptr, 0);  // a run abandoned before its end leaves no work files
  return raat(kRaatOpen, text, static_cast<uint32_t>(length));
}

int32_t release(const uint8_t* descriptor) {
  uint8_t* buffer = descriptor_address(descriptor, kDescRecordBuffer);
  if (!buffer) return kBadSortCall;
  return raat(kRaatRelease, buffer, record_length(descriptor));
}

int32_t give(const uint8_t* descriptor) {
  uint8_t* buffer = descriptor_address(descriptor, kDescRecordBuffer);
  if (!buffer) return kBadSortCall;
  return raat(kRaatReturn, buffer, 0);
}

int32_t perform(uint8_t operation, const uint8_t* descriptor) {
  switch (operation) {
    case kOpStart: return start(descriptor);
    case kOpRelease: return release(descriptor);
    case kOpEndOfInput: return 0;
    case kOpReturn: return give(descriptor);
    default: return kBadSortCall;
  }
}

}  // namespace
}  // namespace zara::cobol

extern "C" int32_t EXTSM(unsigned char* function_block, unsigned char* sort_descriptor) {
  using namespace zara::cobol;
  if (!function_block || !sort_descriptor || function_block[0] != kFunctionMark) {
    return kBadSortCall;
  }
  return perform(function_block[1], sort_descriptor);
}
