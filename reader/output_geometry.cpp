// What the host receives besides the pixel values: the palette, the output size with its
// power-of-two preview reduction, and the zero-filled pixel buffer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "reader/tiff_decoder.h"

namespace {

constexpr int kCompressionLZW = 5;

// The 16-colour map of 4-bit files without one, as 4-bit red, green and blue levels: bit 0 of
// the index is blue, bit 1 red, bit 2 green; 9 to 15 are 1 to 7 at full intensity, 8 is grey.
constexpr uint8_t kBuiltInLevels[16][3] = {{0, 0, 0},  {0, 0, 8},   {8, 0, 0},   {8, 0, 8},
                                           {0, 8, 0},  {0, 8, 8},   {8, 8, 0},   {8, 8, 8},
                                           {4, 4, 4},  {0, 0, 15},  {15, 0, 0},  {15, 0, 15},
                                           {0, 15, 0}, {0, 15, 15}, {15, 15, 0}, {15, 15, 15}};

// Levels of the 256-colour map of 8-bit files without one: red and green take 3 bits, blue 2.
uint16_t ThreeBitLevel(int level) {
  return static_cast<uint16_t>(level == 0 ? 0 : 32 * level + 31);
}
uint16_t TwoBitLevel(int level) {
  return static_cast<uint16_t>(level == 0 ? 0 : 64 * level + 63);
}

// TIFF rows start on byte boundaries: 1-bit rows hold a multiple of 8 pixels, 4-bit rows an
// even number.
int32_t PaddedRowLength(int32_t length, int bitsPerSample) {
  if (bitsPerSample == 4) return length + (length & 1);
  if (bitsPerSample == 1) return (length + 7) / 8 * 8;
  return length;
}

}  // namespace

void TTiffDecoder::BuildPalette() {
  const int depth = bitsPerSample[0];
  builtInColours = hasColorMap == 0 && !fullColour && (depth == 4 || depth == 8);
  if (hasColorMap == 0 && depth == 4) {
    for (int i = 0; i < 16; ++i) {
      for (int channel = 0; channel < 3; ++channel) {
        colorMap[16 * channel + i] = kBuiltInLevels[i][channel];
      }
    }
    hasColorMap = 1;
  }
  if (hasColorMap == 0 && depth == 8) {
    for (int i = 0; i < 256; ++i) {
      colorMap[i] = ThreeBitLevel(i >> 2 & 7);
      colorMap[256 + i] = ThreeBitLevel(i >> 5);
      colorMap[512 + i] = TwoBitLevel(i & 3);
    }
    hasColorMap = 1;
  }

  std::fill(std::begin(palette), std::end(palette), 0);
  paletteCount = 0;
  if (depth == 1) {
    // Bilevel images are white on index 0 and black on index 1, whatever the file says.
    palette[0] = 0xFFFFFF;
    paletteCount = 2;
    return;
  }
  if (depth == 4) {
    // The four nibbles of a map value are ORed into one level, which becomes the high nibble.
    for (uint16_t& value : colorMap) {
      value = static_cast<uint16_t>(((value | value >> 4 | value >> 8 | value >> 12) & 15) * 16);
    }
    paletteCount = 16;
  } else if (depth == 8) {
    // Low and high byte ORed: 8-bit maps and 16-bit maps (multiples of 256 or 257) both work.
    for (uint16_t& value : colorMap) value = static_cast<uint16_t>((value | value >> 8) & 255);
    paletteCount = 256;
  }
  for (int i = 0; i < paletteCount; ++i) {
    const uint32_t red = colorMap[i];
    const uint32_t green = colorMap[paletteCount + i];
    const uint32_t blue = colorMap[2 * paletteCount + i];
    palette[i] = red << 16 | green << 8 | blue;
  }
}

bool TTiffDecoder::PrepareOutput() {
  srcWidth = imageWidth;
  srcHeight = imageLength;
  step = 1;
  shift = 0;
  if (preview) {
    // One power of two less than the smallest reduction that brings both sides below the box,
    // so the preview stays at least as large as the box one way when the image allows it.
    const int32_t width = std::max(boxWidth, 1);
    const int32_t height = std::max(boxHeight, 1);
    while (srcWidth / step >= width || srcHeight / step >= height) step *= 2;
    step = std::max(step / 2, 1);
    while ((1 << shift) < step) ++shift;
  }
  mask = step - 1;
  outWidth = (srcWidth + step - 1) >> shift;
  outHeight = (srcHeight + step - 1) >> shift;

  const int pixelBytes = fullColour ? 4 : 1;
  srcRowBytes = srcWidth * pixelBytes;
  outRowBytes = outWidth * pixelBytes;
  if (!fullColour) {
    srcRowBytes = PaddedRowLength(srcRowBytes, bitsPerSample[0]);
    outRowBytes = PaddedRowLength(outRowBytes, bitsPerSample[0]);
  }

  // Zero-filled, so rows that the data never reaches disclose nothing. A large block comes from
  // the system already zeroed, so a file that declares a huge image but holds little data costs
  // no time for the rows it never reaches. A stored image in one strip whose bytes are all in
  // the file is read in place over every output byte, so it is not cleared first; should the
  // read still come up short, the strip reader clears what it did not reach.
  const int64_t size = int64_t{outHeight} * outRowBytes;
  if (size <= 0 || static_cast<uint64_t>(size) > std::numeric_limits<size_t>::max() ||
      size > std::numeric_limits<ptrdiff_t>::max()) {
    return false;
  }
  ChoosePixelLayout();
  const int64_t stripAt = static_cast<uint32_t>(stripOffset);
  outputCleared =
      !(compression != kCompressionLZW && stripOffsets.count <= 1 && !IsTiled() &&
        CanReadInPlace() && stripAt <= fileLength &&
        std::min<int64_t>(static_cast<uint32_t>(stripByteCount), fileLength - stripAt) >=
            int64_t{srcHeight} * StripRowBytes());
  pixels = static_cast<uint8_t*>(outputCleared ? std::calloc(static_cast<size_t>(size), 1)
                                               : std::malloc(static_cast<size_t>(size)));
  return pixels != nullptr;
}
