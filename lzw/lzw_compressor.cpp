// The string table and the expand routine of the TIFF LZW decoder.
#include "lzw/lzw_compressor.h"

#include <new>

TLZWCompressor::TLZWCompressor()
    : strings(new (std::nothrow) TLZWEntry[TableSize]),
      // One record past the last code: a full table writes its would-be entry there, unread.
      placed(new (std::nothrow) TPlacedString[TableSize + 1]) {
  if (strings == nullptr || placed == nullptr) {
    delete[] strings;
    delete[] placed;
    strings = nullptr;
    placed = nullptr;
    return;
  }
  // The single-byte strings never change: new entries are only ever written from FirstCode up.
  for (int i = 0; i < 256; ++i) {
    strings[i] = {uint16_t(NoCode), 1, uint8_t(i), uint8_t(i)};
  }
}

TLZWCompressor::~TLZWCompressor() {
  delete[] strings;
  delete[] places;
  delete[] placed;
  delete[] window;
}

bool TLZWCompressor::Execute(TPutByteEvent putByte, TGetByteEvent getByte) {
  if (!IsReady()) return false;
  onPutByte = putByte;
  onGetByte = getByte;
  ResetBits();
  return Expand() != -1;
}

// Records at or above nextCode hold no string and are never read, so a clear rewrites nothing.
void TLZWCompressor::InitTable() {
  nextCode = FirstCode;
  expandWidth = 9;
}

// Returns 0 at the end of the stream (EndCode, the end of the input, or a code that names no
// string, which only a damaged stream holds) and -1 when the output refuses a byte.
int TLZWCompressor::Expand() {
  InitTable();
  // The start of a stream is taken like the moment after a clear: its first code must be a
  // single byte and adds no entry, as there is no previous string to extend.
  int prev = NoCode;
  for (;;) {
    const int code = ReadCode(expandWidth);
    if (code < 0 || code == EndCode) return 0;
    if (code == ClearCode) {
      InitTable();
      prev = NoCode;
      continue;
    }
    int length;
    // Right after a clear nextCode is 258, so only the single bytes pass the first test.
    if (code < nextCode) {
      length = SpellString(code);
    } else if (code == nextCode && prev != NoCode) {
      // The code defines itself: the previous string followed by its own first byte.
      length = SpellString(prev);
      spelled[length++] = strings[prev].firstByte;
    } else {
      return 0;
    }
    if (PutString(length) < 0) return -1;
    if (prev != NoCode) AddEntry(prev, spelled[0]);
    prev = code;
  }
}

// A full table (nextCode 4096) stays as it is until the next clear: the codes still decode, no
// entry is added, and the width stays at 12. Some encoders fill the table and go on without a
// clear; an entry past 4095 could never be named by a 12-bit code anyway.
void TLZWCompressor::AddEntry(int prefix, int lastByte) {
  if (nextCode >= TableSize) return;
  const TLZWEntry& head = strings[prefix];
  strings[nextCode] = {uint16_t(prefix), uint16_t(head.length + 1), uint8_t(lastByte),
                       head.firstByte};
  // Early change: the width grows one entry before the current width is used up, so 9-bit
  // codes run until entry 510 is added, 10-bit ones until 1022, 11-bit ones until 2046.
  if (nextCode == (1 << expandWidth) - 2 && expandWidth < 12) ++expandWidth;
  ++nextCode;
}

// Writes the string of a code into `spelled`, last byte first, and returns its length. The walk
// takes exactly `length` records, so it never follows the NoCode link of the first byte.
int TLZWCompressor::SpellString(int code) {
  const int length = strings[code].length;
  for (int i = length - 1; i >= 0; --i) {
    spelled[i] = strings[code].suffix;
    code = strings[code].prefix;
  }
  return length;
}

int TLZWCompressor::PutString(int length) {
  for (int i = 0; i < length; ++i) {
    if (onPutByte(spelled[i]) == -1) return -1;
  }
  return 0;
}
