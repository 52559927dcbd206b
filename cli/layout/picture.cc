#include "cli/layout/picture.h"

#include <cctype>
#include <cstring>

namespace zara_layout {

namespace {

constexpr uint32_t kMaxPositions = 65535;
constexpr uint32_t kMaxDigits = 38;

struct Counts {
  uint32_t x = 0, a = 0, nines = 0, s = 0, v = 0, p = 0, edit = 0, positions = 0;
  uint32_t digit_edit = 0;  // Z * and floating + - $ that stand for digits
  uint32_t after_v = 0;     // 9s and Ps after V
  uint32_t leading_p = 0;   // Ps before the first 9
  uint32_t trailing_p = 0;  // Ps after the last 9 (without V)
};

bool fail(std::string* error, const std::string& message) {
  *error = message;
  return false;
}

// One symbol `c` taken `n` times.
bool count_symbol(char c, uint32_t n, Counts* k, std::string* error) {
  switch (c) {
    case 'X': k->x += n; break;
    case 'A': k->a += n; break;
    case '9':
      k->nines += n;
      if (k->v) k->after_v += n;
      k->trailing_p = 0;
      break;
    case 'P':
      k->p += n;
      if (k->v) k->after_v += n;
      else if (k->nines == 0) k->leading_p += n;
      else k->trailing_p += n;
      return true;  // P takes no storage
    case 'S':
      if (k->positions || k->s || n != 1) return fail(error, "S must come first, once");
      k->s = 1;
      return true;
    case 'V':
      if (k->v || n != 1) return fail(error, "V may appear once");
      k->v = 1;
      return true;
    case 'Z': case '*': case '+': case '-': case '$':
      k->digit_edit += n;
      k->edit += n;
      break;
    case 'B': case '0': case '/': case ',': case '.':
      k->edit += n;
      break;
    default:
      return fail(error, std::string("'") + c + "' is not a PICTURE symbol this tool reads");
  }
  k->positions += n;
  return true;
}

}  // namespace

bool parse_picture(const std::string& raw, Picture* picture, std::string* error) {
  Counts k;
  std::string text;
  for (char c : raw) text += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (size_t i = 0; i < text.size();) {
    char c = text[i++];
    uint32_t n = 1;
    if ((c == 'C' && i < text.size() && text[i] == 'R') ||
        (c == 'D' && i < text.size() && text[i] == 'B')) {
      ++i;
      k.edit += 2;
      k.positions += 2;
      continue;
    }
    if (i < text.size() && text[i] == '(') {
      const size_t close = text.find(')', i);
      if (close == std::string::npos || close == i + 1) return fail(error, "repeat count not closed");
      n = 0;
      for (size_t j = i + 1; j < close; ++j) {
        if (!std::isdigit(static_cast<unsigned char>(text[j])))
          return fail(error, "repeat count is not a number");
        n = n * 10 + static_cast<uint32_t>(text[j] - '0');
        if (n > kMaxPositions) return fail(error, "repeat count too large");
      }
      if (n == 0) return fail(error, "repeat count of 0");
      i = close + 1;
    }
    if (!count_symbol(c, n, &k, error)) return false;
    if (k.positions > kMaxPositions) return fail(error, "picture too long");
  }
  if (k.positions == 0 && k.nines == 0) return fail(error, "picture holds no character position");
  Picture p;
  p.text = text;
  p.positions = k.positions;
  p.digits = k.nines;
  p.is_signed = k.s != 0;
  if (k.x || (k.a && (k.nines || k.digit_edit))) {
    p.category = k.edit ? PictureCategory::kAlnumEdited : PictureCategory::kAlphanumeric;
  } else if (k.a) {
    p.category = PictureCategory::kAlphabetic;
  } else if (k.edit) {
    p.category = PictureCategory::kNumericEdited;
  } else {
    p.category = PictureCategory::kNumeric;
    if (k.nines > kMaxDigits) return fail(error, "more than 38 digits");
    if (k.v) p.scale = static_cast<int32_t>(k.after_v);
    else if (k.leading_p) p.scale = static_cast<int32_t>(k.leading_p + k.nines);
    else p.scale = -static_cast<int32_t>(k.trailing_p);
  }
  if (p.category != PictureCategory::kNumeric && (k.s || k.v || k.p))
    return fail(error, "S, V and P belong to numeric pictures");
  *picture = p;
  return true;
}

}  // namespace zara_layout
