// Fuzz program "input": input bytes framed and sorted under one of 16 fixed control texts. Byte 0: bits
// 0-3 the text; bits 4-5 CORE default, 60, 100 or 400 (small buffers: many loads); bit 6 a file limit of
// 6 (intermediate merges); bit 7 two inputs, split where the next 2 bytes say. Then the data.
#include "engine/status.h"
#include "fuzz/harness.h"

namespace input_case {
using namespace zara_fuzz;

struct Key { size_t pos, length; bool descending; };
// A text with a model: the output must be its input framed plainly (FIX records of `fixed` bytes, else
// records ending in `end` (GP) or TXT lines, up to the end `mark`), the records `keep` accepts, stably
// sorted by CH keys.
struct Case {
  const char* control;
  bool (*keep)(const Bytes& record) = nullptr;  // null: no model
  size_t fixed = 0; const char *end = "", *mark = ""; Key keys[2] = {};
};
bool all(const Bytes&) { return true; }
const Case kCases[16] = {
    {"RECORD (16) SORT (1,4,CH,A,5,2,CH,D) INCLUDE (9,1,CH,NE,\"#\")", [](const Bytes& r) { return r[8] != '#'; },
     16, "", "", {{1, 4, false}, {5, 2, true}}},
    {"SORT (1,6,CH,A)", all, 0, "", "\x1A", {{1, 6, false}}},
    {"FILETYPE (GP,(124),(126,126)) SORT (2,3,CH,A)", all, 0, "|", "~~", {{2, 3, false}}},
    {"INCLUDE (1,1,CH,GE,\"m\")", [](const Bytes& r) { return static_cast<uint8_t>(r[0]) >= 'm'; }, 0, "", "\x1A"},
    {"RECORD (12) FILETYPE (FE) SORT (1,3,PD,D,4,2,BI,A) SUM (7,2,ZD) OUTREC (1,12)"},
    {"DELIMIT (59) SORT (#2,NUM,A,#1,CH,D) INCLUDE (#3,CH,NE,\"x\",AND,#1,CH,GT,\"\") OUTREC (ARRN,\"|\",1,E)"},
    {"FILETYPE (VS) SORT (1,3,CH,D)"}, {"FILETYPE (RV) SORT (1,2,ZD,D,3,4,FL,A) OMIT (3,2,CH,EQ,\"zz\")"},
    {"FILETYPE (CVS) SORT (1,4,NUM,A) DUPOUT (1,4)"}, {"FILETYPE (PRE,10) SORT (1,10,CH,D) OUTREC (1,5,CRLF)"},
    {"FILETYPE (DB3) SORT (2,5,CH,A) SUM (7,3,NUM)"}, {"RECORD (8) MERGE (1,4,ZD,A,5,4,PD,D) DUPIN (1,4)"},
    {"RECORD (8) SORT (1,4,FI,A,5,4,E,D,1,4,SP,A) SUM (5,4,FL)"},
    {"ALTSEQ (alt.seq) SORT (1,Z,ALT,A,1,3,ALP,D) DUPEX (1,3) OUTREC (DUPC,1,E)"},
    {"FILETYPE (VS) BYPASS (3,R) SORT (1,4,BI,D) SUM (5,2,BI) INCLUDE (1,1,CH,NE,7,1)"},
    {"FILETYPE (GP,(13,10),(26)) SORT (#1,CH,A,#3,INT,D) INCLUDE (#2,CH,CO,\"a\")"},
};

// The model's records of one file, in `records`; true when it met the end mark.
bool frame(const Case& c, const Bytes& d, std::vector<Bytes>* records) {
  const size_t end = strlen(c.end), mark = strlen(c.mark);
  for (size_t start = 0, i = 0; i < d.size(); ++i) {
    const size_t n = c.fixed ? (d.size() - i >= c.fixed) * c.fixed
                     : end   ? (d.compare(i, end, c.end) == 0) * end
                             : memchr("\n\r\f", d[i], 3) != nullptr;
    if (n && c.keep(d.substr(start, i + n - start))) records->push_back(d.substr(start, i + n - start));
    if (n) start = (i += n - 1) + 1;
    else if (c.fixed || d.compare(i, mark, c.mark) == 0) return !c.fixed;
  }
  return false;
}

// Findings besides run_whole's: for a text with a model any other output, or a failure but for a record
// too long for its buffers.
std::string run(const uint8_t* data, size_t size) {
  Input in{data, size};
  const uint8_t choice = in.byte();
  const Case& c = kCases[choice & 15];
  const uint32_t split = choice & 0x80 ? in.u16() : 0;
  const Bytes bytes = in.take(64 * 1024), core[] = {"", "CORE (60) ", "CORE (100) ", "CORE (400) "};
  const size_t cut = choice & 0x80 ? split % (bytes.size() + 1) : bytes.size();
  const Files fixed = {{"alt.seq", altseq_file()}, {"in0", bytes.substr(0, cut)}, {"in1", bytes.substr(cut)}};
  if (!in.empty() || !write_files(fixed)) return in.empty() ? "cannot write the inputs" : "";
  const Whole w = run_whole(choice & 0x80 ? "in0 in1" : "in0", core[choice >> 4 & 3] + c.control, fixed, bytes.size(), choice & 0x40);
  unlink("in0"), unlink("in1");
  const bool too_long = w.status == zara::kRecordTooLong || w.status == zara::kWorkRecordTooLong || w.status == zara::kRecordExceedsOutBuffer;
  if (!w.finding.empty() || !c.keep || w.status != 0) return w.finding.empty() && c.keep && !too_long ? "the run failed" : w.finding;
  std::vector<Bytes> records;
  bool marked = frame(c, fixed.at("in0"), &records);
  marked |= frame(c, fixed.at("in1"), &records);
  const auto field = [](const Bytes& r, const Key& k) { return k.pos <= r.size() ? r.substr(k.pos - 1, k.length) : ""; };
  std::stable_sort(records.begin(), records.end(), [&](const Bytes& a, const Bytes& b) {
    for (const Key& k : c.keys)
      if (const int order = k.length ? field(a, k).compare(field(b, k)) : 0) return k.descending ? order > 0 : order < 0;
    return false;
  });
  Bytes want;
  for (const Bytes& r : records) want += r;
  return (w.out == want || (marked && w.out == want + c.mark)) && w.records == records.size() ? "" : "output is not the model's";
}

}  // namespace input_case

ZARA_FUZZ_CASE(input_case::run)
