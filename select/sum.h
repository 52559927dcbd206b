// SUM fields: addition of a field of the current record into the same field
// of the held record, one routine per SUM field type.
#pragma once

#include <cstdint>

namespace zara {

// (current record, offset of the field, its length); the held record is the
// hold area.
using SumFn = void (*)(const uint8_t* record, uint32_t offset, uint32_t length);
extern const SumFn sum_jump[9];
// Largest field length per SUM field type.
extern const uint32_t sum_max_length[9];

}  // namespace zara
