// Control statements: every status of the dispatcher, the key lists and the
// option statements reached through a whole run, the conflict pairs (also
// in record-at-a-time runs), and the values the statements leave in the
// run record.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "control/dispatcher.h"
#include "engine/driver.h"
#include "engine/run_state.h"
#include "tests/test_support.h"
#include "zara15z37.h"

namespace zara {
namespace {

using zara_test::ScratchDir;

// The run reset of a run that names no files: a whole run's names (texts
// of that run's caller, gone since) are not read again.
void reset_without_names() {
  gv.input_names = nullptr;
  gv.input_names_length = 0;
  gv.output_name = nullptr;
  gv.output_name_length = 0;
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

// Status of function 1 of a record-at-a-time run; the run is then ended.
uint32_t raat_open_status(const std::string& text) {
  std::string kept = text;
  uint32_t length = static_cast<uint32_t>(kept.size());
  uint32_t status = 0xFFFFFFFFu;
  s_1raat(1, kept.data(), &length, &status);
  uint32_t ignored = 0;
  s_1raat(4, nullptr, &length, &ignored);
  return status;
}

std::string keys(int n) {
  std::string list = "(";
  for (int i = 0; i < n; ++i) list += std::to_string(i + 1) + ",1,CH,A,";
  return list + ")";
}

struct StatusCase {
  std::string control;
  uint32_t status;
};

// Each control text ends a whole run with its status before any file is
// touched: the output is not created and no work file appears.
void expect_run_statuses(const std::vector<StatusCase>& cases) {
  ScratchDir dir;
  zara_test::write_file("in.txt", zara_test::lines({"b", "a"}));
  for (const StatusCase& c : cases) {
    const auto result = zara_test::run("in.txt", "out.txt", c.control);
    EXPECT_EQ(result.status, c.status) << c.control;
    EXPECT_EQ(dir.files(), std::vector<std::string>{"in.txt"}) << c.control;
  }
}

TEST(StatementStatus, DispatcherAndCrossChecks) {
  expect_run_statuses({
      {"XYZ", kBadKeyword},
      {"SORT (1,4,CH,A) XYZ", kBadKeyword},
      {"SU (1,4,ZD)", kBadKeyword},
      {"\"\"", kBadKeyword},
      {"SORT (1,4,ALT,A)", kAltWithoutAltseq},
      {"FILETYPE (FE)", kFeWithoutRecord},
      {"SORT (1,1,CH,A) SUM (1,1,ZD) DUPOUT (1,1)", kSumWithDup},
      {"SUM (1,1,ZD) DUPEX (1,1)", kSumWithDup},  // checked before the missing SORT
      {"SORT (1,1,CH,A) DUPIN (1,1) SUM (1,1,ZD)", kSumWithDup},
      {"SUM (1,1,ZD)", kSumWithoutSort},
      {"INCLUDE (1,1,CH,EQ,\"a\") OMIT (1,1,CH,EQ,\"b\")", conflict_status(2, 5)},
      {"ADDROUT KEYOUT", conflict_status(0, 3)},
      {"ADDROUT OUTREC (1,1)", conflict_status(0, 6)},
      {"ADDROUT FILETYPE (RV)", conflict_status(0, 15)},
      {"ADDROUT FILETYPE (CVS)", conflict_status(0, 16)},
      {"ADDROUT FILETYPE (DB3)", conflict_status(0, 19)},
      {"BYPASS FILETYPE (RV)", conflict_status(1, 15)},
      {"BYPASS FILETYPE (CVS)", conflict_status(1, 16)},
      {"BYPASS FILETYPE (DB3)", conflict_status(1, 19)},
      {"KEYOUT OUTREC (1,1)", conflict_status(3, 6)},
      {"KEYOUT FILETYPE (RV)", conflict_status(3, 15)},
      {"KEYOUT FILETYPE (CVS)", conflict_status(3, 16)},
      {"KEYOUT FILETYPE (DB3)", conflict_status(3, 19)},
      {"OUTREC (1,1) FILETYPE (RV)", 10716},
      {"OUTREC (1,1) FILETYPE (CVS)", conflict_status(6, 16)},
      {"OUTREC (1,1) FILETYPE (DB3)", conflict_status(6, 19)},
      {"RECORD (80) FILETYPE (TXT)", 10913},
      {"RECORD (80) FILETYPE (RV)", conflict_status(8, 15)},
      {"RECORD (80) FILETYPE (CVS)", conflict_status(8, 16)},
      {"RECORD (80) FILETYPE (PRE,80)", conflict_status(8, 17)},
      {"RECORD (80) FILETYPE (DB3)", conflict_status(8, 19)},
      {"FILETYPE (VS) FILETYPE (TXT)", 11314},
      {"FILETYPE (FIX,8) FILETYPE (VS,8)", conflict_status(10, 13)},
      {"FILETYPE (DB3) FILETYPE (GP,(10),())", conflict_status(18, 19)},
      {"FILETYPE (GP,(10),()) FILETYPE (DB3)", kGpStrings},  // GP's lists come first
      {"FILETYPE (RV) FILETYPE (CVS)", conflict_status(15, 16)},
      {"FILETYPE (FE) FILETYPE (PRE)", conflict_status(11, 17)},  // FE's ')' serves PRE
  });
}

TEST(StatementStatus, SortKeys) {
  expect_run_statuses({
      {"SORT", kSortTextEnds},
      {"SORT (", kSortTextEnds},
      {"SORT [only a comment]", kSortTextEnds},
      {"SORT (1,10,CH,A", kSortTextEnds},  // no ')': the next key is expected
      {"SORT (0,4,CH,A)", kBadPosition},
      {"SORT (-1,4,CH,A)", kBadPosition},
      {"SORT (X,4,CH,A)", kBadPosition},
      {"SORT FIELDS=(1,4,CH,A)", kBadPosition},
      {"SORT (#0,CH,A)", kBadPosition},
      {"SORT (#,CH,A)", kBadPosition},
      {"SORT (#-2,CH,A)", kBadPosition},
      {"SORT (1,4,CH,A\n) EQUALS", kBadPosition},  // ')' after a line break is skipped
      {"SORT (1", kBadLength},
      {"SORT (1,0,CH,A)", kBadLength},
      {"SORT (1,-4,CH,A)", kBadLength},
      {"SORT (1,X,CH,A)", kBadLength},
      {"SORT (1,4", kBadFieldType},
      {"SORT (1,4,X,A)", kBadFieldType},
      {"SORT (1,4,ST,A)", kBadFieldType},
      {"SORT (1,4,CH", kBadDirection},
      {"SORT (1,4,CH,X)", kBadDirection},
      {"SORT " + keys(20).substr(0, keys(20).size() - 1) + "21,1,CH,A)", kTableFull},
      {"SORT (1,5,SP,A)", kBadLength},
      {"SORT (1,8,SP,A)", kBadLength},
      {"SORT (#2,SP,A)", kBadLength},
      {"SORT (1,4,DP,A)", kBadLength},
      {"SORT (1,Z,DP,A)", kBadLength},
      {"SORT (#1,DP,D)", kBadLength},
  });
}

TEST(StatementStatus, OptionStatements) {
  expect_run_statuses({
      {"ADDROUT (", kAddroutOperand},
      {"ADDROUT (XYZ)", kAddroutOperand},
      {"ADDROUT (RR)", kAddroutOperand},
      {"BYPASS (", kBypassOperand},
      {"BYPASS (12)", kBypassOperand},
      {"BYPASS (12,X)", kBypassOperand},
      {"BYPASS (-1,D)", kBypassOperand},
      {"KEYOUT (", kKeyoutOperand},
      {"KEYOUT (ABC)", kKeyoutOperand},
      {"SORT (#2,CH,A) KEYOUT", kKeyoutOperand},
      {"SORT (1,Z,CH,A) KEYOUT", kKeyoutOperand},
      {"SORT (1,4,CH,A,#3,CH,D) KEYOUT (RRN)", kKeyoutOperand},
      {"SORT " + keys(20) + " KEYOUT", kKeyoutOperand},
      {"LIMIT", kLimitOperand},
      {"LIMIT 10", kLimitOperand},
      {"LIMIT (", kLimitOperand},
      {"LIMIT (0)", kLimitOperand},
      {"LAST (-3)", kLimitOperand},
      {"LIMIT (X)", kLimitOperand},
      {"RECORD", kRecordOperand},
      {"RECORD (", kRecordOperand},
      {"RECORD (0)", kRecordOperand},
      {"RECORD (-80)", kRecordOperand},
      {"FILETYPE (FIX)", kFixLength},
      {"FILETYPE (FIX,0)", kFixLength},
      {"FILETYPE (FIX,-5)", kFixLength},
      {"FILETYPE (PRE,0)", kFixLength},
      {"FILETYPE (FIX,80) FILETYPE (VS)", kFixLength},  // FIX's length comes first
      {"RECORD (8) FILETYPE (FE,0)", kFeEofChar},
      {"RECORD (8) FILETYPE (FE", kFeEofChar},
      {"FILETYPE FE RECORD (8)", kFeEofChar},  // RECORD is read as the code
      {"FILETYPE (BT)", kBtRefused},
      {"FILETYPE (GP)", kGpStrings},
      {"FILETYPE (GP,13)", kGpStrings},
      {"FILETYPE (GP,(13,10)", kGpStrings},
      {"FILETYPE (GP,(13,10),(26", kGpStrings},
      {"FILETYPE (GP,(),(26))", kGpStrings},
      {"FILETYPE (GP,(1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17),())", kGpStrings},
      {"FILETYPE (GP,(10),(1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16))", kGpStrings},
      {"FILETYPE", kFileTypeOperand},
      {"FILETYPE (XYZ)", kFileTypeOperand},
      {"FILETYPE (F)", kFileTypeOperand},
      {"CORE", kCoreOperand},
      {"CORE 4000", kCoreOperand},
      {"CORE\n(4000)", kCoreOperand},
      {"CORE (", kCoreOperand},
      {"CORE (-1)", kCoreOperand},
      {"DELIMIT (", kDelimitOperand},
      {"WORKDRIVE", kWorkdriveOperand},
      {"WORKDRIVE /tmp/", kWorkdriveOperand},
      {"WORKDRIVE (", kWorkdriveOperand},
      {"WORKDRIVE (/tmp)", kWorkdriveOperand},
      {"WORKDRIVE (" + std::string(49, 'd') + "/)", kWorkdriveOperand},
      {"ORIGIN", kOriginOperand},
      {"ORIGIN (0)", kOriginOperand},
      {"ORIGIN (-1)", kOriginOperand},
      {"OPENMODE", kOpenmodeOperand},
      {"OPENMODE (", kOpenmodeOperand},
  });
}

TEST(StatementStatus, EndOfFileCharacterEndsTheStatements) {
  ScratchDir dir;
  zara_test::write_file("in.txt", zara_test::lines({"b", "a"}));
  auto result = zara_test::run("in.txt", "out.txt", "SORT (1,1,CH,A) \x1A garbage here");
  EXPECT_EQ(result.status, kOk);
  EXPECT_EQ(zara_test::read_file("out.txt"), zara_test::lines({"a", "b"}));
  result = zara_test::run("in.txt", "out.txt", "SORT (1,1,CH,A)\x1AXYZ");
  EXPECT_EQ(result.status, kOk);
  // Only a token that begins with the character ends the text.
  result = zara_test::run("in.txt", "out.txt", "SORT (1,1,CH,A) X\x1A");
  EXPECT_EQ(result.status, kBadKeyword);
  EXPECT_EQ(parse("\x1A SORT (0,0,X,X)"), kOk);
  EXPECT_EQ(cp[kCpSort], 0);
}

TEST(StatementStatus, FailedKeywordOffset) {
  EXPECT_EQ(parse("SORT (1,4,CH,A)  XYZ"), kBadKeyword);
  EXPECT_EQ(zara_error_offset(), 17u);
  EXPECT_EQ(parse("SORT (1,4,CH,A)"), kOk);
  EXPECT_EQ(zara_error_offset(), 0xFFFFFFFFu);
}

TEST(StatementStatus, RecordAtATimePairs) {
  EXPECT_EQ(raat_open_status("SORT (1,4,CH,A) OUTREC (1,4)"), kRaatSortOutrec);
  EXPECT_EQ(raat_open_status("MERGE (1,4,CH,A) OUTREC (1,4)"), kRaatSortOutrec);
  EXPECT_EQ(raat_open_status("ADDROUT"), conflict_status(0, 7));
  EXPECT_EQ(raat_open_status("BYPASS (4,D)"), conflict_status(1, 7));
  EXPECT_EQ(raat_open_status("SORT (1,4,CH,A) KEYOUT"), conflict_status(3, 7));
  EXPECT_EQ(raat_open_status("LIMIT (5)"), conflict_status(4, 7));
  EXPECT_EQ(raat_open_status("RECORD (80)"), conflict_status(7, 8));
  EXPECT_EQ(raat_open_status("FILETYPE (FIX,80)"), conflict_status(7, 10));
  EXPECT_EQ(raat_open_status("FILETYPE (FE)"), conflict_status(7, 11));
  EXPECT_EQ(raat_open_status("FILETYPE (TXT)"), conflict_status(7, 12));
  EXPECT_EQ(raat_open_status("FILETYPE (VS)"), conflict_status(7, 13));
  EXPECT_EQ(raat_open_status("FILETYPE (RV)"), conflict_status(7, 15));
  EXPECT_EQ(raat_open_status("FILETYPE (CVS)"), conflict_status(7, 16));
  EXPECT_EQ(raat_open_status("FILETYPE (PRE,10)"), conflict_status(7, 17));
  EXPECT_EQ(raat_open_status("FILETYPE (GP,(10),())"), conflict_status(7, 18));
  EXPECT_EQ(raat_open_status("FILETYPE (DB3)"), 10820u);
  EXPECT_EQ(raat_open_status("FILETYPE (BT)"), kBtRefused);
  // Allowed beside a record-at-a-time run.
  EXPECT_EQ(raat_open_status("OUTREC (1,4)"), kOk);
  EXPECT_EQ(raat_open_status("SORT (1,4,CH,A) INCLUDE (1,1,CH,EQ,\"a\")"), kOk);
  EXPECT_EQ(raat_open_status("SORT (1,4,CH,A) SUM (5,2,ZD)"), kOk);
}

TEST(StatementStatus, LowestPairDecides) {
  expect_run_statuses({
      {"FILETYPE (VS) FILETYPE (TXT) OMIT (1,1,CH,EQ,\"a\") INCLUDE (1,1,CH,EQ,\"b\")",
       conflict_status(2, 5)},
      {"OUTREC (1,1) ADDROUT KEYOUT", conflict_status(0, 3)},
      {"KEYOUT OUTREC (1,1) ADDROUT", conflict_status(0, 3)},
      {"OUTREC (1,1) FILETYPE (RV) BYPASS", conflict_status(1, 15)},
      {"FILETYPE (DB3) FILETYPE (RV) KEYOUT", conflict_status(3, 15)},
      {"RECORD (10) FILETYPE (RV) FILETYPE (CVS)", conflict_status(8, 15)},
      // The ALT check comes before every pair, the pairs before the
      // derived checks.
      {"SORT (1,4,ALT,A) INCLUDE (1,1,CH,EQ,\"a\") OMIT (1,1,CH,EQ,\"b\")", kAltWithoutAltseq},
      {"FILETYPE (FE) FILETYPE (VS)", conflict_status(11, 13)},
      {"SUM (1,1,ZD) FILETYPE (VS) FILETYPE (TXT)", 11314},
  });
  EXPECT_EQ(raat_open_status("ADDROUT KEYOUT"), conflict_status(0, 3));
  EXPECT_EQ(raat_open_status("KEYOUT SORT (1,4,CH,A) OUTREC (1,4)"), conflict_status(3, 6));
  EXPECT_EQ(raat_open_status("RECORD (10) FILETYPE (FE)"), conflict_status(7, 8));
  EXPECT_EQ(raat_open_status("SORT (1,4,ALT,A) OUTREC (1,4)"), kAltWithoutAltseq);
}

TEST(StatementStatus, AcceptedTextsRunToTheEnd) {
  ScratchDir dir;
  zara_test::write_file("in.txt", zara_test::lines({"b", "a"}));
  for (const char* control : {"", " \t\r\n,()+", "[just a comment]", "[a] [b]",
                              "sort (1,1,ch,a)", "S 1 1 C A)", "VERB NOYIELD EQUALS"}) {
    const auto result = zara_test::run("in.txt", "out.txt", control);
    EXPECT_EQ(result.status, kOk) << control;
    EXPECT_EQ(result.records, 2u) << control;
  }
}

TEST(StatementValues, EmptyTextSetsNothing) {
  ASSERT_EQ(parse(" [c] , "), kOk);
  for (int i = 0; i < kCpCount; ++i) EXPECT_EQ(cp[i], i == kCpFileType + kTxt ? 1 : 0) << i;
  for (int i = 0; i < kCpnmCount; ++i) EXPECT_EQ(cpnm[i], 0) << i;
  EXPECT_EQ(gv.file_type, kTxt);
  EXPECT_EQ(sp.count, 0u);
  EXPECT_EQ(op.count, 0u);
}

TEST(StatementValues, SortKeys) {
  ASSERT_EQ(parse("SORT (1,10,CH,A)"), kOk);
  ASSERT_EQ(sp.count, 1u);
  EXPECT_EQ(sp.entries[0].key_pos, 1u);
  EXPECT_EQ(sp.entries[0].key_len, 10u);
  EXPECT_EQ(sp.entries[0].key_type, kCha);
  EXPECT_EQ(sp.entries[0].key_dir, 0);
  EXPECT_EQ(cp[kCpSort], 1);

  ASSERT_EQ(parse("SORT 1 10 CH A)"), kOk);
  EXPECT_EQ(sp.count, 1u);
  EXPECT_EQ(sp.entries[0].key_len, 10u);

  ASSERT_EQ(parse("MERGE (5,4,BI,D,1,4,CH,ASCENDING)"), kOk);
  ASSERT_EQ(sp.count, 2u);
  EXPECT_EQ(sp.entries[0].key_pos, 5u);
  EXPECT_EQ(sp.entries[0].key_type, kBin);
  EXPECT_EQ(sp.entries[0].key_dir, 1);
  EXPECT_EQ(sp.entries[1].key_type, kCha);
  EXPECT_EQ(sp.entries[1].key_dir, 0);

  ASSERT_EQ(parse("SORT (#3,NUM,D)"), kOk);
  EXPECT_EQ(sp.entries[0].key_pos, 3u);
  EXPECT_EQ(sp.entries[0].key_len, kDelimitedField);
  EXPECT_EQ(sp.entries[0].key_type, kNum);
  EXPECT_EQ(sp.entries[0].key_dir, 1);

  ASSERT_EQ(parse("SORT (2,Z,CH,A, 3,zz9,AL,D)"), kBadFieldType);  // AL is no type
  ASSERT_EQ(parse("SORT (2,Z,CH,A, 3,zz9,ALP,D)"), kOk);
  EXPECT_EQ(sp.entries[0].key_len, kNulTerminated);
  EXPECT_EQ(sp.entries[1].key_len, kNulTerminated);

  ASSERT_EQ(parse("SORT (1,4,SP,A,5,8,DP,D,13,30,NUM,A)"), kOk);
  EXPECT_EQ(sp.count, 3u);
  EXPECT_EQ(sp.entries[2].key_len, 30u);  // a long NUM key is taken
  // Numbers stop at the first byte that is not a digit.
  ASSERT_EQ(parse("SORT (3x,4y,CH,A)"), kOk);
  EXPECT_EQ(sp.entries[0].key_pos, 3u);
  EXPECT_EQ(sp.entries[0].key_len, 4u);
}

TEST(StatementValues, KeyTableLimits) {
  ASSERT_EQ(parse("SORT " + keys(20)), kOk);
  EXPECT_EQ(sp.count, 20u);
  EXPECT_EQ(sp.entries[19].key_pos, 20u);
  // A 21st key fails before it is read; the count keeps its earlier value.
  const std::string twenty_one = keys(20).substr(0, keys(20).size() - 1) + "21,1,CH,A)";
  ASSERT_EQ(parse("SORT (7,1,CH,A) SORT " + twenty_one), kTableFull);
  EXPECT_EQ(sp.count, 1u);
  // A later SORT overwrites from the first entry.
  ASSERT_EQ(parse("SORT (1,4,CH,A,5,2,CH,A) MERGE (9,1,BI,D)"), kOk);
  ASSERT_EQ(sp.count, 1u);
  EXPECT_EQ(sp.entries[0].key_pos, 9u);
  EXPECT_EQ(sp.entries[0].key_type, kBin);
}

TEST(StatementValues, AltKeyNeedsAltseq) {
  ScratchDir dir;
  std::string image(265, '\0');
  image[0] = static_cast<char>(172);
  zara_test::write_file("alt.seq", image);
  EXPECT_EQ(parse("SORT (1,4,ALT,A) ALTSEQ (alt.seq)"), kOk);
  EXPECT_EQ(gv.alt_key_seen, 1);
  EXPECT_EQ(parse("ALTSEQ (alt.seq) SORT (1,4,CH,A)"), kOk);
  EXPECT_EQ(gv.alt_key_seen, 0);
}

TEST(StatementValues, RecordAndFileType) {
  ASSERT_EQ(parse("RECORD (80)"), kOk);
  EXPECT_EQ(gv.file_type, kFix);
  EXPECT_EQ(gv.record_length, 80u);
  EXPECT_EQ(cp[kCpRecord], 1);
  EXPECT_EQ(cp[kCpFileType + kFix], 1);
  EXPECT_EQ(cp[kCpFileType + kTxt], 0);

  ASSERT_EQ(parse("FILETYPE (FIX,80)"), kOk);
  EXPECT_EQ(gv.file_type, kFix);
  EXPECT_EQ(gv.record_length, 80u);

  // RECORD after FILETYPE (TXT) clears the TXT flag again.
  ASSERT_EQ(parse("FILETYPE (TXT) RECORD (12)"), kOk);
  EXPECT_EQ(gv.file_type, kFix);
  EXPECT_EQ(gv.record_length, 12u);

  // RECORD overrides a variable-length or delimited type.
  ASSERT_EQ(parse("FILETYPE (VS) RECORD (20)"), kOk);
  EXPECT_EQ(gv.file_type, kFix);
  ASSERT_EQ(parse("RECORD (20) FILETYPE (GP,(10),())"), kOk);
  EXPECT_EQ(gv.file_type, kFix);

  ASSERT_EQ(parse("FILETYPE (PRE,100)"), kOk);
  EXPECT_EQ(gv.file_type, kPre);
  EXPECT_EQ(gv.record_length, 100u);
  ASSERT_EQ(parse("FILETYPE (DB)"), kOk);
  EXPECT_EQ(gv.file_type, kDb3);
  EXPECT_EQ(cp[kCpFileType + kDb3], 1);
  ASSERT_EQ(parse("F (vs)"), kOk);
  EXPECT_EQ(gv.file_type, kVs);
  EXPECT_EQ(cp[kCpFileType + kTxt], 0);
}

TEST(StatementValues, EndMarkOfFe) {
  ASSERT_EQ(parse("RECORD (10) FILETYPE (FE)"), kOk);
  EXPECT_EQ(gv.file_type, kFe);
  EXPECT_EQ(gv.eof_char, 26);
  EXPECT_EQ(cp[kCpFileType + kFix], 0);  // RECORD with FE keeps FE
  ASSERT_EQ(parse("RECORD (10) FILETYPE (FE,64)"), kOk);
  EXPECT_EQ(gv.eof_char, 64);
  ASSERT_EQ(parse("RECORD (10) FILETYPE (FE,300)"), kOk);
  EXPECT_EQ(gv.eof_char, 300 & 0xFF);
  ASSERT_EQ(parse("FILETYPE (FE , ) RECORD (10)"), kOk);
  EXPECT_EQ(gv.eof_char, 26);
}

TEST(StatementValues, GpStrings) {
  ASSERT_EQ(parse("FILETYPE (GP,(13,10),(26))"), kOk);
  EXPECT_EQ(gv.file_type, kGp);
  ASSERT_EQ(gv.record_delim_length, 2u);
  EXPECT_EQ(gv.record_delim[0], 13);
  EXPECT_EQ(gv.record_delim[1], 10);
  ASSERT_EQ(gv.end_string_length, 1u);
  EXPECT_EQ(gv.end_string[0], 26);

  ASSERT_EQ(parse("FILETYPE (GP,(1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16),"
                  "(1,2,3,4,5,6,7,8,9,10,11,12,13,14,271))"),
            kOk);
  EXPECT_EQ(gv.record_delim_length, 16u);
  EXPECT_EQ(gv.record_delim[15], 16);
  EXPECT_EQ(gv.end_string_length, 15u);
  EXPECT_EQ(gv.end_string[14], 271 & 0xFF);

  ASSERT_EQ(parse("FILETYPE (GP,(59),())"), kOk);
  EXPECT_EQ(gv.record_delim_length, 1u);
  EXPECT_EQ(gv.end_string_length, 0u);
}

TEST(StatementValues, Bypass) {
  ASSERT_EQ(parse("RECORD (80) BYPASS"), kOk);
  EXPECT_EQ(gv.header_skip, 80u);
  EXPECT_EQ(gv.has_header, 1);
  EXPECT_EQ(gv.bypass_given, 1);
  EXPECT_EQ(cp[kCpBypass], 1);
  ASSERT_EQ(parse("BYPASS FILETYPE (FIX,40)"), kOk);
  EXPECT_EQ(gv.header_skip, 40u);
  ASSERT_EQ(parse("BYPASS"), kOk);
  EXPECT_EQ(gv.header_skip, 0u);
  ASSERT_EQ(parse("BYPASS (128,D)"), kOk);
  EXPECT_EQ(gv.header_skip, 128u);
  EXPECT_EQ(gv.has_header, 0);
  EXPECT_EQ(gv.bypass_given, 0);
  ASSERT_EQ(parse("BYPASS (0,RETAIN)"), kOk);
  EXPECT_EQ(gv.header_skip, 0u);
  EXPECT_EQ(gv.has_header, 1);
}

TEST(StatementValues, NumericOptions) {
  ASSERT_EQ(parse("CORE (0)"), kOk);
  EXPECT_EQ(gv.core_kb, 0u);
  EXPECT_EQ(cpnm[kOptCore], 1);
  ASSERT_EQ(parse("CORE , (4000)"), kOk);
  EXPECT_EQ(gv.core_kb, 4000u);

  ASSERT_EQ(parse("DELIMIT (59)"), kOk);
  EXPECT_EQ(gv.field_delimiter, ';');
  ASSERT_EQ(parse("DELIMIT"), kOk);
  EXPECT_EQ(gv.field_delimiter, ',');
  EXPECT_EQ(cpnm[kOptDelimit], 1);
  ASSERT_EQ(parse("DELIMIT (x)"), kOk);
  EXPECT_EQ(gv.field_delimiter, 0);

  ASSERT_EQ(parse("LIMIT (10) ORIGIN (5)"), kOk);
  EXPECT_EQ(gv.record_limit, 10u);
  EXPECT_EQ(gv.origin, 5u);
  EXPECT_EQ(cp[kCpLimit], 1);
  EXPECT_EQ(cpnm[kOptOrigin], 1);
  ASSERT_EQ(parse("LAST (7) LIMIT (3)"), kOk);  // the later value wins
  EXPECT_EQ(gv.record_limit, 3u);

  ASSERT_EQ(parse("OPENMODE (3)"), kOk);
  EXPECT_EQ(gv.open_mode, 3u);
  EXPECT_EQ(cpnm[kOptOpenmode], 1);
}

TEST(StatementValues, Workdrive) {
  ASSERT_EQ(parse("WORKDRIVE (/tmp/)"), kOk);
  EXPECT_STREQ(gv.work_dir, "/tmp/");
  EXPECT_EQ(cpnm[kOptWorkdrive], 1);
  ASSERT_EQ(parse("WORKDRIVE (C:)"), kOk);
  EXPECT_STREQ(gv.work_dir, "C:");
  ASSERT_EQ(parse("WORKDRIVE (d\\)"), kOk);
  EXPECT_STREQ(gv.work_dir, "d\\");
  ASSERT_EQ(parse("WORKDRIVE (\"\")"), kOk);
  EXPECT_STREQ(gv.work_dir, "");
  const std::string longest = std::string(48, 'd') + "/";
  ASSERT_EQ(parse("WORKDRIVE (" + longest + ")"), kOk);
  EXPECT_EQ(std::string(gv.work_dir), longest);
  // A second, shorter path replaces the first entirely.
  ASSERT_EQ(parse("WORKDRIVE (/aaaa/bbbb/) WORKDRIVE (/c/)"), kOk);
  EXPECT_STREQ(gv.work_dir, "/c/");
  ASSERT_EQ(parse("WORKDRIVE (\"/x y/\")"), kOk);
  EXPECT_STREQ(gv.work_dir, "/x y/");
}

TEST(StatementValues, ApostChangesLaterLiterals) {
  ASSERT_EQ(parse("APOST WORKDRIVE ('/x y/')"), kOk);
  EXPECT_EQ(gv.quote_char, '\'');
  EXPECT_EQ(cpnm[kOptApost], 1);
  EXPECT_STREQ(gv.work_dir, "/x y/");
  // Before APOST the apostrophe is plain content: "'/x" is no path.
  EXPECT_EQ(parse("WORKDRIVE ('/x y/') APOST"), kWorkdriveOperand);
  ASSERT_EQ(parse("WORKDRIVE (\"/a b/\") APOST"), kOk);
  EXPECT_STREQ(gv.work_dir, "/a b/");
}

TEST(StatementValues, Switches) {
  ASSERT_EQ(parse("PAUSE APPEND OVERWRITE EQUALS NOYIELD VERB"), kOk);
  for (int flag : {kOptPause, kOptAppend, kOptOverwrite, kOptEquals, kOptNoyield, kOptVerb})
    EXPECT_EQ(cpnm[flag], 1) << flag;
  EXPECT_EQ(cpnm[kOptCore], 0);
}

TEST(StatementValues, AddroutAndKeyoutItems) {
  ASSERT_EQ(parse("SORT (1,4,CH,A) ADDROUT (RRN)"), kOk);
  EXPECT_EQ(cp[kCpOutrec], 1);
  ASSERT_EQ(op.count, 1u);
  EXPECT_EQ(op.entries[0].type, kItemRrn);
  EXPECT_EQ(op.entries[0].length, 4u);

  ASSERT_EQ(parse("SORT (5,3,CH,A,1,2,BI,D) KEYOUT"), kOk);
  EXPECT_EQ(cp[kCpOutrec], 1);
  ASSERT_EQ(op.count, 3u);
  EXPECT_EQ(op.entries[0].type, kItemRrn);
  EXPECT_EQ(op.entries[0].length, 4u);
  EXPECT_EQ(op.entries[1].type, kItemField);
  EXPECT_EQ(op.entries[1].position, 5u);
  EXPECT_EQ(op.entries[1].length, 3u);
  EXPECT_EQ(op.entries[2].position, 1u);
  EXPECT_EQ(op.entries[2].length, 2u);

  ASSERT_EQ(parse("SORT " + keys(19) + " KEYOUT (rrn)"), kOk);
  EXPECT_EQ(op.count, 20u);
  EXPECT_EQ(op.entries[19].position, 19u);
}

TEST(StatementValues, SumTakesTheKeysAsDuplicateFields) {
  ASSERT_EQ(parse("SORT (1,2,CH,A,5,3,CH,D) SUM (9,2,ZD)"), kOk);
  EXPECT_EQ(cpnm[kOptDupout], 1);
  EXPECT_EQ(gv.hold_active, 1);
  EXPECT_EQ(gv.hold_area_size, 2000u);
  ASSERT_EQ(du.count, 2u);
  EXPECT_EQ(du.entries[0].dup_pos, 1u);
  EXPECT_EQ(du.entries[0].dup_len, 2u);
  EXPECT_EQ(du.entries[1].dup_pos, 5u);
  EXPECT_EQ(du.entries[1].dup_len, 3u);
}

// End to end: the options reach the run.
TEST(StatementEffects, RecordLengthAndLimits) {
  ScratchDir dir;
  zara_test::write_file("in.dat", "dddcccbbbaaa");
  auto result = zara_test::run("in.dat", "out.dat", "RECORD (3) SORT (1,3,CH,A)");
  EXPECT_EQ(result.status, kOk);
  EXPECT_EQ(zara_test::read_file("out.dat"), "aaabbbcccddd");
  result = zara_test::run("in.dat", "out.dat", "RECORD (3) ORIGIN (2) LIMIT (3)");
  EXPECT_EQ(result.status, kOk);
  EXPECT_EQ(result.records, 2u);
  EXPECT_EQ(zara_test::read_file("out.dat"), "cccbbb");
  result = zara_test::run("in.dat", "out.dat", "RECORD (3) BYPASS (3,D) SORT (1,3,CH,D)");
  EXPECT_EQ(result.status, kOk);
  EXPECT_EQ(zara_test::read_file("out.dat"), "cccbbbaaa");
}

}  // namespace
}  // namespace zara
