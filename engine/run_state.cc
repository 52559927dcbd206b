#include "engine/run_state.h"

#include <cerrno>
#include <cstring>

namespace zara {

RunState gv;
uint8_t cp[kCpCount];
uint8_t cpnm[kCpnmCount];
CountedTable<CondElement, 60> ip;
CountedTable<OutrecItem, 20> op;
CountedTable<KeyField, 20> sp;
CountedTable<SumField, 20> su;
CountedTable<DupField, 20> du;

namespace {
// Statuses that report a failed operation on a named file.
bool is_file_status(uint32_t status) {
  if (status >= 301 && status <= 342) return true;
  switch (status) {
    case kCannotCreateOutput: case kCannotOpenInput: case kCannotCreateHeaderFile:
    case kInputReadError: case kHeaderTooShort: case kHeaderWriteError:
    case kHeaderShortWrite: case kInputCloseError: case kHeaderInputCloseError:
    case kInputSkipError: case kCannotOpenWorkFile: case kMergeCloseError:
    case kOutputWriteError: case kAltseqOperand:
      return true;
    default:
      return false;
  }
}
}  // namespace

void note_file_failure(uint32_t status) {
  const int saved = errno;
  if (!is_file_status(status)) return;
  gv.error_errno = saved;
  memcpy(gv.error_path, gv.path_buffer, sizeof gv.error_path);
  gv.error_path[sizeof gv.error_path - 1] = '\0';
}

}  // namespace zara
