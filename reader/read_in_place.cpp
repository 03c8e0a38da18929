// The fast path of a full-size read. A strip is read, or decoded by the LZW object, into the
// tail of the output rows it fills and widened to pixels from the front, in place. No second
// buffer holds the strip, and the pixels equal those StoreByte would store.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "lzw/lzw_compressor.h"
#include "reader/bit_pixels.h"
#include "reader/tiff_decoder.h"

namespace {

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
  uint8_t* const tail = start + (outBytes - stripBytes);
  int64_t got =
      lzw != nullptr
          ? lzw->ExpandInto(tail, stripBytes,
                            BindGetBytes<TTiffDecoder, &TTiffDecoder::NextStripBytes>(this))
          : ReadStoredInto(tail, stripBytes);
  if (got < 0) got = 0;  // the LZW tables are missing: nothing was decoded
  stripWorkLeft -= got;
  const int64_t written = WidenInPlace(start, tail, got);
  if (!outputCleared) {
    std::memset(start + written, 0, static_cast<size_t>(outBytes - written));
  } else {
    // The strip bytes that lie past the pixels made of them (those of a last, partial pixel, or
    // all of them when the data ends early) go back to zero, and so do the bytes the LZW decoder
    // may have written just past its output.
    uint8_t* const leftFrom = std::max(start + written, tail);
    uint8_t* const leftEnd = tail + std::min(got + TLZWCompressor::FlatSlack, stripBytes);
    if (leftEnd > leftFrom) std::memset(leftFrom, 0, static_cast<size_t>(leftEnd - leftFrom));
  }

  const int64_t pixelsDone = written / (fullColour ? 4 : 1);
  const int32_t rowPixels = fullColour ? srcRowBytes / 4 : srcRowBytes;
  row += static_cast<int32_t>(pixelsDone / rowPixels);
  column = static_cast<int32_t>(pixelsDone % rowPixels);
  outRow = start + (pixelsDone / rowPixels) * outRowBytes;
  stripComplete = row >= rowEnd;
}

// Reads up to `count` bytes of a stored strip straight into `destination` in one call. The
// chunk keeps what it held; only the stream position moves on.
int64_t TTiffDecoder::ReadStoredInto(uint8_t* destination, int64_t count) {
  const int64_t wanted = std::min(count, stripBytesAvailable - bytesRead);
  if (wanted <= 0) return 0;
  const size_t got = std::fread(destination, 1, static_cast<size_t>(wanted), file);
  bytesRead += static_cast<int64_t>(got);
  streamAt = got == static_cast<size_t>(wanted) ? stripStart + bytesRead : -1;
  return static_cast<int64_t>(got);
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
int64_t TTiffDecoder::Widen(uint8_t* __restrict to, const uint8_t* __restrict from,
                            int64_t count) const {
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
