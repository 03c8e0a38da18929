// The reader's paths compared: a disagreement is a wrong picture on one of them.
#include "fuzz/differential_harness.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "fuzz/memory_stream.h"
#include "fuzz/read_pass_harness.h"
#include "reader/tiff_decoder.h"

namespace {

enum class TPath { InPlace, RunStore, ByteAtATime };

const char* NameOf(TPath path) {
  switch (path) {
    case TPath::InPlace:
      return "the in-place path";
    case TPath::RunStore:
      return "the run store";
    default:
      return "the byte path";
  }
}

// Everything a host is handed, and the refusal a tool is told.
struct TAnswer {
  bool accepted = false;
  TRefusal refusal = TRefusal::None;
  int64_t refusalValue = 0;
  int32_t outWidth = 0, outHeight = 0, outRowBytes = 0, step = 0;
  bool fullColour = false;
  int32_t paletteCount = 0;
  std::vector<uint32_t> palette;
  std::string records;
  std::vector<uint8_t> pixels;
};

TAnswer Read(const uint8_t* file, size_t size, TPath path, bool preview, int32_t boxWidth,
             int32_t boxHeight, bool& opened) {
  TTiffDecoder decoder;
  decoder.preview = preview;
  decoder.boxWidth = boxWidth;
  decoder.boxHeight = boxHeight;
  decoder.readInPlace = path == TPath::InPlace;
  decoder.byteAtATime = path == TPath::ByteAtATime;
  TStream stream(file, size);
  opened = static_cast<bool>(stream);
  TAnswer answer;
  if (!opened) return answer;
  answer.accepted = decoder.DecodeStream(stream.get());
  answer.refusal = decoder.refusal;
  answer.refusalValue = decoder.refusalValue;
  answer.records = decoder.records;
  if (!answer.accepted) return answer;
  answer.outWidth = decoder.outWidth;
  answer.outHeight = decoder.outHeight;
  answer.outRowBytes = decoder.outRowBytes;
  answer.step = decoder.step;
  answer.fullColour = decoder.fullColour;
  answer.paletteCount = decoder.paletteCount;
  answer.palette.assign(std::begin(decoder.palette), std::end(decoder.palette));
  if (decoder.pixels != nullptr) {
    answer.pixels.assign(decoder.pixels,
                         decoder.pixels + int64_t{decoder.outHeight} * decoder.outRowBytes);
  }
  return answer;
}

std::string Difference(const TAnswer& fast, const TAnswer& reference) {
  if (fast.accepted != reference.accepted)
    return fast.accepted ? "accepts a file the byte path refuses"
                         : "refuses a file the byte path accepts";
  if (fast.refusal != reference.refusal || fast.refusalValue != reference.refusalValue)
    return "gives another refusal";
  if (fast.records != reference.records) return "gives another record";
  if (fast.outWidth != reference.outWidth || fast.outHeight != reference.outHeight ||
      fast.outRowBytes != reference.outRowBytes || fast.step != reference.step)
    return "gives another geometry";
  if (fast.fullColour != reference.fullColour || fast.paletteCount != reference.paletteCount ||
      fast.palette != reference.palette)
    return "gives another palette";
  if (fast.pixels.size() != reference.pixels.size()) return "gives another pixel buffer size";
  const auto differ =
      std::mismatch(fast.pixels.begin(), fast.pixels.end(), reference.pixels.begin());
  if (differ.first != fast.pixels.end())
    return "differs at pixel byte " + std::to_string(differ.first - fast.pixels.begin());
  return {};
}

}  // namespace

std::string CheckPathsAgree(const uint8_t* data, size_t size) {
  if (size < 3) return {};
  const uint8_t* const file = data;
  const size_t fileSize = size - 3;
  const int32_t boxWidth = BoxSideOf(data[size - 3]);
  const int32_t boxHeight = BoxSideOf(data[size - 2]);

  // The information pass bounds the work: images whose full-colour buffer would pass the read
  // pass's limit are not read (a refused file is still compared).
  TTiffDecoder info;
  info.infoOnly = true;
  {
    TStream stream(file, fileSize);
    if (!stream) return "the bytes could not be opened as a stream";
    if (info.DecodeStream(stream.get()) &&
        4 * int64_t{info.imageWidth} * info.imageLength > kLargestCheckedBuffer)
      return {};
  }

  struct TRun {
    bool preview;
    std::vector<TPath> fastPaths;
  };
  const TRun runs[] = {{false, {TPath::InPlace, TPath::RunStore}},
                       {true, {TPath::InPlace, TPath::RunStore}}};
  for (const TRun& run : runs) {
    bool opened = false;
    const TAnswer reference =
        Read(file, fileSize, TPath::ByteAtATime, run.preview, boxWidth, boxHeight, opened);
    if (!opened) return "the bytes could not be opened as a stream";
    for (TPath path : run.fastPaths) {
      const TAnswer fast = Read(file, fileSize, path, run.preview, boxWidth, boxHeight, opened);
      if (!opened) return "the bytes could not be opened as a stream";
      const std::string difference = Difference(fast, reference);
      if (!difference.empty())
        return std::string(run.preview ? "preview: " : "full size: ") + NameOf(path) + " " +
               difference;
    }
  }
  return {};
}
