#include "cobol/sort_statement.h"

#include <cstring>

#include "cobol/sort_module.h"

namespace zara::cobol {
namespace {

// "SORT(" + ")" and per key up to "32768,32767,CH,D" with a comma before it.
static_assert(6 + kMaxKeys * 17 <= kSortStatementCapacity);

// Appends to a buffer whose capacity the caller has sized for the worst case.
class TextOut {
 public:
  explicit TextOut(char* text) : text_(text) {}
  void put(const char* s) {
    const size_t n = strlen(s);
    memcpy(text_ + length_, s, n);
    length_ += n;
  }
  void put(uint32_t number) {
    char digits[10];
    size_t n = 0;
    do {
      digits[n++] = static_cast<char>('0' + number % 10);
      number /= 10;
    } while (number != 0);
    while (n > 0) text_[length_++] = digits[--n];
  }
  size_t length() const { return length_; }

 private:
  char* text_;
  size_t length_ = 0;
};

const char* type_name(uint8_t type) {
  switch (type) {
    case kTypeBinary: return "BI";
    case kTypePacked: return "PD";
    case kTypeZoned: return "ZD";
    default: return "CH";
  }
}

uint32_t key_position(uint32_t offset) {
  const uint32_t position = offset + 1;  // 0xFFFFFFFF (position 0) wraps to 0
  return position > kRecordAreaSize + 1 ? kRecordAreaSize + 1 : position;
}

uint32_t key_length(uint32_t length) {
  return length > kRecordAreaSize ? kRecordAreaSize : length;
}

// Number of key entries that may be read: the count the block states, cut to
// kMaxKeys and to the entries that fit in the part of the block in use.
uint32_t readable_keys(const uint8_t* block) {
  size_t in_use = get_be16(block + kKbInUse);
  if (in_use > kKeyBlockSize) in_use = kKeyBlockSize;
  const size_t first = get_be16(block + kKbFirstEntry);
  if (first > in_use) return 0;
  size_t count = get_be16(block + kKbKeyCount);
  if (count > kMaxKeys) count = kMaxKeys;
  const size_t fitting = (in_use - first) / kKeyEntrySize;
  return static_cast<uint32_t>(count < fitting ? count : fitting);
}

}  // namespace

size_t sort_statement(const uint8_t* key_block, char* text) {
  const uint32_t count = key_block ? readable_keys(key_block) : 0;
  if (count == 0) return 0;
  const uint8_t* entry = key_block + get_be16(key_block + kKbFirstEntry);
  TextOut out(text);
  out.put("SORT(");
  for (uint32_t k = 0; k < count; ++k, entry += kKeyEntrySize) {
    if (k > 0) out.put(",");
    out.put(key_position(get_be32(entry + kKeOffset)));
    out.put(",");
    out.put(key_length(get_be32(entry + kKeLength)));
    out.put(",");
    out.put(type_name(entry[kKeType]));
    out.put(entry[kKeDirection] == kDirAscending ? ",A" : ",D");
  }
  out.put(")");
  return out.length();
}

}  // namespace zara::cobol
