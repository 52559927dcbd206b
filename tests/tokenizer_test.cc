// The tokenizer and keyword matching: token boundaries, comments, literals,
// the no-token results, the abbreviation rule of every keyword table, the
// parenthesis finders and the bounded number reading. Texts live in blocks
// of exactly their length, so that a read past the end shows under the
// address sanitizer.
#include "control/tokenizer.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "control/keyword_tables.h"
#include "engine/run_state.h"

namespace zara {
namespace {

struct Text {
  explicit Text(const std::string& bytes) : data(new char[bytes.empty() ? 1 : bytes.size()]) {
    memcpy(data.get(), bytes.data(), bytes.size());
    sc.reset(data.get(), static_cast<uint32_t>(bytes.size()));
  }
  bool next(const char* delims = kStatementDelims, uint8_t quote = '"') {
    return s_gettok(sc, delims, quote);
  }
  std::string token() const { return std::string(sc.tok_start, sc.tok_len); }
  size_t at() const { return static_cast<size_t>(sc.pos - data.get()); }
  std::unique_ptr<char[]> data;
  Scanner sc;
};

// Each case "text => tokens": the tokens joined by '|', a literal in <>.
void expect_tokens(const char* delims, uint8_t quote, const std::vector<std::string>& cases) {
  for (const std::string& c : cases) {
    const size_t arrow = c.rfind(" => ");
    Text t(c.substr(0, arrow));
    std::string out;
    while (t.next(delims, quote))
      out += (out.empty() ? "" : "|") + (t.sc.tok_literal ? "<" + t.token() + ">" : t.token());
    EXPECT_EQ(out, c.substr(arrow + 4)) << c;
  }
}

// A lone ']' is a delimiter; comments do not nest and open no literal; a
// token glued to a literal's closing quote is a literal too; the
// end-of-file character is content (the dispatcher stops there); a file-name
// list has no CR and no parentheses among its delimiters.
TEST(Tokenizer, TokensOfTexts) {
  const char* kDelims = kStatementDelims;
  expect_tokens(kDelims, '"',
                {"SORT(1,4,CH,A) => SORT|1|4|CH|A", "SORT ]1]4]CH]A => SORT|1|4|CH|A",
                 "SORT\t(1\r\n4+CH ,A) => SORT|1|4|CH|A", "FIELDS=(1,4) => FIELDS=|1|4",
                 "a:b.c/d-e#f*g => a:b.c/d-e#f*g", "\032AB C => \032AB|C"});
  expect_tokens(kDelims, '"',
                {"[note] SORT => SORT", "SO[x]RT => SO|RT", "[a][b]X[c] => X", "[a [b] c] D => c|D",
                 "[\"] X => X"});
  expect_tokens(kDelims, '"',
                {"\"A,B [C]\" next => <A,B [C]>|next", "\"\" X => <>|X", "ab\"c d => ab\"c|d",
                 "\"x\"y z => <x>|<y>|z", "'a b' \"X\" => 'a|b'|<X>"});
  expect_tokens(kDelims, '"',
                {" => ", " ,\t\r\n()+[] => ", "[only a comment] => ", "[open => ", "[ => "});
  expect_tokens(kDelims, '"', {"\"open => ", "\" => ", "A [open B => A", "A \"open B => A"});
  expect_tokens(kDelims, '\'', {"'X' \"X\" => <X>|\"X\""});
  expect_tokens("[], +\t\n", '"',
                {"a,b c => a|b|c", "f(1)\rg => f(1)\rg", "\"my file\" x => <my file>|x"});
  expect_tokens(" +[]\t\n", '"', {"a,b c => a,b|c"});
  Text nul(std::string("A\0B C", 5));  // NUL is content
  ASSERT_TRUE(nul.next());
  EXPECT_EQ(nul.token(), std::string("A\0B", 3));
}

TEST(Tokenizer, PositionsAndBounds) {
  Text lit("\"A,B\" next");
  ASSERT_TRUE(lit.next());
  EXPECT_EQ(lit.sc.tok_start, lit.data.get() + 1);
  EXPECT_EQ(lit.at(), 5u);  // just past the closing quote
  Text last("  LAST");
  ASSERT_TRUE(last.next());
  EXPECT_EQ(last.sc.pos, last.sc.end);
  EXPECT_FALSE(last.next());
  Text open("X [");  // a failed call leaves no token behind
  ASSERT_TRUE(open.next());
  EXPECT_FALSE(open.next());
  EXPECT_EQ(open.sc.tok_len, 0u);
  EXPECT_FALSE(open.sc.tok_found);
  Scanner sc;
  sc.reset(nullptr, 0);
  EXPECT_FALSE(s_gettok(sc, kStatementDelims, '"'));
  // Only the given length is read.
  const std::string full = "SORT]rest\"AB\"";
  sc.reset(full.data(), 4);
  ASSERT_TRUE(s_gettok(sc, kStatementDelims, '"'));
  EXPECT_EQ(std::string(sc.tok_start, sc.tok_len), "SORT");
  EXPECT_FALSE(s_gettok(sc, kStatementDelims, '"'));
  sc.reset(full.data() + 9, 3);  // the closing quote lies beyond the end
  EXPECT_FALSE(s_gettok(sc, kStatementDelims, '"'));
}

// The index `token` matches in `table`, -1 for none.
int match(const uint8_t* table, const std::string& token) {
  Text t(token);
  t.sc.tok_start = t.data.get();
  t.sc.tok_len = static_cast<uint32_t>(token.size());
  uint32_t index = 0;
  return s_match(t.sc, table, &index) ? static_cast<int>(index) : -1;
}

TEST(KeywordMatch, AbbreviationsOfEveryTable) {
  // Each table's keywords in index order; '.' ends the shortest abbreviation
  // that selects the entry. Longer tokens are cut to the table's width.
  const std::pair<const uint8_t*, const char*> tables[] = {
      {parm_table,
       "AD.DROUT B.YPASS CORE. DE.LIMIT F.ILETYPE IN.CLUDE K.EYOUT L.IMIT M.ERGE OM.IT OUTR.EC "
       "P.AUSE R.ECORD S.ORTED W.ORKDRIVE AL.TSEQ EQ.UALS DUPO.UT DUPE.X DUPI.N ORIG.IN AP.OST "
       "SUM. LA.ST APPE.ND OVER.WRITE OP.ENMODE NOYI.ELD VER.B"},
      {sort_fieldtypes,
       "C.HARACTER ALP.HA SU. SLI. N.UMERIC STI. STS. Z.D T. I.NTEGER P.D BI.NARY ALT. E. W. SP. "
       "DP. F.I FL."},
      {direction_table, "A.SCENDING D.ESCENDING"},
      {filetype_table, "FIX.ED FE. TXT. VS. BT. RV. CVS. PRE. GP. DB.3"},
      {addrout_table, "RRN.X"},
      {bypass_table1, "D.ISCARD R.ETAIN"},
      {condition_table, "CO. EQ.UAL NE. GT. GE. LT. LE."},
      {connector_table, "XXX. A.NDY O.R"},
      {outrec_table, "XXXX. RECL. RRN. RBA. CRLF. BT-R. HL-R. DUPC. ARRN."},
      {sum_fieldtypes, "Z.D BI.N I.NT P.D E.EE FL. W.ORD FI.X N.UM"}};
  for (const auto& [table, keywords] : tables) {
    std::istringstream words(keywords);
    std::string word;
    for (int index = 0; words >> word; ++index) {
      const size_t dot = word.find('.');
      word.erase(dot, 1);
      std::string lower = word;
      for (char& ch : lower) ch = static_cast<char>(tolower(ch));
      EXPECT_EQ(match(table, word), index) << word;
      EXPECT_EQ(match(table, lower), index) << lower;  // case is ignored
      EXPECT_EQ(match(table, word.substr(0, dot)), index) << word.substr(0, dot);
      const std::string shorter = word.substr(0, dot - 1);
      if (dot > 1) {
        EXPECT_NE(match(table, shorter), index) << shorter;
      }
    }
  }
  // Within the width the keyword's blank padding must match too.
  const std::pair<const uint8_t*, const char*> unmatched[] = {
      {parm_table, "SUMX"},     {sort_fieldtypes, "CHX"}, {sort_fieldtypes, "FLOAT"},
      {connector_table, "ORX"}, {outrec_table, "RRNX"},   {filetype_table, "DB4"},
      {parm_table, ""},         {direction_table, ""},    {parm_table, "X"}};
  for (const auto& [table, token] : unmatched) EXPECT_EQ(match(table, token), -1) << token;
  EXPECT_EQ(match(parm_table, "SUM "), static_cast<int>(kStSum));
  // s_match cuts the token to the width even when nothing matches.
  Text t("FILETYPE XYZXYZ");
  uint32_t index = 0;
  ASSERT_TRUE(t.next() && s_match(t.sc, parm_table, &index));
  EXPECT_EQ(t.sc.tok_len, 4u);
  ASSERT_TRUE(t.next());
  EXPECT_FALSE(s_match(t.sc, direction_table, &index));
  EXPECT_EQ(t.sc.tok_len, 1u);
}

TEST(ParenFinders, SkipOnlyBlanksAndCommas) {
  const struct {
    const char* text;
    bool left, found;
    size_t at;
  } cases[] = {{" , ,(X", false, false, 4}, {" , ,(X", true, true, 5}, {" , ,)X", false, true, 5},
               {"\t)", false, false, 0},    {" \n)", false, false, 1}, {"[c])", false, false, 0},
               {" , ", true, false, 3},     {" , ", false, false, 3},  {"", true, false, 0}};
  for (const auto& c : cases) {
    Text t(c.text);
    EXPECT_EQ(c.left ? find_parenl(t.sc) : find_parenr(t.sc), c.found) << c.text;
    EXPECT_EQ(t.at(), c.at) << c.text;
  }
  // SORT (1,4,CH,A <line break> ): the ')' is then skipped as a delimiter.
  Text t("A\n) NEXT");
  ASSERT_TRUE(t.next());
  EXPECT_FALSE(find_parenr(t.sc));
  ASSERT_TRUE(t.next());
  EXPECT_EQ(t.token(), "NEXT");
}

TEST(TokenNumbers, ReadAsAtoiWouldWithinTheToken) {
  // "text=value"; beyond 32 bits the value saturates, never wraps.
  for (const std::string c :
       {"80=80", "12abc=12", "+7=7", "-5=-5", "007=7", "abc=0", "- 5=0", "--5=0", "=0", "-=0",
        "2147483647=2147483647", "-2147483648=-2147483648", "99999999999=2147483647",
        "-99999999999=-2147483648"}) {
    const size_t eq = c.rfind('=');
    const Text t(c.substr(0, eq));
    EXPECT_EQ(token_atoi(t.data.get(), static_cast<uint32_t>(eq)), std::stoll(c.substr(eq + 1)))
        << c;
  }
  EXPECT_EQ(token_atol("4294967297", 10), INT32_MAX);
  EXPECT_EQ(token_atoi(nullptr, 5), 0);
  EXPECT_EQ(token_atoi("123456", 2), 12);
  EXPECT_EQ(token_atoi("123456", 0), 0);
  EXPECT_EQ(token_atol("123456" + 3, 3), 456);
}

}  // namespace
}  // namespace zara
