// The header, directory and tag values of the two layouts, up to the first pixel byte.
#include <array>
#include <vector>

#include "writer/directory_builder.h"
#include "writer/tiff_encoder.h"

namespace {

enum Tag : uint16_t {
  kNewSubfileType = 254,
  kImageWidth = 256,
  kImageLength = 257,
  kBitsPerSample = 258,
  kCompression = 259,
  kPhotometricInterpretation = 262,
  kFillOrder = 266,
  kStripOffsets = 273,
  kSamplesPerPixel = 277,
  kRowsPerStrip = 278,
  kStripByteCounts = 279,
  kMaxSampleValue = 281,
  kXResolution = 282,
  kYResolution = 283,
  kPlanarConfiguration = 284,
  kColorMap = 320,
};

constexpr uint16_t kNoCompression = 1;
constexpr uint16_t kRGB = 2;
constexpr uint16_t kPaletteColour = 3;
constexpr uint16_t kChunky = 1;
// Without a ResolutionUnit readers take inches: 300 dots per inch.
constexpr uint32_t kDotsPerUnit = 300;

// Width and height are SHORT as long as they fit, LONG beyond.
void AddDimension(TiffDirectoryBuilder& directory, uint16_t tag, int32_t count) {
  const auto value = static_cast<uint32_t>(count);
  if (value <= 0xFFFF) {
    directory.AddShort(tag, static_cast<uint16_t>(value));
  } else {
    directory.AddLong(tag, value);
  }
}

void AddResolution(TiffDirectoryBuilder& directory) {
  directory.AddRational(kXResolution, kDotsPerUnit, 1);
  directory.AddRational(kYResolution, kDotsPerUnit, 1);
}

// Red of all 256 entries, then green, then blue; each entry is blue, green, red, unused in
// memory, and each 8-bit component c becomes the 16-bit c * 257 (c in both bytes).
std::array<uint16_t, 768> ColourMap(const uint32_t* palette) {
  const auto* entries = reinterpret_cast<const uint8_t*>(palette);
  std::array<uint16_t, 768> map;
  for (int i = 0; i < 256; ++i) {
    map[i] = static_cast<uint16_t>(entries[4 * i + 2] * 257);
    map[256 + i] = static_cast<uint16_t>(entries[4 * i + 1] * 257);
    map[512 + i] = static_cast<uint16_t>(entries[4 * i] * 257);
  }
  return map;
}

}  // namespace

bool TTiffEncoder::WritePaletteDirectory() {
  TiffDirectoryBuilder directory(16);
  directory.AddLong(kNewSubfileType, 0);
  AddDimension(directory, kImageWidth, image->width);
  AddDimension(directory, kImageLength, image->height);
  directory.AddShort(kBitsPerSample, 8);
  directory.AddShort(kCompression, kNoCompression);
  directory.AddShort(kPhotometricInterpretation, kPaletteColour);
  directory.AddShort(kFillOrder, 1);
  directory.AddLong(kStripOffsets, PaletteStripOffset);
  directory.AddShort(kSamplesPerPixel, 1);
  directory.AddLong(kRowsPerStrip, static_cast<uint32_t>(image->height));
  directory.AddLong(kStripByteCounts, stripByteCount);
  directory.AddShort(kMaxSampleValue, 255);
  AddResolution(directory);
  directory.AddShort(kPlanarConfiguration, kChunky);
  directory.AddShorts(kColorMap, ColourMap(image->palette));
  const std::vector<uint8_t> head = directory.Finish();
  return WriteBytes(head.data(), head.size());
}

bool TTiffEncoder::WriteFullColourDirectory() {
  static constexpr uint16_t kSampleBits[] = {8, 8, 8};
  static constexpr uint16_t kSampleMaxima[] = {255, 255, 255};
  TiffDirectoryBuilder directory(15);
  directory.AddLong(kNewSubfileType, 0);
  AddDimension(directory, kImageWidth, image->width);
  AddDimension(directory, kImageLength, image->height);
  directory.AddShorts(kBitsPerSample, kSampleBits);
  directory.AddShort(kCompression, kNoCompression);
  directory.AddShort(kPhotometricInterpretation, kRGB);
  directory.AddShort(kFillOrder, 1);
  directory.AddLong(kStripOffsets, FullColourStripOffset);
  directory.AddShort(kSamplesPerPixel, 3);
  directory.AddLong(kRowsPerStrip, static_cast<uint32_t>(image->height));
  directory.AddLong(kStripByteCounts, stripByteCount);
  directory.AddShorts(kMaxSampleValue, kSampleMaxima);
  AddResolution(directory);
  directory.AddShort(kPlanarConfiguration, kChunky);
  const std::vector<uint8_t> head = directory.Finish();
  return WriteBytes(head.data(), head.size());
}
