// The option statements: file type and record length, header bypass,
// memory, work directory, record range, field delimiter, the ADDROUT and
// KEYOUT output forms, and the switches that take no operand.
//
// A parenthesised operand is '(' after nothing but blanks and commas, then
// one token; the closing ')' is skipped as a delimiter by the next token
// read. Numbers read as atoi reads them, bounded by the token.
#include <cstring>

#include "control/keyword_tables.h"
#include "control/statements.h"
#include "engine/run_state.h"

namespace zara {

namespace {

Scanner& scan() { return gv.scan; }

// '(' and a token. False when either is missing.
bool paren_operand() { return find_parenl(scan()) && s_gettok(scan(), kStatementDelims); }

// An optional (RRN) operand of ADDROUT and KEYOUT.
bool rrn_operand(uint32_t status) {
  if (!find_parenl(scan())) return true;
  uint32_t index = 0;
  if (!s_gettok(scan(), kStatementDelims) || !s_match(scan(), addrout_table, &index))
    return fail(status);
  return true;
}

// A required positive count: LIMIT, LAST, ORIGIN.
bool positive_operand(uint32_t* out, uint32_t status) {
  if (!paren_operand()) return fail(status);
  const int32_t n = token_atol(scan().tok_start, scan().tok_len);
  if (n <= 0) return fail(status);
  *out = static_cast<uint32_t>(n);
  return true;
}

// One GP byte list: '(' then byte values until ')'. At most `capacity`
// bytes; the text ending inside the list, or a longer list, fails.
bool byte_list(uint8_t* bytes, uint32_t capacity, uint32_t* length) {
  if (!find_parenl(scan())) return fail(kGpStrings);
  uint32_t n = 0;
  while (!find_parenr(scan())) {
    if (!s_gettok(scan(), kStatementDelims)) return fail(kGpStrings);
    if (n == capacity) return fail(kGpStrings);
    bytes[n++] = static_cast<uint8_t>(tok_atoi(scan()));
  }
  *length = n;
  return true;
}

bool gp_parameters() {
  uint8_t delim[sizeof gv.record_delim];
  uint8_t end[sizeof gv.end_string];
  uint32_t delim_len = 0;
  uint32_t end_len = 0;
  if (!byte_list(delim, sizeof delim, &delim_len)) return false;
  // An empty delimiter would match everywhere and frame nothing.
  if (delim_len == 0) return fail(kGpStrings);
  if (!byte_list(end, sizeof end, &end_len)) return false;
  memcpy(gv.record_delim, delim, delim_len);
  gv.record_delim_length = delim_len;
  memcpy(gv.end_string, end, end_len);
  gv.end_string_length = end_len;
  return true;
}

bool fixed_length_parameter() {
  if (!s_gettok(scan(), kStatementDelims)) return fail(kFixLength);
  const int32_t n = tok_atoi(scan());
  if (n <= 0) return fail(kFixLength);
  gv.record_length = static_cast<uint32_t>(n);
  return true;
}

bool fe_parameter() {
  if (find_parenr(scan())) {
    gv.eof_char = 26;
    return true;
  }
  if (!s_gettok(scan(), kStatementDelims)) return fail(kFeEofChar);
  const int32_t n = tok_atoi(scan());
  if (n == 0) return fail(kFeEofChar);
  gv.eof_char = static_cast<uint8_t>(n);
  return true;
}

}  // namespace

bool addrout_r() {
  cp[kCpAddrout] = 1;
  return rrn_operand(kAddroutOperand);
}

bool keyout_r() {
  cp[kCpKeyout] = 1;
  return rrn_operand(kKeyoutOperand);
}

bool bypass_r() {
  cp[kCpBypass] = 1;
  gv.skip_header = 1;
  gv.header_skip = 0;
  gv.has_header = 1;
  // A later BYPASS replaces an earlier one, with or without operands.
  gv.bypass_given = 0;
  if (!find_parenl(scan())) {
    gv.bypass_given = 1;
    return true;
  }
  if (!s_gettok(scan(), kStatementDelims)) return fail(kBypassOperand);
  const int32_t count = tok_atoi(scan());
  if (count < 0) return fail(kBypassOperand);
  gv.header_skip = static_cast<uint32_t>(count);
  uint32_t index = 0;
  if (!s_gettok(scan(), kStatementDelims) || !s_match(scan(), bypass_table1, &index))
    return fail(kBypassOperand);
  gv.has_header = index == 1;
  return true;
}

bool core_r() {
  cpnm[kOptCore] = 1;
  if (!paren_operand()) return fail(kCoreOperand);
  const int32_t kb = tok_atoi(scan());
  if (kb < 0) return fail(kCoreOperand);
  gv.core_kb = static_cast<uint32_t>(kb);
  return true;
}

bool delimit_r() {
  cpnm[kOptDelimit] = 1;
  if (!find_parenl(scan())) return true;
  if (!s_gettok(scan(), kStatementDelims)) return fail(kDelimitOperand);
  gv.field_delimiter = static_cast<uint8_t>(tok_atoi(scan()));
  return true;
}

bool filetype_r() {
  cp[kCpFileType + kTxt] = 0;
  uint32_t index = 0;
  if (!s_gettok(scan(), kStatementDelims) || !s_match(scan(), filetype_table, &index))
    return fail(kFileTypeOperand);
  gv.file_type = index;
  cp[kCpFileType + index] = 1;
  // The first type flag set decides which parameters follow; a second
  // FILETYPE fails later in the conflict check.
  if (cp[kCpFileType + kFix]) return fixed_length_parameter();
  if (cp[kCpFileType + kFe]) return fe_parameter();
  if (cp[kCpFileType + kBt]) return fail(kBtRefused);
  if (cp[kCpFileType + kPre]) return fixed_length_parameter();
  if (cp[kCpFileType + kGp]) return gp_parameters();
  return true;
}

bool limit_r() {
  cp[kCpLimit] = 1;
  return positive_operand(&gv.record_limit, kLimitOperand);
}

bool origin_r() {
  cpnm[kOptOrigin] = 1;
  return positive_operand(&gv.origin, kOriginOperand);
}

bool record_r() {
  cp[kCpRecord] = 1;
  cp[kCpFileType + kTxt] = 0;
  if (!paren_operand()) return fail(kRecordOperand);
  // A length of 0 or below frames no record and would never advance.
  const int32_t n = tok_atoi(scan());
  if (n <= 0) return fail(kRecordOperand);
  gv.record_length = static_cast<uint32_t>(n);
  return true;
}

bool workdrive_r() {
  cpnm[kOptWorkdrive] = 1;
  if (!paren_operand()) return fail(kWorkdriveOperand);
  const Scanner& sc = scan();
  const uint32_t n = sc.tok_len;
  if (n > kWorkDirSize - 1) return fail(kWorkdriveOperand);
  if (n > 0) {
    const char last = sc.tok_start[n - 1];
    if (last != ':' && last != '/' && last != '\\') return fail(kWorkdriveOperand);
    // A NUL inside the path would silently shorten it.
    if (memchr(sc.tok_start, '\0', n)) return fail(kWorkdriveOperand);
  }
  memcpy(gv.work_dir, sc.tok_start, n);
  gv.work_dir[n] = '\0';
  return true;
}

bool openmode_r() {
  cpnm[kOptOpenmode] = 1;
  if (!paren_operand()) return fail(kOpenmodeOperand);
  gv.open_mode = static_cast<uint32_t>(tok_atoi(scan()));
  return true;
}

bool apost_r() {
  cpnm[kOptApost] = 1;
  gv.quote_char = '\'';
  return true;
}

bool pause_r() {
  cpnm[kOptPause] = 1;
  return true;
}
bool append_r() {
  cpnm[kOptAppend] = 1;
  return true;
}
bool overwrite_r() {
  cpnm[kOptOverwrite] = 1;
  return true;
}
bool equal_r() {
  cpnm[kOptEquals] = 1;
  return true;
}
bool noyield_r() {
  cpnm[kOptNoyield] = 1;
  return true;
}
bool ver_r() {
  cpnm[kOptVerb] = 1;
  return true;
}

}  // namespace zara
