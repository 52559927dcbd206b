// Fault sweep: for each scenario, log the file calls of an undisturbed run,
// then run the scenario again once per call, each time in a fresh child
// process with that one call failing (writes also with ENOSPC and as a short
// write), and check what the engine made of it: no crash and no hang; the
// status of the call's site (kSiteRules), or 0 only where the fault may be
// absorbed and the output is complete and right; every descriptor the run
// opened closed again; the inputs unchanged and nothing but the output and
// the run's own work files written, created or removed; and another sort
// run in the same process afterwards.
// Usage: fault_sweep [--every N] [--scenario NAME]... [--report FILE] [--list]
//                    [--verbose]
// --every N takes every N-th fault plus the first and last of every site;
// --list prints the calls of each undisturbed run and their sites; --verbose
// one line per fault.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/child_run.h"
#include "tests/faults/fault_inject.h"
#include "tests/test_support.h"
#include "zara15z37.h"

namespace zara_faults {
namespace {

using namespace zara_test;

// The interposer's functions, found at run time.
decltype(&zfault_arm) arm;
decltype(&zfault_disarm) disarm;
decltype(&zfault_calls) logged;
decltype(&zfault_path) path_of;
bool list_calls = false, verbose = false;

enum class Role { kInput, kOutput, kProbe, kRun, kMerged, kHeaderSave, kOther, kAny };

struct Call {
  int kind = 0;  // zfault_kind
  Role role = Role::kOther;
  std::string path, path2;  // path2: a link's new name
  int32_t arg = 0;          // open: flags; lseek: whence
  int64_t offset = 0, size = 0, result = 0;
  bool failed = false;
};

// What the sweep knows of a scenario's files.
struct Files {
  std::vector<std::string> inputs;  // as named in the input list
  std::string output;               // empty for a record-at-a-time run
  bool headed = false;              // the file type carries a header
  int64_t end_mark_bytes = 0;       // bytes of the output's end mark
  bool padded = false;              // PRE: the output is padded at its end
};

const char* kind_name(int kind) {
  static const char* const names[] = {"?",     "open",  "read",   "write", "lseek",
                                      "close", "unlink", "link", "mmap",  "pthread_create"};
  return names[kind >= ZF_OPEN && kind <= ZF_THREAD ? kind : 0];
}

// A name of a run's work-file family: "sw", six digits, ".00", and but for
// the probe a suffix character (runs; X the merge result; z the header save).
bool is_work_name(const std::string& name) {
  if ((name.size() != 11 && name.size() != 12) || name.compare(0, 2, "sw") != 0 ||
      name.compare(8, 3, ".00") != 0 ||
      !std::all_of(name.begin() + 2, name.begin() + 8, [](char c) { return isdigit(c); }))
    return false;
  return name.size() == 11 || strchr("123456789ABCDEFGHIJKLMNOPQRSTUXz", name[11]) != nullptr;
}

Role role_of(const std::string& path, const Files& f) {
  if (std::count(f.inputs.begin(), f.inputs.end(), path)) return Role::kInput;
  if (!f.output.empty() && path == f.output) return Role::kOutput;
  const std::string name = path.substr(path.rfind('/') + 1);
  if (!is_work_name(name)) return Role::kOther;
  if (name.size() == 11) return Role::kProbe;
  return name[11] == 'X' ? Role::kMerged : name[11] == 'z' ? Role::kHeaderSave : Role::kRun;
}

bool creates(const Call& c) { return c.kind == ZF_OPEN && (c.arg & O_CREAT) != 0; }

// What the calls around a call tell of its phase, one bit each.
constexpr unsigned kCreate = 1,  // an open that creates its file
    kLock = 2,                   // the probe's name after its removal: the family's lock
    kHeaderCheck = 4,            // a headed type, before the header save file was created
    kAfterHeaderRead = 8,        // right after a read of the header save file
    kAfterCountSeek = 16,        // right after the output's seek to its record count
    kPadding = 32,               // PRE: output writes after a seek to its end
    kEndMark = 64,               // a write of the end mark's size before the output's end
    kAfterMerge = 128,           // a run was created before
    kWritten = 256,              // the file's last open created it
    kFourHeld = 512,             // 4 or more probe descriptors are held
    kPaddedFile = 1024,          // the scenario's output is padded
    kSeekCur = 2048, kSeekEnd = 4096, kSeekTo4 = 8192;

struct SiteRule {
  int kind;
  Role role;
  unsigned context;  // every bit must be set
  const char* name;
  uint32_t status;
  int short_status;  // a short write: -1 the same site; else "(short)" with this status
};

// First match wins. A short write of the header copy, the record count or
// the padding is completed by writing the rest (status 0).
const SiteRule kSiteRules[] = {
    {ZF_OPEN, Role::kProbe, kCreate, "open: create the probe", 329, -1},
    {ZF_OPEN, Role::kProbe, kFourHeld, "open: probe again (4+ held)", 0, -1},
    {ZF_OPEN, Role::kProbe, 0, "open: probe again (<4 held)", 330, -1},
    {ZF_OPEN, Role::kInput, 0, "open: input", 214, -1},
    {ZF_OPEN, Role::kOutput, 0, "open: output", 210, -1},
    {ZF_OPEN, Role::kRun, kCreate, "open: create a run", 210, -1},
    {ZF_OPEN, Role::kRun, 0, "open: run for merging", 229, -1},
    {ZF_OPEN, Role::kMerged, 0, "open: create the merge result", 210, -1},
    {ZF_OPEN, Role::kHeaderSave, kCreate, "open: create the header save file", 215, -1},
    {ZF_OPEN, Role::kHeaderSave, 0, "open: header save file for copying", 301, -1},
    {ZF_READ, Role::kInput, 0, "read: input", 216, -1},
    {ZF_READ, Role::kRun, 0, "read: run", 313, -1},
    {ZF_READ, Role::kHeaderSave, 0, "read: header save file", 302, -1},
    {ZF_READ, Role::kOutput, 0, "read: output's last byte (APPEND)", 210, -1},
    {ZF_WRITE, Role::kOutput, kAfterHeaderRead, "write: header to output", 303, 0},
    {ZF_WRITE, Role::kOutput, kAfterCountSeek, "write: DB3 record count", 319, 0},
    {ZF_WRITE, Role::kOutput, kPadding, "write: PRE padding", 321, 0},
    {ZF_WRITE, Role::kOutput, kEndMark, "write: end mark", 321, -1},
    {ZF_WRITE, Role::kOutput, 0, "write: output buffer", 240, -1},
    {ZF_WRITE, Role::kRun, 0, "write: run", 240, -1},
    {ZF_WRITE, Role::kMerged, 0, "write: merge result", 240, -1},
    {ZF_WRITE, Role::kHeaderSave, 0, "write: header save file", 218, 219},
    {ZF_LSEEK, Role::kInput, kSeekCur, "lseek: input back over unframed bytes", 322, -1},
    {ZF_LSEEK, Role::kInput, kSeekEnd, "lseek: input end (PRE size)", 227, -1},
    {ZF_LSEEK, Role::kInput, kHeaderCheck, "lseek: input header field", 216, -1},
    {ZF_LSEEK, Role::kInput, 0, "lseek: input to its start or past its header", 227, -1},
    {ZF_LSEEK, Role::kOutput, kSeekTo4, "lseek: DB3 record count", 319, -1},
    {ZF_LSEEK, Role::kOutput, kPaddedFile, "lseek: output end (PRE padding)", 321, -1},
    {ZF_LSEEK, Role::kOutput, 0, "lseek: output end (APPEND)", 210, -1},
    {ZF_LSEEK, Role::kRun, 0, "lseek: run back to a record", 322, -1},
    {ZF_CLOSE, Role::kProbe, kLock, "close: family lock", 0, -1},  // an empty lock loses nothing
    {ZF_CLOSE, Role::kProbe, 0, "close: probe", 331, -1},
    {ZF_CLOSE, Role::kInput, kHeaderCheck, "close: input after its header check", 221, -1},
    {ZF_CLOSE, Role::kInput, 0, "close: input", 220, -1},
    {ZF_CLOSE, Role::kOutput, kAfterMerge, "close: output after the merge", 231, -1},
    {ZF_CLOSE, Role::kOutput, 0, "close: output after writing", 307, -1},
    {ZF_CLOSE, Role::kRun, kWritten, "close: run after writing it", 307, -1},
    {ZF_CLOSE, Role::kRun, 0, "close: run after merging it", 311, -1},
    {ZF_CLOSE, Role::kMerged, 0, "close: merge result", 231, -1},
    {ZF_CLOSE, Role::kHeaderSave, kWritten, "close: header save file after saving", 221, -1},
    {ZF_CLOSE, Role::kHeaderSave, 0, "close: header save file after copying", 304, -1},
    {ZF_UNLINK, Role::kProbe, 0, "unlink: probe", 332, -1},
    {ZF_UNLINK, Role::kRun, 0, "unlink: run after merging it", 312, -1},
    {ZF_UNLINK, Role::kMerged, 0, "unlink: merge result's temporary name", 310, -1},
    {ZF_UNLINK, Role::kHeaderSave, 0, "unlink: header save file", 320, -1},
    {ZF_LINK, Role::kAny, 0, "link: merge result to its run's name", 310, -1},
    // Without the mapping the input is read; without the thread the output
    // is written at once.
    {ZF_MMAP, Role::kInput, 0, "mmap: input", 0, -1},
    {ZF_THREAD, Role::kAny, 0, "pthread_create: output writer", 0, -1},
};

unsigned context_of(const std::vector<Call>& calls, size_t i, const Files& files) {
  const Call& c = calls[i];
  const Call* prev = i > 0 ? &calls[i - 1] : nullptr;
  const Call* next = i + 1 < calls.size() ? &calls[i + 1] : nullptr;
  unsigned ctx = (creates(c) ? kCreate : 0) | (files.padded ? kPaddedFile : 0) |
                 (c.arg == SEEK_CUR ? kSeekCur : 0) | (c.arg == SEEK_END ? kSeekEnd : 0) |
                 (c.arg == SEEK_SET && c.offset == 4 ? kSeekTo4 : 0) |
                 (files.headed ? kHeaderCheck : 0);
  int probes_held = 0;
  const Call* opened = nullptr;  // the last open of this file before it
  for (size_t j = 0; j < i; ++j) {
    const Call& b = calls[j];
    if (b.kind == ZF_UNLINK && b.role == Role::kProbe && c.role == Role::kProbe) ctx |= kLock;
    if (creates(b) && b.role == Role::kHeaderSave) ctx &= ~kHeaderCheck;
    if (creates(b) && b.role == Role::kRun) ctx |= kAfterMerge;
    probes_held += b.kind == ZF_OPEN && b.role == Role::kProbe && b.result >= 0;
    if (b.kind == ZF_OPEN && b.path == c.path && !c.path.empty()) opened = &b;
  }
  if (probes_held >= 4) ctx |= kFourHeld;
  if (opened && creates(*opened)) ctx |= kWritten;
  if (prev && prev->kind == ZF_READ && prev->role == Role::kHeaderSave) ctx |= kAfterHeaderRead;
  if (prev && prev->kind == ZF_LSEEK && prev->role == Role::kOutput && prev->arg == SEEK_SET &&
      prev->offset == 4)
    ctx |= kAfterCountSeek;
  for (size_t j = i; files.padded && j-- > 0 && calls[j].role == Role::kOutput;) {
    if (calls[j].kind == ZF_LSEEK && calls[j].arg == SEEK_END && calls[j].offset == 0)
      ctx |= kPadding;
    if (calls[j].kind != ZF_WRITE) break;
  }
  if (files.end_mark_bytes && c.size == files.end_mark_bytes && next &&
      next->role == Role::kOutput && (next->kind == ZF_CLOSE || next->kind == ZF_LSEEK))
    ctx |= kEndMark;
  return ctx;
}

struct Site {
  std::string name;
  std::vector<uint32_t> expected;  // 0 among them: the fault may be absorbed
  bool applicable = true;          // false for a mode the call cannot fail in
};

// Where calls[i] stands and the statuses its failure in `mode` may give.
Site site_of(const std::vector<Call>& calls, size_t i, int mode, const Files& files) {
  const Call& c = calls[i];
  if (mode != ZF_EIO && c.kind != ZF_WRITE) return {"", {}, false};
  const unsigned ctx = context_of(calls, i, files);
  if ((ctx & kLock) && (c.kind == ZF_OPEN || c.kind == ZF_UNLINK)) {
    // A failed lock gives the status of the first file it guards: the next
    // file created after it, or the last one before its removal.
    const Call* first = nullptr;
    for (size_t j = i; c.kind == ZF_UNLINK && j-- > 0 && !first;)
      if (creates(calls[j]) && calls[j].role != Role::kProbe) first = &calls[j];
    for (size_t j = i + 1; c.kind == ZF_OPEN && j < calls.size() && !first; ++j)
      if (creates(calls[j]) && calls[j].role != Role::kProbe) first = &calls[j];
    const bool header = first && first->role == Role::kHeaderSave;
    return {std::string(c.kind == ZF_OPEN ? "open: lock the family for its first file"
                                          : "unlink: family lock") +
                (header ? " (header save file)" : " (run 1)"),
            {header ? 215u : 210u}};
  }
  for (const SiteRule& r : kSiteRules) {
    if (r.kind != c.kind || (r.role != c.role && r.role != Role::kAny) ||
        (ctx & r.context) != r.context)
      continue;
    const bool shortened = mode == ZF_SHORT && r.short_status >= 0;
    return {std::string(r.name) + (shortened ? " (short)" : ""),
            {shortened ? static_cast<uint32_t>(r.short_status) : r.status},
            !(mode == ZF_SHORT && c.size < 2)};
  }
  return {std::string(kind_name(c.kind)) + ": other file", {}};
}

// A run the sweep disturbs. `prepare` writes the inputs into the sweep's
// base directory; each run happens in a fresh directory below it.
struct Scenario {
  std::string name, summary, control;
  Files files;
  int free_fds = 0;                  // the run's descriptor limit; 0: none
  std::string old_output;            // the output before the run (APPEND)
  std::vector<std::string> records;  // record at a time: the records released
  std::string expected;              // the output, or the records returned one a line
  std::function<void(Scenario&)> prepare;
};

std::vector<std::string> keyed_records(int n, unsigned seed) {
  std::vector<std::string> records = keyed_lines(n, seed);
  for (std::string& r : records) r.pop_back();
  return records;
}

Scenario table_sort(const char* name, const char* summary, int count, const char* core) {
  Scenario s{name,
             summary,
             std::string("FILETYPE (DB3) SORT (2,4,CH,A)") + core,
             {{"../table.dbf"}, "out.dbf", true, 1}};
  s.prepare = [count](Scenario& s) {
    std::mt19937 gen(11);
    std::vector<std::string> records;
    char r[32];
    for (int i = 0; i < count; ++i) {
      snprintf(r, sizeof r, " %04u%06d", static_cast<unsigned>(gen() % 97), i);
      records.push_back(std::string(r) + std::string(45 - strlen(r), '-'));
    }
    write_file("table.dbf", db3_header(290, 45, 'h', 12345) + concat(records) + "\x1A");
    s.expected = db3_header(290, 45, 'h', count) + sorted_by_prefix(records, 5) + "\x1A";
  };
  return s;
}

std::vector<Scenario> make_scenarios() {
  std::vector<Scenario> all;
  all.push_back({"multiload",
                 "TXT sort, CORE (60), 6 descriptors: 8 loads, 2 intermediate merges",
                 "SORT (1,2,CH,A) CORE (60)",
                 {{"../keys.txt"}, "out.txt"},
                 6});
  all.back().prepare = [](Scenario& s) {
    write_file("keys.txt", concat(keyed_lines(10000, 7)));
    s.expected = sorted_by_prefix(keyed_lines(10000, 7), 2);
  };
  all.push_back(table_sort("db3",
                           "DB3 sort, header 290 bytes, 900 records, CORE (60): 2 loads, "
                           "final merge",
                           900, " CORE (60)"));
  all.push_back(
      table_sort("db3-one-load", "DB3 sort, 40 records in one load: written directly", 40, ""));
  all.push_back({"append",
                 "APPEND copy of two TXT inputs onto an existing output, CORE (60): "
                 "2 loads",
                 "APPEND CORE (60)",
                 {{"../part1.txt", "../part2.txt"}, "out.txt", false, 1},
                 0,
                 "old-1\nold-2\n\x1A"});
  all.back().prepare = [](Scenario& s) {  // the old end mark is replaced
    std::string one, two;
    for (int i = 0; i < 2000; ++i) {
      one += "p1-" + std::to_string(100000 + i).substr(1) + "\n";
      two += "p2-" + std::to_string(100000 + i).substr(1) + "\n";
    }
    write_file("part1.txt", one);
    write_file("part2.txt", two + "\x1A");
    s.expected = "old-1\nold-2\n" + one + two + "\x1A";
  };
  all.push_back({"raat",
                 "record-at-a-time sort, CORE (60), 5 descriptors: 4 spilled loads, "
                 "1 intermediate merge, merged return",
                 "SORT (1,2,CH,A) CORE (60)",
                 {},
                 5});
  all.back().prepare = [](Scenario& s) {
    s.records = keyed_records(6000, 5);
    s.expected = sorted_by_prefix(keyed_lines(6000, 5), 2);
  };
  // SUM over intermediate merges flushes the held record at the end of each
  // merge; the small output is padded with zeros to the input's size.
  all.push_back({"pre-sum",
                 "PRE sort with SUM, CORE (60), 5 descriptors: 4 loads, an "
                 "intermediate merge, 48 KB of padding",
                 "SORT (1,1,CH,A) SUM (2,6,ZD) FILETYPE (PRE,12) CORE (60)",
                 {{"../sums.pre"}, "out.pre", false, 0, true},
                 5});
  all.back().prepare = [](Scenario& s) {
    std::mt19937 gen(13);
    std::string in, first_of[26];
    long total[26] = {};
    char r[32];
    for (int i = 0; i < 4000; ++i) {
      const int k = static_cast<int>(gen() % 26), amount = static_cast<int>(gen() % 100);
      in.append(r, snprintf(r, sizeof r, "%c%06d%05d", 'A' + k, amount, i));
      if (first_of[k].empty()) first_of[k] = r;
      total[k] += amount;
    }
    write_file("sums.pre", in);
    for (int k = 0; k < 26; ++k)
      if (!first_of[k].empty())
        s.expected += first_of[k].replace(1, 6, std::string(r, snprintf(r, 8, "%06ld", total[k])));
    s.expected.resize(in.size(), '\0');
  };
  // Every load is reformatted into one spill file kept open from load to
  // load; the records come back in release order.
  all.push_back({"raat-copy",
                 "record-at-a-time copy with INCLUDE and OUTREC, CORE (60): one "
                 "spill file kept open over 3 loads",
                 "INCLUDE (1,1,CH,NE,\"A\") OUTREC (3,6,\"!\") CORE (60)"});
  all.back().prepare = [](Scenario& s) {
    s.records = keyed_records(9000, 17);
    for (const std::string& r : s.records)
      if (r[0] != 'A') s.expected += r.substr(2) + "!\n";
  };
  return all;
}

// The engine's calls of a scenario: the first failure status (0 when the
// run completed), and in `produced` the records a record-at-a-time run
// returned.
uint32_t run_scenario(Scenario& s, std::string& produced) {
  if (!s.files.output.empty()) {
    std::string names;
    for (const std::string& in : s.files.inputs) names += (names.empty() ? "" : " ") + in;
    return run(names, s.files.output, s.control).status;
  }
  std::string control = s.control;
  uint32_t length = static_cast<uint32_t>(control.size()), status = 0;
  s_1raat(1, control.data(), &length, &status);
  for (size_t k = 0; status == 0 && k < s.records.size(); ++k) {
    length = static_cast<uint32_t>(s.records[k].size());
    s_1raat(2, s.records[k].data(), &length, &status);
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

// The checks of a disturbed run, one bit each.
constexpr uint32_t kInjected = 1, kSamePrefix = 2, kFdsClosed = 4, kOwnFilesOnly = 8,
                   kNoWorkLeft = 16, kOutputRight = 32, kFollowupRuns = 64;
const std::pair<uint32_t, const char*> kCheckProblems[] = {
    {kInjected, "the fault was not injected"},
    {kSamePrefix, "the calls before the fault differ from the undisturbed run"},
    {kFdsClosed, "a descriptor the run opened stays open"},
    {kOwnFilesOnly, "changed a file that is not its own"},
    {kFollowupRuns, "a later run in the same process failed"}};

// In a fresh directory "r": the run failing call `target` (0: none) in
// `mode`; its status, in `checks` the checks it passed, in `calls` its calls.
uint32_t disturbed_run(Scenario& s, int64_t target, int mode, const std::vector<Call>& baseline,
                       uint32_t* checks, std::vector<Call>& calls) {
  if (mkdir("r", 0700) != 0 || chdir("r") != 0) return 0xDEAD;
  if (!s.old_output.empty()) write_file(s.files.output, s.old_output);
  rlimit saved;
  getrlimit(RLIMIT_NOFILE, &saved);
  rlimit lowered{0, saved.rlim_max};  // leaving `free_fds` descriptors free
  for (int free_seen = 0; free_seen < s.free_fds; ++lowered.rlim_cur)
    free_seen += !fd_is_open(static_cast<int>(lowered.rlim_cur));
  if (s.free_fds && setrlimit(RLIMIT_NOFILE, &lowered) != 0) return 0xDEAD;
  const int fds_before = count_open_fds();
  arm(target, mode);
  std::string produced;
  const uint32_t status = run_scenario(s, produced);
  disarm();
  setrlimit(RLIMIT_NOFILE, &saved);
  const bool fds_closed = count_open_fds() == fds_before;
  int64_t count = 0, capacity = 0;
  const zfault_call* log = logged(&count, &capacity);
  for (int64_t i = 0; i < std::min(count, capacity); ++i) {
    const zfault_call& z = log[i];
    calls.push_back({z.kind, role_of(path_of(z.path), s.files), path_of(z.path), path_of(z.path2),
                     z.arg, z.offset, z.size, z.result, z.failed != 0});
  }
  const size_t n = static_cast<size_t>(target);
  bool same_prefix = n <= calls.size() && n <= baseline.size();
  for (size_t i = 0; same_prefix && i < n; ++i) {
    const Call &a = calls[i], &b = baseline[i];
    same_prefix = a.kind == b.kind && a.role == b.role && a.arg == b.arg && a.offset == b.offset &&
                  a.size == b.size;
  }
  bool own_files_only = true, work_left = false;
  for (const Call& c : calls) {
    const auto own = [&](const std::string& p) {
      return (!s.files.output.empty() && p == s.files.output) || is_work_name(p);
    };
    const bool changes = (c.kind == ZF_OPEN && (c.arg & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC))) ||
                         c.kind == ZF_UNLINK || c.kind == ZF_LINK;
    if ((changes && !own(c.path)) || (c.kind == ZF_LINK && !own(c.path2))) {
      fprintf(stderr, "fault_sweep: %s %s %s\n", kind_name(c.kind), c.path.c_str(),
              c.path2.c_str());
      own_files_only = false;
    }
  }
  for (const auto& e : std::filesystem::directory_iterator("."))
    work_left |= is_work_name(e.path().filename().string());
  const bool output_right =
      status == 0 && (s.files.output.empty() ? produced : read_file(s.files.output)) == s.expected;
  const bool followup = run("../small.txt", "followup.txt", "SORT (1,1,CH,A)").status == 0 &&
                        read_file("followup.txt") == "a\nb\nc\n";
  *checks = (target == 0 || (n <= calls.size() && calls[n - 1].failed) ? kInjected : 0) |
            (target == 0 || same_prefix ? kSamePrefix : 0) | (fds_closed ? kFdsClosed : 0) |
            (own_files_only ? kOwnFilesOnly : 0) | (work_left ? 0 : kNoWorkLeft) |
            (output_right ? kOutputRight : 0) | (followup ? kFollowupRuns : 0);
  return chdir("..") == 0 ? status : 0xDEAD;
}

std::string codes(const std::vector<uint32_t>& v) {
  std::string out;
  for (uint32_t c : v) out += (out.empty() ? "" : " or ") + std::to_string(c);
  return out.empty() ? "-" : out;
}

// The problems of one run; none means the fault was survived.
std::vector<std::string> judge(uint32_t status, uint32_t checks, const Site& site,
                               const std::map<std::string, std::string>& inputs) {
  std::vector<std::string> p;
  for (const auto& [in, bytes] : inputs)
    if (read_file(in) != bytes) p.push_back("the input " + in + " changed");
  for (const auto& [bit, problem] : kCheckProblems)
    if (!(checks & bit)) p.push_back(problem);
  const auto expected = [&](uint32_t s) {
    return std::count(site.expected.begin(), site.expected.end(), s) > 0;
  };
  if (status == 0 && !(checks & kOutputRight)) p.push_back("FALSE SUCCESS: the output is wrong");
  if (status == 0 && !(checks & kNoWorkLeft)) p.push_back("status 0 but work files are left");
  if (!expected(status))
    p.push_back("status " + std::to_string(status) + ", expected " + codes(site.expected));
  return p;
}

struct Tally {
  std::string name, summary;
  size_t calls = 0;
  int faults = 0, survived = 0;
  struct SiteTally {
    std::vector<uint32_t> expected;
    int faults = 0;
    std::map<uint32_t, int> seen;  // status: count
  };
  std::map<std::string, SiteTally> sites;
  std::vector<std::string> problems;
};

Tally sweep(Scenario& s, int every) {
  Tally t{s.name, s.summary};
  s.prepare(s);
  std::map<std::string, std::string> inputs;  // in the base directory
  for (const std::string& in : s.files.inputs) inputs[in.substr(3)] = read_file(in.substr(3));
  // The undisturbed run, here: its calls, and proof that it succeeds.
  std::vector<Call> calls;
  uint32_t checks = 0;
  const uint32_t status = disturbed_run(s, 0, ZF_COUNT, {}, &checks, calls);
  std::filesystem::remove_all("r");
  for (const auto& p : judge(status, checks, Site{"undisturbed run", {0}}, inputs))
    t.problems.push_back("undisturbed run: " + p);
  if (!t.problems.empty()) return t;
  t.calls = calls.size();
  for (size_t i = 0; list_calls && i < calls.size(); ++i)
    printf("%5zu %-6s %-14s arg %-6d off %-8lld size %-6lld -> %-6lld  %s\n", i + 1,
           kind_name(calls[i].kind), calls[i].path.c_str(), calls[i].arg,
           static_cast<long long>(calls[i].offset), static_cast<long long>(calls[i].size),
           static_cast<long long>(calls[i].result),
           site_of(calls, i, ZF_EIO, s.files).name.c_str());
  // Every call in every mode it can fail in; when every > 1, every n-th of
  // them and the first and last of each site.
  std::vector<std::pair<size_t, int>> faults;  // call, mode
  std::map<std::string, size_t> last_of_site;
  for (size_t i = 0; i < calls.size(); ++i)
    for (int mode : {ZF_EIO, ZF_ENOSPC, ZF_SHORT})
      if (const Site site = site_of(calls, i, mode, s.files); site.applicable) {
        const std::string key = site.name + "/" + std::to_string(mode);
        const bool first = !last_of_site.count(key);
        last_of_site[key] = faults.size();
        faults.push_back({i, faults.size() % every == 0 || first ? mode : -mode});
      }
  for (const auto& [key, last] : last_of_site) faults[last].second = abs(faults[last].second);
  for (const auto& [i, mode] : faults) {
    if (mode < 0) continue;
    const Site site = site_of(calls, i, mode, s.files);
    const ChildResult end = run_in_child(
        [&](uint32_t* checks) {
          std::vector<Call> disturbed;
          return RunResult{
              disturbed_run(s, static_cast<int64_t>(i) + 1, mode, calls, checks, disturbed), 0};
        },
        nullptr, 30000);
    std::filesystem::remove_all("r");
    const auto problems = end.exited ? judge(end.run.status, end.extra, site, inputs)
                                     : std::vector<std::string>{"crash or hang"};
    Tally::SiteTally& st = t.sites[site.name];
    st.expected = site.expected;
    ++st.faults, ++t.faults;
    if (end.exited) ++st.seen[end.run.status];
    t.survived += problems.empty();
    const Call& c = calls[i];
    std::string call = "call " + std::to_string(i + 1) + " (" + kind_name(c.kind) + " " + c.path;
    if (c.kind == ZF_LSEEK)
      call += " offset " + std::to_string(c.offset) + " whence " + std::to_string(c.arg);
    if (c.kind == ZF_READ || c.kind == ZF_WRITE) call += ", " + std::to_string(c.size) + " bytes";
    const char* mode_name = mode == ZF_EIO ? "EIO" : mode == ZF_ENOSPC ? "ENOSPC" : "short";
    for (const auto& problem : problems)
      t.problems.push_back(call + ", " + mode_name + "): " + problem);
    if (verbose)
      printf("  %s, %s) -> status %u%s\n", call.c_str(), mode_name, end.run.status,
             problems.empty() ? "" : "  PROBLEM");
  }
  return t;
}

// A scenario's table of sites and at most `most_problems` of its problems.
void print_tally(FILE* f, const Tally& t, size_t most_problems) {
  fprintf(f,
          "\n#### %s: %s\n\n%zu calls in the undisturbed run. %d faults injected, %d survived.\n\n"
          "| failing call | faults | statuses seen | expected |\n|---|---|---|---|\n",
          t.name.c_str(), t.summary.c_str(), t.calls, t.faults, t.survived);
  for (const auto& [name, site] : t.sites) {
    std::string seen;
    for (const auto& [code, n] : site.seen)
      seen += (seen.empty() ? "" : ", ") + std::to_string(code) + " x" + std::to_string(n);
    fprintf(f, "| %s | %d | %s | %s |\n", name.c_str(), site.faults, seen.c_str(),
            codes(site.expected).c_str());
  }
  for (size_t i = 0; i < t.problems.size() && i < most_problems; ++i)
    fprintf(f, "- PROBLEM %s\n", t.problems[i].c_str());
  if (t.problems.size() > most_problems)
    fprintf(f, "- ... %zu more problems\n", t.problems.size() - most_problems);
}

}  // namespace
}  // namespace zara_faults

int main(int argc, char** argv) {
  using namespace zara_faults;
  int every = 1;
  std::vector<std::string> only;
  std::string report;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i], value = i + 1 < argc ? argv[i + 1] : "";
    i += option == "--every" || option == "--scenario" || option == "--report";
    if (option == "--list")
      list_calls = true;
    else if (option == "--verbose")
      verbose = true;
    else if (option == "--every")
      every = atoi(value.c_str());
    else if (option == "--scenario")
      only.push_back(value);
    else if (option == "--report")
      report = value;
    else
      every = 0;
  }
  if (every < 1) {
    fprintf(stderr,
            "usage: %s [--every N] [--scenario NAME]... [--report FILE] [--list] [--verbose]\n",
            argv[0]);
    return 2;
  }
  *reinterpret_cast<void**>(&arm) = dlsym(RTLD_DEFAULT, "zfault_arm");
  *reinterpret_cast<void**>(&disarm) = dlsym(RTLD_DEFAULT, "zfault_disarm");
  *reinterpret_cast<void**>(&logged) = dlsym(RTLD_DEFAULT, "zfault_calls");
  *reinterpret_cast<void**>(&path_of) = dlsym(RTLD_DEFAULT, "zfault_path");
  if (!(arm && disarm && logged && path_of) && !getenv("ZARA_FAULT_REEXEC")) {
    // Again with the interposer preloaded; a sanitizer's run time, which
    // wants to come first, is told to accept it in front.
    const char* old = getenv("LD_PRELOAD");
    setenv("LD_PRELOAD", (std::string(ZARA_FAULT_LIBRARY) + ":" + (old ? old : "")).c_str(), 1);
    setenv("ZARA_FAULT_REEXEC", "1", 1);
    old = getenv("ASAN_OPTIONS");
    setenv("ASAN_OPTIONS", (std::string(old ? old : "") + ":verify_asan_link_order=0").c_str(), 1);
    execv("/proc/self/exe", argv);
  }
  if (!(arm && disarm && logged && path_of)) {
    fprintf(stderr, "fault_sweep: the interposer %s is not loaded\n", ZARA_FAULT_LIBRARY);
    return 2;
  }
  signal(SIGXFSZ, SIG_IGN);
  std::vector<Tally> tallies;
  {
    ScratchDir base;
    write_file("small.txt", "c\nb\na\n");
    for (Scenario& s : make_scenarios())
      if (only.empty() || std::count(only.begin(), only.end(), s.name)) {
        tallies.push_back(sweep(s, every));
        print_tally(stdout, tallies.back(), 40);
      }
  }
  int faults = 0, survived = 0;
  bool problems = tallies.empty();
  for (const Tally& t : tallies)
    faults += t.faults, survived += t.survived, problems |= !t.problems.empty();
  if (FILE* f = report.empty() ? nullptr : fopen(report.c_str(), "w")) {
    fprintf(f, "Fault sweep (every %d%s call): %d faults injected, %d survived.\n", every,
            every == 1 ? "" : "th", faults, survived);
    for (const Tally& t : tallies) print_tally(f, t, t.problems.size());
    fclose(f);
  }
  printf("fault sweep: %d faults injected, %d survived\n%d passed, %d failed\n", faults, survived,
         survived, faults - survived);
  return problems ? 1 : 0;
}
