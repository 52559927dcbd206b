#include "cli/engine_run.h"

#include <unistd.h>

#include "zara15z37.h"

namespace zara_cli {

bool run_engine(const std::string& names, const std::string& output, const std::string& control,
                uint32_t* records, std::string* error) {
  uint32_t status = 0;
  unlink(output.c_str());
  s_2mains(names.data(), static_cast<uint32_t>(names.size()), output.data(),
           static_cast<uint32_t>(output.size()), control.data(),
           static_cast<uint32_t>(control.size()), records, &status);
  if (status == 0) return true;
  *error = "status " + std::to_string(status) + ": " + zara_status_text(status);
  return false;
}

}  // namespace zara_cli
