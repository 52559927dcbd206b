// Checks, before a run with a copybook, that no record is shorter than the
// layout. Fixed-length records: the record length in effect, and every
// input file's size (a last record cut short would be dropped by the
// engine). Records with length prefixes or delimiters (VS, RV, CVS, GP): a
// copy run of the inputs that selects the short records. Text lines are
// not checked: line-sequential files drop trailing blanks, so short lines
// are ordinary there.
#pragma once

#include <string>
#include <vector>

#include "cli/layout/control_plan.h"

namespace zara_cli {

// `paths` are the files the engine reads; `names` the names the user gave.
bool check_record_lengths(const zara_layout::ControlPlan& plan, uint32_t layout_length,
                          const std::vector<std::string>& paths,
                          const std::vector<std::string>& names, std::string* error);

// `names` is the engine's name list of the inputs.
bool check_short_records(const zara_layout::ControlPlan& plan, uint32_t layout_length,
                         const std::string& names, std::string* error);

}  // namespace zara_cli
