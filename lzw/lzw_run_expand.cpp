// The run form of the LZW decoder: input taken a piece at a time into a wide bit buffer, output
// decoded into a window and handed over in long runs. A string is copied from where its entry
// was last written when that place is still in the window, else spelled from the table.
#include <cstring>
#include <new>

#include "lzw/lzw_compressor.h"

namespace {

// Sixteen bytes at a time, all loads before the stores: most strings are short, and a fixed
// copy avoids a mispredicted loop end for each. The window has slack behind it, and a copy that
// runs past the string's end only writes bytes the next string overwrites. The string lies
// wholly before the destination, so the bytes that matter are final when they are loaded.
inline void CopyString(uint8_t* to, const uint8_t* from, int length) {
  for (int i = 0; i < length; i += 16) {
    uint64_t low, high;
    std::memcpy(&low, from + i, 8);
    std::memcpy(&high, from + i + 8, 8);
    std::memcpy(to + i, &low, 8);
    std::memcpy(to + i + 8, &high, 8);
  }
}

constexpr int32_t kSlack = 16;

}  // namespace

bool TLZWCompressor::Execute(TPutBytesEvent putBytes, TGetBytesEvent getBytes) {
  if (!IsReady()) return false;
  if (window == nullptr) {
    places = new (std::nothrow) int64_t[TableSize];
    // Zeroed once, so the reads of a copy's slack never see undefined bytes.
    window = new (std::nothrow) uint8_t[WindowSize + kSlack]();
    if (places == nullptr || window == nullptr) {
      delete[] places;
      delete[] window;
      places = nullptr;
      window = nullptr;
      return false;
    }
  }
  ResetBits();
  return ExpandRuns(putBytes, getBytes) != -1;
}

// The same stream rules as Expand: no clear needed at the start, a string code right after a
// clear or a code past the next free one ends the pass, a full table stays full until a clear.
// Returns -1 when the output refuses a run, else 0.
int TLZWCompressor::ExpandRuns(TPutBytesEvent putBytes, TGetBytesEvent getBytes) {
  // Locals, not members: stores of output bytes could alias members and force reloads.
  TLZWEntry* const table = strings;
  int64_t* const lastPlaces = places;
  uint8_t* const out = window;
  const uint8_t* in = nullptr;
  size_t inLeft = 0;
  uint64_t bits = 0;
  int bitCount = 0;
  int64_t base = 0;    // output position of window[0]
  int32_t used = 0;    // bytes in the window
  int32_t handed = 0;  // bytes of the window already handed over
  int width = 9;
  int next = FirstCode;
  int prev = NoCode;
  int64_t prevPlace = 0;

  for (;;) {
    if (bitCount < width) {
      // Whole bytes while 8 remain, MSB first: one load fills the buffer to 56 bits or more.
      if (inLeft >= 8) {
        // Spelled out so the compiler makes it one byte-swapped load.
        const uint64_t word = uint64_t{in[0]} << 56 | uint64_t{in[1]} << 48 |
                              uint64_t{in[2]} << 40 | uint64_t{in[3]} << 32 |
                              uint64_t{in[4]} << 24 | uint64_t{in[5]} << 16 | uint64_t{in[6]} << 8 |
                              uint64_t{in[7]};
        const int take = (63 - bitCount) >> 3;
        bits = bits << (8 * take) | word >> (64 - 8 * take);
        in += take;
        inLeft -= static_cast<size_t>(take);
        bitCount += 8 * take;
      }
      // Near the end of a piece, byte by byte up to 56 bits.
      while (bitCount <= 48) {
        if (inLeft == 0 && (inLeft = getBytes(&in)) == 0) break;
        bits = bits << 8 | *in++;
        --inLeft;
        bitCount += 8;
      }
      if (bitCount < width) break;  // the input ends inside a code
    }
    bitCount -= width;
    const int code = static_cast<int>(bits >> bitCount) & ((1 << width) - 1);
    if (code == EndCode) break;
    if (code == ClearCode) {
      width = 9;
      next = FirstCode;
      prev = NoCode;
      continue;
    }
    const bool selfDefined = code == next && prev != NoCode;
    if (code >= next && !selfDefined) break;
    const int length = selfDefined ? table[prev].length + 1 : table[code].length;

    if (used + length > WindowSize) {
      if (used > handed && putBytes(out + handed, static_cast<size_t>(used - handed)) == -1) {
        return -1;
      }
      std::memmove(out, out + used - HistorySize, HistorySize);
      base += used - HistorySize;
      used = handed = HistorySize;
    }
    uint8_t* const to = out + used;
    const int64_t place = base + used;
    if (selfDefined) {
      // The previous string, just written, followed by its own first byte.
      CopyString(to, out + (prevPlace - base), length - 1);
      to[length - 1] = to[0];
    } else if (code < 256) {
      to[0] = static_cast<uint8_t>(code);
    } else if (lastPlaces[code] >= base) {
      CopyString(to, out + (lastPlaces[code] - base), length);
    } else {
      int walk = code;
      for (int i = length - 1; i >= 0; --i) {
        to[i] = table[walk].suffix;
        walk = table[walk].prefix;
      }
    }
    used += length;

    // The new entry is the previous string and this one's first byte: in the output it starts
    // where the previous string does.
    if (prev != NoCode && next < TableSize) {
      const TLZWEntry& head = table[prev];
      table[next] = {uint16_t(prev), uint16_t(head.length + 1), to[0], head.firstByte};
      lastPlaces[next] = prevPlace;
      if (next == (1 << width) - 2 && width < 12) ++width;
      ++next;
    }
    prev = code;
    prevPlace = place;
  }
  if (used > handed && putBytes(out + handed, static_cast<size_t>(used - handed)) == -1) {
    return -1;
  }
  return 0;
}
