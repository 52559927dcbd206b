// Fault sweep: a scenario runs once undisturbed (its output must be right) while the interposer logs its file
// calls, then once per call k and failure mode (EIO; for a write also ENOSPC and a short write) in a fresh child
// and directory, call k failing. A fault passes when the child neither crashed nor hung, made the same calls up to
// call k, kept no descriptor open, changed no file but its output and its work files, left the inputs as they were,
// returned a status of the failing call's site (kSites: its kind and its file's role), and could then run another
// sort; status 0 only where the site allows it and with a complete, right output and no work file left.
// Usage: fault_sweep [SCENARIO [EVERY-th fault]]
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
  const std::vector<std::string> keys = keyed_lines(10000, 7), raat = keyed_lines(6000, 5), copy = keyed_lines(9000, 17);
  std::vector<std::string> released = raat, copied = copy, table, pre;
  std::string one, two, copied_back, summed;
  for (std::string& r : released) r.pop_back();
  for (std::string& r : copied) r.pop_back(), copied_back += r[0] == 'A' ? "" : r.substr(2) + "!\n";
  for (int i = 0; i < 900; ++i)  // a key of 4 digits with ties, a serial number
    table.push_back(" " + std::to_string(10000 + i * 62 % 97).substr(1) + std::to_string(1000000 + i).substr(1) +
                    std::string(34, '-'));
  for (int i = 0; i < 2000; ++i)
    one += "p1-" + std::to_string(100000 + i) + "\n", two += "p2-" + std::to_string(100000 + i) + "\n";
  for (int i = 0; i < 4000; ++i) pre.push_back(std::string(1, char('A' + i % 26)) + "000001" + std::to_string(100000 + i));
  for (int k = 0; k < 26; ++k) summed += std::string(pre[k]).replace(1, 6, k < 22 ? "000154" : "000153");
  const std::string db3 = db3_header(290, 45, 'h', 12345) + concat(table) + "\x1A";
  return {
      // 8 memory loads, 2 intermediate merges, the final merge.
      {"multiload", "SORT (1,2,CH,A) CORE (60)", "../keys.txt", "out.txt", 6,
       {{"keys.txt", concat(keys)}}, "", sorted_by_prefix(keys, 2)},
      // Header check and save file, 2 loads, the header copy, record count and end mark.
      {"db3", "FILETYPE (DB3) SORT (2,4,CH,A) CORE (60)", "../table.dbf", "out.dbf", 0, {{"table.dbf", db3}}, "",
       db3_header(290, 45, 'h', 900) + sorted_by_prefix(table, 5) + "\x1A"},
      // One load: the header copy and count written straight after the records.
      {"db3-one-load", "FILETYPE (DB3) SORT (2,4,CH,A)", "../table.dbf", "out.dbf", 0, {{"table.dbf", db3}}, "",
       db3_header(290, 45, 'h', 900) + sorted_by_prefix(table, 5) + "\x1A"},
      // Onto an output ending in an end mark, which is replaced; 2 loads.
      {"append", "APPEND CORE (60)", "../part1.txt ../part2.txt", "out.txt", 0,
       {{"part1.txt", one}, {"part2.txt", two + "\x1A"}}, "old-1\nold-2\n\x1A", "old-1\nold-2\n" + one + two + "\x1A"},
      // 4 spilled loads, an intermediate merge while releasing, a merged return.
      {"raat", "SORT (1,2,CH,A) CORE (60)", "", "", 5, {}, "", sorted_by_prefix(raat, 2), released},
      // SUM over 4 loads and an intermediate merge; the short output padded to the input's size.
      {"pre-sum", "SORT (1,1,CH,A) SUM (2,6,ZD) FILETYPE (PRE,13) CORE (60)", "../sums.pre", "out.pre", 5,
       {{"sums.pre", concat(pre)}}, "", summed + std::string(13 * (4000 - 26), '\0')},
      // A copy: every load reformatted into one spill file kept open; release order.
      {"raat-copy", "INCLUDE (1,1,CH,NE,\"A\") OUTREC (3,6,\"!\") CORE (60)", "", "", 0, {}, "", copied_back, copied},
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

// The role of a file by its name: i an input, o the output, p the probe (and family lock), r a run, x a merge's
// result, h the header save file; in upper case for an open that creates it.
char role(const Scenario& s, const zfault_call& c) {
  const std::string n = c.name;
  const bool work = n.size() >= 11 && n.starts_with("sw") && n.compare(8, 3, ".00") == 0;
  const char r = s.files.count(n) ? 'i' : n == s.output ? 'o' : !work ? '?' : n.size() == 11 ? 'p'
                 : n[11] == 'X' ? 'x' : n[11] == 'z' ? 'h' : 'r';
  return c.kind == ZF_OPEN && (c.flags & O_CREAT) ? char(toupper(r)) : r;
}

// The statuses a failure at each site may give: its kind and the roles of its file; 0 the run absorbs it (the
// probe's re-opens end the count of descriptors, the family lock is an empty file).
const struct { int kind; const char* roles; std::set<uint32_t> statuses; } kSites[] = {
    {ZF_OPEN, "P", {329, 210, 215}}, {ZF_OPEN, "p", {0, 330}}, {ZF_OPEN, "i", {214}}, {ZF_OPEN, "oORX", {210}},
    {ZF_OPEN, "r", {229}}, {ZF_OPEN, "H", {215}}, {ZF_OPEN, "h", {301}},
    {ZF_READ, "i", {216}}, {ZF_READ, "r", {313}}, {ZF_READ, "h", {302}}, {ZF_READ, "o", {210}},
    {ZF_WRITE, "o", {240, 303, 319, 321}}, {ZF_WRITE, "rx", {240}}, {ZF_WRITE, "h", {218}},
    {ZF_LSEEK, "i", {216, 227, 322}}, {ZF_LSEEK, "o", {210, 319, 321}}, {ZF_LSEEK, "r", {322}},
    {ZF_CLOSE, "p", {0, 331}}, {ZF_CLOSE, "i", {220, 221}}, {ZF_CLOSE, "o", {231, 307}}, {ZF_CLOSE, "r", {307, 311}},
    {ZF_CLOSE, "x", {231}}, {ZF_CLOSE, "h", {221, 304}},
    {ZF_UNLINK, "p", {210, 215, 332}}, {ZF_UNLINK, "r", {312}}, {ZF_UNLINK, "x", {310}}, {ZF_UNLINK, "h", {320}},
    {ZF_LINK, "r", {310}},
    // Without its mapping an input is read; without the writer thread the output is written at once.
    {ZF_MMAP, "i", {0}}, {ZF_THREAD, "?", {0}}};

std::set<uint32_t> site_statuses(const Scenario& s, const zfault_call& c, int mode) {
  for (const auto& site : kSites)
    if (site.kind == c.kind && strchr(site.roles, role(s, c))) {
      if (mode == ZF_SHORT && role(s, c) == 'h') return {219};
      std::set<uint32_t> statuses = site.statuses;
      if (mode == ZF_SHORT && role(s, c) == 'o') statuses.insert(0);  // the header, count and padding complete it
      return statuses;
    }
  return {};
}

constexpr uint32_t kDescriptorLeft = 1, kWrongOutput = 2, kOtherFile = 4, kOtherCalls = 8, kNoFollowup = 16;

// The scenario in a fresh child and directory "r", call k failing in `mode` (k 0: none); `extra` reports the
// problems above; the calls land in `z`.
ChildResult disturbed_run(const Scenario& s, int64_t k, int mode, const std::vector<zfault_call>& undisturbed) {
  const auto body = [&](uint32_t* problems) {
    if (mkdir("r", 0700) != 0 || chdir("r") != 0) return RunResult{0xDEAD, 0};
    if (!s.old_output.empty()) write_file(s.output, s.old_output);
    if (s.free_fds && !limit_free_descriptors(s.free_fds)) return RunResult{0xDEAD, 0};
    const int fds = count_open_fds();
    memset(z, 0, sizeof *z);
    z->target = k, z->mode = mode, z->pid = getpid(), z->armed = 1;
    std::string produced;
    const uint32_t status = run_scenario(s, produced);
    z->armed = 0;
    const bool right = (s.output.empty() ? produced : read_file(s.output)) == s.expected;
    *problems = (count_open_fds() != fds ? kDescriptorLeft : 0) |
                (status == 0 && (!right || !work_files().empty()) ? kWrongOutput : 0);
    for (int64_t i = 0; i < std::min<int64_t>(z->count, ZF_MAX_CALLS); ++i) {
      const zfault_call& c = z->calls[i];
      const bool changes = c.kind == ZF_UNLINK || c.kind == ZF_LINK || (c.kind == ZF_OPEN && (c.flags & O_ACCMODE));
      if (changes && !strchr("oOpPrRxXhH", role(s, c))) *problems |= kOtherFile;
      if (i + 1 < k && (size_t(i) >= undisturbed.size() || c.kind != undisturbed[i].kind ||
                        role(s, c) != role(s, undisturbed[i])))
        *problems |= kOtherCalls;
    }
    if (run("../small.txt", "followup.txt", "SORT (1,1,CH,A)").status || read_file("followup.txt") != "a\nb\nc\n")
      *problems |= kNoFollowup;
    return RunResult{status, 0};
  };
  const ChildResult result = run_in_child(body, nullptr, 30000);
  std::filesystem::remove_all("r");
  return result;
}

// What went wrong with one fault; null when nothing did.
const char* judge(const Scenario& s, const ChildResult& r, const std::set<uint32_t>& statuses) {
  if (!r.exited) return "crash or hang";
  if (!z->hit) return "the fault was not injected";
  for (const auto& [name, bytes] : s.files)
    if (read_file(name) != bytes) return "an input changed";
  for (const auto& [problem, text] : {std::pair{kOtherCalls, "the calls before the fault differ from the undisturbed run"},
       {kDescriptorLeft, "a descriptor the run opened stays open"}, {kOtherFile, "changed a file that is not its own"},
       {kNoFollowup, "a later run in the same process failed"}})
    if (r.extra & problem) return text;
  if (r.run.status == 0 && (r.extra & kWrongOutput)) return "FALSE SUCCESS: status 0 with a wrong or partial output";
  return statuses.count(r.run.status) ? nullptr : "a status not of the site";
}

// Sweeps one scenario; the number of faults that went wrong.
int sweep(const Scenario& s, int every) {
  for (const auto& [name, bytes] : s.files) write_file(name, bytes);
  const ChildResult undisturbed = disturbed_run(s, 0, ZF_EIO, {});
  const std::vector<zfault_call> calls(z->calls, z->calls + std::min<int64_t>(z->count, ZF_MAX_CALLS));
  if (!undisturbed.exited || undisturbed.run.status != 0 || undisturbed.extra) {
    printf("%s: the undisturbed run failed (status %u, problems %u)\n", s.name.c_str(), undisturbed.run.status,
           undisturbed.extra);
    return 1;
  }
  int faults = 0, wrong = 0, absorbed = 0, n = 0;
  std::map<std::string, std::set<uint32_t>> seen;  // site: statuses
  for (int64_t k = 1; k <= static_cast<int64_t>(calls.size()); ++k)
    for (int mode : {ZF_EIO, ZF_ENOSPC, ZF_SHORT}) {
      const zfault_call& c = calls[k - 1];
      if ((mode != ZF_EIO && c.kind != ZF_WRITE) || n++ % every != 0) continue;
      const std::set<uint32_t> statuses = site_statuses(s, c, mode);
      const ChildResult r = disturbed_run(s, k, mode, calls);
      const char* problem = judge(s, r, statuses);
      ++faults, wrong += problem != nullptr, absorbed += !problem && r.run.status == 0;
      seen[std::to_string(c.kind) + role(s, c)].insert(r.run.status);
      if (problem)
        printf("%s: call %lld (kind %d, %s, mode %d): status %u: %s\n", s.name.c_str(), static_cast<long long>(k),
               c.kind, c.name, mode, r.run.status, problem);
    }
  std::string sites;
  for (const auto& [site, statuses] : seen)
    for (sites += " " + site; uint32_t status : statuses) sites += " " + std::to_string(status);
  printf("%s: %zu calls, %d faults injected, %d survived (%d absorbed with a right output); statuses by site:%s\n",
         s.name.c_str(), calls.size(), faults, faults - wrong, absorbed, sites.c_str());
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
  write_file("small.txt", "c\nb\na\n");
  for (const Scenario& s : scenarios())
    if (argc < 2 || s.name == argv[1]) wrong += sweep(s, every), ++swept;
  return wrong == 0 && swept > 0 ? 0 : 1;
}
