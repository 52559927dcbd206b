#include "cli/layout/keyword_match.h"

#include <cctype>

namespace zara_layout {

namespace {

constexpr KeywordEntry kStatementWords[] = {
    {"ADDR", 2}, {"BYPA", 1}, {"CORE", 4}, {"DELI", 2}, {"FILE", 1}, {"INCL", 2}, {"KEYO", 1},
    {"LIMI", 1}, {"MERG", 1}, {"OMIT", 2}, {"OUTR", 4}, {"PAUS", 1}, {"RECO", 1}, {"SORT", 1},
    {"WORK", 1}, {"ALTS", 2}, {"EQUA", 2}, {"DUPO", 4}, {"DUPE", 4}, {"DUPI", 4}, {"ORIG", 4},
    {"APOS", 2}, {"SUM ", 3}, {"LAST", 1}, {"APPE", 4}, {"OVER", 4}, {"OPEN", 2}, {"NOYI", 4},
    {"VERB", 3},
};
constexpr KeywordEntry kFieldTypeWords[] = {
    {"CHA", 1}, {"ALP", 3}, {"SU ", 2}, {"SLI", 3}, {"NUM", 1}, {"STI", 3}, {"STS", 3},
    {"ZD ", 1}, {"T  ", 1}, {"INT", 1}, {"PD ", 1}, {"BIN", 2}, {"ALT", 3}, {"E  ", 1},
    {"W  ", 1}, {"SP ", 2}, {"DP ", 2}, {"FI ", 1}, {"FL ", 1},
};
constexpr KeywordEntry kDirectionWords[] = {{"A", 1}, {"D", 1}};
constexpr KeywordEntry kFileTypeWords[] = {
    {"FIX", 3}, {"FE ", 2}, {"TXT", 3}, {"VS ", 2}, {"BT ", 2},
    {"RV ", 2}, {"CVS", 3}, {"PRE", 3}, {"GP ", 2}, {"DB3", 2},
};
constexpr KeywordEntry kConnectorWords[] = {{"XXX", 3}, {"AND", 1}, {"OR ", 1}};
constexpr KeywordEntry kOutrecKeywords[] = {
    {"XXXX", 4}, {"RECL", 4}, {"RRN ", 3}, {"RBA ", 3}, {"CRLF", 4},
    {"BT-R", 4}, {"HL-R", 4}, {"DUPC", 4}, {"ARRN", 4},
};

constexpr KeywordEntry kConditionWords[] = {
    {"CO", 2}, {"EQ", 2}, {"NE", 2}, {"GT", 2}, {"GE", 2}, {"LT", 2}, {"LE", 2},
};
constexpr KeywordEntry kSumTypeWords[] = {
    {"ZD ", 1}, {"BIN", 2}, {"INT", 1}, {"PD ", 1}, {"EEE", 1},
    {"FL ", 2}, {"WOR", 1}, {"FIX", 2}, {"NUM", 1},
};

template <unsigned N>
constexpr KeywordFamily family(unsigned width, const KeywordEntry (&entries)[N]) {
  return KeywordFamily{width, entries, N};
}

}  // namespace

const KeywordFamily kStatements = family(4, kStatementWords);
const KeywordFamily kFieldTypes = family(3, kFieldTypeWords);
const KeywordFamily kDirections = family(1, kDirectionWords);
const KeywordFamily kFileTypes = family(3, kFileTypeWords);
const KeywordFamily kConnectors = family(3, kConnectorWords);
const KeywordFamily kOutrecWords = family(4, kOutrecKeywords);
const KeywordFamily kConditions = family(2, kConditionWords);
const KeywordFamily kSumTypes = family(3, kSumTypeWords);

int match_keyword(const KeywordFamily& family, std::string_view token) {
  const size_t n = token.size() > family.width ? family.width : token.size();
  for (unsigned i = 0; i < family.count; ++i) {
    const KeywordEntry& e = family.entries[i];
    if (n < e.minimum) continue;
    bool same = true;
    for (size_t k = 0; k < n && same; ++k)
      same = std::toupper(static_cast<unsigned char>(token[k])) == e.word[k];
    if (same) return static_cast<int>(i);
  }
  return -1;
}

bool matches_unabridged(const KeywordFamily& family, std::string_view token) {
  return token.size() <= family.width && match_keyword(family, token) >= 0;
}

std::string canonical_type(std::string_view token) {
  const int i = match_keyword(kFieldTypes, token);
  if (i < 0) return "";
  std::string word = kFieldTypes.entries[i].word;
  while (!word.empty() && word.back() == ' ') word.pop_back();
  return word;
}

}  // namespace zara_layout
