#include "cli/layout/record_layout.h"

#include "cli/layout/copybook_lexer.h"
#include "cli/layout/copybook_parser.h"

namespace zara_layout {

namespace {

constexpr uint64_t kMaxRecord = 0x7FFFFFFF;

struct Layouter {
  RecordLayout* layout;
  const Conventions& conventions;
  LayoutError* error;

  bool fail(const std::string& message, SourcePos where) {
    *error = LayoutError{message, where};
    return false;
  }

  // Lays out item `i` at `offset`; its storage ends at *end.
  bool place(int i, uint64_t offset, uint64_t* end) {
    DataItem& item = layout->items[i];
    item.offset = static_cast<uint32_t>(offset);
    if (item.elementary()) {
      std::string message;
      // A group's SIGN clause applies to its signed DISPLAY items only.
      const bool sign = item.sign_given && (!item.sign_inherited || (item.usage == Usage::kDisplay &&
                                                                     item.picture.is_signed));
      if (!encode_item(item.usage, item.has_picture, item.picture, sign, item.sign,
                       conventions, &item.encoding, &message))
        return fail(message, item.where);
      item.size = item.encoding.length;
    } else {
      if (item.has_picture) return fail("a group item cannot have a PICTURE", item.where);
      uint64_t next = offset;
      if (!place_children(item, offset, &next)) return false;
      item.size = static_cast<uint32_t>(next - offset);
      item.encoding.length = item.size;
      item.encoding.key_type = item.encoding.decode_type = "CH";
      item.encoding.usage_text = "group";
      item.encoding.sum_refusal = "SUM cannot add a group item";
    }
    const uint64_t total = static_cast<uint64_t>(item.size) * (item.occurs ? item.occurs : 1);
    if (offset + total > kMaxRecord) return fail("the record is too long", item.where);
    *end = offset + total;
    return true;
  }

  bool place_children(const DataItem& group, uint64_t offset, uint64_t* next) {
    const std::vector<int> children = group.children;
    uint64_t at = offset;
    for (size_t k = 0; k < children.size(); ++k) {
      const DataItem& child = layout->items[children[k]];
      uint64_t start = at;
      if (!child.redefines.empty()) {
        const int target = earlier_sibling(children, k, child.redefines);
        if (target < 0)
          return fail(child.redefines + " is not an earlier item of the same group", child.redefines_where);
        start = layout->items[target].offset;
      }
      uint64_t end = 0;
      if (!place(children[k], start, &end)) return false;
      if (end > at) at = end;
    }
    *next = at;
    return true;
  }

  int earlier_sibling(const std::vector<int>& siblings, size_t k, const std::string& name) {
    for (size_t j = k; j-- > 0;)
      if (layout->items[siblings[j]].name == name) return siblings[j];
    return -1;
  }

  bool run() {
    uint64_t longest = 0;
    std::vector<int> records;
    for (size_t i = 0; i < layout->items.size(); ++i) {
      const DataItem& item = layout->items[i];
      if (item.parent >= 0) continue;
      if (!item.redefines.empty() && earlier_sibling(records, records.size(), item.redefines) < 0)
        return fail(item.redefines + " is not an earlier record", item.redefines_where);
      records.push_back(static_cast<int>(i));
      uint64_t end = 0;
      if (!place(static_cast<int>(i), 0, &end)) return false;
      if (end > longest) longest = end;
    }
    if (longest == 0) return fail("the record has no bytes", SourcePos{});
    layout->record_length = static_cast<uint32_t>(longest);
    return true;
  }
};

// The table dimensions of an item, outermost first: (count, stride).
std::vector<std::pair<uint32_t, uint32_t>> dimensions(const RecordLayout& layout, const DataItem* item) {
  std::vector<std::pair<uint32_t, uint32_t>> dims;
  for (const DataItem* p = item; p; p = p->parent >= 0 ? &layout.items[p->parent] : nullptr)
    if (p->occurs) dims.insert(dims.begin(), {p->occurs, p->size});
  return dims;
}

// Whether `item`'s groups, from the inside out, include the qualifiers
// in their order.
bool qualifies(const RecordLayout& layout, const DataItem& item, const std::vector<std::string>& names) {
  size_t want = 1;
  for (int p = item.parent; p >= 0 && want < names.size(); p = layout.items[p].parent)
    if (layout.items[p].name == names[want]) ++want;
  return want == names.size();
}

std::string describe(const FieldName& name) {
  std::string s = name.names[0];
  for (size_t i = 1; i < name.names.size(); ++i) s += " OF " + name.names[i];
  return s;
}

}  // namespace

bool build_layout(const std::string& copybook, SourceFormat format, const Conventions& conventions,
                  RecordLayout* layout, SourceText* source, LayoutError* error) {
  std::vector<CobolToken> tokens;
  if (!read_source(copybook, format, source, error)) return false;
  if (!lex_copybook(*source, &tokens, error)) return false;
  RecordLayout out;
  if (!parse_copybook(tokens, &out.items, error)) return false;
  Layouter layouter{&out, conventions, error};
  if (!layouter.run()) return false;
  *layout = std::move(out);
  return true;
}

bool has_name(const RecordLayout& layout, const std::string& name) {
  for (const DataItem& item : layout.items)
    if (item.name == name) return true;
  return false;
}

bool resolve_field(const RecordLayout& layout, const FieldName& name, ResolvedField* out,
                   std::string* error) {
  std::vector<const DataItem*> found;
  for (const DataItem& item : layout.items)
    if (item.name == name.names[0] && qualifies(layout, item, name.names)) found.push_back(&item);
  if (found.empty()) {
    *error = "the copybook has no field " + describe(name);
    return false;
  }
  if (found.size() > 1) {
    *error = describe(name) + " is ambiguous: it may be " + qualified_name(layout, *found[0]);
    for (size_t i = 1; i < found.size(); ++i)
      *error += (i + 1 == found.size() ? " or " : ", ") + qualified_name(layout, *found[i]);
    return false;
  }
  const DataItem* item = found[0];
  const auto dims = dimensions(layout, item);
  if (name.subscripts.size() != dims.size()) {
    *error = describe(name) + (dims.empty() ? " is not in a table and takes no subscript"
                                            : " needs " + std::to_string(dims.size()) + " subscript" +
                                                  (dims.size() > 1 ? "s" : ""));
    return false;
  }
  uint64_t offset = item->offset;
  for (size_t d = 0; d < dims.size(); ++d) {
    const int64_t s = name.subscripts[d];
    if (s < 1 || s > dims[d].first) {
      *error = "subscript " + std::to_string(s) + " of " + describe(name) + " is outside 1 to " +
               std::to_string(dims[d].first);
      return false;
    }
    offset += static_cast<uint64_t>(s - 1) * dims[d].second;
  }
  out->item = item;
  out->position = static_cast<uint32_t>(offset + 1);
  out->length = item->size;
  return true;
}

std::string qualified_name(const RecordLayout& layout, const DataItem& item) {
  std::string s = item.name;
  std::vector<std::string> names{item.name};
  for (int p = item.parent; p >= 0; p = layout.items[p].parent) {
    size_t same = 0;
    for (const DataItem& other : layout.items)
      if (other.name == item.name && qualifies(layout, other, names)) ++same;
    if (same <= 1) break;
    if (layout.items[p].name.empty()) continue;
    names.push_back(layout.items[p].name);
    s += " OF " + layout.items[p].name;
  }
  return s;
}

}  // namespace zara_layout
