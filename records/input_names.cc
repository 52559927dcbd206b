// The input-name list: taking names in turn, opening them, and the check
// that the output is not one of the inputs.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "engine/run_state.h"
#include "records/input.h"

namespace zara {

const char kInputNameDelims[] = "[], +\t\n";
// The name check does not split names at commas.
constexpr char kCheckNameDelims[] = " +[]\t\n";

bool s_getffn() {
  gv.names.reset(gv.input_names, gv.input_names ? gv.input_names_length : 0);
  return s_gettok(gv.names, kInputNameDelims);
}

bool name_to_path(const char* name, uint32_t length, char* out) {
  if (length + 1 > kPathBufferSize) return false;
  if (length > 0 && memchr(name, '\0', length)) return false;
  if (length > 0) memcpy(out, name, length);
  out[length] = '\0';
  return true;
}

namespace {

// The output names an existing file that is also the input `name`.
bool same_file(const struct stat& output, const char* name, uint32_t length) {
  char path[kPathBufferSize];
  struct stat input;
  if (!name_to_path(name, length, path) || stat(path, &input) != 0) return false;
  return input.st_dev == output.st_dev && input.st_ino == output.st_ino;
}

}  // namespace

int s_openf() {
  const Scanner& sc = gv.names;
  if (!name_to_path(sc.tok_start, sc.tok_len, gv.path_buffer)) {
    gv.path_buffer[0] = '\0';
    return -1;
  }
  return open(gv.path_buffer, O_RDONLY | O_CLOEXEC);
}

bool s_chknam() {
  const bool hold_statements = cpnm[kOptDupout] || cpnm[kOptDupex] || cpnm[kOptDupin] ||
                               cpnm[kOptSum];
  const bool reformats = cp[kCpAddrout] || cp[kCpKeyout] || cp[kCpInclude] || cp[kCpOmit] ||
                         cp[kCpOutrec];
  if (cp[kCpSort] && (cpnm[kOptOverwrite] || !(hold_statements || reformats))) return true;

  Scanner names;
  names.reset(gv.input_names, gv.input_names ? gv.input_names_length : 0);
  if (!s_gettok(names, kCheckNameDelims)) return fail(kNoInputName);

  // A second name for the same file (a link, "./x" for "x") must not let a
  // run truncate its own input, so an existing output is also compared by
  // device and inode.
  char out_path[kPathBufferSize];
  struct stat output;
  const bool output_exists = name_to_path(gv.output_name, gv.output_name_length, out_path) &&
                             stat(out_path, &output) == 0;
  do {
    if (names.tok_len == gv.output_name_length &&
        (names.tok_len == 0 || memcmp(names.tok_start, gv.output_name, names.tok_len) == 0))
      return fail(kOutputIsInput);
    if (output_exists && same_file(output, names.tok_start, names.tok_len))
      return fail(kOutputIsInput);
  } while (s_gettok(names, kCheckNameDelims));
  return true;
}

}  // namespace zara
