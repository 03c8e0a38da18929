// The flat form of the LZW decoder: the whole output lies in one block of the caller's memory,
// so every entry is the place and length of a string already written there, and emitting a
// string is a short copy from earlier in the block. No windows, no table walks.
#include <cstring>
#include <new>

#include "lzw/lzw_compressor.h"

namespace {

// The longest string: entry 258 holds at most two bytes and each later entry one more.
constexpr int64_t kLongestString = 3839;
// Copies run 16 bytes at a time and may write up to 15 bytes past a string's end.
constexpr int64_t kSlack = TLZWCompressor::FlatSlack;
// Codes expanded between two checks of the room left.
constexpr int64_t kCodesPerCheck = 4;

inline void Copy16(uint8_t* to, const uint8_t* from) {
  uint64_t low, high;
  std::memcpy(&low, from, 8);
  std::memcpy(&high, from + 8, 8);
  std::memcpy(to, &low, 8);
  std::memcpy(to + 8, &high, 8);
}

// All loads of a step before its stores. The source ends at or before the destination, so the
// bytes that matter are final when they are loaded; the bytes past the string's end are written
// again by the strings that follow.
inline void CopyString(uint8_t* to, const uint8_t* from, uint32_t length) {
  Copy16(to, from);
  for (uint32_t i = 16; i < length; i += 16) Copy16(to + i, from + i);
}

// Near the end of the destination: nothing past it is written, and the string is cut there.
inline void CopyCut(uint8_t* to, const uint8_t* from, int64_t length, int64_t room) {
  std::memcpy(to, from, static_cast<size_t>(length < room ? length : room));
}

inline uint64_t LoadBigEndian64(const uint8_t* bytes) {
  uint64_t word;
  std::memcpy(&word, bytes, 8);
  return __builtin_bswap64(word);
}

}  // namespace

// The same stream rules as the byte form: no clear needed at the start, a string code right
// after a clear or a code past the next free one ends the pass, a full table stays full until a
// clear, and the last string is cut where the destination ends.
int64_t TLZWCompressor::ExpandInto(uint8_t* destination, int64_t capacity,
                                   TGetBytesEvent getBytes) {
  if (!IsReady() || capacity > MaxFlatCapacity) return -1;
  // A single byte has no place until it is first written; its record then keeps that place, so
  // single bytes and strings are copied alike. Length 0 marks "not written yet", and it stays
  // on ClearCode and EndCode, so one test sends all three to the rare path. Older places are
  // better sources: a copy from bytes still waiting to be stored stalls the processor.
  for (int i = 0; i < FirstCode; ++i) placed[i] = {0, 0};

  // Locals, not members, so the hot state stays in registers across the stores of output.
  TPlacedString* const table = placed;
  uint8_t* const out = destination;
  // While `at` is at or before `fastEnd`, the strings of the next four codes fit in the
  // destination with room for the copies' slack.
  const int64_t fastEnd = capacity - kCodesPerCheck * kLongestString - kSlack;
  const uint8_t* in = nullptr;
  size_t inLeft = 0;
  // The next bits of the stream, first bit in bit 63; below the `bitCount` valid bits lie zeros
  // or the bits that follow, so a refill may OR the same bits in again.
  uint64_t bits = 0;
  int bitCount = 0;
  bool inputEnded = false;
  int width = 9;
  int widthLimit = 511;  // the entry count at which the width grows (early change)
  int next = FirstCode;
  int64_t at = 0;
  uint32_t prevPlace = 0;
  uint32_t prevLength = 0;  // 0: no previous string (start of the stream, or after a clear)

  // Tops the bit buffer up byte by byte, near the end of a piece of input (the next piece is
  // fetched when this one is used up); false when the input ends inside a code.
  auto refillSlowly = [&]() {
    while (bitCount <= 56 && !inputEnded) {
      if (inLeft == 0 && (inLeft = getBytes(&in)) == 0) {
        inputEnded = true;
        break;
      }
      bits |= uint64_t{*in++} << (56 - bitCount);
      --inLeft;
      bitCount += 8;
    }
    return bitCount >= width;
  };

  // Emits the string of the next code; false when the pass ends. Near the end of the
  // destination the string is cut where the destination ends.
  auto expandCode = [&](bool nearEnd) __attribute__((always_inline)) {
    const int code = static_cast<int>(bits >> (64 - width));
    bits <<= width;
    bitCount -= width;

    uint32_t length;
    if (code < next) {
      const TPlacedString string = table[code];
      length = string.length;
      if (length != 0) {
        if (!nearEnd) {
          CopyString(out + at, out + string.place, length);
        } else {
          CopyCut(out + at, out + string.place, length, capacity - at);
        }
      } else if (code < ClearCode) {
        // A single byte written for the first time.
        out[at] = static_cast<uint8_t>(code);
        length = 1;
        table[code] = {static_cast<uint32_t>(at), length};
      } else if (code == ClearCode) {
        width = 9;
        widthLimit = 511;
        next = FirstCode;
        prevLength = 0;
        return true;
      } else {
        return false;  // EndCode
      }
    } else if (code == next && prevLength != 0) {
      // The code defines itself: the previous string, just written, and its own first byte.
      length = prevLength + 1;
      const uint8_t* from = out + prevPlace;
      if (!nearEnd) {
        CopyString(out + at, from, prevLength);
        out[at + prevLength] = *from;
      } else {
        CopyCut(out + at, from, prevLength, capacity - at);
        if (prevLength < capacity - at) out[at + prevLength] = *from;
      }
    } else {
      return false;  // a code that names no string
    }

    // The new entry is the previous string and this one's first byte: it starts where the
    // previous string does.
    if (prevLength != 0) {
      table[next] = {prevPlace, prevLength + 1};
      next += next < TableSize;
      if (next == widthLimit) {
        ++width;
        widthLimit = width < 12 ? (1 << width) - 1 : TableSize + 1;
      }
    }
    prevPlace = static_cast<uint32_t>(at);
    prevLength = length;
    at += length;
    return true;
  };

  // Far from the end, a refill of eight bytes brings at least 56 bits, four codes of 12 bits,
  // and the four are expanded without a test of the bits in between: a loop whose count
  // depends on the widths would be mispredicted at nearly every refill.
  while (at <= fastEnd) {
    if (inLeft >= 8) {
      bits |= LoadBigEndian64(in) >> bitCount;
      const int taken = (63 - bitCount) >> 3;
      in += taken;
      inLeft -= static_cast<size_t>(taken);
      bitCount |= 56;  // 56 to 63 bits are valid now
      if (!expandCode(false) || !expandCode(false) || !expandCode(false) || !expandCode(false)) {
        return at;
      }
    } else if (!refillSlowly() || !expandCode(false)) {
      return at;
    }
  }
  while (at < capacity && refillSlowly() && expandCode(true)) {
  }
  return at < capacity ? at : capacity;
}
