// Decimal numbers held as digits with a sign: PD (packed, sign in the low
// nibble of the last byte), SLI (zoned, sign in the zone of the first
// byte), STS/T (digits then a separate sign byte), STI/ZD (zoned, sign in
// the zone of the last byte, ASCII or EBCDIC zones). All bytes of the
// working length take part, sign nibbles and zones included.
//
// Working length is lb. Fields of unequal lengths rank the same whichever
// comes first: a longer first field is ranked as the mirror image of the
// shorter one, so a sort never sees a pair ordered both ways. For a
// shorter first field see each routine.
#include "compare/outcome.h"

namespace zara {

namespace {

constexpr uint8_t kPackedMinus = 0x0D;
constexpr uint8_t kSeparateMinus = '-';

inline bool sli_negative(uint8_t first) {
  const uint8_t zone = first >> 4;
  return zone == 0x4 || zone == 0x7;
}

// Zone classes of the sign byte of STI/ZD fields, by high nibble.
enum ZoneClass : uint8_t { kZoneOther = 0, kZoneNegative = 1, kZonePositive = 2 };
constexpr uint8_t kZoneClass[16] = {
    kZoneOther,    kZoneOther,    kZoneNegative, kZonePositive,  // 0 1 2 3
    kZoneNegative, kZoneOther,    kZoneOther,    kZoneNegative,  // 4 5 6 7
    kZoneOther,    kZoneOther,    kZonePositive, kZoneNegative,  // 8 9 A B
    kZonePositive, kZoneNegative, kZonePositive, kZonePositive,  // C D E F
};

}  // namespace

// Short first field: its sign nibble (in the last byte) is missing, so it
// is first.
int comppacked(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb) {
  if (la > lb) return reversed(comppacked(b, lb, a, la));
  if (la < lb) return kFirstSmaller;
  if (lb == 0) return kEqual;
  return sign_magnitude_outcome((a[lb - 1] & 0x0F) == kPackedMinus,
                                (b[lb - 1] & 0x0F) == kPackedMinus, a, b, lb);
}

// Short first field: it holds the sign and the leading digits, which decide
// when they differ; otherwise the shorter field is first.
int compsli(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb) {
  if (la > lb) return reversed(compsli(b, lb, a, la));
  const uint32_t n = la < lb ? la : lb;
  if (n == 0) return la < lb ? kFirstSmaller : kEqual;
  const int common = sign_magnitude_outcome(sli_negative(a[0]), sli_negative(b[0]), a, b, n);
  return (common == kEqual && la < lb) ? kFirstSmaller : common;
}

// Short first field: its sign byte (the last) is missing, so it is first.
int compts(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb) {
  if (la > lb) return reversed(compts(b, lb, a, la));
  if (la < lb) return kFirstSmaller;
  if (lb == 0) return kEqual;
  return sign_magnitude_outcome(a[lb - 1] == kSeparateMinus, b[lb - 1] == kSeparateMinus, a,
                                b, lb - 1);
}

// Short first field: its sign zone (in the last byte) is missing, so it is
// first. A first field whose zone is neither sign ranks in the reverse
// order of its bytes against anything.
int compzoned(const uint8_t* a, uint32_t la, const uint8_t* b, uint32_t lb) {
  if (la > lb) return reversed(compzoned(b, lb, a, la));
  if (la < lb) return kFirstSmaller;
  if (lb == 0) return kEqual;
  const uint8_t zone_a = kZoneClass[a[lb - 1] >> 4];
  const uint8_t zone_b = kZoneClass[b[lb - 1] >> 4];
  switch (zone_a) {
    case kZoneNegative:
      return zone_b == kZoneNegative ? reversed(forward_outcome(a, b, lb)) : kFirstSmaller;
    case kZonePositive:
      return zone_b == kZonePositive ? forward_outcome(a, b, lb) : kFirstGreater;
    default:
      return reversed(forward_outcome(a, b, lb));
  }
}

}  // namespace zara
