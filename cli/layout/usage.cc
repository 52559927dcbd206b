#include "cli/layout/usage.h"

namespace zara_layout {

namespace {

constexpr uint32_t kMaxBinaryDigits = 18;
// A NUM key reads its text as a double, which holds 15 digits exactly.
constexpr uint32_t kMaxExactNumDigits = 15;

struct UsageWord {
  const char* word;
  Usage usage;
};
constexpr UsageWord kUsageWords[] = {
    {"DISPLAY", Usage::kDisplay},         {"COMP", Usage::kBinary},
    {"COMPUTATIONAL", Usage::kBinary},    {"BINARY", Usage::kBinary},
    {"COMP-4", Usage::kBinary},           {"COMPUTATIONAL-4", Usage::kBinary},
    {"COMP-5", Usage::kNativeBinary},     {"COMPUTATIONAL-5", Usage::kNativeBinary},
    {"COMP-3", Usage::kPacked},           {"COMPUTATIONAL-3", Usage::kPacked},
    {"PACKED-DECIMAL", Usage::kPacked},   {"COMP-1", Usage::kFloat},
    {"COMPUTATIONAL-1", Usage::kFloat},   {"COMP-2", Usage::kDouble},
    {"COMPUTATIONAL-2", Usage::kDouble},
};

bool fail(std::string* error, const std::string& message) {
  *error = message;
  return false;
}

// The smallest byte count whose range holds every value of `digits`
// digits: the most digits that 1..8 bytes hold, unsigned and signed.
uint32_t minimal_bytes(uint32_t digits, bool is_signed) {
  static constexpr uint32_t kUnsignedDigits[8] = {2, 4, 7, 9, 12, 14, 16, 19};
  static constexpr uint32_t kSignedDigits[8] = {2, 4, 6, 9, 11, 14, 16, 18};
  const uint32_t* fits = is_signed ? kSignedDigits : kUnsignedDigits;
  for (uint32_t n = 0; n < 8; ++n)
    if (digits <= fits[n]) return n + 1;
  return 8;
}

void display_encoding(const Picture& pic, bool sign_given, SignClause sign,
                      const Conventions& c, Encoding* e) {
  if (!pic.is_signed) {
    // Digits 0x30-0x39 of one width order as their bytes.
    e->length = pic.digits;
    e->key_type = "CH";
    e->decode_type = "ZD";
    e->sum_type = "ZD";
    e->usage_text = "DISPLAY";
    return;
  }
  if (sign_given && sign.separate) {
    e->length = pic.digits + 1;
    e->sum_refusal = "SUM cannot add a field with a separate sign";
    if (!sign.leading) {
      e->key_type = e->decode_type = "STS";
      e->usage_text = "DISPLAY SIGN TRAILING SEPARATE";
      return;
    }
    e->usage_text = "DISPLAY SIGN LEADING SEPARATE";
    e->decode_type = "NUM";
    if (pic.digits <= kMaxExactNumDigits) e->key_type = "NUM";
    else e->refusal = "a SIGN LEADING SEPARATE key orders exactly up to 15 digits";
    return;
  }
  e->length = pic.digits;
  const bool leading = sign_given && sign.leading;
  e->usage_text = leading ? "DISPLAY SIGN LEADING" : "DISPLAY";
  if (c.ebcdic_sign) {
    e->usage_text += " (EBCDIC sign)";
    e->refusal = "no field type orders digits with an EBCDIC-style embedded sign";
    e->sum_refusal = "SUM cannot add digits with an EBCDIC-style embedded sign";
    return;
  }
  if (leading) {
    e->key_type = e->decode_type = "SLI";
    e->sum_refusal = "SUM cannot add a field signed in its first digit";
  } else {
    e->key_type = e->decode_type = "ZD";
    e->sum_type = "ZD";
  }
}

}  // namespace

bool usage_from_word(const std::string& word, Usage* usage) {
  for (const UsageWord& w : kUsageWords) {
    if (word == w.word) {
      *usage = w.usage;
      return true;
    }
  }
  return false;
}

const char* usage_name(Usage usage) {
  switch (usage) {
    case Usage::kDisplay: return "DISPLAY";
    case Usage::kBinary: return "COMP";
    case Usage::kNativeBinary: return "COMP-5";
    case Usage::kPacked: return "COMP-3";
    case Usage::kFloat: return "COMP-1";
    case Usage::kDouble: return "COMP-2";
  }
  return "";
}

uint32_t binary_length(uint32_t digits, bool is_signed, bool native_usage, BinarySize size) {
  // GnuCOBOL's binary-size 2-4-8 leaves COMP-5 at 1-2-4-8.
  if (size == BinarySize::k1to8) return minimal_bytes(digits, is_signed);
  if (digits <= 2) return (size == BinarySize::k248 && !native_usage) ? 2 : 1;
  if (digits <= 4) return 2;
  if (digits <= 9) return 4;
  return 8;
}

bool encode_item(Usage usage, bool has_picture, const Picture& pic, bool sign_given,
                 SignClause sign, const Conventions& c, Encoding* out, std::string* error) {
  Encoding e;
  if (usage == Usage::kFloat || usage == Usage::kDouble) {
    if (has_picture) return fail(error, std::string(usage_name(usage)) + " takes no PICTURE");
    e.length = usage == Usage::kFloat ? 4 : 8;
    e.key_type = e.decode_type = e.sum_type = "FL";
    e.usage_text = usage_name(usage);
    *out = e;
    return true;
  }
  if (!has_picture) return fail(error, "an elementary item needs a PICTURE");
  if (sign_given && (!pic.is_signed || usage != Usage::kDisplay))
    return fail(error, "SIGN applies to signed DISPLAY items only");
  if (pic.category != PictureCategory::kNumeric) {
    if (usage != Usage::kDisplay)
      return fail(error, std::string("USAGE ") + usage_name(usage) + " needs a numeric PICTURE");
    e.length = pic.positions;
    e.key_type = e.decode_type = "CH";
    e.sum_refusal = "SUM adds numeric fields only";
    e.usage_text = "DISPLAY";
    *out = e;
    return true;
  }
  e.scale = pic.scale;
  switch (usage) {
    case Usage::kDisplay:
      display_encoding(pic, sign_given, sign, c, &e);
      break;
    case Usage::kBinary:
    case Usage::kNativeBinary: {
      if (pic.digits > kMaxBinaryDigits) return fail(error, "a binary item holds at most 18 digits");
      const bool native = usage == Usage::kNativeBinary;
      e.length = binary_length(pic.digits, pic.is_signed, native, c.binary_size);
      const bool little = native || c.binary_native;
      if (little) e.key_type = pic.is_signed ? "INT" : "W";
      else e.key_type = pic.is_signed ? "FI" : "BI";
      e.decode_type = e.key_type;
      e.sum_type = little ? "INT" : "BIN";
      e.usage_text = std::string(native ? "COMP-5" : "COMP") + (little ? " little-endian" : " big-endian");
      break;
    }
    case Usage::kPacked:
      e.length = pic.digits / 2 + 1;
      e.key_type = e.decode_type = e.sum_type = "PD";
      e.usage_text = "COMP-3";
      break;
    default:
      break;
  }
  *out = e;
  return true;
}

}  // namespace zara_layout
