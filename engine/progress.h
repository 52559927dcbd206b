// Progress reporting: an optional callback the caller sets with
// zara_set_progress, called at memory-load and merge boundaries only. The
// counters below cost an addition per buffer read; without a callback
// nothing else happens.
#pragma once

#include <cstdint>

namespace zara {

// A run starts: counters to zero; with a callback, the total input size is
// taken from the input names.
void progress_run_started();
inline void progress_bytes_read(uint32_t n);
// Boundaries: a memory load was read; a merge begins or ends; the run ends.
void progress_load_read();
void progress_merge_started();
void progress_merge_finished();
void progress_run_finished();

namespace progress_detail {
extern uint64_t bytes_read;
}
inline void progress_bytes_read(uint32_t n) { progress_detail::bytes_read += n; }
// Bytes handed back to the file to be read again.
inline void progress_bytes_unread(uint32_t n) { progress_detail::bytes_read -= n; }

}  // namespace zara
