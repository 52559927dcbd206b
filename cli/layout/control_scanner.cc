#include "cli/layout/control_scanner.h"

#include <cstring>

namespace zara_layout {

bool is_control_delimiter(char c) { return c != '\0' && strchr("[], )(+\t\r\n", c) != nullptr; }

bool ControlScanner::scan(size_t* pos, ControlToken* token) const {
  const size_t end = text_.size();
  size_t p = *pos;
  if (p >= end) return false;
  for (;;) {
    bool skip = false;
    if (text_[p] == '[') {
      while (text_[p] != ']')
        if (++p >= end) return false;
      skip = true;
    }
    if (is_control_delimiter(text_[p])) skip = true;
    if (!skip) break;
    if (++p >= end) return false;
  }
  ControlToken t;
  if (text_[p] == quote_) {
    t.start = ++p;
    while (p < end && text_[p] != quote_) ++p;
    if (p >= end) return false;
    t.end = p++;
  } else {
    t.start = p;
    while (p < end && !is_control_delimiter(text_[p])) ++p;
    t.end = p;
  }
  t.after = p;
  t.literal = t.start > 0 && text_[t.start - 1] == quote_;
  t.text = std::string_view(text_).substr(t.start, t.end - t.start);
  *token = t;
  *pos = p;
  return true;
}

bool ControlScanner::next(ControlToken* token) { return scan(&pos_, token); }

bool ControlScanner::peek(ControlToken* token) const {
  size_t p = pos_;
  return scan(&p, token);
}

bool ControlScanner::paren(char paren) {
  while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == ',')) ++pos_;
  if (pos_ < text_.size() && text_[pos_] == paren) {
    ++pos_;
    return true;
  }
  return false;
}

}  // namespace zara_layout
