// Literal conversion: literals of the control text turned into the internal
// form of the field they are compared with; ASCII/EBCDIC translation.
//
// A conversion routine works in place on a literal buffer that holds the
// literal text followed by a NUL (the condition element's 54-byte area holds
// at most 50 bytes of text, so a NUL always follows inside the area). A
// routine that converts writes the value over the start of the buffer and
// stores the value's length in *value_length; a routine that keeps the text
// leaves *value_length alone. The value always fits in the first 8 bytes.
#pragma once

#include <cstdint>

#include "engine/run_state.h"

namespace zara {

extern const uint8_t ebcdic_table[256];  // ASCII byte -> EBCDIC byte
extern const uint8_t ascii_table[256];   // EBCDIC byte -> ASCII byte

// Converts the literal text in `buffer` for a field of `field_length`
// bytes. False when the literal is not acceptable for the field.
using ConvertFn = bool (*)(uint8_t* buffer, uint32_t field_length, uint32_t* value_length);
// Indexed by field type (FieldType).
extern const ConvertFn cnvt_jump[kFieldTypeCount];

// The routines of cnvt_jump.
bool a2nul(uint8_t* buffer, uint32_t field_length, uint32_t* value_length);   // text kept
bool a2na(uint8_t* buffer, uint32_t field_length, uint32_t* value_length);    // refused
// Decimal integer, native (little-endian) 2 or 4 bytes.
bool a2int(uint8_t* buffer, uint32_t field_length, uint32_t* value_length);
// Decimal integer, big-endian 2 or 4 bytes.
bool a2fi(uint8_t* buffer, uint32_t field_length, uint32_t* value_length);
// IEEE single (4) or double (8); any other length keeps the text.
bool a2ieee(uint8_t* buffer, uint32_t field_length, uint32_t* value_length);
// Microsoft Binary Format single (4) or double (8); other lengths refused.
bool a2spdp(uint8_t* buffer, uint32_t field_length, uint32_t* value_length);

// Hexadecimal digits from buffer[2] up to the NUL, two to a byte, into bytes
// from buffer[0] on. False on a non-digit or an odd number of digits.
// `buffer` must be NUL-terminated; nothing past the NUL is read.
bool hex2bin(uint8_t* buffer);
// In-place translation of a NUL-terminated string; stops at the first NUL.
void ascii2ebcdic(uint8_t* text);
void ebcdic2ascii(uint8_t* text);
// The bytes that mark a number written as text as EBCDIC when they begin
// it: blank, the digits, period, plus, minus and tab.
bool ebcdic_number_byte(uint8_t b);
// Reverses the order of n bytes in place.
void revbytes(uint8_t* buffer, uint32_t n);

}  // namespace zara
