// libFuzzer entry points of the "raat" case (raat_case.h).
#include "fuzz/raat_case.h"
#include "fuzz/fuzz_main.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  return zara_fuzz::start_fuzzing(zara_fuzz::prepare_raat_case);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return zara_fuzz::report(zara_fuzz::run_raat_case(data, size));
}
