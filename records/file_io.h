// Reading and writing whole byte counts on a descriptor.
//
// read_fully reads until `want` bytes have arrived or the file ends, so
// that fewer bytes than asked for always means the end of the file; it
// returns the count, or -1 on a read error. write_fully writes all `n`
// bytes, resuming after partial writes; false on an error or a write that
// makes no progress. Both retry calls interrupted by a signal.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace zara {

ssize_t read_fully(int fd, uint8_t* to, size_t want);
bool write_fully(int fd, const uint8_t* bytes, size_t n);

}  // namespace zara
