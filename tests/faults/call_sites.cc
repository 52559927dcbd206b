#include "tests/faults/call_sites.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace zara_faults {

namespace {

constexpr char kRunSuffixes[] = "123456789ABCDEFGHIJKLMNOPQRSTU";

std::string base_name(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool is_digits(const std::string& s, size_t from, size_t n) {
  for (size_t i = from; i < from + n; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

// The suffix character of a work-family name, '\0' for the probe.
char work_suffix(const std::string& name) { return name.size() == 12 ? name[11] : '\0'; }

bool creates(const Call& c) { return (c.arg & O_CREAT) != 0; }

bool same_file(const Call& a, const Call& b) { return a.path == b.path && !a.path.empty(); }

// The header save file was created before calls[index]: the header check
// of a headed type has ended.
bool header_saved_before(const std::vector<Call>& calls, size_t index) {
  for (size_t i = 0; i < index; ++i)
    if (calls[i].kind == ZF_OPEN && calls[i].role == Role::kHeaderSave && creates(calls[i]))
      return true;
  return false;
}

bool run_created_before(const std::vector<Call>& calls, size_t index) {
  for (size_t i = 0; i < index; ++i)
    if (calls[i].kind == ZF_OPEN && calls[i].role == Role::kRun && creates(calls[i])) return true;
  return false;
}

// The last open of the file of calls[index] before it.
const Call* last_open_of(const std::vector<Call>& calls, size_t index) {
  for (size_t i = index; i-- > 0;)
    if (calls[i].kind == ZF_OPEN && same_file(calls[i], calls[index])) return &calls[i];
  return nullptr;
}

// The work-file set-up has removed its probe: a later use of the probe
// name is the lock taken while the first file of the family is created.
bool probe_removed_before(const std::vector<Call>& calls, size_t index) {
  for (size_t i = 0; i < index; ++i)
    if (calls[i].kind == ZF_UNLINK && calls[i].role == Role::kProbe) return true;
  return false;
}

// The status of a failed lock: that of the first family file it guards
// (the next file created after it, or the last one before its removal).
Site lock_site(const std::vector<Call>& calls, size_t index, const char* name) {
  auto first_file = [&](size_t i) {
    return calls[i].kind == ZF_OPEN && creates(calls[i]) && calls[i].role != Role::kProbe;
  };
  const Call* guarded = nullptr;
  if (calls[index].kind == ZF_UNLINK) {
    for (size_t i = index; i-- > 0 && !guarded;)
      if (first_file(i)) guarded = &calls[i];
  } else {
    for (size_t i = index + 1; i < calls.size() && !guarded; ++i)
      if (first_file(i)) guarded = &calls[i];
  }
  const bool header = guarded && guarded->role == Role::kHeaderSave;
  return Site{std::string(name) + (header ? " (header save file)" : " (run 1)"),
              {header ? 215u : 210u}, true};
}

// Probe descriptors held when calls[index] (a probe open) is made.
int probes_held(const std::vector<Call>& calls, size_t index) {
  int held = 0;
  for (size_t i = 0; i < index; ++i)
    if (calls[i].kind == ZF_OPEN && calls[i].role == Role::kProbe && calls[i].result >= 0) ++held;
  return held;
}

// A write of the PRE padding: writes to the output after a seek to its
// end, with nothing else in between.
bool pads_output(const std::vector<Call>& calls, size_t index) {
  for (size_t i = index; i-- > 0;) {
    const Call& c = calls[i];
    if (c.role != Role::kOutput) return false;
    if (c.kind == ZF_LSEEK) return c.arg == SEEK_END && c.offset == 0;
    if (c.kind != ZF_WRITE) return false;
  }
  return false;
}

Site site(const char* name, std::initializer_list<uint32_t> codes) {
  return Site{name, std::vector<uint32_t>(codes), true};
}

Site open_site(const std::vector<Call>& calls, size_t index) {
  const Call& c = calls[index];
  switch (c.role) {
    case Role::kProbe:
      if (probe_removed_before(calls, index))
        return lock_site(calls, index, "open: lock the family for its first file");
      if (creates(c)) return site("open: create the probe", {329});
      // A failed probe open ends the count of descriptors: with 4 or more
      // held the run goes on with that file limit.
      return probes_held(calls, index) >= 4 ? site("open: probe again (4+ held)", {0})
                                            : site("open: probe again (<4 held)", {330});
    case Role::kInput: return site("open: input", {214});
    case Role::kOutput: return site("open: output", {210});
    case Role::kRun:
      return creates(c) ? site("open: create a run", {210}) : site("open: run for merging", {229});
    case Role::kMerged: return site("open: create the merge result", {210});
    case Role::kHeaderSave:
      return creates(c) ? site("open: create the header save file", {215})
                        : site("open: header save file for copying", {301});
    default: return site("open: other file", {});
  }
}

Site read_site(const Call& c) {
  switch (c.role) {
    case Role::kInput: return site("read: input", {216});
    case Role::kRun: return site("read: run", {313});
    case Role::kHeaderSave: return site("read: header save file", {302});
    case Role::kOutput: return site("read: output's last byte (APPEND)", {210});
    default: return site("read: other file", {});
  }
}

Site write_site(const std::vector<Call>& calls, size_t index, int mode,
                const ScenarioFiles& files) {
  const Call& c = calls[index];
  const bool short_write = mode == ZF_SHORT;
  Site s;
  const Call* prev = index > 0 ? &calls[index - 1] : nullptr;
  const Call* next = index + 1 < calls.size() ? &calls[index + 1] : nullptr;
  switch (c.role) {
    case Role::kOutput:
      if (prev && prev->kind == ZF_READ && prev->role == Role::kHeaderSave) {
        // The header copy writes until every byte is out.
        s = short_write ? site("write: header to output (short)", {0})
                        : site("write: header to output", {303});
      } else if (prev && prev->kind == ZF_LSEEK && prev->role == Role::kOutput &&
                 prev->arg == SEEK_SET && prev->offset == 4) {
        s = short_write ? site("write: DB3 record count (short)", {0})
                        : site("write: DB3 record count", {319});
      } else if (files.padded && pads_output(calls, index)) {
        // The padding is written until every byte is out.
        s = short_write ? site("write: PRE padding (short)", {0}) : site("write: PRE padding", {321});
      } else if (files.end_mark_bytes != 0 && c.size == files.end_mark_bytes && next &&
                 next->role == Role::kOutput &&
                 (next->kind == ZF_CLOSE || next->kind == ZF_LSEEK)) {
        s = site("write: end mark", {321});
      } else {
        s = site("write: output buffer", {240});
      }
      break;
    case Role::kRun: s = site("write: run", {240}); break;
    case Role::kMerged: s = site("write: merge result", {240}); break;
    case Role::kHeaderSave:
      s = short_write ? site("write: header save file (short)", {219})
                      : site("write: header save file", {218});
      break;
    default: s = site("write: other file", {}); break;
  }
  if (short_write && c.size < 2) s.applicable = false;
  return s;
}

Site lseek_site(const std::vector<Call>& calls, size_t index, const ScenarioFiles& files) {
  const Call& c = calls[index];
  switch (c.role) {
    case Role::kInput:
      if (c.arg == SEEK_CUR) return site("lseek: input back over unframed bytes", {322});
      if (c.arg == SEEK_END) return site("lseek: input end (PRE size)", {227});
      if (files.headed && !header_saved_before(calls, index))
        return site("lseek: input header field", {216});
      return site("lseek: input to its start or past its header", {227});
    case Role::kOutput:
      if (c.arg == SEEK_SET && c.offset == 4) return site("lseek: DB3 record count", {319});
      if (files.padded) return site("lseek: output end (PRE padding)", {321});
      return site("lseek: output end (APPEND)", {210});
    case Role::kRun: return site("lseek: run back to a record", {322});
    default: return site("lseek: other file", {});
  }
}

Site close_site(const std::vector<Call>& calls, size_t index, const ScenarioFiles& files) {
  const Call& c = calls[index];
  const Call* opened = last_open_of(calls, index);
  switch (c.role) {
    case Role::kProbe:
      // The lock is empty: a failed close loses nothing.
      if (probe_removed_before(calls, index)) return site("close: family lock", {0});
      return site("close: probe", {331});
    case Role::kInput:
      if (files.headed && !header_saved_before(calls, index))
        return site("close: input after its header check", {221});
      return site("close: input", {220});
    case Role::kOutput:
      return run_created_before(calls, index) ? site("close: output after the merge", {231})
                                              : site("close: output after writing", {307});
    case Role::kRun:
      return opened && creates(*opened) ? site("close: run after writing it", {307})
                                        : site("close: run after merging it", {311});
    case Role::kMerged: return site("close: merge result", {231});
    case Role::kHeaderSave:
      return opened && creates(*opened) ? site("close: header save file after saving", {221})
                                        : site("close: header save file after copying", {304});
    default: return site("close: other file", {});
  }
}

Site unlink_site(const std::vector<Call>& calls, size_t index) {
  const Call& c = calls[index];
  switch (c.role) {
    case Role::kProbe:
      if (probe_removed_before(calls, index))
        return lock_site(calls, index, "unlink: family lock");
      return site("unlink: probe", {332});
    case Role::kRun: return site("unlink: run after merging it", {312});
    case Role::kMerged: return site("unlink: merge result's temporary name", {310});
    case Role::kHeaderSave: return site("unlink: header save file", {320});
    default: return site("unlink: other file", {});
  }
}

}  // namespace

bool is_work_name(const std::string& name) {
  if (name.size() != 11 && name.size() != 12) return false;
  if (name.compare(0, 2, "sw") != 0 || !is_digits(name, 2, 6) || name.compare(8, 3, ".00") != 0)
    return false;
  const char s = work_suffix(name);
  return s == '\0' || s == 'X' || s == 'z' || strchr(kRunSuffixes, s) != nullptr;
}

Role role_of(const std::string& path, const ScenarioFiles& files) {
  if (std::find(files.inputs.begin(), files.inputs.end(), path) != files.inputs.end())
    return Role::kInput;
  if (!files.output.empty() && path == files.output) return Role::kOutput;
  const std::string name = base_name(path);
  if (!is_work_name(name)) return Role::kOther;
  switch (work_suffix(name)) {
    case '\0': return Role::kProbe;
    case 'X': return Role::kMerged;
    case 'z': return Role::kHeaderSave;
    default: return Role::kRun;
  }
}

const char* kind_name(int kind) {
  switch (kind) {
    case ZF_OPEN: return "open";
    case ZF_READ: return "read";
    case ZF_WRITE: return "write";
    case ZF_LSEEK: return "lseek";
    case ZF_CLOSE: return "close";
    case ZF_UNLINK: return "unlink";
    case ZF_LINK: return "link";
    default: return "?";
  }
}

std::vector<Call> logged_calls(const FaultApi& api, const ScenarioFiles& files) {
  int64_t count = 0, capacity = 0;
  const zfault_call* log = api.calls(&count, &capacity);
  const int64_t n = std::min(count, capacity);
  std::vector<Call> out;
  out.reserve(static_cast<size_t>(n));
  for (int64_t i = 0; i < n; ++i) {
    const zfault_call& z = log[i];
    Call c;
    c.kind = z.kind;
    c.path = api.path(z.path);
    c.path2 = api.path(z.path2);
    c.role = role_of(c.path, files);
    c.arg = z.arg;
    c.offset = z.offset;
    c.size = z.size;
    c.result = z.result;
    c.failed = z.failed != 0;
    out.push_back(c);
  }
  return out;
}

Site site_of(const std::vector<Call>& calls, size_t index, int mode, const ScenarioFiles& files) {
  const Call& c = calls[index];
  if (mode != ZF_EIO && c.kind != ZF_WRITE) return Site{"", {}, false};
  switch (c.kind) {
    case ZF_OPEN: return open_site(calls, index);
    case ZF_READ: return read_site(c);
    case ZF_WRITE: return write_site(calls, index, mode, files);
    case ZF_LSEEK: return lseek_site(calls, index, files);
    case ZF_CLOSE: return close_site(calls, index, files);
    case ZF_UNLINK: return unlink_site(calls, index);
    case ZF_LINK: return site("link: merge result to its run's name", {310});
    default: return site("unknown call", {});
  }
}

}  // namespace zara_faults
