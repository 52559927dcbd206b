// The statement dispatcher: reads statements from the control text, hands
// each to its handler, then runs the cross-checks of overall_r.
#pragma once

#include <cstdint>

namespace zara {

// Nonzero at [i][j] (i < j): statement flags i and j may not both be set.
extern const uint8_t (&compat_m)[20][20];
constexpr uint32_t kNoErrorOffset = 0xFFFFFFFFu;

// Parses the whole control text (gv.control_text). False with a status.
bool s_ctrl();
bool overall_r();
bool check_matrix();

}  // namespace zara
