#include "cli/record_check.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "cli/engine_run.h"
#include "cli/layout/keyword_match.h"
#include "cli/temp_dir.h"

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

bool check_short_records(const zara_layout::ControlPlan& plan, uint32_t layout_length,
                         const std::string& names, std::string* error) {
  using namespace zara_layout;
  const int t = plan.file_type;
  if (t != kVs && t != kRv && t != kCvs && t != kGp) return true;
  // The layout's last byte, or for GP records the byte after it, which
  // the delimiter fills in a record that holds the whole layout.
  const uint64_t last = layout_length + (t == kGp ? plan.gp_delimiter_length : 0);
  const bool numbered = t == kVs || t == kGp;  // OUTREC is refused for RV and CVS
  const auto keep = [](int k) {
    return k == kFiletype || k == kRecord || k == kBypass || k == kLimit || k == kLast ||
           k == kOrigin || k == kApost;
  };
  const std::string control = plan.statements_text(keep) + " INCLUDE (" + std::to_string(last) +
                              ",1,CH,EQ,\"\")" + (numbered ? " OUTREC (ARRN)" : "");
  TempDir dir;
  if (!dir.make(error)) return false;
  const std::string shorts = dir.file("short");
  uint32_t found = 0;
  if (!run_engine(names, shorts, control, &found, error)) {
    *error = "the check for short records failed: " + *error;
    return false;
  }
  if (found == 0) return true;
  *error = std::to_string(found) + " record" + (found > 1 ? "s are" : " is") +
           " shorter than the layout's " + std::to_string(layout_length) + " bytes";
  std::ifstream f(shorts, std::ios::binary);
  std::string first(7, '\0');
  if (numbered && f.read(&first[0], 7)) *error += "; the first is record " + std::to_string(std::stoul(first));
  return false;
}

}  // namespace zara_cli
