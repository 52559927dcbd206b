// File headers in whole runs: the DB3, CVS and RV headers that say how
// records are framed, BYPASS, the copy of the first input's header at the
// start of the output, the DB3 record count, and the header save file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

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
std::string le32(uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }

// A dBASE III header of `length` bytes for records of `record_length`
// bytes. `fill` tells two inputs' headers apart; the stored record count is
// deliberately wrong, because it is never read.
std::string db3_header(uint32_t length, uint32_t record_length, char fill) {
  std::string h(length, fill);
  h[0] = 0x03;
  h.replace(1, 3, "\x7D\x01\x02");
  h.replace(4, 4, le32(999));
  h.replace(8, 2, le16(length));
  h.replace(10, 2, le16(record_length));
  h[length - 1] = 0x0D;
  return h;
}

// A DB3 record: the deletion flag byte, then a 6-byte key, padded.
std::string db3_record(uint32_t record_length, const std::string& key) {
  std::string r = " " + key;
  r.resize(record_length, '-');
  return r;
}

// The expected output header: the first input's bytes with the count.
std::string with_count(std::string header, uint32_t count) {
  header.replace(4, 4, le32(count));
  return header;
}

std::vector<std::string> names_ending_in(const ScratchDir& dir, char last) {
  std::vector<std::string> out;
  for (const auto& f : dir.files())
    if (f.size() == 12 && f.compare(0, 2, "sw") == 0 && f.back() == last) out.push_back(f);
  return out;
}

TEST(Headers, DbaseHeaderOfTheFirstInputFramesEveryInputAndCountsTheOutput) {
  ScratchDir dir;
  const std::string h1 = db3_header(290, 45, 'a');
  const std::string h2 = db3_header(290, 45, 'b');
  write_file("one.dbf", h1 + db3_record(45, "k3") + db3_record(45, "k1") + kEof);
  write_file("two.dbf", h2 + db3_record(45, "k4") + db3_record(45, "k0") + db3_record(45, "k2"));
  RunResult r = run("one.dbf two.dbf", "out.dbf", "SORT (2,6,CH,A) FILETYPE (DB3)");
  ASSERT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 5u);
  std::string body;
  for (const char* k : {"k0", "k1", "k2", "k3", "k4"}) body += db3_record(45, k);
  EXPECT_EQ(read_file("out.dbf"), with_count(h1, 5) + body + kEof);
  // The header save file is gone after a successful run.
  EXPECT_EQ(dir.files(), (std::vector<std::string>{"one.dbf", "out.dbf", "two.dbf"}));

  // A copy run writes the same header and counts over all its loads.
  r = run("two.dbf one.dbf", "copy.dbf", "FILETYPE (DB3) CORE (60)");
  ASSERT_EQ(r.status, 0u);
  std::string copied;
  for (const char* k : {"k4", "k0", "k2", "k3", "k1"}) copied += db3_record(45, k);
  EXPECT_EQ(read_file("copy.dbf"), with_count(h2, 5) + copied + kEof);
}

TEST(Headers, DbaseRunThatDropsRecordsWritesTheSmallerCount) {
  ScratchDir dir;
  const std::string h = db3_header(64, 10, 'h');
  write_file("in.dbf", h + db3_record(10, "b1") + db3_record(10, "a1") + db3_record(10, "b2") +
                           db3_record(10, "a2") + kEof);
  const RunResult r =
      run("in.dbf", "out.dbf", "SORT (2,2,CH,D) FILETYPE (DB3) INCLUDE (2,1,CH,EQ,\"a\")");
  ASSERT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 2u);
  EXPECT_EQ(read_file("out.dbf"),
            with_count(h, 2) + db3_record(10, "a2") + db3_record(10, "a1") + kEof);
}

TEST(Headers, HeadersLargerThanABufferAndSortsThroughWorkFiles) {
  ScratchDir dir;
  // 3000 header bytes pass through buffers of about 1 KiB in pieces, and the
  // output of a merge gets the header as a direct write does.
  const std::string h = db3_header(3000, 12, 'x');
  std::string body;
  std::vector<std::string> records;
  for (int i = 0; i < 3000; ++i) {
    char key[16];
    snprintf(key, sizeof key, "%06d", (i * 7919) % 3000);
    records.push_back(db3_record(12, key));
    body += records.back();
  }
  write_file("in.dbf", h + body + kEof);
  PassCounter passes;
  const RunResult r = run("in.dbf", "out.dbf", "SORT (2,6,CH,A) FILETYPE (DB3) CORE (60)");
  ASSERT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 3000u);
  EXPECT_GT(passes.most_work_files(), 1u);
  std::sort(records.begin(), records.end());
  std::string sorted;
  for (const auto& rec : records) sorted += rec;
  EXPECT_EQ(read_file("out.dbf"), with_count(h, 3000) + sorted + kEof);
  EXPECT_EQ(dir.files(), (std::vector<std::string>{"in.dbf", "out.dbf"}));
}

TEST(Headers, DbaseHeaderThatCannotFrameRecordsFailsWith217) {
  ScratchDir dir;
  const int fds = count_open_fds();
  std::string zero_length = db3_header(64, 10, 'h');
  zero_length.replace(10, 2, le16(0));
  write_file("zero.dbf", zero_length + db3_record(10, "a"));
  EXPECT_EQ(run("zero.dbf", "out.dbf", "SORT (2,1,CH,A) FILETYPE (DB3)").status, 217u);

  std::string short_header = db3_header(64, 10, 'h');
  short_header.replace(8, 2, le16(31));
  write_file("short.dbf", short_header + db3_record(10, "a"));
  EXPECT_EQ(run("short.dbf", "out.dbf", "SORT (2,1,CH,A) FILETYPE (DB3)").status, 217u);

  // A file too short to hold the two length fields.
  write_file("tiny.dbf", "\x03\x7D\x01");
  EXPECT_EQ(run("tiny.dbf", "out.dbf", "SORT (2,1,CH,A) FILETYPE (DB3)").status, 217u);
  EXPECT_EQ(count_open_fds(), fds);
  EXPECT_FALSE(file_exists("out.dbf"));
}

TEST(Headers, FirstInputShorterThanItsHeaderFailsWith217) {
  ScratchDir dir;
  const int fds = count_open_fds();
  // DB3: the header says 290 bytes, the file has 200.
  write_file("cut.dbf", db3_header(290, 45, 'a').substr(0, 200));
  EXPECT_EQ(run("cut.dbf", "out.dbf", "SORT (2,6,CH,A) FILETYPE (DB3)").status, 217u);
  // CVS: the form field is there, the rest of the 128 bytes is not.
  write_file("cut.cvs", std::string(100, 'h'));
  EXPECT_EQ(run("cut.cvs", "out.cvs", "SORT (1,2,CH,A) FILETYPE (CVS)").status, 217u);
  // CVS without even the form field, RV without its 4 bytes.
  write_file("stub.cvs", std::string(40, 'h'));
  EXPECT_EQ(run("stub.cvs", "out.cvs", "SORT (1,2,CH,A) FILETYPE (CVS)").status, 217u);
  write_file("stub.rv", "RV\x01");
  EXPECT_EQ(run("stub.rv", "out.rv", "SORT (1,2,CH,A) FILETYPE (RV)").status, 217u);
  EXPECT_EQ(count_open_fds(), fds);
  EXPECT_FALSE(file_exists("out.dbf"));
  EXPECT_FALSE(file_exists("out.cvs"));

  // A later input shorter than the header merely contributes nothing.
  const std::string h = db3_header(64, 10, 'h');
  write_file("ok.dbf", h + db3_record(10, "b") + db3_record(10, "a"));
  write_file("small.dbf", h.substr(0, 20));
  const RunResult r = run("ok.dbf small.dbf", "out.dbf", "SORT (2,1,CH,A) FILETYPE (DB3)");
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 2u);
}

TEST(Headers, OnlyTheFirstHeaderChoosesTheLengthFieldForm) {
  ScratchDir dir;
  // RV: 255 at offset 2 of the first input gives 1-byte length fields in
  // every input, whatever the second input's header says.
  auto rv1 = [](const std::string& d) { return std::string(1, static_cast<char>(d.size())) + d + "~"; };
  write_file("a.rv", "RV" + le16(255) + rv1("cc") + rv1("a"));
  write_file("b.rv", "RV" + le16(256) + rv1("bbb"));
  RunResult r = run("a.rv b.rv", "out.rv", "SORT (1,3,CH,A) FILETYPE (RV)");
  ASSERT_EQ(r.status, 0u);
  EXPECT_EQ(read_file("out.rv"), "RV" + le16(255) + rv1("a") + rv1("bbb") + rv1("cc"));

  // CVS: 4096 at offset 56 gives 4-byte prefixes in both inputs.
  auto cvs_header = [](uint32_t form, char fill) {
    std::string h(128, fill);
    h.replace(56, 2, be16(form));
    return h;
  };
  auto cvs4 = [](const std::string& d) {
    std::string rec = "\xFF\xFF" + be16(d.size()) + d;
    while (rec.size() % 4) rec += '.';
    return rec;
  };
  write_file("a.cvs", cvs_header(4096, 'a') + cvs4("zz") + cvs4("mmmmm"));
  write_file("b.cvs", cvs_header(10, 'b') + cvs4("a"));
  r = run("a.cvs b.cvs", "out.cvs", "SORT (1,2,CH,A) FILETYPE (CVS)");
  ASSERT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 3u);
  EXPECT_EQ(read_file("out.cvs"), cvs_header(4096, 'a') + cvs4("a") + cvs4("mmmmm") + cvs4("zz"));
}

TEST(Headers, BypassSkipsBytesInEveryInputAndKeepsOrDiscardsThem) {
  ScratchDir dir;
  write_file("a.txt", "HDR-A\nb\nd\n");
  write_file("b.txt", "HDR-B\nc\na\n");
  RunResult r = run("a.txt b.txt", "out.txt", "SORT (1,1,CH,A) BYPASS (6,D)");
  ASSERT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 4u);
  EXPECT_EQ(read_file("out.txt"), "a\nb\nc\nd\n");

  r = run("a.txt b.txt", "out.txt", "SORT (1,1,CH,A) BYPASS (6,R)");
  ASSERT_EQ(r.status, 0u);
  EXPECT_EQ(read_file("out.txt"), "HDR-A\na\nb\nc\nd\n");
  EXPECT_EQ(dir.files(), (std::vector<std::string>{"a.txt", "b.txt", "out.txt"}));

  // BYPASS alone skips one record length and keeps it.
  write_file("fix.dat", "HDRcccaaabbb");
  r = run("fix.dat", "out.dat", "SORT (1,3,CH,A) RECORD (3) BYPASS");
  ASSERT_EQ(r.status, 0u);
  EXPECT_EQ(read_file("out.dat"), "HDRaaabbbccc");
}

TEST(Headers, AFailedRunLeavesTheSaveFileButClosesItsDescriptors) {
  ScratchDir dir;
  // Records of 2000 bytes do not fit buffers of about 1 KiB: 245 after the
  // header was saved.
  write_file("big.dbf", db3_header(64, 2000, 'h') + db3_record(2000, "a"));
  const int fds = count_open_fds();
  const RunResult r = run("big.dbf", "out.dbf", "SORT (2,1,CH,A) FILETYPE (DB3) CORE (60)");
  EXPECT_EQ(r.status, 245u);
  EXPECT_EQ(count_open_fds(), fds);
  EXPECT_EQ(names_ending_in(dir, 'z').size(), 1u);
}

TEST(Headers, ExistingFilesAtWorkFileNamesAreNeverFollowed) {
  ScratchDir dir;
  // Symbolic links wherever this run's work files and header save file
  // might be named in the next seconds point at a file that must survive.
  write_file("victim", "precious\n");
  const time_t now = time(nullptr);
  std::vector<std::string> links;
  for (time_t t = now - 1; t <= now + 4; ++t) {
    char base[16];
    snprintf(base, sizeof base, "sw%06lu.00", static_cast<unsigned long>(t) % 1000000ul);
    for (const char* suffix : {"", "1", "2", "3", "X", "z"}) {
      links.push_back(std::string(base) + suffix);
      ASSERT_EQ(symlink("victim", links.back().c_str()), 0);
    }
  }
  const std::string h = db3_header(40, 8, 'h');
  std::string body;
  for (int i = 0; i < 2000; ++i) {
    char key[8];
    snprintf(key, sizeof key, "%05d", 1999 - i);
    body += db3_record(8, key);
  }
  write_file("in.dbf", h + body + kEof);
  const RunResult r = run("in.dbf", "out.dbf", "SORT (2,5,CH,A) FILETYPE (DB3) CORE (60)");
  ASSERT_EQ(r.status, 0u);
  EXPECT_EQ(r.records, 2000u);
  EXPECT_EQ(read_file("victim"), "precious\n");
  for (const auto& l : links) {
    struct stat st;
    ASSERT_EQ(lstat(l.c_str(), &st), 0) << l;
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << l;
  }
  const std::string out = read_file("out.dbf");
  ASSERT_EQ(out.size(), 40u + 2000u * 8u + 1u);
  EXPECT_EQ(out.substr(40, 16), db3_record(8, "00000") + db3_record(8, "00001"));
}

}  // namespace
}  // namespace zara_test
