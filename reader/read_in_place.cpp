// The fast path of a full-size read. LZW strips are decoded into the tail of the output rows they
// fill and widened to pixels from the front, in place; stored strips are read a piece at a time
// and widened straight into their rows. No second buffer holds the strip, and the pixels equal
// those StoreByte would store.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "lzw/lzw_compressor.h"
#include "reader/tiff_decoder.h"

namespace {

// The eight pixels of each 1-bit byte, leftmost in the most significant bit.
struct TBitPixels {
  uint8_t table[256][8];
  constexpr TBitPixels() : table() {
    for (int byte = 0; byte < 256; ++byte) {
      for (int bit = 0; bit < 8; ++bit)
        table[byte][bit] = static_cast<uint8_t>(byte >> (7 - bit) & 1);
    }
  }
};
constexpr TBitPixels kBitPixels;

// Decoded bytes are widened a block at a time through a small copy: the copy frees the
// conversion from the overlap, and writing a block never reaches source bytes past it because
// every pixel takes at least as many output bytes as strip bytes.
constexpr int64_t kBlockBytes = 3 * 1024;

}  // namespace

// Full size, a known layout and the byte path not asked for.
bool TTiffDecoder::CanReadInPlace() const {
  return mask == 0 && pixelLayout != TPixelLayout::None && !byteAtATime &&
         int64_t{srcHeight} * StripRowBytes() <= TLZWCompressor::MaxFlatCapacity;
}

// Strip bytes per row: whole bytes of 1-bit and 4-bit rows, 3 bytes of a red-green-blue pixel
// and 2 of a colour word for 4 output bytes.
int64_t TTiffDecoder::StripRowBytes() const {
  switch (pixelLayout) {
    case TPixelLayout::OneBit:
      return srcRowBytes / 8;
    case TPixelLayout::FourBit:
      return srcRowBytes / 2;
    case TPixelLayout::RedGreenBlue:
      return srcRowBytes / 4 * 3;
    case TPixelLayout::ColourWord:
      return srcRowBytes / 2;
    case TPixelLayout::OneByte:
    case TPixelLayout::None:
      break;
  }
  return srcRowBytes;
}

// Reads the strip into the rows from `row` to `rowEnd`, which are zero: pixels where the data
// reaches, and still zero after.
void TTiffDecoder::ReadStripInPlace(TLZWCompressor* lzw) {
  if (row >= rowEnd) return;
  const int64_t rows = rowEnd - row;
  const int64_t outBytes = rows * outRowBytes;
  const int64_t stripBytes = rows * StripRowBytes();
  uint8_t* const start = outRow;
  int64_t written = 0;
  if (lzw != nullptr) {
    uint8_t* const tail = start + (outBytes - stripBytes);
    int64_t got = lzw->ExpandInto(tail, stripBytes,
                                  BindGetBytes<TTiffDecoder, &TTiffDecoder::NextStripBytes>(this));
    if (got < 0) got = 0;  // the LZW tables are missing: nothing was decoded
    stripWorkLeft -= got;
    written = WidenInPlace(start, tail, got);
    // The decoded bytes that lie past the pixels made of them (those of a last, partial pixel,
    // or all of them when the data ends early) go back to zero, and so do the bytes the decoder
    // may have written just past its output.
    uint8_t* const leftFrom = std::max(start + written, tail);
    uint8_t* const leftEnd = tail + std::min(got + TLZWCompressor::FlatSlack, stripBytes);
    if (leftEnd > leftFrom) std::memset(leftFrom, 0, static_cast<size_t>(leftEnd - leftFrom));
  } else {
    written = ReadStoredInPlace(start, stripBytes);
  }

  const int64_t pixelsDone = written / (fullColour ? 4 : 1);
  const int32_t rowPixels = fullColour ? srcRowBytes / 4 : srcRowBytes;
  row += static_cast<int32_t>(pixelsDone / rowPixels);
  column = static_cast<int32_t>(pixelsDone % rowPixels);
  outRow = start + (pixelsDone / rowPixels) * outRowBytes;
  stripComplete = row >= rowEnd;
}

// Reads up to `count` bytes of a stored strip and widens them into pixels from `to` on; returns
// the output bytes written. Single bytes are read straight into place; other layouts go through
// the chunk, so the conversion reads bytes that are still in cache.
int64_t TTiffDecoder::ReadStoredInPlace(uint8_t* to, int64_t count) {
  const int64_t wanted = std::min(count, stripBytesAvailable - bytesRead);
  if (wanted <= 0) return 0;
  if (pixelLayout == TPixelLayout::OneByte) {
    // The chunk keeps what it held; only the stream position moves on.
    const size_t got = std::fread(to, 1, static_cast<size_t>(wanted), file);
    bytesRead += static_cast<int64_t>(got);
    stripWorkLeft -= static_cast<int64_t>(got);
    streamAt = got == static_cast<size_t>(wanted) ? stripStart + bytesRead : -1;
    return static_cast<int64_t>(got);
  }
  const size_t pixelBytes = pixelLayout == TPixelLayout::RedGreenBlue ? 3
                            : pixelLayout == TPixelLayout::ColourWord ? 2
                                                                      : 1;
  // A pixel split between two pieces is put together here; the conversion reads one byte past.
  uint8_t split[4] = {};
  size_t splitCount = 0;
  int64_t written = 0;
  while (bytesRead < stripBytesAvailable && FillChunk()) {
    const uint8_t* bytes = chunk.get();
    size_t left = std::min<size_t>(chunkEnd, static_cast<size_t>(wanted - (bytesRead - chunkEnd)));
    chunkNext = chunkEnd;
    if (splitCount > 0) {
      const size_t taken = std::min(pixelBytes - splitCount, left);
      std::memcpy(split + splitCount, bytes, taken);
      splitCount += taken, bytes += taken, left -= taken;
      if (splitCount == pixelBytes) {
        written += Widen(to + written, split, static_cast<int64_t>(pixelBytes));
        splitCount = 0;
      }
    }
    const size_t whole = left / pixelBytes * pixelBytes;
    written += Widen(to + written, bytes, static_cast<int64_t>(whole));
    splitCount += left - whole;
    std::memcpy(split, bytes + whole, left - whole);
    if (bytesRead >= wanted) break;
  }
  return written;
}

// Widens `count` strip bytes at `from` into the pixels at `to`, where `from` lies at or after
// `to`, a block at a time through a copy on the stack.
int64_t TTiffDecoder::WidenInPlace(uint8_t* to, const uint8_t* from, int64_t count) const {
  if (pixelLayout == TPixelLayout::OneByte) {
    if (to != from) std::memmove(to, from, static_cast<size_t>(count));
    return count;
  }
  // The last pixel of a full-colour block reads one byte past its three.
  uint8_t block[kBlockBytes + 1];
  int64_t written = 0;
  for (int64_t i = 0; i < count; i += kBlockBytes) {
    const int64_t n = std::min(kBlockBytes, count - i);
    std::memcpy(block, from + i, static_cast<size_t>(n));
    block[n] = 0;
    written += Widen(to + written, block, n);
  }
  return written;
}

// Converts the whole pixels of `count` strip bytes at `from` (with one readable byte after them)
// into output pixels at `to`, which must not overlap, and returns the output bytes written.
int64_t TTiffDecoder::Widen(uint8_t* to, const uint8_t* from, int64_t count) const {
  switch (pixelLayout) {
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
