// D15O37 (also d15o37): lets a COBOL program sort records one at a time by
// driving the external sort module EXTSM (sort_module.h).
//
//   D15O37(function code, record area, control-string length, end flag)
//
// All four parameters are passed by reference; the three numbers are 4-byte
// native binary integers and the record area is at least 32767 bytes long.
//   1 start:   parses the control string held in the record area (its length
//              is the third parameter), builds the sort descriptor and key
//              block, calls EXTSM with 0x01 and sets both counts to 0.
//   2 release: copies the 32767-byte record area into the record buffer and
//              calls EXTSM with 0xF3; counts one record released.
//   3 return:  after any other call, first sends end of input (0x10).
//              Counts one record returned and calls EXTSM with 0xF5; while no
//              more records have been returned than released, copies the
//              32767-byte record buffer into the record area, else sets the
//              end flag to 1 and leaves the area alone.
//   other:     nothing.
// Every call remembers its function code (the "previous function" of the
// next call) and returns the status of the latest EXTSM call.
//
// Control string: "S(" then keys "ppppp,lll,t,d" separated by commas and a
// closing ")"; "R(" then a format letter, a comma, a 5-digit record length
// and ")". Both parts may stand anywhere; without "S(" neither is read and
// the previous start's keys, format and length stay in force. Type letters:
// C character, B and E binary, P packed, Z zoned; any other letter prints
// "TYPE IS <letter>" and is sent as character. Direction A is ascending,
// every other letter descending.
//
// The module trusts nothing in the control string:
//   - only the first L characters are read, L being the length clamped to
//     0 ... 32767; a character position past L reads as a blank;
//   - in a digit field every character that is not a decimal digit counts as
//     the digit 0 in its place ("0A5" is 5, a field cut off by L after "12"
//     of five digits is 12000);
//   - keys after the 100th are ignored;
//   - a record length above 32767 is sent as 32767, the size of the record
//     buffer, so that EXTSM never moves more than the buffer holds.
// A null record area is neither read nor written (a start then parses an
// empty string); a null length counts as 0; a null end flag is not set; a
// null function code is "other".
#include <cstdio>
#include <cstring>

#include "cobol/sort_module.h"

#define D15O37_API extern "C" __attribute__((visibility("default")))

namespace zara::cobol {
namespace {

// The caller's function codes.
constexpr int32_t kFunctionStart = 1;
constexpr int32_t kFunctionRelease = 2;
constexpr int32_t kFunctionReturn = 3;

struct SortKey {
  uint32_t position;
  uint32_t length;
  char type;
  char direction;
};

// What the module keeps between calls, for as long as it stays loaded.
struct ModuleState {
  SortKey keys[kMaxKeys] = {};
  uint32_t key_count = 0;
  char record_format = ' ';
  uint32_t record_length = 0;
  uint32_t released = 0;
  uint32_t returned = 0;
  int32_t previous_function = 0;
  int32_t last_status = 0;
  uint8_t function_block[2] = {};
  uint8_t descriptor[kDescriptorSize] = {};
  uint8_t key_block[kKeyBlockSize] = {};
  uint8_t record_buffer[kRecordAreaSize] = {};
};

ModuleState state;

// The control string, characters numbered from 1 as the parsing rules count
// them; positions outside 1 ... length read as blanks.
class ControlString {
 public:
  ControlString(const uint8_t* text, uint32_t length) : text_(text), length_(text ? length : 0) {}
  uint32_t length() const { return length_; }
  char at(uint32_t i) const {
    return (i >= 1 && i <= length_) ? static_cast<char>(text_[i - 1]) : ' ';
  }
  // The n characters from i as a decimal number; non-digits count as 0.
  uint32_t digits(uint32_t i, int n) const {
    uint32_t value = 0;
    for (int k = 0; k < n; ++k) {
      char c = at(i + static_cast<uint32_t>(k));
      value = value * 10 + ((c >= '0' && c <= '9') ? static_cast<uint32_t>(c - '0') : 0);
    }
    return value;
  }
  // Position of the pair "first second", or 0 when the string holds none.
  uint32_t find(char first, char second) const {
    for (uint32_t i = 1; length_ > i; ++i) {
      if (at(i) == first && at(i + 1) == second) return i;
    }
    return 0;
  }

 private:
  const uint8_t* text_;
  uint32_t length_;
};

uint32_t clamp_length(const int32_t* length) {
  if (!length || *length < 0) return 0;
  return static_cast<uint32_t>(*length) > kRecordAreaSize ? kRecordAreaSize
                                                          : static_cast<uint32_t>(*length);
}

// Reads the key list that starts after "S(" at position i into keys;
// returns the number of keys kept (at most kMaxKeys).
uint32_t parse_keys(const ControlString& cs, uint32_t i, SortKey* keys) {
  uint32_t count = 0;
  while (cs.length() > i && cs.at(i) != ')') {
    SortKey key;
    key.position = cs.digits(i, 5);
    i += 6;
    key.length = cs.digits(i, 3);
    i += 4;
    key.type = cs.at(i);
    i += 2;
    key.direction = cs.at(i);
    i += 1;
    if (cs.at(i) == ',') i += 1;
    if (count < kMaxKeys) keys[count++] = key;
  }
  return count;
}

void parse_control_string(const ControlString& cs, ModuleState* st) {
  uint32_t s = cs.find('S', '(');
  if (s == 0) return;
  st->key_count = parse_keys(cs, s + 2, st->keys);
  uint32_t r = cs.find('R', '(');
  if (r == 0) return;
  st->record_format = cs.at(r + 2);
  st->record_length = cs.digits(r + 4, 5);
}

void print_unknown_type(char letter) {
  char line[] = "TYPE IS ?\n";
  line[8] = letter;
  fwrite(line, 1, sizeof line - 1, stdout);
  fflush(stdout);
}

uint8_t type_byte(char letter) {
  switch (letter) {
    case 'C': return kTypeCharacter;
    case 'B':
    case 'E': return kTypeBinary;
    case 'P': return kTypePacked;
    case 'Z': return kTypeZoned;
    default:
      print_unknown_type(letter);
      return kTypeCharacter;
  }
}

void build_key_block(const SortKey* keys, uint32_t count, uint8_t* block) {
  memset(block, 0, kKeyBlockSize);
  put_be16(block + kKbInUse, static_cast<uint32_t>(kKeyBlockHeader + kKeyEntrySize * count));
  put_be16(block + kKbOne, 1);
  put_be16(block + kKbKeyCount, count);
  put_be16(block + kKbFirstEntry, kKeyBlockHeader);
  for (uint32_t k = 0; k < count; ++k) {
    uint8_t* entry = block + kKeyBlockHeader + kKeyEntrySize * k;
    entry[kKeDirection] = keys[k].direction == 'A' ? kDirAscending : kDirDescending;
    entry[kKeType] = type_byte(keys[k].type);
    put_be32(entry + kKeOffset, keys[k].position - 1);  // position 0 wraps to 0xFFFFFFFF
    put_be32(entry + kKeLength, keys[k].length);
  }
}

void build_descriptor(uint32_t record_length, uint8_t* record_buffer, uint8_t* key_block,
                      uint8_t* descriptor) {
  memset(descriptor, 0, kDescriptorSize);
  const uint32_t length = record_length > kRecordAreaSize ? kRecordAreaSize : record_length;
  put_be16(descriptor + kDescRecordLength, length);
  put_be16(descriptor + kDescRecordLength2, length);
  memcpy(descriptor + kDescRecordBuffer, &record_buffer, sizeof record_buffer);
  memcpy(descriptor + kDescKeyBlock, &key_block, sizeof key_block);
}

void call_sort_module(uint8_t operation, ModuleState* st) {
  st->function_block[0] = kFunctionMark;
  st->function_block[1] = operation;
  st->last_status = EXTSM(st->function_block, st->descriptor);
}

void start_sort(const uint8_t* area, const int32_t* control_length, ModuleState* st) {
  parse_control_string(ControlString(area, clamp_length(control_length)), st);
  build_key_block(st->keys, st->key_count, st->key_block);
  build_descriptor(st->record_length, st->record_buffer, st->key_block, st->descriptor);
  call_sort_module(kOpStart, st);
  st->released = 0;
  st->returned = 0;
}

void release_record(const uint8_t* area, ModuleState* st) {
  if (area) memcpy(st->record_buffer, area, kRecordAreaSize);
  call_sort_module(kOpRelease, st);
  st->released += 1;
}

void return_record(uint8_t* area, int32_t* end_flag, ModuleState* st) {
  if (st->previous_function != kFunctionReturn) call_sort_module(kOpEndOfInput, st);
  st->returned += 1;
  call_sort_module(kOpReturn, st);
  if (st->released >= st->returned) {
    if (area) memcpy(area, st->record_buffer, kRecordAreaSize);
  } else if (end_flag) {
    *end_flag = 1;
  }
}

int32_t call_module(const int32_t* function_code, uint8_t* area, const int32_t* control_length,
                    int32_t* end_flag, ModuleState* st) {
  const int32_t function = function_code ? *function_code : 0;
  switch (function) {
    case kFunctionStart: start_sort(area, control_length, st); break;
    case kFunctionRelease: release_record(area, st); break;
    case kFunctionReturn: return_record(area, end_flag, st); break;
    default: break;
  }
  st->previous_function = function;
  return st->last_status;
}

}  // namespace
}  // namespace zara::cobol

D15O37_API int32_t D15O37(int32_t* function_code, unsigned char* record_area,
                          int32_t* control_length, int32_t* end_flag) {
  return zara::cobol::call_module(function_code, record_area, control_length, end_flag,
                                  &zara::cobol::state);
}

D15O37_API int32_t d15o37(int32_t* function_code, unsigned char* record_area,
                          int32_t* control_length, int32_t* end_flag) {
  return D15O37(function_code, record_area, control_length, end_flag);
}
