// INCLUDE and OMIT evaluation: the postfix condition walked once per record
// over a stack of truth values, the record table compacted to the records
// kept, and the comparison operators.
#include <cctype>

#include "compare/compare.h"
#include "engine/run_state.h"
#include "records/field_location.h"
#include "select/conditions.h"
#include "zara15z37.h"

namespace zara {

namespace {

// Outcome of the field type's key comparison with the value as the first
// operand: 1 value greater than field, 2 value smaller.
int outcome(uint8_t ftype, const uint8_t* value, uint32_t value_len, const uint8_t* field,
            uint32_t field_len) {
  return comp_jump[ftype](value, value_len, field, field_len);
}

// One comparison element against one record.
bool evaluate_comparison(const CondElement& e, const RecordDesc& record) {
  const Field field = s_movptr(record.addr, record.len, e.pos1, e.len1);
  const uint8_t* value = e.lit;
  uint32_t value_len = e.lit_len;
  if (e.pos2 != 0) {
    const Field second = s_movptr(record.addr, record.len, e.pos2, e.len2);
    value = second.addr;
    value_len = second.len;
  }
  return cmp_table[e.oper](e.ftype, value, value_len, field.addr, field.len);
}

// The condition's truth for one record.
bool evaluate(const RecordDesc& record) {
  gv.stack_top = kCondStackSize;
  for (uint32_t j = 0; j < ip.count; ++j) {
    const CondElement& e = ip.entries[j];
    uint8_t truth = 0;
    if (e.kind == kComparison) {
      truth = evaluate_comparison(e, record) ? 1 : 0;
    } else {
      const uint8_t right = cond_pop();
      const uint8_t left = cond_pop();
      truth = e.kind == kAnd ? (left & right) : (left | right);
    }
    cond_push(truth);
  }
  return cond_pop() == 1;
}

}  // namespace

bool s_compco(uint8_t ftype, const uint8_t* value, uint32_t value_len, const uint8_t* field,
              uint32_t field_len) {
  if (value_len > field_len) return false;
  int (*agree)(const char*, const char*, uint32_t) = nullptr;
  if (ftype == kCha) agree = strncmp2;
  else if (ftype == kAlp) agree = strncmpi2;
  else return false;
  const char* v = reinterpret_cast<const char*>(value);
  const char* f = reinterpret_cast<const char*>(field);
  for (uint32_t i = 0; i <= field_len - value_len; ++i)
    if (agree(v, f + i, value_len) == 0) return true;
  return false;
}

bool s_compeq(uint8_t t, const uint8_t* v, uint32_t lv, const uint8_t* f, uint32_t lf) {
  return outcome(t, v, lv, f, lf) == kEqual;
}
bool s_compne(uint8_t t, const uint8_t* v, uint32_t lv, const uint8_t* f, uint32_t lf) {
  return outcome(t, v, lv, f, lf) != kEqual;
}
bool s_compgt(uint8_t t, const uint8_t* v, uint32_t lv, const uint8_t* f, uint32_t lf) {
  return outcome(t, v, lv, f, lf) == kFirstSmaller;
}
bool s_compge(uint8_t t, const uint8_t* v, uint32_t lv, const uint8_t* f, uint32_t lf) {
  return outcome(t, v, lv, f, lf) != kFirstGreater;
}
bool s_complt(uint8_t t, const uint8_t* v, uint32_t lv, const uint8_t* f, uint32_t lf) {
  return outcome(t, v, lv, f, lf) == kFirstGreater;
}
bool s_comple(uint8_t t, const uint8_t* v, uint32_t lv, const uint8_t* f, uint32_t lf) {
  return outcome(t, v, lv, f, lf) != kFirstSmaller;
}

const CondCompareFn cmp_table[kOperatorCount] = {
    s_compco, s_compeq, s_compne, s_compgt, s_compge, s_complt, s_comple,
};

void s_select() {
  const bool omit = cp[kCpOmit] != 0;
  for (uint32_t i = 0; i < gv.record_count; ++i) {
    RecordDesc& record = gv.record_table[i];
    const bool satisfied = evaluate(record);
    record.flag = (satisfied != omit) ? 1 : 0;
  }
  gv.stack_top = kCondStackSize;
  compress();
}

void compress() {
  uint32_t kept = 0;
  for (uint32_t i = 0; i < gv.record_count; ++i) {
    RecordDesc& record = gv.record_table[i];
    if (record.flag != 1) continue;
    if (i != kept) {
      gv.record_table[kept] = record;
      record.flag = 0;
    }
    ++kept;
  }
  gv.record_count = kept;
}

}  // namespace zara

extern "C" {

ZARA_API int strncmp2(const char* value, const char* field, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i)
    if (value[i] != field[i]) return 1;
  return 0;
}

ZARA_API int strncmpi2(const char* value, const char* field, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) {
    const unsigned char v = static_cast<unsigned char>(value[i]);
    const unsigned char f = static_cast<unsigned char>(field[i]);
    if (v == f || v == '*') continue;
    if (std::isalpha(v) && std::isalpha(f) && std::toupper(v) == std::toupper(f)) continue;
    return 1;
  }
  return 0;
}

}  // extern "C"
