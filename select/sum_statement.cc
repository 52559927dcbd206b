// The SUM statement: "(p,l,t, ...)" into the SUM field table `su`.
//
// SUM alone, or "()", names no field: groups are still collapsed to their
// first record. Statuses: 10062 (no token where a field must begin), 202
// (a field by number, or a position of 0 or not a number), 203 (no length,
// a length of 0, or one longer than the type's largest), 204 (no type or
// not a SUM type), 206 (20 fields stored and the list goes on).
#include "control/item_list.h"
#include "control/keyword_tables.h"
#include "control/statements.h"
#include "engine/run_state.h"
#include "select/sum.h"

namespace zara {

namespace {

bool read_sum_field(Scanner& sc, SumField& field) {
  if (!s_gettok(sc, kStatementDelims)) return fail(kSumOperand);
  if (sc.tok_len > 0 && sc.tok_start[0] == '#') return fail(kBadPosition);
  const int32_t position = tok_atoi(sc);
  if (position <= 0) return fail(kBadPosition);
  if (!s_gettok(sc, kStatementDelims)) return fail(kBadLength);
  const int32_t length = tok_atoi(sc);
  if (length <= 0) return fail(kBadLength);
  uint32_t type = 0;
  if (!s_gettok(sc, kStatementDelims) || !s_match(sc, sum_fieldtypes, &type))
    return fail(kBadFieldType);
  // The work areas of the addition routines hold no longer field.
  if (static_cast<uint32_t>(length) > sum_max_length[type]) return fail(kBadLength);
  field.sum_pos = static_cast<uint32_t>(position);
  field.sum_len = static_cast<uint32_t>(length);
  field.sum_type = static_cast<uint8_t>(type);
  return true;
}

}  // namespace

bool sum_r() {
  cpnm[kOptSum] = 1;
  Scanner& sc = gv.scan;
  su.count = 0;
  if (!find_parenl(sc) || find_parenr(sc)) return true;
  return read_item_list(sc, su, read_sum_field);
}

}  // namespace zara
