// The SUM addition routines and sum_fields, which applies the SUM field
// table to the held record of duplicate processing.
//
// Decimal fields are added as digit arrays in nines' complement: cell 0
// holds the sign (0 positive, 9 negative), the digits follow, a negative
// operand's digits are replaced by 9 minus themselves, and a carry out of
// the sign cell comes around into the lowest digit. The sign cell of the
// result then says the result's sign (0 or 1 positive, 8 or 9 negative).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/run_state.h"
#include "select/literal_conversion.h"
#include "select/sum.h"
#include "zara15z37.h"

namespace zara {

namespace {

constexpr uint32_t kMaxZoned = 16;
constexpr uint32_t kMaxInteger = 8;
constexpr uint32_t kMaxPacked = 13;
constexpr uint32_t kMaxIeee = 8;
constexpr uint32_t kMaxNum = 31;

// Digit cells: a sign cell, the digits, and (packed) the sign half-byte.
constexpr uint32_t kMaxCells = 2 * kMaxPacked + 1;

// Sign of a decimal operand from its sign half-byte or zone.
enum class Sign { kPositive, kNegative, kInvalid };

Sign packed_sign(uint8_t nibble) {
  switch (nibble) {
    case 0xA: case 0xC: case 0xE: case 0xF: return Sign::kPositive;
    case 0xB: case 0xD: return Sign::kNegative;
    default: return Sign::kInvalid;
  }
}

Sign zoned_sign(uint8_t zone) {
  switch (zone) {
    case 0x3: case 0xA: case 0xC: case 0xE: case 0xF: return Sign::kPositive;
    case 0x2: case 0x4: case 0x7: case 0xB: case 0xD: return Sign::kNegative;
    default: return Sign::kInvalid;
  }
}

// Fills cells[0..digit_count] from the digits; false for a digit above 9.
bool load_cells(uint8_t* cells, const uint8_t* digits, uint32_t digit_count, bool negative) {
  cells[0] = negative ? 9 : 0;
  for (uint32_t i = 0; i < digit_count; ++i) {
    if (digits[i] > 9) return false;
    cells[1 + i] = negative ? static_cast<uint8_t>(9 - digits[i]) : digits[i];
  }
  return true;
}

// a[0..last] += b[0..last] in decimal with the end-around carry; the
// result lands in a.
void add_cells(uint8_t* a, const uint8_t* b, uint32_t last) {
  uint32_t carry = 0;
  for (uint32_t i = last + 1; i-- > 0;) {
    const uint32_t s = a[i] + b[i] + carry;
    a[i] = static_cast<uint8_t>(s % 10);
    carry = s / 10;
  }
  for (uint32_t i = last + 1; carry != 0 && i-- > 0;) {
    const uint32_t s = a[i] + carry;
    a[i] = static_cast<uint8_t>(s % 10);
    carry = s / 10;
  }
}

// The result's sign from its sign cell; kInvalid leaves the field alone.
Sign result_sign(uint8_t sign_cell) {
  if (sign_cell <= 1) return Sign::kPositive;
  if (sign_cell >= 8) return Sign::kNegative;
  return Sign::kInvalid;
}

uint8_t result_digit(const uint8_t* cells, uint32_t i, bool negative) {
  return negative ? static_cast<uint8_t>(9 - cells[i]) : cells[i];
}

// ---- NUM: numbers written as ASCII or EBCDIC text ----

double num_value(const uint8_t* field, uint32_t length, bool ebcdic) {
  char text[kMaxNum + 1];
  for (uint32_t i = 0; i < length; ++i)
    text[i] = static_cast<char>(ebcdic ? ascii_table[field[i]] : field[i]);
  text[length] = '\0';
  return atof(text);
}

uint32_t decimals_of(const uint8_t* field, uint32_t length, uint8_t point) {
  for (uint32_t i = 0; i < length; ++i)
    if (field[i] == point) return length - i - 1;
  return 0;
}

}  // namespace

void sum_bin_fi(const uint8_t* current, uint8_t* held, uint32_t length) {
  if (length > kMaxInteger) return;
  uint32_t carry = 0;
  for (uint32_t i = length; i-- > 0;) {
    const uint32_t s = current[i] + held[i] + carry;
    held[i] = static_cast<uint8_t>(s);
    carry = s >> 8;
  }
}

void sum_int_word(const uint8_t* current, uint8_t* held, uint32_t length) {
  if (length > kMaxInteger) return;
  uint32_t carry = 0;
  for (uint32_t i = 0; i < length; ++i) {
    const uint32_t s = current[i] + held[i] + carry;
    held[i] = static_cast<uint8_t>(s);
    carry = s >> 8;
  }
}

void sum_ieee(const uint8_t* current, uint8_t* held, uint32_t length) {
  if (length == 4) {
    float a, b;
    memcpy(&a, current, 4);
    memcpy(&b, held, 4);
    const float s = b + a;
    memcpy(held, &s, 4);
  } else if (length == 8) {
    double a, b;
    memcpy(&a, current, 8);
    memcpy(&b, held, 8);
    const double s = b + a;
    memcpy(held, &s, 8);
  }
}

void sum_packed(const uint8_t* current, uint8_t* held, uint32_t length) {
  if (length == 0 || length > kMaxPacked) return;
  const uint32_t halves = 2 * length;  // digits and the sign half
  uint8_t nibbles[2 * kMaxPacked];
  uint8_t cells[2][kMaxCells];
  const uint8_t* operands[2] = {current, held};
  for (int k = 0; k < 2; ++k) {
    for (uint32_t i = 0; i < length; ++i) {
      nibbles[2 * i] = static_cast<uint8_t>(operands[k][i] >> 4);
      nibbles[2 * i + 1] = static_cast<uint8_t>(operands[k][i] & 0x0F);
    }
    const Sign sign = packed_sign(nibbles[halves - 1]);
    if (sign == Sign::kInvalid) return;
    if (!load_cells(cells[k], nibbles, halves - 1, sign == Sign::kNegative)) return;
  }
  // Cells 0 .. halves-1: the sign cell and the 2n - 1 digits.
  add_cells(cells[0], cells[1], halves - 1);
  const Sign sign = result_sign(cells[0][0]);
  if (sign == Sign::kInvalid) return;
  const bool negative = sign == Sign::kNegative;
  for (uint32_t i = 0; i < halves - 1; ++i) nibbles[i] = result_digit(cells[0], 1 + i, negative);
  nibbles[halves - 1] = negative ? 0xD : 0xC;
  for (uint32_t i = 0; i < length; ++i)
    held[i] = static_cast<uint8_t>((nibbles[2 * i] << 4) | nibbles[2 * i + 1]);
}

void sum_zoned(const uint8_t* current, uint8_t* held, uint32_t length) {
  if (length == 0 || length > kMaxZoned) return;
  uint8_t digits[kMaxZoned];
  uint8_t cells[2][kMaxZoned + 1];
  uint8_t positive_zone = 0x3;
  uint8_t negative_zone = 0x7;
  const uint8_t* operands[2] = {current, held};
  for (int k = 0; k < 2; ++k) {
    const uint8_t zone = static_cast<uint8_t>(operands[k][length - 1] >> 4);
    const Sign sign = zoned_sign(zone);
    if (sign == Sign::kInvalid) return;
    // The held field is read last, so its zone wins between equal signs.
    if (sign == Sign::kNegative) {
      negative_zone = zone;
    } else {
      positive_zone = zone;
    }
    for (uint32_t i = 0; i < length; ++i) digits[i] = static_cast<uint8_t>(operands[k][i] & 0x0F);
    if (!load_cells(cells[k], digits, length, sign == Sign::kNegative)) return;
  }
  add_cells(cells[0], cells[1], length);
  const Sign sign = result_sign(cells[0][0]);
  if (sign == Sign::kInvalid) return;
  const bool negative = sign == Sign::kNegative;
  const uint8_t digit_zone = static_cast<uint8_t>(current[0] & 0xF0);
  for (uint32_t i = 0; i < length; ++i)
    held[i] = static_cast<uint8_t>(digit_zone | result_digit(cells[0], 1 + i, negative));
  const uint8_t sign_zone = negative ? negative_zone : positive_zone;
  held[length - 1] = static_cast<uint8_t>((sign_zone << 4) | (held[length - 1] & 0x0F));
}

void sum_num(const uint8_t* current, uint8_t* held, uint32_t length) {
  if (length == 0 || length > kMaxNum) return;
  const bool ebcdic = ebcdic_number_byte(held[0]);
  const uint8_t overflow_mark = ebcdic ? 0x5C : 0x2A;
  if (held[0] == 0x2A || held[0] == 0x5C) return;  // already overflowed
  const uint32_t decimals = decimals_of(held, length, ebcdic ? 0x4B : 0x2E);
  const double sum = num_value(held, length, ebcdic) + num_value(current, length, ebcdic);
  char text[kMaxNum + 1];
  const int printed = std::isfinite(sum)
                          ? snprintf(text, sizeof text, "%*.*f", static_cast<int>(length),
                                     static_cast<int>(decimals), sum)
                          : -1;
  // A text that the buffer cannot hold does not fit the field either.
  bool fits = printed >= 0 && static_cast<uint32_t>(printed) < sizeof text;
  const char* start = text;
  uint32_t size = fits ? static_cast<uint32_t>(printed) : 0;
  while (fits && size > length) {
    if (*start != '0') fits = false;
    ++start;
    --size;
  }
  if (!fits) {
    memset(held, overflow_mark, length);
    return;
  }
  for (uint32_t i = 0; i < length; ++i) {
    const uint8_t c = static_cast<uint8_t>(start[i]);
    held[i] = ebcdic ? ebcdic_table[c] : c;
  }
}

const SumFn sum_jump[kSumTypeCount] = {
    sum_zoned, sum_bin_fi, sum_int_word, sum_packed, sum_ieee,
    sum_ieee,  sum_int_word, sum_bin_fi, sum_num,
};

const uint32_t sum_max_length[kSumTypeCount] = {
    kMaxZoned, kMaxInteger, kMaxInteger, kMaxPacked, kMaxIeee,
    kMaxIeee,  kMaxInteger, kMaxInteger, kMaxNum,
};

}  // namespace zara

// Adds the SUM fields of a record into the held record. A field that does
// not lie wholly inside both records is left alone for this pair.
extern "C" int sum_fields(const uint8_t* record, uint32_t length, uint32_t /*sequence*/,
                          uint32_t /*fourth*/) {
  using namespace zara;
  uint8_t* held = static_cast<uint8_t*>(hold_area_info.address);
  const uint32_t held_length = hold_area_info.length;
  if (record == nullptr || held == nullptr) return 0;
  for (uint32_t i = 0; i < su.count && i < su.capacity; ++i) {
    const SumField& f = su.entries[i];
    if (f.sum_type >= kSumTypeCount || f.sum_pos == 0) continue;
    const uint32_t offset = f.sum_pos - 1;
    if (offset > length || f.sum_len > length - offset) continue;
    if (offset > held_length || f.sum_len > held_length - offset) continue;
    sum_jump[f.sum_type](record + offset, held + offset, f.sum_len);
  }
  return 0;
}
