// libFuzzer entry points of the "cobol" case (cobol_case.h).
#include "fuzz/cobol_case.h"
#include "fuzz/fuzz_main.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  return zara_fuzz::start_fuzzing(zara_fuzz::prepare_cobol_case);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return zara_fuzz::report(zara_fuzz::run_cobol_case(data, size));
}
