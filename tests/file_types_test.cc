// Whole runs over real files of every file type: how input bytes are framed
// into records, where the data ends, what the output ends with, APPEND,
// record ranges, the sort and output buffer limits, file headers and their
// save file, a randomized model of the framing, and the operator prompt.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <random>

#include "engine/run_state.h"
#include "tests/child_run.h"
#include "tests/test_support.h"

namespace zara_test {
namespace {

const std::string& E = kEndChar;
using Files = std::vector<std::pair<std::string, std::string>>;

std::string vs(const std::string& d) { return u16le(d.size()) + d; }
std::string rv1(const std::string& d) { return char(d.size()) + d + "~"; }
std::string rv2(const std::string& d) { return u16le(d.size()) + d + "~~"; }
std::string pad4(std::string r) { return r.append((4 - r.size() % 4) % 4, '.'); }
std::string cvs_header(uint32_t form, char fill = 'h') {
  return std::string(56, fill) + u16be(form) + std::string(70, fill);
}
// The top 4 bits of a 2-byte prefix are not length; the first 2 bytes of a
// 4-byte prefix are not read.
std::string cvs2(const std::string& d) { return pad4(u16be(0xF000 | d.size()) + d); }
std::string cvs4(const std::string& d) { return pad4("??" + u16be(d.size()) + d); }
// DB3 records: the deletion flag byte, then the key, padded.
std::string recs(uint32_t length, const std::vector<std::string>& keys) {
  std::string out;
  for (const auto& k : keys) out += (" " + k + std::string(length, '-')).substr(0, length);
  return out;
}

// Columns of the tables: name, files, inputs, control, records (-1:
// unchecked), output, status, work files left.
TEST(FileTypes, FramingEndMarksRangesAppendAndBufferLimits) {
  const uint32_t buffer = sizes_with_core("CORE (60)").buffer;
  ASSERT_GT(buffer, 0u);
  const std::string fe = "SORT (1,4,CH,A) FILETYPE (FE) RECORD (4)", two = "SORT (1,2,CH,A)";
  const std::string gp = "SORT (1,2,CH,A) FILETYPE (GP,(124,124),(69,78,68))";  // "||", "END"
  const std::string cvs = "SORT (1,5,CH,A) FILETYPE (CVS)", rv = "FILETYPE (RV) SORT (1,3,CH,";
  const Files ab = {{"a", "a1\na2\n"}, {"b", "b1\nb2\n"}}, ba = {{"in", "b\na\n"}};
  const Files mid_eof = {{"a", "b\nxx\x1Ayy\nq\n"}, {"b", "a\n"}};
  const std::string a300(300, 'a');
  const std::string sort = "SORT (1,1,CH,A) CORE (60)", big = std::string(buffer - 1, 'm') + "\n";
  const std::string many = big + concat(keyed_lines(3000, 1));
  auto fix = [](uint32_t n) { return "CORE (60) RECORD (" + std::to_string(n) + ")"; };
  const std::vector<FileCase> cases = {
      {"FIX tail", {{"in", "cccccaaaaabbbbbzz"}}, "in", "SORT (1,5,CH,A) FILETYPE (FIX,5)", 3,
       "aaaaabbbbbccccc"},
      {"each file its own tail", {{"a", "aaaaabb"}, {"b", "ccccc"}}, "a b", "RECORD (5)", 2,
       "aaaaaccccc"},
      // 0x1A inside a record is data; at a record's first byte it ends the file.
      {"FE end mark", {{"in", "ddddb\x1A" "bb\x1A" "xxxaaaa"}}, "in", fe, 2, "b\x1A" "bbdddd" + E},
      // A lone end character is a short tail; the output gets its own mark.
      {"FE lone tail", {{"in", "ddddbbbb" + E}}, "in", fe, 2, "bbbbdddd" + E},
      {"FE other end", {{"in", "ddddbbbb#zzzaaaa"}}, "in",
       "SORT (1,4,CH,A) FILETYPE (FE,35) RECORD (4)", 2, "bbbbdddd#"},
      // CR LF is two records: the line with its CR, then the LF alone.
      {"TXT ends", {{"in", "b\r\na\nc\ftail"}}, "in", "SORT (1,3,CH,A)", 4, "\na\nb\rc\f"},
      {"TXT copy", {{"in", "b\r\na\nc\ftail"}}, "in", "", 4, "b\r\na\nc\f"},
      // 0x1A drops the partial line and ends only its own file; the output
      // ends in 0x1A when the last input read did.
      {"TXT 0x1A, next file", mid_eof, "a b", two, 2, "a\nb\n"},
      {"TXT 0x1A last", mid_eof, "b a", two, 2, "a\nb\n" + E},
      // A prefix promising more than the file holds is a tail.
      {"VS", {{"in", vs("ccc") + vs("a") + vs("") + vs("bb") + u16le(9) + "abc"}}, "in",
       "SORT (1,3,CH,A) FILETYPE (VS)", 4, vs("") + vs("a") + vs("bb") + vs("ccc")},
      {"RV 255", {{"in", "RV" + u16le(255) + rv1("ccc") + rv1("a") + rv1("bb")}}, "in",
       rv + "A)", 3, "RV" + u16le(255) + rv1("a") + rv1("bb") + rv1("ccc")},
      {"RV 256", {{"in", "RV" + u16le(256) + rv2("ccc") + rv2(a300) + rv2("bb")}}, "in",
       rv + "D)", 3, "RV" + u16le(256) + rv2("ccc") + rv2("bb") + rv2(a300)},
      // 4 bytes at a record boundary are never framed, though they hold one.
      {"CVS 4095", {{"in", cvs_header(4095) + cvs2("ccccc") + cvs2("a") + u16be(2) + "zz"}},
       "in", cvs, 2, cvs_header(4095) + cvs2("a") + cvs2("ccccc")},
      {"CVS 4096", {{"in", cvs_header(4096) + cvs4("ccc") + cvs4("aaaaa") + cvs4("") + cvs4("b")}},
       "in", cvs, 4, cvs_header(4096) + cvs4("") + cvs4("aaaaa") + cvs4("b") + cvs4("ccc")},
      {"PRE padded", {{"in", "ccccaaaabbbbzzz"}}, "in",
       "SORT (1,4,CH,A) FILETYPE (PRE,4) LIMIT (2)", 2, "aaaacccc" + std::string(7, '\0')},
      {"PRE not cut", {{"a", "ccccaaaabbbbzzz"}, {"b", "ddddeeee"}}, "b a",
       "SORT (1,4,CH,A) FILETYPE (PRE,4)", 5, "aaaabbbbccccddddeeee"},
      {"GP end", {{"in", "c||a||b||ENDd||"}}, "in", gp, 3, "a||b||c||END"},
      {"GP open tail", {{"in", "c||a||tail"}}, "in", gp, 2, "a||c||"},
      // The delimiter is tested before the end string at each position.
      {"GP delimiter first", {{"in", "b|Xa||"}}, "in",
       "SORT (1,1,CH,A) FILETYPE (GP,(124),(124,88))", 3, "Xa|b||"},
      // A record marked deleted sorts like any other; a lone 0x1A is a tail.
      {"DB3", {{"in", db3_header(33, 5) + " cccc aaaa*bbbb" + E}}, "in",
       "SORT (2,4,CH,A) FILETYPE (DB3)", 3, db3_header(33, 5, 'h', 3) + " aaaa*bbbb cccc" + E},
      {"empty inputs", {{"e", ""}, {"a", "b\na\n"}}, "e a e", two, 2, "a\nb\n"},
      {"output truncated", {{"e", ""}, {"out", "old\n"}}, "e", two, 0, ""},
      // Records are numbered straight through the inputs; LIMIT closes the rest.
      {"LIMIT", ab, "a b", "SORT (1,1,CH,D) LIMIT (3)", 3, "b1\na1\na2\n"},
      {"ORIGIN", ab, "a b", "SORT (1,2,CH,D) ORIGIN (3)", 2, "b2\nb1\n"},
      {"ORIGIN and LIMIT", ab, "a b", "ORIGIN (3) LIMIT (3)", 1, "b1\n"},
      {"a name read twice", ab, "a,b a", "ORIGIN (5)", 2, "a1\na2\n"},
      // Blanks, commas and plus signs separate names, quotes hold a blank;
      // the output name is the first word of its text.
      {"names", {{"a", "a1\n"}, {"b", "b1\n"}, {"m f", "q\n"}}, "a+\"m f\",b", "", 3,
       "a1\nq\nb1\n", 0, 0, false, "  out ignored"},
      {"APPEND after 0x1A", {ba[0], {"out", "old\n" + E}}, "in", "SORT (1,1,CH,A) APPEND", 2,
       "old\na\nb\n"},
      {"APPEND", {ba[0], {"out", "old"}}, "in", "SORT (1,1,CH,A) APPEND", 2, "olda\nb\n"},
      {"APPEND creates", ba, "in", "APPEND", 2, "b\na\n"},
      {"APPEND to empty TXT", {ba[0], {"out", ""}}, "in", "SORT (1,1,CH,A) APPEND", -1, "", 210},
      {"APPEND FE", {{"in", "bbbbaaaa"}, {"out", "cccc" + E}}, "in", fe + " APPEND", 2,
       "cccc" + E + "aaaabbbb" + E},
      // The header again, and the count at offset 4 of this run only.
      {"APPEND DB3", {{"in", db3_header(32, 3, 'h', 0) + " zz" + E},
                      {"out", db3_header(32, 3, 'h', 2) + " aa bb" + E}},
       "in", "SORT (2,2,CH,A) FILETYPE (DB3) APPEND", 1,
       db3_header(32, 3, 'h', 1) + " aa bb" + E + db3_header(32, 3, 'h', 0) + " zz" + E},
      // Against sort buffers of 1 KiB, and an output buffer as large.
      {"line over a buffer", {{"in", "a\n" + std::string(buffer, 'x') + "\nb\n"}}, "in", sort, -1,
       kNoOutput, 245, 1},
      {"FIX over a buffer", {{"in", std::string(buffer + 1, 'x')}}, "in", fix(buffer + 1), -1,
       kNoOutput, 245},
      {"FIX of a buffer", {{"in", std::string(buffer, 'y')}}, "in", fix(buffer), 1,
       std::string(buffer, 'y')},
      // A record of a whole output buffer fits when written plainly, not
      // in work-file form (8 bytes more), which a copy run never uses.
      {"one load", {{"in", "z\n" + big + "a\n"}}, "in", sort, 3, "a\n" + big + "z\n"},
      {"work-file form", {{"in", many}}, "in", sort, -1, kNoOutput, 315, 1},
      {"copy", {{"in", many}}, "in", "CORE (60)", 3001, many},
  };
  for (const FileCase& c : cases) check_file_case(c);
}

TEST(Headers, FramingCountsBypassAndFailures) {
  const std::string db3 = "SORT (2,6,CH,A) FILETYPE (DB3)", cvs = "SORT (1,2,CH,A) FILETYPE (CVS)";
  const std::string h1 = db3_header(290, 45, 'a'), h = db3_header(64, 10);
  const Files two_tables = {{"one", h1 + recs(45, {"k3", "k1"}) + E},
                            {"two", db3_header(290, 45, 'b') + recs(45, {"k4", "k0", "k2"})}};
  // 3000 header bytes pass through buffers of about 1 KiB in pieces, and a
  // merge's output gets the header as a direct write does.
  std::vector<std::string> keys;
  for (int i = 0; i < 3000; ++i) keys.push_back(std::to_string(100000 + (i * 7919) % 3000));
  const std::string unsorted = db3_header(3000, 12) + recs(12, keys) + E;
  std::sort(keys.begin(), keys.end());
  const Files bypass = {{"a", "HDR-A\nb\nd\n"}, {"b", "HDR-B\nc\na\n"}};
  std::string zero_length = h, short_header = h;
  zero_length.replace(10, 2, u16le(0));
  short_header.replace(8, 2, u16le(31));
  const std::vector<FileCase> cases = {
      // The first input's header frames every input; the output counts.
      {"two tables", two_tables, "one two", db3, 5,
       db3_header(290, 45, 'a', 5) + recs(45, {"k0", "k1", "k2", "k3", "k4"}) + E},
      {"copy", two_tables, "two one", "FILETYPE (DB3) CORE (60)", 5,
       db3_header(290, 45, 'b', 5) + recs(45, {"k4", "k0", "k2", "k3", "k1"}) + E},
      {"selection lowers the count", {{"in", h + recs(10, {"b1", "a1", "b2", "a2"}) + E}}, "in",
       "SORT (2,2,CH,D) FILETYPE (DB3) INCLUDE (2,1,CH,EQ,\"a\")", 2,
       db3_header(64, 10, 'h', 2) + recs(10, {"a2", "a1"}) + E},
      {"header over a buffer", {{"in", unsorted}}, "in", db3 + " CORE (60)", 3000,
       db3_header(3000, 12, 'h', 3000) + recs(12, keys) + E, 0, 0, true},
      {"no record length", {{"in", zero_length + recs(10, {"a"})}}, "in", db3, -1, kNoOutput, 217},
      {"header under 32", {{"in", short_header + recs(10, {"a"})}}, "in", db3, -1, kNoOutput, 217},
      {"no length fields", {{"in", "\x03\x7D\x01"}}, "in", db3, -1, kNoOutput, 217},
      // Cut short after the fields that frame records: the header save file
      // was made, and a failed run leaves it.
      {"DB3 cut short", {{"in", h1.substr(0, 200)}}, "in", db3, -1, kNoOutput, 217, 1},
      {"CVS cut short", {{"in", std::string(100, 'h')}}, "in", cvs, -1, kNoOutput, 217, 1},
      {"CVS without form", {{"in", std::string(40, 'h')}}, "in", cvs, -1, kNoOutput, 217},
      {"RV cut short", {{"in", "RV\x01"}}, "in", "FILETYPE (RV)", -1, kNoOutput, 217},
      {"later input under its header",
       {{"a", h + recs(10, {"b"}) + recs(10, {"a"})}, {"b", h.substr(0, 20)}}, "a b", db3, 2,
       db3_header(64, 10, 'h', 2) + recs(10, {"a"}) + recs(10, {"b"}) + E},
      // Only the first header chooses the length fields of every input.
      {"RV form", {{"a", "RV" + u16le(255) + rv1("cc") + rv1("a")},
                   {"b", "RV" + u16le(256) + rv1("bbb")}},
       "a b", "SORT (1,3,CH,A) FILETYPE (RV)", 3,
       "RV" + u16le(255) + rv1("a") + rv1("bbb") + rv1("cc")},
      {"CVS form", {{"a", cvs_header(4096, 'a') + cvs4("zz") + cvs4("mmmmm")},
                    {"b", cvs_header(10, 'b') + cvs4("a")}},
       "a b", cvs, 3, cvs_header(4096, 'a') + cvs4("a") + cvs4("mmmmm") + cvs4("zz")},
      {"BYPASS D", bypass, "a b", "SORT (1,1,CH,A) BYPASS (6,D)", 4, "a\nb\nc\nd\n"},
      {"BYPASS R", bypass, "a b", "SORT (1,1,CH,A) BYPASS (6,R)", 4, "HDR-A\na\nb\nc\nd\n"},
      {"BYPASS alone: a record length", {{"in", "HDRcccaaabbb"}}, "in",
       "SORT (1,3,CH,A) RECORD (3) BYPASS", 3, "HDRaaabbbccc"},
      {"245 after saving", {{"in", db3_header(64, 2000) + recs(2000, {"a"})}}, "in",
       db3 + " CORE (60)", -1, kNoOutput, 245, 1},
  };
  for (const FileCase& c : cases) check_file_case(c);
}

TEST(Headers, ExistingFilesAtWorkFileNamesAreNeverFollowed) {
  ScratchDir dir;
  // Symbolic links wherever this run's work files and header save file
  // might be named in the next seconds point at a file that must survive.
  write_file("victim", "precious\n");
  std::vector<std::string> links;
  for (time_t t = time(nullptr) - 1, end = t + 6; t < end; ++t) {
    char base[16];
    snprintf(base, sizeof base, "sw%06lu.00", static_cast<unsigned long>(t) % 1000000ul);
    for (const char* suffix : {"", "1", "2", "3", "X", "z"}) {
      links.push_back(std::string(base) + suffix);
      ASSERT_EQ(symlink("victim", links.back().c_str()), 0);
    }
  }
  std::vector<std::string> keys;
  for (int i = 1999; i >= 0; --i) keys.push_back(std::to_string(10000 + i));
  write_file("in.dbf", db3_header(40, 8) + recs(8, keys) + E);
  const RunResult r = run("in.dbf", "out.dbf", "SORT (2,5,CH,A) FILETYPE (DB3) CORE (60)");
  ASSERT_EQ(r.status, 0u);
  EXPECT_EQ(read_file("victim"), "precious\n");
  for (const auto& l : links) {
    struct stat st;
    EXPECT_TRUE(lstat(l.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) << l;
  }
  std::reverse(keys.begin(), keys.end());
  EXPECT_EQ(read_file("out.dbf"), db3_header(40, 8, 'h', 2000) + recs(8, keys) + E);
}

// ---- random files against a model of the framing ----

struct TypeModel {
  uint32_t type = zara::kTxt, record_length = 0, prefix_width = 0;
  std::string delim, end_string;
};

bool fixed_length(uint32_t t) {
  return t == zara::kFix || t == zara::kFe || t == zara::kPre || t == zara::kDb3;
}

// Frames a file's bytes after its header as a reader of the model's type;
// true in `end_mark` when the data ended at an end mark.
std::vector<std::string> frame_model(const TypeModel& m, const std::string& b, bool& end_mark) {
  std::vector<std::string> records;
  auto u8 = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(b[i])); };
  auto at_string = [&](size_t i, const std::string& s) {
    return !s.empty() && b.size() - i >= s.size() && b.compare(i, s.size(), s) == 0;
  };
  const bool txt = m.type == zara::kTxt;
  end_mark = false;
  for (size_t at = 0, len = 0;; at += len, len = 0) {
    const size_t left = b.size() - at;
    if (fixed_length(m.type) && left >= m.record_length) {
      if ((m.type == zara::kFe || m.type == zara::kDb3) && b[at] == '\x1A')
        return end_mark = true, records;
      len = m.record_length;
    } else if (txt || m.type == zara::kGp) {
      for (size_t i = at; i < b.size() && !len; ++i) {
        if (txt ? b[i] == '\n' || b[i] == '\r' || b[i] == '\f' : at_string(i, m.delim))
          len = i - at + (txt ? 1 : m.delim.size());
        else if (txt ? b[i] == '\x1A' : at_string(i, m.end_string))
          return end_mark = true, records;
      }
    } else if (m.type == zara::kVs && left > 1) {
      len = u8(at) + (u8(at + 1) << 8) + 2;
    } else if (m.type == zara::kRv && left > 1) {
      len = m.prefix_width == 1 ? u8(at) + 2 : u8(at) + (u8(at + 1) << 8) + 4;
    } else if (m.type == zara::kCvs && left > 4) {
      len = m.prefix_width == 2 ? 2 + (((u8(at) << 8) | u8(at + 1)) & 0xFFF)
                                : 4 + ((u8(at + 2) << 8) | u8(at + 3));
      len = (len + 3) & ~size_t{3};
    }
    if (len == 0 || len > left) return records;
    records.push_back(b.substr(at, len));
  }
}

// Random bytes drawn mostly from `alphabet`.
std::string noise(std::mt19937& g, size_t n, const std::string& alphabet) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += g() % 8 ? alphabet[g() % alphabet.size()] : char(g() & 0xFF);
  return s;
}

// The bytes of one input file of the model's type, without its header.
std::string random_body(std::mt19937& g, const TypeModel& m) {
  std::string s;
  for (int i = static_cast<int>(g() % 400); i > 0; --i) {
    const uint32_t n = g() % 60;
    if (fixed_length(m.type)) {
      s += noise(g, m.record_length, std::string("abcdefghijklmnopqrstuvwxyz\x1A", 27));
    } else if (m.type == zara::kVs) {
      s += u16le(n) + noise(g, n, "abcde");
    } else if (m.type == zara::kRv) {
      s += (m.prefix_width == 1 ? std::string(1, char(n)) : u16le(n)) +
           noise(g, n + m.prefix_width, "ab");
    } else if (m.type == zara::kCvs) {
      s += pad4((m.prefix_width == 2 ? u16be(n | (g() & 0xF000)) : noise(g, 2, "xy") + u16be(n)) +
                noise(g, n, "abcde"));
    } else {  // TXT and GP: let the terminators fall where they may
      s += noise(g, n, std::string("abcd\n\r\f|E\x1A", 11).substr(0, g() % 50 ? 9 : 11));
    }
  }
  return s + noise(g, g() % 6, "ab");  // perhaps a tail
}

std::string byte_list(const std::string& s) {
  std::string out;
  for (char c : s) out += "," + std::to_string(static_cast<uint8_t>(c));
  return "(" + out.substr(s.empty() ? 0 : 1) + ")";
}

TEST(FileTypes, RandomFilesFrameAsTheModelSays) {
  const char* names[] = {"FIX", "FE", "TXT", "VS", "", "RV", "CVS", "PRE", "GP", "DB3"};
  const uint32_t types[] = {zara::kFix, zara::kFe,  zara::kTxt, zara::kVs, zara::kRv,
                            zara::kCvs, zara::kPre, zara::kGp,  zara::kDb3};
  std::mt19937 g(20240611);
  for (int round = 0; round < 240; ++round) {
    ScratchDir dir;
    TypeModel m{types[g() % 9], 1 + static_cast<uint32_t>(g() % 30), 0, "", ""};
    const uint32_t wide = g() % 2;  // the wider of the two length-field forms
    if (m.type == zara::kRv) m.prefix_width = 1 + wide;
    if (m.type == zara::kCvs) m.prefix_width = 2 + 2 * wide;
    if (m.type == zara::kGp) {  // one-byte delimiters keep records inside a sort buffer
      m.delim = g() % 2 ? "|" : "\n";
      m.end_string = std::vector<std::string>{"", "E", "EE", "|E", "E|"}[g() % 5];
    }
    std::string control = std::string("FILETYPE (") + names[m.type];
    if (m.type == zara::kFix || m.type == zara::kPre)
      control += "," + std::to_string(m.record_length);
    if (m.type == zara::kGp) control += "," + byte_list(m.delim) + "," + byte_list(m.end_string);
    control += ")";
    if (m.type == zara::kFe) control += " RECORD (" + std::to_string(m.record_length) + ")";
    const bool sorted = g() % 4 != 0, descending = g() % 2;
    if (sorted) control += std::string(" SORT (1,3,CH,") + (descending ? "D)" : "A)");
    if (g() % 2) control += " CORE (60)";
    const uint32_t limit = g() % 4 ? 0 : 1 + g() % 300, origin = g() % 4 ? 0 : 1 + g() % 100;
    if (limit) control += " LIMIT (" + std::to_string(limit) + ")";
    if (origin) control += " ORIGIN (" + std::to_string(origin) + ")";

    // The files, and the records the model takes from them.
    std::string inputs, expected, header;
    size_t first_size = 0;
    std::vector<std::string> kept;
    uint32_t sequence = 0;
    bool end_mark = false, limit_hit = false;
    for (int f = 0, files = 1 + g() % 3; f < files && !limit_hit; ++f) {
      if (m.type == zara::kRv) header = "RV" + u16le(255 + wide);
      if (m.type == zara::kCvs) header = noise(g, 56, "h") + u16be(4095 + wide) + noise(g, 70, "h");
      if (m.type == zara::kDb3) header = db3_header(40, m.record_length);
      const std::string body = random_body(g, m), name = "in" + std::to_string(f);
      write_file(name, header + body);
      inputs += name + " ";
      if (f == 0) expected = header, first_size = header.size() + body.size();
      for (const auto& rec : frame_model(m, body, end_mark)) {
        if (++sequence > limit && limit) {  // the record past the limit ends all reading
          limit_hit = true, end_mark = false;
          break;
        }
        if (sequence >= origin) kept.push_back(rec);
      }
    }
    if (sorted) {
      const size_t skip = m.type == zara::kVs ? 2 : m.prefix_width;
      auto key = [&](const std::string& r) { return r.size() > skip ? r.substr(skip, 3) : ""; };
      std::stable_sort(kept.begin(), kept.end(), [&](const auto& a, const auto& b) {
        return descending ? key(a) > key(b) : key(a) < key(b);
      });
    }
    if (m.type == zara::kDb3) expected.replace(4, 4, u32le(kept.size()));
    expected += concat(kept);
    if (fixed_length(m.type) && m.type != zara::kFix && m.type != zara::kPre) expected += E;
    if (end_mark) expected += m.type == zara::kTxt ? E : m.end_string;
    if (m.type == zara::kPre && expected.size() < first_size) expected.resize(first_size, '\0');

    const RunResult r = run(inputs, "out", control);
    ASSERT_EQ(r.status, 0u) << control;
    EXPECT_EQ(r.records, kept.size()) << control;
    ASSERT_EQ(read_file("out"), expected) << "round " << round << ": " << control;
  }
}

// ---- the operator prompt ----

// Runs `control` in a child talking over pipes, answers every prompt, and
// returns how many there were; the output must not exist at the first.
int prompts_of(const std::string& inputs, const std::string& control) {
  static const std::string kPrompt =
      "Ready to create output file\nchange diskettes and press return\n";
  int prompts = 0;
  const ChildResult child = run_in_child(
      [&](uint32_t*) { return run(inputs, "out.txt", control); },
      [&](int to_child, int from_child) {
        for (std::string got; !(got = read_some(from_child, kPrompt.size())).empty(); ++prompts) {
          EXPECT_EQ(got, kPrompt);
          EXPECT_TRUE(prompts > 0 || !file_exists("out.txt"));
          if (got != kPrompt || write(to_child, "\n", 1) != 1) return;
        }
      });
  EXPECT_TRUE(child.exited);
  EXPECT_EQ(child.run.status, 0u);
  return prompts;
}

// The prompt comes once before a sort creates its output (after several
// loads here), and before every load of a copy run.
TEST(FileTypes, PausePromptsBeforeTheOutputIsCreated) {
  ScratchDir dir;
  const std::string text = concat(keyed_lines(1500, 2));
  write_file("in.txt", text);
  write_file("small.txt", "b\na\n");
  EXPECT_EQ(prompts_of("in.txt", "SORT (1,2,CH,D) CORE (60) PAUSE"), 1);
  unlink("out.txt");
  EXPECT_EQ(prompts_of("small.txt", "SORT (1,1,CH,A) PAUSE"), 1);
  EXPECT_EQ(read_file("out.txt"), "a\nb\n");
  unlink("out.txt");
  const int prompts = prompts_of("in.txt", "CORE (60) PAUSE");
  EXPECT_EQ(read_file("out.txt"), text);
  PassCounter passes;  // the same copy run without the prompt, here
  ASSERT_EQ(run("in.txt", "again.txt", "CORE (60)").status, 0u);
  EXPECT_EQ(read_file("again.txt"), text);
  EXPECT_GT(passes.loads(), 1u);
  EXPECT_EQ(passes.most_work_files(), 0u);
  EXPECT_EQ(passes.merges(), 0u);
  EXPECT_EQ(static_cast<uint32_t>(prompts), passes.loads());
}

}  // namespace
}  // namespace zara_test
