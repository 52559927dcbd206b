#include "cli/copybook_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "cli/diagnostics.h"

namespace zara_cli {

bool load_copybook(const std::string& path, zara_layout::SourceFormat format,
                   const zara_layout::Conventions& conventions, zara_layout::RecordLayout* layout,
                   FILE* err, bool* unreadable) {
  *unreadable = false;
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  if (f) s << f.rdbuf();
  if (!f || f.bad()) {
    fprintf(err, "zara-sort: cannot read %s: %s\n", path.c_str(), strerror(errno));
    *unreadable = true;
    return false;
  }
  zara_layout::SourceText source;
  zara_layout::LayoutError error;
  if (zara_layout::build_layout(s.str(), format, conventions, layout, &source, &error)) return true;
  const zara_layout::SourcePos at = error.where;
  if (at.line == 0 || at.line > source.lines.size()) {
    fprintf(err, "zara-sort: %s: %s\n", path.c_str(), error.message.c_str());
    return false;
  }
  fprintf(err, "zara-sort: %s:%u:%u: %s\n", path.c_str(), at.line, at.column, error.message.c_str());
  fputs(caret_lines(source.lines[at.line - 1], at.column - 1).c_str(), err);
  return false;
}

}  // namespace zara_cli
