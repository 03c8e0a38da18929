#include "writer/tiff_encoder.h"

#include <new>

namespace {

// Offsets and counts in the file are 32-bit, and readers add the strip's offset and byte count.
constexpr uint64_t kLargestFileEnd = 0xFFFFFFFF;

}  // namespace

bool TTiffEncoder::WriteBytes(const void* bytes, size_t count) {
  return std::fwrite(bytes, 1, count, file) == count;
}

bool TTiffEncoder::Encode(const char* fileName, const HostImage* source) {
  // Everything that can refuse the image is decided before the file is created or emptied.
  if (source == nullptr) return false;
  const bool palette = source->kind == kPaletteImage;
  if (!palette && source->kind != kFullColourImage) return false;

  const uint64_t width = static_cast<uint32_t>(source->width);
  const uint64_t height = static_cast<uint32_t>(source->height);
  const uint64_t rowOutputBytes = (palette ? 1 : 3) * width;
  const uint64_t stripBytes = rowOutputBytes * height;
  const uint64_t stripOffset = palette ? PaletteStripOffset : FullColourStripOffset;
  if (stripBytes > kLargestFileEnd - stripOffset) return false;
  stripByteCount = static_cast<uint32_t>(stripBytes);

  // Palette rows go out straight from the image; full-colour rows are rearranged first. With no
  // rows the width is not bounded by the strip size, and no buffer is needed.
  static_assert(sizeof(size_t) >= sizeof(uint32_t));
  if (!palette && stripBytes > 0) {
    rowBuffer.reset(new (std::nothrow) uint8_t[static_cast<size_t>(rowOutputBytes)]);
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
  // Buffered bytes reach the disk only here, so a full disk may show up only now.
  if (std::fclose(file) != 0) written = false;
  file = nullptr;
  image = nullptr;
  rowBuffer.reset();
  return written;
}
