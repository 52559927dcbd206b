// INCLUDE and OMIT: the condition compiled into the postfix table `ip` and
// evaluated per record.
//
// A comparison element (kind 0) compares a record field (pos1, len1) with a
// value: a second field of the same record (pos2, len2) when pos2 is not 0,
// else the literal `lit` of lit_len bytes. lit_len is the operand length of
// the value: the text length, or the length of the binary value when the
// literal's conversion replaced the text (2 or 4 for integers, 4 or 8 for
// floating point), so that a comparison over the field's length sees
// exactly the converted bytes. Connector elements (kind 1 AND, 2 OR) follow
// their two operands; AND and OR associate from the left.
#pragma once

#include <cstdint>

#include "engine/run_state.h"

namespace zara {

enum CondKind : uint8_t { kComparison = 0, kAnd = 1, kOr = 2 };
enum CondOperator : uint8_t { kCo = 0, kEq, kNe, kGt, kGe, kLt, kLe, kOperatorCount };

// Longest literal text of a condition; the literal area keeps a NUL after it.
constexpr uint32_t kMaxLiteralText = 50;
constexpr uint32_t kCondStackSize = sizeof(RunState::cond_stack);

// Parses the operand of INCLUDE or OMIT from gv.scan into `ip`, replacing
// any earlier condition. `operand_status` is the statement's own code for
// a missing item or unbalanced parentheses (10003 INCLUDE, 10006 OMIT).
bool inc_omit_r(uint32_t operand_status);

// Evaluates the condition for every record of the record table, sets each
// descriptor's flag (1 kept), then compresses the table to the records kept.
void s_select();
// Removes the descriptors whose flag byte is not 1, keeping their order.
void compress();

// The operators, in condition_table order. Each compares a value with a
// record field of type `ftype` and says whether the relation holds for the
// field: s_compgt is true when field > value.
using CondCompareFn = bool (*)(uint8_t ftype, const uint8_t* value, uint32_t value_len,
                               const uint8_t* field, uint32_t field_len);
extern const CondCompareFn cmp_table[kOperatorCount];
bool s_compco(uint8_t ftype, const uint8_t* value, uint32_t value_len, const uint8_t* field,
              uint32_t field_len);
bool s_compeq(uint8_t ftype, const uint8_t* value, uint32_t value_len, const uint8_t* field,
              uint32_t field_len);
bool s_compne(uint8_t ftype, const uint8_t* value, uint32_t value_len, const uint8_t* field,
              uint32_t field_len);
bool s_compgt(uint8_t ftype, const uint8_t* value, uint32_t value_len, const uint8_t* field,
              uint32_t field_len);
bool s_compge(uint8_t ftype, const uint8_t* value, uint32_t value_len, const uint8_t* field,
              uint32_t field_len);
bool s_complt(uint8_t ftype, const uint8_t* value, uint32_t value_len, const uint8_t* field,
              uint32_t field_len);
bool s_comple(uint8_t ftype, const uint8_t* value, uint32_t value_len, const uint8_t* field,
              uint32_t field_len);

// The condition stack (gv.cond_stack, top at gv.stack_top, kCondStackSize
// when empty), shared by the parser and the evaluator.
inline bool cond_push(uint8_t entry) {
  if (gv.stack_top == 0 || gv.stack_top > kCondStackSize) return false;
  gv.cond_stack[--gv.stack_top] = entry;
  return true;
}
// The top entry, removed; 0 when the stack is empty.
inline uint8_t cond_pop() {
  if (gv.stack_top >= kCondStackSize) return 0;
  return gv.cond_stack[gv.stack_top++];
}
// The entry `depth` places below the top (0 is the top); false when the
// stack holds no such entry.
inline bool cond_peek(uint32_t depth, uint8_t* entry) {
  if (gv.stack_top >= kCondStackSize || depth >= kCondStackSize - gv.stack_top) return false;
  *entry = gv.cond_stack[gv.stack_top + depth];
  return true;
}

}  // namespace zara
