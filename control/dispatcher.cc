#include "control/dispatcher.h"

#include <initializer_list>

#include "control/keyword_tables.h"
#include "control/statements.h"
#include "engine/run_state.h"

namespace zara {

// Handlers in parm_table order.
const StatementHandler parm_jump[kStatementCount] = {
    addrout_r, bypass_r,  core_r,    delimit_r, filetype_r, include_r, keyout_r,   limit_r,
    sort_r,    omit_r,    outrec_r,  pause_r,   record_r,   sort_r,    workdrive_r, altseq_r,
    equal_r,   dupout_r,  dupex_r,   dupin_r,   origin_r,   apost_r,   sum_r,      limit_r,
    append_r,  overwrite_r, openmode_r, noyield_r, ver_r,
};

namespace {

// Builds the conflict matrix from its rows: row i lists the higher flags
// that may not be set together with flag i.
struct CompatMatrix {
  uint8_t m[20][20] = {};
  constexpr void forbid(int i, std::initializer_list<int> columns) {
    for (int j : columns) m[i][j] = 1;
  }
  constexpr CompatMatrix() {
    forbid(0, {3, 6, 7, 15, 16, 19});
    forbid(1, {7, 15, 16, 19});
    forbid(2, {5});
    forbid(3, {6, 7, 15, 16, 19});
    forbid(4, {7});
    forbid(6, {15, 16, 19});
    forbid(7, {8, 10, 11, 12, 13, 15, 16, 17, 18, 19});
    forbid(8, {12, 14, 15, 16, 17, 19});
    for (int i = 10; i <= 18; ++i)
      for (int j = i + 1; j <= 19; ++j) m[i][j] = 1;
  }
};
constexpr CompatMatrix kCompat;

// Where the parse stopped: the token being examined, or the scan position
// when no token was found.
void note_error_offset() {
  const Scanner& sc = gv.scan;
  const char* at = sc.tok_found ? sc.tok_start : sc.pos;
  if (!at || !sc.begin || at < sc.begin) at = sc.begin;
  if (sc.end && at > sc.end) at = sc.end;
  gv.error_offset = at ? static_cast<uint32_t>(at - sc.begin) : 0;
}

// The settings that depend on more than one statement.
bool fill_addrout_items() {
  op.count = 1;
  op.entries[0] = OutrecItem{};
  op.entries[0].type = kItemRrn;
  op.entries[0].length = 4;
  return true;
}

bool fill_keyout_items() {
  // One RRN item and one field item per key; a delimited or NUL-terminated
  // key has no fixed bytes to copy, and 20 keys would need a 21st item.
  if (sp.count + 1 > op.capacity) return fail(kKeyoutOperand);
  for (uint32_t k = 0; k < sp.count; ++k) {
    const uint32_t len = sp.entries[k].key_len;
    if (len == kDelimitedField || len == kNulTerminated) return fail(kKeyoutOperand);
  }
  op.entries[0] = OutrecItem{};
  op.entries[0].type = kItemRrn;
  op.entries[0].length = 4;
  for (uint32_t k = 0; k < sp.count; ++k) {
    OutrecItem& item = op.entries[k + 1];
    item = OutrecItem{};
    item.type = kItemField;
    item.position = sp.entries[k].key_pos;
    item.length = sp.entries[k].key_len;
  }
  op.count = sp.count + 1;
  return true;
}

bool set_up_sum() {
  if (cpnm[kOptDupout] || cpnm[kOptDupin] || cpnm[kOptDupex]) return fail(kSumWithDup);
  if (!cp[kCpSort]) return fail(kSumWithoutSort);
  for (uint32_t k = 0; k < sp.count; ++k) {
    du.entries[k].dup_pos = sp.entries[k].key_pos;
    du.entries[k].dup_len = sp.entries[k].key_len;
  }
  du.count = sp.count;
  cpnm[kOptDupout] = 1;
  gv.hold_active = 1;
  gv.hold_area_size = 2000;
  return true;
}

}  // namespace

const uint8_t (&compat_m)[20][20] = kCompat.m;

bool check_matrix() {
  if (gv.alt_key_seen && !cpnm[kOptAltseq]) return fail(kAltWithoutAltseq);
  for (int i = 0; i < kCpCount; ++i) {
    if (!cp[i]) continue;
    for (int j = i + 1; j < kCpCount; ++j)
      if (cp[j] && compat_m[i][j]) return fail(conflict_status(i, j));
  }
  return true;
}

bool overall_r() {
  if (!check_matrix()) return false;
  if (cp[kCpRaat] && cp[kCpSort] && cp[kCpOutrec]) return fail(kRaatSortOutrec);
  if (gv.bypass_given) gv.header_skip = gv.record_length;
  if (cp[kCpAddrout]) {
    cp[kCpOutrec] = 1;
    fill_addrout_items();
  }
  if (cp[kCpRecord] && !cp[kCpFileType + kFe]) {
    cp[kCpFileType + kFix] = 1;
    gv.file_type = kFix;
  }
  if (cp[kCpFileType + kFe] && !cp[kCpRecord]) return fail(kFeWithoutRecord);
  if (cp[kCpKeyout]) {
    cp[kCpOutrec] = 1;
    if (!fill_keyout_items()) return false;
  }
  if (cpnm[kOptSum] && !set_up_sum()) return false;
  return true;
}

bool s_ctrl() {
  gv.alt_key_seen = 0;
  gv.error_offset = kNoErrorOffset;
  Scanner& sc = gv.scan;
  sc.reset(gv.control_text, gv.control_length);
  for (;;) {
    if (!s_gettok(sc, kStatementDelims)) break;
    if (sc.tok_len > 0 && static_cast<uint8_t>(sc.tok_start[0]) == 0x1A) break;
    const char* keyword = sc.tok_start;
    uint32_t index = 0;
    if (!s_match(sc, parm_table, &index)) {
      gv.error_offset = static_cast<uint32_t>(keyword - sc.begin);
      return fail(kBadKeyword);
    }
    if (!parm_jump[index]()) {
      note_error_offset();
      return false;
    }
  }
  if (!overall_r()) {
    // A cross-statement conflict points at the end of the text.
    gv.error_offset = gv.control_length;
    return false;
  }
  return true;
}

}  // namespace zara
