// Fuzz case "input": any input bytes, framed and sorted under one of
// sixteen fixed control texts that together cover every file type, keys of
// many field types (CH, BI, PD, ZD, NUM, FL, FI, E, SP, INT, ALP, ALT,
// NUL-terminated and #n delimited), INCLUDE, OMIT, OUTREC, SUM, the
// duplicate options, BYPASS and ALTSEQ.
//
// Input layout: byte 0 chooses
//   bits 0-3  the control text (kInputCases),
//   bits 4-5  the memory: default, CORE (60), (100) or (400); the small
//             values give 1 and 2 KiB sort buffers and many memory loads,
//   bit 6     a descriptor budget of 6 free slots, so that the engine
//             probes a file limit of 6 and merges every 4 runs,
//   bit 7     two input files: the next two bytes (little-endian, modulo
//             the data size + 1) say where the data is split;
// the rest is the input data (at most kMaxInputBytes).
//
// Findings, besides those of RunWatch and undocumented status codes: for
// the cases marked exact, any output other than the expected one, computed
// here from a plain reading of the input (framing, the INCLUDE condition,
// a stable sort by the CH keys), and any failure other than a record too
// long for the sort buffers; for the others, more records written than
// the input holds, and a malformed FE, PRE or DB3 output.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/run_state.h"
#include "fuzz/harness.h"
#include "fuzz/sample_files.h"

namespace zara_fuzz {

constexpr size_t kMaxInputBytes = 64 * 1024;

enum class InputCheck {
  kFixedExact,  // RECORD (16), two CH keys, INCLUDE on byte 9
  kTextSortExact,
  kVsSortExact,
  kTextCopyExact,
  kGpSortExact,
  kCountFixed,  // records written <= FIX records of `record_length`
  kCountFe,
  kCountText,
  kCountVs,
  kCountGp,
  kPre,
  kDb3,
  kAny,  // headed types: records written <= input bytes
};

struct InputCase {
  const char* control;
  uint32_t record_length;  // FIX and FE framing of the reference reading
  uint32_t skip;           // bytes bypassed at the start of each input
  InputCheck check;
};

inline const InputCase kInputCases[16] = {
    {"RECORD (16) SORT (1,4,CH,A,5,2,CH,D) INCLUDE (9,1,CH,NE,\"#\")", 16, 0,
     InputCheck::kFixedExact},
    {"RECORD (12) FILETYPE (FE) SORT (1,3,PD,D,4,2,BI,A) SUM (7,2,ZD) OUTREC (1,12)", 12, 0,
     InputCheck::kCountFe},
    {"SORT (1,6,CH,A)", 0, 0, InputCheck::kTextSortExact},
    {"DELIMIT (59) SORT (#2,NUM,A,#1,CH,D) INCLUDE (#3,CH,NE,\"x\",AND,#1,CH,GT,\"\") "
     "OUTREC (ARRN,\"|\",1,E)",
     0, 0, InputCheck::kCountText},
    {"FILETYPE (VS) SORT (1,3,CH,D)", 0, 0, InputCheck::kVsSortExact},
    {"FILETYPE (RV) SORT (1,2,ZD,D,3,4,FL,A) OMIT (3,2,CH,EQ,\"zz\")", 0, 0, InputCheck::kAny},
    {"FILETYPE (CVS) SORT (1,4,NUM,A) DUPOUT (1,4)", 0, 0, InputCheck::kAny},
    {"FILETYPE (PRE,10) SORT (1,10,CH,D) OUTREC (1,5,CRLF)", 10, 0, InputCheck::kPre},
    {"FILETYPE (GP,(124),(126,126)) SORT (2,3,CH,A)", 0, 0, InputCheck::kGpSortExact},
    {"FILETYPE (DB3) SORT (2,5,CH,A) SUM (7,3,NUM)", 0, 0, InputCheck::kDb3},
    {"RECORD (8) MERGE (1,4,ZD,A,5,4,PD,D) DUPIN (1,4)", 8, 0, InputCheck::kCountFixed},
    {"RECORD (8) SORT (1,4,FI,A,5,4,E,D,1,4,SP,A) SUM (5,4,FL)", 8, 0,
     InputCheck::kCountFixed},
    {"INCLUDE (1,1,CH,GE,\"m\")", 0, 0, InputCheck::kTextCopyExact},
    {"ALTSEQ (alt.seq) SORT (1,Z,ALT,A,1,3,ALP,D) DUPEX (1,3) OUTREC (DUPC,1,E)", 0, 0,
     InputCheck::kCountText},
    {"FILETYPE (VS) BYPASS (3,R) SORT (1,4,BI,D) SUM (5,2,BI) INCLUDE (1,1,CH,NE,7,1)", 0, 3,
     InputCheck::kCountVs},
    {"FILETYPE (GP,(13,10),(26)) SORT (#1,CH,A,#3,INT,D) INCLUDE (#2,CH,CO,\"a\")", 0, 0,
     InputCheck::kCountGp},
};

// A plain reading of one input file: its records, whether framing stopped
// at an end mark, and the longest stretch of bytes that could not be
// framed (a record longer than a sort buffer makes the engine fail).
struct Framed {
  std::vector<Bytes> records;
  bool end_mark = false;
  size_t longest = 0;  // longest record or unframed stretch
};

inline void note_length(Framed* f, size_t n) { f->longest = std::max(f->longest, n); }

inline Framed frame_fixed(const Bytes& file, size_t length, bool fe) {
  Framed f;
  size_t pos = 0;
  while (file.size() - pos >= length) {
    if (fe && static_cast<uint8_t>(file[pos]) == 0x1A) {
      f.end_mark = true;
      return f;
    }
    f.records.push_back(file.substr(pos, length));
    pos += length;
  }
  note_length(&f, std::max(length, file.size() - pos));
  return f;
}

inline Framed frame_text(const Bytes& file) {
  Framed f;
  size_t start = 0;
  for (size_t i = 0; i < file.size(); ++i) {
    const uint8_t c = static_cast<uint8_t>(file[i]);
    if (c == 0x0A || c == 0x0D || c == 0x0C) {
      f.records.push_back(file.substr(start, i + 1 - start));
      note_length(&f, i + 1 - start);
      start = i + 1;
    } else if (c == 0x1A) {
      f.end_mark = true;
      note_length(&f, i - start);
      return f;
    }
  }
  note_length(&f, file.size() - start);
  return f;
}

inline Framed frame_vs(const Bytes& file) {
  Framed f;
  size_t pos = 0;
  while (file.size() - pos > 1) {
    const size_t n = (static_cast<uint8_t>(file[pos]) | (static_cast<uint8_t>(file[pos + 1]) << 8)) + 2u;
    if (n > file.size() - pos) break;
    f.records.push_back(file.substr(pos, n));
    note_length(&f, n);
    pos += n;
  }
  note_length(&f, file.size() - pos);
  return f;
}

inline Framed frame_gp(const Bytes& file, const Bytes& delim, const Bytes& end) {
  Framed f;
  size_t start = 0;
  for (size_t i = 0; i < file.size(); ++i) {
    const size_t left = file.size() - i;
    if (left >= delim.size() && file.compare(i, delim.size(), delim) == 0) {
      const size_t n = i - start + delim.size();
      f.records.push_back(file.substr(start, n));
      note_length(&f, n);
      i += delim.size() - 1;
      start = i + 1;
    } else if (!end.empty() && left >= end.size() && file.compare(i, end.size(), end) == 0) {
      f.end_mark = true;
      note_length(&f, i - start + end.size());
      return f;
    }
  }
  note_length(&f, file.size() - start);
  return f;
}

inline Framed frame_for(const InputCase& c, const Bytes& file) {
  const Bytes data = file.size() > c.skip ? file.substr(c.skip) : Bytes();
  switch (c.check) {
    case InputCheck::kFixedExact:
    case InputCheck::kCountFixed:
    case InputCheck::kPre: return frame_fixed(data, c.record_length, false);
    case InputCheck::kCountFe: return frame_fixed(data, c.record_length, true);
    case InputCheck::kTextSortExact:
    case InputCheck::kTextCopyExact:
    case InputCheck::kCountText: return frame_text(data);
    case InputCheck::kVsSortExact:
    case InputCheck::kCountVs: return frame_vs(data);
    case InputCheck::kGpSortExact: return frame_gp(data, "|", "~~");
    case InputCheck::kCountGp: return frame_gp(data, "\r\n", "\x1A");
    default: return Framed{};
  }
}

// The field (position p, length n) of a record as positional fields are
// located: clipped to the record's end.
inline Bytes field(const Bytes& record, size_t p, size_t n) {
  return p - 1 < record.size() ? record.substr(p - 1, n) : Bytes();
}

// Expected records of the exact cases, in output order.
inline std::vector<Bytes> expected_records(const InputCase& c, std::vector<Bytes> records) {
  switch (c.check) {
    case InputCheck::kFixedExact:
      records.erase(std::remove_if(records.begin(), records.end(),
                                   [](const Bytes& r) { return r[8] == '#'; }),
                    records.end());
      std::stable_sort(records.begin(), records.end(), [](const Bytes& a, const Bytes& b) {
        const int k1 = a.compare(0, 4, b, 0, 4);
        if (k1 != 0) return k1 < 0;
        return a.compare(4, 2, b, 4, 2) > 0;
      });
      break;
    case InputCheck::kTextSortExact:
      std::stable_sort(records.begin(), records.end(), [](const Bytes& a, const Bytes& b) {
        return field(a, 1, 6) < field(b, 1, 6);
      });
      break;
    case InputCheck::kVsSortExact:
      std::stable_sort(records.begin(), records.end(), [](const Bytes& a, const Bytes& b) {
        return field(a, 3, 3) > field(b, 3, 3);
      });
      break;
    case InputCheck::kTextCopyExact:
      records.erase(std::remove_if(records.begin(), records.end(),
                                   [](const Bytes& r) { return static_cast<uint8_t>(r[0]) < 'm'; }),
                    records.end());
      break;
    case InputCheck::kGpSortExact:
      std::stable_sort(records.begin(), records.end(), [](const Bytes& a, const Bytes& b) {
        return field(a, 2, 3) < field(b, 2, 3);
      });
      break;
    default: break;
  }
  return records;
}

inline bool exact_check(InputCheck check) {
  return check == InputCheck::kFixedExact || check == InputCheck::kTextSortExact ||
         check == InputCheck::kVsSortExact || check == InputCheck::kTextCopyExact ||
         check == InputCheck::kGpSortExact;
}

inline uint32_t le32_at(const Bytes& b, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v |= uint32_t{static_cast<uint8_t>(b[at + i])} << (8 * i);
  return v;
}

// The properties a run's output must have; empty when it has them.
inline std::string check_input_output(const InputCase& c, const std::vector<Bytes>& files,
                                      uint32_t status, uint32_t written, bool have_output,
                                      const Bytes& out) {
  std::vector<Bytes> records;
  bool end_mark = false;
  size_t longest = 0;
  size_t input_bytes = 0;
  for (const Bytes& file : files) {
    const Framed f = frame_for(c, file);
    records.insert(records.end(), f.records.begin(), f.records.end());
    end_mark = end_mark || f.end_mark;
    longest = std::max(longest, f.longest);
    input_bytes += file.size();
  }
  // A record (or unframed stretch) that does not fit a sort buffer, or the
  // output buffer in work-file form, legitimately fails the run.
  const bool long_records = longest + 8 > zara::gv.buffer_size;
  if (status != 0) {
    const bool too_long = status == zara::kRecordTooLong || status == zara::kWorkRecordTooLong ||
                          status == zara::kRecordExceedsOutBuffer;
    if (exact_check(c.check) && !(too_long && long_records))
      return "run failed with " + describe_status(status);
    return {};
  }
  if (!have_output) return "status 0 without an output file";

  if (exact_check(c.check)) {
    const std::vector<Bytes> expected = expected_records(c, records);
    Bytes want;
    for (const Bytes& r : expected) want += r;
    const Bytes mark = c.check == InputCheck::kGpSortExact ? "~~" : "\x1A";
    const bool marked = c.check != InputCheck::kFixedExact && c.check != InputCheck::kVsSortExact &&
                        end_mark && out == want + mark;
    if (out != want && !marked)
      return "output differs from the expected " + std::to_string(expected.size()) +
             " records (" + std::to_string(out.size()) + " bytes, expected " +
             std::to_string(want.size()) + ")";
    if (written != expected.size())
      return std::to_string(written) + " records reported, " + std::to_string(expected.size()) +
             " expected";
    return {};
  }
  const size_t bound = c.check == InputCheck::kAny || c.check == InputCheck::kDb3 ||
                               c.check == InputCheck::kPre
                           ? input_bytes
                           : records.size();
  if (written > bound)
    return std::to_string(written) + " records written, at most " + std::to_string(bound) +
           " possible";
  if (c.check == InputCheck::kCountFe &&
      (out.size() != size_t{written} * c.record_length + 1 || out.back() != '\x1A'))
    return "FE output of " + std::to_string(out.size()) + " bytes for " +
           std::to_string(written) + " records";
  if (c.check == InputCheck::kPre && out.size() < files[0].size())
    return "PRE output shorter than its first input";
  if (c.check == InputCheck::kDb3 && files[0].size() >= 12) {
    const size_t header =
        static_cast<uint8_t>(files[0][8]) | (static_cast<uint8_t>(files[0][9]) << 8);
    if (out.size() >= 8 && le32_at(out, 4) != written) return "DB3 record count not updated";
    if (header >= 8 && (out.size() < header || out.compare(0, 4, files[0], 0, 4) != 0 ||
                        out.compare(8, header - 8, files[0], 8, header - 8) != 0))
      return "DB3 output header is not the input's";
  }
  return {};
}

inline const std::map<std::string, Bytes>& input_case_fixed_files() {
  static const std::map<std::string, Bytes> files = {{"alt.seq", altseq_file()}};
  return files;
}

inline bool prepare_input_case() {
  for (const auto& [name, bytes] : input_case_fixed_files())
    if (!write_file(name, bytes)) return false;
  return true;
}

inline std::string run_input_case(const uint8_t* data, size_t size) {
  InputReader in(data, size);
  const uint8_t choice = in.byte();
  const InputCase& c = kInputCases[choice & 0x0F];
  static const char* const kCore[] = {"", "CORE (60) ", "CORE (100) ", "CORE (400) "};
  const bool two_files = choice & 0x80;
  const uint32_t split = two_files ? in.u16() : 0;
  if (in.left() > kMaxInputBytes) return {};
  const Bytes bytes = in.rest();
  std::vector<Bytes> files;
  if (two_files) {
    const size_t at = split % (bytes.size() + 1);
    files = {bytes.substr(0, at), bytes.substr(at)};
  } else {
    files = {bytes};
  }

  std::map<std::string, Bytes> fixed = input_case_fixed_files();
  std::string names;
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string name = "in" + std::to_string(i + 1);
    if (!write_file(name, files[i])) return "cannot write " + name;
    fixed[name] = files[i];
    names += (i ? " " : "") + name;
  }
  const std::string control = std::string(kCore[(choice >> 4) & 3]) + c.control;
  const std::string output = "out";
  unlink(output.c_str());

  uint32_t written = 0xFFFFFFFFu;
  uint32_t status = 0xFFFFFFFFu;
  std::string after;
  {
    RunWatch watch(&fixed, {output});
    {
      DescriptorBudget budget((choice & 0x40) ? 6 : 0);
      s_2mains(names.data(), static_cast<uint32_t>(names.size()), output.data(),
               static_cast<uint32_t>(output.size()), control.data(),
               static_cast<uint32_t>(control.size()), &written, &status);
    }
    Bytes out;
    const bool have_output = read_file(output, &out);
    std::string finding;
    if (!status_documented(status))
      finding = "undocumented " + describe_status(status);
    else
      finding = check_input_output(c, files, status, written, have_output, out);
    after = watch.finish(status == 0);
    if (!finding.empty()) after = finding;
  }
  unlink(output.c_str());
  for (size_t i = 0; i < files.size(); ++i) unlink(("in" + std::to_string(i + 1)).c_str());
  return after;
}

}  // namespace zara_fuzz
