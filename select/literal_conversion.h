// Literal conversion: literals of the control text turned into the internal
// form of the field they are compared with; ASCII/EBCDIC translation.
#pragma once

#include <cstdint>

#include "engine/run_state.h"

namespace zara {

extern const uint8_t ebcdic_table[256];  // ASCII byte -> EBCDIC byte
extern const uint8_t ascii_table[256];   // EBCDIC byte -> ASCII byte

// Converts the NUL-terminated literal text in `buffer` for a field of
// `field_length` bytes, in place. False when the literal is not acceptable.
using ConvertFn = bool (*)(uint8_t* buffer, uint32_t field_length);
extern const ConvertFn cnvt_jump[kFieldTypeCount];

// Hexadecimal digits from buffer[2] on, into bytes from buffer[0] on.
bool hex2bin(uint8_t* buffer);
// In-place translation of a NUL-terminated string.
void ascii2ebcdic(uint8_t* text);
void ebcdic2ascii(uint8_t* text);
void revbytes(uint8_t* buffer, uint32_t n);

}  // namespace zara
