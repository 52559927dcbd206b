// Fault sweep: a scenario runs once undisturbed (its output must be right) while the
// interposer logs its file calls, then once per call k and failure mode (EIO; for a
// write also ENOSPC and a short write) in a fresh child and directory, call k failing.
// A fault passes when the child neither crashed nor hung, kept no descriptor open,
// left the inputs unchanged and returned a failed-file-operation status of that kind
// of call; or 0 where the engine absorbs the fault (a failed re-open of the probe or
// close of the empty family lock, a short write to the output that it completes) and
// the output is complete and right.  Usage: fault_sweep [SCENARIO [EVERY-th fault]]
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/child_run.h"
#include "tests/faults/fault_inject.h"
#include "tests/test_support.h"

namespace {

using namespace zara_test;

zfault_state* z;

struct Scenario {
  std::string name, control, inputs, output;  // no output: record at a time
  int free_fds;                               // descriptors left free; 0 no limit
  std::map<std::string, std::string> files;   // the inputs, in the base directory
  std::string old_output, expected;           // record at a time: the records a line each
  std::vector<std::string> records = {};      // released, record at a time
};

std::vector<Scenario> scenarios() {
  const std::vector<std::string> keys = keyed_lines(10000, 7), raat = keyed_lines(6000, 5);
  std::vector<std::string> released = raat, table;
  for (std::string& r : released) r.pop_back();
  for (int i = 0; i < 900; ++i)  // a key of 4 digits with ties, a serial number
    table.push_back(" " + std::to_string(10000 + i * 62 % 97).substr(1) +
                    std::to_string(1000000 + i).substr(1) + std::string(34, '-'));
  std::string one, two;
  for (int i = 0; i < 2000; ++i)
    one += "p1-" + std::to_string(100000 + i) + "\n", two += "p2-" + std::to_string(100000 + i) + "\n";
  return {
      // 8 memory loads, 2 intermediate merges, the final merge.
      {"multiload", "SORT (1,2,CH,A) CORE (60)", "../keys.txt", "out.txt", 6,
       {{"keys.txt", concat(keys)}}, "", sorted_by_prefix(keys, 2)},
      // Header check and save file, 2 loads, the header copy, record count and end mark.
      {"db3", "FILETYPE (DB3) SORT (2,4,CH,A) CORE (60)", "../table.dbf", "out.dbf", 0,
       {{"table.dbf", db3_header(290, 45, 'h', 12345) + concat(table) + "\x1A"}}, "",
       db3_header(290, 45, 'h', 900) + sorted_by_prefix(table, 5) + "\x1A"},
      // Onto an output ending in an end mark, which is replaced; 2 loads.
      {"append", "APPEND CORE (60)", "../part1.txt ../part2.txt", "out.txt", 0,
       {{"part1.txt", one}, {"part2.txt", two + "\x1A"}}, "old-1\nold-2\n\x1A",
       "old-1\nold-2\n" + one + two + "\x1A"},
      // 4 spilled loads, an intermediate merge while releasing, a merged return.
      {"raat", "SORT (1,2,CH,A) CORE (60)", "", "", 5, {}, "", sorted_by_prefix(raat, 2), released},
  };
}

// The engine's calls of a scenario: the first failure status, 0 when the
// run completed; in `produced` the records a record-at-a-time run returned.
uint32_t run_scenario(const Scenario& s, std::string& produced) {
  if (!s.output.empty()) return run(s.inputs, s.output, s.control).status;
  std::string control = s.control;
  uint32_t length = static_cast<uint32_t>(control.size()), status = 0;
  s_1raat(1, control.data(), &length, &status);
  for (size_t k = 0; status == 0 && k < s.records.size(); ++k) {
    std::string record = s.records[k];
    length = static_cast<uint32_t>(record.size());
    s_1raat(2, record.data(), &length, &status);
  }
  if (status != 0) return status;  // a failed open or release closes the run
  char buffer[64];
  for (length = 0; (s_1raat(3, buffer, &length, &status), status == 0); length = 0)
    produced += std::string(buffer, std::min<uint32_t>(length, sizeof buffer)) + "\n";
  if (status == 1) return 0;
  uint32_t ignored = 0;  // a failed return leaves the run open: the caller ends it
  s_1raat(4, nullptr, nullptr, &ignored);
  return status;
}

constexpr uint32_t kDescriptorLeft = 1, kWrongOutput = 2;

// The scenario in a fresh child and directory "r", call k failing in `mode` (k 0:
// none); `extra` reports kDescriptorLeft and, for a run that returned 0, kWrongOutput.
ChildResult disturbed_run(const Scenario& s, int64_t k, int mode) {
  const auto body = [&](uint32_t* problems) {
    if (mkdir("r", 0700) != 0 || chdir("r") != 0) return RunResult{0xDEAD, 0};
    if (!s.old_output.empty()) write_file(s.output, s.old_output);
    if (s.free_fds && !limit_free_descriptors(s.free_fds)) return RunResult{0xDEAD, 0};
    const int fds = count_open_fds();
    *z = {k, 0, 1, mode, 0, "", {}};
    std::string produced;
    const uint32_t status = run_scenario(s, produced);
    z->armed = 0;
    const bool right = (s.output.empty() ? produced : read_file(s.output)) == s.expected;
    *problems = (count_open_fds() != fds ? kDescriptorLeft : 0) |
                (status == 0 && (!right || !work_files().empty()) ? kWrongOutput : 0);
    return RunResult{status, 0};
  };
  const ChildResult result = run_in_child(body, nullptr, 30000);
  std::filesystem::remove_all("r");
  return result;
}

// The failed-file-operation statuses of each kind of call: open, read, write, lseek,
// close, unlink, link.
const std::set<uint32_t> kStatusOf[] = {
    {}, {210, 214, 215, 229, 301, 329, 330}, {210, 216, 302, 313}, {218, 219, 240, 303, 319, 321},
    {210, 216, 227, 319, 321, 322}, {220, 221, 231, 304, 307, 311, 331},
    {210, 215, 310, 312, 320, 332}, {310}};

// The probe's name, also the family lock: "sw", six digits, ".00".
bool probe_name(const std::string& n) {
  return n.size() == 11 && n.compare(0, 2, "sw") == 0 && n.compare(8, 3, ".00") == 0;
}

// What went wrong with one fault; null when nothing did.
const char* judge(const Scenario& s, const ChildResult& r, int kind, int mode) {
  if (!r.exited) return "crash or hang";
  if (!z->hit) return "the fault was not injected";
  if (r.extra & kDescriptorLeft) return "a descriptor the run opened stays open";
  for (const auto& [name, bytes] : s.files)
    if (read_file(name) != bytes) return "an input changed";
  if (r.run.status != 0)
    return kStatusOf[kind].count(r.run.status) ? nullptr : "a status not of this kind of call";
  if (r.extra & kWrongOutput) return "FALSE SUCCESS: status 0 with a wrong or partial output";
  const bool absorbable = ((kind == ZF_OPEN || kind == ZF_CLOSE) && probe_name(z->failed_name)) ||
                          (mode == ZF_SHORT && !s.output.empty() && z->failed_name == s.output);
  return absorbable ? nullptr : "status 0 for a fault the run cannot absorb";
}

// Sweeps one scenario; the number of faults that went wrong.
int sweep(const Scenario& s, int every) {
  for (const auto& [name, bytes] : s.files) write_file(name, bytes);
  const ChildResult undisturbed = disturbed_run(s, 0, ZF_EIO);
  const std::vector<uint8_t> kinds(z->kinds, z->kinds + std::min<int64_t>(z->count, ZF_MAX_CALLS));
  if (!undisturbed.exited || undisturbed.run.status != 0 || undisturbed.extra) {
    printf("%s: the undisturbed run failed (status %u)\n", s.name.c_str(), undisturbed.run.status);
    return 1;
  }
  int faults = 0, wrong = 0, absorbed = 0, n = 0;
  for (int64_t k = 1; k <= static_cast<int64_t>(kinds.size()); ++k)
    for (int mode : {ZF_EIO, ZF_ENOSPC, ZF_SHORT}) {
      if ((mode != ZF_EIO && kinds[k - 1] != ZF_WRITE) || n++ % every != 0) continue;
      const ChildResult r = disturbed_run(s, k, mode);
      const int kind = k <= ZF_MAX_CALLS ? z->kinds[k - 1] : 0;
      const char* problem = judge(s, r, kind, mode);
      ++faults, wrong += problem != nullptr, absorbed += !problem && r.run.status == 0;
      if (problem)
        printf("%s: call %lld (kind %d, %s, mode %d): status %u: %s\n", s.name.c_str(),
               static_cast<long long>(k), kind, z->failed_name, mode, r.run.status, problem);
    }
  printf("%s: %zu calls, %d faults injected, %d survived (%d absorbed with a right output)\n",
         s.name.c_str(), kinds.size(), faults, faults - wrong, absorbed);
  return wrong;
}

}  // namespace

int main(int argc, char** argv) {
  auto* state = static_cast<zfault_state**>(dlsym(RTLD_DEFAULT, "zfault"));
  if (!state && !getenv("ZARA_FAULT_REEXEC")) {  // again, with the interposer preloaded
    setenv("ZARA_FAULT_REEXEC", "1", 1);
    setenv("LD_PRELOAD", ZARA_FAULT_LIBRARY, 1);
    const char* asan = getenv("ASAN_OPTIONS");  // the sanitizer run time must accept it first
    setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":verify_asan_link_order=0").c_str(), 1);
    execv("/proc/self/exe", argv);
  }
  if (!state || !(z = *state)) {
    fprintf(stderr, "fault_sweep: the interposer %s is not loaded\n", ZARA_FAULT_LIBRARY);
    return 2;
  }
  const int every = std::max(argc > 2 ? atoi(argv[2]) : 1, 1);
  int wrong = 0, swept = 0;
  ScratchDir base;
  for (const Scenario& s : scenarios())
    if (argc < 2 || s.name == argv[1]) wrong += sweep(s, every), ++swept;
  return wrong == 0 && swept > 0 ? 0 : 1;
}
