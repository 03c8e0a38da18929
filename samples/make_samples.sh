#!/usr/bin/env bash
# Remakes the sample TIFF files in this folder. The program below draws each picture and writes
# it as a plain stored TIFF file, byte by byte; libtiff's tiffcp compresses the LZW ones (one
# strip, little-endian). Needs g++ and libtiff-tools. The output is the same on every run.
#
#   towns-colour16-lzw.tif   192 x 144, 16-bit colour words of the FM-TOWNS (5 bits each of
#                            green, red and blue), LZW
#   builtin-16colours.tif    160 x 100, 4-bit without a colour map: the built-in 16 colours
#   palette-8bit-lzw.tif     200 x 150, 8-bit with a colour map, LZW
#   rgb-24bit.tif            160 x 120, 24-bit RGB, stored
#   bilevel-odd-width.tif    101 x 64, 1-bit, stored
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/draw.cpp" <<'PROGRAM'
// Draws the sample pictures with integer and basic floating-point arithmetic only (no library
// functions whose results could differ between systems) and writes them as stored TIFF files.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Entry {
  uint16_t tag, type;
  uint32_t count;
  std::vector<uint8_t> value;
};

void Put(std::vector<uint8_t>& bytes, uint32_t value, int size) {
  for (int i = 0; i < size; ++i) bytes.push_back(static_cast<uint8_t>(value >> 8 * i));
}

Entry Shorts(uint16_t tag, std::vector<uint32_t> values) {
  Entry entry{tag, 3, static_cast<uint32_t>(values.size()), {}};
  for (uint32_t value : values) Put(entry.value, value, 2);
  return entry;
}

Entry Long(uint16_t tag, uint32_t value) {
  Entry entry{tag, 4, 1, {}};
  Put(entry.value, value, 4);
  return entry;
}

Entry Rational(uint16_t tag, uint32_t numerator, uint32_t denominator) {
  Entry entry{tag, 5, 1, {}};
  Put(entry.value, numerator, 4);
  Put(entry.value, denominator, 4);
  return entry;
}

// One directory, its long values behind it, then the strip. Tags go in ascending order.
bool WriteTiff(const std::string& path, int width, int height, std::vector<uint32_t> bits,
               int photometric, const std::vector<uint8_t>& strip,
               const std::vector<uint32_t>& colourMap = {}) {
  std::vector<Entry> entries = {
      Shorts(256, {static_cast<uint32_t>(width)}),
      Shorts(257, {static_cast<uint32_t>(height)}),
      Shorts(258, bits),
      Shorts(259, {1}),
      Shorts(262, {static_cast<uint32_t>(photometric)}),
      Long(273, 0),  // filled in below
      Shorts(277, {static_cast<uint32_t>(bits.size())}),
      Long(278, static_cast<uint32_t>(height)),
      Long(279, static_cast<uint32_t>(strip.size())),
      Rational(282, 72, 1),
      Rational(283, 72, 1),
      Shorts(284, {1}),
  };
  if (!colourMap.empty()) entries.push_back(Shorts(320, colourMap));
  const uint32_t directoryEnd = static_cast<uint32_t>(8 + 2 + 12 * entries.size() + 4);
  uint32_t valuesEnd = directoryEnd;
  for (const Entry& entry : entries) {
    if (entry.value.size() > 4) valuesEnd += static_cast<uint32_t>(entry.value.size());
  }
  entries[5] = Long(273, valuesEnd);

  std::vector<uint8_t> file = {'I', 'I', 42, 0};
  Put(file, 8, 4);
  Put(file, static_cast<uint32_t>(entries.size()), 2);
  std::vector<uint8_t> values;
  for (const Entry& entry : entries) {
    Put(file, entry.tag, 2);
    Put(file, entry.type, 2);
    Put(file, entry.count, 4);
    if (entry.value.size() > 4) {
      Put(file, directoryEnd + static_cast<uint32_t>(values.size()), 4);
      values.insert(values.end(), entry.value.begin(), entry.value.end());
    } else {
      std::vector<uint8_t> field = entry.value;
      field.resize(4, 0);
      file.insert(file.end(), field.begin(), field.end());
    }
  }
  Put(file, 0, 4);  // no next directory
  file.insert(file.end(), values.begin(), values.end());
  file.insert(file.end(), strip.begin(), strip.end());

  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
  return std::fclose(out) == 0 && written;
}

int Clamp(int value) { return std::clamp(value, 0, 255); }

// Evening over the sea: a sky from blue to orange, a sun, two ranges of hills and the sun's
// reflection on the water. 15-bit colour words: blue in bits 0-4, red in 5-9, green in 10-14.
std::vector<uint8_t> DrawSunset(int width, int height) {
  std::vector<uint8_t> strip;
  const int horizon = height * 5 / 8;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      int red, green, blue;
      const int dx = x - width * 2 / 3;
      const int dy = y - horizon + 14;
      const bool sun = dx * dx + dy * dy < 16 * 16;
      // A far range of peaks and one near hill, both standing on the horizon.
      const int peak = (x * 7 / 5) % 40;
      const int far = horizon - (peak < 20 ? peak : 40 - peak) / 2 - 4;
      const int near = horizon - std::max(0, 30 - (x - 40) * (x - 40) / 40);
      if (y < horizon) {
        red = 40 + 200 * y / horizon;
        green = 40 + 110 * y / horizon;
        blue = 180 - 120 * y / horizon;
        if (sun) red = 255, green = 230, blue = 120;
        if (y > far) red = 120, green = 70, blue = 110;
        if (y > near) red = 60, green = 40, blue = 70;
      } else {
        const int depth = y - horizon;
        red = 30 + depth;
        green = 40 + depth / 2;
        blue = 120 - depth;
        const bool glitter = dx * dx < (8 + depth) * (8 + depth) / 4 && (y / 3 + x / 5) % 3 == 0;
        if (glitter) red = 250, green = 200, blue = 110;
      }
      const uint32_t word = (Clamp(green) >> 3) << 10 | (Clamp(red) >> 3) << 5 | Clamp(blue) >> 3;
      Put(strip, word, 2);
    }
  }
  return strip;
}

// Bars of the sixteen built-in colours above a checkerboard of all of them. The plug-in takes
// the low nibble of a byte as the left pixel.
std::vector<uint8_t> DrawColourBars(int width, int height) {
  std::vector<uint8_t> strip;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; x += 2) {
      uint8_t pair[2];
      for (int i = 0; i < 2; ++i) {
        const int column = x + i;
        pair[i] = y < height / 2 ? static_cast<uint8_t>(column * 16 / width)
                                 : static_cast<uint8_t>((column / 10 + y / 10) % 16);
      }
      strip.push_back(static_cast<uint8_t>(pair[0] | pair[1] << 4));
    }
  }
  return strip;
}

// The Mandelbrot set: the escape time picks the palette index.
std::vector<uint8_t> DrawMandelbrot(int width, int height) {
  std::vector<uint8_t> strip;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double cr = -2.2 + 3.0 * x / width;
      const double ci = -1.125 + 2.25 * y / height;
      double zr = 0, zi = 0;
      int steps = 0;
      while (steps < 255 && zr * zr + zi * zi < 4) {
        const double next = zr * zr - zi * zi + cr;
        zi = 2 * zr * zi + ci;
        zr = next;
        ++steps;
      }
      strip.push_back(static_cast<uint8_t>(steps == 255 ? 0 : steps));
    }
  }
  return strip;
}

// Black inside the set, then from dark blue through white to orange; 16-bit map values.
std::vector<uint32_t> MandelbrotMap() {
  std::vector<uint32_t> red, green, blue;
  for (int i = 0; i < 256; ++i) {
    const int t = (i * 8) % 256;
    int r = t < 128 ? t : 255;
    int g = t < 128 ? t * 2 : 255 - (t - 128);
    int b = t < 128 ? 128 + t : 255 - 2 * (t - 128);
    if (i == 0) r = g = b = 0;
    red.push_back(Clamp(r) * 257);
    green.push_back(Clamp(g) * 257);
    blue.push_back(Clamp(b) * 257);
  }
  std::vector<uint32_t> map = red;
  map.insert(map.end(), green.begin(), green.end());
  map.insert(map.end(), blue.begin(), blue.end());
  return map;
}

// A lit ball on a graded floor with a little grain: many colours, like a photograph.
std::vector<uint8_t> DrawBall(int width, int height) {
  std::vector<uint8_t> strip;
  uint32_t seed = 2024;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      seed = seed * 1103515245u + 12345u;
      const int grain = static_cast<int>(seed >> 16) % 9 - 4;
      int red = 90 + x / 2, green = 110 + y / 3, blue = 160 - y / 2;
      const double nx = (x - 80.0) / 44, ny = (y - 56.0) / 44;
      const double inside = 1 - nx * nx - ny * ny;
      if (inside > 0) {
        // Lambert shading for a light from the upper left; the ball's depth is the square root
        // of `inside`, reached by Newton's steps so no library function is needed.
        double depth = 1;
        for (int i = 0; i < 20; ++i) depth = (depth + inside / depth) / 2;
        const double light = std::max(0.0, (-0.5 * nx - 0.6 * ny + 0.62 * depth));
        red = static_cast<int>(40 + 215 * light);
        green = static_cast<int>(20 + 120 * light);
        blue = static_cast<int>(30 + 60 * light);
      } else if (y > 96) {
        const int shadow = (x - 90) * (x - 90) / 4 + (y - 104) * (y - 104);
        if (shadow < 400) red -= 50, green -= 50, blue -= 40;
      }
      strip.push_back(static_cast<uint8_t>(Clamp(red + grain)));
      strip.push_back(static_cast<uint8_t>(Clamp(green + grain)));
      strip.push_back(static_cast<uint8_t>(Clamp(blue + grain)));
    }
  }
  return strip;
}

// Rings around the centre, cut by a diagonal band; bit 7 of a byte is the leftmost pixel and
// each row starts on a byte boundary, so the odd width leaves three spare bits per row.
std::vector<uint8_t> DrawRings(int width, int height) {
  std::vector<uint8_t> strip;
  const int rowBytes = (width + 7) / 8;
  for (int y = 0; y < height; ++y) {
    std::vector<uint8_t> row(rowBytes, 0);
    for (int x = 0; x < width; ++x) {
      const int dx = x - width / 2, dy = y - height / 2;
      int radius = 0;
      while ((radius + 1) * (radius + 1) <= dx * dx + dy * dy) ++radius;
      const int ring = radius / 4;
      const bool band = (x + y) % 32 < 6;
      if ((ring % 2 == 0) != band) row[x / 8] |= static_cast<uint8_t>(0x80 >> x % 8);
    }
    strip.insert(strip.end(), row.begin(), row.end());
  }
  return strip;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string folder = argv[1];
  const bool written =
      WriteTiff(folder + "/sunset-source.tif", 192, 144, {16}, 1, DrawSunset(192, 144)) &&
      WriteTiff(folder + "/builtin-16colours.tif", 160, 100, {4}, 1, DrawColourBars(160, 100)) &&
      WriteTiff(folder + "/mandelbrot-source.tif", 200, 150, {8}, 3, DrawMandelbrot(200, 150),
                MandelbrotMap()) &&
      WriteTiff(folder + "/rgb-24bit.tif", 160, 120, {8, 8, 8}, 2, DrawBall(160, 120)) &&
      WriteTiff(folder + "/bilevel-odd-width.tif", 101, 64, {1}, 0, DrawRings(101, 64));
  return written ? 0 : 1;
}
PROGRAM

g++ -std=c++20 -O2 -Wall -Wextra -o "$work/draw" "$work/draw.cpp"
"$work/draw" "$work"
tiffcp -L -c lzw -r 144 "$work/sunset-source.tif" "$here/towns-colour16-lzw.tif"
tiffcp -L -c lzw -r 150 "$work/mandelbrot-source.tif" "$here/palette-8bit-lzw.tif"
for name in builtin-16colours rgb-24bit bilevel-odd-width; do
  cp "$work/$name.tif" "$here/$name.tif"
done
echo "samples written to $here"
