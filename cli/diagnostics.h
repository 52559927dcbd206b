// Messages of zara-sort for a failed run: the status and its text, the
// control-text line with a caret under the token where parsing stopped, and
// for file errors the file's name and the system's error text.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace zara_cli {

struct RunContext {
  const std::string* control;               // the control text given
  const std::vector<std::string>* inputs;   // input names as the user gave them
  std::string output;                       // output name as the user gave it
  // Maps an offset in the text the engine parsed to one in *control (the
  // text the user wrote) when the tool rewrote it; none: the same text.
  std::function<size_t(size_t)> user_offset = nullptr;
};

// The line of `text` holding byte `offset` and the caret line under it:
// "  <line>\n  <spaces>^\n". An offset at the end of the text points just
// past its last character.
std::string caret_lines(const std::string& text, uint32_t offset);

// Prints the diagnostics of a failed run to `out`.
void report_failure(FILE* out, uint32_t status, const RunContext& context);

}  // namespace zara_cli
