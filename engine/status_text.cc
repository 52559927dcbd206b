// A short English sentence for every status code the engine reports.
#include <cstddef>
#include <cstdint>

#include "engine/status.h"
#include "zara15z37.h"

namespace zara {
namespace {

struct StatusText {
  uint32_t code;
  const char* text;
};

constexpr StatusText kTexts[] = {
    {0, "success"},
    {1, "no more records to return"},
    {201, "statement keyword not recognised"},
    {202, "field position or number is zero or not a number"},
    {203, "field length missing, zero, not a number or too long for its type"},
    {204, "field type missing or not recognised"},
    {205, "condition operator missing or not recognised"},
    {206, "more entries than the table holds, or a list is not closed"},
    {207, "literal missing, too long or not convertible"},
    {208, "condition connector not recognised"},
    {209, "key direction missing or not recognised"},
    {210, "the output file or a work file cannot be created"},
    {211, "the output file is one of the input files"},
    {213, "no input file name given"},
    {214, "an input file cannot be opened"},
    {215, "the header save file cannot be created"},
    {216, "read or seek error on an input file"},
    {217, "input header shorter than expected, or not a valid header"},
    {218, "write error on the header save file"},
    {219, "short write on the header save file"},
    {220, "an input file cannot be closed"},
    {221, "an input file or the header save file cannot be closed after the header check"},
    {225, "not enough memory for the sort buffers"},
    {227, "seek error when skipping the start of an input file"},
    {229, "a work file cannot be opened for merging"},
    {231, "the merge output cannot be closed"},
    {240, "write error on the output"},
    {242, "a key of type ALT without an ALTSEQ statement"},
    {243, "FILETYPE FE without RECORD"},
    {245, "a record does not fit into a sort buffer"},
    {246, "a work-file record is longer than a merge buffer"},
    {256, "a record does not fit into the duplicate hold area"},
    {257, "SUM without SORT or MERGE"},
    {260, "record-at-a-time function code other than 1 to 4"},
    {261, "no record-at-a-time run is open"},
    {262, "record released after the first record was returned"},
    {301, "the header save file cannot be opened for copying"},
    {302, "read error on the header save file"},
    {303, "write error while copying the header into the output"},
    {304, "the header save file cannot be closed"},
    {307, "the output file or a work file cannot be closed after writing"},
    {310, "the result of an intermediate merge cannot take its work-file name"},
    {311, "a work file cannot be closed after merging"},
    {312, "a work file cannot be removed"},
    {313, "read error on a work file"},
    {314, "a work-file buffer was not filled"},
    {315, "a record does not fit into the output buffer"},
    {319, "write error when updating the dBASE header"},
    {320, "the header save file cannot be removed"},
    {321, "write error when adding the end-of-file mark"},
    {322, "seek error when repositioning an input file or a work file"},
    {323, "OUTREC keyword XXXX, or DUPC with a malformed count"},
    {329, "the work-file probe cannot be created"},
    {330, "fewer than 4 files can be open at once"},
    {331, "the work-file probe cannot be closed"},
    {332, "the work-file probe cannot be removed"},
    {342, "no sort buffer at the start of a memory load"},
    {10001, "ADDROUT operand error"},
    {10002, "BYPASS operand error"},
    {10003, "INCLUDE operand error"},
    {10004, "KEYOUT operand error"},
    {10005, "LIMIT or LAST operand error"},
    {10006, "OMIT operand error"},
    {10007, "OUTREC operand error"},
    {10009, "RECORD operand error"},
    {10010, "SORT/MERGE: the text ends where a key position is expected"},
    {10011, "FILETYPE FIX or PRE: record length missing or 0"},
    {10012, "FILETYPE FE: end-of-file character missing or 0"},
    {10015, "FILETYPE BT is not supported"},
    {10019, "FILETYPE GP: delimiter list error"},
    {10033, "FILETYPE: type missing or not recognised"},
    {10051, "CORE operand error"},
    {10052, "DELIMIT operand error"},
    {10054, "WORKDRIVE operand error"},
    {10055, "ALTSEQ operand error, or its table file cannot be read"},
    {10056, "DUPOUT, DUPEX or DUPIN operand error"},
    {10057, "ORIGIN operand error"},
    {10058, "OPENMODE operand error"},
    {10062, "SUM operand error"},
    {10708, "record-at-a-time run with SORT or MERGE and OUTREC"},
    {15762, "SUM together with DUPOUT, DUPIN or DUPEX"},
};

const char* const kFlagNames[20] = {
    "ADDROUT", "BYPASS", "INCLUDE", "KEYOUT", "LIMIT", "OMIT", "OUTREC",
    "record-at-a-time", "RECORD", "SORT", "FILETYPE FIX", "FILETYPE FE",
    "FILETYPE TXT", "FILETYPE VS", "FILETYPE BT", "FILETYPE RV", "FILETYPE CVS",
    "FILETYPE PRE", "FILETYPE GP", "FILETYPE DB3",
};

// Texts of the conflict codes 10101 + 100 i + j, built once.
struct ConflictTexts {
  char text[20][20][80] = {};
  ConflictTexts() {
    for (int i = 0; i < 20; ++i)
      for (int j = i + 1; j < 20; ++j) {
        char* out = text[i][j];
        std::size_t n = 0;
        auto put = [&](const char* s) {
          while (*s && n + 1 < sizeof text[i][j]) out[n++] = *s++;
        };
        put(kFlagNames[i]);
        put(" cannot be combined with ");
        put(kFlagNames[j]);
        out[n] = '\0';
      }
  }
};

}  // namespace
}  // namespace zara

extern "C" ZARA_API const char* zara_status_text(uint32_t status) {
  using namespace zara;
  for (const StatusText& t : kTexts)
    if (t.code == status) return t.text;
  if (status >= kConflictBase && status < kConflictBase + 2000) {
    const uint32_t pair = status - kConflictBase;
    const uint32_t i = pair / 100;
    const uint32_t j = pair % 100;
    if (i < j && j < 20) {
      static const ConflictTexts conflicts;
      return conflicts.text[i][j];
    }
  }
  return "unknown status";
}
