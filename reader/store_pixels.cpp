// The pixel store: image bytes in file order become pixels of the output buffer, keeping every
// step-th row and column for previews. Whole runs of bytes go through tight loops; a byte that
// starts mid-pixel, or any byte of a preview, takes the one-byte path.
#include <algorithm>
#include <cstring>

#include "reader/bit_pixels.h"
#include "reader/tiff_decoder.h"

namespace {

// 0x00RRGGBB in memory order: blue, green, red, 0.
inline void PutColour(uint8_t* place, uint32_t red, uint32_t green, uint32_t blue) {
  place[0] = static_cast<uint8_t>(blue);
  place[1] = static_cast<uint8_t>(green);
  place[2] = static_cast<uint8_t>(red);
  place[3] = 0;
}

// Little-endian 15-bit words: green in bits 10-14, red in 5-9, blue in 0-4. Returns 0x00RRGGBB.
inline uint32_t ColourOfWord(uint32_t word) {
  return (word >> 5 & 31) * 8 << 16 | (word >> 10 & 31) * 8 << 8 | (word & 31) * 8;
}

inline void PutPixel(uint8_t* place, uint32_t value) {
  PutColour(place, value >> 16 & 255, value >> 8 & 255, value & 255);
}

}  // namespace

// Refuses bytes (-1) once the strip's last row is complete, which also ends an LZW pass.
int TTiffDecoder::StoreByte(int value) {
  if (stripComplete) return -1;
  const auto byte = static_cast<uint32_t>(value & 0xFF);
  switch (pixelLayout) {
    case TPixelLayout::OneBit:
      // Leftmost pixel in the most significant bit.
      for (int bit = 7; bit >= 0 && !stripComplete; --bit) StorePixel(byte >> bit & 1);
      break;
    case TPixelLayout::FourBit:
      // The low nibble is the left pixel in these files.
      StorePixel(byte & 15);
      if (!stripComplete) StorePixel(byte >> 4);
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
    case TPixelLayout::RedGreenBlueAlpha:
      // The fourth byte, alpha, completes the pixel and is dropped.
      if (++sampleCount < 4) {
        sampleAccum = sampleAccum << 8 | byte;
      } else {
        StorePixel(sampleAccum);
        sampleAccum = 0;
        sampleCount = 0;
      }
      break;
    case TPixelLayout::ColourWord:
      sampleAccum = sampleAccum >> 8 | byte << 8;
      if (++sampleCount == 2) {
        StorePixel(ColourOfWord(sampleAccum));
        sampleAccum = 0;
        sampleCount = 0;
      }
      break;
    case TPixelLayout::None:
      break;
  }
  return 0;
}

// Keeps the pixel when it lies in the image and its row and column are multiples of the step,
// then moves on; a source row ends at columnEnd, which includes the padding bits of 1-bit and
// 4-bit rows.
void TTiffDecoder::StorePixel(uint32_t value) {
  if (column < keepEnd && ((column | row) & mask) == 0) {
    const int32_t index = column >> shift;
    if (fullColour) {
      PutPixel(outRow + 4 * index, value);
    } else {
      outRow[index] = static_cast<uint8_t>(value);
    }
  }
  if (++column < columnEnd) return;
  EndRow();
}

void TTiffDecoder::EndRow() {
  column = columnOrigin;
  ++row;
  if (row >= rowEnd) {
    stripComplete = true;
  } else if ((row & mask) == 0) {
    outRow += outRowBytes;
  }
}

void TTiffDecoder::AdvanceColumns(int32_t count) {
  column += count;
  if (column >= columnEnd) EndRow();
}

// Stores `count` bytes; -1 when the strip's last row was complete before all of them were used.
int TTiffDecoder::StoreBytes(const uint8_t* bytes, size_t count) {
  stripWorkLeft -= static_cast<int64_t>(count);
  while (count > 0) {
    if (stripComplete) return -1;
    // Whole pixels up to the end of the row, when the run starts on a whole pixel: stored at full
    // size, dropped in a row a preview drops or past the image's right edge.
    size_t used = 0;
    if (sampleCount == 0) {
      if (column >= keepEnd || (row & mask) != 0) {
        used = SkipRowRun(count);
      } else if (mask == 0) {
        used = StoreRowRun(bytes, count, keepEnd - column);
      }
    }
    if (used == 0) {
      StoreByte(*bytes);
      used = 1;
    }
    bytes += used;
    count -= used;
  }
  return stripComplete ? -1 : 0;
}

int TTiffDecoder::StorePredictedByte(int value) {
  auto byte = static_cast<uint8_t>(value);
  predictorStage.Undo(&byte, 1);
  return StoreByte(byte);
}

int TTiffDecoder::StorePredictedBytes(const uint8_t* bytes, size_t count) {
  uint8_t copy[4096];
  while (count > 0) {
    const size_t piece = std::min(count, sizeof copy);
    std::memcpy(copy, bytes, piece);
    predictorStage.Undo(copy, piece);
    if (StoreBytes(copy, piece) < 0) return -1;
    bytes += piece;
    count -= piece;
  }
  return stripComplete ? -1 : 0;
}

// Drops the rest of a row that a preview drops, or of a tile row past the image's right edge: as
// many whole pixels as `count` bytes hold, and returns the bytes used (0 when not even one pixel
// fits).
size_t TTiffDecoder::SkipRowRun(size_t count) {
  const auto left = static_cast<size_t>(columnEnd - column);
  size_t pixels = 0;
  size_t used = 0;
  switch (pixelLayout) {
    case TPixelLayout::OneBit:
      used = std::min(count, left / 8), pixels = 8 * used;
      break;
    case TPixelLayout::FourBit:
      used = std::min(count, left / 2), pixels = 2 * used;
      break;
    case TPixelLayout::OneByte:
      used = pixels = std::min(count, left);
      break;
    case TPixelLayout::RedGreenBlue:
      pixels = std::min(count / 3, left), used = 3 * pixels;
      break;
    case TPixelLayout::RedGreenBlueAlpha:
      pixels = std::min(count / 4, left), used = 4 * pixels;
      break;
    case TPixelLayout::ColourWord:
      pixels = std::min(count / 2, left), used = 2 * pixels;
      break;
    case TPixelLayout::None:
      break;
  }
  if (pixels != 0) AdvanceColumns(static_cast<int32_t>(pixels));
  return used;
}

// Full size only: converts as many whole pixels as `count` bytes hold, at most `room`, from the
// current column on, and returns the bytes used (0 when not even one pixel fits). Rows of 1-bit
// and 4-bit images hold whole bytes, so their runs never split a byte; only a tile cut by the
// image's right edge leaves part of a byte to the one-byte path.
size_t TTiffDecoder::StoreRowRun(const uint8_t* bytes, size_t count, int32_t room) {
  size_t pixels = 0;
  size_t used = 0;
  switch (pixelLayout) {
    case TPixelLayout::OneBit: {
      const size_t whole = std::min<size_t>(count, static_cast<size_t>(room) / 8);
      uint8_t* out = outRow + column;
      for (size_t i = 0; i < whole; ++i, out += 8) std::memcpy(out, kBitPixels.table[bytes[i]], 8);
      used = whole, pixels = 8 * whole;
      break;
    }
    case TPixelLayout::FourBit: {
      const size_t whole = std::min<size_t>(count, static_cast<size_t>(room) / 2);
      uint8_t* out = outRow + column;
      for (size_t i = 0; i < whole; ++i, out += 2) {
        out[0] = bytes[i] & 15;
        out[1] = bytes[i] >> 4;
      }
      used = whole, pixels = 2 * whole;
      break;
    }
    case TPixelLayout::OneByte:
      pixels = used = std::min<size_t>(count, static_cast<size_t>(room));
      std::memcpy(outRow + column, bytes, used);
      break;
    case TPixelLayout::RedGreenBlue:
    case TPixelLayout::RedGreenBlueAlpha: {
      // Three bytes a pixel, or four with an alpha, which is dropped.
      const size_t stride = pixelLayout == TPixelLayout::RedGreenBlue ? 3 : 4;
      pixels = std::min<size_t>(count / stride, static_cast<size_t>(room));
      uint8_t* out = outRow + 4 * static_cast<size_t>(column);
      for (size_t i = 0; i < pixels; ++i) {
        const uint8_t* pixel = bytes + stride * i;
        PutColour(out + 4 * i, pixel[0], pixel[1], pixel[2]);
      }
      used = stride * pixels;
      break;
    }
    case TPixelLayout::ColourWord: {
      pixels = std::min<size_t>(count / 2, static_cast<size_t>(room));
      uint8_t* out = outRow + 4 * static_cast<size_t>(column);
      for (size_t i = 0; i < pixels; ++i)
        PutPixel(out + 4 * i, ColourOfWord(bytes[2 * i] | uint32_t{bytes[2 * i + 1]} << 8));
      used = 2 * pixels;
      break;
    }
    case TPixelLayout::None:
      break;
  }
  if (pixels == 0) return 0;
  AdvanceColumns(static_cast<int32_t>(pixels));
  return used;
}
