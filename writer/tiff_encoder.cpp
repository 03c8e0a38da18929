#include "writer/tiff_encoder.h"

#include <new>

namespace {

// Offsets and counts in the file are 32-bit, and readers add the strip's offset and byte count.
constexpr uint64_t kLargestFileEnd = 0xFFFFFFFF;

bool IsPalette(const HostImage& image) {
  return image.kind == kPaletteImage;
}

uint64_t RowOutputBytes(const HostImage& image) {
  return (IsPalette(image) ? 1 : 3) * uint64_t{static_cast<uint32_t>(image.width)};
}

uint64_t StripBytes(const HostImage& image) {
  return RowOutputBytes(image) * static_cast<uint32_t>(image.height);
}

}  // namespace

bool TTiffEncoder::CanWrite(const HostImage* image) {
  if (image == nullptr) return false;
  if (image->kind != kPaletteImage && image->kind != kFullColourImage) return false;
  const uint64_t stripOffset = IsPalette(*image) ? PaletteStripOffset : FullColourStripOffset;
  if (StripBytes(*image) > kLargestFileEnd - stripOffset) return false;
  if (IsPalette(*image) && image->palette == nullptr) return false;
  const bool hasPixels = image->width != 0 && image->height != 0;
  return !hasPixels || image->pixels != nullptr;
}

bool TTiffEncoder::WriteBytes(const void* bytes, size_t count) {
  return std::fwrite(bytes, 1, count, file) == count;
}

bool TTiffEncoder::Encode(const char* fileName, const HostImage* source) {
  // Everything that can refuse the image is decided before the file is created or emptied.
  if (!CanWrite(source)) return false;
  const bool palette = IsPalette(*source);
  const uint64_t stripBytes = StripBytes(*source);
  stripByteCount = static_cast<uint32_t>(stripBytes);

  // Palette rows go out straight from the image; full-colour rows are rearranged first. With no
  // rows the width is not bounded by the strip size, and no buffer is needed.
  static_assert(sizeof(size_t) >= sizeof(uint32_t));
  if (!palette && stripBytes > 0) {
    rowBuffer.reset(new (std::nothrow) uint8_t[static_cast<size_t>(RowOutputBytes(*source))]);
    if (!rowBuffer) return false;
  }

  file = std::fopen(fileName != nullptr ? fileName : "", "wb");
  if (file == nullptr) {
    rowBuffer.reset();
    return false;
  }
  image = source;
  bool written = palette ? WritePaletteDirectory() && WritePaletteRows()
                         : WriteFullColourDirectory() && WriteFullColourRows();
  // Buffered bytes reach the disk only here, so a full disk may show up only now. The flush is
  // asked for on its own: Wine's C library loses its error when fclose does it.
  if (std::fflush(file) != 0) written = false;
  if (std::fclose(file) != 0) written = false;
  file = nullptr;
  image = nullptr;
  rowBuffer.reset();
  return written;
}
