// The file calls of an undisturbed run as the fault sweep sees them: which
// file each call touches (its role in the run), where in the run it stands,
// and the status codes a failure of that call must give.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/faults/fault_api.h"

namespace zara_faults {

enum class Role { kInput, kOutput, kProbe, kRun, kMerged, kHeaderSave, kOther };

// One logged call with its names resolved.
struct Call {
  int kind = 0;  // zfault_kind
  Role role = Role::kOther;
  std::string path;
  std::string path2;  // link: the new name
  int32_t arg = 0;    // open: flags; lseek: whence
  int64_t offset = 0;
  int64_t size = 0;
  int64_t result = 0;
  bool failed = false;  // the call the interposer made fail
};

// What the sweep knows of a scenario's files.
struct ScenarioFiles {
  std::vector<std::string> inputs;  // exactly as named in the input list
  std::string output;               // empty for a record-at-a-time run
  bool headed = false;              // the file type carries a header
  uint32_t end_mark_bytes = 0;      // bytes of the output's end mark
  bool padded = false;              // PRE: the output is padded at its end
};

// True for a name of the run's work-file family (the probe, runs, the
// intermediate result, the header save file): "sw", six digits, ".00" and
// an optional suffix character.
bool is_work_name(const std::string& name);

Role role_of(const std::string& path, const ScenarioFiles& files);
const char* kind_name(int kind);

// Converts the interposer's log of the armed period.
std::vector<Call> logged_calls(const FaultApi& api, const ScenarioFiles& files);

// Where a call stands and the statuses its failure may give. 0 among the
// expected codes means the engine may absorb the fault; the run must then
// still produce the complete, correct output. `applicable` is false for a
// mode the call cannot fail in (a short write of a single byte).
struct Site {
  std::string name;
  std::vector<uint32_t> expected;
  bool applicable = true;
};

// The site of calls[index] failing in `mode`; the calls before it and the
// one after it (in the undisturbed run) tell the phase apart.
Site site_of(const std::vector<Call>& calls, size_t index, int mode, const ScenarioFiles& files);

}  // namespace zara_faults
