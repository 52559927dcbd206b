// A PICTURE character string: its category, the character positions it
// takes in DISPLAY form, and for numeric pictures the digits stored, the
// decimal scale and whether it is signed.
//
// Symbols: X A 9 S V P with repeat counts "9(5)", and the editing symbols
// B 0 / , . Z * + - $ CR DB, which make the item an edited (text) item.
// P positions take no storage: PIC 9(3)PP holds three digits worth 100
// each (scale -2), PIC VPP99 two digits after two implied zeros (scale 4).
#pragma once

#include <cstdint>
#include <string>

namespace zara_layout {

enum class PictureCategory { kAlphanumeric, kAlphabetic, kNumeric, kNumericEdited, kAlnumEdited };

struct Picture {
  PictureCategory category = PictureCategory::kAlphanumeric;
  uint32_t positions = 0;  // characters in DISPLAY form (without a separate sign)
  uint32_t digits = 0;     // 9s: the digits stored
  int32_t scale = 0;       // digits after the implied decimal point
  bool is_signed = false;
  std::string text;        // as written, upper-cased
};

// False with a message when the string is not a picture this tool reads.
bool parse_picture(const std::string& text, Picture* picture, std::string* error);

}  // namespace zara_layout
