// The tokenizer and keyword matching: token boundaries, comments, literals,
// the no-token results, the abbreviation rule of every keyword table, and
// the parenthesis finders. Texts live in blocks of exactly their length so
// that a read past the end shows under the address sanitizer.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "control/keyword_tables.h"
#include "control/tokenizer.h"
#include "engine/run_state.h"

namespace zara {
namespace {

// A text in a heap block of exactly its size, with a scanner on it.
class Text {
 public:
  explicit Text(const std::string& bytes)
      : size_(bytes.size()), data_(new char[bytes.empty() ? 1 : bytes.size()]) {
    memcpy(data_.get(), bytes.data(), bytes.size());
    sc.reset(data_.get(), static_cast<uint32_t>(size_));
  }
  const char* at(size_t offset) const { return data_.get() + offset; }
  size_t offset(const char* p) const { return static_cast<size_t>(p - data_.get()); }
  std::string token() const { return std::string(sc.tok_start, sc.tok_len); }
  Scanner sc;

 private:
  size_t size_;
  std::unique_ptr<char[]> data_;
};

std::vector<std::string> tokens(const std::string& bytes, const char* delims = kStatementDelims,
                                uint8_t quote = '"') {
  Text t(bytes);
  std::vector<std::string> out;
  while (s_gettok(t.sc, delims, quote)) out.push_back(t.token());
  return out;
}

using Tokens = std::vector<std::string>;

TEST(Tokenizer, ParenthesesAndBlanksSeparateAlike) {
  const Tokens expected = {"SORT", "1", "4", "CH", "A"};
  EXPECT_EQ(tokens("SORT(1,4,CH,A)"), expected);
  EXPECT_EQ(tokens("SORT 1 4 CH A)"), expected);
  EXPECT_EQ(tokens("SORT\t(1\r\n4+CH ,A)"), expected);
  EXPECT_EQ(tokens("SORT ]1]4]CH]A"), expected);  // a lone ']' is a delimiter
}

TEST(Tokenizer, PunctuationStaysInsideTokens) {
  EXPECT_EQ(tokens("FIELDS=(1,4)"), (Tokens{"FIELDS=", "1", "4"}));
  EXPECT_EQ(tokens("a:b.c/d-e#f*g"), (Tokens{"a:b.c/d-e#f*g"}));
  // A NUL byte is ordinary content, not a delimiter.
  EXPECT_EQ(tokens(std::string("A\0B C", 5)), (Tokens{std::string("A\0B", 3), "C"}));
  // So is the end-of-file character: the dispatcher, not the tokenizer, stops there.
  EXPECT_EQ(tokens("\x1A" "AB C"), (Tokens{"\x1A" "AB", "C"}));
}

TEST(Tokenizer, CommentsAreSkippedAndSeparateTokens) {
  EXPECT_EQ(tokens("[note] SORT"), (Tokens{"SORT"}));
  EXPECT_EQ(tokens("SO[x]RT"), (Tokens{"SO", "RT"}));
  EXPECT_EQ(tokens("[a][b]X[c]"), (Tokens{"X"}));
  // No nesting: the first ']' ends the comment.
  EXPECT_EQ(tokens("[a [b] c] D"), (Tokens{"c", "D"}));
  // Quotes inside a comment open no literal.
  EXPECT_EQ(tokens("[\"] X"), (Tokens{"X"}));
}

TEST(Tokenizer, LiteralHoldsDelimitersAndBrackets) {
  Text t("\"A,B [C]\" next");
  ASSERT_TRUE(s_gettok(t.sc, kStatementDelims, '"'));
  EXPECT_EQ(t.sc.tok_len, 7u);
  EXPECT_EQ(t.token(), "A,B [C]");
  EXPECT_EQ(t.sc.tok_start, t.at(1));
  EXPECT_TRUE(t.sc.tok_literal);
  EXPECT_EQ(t.offset(t.sc.pos), 9u);  // just past the closing quote
  ASSERT_TRUE(s_gettok(t.sc, kStatementDelims, '"'));
  EXPECT_EQ(t.token(), "next");
  EXPECT_FALSE(t.sc.tok_literal);
}

TEST(Tokenizer, PlainTokenStopsOnItsDelimiter) {
  Text t("ABC,D");
  ASSERT_TRUE(s_gettok(t.sc, kStatementDelims, '"'));
  EXPECT_EQ(t.offset(t.sc.pos), 3u);
  EXPECT_EQ(*t.sc.pos, ',');
}

TEST(Tokenizer, EmptyLiteralIsATokenOfLengthZero) {
  Text t("\"\" X");
  ASSERT_TRUE(s_gettok(t.sc, kStatementDelims, '"'));
  EXPECT_EQ(t.sc.tok_len, 0u);
  EXPECT_TRUE(t.sc.tok_literal);
  uint32_t index = 99;
  EXPECT_FALSE(s_match(t.sc, parm_table, &index));
  EXPECT_FALSE(s_match(t.sc, direction_table, &index));
  EXPECT_EQ(index, 99u);
}

TEST(Tokenizer, QuoteInsideAPlainTokenIsContent) {
  EXPECT_EQ(tokens("ab\"c d"), (Tokens{"ab\"c", "d"}));
  // A token glued to a literal's closing quote also counts as a literal.
  Text t("\"x\"y z");
  ASSERT_TRUE(s_gettok(t.sc, kStatementDelims, '"'));
  EXPECT_EQ(t.token(), "x");
  ASSERT_TRUE(s_gettok(t.sc, kStatementDelims, '"'));
  EXPECT_EQ(t.token(), "y");
  EXPECT_TRUE(t.sc.tok_literal);
  ASSERT_TRUE(s_gettok(t.sc, kStatementDelims, '"'));
  EXPECT_FALSE(t.sc.tok_literal);
}

TEST(Tokenizer, ApostropheQuoting) {
  EXPECT_EQ(tokens("'X' \"X\"", kStatementDelims, '\''), (Tokens{"X", "\"X\""}));
  EXPECT_EQ(tokens("'a b' \"X\"", kStatementDelims, '"'), (Tokens{"'a", "b'", "X"}));
}

TEST(Tokenizer, TokenRunningToTheEndIsValid) {
  Text t("  LAST");
  ASSERT_TRUE(s_gettok(t.sc, kStatementDelims, '"'));
  EXPECT_EQ(t.token(), "LAST");
  EXPECT_EQ(t.sc.pos, t.sc.end);
  EXPECT_FALSE(s_gettok(t.sc, kStatementDelims, '"'));
}

TEST(Tokenizer, NoTokenResults) {
  EXPECT_TRUE(tokens("").empty());
  EXPECT_TRUE(tokens(" ,\t\r\n()+[]").empty());
  EXPECT_TRUE(tokens("[only a comment]").empty());
  EXPECT_TRUE(tokens("[open").empty());       // unterminated comment
  EXPECT_TRUE(tokens("[").empty());
  EXPECT_TRUE(tokens("\"open").empty());      // unterminated literal
  EXPECT_TRUE(tokens("\"").empty());
  EXPECT_EQ(tokens("A [open B"), (Tokens{"A"}));
  EXPECT_EQ(tokens("A \"open B"), (Tokens{"A"}));

  Scanner none;
  none.reset(nullptr, 0);
  EXPECT_FALSE(s_gettok(none, kStatementDelims, '"'));

  // A failed call leaves no token length behind.
  Text t("X [");
  ASSERT_TRUE(s_gettok(t.sc, kStatementDelims, '"'));
  EXPECT_FALSE(s_gettok(t.sc, kStatementDelims, '"'));
  EXPECT_EQ(t.sc.tok_len, 0u);
  EXPECT_FALSE(t.sc.tok_found);
}

TEST(Tokenizer, ScanStartingAtOrPastTheEndFindsNothing) {
  Text t("ABC");
  t.sc.pos = t.sc.end;
  EXPECT_FALSE(s_gettok(t.sc, kStatementDelims, '"'));
}

TEST(Tokenizer, TextIsNeverReadPastItsLength) {
  // The scanner is given only the first bytes of a longer text.
  const std::string full = "SORT]rest";
  Scanner sc;
  sc.reset(full.data(), 4);
  ASSERT_TRUE(s_gettok(sc, kStatementDelims, '"'));
  EXPECT_EQ(std::string(sc.tok_start, sc.tok_len), "SORT");
  EXPECT_FALSE(s_gettok(sc, kStatementDelims, '"'));

  const std::string lit = "\"AB\"";
  sc.reset(lit.data(), 3);  // the closing quote lies beyond the end
  EXPECT_FALSE(s_gettok(sc, kStatementDelims, '"'));
}

TEST(Tokenizer, OtherDelimiterSets) {
  EXPECT_EQ(tokens("a,b c", "[], +\t\n"), (Tokens{"a", "b", "c"}));
  EXPECT_EQ(tokens("a,b c", " +[]\t\n"), (Tokens{"a,b", "c"}));
  // Carriage return and parentheses belong only to the statement set.
  EXPECT_EQ(tokens("f(1)\rg", "[], +\t\n"), (Tokens{"f(1)\rg"}));
  EXPECT_EQ(tokens("\"my file\" x", "[], +\t\n"), (Tokens{"my file", "x"}));
}

// Index matched by `token` in `table`, -1 for none.
int match(const uint8_t* table, const std::string& token) {
  Text t(token);
  // An empty token is taken as an empty literal.
  if (!token.empty()) {
    if (!s_gettok(t.sc, "", '"')) return -2;
  } else {
    t.sc.tok_start = t.at(0);
    t.sc.tok_len = 0;
  }
  uint32_t index = 0;
  return s_match(t.sc, table, &index) ? static_cast<int>(index) : -1;
}

struct Case {
  const char* token;
  int index;
};

void expect_matches(const uint8_t* table, const std::vector<Case>& cases) {
  for (const Case& c : cases) EXPECT_EQ(match(table, c.token), c.index) << "token " << c.token;
}

TEST(KeywordMatch, StatementKeywords) {
  expect_matches(parm_table, {
      {"ADDROUT", kStAddrout}, {"AD", kStAddrout}, {"A", -1},
      {"B", kStBypass}, {"BYPASS", kStBypass},
      {"COR", -1}, {"CORE", kStCore}, {"C", -1},
      {"D", -1}, {"DE", kStDelimit}, {"DELIMIT", kStDelimit},
      {"F", kStFiletype}, {"FILE", kStFiletype}, {"FILETYPE", kStFiletype},
      {"I", -1}, {"IN", kStInclude}, {"INCLUDE", kStInclude},
      {"K", kStKeyout}, {"L", kStLimit}, {"LI", kStLimit}, {"LIMIT", kStLimit},
      {"LA", kStLast}, {"LAST", kStLast},
      {"M", kStMerge}, {"MERGE", kStMerge},
      {"O", -1}, {"OM", kStOmit}, {"OU", -1}, {"OUT", -1}, {"OUTR", kStOutrec},
      {"OUTREC", kStOutrec}, {"OR", -1}, {"ORI", -1}, {"ORIG", kStOrigin},
      {"OV", -1}, {"OVER", kStOverwrite}, {"OVERWRITE", kStOverwrite},
      {"OP", kStOpenmode}, {"OPENMODE", kStOpenmode},
      {"P", kStPause}, {"R", kStRecord}, {"RECORD", kStRecord},
      {"S", kStSort}, {"SO", kStSort}, {"SORTED", kStSort},
      {"SU", -1}, {"SUM", kStSum}, {"SUMX", -1}, {"SUM ", kStSum},
      {"W", kStWorkdrive}, {"WORKDRIVE", kStWorkdrive},
      {"AL", kStAltseq}, {"ALTSEQ", kStAltseq},
      {"E", -1}, {"EQ", kStEquals}, {"EQUALS", kStEquals},
      {"DUP", -1}, {"DUPO", kStDupout}, {"DUPOUT", kStDupout},
      {"DUPE", kStDupex}, {"DUPEX", kStDupex}, {"DUPI", kStDupin}, {"DUPIN", kStDupin},
      {"AP", kStApost}, {"APO", kStApost}, {"APP", -1}, {"APPE", kStAppend},
      {"APPEND", kStAppend}, {"APOST", kStApost},
      {"N", -1}, {"NOY", -1}, {"NOYI", kStNoyield}, {"NOYIELD", kStNoyield},
      {"V", -1}, {"VE", -1}, {"VER", kStVerb}, {"VERB", kStVerb},
      {"X", -1}, {"", -1}});
}

TEST(KeywordMatch, CaseIsIgnoredInTheToken) {
  expect_matches(parm_table, {{"sort", kStSort}, {"Sort", kStSort}, {"sOrTeD", kStSort},
                              {"dupo", kStDupout}, {"filetype", kStFiletype}});
  expect_matches(sort_fieldtypes, {{"ch", kCha}, {"bi", kBin}, {"alt", kAlt}});
  expect_matches(direction_table, {{"a", 0}, {"d", 1}});
}

TEST(KeywordMatch, LongerTokenIsTruncatedToTheKeywordWidth) {
  Text t("FILETYPE");
  ASSERT_TRUE(s_gettok(t.sc, kStatementDelims, '"'));
  EXPECT_EQ(t.sc.tok_len, 8u);
  uint32_t index = 0;
  ASSERT_TRUE(s_match(t.sc, parm_table, &index));
  EXPECT_EQ(index, static_cast<uint32_t>(kStFiletype));
  EXPECT_EQ(t.sc.tok_len, 4u);
  // Truncation happens even when nothing matches.
  Text u("XYZXYZ");
  ASSERT_TRUE(s_gettok(u.sc, kStatementDelims, '"'));
  EXPECT_FALSE(s_match(u.sc, direction_table, &index));
  EXPECT_EQ(u.sc.tok_len, 1u);
}

TEST(KeywordMatch, FieldTypes) {
  expect_matches(sort_fieldtypes, {
      {"C", kCha}, {"CH", kCha}, {"CHA", kCha}, {"CHAR", kCha}, {"CHX", -1},
      {"A", -1}, {"AL", -1}, {"ALP", kAlp}, {"ALPHA", kAlp}, {"ALT", kAlt},
      {"S", -1}, {"SU", kSu}, {"SL", -1}, {"SLI", kSli}, {"ST", -1}, {"STI", kSti},
      {"STS", kSts}, {"SP", kSp}, {"SPX", -1},
      {"N", kNum}, {"NUM", kNum}, {"Z", kZd}, {"ZD", kZd}, {"ZDX", -1},
      {"T", kT}, {"TX", -1}, {"I", kInt}, {"IN", kInt}, {"INT", kInt},
      {"P", kPd}, {"PD", kPd}, {"B", -1}, {"BI", kBin}, {"BIN", kBin},
      {"E", kE}, {"W", kW}, {"D", -1}, {"DP", kDp},
      {"F", kFi}, {"FI", kFi}, {"FL", kFl}, {"FLOAT", -1}, {"X", -1}});
}

TEST(KeywordMatch, Directions) {
  expect_matches(direction_table, {{"A", 0}, {"ASC", 0}, {"ASCENDING", 0}, {"D", 1},
                                   {"DESCENDING", 1}, {"X", -1}, {"", -1}});
}

TEST(KeywordMatch, FileTypes) {
  expect_matches(filetype_table, {
      {"F", -1}, {"FI", -1}, {"FIX", 0}, {"FIXED", 0}, {"FE", 1}, {"T", -1}, {"TX", -1},
      {"TXT", 2}, {"V", -1}, {"VS", 3}, {"BT", 4}, {"RV", 5}, {"CV", -1}, {"CVS", 6},
      {"PR", -1}, {"PRE", 7}, {"GP", 8}, {"G", -1}, {"DB", 9}, {"DB3", 9}, {"DB4", -1},
      {"fe", 1}});
}

TEST(KeywordMatch, SmallTables) {
  expect_matches(addrout_table, {{"R", -1}, {"RR", -1}, {"RRN", 0}, {"rrnx", 0}, {"RBA", -1}});
  expect_matches(bypass_table1, {{"D", 0}, {"DISCARD", 0}, {"R", 1}, {"RETAIN", 1}, {"K", -1}});
  expect_matches(condition_table, {{"E", -1}, {"CO", 0}, {"EQ", 1}, {"EQUAL", 1}, {"NE", 2},
                                   {"GT", 3}, {"GE", 4}, {"LT", 5}, {"LE", 6}, {"le", 6},
                                   {"GX", -1}});
  expect_matches(connector_table, {{"X", -1}, {"XX", -1}, {"XXX", 0}, {"A", 1}, {"AN", 1},
                                   {"AND", 1}, {"ANDY", 1}, {"O", 2}, {"OR", 2}, {"ORX", -1}});
}

TEST(KeywordMatch, OutrecItemsAndSumTypes) {
  expect_matches(outrec_table, {
      {"XXXX", 0}, {"REC", -1}, {"RECL", 1}, {"RR", -1}, {"RRN", 2}, {"RB", -1}, {"RBA", 3},
      {"CRL", -1}, {"CRLF", 4}, {"BT-R", 5}, {"HL-R", 6}, {"DUP", -1}, {"DUPC", 7},
      {"ARR", -1}, {"ARRN", 8}, {"RRNX", -1}});
  expect_matches(sum_fieldtypes, {
      {"Z", 0}, {"B", -1}, {"BI", 1}, {"I", 2}, {"P", 3}, {"E", 4}, {"EEE", 4}, {"F", -1},
      {"FL", 5}, {"W", 6}, {"WORD", 6}, {"FI", 7}, {"FIX", 7}, {"N", 8}, {"NUM", 8}});
}

TEST(ParenFinders, SkipOnlyBlanksAndCommas) {
  Text t(" , ,(X");
  EXPECT_FALSE(find_parenr(t.sc));
  EXPECT_EQ(t.offset(t.sc.pos), 4u);  // left on the '('
  EXPECT_TRUE(find_parenl(t.sc));
  EXPECT_EQ(t.offset(t.sc.pos), 5u);

  Text tab("\t)");
  EXPECT_FALSE(find_parenr(tab.sc));
  EXPECT_EQ(tab.offset(tab.sc.pos), 0u);

  Text lf(" \n)");
  EXPECT_FALSE(find_parenr(lf.sc));
  EXPECT_EQ(lf.offset(lf.sc.pos), 1u);

  Text comment("[c])");
  EXPECT_FALSE(find_parenr(comment.sc));
  EXPECT_EQ(comment.offset(comment.sc.pos), 0u);
}

TEST(ParenFinders, StopAtTheEndOfTheText) {
  Text t(" , ");
  EXPECT_FALSE(find_parenl(t.sc));
  EXPECT_EQ(t.sc.pos, t.sc.end);
  EXPECT_FALSE(find_parenr(t.sc));
  Text empty("");
  EXPECT_FALSE(find_parenl(empty.sc));
}

TEST(ParenFinders, FailedFindLeavesTheNextTokenInPlace) {
  // SORT (1,4,CH,A <line break> ): the ')' is skipped as a delimiter.
  Text t("A\n) NEXT");
  ASSERT_TRUE(s_gettok(t.sc, kStatementDelims, '"'));
  EXPECT_FALSE(find_parenr(t.sc));
  ASSERT_TRUE(s_gettok(t.sc, kStatementDelims, '"'));
  EXPECT_EQ(t.token(), "NEXT");
}

int32_t number(const std::string& token) {
  std::unique_ptr<char[]> block(new char[token.size() + 1]);
  memcpy(block.get(), token.data(), token.size());
  return token_atoi(block.get(), static_cast<uint32_t>(token.size()));
}

TEST(TokenNumbers, ReadAsAtoiWould) {
  EXPECT_EQ(number("80"), 80);
  EXPECT_EQ(number("12abc"), 12);
  EXPECT_EQ(number("+7"), 7);
  EXPECT_EQ(number("-5"), -5);
  EXPECT_EQ(number("007"), 7);
  EXPECT_EQ(number("abc"), 0);
  EXPECT_EQ(number("- 5"), 0);
  EXPECT_EQ(number("--5"), 0);
  EXPECT_EQ(number(""), 0);
  EXPECT_EQ(number("-"), 0);
  EXPECT_EQ(number("2147483647"), INT32_MAX);
  EXPECT_EQ(number("-2147483648"), INT32_MIN);
  // Beyond 32 bits the value saturates instead of wrapping to a sign flip.
  EXPECT_EQ(number("99999999999"), INT32_MAX);
  EXPECT_EQ(number("-99999999999"), INT32_MIN);
  EXPECT_EQ(token_atol("4294967297", 10), INT32_MAX);
  EXPECT_EQ(token_atoi(nullptr, 5), 0);
}

TEST(TokenNumbers, BoundedByTheToken) {
  const char digits[] = "123456";
  EXPECT_EQ(token_atoi(digits, 2), 12);
  EXPECT_EQ(token_atoi(digits, 0), 0);
  EXPECT_EQ(token_atol(digits + 3, 3), 456);
}

}  // namespace
}  // namespace zara
