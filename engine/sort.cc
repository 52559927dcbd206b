// The in-memory sort of a memory load and the intermediate merge of runs.
//
// A load is sorted by a merge sort of its record descriptors (the records
// stay where they were read) into the total order of s_compp: keys first,
// then arrival order. A merge sort needs no more than a consistent answer
// per pair, so even key types without a total order (IEEE NaN) cannot make
// it misbehave; its scratch is the second half of the record table.
#include "engine/sort.h"

#include <cstring>

#include "compare/compare.h"
#include "engine/arena.h"
#include "engine/merge.h"
#include "engine/run_state.h"

namespace zara {

namespace {

constexpr uint32_t kInsertionRun = 16;

struct ByKeys {
  bool operator()(const RecordDesc& a, const RecordDesc& b) const { return s_compp(&a, &b) < 0; }
};

template <class Less>
void insertion_sort(RecordDesc* a, uint32_t n, Less less) {
  for (uint32_t i = 1; i < n; ++i) {
    const RecordDesc x = a[i];
    uint32_t j = i;
    while (j > 0 && less(x, a[j - 1])) {
      a[j] = a[j - 1];
      --j;
    }
    a[j] = x;
  }
}

// Merges the sorted ranges [lo, mid) and [mid, hi) of `from` into `to`.
template <class Less>
void merge_ranges(const RecordDesc* from, RecordDesc* to, uint32_t lo, uint32_t mid, uint32_t hi,
                  Less less) {
  uint32_t i = lo, j = mid, k = lo;
  while (i < mid && j < hi) to[k++] = less(from[j], from[i]) ? from[j++] : from[i++];
  while (i < mid) to[k++] = from[i++];
  while (j < hi) to[k++] = from[j++];
}

}  // namespace

template <class Less>
void merge_sort(RecordDesc* a, RecordDesc* scratch, uint32_t n, Less less) {
  for (uint32_t lo = 0; lo < n; lo += kInsertionRun)
    insertion_sort(a + lo, n - lo < kInsertionRun ? n - lo : kInsertionRun, less);
  RecordDesc* from = a;
  RecordDesc* to = scratch;
  for (uint64_t width = kInsertionRun; width < n; width *= 2) {
    for (uint64_t lo = 0; lo < n; lo += 2 * width) {
      const uint32_t mid = static_cast<uint32_t>(lo + width < n ? lo + width : n);
      const uint32_t hi = static_cast<uint32_t>(lo + 2 * width < n ? lo + 2 * width : n);
      merge_ranges(from, to, static_cast<uint32_t>(lo), mid, hi, less);
    }
    RecordDesc* t = from;
    from = to;
    to = t;
  }
  if (from != a) memcpy(a, from, sizeof(RecordDesc) * n);
}

void s_sort() {
  if (gv.record_count < 2 || sp.count == 0) return;
  merge_sort(gv.record_table, gv.sort_scratch, gv.record_count, ByKeys{});
}

bool s_interm() {
  const uint32_t limit = gv.file_limit - 2;
  gv.intermediate_merge = 1;
  ++gv.merge_first;
  if (gv.merge_first == limit) gv.merge_first = 1;
  if (!s_merge()) return false;
  gv.intermediate_merge = 0;
  gv.workfile_count = gv.merge_first;
  gv.next_buffer = 0;
  read_gda();
  gv.record_count = 0;
  gv.table_full = 0;
  return true;
}

}  // namespace zara
