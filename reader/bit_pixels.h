// The eight pixels of each 1-bit byte, for the reader's conversions of whole bytes.
#pragma once

#include <cstdint>

// Leftmost pixel in the most significant bit; each pixel is the byte 0 or 1.
struct TBitPixels {
  uint8_t table[256][8];
  constexpr TBitPixels() : table() {
    for (int byte = 0; byte < 256; ++byte) {
      for (int bit = 0; bit < 8; ++bit)
        table[byte][bit] = static_cast<uint8_t>(byte >> (7 - bit) & 1);
    }
  }
};
inline constexpr TBitPixels kBitPixels;
