// One read pass from memory, checked the way a host would suffer it: the same answer from the
// information pass and the full pass, the output of the declared size with every byte set and
// in range, the same output twice, and (under AddressSanitizer) no more memory than the output
// buffer plus 1 MiB.
#include "fuzz/read_pass_harness.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string_view>

#include "fuzz/memory_stream.h"
#include "reader/tiff_decoder.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VARNELTIFF_COUNT_MEMORY 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define VARNELTIFF_COUNT_MEMORY 1
#endif

#if defined(VARNELTIFF_COUNT_MEMORY)
// The sanitizer runtimes' allocator interface (clang ships its header, gcc only the functions).
extern "C" {
int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, size_t),
                                              void (*free_hook)(const volatile void*));
size_t __sanitizer_get_allocated_size(const volatile void* pointer);
}
#endif

namespace {

constexpr char kBanner[] = "* TIFF FILE (decoder records) *\n\n";
constexpr int64_t kWorkingMemory = 1 << 20;
// Outputs up to this size are read a second time and compared.
constexpr int64_t kLargestRepeatedBuffer = 256 << 10;

// Live heap bytes of this process, counted through the sanitizer's allocator hooks.
#if defined(VARNELTIFF_COUNT_MEMORY)
int64_t gLiveBytes = 0;
int64_t gPeakBytes = 0;
void CountMalloc(const volatile void*, size_t size) {
  gLiveBytes += static_cast<int64_t>(size);
  gPeakBytes = std::max(gPeakBytes, gLiveBytes);
}
void CountFree(const volatile void* pointer) {
  if (pointer != nullptr)
    gLiveBytes -=
        static_cast<int64_t>(__sanitizer_get_allocated_size(const_cast<const void*>(pointer)));
}
bool InstallCounters() {
  return __sanitizer_install_malloc_and_free_hooks(CountMalloc, CountFree) != 0;
}
#endif

// The largest heap growth during `pass`, or -1 where it cannot be measured.
template <typename Pass>
int64_t PeakGrowthOf(Pass pass) {
#if defined(VARNELTIFF_COUNT_MEMORY)
  static const bool installed = InstallCounters();
  if (installed) {
    const int64_t start = gLiveBytes;
    gPeakBytes = start;
    pass();
    return gPeakBytes - start;
  }
#endif
  pass();
  return -1;
}

// The preview reduction: the largest power of two that keeps the image at least as large as the
// box one way, or 1 when it is smaller than the box both ways. Box sides below 1 count as 1.
int32_t PreviewStep(int32_t width, int32_t height, int32_t boxWidth, int32_t boxHeight) {
  const int64_t boxW = std::max(boxWidth, 1), boxH = std::max(boxHeight, 1);
  int64_t step = 1;
  while (width / (2 * step) >= boxW || height / (2 * step) >= boxH) step *= 2;
  return static_cast<int32_t>(step);
}

struct TExpected {
  int32_t width, height, step, rowBytes;
  int64_t bufferSize;
};

TExpected ExpectedGeometry(const TTiffDecoder& info, const TReadOptions& options) {
  const int32_t width = info.imageWidth, height = info.imageLength;
  const int32_t step = options.mode == TReadMode::Preview
                           ? PreviewStep(width, height, options.boxWidth, options.boxHeight)
                           : 1;
  const int32_t outWidth = (width + step - 1) / step;
  const int32_t outHeight = (height + step - 1) / step;
  const int depth = info.bitsPerSample[0];
  int32_t rowBytes = info.fullColour ? 4 * outWidth : outWidth;
  if (!info.fullColour && depth == 1) rowBytes = (rowBytes + 7) / 8 * 8;
  if (!info.fullColour && depth == 4) rowBytes += rowBytes & 1;
  return {outWidth, outHeight, step, rowBytes, int64_t{rowBytes} * outHeight};
}

std::string Fail(const std::string& what) {
  return what;
}

// What the bytes of a pixel buffer hold, gathered without branching and without the address
// checks on every byte (the buffer's extent is checked once, at its two ends), so that a run
// stays fast.
struct TPixelSummary {
  uint64_t sum = 0;
  uint8_t largest = 0, fourth = 0, lowBits = 0;
};

#if defined(__clang__) || defined(__GNUC__)
__attribute__((no_sanitize("address")))
#endif
TPixelSummary
SummarisePixels(const uint8_t* pixels, size_t size, bool fullColour) {
  TPixelSummary summary;
  for (size_t i = 0; i < size; ++i) {
    summary.sum += pixels[i];
    summary.largest = pixels[i] > summary.largest ? pixels[i] : summary.largest;
  }
  if (fullColour) {
    for (size_t i = 0; i + 3 < size; i += 4) {
      summary.fourth |= pixels[i + 3];
      summary.lowBits |= pixels[i] | pixels[i + 1] | pixels[i + 2];
    }
  }
  return summary;
}

// The pixel values a source of this depth can give, and the fourth byte of full colour.
std::string CheckPixels(const TTiffDecoder& decoder, uint64_t& sum, uint64_t& hash) {
  const size_t size = size_t(decoder.outHeight) * size_t(decoder.outRowBytes);
  const uint8_t* const pixels = decoder.pixels;
  const int depth = decoder.bitsPerSample[0];
  // Read with the address checks: the buffer must reach from its first byte to its last.
  volatile uint8_t ends = pixels[0];
  ends = pixels[size - 1];
  (void)ends;
  const TPixelSummary summary = SummarisePixels(pixels, size, decoder.fullColour);
  sum = summary.sum;
  hash =
      std::hash<std::string_view>()(std::string_view(reinterpret_cast<const char*>(pixels), size));
  if (!decoder.fullColour && summary.largest > (depth == 1 ? 1 : depth == 4 ? 15 : 255))
    return Fail("a pixel value beyond the depth of " + std::to_string(depth) + " bits");
  if (summary.fourth != 0) return Fail("a full-colour pixel with a fourth byte");
  if (depth == 16 && (summary.lowBits & 7) != 0) return Fail("a colour-word channel with low bits");
  return {};
}

}  // namespace

int32_t BoxSideOf(uint8_t choice) {
  switch (choice) {
    case 0:
      return 0;
    case 254:
      return -1;
    case 255:
      return 2147483647;
    default:
      return choice;
  }
}

std::string CheckRead(const uint8_t* file, size_t size, const TReadOptions& options,
                      TReadOutcome* outcome) {
  TReadOutcome local;
  TReadOutcome& result = outcome != nullptr ? *outcome : local;
  result = {};

  // The information pass decides acceptance alone, and reads no image data.
  TTiffDecoder info;
  info.infoOnly = true;
  bool infoAccepted;
  {
    TStream stream(file, size);
    if (!stream) return Fail("the bytes could not be opened as a stream");
    infoAccepted = info.DecodeStream(stream.get());
  }
  if (info.pixels != nullptr) return Fail("the information pass holds pixels");
  if (info.records.rfind(kBanner, 0) != 0) return Fail("the report lacks its banner");
  if (infoAccepted && (info.imageWidth < 1 || info.imageLength < 1))
    return Fail("a size outside 1..32767 was accepted");
  if (options.mode == TReadMode::InfoOnly) {
    result.accepted = infoAccepted;
    return {};
  }

  const TExpected expected = infoAccepted ? ExpectedGeometry(info, options) : TExpected{};
  if (infoAccepted && expected.bufferSize > options.largestBuffer) {
    result.accepted = true;
    result.skipped = true;
    return {};
  }

  // The same file read twice gives the same output: nothing depends on memory left over.
  uint64_t hashes[2] = {};
  std::string reports[2];
  const int runs = expected.bufferSize <= kLargestRepeatedBuffer ? 2 : 1;
  for (int run = 0; run < runs; ++run) {
    TTiffDecoder decoder;
    decoder.preview = options.mode == TReadMode::Preview;
    decoder.boxWidth = options.boxWidth;
    decoder.boxHeight = options.boxHeight;
    TStream stream(file, size);
    if (!stream) return Fail("the bytes could not be opened as a stream");
    bool accepted = false;
    const int64_t growth = PeakGrowthOf([&] { accepted = decoder.DecodeStream(stream.get()); });
    if (accepted != infoAccepted)
      return Fail(accepted ? "the full pass accepted a file the information pass refused"
                           : "the full pass refused a file the information pass accepted");
    if (!accepted) {
      if (decoder.pixels != nullptr) return Fail("a refused file left a pixel buffer");
      return {};
    }
    if (growth > expected.bufferSize + kWorkingMemory)
      return Fail("the pass took " + std::to_string(growth) + " bytes for a buffer of " +
                  std::to_string(expected.bufferSize));
    if (decoder.pixels == nullptr) return Fail("an accepted file gave no pixel buffer");
    if (decoder.outWidth != expected.width || decoder.outHeight != expected.height ||
        decoder.step != expected.step || decoder.outRowBytes != expected.rowBytes)
      return Fail("the output is " + std::to_string(decoder.outWidth) + " x " +
                  std::to_string(decoder.outHeight) + " (row " +
                  std::to_string(decoder.outRowBytes) + ", step " + std::to_string(decoder.step) +
                  "), not " + std::to_string(expected.width) + " x " +
                  std::to_string(expected.height) + " (row " + std::to_string(expected.rowBytes) +
                  ", step " + std::to_string(expected.step) + ")");
    if (decoder.fullColour != info.fullColour || decoder.paletteCount != info.paletteCount)
      return Fail("the two passes chose different colour classes");
    uint64_t sum = 0;
    if (std::string problem = CheckPixels(decoder, sum, hashes[run]); !problem.empty())
      return problem;
    uint32_t* palette = decoder.CopyPalette();
    if (palette == nullptr) return Fail("no palette copy");
    std::free(palette);
    reports[run] = decoder.records;
    const size_t kept = static_cast<size_t>(std::min<int64_t>(expected.bufferSize, 64));
    result = {true,
              false,
              decoder.outWidth,
              decoder.outHeight,
              decoder.outRowBytes,
              decoder.fullColour,
              sum,
              std::vector<uint8_t>(decoder.pixels, decoder.pixels + kept)};
    uint8_t* taken = decoder.TakePixels();
    if (decoder.pixels != nullptr) return Fail("the decoder kept its buffer after handing it over");
    std::free(taken);
  }
  if (runs == 2 && (hashes[0] != hashes[1] || reports[0] != reports[1]))
    return Fail("two passes over the same file differ");
  return {};
}

std::string CheckReadPass(const uint8_t* data, size_t size) {
  if (size < 3) return {};
  TReadOptions options;
  options.boxWidth = BoxSideOf(data[size - 3]);
  options.boxHeight = BoxSideOf(data[size - 2]);
  switch (data[size - 1] % 3) {
    case 0:
      options.mode = TReadMode::Full;
      break;
    case 1:
      options.mode = TReadMode::InfoOnly;
      break;
    default:
      options.mode = TReadMode::Preview;
      break;
  }
  return CheckRead(data, size - 3, options);
}
