// DUPOUT, DUPEX and DUPIN: each sets its option flag and reads the list of
// duplicate fields into `du` (dupparm_r).
//
// Without a list, or with a list of only a B option, whole records are
// compared (one field: position 1, to the record's end). A list item is
// "Bn" (the hold area size), "#n" (delimited field n), "p l" or "p E"
// (to the record's end; the length 17733 means the same). At most 19
// fields. Statuses: 10056 (no token where an item must begin), 202 (a
// position or field number of 0 or not a number), 203 (no length, or a
// length of 0 or not a number), 206 (a 20th field).
#include <cctype>

#include "control/statements.h"
#include "engine/run_state.h"
#include "select/duplicates.h"

namespace zara {

namespace {

constexpr uint32_t kDefaultHoldSize = 1000;

// The hold area size of "Bn". The value is taken as the unsigned word it
// is stored in (so B-1 asks for the largest area) and capped, so that the
// arena never tries an absurd allocation; 0 holds no record at all.
uint32_t hold_size_operand(const Scanner& sc) {
  const uint32_t n = static_cast<uint32_t>(token_atoi(sc.tok_start + 1, sc.tok_len - 1));
  return n < kMaxHoldAreaSize ? n : kMaxHoldAreaSize;
}

bool is_letter(const Scanner& sc, char upper) {
  return sc.tok_len > 0 && std::toupper(static_cast<unsigned char>(sc.tok_start[0])) == upper;
}

// A field item whose first token is already read.
bool read_dup_field(Scanner& sc, DupField& field) {
  if (sc.tok_start[0] == '#') {
    const int32_t n = token_atoi(sc.tok_start + 1, sc.tok_len - 1);
    if (n <= 0) return fail(kBadPosition);
    field.dup_pos = static_cast<uint32_t>(n);
    field.dup_len = kDelimitedField;
    return true;
  }
  const int32_t position = tok_atoi(sc);
  if (position <= 0) return fail(kBadPosition);
  field.dup_pos = static_cast<uint32_t>(position);
  if (!s_gettok(sc, kStatementDelims)) return fail(kBadLength);
  if (is_letter(sc, 'E')) {
    field.dup_len = kToRecordEnd;
    return true;
  }
  const int32_t length = tok_atoi(sc);
  if (length <= 0) return fail(kBadLength);
  field.dup_len = static_cast<uint32_t>(length);
  return true;
}

bool dupparm_r() {
  Scanner& sc = gv.scan;
  gv.hold_active = 1;
  gv.hold_area_size = kDefaultHoldSize;
  du.entries[0] = DupField{1, kToRecordEnd};
  du.count = 1;
  if (!find_parenl(sc)) return true;
  uint32_t count = 0;
  for (;;) {
    if (!s_gettok(sc, kStatementDelims)) return fail(kDupOperand);
    if (is_letter(sc, 'B')) {
      gv.hold_area_size = hold_size_operand(sc);
    } else {
      if (!read_dup_field(sc, du.entries[count])) return false;
      if (++count == du.capacity) return fail(kTableFull);
    }
    if (find_parenr(sc)) break;
  }
  du.count = count > 0 ? count : 1;
  return true;
}

}  // namespace

bool dupout_r() {
  cpnm[kOptDupout] = 1;
  return dupparm_r();
}

bool dupex_r() {
  cpnm[kOptDupex] = 1;
  return dupparm_r();
}

bool dupin_r() {
  cpnm[kOptDupin] = 1;
  return dupparm_r();
}

}  // namespace zara
