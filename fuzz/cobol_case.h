// Fuzz case "cobol": the control string and the calls of the COBOL adaptor
// D15O37, against a recording EXTSM of the harness's own that checks every
// function block, sort descriptor and key block it is handed and plays a
// sort that gives back the released records first in, first out.
//
// Input layout:
//   byte 0     status EXTSM returns for releases (0, or 16 when bit 0 set);
//   bytes 1-2  control-string length n (little-endian, modulo 4096), then
//              a byte choosing the length word passed (n, -1, 40000, 0,
//              n + 100), then n bytes of control string;
//   then calls, one opcode byte each (modulo 8): 0 start with the same
//   control string, 1-3 release (a length byte and that many record bytes),
//   4-5 return, 6 an unknown function code, 7 a call with a null pointer
//   (chosen by the next byte).
// Every input starts from a known module state: an unknown code (so that
// no return is pending) and a start with a fixed control string, before the
// fuzzed start.
//
// Checks: EXTSM sees exactly the operations the call implies (start 0x01,
// release 0xF3, return 0x10 then 0xF5 after any other call, 0xF5 alone
// after a return, nothing for other codes); the wire records are well
// formed; the module returns EXTSM's latest status; a return copies the
// record buffer while no more returns than releases were made, and
// otherwise sets the end flag and leaves the record area alone.
//
// This header defines EXTSM: include it in one translation unit per program.
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "cobol/sort_module.h"
#include "cobol/sort_statement.h"
#include "fuzz/harness.h"

extern "C" int32_t D15O37(int32_t* function_code, unsigned char* record_area,
                          int32_t* control_length, int32_t* end_flag);

namespace zara_fuzz {

struct RecordingSortModule {
  std::vector<uint8_t> operations;  // of the current D15O37 call
  std::deque<Bytes> queue;          // released record buffers
  int32_t release_status = 0;
  int32_t last_status = 0;
  bool any_call = false;
  const uint8_t* buffer = nullptr;  // record buffer of the latest call
  std::string finding;
};

inline RecordingSortModule& sort_module() {
  static RecordingSortModule module;
  return module;
}

inline uint8_t* descriptor_address(const uint8_t* descriptor, size_t offset) {
  uint8_t* address;
  memcpy(&address, descriptor + offset, sizeof address);
  return address;
}

// Empty when the descriptor and its key block are as the adaptor must
// build them.
inline std::string check_descriptor(const uint8_t* d) {
  using namespace zara::cobol;
  const size_t p = sizeof(void*);
  for (size_t i = 0; i < kDescriptorSize; ++i) {
    const bool named = i == 38 || i == 39 || i == 48 || i == 49 ||
                       (i >= kDescRecordBuffer && i < kDescRecordBuffer + p) ||
                       (i >= kDescKeyBlock && i < kDescKeyBlock + p);
    if (!named && d[i] != 0) return "descriptor byte " + std::to_string(i) + " not zero";
  }
  const uint32_t length = get_be16(d + kDescRecordLength);
  if (length != get_be16(d + kDescRecordLength2)) return "the two record lengths differ";
  if (length > kRecordAreaSize) return "record length above the record buffer";
  const uint8_t* block = descriptor_address(d, kDescKeyBlock);
  if (!block) return {};
  const uint32_t count = get_be16(block + kKbKeyCount);
  if (count > kMaxKeys) return "more than 100 keys";
  const size_t in_use = kKeyBlockHeader + kKeyEntrySize * count;
  if (get_be16(block + kKbInUse) != in_use) return "key block length does not match its keys";
  if (get_be16(block + kKbOne) != 1 || get_be16(block + kKbFirstEntry) != kKeyBlockHeader)
    return "key block header words wrong";
  for (size_t i = 0; i < kKeyBlockSize; ++i) {
    const bool header_word = i < 2 || (i >= 6 && i < 8) || (i >= 14 && i < 18);
    if (!header_word && (i < kKeyBlockHeader || i >= in_use) && block[i] != 0)
      return "key block byte " + std::to_string(i) + " not zero";
  }
  for (uint32_t k = 0; k < count; ++k) {
    const uint8_t* e = block + kKeyBlockHeader + kKeyEntrySize * k;
    if (e[kKeDirection] != kDirAscending && e[kKeDirection] != kDirDescending)
      return "key direction byte wrong";
    const uint8_t t = e[kKeType];
    if (t != kTypeCharacter && t != kTypeBinary && t != kTypePacked && t != kTypeZoned)
      return "key type byte wrong";
  }
  // The engine side's translation must stay inside its text buffer.
  std::vector<char> text(kSortStatementCapacity);
  const size_t n = sort_statement(block, text.data());
  if (n > kSortStatementCapacity) return "SORT statement longer than its buffer";
  if ((n == 0) != (count == 0)) return "SORT statement does not match the key count";
  return {};
}

inline int32_t play(uint8_t operation, uint8_t* descriptor) {
  using namespace zara::cobol;
  RecordingSortModule& m = sort_module();
  uint8_t* buffer = descriptor_address(descriptor, kDescRecordBuffer);
  switch (operation) {
    case kOpStart: m.queue.clear(); return 0;
    case kOpRelease:
      if (!buffer) return kBadSortCall;
      m.queue.emplace_back(reinterpret_cast<const char*>(buffer), kRecordAreaSize);
      return m.release_status;
    case kOpEndOfInput: return 0;
    case kOpReturn:
      if (!buffer) return kBadSortCall;
      if (m.queue.empty()) return 1;
      memcpy(buffer, m.queue.front().data(), kRecordAreaSize);
      m.queue.pop_front();
      return 0;
    default: return kBadSortCall;
  }
}

}  // namespace zara_fuzz

extern "C" int32_t EXTSM(unsigned char* function_block, unsigned char* sort_descriptor) {
  using namespace zara_fuzz;
  RecordingSortModule& m = sort_module();
  if (!function_block || !sort_descriptor) {
    if (m.finding.empty()) m.finding = "EXTSM called without its parameters";
    return zara::cobol::kBadSortCall;
  }
  if (function_block[0] != zara::cobol::kFunctionMark && m.finding.empty())
    m.finding = "function block without its mark";
  m.operations.push_back(function_block[1]);
  if (m.finding.empty()) m.finding = check_descriptor(sort_descriptor);
  m.buffer = descriptor_address(sort_descriptor, zara::cobol::kDescRecordBuffer);
  m.last_status = play(function_block[1], sort_descriptor);
  m.any_call = true;
  return m.last_status;
}

namespace zara_fuzz {

class CobolSession {
 public:
  CobolSession() : area_(zara::cobol::kRecordAreaSize) {}

  std::string run(const uint8_t* data, size_t size) {
    using namespace zara::cobol;
    InputReader in(data, size);
    RecordingSortModule& m = sort_module();
    m.finding.clear();
    m.release_status = (in.byte() & 1) ? 16 : 0;
    const size_t n = in.u16() % 4096;
    const uint8_t length_choice = in.byte();
    control_ = in.take(n);
    const int32_t words[] = {static_cast<int32_t>(control_.size()), -1, 40000, 0,
                             static_cast<int32_t>(control_.size()) + 100};
    control_length_ = words[length_choice % 5];

    call_code(0);
    start("S(00001,004,C,A)R(F,00080)", 26);
    start(control_, control_length_);
    for (size_t calls = 0; finding_.empty() && m.finding.empty() && !in.empty() && calls < 2000;
         ++calls)
      step(&in);
    return finding_.empty() ? m.finding : finding_;
  }

 private:
  // One D15O37 call; checks the operations EXTSM saw and the return code.
  int32_t invoke(int32_t* function, unsigned char* area, int32_t* length, int32_t* end_flag,
                 const std::vector<uint8_t>& expected_operations) {
    RecordingSortModule& m = sort_module();
    m.operations.clear();
    const int32_t status = D15O37(function, area, length, end_flag);
    if (finding_.empty() && m.operations != expected_operations)
      finding_ = "EXTSM saw " + std::to_string(m.operations.size()) + " operations, expected " +
                 std::to_string(expected_operations.size());
    if (finding_.empty() && m.any_call && status != m.last_status)
      finding_ = "D15O37 returned " + std::to_string(status) + ", EXTSM's last status was " +
                 std::to_string(m.last_status);
    return status;
  }

  void call_code(int32_t code) {
    int32_t function = code;
    invoke(&function, area_.data(), nullptr, &end_flag_, {});
    previous_ = code;
  }

  void start(const Bytes& control, int32_t length) {
    std::fill(area_.begin(), area_.end(), ' ');
    memcpy(area_.data(), control.data(), std::min(control.size(), area_.size()));
    int32_t function = 1;
    int32_t length_word = length;
    invoke(&function, area_.data(), &length_word, &end_flag_, {zara::cobol::kOpStart});
    released_ = 0;
    returned_ = 0;
    previous_ = 1;
  }

  void release(const Bytes& record) {
    std::fill(area_.begin(), area_.end(), '.');
    memcpy(area_.data(), record.data(), record.size());
    int32_t function = 2;
    invoke(&function, area_.data(), nullptr, &end_flag_, {zara::cobol::kOpRelease});
    ++released_;
    previous_ = 2;
  }

  std::vector<uint8_t> return_operations() const {
    using namespace zara::cobol;
    if (previous_ == 3) return {kOpReturn};
    return {kOpEndOfInput, kOpReturn};
  }

  void give() {
    const std::vector<uint8_t> before = area_;
    end_flag_ = 0;
    int32_t function = 3;
    invoke(&function, area_.data(), nullptr, &end_flag_, return_operations());
    ++returned_;
    previous_ = 3;
    if (!finding_.empty()) return;
    if (released_ >= returned_) {
      const uint8_t* buffer = sort_module().buffer;
      if (end_flag_ != 0) finding_ = "end flag set while records remain";
      else if (buffer && memcmp(buffer, area_.data(), area_.size()) != 0)
        finding_ = "returned record is not the record buffer";
    } else {
      if (end_flag_ != 1) finding_ = "end flag not set after the last record";
      else if (area_ != before) finding_ = "record area changed at the end of data";
    }
  }

  void null_call(uint8_t which) {
    using namespace zara::cobol;
    int32_t function = 0;
    switch (which % 5) {
      case 0:  // no function code: an unknown function
        invoke(nullptr, area_.data(), nullptr, &end_flag_, {});
        previous_ = 0;
        break;
      case 1:  // start without a record area: an empty control string
        function = 1;
        invoke(&function, nullptr, &control_length_, &end_flag_, {kOpStart});
        released_ = returned_ = 0;
        previous_ = 1;
        break;
      case 2:  // start without a length: length 0
        function = 1;
        invoke(&function, area_.data(), nullptr, &end_flag_, {kOpStart});
        released_ = returned_ = 0;
        previous_ = 1;
        break;
      case 3:  // release without a record area
        function = 2;
        invoke(&function, nullptr, nullptr, &end_flag_, {kOpRelease});
        ++released_;
        previous_ = 2;
        break;
      default:  // return without an area or an end flag
        function = 3;
        invoke(&function, nullptr, nullptr, nullptr, return_operations());
        ++returned_;
        previous_ = 3;
        break;
    }
  }

  void step(InputReader* in) {
    const uint8_t op = in->byte() % 8;
    switch (op) {
      case 0: start(control_, control_length_); break;
      case 1:
      case 2:
      case 3: release(in->take(in->byte())); break;
      case 4:
      case 5: give(); break;
      case 6: {
        int32_t code = static_cast<int32_t>(in->byte()) - 100;
        if (code >= 1 && code <= 3) code += 100;
        call_code(code);
        break;
      }
      default: null_call(in->byte()); break;
    }
  }

  std::vector<uint8_t> area_;
  Bytes control_;
  int32_t control_length_ = 0;
  int32_t end_flag_ = 0;
  int32_t previous_ = 0;
  uint32_t released_ = 0;
  uint32_t returned_ = 0;
  std::string finding_;
};

inline bool prepare_cobol_case() { return true; }

inline std::string run_cobol_case(const uint8_t* data, size_t size) {
  CobolSession session;
  return session.run(data, size);
}

}  // namespace zara_fuzz
