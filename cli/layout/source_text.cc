#include "cli/layout/source_text.h"

#include <cctype>
#include <cstring>

namespace zara_layout {

namespace {

constexpr size_t kIndicatorColumn = 6;  // 0-based column 7
constexpr size_t kAreaA = 7;
constexpr size_t kFixedEnd = 72;

std::vector<std::string> split_lines(const std::string& bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string expanded;
    for (char c : line) {
      if (c == '\t') expanded.append(8 - expanded.size() % 8, ' ');
      else expanded += c;
    }
    lines.push_back(expanded);
    start = end + 1;
  }
  return lines;
}

std::string upper_trimmed(const std::string& s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(' ');
  std::string t = s.substr(b, e - b + 1);
  for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return t;
}

bool fixed_indicator(char c) { return strchr(" */-Dd", c) != nullptr; }

bool looks_free(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    const std::string t = upper_trimmed(line);
    if (t.rfind(">>", 0) == 0) {
      if (t.find("SOURCE") != std::string::npos) return t.find("FREE") != std::string::npos;
      continue;
    }
    if (line.size() > kIndicatorColumn && !fixed_indicator(line[kIndicatorColumn])) return true;
  }
  return false;
}

class Builder {
 public:
  explicit Builder(SourceText* out) : out_(out) {}

  // Appends `content` of line `line` (1-based) that begins at 0-based
  // column `column`, up to a "*>" comment outside a literal.
  void add(const std::string& content, uint32_t line, size_t column) {
    for (size_t i = 0; i < content.size(); ++i) {
      const char c = content[i];
      if (!quote_ && c == '*' && i + 1 < content.size() && content[i + 1] == '>') break;
      if (quote_ && c == quote_) quote_ = 0;
      else if (!quote_ && (c == '"' || c == '\'')) quote_ = c;
      put(c, line, static_cast<uint32_t>(column + i + 1));
    }
  }
  void end_line(uint32_t line, uint32_t column) {
    put('\n', line, column);
    quote_open_at_end_ = quote_ != 0;
    quote_ = 0;
  }
  // A continuation line: its text joins the previous line's without the
  // line break; a literal left open goes on after the opening quote.
  bool continue_line(const std::string& content, uint32_t line, size_t column) {
    if (!out_->text.empty() && out_->text.back() == '\n') {
      out_->text.pop_back();
      out_->where.pop_back();
    }
    size_t first = content.find_first_not_of(' ');
    if (first == std::string::npos) return true;
    if (quote_open_at_end_) {
      const char q = content[first];
      if (q != '"' && q != '\'') return false;
      quote_ = q;
      ++first;
    }
    add(content.substr(first), line, column + first);
    return true;
  }

 private:
  void put(char c, uint32_t line, uint32_t column) {
    out_->text += c;
    out_->where.push_back(SourcePos{line, column});
  }
  SourceText* out_;
  char quote_ = 0;
  bool quote_open_at_end_ = false;
};

}  // namespace

bool read_source(const std::string& bytes, SourceFormat format, SourceText* out,
                 LayoutError* error) {
  SourceText s;
  s.lines = split_lines(bytes);
  bool free_format = format == SourceFormat::kFree ||
                     (format == SourceFormat::kAuto && looks_free(s.lines));
  Builder b(&s);
  for (size_t n = 0; n < s.lines.size(); ++n) {
    const std::string& line = s.lines[n];
    const uint32_t number = static_cast<uint32_t>(n + 1);
    const uint32_t end_column = static_cast<uint32_t>(line.size() + 1);
    const std::string t = upper_trimmed(line);
    if (t.rfind(">>", 0) == 0) {  // a compiler directive
      if (t.find("SOURCE") != std::string::npos && format == SourceFormat::kAuto)
        free_format = t.find("FREE") != std::string::npos;
      b.end_line(number, end_column);
      continue;
    }
    if (free_format) {
      b.add(line, number, 0);
      b.end_line(number, end_column);
      continue;
    }
    const char indicator = line.size() > kIndicatorColumn ? line[kIndicatorColumn] : ' ';
    const std::string content =
        line.size() > kAreaA ? line.substr(kAreaA, kFixedEnd - kAreaA) : std::string();
    if (!fixed_indicator(indicator)) {
      *error = LayoutError{"column 7 must hold a blank, *, /, - or D in fixed format",
                           SourcePos{number, kIndicatorColumn + 1}};
      return false;
    }
    if (indicator == '-') {
      if (!b.continue_line(content, number, kAreaA)) {
        *error = LayoutError{"a continued literal must go on after a quote",
                             SourcePos{number, kAreaA + 1}};
        return false;
      }
    } else if (indicator == ' ') {
      b.add(content, number, kAreaA);
    }
    b.end_line(number, end_column);
  }
  // The end of the text is placed after the last line's last character.
  const uint32_t last = static_cast<uint32_t>(s.lines.size());
  s.where.push_back(last ? SourcePos{last, static_cast<uint32_t>(s.lines.back().size() + 1)}
                         : SourcePos{1, 1});
  *out = std::move(s);
  return true;
}

}  // namespace zara_layout
