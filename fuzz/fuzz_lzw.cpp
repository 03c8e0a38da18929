// libFuzzer target: the LZW expander on raw bytes, both passes compared (see lzw_harness.h).
#include <cstdio>
#include <cstdlib>

#include "fuzz/lzw_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string problem = CheckLzwExpansion(data, size);
  if (!problem.empty()) {
    std::fprintf(stderr, "finding: LZW expansion: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
