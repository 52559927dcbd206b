// Whole runs over files of every type: framing, end marks, headers, APPEND, ranges, buffer limits, links, PAUSE.
#include <gtest/gtest.h>

#include <optional>

#include "engine/run_state.h"
#include "tests/child_run.h"

namespace zara_test {
namespace {

const std::string E = "\x1A";
std::string le(size_t v) { return {char(v), char(v >> 8)}; }
std::string be(size_t v) { return {char(v >> 8), char(v)}; }
std::string vs(const std::string& d) { return le(d.size()) + d; }
std::string rv1(const std::string& d) { return char(d.size()) + d + "~"; }
std::string rv2(const std::string& d) { return le(d.size()) + d + "~~"; }
std::string pad4(std::string r) { return r.append((4 - r.size() % 4) % 4, '.'); }
std::string cvs_header(size_t form) { return std::string(56, 'h') + be(form) + std::string(70, 'h'); }
// The top 4 bits of a 2-byte length are not length; a 4-byte prefix's first 2 bytes are not read.
std::string cvs2(const std::string& d) { return pad4(be(0xF000 | d.size()) + d); }
std::string cvs4(const std::string& d) { return pad4("??" + be(d.size()) + d); }
std::string db(uint32_t length, uint32_t n, char fill = 'h') { return db3_header(length, length / 8 + 9, fill, n); }
std::string recs(size_t length, std::vector<std::string> keys) {  // DB3: the flag byte, the key
  for (auto& k : keys) k = (k + std::string(length, '-')).substr(0, length);
  return concat(keys);
}

// Input files i0 i1 ..., the output expected (none after a failure), and the output file before the run.
struct Row { std::string control; std::vector<std::string> in; std::string out; uint32_t status = 0; std::optional<std::string> old = {}; };

TEST(FileTypes, FramingEndMarksHeadersAppendRangesAndLimits) {
  ScratchDir probe;
  write_file("p", "a\n");
  ASSERT_EQ(run("p", "q", "CORE (60)").status, 0u);
  const uint32_t buffer = zara::gv.buffer_size, table = zara::gv.record_capacity;
  const std::string fe = "SORT (1,4,CH,A) FILETYPE (FE) RECORD (4)", rv = "FILETYPE (RV) SORT (1,3,CH,";
  const std::string gp = "SORT (1,2,CH,A) FILETYPE (GP,(124,124),(69,78,68))", cvs = "SORT (1,5,CH,A) FILETYPE (CVS)";
  const std::string db3 = "SORT (2,2,CH,A) FILETYPE (DB3)", sort = "SORT (1,1,CH,A) CORE (60)", two = "SORT (1,2,CH,A)";
  const std::vector<std::string> ab = {"a1\na2\n", "b1\nb2\n"}, eof = {"b\nxx\x1Ayy\nq\n", "a\n"};
  const std::string big = std::string(buffer - 1, 'm') + "\n", many = big + concat(keyed_lines(3000, 1)), a300(300, 'a');
  std::vector<std::string> keys;
  for (int i = 0; i < 2000; ++i) keys.push_back(" " + std::to_string(12000 - i) + "--");
  std::string ca;  // what OMIT keeps of c..., b..., a...
  std::vector<std::string> straddling, cba, full = {"~" + std::string(buffer - 10, '#') + "\n"};  // work-file form: a buffer
  for (int i = 0; i < 4000; ++i)  // and records of the largest key whose work-file form fills a buffer exactly
    straddling.push_back((i % 450 == 17 ? "~" + std::string(buffer - 10, '=') : "abcdef"[i % 6] + std::string(i % 300, '=')) + "\n");
  for (uint32_t i = 1; i < table; ++i) full.push_back("b" + std::to_string(i) + "\n");
  for (const char k : {'c', 'b', 'a'})
    for (uint32_t i = 0; i < table; ++i)
      if (const std::string& r = cba.emplace_back(k + std::to_string(i) + "\n"); k != 'b') ca += r;
  const std::string bypass = "SORT (1,1,CH,A) BYPASS (6,", cvs_form = cvs_header(4096) + cvs4("zz") + cvs4("mmmmm");
  const Row rows[] = {
      {"SORT (1,5,CH,A) FILETYPE (FIX,5)", {"cccccaaaaabbbbbzz"}, "aaaaabbbbbccccc"},
      {"RECORD (5)", {"aaaaabb", "ccccc"}, "aaaaaccccc"},  // each file its own tail
      {fe, {"ddddb\x1A" "bb\x1A" "xxxaaaa"}, "b\x1A" "bbdddd" + E},  // 0x1A ends the data at a record's start
      {fe, {"ddddbbbb" + E}, "bbbbdddd" + E}, {"SORT (1,4,CH,A) FILETYPE (FE,35) RECORD (4)", {"ddddbbbb#zzzaaaa"}, "bbbbdddd#"},
      {"", {"b\r\na\nc\ftail"}, "b\r\na\nc\f"}, {two, {"", "b\na\n", ""}, "a\nb\n"}, {two, {""}, "", 0, "old\n"},
      {"SORT (1,3,CH,A)", {"b\r\na\nc\ftail"}, "\na\nb\rc\f"},  // CR LF: two records
      // 0x1A drops its partial line, ends its own file, and ends the output when it ended the last input.
      {two, eof, "a\nb\n"}, {two, {eof[1], eof[0]}, "a\nb\n" + E},
      {"SORT (1,3,CH,A) FILETYPE (VS)", {vs("cc") + vs("a") + vs("") + le(9) + "abc"}, vs("") + vs("a") + vs("cc")},
      {rv + "A)", {"RV" + le(255) + rv1("ccc") + rv1("a"), "RV" + le(256) + rv1("bb")},  // the first header rules
       "RV" + le(255) + rv1("a") + rv1("bb") + rv1("ccc")},
      {rv + "D)", {"RV" + le(256) + rv2("ccc") + rv2(a300) + rv2("bb")}, "RV" + le(256) + rv2("ccc") + rv2("bb") + rv2(a300)},
      // 4 bytes at a record boundary are never framed, though they hold one.
      {cvs, {cvs_header(4095) + cvs2("ccccc") + cvs2("a") + be(2) + "zz"}, cvs_header(4095) + cvs2("a") + cvs2("ccccc")},
      {cvs, {cvs_header(4096) + cvs4("ccc") + cvs4("") + cvs4("b")}, cvs_header(4096) + cvs4("") + cvs4("b") + cvs4("ccc")},
      {"SORT (1,4,CH,A) FILETYPE (PRE,4) LIMIT (2)", {"ccccaaaabbbbzzz"}, "aaaacccc" + std::string(7, '\0')},
      {gp, {"c||a||b||ENDd||"}, "a||b||c||END"}, {gp, {"c||a||tail"}, "a||c||"},  // "||", "END"
      {"SORT (1,1,CH,A) FILETYPE (GP,(124),(124,88))", {"b|Xa||"}, "Xa|b||"},  // the delimiter before the end string
      {"SORT (1,4,CH,A) FILETYPE (PRE,4)", {"ddddeeee", "ccccaaaabbbbzzz"}, "aaaabbbbccccddddeeee"},
      {cvs, {cvs_form, cvs_header(10) + cvs4("a")}, cvs_header(4096) + cvs4("a") + cvs4("mmmmm") + cvs4("zz")},
      // Headers too short for what they must hold: 217 (the save file made before that stays).
      {db3, {db3_header(64, 0)}, "", 217}, {db3, {db3_header(31, 10)}, "", 217}, {db3, {"\x03\x7D\x01"}, "", 217},
      {db3, {db(290, 0).substr(0, 200)}, "", 217}, {cvs, {std::string(100, 'h')}, "", 217}, {cvs, {std::string(40, 'h')}, "", 217},
      {"FILETYPE (RV)", {"RV\x01"}, "", 217}, {db3 + " CORE (60)", {db3_header(64, 2000) + recs(2000, {" a"})}, "", 245},
      {"FILETYPE (DB3) CORE (60)", {db(290, 9, 'b') + recs(45, {"*b", " a"}), db(290, 9, 'a') + recs(45, {" c"}) + E},
       db(290, 3, 'b') + recs(45, {"*b", " a", " c"}) + E},
      {"SORT (2,2,CH,D) FILETYPE (DB3) INCLUDE (2,1,CH,EQ,\"a\")", {db(64, 0) + recs(17, {" b1", " a1", " b2", " a2"}) + E},
       db(64, 2) + recs(17, {" a2", " a1"}) + E},
      {db3, {db(64, 0) + recs(17, {" b", " a"}), db(64, 0).substr(0, 20)}, db(64, 2) + recs(17, {" a", " b"}) + E},
      {bypass + "D)", {"HDR-A\nb\nd\n", "HDR-B\nc\na\n"}, "a\nb\nc\nd\n"},
      {bypass + "R)", {"HDR-A\nb\nd\n", "HDR-B\nc\na\n"}, "HDR-A\na\nb\nc\nd\n"},
      {"SORT (1,3,CH,A) RECORD (3) BYPASS", {"HDRcccaaabbb"}, "HDRaaabbbccc"}, {"BYPASS", {"b\na\n"}, "b\na\n"},
      {db3 + " CORE (60)", {db3_header(3000, 12).substr(0, 2 * buffer)}, "", 217}, {"FILETYPE (PRE,4)", {""}, ""},
      // The first header frames every input, the output's counts its records; one over a buffer passes in pieces.
      {db3, {db(290, 9, 'a') + recs(45, {" c", " a"}) + E, db(290, 9, 'b') + recs(45, {"*b"})},
       db(290, 3, 'a') + recs(45, {" a", "*b", " c"}) + E},
      {db3 + " CORE (60)", {db(3000, 0) + recs(384, {" b", " a"})}, db(3000, 2) + recs(384, {" a", " b"}) + E},
      {"SORT (2,5,CH,A) FILETYPE (DB3) CORE (60)", {db3_header(40, 8) + concat(keys) + E}, db3_header(40, 8, 'h', 2000) + sorted_by_prefix(keys, 8) + E},
      // Records are numbered straight through the inputs; LIMIT ends all reading.
      {"SORT (1,1,CH,D) LIMIT (3)", ab, "b1\na1\na2\n"}, {"ORIGIN (3) LIMIT (3)", ab, "b1\n"},
      {"SORT (1,2,CH,D) ORIGIN (3)", ab, "b2\nb1\n"},
      {"SORT (1,1,CH,A) APPEND", {"b\na\n"}, "old\na\nb\n", 0, "old\n" + E},  // TXT loses its 0x1A
      {"SORT (1,1,CH,A) APPEND", {"b\na\n"}, "olda\nb\n", 0, "old"}, {"APPEND", {"b\na\n"}, "b\na\n"},
      {"SORT (1,1,CH,A) APPEND", {"b\na\n"}, "", 210, ""},  // no last byte to look at
      {fe + " APPEND", {"bbbbaaaa"}, "cccc" + E + "aaaabbbb" + E, 0, "cccc" + E},
      {db3 + " APPEND", {db(32, 0) + recs(13, {" z"}) + E},  // the old header takes this run's count
       db(32, 1) + recs(13, {" a"}) + E + db(32, 0) + recs(13, {" z"}) + E, 0, db(32, 7) + recs(13, {" a"}) + E},
      // Against 1 KiB buffers: a whole buffer is written plainly, never in work-file form (8 bytes more).
      {sort, {"a\n" + std::string(buffer, 'x') + "\nb\n"}, "", 245}, {sort, {many}, "", 315}, {"CORE (60)", {many}, many},
      {sort, {"z\n" + big + "a\n"}, "a\n" + big + "z\n"}, {sort, {concat(straddling)}, sorted_by_prefix(straddling, 1)},
      {"CORE (60) RECORD (" + std::to_string(buffer + 1) + ")", {std::string(buffer + 1, 'x')}, "", 245},
      {"CORE (60) RECORD (" + std::to_string(buffer) + ")", {std::string(buffer, 'y')}, std::string(buffer, 'y')},
      // One run of a full table, the next load empty: the final merge copies the run; a load that OMIT empties
      // writes no run; a run of a record that fills a buffer in work-file form, then one of a record.
      {sort, {concat(keyed_lines(table, 6))}, sorted_by_prefix(keyed_lines(table, 6), 1)},
      {"SORT (1,1,CH,D) CORE (60) OMIT (1,1,CH,EQ,\"b\")", {concat(cba) + "d\n"}, "d\n" + ca},
      {sort, {concat(full) + "a\n"}, "a\n" + sorted_by_prefix(full, 1)},
  };
  for (const Row& r : rows) {
    ScratchDir dir;
    std::string names;
    for (size_t i = 0; i < r.in.size(); ++i) write_file("i" + std::to_string(i), r.in[i]), names += " i" + std::to_string(i);
    if (r.old) write_file("out", *r.old);
    size_t files = r.in.size() + 1;  // and links at every work-file name of the next seconds: never followed
    for (time_t t = time(nullptr) - 1, end = t + 6; t < end; ++t)
      for (const char* suffix : {"", "1", "2", "3", "X", "z"})
        files += symlink("i0", ("sw" + std::to_string(1000000 + t % 1000000).substr(1) + ".00" + suffix).c_str()) == 0;
    const int fds = count_open_fds();
    EXPECT_EQ(run(names, "out", r.control).status, r.status) << r.control;
    EXPECT_EQ(file_exists("out") ? read_file("out") : "(none)", r.status ? r.old.value_or("(none)") : r.out) << r.control;
    EXPECT_TRUE(count_open_fds() == fds && read_file("i0") == r.in[0]) << r.control;
    EXPECT_TRUE(r.status || dir.files().size() == files) << r.control;  // the header save file removed, links kept
  }
}

// The operator prompt comes before the output exists: once for a sort (after its loads), before every load of a copy.
TEST(FileTypes, PausePromptsBeforeTheOutputExists) {
  ScratchDir dir;
  write_file("in", concat(keyed_lines(1500, 2)));
  for (const char* control : {"SORT (1,2,CH,D) CORE (60) PAUSE", "CORE (60) PAUSE"}) {
    uint32_t prompts = 0;
    const ChildResult child = run_in_child([&](uint32_t* loads) {
      zara_progress last{};
      zara_set_progress([](const zara_progress* p, void* last) { *static_cast<zara_progress*>(last) = *p; }, &last);
      const RunResult r = run("in", "out", control);
      return *loads = control[0] == 'S' ? 1 : last.memory_loads, r;
    }, [&](int to_child, int from_child) {
      for (char got[80]; read(from_child, got, sizeof got) == 62 && (prompts || !file_exists("out")) &&
                         std::string(got, 62) == "Ready to create output file\nchange diskettes and press return\n";)
        prompts += write(to_child, "\n", 1) == 1;
    });
    EXPECT_TRUE(child.exited && child.run.status == 0 && child.extra > 0 && prompts == child.extra) << control;
    unlink("out");
  }
}

}  // namespace
}  // namespace zara_test
