// The control language end to end: tokens, keyword abbreviations, the status of every parse failure
// (through s_2mains and s_1raat), every pair of statement flags against the conflict matrix, run reset.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "control/dispatcher.h"
#include "control/keyword_tables.h"
#include "control/tokenizer.h"
#include "engine/driver.h"
#include "engine/run_state.h"
#include "engine/status.h"
#include "tests/test_support.h"
#include "zara15z37.h"

namespace zara {
namespace {

using namespace std::string_literals;
using namespace zara_test;

// A scanner over a copy of `s` in a block of exactly its length (the address sanitizer sees a read past it).
struct Text {
  explicit Text(const std::string& s) : block(s.begin(), s.end()) { sc.reset(block.data(), uint32_t(s.size())); }
  std::vector<char> block;
  Scanner sc;
};

// Rows "text => tokens", a literal in <> (a row starting with ' quotes with it). Comments do not nest and open
// no literal; a token glued to a closing quote is a literal; an unterminated comment or literal is no token.
TEST(Tokenizer, TokensCommentsAndLiterals) {
  for (const std::string c :
       {"SORT(1,4,CH,A) => SORT|1|4|CH|A", "SORT\t]1\r\n4+CH ,A) => SORT|1|4|CH|A", "F=(1,4) => F=|1|4",
        "a:b.c/d-e#f*g => a:b.c/d-e#f*g", "[note] SORT => SORT", "SO[x]RT => SO|RT", "[a [b] c] D => c|D",
        "[\"] X => X", "\"A,B [C]\" n => <A,B [C]>|n", "\"\" X => <>|X", "ab\"c d => ab\"c|d", "'X' \"X\" => <X>|\"X\"",
        "\"x\"y z => <x>|<y>|z", " ,\t\r\n()+[] => ", "[open => ", "A [open B => A", "\"open => ", "A \"open B => A"}) {
    const size_t arrow = c.rfind(" => ");
    Text t(c.substr(0, arrow));
    std::string out;
    while (s_gettok(t.sc, kStatementDelims, c[0] == '\'' ? '\'' : '"')) {
      const std::string token(t.sc.tok_start, t.sc.tok_len);
      out += (out.empty() ? "" : "|") + (t.sc.tok_literal ? "<" + token + ">" : token);
    }
    EXPECT_EQ(out, c.substr(arrow + 4)) << c;
  }
}

// Numbers are read as atoi reads them, within the token, saturating beyond 32 bits.
TEST(Tokenizer, Numbers) {
  for (const std::string c : {"80=80", "12abc=12", "+7=7", "-5=-5", " \t\n7=7", "abc=0", "- 5=0", "--5=0", "=0", "-=0",
                              "2147483647=2147483647", "-2147483648=-2147483648", "99999999999=2147483647",
                              "-99999999999=-2147483648"}) {
    const size_t eq = c.rfind('=');
    const Text t(c.substr(0, eq));
    EXPECT_EQ(token_atoi(t.block.data(), uint32_t(eq)), std::stoll(c.substr(eq + 1))) << c;
  }
  EXPECT_TRUE(token_atoi(nullptr, 5) == 0 && token_atoi("123456", 2) == 12 && token_atol("4294967297", 10) == INT32_MAX);
}

// Keywords in entry order, '.' after the shortest abbreviation: a token is cut to the table's width (matched
// or not), one letter less selects another entry or none. (Lower case: see the status table.)
TEST(Tokenizer, AbbreviationsOfEveryKeywordTable) {
  const std::pair<const uint8_t*, const char*> tables[] = {
      {parm_table, "AD.DROUT B.YPASS CORE. DE.LIMIT F.ILETYPE IN.CLUDE K.EYOUT L.IMIT M.ERGE OM.IT OUTR.EC P.AUSE "
                   "R.ECORD S.ORTED W.ORKDRIVE AL.TSEQ EQ.UALS DUPO.UT DUPE.X DUPI.N ORIG.IN AP.OST SUM. LA.ST "
                   "APPE.ND OVER.WRITE OP.ENMODE NOYI.ELD VER.B"},
      {sort_fieldtypes, "C.HARACTER ALP.HA SU. SLI. N.UMERIC STI. STS. Z.D T. I.NTEGER P.D BI.NARY ALT. E. W. "
                        "SP. DP. F.I FL."}, {sum_fieldtypes, "Z.D BI.N I.NT P.D E.EE FL. W.ORD FI.X N.UM"},
      {direction_table, "A.SCENDING D.ESCENDING"}, {filetype_table, "FIX.ED FE. TXT. VS. BT. RV. CVS. PRE. GP. DB.3"},
      {connector_table, "XXX. A.NDY O.R"}, {condition_table, "CO. EQ.UAL NE. GT. GE. LT. LE."},
      {addrout_table, "RRN.X"}, {bypass_table1, "D.ISCARD R.ETAIN"},
      {outrec_table, "XXXX. RECL. RRN. RBA. CRLF. BT-R. HL-R. DUPC. ARRN."}};
  // The entry `token` selects (-1: none), and the token length s_match leaves.
  const auto match = [](const uint8_t* table, const std::string& token) {
    Text t(token);
    s_gettok(t.sc, kStatementDelims, '"');
    uint32_t index = 0;
    return std::pair(s_match(t.sc, table, &index) ? static_cast<int>(index) : -1, t.sc.tok_len);
  };
  for (const auto& [table, keywords] : tables) {
    std::istringstream words(keywords);
    int index = 0;
    for (std::string word; words >> word; ++index) {
      const size_t dot = word.find('.');
      word.erase(dot, 1);
      for (const std::string& token : {word, word.substr(0, dot)}) EXPECT_EQ(match(table, token).first, index) << token;
      EXPECT_TRUE(dot == 1 || match(table, word.substr(0, dot - 1)).first != index) << word;
    }
  }
  for (const char* token : {"SUMX", "X", ""}) EXPECT_EQ(match(parm_table, token).first, -1) << token;
  EXPECT_TRUE(match(parm_table, "FILETYPE") == std::pair(4, 4u) && match(direction_table, "XYZ") == std::pair(-1, 1u));
}

// The status of opening a record-at-a-time run with `text`; the run is then ended.
uint32_t raat_open(std::string text) {
  uint32_t length = static_cast<uint32_t>(text.size()), status = 0xFFFFFFFFu, ignored = 0;
  s_1raat(1, text.data(), &length, &status);
  s_1raat(4, nullptr, &length, &ignored);
  return status;
}

// The status of a run over "in.txt" with `text`; '@' marks a record-at-a-time run.
uint32_t status_of(std::string text) {
  for (size_t i; (i = text.find('%')) != text.npos;) text.replace(i, 2, text.substr(i + 1, 1) + ",1,CH,EQ,\"A\"");
  return text.starts_with('@') ? raat_open(text.substr(1)) : run("in.txt", "out.txt", text).status;
}

std::string repeat(const std::string& s, int n) { std::string out; while (n-- > 0) out += s; return out; }
std::string sort_keys(int n) { return "SORT (" + repeat("1,1,CH,A,", n) + ")"; }
std::string sum_lengths(int more, std::string out = "") {  // a SUM field of each type, `more` bytes over its longest
  for (const auto& [type, longest] : {std::pair{"ZD", 16}, {"BIN", 8}, {"I", 8}, {"PD", 13}, {"EEE", 8}, {"FL", 8},
                                       {"WOR", 8}, {"FIX", 8}, {"NUM", 31}})
    out += "|SORT (1,2,CH,A) SUM (1," + std::to_string(longest + more) + "," + type + ")";
  return out;
}
const std::string kChain = "INCLUDE (%1" + repeat(",AND,%1", 29), kOutrec20 = "OUTREC (" + repeat("RRN ", 20),
                  kSum20 = "SORT (1,2,CH,A) SUM (" + repeat("1,2,BIN,", 20), kDup19 = "DUPOUT (" + repeat("1,1,", 19),
                  kLit50 = "INCLUDE (1,50,CHA,EQ,\"" + std::string(50, 'z'), kSumSort = "|SORT (1,2,CH,A) SUM (";

// Texts separated by '|' (%n: the comparison n,1,CH,EQ,"A"); a failed parse touches no file. INCLUDE and OMIT
// compile at most 60 elements (a chain of 30 comparisons takes 59) and nest 98 groups; a line end hides a ")". The end-of-file character ends a text only at a
// token's start; the ALTSEQ check comes first, then the lowest pair, then the derived checks.
const std::pair<uint32_t, std::string> kStatusCases[] = {
    {kOk, "|[c]|sort (1,1,ch,a)|S 1 1 C A)|SORT (1,1,CH,A) \x1A (|SORT (1,1,CH,A)\x1AXYZ|@sOrT (1,4,Ch,a) SUM (5,2,z)|" +
              kChain + ")|" + kLit50 + "\")|OUTREC=(1,5)|OUTREC (\"12345678901234567890\")|" + kOutrec20 + ")|" + kSum20 +
              ")|INCLUDE " + repeat("(", 98) + "%1" + repeat(")", 98) + "|" + kDup19 + ")" + kSumSort + ")" + sum_lengths(0)},
    {kBadKeyword, "XYZ|SORT (1,4,CH,A) XYZ|\"\"|SORT (1,1,CH,A) X\x1A"},
    {kBadPosition, "SORT (0,4,CH,A)|SORT (-1,4,CH,A)|SORT (X,4,CH,A)|SORT FIELDS=(1,4,CH,A)|SORT (#0,CH,A)|SORT (#,CH,A)|"
                   "SORT (#-2,CH,A)|SORT (1,4,CH,A\n) EQUALS|INCLUDE (0,1,CH,EQ,\"A\")|INCLUDE (1,1,CH,EQ,#0)|"
                   "DUPOUT (0,5)|DUPEX (X,5)|DUPIN (#0)|DUPIN (#)" + kSumSort + "#1,4,ZD)" + kSumSort + "0,4,ZD)" + kSumSort + "X,4,ZD)"},
    {kBadLength, "SORT (1|SORT (1,0,CH,A)|SORT (1,-4,CH,A)|SORT (1,X,CH,A)|SORT (1,5,SP,A)|SORT (1,8,SP,A)|SORT (#2,SP,A)|"
                 "SORT (1,4,DP,A)|SORT (1,Z,DP,A)|SORT (#1,DP,D)|INCLUDE (1|INCLUDE (1,1,CH,EQ,2|"
                 "INCLUDE (1,-1,CH,EQ,\"A\")|DUPOUT (1|DUPOUT (1,0)|DUPOUT (1,X)" + kSumSort + "1" + kSumSort + "1,0,ZD)" + sum_lengths(1)},
    {kBadOperator, "INCLUDE (1,1,CH|INCLUDE (1,1,CH,EX,\"A\")|INCLUDE (1,4,INT,CO,\"1\")"}, {kSumOperand, kSumSort.substr(1)},
    {kBadLiteral, "INCLUDE (1,1,CH,EQ|" + kLit50 + "z\")|INCLUDE (1,3,PD,EQ,\"123\")|INCLUDE (#1,INT,EQ,\"1\")|INCLUDE (1,3,CH,EQ,"
                  "\"&HC1C\")|INCLUDE (1,3,CH,EQ,\"&HG1\")|INCLUDE (1,3,CH,EQ,\"&H4\0" "1\")|OUTREC (\"123456789012345678901\")|"
                  "OUTREC (\"&HC1C\")"s}, {kBadConnector, "INCLUDE (%1,BUT,%2)|INCLUDE %1 SORT (1,1,CH,A)|INCLUDE (%1\n) SORT (1,1,CH,A)"},
    {kOutrecKeywordError, "OUTREC (XXXX)|OUTREC (DUPC()|OUTREC (DUPC(2 1,5)"},
    {kBadFieldType, "SORT (1,4|SORT (1,4,X,A)|SORT (1,4,ST,A)|INCLUDE (1,1|INCLUDE (1,1,XY,EQ,\"A\")" + kSumSort + "1,4" +
                        kSumSort + "1,4,CH)" + kSumSort + "1,4,F)"}, {kBadDirection, "SORT (1,4,CH|SORT (1,4,CH,X)"},
    {kTableFull, sort_keys(21) + "|" + kChain + ",OR,%1)|INCLUDE (1,1,CH,EQ,\"A\"|INCLUDE %1|" + kOutrec20 + "RRN)|" +
                     kSum20 + "1,2,BIN)|INCLUDE " + repeat("(", 99) + "%1" + repeat(")", 99) + "|" + kDup19 + "20,1)"}, {kSortTextEnds, "SORT|SORT (|SORT [c]|SORT (1,1,CH,A|@SORTED"}, {kOpenmodeOperand, "OPENMODE|OPENMODE ("},
    {kAddroutOperand, "ADDROUT (|ADDROUT (XYZ)|ADDROUT (RR)"}, {kBypassOperand, "BYPASS (|BYPASS (12)|BYPASS (12,X)|BYPASS (-1,D)"},
    {kIncludeOperand, "INCLUDE|INCLUDE (|INCLUDE (%1))|INCLUDE (%1,XXX,%2)"}, {kOmitOperand, "OMIT|OMIT %1)"},
    {kOutrecOperand, "OUTREC (0,5)|OUTREC (1,5|OUTREC 1,10|OUTREC FIELDS=(1,10)|OUTREC (1,0)"},
    {kKeyoutOperand, "KEYOUT (|KEYOUT (ABC)|SORT (#2,CH,A) KEYOUT|SORT (1,Z,CH,A) KEYOUT|SORT (1,4,CH,A,#3,CH,D) KEYOUT (RRN)|" + sort_keys(20) + " K"},
    {kLimitOperand, "LIMIT|LIMIT 10|LIMIT (|LIMIT (0)|LAST (-3)|LIMIT (X)"}, {kRecordOperand, "RECORD|RECORD (|RECORD (0)|RECORD (-80)"},
    {kFixLength, "FILETYPE (FIX)|FILETYPE (FIX,0)|FILETYPE (FIX,-5)|FILETYPE (PRE,0)|FILETYPE (FIX,80) FILETYPE (VS)"},
    {kFeEofChar, "RECORD (8) FILETYPE (FE,0)|RECORD (8) FILETYPE (FE|FILETYPE FE RECORD (8)"}, {kBtRefused, "FILETYPE (BT)|@FILETYPE (BT)"},
    {kGpStrings, "FILETYPE (GP)|FILETYPE (GP,13)|FILETYPE (GP,(13,10)|FILETYPE (GP,(13,10),(26|FILETYPE (GP,(),(26))|FILETYPE (GP,(10),()) FILETYPE (DB3)|"
                 "FILETYPE (GP,(1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17),())|"
                 "FILETYPE (GP,(10),(1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16))"},
    {kFileTypeOperand, "FILETYPE|FILETYPE (XYZ)|FILETYPE (F)"}, {kCoreOperand, "CORE|CORE 4000|CORE\n(4000)|CORE (|CORE (-1)"},
    {kWorkdriveOperand, "WORKDRIVE|WORKDRIVE (|WORKDRIVE /tmp/|WORKDRIVE (/tmp)|WORKDRIVE (" + std::string(49, 'd') + "/)"},
    {kAltseqOperand, "ALTSEQ|ALTSEQ (missing.seq)|ALTSEQ (in.txt)|ALTSEQ (.)"}, {kDupOperand, "DUPOUT (|DUPIN (1,5,"},
    {kOriginOperand, "ORIGIN|ORIGIN (0)|ORIGIN (-1)"}, {kDelimitOperand, "DELIMIT ("}, {kFeWithoutRecord, "FILETYPE (FE)"},
    {kAltWithoutAltseq, "SORT (1,4,ALT,A)|@SORT (1,4,ALT,A) OUTREC (1,4)|"
                        "SORT (1,4,ALT,A) OMIT (1,1,CH,EQ,\"b\") INCLUDE (1,1,CH,EQ,\"a\")"},
    {kRaatSortOutrec, "@SORT (1,4,CH,A) OUTREC (1,4)|@MERGE (1,1,CH,A) OUTREC (1,4)"},
    {kSumWithDup, "SORT (1,1,CH,A) SUM (1,1,ZD) DUPOUT (1,1)|SUM (1,1,ZD) DUPEX (1,1)|"
                  "SORT (1,1,CH,A) DUPIN (1,1) SUM (1,1,ZD)"},
    {conflict_status(0, 3), "KEYOUT OUTREC (1,1) ADDROUT"}, {conflict_status(11, 17), "FILETYPE (FE) FILETYPE (PRE)"},
    {conflict_status(3, 6), "@KEYOUT SORT (1,4,CH,A) OUTREC (1,4)"}, {kNoMemory, "CORE (39) SORT (1,1,CH,A)"},
    {conflict_status(12, 13), "SUM (1,1,ZD) FILETYPE (VS) FILETYPE (TXT)"},
    {conflict_status(2, 5), "FILETYPE (VS) FILETYPE (TXT) OMIT (1,1,CH,EQ,\"b\") INCLUDE (1,1,CH,EQ,\"a\")|INCLUDE (%1) OMIT (%1)"},
    {conflict_status(3, 15), "FILETYPE (DB3) FILETYPE (RV) KEYOUT"}, {conflict_status(11, 13), "FILETYPE (FE) FILETYPE (VS)"},
    {conflict_status(7, 8), "@RECORD (10) FILETYPE (FE)"}, {kSumWithoutSort, "SUM (1,1,ZD)|SUM (1,4,BIN)"}};

TEST(Control, StatusOfEveryParseFailure) {
  ScratchDir dir;
  write_file("in.txt", lines({"b", "a"}));
  for (const auto& [status, texts] : kStatusCases) {
    std::istringstream split(texts);
    for (std::string text; std::getline(split, text, '|'); unlink("out.txt")) {
      EXPECT_EQ(status_of(text), status) << text;
      EXPECT_EQ(dir.files().size(), status == kOk && !text.starts_with('@') ? 2u : 1u) << text;
    }
  }
}

// Statement flags as statements: 7 is the record-at-a-time run itself, 10-19 are the file types.
const char* const kFlagText[20] = {"ADDROUT", "BYPASS", "INCLUDE (1,1,CH,EQ,\"a\")", "KEYOUT", "LIMIT (5)",
                                   "OMIT (1,1,CH,EQ,\"b\")", "OUTREC (1,1)", "", "RECORD (80)", "SORT (1,1,CH,A)",
                                   "FIX", "FE", "TXT", "VS", "BT", "RV", "CVS", "PRE", "GP", "DB3"};
// FILETYPE with type flag t and the operands of type `like` (FIX, FE, PRE and GP take some).
std::string filetype(int t, int like) {
  const char* operands = like == 10 ? ",8" : like == 17 ? ",80" : like == 18 ? ",(10),()" : "";
  return "FILETYPE (" + std::string(kFlagText[t]) + operands + ")";
}
std::string flag_text(int t) { return t < 10 ? kFlagText[t] : filetype(t, t); }

// Any FILETYPE clears TXT, so TXT comes last; a first FIX, FE, PRE or GP decides the second FILETYPE's
// operands. BT is refused by its statement and left out.
TEST(Control, EveryPairOfFlagsAgainstTheConflictMatrix) {
  std::set<int> forbidden = {3,   6,   7,   15,  16,  19,  107, 115, 116, 119, 205, 306, 307, 315, 316, 319, 407, 615,
                             616, 619, 708, 710, 711, 712, 713, 715, 716, 717, 718, 719, 812, 815, 816, 817, 819};
  for (int i = 10; i < 20; ++i)
    for (int j = i + 1; j < 20; ++j) forbidden.insert(100 * i + j);
  ScratchDir dir;
  write_file("in.txt", lines({"b", "a"}));
  for (int i = 0; i < 20; ++i)
    for (int j = i + 1; j < 20; ++j) {
      if (i == 14 || j == 14) continue;
      std::string text = i == 7 || j == 7 ? "@" + flag_text(i + j - 7) : flag_text(i) + " " + flag_text(j);
      if (i >= 10) {
        const int a = i == 12 ? j : i, b = i == 12 ? i : j;
        text = filetype(a, a) + " " + filetype(b, a == 10 || a == 11 || a == 17 || a == 18 ? a : b);
      }
      const uint32_t status = status_of(text);
      const bool conflict = status > kConflictBase && status < kConflictBase + 2000;
      EXPECT_EQ(conflict ? status : 0u, forbidden.count(100 * i + j) ? conflict_status(i, j) : 0u) << text;
    }
}

// The run record's parse results of `text` in a fresh run, as "name=value" words between '|'.
std::string state_after(const std::string& text) {
  static std::string kept;  // the scanner keeps pointers into it
  kept = text;
  gv.input_names = gv.output_name = nullptr;
  s_init();
  gv.control_text = kept.data(), gv.control_length = uint32_t(kept.size());
  if (!text.empty()) s_ctrl();
  static const char* const types[] = {"FIX", "FE", "TXT", "VS", "BT", "RV", "CVS", "PRE", "GP", "DB3"};
  std::string s = "|type=" + std::string(types[gv.file_type % 10]);
  const std::pair<const char*, uint32_t> words[] = {
      {"len", gv.record_length}, {"skip", gv.header_skip}, {"hdr", gv.has_header}, {"byp", gv.bypass_given},
      {"eof", gv.eof_char}, {"delim", gv.field_delimiter}, {"core", gv.core_kb}, {"limit", gv.record_limit},
      {"origin", gv.origin}, {"mode", gv.open_mode}, {"quote", gv.quote_char}, {"alt", gv.alt_key_seen},
      {"hold", gv.hold_area_size}, {"dupon", gv.hold_active}, {"status", gv.status_word}, {"keys", sp.count},
      {"items", op.count}, {"dups", du.count}, {"stack", gv.stack_top}, {"mindup", gv.min_dup_count}};
  for (const auto& [name, value] : words) s += "|" + std::string(name) + "=" + std::to_string(value);
  s += "|work=[" + std::string(gv.work_dir) + "]";
  const auto list = [&s](const char* name, const auto* bytes, uint32_t n, bool flags) {  // flags: the indices set
    s += name;
    for (uint32_t i = 0; i < n; ++i) s += bytes[i] || !flags ? std::to_string(flags ? i : bytes[i]) + "." : "";
  };
  list("|cp=", cp, kCpCount, true), list("|opt=", cpnm, kCpnmCount, true);
  list("|rd=", gv.record_delim, gv.record_delim_length, false), list("|es=", gv.end_string, gv.end_string_length, false);
  const auto entry = [&s](const char* name, uint32_t k, std::initializer_list<uint32_t> values) {
    s += "|" + std::string(name) + std::to_string(k + 1) + "=";
    for (const uint32_t& v : values) s += std::to_string(v) + (&v == std::end(values) - 1 ? "" : ",");
  };
  for (uint32_t k = 0; k < sp.count; ++k) entry("key", k, {sp.entries[k].key_pos, sp.entries[k].key_len,
                                                          sp.entries[k].key_type, sp.entries[k].key_dir});
  for (uint32_t k = 0; k < op.count; ++k) entry("item", k, {op.entries[k].type, op.entries[k].position, op.entries[k].length});
  for (uint32_t k = 0; k < du.count; ++k) entry("dup", k, {du.entries[k].dup_pos, du.entries[k].dup_len});
  return s + "|";
}

// Each row: a text, and words of the state it leaves. Numbers stop at a non-digit; the later of two statements
// counts; after FE, RECORD's operand is the end character's code (modulo 256); WORKDRIVE keeps what ends in / \ or :.
TEST(Control, WhatTheStatementsSet) {
  ScratchDir dir;
  write_file("alt.seq", std::string(1, '\xAC') + std::string(264, '\0'));
  const std::pair<std::string, std::string> rows[] = {
      {"MERGE (5,4,BI,D,1,4,CH,ASCENDING)", "cp=9.12.|keys=2|key1=5,4,11,1|key2=1,4,0,0"},
      {"SORT (#3,NUM,D, 2,Z,CH,A, 3,zz9,ALP,D, 1,4,SP,A, 5,8,DP,D, 3x,4y,CH,A)",
       "key1=3,0,4,1|key2=2,65535,0,0|key3=3,65535,1,1|key4=1,4,15,0|key5=5,8,16,1|key6=3,4,0,0"},
      {"SORT (1,4,CH,A,5,2,CH,A) MERGE (9,1,BI,D)", "keys=1|key1=9,1,11,1"}, {"RECORD (80)", "type=FIX|len=80|cp=8.10."},
      {"SORT (7,1,CH,A) " + sort_keys(21), "status=206|keys=1"}, {"FILETYPE (VS) RECORD (20)", "type=FIX"},
      {"RECORD (20) FILETYPE (GP,(10),())", "type=FIX"}, {"FILETYPE (DB)", "type=DB3|cp=19."}, {"F (vs)", "type=VS|cp=13."},
      {"RECORD (10) FILETYPE (FE)", "type=FE|eof=26|cp=8.11."}, {"RECORD (10) FILETYPE (FE,64)", "eof=64"},
      {"RECORD (10) FILETYPE (FE,300)", "eof=44"}, {"FILETYPE (FE , ) RECORD (10)", "eof=26"},
      {"FILETYPE (GP,(13,10),(26))", "type=GP|rd=13.10.|es=26."}, {"FILETYPE (GP,(59),())", "rd=59.|es=|"},
      {"FILETYPE (GP,(1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16),(1,2,3,4,5,6,7,8,9,10,11,12,13,14,271))",
       "rd=1.2.3.4.5.6.7.8.9.10.11.12.13.14.15.16.|es=1.2.3.4.5.6.7.8.9.10.11.12.13.14.15."},
      {"RECORD (80) BYPASS", "skip=80|hdr=1|byp=1|cp=1.8.10."}, {"BYPASS FILETYPE (FIX,40)", "skip=40"},
      {"BYPASS (128,D)", "skip=128|hdr=0|byp=0"}, {"BYPASS (0,RETAIN)", "skip=0|hdr=1|status=0"},
      {"RECORD (80) BYPASS BYPASS (10,D)", "skip=10|hdr=0"}, {"RECORD (80) BYPASS (10,D) BYPASS", "skip=80|hdr=1"},
      {"CORE (0) DELIMIT (59) LIMIT (10) ORIGIN (5) OPENMODE (3)",
       "core=0|delim=59|limit=10|origin=5|mode=3|cp=4.12.|opt=0.1.9.14."},
      {"CORE , (4000) DELIMIT LAST (7) LIMIT (3)", "core=4000|delim=44|limit=3"}, {"DELIMIT (x)", "delim=0"},
      {"WORKDRIVE (C:) WORKDRIVE (d\\)", "work=[d\\]|opt=3."}, {"WORKDRIVE (\"\")", "work=[]"},
      {"WORKDRIVE (" + std::string(48, 'd') + "/)", "work=[" + std::string(48, 'd') + "/]"},
      {"APOST WORKDRIVE ('/a b/')", "quote=39|opt=3.10.|work=[/a b/]"}, {"WORKDRIVE ('/a b/') APOST", "status=10054"},
      {"PAUSE APPEND OVERWRITE EQUALS NOYIELD VERB", "opt=2.5.12.13.15.16."},
      {"SORT (1,4,CH,A) ADDROUT (RRN)", "cp=0.6.9.12.|items=1|item1=2,0,4"},
      {"SORT (5,3,CH,A,1,2,BI,D) KEYOUT", "cp=3.6.9.12.|items=3|item1=2,0,4|item2=0,5,3|item3=0,1,2"},
      {sort_keys(19) + " KEYOUT (rrn)", "items=20|item20=0,1,1"},
      {"SORT (1,2,CH,A,5,3,CH,D) SUM (9,2,ZD)", "opt=6.11.|hold=2000|dupon=1|dups=2|dup1=1,2|dup2=5,3"},
      {"DUPIN (1,5 b500 10,3)", "opt=7.|hold=500|dups=2|dup1=1,5|dup2=10,3"}, {"DUPEX (B-1)", "hold=33554432|dups=1"},
      {"DUPOUT (#2, 3,e)", "opt=6.|hold=1000|dup1=2,0|dup2=3,17733"}, {"OUTREC (1,2,DUPC(3)) OUTREC (DUPC)", "mindup=1"},
      {"SORT (1,4,ALT,A) ALTSEQ (alt.seq)", "alt=1|opt=4."}, {"ALTSEQ (alt.seq) SORT (1,4,CH,A)", "alt=0"},
  };
  for (const auto& [text, words] : rows) {
    const std::string now = state_after(text);
    for (size_t from = 0, to; from < words.size(); from = to + 1) {
      to = std::min(words.find('|', from), words.size());
      EXPECT_NE(now.find("|" + words.substr(from, to - from) + "|"), now.npos) << text << ": " << words << " in " << now;
    }
  }
  state_after("APOST RECORD (40) BYPASS SORT (1,4,CH,A) KEYOUT CORE (9) DELIMIT (59) LIMIT (3) ORIGIN (2) "
              "OPENMODE (1) WORKDRIVE (/tmp/) EQUALS PAUSE OMIT (1,1,CH,EQ,'x') FILETYPE (FIX,40) DUPIN");
  EXPECT_EQ(state_after(""), "|type=TXT|len=0|skip=0|hdr=0|byp=0|eof=26|delim=44|core=2000|limit=0|origin=0|mode=64|"
                             "quote=34|alt=0|hold=0|dupon=0|status=0|keys=0|items=0|dups=0|stack=100|mindup=1|work=[]|cp=12."
                             "|opt=|rd=|es=|");
}

// Nothing of one run reaches the next: quote, record length, limit, SUM, status; a record-at-a-time
// run does not read the last whole run's names (freed by then: the address sanitizer sees a read).
TEST(Control, EachRunStartsFromTheDefaults) {
  ScratchDir dir;
  write_file("my in.txt", lines({"b", "c", "a"}));
  write_file("in.txt", lines({"a 1", "a 2", "b 5"}));
  const struct { const char *in, *control; uint32_t status; std::string out; } runs[] = {
      {"'my in.txt'", "APOST RECORD (2) LIMIT (1) SORT (1,1,CH,D)", kOk, "b\n"},
      {"\"my in.txt\"", "", kOk, lines({"b", "c", "a"})},
      {"in.txt", "SORT (1,1,CH,A) SUM (3,1,ZD)", kOk, lines({"a 3", "b 5"})},
      {"in.txt", "SORT (1,1,CH,A) DUPOUT (1,1)", kOk, lines({"a 1", "b 5"})},
      {"in.txt", "XYZ", kBadKeyword, lines({"a 1", "b 5"})}, {"in.txt", "", kOk, lines({"a 1", "a 2", "b 5"})}};
  for (const auto& r : runs) {
    EXPECT_EQ(run(r.in, "out.txt", r.control).status, r.status) << r.control;
    EXPECT_EQ(read_file("out.txt"), r.out) << r.control;
  }
  run(std::string(64, ' ') + "in.txt", std::string(64, ' ') + "out.txt", "");
  EXPECT_EQ(raat_open("SORT (1,1,CH,A)"), kOk);
}

}  // namespace
}  // namespace zara
