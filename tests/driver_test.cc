// The run driver's set-up phases: the entry points' texts, the output name
// and the path buffer, the work-file set-up (names, probe, file limit), the
// arena, the output-is-input check, and the descriptors runs leave open.
#include "engine/driver.h"

#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstring>
#include <ctime>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/arena.h"
#include "engine/run_state.h"
#include "tests/child_run.h"
#include "tests/test_support.h"
#include "zara15z37.h"

namespace zara {
namespace {

using zara_test::count_open_fds;
using zara_test::lines;
using zara_test::read_file;
using zara_test::run;
using zara_test::ScratchDir;
using zara_test::write_file;
using Names = std::vector<std::string>;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

void reset_without_names() {
  gv.input_names = gv.output_name = nullptr;
  gv.input_names_length = gv.output_name_length = 0;
  s_init();
}

// `count` lines of six-digit numbers, descending or ascending.
std::string numbered(int count, bool descending = true) {
  std::string out;
  char line[16];
  for (int i = 0; i < count; ++i)
    out.append(line, snprintf(line, sizeof line, "%06d\n", descending ? count - 1 - i : i));
  return out;
}

// s_2mains on texts in heap blocks of exactly their length (no NUL after
// them), so that a read past a text's end shows under the address sanitizer.
uint32_t run_exact(const std::string& inputs, const std::string& output, const std::string& control,
                   uint32_t control_length) {
  const auto block = [](const std::string& s) {
    std::unique_ptr<char[]> b(new char[s.empty() ? 1 : s.size()]);
    memcpy(b.get(), s.data(), s.size());
    return b;
  };
  const auto in = block(inputs), out = block(output), ctl = block(control);
  uint32_t records = 0, status = 0xFFFFFFFFu;
  s_2mains(in.get(), static_cast<uint32_t>(inputs.size()), out.get(),
           static_cast<uint32_t>(output.size()), ctl.get(), control_length, &records, &status);
  return status;
}

TEST(EntryPoints, TextsAreReadOnlyWithinTheirLengths) {
  ScratchDir dir;
  write_file("in.txt", lines({"b", "a"}));
  EXPECT_EQ(run_exact("in.txt", "out.txt", "SORT (1,1,CH,A) XYZ", 15), kOk);  // XYZ unseen
  EXPECT_EQ(read_file("out.txt"), lines({"a", "b"}));
  EXPECT_EQ(run_exact("in.txt", "out.txt", "SORT (1,1,CH,A) XYZ", 19), kBadKeyword);
  // Texts that end inside a literal or a comment.
  EXPECT_EQ(run_exact("in.txt", "out.txt", "WORKDRIVE (\"/tmp/", 17), kWorkdriveOperand);
  EXPECT_EQ(run_exact("in.txt", "out.txt", "SORT (1,1,CH,A) [note", 21), kOk);
  EXPECT_EQ(run_exact("in.txt", "\"out", "", 0), kCannotCreateOutput);
  EXPECT_EQ(run_exact("in.txt [x", "out.txt", "", 0), kOk);
  EXPECT_EQ(run_exact("\"in.txt", "out.txt", "SORT (1,1,CH,A)", 15), kNoInputName);
  // NUL-terminated texts, and missing ones.
  uint32_t records = 0, status = 0xFFFFFFFFu;
  s_1mains("in.txt", " out.txt x", "SORT (1,1,CH,D)", &records, &status);
  EXPECT_EQ(status, kOk);
  EXPECT_EQ(records, 2u);
  EXPECT_EQ(read_file("out.txt"), lines({"b", "a"}));
  s_1mains(nullptr, nullptr, nullptr, &records, &status);
  EXPECT_EQ(status, kNoInputName);
  s_1mains("in.txt", nullptr, nullptr, &records, &status);
  EXPECT_EQ(status, kCannotCreateOutput);
  s_2mains(nullptr, 5, nullptr, 7, nullptr, 9, &records, &status);  // lengths of nothing
  EXPECT_EQ(status, kNoInputName);
  EXPECT_EQ(dir.files(), (Names{"in.txt", "out.txt"}));
}

TEST(OutputName, FirstWordOfTheTextNamesTheOutput) {
  ScratchDir dir;
  write_file("in.txt", lines({"b", "a"}));
  for (const char* name :
       {"  out.txt extra", "[a comment]out.txt,x", "\tout.txt+y", "out.txt\nmore", "out.txt]z"}) {
    unlink("out.txt");
    EXPECT_EQ(run("in.txt", name, "SORT (1,1,CH,A)").status, kOk) << name;
    EXPECT_EQ(dir.files(), (Names{"in.txt", "out.txt"})) << name;
  }
  EXPECT_EQ(run("in.txt", "\"o u t\" extra", "").status, kOk);
  EXPECT_EQ(read_file("o u t"), lines({"b", "a"}));
  unlink("o u t");
  for (const std::string& name :
       {std::string("  "), std::string(), std::string("o\0x", 3), std::string("nodir/out.txt")})
    EXPECT_EQ(run("in.txt", name, "SORT (1,1,CH,A)").status, kCannotCreateOutput) << name;
  EXPECT_EQ(dir.files(), (Names{"in.txt", "out.txt"}));
}

TEST(OutputName, PathsUpTo263BytesFitAndLongerOnesAreRefused) {
  ScratchDir dir;
  const std::string a(100, 'a'), b(100, 'b');
  mkdir(a.c_str(), 0700);
  mkdir((a + "/" + b).c_str(), 0700);
  // A path of exactly `length` bytes through the two directories.
  const auto path = [&](size_t length, char c) {
    return a + "/" + b + "/" + std::string(length - 202, c);
  };
  write_file("in.txt", lines({"b", "a"}));
  EXPECT_EQ(run("in.txt", path(263, 'o'), "SORT (1,1,CH,A)").status, kOk);
  EXPECT_EQ(read_file(path(263, 'o')), lines({"a", "b"}));
  EXPECT_EQ(run("in.txt", path(264, 'o'), "").status, kCannotCreateOutput);
  EXPECT_FALSE(zara_test::file_exists(path(264, 'o')));
  write_file(path(263, 'i'), lines({"z", "y"}));
  write_file(path(264, 'i'), lines({"x"}));
  EXPECT_EQ(run(path(263, 'i'), "out.txt", "SORT (1,1,CH,A)").status, kOk);
  EXPECT_EQ(read_file("out.txt"), lines({"y", "z"}));
  EXPECT_EQ(run(path(264, 'i'), "out.txt", "SORT (1,1,CH,A)").status, kCannotOpenInput);
  EXPECT_EQ(run("in.txt " + path(264, 'i'), "out.txt", "").status, kCannotOpenInput);
}

// "sw", six digits, ".00" and, with a suffix, one of the suffix characters.
bool is_work_name(const std::string& name, bool with_suffix) {
  if (name.size() != 11u + with_suffix || name.compare(0, 2, "sw") || name.compare(8, 3, ".00"))
    return false;
  for (int i = 2; i < 8; ++i)
    if (!isdigit(static_cast<unsigned char>(name[i]))) return false;
  return !with_suffix || strchr("123456789ABCDEFGHIJKLMNOPQRSTUXz", name[11]);
}

std::string clock_name(unsigned long offset) {
  char name[16];
  snprintf(name, sizeof name, "sw%06lu.00",
           (static_cast<unsigned long>(time(nullptr)) + offset) % 1000000);
  return name;
}

TEST(WorkFiles, SetUpNamesTheRunFromTheClock) {
  ScratchDir dir;
  reset_without_names();
  const std::string before = clock_name(0);
  ASSERT_TRUE(s_init2());
  const std::string name = gv.work_name;
  EXPECT_TRUE(name == before || name == clock_name(0)) << name;
  EXPECT_EQ(std::string(gv.suffix_chars, 30), "123456789ABCDEFGHIJKLMNOPQRSTU");
  EXPECT_EQ(gv.file_limit, 30u);     // this process may open far more than 30 files
  EXPECT_TRUE(dir.files().empty());  // the probe is gone
}

TEST(WorkFiles, NamesInUseArePassedOverAndLinksNeverFollowed) {
  ScratchDir dir;
  // Leftovers of other runs for this second and the next few: any member
  // of a family blocks the whole family; a link is never written through.
  Names blockers;
  for (const char* member : {"", "1", "U", "X", "z"}) {
    blockers.push_back(clock_name(blockers.size()) + member);
    write_file(blockers.back(), "keep");
  }
  for (unsigned long k = 5; k < 8; ++k)
    ASSERT_EQ(symlink(("target" + std::to_string(k)).c_str(), clock_name(k).c_str()), 0);
  reset_without_names();
  ASSERT_TRUE(s_init2());
  const std::string base = gv.work_name;
  for (const std::string& b : blockers) EXPECT_EQ(read_file(b), "keep") << b;
  EXPECT_EQ(dir.files().size(), 8u);  // no target created, no probe left
  for (const std::string& f : dir.files()) EXPECT_NE(f.compare(0, base.size(), base), 0) << f;
}

// Work-file names seen in a directory at memory-load and merge boundaries.
void note_work_files(const zara_progress*, void* seen) {
  for (const std::string& f : zara_test::work_files("work"))
    static_cast<std::set<std::string>*>(seen)->insert(f);
}

TEST(WorkFiles, RunsAreNamedByTheFamilyAndRemoved) {
  ScratchDir dir;
  write_file("in.txt", numbered(3000));
  EXPECT_EQ(run("in.txt", "out.txt", "WORKDRIVE (work/) SORT (1,6,CH,A)").status,
            kProbeCreateError);
  EXPECT_EQ(run("in.txt", "out.txt", "WORKDRIVE (in.txt/) SORT (1,6,CH,A)").status,
            kProbeCreateError);
  EXPECT_EQ(dir.files(), Names{"in.txt"});
  mkdir("work", 0700);
  std::set<std::string> seen;
  zara_set_progress(note_work_files, &seen);
  for (const std::string core : {"CORE (40)", ""}) {  // many memory loads, then one
    seen.clear();
    EXPECT_EQ(run("in.txt", "out.txt", "WORKDRIVE (work/) SORT (1,6,CH,A) " + core).status, kOk);
    EXPECT_EQ(read_file("out.txt"), numbered(3000, false));
    EXPECT_TRUE(zara_test::work_files("work").empty());
    EXPECT_EQ(dir.files(), (Names{"in.txt", "out.txt", "work"}));
    if (core.empty()) {
      EXPECT_TRUE(seen.empty());  // one memory load needs no work file
      continue;
    }
    ASSERT_FALSE(seen.empty());
    const std::string base = seen.begin()->substr(0, 11);  // one family per run
    EXPECT_TRUE(seen.count(base + "1"));
    for (const std::string& name : seen) {
      EXPECT_TRUE(is_work_name(name, true)) << name;
      EXPECT_EQ(name.substr(0, 11), base) << name;
    }
  }
  zara_set_progress(nullptr, nullptr);
}

// No run, failed or not, leaves a descriptor open; nor does it close one of
// its caller's.
TEST(Descriptors, NoneStaysOpenAfterAnyRun) {
  ScratchDir dir;
  write_file("in.txt", numbered(3000));
  write_file("short.txt", lines({"b", "a"}));
  const int mine = open("short.txt", O_RDONLY), before = count_open_fds();
  // "inputs / control": failures at each phase (after spilling, and in a
  // copy run midway), and successes.
  for (const std::string r :
       {"in.txt / XYZ", "in.txt / WORKDRIVE (nodir/)", "missing.txt / SORT (1,1,CH,A)",
        "in.txt missing.txt / CORE (40) SORT (1,6,CH,A)", "in.txt missing.txt / ",
        " / SORT (1,1,CH,A)", "in.txt / CORE (39) SORT (1,1,CH,A)", "out.txt / ",
        "in.txt / CORE (40) SORT (1,6,CH,A)", "in.txt short.txt / SORT (1,6,CH,A)",
        "in.txt / INCLUDE (1,1,CH,EQ,\"0\") OUTREC (1,3)",
        "in.txt / CORE (40) SORT (1,1,CH,A) SUM (2,1,ZD)"}) {
    const size_t slash = r.find(" / ");
    run(r.substr(0, slash), "out.txt", r.substr(slash + 3));
    EXPECT_EQ(count_open_fds(), before) << r;
  }
  EXPECT_TRUE(zara_test::fd_is_open(mine));
  close(mine);
}

TEST(Arena, PartSizesAndTheLargestArena) {
  const struct {
    uint32_t core, files, part;
  } sizes[] = {{0, 30, kMaxPartSize},
               {0, 4, kMaxPartSize},
               {2000, 30, 51200},
               {40, 30, 1024},
               {39, 30, 0},
               {2000, 4, 142 * 1024},
               {1000000, 30, kMaxPartSize},
               {0xFFFFFFFFu, 30, kMaxPartSize}};
  for (const auto& s : sizes)
    EXPECT_EQ(arena_part_size(s.core, s.files), s.part) << s.core << "/" << s.files;
  ScratchDir dir;
  reset_without_names();
  gv.core_kb = 0;
  ASSERT_TRUE(s_init2() && s_alloc());
  EXPECT_EQ(gv.buffer_size, kMaxPartSize);
  EXPECT_EQ(gv.out_buffer_size, kMaxPartSize);
  EXPECT_EQ(gv.record_capacity, 130798u);
  EXPECT_EQ(gv.last_buffer, 27u);
  arena_free();
}

TEST(Arena, TinyCoreFailsWith225BeforeAllocating) {
  ScratchDir dir;
  write_file("in.txt", lines({"b", "a"}));
  const int before = count_open_fds();
  EXPECT_EQ(run("in.txt", "out.txt", "CORE (39) SORT (1,1,CH,A)").status, kNoMemory);
  EXPECT_EQ(run("in.txt", "out.txt", "CORE (1) SORT (1,1,CH,A) SUM (3,1,ZD)").status, kNoMemory);
  EXPECT_EQ(count_open_fds(), before);
  EXPECT_EQ(dir.files(), Names{"in.txt"});
  EXPECT_EQ(run("in.txt", "out.txt", "CORE (40) SORT (1,1,CH,A)").status, kOk);
  reset_without_names();
  gv.core_kb = 39, gv.file_limit = 30, gv.hold_active = 1, gv.hold_area_size = 2000;
  EXPECT_FALSE(s_alloc());
  EXPECT_EQ(gv.status_word, kNoMemory);
  EXPECT_TRUE(!gv.hold_area && !gv.out_buffer && !gv.record_table && !gv.buffers[0]);
}

// The address space this process has mapped, read without the heap.
uint64_t mapped_bytes() {
  char buf[4096];
  const int fd = open("/proc/self/status", O_RDONLY);
  const ssize_t n = fd < 0 ? 0 : read(fd, buf, sizeof buf - 1);
  if (fd >= 0) close(fd);
  buf[n > 0 ? n : 0] = '\0';
  const char* at = strstr(buf, "VmSize:");
  return at ? strtoull(at + 7, nullptr, 10) * 1024 : 0;
}

TEST(Arena, ShortfallAboveSixtyPercentIsAccepted) {
  if (kAddressSanitizer) GTEST_SKIP() << "an address-space limit defeats the sanitizer";
  // The CORE (0) arena of file limit 30 under an address-space limit leaving
  // room for the output buffer, the record table and `room` sort buffers.
  // The heap already held shifts the room by a part or two, so the room is
  // swept: every outcome follows the rule (more than 60 % of the 28 buffers,
  // the file limit one above the buffers), and the sweep crosses the border
  // where 19 full parts are kept and one part less halves the part size.
  std::vector<std::pair<uint32_t, uint32_t>> outcomes;  // part, buffers
  for (uint32_t room = 14; room <= 26; ++room) {
    const auto child = zara_test::run_in_child([room](uint32_t* limit) {
      mallopt(M_MMAP_THRESHOLD, 128 * 1024);  // every part a mapping of its own
      reset_without_names();
      gv.core_kb = 0, gv.file_limit = 30;
      const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
      const auto mapped = [page](uint64_t n) { return (n + 64 + page - 1) / page * page; };
      const uint64_t part = mapped(kMaxPartSize),
                     table = mapped(kMaxPartSize / 8 * sizeof(RecordDesc));
      rlimit rl;
      getrlimit(RLIMIT_AS, &rl);
      rl.rlim_cur = static_cast<rlim_t>(mapped_bytes() + part + table + room * part + part / 2);
      if (setrlimit(RLIMIT_AS, &rl) != 0 || !s_alloc()) return zara_test::RunResult{0xDEAD, 0};
      *limit = gv.file_limit;
      const zara_test::RunResult r{gv.buffer_size, gv.last_buffer + 1};
      arena_free();
      return r;
    });
    ASSERT_TRUE(child.exited);
    const uint32_t part = child.run.status, buffers = child.run.records;
    EXPECT_GE(buffers, 19u) << room;  // never 60 % of 30 or fewer
    EXPECT_EQ(child.extra, buffers == 28 ? 30u : buffers + 1) << room;
    EXPECT_TRUE(part == kMaxPartSize || part == kMaxPartSize / 2) << room;
    outcomes.push_back({part, buffers});
  }
  const auto border = std::find(outcomes.begin(), outcomes.end(), std::pair{kMaxPartSize, 19u});
  ASSERT_NE(border, outcomes.end()) << "no room gave 19 full-size buffers";
  ASSERT_NE(border, outcomes.begin());
  EXPECT_EQ((border - 1)->first, kMaxPartSize / 2);
}

TEST(OutputIsInput, CheckedWhereTheRunNeedsIt) {
  ScratchDir dir;
  const std::string data = lines({"b", "a", "c"});
  const std::string sort = "SORT (1,1,CH,A) ";
  // A copy run always checks; a sorted run only where it changes records.
  const std::vector<std::pair<uint32_t, std::vector<std::string>>> cases = {
      {kOutputIsInput,
       {"", "OVERWRITE", sort + "INCLUDE (1,1,CH,NE,\"x\")", sort + "OMIT (1,1,CH,EQ,\"x\")",
        sort + "OUTREC (1,2)", sort + "ADDROUT", sort + "KEYOUT", sort + "DUPOUT (1,1)",
        sort + "DUPEX (1,1)", sort + "DUPIN (1,1)", sort + "SUM (1,1,ZD)"}},
      {kOk,
       {sort, "MERGE (1,1,CH,A)", sort + "OUTREC (1,2) OVERWRITE",
        "OVERWRITE " + sort + "DUPOUT (1,1) INCLUDE (1,1,CH,NE,\"x\")"}}};
  for (const auto& [status, controls] : cases)
    for (const std::string& control : controls) {
      write_file("data.txt", data);
      EXPECT_EQ(run("data.txt", "data.txt", control).status, status) << control;
      if (status == kOutputIsInput) {
        EXPECT_EQ(read_file("data.txt"), data) << control;
      }
    }
  write_file("data.txt", data);
  ASSERT_EQ(run("data.txt", "data.txt", sort).status, kOk);
  EXPECT_EQ(read_file("data.txt"), lines({"a", "b", "c"}));
}

TEST(OutputIsInput, EveryNameOfTheListAndEveryNameOfTheFile) {
  ScratchDir dir;
  write_file("a.txt", lines({"b", "a"}));
  write_file("b.txt", lines({"c"}));
  EXPECT_EQ(run("a.txt b.txt", "b.txt", "").status, kOutputIsInput);
  EXPECT_EQ(run("a.txt+[c]b.txt", "b.txt more", "").status, kOutputIsInput);
  EXPECT_EQ(run("\"b.txt\"", "b.txt", "").status, kOutputIsInput);
  EXPECT_EQ(run("missing.txt", "missing.txt", "").status, kOutputIsInput);  // before any open
  EXPECT_EQ(run("a.txt", "A.TXT", "").status, kOk);  // names differ by case: other files
  EXPECT_EQ(read_file("A.TXT"), lines({"b", "a"}));
  // Here a comma is part of the name; the inputs are read before the output is written.
  EXPECT_EQ(run("a.txt,b.txt", "b.txt", "").status, kOk);
  EXPECT_EQ(read_file("b.txt"), lines({"b", "a", "c"}));
  // A second name for the same file.
  ASSERT_EQ(link("a.txt", "hard.txt"), 0);
  ASSERT_EQ(symlink("a.txt", "soft.txt"), 0);
  mkdir("sub", 0700);
  for (const char* other : {"./a.txt", "hard.txt", "soft.txt", "sub/../a.txt"}) {
    EXPECT_EQ(run(other, "a.txt", "").status, kOutputIsInput) << other;
    EXPECT_EQ(run("a.txt", other, "SORT (1,1,CH,A) OUTREC (1,2)").status, kOutputIsInput) << other;
    EXPECT_EQ(read_file("a.txt"), lines({"b", "a"})) << other;
  }
  EXPECT_EQ(run("hard.txt", "a.txt", "SORT (1,1,CH,A)").status, kOk);  // unchecked there
  EXPECT_EQ(read_file("a.txt"), lines({"a", "b"}));
}

TEST(OutputIsInput, EmptyListGives213) {
  ScratchDir dir;
  for (const char* names : {"", "   ", " + \t\n", "[only a comment]"})
    for (const char* control : {"", "SORT (1,1,CH,A)", "SORT (1,1,CH,A) OUTREC (1,1)"})
      EXPECT_EQ(run(names, "out.txt", control).status, kNoInputName) << names << " / " << control;
  EXPECT_TRUE(dir.files().empty());
}

}  // namespace
}  // namespace zara
