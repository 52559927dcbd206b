// SUM fields: addition of a field of the current record into the same field
// of the held record, one routine per SUM field type (index of
// sum_fieldtypes: 0 ZD, 1 BIN, 2 INT, 3 PD, 4 EEE, 5 FL, 6 WOR, 7 FIX,
// 8 NUM).
//
// Every routine takes the current record's field and the held record's
// field (the same offset in both) and their common length, reads the first
// and rewrites the second in place. None fails: integer and decimal sums
// wrap, IEEE sums follow IEEE arithmetic, a NUM sum that does not fit is
// replaced by the overflow mark (asterisks). An operand that is not a valid
// number of its type (packed sign nibble 0-9 or a digit nibble above 9,
// zoned sign zone 0 1 5 6 8 9 or a digit above 9) leaves the held field as
// it was. The length is at most sum_max_length of the type; the routines
// also check it themselves and ignore a longer field.
//
// The exported C routine sum_fields (zara15z37.h) applies every entry of
// `su` to the held record of duplicate processing.
#pragma once

#include <cstdint>

namespace zara {

enum SumType : uint8_t {
  kSumZd = 0, kSumBin, kSumInt, kSumPd, kSumEee, kSumFl, kSumWor, kSumFix, kSumNum,
};
constexpr int kSumTypeCount = 9;

using SumFn = void (*)(const uint8_t* current, uint8_t* held, uint32_t length);
extern const SumFn sum_jump[kSumTypeCount];
// Largest field length per SUM field type.
extern const uint32_t sum_max_length[kSumTypeCount];

void sum_zoned(const uint8_t* current, uint8_t* held, uint32_t length);
void sum_bin_fi(const uint8_t* current, uint8_t* held, uint32_t length);
void sum_int_word(const uint8_t* current, uint8_t* held, uint32_t length);
void sum_packed(const uint8_t* current, uint8_t* held, uint32_t length);
void sum_ieee(const uint8_t* current, uint8_t* held, uint32_t length);
void sum_num(const uint8_t* current, uint8_t* held, uint32_t length);

}  // namespace zara
