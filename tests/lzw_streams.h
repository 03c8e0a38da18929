// Test helper: TIFF LZW code streams, packed most significant bit first at the width the decoder
// reads each code with: a plain encoder, and random code sequences as a damaged or hostile
// encoder might send them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace lzw_streams {

using Bytes = std::vector<uint8_t>;
constexpr int Clear = 256;
constexpr int End = 257;

// Packs codes of any width, most significant bit first; the last byte is padded with zeros.
struct TBitWriter {
  Bytes bytes;
  int bitCount = 0;
  void Write(int code, int width) {
    for (int bit = width - 1; bit >= 0; --bit, ++bitCount) {
      if (bitCount % 8 == 0) bytes.push_back(0);
      if ((code >> bit) & 1) bytes.back() |= uint8_t(0x80 >> (bitCount % 8));
    }
  }
};

// A plain TIFF LZW encoder. Each code goes out at the width the decoder will read it with; when
// its table is full it either clears (as most encoders do) or goes on without new entries.
inline Bytes Encode(const Bytes& data, bool clearWhenFull) {
  TBitWriter out;
  int width = 9, decoderNext = 258;
  bool decoderHasPrev = false;
  auto put = [&](int code) {
    out.Write(code, width);
    if (code == Clear) {
      width = 9, decoderNext = 258, decoderHasPrev = false;
      return;
    }
    if (decoderHasPrev && decoderNext < 4096) {
      if (decoderNext == (1 << width) - 2 && width < 12) ++width;
      ++decoderNext;
    }
    decoderHasPrev = true;
  };
  std::vector<std::array<uint16_t, 256>> child(4096);  // 0: no such string yet
  int next = 258;
  put(Clear);
  if (!data.empty()) {
    int current = data[0];
    for (size_t i = 1; i < data.size(); ++i) {
      const int byte = data[i];
      if (child[current][byte] != 0) {
        current = child[current][byte];
        continue;
      }
      put(current);
      if (next < 4096) child[current][byte] = uint16_t(next++);
      if (next == 4096 && clearWhenFull) {
        put(Clear);
        for (auto& row : child) row.fill(0);
        next = 258;
      }
      current = byte;
    }
    put(current);
  }
  put(End);
  return out.bytes;
}

// Codes as a damaged or hostile encoder might send them: mostly codes that name a string
// (single bytes, table entries, the next free code), and now and then a clear, an end code in
// the middle, or any 12-bit value. Each goes out at the width the decoder reads it with.
inline Bytes RandomCodes(size_t count, unsigned seed) {
  std::mt19937 random(seed);
  TBitWriter out;
  int width = 9, next = 258;
  bool hasPrev = false;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t roll = random() % 1000;
    int code;
    if (roll < 3) {
      code = Clear;
    } else if (roll < 4) {
      code = static_cast<int>(random() % 4096);
    } else if (roll < 6 && hasPrev) {
      code = next < 4096 ? next : 4095;
    } else {
      code = static_cast<int>(random() % (hasPrev ? next : 256));
      if (code == Clear || code == End) code = 'x';
    }
    out.Write(code, width);
    if (code == Clear) {
      width = 9, next = 258, hasPrev = false;
      continue;
    }
    if (hasPrev && next < 4096) {
      if (next == (1 << width) - 2 && width < 12) ++width;
      ++next;
    }
    hasPrev = true;
  }
  return out.bytes;
}

}  // namespace lzw_streams
