// Colours of a picture and the palettes the tool maps them to: the colour histogram, the fixed
// 256-colour Windows palette, and nearest-colour lookup. A colour is the word 0x00RRGGBB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/rgb_image.h"

struct ColourCount {
  uint32_t colour;
  uint64_t count;
};

inline uint32_t ColourAt(const RgbImage& image, size_t pixel) {
  const uint8_t* rgb = image.pixels.data() + 3 * pixel;
  return uint32_t{rgb[0]} << 16 | uint32_t{rgb[1]} << 8 | rgb[2];
}

// Every colour of the picture once, in ascending order, with the number of its pixels.
std::vector<ColourCount> ColourHistogram(const RgbImage& image);

// The 20 static colours of the Windows system palette at 0-9 and 246-255, the 6x6x6 colour
// cube, and 20 grey levels between them.
std::vector<uint32_t> WindowsPalette();

// Finds the palette entry nearest to a colour (least squared distance in RGB; the lowest index
// among equals). Remembers recent answers, since pictures repeat their colours.
class NearestColour {
 public:
  explicit NearestColour(const std::vector<uint32_t>& palette);
  uint8_t Find(uint32_t colour);

 private:
  uint8_t Search(uint32_t colour) const;

  struct Entry {
    int green, red, blue;
    uint8_t index;
  };
  std::vector<Entry> byGreen;  // the palette sorted by green, so a search can stop early
  static constexpr size_t kCacheSize = size_t{1} << 16;
  std::vector<uint32_t> cachedColour;
  std::vector<uint8_t> cachedIndex;
};
