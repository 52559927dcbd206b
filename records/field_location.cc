// s_movptr: a field reference (position, length) resolved against one
// record, for the file type in gv.file_type. Every result lies inside the
// record (an empty field may sit at its end).
#include "records/field_location.h"

#include <cstring>

#include "engine/run_state.h"

namespace zara {

namespace {

// Added with gv.prefix_width to a 1-based position to give the offset of
// the field's first byte: VS data follows a 2-byte prefix, RV and CVS data
// a prefix of prefix_width bytes, the other types have none.
constexpr int32_t kAdditionalOffset[kFileTypeCount] = {-1, -1, -1, +1, -1, -1, -1, -1, -1, -1};

// Offset of the first byte of the positional field at `position`, or -1
// when it would lie before the record.
int64_t field_offset(uint32_t position) {
  const int32_t additional = gv.file_type < kFileTypeCount ? kAdditionalOffset[gv.file_type] : -1;
  const int64_t offset = int64_t{additional} + position + gv.prefix_width;
  return offset < 0 ? -1 : offset;
}

Field positional(const uint8_t* record, uint32_t record_length, uint32_t position,
                 uint32_t length) {
  const int64_t offset = field_offset(position);
  if (offset < 0) return {record, 0};
  if (offset >= record_length) return {record + record_length, 0};
  const uint32_t start = static_cast<uint32_t>(offset);
  const uint32_t room = record_length - start;
  return {record + start, length < room ? length : room};
}

// From the position to the first NUL (not counted) or the record's end.
Field nul_terminated(const uint8_t* record, uint32_t record_length, uint32_t position) {
  const int64_t offset = field_offset(position);
  if (offset < 0) return {record, 0};
  if (offset >= record_length) return {record + record_length, 0};
  const uint32_t start = static_cast<uint32_t>(offset);
  const uint32_t room = record_length - start;
  const void* nul = memchr(record + start, 0, room);
  const uint32_t length =
      nul ? static_cast<uint32_t>(static_cast<const uint8_t*>(nul) - (record + start)) : room;
  return {record + start, length};
}

// Moves `pos` past the next delimiter outside a quoted stretch. False when
// the scan reaches `limit` (the record's last byte) first.
bool scan_4_delim(const uint8_t* record, uint32_t limit, uint8_t delimiter, uint8_t quote,
                  uint32_t& pos) {
  if (pos > limit) return false;
  for (;;) {
    const uint8_t c = record[pos];
    if (c == quote) {
      do {
        if (++pos >= limit) return false;
      } while (record[pos] != quote);
    } else if (c == delimiter) {
      ++pos;
      return true;
    }
    if (++pos >= limit) return false;
  }
}

// Bytes from `pos` up to the terminator. The first byte is examined even on
// the limit byte; later bytes stop before the limit.
uint32_t len_2_delim(const uint8_t* record, uint32_t limit, uint8_t terminator, uint32_t pos) {
  uint32_t length = 0;
  while (record[pos] != terminator) {
    ++length;
    if (++pos >= limit) break;
  }
  return length;
}

// The number-th field (from 1) of a record of delimited fields, scanned
// from the record's first byte. A field that does not exist is empty.
Field delimited(const uint8_t* record, uint32_t record_length, uint32_t number) {
  if (number == 0 || record_length == 0) return {record, 0};
  const uint32_t limit = record_length - 1;
  const uint8_t delimiter = gv.field_delimiter;
  const uint8_t quote = gv.field_quote;
  uint32_t pos = 0;
  for (uint32_t field = 1; field < number; ++field) {
    if (!scan_4_delim(record, limit, delimiter, quote, pos)) return {record, 0};
  }
  uint8_t terminator = delimiter;
  if (pos <= limit && record[pos] == quote) {
    ++pos;
    terminator = quote;
  }
  if (pos > limit) return {record + record_length, 0};
  return {record + pos, len_2_delim(record, limit, terminator, pos)};
}

}  // namespace

Field s_movptr(const uint8_t* record, uint32_t record_length, uint32_t position,
               uint32_t length) {
  if (length == kDelimitedField) return delimited(record, record_length, position);
  if (length == kNulTerminated) return nul_terminated(record, record_length, position);
  return positional(record, record_length, position, length);
}

}  // namespace zara
