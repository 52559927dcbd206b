// The merge of sorted runs from work files into one sorted sequence: into
// the output (the final merge), into a new work file (an intermediate
// merge, gv.intermediate_merge), or one record per call to the
// record-at-a-time caller (s_merge1).
//
// Runs merge_first - 1 .. workfile_count - 1 take part. Run r is read
// through sort buffer r in whole buffers; its current record is at
// gv.merge_current[r] (a work-file header, then the bytes). The merge queue
// holds the run numbers of the runs that still have a record, ordered by
// their current records; its head (position merge_first - 1) is the
// smallest. After the head's record is taken, the run advances and its new
// record is placed by binary search among the others. Example, three runs
// whose current records have keys 7, 3, 5 and merge_first 1:
//   queue [1 2 0] (keys 3 5 7); take run 1's record, run 1 advances to key 6
//   queue [1 2 0] -> re-placed: [2 1 0] (keys 5 6 7).
// A record that straddles the end of a buffer is not copied: the file's
// offset is moved back to the record's start and the buffer refilled.
//
// Order of calls: s_merge once per merge; or s_merge1 repeatedly until it
// sets gv.give_done (it opens the runs on its first call and removes them
// after the last record).
#pragma once

#include <cstdint>

#include "engine/run_state.h"

namespace zara {

bool s_merge();
// The next record of the record-at-a-time merge in *record (valid until the
// next call), or gv.give_done set when there is none.
bool s_merge1(RecordDesc* record);
// The operator prompt of PAUSE.
void s_pause();

}  // namespace zara
