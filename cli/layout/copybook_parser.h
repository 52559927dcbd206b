// Reads the data description entries of a copybook: levels 01-49 (and 77
// as a record of its own), FILLER, PICTURE, USAGE, SIGN, OCCURS n TIMES,
// REDEFINES, and VALUE, JUSTIFIED, BLANK WHEN ZERO, GLOBAL, EXTERNAL,
// which do not change the layout. Level 66 and 88 entries are skipped.
// Subordinate items take over the USAGE and SIGN of their group.
#pragma once

#include <vector>

#include "cli/layout/copybook_lexer.h"
#include "cli/layout/data_item.h"

namespace zara_layout {

// The items in the order written, each linked to its group; false with the
// place of the first entry that does not parse.
bool parse_copybook(const std::vector<CobolToken>& tokens, std::vector<DataItem>* items,
                    LayoutError* error);

}  // namespace zara_layout
