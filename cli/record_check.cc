#include "cli/record_check.h"

#include <sys/stat.h>

#include "cli/layout/keyword_match.h"

namespace zara_cli {

bool check_record_lengths(const zara_layout::ControlPlan& plan, uint32_t layout_length,
                          const std::vector<std::string>& paths,
                          const std::vector<std::string>& names, std::string* error) {
  const bool fixed = plan.file_type == zara_layout::kFix || plan.file_type == zara_layout::kFe;
  if (!fixed || plan.record_length == 0) return true;
  const uint64_t length = plan.record_length;
  if (length < layout_length) {
    *error = "records of " + std::to_string(length) + " bytes are shorter than the layout's " +
             std::to_string(layout_length);
    return false;
  }
  if (plan.file_type != zara_layout::kFix) return true;
  const uint64_t header = plan.bypass == -1 ? length : plan.bypass > 0 ? plan.bypass : 0;
  for (size_t i = 0; i < paths.size(); ++i) {
    struct stat st;
    if (stat(paths[i].c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;  // the engine reports it
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    const uint64_t tail = size > header ? (size - header) % length : 0;
    if (tail == 0) continue;
    *error = names[i] + ": " + std::to_string(size) + " bytes are not a whole number of " +
             std::to_string(length) + "-byte records; the last record has " +
             std::to_string(tail) + " bytes";
    if (tail < layout_length) *error += ", fewer than the layout's " + std::to_string(layout_length);
    return false;
  }
  return true;
}

}  // namespace zara_cli
