#include "engine/arena.h"

#include <cstdlib>

#include "engine/run_state.h"
#include "records/mapped_input.h"

namespace zara {

namespace {

constexpr uint32_t kSmallestPart = 999;  // a part this small or smaller fails
constexpr bool kWriteBehindBuild = ZARA_THREADS != 0;
// Records gathered per output buffer at most (one a byte for small parts).
constexpr uint32_t kGatherEntries = 16384;

void free_buffers(uint32_t n) {
  while (n > 0) {
    --n;
    free(gv.buffers[n]);
    gv.buffers[n] = nullptr;
  }
}

void free_table_and_output() {
  free(gv.record_table);
  gv.record_table = nullptr;
  gv.sort_scratch = nullptr;
  free(gv.sort_entries);
  gv.sort_entries = nullptr;
  free(gv.out_buffer);
  gv.out_buffer = nullptr;
  free(gv.out_spare);
  gv.out_spare = nullptr;
  free(gv.gather);
  free(gv.gather_spare);
  gv.gather = gv.gather_spare = nullptr;
  gv.gather_count = gv.gather_capacity = 0;
}

// A second output buffer and the gather lists of both: they let the writer
// thread copy and write one buffer while the run fills the other. The run
// does without them (writing at once) when they cannot be had.
void allocate_write_behind(uint32_t part) {
  if (!kWriteBehindBuild) return;
  const uint32_t entries = part < kGatherEntries ? part : kGatherEntries;
  gv.out_spare = static_cast<uint8_t*>(malloc(part));
  gv.gather = static_cast<GatherEntry*>(malloc(sizeof(GatherEntry) * entries));
  gv.gather_spare = static_cast<GatherEntry*>(malloc(sizeof(GatherEntry) * entries));
  if (gv.out_spare && gv.gather && gv.gather_spare) {
    gv.gather_capacity = entries;
    return;
  }
  free(gv.out_spare);
  free(gv.gather);
  free(gv.gather_spare);
  gv.out_spare = nullptr;
  gv.gather = gv.gather_spare = nullptr;
}

// One attempt at the current part size: output buffer, record table, sort
// buffers. True when the arena is complete (possibly with fewer buffers).
bool try_allocate(uint32_t part) {
  gv.out_buffer = static_cast<uint8_t*>(malloc(part));
  if (!gv.out_buffer) return false;
  gv.out_buffer_size = part;
  uint64_t table_bytes = 10ull * part;
  if (table_bytes > kMaxPartSize) table_bytes = kMaxPartSize;
  gv.record_capacity = static_cast<uint32_t>(table_bytes / 16);
  // The table is followed by the same number of entries of scratch for the
  // merge sort of a memory load.
  gv.record_table = static_cast<RecordDesc*>(calloc(2u * gv.record_capacity, sizeof(RecordDesc)));
  gv.sort_scratch = gv.record_table ? gv.record_table + gv.record_capacity : nullptr;
  gv.sort_entries =
      static_cast<SortEntry*>(malloc(2u * sizeof(SortEntry) * gv.record_capacity));
  if (!gv.record_table || !gv.sort_entries) {
    free(gv.record_table);
    gv.record_table = nullptr;
    free(gv.sort_entries);
    gv.sort_entries = nullptr;
    free(gv.out_buffer);
    gv.out_buffer = nullptr;
    return false;
  }
  gv.buffer_size = part;
  const uint32_t wanted = gv.file_limit - 2;
  uint32_t n = 0;
  while (n < wanted) {
    gv.buffers[n] = static_cast<uint8_t*>(malloc(part));
    if (!gv.buffers[n]) break;
    ++n;
  }
  if (n == wanted) {
    gv.last_buffer = n - 1;
    return true;
  }
  // More than 60 % of the file limit, compared exactly: 0.6 has no exact
  // binary form, and x87 extended precision puts 0.6 * 30 just below 18.
  if (10ull * n > 6ull * gv.file_limit) {
    gv.last_buffer = n - 1;
    gv.file_limit = n + 1;
    return true;
  }
  free_buffers(n);
  free_table_and_output();
  return false;
}

bool arena_failed() {
  free(gv.hold_area);
  gv.hold_area = nullptr;
  return fail(kNoMemory);
}

}  // namespace

uint32_t arena_part_size(uint32_t core_kb, uint32_t file_limit) {
  if (core_kb == 0) return kMaxPartSize;
  uint64_t part = (static_cast<uint64_t>(core_kb) / (file_limit + 10)) * 1024ull;
  return part > kMaxPartSize ? kMaxPartSize : static_cast<uint32_t>(part);
}

bool s_alloc() {
  uint32_t part = arena_part_size(gv.core_kb, gv.file_limit);
  if (gv.core_kb != 0 && part <= kSmallestPart) return arena_failed();
  if (gv.hold_active) {
    gv.hold_area = static_cast<uint8_t*>(malloc(gv.hold_area_size ? gv.hold_area_size : 1));
    if (!gv.hold_area) return arena_failed();
  }
  for (;;) {
    if (try_allocate(part)) {
      gv.arena_allocated = true;
      allocate_write_behind(part);
      return true;
    }
    part /= 2;
    if (part <= kSmallestPart) return arena_failed();
  }
}

bool read_gda() {
  if (gv.next_buffer > gv.last_buffer) return false;
  gv.current_buffer = gv.buffers[gv.next_buffer];
  gv.buffer_used = 0;
  ++gv.next_buffer;
  return true;
}

void arena_free() {
  unmap_inputs();
  if (gv.arena_allocated) {
    free_buffers(gv.last_buffer + 1);
    free_table_and_output();
    gv.arena_allocated = false;
  }
  free(gv.hold_area);
  gv.hold_area = nullptr;
  gv.current_buffer = nullptr;
}

}  // namespace zara
