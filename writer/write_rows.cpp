// The pixel rows: the single uncompressed strip, top row first, no gap between rows. Padding at
// the end of a source row is never written.
#include <memory>
#include <new>

#include "writer/full_colour_row.h"
#include "writer/tiff_encoder.h"

bool TTiffEncoder::StopAsked(uint32_t rowIndex) const {
  // The row number wraps to a negative int32 only past 2^31 rows, as the host's type demands.
  return progress != nullptr && progress(static_cast<int32_t>(rowIndex + 1)) != 0;
}

// An image without columns writes no byte in any row: without a progress callback to call per
// row there is nothing to do, however many rows it claims (up to 2^32 - 1, seconds of looping).
bool TTiffEncoder::NothingToWrite() const {
  return image->width == 0 && progress == nullptr;
}

bool TTiffEncoder::WritePaletteRows() {
  if (NothingToWrite()) return true;
  const auto width = static_cast<uint32_t>(image->width);
  const auto height = static_cast<uint32_t>(image->height);
  const uint8_t* row = image->pixels;
  for (uint32_t r = 0; r < height; ++r) {
    if (StopAsked(r)) return true;
    // A palette row is already in file order: one index byte per pixel.
    if (width == 0) continue;
    if (!WriteBytes(row, width)) return false;
    row += image->rowBytes;
  }
  return true;
}

// Converted rows go out in blocks of about 256 KiB: a write per row of a large image costs a
// system call per row, which outweighs the conversion. Without memory for a block, the one-row
// buffer serves.
bool TTiffEncoder::WriteFullColourRows() {
  if (NothingToWrite()) return true;
  constexpr size_t kBlockBytes = 256 * 1024;
  const auto width = static_cast<uint32_t>(image->width);
  const auto height = static_cast<uint32_t>(image->height);
  const size_t outputBytes = size_t{3} * width;  // bounded by the strip size, checked by Encode
  std::unique_ptr<uint8_t[]> block;
  const size_t blockRows = outputBytes > 0 ? kBlockBytes / outputBytes : 0;
  if (blockRows > 1) block.reset(new (std::nothrow) uint8_t[blockRows * outputBytes]);
  uint8_t* const start = block ? block.get() : rowBuffer.get();
  const size_t capacity = block ? blockRows : 1;
  size_t pending = 0;
  const auto flush = [&] {
    const bool written = pending == 0 || WriteBytes(start, pending * outputBytes);
    pending = 0;
    return written;
  };
  const uint8_t* row = image->pixels;
  for (uint32_t r = 0; r < height; ++r) {
    // The rows before a stop are written; the stop itself is no failure.
    if (StopAsked(r)) return flush();
    if (width == 0) continue;
    // Source pixels are blue, green, red, unused; the file wants red, green, blue.
    ConvertFullColourRow(start + pending * outputBytes, row, width);
    if (++pending == capacity && !flush()) return false;
    row += image->rowBytes;
  }
  return flush();
}
