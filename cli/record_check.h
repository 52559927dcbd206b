// Checks, before a run with a copybook, that fixed-length records are not
// shorter than the layout: the record length in effect, and every input
// file's size (a last record cut short would be dropped by the engine).
#pragma once

#include <string>
#include <vector>

#include "cli/layout/control_plan.h"

namespace zara_cli {

// `paths` are the files the engine reads; `names` the names the user gave.
bool check_record_lengths(const zara_layout::ControlPlan& plan, uint32_t layout_length,
                          const std::vector<std::string>& paths,
                          const std::vector<std::string>& names, std::string* error);

}  // namespace zara_cli
