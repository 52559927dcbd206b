// The merge of sorted runs from work files: into the output (final merge),
// into a new work file (intermediate merge), or record by record to a
// record-at-a-time caller.
#pragma once

#include <cstdint>

namespace zara {

bool s_merge();
// One step of the record-at-a-time merge: the next record, or gv.give_done
// set when there is none.
bool s_merge1(const uint8_t** record, uint32_t* length);
// The operator prompt of PAUSE.
void s_pause();

}  // namespace zara
