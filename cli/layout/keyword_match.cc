#include "cli/layout/keyword_match.h"

#include <cctype>

#include "control/keyword_tables.h"

namespace zara_layout {

const KeywordFamily kStatements{zara::parm_table};
const KeywordFamily kFieldTypes{zara::sort_fieldtypes};
const KeywordFamily kDirections{zara::direction_table};
const KeywordFamily kFileTypes{zara::filetype_table};
const KeywordFamily kConnectors{zara::connector_table};
const KeywordFamily kOutrecWords{zara::outrec_table};
const KeywordFamily kConditions{zara::condition_table};
const KeywordFamily kSumTypes{zara::sum_fieldtypes};

namespace {
size_t width_of(const KeywordFamily& family) { return family.table[0] - 1u; }
}  // namespace

int match_keyword(const KeywordFamily& family, std::string_view token) {
  const size_t size = family.table[0];
  const size_t n = token.size() > size - 1 ? size - 1 : token.size();
  int i = 0;
  for (const uint8_t* entry = family.table + 1; *entry != 0xFF; entry += size, ++i) {
    if (n < entry[0]) continue;
    bool same = true;
    for (size_t k = 0; k < n && same; ++k)
      same = std::toupper(static_cast<unsigned char>(token[k])) == entry[1 + k];
    if (same) return i;
  }
  return -1;
}

bool matches_unabridged(const KeywordFamily& family, std::string_view token) {
  return token.size() <= width_of(family) && match_keyword(family, token) >= 0;
}

std::string keyword_at(const KeywordFamily& family, int index) {
  const size_t size = family.table[0];
  const uint8_t* entry = family.table + 1 + size * static_cast<size_t>(index);
  std::string word(reinterpret_cast<const char*>(entry + 1), size - 1);
  while (!word.empty() && word.back() == ' ') word.pop_back();
  return word;
}

std::string canonical_type(std::string_view token) {
  const int i = match_keyword(kFieldTypes, token);
  return i < 0 ? std::string() : keyword_at(kFieldTypes, i);
}

}  // namespace zara_layout
