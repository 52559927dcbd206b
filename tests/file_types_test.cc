// Whole runs over real files of every file type: how input bytes are framed
// into records, where the data ends, what the output ends with, APPEND,
// record ranges, the limits of the sort and output buffers, and the
// operator prompt.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "engine/run_state.h"
#include "tests/child_run.h"
#include "tests/test_support.h"

namespace zara_test {
namespace {

const std::string kEof(1, '\x1A');

std::string le16(uint32_t v) {
  return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}
std::string be16(uint32_t v) {
  return std::string{static_cast<char>((v >> 8) & 0xFF), static_cast<char>(v & 0xFF)};
}

// A VS record: 2-byte little-endian length, then the data.
std::string vs(const std::string& data) { return le16(data.size()) + data; }

// RV: a 4-byte header whose value at offset 2 chooses the length field.
std::string rv_header(uint32_t form_value) { return "RV" + le16(form_value); }
std::string rv1(const std::string& data) {
  return std::string(1, static_cast<char>(data.size())) + data + "~";
}
std::string rv2(const std::string& data) { return le16(data.size()) + data + "~~"; }

// CVS: a 128-byte header whose big-endian value at offset 56 chooses the
// prefix; records are padded to a multiple of 4 bytes.
std::string cvs_header(uint32_t form_value) {
  std::string h(128, 'h');
  h.replace(56, 2, be16(form_value));
  return h;
}
std::string pad4(std::string record) {
  while (record.size() % 4 != 0) record += '.';
  return record;
}
// The top 4 bits of a 2-byte prefix are not part of the length.
std::string cvs2(const std::string& data) {
  return pad4(be16(0xF000 | static_cast<uint32_t>(data.size())) + data);
}
// Bytes 0 and 1 of a 4-byte prefix are not examined.
std::string cvs4(const std::string& data) { return pad4("??" + be16(data.size()) + data); }

// The size of a sort buffer (and of the output buffer) of a run with this
// CORE value in this process, read back after a trivial run.
uint32_t buffer_size_with(const std::string& core) {
  ScratchDir dir;
  write_file("probe.txt", "a\n");
  const RunResult r = run("probe.txt", "probe.out", "SORT (1,1,CH,A) " + core);
  return r.status == 0 ? zara::gv.buffer_size : 0;
}

std::string repeat_lines(int n, int width) {
  std::string out;
  for (int i = 0; i < n; ++i) {
    std::string line = std::to_string(i);
    line.resize(static_cast<size_t>(width), '.');
    out += line + "\n";
  }
  return out;
}

// ---- framing and end of data, type by type ----

TEST(FileTypes, FixedRecordsDropAShortTail) {
  ScratchDir dir;
  write_file("in.dat", "ccccc" "aaaaa" "bbbbb" "zz");
  const RunResult r = run("in.dat", "out.dat", "SORT (1,5,CH,A) FILETYPE (FIX,5)");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 3u);
  EXPECT_EQ(read_file("out.dat"), "aaaaabbbbbccccc");

  // RECORD alone gives the same file type.
  ASSERT_EQ(run("in.dat", "out2.dat", "SORT (1,5,CH,D) RECORD (5)").status, 0u);
  EXPECT_EQ(read_file("out2.dat"), "cccccbbbbbaaaaa");
}

TEST(FileTypes, FixedWithEndMarkStopsAtARecordStartingWithTheEndCharacter) {
  ScratchDir dir;
  // 0x1A inside a record is data; at a record's first byte it ends the file,
  // whatever follows.
  write_file("in.dat", "dddd" "b\x1A" "bb" "\x1A" "xxx" "aaaa");
  RunResult r = run("in.dat", "out.dat", "SORT (1,4,CH,A) FILETYPE (FE) RECORD (4)");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 2u);
  EXPECT_EQ(read_file("out.dat"), "b\x1A" "bb" "dddd" + kEof);

  // A lone end character after the last record is shorter than a record: it
  // is dropped as a tail, and the output still gets its own end mark.
  write_file("tail.dat", "dddd" "bbbb" + kEof);
  r = run("tail.dat", "out.dat", "SORT (1,4,CH,A) FILETYPE (FE) RECORD (4)");
  EXPECT_EQ(r.records, 2u);
  EXPECT_EQ(read_file("out.dat"), "bbbbdddd" + kEof);

  // Without any end mark the output still ends with one.
  write_file("plain.dat", "dddd" "bbbb");
  ASSERT_EQ(run("plain.dat", "out.dat", "SORT (1,4,CH,A) FILETYPE (FE) RECORD (4)").status, 0u);
  EXPECT_EQ(read_file("out.dat"), "bbbbdddd" + kEof);

  // Another end character: '#'.
  write_file("hash.dat", "dddd" "bbbb" "#zzz" "aaaa");
  r = run("hash.dat", "out.dat", "SORT (1,4,CH,A) FILETYPE (FE,35) RECORD (4)");
  EXPECT_EQ(r.records, 2u);
  EXPECT_EQ(read_file("out.dat"), "bbbbdddd#");
}

TEST(FileTypes, TextLinesEndAtLineFeedCarriageReturnOrFormFeed) {
  ScratchDir dir;
  // CR LF is two records: the line with its CR, then the LF alone.
  write_file("in.txt", "b\r\na\n" "c\f" "tail without end");
  RunResult r = run("in.txt", "out.txt", "SORT (1,3,CH,A)");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 4u);
  EXPECT_EQ(read_file("out.txt"), "\n" "a\n" "b\r" "c\f");

  // A copy run keeps them in input order.
  r = run("in.txt", "copy.txt", "");
  EXPECT_EQ(r.records, 4u);
  EXPECT_EQ(read_file("copy.txt"), "b\r\na\nc\f");
}

TEST(FileTypes, TextEndMarkEndsOnlyItsOwnFile) {
  ScratchDir dir;
  // The partial line before 0x1A is dropped with everything after it; the
  // next file is read as usual.
  write_file("a.txt", "b\nxx\x1Ayy\nq\n");
  write_file("b.txt", "a\n");
  RunResult r = run("a.txt b.txt", "out.txt", "SORT (1,2,CH,A)");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 2u);
  // The last input read had no end mark, so neither has the output.
  EXPECT_EQ(read_file("out.txt"), "a\nb\n");

  // When the last input read ends in 0x1A the output does too.
  r = run("b.txt a.txt", "out2.txt", "SORT (1,2,CH,A)");
  EXPECT_EQ(r.records, 2u);
  EXPECT_EQ(read_file("out2.txt"), "a\nb\n" + kEof);
}

TEST(FileTypes, LengthPrefixedRecords) {
  ScratchDir dir;
  // Position 1 is the first byte after the 2-byte prefix; an empty record
  // has an empty key. A prefix promising more than the file holds is a tail.
  write_file("in.vs", vs("ccc") + vs("a") + vs("") + vs("bb") + le16(9) + "abc");
  const RunResult r = run("in.vs", "out.vs", "SORT (1,3,CH,A) FILETYPE (VS)");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 4u);
  EXPECT_EQ(read_file("out.vs"), vs("") + vs("a") + vs("bb") + vs("ccc"));
}

TEST(FileTypes, RelativeVariableRecordsInBothForms) {
  ScratchDir dir;
  const std::string one = rv_header(255);
  write_file("one.rv", one + rv1("ccc") + rv1("a") + rv1("bb"));
  RunResult r = run("one.rv", "one.out", "SORT (1,3,CH,A) FILETYPE (RV)");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 3u);
  EXPECT_EQ(read_file("one.out"), one + rv1("a") + rv1("bb") + rv1("ccc"));

  const std::string two = rv_header(256);
  write_file("two.rv", two + rv2("ccc") + rv2(std::string(300, 'a')) + rv2("bb"));
  r = run("two.rv", "two.out", "SORT (1,3,CH,D) FILETYPE (RV)");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 3u);
  EXPECT_EQ(read_file("two.out"), two + rv2("ccc") + rv2("bb") + rv2(std::string(300, 'a')));
}

TEST(FileTypes, CountedVariableRecordsInBothForms) {
  ScratchDir dir;
  const std::string h2 = cvs_header(4095);
  // The last 4 bytes would hold a whole record (prefix and 2 bytes) but 4
  // bytes at a record boundary are never framed: at the end they drop.
  write_file("two.cvs", h2 + cvs2("ccccc") + cvs2("a") + cvs2("bb") + be16(2) + "zz");
  RunResult r = run("two.cvs", "two.out", "SORT (1,5,CH,A) FILETYPE (CVS)");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 3u);
  EXPECT_EQ(read_file("two.out"), h2 + cvs2("a") + cvs2("bb") + cvs2("ccccc"));

  const std::string h4 = cvs_header(4096);
  write_file("four.cvs", h4 + cvs4("ccc") + cvs4("aaaa") + cvs4("") + cvs4("b"));
  r = run("four.cvs", "four.out", "SORT (1,4,CH,A) FILETYPE (CVS)");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 4u);
  EXPECT_EQ(read_file("four.out"), h4 + cvs4("") + cvs4("aaaa") + cvs4("b") + cvs4("ccc"));
}

TEST(FileTypes, PaddedOutputGrowsToTheFirstInputsSize) {
  ScratchDir dir;
  write_file("a.pre", "cccc" "aaaa" "bbbb" "zzz");  // 15 bytes, 3 records
  RunResult r = run("a.pre", "out.pre", "SORT (1,4,CH,A) FILETYPE (PRE,4) LIMIT (2)");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 2u);
  EXPECT_EQ(read_file("out.pre"), "aaaacccc" + std::string(7, '\0'));

  // An output already longer than the first input gets nothing.
  write_file("b.pre", "dddd" "eeee");
  r = run("b.pre a.pre", "out2.pre", "SORT (1,4,CH,A) FILETYPE (PRE,4)");
  EXPECT_EQ(r.records, 5u);
  EXPECT_EQ(read_file("out2.pre"), "aaaabbbbccccddddeeee");
}

TEST(FileTypes, GeneralPurposeDelimiterAndEndString) {
  ScratchDir dir;
  const std::string gp = "SORT (1,2,CH,A) FILETYPE (GP,(124,124),(69,78,68))";  // "||", "END"
  write_file("in.gp", "c||a||b||ENDd||");
  RunResult r = run("in.gp", "out.gp", gp);
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 3u);
  EXPECT_EQ(read_file("out.gp"), "a||b||c||END");

  // Without the end string in the input, the output has none; a tail
  // without a delimiter is dropped.
  write_file("open.gp", "c||a||tail");
  r = run("open.gp", "out2.gp", gp);
  EXPECT_EQ(r.records, 2u);
  EXPECT_EQ(read_file("out2.gp"), "a||c||");

  // The delimiter is tested before the end string at each position.
  write_file("clash.gp", "b|Xa||");
  r = run("clash.gp", "out3.gp", "SORT (1,1,CH,A) FILETYPE (GP,(124),(124,88))");
  EXPECT_EQ(r.records, 3u);
  EXPECT_EQ(read_file("out3.gp"), "Xa|b||");
}

TEST(FileTypes, DbaseTableWithALoneEndCharacterTail) {
  ScratchDir dir;
  std::string header(32, '\0');
  header[0] = 0x03;
  header.replace(8, 2, le16(33));
  header.replace(10, 2, le16(5));
  header += '\x0D';  // end of the field descriptors
  write_file("in.dbf", header + " cccc" " aaaa" "*bbbb" + kEof);
  const RunResult r = run("in.dbf", "out.dbf", "SORT (2,4,CH,A) FILETYPE (DB3)");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 3u);  // a record marked deleted is sorted like any other
  std::string expected = header + " aaaa" "*bbbb" " cccc" + kEof;
  expected.replace(4, 4, std::string("\x03\0\0\0", 4));
  EXPECT_EQ(read_file("out.dbf"), expected);
}

// ---- several files, empty files, record ranges ----

TEST(FileTypes, EmptyInputsContributeNothing) {
  ScratchDir dir;
  write_file("empty.txt", "");
  write_file("a.txt", "b\na\n");
  RunResult r = run("empty.txt a.txt empty.txt", "out.txt", "SORT (1,1,CH,A)");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 2u);
  EXPECT_EQ(read_file("out.txt"), "a\nb\n");

  write_file("out.txt", "old contents\n");
  r = run("empty.txt", "out.txt", "SORT (1,1,CH,A)");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 0u);
  EXPECT_TRUE(file_exists("out.txt"));
  EXPECT_EQ(read_file("out.txt"), "");  // an existing output is truncated
}

TEST(FileTypes, RecordsAreNumberedStraightThroughTheInputs) {
  ScratchDir dir;
  write_file("a.txt", "a1\na2\n");
  write_file("b.txt", "b1\nb2\n");
  const int fds = count_open_fds();
  // LIMIT counts across files; the second file is closed once it is passed.
  RunResult r = run("a.txt b.txt", "out.txt", "SORT (1,1,CH,D) LIMIT (3)");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(read_file("out.txt"), "b1\na1\na2\n");
  EXPECT_EQ(count_open_fds(), fds);

  // ORIGIN drops only the records numbered below it: record 3 is b1.
  r = run("a.txt b.txt", "out.txt", "SORT (1,2,CH,D) ORIGIN (3)");
  EXPECT_EQ(read_file("out.txt"), "b2\nb1\n");
  r = run("a.txt b.txt", "out.txt", "ORIGIN (2)");
  EXPECT_EQ(read_file("out.txt"), "a2\nb1\nb2\n");
  r = run("a.txt b.txt", "out.txt", "ORIGIN (3) LIMIT (3)");
  EXPECT_EQ(r.records, 1u);
  EXPECT_EQ(read_file("out.txt"), "b1\n");

  // A name listed twice is read twice, and the numbers go on.
  r = run("a.txt,b.txt a.txt", "out.txt", "ORIGIN (5)");
  EXPECT_EQ(read_file("out.txt"), "a1\na2\n");
}

TEST(FileTypes, EachFileDropsItsOwnTail) {
  ScratchDir dir;
  // The 2-byte tail of the first file is not completed by the second file.
  write_file("a.dat", "aaaaabb");
  write_file("b.dat", "ccccc");
  const RunResult r = run("a.dat b.dat", "out.dat", "RECORD (5)");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(read_file("out.dat"), "aaaaaccccc");
}

TEST(FileTypes, InputAndOutputNames) {
  ScratchDir dir;
  write_file("a.txt", "a1\n");
  write_file("b.txt", "b1\n");
  write_file("my file.txt", "q\n");
  // Names are separated by blanks, commas and plus signs; a quoted name
  // holds a blank; the output name is its text's first word.
  RunResult r = run("a.txt+\"my file.txt\",b.txt", "  out.txt ignored", "");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(read_file("out.txt"), "a1\nq\nb1\n");
  EXPECT_FALSE(file_exists("ignored"));

  // A copy run may not write over one of its inputs...
  r = run("a.txt b.txt", "b.txt", "");
  EXPECT_EQ(r.status, 211u);
  EXPECT_EQ(read_file("b.txt"), "b1\n");
  // ...but that check takes "a.txt,b.txt" for one name.
  r = run("a.txt,b.txt", "b.txt", "");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(read_file("b.txt"), "a1\nb1\n");

  // A sort reads all input before it creates the output, in one load or
  // through work files, so it may sort a file onto itself.
  write_file("self.txt", repeat_lines(3000, 4) + "!\n");
  r = run("self.txt", "self.txt", "SORT (1,1,CH,A) CORE (60)");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 3001u);
  EXPECT_EQ(read_file("self.txt").substr(0, 2), "!\n");
  // Not when it selects records, unless OVERWRITE says so.
  const std::string before = read_file("self.txt");
  r = run("self.txt", "self.txt", "SORT (1,1,CH,A) OMIT (1,1,CH,EQ,\"!\")");
  EXPECT_EQ(r.status, 211u);
  EXPECT_EQ(read_file("self.txt"), before);
  r = run("self.txt", "self.txt", "SORT (1,1,CH,A) OMIT (1,1,CH,EQ,\"!\") OVERWRITE");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 3000u);
}

TEST(FileTypes, FailuresWhileReadingCloseEveryDescriptor) {
  ScratchDir dir;
  write_file("a.txt", repeat_lines(3000, 4));
  const int fds = count_open_fds();
  // The second input is missing: the first was read, runs were written.
  RunResult r = run("a.txt missing.txt", "out.txt", "SORT (1,4,CH,A) CORE (60)");
  EXPECT_EQ(r.status, 214u);
  EXPECT_EQ(count_open_fds(), fds);
  r = run("a.txt missing.txt", "out.txt", "CORE (60)");
  EXPECT_EQ(r.status, 214u);
  EXPECT_EQ(count_open_fds(), fds);
  // A work directory that does not exist: the probe cannot be created.
  r = run("a.txt", "out.txt", "SORT (1,4,CH,A) WORKDRIVE (nowhere/)");
  EXPECT_EQ(r.status, 329u);
  EXPECT_EQ(count_open_fds(), fds);
}

// ---- the sizes of the sort and output buffers ----

TEST(FileTypes, RecordsStraddlingSortBuffersAreFoundWhole) {
  const uint32_t buffer = buffer_size_with("CORE (60)");
  ASSERT_GT(buffer, 0u);
  ScratchDir dir;
  // Lines of 97 bytes never line up with a buffer end.
  std::vector<std::string> lines_in;
  std::string text;
  for (int i = 0; i < 150; ++i) {
    std::string line = std::to_string((i * 37) % 150 + 1000) + std::string(92, 'x') + "\n";
    text += line;
    lines_in.push_back(line);
  }
  write_file("in.txt", text);
  const RunResult r = run("in.txt", "out.txt", "SORT (1,4,CH,A) CORE (60)");
  ASSERT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 150u);
  std::sort(lines_in.begin(), lines_in.end());
  std::string expected;
  for (const auto& l : lines_in) expected += l;
  EXPECT_EQ(read_file("out.txt"), expected);
}

TEST(FileTypes, ARecordLongerThanASortBufferFailsWith245) {
  const uint32_t buffer = buffer_size_with("CORE (60)");
  ASSERT_GT(buffer, 0u);
  ScratchDir dir;
  write_file("long.txt", "a\n" + std::string(buffer, 'x') + "\n" + "b\n");
  const int fds = count_open_fds();
  RunResult r = run("long.txt", "out.txt", "SORT (1,1,CH,A) CORE (60)");
  EXPECT_EQ(r.status, 245u);
  EXPECT_EQ(count_open_fds(), fds);

  write_file("long.dat", std::string(buffer + 1, 'x'));
  r = run("long.dat", "out.dat", "RECORD (" + std::to_string(buffer + 1) + ") CORE (60)");
  EXPECT_EQ(r.status, 245u);
  EXPECT_EQ(count_open_fds(), fds);

  // A record of exactly one buffer is framed.
  write_file("full.dat", std::string(buffer, 'y'));
  r = run("full.dat", "out.dat", "RECORD (" + std::to_string(buffer) + ") CORE (60)");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 1u);
}

TEST(FileTypes, ARecordFillingTheOutputBufferFitsOnlyInPlainForm) {
  const uint32_t buffer = buffer_size_with("CORE (60)");
  ASSERT_GT(buffer, 0u);
  ScratchDir dir;
  const std::string big = std::string(buffer - 1, 'm') + "\n";
  // One memory load: written straight to the output, where it just fits.
  write_file("one.txt", "z\n" + big + "a\n");
  RunResult r = run("one.txt", "out.txt", "SORT (1,1,CH,A) CORE (60)");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(read_file("out.txt"), "a\n" + big + "z\n");

  // Many records make several loads: the first goes to a work file, where
  // the 8 bytes of the work-file form no longer fit.
  write_file("many.txt", big + repeat_lines(3000, 3));
  const int fds = count_open_fds();
  r = run("many.txt", "out.txt", "SORT (1,1,CH,A) CORE (60)");
  EXPECT_EQ(r.status, 315u);
  EXPECT_EQ(count_open_fds(), fds);

  // A copy run never uses work files: the same input is copied whole.
  r = run("many.txt", "copy.txt", "CORE (60)");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 3001u);
  EXPECT_EQ(read_file("copy.txt"), read_file("many.txt"));
}

// ---- copy runs ----

TEST(FileTypes, ACopyRunKeepsInputOrderAcrossLoadsWithoutWorkFiles) {
  ScratchDir dir;
  const std::string text = repeat_lines(5000, 7);
  write_file("a.txt", text);
  PassCounter passes;
  const RunResult r = run("a.txt", "out.txt", "CORE (60)");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 5000u);
  EXPECT_EQ(read_file("out.txt"), text);
  EXPECT_GT(passes.loads(), 2u);
  EXPECT_EQ(passes.most_work_files(), 0u);
  EXPECT_EQ(passes.merges(), 0u);
  EXPECT_EQ(dir.files(), (std::vector<std::string>{"a.txt", "out.txt"}));
}

// ---- APPEND ----

TEST(FileTypes, AppendWritesAfterTheExistingOutput) {
  ScratchDir dir;
  write_file("in.txt", "b\na\n");
  // A TXT output loses its trailing 0x1A.
  write_file("out.txt", "old\n" + kEof);
  RunResult r = run("in.txt", "out.txt", "SORT (1,1,CH,A) APPEND");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(read_file("out.txt"), "old\na\nb\n");

  // Any other last byte stays.
  write_file("out.txt", "old");
  run("in.txt", "out.txt", "SORT (1,1,CH,A) APPEND");
  EXPECT_EQ(read_file("out.txt"), "olda\nb\n");

  // A missing output is created.
  r = run("in.txt", "new.txt", "APPEND");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(read_file("new.txt"), "b\na\n");

  // An empty TXT output has no last byte to look at.
  write_file("empty.txt", "");
  const int fds = count_open_fds();
  r = run("in.txt", "empty.txt", "SORT (1,1,CH,A) APPEND");
  EXPECT_EQ(r.status, 210u);
  EXPECT_EQ(count_open_fds(), fds);
}

TEST(FileTypes, AppendKeepsTheEndMarksOfOtherTypes) {
  ScratchDir dir;
  write_file("in.dat", "bbbbaaaa");
  write_file("out.dat", "cccc" + kEof);
  const RunResult r = run("in.dat", "out.dat", "SORT (1,4,CH,A) FILETYPE (FE) RECORD (4) APPEND");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(read_file("out.dat"), "cccc" + kEof + "aaaabbbb" + kEof);
}

TEST(FileTypes, AppendToATableWritesItsHeaderAgainAndCountsThisRunOnly) {
  ScratchDir dir;
  std::string header(32, 'h');
  header[0] = 0x03;
  header.replace(4, 4, std::string(4, '\0'));
  header.replace(8, 2, le16(32));
  header.replace(10, 2, le16(3));
  write_file("in.dbf", header + " bb" " aa" + kEof);
  ASSERT_EQ(run("in.dbf", "out.dbf", "SORT (2,2,CH,A) FILETYPE (DB3)").status, 0u);
  std::string first = read_file("out.dbf");
  ASSERT_EQ(first.size(), 32u + 6u + 1u);

  write_file("more.dbf", header + " zz" + kEof);
  const RunResult r = run("more.dbf", "out.dbf", "SORT (2,2,CH,A) FILETYPE (DB3) APPEND");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 1u);
  first.replace(4, 4, std::string("\x01\0\0\0", 4));
  std::string again = header;
  again.replace(4, 4, std::string(4, '\0'));
  EXPECT_EQ(read_file("out.dbf"), first + again + " zz" + kEof);
}

// ---- random files against a model of the framing ----

// The file types as a reader sees them; the model frames a file's bytes
// (after its header) into records and tells whether the end of the data
// was marked.
struct TypeModel {
  uint32_t type = zara::kTxt;
  uint32_t record_length = 0;
  uint32_t prefix_width = 0;
  std::string delim, end_string;
};

struct Framed {
  std::vector<std::string> records;
  bool end_mark = false;
};

Framed frame_model(const TypeModel& m, const std::string& b) {
  Framed f;
  size_t at = 0;
  auto u8 = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(b[i])); };
  for (;;) {
    const size_t left = b.size() - at;
    size_t len = 0;
    switch (m.type) {
      case zara::kFix: case zara::kPre:
        len = left >= m.record_length ? m.record_length : 0;
        break;
      case zara::kFe: case zara::kDb3:
        if (left < m.record_length) return f;
        if (b[at] == '\x1A') { f.end_mark = true; return f; }
        len = m.record_length;
        break;
      case zara::kTxt:
        for (size_t i = at; i < b.size() && !len; ++i) {
          if (b[i] == '\n' || b[i] == '\r' || b[i] == '\f') len = i - at + 1;
          else if (b[i] == '\x1A') { f.end_mark = true; return f; }
        }
        break;
      case zara::kVs:
        if (left > 1) len = u8(at) + (u8(at + 1) << 8) + 2;
        break;
      case zara::kRv:
        if (left > 1) len = m.prefix_width == 1 ? u8(at) + 2 : u8(at) + (u8(at + 1) << 8) + 4;
        break;
      case zara::kCvs:
        if (left > 4) {
          len = m.prefix_width == 2 ? 2 + (((u8(at) << 8) | u8(at + 1)) & 0xFFF)
                                    : 4 + ((u8(at + 2) << 8) | u8(at + 3));
          len = (len + 3) & ~size_t{3};
        }
        break;
      case zara::kGp:
        for (size_t i = at; i < b.size() && !len; ++i) {
          if (b.size() - i >= m.delim.size() && b.compare(i, m.delim.size(), m.delim) == 0) {
            len = i - at + m.delim.size();
          } else if (!m.end_string.empty() && b.size() - i >= m.end_string.size() &&
                     b.compare(i, m.end_string.size(), m.end_string) == 0) {
            f.end_mark = true;
            return f;
          }
        }
        break;
    }
    if (len == 0 || len > left) return f;
    f.records.push_back(b.substr(at, len));
    at += len;
  }
}

// Random bytes drawn mostly from `alphabet`.
std::string noise(std::mt19937& g, size_t n, const std::string& alphabet) {
  std::string s;
  for (size_t i = 0; i < n; ++i)
    s += g() % 8 ? alphabet[g() % alphabet.size()] : static_cast<char>(g() & 0xFF);
  return s;
}

// The bytes of one input file of the model's type, without its header.
std::string random_body(std::mt19937& g, const TypeModel& m) {
  const int count = static_cast<int>(g() % 400);
  std::string s;
  for (int i = 0; i < count; ++i) {
    const size_t n = g() % 60;
    switch (m.type) {
      case zara::kFix: case zara::kFe: case zara::kPre: case zara::kDb3:
        s += noise(g, m.record_length, std::string("abcdefghijklmnopqrstuvwxyz\x1A", 27));
        break;
      case zara::kVs:
        s += le16(static_cast<uint32_t>(n)) + noise(g, n, "abcde");
        break;
      case zara::kRv:
        s += (m.prefix_width == 1 ? std::string(1, static_cast<char>(n)) : le16(static_cast<uint32_t>(n))) +
             noise(g, n + m.prefix_width, "abcde");
        break;
      case zara::kCvs: {
        std::string r = m.prefix_width == 2 ? be16(static_cast<uint32_t>(n) | (g() & 0xF000))
                                            : noise(g, 2, "xy") + be16(static_cast<uint32_t>(n));
        r += noise(g, n, "abcde");
        while (r.size() % 4) r += '.';
        s += r;
        break;
      }
      default:  // TXT and GP: let the terminators fall where they may
        s += noise(g, n, std::string("abcd\n\r\f|E\x1A", 11).substr(0, g() % 50 ? 9 : 11));
    }
  }
  return s + noise(g, g() % 6, "ab");  // perhaps a tail
}

TEST(FileTypes, RandomFilesFrameAsTheModelSays) {
  const char* names[] = {"FIX", "FE", "TXT", "VS", "", "RV", "CVS", "PRE", "GP", "DB3"};
  std::mt19937 g(20240611);
  for (int round = 0; round < 240; ++round) {
    ScratchDir dir;
    TypeModel m;
    const uint32_t types[] = {zara::kFix, zara::kFe,  zara::kTxt, zara::kVs, zara::kRv,
                              zara::kCvs, zara::kPre, zara::kGp,  zara::kDb3};
    m.type = types[g() % 9];
    m.record_length = 1 + g() % 30;
    std::string header;
    uint32_t form = 0;
    if (m.type == zara::kRv) {
      form = g() % 2 ? 255 : 256;
      m.prefix_width = form < 256 ? 1 : 2;
    } else if (m.type == zara::kCvs) {
      form = g() % 2 ? 4095 : 4096;
      m.prefix_width = form < 4096 ? 2 : 4;
    } else if (m.type == zara::kGp) {
      // One-byte delimiters keep records well inside a sort buffer.
      m.delim = g() % 2 ? "|" : "\n";
      const char* ends[] = {"", "E", "EE", "|E", "E|"};
      m.end_string = ends[g() % 5];
    }
    std::string control = std::string("FILETYPE (") + names[m.type];
    if (m.type == zara::kFix || m.type == zara::kPre) control += "," + std::to_string(m.record_length);
    if (m.type == zara::kGp) {
      auto list = [](const std::string& s) {
        std::string out = "(";
        for (char c : s) out += std::to_string(static_cast<uint8_t>(c)) + ",";
        if (!s.empty()) out.pop_back();
        return out + ")";
      };
      control += "," + list(m.delim) + "," + list(m.end_string);
    }
    control += ")";
    if (m.type == zara::kFe) control += " RECORD (" + std::to_string(m.record_length) + ")";
    const bool sorted = g() % 4 != 0;
    const bool descending = g() % 2;
    if (sorted) control += std::string(" SORT (1,3,CH,") + (descending ? "D)" : "A)");
    if (g() % 2) control += " CORE (60)";
    const uint32_t limit = g() % 4 == 0 ? 1 + g() % 300 : 0;
    const uint32_t origin = g() % 4 == 0 ? 1 + g() % 100 : 0;
    if (limit) control += " LIMIT (" + std::to_string(limit) + ")";
    if (origin) control += " ORIGIN (" + std::to_string(origin) + ")";

    // The files, and the records the model takes from them.
    const int files = 1 + static_cast<int>(g() % 3);
    std::string inputs, first_header;
    size_t first_size = 0;
    std::vector<std::string> kept;
    uint32_t sequence = 0;
    bool end_mark = false, limit_hit = false;
    for (int f = 0; f < files && !limit_hit; ++f) {
      if (m.type == zara::kRv) header = "RV" + le16(form);
      if (m.type == zara::kCvs) {
        header = noise(g, 128, "h");
        header.replace(56, 2, be16(form));
      }
      if (m.type == zara::kDb3) {
        header = std::string(40, 'h');
        header.replace(8, 2, le16(40));
        header.replace(10, 2, le16(m.record_length));
      }
      const std::string body = random_body(g, m);
      const std::string name = "in" + std::to_string(f);
      write_file(name, header + body);
      inputs += name + " ";
      if (f == 0) {
        first_header = header;
        first_size = header.size() + body.size();
      }
      const Framed fr = frame_model(m, body);
      end_mark = fr.end_mark;
      for (const auto& rec : fr.records) {
        ++sequence;
        if (limit && sequence > limit) {
          limit_hit = true;  // the record past the limit ends all reading
          end_mark = false;
          break;
        }
        if (!origin || sequence >= origin) kept.push_back(rec);
      }
    }
    if (sorted) {
      const size_t skip = m.type == zara::kVs ? 2 : m.prefix_width;
      std::stable_sort(kept.begin(), kept.end(), [&](const auto& a, const auto& b) {
        const std::string ka = a.size() > skip ? a.substr(skip, 3) : "";
        const std::string kb = b.size() > skip ? b.substr(skip, 3) : "";
        return descending ? ka > kb : ka < kb;
      });
    }
    std::string expected = first_header;
    if (m.type == zara::kDb3) expected.replace(4, 4, le16(kept.size() & 0xFFFF) + le16(0));
    for (const auto& k : kept) expected += k;
    if (m.type == zara::kFe || m.type == zara::kDb3) expected += kEof;
    if (m.type == zara::kTxt && end_mark) expected += kEof;
    if (m.type == zara::kGp && end_mark) expected += m.end_string;
    if (m.type == zara::kPre && expected.size() < first_size) expected.resize(first_size, '\0');

    const RunResult r = run(inputs, "out", control);
    ASSERT_EQ(r.status, 0u) << control;
    EXPECT_EQ(r.records, kept.size()) << control;
    ASSERT_EQ(read_file("out"), expected) << "round " << round << ": " << control;
  }
}

// ---- the operator prompt ----

const std::string kPrompt = "Ready to create output file\nchange diskettes and press return\n";

// Runs `control` in a child whose standard input and output are pipes;
// answers every prompt and records whether the output existed when it was
// shown.
struct PromptLog {
  int prompts = 0;
  bool output_existed_at_first = true;
  bool well_formed = true;
  ChildResult child;
};

PromptLog run_with_prompts(const std::string& inputs, const std::string& control) {
  PromptLog log;
  log.child = run_in_child(
      [&](uint32_t*) { return run(inputs, "out.txt", control); },
      [&](int to_child, int from_child) {
        for (;;) {
          const std::string got = read_some(from_child, kPrompt.size());
          if (got.empty()) return;  // the child finished
          if (got != kPrompt) {
            log.well_formed = false;
            return;
          }
          if (log.prompts++ == 0) log.output_existed_at_first = file_exists("out.txt");
          if (write(to_child, "\n", 1) != 1) return;
        }
      });
  return log;
}

TEST(FileTypes, PauseShowsThePromptOnceBeforeASortCreatesItsOutput) {
  ScratchDir dir;
  write_file("in.txt", repeat_lines(3000, 5));
  // Several loads: the prompt comes before the final merge only.
  PromptLog log = run_with_prompts("in.txt", "SORT (1,5,CH,D) CORE (60) PAUSE");
  ASSERT_TRUE(log.child.exited);
  EXPECT_EQ(log.child.run.status, 0u);
  EXPECT_TRUE(log.well_formed);
  EXPECT_EQ(log.prompts, 1);
  EXPECT_FALSE(log.output_existed_at_first);

  write_file("small.txt", "b\na\n");
  unlink("out.txt");
  log = run_with_prompts("small.txt", "SORT (1,1,CH,A) PAUSE");
  ASSERT_TRUE(log.child.exited);
  EXPECT_EQ(log.child.run.status, 0u);
  EXPECT_EQ(log.prompts, 1);
  EXPECT_FALSE(log.output_existed_at_first);
  EXPECT_EQ(read_file("out.txt"), "a\nb\n");
}

TEST(FileTypes, PauseInACopyRunPromptsBeforeEveryLoad) {
  ScratchDir dir;
  const std::string text = repeat_lines(1500, 5);
  write_file("in.txt", text);
  const PromptLog log = run_with_prompts("in.txt", "CORE (60) PAUSE");
  ASSERT_TRUE(log.child.exited);
  EXPECT_EQ(log.child.run.status, 0u);
  EXPECT_TRUE(log.well_formed);
  EXPECT_FALSE(log.output_existed_at_first);
  EXPECT_EQ(read_file("out.txt"), text);
  // The same run here, without the prompt, gives the number of loads.
  PassCounter passes;
  ASSERT_EQ(run("in.txt", "again.txt", "CORE (60)").status, 0u);
  EXPECT_GT(passes.loads(), 1u);
  EXPECT_EQ(static_cast<uint32_t>(log.prompts), passes.loads());
}

}  // namespace
}  // namespace zara_test
