// The in-memory sort of a memory load and the intermediate merge of runs.
//
// A load is ordered by sorting its record descriptors (the records stay
// where they were read) into the total order of s_compp: keys first, then
// arrival order.
//
// When the first key has an abbreviation (compare/key_prefix.h), each
// record gets a 64-bit prefix that orders like the key wherever two
// prefixes differ. The (prefix, index) pairs are sorted by an LSD radix
// sort on the prefix, which is stable, so records with equal prefixes stay
// in arrival order; each stretch of equal prefixes is then sorted by
// s_compp itself. Example, keys "pear", "fig", "peach", "fig" (seq 1-4):
//   prefixes  "pear\0\0\0\0" "fig\0..." "peach\0\0\0" "fig\0..."
//   radix     fig(2) fig(4) peach(3) pear(1)   -- one stretch of two equal
//   s_compp   orders the stretch fig(2) fig(4): same key, arrival order.
// Otherwise the descriptors are merge-sorted with s_compp. Both sorts need
// no more than one answer per pair, so key types without a consistent
// order (an IEEE NaN, an E key of length 6) cannot make them misbehave.
// The scratch space is allocated with the record table by the arena.
#include "engine/sort.h"

#include <cstring>

#include "compare/compare.h"
#include "compare/key_prefix.h"
#include "engine/arena.h"
#include "engine/merge.h"
#include "engine/run_state.h"

namespace zara {

namespace {

constexpr uint32_t kInsertionRun = 16;

template <class T, class Less>
void insertion_sort(T* a, uint32_t n, Less less) {
  for (uint32_t i = 1; i < n; ++i) {
    const T x = a[i];
    uint32_t j = i;
    while (j > 0 && less(x, a[j - 1])) {
      a[j] = a[j - 1];
      --j;
    }
    a[j] = x;
  }
}

// Merges the sorted ranges [lo, mid) and [mid, hi) of `from` into `to`.
template <class T, class Less>
void merge_ranges(const T* from, T* to, uint32_t lo, uint32_t mid, uint32_t hi, Less less) {
  uint32_t i = lo, j = mid, k = lo;
  while (i < mid && j < hi) to[k++] = less(from[j], from[i]) ? from[j++] : from[i++];
  while (i < mid) to[k++] = from[i++];
  while (j < hi) to[k++] = from[j++];
}

// A stable merge sort of n elements using n elements of scratch.
template <class T, class Less>
void merge_sort(T* a, T* scratch, uint32_t n, Less less) {
  for (uint32_t lo = 0; lo < n; lo += kInsertionRun)
    insertion_sort(a + lo, n - lo < kInsertionRun ? n - lo : kInsertionRun, less);
  T* from = a;
  T* to = scratch;
  for (uint64_t width = kInsertionRun; width < n; width *= 2) {
    for (uint64_t lo = 0; lo < n; lo += 2 * width) {
      const uint32_t mid = static_cast<uint32_t>(lo + width < n ? lo + width : n);
      const uint32_t hi = static_cast<uint32_t>(lo + 2 * width < n ? lo + 2 * width : n);
      merge_ranges(from, to, static_cast<uint32_t>(lo), mid, hi, less);
    }
    T* t = from;
    from = to;
    to = t;
  }
  if (from != a) memcpy(static_cast<void*>(a), from, sizeof(T) * n);
}

// Stable LSD radix sort of the entries by prefix, a byte per pass; passes
// in which every entry has the same byte are skipped. The result is in
// `a` or `scratch`; the one it is in is returned.
SortEntry* radix_sort(SortEntry* a, SortEntry* scratch, uint32_t n) {
  uint32_t counts[8][256];
  memset(counts, 0, sizeof counts);
  for (uint32_t i = 0; i < n; ++i) {
    const uint64_t p = a[i].prefix;
    for (int b = 0; b < 8; ++b) ++counts[b][(p >> (8 * b)) & 0xFF];
  }
  SortEntry* from = a;
  SortEntry* to = scratch;
  for (int b = 0; b < 8; ++b) {
    uint32_t* c = counts[b];
    if (c[(from[0].prefix >> (8 * b)) & 0xFF] == n) continue;
    uint32_t sum = 0;
    for (int v = 0; v < 256; ++v) {
      const uint32_t k = c[v];
      c[v] = sum;
      sum += k;
    }
    for (uint32_t i = 0; i < n; ++i) to[c[(from[i].prefix >> (8 * b)) & 0xFF]++] = from[i];
    SortEntry* t = from;
    from = to;
    to = t;
  }
  return from;
}

struct ByKeys {
  bool operator()(const RecordDesc& a, const RecordDesc& b) const { return s_compp(&a, &b) < 0; }
};

void sort_by_prefix(const PrefixPlan& plan) {
  const uint32_t n = gv.record_count;
  RecordDesc* table = gv.record_table;
  SortEntry* entries = gv.sort_entries;
  SortEntry* spare = gv.sort_entries + gv.record_capacity;
  for (uint32_t i = 0; i < n; ++i)
    entries[i] = SortEntry{key_prefix(plan, table[i].addr, table[i].len), i};
  SortEntry* sorted = radix_sort(entries, spare, n);
  SortEntry* free_space = sorted == entries ? spare : entries;
  const auto by_keys = [table](const SortEntry& a, const SortEntry& b) {
    return s_compp(&table[a.index], &table[b.index]) < 0;
  };
  for (uint32_t lo = 0; lo < n;) {
    uint32_t hi = lo + 1;
    while (hi < n && sorted[hi].prefix == sorted[lo].prefix) ++hi;
    if (hi - lo > 1) merge_sort(sorted + lo, free_space + lo, hi - lo, by_keys);
    lo = hi;
  }
  RecordDesc* out = gv.sort_scratch;
  for (uint32_t i = 0; i < n; ++i) out[i] = table[sorted[i].index];
  memcpy(static_cast<void*>(table), out, sizeof(RecordDesc) * n);
}

}  // namespace

void s_sort() {
  if (gv.record_count < 2 || sp.count == 0) return;
  const PrefixPlan plan = make_prefix_plan();
  if (plan.kind != PrefixKind::kNone) {
    sort_by_prefix(plan);
  } else {
    merge_sort(gv.record_table, gv.sort_scratch, gv.record_count, ByKeys{});
  }
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
