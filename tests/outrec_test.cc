// OUTREC: the statement's parse statuses and the reformatted record.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "control/dispatcher.h"
#include "engine/driver.h"
#include "engine/run_state.h"
#include "records/outrec.h"

namespace zara {
namespace {

// Parses `text` as the control statements of a fresh run; the status.
uint32_t parse(const std::string& text) {
  static std::string kept;
  kept = text;
  s_init();
  gv.control_text = kept.data();
  gv.control_length = static_cast<uint32_t>(kept.size());
  return s_ctrl() ? kOk : gv.status_word;
}

// The reformatted form of `record` (held in a block of exactly its length).
std::string reformat(const std::string& record, uint32_t sequence = 1) {
  std::unique_ptr<uint8_t[]> in(new uint8_t[record.size() + 1]);
  memcpy(in.get(), record.data(), record.size());
  const uint32_t n = outrec_length(in.get(), static_cast<uint32_t>(record.size()));
  std::unique_ptr<uint8_t[]> out(new uint8_t[n + 1]);
  outrec_place(out.get(), in.get(), static_cast<uint32_t>(record.size()), sequence);
  return std::string(reinterpret_cast<const char*>(out.get()), n);
}

TEST(OutrecParse, StatusCodes) {
  EXPECT_EQ(parse("OUTREC 1,10"), kOutrecOperand);
  EXPECT_EQ(parse("OUTREC FIELDS=(1,10)"), kOutrecOperand);
  EXPECT_EQ(parse("OUTREC (0,5)"), kOutrecOperand);
  EXPECT_EQ(parse("OUTREC (X,5)"), kOutrecOperand);
  EXPECT_EQ(parse("OUTREC (1,0)"), kOutrecOperand);
  EXPECT_EQ(parse("OUTREC (1,ZZ)"), kOutrecOperand);
  EXPECT_EQ(parse("OUTREC (1,5"), kOutrecOperand);        // text ends in the list
  EXPECT_EQ(parse("OUTREC (1,5,\"x\""), kOutrecOperand);
  EXPECT_EQ(parse("OUTREC (\"123456789012345678901\")"), kBadLiteral);
  EXPECT_EQ(parse("OUTREC (\"&HC1C\")"), kBadLiteral);
  EXPECT_EQ(parse("OUTREC (\"&HG1\")"), kBadLiteral);
  EXPECT_EQ(parse("OUTREC (XXXX)"), kOutrecKeywordError);
  EXPECT_EQ(parse("OUTREC (DUPC()"), kOutrecKeywordError);
  EXPECT_EQ(parse("OUTREC (DUPC(2 1,5)"), kOutrecKeywordError);
  EXPECT_EQ(parse("OUTREC=(1,5)"), kOk);
  EXPECT_EQ(parse("OUTREC (\"12345678901234567890\")"), kOk);
}

TEST(OutrecParse, TwentyItemsAtMost) {
  std::string items;
  for (int i = 0; i < 20; ++i) items += "RRN ";
  EXPECT_EQ(parse("OUTREC (" + items + ")"), kOk);
  EXPECT_EQ(op.count, 20u);
  EXPECT_EQ(parse("OUTREC (" + items + "RRN)"), kTableFull);
}

TEST(OutrecParse, SecondStatementReplacesTheFirst) {
  ASSERT_EQ(parse("OUTREC (1,3,4,3,RRN) OUTREC (5,1)"), kOk);
  ASSERT_EQ(op.count, 1u);
  EXPECT_EQ(op.entries[0].position, 5u);
  EXPECT_EQ(reformat("ABCDEFG"), "E");
}

TEST(OutrecParse, DupcCount) {
  ASSERT_EQ(parse("OUTREC (DUPC(2))"), kOk);
  EXPECT_EQ(gv.min_dup_count, 2u);
  ASSERT_EQ(parse("OUTREC (DUPC(2)) OUTREC (DUPC)"), kOk);
  EXPECT_EQ(gv.min_dup_count, 1u);
}

TEST(OutrecLayout, FieldsLiteralAndToEnd) {
  ASSERT_EQ(parse("OUTREC (1,10,\"-\",11,E)"), kOk);
  EXPECT_EQ(reformat("ABCDEFGHIJKLM\n"), "ABCDEFGHIJ-KLM\n");
}

TEST(OutrecLayout, RecordLengthAndNumbers) {
  ASSERT_EQ(parse("OUTREC (RECL,1,5)"), kOk);
  EXPECT_EQ(reformat("HELLOWORLD"), std::string("\x05\x00HELLO", 7));

  ASSERT_EQ(parse("OUTREC (ARRN,1,3)"), kOk);
  EXPECT_EQ(reformat("ABCDEF", 12), "0000012ABC");
  EXPECT_EQ(reformat("ABCDEF", 12345678), "1234567ABC");

  ASSERT_EQ(parse("OUTREC (RRN,RBA)"), kOk);
  EXPECT_EQ(reformat("X", 0x01020304), std::string("\x04\x03\x02\x01\x04\x03\x02\x01", 8));

  ASSERT_EQ(parse("OUTREC (1,1,DUPC)"), kOk);
  gv.dup_count = 3;
  EXPECT_EQ(reformat("AB"), "A0000003");

  ASSERT_EQ(parse("OUTREC (BT-R,HL-R,1,1)"), kOk);
  EXPECT_EQ(reformat("Q"), std::string(7, '\0') + "Q");
}

TEST(OutrecLayout, HexadecimalAndEbcdicLiterals) {
  ASSERT_EQ(parse("OUTREC (\"&H0D0A\",CRLF,\"&h\")"), kOk);
  EXPECT_EQ(reformat("any"), "\r\n\r\n");
  ASSERT_EQ(parse("OUTREC (\"&EAB\")"), kOk);
  EXPECT_EQ(reformat("any"), "\xC1\xC2");
}

TEST(OutrecLayout, ShortRecordsGiveBlanksNeverOutsideBytes) {
  ASSERT_EQ(parse("OUTREC (1,5,8,4)"), kOk);
  EXPECT_EQ(reformat("ABCDEF"), "ABCDE    ");
  ASSERT_EQ(parse("OUTREC (3,E,\"|\",10,E)"), kOk);
  EXPECT_EQ(reformat("ABCDE"), "CDE|");
  EXPECT_EQ(reformat(""), "|");
}

TEST(OutrecLayout, AddroutGivesRecordNumbers) {
  ASSERT_EQ(parse("ADDROUT"), kOk);
  EXPECT_EQ(reformat("whatever", 7), std::string("\x07\x00\x00\x00", 4));
}

}  // namespace
}  // namespace zara
