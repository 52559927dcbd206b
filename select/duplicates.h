// Duplicate processing (DUPOUT, DUPEX, DUPIN and SUM): one record is held
// back in the hold area and each next record is compared with it over the
// duplicate fields of `du`; what reaches the output depends on the kind.
//
// The exported C routines (zara15z37.h):
//   dupcheck(record, length, sequence, fourth): one record on its way to the
//     output or to the record-at-a-time caller. Returns 0, or 1 when a write
//     or the hold failed (status set). Leaves gv.dup_result: 0 the caller
//     writes the record itself (processing off, or work-file output); 1 the
//     record was held, dropped or summed, and whatever had to be written
//     was written; 2 (record at a time) the held record was copied to the
//     caller's buffer instead. With gv.flush_held set it is the final flush:
//     the held record is written if its group qualifies, gv.hold_flushed is
//     set, and the record passed is ignored.
//   dc_check_fields(record, length): 1 (and dup_count + 1) when the record
//     equals the held record over every duplicate field, else 0.
//   dc_fill_hold(record, length, sequence): makes it the held record;
//     status 256 when it is longer than gv.hold_area_size.
//   hold_area_info: address (the hold area), length, sequence of the held
//     record.
//
// Kinds: DUPIN if its flag is set, else DUPEX, else DUPOUT (also SUM). A
// group of equal records is written as: DUPOUT its first record when the
// group has at least min_dup_count members (with SUM, the SUM fields of the
// others added into it); DUPEX its record when it has one member; DUPIN
// every member when it has two or more.
//
// The held record survives between calls (and memory loads) until the
// flush; nothing is held while records go to work files.
#pragma once

#include <cstdint>

namespace zara {

// The largest hold area a B option can ask for.
constexpr uint32_t kMaxHoldAreaSize = 32u * 1024 * 1024;

// Writes the held record (s_movrecb), or in a record-at-a-time run copies
// it to the caller's buffer and sets dup_result 2. False on a write failure.
bool dc_mvrec();

}  // namespace zara
