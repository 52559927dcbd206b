// Input: the input-name list and the framing of input files into records.
//
// s_read fills one memory load: it reads the inputs in turn into the sort
// buffers and appends one descriptor per record framed (framing included:
// prefix, padding, terminator). An incomplete record at a buffer's end is
// handed back to the file by moving its offset back.
#pragma once

#include <cstdint>

namespace zara {

// Delimiter set of input names: [ ] , blank + tab LF.
extern const char kInputNameDelims[];

// Restarts the input-name list (gv.names) and takes its first name. False
// when the list is empty.
bool s_getffn();
// Copies a name of `length` bytes with its NUL into `out` (kPathBufferSize
// bytes). False when it does not fit, or holds a NUL of its own, which
// would name another file.
bool name_to_path(const char* name, uint32_t length, char* out);
// Opens the name last taken (gv.names token) read-only, through
// gv.path_buffer. Returns the descriptor, or -1 (also for a name that does
// not fit the path buffer).
int s_openf();
// The output is not one of the inputs (211), where the run needs that.
bool s_chknam();
// Reads one memory load.
bool s_read();

}  // namespace zara
