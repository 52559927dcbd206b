// The layout as a table for --fields: one line per item with its level,
// name (indented by depth), 1-based position, length, key type and
// storage. A table shows its first occurrence and how often it occurs; an
// item that cannot be a key shows "-" as its type and the reason below.
#pragma once

#include <string>

#include "cli/layout/record_layout.h"

namespace zara_layout {

std::string field_table(const RecordLayout& layout);

}  // namespace zara_layout
