// Fuzz case "control": any control text, run by s_2mains over a small fixed
// input file of one file type.
//
// Input layout: byte 0 chooses the input (its value modulo 10: the sample
// file of that file type index, 4 naming both the text and the fixed file)
// and, with bit 0x80, puts "CORE (60) " before the text, which gives small
// sort buffers and several memory loads; the remaining bytes are the
// control text. Texts holding '/', '\\' or ':' are not run.
//
// Findings: a status code the engine does not document; a successful run
// without an output file, or with more records than input bytes; an error
// offset beyond the text; a changed input, a stray file, a work file left
// after success, or a changed descriptor count.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "fuzz/harness.h"
#include "fuzz/sample_files.h"

namespace zara_fuzz {

inline const std::map<std::string, Bytes>& control_case_files() {
  static const std::map<std::string, Bytes> files = sample_files();
  return files;
}

// Writes the sample inputs into the working directory.
inline bool prepare_control_case() {
  for (const auto& [name, bytes] : control_case_files())
    if (!write_file(name, bytes)) return false;
  return true;
}

inline std::string run_control_case(const uint8_t* data, size_t size) {
  if (size == 0) return {};
  const uint8_t choice = data[0];
  if (!control_text_confined(data + 1, size - 1)) return {};

  const uint32_t pick = choice % 10u;
  const std::string inputs = pick == 4 ? "in.txt in.fix" : sample_name(pick);
  Bytes control = (choice & 0x80) ? "CORE (60) " : "";
  control.append(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string output = "out.dat";

  unlink(output.c_str());
  RunWatch watch(&control_case_files(), {output});
  uint32_t records = 0xFFFFFFFFu;
  uint32_t status = 0xFFFFFFFFu;
  s_2mains(inputs.data(), static_cast<uint32_t>(inputs.size()), output.data(),
           static_cast<uint32_t>(output.size()), control.data(),
           static_cast<uint32_t>(control.size()), &records, &status);

  std::string finding;
  if (!status_documented(status)) finding = "undocumented " + describe_status(status);
  const uint32_t offset = zara_error_offset();
  if (finding.empty() && offset != 0xFFFFFFFFu && offset > control.size())
    finding = "error offset " + std::to_string(offset) + " past the control text of " +
              std::to_string(control.size()) + " bytes";
  Bytes out;
  const bool have_output = read_file(output, &out);
  if (finding.empty() && status == 0) {
    size_t input_bytes = 0;
    for (const auto& [name, bytes] : control_case_files())
      if (inputs.find(name) != std::string::npos) input_bytes += bytes.size();
    if (!have_output)
      finding = "status 0 without an output file";
    else if (records > input_bytes)
      finding = std::to_string(records) + " records written from " +
                std::to_string(input_bytes) + " input bytes";
  }
  const std::string after = watch.finish(status == 0);
  unlink(output.c_str());
  return finding.empty() ? after : finding;
}

}  // namespace zara_fuzz
