// libFuzzer target: the writer on small random images and geometries, read back through the
// decoder (see writer_harness.h). The scratch file is this process's own.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/writer_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path =
      "/tmp/varneltiff-fuzz-writer-" + std::to_string(getpid()) + ".tif";
  const std::string problem = CheckWrite(data, size, path);
  if (!problem.empty()) {
    std::fprintf(stderr, "finding: writer: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
