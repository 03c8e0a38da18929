// RgbImage: a picture as the tool holds it on its way to or from the plug-in: rows top first,
// three bytes per pixel (red, green, blue), no padding between rows.
#pragma once

#include <cstdint>
#include <vector>

struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // width x height x 3 bytes
  // Read from a picture with pixels that were not opaque: their colours are kept as they are.
  bool transparent = false;
};
