// Runs of several processes at the same moment in one work directory: each
// must find a work-file family of its own, sort correctly and remove its
// work files, however the clock-based names collide.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tests/child_run.h"
#include "tests/test_support.h"
#include "zara15z37.h"

namespace zara_test {
namespace {

constexpr int kProcesses = 8;
constexpr int kRounds = 10;

std::string le16(uint32_t v) {
  return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}

// Records of `width` bytes: a 2-byte key (many ties), then the process
// number and a serial number, so that every process has its own records.
std::vector<std::string> records_of(int process, int n, size_t width) {
  std::mt19937 gen(static_cast<unsigned>(100 + process));
  std::vector<std::string> out;
  for (int i = 0; i < n; ++i) {
    char r[48];
    snprintf(r, sizeof r, "%c%c%02d%06d", 'A' + static_cast<int>(gen() % 5),
             'a' + static_cast<int>(gen() % 4), process, i);
    std::string rec(r);
    rec.resize(width, '.');
    out.push_back(rec);
  }
  return out;
}

std::vector<std::string> stable_sorted(std::vector<std::string> v, size_t at) {
  std::stable_sort(v.begin(), v.end(), [at](const std::string& a, const std::string& b) {
    return a.compare(at, 2, b, at, 2) < 0;
  });
  return v;
}

std::string joined(const std::vector<std::string>& v, const std::string& prefix = "",
                   const std::string& end = "") {
  std::string out;
  for (const auto& s : v) out += prefix + s + end;
  return out;
}

// One process's sort: a text sort, a dBASE table (with its header save
// file) or a record-at-a-time sort, by process number; all spill several
// memory loads and, under 6 descriptors, merge intermediately.
struct Job {
  int process = 0;
  std::string input, output, expected;
  std::vector<std::string> records;  // record at a time

  int kind() const { return process % 4 == 3 ? 2 : process % 4 == 2 ? 1 : 0; }

  void prepare() {
    input = "in" + std::to_string(process);
    output = "out" + std::to_string(process);
    if (kind() == 0) {
      const auto recs = records_of(process, 6000, 10);
      write_file(input, joined(recs, "", "\n"));
      expected = joined(stable_sorted(recs, 0), "", "\n");
    } else if (kind() == 1) {
      std::string header(64, 'h');
      header[0] = 0x03;
      header.replace(4, 4, std::string(4, '\0'));
      header.replace(8, 2, le16(64));
      header.replace(10, 2, le16(13));
      const auto recs = records_of(process, 4000, 12);
      write_file(input, header + joined(recs, " ") + "\x1A");
      const std::string count{static_cast<char>(4000 & 0xFF), static_cast<char>(4000 >> 8), 0, 0};
      expected = header.replace(4, 4, count) + joined(stable_sorted(recs, 0), " ") + "\x1A";
    } else {
      records = records_of(process, 6000, 10);
      expected = joined(stable_sorted(records, 0));
    }
  }

  // In the child: the run's status (1 at the end of a record-at-a-time
  // sort), its output written to `output`.
  uint32_t run_now() {
    const std::string control = "SORT (1,2,CH,A) CORE (60)";
    if (kind() == 0) return run(input, output, control).status;
    if (kind() == 1) return run(input, output, "SORT (2,2,CH,A) CORE (60) FILETYPE (DB3)").status;
    std::string text = control;
    uint32_t length = static_cast<uint32_t>(text.size()), status = 0;
    s_1raat(1, text.data(), &length, &status);
    for (size_t i = 0; status == 0 && i < records.size(); ++i) {
      length = static_cast<uint32_t>(records[i].size());
      s_1raat(2, records[i].data(), &length, &status);
    }
    std::string back;
    char buffer[64];
    while (status == 0) {
      length = 0;
      s_1raat(3, buffer, &length, &status);
      if (status == 0) back.append(buffer, std::min<uint32_t>(length, sizeof buffer));
    }
    write_file(output, back);
    return status;
  }
};

struct Started {
  pid_t pid = -1;
  int report = -1;
};

// Starts every job in a child that waits at a barrier (the read end of a
// pipe whose write end the parent closes), then lets them all go at once.
// Returns each job's status (0xFFFFFFFF for a child that did not report)
// and the merge passes of its run (whole runs only).
struct Outcome {
  uint32_t status = 0xFFFFFFFFu;
  uint32_t merges = 0;
};

std::vector<Outcome> run_together(std::vector<Job>& jobs) {
  int barrier[2];
  if (pipe(barrier) != 0) return {};
  std::vector<Started> started;
  fflush(stdout);
  for (Job& job : jobs) {
    int report[2];
    if (pipe(report) != 0) break;
    const pid_t pid = fork();
    if (pid == 0) {
      close(barrier[1]);
      close(report[0]);
      char go;
      if (read(barrier[0], &go, 1) != 0) _exit(2);
      // A low descriptor limit: few work files, so intermediate merges.
      if (!limit_free_descriptors(6)) _exit(3);
      PassCounter passes;
      const uint32_t words[2] = {job.run_now(), passes.merges()};
      _exit(write(report[1], words, sizeof words) == sizeof words ? 0 : 1);
    }
    close(report[1]);
    started.push_back(Started{pid, report[0]});
  }
  close(barrier[0]);
  close(barrier[1]);  // everyone starts now
  std::vector<Outcome> outcomes;
  for (const Started& s : started) {
    uint32_t words[2];
    Outcome o;
    pollfd p{s.report, POLLIN, 0};
    if (poll(&p, 1, 60000) == 1 && read(s.report, words, sizeof words) == sizeof words) {
      o = Outcome{words[0], words[1]};
    } else {
      kill(s.pid, SIGKILL);
    }
    close(s.report);
    int wstatus = 0;
    waitpid(s.pid, &wstatus, 0);
    outcomes.push_back(o);
  }
  return outcomes;
}

TEST(Concurrency, EightProcessesInOneWorkDirectoryAllSucceed) {
  ScratchDir dir;
  std::vector<Job> jobs(kProcesses);
  for (int i = 0; i < kProcesses; ++i) {
    jobs[i].process = i;
    jobs[i].prepare();
  }
  for (int round = 0; round < kRounds; ++round) {
    for (const Job& job : jobs) unlink(job.output.c_str());
    const std::vector<Outcome> outcomes = run_together(jobs);
    ASSERT_EQ(outcomes.size(), jobs.size());
    for (size_t i = 0; i < jobs.size(); ++i) {
      const uint32_t success = jobs[i].kind() == 2 ? 1u : 0u;
      EXPECT_EQ(outcomes[i].status, success) << "round " << round << " process " << i;
      // Whole runs: at least one intermediate merge before the final one.
      if (jobs[i].kind() != 2) {
        EXPECT_GE(outcomes[i].merges, 2u) << "process " << i;
      }
      EXPECT_TRUE(read_file(jobs[i].output) == jobs[i].expected)
          << "round " << round << " process " << i << ": wrong output";
    }
    for (const std::string& f : dir.files())
      EXPECT_NE(f.compare(0, 2, "sw"), 0) << "round " << round << ": " << f << " left behind";
  }
}

}  // namespace
}  // namespace zara_test
