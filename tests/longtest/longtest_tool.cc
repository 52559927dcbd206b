// The large-file test's data: writes a file of text records and checks a
// sorted copy of it, streaming, in constant memory.
//
//   longtest_tool gen FILE BYTES   writes records until BYTES are reached
//   longtest_tool check FILE       checks the order of FILE's records
//
// Each record is 32 bytes: a 7-digit key, a blank, a 12-digit serial
// number (the arrival order), a blank, 10 letters derived from the serial,
// a line feed. Keys are drawn from 10^7 values, so equal keys are common.
// Both commands print "records N fingerprint F": F is the sum and a mixed
// sum of a 64-bit hash of every record, the same for any order of the same
// records. `check` also requires keys in ascending order and, for equal
// keys, serials in ascending order (the sort keeps arrival order), and
// every record well formed. Exit status 0 when all holds.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kRecord = 32;
constexpr size_t kKey = 7;
constexpr size_t kSerialAt = 8, kSerial = 12;
constexpr size_t kChunkRecords = 1 << 15;  // 1 MiB

uint64_t splitmix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

uint64_t hash_record(const char* r) {
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < kRecord; ++i) h = (h ^ static_cast<unsigned char>(r[i])) * 1099511628211ull;
  return h;
}

struct Fingerprint {
  uint64_t records = 0, sum = 0, mixed = 0;
  void add(const char* r) {
    const uint64_t h = hash_record(r);
    ++records;
    sum += h;
    mixed += splitmix(h);
  }
  void print() const {
    printf("records %" PRIu64 " fingerprint %016" PRIx64 "%016" PRIx64 "\n", records, sum, mixed);
  }
};

void put_digits(char* at, uint64_t v, size_t n) {
  for (size_t i = n; i-- > 0; v /= 10) at[i] = static_cast<char>('0' + v % 10);
}

void make_record(uint64_t serial, char* r) {
  const uint64_t x = splitmix(serial);
  put_digits(r, x % 10000000u, kKey);
  r[kKey] = ' ';
  put_digits(r + kSerialAt, serial, kSerial);
  r[kSerialAt + kSerial] = ' ';
  uint64_t letters = splitmix(x);
  for (size_t i = 21; i < 31; ++i, letters /= 26) r[i] = static_cast<char>('a' + letters % 26);
  r[31] = '\n';
}

int gen(const char* path, uint64_t bytes) {
  FILE* f = fopen(path, "wb");
  if (!f) return perror(path), 1;
  std::vector<char> chunk(kChunkRecords * kRecord);
  Fingerprint fp;
  const uint64_t total = bytes / kRecord;
  for (uint64_t serial = 0; serial < total;) {
    size_t n = 0;
    for (; n < kChunkRecords && serial < total; ++n, ++serial) {
      make_record(serial, &chunk[n * kRecord]);
      fp.add(&chunk[n * kRecord]);
    }
    if (fwrite(chunk.data(), kRecord, n, f) != n) return perror(path), 1;
  }
  if (fclose(f) != 0) return perror(path), 1;
  fp.print();
  return 0;
}

bool well_formed(const char* r) {
  for (size_t i = 0; i < kKey; ++i)
    if (r[i] < '0' || r[i] > '9') return false;
  for (size_t i = kSerialAt; i < kSerialAt + kSerial; ++i)
    if (r[i] < '0' || r[i] > '9') return false;
  return r[kKey] == ' ' && r[kSerialAt + kSerial] == ' ' && r[31] == '\n';
}

int check(const char* path) {
  FILE* f = fopen(path, "rb");
  if (!f) return perror(path), 1;
  std::vector<char> chunk(kChunkRecords * kRecord);
  char last[kRecord];
  bool have_last = false;
  uint64_t bad_order = 0, bad_form = 0, first_bad = 0;
  Fingerprint fp;
  size_t n;
  while ((n = fread(chunk.data(), 1, chunk.size(), f)) > 0) {
    if (n % kRecord != 0) {
      fprintf(stderr, "%s: %zu bytes past the last whole record\n", path, n % kRecord);
      ++bad_form;
    }
    for (size_t at = 0; at + kRecord <= n; at += kRecord) {
      const char* r = &chunk[at];
      if (!well_formed(r) && bad_form++ == 0) first_bad = fp.records;
      if (have_last) {
        const int key = memcmp(last, r, kKey);
        const bool ordered =
            key < 0 || (key == 0 && memcmp(last + kSerialAt, r + kSerialAt, kSerial) < 0);
        if (!ordered && bad_order++ == 0 && bad_form == 0) first_bad = fp.records;
      }
      memcpy(last, r, kRecord);
      have_last = true;
      fp.add(r);
    }
  }
  const bool read_ok = !ferror(f);
  fclose(f);
  fp.print();
  printf("order %s, %" PRIu64 " records out of order, %" PRIu64 " malformed\n",
         bad_order == 0 && bad_form == 0 ? "ok" : "BROKEN", bad_order, bad_form);
  if (bad_order || bad_form) printf("first bad record: %" PRIu64 "\n", first_bad);
  return read_ok && bad_order == 0 && bad_form == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && strcmp(argv[1], "gen") == 0) return gen(argv[2], strtoull(argv[3], nullptr, 10));
  if (argc == 3 && strcmp(argv[1], "check") == 0) return check(argv[2]);
  fprintf(stderr, "usage: %s gen FILE BYTES | check FILE\n", argv[0]);
  return 2;
}
