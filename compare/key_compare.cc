// s_compp: the order of two records by the key table `sp`, and the table of
// per-type routines it dispatches through.
#include "compare/compare.h"
#include "records/field_location.h"

namespace zara {

const CompareFn comp_jump[kFieldTypeCount] = {
    compchar,    // CHA
    compalpha,   // ALP
    compchar,    // SU
    compsli,     // SLI
    compnum,     // NUM
    compzoned,   // STI
    compts,      // STS
    compzoned,   // ZD
    compts,      // T
    compint,     // INT
    comppacked,  // PD
    compbin,     // BIN
    compalt,     // ALT
    compieee,    // E
    compw,       // W
    compspdp,    // SP
    compspdp,    // DP
    compfi,      // FI
    compieee,    // FL
};

int s_compp(const RecordDesc* a, const RecordDesc* b) {
  const uint32_t count = sp.count < sp.capacity ? sp.count : sp.capacity;
  for (uint32_t k = 0; k < count; ++k) {
    const KeyField& key = sp.entries[k];
    if (key.key_type >= kFieldTypeCount) continue;  // not produced by the key parser
    const Field fa = s_movptr(a->addr, a->len, key.key_pos, key.key_len);
    const Field fb = s_movptr(b->addr, b->len, key.key_pos, key.key_len);
    const int outcome = comp_jump[key.key_type](fa.addr, fa.len, fb.addr, fb.len);
    if (outcome == kEqual) continue;
    const int ascending = outcome == kFirstGreater ? 1 : -1;
    return key.key_dir == 0 ? ascending : -ascending;
  }
  // Equal keys keep their arrival order, whatever the directions.
  return static_cast<int32_t>(a->seq) < static_cast<int32_t>(b->seq) ? -1 : 1;
}

}  // namespace zara
