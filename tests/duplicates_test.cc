// SUM and duplicate processing: the statements' parse statuses, the SUM
// addition of every field type; DUPOUT, DUPEX, DUPIN and SUM over a stream
// of records into the output buffer; whole runs through s_2mains (one load,
// several loads, copy runs) and s_1raat.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/run_state.h"
#include "records/output.h"
#include "select/duplicates.h"
#include "select/sum.h"
#include "tests/test_support.h"
#include "tests/unit_helpers.h"
#include "zara15z37.h"

namespace zara {
namespace {

using namespace std::string_literals;
using Strings = std::vector<std::string>;
using zara_test::hex;
using zara_test::hex_of;
using zara_test::lines;
using zara_test::native;
using zara_test::parse_control;
using zara_test::read_file;

TEST(SumStatement, Fields) {
  ASSERT_EQ(parse_control("SORT(1,2,CH,A) SUM (3,4,BIN, 7,2,PD,1,4,E,1,4,W,1,4,FI,1,4,FL,1,4,N,"
                          "1,4,Z,1,4,I)"),
            kOk);
  const uint8_t types[] = {kSumBin, kSumPd, kSumEee, kSumWor, kSumFix,
                           kSumFl,  kSumNum, kSumZd, kSumInt};
  ASSERT_EQ(su.count, 9u);
  for (uint32_t i = 0; i < 9; ++i) EXPECT_EQ(su.entries[i].sum_type, types[i]) << i;
  EXPECT_EQ(su.entries[1].sum_pos, 7u);
  EXPECT_EQ(su.entries[1].sum_len, 2u);
  // SUM works as DUPOUT on the sort keys with a 2000-byte hold area.
  EXPECT_TRUE(cpnm[kOptDupout] && gv.hold_active);
  EXPECT_EQ(gv.hold_area_size, 2000u);
  ASSERT_EQ(du.count, 1u);
  EXPECT_EQ(du.entries[0].dup_len, 2u);
  for (const char* empty : {"SORT(1,2,CH,A) SUM", "SORT(1,2,CH,A) SUM ( )"}) {
    ASSERT_EQ(parse_control(empty), kOk);
    EXPECT_EQ(su.count, 0u);
    EXPECT_TRUE(cpnm[kOptSum]);
  }
}

TEST(SumStatement, Statuses) {
  const std::string sort = "SORT(1,2,CH,A) ";
  std::string twenty;
  for (int i = 0; i < 20; ++i) twenty += "1,2,BIN,";
  std::vector<std::pair<std::string, uint32_t>> cases = {
      {sort + "SUM (", kSumOperand}, {sort + "SUM (#1,4,ZD)", kBadPosition},
      {sort + "SUM (0,4,ZD)", kBadPosition}, {sort + "SUM (X,4,ZD)", kBadPosition},
      {sort + "SUM (1", kBadLength}, {sort + "SUM (1,0,ZD)", kBadLength},
      {sort + "SUM (1,4", kBadFieldType}, {sort + "SUM (1,4,CH)", kBadFieldType},
      {sort + "SUM (1,4,F)", kBadFieldType}, {"SUM (1,4,BIN)", kSumWithoutSort},
      {sort + "SUM (1,4,BIN) DUPOUT", kSumWithDup}, {sort + "DUPIN SUM", kSumWithDup},
      {sort + "SUM (" + twenty + ")", kOk}, {sort + "SUM (" + twenty + "1,2,BIN)", kTableFull},
  };
  // The longest field of each type, and one byte more.
  const std::pair<const char*, int> longest[] = {{"ZD", 16}, {"BIN", 8}, {"INT", 8},
                                                  {"PD", 13}, {"EEE", 8}, {"FL", 8},
                                                  {"WOR", 8}, {"FIX", 8}, {"NUM", 31}};
  for (const auto& [type, length] : longest) {
    for (const int n : {length, length + 1}) {
      cases.push_back({sort + "SUM (1," + std::to_string(n) + "," + type + ")",
                       n == length ? kOk : kBadLength});
    }
  }
  for (const auto& [control, status] : cases) EXPECT_EQ(parse_control(control), status) << control;
}

// Each row "held + current = result" (hexadecimal or 'text') adds with the
// routine of its SUM type.
TEST(SumRoutines, EveryTypeAndItsOverflowRule) {
  auto ieee = [](auto held, auto current, auto result) {
    return hex_of(native(held)) + " + " + hex_of(native(current)) + " = " + hex_of(native(result));
  };
  const std::pair<uint8_t, std::string> cases[] = {
      {kSumBin, "00000001 + 00000002 = 00000003"}, {kSumFix, "00000003 + 00000003 = 00000006"},
      {kSumInt, "01000000 + 02000000 = 03000000"}, {kSumWor, "03000000 + 03000000 = 06000000"},
      {kSumBin, "FF + 01 = 00"}, {kSumBin, "7F + 01 = 80"}, {kSumBin, "00FF + 0001 = 0100"},
      {kSumInt, "FF00 + 0100 = 0001"},
      {kSumInt, "FFFFFFFFFFFFFFFF + FFFFFFFFFFFFFFFF = FEFFFFFFFFFFFFFF"},
      {kSumPd, "012C + 005D = 007C"}, {kSumPd, "999C + 001C = 000C"},
      {kSumPd, "003C + 005D = 002D"}, {kSumPd, "5C + 5D = 0D"}, {kSumPd, "007D + 005B = 012D"},
      {kSumPd, "1F + 2A = 3C"},
      // A held or current operand that is not a number leaves the field.
      {kSumPd, "0125 + 005C = 0125"}, {kSumPd, "012C + 0059 = 012C"},
      {kSumPd, "0A2C + 001C = 0A2C"}, {kSumZd, "3132 + 3075 = 3037"},
      {kSumZd, "F1F2 + F0D5 = F0F7"}, {kSumZd, "3033 + 3075 = 3072"},
      {kSumZd, "3939 + 3031 = 3030"}, {kSumZd, "35 + 75 = 70"},
      {kSumZd, "31C2 + 3031 = 31C3"},  // the held positive zone stays
      {kSumZd, "3152 + 3031 = 3152"}, {kSumZd, "3132 + 3091 = 3132"},
      {kSumNum, "'12.50' + ' 1.25' = '13.75'"}, {kSumNum, "'  7' + ' -9' = ' -2'"},
      {kSumNum, "'.25' + '.25' = '.50'"},  // the leading 0 is dropped
      {kSumNum, "'99' + ' 5' = '**'"}, {kSumNum, "'**' + ' 1' = '**'"},
      {kSumNum, "'1e300     ' + '1e300     ' = '**********'"},  // longer than the buffer
      {kSumNum, "F1F2 + 40F5 = F1F7"}, {kSumNum, "F14BF5 + F24BF5 = F44BF0"},  // EBCDIC
      {kSumNum, "F9F9 + F0F1 = 5C5C"},
      {kSumEee, ieee(1.5f, 2.25f, 3.75f)}, {kSumFl, ieee(3e38f, 3e38f, __builtin_inff())},
      {kSumFl, ieee(0.5, -2.0, -1.5)}, {kSumFl, "010203040506 + 010101010101 = 010203040506"},
  };
  for (const auto& [type, row] : cases) {
    std::string operators;
    std::vector<std::string> v = zara_test::split_row(row, &operators);
    ASSERT_EQ(v.size(), 3u) << row;
    sum_jump[type](reinterpret_cast<const uint8_t*>(v[1].data()),
                   reinterpret_cast<uint8_t*>(v[0].data()), static_cast<uint32_t>(v[0].size()));
    EXPECT_EQ(v[0], v[2]) << "type " << int{type} << ": " << row;
  }
}

// sum_fields over the hold area: a field outside either record stays.
TEST(SumRoutines, FieldsClippedToBothRecords) {
  ASSERT_EQ(parse_control("SORT(1,1,CH,A) SUM (2,1,BIN,5,2,BIN)"), kOk);
  uint8_t hold[8] = {'K', 1, 0, 0, 0, 1};
  hold_area_info.address = hold;
  hold_area_info.length = 6;
  const uint8_t current[4] = {'K', 2, 0, 0};  // too short for the field at 5
  EXPECT_EQ(sum_fields(current, 4, 2, 0), 0);
  EXPECT_EQ(hold[1], 3);
  EXPECT_EQ(hold[5], 1);
  const uint8_t longer[7] = {'K', 1, 0, 0, 0, 1, 9};
  hold_area_info.length = 5;  // now the held record is too short
  EXPECT_EQ(sum_fields(longer, 7, 3, 0), 0);
  EXPECT_EQ(hold[1], 4);
  EXPECT_EQ(hold[5], 1);
  hold_area_info.length = 6;
  EXPECT_EQ(sum_fields(longer, 7, 3, 0), 0);
  EXPECT_EQ(hold[5], 2);
}

// A run whose records go through dupcheck into an output buffer in memory,
// as the write step moves them. One at a time: each starts a new run.
class DupRun {
 public:
  explicit DupRun(const std::string& control, uint32_t out_size = 8192) : out_(out_size) {
    status_ = parse_control(control);
    hold_.assign(gv.hold_area_size, 0);
    gv.hold_area = hold_.empty() ? nullptr : hold_.data();
    gv.out_buffer = out_.data();
    gv.out_buffer_size = out_size;
    gv.out_fill = 0;
  }
  // The next run's reset frees the arena's hold area: hand ours back first.
  ~DupRun() { gv.hold_area = gv.out_buffer = nullptr; }
  uint32_t parse_status() const { return status_; }

  // One record on its way to the output; false when the move failed.
  bool move(std::string r) {
    return s_movrec(RecordDesc{reinterpret_cast<uint8_t*>(r.data()),
                               static_cast<uint32_t>(r.size()), ++sequence_, 0});
  }
  bool flush() {
    gv.flush_held = 1;
    return dupcheck(nullptr, 0, 0, 0) == 0;
  }
  std::string output(const Strings& records) {
    EXPECT_EQ(status_, 0u);
    for (const std::string& r : records) EXPECT_TRUE(move(r)) << r;
    EXPECT_TRUE(flush());
    EXPECT_TRUE(gv.hold_flushed);
    return std::string(reinterpret_cast<const char*>(out_.data()), gv.out_fill);
  }

 private:
  uint32_t status_;
  std::vector<uint8_t> hold_, out_;
  uint32_t sequence_ = 0;
};

TEST(Duplicates, WhatEachKindWrites) {
  const Strings groups = {"A1", "A2", "A3", "B1", "C1", "C2"}, none;
  const Strings to_end = {"xxABC", "yyABC", "zzABCD", "A", "B"};  // A and B: empty from byte 3
  const std::string dupc = " OUTREC (1,2,DUPC)";  // each record with dup_count when written
  const struct Case {
    std::string control;
    Strings records;
    std::string written;
  } cases[] = {
      {"DUPOUT (1,1)" + dupc, groups, "A10000003B10000001C10000002"},
      {"DUPEX (1,1)" + dupc, groups, "B10000001"},
      {"DUPIN (1,1)" + dupc, groups, "A10000002A20000003A30000002C10000002C20000002"},
      {"DUPOUT (1,1) OUTREC (1,2,DUPC(2))", groups, "A10000003C10000002"},  // groups of 2 or more
      {"SORT (1,1,CH,A) SUM (2,1,ZD)" + dupc, groups, "A60000003B10000001C30000002"},
      {"DUPOUT (1,1) DUPEX (1,1)" + dupc, groups, "B10000001"},  // DUPIN over DUPEX over DUPOUT
      {"DUPEX (1,1) DUPIN (1,1)" + dupc, groups, "A10000002A20000003A30000002C10000002C20000002"},
      {"DUPOUT", {"only"}, "only"}, {"DUPEX", {"only"}, "only"}, {"DUPIN", {"only"}, ""},
      {"DUPOUT", none, ""}, {"DUPEX", none, ""}, {"DUPIN", none, ""},
      // The duplicate fields.
      {"DUPOUT", {"AB", "AB", "AB ", "ab", "ab"}, "ABAB ab"},  // the length counts too
      {"DUPOUT (1,5)", {"HELLOx", "HELLOy", "HELLz"}, "HELLOxHELLz"},
      {"DUPOUT (#2)", {"x,K1,a\n", "y,K1,b\n", "z,K2,c\n"}, "x,K1,a\nz,K2,c\n"},
      {"DUPOUT (3,E)", to_end, "xxABCzzABCDA"}, {"DUPOUT (3,17733)", to_end, "xxABCzzABCDA"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DupRun(c.control).output(c.records), c.written) << c.control;
  }
}

TEST(Duplicates, HoldAreaSize) {
  const struct Case {
    std::string control;
    uint32_t held, next, status;
  } cases[] = {
      {"DUPOUT", 1000, 1000, kOk}, {"DUPOUT", 1000, 1001, kHoldTooSmall},
      {"SORT (1,1,CH,A) SUM", 2000, 2000, kOk}, {"SORT (1,1,CH,A) SUM", 2000, 2001, kHoldTooSmall},
      {"DUPOUT (B1500)", 1500, 1501, kHoldTooSmall}, {"DUPOUT (B0)", 0, 1, kHoldTooSmall},
  };
  for (const Case& c : cases) {
    DupRun run(c.control);
    if (c.held > 0) {
      EXPECT_TRUE(run.move(std::string(c.held, 'x')));
    }
    EXPECT_EQ(run.move(std::string(c.next, 'y')) ? kOk : gv.status_word, c.status) << c.control;
  }
}

TEST(Duplicates, Flow) {
  {
    DupRun run("DUPOUT (1,1)");
    gv.to_work_file = 1;  // work-file records pass unfiltered, nothing held
    for (std::string r : {"A1", "A2", "B1"}) {
      ASSERT_EQ(dupcheck(reinterpret_cast<uint8_t*>(r.data()), 2, 1, 0), 0);
      EXPECT_EQ(gv.dup_result, 0);
    }
    EXPECT_FALSE(gv.hold_filled);
    EXPECT_TRUE(run.flush());
    EXPECT_FALSE(gv.hold_flushed);
  }
  {
    DupRun run("DUPOUT (1,1)", 1);
    ASSERT_TRUE(run.move("A1"));  // held, nothing written yet
    EXPECT_FALSE(run.move("B1"));  // A1 cannot fit the output buffer
    EXPECT_EQ(gv.status_word, kRecordExceedsOutBuffer);
  }
  DupRun run("DUPOUT");
  ASSERT_TRUE(run.move("first"));
  EXPECT_EQ(hold_area_info.address, gv.hold_area);
  EXPECT_EQ(hold_area_info.length, 5u);
  EXPECT_EQ(hold_area_info.sequence, 1u);
  EXPECT_EQ(hold_area_info.reserved, 0u);
  EXPECT_EQ(dc_check_fields(reinterpret_cast<const uint8_t*>("first"), 5), 1);
  EXPECT_EQ(gv.dup_count, 2u);
  EXPECT_EQ(dc_check_fields(reinterpret_cast<const uint8_t*>("firsT"), 5), 0);
  EXPECT_EQ(dc_fill_hold(reinterpret_cast<const uint8_t*>("next"), 4, 9), 0);
  EXPECT_EQ(gv.dup_count, 1u);
  EXPECT_EQ(hold_area_info.sequence, 9u);
}

TEST(Duplicates, Statements) {
  const struct Case {
    std::string control;
    int kind;
    uint32_t hold_size;
    std::vector<uint32_t> fields;  // position, length, ...
  } cases[] = {
      {"DUPOUT", kOptDupout, 1000, {1, kToRecordEnd}},
      {"DUPEX (B500)", kOptDupex, 500, {1, kToRecordEnd}},
      {"DUPIN (1,5,10,3,B500)", kOptDupin, 500, {1, 5, 10, 3}},
      {"DUPIN (B500,1,5,10,3)", kOptDupin, 500, {1, 5, 10, 3}},
      {"DUPIN (1,5 b500 10,3)", kOptDupin, 500, {1, 5, 10, 3}},
      {"DUPOUT (#2, 3,e)", kOptDupout, 1000, {2, kDelimitedField, 3, kToRecordEnd}},
      {"DUPOUT (B0)", kOptDupout, 0, {1, kToRecordEnd}},
      {"DUPOUT (B-1)", kOptDupout, kMaxHoldAreaSize, {1, kToRecordEnd}},
      {"DUPOUT (B99999999999)", kOptDupout, kMaxHoldAreaSize, {1, kToRecordEnd}},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(parse_control(c.control), kOk) << c.control;
    EXPECT_TRUE(cpnm[c.kind] && gv.hold_active) << c.control;
    EXPECT_EQ(gv.hold_area_size, c.hold_size) << c.control;
    std::vector<uint32_t> fields;
    for (uint32_t i = 0; i < du.count; ++i) {
      fields.push_back(du.entries[i].dup_pos);
      fields.push_back(du.entries[i].dup_len);
    }
    EXPECT_EQ(fields, c.fields) << c.control;
  }
  std::string nineteen;
  for (int i = 1; i <= 19; ++i) nineteen += std::to_string(i) + ",1,";
  const std::pair<std::string, uint32_t> statuses[] = {
      {"DUPOUT (", kDupOperand}, {"DUPOUT (1,5,", kDupOperand}, {"DUPOUT (0,5)", kBadPosition},
      {"DUPEX (X,5)", kBadPosition}, {"DUPIN (#0)", kBadPosition}, {"DUPIN (#)", kBadPosition},
      {"DUPOUT (1", kBadLength}, {"DUPOUT (1,0)", kBadLength}, {"DUPOUT (1,X)", kBadLength},
      {"DUPOUT (" + nineteen + ")", kOk}, {"DUPOUT (" + nineteen + "20,1)", kTableFull},
  };
  for (const auto& [control, status] : statuses) {
    EXPECT_EQ(parse_control(control), status) << control;
  }
}

// Whole runs: sorted runs on work files are complete, and the final merge
// (or the last write of a copy run) filters once. CORE(40) makes a few
// thousand records need several loads.
TEST(Duplicates, WholeRuns) {
  zara_test::ScratchDir dir;
  const Strings six = {"B 1", "A 1", "B 2", "C 1", "A 2", "A 3"};
  const std::string long_record(1000, 'x');
  Strings seven_keys, two_keys(1500, "AAAA");
  for (int i = 0; i < 3000; ++i) seven_keys.push_back(std::string(1, char('A' + i % 7)) + " 01");
  two_keys.insert(two_keys.end(), 1500, "BBBB");
  const struct Case {
    Strings input;
    std::string control, output;
    uint32_t status;
  } cases[] = {
      {six, "SORT(1,1,CH,A) DUPOUT(1,1)", lines({"A 1", "B 1", "C 1"}), 0},
      {six, "SORT(1,1,CH,A) DUPIN(1,1) OUTREC(1,3,DUPC,4,E)",
       lines({"A 10000002", "A 20000003", "A 30000002", "B 10000002", "B 20000002"}), 0},
      {{"b2", "a1", "b1", "c3", "a2"}, "SORT (1,2,CH,A) OMIT (1,1,CH,EQ,\"a\",OR,2,1,CH,EQ,\"3\")",
       lines({"b1", "b2"}), 0},
      {seven_keys, "SORT(1,1,CH,A) DUPOUT(1,1) CORE(40)",
       lines({"A 01", "B 01", "C 01", "D 01", "E 01", "F 01", "G 01"}), 0},
      // 429 members for A to D, 428 for E to G; the sums wrap at two digits.
      {seven_keys, "SORT(1,1,CH,A) SUM(3,2,ZD) CORE(40)",
       lines({"A 29", "B 29", "C 29", "D 29", "E 28", "F 28", "G 28"}), 0},
      {two_keys, "DUPOUT CORE(40)", lines({"AAAA", "BBBB"}), 0},  // held across loads
      {two_keys, "DUPEX CORE(40)", "", 0},
      {{long_record, "short"}, "SORT(1,1,CH,A) DUPOUT", "", kHoldTooSmall},
      {{long_record, "short"}, "SORT(1,1,CH,A) DUPOUT(B1001)", lines({"short", long_record}), 0},
  };
  for (const Case& c : cases) {
    zara_test::write_file("in", lines(c.input));
    zara_test::write_file("out", "");
    EXPECT_EQ(zara_test::run("in", "out", c.control).status, c.status) << c.control;
    if (c.status == 0) {
      EXPECT_EQ(read_file("out"), c.output) << c.control;
    }
    EXPECT_EQ(dir.files(), (Strings{"in", "out"})) << c.control;
  }
}

// Record at a time: duplicates apply on the way back to the caller.
uint32_t raat_call(int32_t function, std::string* data) {
  uint32_t status = 0, length = static_cast<uint32_t>(data->size());
  s_1raat(function, data->data(), &length, &status);
  data->resize(length);
  return status;
}
Strings raat_sort(const std::string& control, const Strings& in) {
  std::string text = control;
  EXPECT_EQ(raat_call(1, &text), 0u);
  for (std::string r : in) EXPECT_EQ(raat_call(2, &r), 0u);
  Strings out;
  uint32_t status;
  for (std::string r(256, '\0'); (status = raat_call(3, &r)) == 0; r.assign(256, '\0')) {
    out.push_back(r);
  }
  EXPECT_EQ(status, kEndOfData);
  std::string none(256, '\0');
  EXPECT_EQ(raat_call(3, &none), kNoRaatRun);  // the end of data ended the run
  return out;
}

TEST(Duplicates, RecordAtATime) {
  zara_test::ScratchDir dir;
  const Strings in = {"B1", "A1", "C1", "A2", "C2", "A3"};
  EXPECT_EQ(raat_sort("SORT(1,1,CH,A) DUPOUT(1,1)", in), (Strings{"A1", "B1", "C1"}));
  EXPECT_EQ(raat_sort("SORT(1,1,CH,A) DUPIN(1,1)", in), (Strings{"A1", "A2", "A3", "C1", "C2"}));
  EXPECT_EQ(raat_sort("SORT(1,1,CH,A) SUM(2,1,ZD)", in), (Strings{"A6", "B1", "C3"}));
  // A copy run keeps release order; only adjacent equal records are groups.
  EXPECT_EQ(raat_sort("DUPOUT(1,1)", {"A1", "A2", "B1", "A3"}), (Strings{"A1", "B1", "A3"}));
}

}  // namespace
}  // namespace zara
