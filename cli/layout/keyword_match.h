// The control language's keyword families, matched as the engine matches
// them, on the engine's own tables (control/keyword_tables.h): a token counts
// over at most the keyword width (longer tokens are cut), it must hold at
// least the entry's minimum letters, its letters are compared upper-cased,
// and the first entry that agrees wins. The tool needs the same answers to
// find statements and list items in a control text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zara_layout {

// A table in the engine's layout: the entry size, then entries of a minimum
// length and the keyword padded with blanks, then 0xFF.
struct KeywordFamily {
  const uint8_t* table;
};

// Index of the matching entry, or -1.
int match_keyword(const KeywordFamily& family, std::string_view token);

// True when the token matches without being cut to the width: the keyword
// itself or one of its abbreviations.
bool matches_unabridged(const KeywordFamily& family, std::string_view token);

// The keyword of entry `index`, without its padding.
std::string keyword_at(const KeywordFamily& family, int index);

extern const KeywordFamily kStatements;
extern const KeywordFamily kFieldTypes;
extern const KeywordFamily kDirections;
extern const KeywordFamily kFileTypes;
extern const KeywordFamily kConnectors;
extern const KeywordFamily kOutrecWords;
extern const KeywordFamily kConditions;
extern const KeywordFamily kSumTypes;

// The field type a token names, as the engine's table spells it ("CHA"
// for C or CH); empty when it names none.
std::string canonical_type(std::string_view token);

// Indices of kStatements.
enum Statement {
  kAddrout = 0, kBypass, kCore, kDelimit, kFiletype, kInclude, kKeyout, kLimit, kMerge, kOmit,
  kOutrec, kPause, kRecord, kSort, kWorkdrive, kAltseq, kEquals, kDupout, kDupex, kDupin,
  kOrigin, kApost, kSum, kLast, kAppend, kOverwrite, kOpenmode, kNoyield, kVerb,
};

// Indices of kFileTypes.
enum FileTypeIndex { kFix = 0, kFe, kTxt, kVs, kBt, kRv, kCvs, kPre, kGp, kDb3 };

}  // namespace zara_layout
