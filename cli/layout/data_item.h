// One data description entry of a copybook, as written and as laid out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/layout/picture.h"
#include "cli/layout/source_text.h"
#include "cli/layout/usage.h"

namespace zara_layout {

struct DataItem {
  // As written.
  int level = 0;
  std::string name;          // upper case; empty for FILLER
  SourcePos where;           // of the level number
  int parent = -1;           // index in the item list; -1 for a record (01)
  std::vector<int> children;
  std::string redefines;     // the name it redefines, or empty
  SourcePos redefines_where;
  uint32_t occurs = 0;       // 0: no OCCURS
  bool has_picture = false;
  Picture picture;
  bool usage_given = false;  // on the item itself
  Usage usage = Usage::kDisplay;  // its own or the nearest group's
  bool sign_given = false;
  bool sign_inherited = false;  // the SIGN clause is a group's
  SignClause sign;

  // As laid out.
  uint32_t offset = 0;  // of its first occurrence, from the record's start
  uint32_t size = 0;    // of one occurrence
  Encoding encoding;    // of an elementary item

  bool elementary() const { return children.empty(); }
};

}  // namespace zara_layout
