// The fast path of a full-size read. A strip is read, or decoded by the LZW object, into the
// tail of the output rows it fills and widened to pixels from the front, in place. No second
// buffer holds the strip, and the pixels equal those StoreByte would store.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "lzw/lzw_compressor.h"
#include "reader/reversed_bits.h"
#include "reader/tiff_decoder.h"
#include "reader/widen_pixels.h"

namespace {

// Decoded bytes are widened a block at a time through a small copy: the copy frees the
// conversion from the overlap, and writing a block never reaches source bytes past it because
// every pixel takes at least as many output bytes as strip bytes.
constexpr int64_t kBlockBytes = 3 * 1024;

}  // namespace

// Full size, a known layout, and neither the byte path nor the run store asked for.
bool TTiffDecoder::CanReadInPlace() const {
  return readInPlace && mask == 0 && pixelLayout != TPixelLayout::None && !byteAtATime &&
         int64_t{srcHeight} * StripRowBytes() <= TLZWCompressor::MaxFlatCapacity;
}

// Strip bytes per row: whole bytes of 1-bit and 4-bit rows, 3 bytes of a red-green-blue pixel,
// 4 of one with alpha and 2 of a colour word for 4 output bytes.
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
    case TPixelLayout::RedGreenBlueAlpha:
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
  // Only once the whole strip is decoded: the LZW object copies its strings from the bytes it
  // wrote earlier, which must still be the differences.
  if (predicting) predictorStage.Undo(tail, static_cast<size_t>(got));
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
  if (reverseBits) ReverseBits(destination, got);
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
    written += WidenPixels(pixelLayout, to + written, block, n);
  }
  return written;
}
