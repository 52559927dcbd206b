// In-memory sort of a memory load and the intermediate merge of runs.
#pragma once

namespace zara {

// Sorts the first record_count descriptors of the record table into the
// total order of s_compp (keys, then arrival order).
void s_sort();
// Folds the newest runs into one when the work files reach their limit.
bool s_interm();

}  // namespace zara
