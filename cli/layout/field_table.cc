#include "cli/layout/field_table.h"

#include <cstdio>

namespace zara_layout {

namespace {

int depth(const RecordLayout& layout, const DataItem& item) {
  int d = 0;
  for (int p = item.parent; p >= 0; p = layout.items[p].parent) ++d;
  return d;
}

std::string storage(const DataItem& item) {
  std::string s = item.encoding.usage_text;
  if (item.has_picture) s += " PIC " + item.picture.text;
  if (item.occurs) s += " OCCURS " + std::to_string(item.occurs);
  if (!item.redefines.empty()) s += " REDEFINES " + item.redefines;
  return s;
}

}  // namespace

std::string field_table(const RecordLayout& layout) {
  std::string out;
  char line[512];
  snprintf(line, sizeof line, "%-3s %-32s %6s %6s  %-4s %s\n", "LVL", "NAME", "POS", "LEN", "TYPE",
           "USAGE");
  out += line;
  for (const DataItem& item : layout.items) {
    const std::string name =
        std::string(2 * depth(layout, item), ' ') + (item.name.empty() ? "FILLER" : item.name);
    const Encoding& e = item.encoding;
    snprintf(line, sizeof line, "%02d  %-32s %6u %6u  %-4s %s\n", item.level, name.c_str(),
             item.offset + 1, item.size, e.key_type.empty() ? "-" : e.key_type.c_str(),
             storage(item).c_str());
    out += line;
    if (e.key_type.empty()) out += std::string(44, ' ') + "not a key: " + e.refusal + "\n";
  }
  out += "record length " + std::to_string(layout.record_length) + "\n";
  return out;
}

}  // namespace zara_layout
