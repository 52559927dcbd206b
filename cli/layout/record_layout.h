// The record layout of a copybook: every item's offset and size, every
// elementary item's storage, and the lookup of a field by its name as a
// COBOL program writes it (qualified with OF or IN, subscripted when it
// is or lies in a table).
//
// Items follow each other inside their group; an item that REDEFINES an
// earlier item of its group starts where that item starts, and the group
// is as long as its longest alternative. Several 01 records share the
// record area, as the records of one file do; the record length is the
// longest.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/layout/data_item.h"
#include "cli/layout/source_text.h"
#include "cli/layout/usage.h"

namespace zara_layout {

struct RecordLayout {
  std::vector<DataItem> items;
  uint32_t record_length = 0;
};

// Parses the copybook text and lays it out.
bool build_layout(const std::string& copybook, SourceFormat format, const Conventions& conventions,
                  RecordLayout* layout, SourceText* source, LayoutError* error);

// A reference to a field: the data name, then its qualifiers from the
// innermost group outwards, and its subscripts (1-based, outermost table
// first).
struct FieldName {
  std::vector<std::string> names;
  std::vector<int64_t> subscripts;
};

struct ResolvedField {
  const DataItem* item = nullptr;
  uint32_t position = 0;  // 1-based
  uint32_t length = 0;
};

// False with a message: no such name, a name that fits several items,
// missing, surplus or out-of-range subscripts.
bool resolve_field(const RecordLayout& layout, const FieldName& name, ResolvedField* out,
                   std::string* error);

// Whether any item is called `name`.
bool has_name(const RecordLayout& layout, const std::string& name);

// The name with enough qualifiers to tell it from the others of its name.
std::string qualified_name(const RecordLayout& layout, const DataItem& item);

}  // namespace zara_layout
