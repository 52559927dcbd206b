// The memory arena: every block a run uses, taken once from the CORE budget.
//
// The budget is cut into equal parts: one output buffer, a record table of
// ten parts (at most 2,092,768 bytes, capacity = size / 16 descriptors) and
// file_limit - 2 sort buffers. When memory is short the part size is halved;
// more than 60 % of the sort buffers is accepted (file_limit lowered).
#pragma once

#include <cstdint>

namespace zara {

constexpr uint32_t kMaxPartSize = 2092768;

// Part size for a CORE value and a file limit (before any halving).
uint32_t arena_part_size(uint32_t core_kb, uint32_t file_limit);
// Allocates the arena. False with status 225.
bool s_alloc();
// Makes the next sort buffer current. False when none is left (no status).
bool read_gda();
// Frees every block of the arena (idempotent).
void arena_free();

}  // namespace zara
