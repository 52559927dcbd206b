// The OUTREC statement: "( item item ... )" into the item table `op`.
//
// A second OUTREC starts again at item 0. On failure the items read so far
// stay in the table and the status says why: 10007 (no '(', a field with a
// position or length of 0 or not a number, the text ending inside the
// list), 207 (a literal over 20 bytes, a bad hexadecimal literal), 206 (a
// 21st item), 323 (XXXX, DUPC with a malformed count).
#include <cctype>
#include <cstring>

#include "control/item_list.h"
#include "control/keyword_tables.h"
#include "control/statements.h"
#include "engine/run_state.h"
#include "records/outrec.h"
#include "select/literal_conversion.h"

namespace zara {

namespace {

constexpr uint32_t kMaxLiteral = 20;

// Indices of outrec_table.
enum OutrecKeyword : uint32_t {
  kKwXxxx = 0, kKwRecl, kKwRrn, kKwRba, kKwCrlf, kKwBtr, kKwHlr, kKwDupc, kKwArrn,
};

bool starts_with_amp(const Scanner& sc, char letter) {
  return sc.tok_len >= 2 && sc.tok_start[0] == '&' &&
         std::toupper(static_cast<unsigned char>(sc.tok_start[1])) == letter;
}

// A literal token: plain bytes, &H hexadecimal digits, or &E text that is
// translated to EBCDIC byte by byte.
bool read_literal(const Scanner& sc, OutrecItem& item) {
  if (sc.tok_len > kMaxLiteral) return fail(kBadLiteral);
  item.type = kItemLiteral;
  if (starts_with_amp(sc, 'H')) {
    uint8_t text[kMaxLiteral + 1] = {};
    memcpy(text, sc.tok_start, sc.tok_len);
    // The text ends at its NUL for the conversion; a NUL inside the digits
    // would hide the rest, so it counts as a bad digit.
    if (memchr(text, 0, sc.tok_len) != nullptr || !hex2bin(text)) return fail(kBadLiteral);
    item.length = (sc.tok_len - 2) / 2;
    memcpy(item.data, text, item.length);
    return true;
  }
  if (starts_with_amp(sc, 'E')) {
    item.length = sc.tok_len - 2;
    for (uint32_t i = 0; i < item.length; ++i)
      item.data[i] = ebcdic_table[static_cast<uint8_t>(sc.tok_start[2 + i])];
    return true;
  }
  item.length = sc.tok_len;
  memcpy(item.data, sc.tok_start, sc.tok_len);
  return true;
}

// DUPC, optionally followed by "(n)": the least group size written.
bool read_dupc_count(Scanner& sc) {
  if (!find_parenl(sc)) {
    gv.min_dup_count = 1;
    return true;
  }
  if (!s_gettok(sc, kStatementDelims)) return fail(kOutrecKeywordError);
  gv.min_dup_count = static_cast<uint32_t>(tok_atoi(sc));
  if (!find_parenr(sc)) return fail(kOutrecKeywordError);
  return true;
}

bool read_keyword_item(Scanner& sc, uint32_t keyword, OutrecItem& item) {
  switch (keyword) {
    case kKwRecl: item.type = kItemRecl; item.length = 2; return true;
    case kKwRrn: item.type = kItemRrn; item.length = 4; return true;
    case kKwRba: item.type = kItemRba; item.length = 4; return true;
    case kKwCrlf:
      item.type = kItemLiteral;
      item.length = 2;
      item.data[0] = 0x0D;
      item.data[1] = 0x0A;
      return true;
    case kKwBtr: item.type = kItemBtr; item.length = 5; return true;
    case kKwHlr: item.type = kItemHlr; item.length = 2; return true;
    case kKwDupc: item.type = kItemDupc; item.length = 7; return read_dupc_count(sc);
    case kKwArrn: item.type = kItemArrn; item.length = 7; return true;
    default: return fail(kOutrecKeywordError);  // XXXX
  }
}

// "position length" or "position E".
bool read_field_item(Scanner& sc, OutrecItem& item) {
  const int32_t position = tok_atoi(sc);
  if (position <= 0) return fail(kOutrecOperand);
  item.position = static_cast<uint32_t>(position);
  if (!s_gettok(sc, kStatementDelims)) return fail(kOutrecOperand);
  if (sc.tok_len > 0 && std::toupper(static_cast<unsigned char>(sc.tok_start[0])) == 'E') {
    item.type = kItemToEnd;
    return true;
  }
  const int32_t length = tok_atoi(sc);
  if (length <= 0) return fail(kOutrecOperand);
  item.type = kItemField;
  item.length = static_cast<uint32_t>(length);
  return true;
}

bool read_item(Scanner& sc, OutrecItem& item) {
  item = OutrecItem{};
  if (!s_gettok(sc, kStatementDelims)) return fail(kOutrecOperand);
  if (sc.tok_literal) return read_literal(sc, item);
  uint32_t keyword = 0;
  const uint32_t full_length = sc.tok_len;
  if (s_match(sc, outrec_table, &keyword)) return read_keyword_item(sc, keyword, item);
  sc.tok_len = full_length;
  return read_field_item(sc, item);
}

}  // namespace

bool outrec_r() {
  cp[kCpOutrec] = 1;
  Scanner& sc = gv.scan;
  if (!find_parenl(sc)) return fail(kOutrecOperand);
  return read_item_list(sc, op, read_item);
}

}  // namespace zara
