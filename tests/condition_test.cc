// INCLUDE and OMIT: the compiled postfix sequences, every failure status
// through the statement dispatcher, and selection over hand-built record
// tables.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "control/dispatcher.h"
#include "engine/driver.h"
#include "engine/run_state.h"
#include "select/conditions.h"
#include "tests/test_support.h"
#include "zara15z37.h"

namespace zara {
namespace {

// Parses `control` as a whole control text; the run's status (0 accepted).
uint32_t parse(const std::string& control) {
  static std::string text;  // the scanner keeps pointers into the text
  text = control;
  gv.control_text = text.data();
  gv.control_length = static_cast<uint32_t>(text.size());
  s_init();
  const bool ok = s_ctrl();
  EXPECT_EQ(ok, gv.status_word == 0) << control;
  return gv.status_word;
}

// The compiled sequence: each comparison by its first field's position,
// connectors as AND / OR.
std::string compiled() {
  std::string out;
  for (uint32_t i = 0; i < ip.count; ++i) {
    const CondElement& e = ip.entries[i];
    if (!out.empty()) out += ' ';
    if (e.kind == kAnd) out += "AND";
    else if (e.kind == kOr) out += "OR";
    else out += std::to_string(e.pos1);
  }
  return out;
}

// Comparison n: byte n equals "x".
std::string cmp(int n) { return std::to_string(n) + ",1,CH,EQ,\"x\""; }

TEST(ConditionParser, PostfixOrderOfTheGroupings) {
  struct Case {
    std::string operand, sequence;
  } cases[] = {
      {"(" + cmp(1) + ")", "1"},
      {"(" + cmp(1) + ",AND," + cmp(2) + ")", "1 2 AND"},
      {"(" + cmp(1) + ",AND," + cmp(2) + ",OR," + cmp(3) + ")", "1 2 AND 3 OR"},
      {"(" + cmp(1) + ",OR," + cmp(2) + ",AND," + cmp(3) + ")", "1 2 OR 3 AND"},
      {"(" + cmp(1) + ",AND,(" + cmp(2) + ",OR," + cmp(3) + "))", "1 2 3 OR AND"},
      {"((" + cmp(1) + "))", "1"},
      {"((" + cmp(1) + ",O," + cmp(2) + "),A,(" + cmp(3) + ",or," + cmp(4) + "))",
       "1 2 OR 3 4 OR AND"},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(parse("INCLUDE " + c.operand), 0u) << c.operand;
    EXPECT_EQ(compiled(), c.sequence) << c.operand;
    EXPECT_EQ(gv.stack_top, kCondStackSize);
    EXPECT_EQ(cp[kCpInclude], 1);
  }
}

TEST(ConditionParser, ElementFields) {
  ASSERT_EQ(parse("OMIT (3,4,INT,GT,\"100\",AND,#2,ALP,ne,7,2,or,1,0,CH,LE,#3)"), 0u);
  EXPECT_EQ(cp[kCpOmit], 1);
  ASSERT_EQ(ip.count, 5u);
  const CondElement& lit = ip.entries[0];
  EXPECT_EQ(lit.kind, kComparison);
  EXPECT_EQ(lit.pos1, 3u);
  EXPECT_EQ(lit.len1, 4u);
  EXPECT_EQ(lit.ftype, kInt);
  EXPECT_EQ(lit.oper, kGt);
  EXPECT_EQ(lit.pos2, 0u);
  EXPECT_EQ(lit.lit_len, 4u);  // the converted length, not the text's
  EXPECT_EQ(std::vector<uint8_t>(lit.lit, lit.lit + 4), (std::vector<uint8_t>{100, 0, 0, 0}));
  const CondElement& by_number = ip.entries[1];
  EXPECT_EQ(by_number.pos1, 2u);
  EXPECT_EQ(by_number.len1, 0u);
  EXPECT_EQ(by_number.oper, kNe);
  EXPECT_EQ(by_number.pos2, 7u);
  EXPECT_EQ(by_number.len2, 2u);
  EXPECT_EQ(ip.entries[2].kind, kAnd);
  // A length of 0 after a position makes the position a field number.
  EXPECT_EQ(ip.entries[3].len1, 0u);
  EXPECT_EQ(ip.entries[3].pos2, 3u);
  EXPECT_EQ(ip.entries[3].len2, 0u);
  EXPECT_EQ(ip.entries[4].kind, kOr);
}

TEST(ConditionParser, UnquotedNumberIsASecondField) {
  ASSERT_EQ(parse("INCLUDE (1,4,INT,GT,100,4)"), 0u);
  EXPECT_EQ(ip.entries[0].pos2, 100u);
  EXPECT_EQ(ip.entries[0].len2, 4u);
}

TEST(ConditionParser, LiteralForms) {
  ASSERT_EQ(parse("INCLUDE (1,3,PD,EQ,\"&H00123C\")"), 0u);
  EXPECT_EQ(ip.entries[0].lit_len, 3u);
  EXPECT_EQ(std::vector<uint8_t>(ip.entries[0].lit, ip.entries[0].lit + 3),
            (std::vector<uint8_t>{0x00, 0x12, 0x3C}));
  ASSERT_EQ(parse("INCLUDE (1,2,CHA,EQ,\"&eAB\")"), 0u);
  EXPECT_EQ(ip.entries[0].lit_len, 2u);
  EXPECT_EQ(std::vector<uint8_t>(ip.entries[0].lit, ip.entries[0].lit + 3),
            (std::vector<uint8_t>{0xC1, 0xC2, 0}));
  ASSERT_EQ(parse("INCLUDE (1,2,CHA,EQ,\"&h\")"), 0u);  // no digits: empty
  EXPECT_EQ(ip.entries[0].lit_len, 0u);
  ASSERT_EQ(parse("INCLUDE (1,2,CHA,EQ,\"\")"), 0u);
  EXPECT_EQ(ip.entries[0].lit_len, 0u);
  ASSERT_EQ(parse("APOST INCLUDE (1,2,CHA,EQ,'a\"b')"), 0u);
  EXPECT_EQ(ip.entries[0].lit_len, 3u);
  EXPECT_EQ(std::memcmp(ip.entries[0].lit, "a\"b", 4), 0);

  const std::string fifty(50, 'z');
  ASSERT_EQ(parse("INCLUDE (1,50,CHA,EQ,\"" + fifty + "\")"), 0u);
  EXPECT_EQ(ip.entries[0].lit_len, 50u);
  EXPECT_EQ(ip.entries[0].lit[50], 0);
  EXPECT_EQ(parse("INCLUDE (1,50,CHA,EQ,\"" + fifty + "z\")"), kBadLiteral);
}

TEST(ConditionParser, LiteralHoldingNulBytes) {
  // The control text has a length; a NUL inside a literal is content.
  ASSERT_EQ(parse(std::string("INCLUDE (1,3,CHA,EQ,\"a\0b\")", 26)), 0u);
  EXPECT_EQ(ip.entries[0].lit_len, 3u);
  EXPECT_EQ(std::memcmp(ip.entries[0].lit, "a\0b", 3), 0);
  // EBCDIC translation stops at the NUL; the length still counts the text.
  ASSERT_EQ(parse(std::string("INCLUDE (1,3,CHA,EQ,\"&EA\0B\")", 28)), 0u);
  EXPECT_EQ(ip.entries[0].lit_len, 3u);
  EXPECT_EQ(std::vector<uint8_t>(ip.entries[0].lit, ip.entries[0].lit + 5),
            (std::vector<uint8_t>{0xC1, 0, 'B', 0, 0}));
}

TEST(ConditionParser, SecondStatementReplacesTheFirst) {
  ASSERT_EQ(parse("INCLUDE (" + cmp(1) + ",AND," + cmp(2) + ",OR," + cmp(3) +
                  ") INCLUDE (" + cmp(7) + ")"),
            0u);
  EXPECT_EQ(compiled(), "7");
  for (uint32_t i = 1; i < 5; ++i) {
    EXPECT_EQ(ip.entries[i].kind, kComparison) << i;
    EXPECT_EQ(ip.entries[i].pos1, 0u) << i;
  }
}

TEST(ConditionParser, ScannerStopsAfterTheStatement) {
  ASSERT_EQ(parse("INCLUDE (" + cmp(1) + ") , SORT (1,1,CH,A)"), 0u);
  EXPECT_EQ(cp[kCpSort], 1);
  EXPECT_EQ(sp.count, 1u);
}

TEST(ConditionParser, ElementLimit) {
  auto chain = [](int n) {
    std::string s = "INCLUDE (" + cmp(1);
    for (int i = 2; i <= n; ++i) s += ",AND," + cmp(i);
    return s + ")";
  };
  ASSERT_EQ(parse(chain(30)), 0u);  // 59 elements
  EXPECT_EQ(ip.count, 59u);
  EXPECT_EQ(parse(chain(31)), kTableFull);  // would need 61
}

TEST(ConditionParser, NestingLimitOfTheStack) {
  auto nested = [](int depth) {
    return "INCLUDE " + std::string(depth, '(') + cmp(1) + std::string(depth, ')');
  };
  ASSERT_EQ(parse(nested(98)), 0u);
  EXPECT_EQ(compiled(), "1");
  EXPECT_EQ(parse(nested(99)), kTableFull);
  EXPECT_EQ(parse(nested(150)), kTableFull);
}

TEST(ConditionParser, FailureStatuses) {
  struct Case {
    std::string control;
    uint32_t status;
  } cases[] = {
      {"INCLUDE", kIncludeOperand},
      {"OMIT", kOmitOperand},
      {"INCLUDE (", kIncludeOperand},
      {"INCLUDE (" + cmp(1) + "))", kIncludeOperand},
      {"OMIT (" + cmp(1) + "))", kOmitOperand},
      {"INCLUDE " + cmp(1) + ")", kIncludeOperand},  // ')' without '('
      {"INCLUDE (" + cmp(1) + ",XXX," + cmp(2) + ")", kIncludeOperand},
      {"INCLUDE (0,1,CH,EQ,\"A\")", kBadPosition},
      {"INCLUDE (-1,1,CH,EQ,\"A\")", kBadPosition},
      {"INCLUDE (X,1,CH,EQ,\"A\")", kBadPosition},
      {"INCLUDE (#0,CH,EQ,\"A\")", kBadPosition},
      {"INCLUDE (#,CH,EQ,\"A\")", kBadPosition},
      {"INCLUDE (1,1,CH,EQ,0,1)", kBadPosition},
      {"INCLUDE (1,1,CH,EQ,#0)", kBadPosition},
      {"INCLUDE (1", kBadLength},
      {"INCLUDE (1,-1,CH,EQ,\"A\")", kBadLength},
      {"INCLUDE (1,1,CH,EQ,2", kBadLength},
      {"INCLUDE (1,1,CH,EQ,2,-1)", kBadLength},
      {"INCLUDE (1,1", kBadFieldType},
      {"INCLUDE (1,1,XY,EQ,\"A\")", kBadFieldType},
      {"INCLUDE (1,1,CH", kBadOperator},
      {"INCLUDE (1,1,CH,EX,\"A\")", kBadOperator},
      {"INCLUDE (1,4,INT,CO,\"1\")", kBadOperator},
      {"INCLUDE (1,1,CH,EQ,\"A\"", kTableFull},
      {"INCLUDE ((" + cmp(1) + ")", kTableFull},
      {"INCLUDE " + cmp(1), kTableFull},
      {"INCLUDE (1,1,CH,EQ", kBadLiteral},
      {"INCLUDE (1,1,CH,EQ,\"A", kBadLiteral},  // unterminated literal
      {"INCLUDE (1,3,PD,EQ,\"123\")", kBadLiteral},
      {"INCLUDE (1,3,INT,EQ,\"1\")", kBadLiteral},
      {"INCLUDE (#1,INT,EQ,\"1\")", kBadLiteral},
      {"INCLUDE (1,3,CH,EQ,\"&HC1C\")", kBadLiteral},
      {"INCLUDE (1,3,CH,EQ,\"&HG1\")", kBadLiteral},
      {"INCLUDE (1,3,SP,EQ,\"1\")", kBadLiteral},
      {"INCLUDE (1,4,SP,EQ,\"1e40\")", kBadLiteral},
      {"INCLUDE (" + cmp(1) + ",BUT," + cmp(2) + ")", kBadConnector},
      {"INCLUDE " + cmp(1) + " SORT (1,1,CH,A)", kBadConnector},
      // A line end hides the closing parenthesis from the grouping.
      {"INCLUDE (" + cmp(1) + "\n) SORT (1,1,CH,A)", kBadConnector},
      {"INCLUDE (" + cmp(1) + ") OMIT (" + cmp(1) + ")", conflict_status(kCpInclude, kCpOmit)},
  };
  for (const Case& c : cases) EXPECT_EQ(parse(c.control), c.status) << c.control;
}

// A memory load of records held by the test, described by a record table.
class Load {
 public:
  explicit Load(const std::vector<std::string>& records) : records_(records) {
    for (uint32_t i = 0; i < records_.size(); ++i) {
      RecordDesc d;
      d.addr = reinterpret_cast<uint8_t*>(records_[i].data());
      d.len = static_cast<uint32_t>(records_[i].size());
      d.seq = i;
      table_.push_back(d);
    }
  }
  // Selects with the parsed condition; the records kept, in table order.
  std::vector<std::string> select() {
    gv.record_table = table_.data();
    gv.record_count = static_cast<uint32_t>(table_.size());
    s_select();
    std::vector<std::string> kept;
    for (uint32_t i = 0; i < gv.record_count; ++i)
      kept.push_back(records_[gv.record_table[i].seq]);
    return kept;
  }

 private:
  std::vector<std::string> records_;
  std::vector<RecordDesc> table_;
};

using Strings = std::vector<std::string>;

// Parses `control`, then selects from TXT records.
Strings select_txt(const std::string& control, const Strings& records) {
  EXPECT_EQ(parse(control), 0u) << control;
  Load load(records);
  return load.select();
}

TEST(Selection, CharacterEqualityNeedsTheFieldLength) {
  const Strings records = {"ABCD\n", "ABXD\n", "AB\n", "ABC\n"};
  EXPECT_EQ(select_txt("INCLUDE (1,3,CHA,EQ,\"ABC\")", records), (Strings{"ABCD\n", "ABC\n"}));
  EXPECT_EQ(select_txt("OMIT (1,3,CHA,EQ,\"ABC\")", records), (Strings{"ABXD\n", "AB\n"}));
  // A 2-byte literal never equals a 3-byte field.
  EXPECT_EQ(select_txt("INCLUDE (1,3,CH,EQ,\"AB\")", records), Strings{});
  EXPECT_EQ(gv.record_count, 0u);
}

TEST(Selection, Contains) {
  EXPECT_EQ(select_txt("INCLUDE (1,3,CH,CO,\"AB\")", {"ABx\n", "xAB\n", "xxAB\n", "aBx\n"}),
            (Strings{"ABx\n", "xAB\n"}));
  EXPECT_EQ(select_txt("INCLUDE (1,5,ALP,CO,\"b*d\")",
                       {"xxBCD\n", "aBxDy\n", "xxBCE\n", "bd\n", "abXd\n"}),
            (Strings{"xxBCD\n", "aBxDy\n", "abXd\n"}));
  // An empty value is contained in every field, even an empty one.
  EXPECT_EQ(select_txt("INCLUDE (1,3,CH,CO,\"\")", {"\n", "abc\n"}), (Strings{"\n", "abc\n"}));
}

TEST(Selection, ContainsRoutines) {
  EXPECT_EQ(strncmp2("abc", "abc", 3), 0);
  EXPECT_NE(strncmp2("abc", "abC", 3), 0);
  EXPECT_EQ(strncmp2("x", "y", 0), 0);
  EXPECT_EQ(strncmpi2("abc", "ABC", 3), 0);
  EXPECT_EQ(strncmpi2("a*c", "AzC", 3), 0);
  EXPECT_EQ(strncmpi2("a*c", "A*C", 3), 0);
  EXPECT_NE(strncmpi2("*", "*x", 2), 0);  // '*' agrees only in the value
  EXPECT_NE(strncmpi2("a", "*", 1), 0);
  EXPECT_NE(strncmpi2("@", "`", 1), 0);  // not letters: no case folding
  EXPECT_NE(strncmpi2("[", "{", 1), 0);
}

TEST(Selection, FieldAgainstField) {
  EXPECT_EQ(select_txt("INCLUDE (1,2,CHA,EQ,3,2)", {"ABAB\n", "ABBA\n", "ABA\n"}),
            (Strings{"ABAB\n"}));
  EXPECT_EQ(select_txt("INCLUDE (#2,CHA,EQ,#3)", {"x,ab,ab\n", "x,ab,ac\n", "x,,\n"}),
            (Strings{"x,ab,ab\n"}));
  EXPECT_EQ(select_txt("INCLUDE (#2,CHA,GT,\"b\")", {"1,c\n", "1,a\n", "c\n"}),
            (Strings{"1,c\n"}));
}

TEST(Selection, HexAndEbcdicLiterals) {
  const Strings records = {std::string("\x00\x12\x3C", 3), std::string("\x00\x12\x3D", 3),
                           "\xC1\xC2\x40"};
  EXPECT_EQ(select_txt("RECORD (3) INCLUDE (1,3,PD,EQ,\"&H00123C\")", records),
            (Strings{records[0]}));
  EXPECT_EQ(select_txt("RECORD (3) INCLUDE (1,2,CHA,EQ,\"&EAB\")", records),
            (Strings{records[2]}));
}

TEST(Selection, ConnectorsLeftToRightAndParentheses) {
  const Strings records = {"AXX\n", "AXC\n", "XBC\n", "XBX\n", "XXX\n"};
  const std::string a = "1,1,CH,EQ,\"A\"", b = "2,1,CH,EQ,\"B\"", c = "3,1,CH,EQ,\"C\"";
  // (A or B) and C: no precedence of AND over OR.
  EXPECT_EQ(select_txt("INCLUDE (" + a + ",OR," + b + ",AND," + c + ")", records),
            (Strings{"AXC\n", "XBC\n"}));
  EXPECT_EQ(select_txt("INCLUDE (" + a + ",OR,(" + b + ",AND," + c + "))", records),
            (Strings{"AXX\n", "AXC\n", "XBC\n"}));
  EXPECT_EQ(select_txt("OMIT (" + a + ",OR,(" + b + ",AND," + c + "))", records),
            (Strings{"XBX\n", "XXX\n"}));
  EXPECT_EQ(gv.stack_top, kCondStackSize);
}

// Little-endian 32-bit integer as record bytes.
std::string le32(int32_t v) {
  std::string s(4, '\0');
  std::memcpy(s.data(), &v, 4);
  return s;
}

TEST(Selection, ConvertedNumericLiterals) {
  const Strings ints = {le32(101), le32(100), le32(-5), le32(70000)};
  EXPECT_EQ(select_txt("RECORD (4) INCLUDE (1,4,INT,GT,\"100\")", ints),
            (Strings{le32(101), le32(70000)}));
  EXPECT_EQ(select_txt("RECORD (4) INCLUDE (1,4,INT,LE,\"-5\")", ints), (Strings{le32(-5)}));
  // A 2-byte field compares with the 2 converted bytes only.
  EXPECT_EQ(select_txt("RECORD (4) INCLUDE (1,2,BIN,EQ,\"-1\")",
                       {"\xFF\xFF\x01\x02", "\xFF\xFE\x01\x02"}),
            (Strings{"\xFF\xFF\x01\x02"}));
  const std::string w300("\x2C\x01", 2), w299("\x2B\x01", 2), w512("\x00\x02", 2);
  EXPECT_EQ(select_txt("RECORD (2) INCLUDE (1,2,W,GE,\"300\")", {w300, w299, w512}),
            (Strings{w300, w512}));
}

TEST(Selection, FloatingPointLiterals) {
  auto dbl = [](double d) {
    std::string s(8, '\0');
    std::memcpy(s.data(), &d, 8);
    return s;
  };
  EXPECT_EQ(select_txt("RECORD (8) INCLUDE (1,8,FL,LE,\"1.5\")", {dbl(1.5), dbl(2), dbl(-7)}),
            (Strings{dbl(1.5), dbl(-7)}));
  // MBF singles: 1.0, 2.0, -3.0, 10.0.
  const Strings mbf = {std::string("\x00\x00\x00\x81", 4), std::string("\x00\x00\x00\x82", 4),
                       std::string("\x00\x00\xC0\x82", 4), std::string("\x00\x00\x20\x84", 4)};
  EXPECT_EQ(select_txt("RECORD (4) INCLUDE (1,4,SP,GT,\"1.5\")", mbf),
            (Strings{mbf[1], mbf[3]}));
  EXPECT_EQ(select_txt("RECORD (4) INCLUDE (1,4,SP,EQ,\"-3\")", mbf), (Strings{mbf[2]}));
}

TEST(Selection, NumericTextKeepsItsText) {
  EXPECT_EQ(select_txt("INCLUDE (1,4,NUM,GT,\"9.5\")", {"  10\n", "   9\n", "9.75\n"}),
            (Strings{"  10\n", "9.75\n"}));
}

TEST(Selection, CompressIsStable) {
  std::vector<std::string> records = {"a", "b", "c", "d", "e"};
  std::vector<RecordDesc> table(records.size());
  const uint8_t flags[] = {0, 1, 0, 1, 1};
  for (uint32_t i = 0; i < table.size(); ++i) {
    table[i].addr = reinterpret_cast<uint8_t*>(records[i].data());
    table[i].len = 1;
    table[i].seq = 10 + i;
    table[i].flag = flags[i];
  }
  gv.record_table = table.data();
  gv.record_count = 5;
  compress();
  ASSERT_EQ(gv.record_count, 3u);
  EXPECT_EQ(table[0].seq, 11u);
  EXPECT_EQ(table[1].seq, 13u);
  EXPECT_EQ(table[2].seq, 14u);
  EXPECT_EQ(table[0].addr[0], 'b');
  for (int i = 0; i < 3; ++i) EXPECT_EQ(table[i].flag, 1);
  // The slots the kept descriptors left hold flag 0.
  EXPECT_EQ(table[3].flag, 0);
  EXPECT_EQ(table[4].flag, 0);
}

TEST(Selection, WholeRunKeepsOnlySelectedRecords) {
  zara_test::ScratchDir dir;
  zara_test::write_file("in.txt", zara_test::lines({"b2", "a1", "b1", "c3", "a2"}));
  const auto result = zara_test::run("in.txt", "out.txt",
                                     "SORT (1,2,CH,A) OMIT (1,1,CH,EQ,\"a\",OR,2,1,CH,EQ,\"3\")");
  EXPECT_EQ(result.status, 0u);
  EXPECT_EQ(result.records, 2u);
  EXPECT_EQ(zara_test::read_file("out.txt"), zara_test::lines({"b1", "b2"}));
}

}  // namespace
}  // namespace zara
