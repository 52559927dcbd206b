// One engine run of the tool's own (for --explain and the record check):
// the inputs as the engine's name list, an output file, a control text.
#pragma once

#include <cstdint>
#include <string>

namespace zara_cli {

// False with the status and its text in *error.
bool run_engine(const std::string& names, const std::string& output, const std::string& control,
                uint32_t* records, std::string* error);

}  // namespace zara_cli
