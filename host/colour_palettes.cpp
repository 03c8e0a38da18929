#include "host/colour_palettes.h"

#include <algorithm>

#include "host/terminal.h"

std::vector<ColourCount> ColourHistogram(const RgbImage& image) {
  const size_t count = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
  std::vector<ColourCount> histogram;
  // A small picture sorts its colours; a large one counts them in a table of every colour
  // (64 MiB), one pass over the pixels instead of a sort that took seconds. Pixels number less
  // than 2^32, so each count fits 32 bits.
  constexpr size_t kCountedFrom = size_t{1} << 20;
  constexpr size_t kPixelsBetweenLooks = size_t{1} << 16;
  if (count < kCountedFrom) {
    std::vector<uint32_t> colours(count);
    for (size_t i = 0; i < count; ++i) colours[i] = ColourAt(image, i);
    std::sort(colours.begin(), colours.end());
    for (size_t i = 0; i < count;) {
      size_t end = i + 1;
      while (end < count && colours[end] == colours[i]) ++end;
      histogram.push_back({colours[i], end - i});
      i = end;
    }
    return histogram;
  }
  std::vector<uint32_t> counts(size_t{1} << 24, 0);
  for (size_t i = 0; i < count; ++i) {
    // A stop leaves the histogram empty; the command then stops.
    if (i % kPixelsBetweenLooks == 0 && Interrupted()) return {};
    ++counts[ColourAt(image, i)];
  }
  for (uint32_t colour = 0; colour < counts.size(); ++colour) {
    if (counts[colour] != 0) histogram.push_back({colour, counts[colour]});
  }
  return histogram;
}

std::vector<uint32_t> WindowsPalette() {
  static constexpr uint32_t kFirstStatic[10] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080,
                                                0x800080, 0x008080, 0xC0C0C0, 0xC0DCC0, 0xA6CAF0};
  static constexpr uint32_t kLastStatic[10] = {0xFFFBF0, 0xA0A0A4, 0x808080, 0xFF0000, 0x00FF00,
                                               0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
  std::vector<uint32_t> palette(kFirstStatic, kFirstStatic + 10);
  for (uint32_t red = 0; red < 6; ++red) {
    for (uint32_t green = 0; green < 6; ++green) {
      for (uint32_t blue = 0; blue < 6; ++blue) {
        palette.push_back(51 * red << 16 | 51 * green << 8 | 51 * blue);
      }
    }
  }
  // Twenty greys evenly between black and white; none falls on a cube or static grey.
  for (uint32_t step = 1; step <= 20; ++step) {
    const uint32_t level = (255 * step + 10) / 21;
    palette.push_back(level << 16 | level << 8 | level);
  }
  palette.insert(palette.end(), kLastStatic, kLastStatic + 10);
  return palette;
}

NearestColour::NearestColour(const std::vector<uint32_t>& palette)
    : cachedColour(kCacheSize, 0xFFFFFFFF), cachedIndex(kCacheSize, 0) {
  for (size_t i = 0; i < palette.size() && i < 256; ++i) {
    const uint32_t colour = palette[i];
    byGreen.push_back({static_cast<int>(colour >> 8 & 255), static_cast<int>(colour >> 16 & 255),
                       static_cast<int>(colour & 255), static_cast<uint8_t>(i)});
  }
  std::stable_sort(byGreen.begin(), byGreen.end(),
                   [](const Entry& a, const Entry& b) { return a.green < b.green; });
}

uint8_t NearestColour::Find(uint32_t colour) {
  const size_t slot = (colour * 2654435761u) >> 16 & (kCacheSize - 1);
  if (cachedColour[slot] != colour) {
    cachedColour[slot] = colour;
    cachedIndex[slot] = Search(colour);
  }
  return cachedIndex[slot];
}

uint8_t NearestColour::Search(uint32_t colour) const {
  const int red = colour >> 16 & 255;
  const int green = colour >> 8 & 255;
  const int blue = colour & 255;
  int bestDistance = 1 << 30;
  uint8_t best = 0;
  auto consider = [&](const Entry& entry) {
    const int distance = (entry.red - red) * (entry.red - red) +
                         (entry.green - green) * (entry.green - green) +
                         (entry.blue - blue) * (entry.blue - blue);
    if (distance < bestDistance || (distance == bestDistance && entry.index < best)) {
      bestDistance = distance;
      best = entry.index;
    }
  };
  // Walk outwards from the entries of the same green; an entry whose green alone is farther
  // than the best distance so far cannot win, and neither can any beyond it.
  const auto start = std::lower_bound(byGreen.begin(), byGreen.end(), green,
                                      [](const Entry& e, int value) { return e.green < value; });
  const size_t middle = static_cast<size_t>(start - byGreen.begin());
  for (size_t i = middle; i < byGreen.size(); ++i) {
    const int gap = byGreen[i].green - green;
    if (gap * gap > bestDistance) break;
    consider(byGreen[i]);
  }
  for (size_t i = middle; i-- > 0;) {
    const int gap = green - byGreen[i].green;
    if (gap * gap > bestDistance) break;
    consider(byGreen[i]);
  }
  return best;
}
