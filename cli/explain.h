// --explain N: for the first N records of a run's output, each key's bytes
// (hexadecimal and text) and value, and whether each INCLUDE or OMIT
// comparison holds for the record.
//
// The records come from a second run of the same statements into a
// private temporary file, with OUTREC (and ADDROUT, KEYOUT) replaced by
// an item list that frames each record with its length and input record
// number, so the records shown are those the output holds before any
// reformatting: sorted, selected, with duplicates dropped and SUM totals
// in place. Whether a comparison holds is the engine's answer: a copy run
// of that one record with that one comparison as an INCLUDE.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/layout/control_plan.h"

namespace zara_cli {

struct ExplainRequest {
  const zara_layout::ControlPlan* plan;
  const std::string* user_text;
  std::string input_names;  // the engine's name list of the inputs
  unsigned count;
  FILE* out;
};

bool explain_records(const ExplainRequest& request, std::string* error);

}  // namespace zara_cli
