// Fuzz program "cobol": D15O37 calls against a recording EXTSM that checks the descriptor and key block and
// gives the released records back first in, first out. Byte 0: bit 0 makes releases return 16, the rest
// (modulo 5) picks the length word of the string (its length, -1, 40000, 0, length + 100); bytes 1-2 its
// length (modulo 4096), then the string. Then opcode bytes (modulo 8): 0 start, 1-3 release (a length
// byte, the record), 4-5 return, 6-7 an unknown code (the next byte - 100).
#include <deque>

#include "cobol/sort_module.h"
#include "cobol/sort_statement.h"
#include "fuzz/harness.h"

extern "C" int32_t D15O37(int32_t* function_code, unsigned char* area, int32_t* length, int32_t* end_flag);

namespace cobol_case {
using namespace zara_fuzz;
using namespace zara::cobol;

std::vector<uint8_t> operations;  // EXTSM's, during the current D15O37 call
std::deque<Bytes> queue;          // released record buffers
int32_t release_status, last_status;
uint8_t* buffer;                  // the record buffer of the latest call
std::string finding;

// Empty when the descriptor and key block are zero but for their fields, and these agree.
std::string check(const uint8_t* d, const uint8_t* block) {
  for (size_t i = 0; i < kDescriptorSize; ++i)  // lengths at 38 and 48, two addresses from 56
    if (d[i] && i / 2 != 19 && i / 2 != 24 && (i < 56 || i >= 72 || (i - 56) % 8 >= sizeof(void*))) return "descriptor byte set";
  const uint32_t keys = get_be16(block + kKbKeyCount), in_use = kKeyBlockHeader + kKeyEntrySize * keys;
  if (get_be16(d + kDescRecordLength) != get_be16(d + kDescRecordLength2) || keys > kMaxKeys ||
      get_be16(block + kKbInUse) != in_use || get_be16(block + kKbOne) != 1 || get_be16(block + kKbFirstEntry) != 30)
    return "descriptor or key block header wrong";
  for (size_t i = 2; i < kKeyBlockSize; ++i)
    if (block[i] && (i < kKeyBlockHeader ? i != 7 && i != 15 && i != 17 : i >= in_use)) return "key block byte set";
  for (const uint8_t* e = block + kKeyBlockHeader; e < block + in_use; e += kKeyEntrySize)
    if ((e[0] != kDirAscending && e[0] != kDirDescending) || !memchr("\x00\x33\x23\x31", e[1], 4)) return "key entry wrong";
  char text[kSortStatementCapacity];
  return (sort_statement(block, text) == 0) == (keys == 0) ? "" : "the SORT statement does not match the keys";
}

extern "C" int32_t EXTSM(unsigned char* function_block, unsigned char* descriptor) {
  const uint8_t* block;
  memcpy(&buffer, descriptor + kDescRecordBuffer, sizeof buffer), memcpy(&block, descriptor + kDescKeyBlock, sizeof block);
  if (function_block[0] != kFunctionMark || !buffer || !block) return finding = "EXTSM called wrongly", kBadSortCall;
  if (finding.empty()) finding = check(descriptor, block);
  const uint8_t op = function_block[1];
  operations.push_back(op);
  if (op == kOpStart) queue.clear();
  if (op == kOpRelease) queue.emplace_back(reinterpret_cast<char*>(buffer), kRecordAreaSize);
  last_status = op == kOpRelease ? release_status : op == kOpReturn && queue.empty();
  if (op == kOpReturn && !queue.empty()) memcpy(buffer, queue.front().data(), kRecordAreaSize), queue.pop_front();
  return last_status;
}

std::vector<uint8_t> area(kRecordAreaSize);
int32_t previous;
uint32_t released, returned;

// One D15O37 call: EXTSM must see the operations it implies and the module return EXTSM's status; a return
// copies the record buffer while releases outnumber earlier returns, else only sets the end flag.
void call(int32_t code, const Bytes& text = "", char pad = ' ', int32_t length = 0) {
  if (code == 1 || code == 2) std::fill(area.begin(), area.end(), pad), std::copy(text.begin(), text.end(), area.begin());
  const std::vector<uint8_t> before = code == 3 ? area : std::vector<uint8_t>();
  std::vector<uint8_t> expected = {code == 1 ? kOpStart : kOpRelease};
  if (code == 3 && previous != 3) expected = {kOpEndOfInput, kOpReturn};
  if (code == 3 && previous == 3) expected = {kOpReturn};
  if (code < 1 || code > 3) expected.clear();
  int32_t end_flag = 0;
  operations.clear();
  if (D15O37(&code, area.data(), &length, &end_flag) != last_status || operations != expected) finding = "EXTSM saw other operations";
  released = code == 1 ? 0 : released + (code == 2);
  returned = code == 1 ? 0 : returned + (code == 3);
  if (code == 3 && (returned <= released ? end_flag || memcmp(buffer, area.data(), area.size()) : end_flag != 1 || area != before))
    finding = "a return copied no record, or more than flagged the end";
  previous = code;
}

std::string run(const uint8_t* data, size_t size) {
  Input in{data, size};
  const uint8_t flags = in.byte();
  const Bytes text = in.take(in.u16() % 4096);
  const int32_t n = static_cast<int32_t>(text.size()), words[] = {n, -1, 40000, 0, n + 100}, length = words[flags / 2 % 5];
  release_status = flags & 1 ? 16 : 0, finding.clear(), previous = 0;  // no return pending
  call(1, "S(00001,004,C,A)R(F,00080)", ' ', 26);
  call(1, text, ' ', length);
  for (int calls = 0; finding.empty() && !in.empty() && calls < 2000; ++calls) {
    const uint8_t op = in.byte() % 8;
    if (op == 0) call(1, text, ' ', length);
    if (op >= 1 && op <= 3) call(2, in.take(in.byte()), '.');
    if (op == 4 || op == 5) call(3);
    if (const int32_t code = op >= 6 ? in.byte() - 100 : 0; op >= 6) call(code >= 1 && code <= 3 ? code + 100 : code);
  }
  return finding;
}

}  // namespace cobol_case

ZARA_FUZZ_CASE(cobol_case::run)
