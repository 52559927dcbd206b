// SORT and MERGE: the key list (p,l,t,d, ...) or (#n,t,d, ...) closed by
// ')'. Both statements fill the key table `sp` the same way.
#include <cctype>

#include "control/keyword_tables.h"
#include "control/item_list.h"
#include "control/statements.h"
#include "engine/run_state.h"

namespace zara {

namespace {

// MBF numbers have fixed sizes: a single is 4 bytes, a double 8.
bool mbf_length_ok(uint8_t type, uint32_t length) {
  if (type == kSp) return length == 4;
  if (type == kDp) return length == 8;
  return true;
}

// Reads one key into `key`. False with a status.
bool read_key(Scanner& sc, KeyField& key) {
  if (!s_gettok(sc, kStatementDelims)) return fail(kSortTextEnds);
  if (sc.tok_len > 0 && sc.tok_start[0] == '#') {
    const int32_t n = token_atoi(sc.tok_start + 1, sc.tok_len - 1);
    if (n <= 0) return fail(kBadPosition);
    key.key_pos = static_cast<uint32_t>(n);
    key.key_len = kDelimitedField;
  } else {
    const int32_t pos = tok_atoi(sc);
    // A negative position would address bytes before the record.
    if (pos <= 0) return fail(kBadPosition);
    key.key_pos = static_cast<uint32_t>(pos);
    if (!s_gettok(sc, kStatementDelims)) return fail(kBadLength);
    if (sc.tok_len > 0 && std::toupper(static_cast<unsigned char>(sc.tok_start[0])) == 'Z') {
      key.key_len = kNulTerminated;
    } else {
      const int32_t len = tok_atoi(sc);
      if (len <= 0) return fail(kBadLength);
      key.key_len = static_cast<uint32_t>(len);
    }
  }
  uint32_t index = 0;
  if (!s_gettok(sc, kStatementDelims) || !s_match(sc, sort_fieldtypes, &index))
    return fail(kBadFieldType);
  key.key_type = static_cast<uint8_t>(index);
  if (!mbf_length_ok(key.key_type, key.key_len)) return fail(kBadLength);
  if (key.key_type == kAlt) gv.alt_key_seen = 1;
  if (!s_gettok(sc, kStatementDelims) || !s_match(sc, direction_table, &index))
    return fail(kBadDirection);
  key.key_dir = static_cast<uint8_t>(index);
  return true;
}

}  // namespace

bool sort_r() {
  cp[kCpSort] = 1;
  Scanner& sc = gv.scan;
  return read_item_list(sc, sp, read_key);
}

}  // namespace zara
