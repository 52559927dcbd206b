#include "cli/layout/number_literal.h"

#include <cctype>
#include <cstdint>

#include "cli/layout/value_decoder.h"

namespace zara_layout {

namespace {

// The longest field whose "&H" form fits a condition literal (50 bytes).
constexpr size_t kMaxHexBytes = 24;

struct Number {
  bool negative = false;
  std::string digits;  // of the field's digit count, scaled, no sign
};

bool is_number_text(std::string_view t) {
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  bool digit = false, point = false;
  for (; i < t.size(); ++i) {
    if (std::isdigit(static_cast<unsigned char>(t[i]))) digit = true;
    else if (t[i] == '.' && !point) point = true;
    else return false;
  }
  return digit;
}

// The digits the field stores for the number, or a reason.
bool scale_number(std::string_view t, uint32_t digits, int32_t scale, bool is_signed, Number* n,
                  std::string* why) {
  n->negative = !t.empty() && t[0] == '-';
  if (!t.empty() && (t[0] == '+' || t[0] == '-')) t.remove_prefix(1);
  const size_t point = t.find('.');
  std::string whole(t.substr(0, point));
  std::string fraction = point == std::string_view::npos ? "" : std::string(t.substr(point + 1));
  if (scale >= 0) {
    const size_t places = static_cast<size_t>(scale);
    while (fraction.size() > places && fraction.back() == '0') fraction.pop_back();
    if (fraction.size() > places) return *why = "has more decimal places than the field", false;
    whole += fraction + std::string(places - fraction.size(), '0');
  } else {
    if (fraction.find_first_not_of('0') != std::string::npos)
      return *why = "is not a multiple of the field's scaling", false;
    const size_t drop = static_cast<size_t>(-scale);
    if (whole.size() < drop || whole.find_first_not_of('0', whole.size() - drop) != std::string::npos)
      return *why = "is not a multiple of the field's scaling", false;
    whole.resize(whole.size() - drop);
  }
  const size_t first = whole.find_first_not_of('0');
  whole = first == std::string::npos ? "" : whole.substr(first);
  if (whole.empty()) n->negative = false;
  if (whole.size() > digits) return *why = "has more digits than the field", false;
  if (n->negative && !is_signed) return *why = "is negative and the field unsigned", false;
  n->digits = std::string(digits - whole.size(), '0') + whole;
  return true;
}

std::string hex_literal(const std::string& bytes) {
  std::string hex = hex_bytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  std::string compact = "&H";
  for (char c : hex)
    if (c != ' ') compact += c;
  return compact;
}

std::string zoned(const Number& n, size_t sign_at, bool is_signed) {
  std::string bytes = n.digits;
  if (is_signed && n.negative) bytes[sign_at] = static_cast<char>(0x70 | (bytes[sign_at] & 0x0F));
  return bytes;
}

std::string packed(const Number& n, bool is_signed) {
  std::string nibbles = n.digits;
  if (nibbles.size() % 2 == 0) nibbles.insert(0, "0");
  const int sign = !is_signed ? 0xF : n.negative ? 0xD : 0xC;
  std::string bytes;
  for (size_t i = 0; i + 1 < nibbles.size(); i += 2)
    bytes += static_cast<char>((nibbles[i] - '0') << 4 | (nibbles[i + 1] - '0'));
  bytes += static_cast<char>((nibbles.back() - '0') << 4 | sign);
  return bytes;
}

std::string binary(const Number& n, size_t length, bool big_endian) {
  uint64_t v = std::stoull(n.digits.empty() ? "0" : n.digits);
  if (n.negative) v = ~v + 1;
  std::string bytes(length, '\0');
  for (size_t i = 0; i < length; ++i) bytes[big_endian ? length - 1 - i : i] = static_cast<char>(v >> (8 * i));
  return bytes;
}

}  // namespace

LiteralForm number_for_field(const DataItem& item, std::string_view text, std::string* out) {
  const Encoding& e = item.encoding;
  const std::string& type = e.decode_type;
  const bool numeric = item.elementary() && item.has_picture &&
                       item.picture.category == PictureCategory::kNumeric && !e.key_type.empty();
  if (!numeric || (!text.empty() && text[0] == '&')) return LiteralForm::kUnchanged;
  if (!is_number_text(text)) {
    if (e.key_type == "CH") return LiteralForm::kUnchanged;  // text compared as text
    *out = "is not a number";
    return LiteralForm::kRefused;
  }
  Number n;
  if (!scale_number(text, item.picture.digits, e.scale, item.picture.is_signed, &n, out))
    return LiteralForm::kRefused;
  const bool is_signed = item.picture.is_signed;
  const std::string sign = n.negative ? "-" : "+";
  std::string bytes;
  bool as_text = false;
  if (e.key_type == "CH") bytes = n.digits, as_text = true;  // unsigned DISPLAY
  else if (type == "STS") bytes = n.digits + sign, as_text = true;
  else if (type == "NUM") bytes = sign + n.digits, as_text = true;
  else if (type == "ZD") bytes = zoned(n, n.digits.size() - 1, is_signed);
  else if (type == "SLI") bytes = zoned(n, 0, is_signed);
  else if (type == "PD") bytes = packed(n, is_signed);
  else if (type == "FI" || type == "BI") bytes = binary(n, e.length, true);
  else if (type == "INT" || type == "W") bytes = binary(n, e.length, false);
  else return LiteralForm::kUnchanged;  // FL: the engine reads the number
  if (!as_text && bytes.size() > kMaxHexBytes) {
    *out = "cannot be written for a field this long; use \"&H...\"";
    return LiteralForm::kRefused;
  }
  *out = as_text ? bytes : hex_literal(bytes);
  return LiteralForm::kRewritten;
}

}  // namespace zara_layout
