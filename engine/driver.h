// The run driver: the phases of one whole run in their fixed order.
//
// mainline: s_init (reset), s_ctrl (parse), s_init2 (work files), s_chknam
// (names), s_alloc (arena), s_chkhdr and s_gethdr (headers), then one turn
// per memory load (s_read, s_select, s_sort, set_outfile_name + s_write,
// s_interm), then s_merge when runs were spilled, then s_term. It stops at
// the first failure; from the arena on, failures still run s_term.
#pragma once

#include <cstdint>

namespace zara {

// Resets the run state to its defaults (call arguments kept) and trims the
// output name to its first token.
void s_init();
// Work-file name from the time, probe of the file limit (4..30).
bool s_init2();
void mainline();
// Puts the output name in gv.path_buffer; false (and an empty path) when
// it cannot name a file.
bool output_path();
// Chooses the target of the next write step. False: nothing to write.
bool set_outfile_name();
// Releases the arena and, after a successful run, the header save file.
// False when the run has failed.
bool s_term();
// Closes every descriptor the run still holds (inputs, output, work files,
// header save file). Used on failure paths; files stay on disk.
void close_run_descriptors();

}  // namespace zara
