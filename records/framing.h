// Framing handlers: one per file type, in file-type index order (sp_jump).
//
// A handler looks at the bytes from `p` (`remaining` of them, the rest of
// the bytes just read) and reports a whole record with its length (framing
// included: prefix, padding, terminator), no whole record, or the end mark
// of the data. It never reads past `remaining` bytes, and a record it
// reports is never empty, so framing always advances.
#pragma once

#include <cstdint>

#include "engine/run_state.h"

namespace zara {

enum class Frame : uint8_t { kRecord, kIncomplete, kEndMark };

struct FrameResult {
  Frame kind;
  uint32_t length;  // for kRecord
};

using FrameFn = FrameResult (*)(const uint8_t* p, uint32_t remaining);

extern const FrameFn sp_jump[kFileTypeCount];

FrameResult sp_fix(const uint8_t* p, uint32_t remaining);
FrameResult sp_fe(const uint8_t* p, uint32_t remaining);
FrameResult sp_txt(const uint8_t* p, uint32_t remaining);
FrameResult sp_vs(const uint8_t* p, uint32_t remaining);
FrameResult sp_null(const uint8_t* p, uint32_t remaining);
FrameResult sp_rv(const uint8_t* p, uint32_t remaining);
FrameResult sp_cvs(const uint8_t* p, uint32_t remaining);
FrameResult sp_gp(const uint8_t* p, uint32_t remaining);

}  // namespace zara
