#include "cli/diagnostics.h"

#include <cstring>

#include "zara15z37.h"

namespace zara_cli {

namespace {

bool is_line_end(char c) { return c == '\n' || c == '\r'; }

// A copy of the status's file-related context, if the engine kept one.
std::string file_detail() {
  const char* file = zara_error_file();
  const int err = zara_error_errno();
  std::string detail;
  if (file && *file) detail = file;
  if (err != 0) {
    if (!detail.empty()) detail += ": ";
    detail += strerror(err);
  }
  return detail;
}

}  // namespace

std::string caret_lines(const std::string& text, uint32_t offset) {
  size_t at = offset > text.size() ? text.size() : offset;
  // A failure at the end of a text that ends with a line break points at
  // the last line rather than an empty one.
  while (at == text.size() && at > 0 && is_line_end(text[at - 1])) --at;
  size_t start = at;
  while (start > 0 && !is_line_end(text[start - 1])) --start;
  size_t end = at;
  while (end < text.size() && !is_line_end(text[end])) ++end;
  std::string line = text.substr(start, end - start);
  std::string pad;
  for (size_t i = start; i < at; ++i) pad += text[i] == '\t' ? '\t' : ' ';
  return "  " + line + "\n  " + pad + "^\n";
}

void report_failure(FILE* out, uint32_t status, const RunContext& context) {
  fprintf(out, "zara-sort: status %u: %s\n", status, zara_status_text(status));
  const uint32_t offset = zara_error_offset();
  if (offset != 0xFFFFFFFFu && context.control) {
    const size_t at = context.user_offset ? context.user_offset(offset) : offset;
    fputs(caret_lines(*context.control, static_cast<uint32_t>(at)).c_str(), out);
    return;
  }
  if (status == 211) {
    fprintf(out, "zara-sort: the output %s is also an input\n", context.output.c_str());
    return;
  }
  if (status == 213) return;
  const std::string detail = file_detail();
  if (!detail.empty()) fprintf(out, "zara-sort: %s\n", detail.c_str());
}

}  // namespace zara_cli
