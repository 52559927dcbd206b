// Loads the copybook named by --copybook and reports what is wrong with
// it as "FILE:LINE:COLUMN: message" with the line and a caret under the
// place.
#pragma once

#include <cstdio>
#include <string>

#include "cli/layout/record_layout.h"

namespace zara_cli {

// False after a message on `err`; *unreadable tells a file that cannot be
// read (a usage error) from one that does not parse.
bool load_copybook(const std::string& path, zara_layout::SourceFormat format,
                   const zara_layout::Conventions& conventions, zara_layout::RecordLayout* layout,
                   FILE* err, bool* unreadable);

}  // namespace zara_cli
