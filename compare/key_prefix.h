// Abbreviated keys: a 64-bit number per record that orders records like
// their first key wherever two numbers differ.
//
// For the key types whose order is the order of their bytes (CHA, SU and
// BIN as unsigned bytes, ALP as upper-cased bytes, FI with the sign bit of
// its first byte flipped) the number is the field's first 8 bytes, high
// byte first, padded with zero bytes; a descending key takes its
// complement. If prefix(a) < prefix(b), then s_compp(a, b) < 0: a field
// that is a proper prefix of another is the smaller one, and the zero
// padding never ranks above a real byte. Equal numbers decide nothing;
// the sort and the merge then ask s_compp.
#pragma once

#include <cstdint>

#include "engine/run_state.h"

namespace zara {

enum class PrefixKind : uint8_t { kNone, kBytes, kUpper, kSignedBytes };

struct PrefixPlan {
  PrefixKind kind = PrefixKind::kNone;
  bool descending = false;
  uint32_t position = 0;  // the key's field reference
  uint32_t length = 0;
};

// The plan of the run's first key (kNone when no key, or a type without
// an abbreviation). Reads sp and, through field location, gv.file_type.
PrefixPlan make_prefix_plan();

uint64_t key_prefix(const PrefixPlan& plan, const uint8_t* record, uint32_t record_length);

}  // namespace zara
