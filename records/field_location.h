// Field location: turns a field reference (position, length) into the
// address and length of the field's bytes in one record.
//
// length 0: the position-th delimited field (gv.field_delimiter, quoted
// stretches between gv.field_quote bytes); 65535: from the position to the
// first NUL or the record's end; otherwise a positional field, clipped to
// the record's end. Positions skip the length prefixes of VS, RV and CVS
// (gv.file_type, gv.prefix_width); delimited fields are counted from the
// record's first byte. The result never lies outside the record; it may be
// empty (a reference that does not fit the record gives a shorter or empty
// field, never a failure).
#pragma once

#include <cstdint>

namespace zara {

struct Field {
  const uint8_t* addr;
  uint32_t len;
};

Field s_movptr(const uint8_t* record, uint32_t record_length, uint32_t position,
               uint32_t length);

}  // namespace zara
