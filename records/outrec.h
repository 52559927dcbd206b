// OUTREC reformatting: the item list and the reformatted record.
#pragma once

#include <cstdint>

namespace zara {

// Length of the reformatted form of a record (E items take the record's
// length - position + 1).
uint32_t outrec_length(const uint8_t* record, uint32_t length);
// Places the reformatted record (outrec_length bytes) at `out`.
void outrec_place(uint8_t* out, const uint8_t* record, uint32_t length,
                  uint32_t sequence);

}  // namespace zara
