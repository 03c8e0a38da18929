// TTiffEncoder: writes one host image as an uncompressed little-endian TIFF file (8-bit palette
// colour with a colour map, or 24-bit RGB), all pixels in one strip. One object per export call.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "writer/host_image.h"

// Host callbacks use the Win32 standard calling convention on the 32-bit target.
#if defined(_WIN32) && !defined(_WIN64)
#define VARNELTIFF_CALLBACK __stdcall
#else
#define VARNELTIFF_CALLBACK
#endif

// Called before each pixel row with the 1-based number of that row; a result other than 0 stops
// the writing, which still counts as success.
using ProgressSink = int32_t(VARNELTIFF_CALLBACK*)(int32_t row);

class TTiffEncoder {
 public:
  TTiffEncoder() = default;
  virtual ~TTiffEncoder() = default;
  TTiffEncoder(const TTiffEncoder&) = delete;
  TTiffEncoder& operator=(const TTiffEncoder&) = delete;

  // The write pass. False when CanWrite refuses the image (an existing file is then left
  // untouched), when the file cannot be created, or when a write fails. A null name counts as
  // the empty name.
  bool Encode(const char* fileName, const HostImage* image);

  // Whether the write pass takes the image: not null, of the palette or the full-colour kind,
  // with a strip that ends within 32-bit file offsets, a palette if it is a palette image (its
  // colour map is always written), and pixels if it has any (a null pointer is never read).
  static bool CanWrite(const HostImage* image);

  // Null: no progress is reported and the writing is never stopped.
  ProgressSink progress = nullptr;

  // Everything before the first pixel byte: the strip starts here in each layout.
  static constexpr uint32_t PaletteStripOffset = 1758;
  static constexpr uint32_t FullColourStripOffset = 222;

 private:
  // Used only by Encode on the open file: a directory writer, then the row writer of the same
  // kind. Each returns false when a write failed; a stop asked for by `progress` is no failure.
  bool WritePaletteDirectory();
  bool WriteFullColourDirectory();
  bool WritePaletteRows();
  bool WriteFullColourRows();

  bool WriteBytes(const void* bytes, size_t count);
  bool StopAsked(uint32_t rowIndex) const;
  bool NothingToWrite() const;

  std::FILE* file = nullptr;
  const HostImage* image = nullptr;
  uint32_t stripByteCount = 0;
  // One output row of a full-colour image (3 bytes per pixel), reused for every row.
  std::unique_ptr<uint8_t[]> rowBuffer;
};
