// The --progress indicator: one line on a terminal, rewritten at most a few
// times a second from the engine's progress callback and erased at the end.
#pragma once

#include <cstdio>

#include "zara15z37.h"

namespace zara_cli {

class ProgressLine {
 public:
  explicit ProgressLine(FILE* terminal) : out_(terminal) {}
  // The callback to hand to zara_set_progress with `this` as context.
  static void callback(const zara_progress* progress, void* context);
  void erase();

 private:
  void show(const zara_progress& p);
  FILE* out_;
  double last_shown_ = -1.0;
  bool shown_ = false;
};

}  // namespace zara_cli
