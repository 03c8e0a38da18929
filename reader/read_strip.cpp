// Strip reading: the image bytes of the strip, expanded by the LZW object when compressed, are
// unpacked into pixels of the output buffer, keeping every step-th row and column for previews.
#include <algorithm>
#include <cstdio>

#include "lzw/lzw_compressor.h"
#include "reader/tiff_decoder.h"

namespace {
constexpr int kCompressionLZW = 5;
}  // namespace

bool TTiffDecoder::ReadStrip() {
  if (bitsPerSample[0] == 1) {
    pixelLayout = TPixelLayout::OneBit;
  } else if (bitsPerSample[0] == 4) {
    pixelLayout = TPixelLayout::FourBit;
  } else if (bitsPerSample[0] == 8) {
    pixelLayout = fullColour ? TPixelLayout::RedGreenBlue : TPixelLayout::OneByte;
  } else if (bitsPerSample[0] == 16) {
    pixelLayout = TPixelLayout::ColourWord;
  } else {
    pixelLayout = TPixelLayout::None;
  }
  column = 0;
  row = 0;
  sampleAccum = 0;
  sampleCount = 0;
  outRow = pixels;
  imageComplete = false;
  // Only the first strip is read; its rows run on from the top whatever RowsPerStrip says.
  return ReadStripBytes(static_cast<uint32_t>(stripOffset), stripByteCount);
}

// Feeds one strip's bytes into the pixel store from the current row position on. False only
// when the LZW object could not get its table.
bool TTiffDecoder::ReadStripBytes(int64_t offset, int32_t byteCount) {
  bytesRead = 0;
  stripBytesAvailable = 0;
  if (byteCount > 0 && SeekTo(offset)) {
    stripBytesAvailable = std::min<int64_t>(byteCount, fileLength - offset);
  }
  if (compression == kCompressionLZW) {
    TLZWCompressor lzw;
    if (!lzw.IsReady()) return false;
    lzw.Execute(BindPutByte<TTiffDecoder, &TTiffDecoder::StoreByte>(this),
                BindGetByte<TTiffDecoder, &TTiffDecoder::NextStripByte>(this));
    return true;
  }
  for (int value = NextStripByte(); value >= 0; value = NextStripByte()) {
    if (StoreByte(value) < 0) break;
  }
  return true;
}

int TTiffDecoder::NextStripByte() {
  if (imageComplete || bytesRead >= stripBytesAvailable) return -1;
  const int value = std::getc(file);
  if (value == EOF) {
    stripBytesAvailable = bytesRead;
    return -1;
  }
  ++bytesRead;
  return value;
}

// Refuses bytes (-1) once the last source row is complete, which also ends an LZW pass.
int TTiffDecoder::StoreByte(int value) {
  if (imageComplete) return -1;
  const auto byte = static_cast<uint32_t>(value & 0xFF);
  switch (pixelLayout) {
    case TPixelLayout::OneBit:
      // Leftmost pixel in the most significant bit.
      for (int bit = 7; bit >= 0 && !imageComplete; --bit) StorePixel(byte >> bit & 1);
      break;
    case TPixelLayout::FourBit:
      // The low nibble is the left pixel in these files.
      StorePixel(byte & 15);
      if (!imageComplete) StorePixel(byte >> 4);
      break;
    case TPixelLayout::OneByte:
      StorePixel(byte);
      break;
    case TPixelLayout::RedGreenBlue:
      sampleAccum = sampleAccum << 8 | byte;
      if (++sampleCount == 3) {
        StorePixel(sampleAccum);
        sampleAccum = 0;
        sampleCount = 0;
      }
      break;
    case TPixelLayout::ColourWord:
      // Little-endian 15-bit words: green in bits 10-14, red in 5-9, blue in 0-4.
      sampleAccum = sampleAccum >> 8 | byte << 8;
      if (++sampleCount == 2) {
        const uint32_t red = (sampleAccum >> 5 & 31) * 8;
        const uint32_t green = (sampleAccum >> 10 & 31) * 8;
        const uint32_t blue = (sampleAccum & 31) * 8;
        StorePixel(red << 16 | green << 8 | blue);
        sampleAccum = 0;
        sampleCount = 0;
      }
      break;
    case TPixelLayout::None:
      break;
  }
  return 0;
}

// Keeps the pixel when its row and column are multiples of the step, then moves on; a source
// row ends at srcRowBytes, which includes the padding bits of 1-bit and 4-bit rows.
void TTiffDecoder::StorePixel(uint32_t value) {
  if (((column | row) & mask) == 0) {
    const int32_t index = column >> shift;
    if (fullColour) {
      // 0x00RRGGBB in memory order: blue, green, red, 0.
      uint8_t* place = outRow + 4 * index;
      place[0] = static_cast<uint8_t>(value);
      place[1] = static_cast<uint8_t>(value >> 8);
      place[2] = static_cast<uint8_t>(value >> 16);
      place[3] = 0;
    } else {
      outRow[index] = static_cast<uint8_t>(value);
    }
  }
  ++column;
  if ((fullColour ? 4 * column : column) < srcRowBytes) return;
  column = 0;
  ++row;
  if (row >= srcHeight) {
    imageComplete = true;
  } else if ((row & mask) == 0) {
    outRow += outRowBytes;
  }
}
