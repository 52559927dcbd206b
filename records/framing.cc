#include "records/framing.h"
#include "records/byte_order.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "zara15z37.h"

extern "C" {
// Scratch of the CVS framing: a big-endian length in machine order.
ZARA_API uint16_t bs_union = 0;
}

namespace zara {

namespace {

constexpr FrameResult kIncomplete{Frame::kIncomplete, 0};
constexpr FrameResult kEndMark{Frame::kEndMark, 0};

FrameResult record_of(uint32_t length, uint32_t remaining) {
  if (length == 0 || length > remaining) return kIncomplete;
  return {Frame::kRecord, length};
}

// Bytes that stop the TXT scan: the three terminators and the end mark.
struct TxtStops {
  bool stop[256] = {};
  constexpr TxtStops() { stop[0x0A] = stop[0x0D] = stop[0x0C] = stop[0x1A] = true; }
};
constexpr TxtStops kTxtStops;

// Index of the first stop byte in p[0, n), or n, a byte at a time.
uint32_t find_txt_stop_bytes(const uint8_t* p, uint32_t i, uint32_t n) {
  for (; i < n; ++i)
    if (kTxtStops.stop[p[i]]) return i;
  return n;
}

#if defined(__SSE2__)
// 16 bytes at a time where the target has SSE2 (every x86-64); lines are
// long compared to a vector. Every stop byte is below 0x1B, which text
// bytes seldom are: a block is tested for such bytes with one unsigned
// compare, and only a block that has one is searched for the four stops.
uint32_t find_txt_stop(const uint8_t* p, uint32_t n) {
  const __m128i lf = _mm_set1_epi8(0x0A), cr = _mm_set1_epi8(0x0D);
  const __m128i ff = _mm_set1_epi8(0x0C), eof = _mm_set1_epi8(0x1A);
  const __m128i low_limit = _mm_set1_epi8(0x1A);
  uint32_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    // v <= 0x1A exactly where min(v, 0x1A) == v.
    const __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(v, low_limit), v);
    if (_mm_movemask_epi8(low) == 0) continue;
    const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)),
                                     _mm_or_si128(_mm_cmpeq_epi8(v, ff), _mm_cmpeq_epi8(v, eof)));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
    if (mask) return i + static_cast<uint32_t>(__builtin_ctz(mask));
  }
  return find_txt_stop_bytes(p, i, n);
}
#else
// Without a vector unit, 8 bytes at a time in a general register.
uint32_t find_txt_stop(const uint8_t* p, uint32_t n) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHighs = 0x8080808080808080ull;
  // Nonzero high bit in the bytes of w that are zero (exact for the lowest).
  auto zero_bytes = [](uint64_t w) { return (w - kOnes) & ~w & kHighs; };
  uint32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    memcpy(&w, p + i, 8);
    const uint64_t hit = zero_bytes(w ^ (kOnes * 0x0A)) | zero_bytes(w ^ (kOnes * 0x0D)) |
                         zero_bytes(w ^ (kOnes * 0x0C)) | zero_bytes(w ^ (kOnes * 0x1A));
    if (hit) break;
  }
  return find_txt_stop_bytes(p, i, n);
}
#endif

}  // namespace

FrameResult sp_fix(const uint8_t*, uint32_t remaining) {
  return record_of(gv.record_length, remaining);
}

FrameResult sp_fe(const uint8_t* p, uint32_t remaining) {
  const FrameResult r = record_of(gv.record_length, remaining);
  if (r.kind == Frame::kRecord && p[0] == gv.eof_char) return kEndMark;
  return r;
}

FrameResult sp_txt(const uint8_t* p, uint32_t remaining) {
  const uint32_t i = find_txt_stop(p, remaining);
  if (i == remaining) return kIncomplete;
  if (p[i] == 0x1A) return kEndMark;  // one byte is never both
  return {Frame::kRecord, i + 1};
}

FrameResult sp_vs(const uint8_t* p, uint32_t remaining) {
  if (remaining <= 1) return kIncomplete;
  return record_of(le16(p) + 2, remaining);
}

FrameResult sp_null(const uint8_t*, uint32_t) { return kIncomplete; }

FrameResult sp_rv(const uint8_t* p, uint32_t remaining) {
  if (remaining <= 1) return kIncomplete;
  const uint32_t length = gv.prefix_width == 1 ? p[0] + 2u : le16(p) + 4u;
  return record_of(length, remaining);
}

FrameResult sp_cvs(const uint8_t* p, uint32_t remaining) {
  if (remaining <= 4) return kIncomplete;
  uint32_t length;
  if (gv.prefix_width == 2) {
    bs_union = static_cast<uint16_t>(be16(p));
    length = 2 + (bs_union & 0x0FFFu);
  } else {
    bs_union = static_cast<uint16_t>(be16(p + 2));
    length = 4 + uint32_t{bs_union};
  }
  length = (length + 3) & ~3u;
  return record_of(length, remaining);
}

FrameResult sp_gp(const uint8_t* p, uint32_t remaining) {
  const uint8_t* delim = gv.record_delim;
  const uint32_t delim_len = gv.record_delim_length;
  const uint8_t* end = gv.end_string;
  const uint32_t end_len = gv.end_string_length;
  if (delim_len == 0) return kIncomplete;
  for (uint32_t i = 0; i < remaining; ++i) {
    const uint8_t c = p[i];
    if (c != delim[0] && (end_len == 0 || c != end[0])) continue;
    const uint32_t left = remaining - i;
    if (left >= delim_len && memcmp(p + i, delim, delim_len) == 0)
      return {Frame::kRecord, i + delim_len};
    if (end_len != 0 && left >= end_len && memcmp(p + i, end, end_len) == 0) return kEndMark;
  }
  return kIncomplete;
}

const FrameFn sp_jump[kFileTypeCount] = {
    sp_fix, sp_fe, sp_txt, sp_vs, sp_null, sp_rv, sp_cvs, sp_fix, sp_gp, sp_fe,
};

}  // namespace zara
