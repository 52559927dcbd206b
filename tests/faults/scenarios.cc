#include "tests/faults/scenarios.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <random>

#include "tests/child_run.h"
#include "tests/test_support.h"
#include "zara15z37.h"

namespace zara_faults {

namespace {

using zara_test::read_file;
using zara_test::write_file;

// Records of a 2-byte key from a small alphabet (many ties) and a serial
// number that shows the arrival order; `terminator` ends each one.
std::vector<std::string> keyed_records(int n, unsigned seed, const char* terminator) {
  std::mt19937 gen(seed);
  std::vector<std::string> out;
  for (int i = 0; i < n; ++i) {
    char r[32];
    snprintf(r, sizeof r, "%c%c%06d%s", 'A' + static_cast<int>(gen() % 5),
             'a' + static_cast<int>(gen() % 4), i, terminator);
    out.push_back(r);
  }
  return out;
}

// A stable sort on `key` bytes at `at`: the engine's order, ties in
// arrival order.
std::vector<std::string> stable_sorted(std::vector<std::string> v, size_t at, size_t key) {
  std::stable_sort(v.begin(), v.end(), [&](const std::string& a, const std::string& b) {
    return a.compare(at, key, b, at, key) < 0;
  });
  return v;
}

std::string joined(const std::vector<std::string>& v) {
  std::string out;
  for (const auto& s : v) out += s;
  return out;
}

// Lowers the descriptor limit for the run and puts it back afterwards.
class DescriptorLimit {
 public:
  bool lower_to(int free_slots) {
    getrlimit(RLIMIT_NOFILE, &saved_);
    lowered_ = zara_test::limit_free_descriptors(free_slots);
    return lowered_;
  }
  void restore() {
    if (lowered_) setrlimit(RLIMIT_NOFILE, &saved_);
    lowered_ = false;
  }

 private:
  rlimit saved_{};
  bool lowered_ = false;
};

RunOutcome whole_run(const std::string& inputs, const std::string& output,
                     const std::string& control) {
  const zara_test::RunResult r = zara_test::run(inputs, output, control);
  return RunOutcome{r.status, r.records};
}

// (a) A sort of many memory loads under a file limit of 6: runs on work
// files, intermediate merges, the final merge.
class MultiLoadSort : public Scenario {
 public:
  MultiLoadSort()
      : Scenario("multiload", "TXT sort, CORE (60), 6 descriptors: 8 loads, 2 intermediate merges") {
    files_.inputs = {"../keys.txt"};
    files_.output = "out.txt";
  }
  void prepare() override {
    const auto lines = keyed_records(10000, 7, "\n");
    write_file("keys.txt", joined(lines));
    expected_ = joined(stable_sorted(lines, 0, 2));
  }
  bool set_up() override { return limit_.lower_to(6); }
  void tear_down() override { limit_.restore(); }
  RunOutcome run() override { return whole_run("../keys.txt", "out.txt", "SORT (1,2,CH,A) CORE (60)"); }
  bool output_correct() override { return read_file("out.txt") == expected_; }

 private:
  std::string expected_;
  DescriptorLimit limit_;
};

std::string le16(uint32_t v) {
  return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}
std::string le32(uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }

// (b) A dBASE III table: header check, header save file, the header copied
// to the output, the record count updated, the end mark.
class TableSort : public Scenario {
 public:
  TableSort(std::string name, std::string summary, int records, std::string core)
      : Scenario(std::move(name), std::move(summary)), records_(records), core_(std::move(core)) {
    files_.inputs = {"../table.dbf"};
    files_.output = "out.dbf";
    files_.headed = true;
    files_.end_mark_bytes = 1;
  }
  void prepare() override {
    constexpr uint32_t kHeader = 290, kRecord = 45;
    std::string header(kHeader, 'h');
    header[0] = 0x03;
    header.replace(4, 4, le32(12345));  // never read
    header.replace(8, 2, le16(kHeader));
    header.replace(10, 2, le16(kRecord));
    header[kHeader - 1] = 0x0D;
    std::mt19937 gen(11);
    std::vector<std::string> records;
    for (int i = 0; i < records_; ++i) {
      char r[32];
      snprintf(r, sizeof r, " %04u%06d", static_cast<unsigned>(gen() % 97), i);
      std::string rec(r);
      rec.resize(kRecord, '-');
      records.push_back(rec);
    }
    write_file("table.dbf", header + joined(records) + "\x1A");
    header.replace(4, 4, le32(static_cast<uint32_t>(records_)));
    expected_ = header + joined(stable_sorted(records, 1, 4)) + "\x1A";
  }
  RunOutcome run() override {
    return whole_run("../table.dbf", "out.dbf", "FILETYPE (DB3) SORT (2,4,CH,A)" + core_);
  }
  bool output_correct() override { return read_file("out.dbf") == expected_; }

 private:
  int records_;
  std::string core_;
  std::string expected_;
};

// (c) A copy run that appends two inputs to an existing TXT output: the
// output stays open across memory loads; its old 0x1A is replaced.
class AppendCopy : public Scenario {
 public:
  AppendCopy()
      : Scenario("append", "APPEND copy of two TXT inputs onto an existing output, CORE (60): 2 loads") {
    files_.inputs = {"../part1.txt", "../part2.txt"};
    files_.output = "out.txt";
    files_.end_mark_bytes = 1;
  }
  void prepare() override {
    std::string one, two;
    char line[32];
    for (int i = 0; i < 2000; ++i) {
      snprintf(line, sizeof line, "p1-%05d\n", i);
      one += line;
      snprintf(line, sizeof line, "p2-%05d\n", i);
      two += line;
    }
    write_file("part1.txt", one);
    write_file("part2.txt", two + "\x1A");
    expected_ = std::string(kOld, sizeof kOld - 2) + one + two + "\x1A";
  }
  bool set_up() override {
    write_file("out.txt", std::string(kOld, sizeof kOld - 1));
    return true;
  }
  RunOutcome run() override { return whole_run("../part1.txt ../part2.txt", "out.txt", "APPEND CORE (60)"); }
  bool output_correct() override { return read_file("out.txt") == expected_; }

 private:
  static constexpr char kOld[] = "old-1\nold-2\n\x1A";
  std::string expected_;
};

// (d) A record-at-a-time sort that spills its loads to work files under a
// file limit of 5 (an intermediate merge) and merges them on the way back.
class RecordAtATimeSort : public Scenario {
 public:
  RecordAtATimeSort()
      : Scenario("raat", "record-at-a-time sort, CORE (60), 5 descriptors: 4 spilled loads, "
                         "1 intermediate merge, merged return") {}
  void prepare() override {
    records_ = keyed_records(6000, 5, "");
    expected_ = stable_sorted(records_, 0, 2);
  }
  bool set_up() override { return limit_.lower_to(5); }
  void tear_down() override { limit_.restore(); }
  RunOutcome run() override {
    returned_.clear();
    std::string control = "SORT (1,2,CH,A) CORE (60)";
    uint32_t length = static_cast<uint32_t>(control.size());
    uint32_t status = 0;
    s_1raat(1, control.data(), &length, &status);
    if (status != 0) return RunOutcome{status, 0};
    for (std::string& r : records_) {
      length = static_cast<uint32_t>(r.size());
      s_1raat(2, r.data(), &length, &status);
      // A failed release closes the run.
      if (status != 0) return RunOutcome{status, 0};
    }
    char buffer[64];
    for (;;) {
      length = 0;
      s_1raat(3, buffer, &length, &status);
      if (status != 0) break;
      returned_.emplace_back(buffer, std::min<uint32_t>(length, sizeof buffer));
    }
    if (status == 1) return RunOutcome{0, static_cast<uint32_t>(returned_.size())};
    // A failed return leaves the run open: the caller ends it.
    uint32_t finish_status = 0;
    s_1raat(4, nullptr, nullptr, &finish_status);
    return RunOutcome{status, static_cast<uint32_t>(returned_.size())};
  }
  bool output_correct() override { return returned_ == expected_; }

 private:
  std::vector<std::string> records_;
  std::vector<std::string> expected_;
  std::vector<std::string> returned_;
  DescriptorLimit limit_;
};

// A PRE sort with SUM over intermediate merges: the held record is
// flushed at the end of every merge, and the small output is padded with
// zeros to the size of the input.
class PaddedSum : public Scenario {
 public:
  PaddedSum()
      : Scenario("pre-sum", "PRE sort with SUM, CORE (60), 5 descriptors: 4 loads, an intermediate "
                            "merge, 48 KB of padding") {
    files_.inputs = {"../sums.pre"};
    files_.output = "out.pre";
    files_.padded = true;
  }
  void prepare() override {
    std::mt19937 gen(13);
    std::string in;
    std::vector<std::string> first_of(26);
    std::vector<long> total(26, 0);
    for (int i = 0; i < kRecords; ++i) {
      const int k = static_cast<int>(gen() % 26);
      const int amount = static_cast<int>(gen() % 100);
      char r[32];
      snprintf(r, sizeof r, "%c%06d%05d", 'A' + k, amount, i);
      in += r;
      if (first_of[k].empty()) first_of[k] = r;
      total[k] += amount;
    }
    write_file("sums.pre", in);
    expected_.clear();
    for (int k = 0; k < 26; ++k) {
      if (first_of[k].empty()) continue;
      char sum[8];
      snprintf(sum, sizeof sum, "%06ld", total[k]);
      expected_ += first_of[k].replace(1, 6, sum);
    }
    expected_.resize(in.size(), '\0');
  }
  bool set_up() override { return limit_.lower_to(5); }
  void tear_down() override { limit_.restore(); }
  RunOutcome run() override {
    return whole_run("../sums.pre", "out.pre", "SORT (1,1,CH,A) SUM (2,6,ZD) FILETYPE (PRE,12) CORE (60)");
  }
  bool output_correct() override { return read_file("out.pre") == expected_; }

 private:
  static constexpr int kRecords = 4000;
  std::string expected_;
  DescriptorLimit limit_;
};

// A record-at-a-time copy run with INCLUDE and OUTREC: every load is
// reformatted into one spill file that stays open from load to load, and
// the records come back in release order.
class RecordAtATimeCopy : public Scenario {
 public:
  RecordAtATimeCopy()
      : Scenario("raat-copy", "record-at-a-time copy with INCLUDE and OUTREC, CORE (60): one "
                              "spill file kept open over 3 loads") {}
  void prepare() override {
    records_ = keyed_records(9000, 17, "");
    expected_.clear();
    for (const std::string& r : records_)
      if (r[0] != 'A') expected_.push_back(r.substr(2) + "!");
  }
  RunOutcome run() override {
    returned_.clear();
    std::string control = "INCLUDE (1,1,CH,NE,\"A\") OUTREC (3,6,\"!\") CORE (60)";
    uint32_t length = static_cast<uint32_t>(control.size());
    uint32_t status = 0;
    s_1raat(1, control.data(), &length, &status);
    if (status != 0) return RunOutcome{status, 0};
    for (std::string& r : records_) {
      length = static_cast<uint32_t>(r.size());
      s_1raat(2, r.data(), &length, &status);
      if (status != 0) return RunOutcome{status, 0};
    }
    char buffer[64];
    for (;;) {
      length = 0;
      s_1raat(3, buffer, &length, &status);
      if (status != 0) break;
      returned_.emplace_back(buffer, std::min<uint32_t>(length, sizeof buffer));
    }
    if (status == 1) return RunOutcome{0, static_cast<uint32_t>(returned_.size())};
    uint32_t finish_status = 0;
    s_1raat(4, nullptr, nullptr, &finish_status);
    return RunOutcome{status, static_cast<uint32_t>(returned_.size())};
  }
  bool output_correct() override { return returned_ == expected_; }

 private:
  std::vector<std::string> records_;
  std::vector<std::string> expected_;
  std::vector<std::string> returned_;
};

}  // namespace

std::vector<std::unique_ptr<Scenario>> make_scenarios() {
  std::vector<std::unique_ptr<Scenario>> all;
  all.push_back(std::make_unique<MultiLoadSort>());
  all.push_back(std::make_unique<TableSort>(
      "db3", "DB3 sort, header 290 bytes, 900 records, CORE (60): 2 loads, final merge", 900,
      " CORE (60)"));
  all.push_back(std::make_unique<TableSort>(
      "db3-one-load", "DB3 sort, 40 records in one load: written directly", 40, ""));
  all.push_back(std::make_unique<AppendCopy>());
  all.push_back(std::make_unique<RecordAtATimeSort>());
  all.push_back(std::make_unique<PaddedSum>());
  all.push_back(std::make_unique<RecordAtATimeCopy>());
  return all;
}

}  // namespace zara_faults
