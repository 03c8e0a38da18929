// Strip and tile reading: the image bytes of each strip or tile, expanded by the LZW object when
// compressed, are unpacked into pixels of the output buffer, keeping every step-th row and column
// for previews.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>

#include "lzw/lzw_compressor.h"
#include "reader/reversed_bits.h"
#include "reader/tiff_decoder.h"

namespace {
constexpr int kCompressionLZW = 5;
constexpr int kTypeShort = 3;
constexpr int kTypeLong = 4;
}  // namespace

// How StoreByte turns image bytes into pixels; chosen before the output is allocated. FillOrder
// 2 reverses the bits of every byte from the file, whatever the depth, as libtiff writes and reads
// them; differencing is undone only in LZW data.
void TTiffDecoder::ChoosePixelLayout() {
  if (bitsPerSample[0] == 1) {
    pixelLayout = TPixelLayout::OneBit;
  } else if (bitsPerSample[0] == 4) {
    pixelLayout = TPixelLayout::FourBit;
  } else if (bitsPerSample[0] == 8 && samplesPerPixel == 4) {
    pixelLayout = TPixelLayout::RedGreenBlueAlpha;
  } else if (bitsPerSample[0] == 8) {
    pixelLayout = fullColour ? TPixelLayout::RedGreenBlue : TPixelLayout::OneByte;
  } else if (bitsPerSample[0] == 16) {
    pixelLayout = TPixelLayout::ColourWord;
  } else {
    pixelLayout = TPixelLayout::None;
  }
  reverseBits = fillOrder == 2;
  predicting = compression == kCompressionLZW && predictor == 2;
}

bool TTiffDecoder::ReadStrip() {
  // One table serves every strip: each strip is a code stream of its own, and Execute starts
  // the table and the bit reader afresh.
  std::optional<TLZWCompressor> lzw;
  if (compression == kCompressionLZW) {
    lzw.emplace();
    if (!lzw->IsReady()) return false;
  }
  TLZWCompressor* const expander = lzw ? &*lzw : nullptr;
  // The strip's bytes pass through one fixed buffer, however large the file.
  chunk.reset(new (std::nothrow) uint8_t[ChunkSize + 1]());
  if (!chunk) return false;
  stripOffsets.cacheSize = stripByteCounts.cacheSize = 0;
  tileOffsets.cacheSize = tileByteCounts.cacheSize = 0;
  heldSize = 0;
  streamAt = -1;

  // Strips that share their data (all pointing at one block of clear codes, or at one LZW bomb)
  // would each cost the whole block. An honest file reads each byte of the file once and hands
  // the store about the image's own bytes (with tiles: the bytes of the tiles across each row),
  // so the strips together may take twice both, and 1 MiB more; a file that needs more has its
  // remaining strips left at zero.
  const bool tiled = IsTiled();
  const int64_t rowBytesAcross =
      tiled ? (srcWidth + int64_t{tileWidth} - 1) / tileWidth * TileRowBytes() : imagePitch;
  stripWorkLeft = 2 * (fileLength + int64_t{srcHeight} * rowBytesAcross) + (int64_t{1} << 20);

  inPlace = !tiled && CanReadInPlace();
  if (tiled) {
    ReadTiles(expander);
  } else {
    ReadStrips(expander);
  }
  return true;
}

void TTiffDecoder::ReadStrips(TLZWCompressor* lzw) {
  dataRowBytes = imagePitch;
  if (stripOffsets.count <= 1) {
    // One strip: its rows run on from the top whatever RowsPerStrip says. Its offset and count
    // are unsigned 32-bit numbers: a strip of 2 GiB or more is as valid as a smaller one.
    StartRows(0, srcHeight);
    ReadStripBytes(static_cast<uint32_t>(stripOffset), static_cast<uint32_t>(stripByteCount), lzw);
    return;
  }
  // Strip k holds the rows from k x RowsPerStrip on; a RowsPerStrip that is missing, 0, negative
  // (2^32 - 1 means "all") or at least the height makes one strip of the whole image.
  const int32_t stripRows = rowsPerStrip > 0 && rowsPerStrip < srcHeight ? rowsPerStrip : srcHeight;
  const int64_t stripsNeeded = (int64_t{srcHeight} + stripRows - 1) / stripRows;
  const int64_t strips = std::min<int64_t>(stripsNeeded, stripOffsets.count);
  for (int64_t k = 0; k < strips && stripWorkLeft > 0; ++k) {
    // A strip without both of its values supplies nothing, and its rows stay zero.
    uint32_t offset = 0;
    uint32_t byteCount = 0;
    if (!ReadStripValue(stripOffsets, k, offset) ||
        !ReadStripValue(stripByteCounts, k, byteCount)) {
      continue;
    }
    const auto firstRow = static_cast<int32_t>(k * stripRows);
    const auto endRow =
        static_cast<int32_t>(std::min<int64_t>(firstRow + int64_t{stripRows}, srcHeight));
    StartRows(firstRow, endRow);
    ReadStripBytes(offset, byteCount, lzw);
  }
}

// File bytes of one row of a tile: its pixels, the last byte filled up with padding bits.
int64_t TTiffDecoder::TileRowBytes() const {
  const int64_t bitsPerPixel = int64_t{bitsPerSample[0]} * std::max<int>(samplesPerPixel, 1);
  return (int64_t{tileWidth} * bitsPerPixel + 7) / 8;
}

// Tiles run left to right, then top to bottom; each is read like a strip of its own rows, and
// those on the right and bottom edges are cut to the image. A preview skips the rows and columns
// of tiles that hold no kept pixel, without reading their values.
void TTiffDecoder::ReadTiles(TLZWCompressor* lzw) {
  dataRowBytes = TileRowBytes();
  const int64_t across = (srcWidth + int64_t{tileWidth} - 1) / tileWidth;
  const int64_t down = (srcHeight + int64_t{tileLength} - 1) / tileLength;
  const int64_t tiles = std::min<int64_t>(across * down, tileOffsets.count);
  const auto holdsKept = [this](int64_t first, int64_t size, int32_t end) {
    return ((first + mask) & ~int64_t{mask}) < std::min<int64_t>(first + size, end);
  };
  for (int64_t y = 0; y < down; ++y) {
    const int64_t top = y * tileLength;
    if (!holdsKept(top, tileLength, srcHeight)) continue;
    for (int64_t x = 0; x < across; ++x) {
      const int64_t left = x * tileWidth;
      if (!holdsKept(left, tileWidth, srcWidth)) continue;
      const int64_t k = y * across + x;
      if (k >= tiles || stripWorkLeft <= 0) return;
      // The values of a tile past the end of its arrays, or past the end of the file, are
      // missing for every later tile too: the remaining tiles stay zero.
      uint32_t offset = 0;
      uint32_t byteCount = 0;
      if (!ReadStripValue(tileOffsets, k, offset) || !ReadStripValue(tileByteCounts, k, byteCount))
        return;
      StartTile(static_cast<int32_t>(left), static_cast<int32_t>(top));
      ReadStripBytes(offset, byteCount, lzw);
    }
  }
}

// Value `index` of a strip array: SHORT or LONG values, inline in the value field when they fit
// there. False for other types, an index past the array, or a value past the end of the file.
bool TTiffDecoder::ReadStripValue(TStripArray& array, int64_t index, uint32_t& value) {
  const int width = array.type == kTypeShort ? 2 : array.type == kTypeLong ? 4 : 0;
  if (width == 0 || index < 0 || index >= array.count) return false;
  if (int64_t{width} * array.count <= 4) {
    value = width == 4 ? array.valueField : array.valueField >> (16 * index) & 0xFFFF;
    return true;
  }
  const int64_t at = int64_t{array.valueField} + index * width;
  if (at < array.cacheStart || at + width > array.cacheStart + int64_t(array.cacheSize)) {
    array.cacheStart = at;
    array.cacheSize = ReadAt(at, array.cache, sizeof array.cache);
    streamAt = -1;
    if (array.cacheSize < static_cast<size_t>(width)) return false;
  }
  const uint8_t* bytes = array.cache + (at - array.cacheStart);
  value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return true;
}

// Places the store at the start of `firstRow` of a strip, whose rows span the image (with their
// padding pixels); it stops before `endRow`. A row that a preview drops gets the output row of
// the last kept row above it, as in an unbroken run: the store moves on to the next output row
// only when the next kept row begins.
void TTiffDecoder::StartRows(int32_t firstRow, int32_t endRow) {
  row = firstRow;
  rowEnd = endRow;
  columnOrigin = 0;
  columnEnd = keepEnd = fullColour ? srcRowBytes / 4 : srcRowBytes;
  column = 0;
  sampleAccum = 0;
  sampleCount = 0;
  outRow = pixels + static_cast<std::ptrdiff_t>(firstRow >> shift) * outRowBytes;
  stripComplete = firstRow >= endRow;
  if (predicting) {
    const int sampleBytes = bitsPerSample[0] / 8;
    predictorStage.Start(dataRowBytes, sampleBytes * std::max<int>(samplesPerPixel, 1),
                         sampleBytes);
  }
}

// Places the store at the top left pixel of the tile at `left`, `top`. Its rows hold TileWidth
// pixels and their padding bits; the pixels past the image's right edge are dropped, and the
// rows past its bottom are not read.
void TTiffDecoder::StartTile(int32_t left, int32_t top) {
  StartRows(top, static_cast<int32_t>(std::min<int64_t>(top + int64_t{tileLength}, srcHeight)));
  columnOrigin = column = left;
  const int64_t rowPixels = pixelLayout == TPixelLayout::OneBit    ? dataRowBytes * 8
                            : pixelLayout == TPixelLayout::FourBit ? dataRowBytes * 2
                                                                   : tileWidth;
  columnEnd = static_cast<int32_t>(left + rowPixels);
  keepEnd = static_cast<int32_t>(std::min<int64_t>(left + int64_t{tileWidth}, srcWidth));
}

// Feeds one strip's bytes into the pixel store from the current row position on.
void TTiffDecoder::ReadStripBytes(int64_t offset, int64_t byteCount, TLZWCompressor* lzw) {
  bytesRead = 0;
  stripBytesAvailable = 0;
  chunkNext = chunkEnd = 0;
  if (byteCount <= 0 || offset < 0 || offset > fileLength) return;
  int64_t available = std::min<int64_t>(byteCount, fileLength - offset);
  if (lzw == nullptr) {
    // Stored rows take exactly their bytes each: nothing past the strip's rows is read.
    available = std::min<int64_t>(available, int64_t{rowEnd - row} * dataRowBytes);
    if (offset >= heldAt && offset + available <= heldAt + int64_t(heldSize)) {
      if (available > 0) StoreBytes(chunk.get() + (offset - heldAt), size_t(available));
      return;
    }
  }
  // The stream's position is known only after a seek that worked: a strip that seeks and then
  // reads nothing (it starts at the end of the file) must not leave the position of the one
  // before it on record, or the next strip that starts there would read from here.
  if (offset == streamAt || SeekTo(offset)) {
    streamAt = offset;
    stripStart = offset;
    stripBytesAvailable = available;
  } else {
    streamAt = -1;
  }
  if (byteAtATime) {
    if (lzw != nullptr) {
      lzw->Execute(predicting ? BindPutByte<TTiffDecoder, &TTiffDecoder::StorePredictedByte>(this)
                              : BindPutByte<TTiffDecoder, &TTiffDecoder::StoreByte>(this),
                   BindGetByte<TTiffDecoder, &TTiffDecoder::NextStripByte>(this));
      return;
    }
    for (int value = NextStripByte(); value >= 0; value = NextStripByte()) {
      if (StoreByte(value) < 0) break;
    }
    return;
  }
  if (inPlace) {
    ReadStripInPlace(lzw);
    return;
  }
  if (lzw != nullptr) {
    lzw->Execute(predicting ? BindPutBytes<TTiffDecoder, &TTiffDecoder::StorePredictedBytes>(this)
                            : BindPutBytes<TTiffDecoder, &TTiffDecoder::StoreBytes>(this),
                 BindGetBytes<TTiffDecoder, &TTiffDecoder::NextStripBytes>(this));
    return;
  }
  while (!stripComplete && FillChunk()) {
    if (StoreBytes(chunk.get(), chunkEnd) < 0) break;
    chunkNext = chunkEnd;
  }
}

// Reads the next piece of the strip into the chunk buffer; false when none is left. A file that
// ends early ends the strip where it stops.
bool TTiffDecoder::FillChunk() {
  chunkNext = chunkEnd = 0;
  if (bytesRead >= stripBytesAvailable) return false;
  const auto wanted =
      static_cast<size_t>(std::min<int64_t>(ChunkSize, stripBytesAvailable - bytesRead));
  const size_t got = std::fread(chunk.get(), 1, wanted, file);
  if (reverseBits) ReverseBits(chunk.get(), got);
  heldAt = stripStart + bytesRead;
  heldSize = got;
  streamAt = got == wanted ? heldAt + int64_t(got) : -1;
  bytesRead += static_cast<int64_t>(got);
  stripWorkLeft -= static_cast<int64_t>(got);
  if (got < wanted) stripBytesAvailable = bytesRead;
  chunkEnd = got;
  return got > 0;
}

int TTiffDecoder::NextStripByte() {
  if (chunkNext == chunkEnd && !FillChunk()) return -1;
  return chunk[chunkNext++];
}

size_t TTiffDecoder::NextStripBytes(const uint8_t** bytes) {
  if (stripComplete) return 0;
  if (chunkNext == chunkEnd && !FillChunk()) return 0;
  *bytes = chunk.get() + chunkNext;
  const size_t count = chunkEnd - chunkNext;
  chunkNext = chunkEnd;
  return count;
}
