// Cuts the program text of a copybook into COBOL words, literals and the
// separator period. Words are upper-cased (COBOL names ignore case); a
// comma or semicolon followed by a space is a separator, as is a period
// followed by a space or the end, so PIC Z,ZZ9.99 stays one word.
#pragma once

#include <string>
#include <vector>

#include "cli/layout/source_text.h"

namespace zara_layout {

enum class TokenKind { kWord, kLiteral, kPeriod, kEnd };

struct CobolToken {
  TokenKind kind = TokenKind::kEnd;
  std::string text;
  SourcePos where;
};

// The tokens, ending with one of kind kEnd; false for a literal that is
// not closed on its line.
bool lex_copybook(const SourceText& source, std::vector<CobolToken>* tokens, LayoutError* error);

}  // namespace zara_layout
