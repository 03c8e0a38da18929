// Which files are read: the size, the colour class chosen from the depth and the sample count,
// and the layout of the image data. Every other file is refused with its reason, since a file
// read by the wrong rules gives the host a wrong picture, which is worse than a refusal (the
// host then tries its next plug-in).
#include <algorithm>
#include <cstdint>

#include "reader/reversed_bits.h"
#include "reader/tiff_decoder.h"

namespace {

constexpr int kCompressionNone = 1;
constexpr int kCompressionLZW = 5;
constexpr int kPhotometricRGB = 2;
constexpr int32_t kLargestSide = 32767;

// Tiles are meant to be a few hundred pixels; TIFF wants multiples of 16. A tile may be as large
// as the image rounded up to 16, or 1024 pixels for a small image; larger tiles hold nothing but
// padding, which would still have to be decoded.
uint32_t LargestTileSide(uint32_t imageSide) {
  return std::max<uint32_t>((imageSide + 15) / 16 * 16, 1024);
}

}  // namespace

// The size and the depth, then the colour class and the row length of the kinds that are read.
bool TTiffDecoder::ChooseColourClass() {
  // The geometry holds for 1 to 32767 pixels each way, whatever the field type says.
  if (widthValue < 1 || widthValue > kLargestSide) return Refuse(TRefusal::Width, widthValue);
  if (lengthValue < 1 || lengthValue > kLargestSide) return Refuse(TRefusal::Height, lengthValue);
  const int first = static_cast<uint16_t>(bitsPerSample[0]);
  if (first != 1 && first != 4 && first != 8 && first != 16)
    return Refuse(TRefusal::BitsPerSample, first);

  const int samples = static_cast<uint16_t>(samplesPerPixel);
  const auto allEight = [this](int count) {
    return std::all_of(sampleBits, sampleBits + count, [](int16_t bits) { return bits == 8; });
  };
  const bool redGreenBlue = samples == 3 && allEight(3);
  // Red, green, blue and one extra sample (alpha, associated or not): the extra is dropped.
  const bool withAlpha = samples == 4 && allEight(4) && photometric == kPhotometricRGB &&
                         extraSampleCount == 1 && extraSamples >= 0 && extraSamples <= 2;
  const int32_t width = static_cast<int32_t>(widthValue);
  fullColour = redGreenBlue || withAlpha || first == 16;
  if (redGreenBlue) {
    imagePitch = width * 3;
  } else if (withAlpha) {
    imagePitch = width * 4;
  } else if (first == 1) {
    imagePitch = (width + 7) / 8;
  } else if (first == 4) {
    imagePitch = (width + 1) / 2;
  } else if (first == 8) {
    imagePitch = width;
  } else {
    imagePitch = width * 2;  // the FM-TOWNS colour words
  }
  return true;
}

// Colour spaces whose samples are not red, green and blue (nor one level) would be shown as if
// they were; so would extra samples of any kind but the one alpha of a full-colour image.
bool TTiffDecoder::CheckSamples() {
  switch (static_cast<uint16_t>(photometric)) {
    case 5:
      return Refuse(TRefusal::Cmyk);
    case 6:
      return Refuse(TRefusal::YCbCr);
    case 8:
      return Refuse(TRefusal::CieLab);
    case 9:
      return Refuse(TRefusal::IccLab);
    case 10:
      return Refuse(TRefusal::ItuLab);
    default:
      break;
  }
  // One sample, or no SamplesPerPixel tag: the depth alone decides.
  const int samples = static_cast<uint16_t>(samplesPerPixel);
  if (samples > 1 && !(fullColour && bitsPerSample[0] == 8))
    return Refuse(TRefusal::SamplesPerPixel, samples);
  return true;
}

bool TTiffDecoder::IsTiled() const {
  return tileWidth != 0 || tileLength != 0 || tileOffsets.type != 0 || tileByteCounts.type != 0;
}

// Early writers packed LZW codes least significant bit first, and their strips start with the
// clear code as the bytes 0x00 and then 0x01 in the low bit; a stream packed most significant bit
// first, as every strip must begin with the clear code, starts with 0x80. Read the other way
// round, the codes would make a wrong picture. The first strip or tile tells for the whole file.
bool TTiffDecoder::IsOldStyleLzw() {
  TStripArray& offsets = IsTiled() ? tileOffsets : stripOffsets;
  uint32_t offset = 0;
  uint8_t start[2];
  if (!ReadStripValue(offsets, 0, offset) || ReadAt(offset, start, 2) < 2) return false;
  if (fillOrder == 2) ReverseBits(start, 2);
  return start[0] == 0 && (start[1] & 1) != 0;
}

bool TTiffDecoder::CheckDataLayout() {
  // Separate planes (PlanarConfiguration 2) keep each colour channel in strips of its own; read
  // as interleaved samples they would scramble the picture.
  if (planarConfig == 2 && samplesPerPixel > 1) return Refuse(TRefusal::SeparatePlanes);
  if (compression != 0 && compression != kCompressionNone && compression != kCompressionLZW)
    return Refuse(TRefusal::Compression, static_cast<uint16_t>(compression));
  // The predictor belongs to the compression: stored data is taken as it is, whatever the tag
  // says. Differencing is defined for whole bytes and 16-bit values only.
  if (compression == kCompressionLZW) {
    const int used = static_cast<uint16_t>(predictor);
    if (used == 2 && bitsPerSample[0] < 8)
      return Refuse(TRefusal::PredictorDepth, bitsPerSample[0]);
    if (used > 2) return Refuse(TRefusal::Predictor, used);
    if (IsOldStyleLzw()) return Refuse(TRefusal::OldStyleLzw);
  }
  if (IsTiled()) {
    const auto width = static_cast<uint32_t>(tileWidth);
    const auto length = static_cast<uint32_t>(tileLength);
    if (width == 0 || length == 0) return Refuse(TRefusal::TileSizeZero);
    if (width > LargestTileSide(widthValue)) return Refuse(TRefusal::TileWidth, width);
    if (length > LargestTileSide(lengthValue)) return Refuse(TRefusal::TileLength, length);
    if (tileOffsets.count == 0) return Refuse(TRefusal::NoTileOffsets);
  }
  return true;
}
