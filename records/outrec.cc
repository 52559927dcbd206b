// The reformatted record: the OUTREC items of `op` laid out one after
// another (see outrec.h for what each item places).
#include "records/outrec.h"

#include <cstdio>
#include <cstring>

#include "engine/run_state.h"
#include "records/byte_order.h"

namespace zara {

namespace {

// Bytes an item puts into the reformatted form of a record `length` long.
uint32_t item_length(const OutrecItem& item, uint32_t length) {
  if (item.type != kItemToEnd) return item.length;
  // Position p starts at offset p - 1; nothing is left when p - 1 >= length.
  return item.position <= length ? length - item.position + 1 : 0;
}

uint32_t saturating_add(uint32_t a, uint32_t b) {
  return b > kOutrecLengthLimit - a ? kOutrecLengthLimit : a + b;
}

// `count` bytes of the record from `offset`; bytes past its end are blanks.
void place_field(uint8_t* out, const uint8_t* record, uint32_t length, uint32_t offset,
                 uint32_t count) {
  const uint32_t available = offset < length ? length - offset : 0;
  const uint32_t copied = count < available ? count : available;
  if (copied > 0) memcpy(out, record + offset, copied);
  if (count > copied) memset(out + copied, 0x20, count - copied);
}

// The first 7 characters of `value` printed with at least 7 digits.
void place_seven_digits(uint8_t* out, uint32_t value) {
  char text[24];
  snprintf(text, sizeof text, "%.7lu", static_cast<unsigned long>(value));
  memcpy(out, text, 7);
}

}  // namespace

uint32_t outrec_length(const uint8_t* /*record*/, uint32_t length) {
  uint32_t total = 0;
  for (uint32_t i = 0; i < op.count && i < op.capacity; ++i)
    total = saturating_add(total, item_length(op.entries[i], length));
  return total;
}

void outrec_place(uint8_t* out, const uint8_t* record, uint32_t length, uint32_t sequence) {
  const uint32_t total = outrec_length(record, length);
  for (uint32_t i = 0; i < op.count && i < op.capacity; ++i) {
    const OutrecItem& item = op.entries[i];
    const uint32_t n = item_length(item, length);
    switch (item.type) {
      case kItemField:
      case kItemToEnd:
        place_field(out, record, length, item.position - 1, n);
        break;
      case kItemLiteral:
        memcpy(out, item.data, n <= sizeof item.data ? n : sizeof item.data);
        break;
      case kItemRecl:
        put_le(out, total - 2, 2);
        break;
      case kItemRrn:
      case kItemRba:
        put_le(out, sequence, 4);
        break;
      case kItemDupc:
        place_seven_digits(out, gv.dup_count);
        break;
      case kItemArrn:
        place_seven_digits(out, sequence);
        break;
      default:  // BT-R, HL-R
        memset(out, 0, n);
        break;
    }
    out += n;
  }
}

}  // namespace zara
