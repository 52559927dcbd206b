#include "records/mapped_input.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>

#include "engine/run_state.h"
#include "engine/write_behind.h"
#include "records/input.h"

namespace zara {

namespace {

#ifndef ZARA_MAP_INPUT
#define ZARA_MAP_INPUT 0
#endif

// A 32-bit process maps no file larger than this: its caller's address
// space is small.
constexpr uint64_t kMaxMapped32 = 256ull << 20;
// Mappings of files that ended within the load still being written; a
// load that passes more files than this reads the rest.
constexpr int kMaxRetired = 64;
// Pages of two loads may be mapped at once while one is written: up to
// this much more than the sort buffers.
constexpr uint64_t kResidentSlack = 8ull << 20;

struct Mapping {
  uint8_t* base = nullptr;
  size_t length = 0;
};

bool mapping_allowed = ZARA_MAP_INPUT != 0;
Mapping open_map;        // the open input's mapping
bool mapped = false;     // the open input is read through open_map
uint64_t map_offset = 0;  // file offset of open_map.base (page aligned)
uint64_t file_size = 0;
uint64_t position = 0;    // file offset of the next byte to take
uint64_t dropped_to = 0;  // file offset up to which the pages were dropped
uint64_t load_start = 0;  // position when the load written last began
Mapping retired[kMaxRetired];
int retired_count = 0;

// The output names the file open as `input`: creating the output would
// cut the mapping's file short under the records of the load.
bool output_is(const struct stat& input) {
  char path[kPathBufferSize];
  struct stat output;
  return name_to_path(gv.output_name, gv.output_name_length, path) && stat(path, &output) == 0 &&
         output.st_dev == input.st_dev && output.st_ino == input.st_ino;
}

uint64_t page_floor(uint64_t offset) {
  const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  return offset - offset % page;
}

}  // namespace

bool map_input(int fd, uint64_t from) {
  mapped = false;
  if (!mapping_allowed || cp[kCpSort] || retired_count == kMaxRetired) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 || output_is(st))
    return false;
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  if (from >= size || (sizeof(void*) < 8 && size > kMaxMapped32)) return false;
  const uint64_t offset = page_floor(from);
  const uint64_t length = size - offset;
  if (length > SIZE_MAX) return false;
  void* p = mmap(nullptr, static_cast<size_t>(length), PROT_READ, MAP_SHARED, fd,
                 static_cast<off_t>(offset));
  if (p == MAP_FAILED) return false;
  open_map = {static_cast<uint8_t*>(p), static_cast<size_t>(length)};
  map_offset = offset;
  file_size = size;
  position = from;
  dropped_to = offset;
  load_start = from;
  mapped = true;
  return true;
}

bool input_mapped() { return mapped; }

const uint8_t* mapped_take(uint32_t want, uint32_t* got) {
  const uint64_t left = file_size - position;
  const uint32_t n = left < want ? static_cast<uint32_t>(left) : want;
  const uint8_t* at = open_map.base + (position - map_offset);
  position += n;
  *got = n;
  return at;
}

void mapped_unread(uint32_t n) { position -= n; }

void mapped_input_closed() {
  if (!mapped) return;
  retired[retired_count++] = open_map;
  open_map = {};
  mapped = false;
}

namespace {

// Drops the pages of the open input before file offset `to` from the
// run's memory (they stay in the page cache).
void drop_pages_before(uint64_t to) {
  const uint64_t end = page_floor(to);
  if (end <= dropped_to) return;
  madvise(open_map.base + (dropped_to - map_offset), static_cast<size_t>(end - dropped_to),
          MADV_DONTNEED);
  dropped_to = end;
}

void unmap_retired() {
  while (retired_count > 0) {
    const Mapping& m = retired[--retired_count];
    munmap(m.base, m.length);
  }
}

}  // namespace

bool release_framed_input() {
  // The load written last may still be in flight (engine/write_behind.h):
  // its pages stay while the next load is framed, unless the two loads
  // would hold more memory than the sort buffers they stand in for, or
  // files of it are to be unmapped; then its write settles first.
  const uint64_t limit = uint64_t{gv.last_buffer + 1} * gv.buffer_size + kResidentSlack;
  const bool settle = retired_count > 0 || (mapped && position - dropped_to > limit);
  if (settle && !write_settle()) return false;
  unmap_retired();
  if (mapped) {
    drop_pages_before(settle ? position : load_start);
    load_start = position;
  }
  return true;
}

void allow_input_mapping(bool allowed) { mapping_allowed = allowed && ZARA_MAP_INPUT; }

void unmap_inputs() {
  write_settle();
  mapped_input_closed();
  unmap_retired();
}

}  // namespace zara
