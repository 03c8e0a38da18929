// The checks the read-pass fuzz target, the crasher tests and the hostile-file tests run on one
// file image: an information pass and a full or preview pass from memory, and what the host
// would be handed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class TReadMode { Full, InfoOnly, Preview };

// Fuzzing reads only images whose output buffer is at most this large, so that a run stays fast
// and never allocates gigabytes for a 32767 x 32767 file; such sizes are tested by hand instead.
constexpr int64_t kLargestCheckedBuffer = 512 << 10;

struct TReadOptions {
  TReadMode mode = TReadMode::Full;
  int32_t boxWidth = 64;
  int32_t boxHeight = 64;
  int64_t largestBuffer = kLargestCheckedBuffer;  // larger outputs are not read
};

// What one checked pass gave, for tests that expect a particular answer.
struct TReadOutcome {
  bool accepted = false;
  bool skipped = false;  // the output buffer would exceed kLargestCheckedBuffer: not read
  int32_t outWidth = 0;
  int32_t outHeight = 0;
  int32_t outRowBytes = 0;
  bool fullColour = false;
  uint64_t pixelSum = 0;            // of every byte of the pixel buffer
  std::vector<uint8_t> firstBytes;  // the first 64 bytes of the pixel buffer (or all of it)
};

// One file image, read in the given way, with every check. Returns an empty text when the pass
// behaved, else what went wrong.
std::string CheckRead(const uint8_t* file, size_t size, const TReadOptions& options,
                      TReadOutcome* outcome = nullptr);

// Fuzz input layout: the file's bytes, then a box width choice, a box height choice and the mode
// (0 full image, 1 information only, 2 preview), one byte each.
std::string CheckReadPass(const uint8_t* data, size_t size);

// How a trailer byte becomes a box side: 1..253 as given, and the sides a host might send by
// mistake: 0 -> 0, 254 -> -1, 255 -> 2147483647.
int32_t BoxSideOf(uint8_t choice);
