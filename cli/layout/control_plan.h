// Walks a control text statement by statement the way the engine parses
// it, puts copybook fields in place of their names, and records what the
// tool needs to know about the run (keys, conditions, file type).
//
// A field name stands where the engine expects the start of a field:
//   SORT/MERGE   a key's position: NAME,A|D gives "pos,len,type,A|D"
//   INCLUDE/OMIT a condition's field (NAME,op,value gives "pos,len,type,
//                op,value") and a value that is a second field ("pos,len")
//   OUTREC       an item: "pos,len"
//   SUM          a field: "pos,len,sumtype"
//   DUPOUT/DUPEX/DUPIN  a field: "pos,len"
// There a token is a position when it is all digits (with an optional
// sign), a field number when it begins with #, a literal when quoted, and
// otherwise a name, even if it spells a keyword or a type (a field named
// A, D, CH, EQ or AND is found by its place, never by its spelling). Two
// places keep their keywords: an OUTREC item spelled as an OUTREC keyword
// or its abbreviation (RECL, RRN, CRLF, ...), and a DUPOUT item B or B
// followed by digits (the hold size); write such a field qualified (CRLF
// OF REC). A name may be qualified (CITY OF SHIP-TO) and subscripted
// (AMOUNT(3), or AMOUNT OF MONTHS (3)). Names are never looked for inside
// literals or comments, nor in the places of statement keywords. A number
// compared with a named numeric field is written in the field's storage
// (number_literal.h).
//
// Where the text holds something the engine refuses, the walk stops and
// the rest is passed as written; the engine then reports it, and the
// offset map takes its place back to what the user wrote.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/layout/offset_map.h"
#include "cli/layout/record_layout.h"

namespace zara_layout {

struct PlanKey {
  uint32_t position = 0, length = 0;  // length 0: field #position; 65535: to a NUL
  std::string type;                   // engine field type as the engine matched it
  bool descending = false;
  std::string label;                  // the field as the user wrote it
  std::string decode_type;
  int32_t scale = 0;
};

struct PlanComparison {
  size_t begin = 0, end = 0;  // in the user's text
};

struct PlanStatement {
  int keyword = -1;           // kStatements index
  size_t begin = 0, end = 0;  // in the user's text, keyword included
  size_t operand = 0;         // where the operand begins
};

struct ControlPlan {
  std::string engine_text;
  OffsetMap map;
  std::vector<PlanStatement> statements;
  std::vector<PlanKey> keys;
  std::vector<PlanComparison> comparisons;  // of the last INCLUDE or OMIT
  bool omit = false;
  int file_type = 2;            // TXT
  uint32_t record_length = 0;   // from RECORD, FILETYPE FIX or PRE, or the copybook
  bool record_added = false;    // the copybook's length was supplied
  long long bypass = -2;        // BYPASS: -2 none, -1 one record length, else bytes
  bool complete = true;         // false: the walk stopped where the engine will fail

  uint32_t gp_delimiter_length = 0;

  // The engine's form of user text [begin, end).
  std::string engine_slice(size_t begin, size_t end) const;
  // The statements in the engine's form and their order, those `keep`
  // refuses left out, BYPASS discarding its header, the copybook's RECORD
  // first when it was supplied; `replaced` (an INCLUDE or OMIT) becomes
  // `replacement`.
  std::string statements_text(const std::function<bool(int keyword)>& keep,
                              const PlanStatement* replaced = nullptr,
                              const std::string& replacement = "") const;
  struct Replacement {
    size_t begin, end;
    std::string text;
  };
  std::vector<Replacement> replacements;
  const std::string* user = nullptr;
};

struct NameError {
  std::string message;
  size_t offset = 0;  // in the user's text
};

// `layout` may be null: the text is then only walked, never changed.
bool plan_control(const std::string& user_text, const RecordLayout* layout, ControlPlan* plan,
                  NameError* error);

}  // namespace zara_layout
