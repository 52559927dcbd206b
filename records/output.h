// Output writing: records through the output buffer into the output file or
// a work file, and the end-of-file mark of each file type.
//
// The target of a write step is named in gv.path_buffer. The output buffer
// is empty between write steps. A record goes out in one of three layouts:
// work-file form (32-bit length, 32-bit sequence number, the bytes; both
// numbers little-endian), as read, or reformatted by OUTREC.
#pragma once

#include <cstdint>

#include "engine/run_state.h"

namespace zara {

enum class Target : uint8_t { kOutput, kWorkFile };

// Writes the current memory load to the target in gv.path_buffer.
bool s_write();
// One record through duplicate processing into the output buffer.
bool s_movrec(const RecordDesc& record);
// Asks duplicate processing to write the record it still holds (the flush
// after the last record of the output). False on a write failure.
bool flush_duplicates();
// Places one record in the output buffer, flushing it first when needed.
// With `stays` (its bytes stay where they are until the write step or the
// merge settles, engine/write_behind.h) it may be copied only when the
// buffer is written.
bool s_movrecb(const uint8_t* record, uint32_t length, uint32_t sequence, bool stays = false);
// Copies into the output buffer the records waiting to be copied there
// whose bytes lie in [begin, begin + size): that memory is about to change.
void gather_now(const uint8_t* begin, uint32_t size);
// Writes the output buffer and empties it (240 on failure).
bool s_wbuf();
// Opens or creates gv.path_buffer; sets gv.out_fd (-1 on failure). Work
// files are created exclusively with mode 0600, so nothing that already
// exists under their name is followed or truncated; the output is created
// or truncated with mode 0644, or opened at its end with APPEND.
void s_opencreate(Target target);
// Closes the open target. False when close fails.
bool close_target();
// Appends the end-of-file mark of the file type (321 on failure).
bool s_addeof();

}  // namespace zara
