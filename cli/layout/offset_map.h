// Maps byte offsets of the control text the engine parses back to the
// text the user wrote: copied stretches map byte for byte, and every byte
// put in place of a field name maps to the name's first byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zara_layout {

class OffsetMap {
 public:
  // Appends user text [user_begin, user_end) copied as it is.
  void copy(std::string* engine, const std::string& user, size_t user_begin, size_t user_end);
  // Appends `text` standing for the user's bytes from `user_begin`.
  void replace(std::string* engine, const std::string& text, size_t user_begin);
  // The user offset for an engine offset; past the end maps to user_size.
  size_t to_user(size_t engine_offset, size_t user_size) const;

 private:
  struct Piece {
    size_t engine_begin, length, user_begin;
    bool replaced;
  };
  std::vector<Piece> pieces_;
};

}  // namespace zara_layout
