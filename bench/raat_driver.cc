// Record-at-a-time benchmark driver: releases COUNT 40-byte records through
// s_1raat and takes them back sorted on their first 10 bytes, or, as the
// in-process floor, sorts the same records with std::stable_sort.
//   raat_driver engine|stable_sort COUNT SEED [CONTROL]
// Prints a checksum of the returned order so that both modes can be compared.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/xorshift.h"
#include "zara15z37.h"

namespace {

constexpr uint32_t kRecordLength = 40;
constexpr uint32_t kKeyLength = 10;


void make_record(char* r) {
  for (uint32_t i = 0; i < kRecordLength; ++i) r[i] = static_cast<char>('!' + next() % 94);
}

uint64_t mix(uint64_t h, const char* r, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) h = (h ^ static_cast<uint8_t>(r[i])) * 0x100000001B3ull;
  return h;
}

int run_engine(uint64_t count, const char* control) {
  uint32_t status = 0;
  uint32_t n = static_cast<uint32_t>(strlen(control));
  std::string text(control);
  s_1raat(1, text.data(), &n, &status);
  if (status != 0) {
    fprintf(stderr, "open: status %u\n", status);
    return 1;
  }
  char r[kRecordLength];
  for (uint64_t i = 0; i < count; ++i) {
    make_record(r);
    n = kRecordLength;
    s_1raat(2, r, &n, &status);
    if (status != 0) {
      fprintf(stderr, "release: status %u\n", status);
      return 1;
    }
  }
  std::vector<char> buffer(65536);
  uint64_t h = 0xCBF29CE484222325ull, returned = 0;
  for (;;) {
    s_1raat(3, buffer.data(), &n, &status);
    if (status == 1) break;
    if (status != 0) {
      fprintf(stderr, "return: status %u\n", status);
      return 1;
    }
    h = mix(h, buffer.data(), n);
    ++returned;
  }
  printf("%llu records, checksum %016llx\n", static_cast<unsigned long long>(returned),
         static_cast<unsigned long long>(h));
  return returned == count ? 0 : 1;
}

int run_stable_sort(uint64_t count) {
  std::vector<char> records(count * kRecordLength);
  for (uint64_t i = 0; i < count; ++i) make_record(&records[i * kRecordLength]);
  std::vector<const char*> order(count);
  for (uint64_t i = 0; i < count; ++i) order[i] = &records[i * kRecordLength];
  std::stable_sort(order.begin(), order.end(), [](const char* a, const char* b) {
    return memcmp(a, b, kKeyLength) < 0;
  });
  uint64_t h = 0xCBF29CE484222325ull;
  for (const char* r : order) h = mix(h, r, kRecordLength);
  printf("%llu records, checksum %016llx\n", static_cast<unsigned long long>(count),
         static_cast<unsigned long long>(h));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: raat_driver engine|stable_sort COUNT SEED [CONTROL]\n");
    return 2;
  }
  const uint64_t count = strtoull(argv[2], nullptr, 10);
  xorshift_seed(strtoull(argv[3], nullptr, 10));
  if (strcmp(argv[1], "engine") == 0)
    return run_engine(count, argc > 4 ? argv[4] : "SORT (1,10,CH,A) CORE (0)");
  return run_stable_sort(count);
}
