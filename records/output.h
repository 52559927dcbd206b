// Output writing: records through the output buffer into the output file or
// a work file, and the end-of-file marks of each file type.
#pragma once

#include <cstdint>

#include "engine/run_state.h"

namespace zara {

// Writes the current memory load to the target in gv.path_buffer.
bool s_write();
// One record through duplicate processing into the output buffer.
bool s_movrec(const RecordDesc& record);
// Places one record in the output buffer (work-file form, plain, or
// reformatted by OUTREC), flushing first when needed.
bool s_movrecb(const uint8_t* record, uint32_t length, uint32_t sequence);
// Writes the output buffer and empties it.
bool s_wbuf();
// Opens or creates gv.path_buffer; sets gv.out_fd (or -1).
void s_opencreate();
// Appends the end-of-file mark of the file type.
bool s_addeof();

}  // namespace zara
