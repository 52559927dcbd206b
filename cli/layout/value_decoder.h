// Shows a field's bytes the way --explain prints them: as hexadecimal, as
// text (bytes outside printable ASCII as '.'), and as the value its field
// type holds, with `scale` decimal places for the decimal and binary
// types ("-123.45" for packed bytes 12 34 5D of scale 2).
#pragma once

#include <cstdint>
#include <string>

namespace zara_layout {

std::string hex_bytes(const uint8_t* bytes, size_t length);
std::string text_bytes(const uint8_t* bytes, size_t length);

// `type` is an engine field type as kFieldTypes spells it (CHA, PD, ...).
// Bytes that are not a valid value of the type give a text in brackets.
std::string decode_value(const std::string& type, int32_t scale, const uint8_t* bytes,
                         size_t length);

}  // namespace zara_layout
