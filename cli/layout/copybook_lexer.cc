#include "cli/layout/copybook_lexer.h"

#include <cctype>

namespace zara_layout {

namespace {

bool is_space(char c) { return c == ' ' || c == '\n'; }

bool separator_at(const std::string& t, size_t i) {
  const char c = t[i];
  if (is_space(c)) return true;
  if (c == '.' || c == ',' || c == ';') return i + 1 >= t.size() || is_space(t[i + 1]);
  return false;
}

// Past a literal that opens at t[i]; quotes doubled inside stand for one.
bool skip_literal(const std::string& t, size_t* i) {
  const char quote = t[(*i)++];
  while (*i < t.size()) {
    if (t[*i] == '\n') return false;
    if (t[*i] == quote) {
      if (*i + 1 < t.size() && t[*i + 1] == quote) {
        *i += 2;
        continue;
      }
      ++*i;
      return true;
    }
    ++*i;
  }
  return false;
}

}  // namespace

bool lex_copybook(const SourceText& source, std::vector<CobolToken>* tokens, LayoutError* error) {
  const std::string& t = source.text;
  std::vector<CobolToken> out;
  size_t i = 0;
  while (i < t.size()) {
    const char c = t[i];
    if (is_space(c) || ((c == ',' || c == ';') && separator_at(t, i))) {
      ++i;
      continue;
    }
    CobolToken tok;
    tok.where = source.where[i];
    const size_t start = i;
    if (c == '.' && separator_at(t, i)) {
      tok.kind = TokenKind::kPeriod;
      ++i;
    } else if (c == '"' || c == '\'') {
      tok.kind = TokenKind::kLiteral;
      if (!skip_literal(t, &i)) {
        *error = LayoutError{"literal not closed", tok.where};
        return false;
      }
    } else {
      tok.kind = TokenKind::kWord;
      while (i < t.size() && !separator_at(t, i)) {
        if (t[i] == '"' || t[i] == '\'') {  // X"..." and the like
          tok.kind = TokenKind::kLiteral;
          if (!skip_literal(t, &i)) {
            *error = LayoutError{"literal not closed", tok.where};
            return false;
          }
          break;
        }
        ++i;
      }
    }
    tok.text = t.substr(start, i - start);
    if (tok.kind == TokenKind::kWord)
      for (char& ch : tok.text) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    out.push_back(std::move(tok));
  }
  CobolToken end;
  end.where = source.where.back();
  out.push_back(end);
  *tokens = std::move(out);
  return true;
}

}  // namespace zara_layout
