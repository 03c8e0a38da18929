// FillOrder 2: files that store the first pixel of each byte in its least significant bit. The
// bits of every byte are reversed as it comes from the file, before LZW decoding (the code stream
// is stored reversed too) and before pixels are taken from it.
#pragma once

#include <cstddef>
#include <cstdint>

struct TReversedBits {
  uint8_t table[256];
  constexpr TReversedBits() : table() {
    for (int byte = 0; byte < 256; ++byte) {
      int reversed = 0;
      for (int bit = 0; bit < 8; ++bit) reversed |= (byte >> bit & 1) << (7 - bit);
      table[byte] = static_cast<uint8_t>(reversed);
    }
  }
};
inline constexpr TReversedBits kReversedBits;

inline void ReverseBits(uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) bytes[i] = kReversedBits.table[bytes[i]];
}
