// libFuzzer target: one file image read through each of the reader's fast paths and its
// byte-at-a-time reference path, which must agree (see differential_harness.h).
#include <cstdio>
#include <cstdlib>

#include "fuzz/differential_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string problem = CheckPathsAgree(data, size);
  if (!problem.empty()) {
    std::fprintf(stderr, "finding: paths disagree: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
