// A number written in a condition, in the storage of the named field it is
// compared with, so that INCLUDE (BALANCE,LT,"-10.5") means the number for
// packed, zoned, separate-sign and binary fields alike. The engine compares
// such fields byte by byte, or converts literals only for some lengths, so
// the tool writes the field's own bytes: digits as text where the engine
// keeps text (unsigned DISPLAY, separate signs), "&H" hexadecimal
// otherwise. COMP-1 and COMP-2 fields keep the text, which the engine
// converts itself.
#pragma once

#include <string>
#include <string_view>

#include "cli/layout/data_item.h"

namespace zara_layout {

enum class LiteralForm { kUnchanged, kRewritten, kRefused };

// `text` is the literal's content. kRewritten puts the new content in
// *out; kRefused a reason in *out.
LiteralForm number_for_field(const DataItem& item, std::string_view text, std::string* out);

}  // namespace zara_layout
