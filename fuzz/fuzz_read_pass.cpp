// libFuzzer target: the whole read pass on a file image from memory, the last three bytes
// choosing full image, information only or a preview box (see read_pass_harness.h).
#include <cstdio>
#include <cstdlib>

#include "fuzz/read_pass_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string problem = CheckReadPass(data, size);
  if (!problem.empty()) {
    std::fprintf(stderr, "finding: read pass: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
