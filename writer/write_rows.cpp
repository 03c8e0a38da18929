// The pixel rows: the single uncompressed strip, top row first, no gap between rows. Padding at
// the end of a source row is never written.
#include "writer/tiff_encoder.h"

bool TTiffEncoder::StopAsked(uint32_t rowIndex) const {
  // The row number wraps to a negative int32 only past 2^31 rows, as the host's type demands.
  return progress != nullptr && progress(static_cast<int32_t>(rowIndex + 1)) != 0;
}

bool TTiffEncoder::WritePaletteRows() {
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

bool TTiffEncoder::WriteFullColourRows() {
  const auto width = static_cast<uint32_t>(image->width);
  const auto height = static_cast<uint32_t>(image->height);
  const size_t outputBytes = size_t{3} * width;  // bounded by the strip size, checked by Encode
  const uint8_t* row = image->pixels;
  for (uint32_t r = 0; r < height; ++r) {
    if (StopAsked(r)) return true;
    if (width == 0) continue;
    // Source pixels are blue, green, red, unused; the file wants red, green, blue.
    uint8_t* out = rowBuffer.get();
    const uint8_t* pixel = row;
    for (uint32_t x = 0; x < width; ++x, pixel += 4, out += 3) {
      out[0] = pixel[2];
      out[1] = pixel[1];
      out[2] = pixel[0];
    }
    if (!WriteBytes(rowBuffer.get(), outputBytes)) return false;
    row += image->rowBytes;
  }
  return true;
}
