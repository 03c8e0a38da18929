// The expectation files of the peer corpus: an image as the plug-in must hand it to the host.
// Little-endian int32 kind, width, height, rowBytes, paletteCount; 256 uint32 palette entries;
// then height x rowBytes pixel bytes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct ExpectedImage {
  int32_t kind = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t rowBytes = 0;
  int32_t paletteCount = 0;
  uint32_t palette[256] = {};
  std::vector<uint8_t> pixels;
};

inline bool WriteExpectedImage(const std::string& path, const ExpectedImage& image) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const int32_t fields[] = {image.kind, image.width, image.height, image.rowBytes,
                            image.paletteCount};
  bool written =
      std::fwrite(fields, sizeof fields, 1, file) == 1 &&
      std::fwrite(image.palette, sizeof image.palette, 1, file) == 1 &&
      std::fwrite(image.pixels.data(), 1, image.pixels.size(), file) == image.pixels.size();
  return std::fclose(file) == 0 && written;
}

inline bool ReadExpectedImage(const std::string& path, ExpectedImage& image) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  int32_t fields[5] = {};
  bool read = std::fread(fields, sizeof fields, 1, file) == 1 &&
              std::fread(image.palette, sizeof image.palette, 1, file) == 1;
  if (read) {
    image.kind = fields[0], image.width = fields[1], image.height = fields[2];
    image.rowBytes = fields[3], image.paletteCount = fields[4];
    image.pixels.resize(size_t(image.height) * size_t(image.rowBytes));
    read = std::fread(image.pixels.data(), 1, image.pixels.size(), file) == image.pixels.size();
  }
  std::fclose(file);
  return read;
}
