// Tokenizer and keyword matching of the control language.
//
// A Scanner walks a byte text with no line structure and no terminating
// NUL: `pos` is the next byte to examine, `end` one past the last. s_gettok
// finds the next token (a plain token ends at a delimiter; a literal is the
// bytes between two quote characters); the token is [tok_start, tok_start +
// tok_len) and never extends past `end`. Comments run from '[' to the next
// ']' and separate tokens. s_match maps the token to an index of a keyword
// table by the abbreviation rule. find_parenl / find_parenr skip blanks and
// commas and consume one '(' or ')'.
//
// Keyword table layout (one byte string per family): byte 0 is the entry
// size S; then per entry the minimum abbreviation length m and the keyword
// in upper case padded with blanks to S - 1 bytes; then 0xFF.
#pragma once

#include <cstdint>

namespace zara {

struct Scanner {
  const char* begin = nullptr;  // start of the whole text
  const char* pos = nullptr;
  const char* end = nullptr;
  const char* tok_start = nullptr;
  uint32_t tok_len = 0;
  bool tok_literal = false;  // the byte before tok_start is the quote char
  bool tok_found = false;    // the last s_gettok found a token

  void reset(const char* text, uint32_t length) {
    begin = pos = text;
    end = text ? text + length : nullptr;
    tok_start = nullptr;
    tok_len = 0;
    tok_literal = false;
    tok_found = false;
  }
};

// Delimiter set of control statements: [ ] , blank ) ( + tab CR LF.
extern const char kStatementDelims[];

// Finds the next token; false when none is left (end of text, only
// delimiters and comments left, unterminated comment or literal). `quote`
// opens and closes a literal.
bool s_gettok(Scanner& sc, const char* delims, uint8_t quote);
// The control-text form: the quote character of the run.
bool s_gettok(Scanner& sc, const char* delims);

// Looks the current token up in a keyword table. May shorten tok_len to
// S - 1. True with the entry's index, false when nothing matches.
bool s_match(Scanner& sc, const uint8_t* table, uint32_t* index);

bool find_parenl(Scanner& sc);
bool find_parenr(Scanner& sc);

// Decimal conversions as atoi/atol read them (leading blanks, one sign,
// digits), bounded by the token: never reads past tok_len bytes.
int32_t token_atoi(const char* text, uint32_t length);
int32_t token_atol(const char* text, uint32_t length);
inline int32_t tok_atoi(const Scanner& sc) { return token_atoi(sc.tok_start, sc.tok_len); }

}  // namespace zara
