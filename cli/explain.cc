#include "cli/explain.h"

#include <fstream>
#include <sstream>

#include "cli/engine_run.h"
#include "cli/layout/keyword_match.h"
#include "cli/layout/value_decoder.h"
#include "cli/temp_dir.h"

namespace zara_cli {

namespace {

using zara_layout::ControlPlan;
using zara_layout::PlanStatement;

constexpr uint32_t kNulTerminated = 65535;
constexpr size_t kFrameHeader = 6;  // RECL (2 bytes) and RRN (4 bytes)
const char kFraming[] = " OUTREC (RECL,RRN,1,E)";

struct Framed {
  uint32_t sequence;
  std::string bytes;  // the record as framed in the input
};

bool dropped_for_explain(int keyword) {
  using namespace zara_layout;
  return keyword == kOutrec || keyword == kAddrout || keyword == kKeyout || keyword == kPause ||
         keyword == kAppend;
}

bool read_framed(const std::string& path, unsigned count, std::vector<Framed>* records) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return true;  // no record written
  std::ostringstream s;
  s << f.rdbuf();
  const std::string bytes = s.str();
  size_t at = 0;
  while (records->size() < count && bytes.size() - at >= kFrameHeader) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.data() + at);
    const size_t length = static_cast<size_t>(p[0] | p[1] << 8) + 2;
    if (length < kFrameHeader || length > bytes.size() - at) return false;
    const uint32_t sequence = p[2] | p[3] << 8 | p[4] << 16 | static_cast<uint32_t>(p[5]) << 24;
    records->push_back(Framed{sequence, bytes.substr(at + kFrameHeader, length - kFrameHeader)});
    at += length;
  }
  return true;
}

void show_key(FILE* out, const ControlPlan& plan, const zara_layout::PlanKey& key, size_t n,
              const std::string& record) {
  fprintf(out, "  key %zu %s [%u,%u,%s] %s: ", n, key.label.c_str(), key.position, key.length,
          key.type.c_str(), key.descending ? "D" : "A");
  if (key.length == 0) {
    fprintf(out, "delimited field #%u (not shown)\n", key.position);
    return;
  }
  const size_t data = plan.file_type == zara_layout::kVs ? 2 : 0;
  const size_t start = data + key.position - 1;
  size_t length = 0;
  if (start < record.size()) {
    const size_t left = record.size() - start;
    if (key.length == kNulTerminated) {
      const size_t nul = record.find('\0', start);
      length = nul == std::string::npos ? left : nul - start;
    } else {
      length = key.length < left ? key.length : left;
    }
  }
  const uint8_t* b = reinterpret_cast<const uint8_t*>(record.data()) + (start < record.size() ? start : 0);
  fprintf(out, "%s  |%s|  %s%s\n", zara_layout::hex_bytes(b, length).c_str(),
          zara_layout::text_bytes(b, length).c_str(),
          zara_layout::decode_value(key.decode_type, key.scale, b, length).c_str(),
          length < key.length && key.length != kNulTerminated ? "  (cut short by the record's end)" : "");
}

}  // namespace

bool explain_records(const ExplainRequest& r, std::string* error) {
  const ControlPlan& plan = *r.plan;
  using namespace zara_layout;
  const int t = plan.file_type;
  if (t != kFix && t != kFe && t != kTxt && t != kVs && t != kGp) {
    *error = "--explain works with FIX, FE, TXT, VS and GP files";
    return false;
  }
  TempDir dir;
  if (!dir.make(error)) return false;
  const std::string framed = dir.file("records");
  const std::string one = dir.file("record");
  const std::string hit = dir.file("hit");
  uint32_t written = 0;
  const std::string control =
      plan.statements_text([](int k) { return !dropped_for_explain(k); }) + kFraming;
  if (!run_engine(r.input_names, framed, control, &written, error)) return false;
  std::vector<Framed> records;
  if (!read_framed(framed, r.count, &records)) {
    *error = "the explaining run wrote records it cannot read back";
    return false;
  }
  const bool has_condition = !plan.comparisons.empty();
  const PlanStatement* condition = nullptr;
  for (const PlanStatement& st : plan.statements)
    if (st.keyword == kInclude || st.keyword == kOmit) condition = &st;
  const auto file_statement = [](int k) {
    return k == kRecord || k == kFiletype || k == kDelimit || k == kAltseq || k == kApost;
  };
  fprintf(r.out, "zara-sort: the first %zu output records, before any OUTREC:\n", records.size());
  for (size_t i = 0; i < records.size(); ++i) {
    const Framed& rec = records[i];
    fprintf(r.out, "record %zu (input record %u, %zu bytes)\n", i + 1, rec.sequence, rec.bytes.size());
    for (size_t k = 0; k < plan.keys.size(); ++k) show_key(r.out, plan, plan.keys[k], k + 1, rec.bytes);
    if (!has_condition || !condition) continue;
    {
      std::ofstream f(one, std::ios::binary | std::ios::trunc);
      f.write(rec.bytes.data(), static_cast<std::streamsize>(rec.bytes.size()));
      if (!f) {
        *error = one + ": cannot be written";
        return false;
      }
    }
    auto holds = [&](const std::string& cond, bool* held) {
      uint32_t n = 0;
      const std::string text = plan.statements_text(file_statement, condition, "INCLUDE " + cond);
      if (!run_engine(one, hit, text, &n, error)) return false;
      *held = n == 1;
      return true;
    };
    bool held = false;
    const std::string whole = plan.engine_slice(condition->operand, condition->end);
    if (!holds(whole, &held)) return false;
    const std::string user_whole = r.user_text->substr(condition->begin, condition->end - condition->begin);
    fprintf(r.out, "  %s: %s\n", user_whole.c_str(), held ? "holds" : "does not hold");
    if (plan.comparisons.size() < 2) continue;
    for (const PlanComparison& c : plan.comparisons) {
      if (!holds("(" + plan.engine_slice(c.begin, c.end) + ")", &held)) return false;
      fprintf(r.out, "    %s: %s\n", r.user_text->substr(c.begin, c.end - c.begin).c_str(),
              held ? "holds" : "does not hold");
    }
  }
  return true;
}

}  // namespace zara_cli
