// One image through the encoder and back through the decoder: a refused image leaves an existing
// file exactly as it was; a written one reads back with the same size, palette and pixels for
// the rows written before any stop, and zeros after it.
#include "fuzz/writer_harness.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "reader/tiff_decoder.h"
#include "writer/tiff_encoder.h"

namespace {

constexpr char kKeep[] = "an existing file";

int32_t gStopRow = 0;
int32_t VARNELTIFF_CALLBACK StopAtRow(int32_t row) {
  return row == gStopRow ? 1 : 0;
}

int32_t SideOf(uint8_t choice) {
  switch (choice) {
    case 255:
      return 2147483647;
    case 254:
      return -1;  // 2^32 - 1 as the writer reads it
    case 253:
      return 65536;
    default:
      return choice % 64;
  }
}

bool ExistingFileKept(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  char bytes[sizeof kKeep + 1] = {};
  const size_t got = std::fread(bytes, 1, sizeof bytes, file);
  std::fclose(file);
  return got == sizeof kKeep - 1 && std::memcmp(bytes, kKeep, got) == 0;
}

}  // namespace

std::string CheckWrite(const uint8_t* data, size_t size, const std::string& path) {
  if (size < 6) return {};
  const int32_t kind = data[0] % 3 == 0 ? 1 : data[0] % 3 == 1 ? 5 : data[0];
  const int32_t width = SideOf(data[1]);
  const int32_t height = SideOf(data[2]);
  const int pixelBytes = kind == 5 ? 4 : 1;
  const uint8_t* fill = data + 5;
  const size_t fillSize = size - 5;

  // Pixels exist only for geometries small enough to hold; others have no rows or are refused.
  const bool small = width >= 0 && width < 64 && height >= 0 && height < 64;
  const int32_t rowBytes = small ? width * pixelBytes + (data[3] % 16) * pixelBytes : 0;
  std::vector<uint8_t> pixels(small ? size_t(rowBytes) * size_t(height) + 1 : 1);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = fill[i % fillSize];
  uint32_t palette[256];
  for (int i = 0; i < 256; ++i) {
    palette[i] = uint32_t(fill[(3 * i) % fillSize]) << 16 |
                 uint32_t(fill[(3 * i + 1) % fillSize]) << 8 | fill[(3 * i + 2) % fillSize];
  }
  // Null pointers where the record may carry them: the writer must refuse what it would read.
  const bool noPixels = (data[3] & 0x40) != 0;
  const bool noPalette = (data[3] & 0x80) != 0;
  HostImage image = {kind, pixels.data(), rowBytes, width, height, palette, 256};
  if (noPixels) image.pixels = nullptr;
  if (noPalette) image.palette = nullptr;

  {
    std::FILE* existing = std::fopen(path.c_str(), "wb");
    if (existing == nullptr) return "the scratch file cannot be made";
    std::fputs(kKeep, existing);
    std::fclose(existing);
  }
  gStopRow = data[4];
  TTiffEncoder encoder;
  encoder.progress = data[4] != 0 ? StopAtRow : nullptr;
  const uint64_t stripBytes = uint64_t(uint32_t(width)) * uint32_t(height) * (kind == 5 ? 3 : 1);
  // The strip must end within 32-bit file offsets.
  const uint64_t stripOffset =
      kind == 1 ? TTiffEncoder::PaletteStripOffset : TTiffEncoder::FullColourStripOffset;
  const bool shouldWrite = (kind == 1 || kind == 5) && stripBytes <= 0xFFFFFFFFu - stripOffset &&
                           !(kind == 1 && noPalette) && !(noPixels && width != 0 && height != 0);
  if (!small && shouldWrite && stripBytes != 0) return {};  // rows the test cannot hold
  const bool written = encoder.Encode(path.c_str(), &image);
  if (written != shouldWrite)
    return written ? "the writer took an image it should refuse" : "the writer refused an image";
  if (!written) return ExistingFileKept(path) ? std::string() : "a refused image harmed the file";

  TTiffDecoder decoder;
  const bool read = decoder.Decode(path.c_str());
  if (width < 1 || height < 1 || width > 32767 || height > 32767) {
    return read ? "a file of an empty image was read" : "";
  }
  if (!read) return "a written file was refused";
  if (decoder.outWidth != width || decoder.outHeight != height || decoder.fullColour != (kind == 5))
    return "a written file read back with another geometry";
  // Rows before the stop are written; the directory still names the whole image.
  const int32_t rowsWritten = data[4] != 0 && data[4] <= height ? data[4] - 1 : height;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      for (int b = 0; b < pixelBytes; ++b) {
        const uint8_t got = decoder.pixels[size_t(y) * decoder.outRowBytes + x * pixelBytes + b];
        uint8_t want = y < rowsWritten ? pixels[size_t(y) * rowBytes + x * pixelBytes + b] : 0;
        if (b == 3) want = 0;
        if (got != want)
          return "pixel " + std::to_string(x) + "," + std::to_string(y) + " read back wrong";
      }
    }
  }
  if (kind == 1) {
    for (int i = 0; i < 256; ++i) {
      if (decoder.palette[i] != palette[i]) return "palette entry " + std::to_string(i) + " lost";
    }
  }
  return {};
}
