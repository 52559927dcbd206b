// Mapped input: a copy run reads a regular input file through a memory
// mapping instead of reading its bytes into the sort buffers, so that the
// records it writes are copied once (from the mapping to the output) rather
// than twice.
//
// The memory load is cut exactly as when reading: each sort buffer takes
// at most its size in bytes, from the file position on, and the bytes of an
// incomplete record at its end are handed back by moving the position back
// (here without a file call). Descriptors point into the mapping. A load's
// mappings stay until the next load starts or the run ends, so its records
// stay valid while it is written.
//
// A file is mapped only when it is a regular, non-empty file that is not
// also the output (and, in a 32-bit process, not larger than 256 MiB);
// when the mapping cannot be made, the file is read as before. A run with
// SORT or MERGE never maps (its output may replace its own input).
//
// Only builds with ZARA_MAP_INPUT map at all. A mapped file that shrinks
// while it is mapped (another program truncates it, as log rotation does)
// turns every access beyond its new end into SIGBUS, which kills the
// caller's process: a read would merely have ended early. The default
// build therefore reads, and mapping is left to callers who know their
// inputs stay as they are for the length of a run.
#pragma once

#include <cstdint>

namespace zara {

// Maps the open input `fd` from `position` on when it qualifies. True when
// the file is now read through the mapping.
bool map_input(int fd, uint64_t position);
// The open input is read through a mapping.
bool input_mapped();
// The next bytes of the mapped input, at most `want` of them (fewer only at
// the end of the file); the position moves past them.
const uint8_t* mapped_take(uint32_t want, uint32_t* got);
// Moves the position back over `n` bytes just taken.
void mapped_unread(uint32_t n);
// The mapped input is closed; its mapping stays until the load is done.
void mapped_input_closed();
// A new memory load starts: the mappings of the loads before are released
// (the part of the open file's mapping already framed is dropped from
// memory), but for the load written last while its write may be in flight.
// False (status 240) when a write that had to settle failed.
bool release_framed_input();
// Unmaps everything (end of run).
void unmap_inputs();
// Whether inputs may be mapped at all (on unless built without; the tests
// turn it off to compare a mapped run with one that reads).
void allow_input_mapping(bool allowed);

}  // namespace zara
