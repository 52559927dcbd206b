// Duplicate processing: DUPOUT, DUPEX, DUPIN and SUM over a stream of
// records into the output buffer; the statements' parse statuses.
// (Record-at-a-time delivery is tested through s_1raat in select_e2e_test.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/dispatcher.h"
#include "engine/driver.h"
#include "engine/run_state.h"
#include "records/output.h"
#include "select/duplicates.h"
#include "zara15z37.h"

namespace zara {
namespace {

uint32_t parse(const std::string& text) {
  static std::string kept;
  kept = text;
  s_init();
  gv.control_text = kept.data();
  gv.control_length = static_cast<uint32_t>(kept.size());
  return s_ctrl() ? kOk : gv.status_word;
}

// A run whose records go through dupcheck into an output buffer in memory,
// as the write step moves them. One at a time: each starts a new run.
class DupRun {
 public:
  explicit DupRun(const std::string& control, uint32_t out_size = 4096) : out_(out_size) {
    status_ = parse(control);
    hold_.assign(gv.hold_area_size, 0);
    gv.hold_area = hold_.empty() ? nullptr : hold_.data();
    gv.out_buffer = out_.data();
    gv.out_buffer_size = out_size;
    gv.out_fill = 0;
  }
  // The next run's reset frees the arena's hold area: hand ours back first.
  ~DupRun() {
    gv.hold_area = nullptr;
    gv.out_buffer = nullptr;
  }
  uint32_t parse_status() const { return status_; }

  // One record on its way to the output; false when the move failed.
  bool move(std::string r) {
    RecordDesc d;
    d.addr = reinterpret_cast<uint8_t*>(r.data());
    d.len = static_cast<uint32_t>(r.size());
    d.seq = ++sequence_;
    return s_movrec(d);
  }
  bool move_all(const std::vector<std::string>& records) {
    for (const std::string& r : records)
      if (!move(r)) return false;
    return true;
  }
  bool flush() {
    gv.flush_held = 1;
    return dupcheck(nullptr, 0, 0, 0) == 0;
  }
  std::string output() const {
    return std::string(reinterpret_cast<const char*>(out_.data()), gv.out_fill);
  }

 private:
  uint32_t status_;
  std::vector<uint8_t> hold_;
  std::vector<uint8_t> out_;
  uint32_t sequence_ = 0;
};

const std::vector<std::string> kGroups = {"A1", "A2", "A3", "B1", "C1", "C2"};

// Each written record followed by dup_count when it was written.
std::string written(const std::string& control) {
  DupRun run(control + " OUTREC (1,2,DUPC)");
  EXPECT_EQ(run.parse_status(), kOk);
  EXPECT_TRUE(run.move_all(kGroups));
  EXPECT_TRUE(run.flush());
  EXPECT_TRUE(gv.hold_flushed);
  return run.output();
}

TEST(DuplicateKinds, WhatEachKindWrites) {
  EXPECT_EQ(written("DUPOUT (1,1)"), "A10000003B10000001C10000002");
  EXPECT_EQ(written("DUPEX (1,1)"), "B10000001");
  EXPECT_EQ(written("DUPIN (1,1)"), "A10000002A20000003A30000002C10000002C20000002");
  EXPECT_EQ(gv.records_written, 5u);
}

TEST(DuplicateKinds, DupcCountSetsTheLeastGroup) {
  DupRun run("DUPOUT (1,1) OUTREC (1,2,DUPC(2))");
  ASSERT_EQ(run.parse_status(), kOk);
  ASSERT_TRUE(run.move_all(kGroups));
  ASSERT_TRUE(run.flush());
  EXPECT_EQ(run.output(), "A10000003C10000002");
}

TEST(DuplicateKinds, SumAddsIntoTheFirstOfEachGroup) {
  DupRun run("SORT (1,1,CH,A) SUM (2,1,ZD) OUTREC (1,2,DUPC)");
  ASSERT_EQ(run.parse_status(), kOk);
  ASSERT_TRUE(run.move_all(kGroups));
  ASSERT_TRUE(run.flush());
  EXPECT_EQ(run.output(), "A60000003B10000001C30000002");
}

TEST(DuplicateKinds, PrecedenceInOverExOverOut) {
  EXPECT_EQ(written("DUPOUT (1,1) DUPEX (1,1)"), "B10000001");
  EXPECT_EQ(written("DUPEX (1,1) DUPIN (1,1)"), written("DUPIN (1,1)"));
}

TEST(DuplicateKinds, SingleRecordAndNoRecord) {
  for (const char* kind : {"DUPOUT", "DUPEX", "DUPIN"}) {
    {
      DupRun run(kind);
      ASSERT_TRUE(run.move("only"));
      ASSERT_TRUE(run.flush());
      EXPECT_EQ(run.output(), std::string(kind) == "DUPIN" ? "" : "only") << kind;
    }
    DupRun empty(kind);
    ASSERT_TRUE(empty.flush());
    EXPECT_EQ(empty.output(), "") << kind;
  }
}

TEST(DuplicateFields, WholeRecordComparesLengthToo) {
  DupRun run("DUPOUT");
  ASSERT_TRUE(run.move_all({"AB", "AB", "AB ", "ab", "ab"}));
  ASSERT_TRUE(run.flush());
  EXPECT_EQ(run.output(), "ABAB ab");
}

// The records written by a run of `control` over `records`.
std::string dedup(const std::string& control, const std::vector<std::string>& records) {
  DupRun run(control);
  EXPECT_EQ(run.parse_status(), kOk);
  EXPECT_TRUE(run.move_all(records));
  EXPECT_TRUE(run.flush());
  return run.output();
}

TEST(DuplicateFields, PositionalDelimitedAndToEnd) {
  EXPECT_EQ(dedup("DUPOUT (1,5)", {"HELLOx", "HELLOy", "HELLz"}), "HELLOxHELLz");
  EXPECT_EQ(dedup("DUPOUT (#2)", {"x,K1,a\n", "y,K1,b\n", "z,K2,c\n"}), "x,K1,a\nz,K2,c\n");
  // A and B have empty fields from byte 3 on: equal to each other.
  const std::vector<std::string> to_end = {"xxABC", "yyABC", "zzABCD", "A", "B"};
  EXPECT_EQ(dedup("DUPOUT (3,E)", to_end), "xxABCzzABCDA");
  EXPECT_EQ(dedup("DUPOUT (3,17733)", to_end), "xxABCzzABCDA");
}

// Whether a record of `length` bytes can be held after one of `fits` bytes.
uint32_t hold_status(const std::string& control, uint32_t fits, uint32_t length) {
  DupRun run(control, 8192);
  EXPECT_TRUE(run.move(std::string(fits, 'x')));
  return run.move(std::string(length, 'y')) ? kOk : gv.status_word;
}

TEST(DuplicateFields, HoldAreaSize) {
  EXPECT_EQ(hold_status("DUPOUT", 1000, 1000), kOk);
  EXPECT_EQ(hold_status("DUPOUT", 1000, 1001), kHoldTooSmall);
  EXPECT_EQ(hold_status("SORT (1,1,CH,A) SUM", 2000, 2000), kOk);
  EXPECT_EQ(hold_status("SORT (1,1,CH,A) SUM", 2000, 2001), kHoldTooSmall);
  EXPECT_EQ(hold_status("DUPOUT (B1500)", 1500, 1501), kHoldTooSmall);
  DupRun none("DUPOUT (B0)");
  EXPECT_FALSE(none.move("a"));
  EXPECT_EQ(gv.status_word, kHoldTooSmall);
}

TEST(DuplicateFlow, WorkFileRecordsPassUnfiltered) {
  DupRun run("DUPOUT (1,1)");
  gv.to_work_file = 1;
  for (const std::string& r : kGroups) {
    std::string copy = r;
    ASSERT_EQ(dupcheck(reinterpret_cast<uint8_t*>(copy.data()), 2, 1, 0), 0);
    EXPECT_EQ(gv.dup_result, 0);
  }
  EXPECT_FALSE(gv.hold_filled);
  gv.flush_held = 1;
  ASSERT_EQ(dupcheck(nullptr, 0, 0, 0), 0);
  EXPECT_FALSE(gv.hold_flushed);
}

TEST(DuplicateFlow, HeldRecordCarriesOverLoads) {
  // A copy run writes loads one after another and flushes after the last.
  DupRun run("DUPOUT (1,1)");
  ASSERT_TRUE(run.move_all({"A1", "A2"}));
  EXPECT_EQ(run.output(), "");
  ASSERT_TRUE(run.move_all({"A3", "B1"}));
  ASSERT_TRUE(run.flush());
  EXPECT_EQ(run.output(), "A1B1");
}

TEST(DuplicateFlow, OutputFailureFailsDupcheck) {
  DupRun run("DUPOUT (1,1)", 1);
  ASSERT_TRUE(run.move("A1"));  // held, nothing written yet
  EXPECT_FALSE(run.move("B1"));  // A1 cannot fit the output buffer
  EXPECT_EQ(gv.status_word, kRecordExceedsOutBuffer);
}

TEST(DuplicateFlow, HoldAreaInfoDescribesTheHeldRecord) {
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

TEST(DuplicateParse, Operands) {
  ASSERT_EQ(parse("DUPOUT"), kOk);
  EXPECT_TRUE(gv.hold_active);
  EXPECT_EQ(gv.hold_area_size, 1000u);
  ASSERT_EQ(du.count, 1u);
  EXPECT_EQ(du.entries[0].dup_pos, 1u);
  EXPECT_EQ(du.entries[0].dup_len, kToRecordEnd);

  ASSERT_EQ(parse("DUPEX (B500)"), kOk);
  EXPECT_TRUE(cpnm[kOptDupex]);
  EXPECT_EQ(gv.hold_area_size, 500u);
  ASSERT_EQ(du.count, 1u);
  EXPECT_EQ(du.entries[0].dup_len, kToRecordEnd);

  for (const char* text : {"DUPIN (1,5,10,3,B500)", "DUPIN (B500,1,5,10,3)", "DUPIN (1,5 b500 10,3)"}) {
    ASSERT_EQ(parse(text), kOk) << text;
    EXPECT_TRUE(cpnm[kOptDupin]);
    EXPECT_EQ(gv.hold_area_size, 500u);
    ASSERT_EQ(du.count, 2u);
    EXPECT_EQ(du.entries[0].dup_pos, 1u);
    EXPECT_EQ(du.entries[0].dup_len, 5u);
    EXPECT_EQ(du.entries[1].dup_pos, 10u);
    EXPECT_EQ(du.entries[1].dup_len, 3u);
  }

  ASSERT_EQ(parse("DUPOUT (#2, 3,e)"), kOk);
  EXPECT_EQ(du.entries[0].dup_pos, 2u);
  EXPECT_EQ(du.entries[0].dup_len, kDelimitedField);
  EXPECT_EQ(du.entries[1].dup_len, kToRecordEnd);
}

TEST(DuplicateParse, HoldSizeExtremes) {
  ASSERT_EQ(parse("DUPOUT (B0)"), kOk);
  EXPECT_EQ(gv.hold_area_size, 0u);
  ASSERT_EQ(parse("DUPOUT (B-1)"), kOk);
  EXPECT_EQ(gv.hold_area_size, kMaxHoldAreaSize);
  ASSERT_EQ(parse("DUPOUT (B99999999999)"), kOk);
  EXPECT_EQ(gv.hold_area_size, kMaxHoldAreaSize);
}

TEST(DuplicateParse, StatusCodes) {
  EXPECT_EQ(parse("DUPOUT ("), kDupOperand);
  EXPECT_EQ(parse("DUPOUT (1,5,"), kDupOperand);
  EXPECT_EQ(parse("DUPOUT (0,5)"), kBadPosition);
  EXPECT_EQ(parse("DUPEX (X,5)"), kBadPosition);
  EXPECT_EQ(parse("DUPIN (#0)"), kBadPosition);
  EXPECT_EQ(parse("DUPIN (#)"), kBadPosition);
  EXPECT_EQ(parse("DUPOUT (1"), kBadLength);
  EXPECT_EQ(parse("DUPOUT (1,0)"), kBadLength);
  EXPECT_EQ(parse("DUPOUT (1,X)"), kBadLength);
  std::string fields;
  for (int i = 1; i <= 19; ++i) fields += std::to_string(i) + ",1,";
  EXPECT_EQ(parse("DUPOUT (" + fields + ")"), kOk);
  EXPECT_EQ(du.count, 19u);
  EXPECT_EQ(parse("DUPOUT (" + fields + "20,1)"), kTableFull);
}

}  // namespace
}  // namespace zara
