// A read-only walk over a control text that cuts it into the tokens the
// engine's statement parser sees: the same delimiters, [comments], literals
// between the quote character (which APOST changes), and the same rule for
// the parentheses that only blanks and commas may precede.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zara_layout {

struct ControlToken {
  size_t start = 0;     // offset of the token's first byte (after a quote)
  size_t end = 0;       // offset one past its last byte (before a closing quote)
  size_t after = 0;     // where the scan continues
  bool literal = false;
  std::string_view text;
};

class ControlScanner {
 public:
  explicit ControlScanner(const std::string& text) : text_(text) {}

  // The next token; false when only delimiters and comments remain, or a
  // comment or literal is not closed.
  bool next(ControlToken* token);
  // The token next() would give, without moving.
  bool peek(ControlToken* token) const;
  // Skips blanks and commas and consumes `paren` if it comes next;
  // otherwise leaves the position after the blanks and commas.
  bool paren(char paren);

  void set_quote(char quote) { quote_ = quote; }
  char quote() const { return quote_; }
  size_t position() const { return pos_; }
  void set_position(size_t pos) { pos_ = pos; }
  const std::string& text() const { return text_; }

 private:
  bool scan(size_t* pos, ControlToken* token) const;
  const std::string& text_;
  size_t pos_ = 0;
  char quote_ = '"';
};

bool is_control_delimiter(char c);

}  // namespace zara_layout
