// TIFF LZW (compression 5) decoder: expands a code stream pulled from one byte closure into
// bytes pushed to another. Knows nothing of files, strips or pixels.
#pragma once

#include <cstdint>

#include "lzw/byte_events.h"

// One string of the table. Each record knows its length and first byte, so a string is spelled
// back to front by a walk of exactly `length` records, and the string a code defines by its own
// use (code equal to the next free code) needs no walk at all.
struct TLZWEntry {
  uint16_t prefix;    // code of the string without its last byte, or NoCode
  uint16_t length;    // bytes in the string, 1..3839
  uint8_t suffix;     // last byte of the string
  uint8_t firstByte;  // first byte of the string
};

class TLZWCompressor {
 public:
  static constexpr int ClearCode = 256;
  static constexpr int EndCode = 257;
  static constexpr int FirstCode = 258;
  static constexpr int NoCode = 4096;
  static constexpr int TableSize = 4096;

  TLZWCompressor();
  virtual ~TLZWCompressor();
  TLZWCompressor(const TLZWCompressor&) = delete;
  TLZWCompressor& operator=(const TLZWCompressor&) = delete;

  // False when the string table could not be allocated; Execute then fails at once.
  bool IsReady() const { return strings != nullptr; }

  // Runs one pass: true unless the output refused a byte or the table is missing.
  bool Execute(TPutByteEvent putByte, TGetByteEvent getByte);
  // The same pass on pieces of input, with the output handed over in runs. Input is taken ahead
  // of the codes that need it, and a refusal is seen only when a run is handed over, so the pass
  // may read and decode further than the byte form does.
  bool Execute(TPutBytesEvent putBytes, TGetBytesEvent getBytes);

  // The fastest form, for a caller that holds the whole destination in memory: decodes into
  // `destination` until the stream ends or `capacity` bytes are written, and returns the bytes
  // written (-1 when the tables are missing). They are exactly the bytes the byte form hands to
  // an output that refuses the byte after `capacity`; strings are copied from their earlier place
  // in the destination. A capacity above MaxFlatCapacity is refused. The FlatSlack bytes after
  // the bytes written may be overwritten too (strings are copied in fixed steps), but nothing
  // at or past `capacity`.
  int64_t ExpandInto(uint8_t* destination, int64_t capacity, TGetBytesEvent getBytes);
  static constexpr int64_t MaxFlatCapacity = 0xFFFFFFFF;
  static constexpr int64_t FlatSlack = 16;

  // Decoded output is kept in a window this large: strings are copied from their last place in
  // it, and all but its last HistorySize bytes are handed over whenever it fills.
  static constexpr int32_t WindowSize = 256 * 1024;
  static constexpr int32_t HistorySize = 64 * 1024;

  // The bit layer, exposed for its own tests: the next code of `width` bits (1..12), most
  // significant bit first, or -1 when the input ends before the code is complete.
  int ReadCode(int width);
  void ResetBits() { inByte = 0, inBitsLeft = 0; }
  void SetInput(TGetByteEvent getByte) { onGetByte = getByte; }

 private:
  void InitTable();
  int Expand();
  void AddEntry(int prefix, int lastByte);
  int SpellString(int code);
  int PutString(int length);
  int ExpandRuns(TPutBytesEvent putBytes, TGetBytesEvent getBytes);

  TPutByteEvent onPutByte;
  TGetByteEvent onGetByte;
  int32_t inBitsLeft = 0;
  int32_t inByte = 0;
  int32_t expandWidth = 9;
  TLZWEntry* strings = nullptr;
  // For ExpandInto: where each entry's string lies in the destination, and its length.
  struct TPlacedString {
    uint32_t place;
    uint32_t length;
  };
  TPlacedString* placed = nullptr;
  // For the run form: where in the output each entry's string was last written, and the window.
  int64_t* places = nullptr;
  uint8_t* window = nullptr;
  int32_t nextCode = 0;
  // The string being emitted, spelled back to front before it goes out in order. No string is
  // longer than 3839 bytes: entry 258 holds at most two and each later entry at most one more.
  uint8_t spelled[TableSize];
};
