// The interposer's control functions, found at run time, so that a program
// runs (and can say so) when the interposer was not preloaded.
#pragma once

#include <dlfcn.h>

#include "tests/faults/fault_inject.h"

namespace zara_faults {

struct FaultApi {
  void (*arm)(int64_t target, int mode) = nullptr;
  int64_t (*disarm)() = nullptr;
  const zfault_call* (*calls)(int64_t* count, int64_t* capacity) = nullptr;
  const char* (*path)(int id) = nullptr;
  bool loaded() const { return arm && disarm && calls && path; }
};

inline FaultApi find_fault_api() {
  FaultApi api;
  *reinterpret_cast<void**>(&api.arm) = dlsym(RTLD_DEFAULT, "zfault_arm");
  *reinterpret_cast<void**>(&api.disarm) = dlsym(RTLD_DEFAULT, "zfault_disarm");
  *reinterpret_cast<void**>(&api.calls) = dlsym(RTLD_DEFAULT, "zfault_calls");
  *reinterpret_cast<void**>(&api.path) = dlsym(RTLD_DEFAULT, "zfault_path");
  return api;
}

}  // namespace zara_faults
