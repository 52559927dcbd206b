// Whole runs and what they hold: work files, progress figures, the output-is-input and input-name checks,
// descriptors, resource limits (in forked children) and eight processes sorting at once in one directory.
#include <gtest/gtest.h>
#include <malloc.h>
#include <signal.h>
#include <sys/stat.h>

#include <ctime>
#include <regex>
#include <set>
#include <sstream>

#include "engine/arena.h"
#include "engine/driver.h"
#include "engine/run_state.h"
#include "engine/status.h"
#include "tests/child_run.h"
#include "tests/test_support.h"
#include "zara15z37.h"

namespace zara {
namespace {

using namespace zara_test;

// `n` lines "<tag><six digits>\n", descending or ascending.
std::string numbered(int n, char tag = 'n', bool descending = true) {
  std::string out;
  for (int i = 0; i < n; ++i) out += tag + std::to_string(1000000 + (descending ? n - 1 - i : i)).substr(1) + "\n";
  return out;
}

// Every progress report, and the work-file names present at each.
struct Watch { std::vector<zara_progress> reports; std::set<std::string> names; };

// Names "sw" + six digits + ".00" + a suffix, one family per run, all removed at the end; progress figures
// never go back.
TEST(WorkFiles, NamesRemovalAndProgress) {
  ScratchDir dir;
  write_file("in.txt", numbered(3000));
  Watch w;
  zara_set_progress([](const zara_progress* p, void* watch) {
    static_cast<Watch*>(watch)->reports.push_back(*p);
    for (const std::string& f : work_files()) static_cast<Watch*>(watch)->names.insert(f);
  }, &w);
  EXPECT_EQ(run("in.txt", "out.txt", "CORE (40) SORT (1,7,CH,A)").status, kOk);
  zara_set_progress(nullptr, nullptr);
  EXPECT_TRUE(read_file("out.txt") == numbered(3000, 'n', false));
  EXPECT_EQ(dir.files(), (std::vector<std::string>{"in.txt", "out.txt"}));
  const std::string family = w.names.empty() ? "" : w.names.begin()->substr(0, 11);
  EXPECT_TRUE(w.names.count(family + "1") && family.ends_with(".00")) << family;
  for (const std::string& name : w.names)
    EXPECT_TRUE(name.starts_with(family) && name.find_first_not_of("0123456789", 2) == 8 &&
                strchr("123456789ABCDEFGHIJKLMNOPQRSTU", name[11])) << name;
  for (size_t i = 1; i < w.reports.size(); ++i) {
    const zara_progress &a = w.reports[i - 1], &b = w.reports[i];
    EXPECT_TRUE(b.bytes_read >= a.bytes_read && b.memory_loads >= a.memory_loads &&
                b.merge_passes >= a.merge_passes && b.phase >= a.phase) << i;
  }
  EXPECT_TRUE(w.reports.size() >= 3 && w.reports.back().bytes_read == 24000 && w.reports.back().bytes_total == 24000 &&
              w.reports.back().phase == ZARA_PHASE_DONE);
}

std::string clock_name(time_t at) { return "sw" + std::to_string(1000000 + at % 1000000).substr(1) + ".00"; }

void reset_without_names() {  // the last whole run's texts belong to its caller
  gv.input_names = gv.output_name = nullptr;
  s_init();
}

// The set-up names the run from the clock, passes over every family that any file uses (a link is never written
// through) and probes how many files may be open; the probe is removed.
TEST(WorkFiles, SetUpNamesFromTheClockAndPassesOverNamesInUse) {
  ScratchDir dir;
  reset_without_names();
  const time_t now = time(nullptr);  // the names below are fixed from it: the clock may tick meanwhile
  ASSERT_TRUE(s_init2());
  EXPECT_TRUE((gv.work_name == clock_name(now) || gv.work_name == clock_name(time(nullptr))) && gv.file_limit == 30 &&
              dir.files().empty());
  EXPECT_EQ(std::string(gv.suffix_chars, 30), "123456789ABCDEFGHIJKLMNOPQRSTU");
  std::vector<std::string> blockers;
  for (const char* member : {"", "1", "U", "X", "z"})
    write_file(blockers.emplace_back(clock_name(now + blockers.size()) + member), "keep");
  for (time_t t = 5; t < 8; ++t) ASSERT_EQ(symlink(("target" + std::to_string(t)).c_str(), clock_name(now + t).c_str()), 0);
  ASSERT_TRUE(s_init2());
  for (const std::string& b : blockers) EXPECT_EQ(read_file(b), "keep") << b;
  EXPECT_EQ(dir.files().size(), 8u);  // no target created, no probe left
  for (time_t t = 0; t < 8; ++t) EXPECT_NE(gv.work_name, clock_name(now + t)) << t;
}

// s_2mains over texts in heap blocks of exactly their length, the first `length` bytes of the control text.
uint32_t run_exact(const std::string& in, const std::string& out, const std::string& control, size_t length = 999) {
  std::vector<char> i(in.begin(), in.end()), o(out.begin(), out.end()), c(control.begin(), control.end());
  uint32_t records = 0, status = ~0u;
  s_2mains(i.data(), uint32_t(i.size()), o.data(), uint32_t(o.size()), c.data(), uint32_t(std::min(length, c.size())),
           &records, &status);
  return status;
}

// Texts are read within their lengths; a text that ends in a literal or a comment ends there. The output is the first
// word of its text; paths of up to 263 bytes fit. The output may not be an input under any name (in a copy, or a sort
// that changes records). No run, failed or not, leaves a descriptor open, closes one of its caller's, or leaves a
// file but its output (`made`) and its work files.
TEST(Runs, TextsNamesOutputIsInputAndDescriptors) {
  ScratchDir dir;
  const std::string a(100, 'a'), sort = "SORT (1,1,CH,A)", core = "CORE (40) SORT (1,7,CH,A)";
  ASSERT_EQ(mkdir(a.c_str(), 0700) | mkdir((a + "/" + a).c_str(), 0700) | mkdir("sub", 0700), 0);
  const auto path = [&](size_t length, char c) { return a + "/" + a + "/" + std::string(length - 202, c); };
  write_file("a.txt", lines({"b", "a"}));
  write_file("b.txt", numbered(3000));
  write_file(path(263, 'i'), lines({"z", "y"}));
  write_file(path(264, 'i'), "x\n");
  ASSERT_EQ(link("a.txt", "hard.txt") | symlink("a.txt", "soft.txt"), 0);
  const std::vector<std::string> files = dir.files();
  const int mine = open("a.txt", O_RDONLY), before = count_open_fds();
  const struct { std::string in, out, control; size_t length; uint32_t status; std::string made; } rows[] = {
      {"a.txt", "out.txt", sort + " XYZ", 15, 0, "out.txt"}, {"a.txt", "out.txt", sort + " XYZ", 19, 201, ""},
      {"a.txt", "out.txt", "WORKDRIVE (\"/tmp/", 99, 10054, ""}, {"a.txt", "out.txt", sort + " [note", 99, 0, "out.txt"},
      {"a.txt", "\"out", "", 0, 210, ""}, {"a.txt [x", "out.txt", "", 0, 0, "out.txt"}, {"\"a.txt", "out.txt", sort, 99, 213, ""},
      {"a.txt", "  out.txt extra", sort, 99, 0, "out.txt"}, {"a.txt", "[a comment]out.txt,x", sort, 99, 0, "out.txt"},
      {"a.txt", "\tout.txt+y", sort, 99, 0, "out.txt"}, {"a.txt", "out.txt\nmore", "", 0, 0, "out.txt"},
      {"a.txt", "out.txt]z", "", 0, 0, "out.txt"}, {"a.txt", "\"o u t\" extra", "", 0, 0, "o u t"},
      {"a.txt", "  ", sort, 99, 210, ""}, {"a.txt", "", sort, 99, 210, ""}, {"a.txt", std::string("o\0x", 3), "", 0, 210, ""},
      {"a.txt", "nodir/out.txt", sort, 99, 210, ""}, {"a.txt", path(263, 'o'), sort, 99, 0, path(263, 'o')},
      {"a.txt", path(264, 'o'), "", 0, 210, ""}, {path(263, 'i'), "out.txt", sort, 99, 0, "out.txt"},
      {path(264, 'i'), "out.txt", sort, 99, 214, ""}, {"a.txt " + path(264, 'i'), "out.txt", "", 0, 214, ""},
      {std::string("a.txt\0", 6), "out.txt", "", 0, 214, ""}, {"a.txt b.txt", "b.txt", "", 0, 211, ""},
      {"a.txt+[c]\"b.txt\"", "b.txt more", "", 0, 211, ""}, {"missing.txt", "missing.txt", "", 0, 211, ""},
      {"hard.txt", "a.txt", "", 0, 211, ""}, {"soft.txt", "a.txt", "OVERWRITE", 99, 211, ""},
      {"a.txt", "soft.txt", sort + " OUTREC (1,2)", 99, 211, ""}, {"a.txt", "hard.txt", sort + " SUM (1,1,ZD)", 99, 211, ""},
      {"./a.txt", "sub/../a.txt", sort + " INCLUDE (1,1,CH,NE,\"x\")", 99, 211, ""}, {"", "out.txt", sort, 99, 213, ""},
      {" + \t\n[c]", "out.txt", sort + " OUTREC (1,1)", 99, 213, ""}, {"a.txt", "A.TXT", "", 0, 0, "A.TXT"},
      {"b.txt", "out.txt", core + " SUM (2,1,ZD)", 99, 0, "out.txt"}, {"b.txt missing.txt", "out.txt", core, 99, 214, ""},
      {"b.txt missing.txt", "out.txt", "", 0, 214, ""}, {"b.txt", "out.txt", "CORE (39) " + sort, 99, 225, ""},
      {"b.txt", "out.txt", "WORKDRIVE (a.txt/)", 99, 329, ""}, {"b.txt", "out.txt", "WORKDRIVE (nodir/) " + sort, 99, 329, ""},
      {"b.txt", "nodir/out.txt", core, 99, 210, ""}};  // the final merge cannot create its output: the runs stay
  for (const auto& r : rows) {
    SCOPED_TRACE(r.in + " / " + r.out + " / " + r.control);
    EXPECT_EQ(run_exact(r.in, r.out, r.control, r.length), r.status);
    EXPECT_TRUE(read_file("a.txt") == lines({"b", "a"}) && count_open_fds() == before);
    EXPECT_TRUE(r.made.empty() || unlink(r.made.c_str()) == 0) << r.made;
    for (const std::string& f : work_files()) unlink(f.c_str());
    EXPECT_EQ(dir.files(), files);
  }
  EXPECT_EQ(run("hard.txt", "a.txt", sort).status, kOk);  // a plain sort may overwrite its input
  EXPECT_EQ(read_file("a.txt"), lines({"a", "b"}));
  EXPECT_TRUE(fd_is_open(mine) && close(mine) == 0);
  uint32_t records = 0, status = ~0u;
  s_1mains("b.txt", " out.txt x", "SORT (1,7,CH,D)", &records, &status);
  EXPECT_TRUE(status == 0 && records == 3000 && read_file("out.txt") == numbered(3000));
  s_1mains(nullptr, nullptr, nullptr, &records, &status);
  EXPECT_EQ(status, kNoInputName);
  s_1mains("a.txt", nullptr, nullptr, &records, &status);
  EXPECT_EQ(status, kCannotCreateOutput);
  s_2mains(nullptr, 5, nullptr, 7, nullptr, 9, &records, &status);  // lengths of nothing
  EXPECT_EQ(status, kNoInputName);
}

// Runs `control` in a forked child, SIGXFSZ ignored, under the soft limit `value` of `resource` (for
// RLIMIT_NOFILE: `value` free descriptors; for RLIMIT_AS also no free heap block); `extra` counts the
// descriptors the run left open. A control text "@..." is a record-at-a-time sort of the lines of `in`, its
// records returned into `out`; its status is then the first that is not 0 times 1000, plus that of a release after.
ChildResult limited(int resource, rlim_t value, const std::string& in, const std::string& out, std::string control) {
  std::vector<std::string> records;
  std::istringstream split(read_file(in));
  for (std::string r; control.starts_with('@') && std::getline(split, r);) records.push_back(r);
  std::string returned(records.size() * 16, '\0');
  return run_in_child([&](uint32_t* extra) {
    signal(SIGXFSZ, SIG_IGN);
    const int before = count_open_fds();
    rlimit saved, low;
    getrlimit(resource, &saved);
    low = {resource == RLIMIT_NOFILE ? 0 : value, saved.rlim_max};
    for (rlim_t unused = 0; resource == RLIMIT_NOFILE && unused < value; ++low.rlim_cur)
      unused += !fd_is_open(static_cast<int>(low.rlim_cur));
    if (setrlimit(resource, &low) != 0) return RunResult{0xDEAD, 0};
    for (size_t size = size_t{1} << 24; resource == RLIMIT_AS && size >= 8; size /= 2)
      while (void* block = malloc(size)) *static_cast<volatile char*>(block) = 1;
    RunResult r{0, 0};
    if (!control.starts_with('@')) r = run(in, out, control);
    uint32_t length = uint32_t(control.size() - 1), at = 0, after = 0;
    if (control.starts_with('@')) s_1raat(1, control.data() + 1, &length, &r.status);
    for (size_t k = 0; r.status == 0 && k < records.size(); ++k)
      length = uint32_t(records[k].size()), s_1raat(2, records[k].data(), &length, &r.status);
    while (r.status == 0 && at + 16 <= returned.size())
      if (length = 0, s_1raat(3, returned.data() + at, &length, &r.status), r.status == 0) at += length, returned[at++] = '\n';
    if (control.starts_with('@')) {
      length = 1, s_1raat(2, control.data(), &length, &after), r.status = r.status * 1000 + after;
      if (r.status == 1261) write_file(out, returned.substr(0, at));
    }
    setrlimit(resource, &saved);
    *extra = static_cast<uint32_t>(count_open_fds() - before);
    return r;
  });
}

// Too few descriptors for the work files: 329 without one for the probe, 330 with fewer than four, a correct sort
// (by intermediate merges, also while records are released) with four. Writes past a file-size limit fail: 240 for
// records (a record-at-a-time run closes), 321 for the end character; an appended output keeps its bytes.
TEST(Limits, DescriptorsAndFileSize) {
  ScratchDir dir;
  write_file("in.txt", numbered(3000));
  write_file("in.dat", "dddcccbbbaaa");
  write_file("app.txt", std::string(1000, 'o'));
  const std::string sorted = numbered(3000, 'n', false), sort = "CORE (40) SORT (1,7,CH,A)";
  const struct { int resource; rlim_t value; const char *in, *out; std::string control; uint32_t status;
                 std::string bytes; } cases[] = {
      {RLIMIT_NOFILE, 0, "in.txt", "out.txt", sort, 329, ""}, {RLIMIT_NOFILE, 1, "in.txt", "out.txt", sort, 330, ""},
      {RLIMIT_NOFILE, 3, "in.txt", "out.txt", sort, 330, ""}, {RLIMIT_NOFILE, 4, "in.txt", "out.txt", sort, 0, sorted},
      {RLIMIT_NOFILE, 4, "in.txt", "out.txt", "@" + sort, 1261, sorted},
      {RLIMIT_FSIZE, 4096, "in.txt", "out.txt", "SORT (1,7,CH,A)", 240, sorted.substr(0, 4096)},
      {RLIMIT_FSIZE, 4096, "in.txt", "out.txt", "CORE (40)", 240, numbered(3000).substr(0, 4096)},
      {RLIMIT_FSIZE, 2048, "in.txt", "out.txt", "@" + sort, 240261, ""},
      {RLIMIT_FSIZE, 12, "in.dat", "out.dat", "SORT (1,3,CH,A) FILETYPE (FE) RECORD (3)", 321, "aaabbbcccddd"},
      {RLIMIT_FSIZE, 1000, "in.dat", "app.txt", "SORT (1,3,CH,A) RECORD (3) APPEND", 240, std::string(1000, 'o')},
  };
  for (const auto& c : cases) {
    unlink("out.txt");
    const ChildResult child = limited(c.resource, c.value, c.in, c.out, c.control);
    SCOPED_TRACE(c.control + " under " + std::to_string(c.value));
    EXPECT_TRUE(child.exited && child.extra == 0);
    EXPECT_EQ(child.run.status, c.status);
    EXPECT_TRUE(read_file(c.out) == c.bytes);
    EXPECT_EQ(work_files().empty(), c.status != 240261);  // the runs of a failed spill stay
    for (const std::string& f : work_files()) unlink(f.c_str());
  }
}

// No room for the arena: 225, and a record-at-a-time run that fails to open is closed.
TEST(Limits, NoRoomForTheArena) {
  if (under_emulation()) GTEST_SKIP() << "under emulation RLIMIT_AS limits the emulator's address space";
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "an address-space limit defeats the sanitizer";
#endif
  ScratchDir dir;
  write_file("in.txt", numbered(3000));
  for (const auto& [control, status] : {std::pair{"SORT (1,7,CH,A)", 225u}, {"@SORT (1,7,CH,A)", 225261u}}) {
    const ChildResult child = limited(RLIMIT_AS, 1 << 20, "in.txt", "out.txt", control);
    EXPECT_TRUE(child.exited && child.extra == 0 && child.run.status == status) << control << ": " << child.run.status;
  }
  EXPECT_EQ(dir.files(), std::vector<std::string>{"in.txt"});
}

// Part sizes by CORE and file limit; CORE (0) takes the largest parts; a CORE too small fails before allocating.
TEST(Arena, PartSizesTheLargestArenaAndTooSmallACore) {
  const struct { uint32_t core, files, part; } sizes[] = {{0, 30, kMaxPartSize}, {0, 4, kMaxPartSize}, {2000, 30, 51200},
      {40, 30, 1024}, {39, 30, 0}, {2000, 4, 142 * 1024}, {1000000, 30, kMaxPartSize}, {0xFFFFFFFFu, 30, kMaxPartSize}};
  for (const auto& s : sizes) EXPECT_EQ(arena_part_size(s.core, s.files), s.part) << s.core << "/" << s.files;
  ScratchDir dir;
  reset_without_names();
  gv.core_kb = 0;
  ASSERT_TRUE(s_init2() && s_alloc());
  EXPECT_TRUE(gv.buffer_size == kMaxPartSize && gv.out_buffer_size == kMaxPartSize && gv.record_capacity == 130798 &&
              gv.last_buffer == 27);
  arena_free();
  reset_without_names();
  gv.core_kb = 39, gv.file_limit = 30, gv.hold_active = 1, gv.hold_area_size = 2000;
  EXPECT_TRUE(!s_alloc() && gv.status_word == kNoMemory && !gv.hold_area && !gv.out_buffer && !gv.record_table);
}

uint64_t mapped_bytes() {  // the address space mapped now
  std::ifstream status("/proc/self/status");
  for (std::string word; status >> word;)
    if (word == "VmSize:") return status >> word, std::stoull(word) * 1024;
  return 0;
}

// Under an address-space limit the CORE (0) arena (file limit 30) keeps more than 60 % of its 28 sort buffers,
// with the file limit one above them, or halves its parts: the room is swept across the border of 19 full parts.
TEST(Limits, ArenaKeepsMoreThanSixtyPercentOfItsBuffers) {
  if (under_emulation()) GTEST_SKIP() << "under emulation RLIMIT_AS limits the emulator's address space";
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "an address-space limit defeats the sanitizer";
#endif
  std::vector<std::pair<uint32_t, uint32_t>> outcomes;  // part, buffers
  for (uint32_t room = 14; room <= 26; ++room) {
    const ChildResult child = run_in_child([room](uint32_t* file_limit) {
      mallopt(M_MMAP_THRESHOLD, 128 * 1024);  // every part a mapping of its own
      reset_without_names();
      gv.core_kb = 0, gv.file_limit = 30;
      const uint64_t page = sysconf(_SC_PAGESIZE), part = (kMaxPartSize + 64 + page - 1) / page * page,
                     table = (kMaxPartSize / 8 * sizeof(RecordDesc) + 64 + page - 1) / page * page;
      rlimit rl;
      getrlimit(RLIMIT_AS, &rl);
      rl.rlim_cur = rlim_t(mapped_bytes() + part + table + room * part + part / 2);
      if (setrlimit(RLIMIT_AS, &rl) != 0 || !s_alloc()) return RunResult{0xDEAD, 0};
      *file_limit = gv.file_limit;
      return RunResult{gv.buffer_size, gv.last_buffer + 1};
    });
    const uint32_t part = child.run.status, buffers = child.run.records;
    ASSERT_TRUE(child.exited && buffers >= 19 && (part == kMaxPartSize || part == kMaxPartSize / 2)) << room;
    EXPECT_EQ(child.extra, buffers == 28 ? 30u : buffers + 1) << room;
    outcomes.push_back({part, buffers});
  }
  const auto border = std::find(outcomes.begin(), outcomes.end(), std::pair{kMaxPartSize, 19u});
  ASSERT_TRUE(border != outcomes.end() && border != outcomes.begin());
  EXPECT_EQ((border - 1)->first, kMaxPartSize / 2);
}

// Eight processes released together at a barrier (a pipe the parent closes), ten times over, each with six free
// descriptors (so intermediate merges): text sorts, DB3 sorts (with header save files) and record-at-a-time sorts.
// Every one finds a work-file family of its own and sorts right.
TEST(Concurrency, EightProcessesSortingInOneDirectory) {
  ScratchDir dir;
  std::vector<std::string> expected;
  for (char p = '0'; p < '8'; ++p) {
    std::string in = numbered(8000, p), out = numbered(8000, p, false);
    for (std::string* db3 : {&in, &out})
      if (p % 4 == 2) *db3 = db3_header(64, 8, 'h', db3 == &out ? 8000 : 0) + std::regex_replace(*db3, std::regex("(.+)\n"), " $1") + "\x1A";
    write_file(std::string("in") + p, in);
    expected.push_back(out);
  }
  for (int round = 0; round < 10; ++round) {
    int barrier[2];
    ASSERT_EQ(pipe(barrier), 0);
    pid_t children[8];
    for (char p = '0', go; p < '8'; ++p)
      if ((children[p - '0'] = fork()) == 0) {
        zara_progress last{};
        zara_set_progress([](const zara_progress* now, void* last) { *static_cast<zara_progress*>(last) = *now; }, &last);
        const std::string in = std::string("in") + p, out = std::string("out") + p;
        if (close(barrier[1]) != 0 || read(barrier[0], &go, 1) != 0 || !limit_free_descriptors(6)) _exit(2);
        if (p % 4 == 2) _exit(run(in, out, "CORE (40) SORT (2,7,CH,A) FILETYPE (DB3)").status || last.merge_passes < 2);
        if (p % 4 != 3) _exit(run(in, out, "CORE (40) SORT (1,7,CH,A)").status || last.merge_passes < 2);
        std::string text = "CORE (60) SORT (1,7,CH,A)", lines = read_file(in), returned, record(8, '?');
        uint32_t length = uint32_t(text.size()), status = 0;
        s_1raat(1, text.data(), &length, &status);
        for (size_t at = 0; status == 0 && at < lines.size(); at += 8)
          record = lines.substr(at, 7), length = 7, s_1raat(2, record.data(), &length, &status);
        while (status == 0 && (length = 0, s_1raat(3, record.data(), &length, &status), status == 0))
          returned += record.substr(0, length) + "\n";
        write_file(out, returned);
        _exit(status != 1);
      }
    close(barrier[0]), close(barrier[1]);  // everyone starts now
    for (char p = '0'; p < '8'; ++p) {
      int status = -1;
      waitpid(children[p - '0'], &status, 0);
      EXPECT_TRUE(status == 0 && read_file(std::string("out") + p) == expected[p - '0']) << round << p;
      unlink((std::string("out") + p).c_str());
    }
    EXPECT_TRUE(work_files().empty());
  }
}

}  // namespace
}  // namespace zara
