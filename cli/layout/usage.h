// How an elementary item is stored, given its USAGE, PICTURE and SIGN
// clause and the run-time's conventions, and which engine field type
// orders it the way a COBOL SORT orders it.
//
// The defaults are GnuCOBOL's: COMP, BINARY and COMP-4 big-endian, COMP-5
// in machine order (little-endian), binary sizes 1-2-4-8 by digit count,
// DISPLAY signs embedded in the last digit's zone (0x3n positive, 0x7n
// negative). Where no engine type orders a storage form correctly the item
// has no key type and says why (refusal).
#pragma once

#include <cstdint>
#include <string>

#include "cli/layout/picture.h"

namespace zara_layout {

enum class Usage { kDisplay, kBinary, kNativeBinary, kPacked, kFloat, kDouble };

enum class BinarySize { k1248, k248, k1to8 };

struct Conventions {
  bool binary_native = false;  // COMP, BINARY, COMP-4 in machine order
  BinarySize binary_size = BinarySize::k1248;
  bool ebcdic_sign = false;    // embedded signs as {A..I positive, }J..R negative
};

struct SignClause {
  bool leading = false;
  bool separate = false;
};

struct Encoding {
  uint32_t length = 0;      // bytes in the record
  int32_t scale = 0;        // decimal places of the value
  std::string key_type;     // engine field type; empty: cannot be a key
  std::string decode_type;  // engine type whose decoding shows the value
  std::string sum_type;     // SUM field type; empty: SUM cannot add it
  std::string refusal;      // why it cannot be a key
  std::string sum_refusal;  // why SUM cannot add it
  std::string usage_text;   // the storage form, as --fields shows it
};

// Recognises a USAGE word (COMP, COMPUTATIONAL-3, PACKED-DECIMAL, ...).
bool usage_from_word(const std::string& word, Usage* usage);
const char* usage_name(Usage usage);

// The storage of an elementary item; false with a message for a
// combination COBOL or this tool does not accept.
bool encode_item(Usage usage, bool has_picture, const Picture& picture, bool sign_given,
                 SignClause sign, const Conventions& conventions, Encoding* out,
                 std::string* error);

// Bytes of a binary item of `digits` digits.
uint32_t binary_length(uint32_t digits, bool is_signed, bool native_usage, BinarySize size);

}  // namespace zara_layout
