// The copybook layout module and zara-sort's use of it: what GnuCOBOL
// cannot check (copybook errors and their places, the rules that tell a
// field name from a keyword, the caret under the name the user wrote, the
// values --explain shows, no file touched after bad input).
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/layout/control_plan.h"
#include "cli/layout/record_layout.h"
#include "cli/layout/value_decoder.h"

namespace {

using namespace zara_layout;

// Positions: A D CH EQ AND 1-5, CRLF 6, RECLAIM-DATE 8, B-FLAG 14, BALANCE
// 15 (packed, 2 decimals), 3 AMOUNTs from 20 (COMP), CITY OF SHIP-TO 32,
// CITY OF BILL-TO 36, TRAILING-SIGN 40, BIG 43 (too long for SUM).
const char kCopybook[] =
    "      * fields whose names are keywords of the control language\n"
    "       01  REC.\n"
    "           05  A         PIC X.\n"
    "           05  D         PIC X.\n"
    "           05  CH        PIC X.\n"
    "           05  EQ        PIC X.\n"
    "           05  AND       PIC X.\n"
    "           05  CRLF      PIC XX.\n"
    "           05  RECLAIM-DATE PIC 9(6).\n"
    "           05  B-FLAG    PIC X VALUE 'Y'.\n"
    "               88  B-ON  VALUE 'Y' 'y'.\n"
    "           05  BALANCE   PIC S9(7)V99 COMP-3.\n"
    "           05  MONTHS    OCCURS 3 TIMES.\n"
    "               10  AMOUNT PIC S9(9) COMP.\n"
    "           05  SHIP-TO.  10  CITY PIC X(4).\n"
    "           05  BILL-TO.  10  CITY PIC X(4).\n"
    "           05  TRAILING-SIGN PIC S9(3).\n"
    "           05  BIG       PIC S9(26) COMP-3.\n";

RecordLayout layout_of(const std::string& text, Conventions c = {}) {
  RecordLayout layout;
  SourceText source;
  LayoutError error;
  EXPECT_TRUE(build_layout(text, SourceFormat::kAuto, c, &layout, &source, &error)) << error.message;
  return layout;
}

TEST(CopybookLayout, PlacesFieldsAcrossFormatsAndClauses) {
  const RecordLayout keywords = layout_of(kCopybook);
  EXPECT_EQ(keywords.record_length, 56u);
  // Free format, a sequence area with text, a continued literal, edited and
  // scaled pictures, group USAGE and SIGN, nested tables, REDEFINES.
  const RecordLayout free = layout_of(
      "01 R. *> free format\n"
      "  05 E1 PIC Z,ZZ9.99-. 05 E2 PIC 999PP COMP-3.\n"
      "  05 G USAGE COMP-5 SIGN LEADING SEPARATE. 10 G1 PIC S9(4). 10 G2 PIC 9(10).\n"
      "  05 T OCCURS 2. 10 U OCCURS 3 PIC X(2). 10 V PIC X.\n"
      "  05 W PIC X(3). 05 W2 REDEFINES W PIC X(5). 05 AFTER PIC X.\n");
  const RecordLayout fixed = layout_of(
      "CHG001 01  R.\n"
      "CHG002     05  L PIC X(4) VALUE 'AB\n"
      "      -    'CD'.\n"
      "      D    05  DEBUG-LINE PIC X.\n"
      "           05  M PIC S9(3) SIGN TRAILING SEPARATE.\n");
  struct Case {
    const RecordLayout* layout;
    FieldName name;
    uint32_t position, length;
    const char* type;
  } cases[] = {
      {&keywords, {{"BALANCE"}, {}}, 15, 5, "PD"},
      {&keywords, {{"AMOUNT"}, {3}}, 28, 4, "FI"},
      {&keywords, {{"CITY", "BILL-TO"}, {}}, 36, 4, "CH"},
      {&keywords, {{"TRAILING-SIGN"}, {}}, 40, 3, "ZD"},
      {&free, {{"E1"}, {}}, 1, 9, "CH"},
      {&free, {{"E2"}, {}}, 10, 2, "PD"},
      {&free, {{"G1"}, {}}, 12, 2, "INT"},
      {&free, {{"G2"}, {}}, 14, 8, "W"},
      {&free, {{"U"}, {2, 3}}, 33, 2, "CH"},
      {&free, {{"T"}, {2}}, 29, 7, "CH"},
      {&free, {{"W2"}, {}}, 36, 5, "CH"},
      {&free, {{"AFTER"}, {}}, 41, 1, "CH"},
      {&fixed, {{"M"}, {}}, 5, 4, "STS"},
  };
  for (const Case& c : cases) {
    ResolvedField f;
    std::string error;
    ASSERT_TRUE(resolve_field(*c.layout, c.name, &f, &error)) << c.name.names[0] << ": " << error;
    EXPECT_EQ(f.position, c.position) << c.name.names[0];
    EXPECT_EQ(f.length, c.length) << c.name.names[0];
    EXPECT_EQ(f.item->encoding.key_type, c.type) << c.name.names[0];
  }
  EXPECT_EQ(fixed.record_length, 8u);  // the D line is a comment
}

TEST(CopybookLayout, ConventionsChangeBinaryStorage) {
  const char text[] = "01 R. 05 C PIC S9(2) COMP. 05 N PIC S9(2) COMP-5. 05 U PIC 9(7) COMP.";
  struct Case {
    Conventions conventions;
    uint32_t c, n, u;
    const char *c_type, *u_type;
  } cases[] = {
      {{}, 1, 1, 4, "FI", "BI"},
      {{true, BinarySize::k1248, false}, 1, 1, 4, "INT", "W"},
      {{false, BinarySize::k248, false}, 2, 1, 4, "FI", "BI"},
      {{false, BinarySize::k1to8, false}, 1, 1, 3, "FI", "BI"},
  };
  for (const Case& k : cases) {
    const RecordLayout l = layout_of(text, k.conventions);
    EXPECT_EQ(l.items[1].size, k.c);
    EXPECT_EQ(l.items[2].size, k.n);
    EXPECT_EQ(l.items[3].size, k.u);
    EXPECT_EQ(l.items[1].encoding.key_type, k.c_type);
    EXPECT_EQ(l.items[3].encoding.key_type, k.u_type);
  }
  const RecordLayout ebcdic = layout_of("01 R. 05 S PIC S9(3).", {false, BinarySize::k1248, true});
  EXPECT_TRUE(ebcdic.items[1].encoding.key_type.empty());
}

TEST(CopybookLayout, ErrorsNameLineAndColumn) {
  struct Case {
    const char* text;
    uint32_t line, column;
    const char* message;
  } cases[] = {
      {"01 R. 05 A PIC X(3.", 1, 16, "repeat count not closed"},
      {"  05 A PIC X.", 1, 3, "no 01 level above"},
      {"01 R.\n 05 A PIC X COMP-3.", 2, 2, "needs a numeric PICTURE"},
      {"01 R.\n 05 A PIC 9 SYNC.", 2, 13, "SYNCHRONIZED"},
      {"01 R.\n 05 A OCCURS 1 TO 5 DEPENDING ON N PIC X.", 2, 7, "DEPENDING"},
      {"01 R.\n 05 A PIC X.\n 05 B REDEFINES C PIC X.", 3, 17, "C is not an earlier item"},
      {"01 R.\n 05 A PIC X", 2, 12, "does not end with a period"},
      {"01 R.\n 05 A PIC X VALUE 'abc.", 2, 19, "literal not closed"},
      {"01 R.\n 05 A USAGE POINTER.", 2, 13, "USAGE POINTER is not supported"},
      {"01 R.\n 05 A PIC X.\n  10 B PIC X.", 3, 3, "cannot hold subordinate items"},
      {"01 R.\n 05 A PIC 9 SIGN LEADING.", 2, 2, "SIGN applies to signed"},
  };
  for (const Case& c : cases) {
    RecordLayout layout;
    SourceText source;
    LayoutError e;
    ASSERT_FALSE(build_layout(c.text, SourceFormat::kFree, {}, &layout, &source, &e)) << c.text;
    EXPECT_NE(e.message.find(c.message), std::string::npos) << c.text << ": " << e.message;
    EXPECT_EQ(e.where.line, c.line) << c.text;
    EXPECT_EQ(e.where.column, c.column) << c.text;
  }
}

TEST(ControlPlan, NamesStandWhereFieldsAreExpected) {
  const RecordLayout layout = layout_of(kCopybook);
  struct Case {
    const char* control;
    const char* engine;
  } cases[] = {
      // Fields named A, D, CH, EQ, AND are found by their place.
      {"SORT (A,A,D,D)", "RECORD (56) SORT (1,1,CH,A,2,1,CH,D)"},
      {"S(CH,D) INCL (EQ,EQ,\"EQ\",AND,(AND,NE,A))",
       "RECORD (56) S(3,1,CH,D) INCL (4,1,CH,EQ,\"EQ\",AND,(5,1,CH,NE,1,1))"},
      // Comments, literals and APOST literals are left alone.
      {"[A D] FILETYPE (FIX,46) APOST SORT (1,1,CH,A) OMIT (CH,EQ,'A,D')",
       "[A D] FILETYPE (FIX,46) APOST SORT (1,1,CH,A) OMIT (3,1,CH,EQ,'A,D')"},
      // OUTREC keywords stay keywords unless qualified; a longer name is a field.
      {"RECORD (56) OUTREC (CRLF,RECLAIM-DATE,CRLF OF REC,\"x\",1,2,AMOUNT(2))",
       "RECORD (56) OUTREC (CRLF,8,6,6,2,\"x\",1,2,24,4)"},
      // B and B followed by digits set the hold size; B-FLAG is a field.
      {"SORT (A,A) DUPOUT (B500,B-FLAG,A)", "RECORD (56) SORT (1,1,CH,A) DUPOUT (B500,14,1,1,1)"},
      {"SORT (CITY OF BILL-TO,D) SUM (BALANCE,AMOUNT OF MONTHS (1))",
       "RECORD (56) SORT (36,4,CH,D) SUM (15,5,PD,20,4,BIN)"},
      // Numbers compared with named fields are written in their storage.
      {"INCLUDE (BALANCE,LT,\"-1.5\",OR,AMOUNT(1),EQ,\"-2\",OR,TRAILING-SIGN,GT,\"-12\","
       "OR,RECLAIM-DATE,EQ,\"261231\",OR,BALANCE,NE,\"&H00\")",
       "RECORD (56) INCLUDE (15,5,PD,LT,\"&H000000150D\",OR,20,4,FI,EQ,\"&HFFFFFFFE\",OR,"
       "40,3,ZD,GT,\"&H303172\",OR,8,6,CH,EQ,\"261231\",OR,15,5,PD,NE,\"&H00\")"},
      // Past a statement the engine refuses, the text is left as written.
      {"SORT (A,A) XYZ (D)", "RECORD (56) SORT (1,1,CH,A) XYZ (D)"},
  };
  for (const Case& c : cases) {
    ControlPlan plan;
    NameError error;
    ASSERT_TRUE(plan_control(c.control, &layout, &plan, &error)) << c.control << ": " << error.message;
    EXPECT_EQ(plan.engine_text, c.engine) << c.control;
  }
  ControlPlan plain;
  NameError error;
  ASSERT_TRUE(plan_control("SORT (A,A)", nullptr, &plain, &error));
  EXPECT_EQ(plain.engine_text, "SORT (A,A)");
}

TEST(ControlPlan, NameErrorsPointAtTheName) {
  const RecordLayout layout = layout_of(kCopybook);
  struct Case {
    const char* control;
    size_t offset;
    const char* message;
  } cases[] = {
      {"SORT (A,A,NOPE,D)", 10, "no field NOPE"},
      {"SORT (CITY,A)", 6, "ambiguous: it may be CITY OF SHIP-TO or CITY OF BILL-TO"},
      {"INCLUDE (AMOUNT,EQ,\"1\")", 9, "needs 1 subscript"},
      {"SORT (A,A) OUTREC (AMOUNT(0))", 19, "outside 1 to 3"},
      {"SORT (A,A) OUTREC (AMOUNT(1", 25, "not closed"},
      {"SORT (A,A) SUM (CH)", 16, "SUM adds numeric fields only"},
      {"INCLUDE (BALANCE,GT,AMOUNT(1))", 20, "cannot be compared"},
      {"SORT (A OF", 8, "OF must be followed"},
      {"INCLUDE (AMOUNT(1),EQ,\"1.5\")", 23, "\"1.5\" has more decimal places"},
      {"INCLUDE (BALANCE,EQ,\"123456789\")", 21, "has more digits than the field"},
  };
  for (const Case& c : cases) {
    ControlPlan plan;
    NameError error;
    ASSERT_FALSE(plan_control(c.control, &layout, &plan, &error)) << c.control;
    EXPECT_NE(error.message.find(c.message), std::string::npos) << c.control << ": " << error.message;
    EXPECT_EQ(error.offset, c.offset) << c.control;
  }
}

// Texts glued from the pieces of the two languages, in any order.
std::string random_text(std::mt19937& rng, const std::vector<const char*>& pieces) {
  std::string text;
  const size_t n = rng() % 24;
  for (size_t i = 0; i < n; ++i) text += std::string(pieces[rng() % pieces.size()]) + (rng() % 3 ? " " : "");
  return text;
}

TEST(ControlPlan, AnyTextIsWalkedWithinItsBounds) {
  const RecordLayout layout = layout_of(kCopybook);
  std::mt19937 rng(15);
  const std::vector<const char*> pieces = {
      "SORT", "(", ")", ",", "A", "D", "CH", "EQ", "AND", "OR", "INCLUDE", "OMIT", "OUTREC", "SUM",
      "DUPOUT", "B5", "\"", "'", "[", "]", "APOST", "FILETYPE", "FIX", "GP", "1", "0", "#2", "AMOUNT",
      "(2", "OF", "MONTHS", "CITY", "CRLF", "\n", "E", "Z", "BALANCE", "RECORD", "DUPC", "\x1A"};
  for (int i = 0; i < 3000; ++i) {
    const std::string text = random_text(rng, pieces);
    ControlPlan plan;
    NameError error;
    ASSERT_TRUE(plan_control(text, nullptr, &plan, &error));
    ASSERT_EQ(plan.engine_text, text);
    if (!plan_control(text, &layout, &plan, &error)) {
      ASSERT_LE(error.offset, text.size()) << text;
      continue;
    }
    for (size_t at = 0; at <= plan.engine_text.size(); ++at)
      ASSERT_LE(plan.map.to_user(at, text.size()), text.size()) << text;
  }
}

TEST(CopybookLayout, AnyTextParsesOrFailsWithinItsBounds) {
  std::mt19937 rng(37);
  int parsed = 0;
  const std::vector<const char*> pieces = {
      "01", "05", "10", "88", "66", "PIC", "X(3)", "9(", "S9(4)V9", "COMP-3", "COMP-5", "OCCURS",
      "2", "TIMES", "REDEFINES", "A", "B", ".", "VALUE", "'x'", "\"", "*>", "\n", "SIGN", "LEADING",
      "SEPARATE", "USAGE", "COMP-1", "-", "\t"};
  for (int i = 0; i < 3000; ++i) {
    const std::string text = "01 R.\n 05 F PIC X. " + random_text(rng, pieces);
    RecordLayout layout;
    SourceText source;
    LayoutError error;
    if (!build_layout(text, SourceFormat::kAuto, {}, &layout, &source, &error)) {
      ASSERT_LE(error.where.line, source.lines.size() + 1) << text;
      continue;
    }
    ++parsed;
    for (const DataItem& item : layout.items)
      ASSERT_LE(uint64_t{item.offset} + item.size * uint64_t{item.occurs ? item.occurs : 1},
                layout.record_length) << text;
  }
  EXPECT_GT(parsed, 100);  // the texts reach the layout, not only the parser
}

TEST(ValueDecoder, ShowsValuesOfEachType) {
  struct Case {
    const char* type;
    int32_t scale;
    std::vector<uint8_t> bytes;
    const char* value;
  } cases[] = {
      {"PD", 2, {0x12, 0x34, 0x5D}, "-123.45"},
      {"PD", 0, {0x00, 0x0C}, "0"},
      {"PD", 0, {0x1A, 0x2C}, "[not packed decimal]"},
      {"ZD", 1, {'1', '2', 'u'}, "-12.5"},
      {"SLI", 0, {'q', '2'}, "-12"},
      {"STS", 0, {'0', '7', '-'}, "-7"},
      {"NUM", 2, {'+', '0', '1', '5'}, "0.15"},
      {"FI", 0, {0xFF, 0xFE}, "-2"},
      {"BIN", -2, {0x01, 0x02}, "25800"},
      {"W", 0, {0x02, 0x01}, "258"},
      {"INT", 3, {0x18, 0xFC, 0xFF, 0xFF}, "-1.000"},
      {"INT", 0, {0, 0, 0, 0, 0, 0, 0, 0x80}, "-9223372036854775808"},
      {"FL", 0, {0x00, 0x00, 0xC0, 0x3F}, "1.5"},
      {"CHA", 0, {'A', 0x01}, "\"A.\""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(decode_value(c.type, c.scale, c.bytes.data(), c.bytes.size()), c.value) << c.type;
  const uint8_t bytes[] = {0x41, 0x0A};
  EXPECT_EQ(hex_bytes(bytes, 2), "41 0A");
}

// The tool itself: its messages and what it leaves on disk.
struct Outcome {
  int status;
  std::string output;
};

Outcome zara(const std::string& arguments) {
  const std::string command = std::string(ZARA_SORT) + " " + arguments + " 2>&1";
  FILE* p = popen(command.c_str(), "r");
  Outcome r{-1, ""};
  char buffer[4096];
  for (size_t n; p && (n = fread(buffer, 1, sizeof buffer, p)) > 0;) r.output.append(buffer, n);
  const int status = p ? pclose(p) : -1;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class ZaraSortWithCopybook : public ::testing::Test {
 protected:
  void SetUp() override {
    write_file("keywords.cpy", kCopybook);
    std::string records;
    // Records 1 to 3: A = Z, Y, X; BALANCE 5.00, -123.45, 0.00.
    const char* balances[] = {"\x00\x00\x00\x50\x0C", "\x00\x00\x12\x34\x5D", "\x00\x00\x00\x00\x0C"};
    for (int i = 0; i < 3; ++i)
      records += std::string(1, static_cast<char>('Z' - i)) + std::string(12, ' ') + "Y" +
                 std::string(balances[i], 5) + std::string(12, '\0') + std::string(8, ' ') + "00" +
                 static_cast<char>('1' + i) + std::string(14, '\0');
    write_file("three.dat", records);
    write_file("short.dat", records + "tail");
    // VS: 2-byte little-endian lengths; the second record lacks 6 bytes.
    write_file("short.vs", std::string("\x38\x00", 2) + records.substr(0, 56) +
                               std::string("\x32\x00", 2) + records.substr(56, 50));
    unlink("out.dat");
  }
  bool output_exists() { return access("out.dat", F_OK) == 0; }
};

TEST_F(ZaraSortWithCopybook, BadInputChangesNoFile) {
  struct Case {
    const char* arguments;
    const char* message;
  } cases[] = {
      {"-c 'SORT (NOPE,A)' three.dat", "zara-sort: the copybook has no field NOPE\n  SORT (NOPE,A)\n        ^"},
      {"-c 'SORT (A,A)' short.dat", "short.dat: 172 bytes are not a whole number of 56-byte records"},
      {"-c 'RECORD (40) SORT (A,A)' three.dat", "records of 40 bytes are shorter than the layout's 56"},
      {"-c 'FILETYPE (VS) SORT (A,A)' short.vs",
       "1 record is shorter than the layout's 56 bytes; the first is record 2"},
      // The engine's own error, with the caret under the name written.
      {"-c 'SORT (A,A)\n INCLUDE (BALANCE,CO,\"1\")' three.dat",
       "status 205: condition operator missing or not recognised\n   INCLUDE (BALANCE,CO,\"1\")\n"
       "                    ^"},
      {"-c 'SORT (A,A) SUM (BIG)' three.dat", "status 203: field length missing, zero, not a number or "
       "too long for its type\n  SORT (A,A) SUM (BIG)\n                  ^"},
  };
  for (const Case& c : cases) {
    const Outcome r = zara(std::string("--copybook keywords.cpy -o out.dat ") + c.arguments);
    EXPECT_EQ(r.status, 1) << c.arguments;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    EXPECT_FALSE(output_exists()) << c.arguments;
  }
  write_file("broken.cpy", "       01  R.\n           05  A PIC Q.\n");
  const Outcome r = zara("--copybook broken.cpy --fields");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("broken.cpy:2:22: PICTURE Q: 'Q' is not a PICTURE symbol"), std::string::npos)
      << r.output;
  EXPECT_EQ(zara("--copybook missing.cpy --fields").status, 2);
  EXPECT_EQ(zara("--fields").status, 2);
}

TEST_F(ZaraSortWithCopybook, FieldsAndExplainShowTheLayoutAndTheValues) {
  const Outcome fields = zara("--copybook keywords.cpy --fields");
  EXPECT_EQ(fields.status, 0);
  EXPECT_NE(fields.output.find("10      AMOUNT                           20      4  FI   COMP big-endian PIC S9(9)"),
            std::string::npos)
      << fields.output;
  const Outcome r = zara("--copybook keywords.cpy --explain 2 -o out.dat "
                    "-c 'SORT (BALANCE,A) INCLUDE (A,EQ,\"Y\",OR,B-FLAG,NE,\"Y\")' three.dat");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("record 1 (input record 2, 56 bytes)\n"
                          "  key 1 BALANCE [15,5,PD] A: 00 00 12 34 5D  |...4]|  -123.45\n"
                          "  INCLUDE (A,EQ,\"Y\",OR,B-FLAG,NE,\"Y\"): holds\n"
                          "    A,EQ,\"Y\": holds\n"
                          "    B-FLAG,NE,\"Y\": does not hold\n"),
            std::string::npos)
      << r.output;
  EXPECT_EQ(r.output.find("\nrecord 2"), std::string::npos) << r.output;  // one record selected
}

}  // namespace
