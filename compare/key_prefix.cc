#include "compare/key_prefix.h"

#include <cctype>

#include "records/field_location.h"

namespace zara {

PrefixPlan make_prefix_plan() {
  PrefixPlan plan;
  if (sp.count == 0) return plan;
  const KeyField& key = sp.entries[0];
  switch (key.key_type) {
    case kCha:
    case kSu:
    case kBin:
      plan.kind = PrefixKind::kBytes;
      break;
    case kAlp:
      plan.kind = PrefixKind::kUpper;
      break;
    case kFi:
      plan.kind = PrefixKind::kSignedBytes;
      break;
    default:
      return plan;
  }
  plan.descending = key.key_dir != 0;
  plan.position = key.key_pos;
  plan.length = key.key_len;
  return plan;
}

uint64_t key_prefix(const PrefixPlan& plan, const uint8_t* record, uint32_t record_length) {
  const Field f = s_movptr(record, record_length, plan.position, plan.length);
  const uint32_t n = f.len < 8 ? f.len : 8;
  uint64_t v = 0;
  switch (plan.kind) {
    case PrefixKind::kUpper:
      for (uint32_t i = 0; i < n; ++i) v |= uint64_t(uint8_t(std::toupper(f.addr[i]))) << (56 - 8 * i);
      break;
    case PrefixKind::kSignedBytes:
      for (uint32_t i = 0; i < n; ++i) v |= uint64_t(f.addr[i]) << (56 - 8 * i);
      if (n > 0) v ^= uint64_t{0x80} << 56;
      break;
    default:
      for (uint32_t i = 0; i < n; ++i) v |= uint64_t(f.addr[i]) << (56 - 8 * i);
      break;
  }
  return plan.descending ? ~v : v;
}

}  // namespace zara
