// Control statements: every parse status of the dispatcher, the key lists,
// the option statements and the cross-checks (every forbidden pair, also in
// record-at-a-time runs) reached through whole runs; the values the
// statements leave in the run record; and the run reset between runs.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "control/dispatcher.h"
#include "engine/driver.h"
#include "engine/run_state.h"
#include "tests/child_run.h"
#include "tests/test_support.h"
#include "zara15z37.h"

namespace zara {
namespace {

using zara_test::lines;
using zara_test::read_file;
using zara_test::run;
using zara_test::ScratchDir;
using zara_test::write_file;

// The run reset of a run that names no files (the last whole run's name
// texts belong to its caller and may be gone).
void reset_without_names() {
  gv.input_names = gv.output_name = nullptr;
  gv.input_names_length = gv.output_name_length = 0;
  s_init();
}

// Parses `text` as the control statements of a fresh run; the status.
uint32_t parse(const std::string& text) {
  static std::string kept;
  kept = text;
  reset_without_names();
  gv.control_text = kept.data();
  gv.control_length = static_cast<uint32_t>(kept.size());
  return s_ctrl() ? kOk : gv.status_word;
}

// Status of function 1 of a record-at-a-time run, which is then ended.
uint32_t raat_open_status(std::string text) {
  uint32_t length = static_cast<uint32_t>(text.size()), status = 0xFFFFFFFFu, ignored = 0;
  s_1raat(1, text.data(), &length, &status);
  s_1raat(4, nullptr, &length, &ignored);
  return status;
}

std::string keys(int n, const char* end = ")") {
  std::string list = "(";
  for (int i = 1; i <= n; ++i) list += std::to_string(i) + ",1,CH,A,";
  return list + end;
}

using StatusCases = std::vector<std::pair<uint32_t, std::vector<std::string>>>;

// Each control text ends a whole run with its status before any file is
// touched: no output and no work file appears.
void expect_run_statuses(const StatusCases& cases) {
  ScratchDir dir;
  write_file("in.txt", lines({"b", "a"}));
  for (const auto& [status, controls] : cases)
    for (const std::string& control : controls) {
      EXPECT_EQ(run("in.txt", "out.txt", control).status, status) << control;
      EXPECT_EQ(dir.files(), std::vector<std::string>{"in.txt"}) << control;
    }
}

// SUM with DUPEX fails before the missing SORT is noticed; GP's lists come
// before the second FILETYPE's check, FE's ')' serves PRE. The ALT check
// comes before every pair, the lowest pair first, the pairs before the
// derived checks.
TEST(StatementStatus, DispatcherAndCrossChecks) {
  const std::string include = "INCLUDE (1,1,CH,EQ,\"a\")", omit = "OMIT (1,1,CH,EQ,\"b\")";
  expect_run_statuses({
      {kBadKeyword, {"XYZ", "SORT (1,4,CH,A) XYZ", "\"\""}},
      {kAltWithoutAltseq, {"SORT (1,4,ALT,A)", "SORT (1,4,ALT,A) " + include + " " + omit}},
      {kFeWithoutRecord, {"FILETYPE (FE)"}},
      {kSumWithDup,
       {"SORT (1,1,CH,A) SUM (1,1,ZD) DUPOUT (1,1)", "SUM (1,1,ZD) DUPEX (1,1)",
        "SORT (1,1,CH,A) DUPIN (1,1) SUM (1,1,ZD)"}},
      {kSumWithoutSort, {"SUM (1,1,ZD)"}},
      {kGpStrings, {"FILETYPE (GP,(10),()) FILETYPE (DB3)"}},
      {conflict_status(11, 17), {"FILETYPE (FE) FILETYPE (PRE)"}},
      {conflict_status(2, 5), {"FILETYPE (VS) FILETYPE (TXT) " + omit + " " + include}},
      {conflict_status(0, 3), {"KEYOUT OUTREC (1,1) ADDROUT"}},
      {conflict_status(3, 15), {"FILETYPE (DB3) FILETYPE (RV) KEYOUT"}},
      {conflict_status(11, 13), {"FILETYPE (FE) FILETYPE (VS)"}},
      {conflict_status(12, 13), {"SUM (1,1,ZD) FILETYPE (VS) FILETYPE (TXT)"}},
  });
  EXPECT_EQ(raat_open_status("SORT (1,4,CH,A) OUTREC (1,4)"), kRaatSortOutrec);
  EXPECT_EQ(raat_open_status("MERGE (1,4,CH,A) OUTREC (1,4)"), kRaatSortOutrec);
  EXPECT_EQ(raat_open_status("KEYOUT SORT (1,4,CH,A) OUTREC (1,4)"), conflict_status(3, 6));
  EXPECT_EQ(raat_open_status("RECORD (10) FILETYPE (FE)"), conflict_status(7, 8));
  EXPECT_EQ(raat_open_status("SORT (1,4,ALT,A) OUTREC (1,4)"), kAltWithoutAltseq);
  EXPECT_EQ(raat_open_status("FILETYPE (BT)"), kBtRefused);
  EXPECT_EQ(raat_open_status("SORT (1,4,CH,A) SUM (5,2,ZD)"), kOk);
}

bool is_conflict(uint32_t status) {
  return status > kConflictBase && status < kConflictBase + 2000;
}

// Every pair of statement flags: the forbidden ones fail with their pair's
// status (flag 7 is the record-at-a-time run itself), the others with none.
TEST(StatementStatus, EveryForbiddenPair) {
  std::map<int, std::string> sets = {
      {0, "ADDROUT"},      {1, "BYPASS"},      {2, "INCLUDE (1,1,CH,EQ,\"a\")"},
      {3, "KEYOUT"},       {4, "LIMIT (5)"},   {5, "OMIT (1,1,CH,EQ,\"b\")"},
      {6, "OUTREC (1,1)"}, {8, "RECORD (80)"}, {9, "SORT (1,1,CH,A)"}};
  // The first type flag set among FIX, FE, BT, PRE and GP decides the
  // operands of every FILETYPE that follows.
  const char* const types[] = {"FIX", "FE", "TXT", "VS", "BT", "RV", "CVS", "PRE", "GP", "DB3"};
  const std::map<int, std::string> operands = {{10, ",8"}, {11, ""}, {17, ",80"}, {18, ",(10),()"}};
  const auto filetype = [&](int t, int decider) {
    return "FILETYPE (" + std::string(types[t - 10]) +
           (operands.count(decider) ? operands.at(decider) : "") + ")";
  };
  for (int t = 10; t <= 19; ++t)
    if (t != 14) sets[t] = filetype(t, t);  // BT is refused by its statement
  std::set<std::pair<int, int>> forbidden = {
      {0, 3},  {0, 6},  {0, 7}, {0, 15}, {0, 16}, {0, 19}, {1, 7},  {1, 15}, {1, 16},
      {1, 19}, {2, 5},  {3, 6}, {3, 7},  {3, 15}, {3, 16}, {3, 19}, {4, 7},  {6, 15},
      {6, 16}, {6, 19}, {7, 8}, {8, 12}, {8, 15}, {8, 16}, {8, 17}, {8, 19}};
  for (int i = 10; i <= 19; ++i)
    for (int j = i + 1; j <= 19; ++j) forbidden.insert({i, j});
  for (int j : {10, 11, 12, 13, 15, 16, 17, 18, 19}) forbidden.insert({7, j});
  ScratchDir dir;
  write_file("in.txt", lines({"b", "a"}));
  for (const auto& [i, first] : sets) {
    const uint32_t raat = raat_open_status(first);
    const int lo = std::min(i, 7), hi = std::max(i, 7);
    if (forbidden.count({lo, hi})) {
      EXPECT_EQ(raat, conflict_status(lo, hi)) << first;
    } else {
      EXPECT_FALSE(is_conflict(raat)) << first;
    }
    for (const auto& [j, second] : sets) {
      if (j <= i) continue;
      std::string text = first + " " + second;
      if (i >= 10) {  // TXT must come last: any FILETYPE clears it
        const int a = i == 12 ? j : i, b = i == 12 ? i : j;
        int decider = 0;
        for (int t : {10, 11, 17, 18}) decider = decider ? decider : (t == a || t == b ? t : 0);
        text = filetype(a, a) + " " + filetype(b, decider);
      }
      const uint32_t status = run("in.txt", "out.txt", text).status;
      if (forbidden.count({i, j})) {
        EXPECT_EQ(status, conflict_status(i, j)) << text;
      } else {
        EXPECT_FALSE(is_conflict(status)) << text;
      }
    }
  }
}

// With no ')' the next key is expected; a ')' after a line break is
// skipped as a delimiter. Numbers, options and types are checked in turn.
TEST(StatementStatus, SortKeys) {
  expect_run_statuses({
      {kSortTextEnds, {"SORT", "SORT (", "SORT [only a comment]", "SORT (1,10,CH,A"}},
      {kBadPosition,
       {"SORT (0,4,CH,A)", "SORT (-1,4,CH,A)", "SORT (X,4,CH,A)", "SORT FIELDS=(1,4,CH,A)",
        "SORT (#0,CH,A)", "SORT (#,CH,A)", "SORT (#-2,CH,A)", "SORT (1,4,CH,A\n) EQUALS"}},
      {kBadLength,
       {"SORT (1", "SORT (1,0,CH,A)", "SORT (1,-4,CH,A)", "SORT (1,X,CH,A)", "SORT (1,5,SP,A)",
        "SORT (1,8,SP,A)", "SORT (#2,SP,A)", "SORT (1,4,DP,A)", "SORT (1,Z,DP,A)",
        "SORT (#1,DP,D)"}},
      {kBadFieldType, {"SORT (1,4", "SORT (1,4,X,A)", "SORT (1,4,ST,A)"}},
      {kBadDirection, {"SORT (1,4,CH", "SORT (1,4,CH,X)"}},
      {kTableFull, {"SORT " + keys(20, "21,1,CH,A)")}},
  });
}

// KEYOUT takes no delimited or NUL-terminated key, nor a 21st item. FIX's
// length comes before the second FILETYPE's check; after FE, RECORD is read
// as the end character's code. "in.txt" does not begin with the ALTSEQ
// marker.
TEST(StatementStatus, OptionStatements) {
  const std::string many = "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16";
  expect_run_statuses({
      {kAddroutOperand, {"ADDROUT (", "ADDROUT (XYZ)", "ADDROUT (RR)"}},
      {kBypassOperand, {"BYPASS (", "BYPASS (12)", "BYPASS (12,X)", "BYPASS (-1,D)"}},
      {kKeyoutOperand,
       {"KEYOUT (", "KEYOUT (ABC)", "SORT (#2,CH,A) KEYOUT", "SORT (1,Z,CH,A) KEYOUT",
        "SORT (1,4,CH,A,#3,CH,D) KEYOUT (RRN)", "SORT " + keys(20) + " KEYOUT"}},
      {kLimitOperand, {"LIMIT", "LIMIT 10", "LIMIT (", "LIMIT (0)", "LAST (-3)", "LIMIT (X)"}},
      {kRecordOperand, {"RECORD", "RECORD (", "RECORD (0)", "RECORD (-80)"}},
      {kFixLength,
       {"FILETYPE (FIX)", "FILETYPE (FIX,0)", "FILETYPE (FIX,-5)", "FILETYPE (PRE,0)",
        "FILETYPE (FIX,80) FILETYPE (VS)"}},
      {kFeEofChar,
       {"RECORD (8) FILETYPE (FE,0)", "RECORD (8) FILETYPE (FE", "FILETYPE FE RECORD (8)"}},
      {kBtRefused, {"FILETYPE (BT)"}},
      {kGpStrings,
       {"FILETYPE (GP)", "FILETYPE (GP,13)", "FILETYPE (GP,(13,10)", "FILETYPE (GP,(13,10),(26",
        "FILETYPE (GP,(),(26))", "FILETYPE (GP,(" + many + ",17),())",
        "FILETYPE (GP,(10),(" + many + "))"}},
      {kFileTypeOperand, {"FILETYPE", "FILETYPE (XYZ)", "FILETYPE (F)"}},
      {kCoreOperand, {"CORE", "CORE 4000", "CORE\n(4000)", "CORE (", "CORE (-1)"}},
      {kDelimitOperand, {"DELIMIT ("}},
      {kWorkdriveOperand,
       {"WORKDRIVE", "WORKDRIVE /tmp/", "WORKDRIVE (", "WORKDRIVE (/tmp)",
        "WORKDRIVE (" + std::string(49, 'd') + "/)"}},
      {kAltseqOperand, {"ALTSEQ", "ALTSEQ (missing.seq)", "ALTSEQ (in.txt)"}},
      {kOriginOperand, {"ORIGIN", "ORIGIN (0)", "ORIGIN (-1)"}},
      {kOpenmodeOperand, {"OPENMODE", "OPENMODE ("}},
  });
}

TEST(StatementStatus, WhereTheTextEnds) {
  ScratchDir dir;
  write_file("in.txt", lines({"b", "a"}));
  // The end-of-file character ends the text, but only at a token's start.
  EXPECT_EQ(run("in.txt", "out.txt", "SORT (1,1,CH,A) \x1A garbage (").status, kOk);
  EXPECT_EQ(read_file("out.txt"), lines({"a", "b"}));
  EXPECT_EQ(run("in.txt", "out.txt", "SORT (1,1,CH,A)\x1AXYZ").status, kOk);
  EXPECT_EQ(run("in.txt", "out.txt", "SORT (1,1,CH,A) X\x1A").status, kBadKeyword);
  for (const char* control :
       {"", " \t\r\n,()+", "[just a comment]", "[a] [b]", "sort (1,1,ch,a)", "S 1 1 C A)"}) {
    const auto result = run("in.txt", "out.txt", control);
    EXPECT_EQ(result.status, kOk) << control;
    EXPECT_EQ(result.records, 2u) << control;
  }
  EXPECT_EQ(parse("SORT (1,4,CH,A)  XYZ"), kBadKeyword);
  EXPECT_EQ(zara_error_offset(), 17u);
  EXPECT_EQ(parse("SORT (1,4,CH,A)"), kOk);
  EXPECT_EQ(zara_error_offset(), 0xFFFFFFFFu);
}

// The run record's parse results as "name=value" words between '|'.
std::string state() {
  static const char* const types[] = {"FIX", "FE",  "TXT", "VS", "BT",
                                      "RV",  "CVS", "PRE", "GP", "DB3"};
  char fixed[512];
  snprintf(fixed, sizeof fixed,
           "|type=%s|len=%u|skip=%u|hdr=%d|byp=%d|eof=%d|delim=%d|core=%u|limit=%u|origin=%u|"
           "mode=%u|quote=%d|alt=%d|hold=%d.%u|status=%u|keys=%u|items=%u|dups=%u|conds=%u|"
           "sums=%u|stack=%u|mindup=%u|work=[%s]",
           types[gv.file_type % 10], gv.record_length, gv.header_skip, gv.has_header,
           gv.bypass_given, gv.eof_char, gv.field_delimiter, gv.core_kb, gv.record_limit, gv.origin,
           gv.open_mode, gv.quote_char, gv.alt_key_seen, gv.hold_active, gv.hold_area_size,
           gv.status_word, sp.count, op.count, du.count, ip.count, su.count, gv.stack_top,
           gv.min_dup_count, gv.work_dir);
  std::string s = fixed;
  const auto list = [&s](const std::string& name, uint32_t n, const auto& item) {
    s += "|" + name + "=";
    for (uint32_t i = 0; i < n; ++i)
      if (const std::string v = item(i); !v.empty()) s += v + ".";
  };
  const auto num = [](auto v) { return std::to_string(v); };
  list("cp", kCpCount, [&](int i) { return cp[i] ? num(i) : ""; });
  list("opt", kCpnmCount, [&](int i) { return cpnm[i] ? num(i) : ""; });
  list("rd", gv.record_delim_length, [&](int i) { return num(gv.record_delim[i]); });
  list("es", gv.end_string_length, [&](int i) { return num(gv.end_string[i]); });
  for (uint32_t k = 0; k < sp.count; ++k) {
    const KeyField& f = sp.entries[k];
    s += "|key" + num(k + 1) + "=" + num(f.key_pos) + "," + num(f.key_len) + "," + num(f.key_type) +
         "," + num(f.key_dir);
  }
  for (uint32_t k = 0; k < op.count; ++k)
    s += "|item" + num(k + 1) + "=" + num(op.entries[k].type) + "," + num(op.entries[k].position) +
         "," + num(op.entries[k].length);
  for (uint32_t k = 0; k < du.count; ++k)
    s += "|dup" + num(k + 1) + "=" + num(du.entries[k].dup_pos) + "," + num(du.entries[k].dup_len);
  return s + "|";
}

TEST(StatementValues, WhatTheStatementsSet) {
  ScratchDir dir;
  write_file("alt.seq", std::string(1, '\xAC') + std::string(264, '\0'));
  // Each row: a text, and words of the state it leaves.
  const std::vector<std::pair<std::string, std::string>> cases = {
      {" [c] , ", "cp=12.|opt=|type=TXT|keys=0|items=0"},
      {"MERGE (5,4,BI,D,1,4,CH,ASCENDING)", "cp=9.12.|keys=2|key1=5,4,11,1|key2=1,4,0,0"},
      // Numbers stop at a non-digit.
      {"SORT (#3,NUM,D, 2,Z,CH,A, 3,zz9,ALP,D, 1,4,SP,A, 5,8,DP,D, 13,30,NUM,A, 3x,4y,CH,A)",
       "key1=3,0,4,1|key2=2,65535,0,0|key3=3,65535,1,1|key4=1,4,15,0|key5=5,8,16,1|"
       "key6=13,30,4,0|key7=3,4,0,0"},
      {"SORT " + keys(20), "keys=20|key20=20,1,0,0"},
      {"SORT (1,4,CH,A,5,2,CH,A) MERGE (9,1,BI,D)", "keys=1|key1=9,1,11,1"},
      {"SORT (7,1,CH,A) SORT " + keys(20, "21,1,CH,A)"), "status=206|keys=1"},  // count kept
      {"RECORD (80)", "type=FIX|len=80|cp=8.10."},
      {"FILETYPE (TXT) RECORD (12)", "type=FIX|len=12|cp=8.10."},
      {"FILETYPE (VS) RECORD (20)", "type=FIX"},
      {"RECORD (20) FILETYPE (GP,(10),())", "type=FIX"},
      {"FILETYPE (PRE,100)", "type=PRE|len=100"},
      {"FILETYPE (DB)", "type=DB3|cp=19."},
      {"F (vs)", "type=VS|cp=13."},
      {"RECORD (10) FILETYPE (FE)", "type=FE|eof=26|cp=8.11."},  // RECORD keeps FE
      {"RECORD (10) FILETYPE (FE,64)", "eof=64"},
      {"RECORD (10) FILETYPE (FE,300)", "eof=44"},
      {"FILETYPE (FE , ) RECORD (10)", "eof=26"},
      {"FILETYPE (GP,(13,10),(26))", "type=GP|rd=13.10.|es=26."},
      {"FILETYPE (GP,(1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16),(1,2,3,4,5,6,7,8,9,10,11,12,13,14,"
       "271))",
       "rd=1.2.3.4.5.6.7.8.9.10.11.12.13.14.15.16.|es=1.2.3.4.5.6.7.8.9.10.11.12.13.14.15."},
      {"FILETYPE (GP,(59),())", "rd=59.|es="},
      {"RECORD (80) BYPASS", "skip=80|hdr=1|byp=1|cp=1.8.10."},
      {"BYPASS FILETYPE (FIX,40)", "skip=40"},
      {"BYPASS", "skip=0|hdr=1"},
      {"BYPASS (128,D)", "skip=128|hdr=0|byp=0"},
      {"BYPASS (0,RETAIN)", "skip=0|hdr=1"},
      {"RECORD (80) BYPASS BYPASS (10,D)", "skip=10|hdr=0"},  // the later one counts
      {"RECORD (80) BYPASS (10,D) BYPASS", "skip=80|hdr=1"},
      {"CORE (0) DELIMIT (59) LIMIT (10) ORIGIN (5) OPENMODE (3)",
       "core=0|delim=59|limit=10|origin=5|mode=3|cp=4.12.|opt=0.1.9.14."},
      {"CORE , (4000) DELIMIT LAST (7) LIMIT (3)", "core=4000|delim=44|limit=3"},
      {"DELIMIT (x)", "delim=0"},
      {"WORKDRIVE (/tmp/)", "work=[/tmp/]|opt=3."},
      {"WORKDRIVE (C:)", "work=[C:]"},
      {"WORKDRIVE (d\\)", "work=[d\\]"},
      {"WORKDRIVE (\"\")", "work=[]"},
      {"WORKDRIVE (" + std::string(48, 'd') + "/)", "work=[" + std::string(48, 'd') + "/]"},
      {"WORKDRIVE (/aaaa/bbbb/) WORKDRIVE (\"/x y/\")", "work=[/x y/]"},
      {"APOST WORKDRIVE ('/a b/')", "quote=39|opt=3.10.|work=[/a b/]"},
      {"WORKDRIVE ('/a b/') APOST", "status=10054"},  // before APOST ' is content
      {"WORKDRIVE (\"/a b/\") APOST", "work=[/a b/]"},
      {"PAUSE APPEND OVERWRITE EQUALS NOYIELD VERB", "opt=2.5.12.13.15.16."},
      {"SORT (1,4,CH,A) ADDROUT (RRN)", "cp=0.6.9.12.|items=1|item1=2,0,4"},
      {"SORT (5,3,CH,A,1,2,BI,D) KEYOUT",
       "cp=3.6.9.12.|items=3|item1=2,0,4|item2=0,5,3|item3=0,1,2"},
      {"SORT " + keys(19) + " KEYOUT (rrn)", "items=20|item20=0,19,1"},
      {"SORT (1,2,CH,A,5,3,CH,D) SUM (9,2,ZD)", "opt=6.11.|hold=1.2000|dups=2|dup1=1,2|dup2=5,3"},
      {"SORT (1,4,ALT,A) ALTSEQ (alt.seq)", "alt=1|opt=4."},
      {"ALTSEQ (alt.seq) SORT (1,4,CH,A)", "alt=0"},
  };
  for (const auto& [control, expected] : cases) {
    parse(control);
    const std::string now = state();
    for (size_t from = 0, to; from < expected.size(); from = to + 1) {
      to = std::min(expected.find('|', from), expected.size());
      const std::string word = "|" + expected.substr(from, to - from) + "|";
      EXPECT_NE(now.find(word), std::string::npos) << control << ": " << word << " not in " << now;
    }
  }
}

TEST(RunReset, GivesTheDefaultsWhateverTheLastRunSet) {
  ASSERT_EQ(parse("APOST RECORD (40) BYPASS SORT (1,4,CH,A) KEYOUT CORE (9) DELIMIT (59) LIMIT (3) "
                  "ORIGIN (2) OPENMODE (1) WORKDRIVE (/tmp/) EQUALS PAUSE OMIT (1,1,CH,EQ,'x') "
                  "FILETYPE (FIX,40) OVERWRITE VERB"),
            kOk);
  gv.status_word = 245;
  const char* text = gv.control_text;
  reset_without_names();
  EXPECT_EQ(gv.control_text, text);  // the call arguments stay
  EXPECT_EQ(state(),
            "|type=TXT|len=0|skip=0|hdr=0|byp=0|eof=26|delim=44|core=2000|limit=0|origin=0|"
            "mode=64|quote=34|alt=0|hold=0.0|status=0|keys=0|items=0|dups=0|conds=0|sums=0|"
            "stack=100|mindup=1|work=[]|cp=12.|opt=|rd=|es=|");
  EXPECT_EQ(op.entries[0].type, 0);
  EXPECT_EQ(ip.entries[0].pos1, 0u);
}

TEST(RunReset, SecondRunStartsFromTheDefaults) {
  ScratchDir dir;
  write_file("my in.txt", lines({"b", "c", "a"}));
  write_file("in.txt", lines({"a 1", "a 2", "b 5"}));
  // The first run changes the quote, the record length and the limit; the
  // second sees double quotes, text lines and no limit.
  ASSERT_EQ(run("'my in.txt'", "out.txt", "APOST RECORD (2) LIMIT (1) SORT (1,1,CH,D)").status,
            kOk);
  EXPECT_EQ(read_file("out.txt"), "b\n");
  ASSERT_EQ(run("\"my in.txt\"", "out.txt", "SORT (1,1,CH,A)").status, kOk);
  EXPECT_EQ(read_file("out.txt"), lines({"a", "b", "c"}));
  // A run with DUPOUT but no SUM sums nothing, even after a run with SUM.
  ASSERT_EQ(run("in.txt", "out.txt", "SORT (1,1,CH,A) SUM (3,1,ZD)").status, kOk);
  EXPECT_EQ(read_file("out.txt"), lines({"a 3", "b 5"}));
  ASSERT_EQ(run("in.txt", "out.txt", "SORT (1,1,CH,A) DUPOUT (1,1)").status, kOk);
  EXPECT_EQ(read_file("out.txt"), lines({"a 1", "b 5"}));
  // A failed run's status does not carry over.
  EXPECT_EQ(run("in.txt", "out.txt", "XYZ").status, kBadKeyword);
  EXPECT_EQ(run("in.txt", "out.txt", "").status, kOk);
  // Options reach the run.
  write_file("in.dat", "dddcccbbbaaa");
  ASSERT_EQ(run("in.dat", "out.dat", "RECORD (3) ORIGIN (2) LIMIT (3)").records, 2u);
  EXPECT_EQ(read_file("out.dat"), "cccbbb");
  ASSERT_EQ(run("in.dat", "out.dat", "RECORD (3) BYPASS (3,D) SORT (1,3,CH,D)").status, kOk);
  EXPECT_EQ(read_file("out.dat"), "cccbbbaaa");
}

// A record-at-a-time run takes no names: the names of an earlier whole run,
// whose texts the caller may have freed since, are not read again.
TEST(RunReset, RecordAtATimeRunDoesNotReadTheLastRunsNames) {
  ScratchDir dir;
  write_file("in.txt", lines({"b", "a"}));
  const auto child = zara_test::run_in_child([](uint32_t*) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    char* names = static_cast<char*>(
        mmap(nullptr, page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (names == MAP_FAILED) return zara_test::RunResult{0xDEAD, 0};
    strcpy(names, "in.txt");
    strcpy(names + 16, "out.txt");
    uint32_t records = 0, status = 0;
    s_2mains(names, 6, names + 16, 7, "SORT (1,1,CH,A)", 15, &records, &status);
    munmap(names, page);  // the caller's texts are gone
    return zara_test::RunResult{raat_open_status("SORT (1,1,CH,A)"), records};
  });
  ASSERT_TRUE(child.exited);
  EXPECT_EQ(child.run.status, kOk);
  EXPECT_EQ(child.run.records, 2u);
}

}  // namespace
}  // namespace zara
