// OUTREC: the statement's parse statuses and the reformatted record.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/run_state.h"
#include "records/outrec.h"
#include "tests/unit_helpers.h"

namespace zara {
namespace {

using namespace std::string_literals;
using zara_test::parse_control;

// The reformatted form of `record`, read from a block of exactly its length.
std::string reformat(const std::string& record, uint32_t sequence = 1) {
  const zara_test::FieldBytes in(record);
  const uint32_t n = outrec_length(in.data(), in.size());
  std::unique_ptr<uint8_t[]> out(new uint8_t[n + 1]);
  outrec_place(out.get(), in.data(), in.size(), sequence);
  return std::string(reinterpret_cast<const char*>(out.get()), n);
}

TEST(Outrec, ParseStatuses) {
  std::string twenty;
  for (int i = 0; i < 20; ++i) twenty += "RRN ";
  const std::pair<std::string, uint32_t> cases[] = {
      {"OUTREC 1,10", kOutrecOperand}, {"OUTREC FIELDS=(1,10)", kOutrecOperand},
      {"OUTREC (0,5)", kOutrecOperand}, {"OUTREC (X,5)", kOutrecOperand},
      {"OUTREC (1,0)", kOutrecOperand}, {"OUTREC (1,ZZ)", kOutrecOperand},
      {"OUTREC (1,5", kOutrecOperand}, {"OUTREC (1,5,\"x\"", kOutrecOperand},
      {"OUTREC (\"123456789012345678901\")", kBadLiteral}, {"OUTREC (\"&HC1C\")", kBadLiteral},
      {"OUTREC (\"&HG1\")", kBadLiteral}, {"OUTREC (XXXX)", kOutrecKeywordError},
      {"OUTREC (DUPC()", kOutrecKeywordError}, {"OUTREC (DUPC(2 1,5)", kOutrecKeywordError},
      {"OUTREC (" + twenty + "RRN)", kTableFull}, {"OUTREC=(1,5)", kOk},
      {"OUTREC (\"12345678901234567890\")", kOk},
  };
  for (const auto& [control, status] : cases) EXPECT_EQ(parse_control(control), status) << control;
  ASSERT_EQ(parse_control("OUTREC (" + twenty + ")"), kOk);
  EXPECT_EQ(op.count, 20u);
  ASSERT_EQ(parse_control("OUTREC (DUPC(2))"), kOk);
  EXPECT_EQ(gv.min_dup_count, 2u);
  ASSERT_EQ(parse_control("OUTREC (DUPC(2)) OUTREC (DUPC)"), kOk);
  EXPECT_EQ(gv.min_dup_count, 1u);
}

TEST(Outrec, Layouts) {
  struct Case {
    std::string control, record;
    uint32_t sequence;
    std::string reformatted;
  } cases[] = {
      {"OUTREC (1,10,\"-\",11,E)", "ABCDEFGHIJKLM\n", 1, "ABCDEFGHIJ-KLM\n"},
      {"OUTREC (RECL,1,5)", "HELLOWORLD", 1, "\x05\x00HELLO"s},
      {"OUTREC (ARRN,1,3)", "ABCDEF", 12, "0000012ABC"},
      {"OUTREC (ARRN,1,3)", "ABCDEF", 12345678, "1234567ABC"},
      {"OUTREC (RRN,RBA)", "X", 0x01020304, "\x04\x03\x02\x01\x04\x03\x02\x01"},
      {"OUTREC (BT-R,HL-R,1,1)", "Q", 1, std::string(7, '\0') + "Q"},
      {"OUTREC (\"&H0D0A\",CRLF,\"&h\")", "any", 1, "\r\n\r\n"},
      {"OUTREC (\"&EAB\")", "any", 1, "\xC1\xC2"},
      // Bytes past a short record are blanks, never bytes from outside it.
      {"OUTREC (1,5,8,4)", "ABCDEF", 1, "ABCDE    "},
      {"OUTREC (3,E,\"|\",10,E)", "ABCDE", 1, "CDE|"},
      {"OUTREC (3,E,\"|\",10,E)", "", 1, "|"},
      {"OUTREC (1,3,4,3,RRN) OUTREC (5,1)", "ABCDEFG", 1, "E"},  // the second replaces
      {"ADDROUT", "whatever", 7, "\x07\0\0\0"s},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(parse_control(c.control), kOk) << c.control;
    EXPECT_EQ(reformat(c.record, c.sequence), c.reformatted) << c.control;
  }
  ASSERT_EQ(parse_control("OUTREC (1,1,DUPC)"), kOk);
  gv.dup_count = 3;
  EXPECT_EQ(reformat("AB"), "A0000003");
}

}  // namespace
}  // namespace zara
