#include "engine/progress.h"

#include <sys/stat.h>

#include <cstring>

#include "engine/run_state.h"
#include "records/input.h"
#include "zara15z37.h"

namespace zara {

namespace progress_detail {
uint64_t bytes_read = 0;
}

namespace {

zara_progress_fn callback = nullptr;
void* callback_context = nullptr;
zara_progress figures;

void report() {
  if (!callback) return;
  figures.bytes_read = progress_detail::bytes_read;
  figures.work_files = gv.workfile_count;
  figures.records_written = gv.records_written;
  callback(&figures, callback_context);
}

// Sum of the sizes of the input files that can be found by name.
uint64_t total_input_size() {
  uint64_t total = 0;
  if (!s_getffn()) return 0;
  do {
    char path[kPathBufferSize];
    if (!name_to_path(gv.names.tok_start, gv.names.tok_len, path)) continue;
    struct stat st;
    if (stat(path, &st) == 0 && S_ISREG(st.st_mode)) {
      uint64_t size = static_cast<uint64_t>(st.st_size);
      if (gv.skip_header) size -= size < gv.header_skip ? size : gv.header_skip;
      total += size;
    }
  } while (s_gettok(gv.names, kInputNameDelims));
  return total;
}

}  // namespace

void progress_run_started() {
  progress_detail::bytes_read = 0;
  figures = zara_progress{};
  if (callback) figures.bytes_total = total_input_size();
}

void progress_load_read() {
  ++figures.memory_loads;
  figures.phase = ZARA_PHASE_READING;
  report();
}

void progress_merge_started() {
  figures.phase = ZARA_PHASE_MERGING;
  report();
}

void progress_merge_finished() {
  ++figures.merge_passes;
  report();
}

void progress_run_finished() {
  figures.phase = ZARA_PHASE_DONE;
  report();
}

}  // namespace zara

extern "C" ZARA_API void zara_set_progress(zara_progress_fn fn, void* context) {
  zara::callback = fn;
  zara::callback_context = context;
}
