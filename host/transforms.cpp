#include "host/transforms.h"

#include <algorithm>

#include "host/colour_palettes.h"
#include "host/median_cut.h"
#include "host/terminal.h"

namespace {

// The long passes look at Ctrl-C this often, so that a stop takes effect within a moment; the
// image is then left unfinished and the command stops.
constexpr size_t kPixelsBetweenLooks = 1 << 16;

TransformProgress currentProgress = nullptr;  // of the one ApplyTransform running

// Whether to stop at `pixel` of a pass over `count`; the progress is told on the way.
bool StopAskedAt(size_t pixel, size_t count) {
  if (pixel % kPixelsBetweenLooks != 0) return false;
  if (currentProgress != nullptr) currentProgress(static_cast<double>(pixel) / count);
  return Interrupted();
}

size_t PixelCount(const RgbImage& picture) {
  return static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height);
}

void MakeFullColour(const RgbImage& picture, ExportImage& image) {
  image.kind = kFullColourImage;
  image.width = picture.width;
  image.height = picture.height;
  image.paletteCount = 0;
  image.palette.assign(256, 0);
  const size_t count = PixelCount(picture);
  image.pixels.assign(4 * count, 0);
  for (size_t i = 0; i < count && !StopAskedAt(i, count); ++i) {
    // The little-endian word 0x00RRGGBB: blue, green, red, 0 in memory.
    image.pixels[4 * i] = picture.pixels[3 * i + 2];
    image.pixels[4 * i + 1] = picture.pixels[3 * i + 1];
    image.pixels[4 * i + 2] = picture.pixels[3 * i];
  }
}

void StartPaletteImage(const RgbImage& picture, const std::vector<uint32_t>& palette,
                       ExportImage& image) {
  image.kind = kPaletteImage;
  image.width = picture.width;
  image.height = picture.height;
  image.palette = palette;
  image.palette.resize(256, 0);  // entries past the count are written too: keep them black
  image.paletteCount = static_cast<int32_t>(palette.size());
  image.pixels.assign(PixelCount(picture), 0);
}

// Every colour of the picture is in `palette`, which is in ascending order.
void MapExactly(const RgbImage& picture, const std::vector<uint32_t>& palette, ExportImage& image) {
  StartPaletteImage(picture, palette, image);
  for (size_t i = 0; i < image.pixels.size() && !StopAskedAt(i, image.pixels.size()); ++i) {
    const auto found = std::lower_bound(palette.begin(), palette.end(), ColourAt(picture, i));
    image.pixels[i] = static_cast<uint8_t>(found - palette.begin());
  }
}

void MapNearest(const RgbImage& picture, const std::vector<uint32_t>& palette, ExportImage& image) {
  StartPaletteImage(picture, palette, image);
  NearestColour nearest(palette);
  for (size_t i = 0; i < image.pixels.size() && !StopAskedAt(i, image.pixels.size()); ++i) {
    image.pixels[i] = nearest.Find(ColourAt(picture, i));
  }
}

// The picture's own colours, ascending, when it has at most 256; else empty.
std::vector<uint32_t> ExactPalette(const std::vector<ColourCount>& histogram) {
  std::vector<uint32_t> palette;
  if (histogram.size() > 256) return palette;
  for (const ColourCount& entry : histogram) palette.push_back(entry.colour);
  return palette;
}

bool ApplyKnownTransform(int32_t code, const RgbImage& picture, ExportImage& image) {
  switch (code) {
    case kKeepFullColour:
      MakeFullColour(picture, image);
      return true;
    case kPaletteWhereExact: {
      const std::vector<ColourCount> histogram = ColourHistogram(picture);
      if (Interrupted()) return true;  // the image stays unfinished; the command stops
      const std::vector<uint32_t> palette = ExactPalette(histogram);
      if (palette.empty()) {
        MakeFullColour(picture, image);
      } else {
        MapExactly(picture, palette, image);
      }
      return true;
    }
    case kOptimisedPalette: {
      const std::vector<ColourCount> histogram = ColourHistogram(picture);
      if (Interrupted()) return true;
      const std::vector<uint32_t> exact = ExactPalette(histogram);
      if (exact.empty()) {
        MapNearest(picture, OptimisedPalette(histogram, 256), image);
      } else {
        MapExactly(picture, exact, image);
      }
      return true;
    }
    case kWindowsPaletteColours:
      MapNearest(picture, WindowsPalette(), image);
      return true;
    default:
      return false;
  }
}

}  // namespace

HostImage ExportImage::Record() {
  HostImage record{};
  record.kind = kind;
  record.pixels = pixels.data();
  record.rowBytes = kind == kFullColourImage ? 4 * width : width;
  record.width = width;
  record.height = height;
  record.palette = palette.data();
  record.paletteCount = paletteCount;
  return record;
}

bool ApplyTransform(int32_t code, const RgbImage& picture, ExportImage& image,
                    TransformProgress progress) {
  currentProgress = progress;
  const bool known = ApplyKnownTransform(code, picture, image);
  currentProgress = nullptr;
  return known;
}

int32_t TransformCodeOfMethod(int method) {
  static constexpr int32_t kCodes[4] = {kKeepFullColour, kPaletteWhereExact, kOptimisedPalette,
                                        kWindowsPaletteColours};
  return method >= 0 && method <= 3 ? kCodes[method] : kKeepFullColour;
}

const char* TransformName(int32_t code) {
  switch (code) {
    case kKeepFullColour:
      return "full colour";
    case kPaletteWhereExact:
      return "full colour, or 256 colours where the picture has no more";
    case kOptimisedPalette:
      return "optimised 256 colours";
    case kWindowsPaletteColours:
      return "the 256-colour Windows palette";
    default:
      return nullptr;
  }
}
