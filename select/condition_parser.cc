// INCLUDE and OMIT statements: the parenthesised condition compiled into
// the postfix table `ip`.
//
// Items are comparisons or parenthesised groups, joined by AND and OR of
// equal precedence. Opening and closing parentheses count only where
// find_parenl / find_parenr see them (before and after an item, after
// blanks and commas); elsewhere they are delimiters. The stack holds '(' for
// an open group, 'c' for a finished operand, ')' while a group closes, and
// the connector index waiting for its right operand.
#include <cctype>
#include <cstring>

#include "control/keyword_tables.h"
#include "control/statements.h"
#include "engine/run_state.h"
#include "select/conditions.h"
#include "select/literal_conversion.h"

namespace zara {

namespace {

constexpr uint8_t kOpenMark = '(';
constexpr uint8_t kCloseMark = ')';
constexpr uint8_t kOperandMark = 'c';

bool token_starts_with(const Scanner& sc, char c) { return sc.tok_len > 0 && sc.tok_start[0] == c; }

// "&" followed by `letter` in either case.
bool has_prefix(const uint8_t* text, uint32_t length, char letter) {
  return length >= 2 && text[0] == '&' && std::toupper(text[1]) == letter;
}

// A field reference: "#n" (field number, length 0) or a position token and
// a length token.
bool read_field(Scanner& sc, uint32_t* pos, uint32_t* len) {
  if (token_starts_with(sc, '#')) {
    const int32_t n = token_atoi(sc.tok_start + 1, sc.tok_len - 1);
    if (n <= 0) return fail(kBadPosition);
    *pos = static_cast<uint32_t>(n);
    *len = kDelimitedField;
    return true;
  }
  const int32_t position = tok_atoi(sc);
  if (position <= 0) return fail(kBadPosition);
  if (!s_gettok(sc, kStatementDelims)) return fail(kBadLength);
  // A length of 0 makes the position a field number.
  const int32_t length = tok_atoi(sc);
  if (length < 0) return fail(kBadLength);
  *pos = static_cast<uint32_t>(position);
  *len = static_cast<uint32_t>(length);
  return true;
}

// The literal token into the element's cleared literal area, in the form
// the comparison needs: hexadecimal (&H), EBCDIC (&E), or converted for the
// field's type.
bool read_literal(const Scanner& sc, CondElement& e) {
  const uint32_t text_len = sc.tok_len;
  if (text_len > kMaxLiteralText) return fail(kBadLiteral);
  std::memcpy(e.lit, sc.tok_start, text_len);  // lit[text_len] stays NUL
  if (has_prefix(e.lit, text_len, 'H')) {
    if (!hex2bin(e.lit)) return fail(kBadLiteral);
    e.lit_len = (text_len - 2) / 2;
  } else if (has_prefix(e.lit, text_len, 'E')) {
    std::memmove(e.lit, e.lit + 2, text_len - 2);
    e.lit[text_len - 2] = 0;
    e.lit[text_len - 1] = 0;
    ascii2ebcdic(e.lit);
    e.lit_len = text_len - 2;
  } else {
    uint32_t value_len = text_len;
    if (!cnvt_jump[e.ftype](e.lit, e.len1, &value_len)) return fail(kBadLiteral);
    e.lit_len = value_len;
  }
  return true;
}

// One comparison: field, type, operator, value.
bool read_comparison(Scanner& sc, CondElement& e, uint32_t operand_status) {
  e = CondElement{};
  if (!s_gettok(sc, kStatementDelims)) return fail(operand_status);
  if (!read_field(sc, &e.pos1, &e.len1)) return false;

  uint32_t index = 0;
  if (!s_gettok(sc, kStatementDelims) || !s_match(sc, sort_fieldtypes, &index))
    return fail(kBadFieldType);
  e.ftype = static_cast<uint8_t>(index);

  if (!s_gettok(sc, kStatementDelims) || !s_match(sc, condition_table, &index))
    return fail(kBadOperator);
  e.oper = static_cast<uint8_t>(index);
  if (e.oper == kCo && e.ftype != kCha && e.ftype != kAlp) return fail(kBadOperator);

  if (!s_gettok(sc, kStatementDelims)) return fail(kBadLiteral);
  if (sc.tok_literal) return read_literal(sc, e);
  return read_field(sc, &e.pos2, &e.len2);
}

// An operand is finished: mark it, and if a connector waits for it, emit
// the connector element after it.
bool finish_operand(uint32_t* k) {
  if (!cond_push(kOperandMark)) return fail(kTableFull);
  uint8_t below = 0;
  if (cond_peek(1, &below) && (below == kAnd || below == kOr)) {
    if (++*k >= ip.capacity) return fail(kTableFull);
    ip.entries[*k] = CondElement{};
    ip.entries[*k].kind = below;
    cond_pop();
    cond_pop();
  }
  return true;
}

// Closes one group; false when its opening parenthesis is missing.
bool close_group(uint32_t operand_status) {
  if (!cond_push(kCloseMark)) return fail(kTableFull);
  uint8_t opening = 0;
  if (!cond_peek(2, &opening) || opening != kOpenMark) return fail(operand_status);
  cond_pop();
  cond_pop();
  cond_pop();
  return true;
}

void clear_conditions() {
  for (CondElement& e : ip.entries) e = CondElement{};
  ip.count = 0;
  gv.stack_top = kCondStackSize;
}

}  // namespace

bool inc_omit_r(uint32_t operand_status) {
  clear_conditions();
  Scanner& sc = gv.scan;
  uint32_t k = 0;
  int32_t depth = 0;
  for (;;) {
    while (find_parenl(sc)) {
      ++depth;
      if (!cond_push(kOpenMark)) return fail(kTableFull);
    }
    if (k >= ip.capacity) return fail(kTableFull);
    if (!read_comparison(sc, ip.entries[k], operand_status)) return false;
    if (!finish_operand(&k)) return false;
    while (find_parenr(sc)) {
      --depth;
      if (!close_group(operand_status)) return false;
      if (depth > 0) {
        if (!finish_operand(&k)) return false;
        continue;
      }
      if (find_parenr(sc)) return fail(operand_status);
      ip.count = k + 1;
      return true;
    }
    uint32_t connector = 0;
    if (!s_gettok(sc, kStatementDelims)) return fail(kTableFull);
    if (!s_match(sc, connector_table, &connector)) return fail(kBadConnector);
    if (!cond_push(static_cast<uint8_t>(connector))) return fail(kTableFull);
    ++k;
  }
}

bool include_r() {
  cp[kCpInclude] = 1;
  return inc_omit_r(kIncludeOperand);
}

bool omit_r() {
  cp[kCpOmit] = 1;
  return inc_omit_r(kOmitOperand);
}

}  // namespace zara
