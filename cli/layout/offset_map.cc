#include "cli/layout/offset_map.h"

namespace zara_layout {

void OffsetMap::copy(std::string* engine, const std::string& user, size_t user_begin,
                     size_t user_end) {
  if (user_end <= user_begin) return;
  pieces_.push_back(Piece{engine->size(), user_end - user_begin, user_begin, false});
  engine->append(user, user_begin, user_end - user_begin);
}

void OffsetMap::replace(std::string* engine, const std::string& text, size_t user_begin) {
  if (text.empty()) return;
  pieces_.push_back(Piece{engine->size(), text.size(), user_begin, true});
  engine->append(text);
}

size_t OffsetMap::to_user(size_t engine_offset, size_t user_size) const {
  for (const Piece& p : pieces_) {
    if (engine_offset < p.engine_begin || engine_offset >= p.engine_begin + p.length) continue;
    return p.replaced ? p.user_begin : p.user_begin + (engine_offset - p.engine_begin);
  }
  return user_size;
}

}  // namespace zara_layout
