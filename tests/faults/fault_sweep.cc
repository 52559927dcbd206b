// Fault sweep: for each scenario, count the file calls of an undisturbed
// run, then run the scenario again once per call, in a fresh child process,
// with that one call failing (writes also with ENOSPC and as a short
// write), and check what the engine made of it:
//   - no crash and no hang;
//   - a failure status, the one its site gives (call_sites.cc), or 0 only
//     where the fault may be absorbed and the output is complete and right;
//   - every descriptor the run opened is closed again;
//   - the inputs are unchanged and nothing but the output and the run's own
//     work files is written, created or removed;
//   - the process can run another sort afterwards.
//
// Usage: fault_sweep [--every N] [--scenario NAME]... [--report FILE]
//                    [--list] [--verbose]
// --every N takes every N-th call, plus the first and last call of every
// site, so that a sampled sweep still fails each kind of call at least once.
// The interposer is preloaded by re-executing this program when needed.
#include <fcntl.h>
#include <ftw.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/child_run.h"
#include "tests/faults/call_sites.h"
#include "tests/faults/scenarios.h"
#include "tests/test_support.h"

namespace zara_faults {

namespace {

struct Options {
  int every = 1;
  std::vector<std::string> only;
  std::string report;
  bool list = false;
  bool verbose = false;
  int timeout_ms = 30000;
};

// What a child tells the parent about its run.
struct ChildReport {
  uint32_t status = 0;
  uint32_t records = 0;
  int32_t fds_before = -1;
  int32_t fds_after = -1;
  int64_t calls = 0;
  uint8_t set_up_ok = 0;
  uint8_t injected = 0;
  uint8_t prefix_ok = 0;
  uint8_t outside = 0;
  uint8_t work_left = 0;
  uint8_t output_ok = 0;
  uint8_t followup_ok = 0;
  char detail[200] = {};
};

struct ChildEnd {
  bool reported = false;
  bool timed_out = false;
  int signal = 0;
  ChildReport report;
};

// ---- in the child ----

bool same_call(const Call& a, const Call& b) {
  return a.kind == b.kind && a.role == b.role && a.arg == b.arg && a.offset == b.offset &&
         a.size == b.size;
}

// The calls up to and including the target are those of the undisturbed run.
bool same_prefix(const std::vector<Call>& calls, const std::vector<Call>& baseline, int64_t target) {
  const size_t n = static_cast<size_t>(target);
  if (calls.size() < n || baseline.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (!same_call(calls[i], baseline[i])) return false;
  return true;
}

// A name the run may write, create or remove: its output or its work files
// in the current directory.
bool may_change(const std::string& path, const ScenarioFiles& files) {
  return (!files.output.empty() && path == files.output) || is_work_name(path);
}

std::string change_outside(const std::vector<Call>& calls, const ScenarioFiles& files) {
  for (const Call& c : calls) {
    const bool changes = (c.kind == ZF_OPEN && (c.arg & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC))) ||
                         c.kind == ZF_UNLINK || c.kind == ZF_LINK;
    if (!changes) continue;
    if (!may_change(c.path, files)) return std::string(kind_name(c.kind)) + " " + c.path;
    if (c.kind == ZF_LINK && !may_change(c.path2, files))
      return std::string("link to ") + c.path2;
  }
  return "";
}

bool work_files_left() {
  bool any = false;
  if (DIR* d = opendir(".")) {
    while (dirent* e = readdir(d))
      if (is_work_name(e->d_name)) any = true;
    closedir(d);
  }
  return any;
}

// Another run in the same process after the disturbed one.
bool followup_run() {
  const zara_test::RunResult r = zara_test::run("../small.txt", "followup.txt", "SORT (1,1,CH,A)");
  return r.status == 0 && zara_test::read_file("followup.txt") == "a\nb\nc\n";
}

void dump_calls(const std::vector<Call>& calls, const std::string& to) {
  std::ofstream out(to);
  for (const Call& c : calls)
    out << c.kind << ' ' << static_cast<int>(c.role) << ' ' << c.arg << ' ' << c.offset << ' '
        << c.size << ' ' << c.result << '\t' << c.path << '\t' << c.path2 << '\n';
}

ChildReport child_body(Scenario& s, const FaultApi& api, int64_t target, int mode,
                       const std::vector<Call>& baseline, const std::string& dump_to) {
  ChildReport r;
  r.set_up_ok = s.set_up();
  r.fds_before = zara_test::count_open_fds();
  api.arm(target, mode);
  const RunOutcome o = s.run();
  r.calls = api.disarm();
  s.tear_down();
  r.fds_after = zara_test::count_open_fds();
  r.status = o.status;
  r.records = o.records;
  const std::vector<Call> calls = logged_calls(api, s.files());
  if (!dump_to.empty()) dump_calls(calls, dump_to);
  r.injected = target == 0 || (static_cast<size_t>(target) <= calls.size() &&
                               calls[static_cast<size_t>(target) - 1].failed);
  r.prefix_ok = target == 0 || same_prefix(calls, baseline, target);
  const std::string outside = change_outside(calls, s.files());
  r.outside = !outside.empty();
  snprintf(r.detail, sizeof r.detail, "%s", outside.c_str());
  r.work_left = work_files_left();
  r.output_ok = o.status == 0 && s.output_correct();
  r.followup_ok = followup_run();
  return r;
}

// ---- in the parent ----

int remove_entry(const char* path, const struct stat*, int, FTW*) { return remove(path); }
void remove_tree(const char* path) { nftw(path, remove_entry, 16, FTW_DEPTH | FTW_PHYS); }

// Runs `body` in a forked child inside a fresh directory "r", which is
// removed afterwards.
ChildEnd in_child(const std::function<ChildReport()>& body, int timeout_ms) {
  ChildEnd end;
  remove_tree("r");
  if (mkdir("r", 0700) != 0) return end;
  int report[2];
  if (pipe(report) != 0) return end;
  fflush(stdout);
  fflush(stderr);
  const pid_t pid = fork();
  if (pid == 0) {
    close(report[0]);
    ChildReport r;
    if (chdir("r") == 0) r = body();
    const bool sent = write(report[1], &r, sizeof r) == static_cast<ssize_t>(sizeof r);
    _exit(sent ? 0 : 1);
  }
  close(report[1]);
  if (pid > 0) {
    pollfd p{report[0], POLLIN, 0};
    const int ready = poll(&p, 1, timeout_ms);
    if (ready == 1 && read(report[0], &end.report, sizeof end.report) == sizeof end.report) {
      end.reported = true;
    } else if (ready == 0) {
      end.timed_out = true;
      kill(pid, SIGKILL);
    }
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    if (WIFSIGNALED(wstatus)) {
      end.signal = WTERMSIG(wstatus);
      if (!end.timed_out) end.reported = false;
    }
  }
  close(report[0]);
  remove_tree("r");
  return end;
}

uint64_t checksum(const std::string& bytes) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
  return h ^ bytes.size();
}

// The inputs as the base directory sees them ("../name" from the child).
std::map<std::string, uint64_t> input_sums(const ScenarioFiles& files) {
  std::map<std::string, uint64_t> sums;
  for (const std::string& in : files.inputs) {
    const std::string here = in.compare(0, 3, "../") == 0 ? in.substr(3) : in;
    sums[here] = checksum(zara_test::read_file(here));
  }
  return sums;
}

std::vector<Call> load_calls(const std::string& from, const ScenarioFiles& files) {
  std::vector<Call> calls;
  std::ifstream in(from);
  std::string line;
  while (std::getline(in, line)) {
    Call c;
    const size_t tab = line.find('\t');
    const size_t tab2 = line.find('\t', tab + 1);
    std::istringstream numbers(line.substr(0, tab));
    int role = 0;
    numbers >> c.kind >> role >> c.arg >> c.offset >> c.size >> c.result;
    c.path = line.substr(tab + 1, tab2 - tab - 1);
    c.path2 = line.substr(tab2 + 1);
    c.role = role_of(c.path, files);
    calls.push_back(c);
  }
  return calls;
}

const char* mode_name(int mode) {
  switch (mode) {
    case ZF_EIO: return "EIO";
    case ZF_ENOSPC: return "ENOSPC";
    case ZF_SHORT: return "short";
    default: return "count";
  }
}

std::string codes(const std::vector<uint32_t>& v) {
  std::string out;
  for (uint32_t c : v) out += (out.empty() ? "" : " or ") + std::to_string(c);
  return out.empty() ? "-" : out;
}

struct Planned {
  size_t index;
  int mode;
  Site site;
};

// Every call in every mode it can fail in; sampled when every > 1.
std::vector<Planned> plan(const std::vector<Call>& calls, const ScenarioFiles& files, int every) {
  std::vector<Planned> all;
  std::map<std::string, std::pair<size_t, size_t>> span;  // site: first, last entry
  for (size_t i = 0; i < calls.size(); ++i) {
    for (int mode : {ZF_EIO, ZF_ENOSPC, ZF_SHORT}) {
      Site s = site_of(calls, i, mode, files);
      if (!s.applicable) continue;
      const std::string key = s.name + "/" + mode_name(mode);
      auto it = span.find(key);
      if (it == span.end()) span[key] = {all.size(), all.size()};
      else it->second.second = all.size();
      all.push_back(Planned{i, mode, std::move(s)});
    }
  }
  if (every <= 1) return all;
  std::set<size_t> keep;
  for (const auto& [key, fl] : span) {
    keep.insert(fl.first);
    keep.insert(fl.second);
  }
  std::vector<Planned> chosen;
  for (size_t j = 0; j < all.size(); ++j)
    if (j % static_cast<size_t>(every) == 0 || keep.count(j)) chosen.push_back(all[j]);
  return chosen;
}

struct SiteTally {
  std::vector<uint32_t> expected;
  int faults = 0;
  int survived = 0;
  std::map<uint32_t, int> seen;
};

struct ScenarioTally {
  std::string name, summary;
  size_t calls = 0;
  std::map<int, int> calls_by_kind;
  int faults = 0;
  int survived = 0;
  int absorbed = 0;
  double seconds = 0;
  std::map<std::string, SiteTally> sites;
  std::vector<std::string> problems;
};

bool contains(const std::vector<uint32_t>& v, uint32_t x) {
  for (uint32_t y : v)
    if (y == x) return true;
  return false;
}

// The problems of one disturbed run; none means the fault was survived.
std::vector<std::string> judge(const ChildEnd& end, const Site& site,
                               const std::map<std::string, uint64_t>& sums_before,
                               const ScenarioFiles& files) {
  std::vector<std::string> p;
  if (end.timed_out) p.push_back("hang: killed after the time-out");
  if (end.signal && !end.timed_out) p.push_back("crash: signal " + std::to_string(end.signal));
  if (!end.reported) {
    if (p.empty()) p.push_back("the child ended without a report");
    return p;
  }
  const ChildReport& r = end.report;
  if (input_sums(files) != sums_before) p.push_back("an input file changed");
  if (!r.set_up_ok) p.push_back("scenario set-up failed");
  if (!r.injected) p.push_back("the fault was not injected");
  if (!r.prefix_ok) p.push_back("the calls before the fault differ from the undisturbed run");
  if (r.fds_before != r.fds_after)
    p.push_back("descriptors: " + std::to_string(r.fds_before) + " before, " +
                std::to_string(r.fds_after) + " after");
  if (r.outside) p.push_back(std::string("changed a file that is not its own: ") + r.detail);
  if (r.status == 0) {
    if (!r.output_ok) p.push_back("FALSE SUCCESS: status 0 but the output is wrong");
    if (r.work_left) p.push_back("status 0 but work files are left");
    if (!contains(site.expected, 0)) p.push_back("status 0 (output correct) where " + codes(site.expected) + " was expected");
  } else if (!contains(site.expected, r.status)) {
    p.push_back("status " + std::to_string(r.status) + ", expected " + codes(site.expected));
  }
  if (!r.followup_ok) p.push_back("a later run in the same process failed");
  return p;
}

std::string describe(const Call& c, size_t index, int mode) {
  std::ostringstream s;
  s << "call " << index + 1 << " (" << kind_name(c.kind) << " " << c.path;
  if (c.kind == ZF_LSEEK) s << " offset " << c.offset << " whence " << c.arg;
  if (c.kind == ZF_READ || c.kind == ZF_WRITE) s << ", " << c.size << " bytes";
  s << ", " << mode_name(mode) << ")";
  return s.str();
}

bool sweep(Scenario& s, const FaultApi& api, const Options& opt, ScenarioTally& t) {
  const auto started = std::chrono::steady_clock::now();
  t.name = s.name();
  t.summary = s.summary();
  s.prepare();
  const auto sums = input_sums(s.files());
  // The undisturbed run: its calls, and proof that it succeeds.
  const std::vector<Call> none;
  const ChildEnd base = in_child(
      [&] { return child_body(s, api, 0, ZF_COUNT, none, "../calls.log"); }, opt.timeout_ms);
  const Site success{"undisturbed run", {0}, true};
  const auto base_problems = judge(base, success, sums, s.files());
  if (!base_problems.empty()) {
    for (const auto& p : base_problems) t.problems.push_back("undisturbed run: " + p);
    return false;
  }
  const std::vector<Call> calls = load_calls("calls.log", s.files());
  t.calls = calls.size();
  for (const Call& c : calls) ++t.calls_by_kind[c.kind];
  if (opt.list) {
    for (size_t i = 0; i < calls.size(); ++i) {
      const Site site = site_of(calls, i, ZF_EIO, s.files());
      printf("  %5zu %-6s %-14s arg %-6d off %-8lld size %-6lld -> %-6lld  %s\n", i + 1,
             kind_name(calls[i].kind), calls[i].path.c_str(), calls[i].arg,
             static_cast<long long>(calls[i].offset), static_cast<long long>(calls[i].size),
             static_cast<long long>(calls[i].result), site.name.c_str());
    }
  }
  for (const Planned& p : plan(calls, s.files(), opt.every)) {
    const int64_t target = static_cast<int64_t>(p.index) + 1;
    const ChildEnd end = in_child(
        [&] { return child_body(s, api, target, p.mode, calls, ""); }, opt.timeout_ms);
    const auto problems = judge(end, p.site, sums, s.files());
    SiteTally& st = t.sites[p.site.name];
    st.expected = p.site.expected;
    ++st.faults;
    ++t.faults;
    if (end.reported) ++st.seen[end.report.status];
    if (problems.empty()) {
      ++st.survived;
      ++t.survived;
      if (end.report.status == 0) ++t.absorbed;
    }
    for (const auto& problem : problems)
      t.problems.push_back(describe(calls[p.index], p.index, p.mode) + ": " + problem);
    if (opt.verbose)
      printf("  %s -> status %u%s\n", describe(calls[p.index], p.index, p.mode).c_str(),
             end.report.status, problems.empty() ? "" : "  PROBLEM");
  }
  t.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return t.problems.empty();
}

std::string seen_codes(const SiteTally& st) {
  std::string out;
  for (const auto& [code, n] : st.seen)
    out += (out.empty() ? "" : ", ") + std::to_string(code) + " x" + std::to_string(n);
  return out;
}

void print_tally(FILE* f, const ScenarioTally& t, bool markdown) {
  std::string kinds;
  for (const auto& [kind, n] : t.calls_by_kind)
    kinds += (kinds.empty() ? "" : ", ") + std::string(kind_name(kind)) + " " + std::to_string(n);
  if (markdown) {
    fprintf(f, "\n#### %s: %s\n\n", t.name.c_str(), t.summary.c_str());
    fprintf(f, "%zu calls in the undisturbed run (%s). %d faults injected, %d survived "
               "(%d absorbed with a correct output), %.1f s.\n\n",
            t.calls, kinds.c_str(), t.faults, t.survived, t.absorbed, t.seconds);
    fprintf(f, "| failing call | faults | statuses seen | expected |\n|---|---|---|---|\n");
    for (const auto& [name, st] : t.sites)
      fprintf(f, "| %s | %d | %s | %s |\n", name.c_str(), st.faults, seen_codes(st).c_str(),
              codes(st.expected).c_str());
  } else {
    printf("%s: %s\n  %zu calls (%s); %d faults injected, %d survived, %d absorbed; %.1f s\n",
           t.name.c_str(), t.summary.c_str(), t.calls, kinds.c_str(), t.faults, t.survived,
           t.absorbed, t.seconds);
    for (const auto& [name, st] : t.sites)
      printf("    %-44s %5d  seen %-24s expected %s\n", name.c_str(), st.faults,
             seen_codes(st).c_str(), codes(st.expected).c_str());
  }
  // The report keeps every problem; the terminal the first 40.
  const size_t shown = markdown || t.problems.size() < 40 ? t.problems.size() : 40;
  for (size_t i = 0; i < shown; ++i)
    fprintf(markdown ? f : stdout, "%s%s\n", markdown ? "- " : "  PROBLEM ", t.problems[i].c_str());
  if (t.problems.size() > shown)
    fprintf(markdown ? f : stdout, "%s... %zu more problems\n", markdown ? "- " : "  ",
            t.problems.size() - shown);
}

bool parse(int argc, char** argv, Options& opt) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : ""; };
    if (a == "--every") opt.every = atoi(value());
    else if (a == "--scenario") opt.only.push_back(value());
    else if (a == "--report") opt.report = value();
    else if (a == "--list") opt.list = true;
    else if (a == "--verbose") opt.verbose = true;
    else if (a == "--timeout") opt.timeout_ms = atoi(value()) * 1000;
    else return false;
  }
  return opt.every >= 1 && opt.timeout_ms > 0;
}

// Re-executes this program with the interposer preloaded.
void preload_interposer(char** argv) {
  if (getenv("ZARA_FAULT_REEXEC")) return;
  std::string preload = ZARA_FAULT_LIBRARY;
  if (const char* old = getenv("LD_PRELOAD"); old && *old) preload += std::string(":") + old;
  setenv("LD_PRELOAD", preload.c_str(), 1);
  setenv("ZARA_FAULT_REEXEC", "1", 1);
  // A sanitizer run time wants to be loaded first; the interposer may come
  // before it.
  std::string asan = "verify_asan_link_order=0";
  if (const char* old = getenv("ASAN_OPTIONS"); old && *old) asan = std::string(old) + ":" + asan;
  setenv("ASAN_OPTIONS", asan.c_str(), 1);
  execv("/proc/self/exe", argv);
}

}  // namespace

int sweep_main(int argc, char** argv) {
  Options opt;
  if (!parse(argc, argv, opt)) {
    fprintf(stderr, "usage: %s [--every N] [--scenario NAME]... [--report FILE] [--list] "
                    "[--verbose] [--timeout SECONDS]\n", argv[0]);
    return 2;
  }
  FaultApi api = find_fault_api();
  if (!api.loaded()) {
    preload_interposer(argv);
    fprintf(stderr, "fault_sweep: the interposer %s is not loaded\n", ZARA_FAULT_LIBRARY);
    return 2;
  }
  signal(SIGXFSZ, SIG_IGN);
  std::vector<ScenarioTally> tallies;
  bool all_ok = true;
  {
    zara_test::ScratchDir base;
    zara_test::write_file("small.txt", "c\nb\na\n");
    for (auto& s : make_scenarios()) {
      if (!opt.only.empty() && std::find(opt.only.begin(), opt.only.end(), s->name()) == opt.only.end())
        continue;
      ScenarioTally t;
      all_ok &= sweep(*s, api, opt, t);
      print_tally(stdout, t, false);
      tallies.push_back(std::move(t));
    }
  }
  if (tallies.empty()) {
    fprintf(stderr, "fault_sweep: no scenario selected\n");
    return 2;
  }
  int faults = 0, survived = 0;
  for (const auto& t : tallies) {
    faults += t.faults;
    survived += t.survived;
  }
  if (!opt.report.empty()) {
    if (FILE* f = fopen(opt.report.c_str(), "w")) {
      fprintf(f, "Fault sweep (every %d%s call): %d faults injected, %d survived.\n", opt.every,
              opt.every == 1 ? "" : "th", faults, survived);
      for (const auto& t : tallies) print_tally(f, t, true);
      fclose(f);
    }
  }
  printf("fault sweep: %d faults injected, %d survived\n", faults, survived);
  printf("%d passed, %d failed\n", survived, faults - survived);
  return all_ok ? 0 : 1;
}

}  // namespace zara_faults

int main(int argc, char** argv) { return zara_faults::sweep_main(argc, argv); }
