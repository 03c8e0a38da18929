#include "reader/widen_pixels.h"

#include <cstring>

#include "reader/bit_pixels.h"

int64_t WidenPixels(TPixelLayout layout, uint8_t* __restrict to, const uint8_t* __restrict from,
                    int64_t count) {
  switch (layout) {
    case TPixelLayout::OneByte:
      std::memcpy(to, from, static_cast<size_t>(count));
      return count;
    case TPixelLayout::OneBit:
      for (int64_t i = 0; i < count; ++i) std::memcpy(to + 8 * i, kBitPixels.table[from[i]], 8);
      return 8 * count;
    case TPixelLayout::FourBit:
      // The low nibble is the left pixel in these files.
      for (int64_t i = 0; i < count; ++i) {
        to[2 * i] = from[i] & 15;
        to[2 * i + 1] = from[i] >> 4;
      }
      return 2 * count;
    case TPixelLayout::RedGreenBlue: {
      const int64_t pixelCount = count / 3;
      // Red, green, blue and the next byte, loaded as one little-endian word and reversed:
      // 0x00RRGGBB, which is blue, green, red, 0 in memory.
      for (int64_t i = 0; i < pixelCount; ++i) {
        uint32_t word;
        std::memcpy(&word, from + 3 * i, 4);
        word = __builtin_bswap32(word) >> 8;
        std::memcpy(to + 4 * i, &word, 4);
      }
      return 4 * pixelCount;
    }
    case TPixelLayout::RedGreenBlueAlpha:
      // Red, green, blue and alpha as one little-endian word, reversed and shifted: the alpha
      // falls out, and 0x00RRGGBB remains.
      for (int64_t i = 0; i < count / 4; ++i) {
        uint32_t word;
        std::memcpy(&word, from + 4 * i, 4);
        word = __builtin_bswap32(word) >> 8;
        std::memcpy(to + 4 * i, &word, 4);
      }
      return count / 4 * 4;
    case TPixelLayout::ColourWord: {
      const int64_t pixelCount = count / 2;
      // Little-endian words: green in bits 10-14, red in 5-9, blue in 0-4, each times 8.
      for (int64_t i = 0; i < pixelCount; ++i) {
        const uint32_t word = from[2 * i] | uint32_t{from[2 * i + 1]} << 8;
        const uint32_t pixel = (word >> 5 & 31) << 19 | (word >> 10 & 31) << 11 | (word & 31) << 3;
        std::memcpy(to + 4 * i, &pixel, 4);
      }
      return 4 * pixelCount;
    }
    case TPixelLayout::None:
      break;
  }
  return 0;
}
