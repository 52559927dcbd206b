#include "cli/progress_line.h"

#include <ctime>

namespace zara_cli {

namespace {

constexpr double kMinimumInterval = 0.25;  // seconds between updates

double now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

void human_bytes(char* out, size_t size, uint64_t n) {
  const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  double v = static_cast<double>(n);
  int u = 0;
  while (v >= 1024 && u < 4) {
    v /= 1024;
    ++u;
  }
  snprintf(out, size, u == 0 ? "%.0f %s" : "%.1f %s", v, units[u]);
}

}  // namespace

void ProgressLine::callback(const zara_progress* progress, void* context) {
  static_cast<ProgressLine*>(context)->show(*progress);
}

void ProgressLine::show(const zara_progress& p) {
  if (p.phase == ZARA_PHASE_DONE) return;
  const double t = now();
  if (shown_ && t - last_shown_ < kMinimumInterval) return;
  last_shown_ = t;
  char read[32], total[32];
  human_bytes(read, sizeof read, p.bytes_read);
  human_bytes(total, sizeof total, p.bytes_total);
  char percent[16] = "";
  if (p.bytes_total > 0)
    snprintf(percent, sizeof percent, " (%u%%)",
             static_cast<unsigned>(p.bytes_read * 100 / p.bytes_total));
  fprintf(out_, "\r\033[K%s: %s of %s%s, %u loads, %u work files, %u merges",
          p.phase == ZARA_PHASE_MERGING ? "merging" : "reading", read, total, percent,
          p.memory_loads, p.work_files, p.merge_passes);
  fflush(out_);
  shown_ = true;
}

void ProgressLine::erase() {
  if (!shown_) return;
  fputs("\r\033[K", out_);
  fflush(out_);
  shown_ = false;
}

}  // namespace zara_cli
