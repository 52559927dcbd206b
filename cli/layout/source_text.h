// The program text of a copybook: in fixed format the sequence area
// (columns 1-6), the indicator (column 7) and everything after column 72
// are dropped, comment and debugging lines are skipped and continuation
// lines are joined; in free format whole lines count. "*>" starts a
// comment to the end of a line in both. Every byte of the text keeps the
// line and column it came from, for messages.
//
// The format is found from the lines unless the caller fixes it: a
// ">>SOURCE FORMAT FREE" (or FIXED) directive switches, and a line whose
// column 7 holds anything but a blank or an indicator (* / - D) makes the
// whole file free format.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zara_layout {

struct SourcePos {
  uint32_t line = 0;    // 1-based
  uint32_t column = 0;  // 1-based, after tabs are expanded to stops of 8
};

struct LayoutError {
  std::string message;
  SourcePos where;  // line 0: not tied to a place in the copybook
};

enum class SourceFormat { kAuto, kFixed, kFree };

struct SourceText {
  std::string text;
  std::vector<SourcePos> where;    // one per byte of text, and one for its end
  std::vector<std::string> lines;  // the file's lines, tabs expanded
};

bool read_source(const std::string& bytes, SourceFormat format, SourceText* out,
                 LayoutError* error);

}  // namespace zara_layout
