// dupcheck and its steps: holding a record, comparing with it, and writing
// or delivering it (see duplicates.h).
#include "select/duplicates.h"

#include <cstring>

#include "compare/compare.h"
#include "engine/run_state.h"
#include "records/field_location.h"
#include "records/output.h"
#include "zara15z37.h"

extern "C" {
ZARA_API struct zara_hold_area_info hold_area_info = {nullptr, 0, 0, 0};
}

namespace zara {

namespace {

enum class DupKind { kOut, kEx, kIn };

DupKind dup_kind() {
  if (cpnm[kOptDupin]) return DupKind::kIn;
  if (cpnm[kOptDupex]) return DupKind::kEx;
  return DupKind::kOut;
}

// A duplicate field of one record. A field to the record's end is the
// positional field of length (record length - position + 1); lengths that
// the field locator reads as another kind of reference (0, 65535) are
// passed one byte longer, which its clipping to the record's end undoes.
Field locate(const DupField& f, const uint8_t* record, uint32_t length) {
  if (f.dup_len != kToRecordEnd) return s_movptr(record, length, f.dup_pos, f.dup_len);
  uint32_t to_end = f.dup_pos <= length ? length - f.dup_pos + 1 : 0;
  if (to_end == kDelimitedField || to_end == kNulTerminated) ++to_end;
  return s_movptr(record, length, f.dup_pos, to_end);
}

// Whether the held record of the group is written when the group ends.
bool group_written(DupKind kind) {
  switch (kind) {
    case DupKind::kOut: return gv.dup_count >= gv.min_dup_count;
    case DupKind::kEx: return gv.dup_count < 2;
    case DupKind::kIn: return gv.dup_count > 1;
  }
  return false;
}

bool hold(const uint8_t* record, uint32_t length, uint32_t sequence) {
  return dc_fill_hold(record, length, sequence) == 0;
}

// The current record equals the held one.
bool on_duplicate(DupKind kind, const uint8_t* record, uint32_t length, uint32_t sequence) {
  switch (kind) {
    case DupKind::kOut:
      if (cpnm[kOptSum]) sum_fields(record, length, sequence, 0);
      return true;
    case DupKind::kEx:
      return true;
    case DupKind::kIn:
      if (!dc_mvrec() || !hold(record, length, sequence)) return false;
      gv.dup_count = 2;
      return true;
  }
  return true;
}

// The current record starts a new group: the held group ends.
bool on_new_group(DupKind kind, const uint8_t* record, uint32_t length, uint32_t sequence) {
  if (group_written(kind) && !dc_mvrec()) return false;
  return hold(record, length, sequence);
}

int flush_held_record() {
  gv.flush_held = 0;
  gv.dup_result = 0;
  if (gv.hold_active && !gv.to_work_file) {
    gv.hold_flushed = 1;
    if (gv.hold_filled) {
      gv.hold_filled = 0;
      if (group_written(dup_kind())) {
        if (!dc_mvrec()) return 1;
        gv.give_done = 0;
      }
    }
  }
  if (gv.dup_result != 2) gv.dup_result = 1;
  return 0;
}

}  // namespace

bool dc_mvrec() {
  const uint8_t* held = static_cast<const uint8_t*>(hold_area_info.address);
  const uint32_t length = hold_area_info.length;
  if (!cp[kCpRaat]) return s_movrecb(held, length, hold_area_info.sequence);
  if (gv.caller_record && length > 0) memcpy(gv.caller_record, held, length);
  if (gv.caller_record_length) *gv.caller_record_length = length;
  gv.dup_result = 2;
  return true;
}

}  // namespace zara

using namespace zara;

extern "C" int dc_fill_hold(const uint8_t* record, uint32_t length, uint32_t sequence) {
  gv.dup_count = 1;
  if (gv.hold_area == nullptr || length > gv.hold_area_size) {
    fail(kHoldTooSmall);
    return 1;
  }
  if (length > 0) memmove(gv.hold_area, record, length);
  hold_area_info.address = gv.hold_area;
  hold_area_info.length = length;
  hold_area_info.sequence = sequence;
  hold_area_info.reserved = 0;
  gv.hold_filled = 1;
  return 0;
}

extern "C" int dc_check_fields(const uint8_t* record, uint32_t length) {
  const uint8_t* held = static_cast<const uint8_t*>(hold_area_info.address);
  const uint32_t held_length = hold_area_info.length;
  if (record == nullptr || held == nullptr) {  // nothing to compare with
    gv.dup_result = 0;
    return 0;
  }
  for (uint32_t i = 0; i < du.count && i < du.capacity; ++i) {
    const Field a = locate(du.entries[i], record, length);
    const Field b = locate(du.entries[i], held, held_length);
    if (compchar(a.addr, a.len, b.addr, b.len) != kEqual) {
      gv.dup_result = 0;
      return 0;
    }
  }
  ++gv.dup_count;
  gv.dup_result = 1;
  return 1;
}

extern "C" int dupcheck(const uint8_t* record, uint32_t length, uint32_t sequence,
                        uint32_t /*fourth*/) {
  if (gv.flush_held) return flush_held_record();
  gv.dup_result = 0;
  if (!gv.hold_active || gv.to_work_file) return 0;
  if (!gv.hold_filled) {
    if (!hold(record, length, sequence)) return 1;
    gv.dup_result = 1;
    return 0;
  }
  const DupKind kind = dup_kind();
  const bool duplicate = dc_check_fields(record, length) == 1;
  gv.dup_result = 0;
  const bool ok = duplicate ? on_duplicate(kind, record, length, sequence)
                            : on_new_group(kind, record, length, sequence);
  if (!ok) return 1;
  if (gv.dup_result != 2) gv.dup_result = 1;
  return 0;
}
