#include "control/tokenizer.h"

#include <cctype>
#include <cstring>

#include "engine/run_state.h"

namespace zara {

const char kStatementDelims[] = "[], )(+\t\r\n";

namespace {

bool in_set(const char* delims, char c) {
  for (const char* d = delims; *d; ++d)
    if (*d == c) return true;
  return false;
}

bool is_delim(const char* delims, char c) { return in_set(delims, c); }

// Skips comments and delimiters; false when the text ends first.
bool skip_commentndelim(Scanner& sc, const char* delims) {
  for (;;) {
    bool something_to_skip = false;
    if (*sc.pos == '[') {
      while (*sc.pos != ']') {
        if (++sc.pos >= sc.end) return false;
      }
      something_to_skip = true;
    }
    if (is_delim(delims, *sc.pos)) something_to_skip = true;
    if (!something_to_skip) return true;
    if (++sc.pos >= sc.end) return false;
  }
}

bool skip_literal(Scanner& sc, uint8_t quote) {
  ++sc.pos;
  sc.tok_start = sc.pos;
  while (sc.pos < sc.end && static_cast<uint8_t>(*sc.pos) != quote) {
    ++sc.pos;
    ++sc.tok_len;
  }
  if (sc.pos >= sc.end) return false;
  ++sc.pos;
  return true;
}

void skip_token(Scanner& sc, const char* delims) {
  sc.tok_start = sc.pos;
  while (sc.pos < sc.end && !is_delim(delims, *sc.pos)) {
    ++sc.pos;
    ++sc.tok_len;
  }
}

}  // namespace

bool s_gettok(Scanner& sc, const char* delims, uint8_t quote) {
  sc.tok_len = 0;
  sc.tok_literal = false;
  sc.tok_found = false;
  if (sc.pos == nullptr || sc.pos >= sc.end) return false;
  if (!skip_commentndelim(sc, delims)) return false;
  if (static_cast<uint8_t>(*sc.pos) == quote) {
    if (!skip_literal(sc, quote)) return false;
  } else {
    skip_token(sc, delims);
  }
  // A token is a literal when the byte before it is the quote character;
  // so is a plain token glued to a literal's closing quote.
  sc.tok_literal = sc.tok_start > sc.begin &&
                   static_cast<uint8_t>(sc.tok_start[-1]) == quote;
  sc.tok_found = true;
  return true;
}

bool s_gettok(Scanner& sc, const char* delims) {
  return s_gettok(sc, delims, gv.quote_char);
}

bool s_match(Scanner& sc, const uint8_t* table, uint32_t* index) {
  const uint32_t size = table[0];
  if (sc.tok_len >= size) sc.tok_len = size - 1;
  uint32_t i = 0;
  for (const uint8_t* entry = table + 1; *entry != 0xFF; entry += size, ++i) {
    const uint32_t min_len = entry[0];
    if (sc.tok_len < min_len) continue;
    bool same = true;
    for (uint32_t k = 0; k < sc.tok_len; ++k) {
      const int c = std::toupper(static_cast<unsigned char>(sc.tok_start[k]));
      if (c != entry[1 + k]) {
        same = false;
        break;
      }
    }
    if (same) {
      *index = i;
      return true;
    }
  }
  return false;
}

namespace {
bool find_paren(Scanner& sc, char paren) {
  while (sc.pos < sc.end && (*sc.pos == ' ' || *sc.pos == ',')) ++sc.pos;
  if (sc.pos < sc.end && *sc.pos == paren) {
    ++sc.pos;
    return true;
  }
  return false;
}

// strtol-style reading with 64-bit saturation, truncated to 32 bits as a
// 32-bit int would hold it. Stops at the first non-digit or the token end.
int32_t bounded_atoi(const char* p, uint32_t n) {
  uint32_t i = 0;
  while (i < n && (p[i] == ' ' || (p[i] >= '\t' && p[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < n && (p[i] == '+' || p[i] == '-')) negative = p[i++] == '-';
  uint64_t v = 0;
  for (; i < n && p[i] >= '0' && p[i] <= '9'; ++i) {
    v = v * 10 + static_cast<uint64_t>(p[i] - '0');
    if (v > 0x7FFFFFFFu) v = 0x7FFFFFFFu + static_cast<uint64_t>(negative);
  }
  const int64_t s = negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
  return static_cast<int32_t>(s);
}
}  // namespace

bool find_parenl(Scanner& sc) { return find_paren(sc, '('); }
bool find_parenr(Scanner& sc) { return find_paren(sc, ')'); }

int32_t token_atoi(const char* text, uint32_t length) {
  return text ? bounded_atoi(text, length) : 0;
}
int32_t token_atol(const char* text, uint32_t length) {
  return text ? bounded_atoi(text, length) : 0;
}

}  // namespace zara
