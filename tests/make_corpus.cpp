// Makes the peer corpus: TIFF files written by libtiff and its tiffcp tool (stored and LZW, every
// depth the plug-in reads, odd sizes, in one strip and in several: tiffcp's default size, one row
// and seven rows), each with the pixels libtiff itself decodes from that file, laid out the way
// the plug-in hands them to the host (NAME.expect).
//
//   make_corpus OUTPUT_FOLDER
#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "tests/corpus_format.h"

namespace {

struct Source {
  std::string name;
  int bits;
  int samples;
  int width;
  int height;
  bool colourMap;
};

uint32_t gSeed = 12345;
uint32_t Random() {
  gSeed = gSeed * 1103515245u + 12345u;
  return gSeed >> 8;
}

// A picture with smooth areas (long LZW strings) and a noisy band (table fills and clears).
uint32_t Sample(int x, int y, int channel, int maximum) {
  if (y % 16 >= 12) return Random() % (maximum + 1);
  return static_cast<uint32_t>((x * (channel + 1) + y * 3 + channel * 40) / 4) % (maximum + 1);
}

bool WriteSource(const Source& source, const std::string& path) {
  TIFF* tiff = TIFFOpen(path.c_str(), "wl");
  if (tiff == nullptr) return false;
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, source.width);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, source.height);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, source.bits);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, source.samples);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  const int photometric = source.samples == 3 ? PHOTOMETRIC_RGB
                          : source.colourMap  ? PHOTOMETRIC_PALETTE
                                              : PHOTOMETRIC_MINISBLACK;
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, photometric);
  std::vector<uint16_t> map(3 * 256);
  if (source.colourMap) {
    const int entries = 1 << source.bits;
    for (int i = 0; i < 3 * entries; ++i) map[i] = static_cast<uint16_t>(Random());
    TIFFSetField(tiff, TIFFTAG_COLORMAP, map.data(), map.data() + entries,
                 map.data() + 2 * entries);
  }
  const int64_t rowBytes = (int64_t{source.width} * source.bits * source.samples + 7) / 8;
  std::vector<uint8_t> row(rowBytes);
  for (int y = 0; y < source.height; ++y) {
    std::fill(row.begin(), row.end(), 0);
    for (int x = 0; x < source.width; ++x) {
      for (int c = 0; c < source.samples; ++c) {
        const int maximum = source.bits == 16 ? 0xFFFF : (1 << source.bits) - 1;
        const uint32_t value = Sample(x, y, c, maximum);
        const int64_t bit = (int64_t{x} * source.samples + c) * source.bits;
        if (source.bits == 16) {
          row[bit / 8] = value & 255;  // little-endian file
          row[bit / 8 + 1] = value >> 8;
        } else if (source.bits == 8) {
          row[bit / 8] = static_cast<uint8_t>(value);
        } else {
          row[bit / 8] |= value << (8 - source.bits - bit % 8);
        }
      }
    }
    if (TIFFWriteScanline(tiff, row.data(), y, 0) < 0) return false;
  }
  TIFFClose(tiff);
  return true;
}

// The pixels and palette the plug-in must produce, from what libtiff decodes.
bool WriteExpectation(const std::string& tiffPath, const std::string& expectPath) {
  TIFF* tiff = TIFFOpen(tiffPath.c_str(), "rc");  // "c": no strip chopping
  if (tiff == nullptr) return false;
  uint32_t width = 0, height = 0;
  uint16_t bits = 0, samples = 1;
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetField(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
  uint32_t rowsPerStrip = height;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
  rowsPerStrip = std::min(std::max(rowsPerStrip, 1u), height);
  const size_t fileRowBytes = TIFFScanlineSize(tiff);
  // Every strip decoded on its own, its rows placed after the previous strip's.
  std::vector<uint8_t> image(size_t{height} * fileRowBytes);
  const uint32_t strips = TIFFNumberOfStrips(tiff);
  if (strips != (height + rowsPerStrip - 1) / rowsPerStrip) return false;
  for (uint32_t k = 0; k < strips; ++k) {
    const uint32_t rows = std::min(rowsPerStrip, height - k * rowsPerStrip);
    uint8_t* place = image.data() + size_t{k} * rowsPerStrip * fileRowBytes;
    if (TIFFReadEncodedStrip(tiff, k, place, rows * fileRowBytes) != tmsize_t(rows * fileRowBytes))
      return false;
  }

  ExpectedImage expected;
  expected.width = width;
  expected.height = height;
  const bool fullColour = bits == 16 || (bits == 8 && samples == 3);
  expected.kind = fullColour ? 5 : 1;
  int rowPixels = width;  // output row in pixels, padding columns included
  if (bits == 1) rowPixels = (width + 7) / 8 * 8;
  if (bits == 4) rowPixels = (width + 1) / 2 * 2;
  expected.rowBytes = fullColour ? 4 * width : rowPixels;
  expected.pixels.assign(size_t{height} * expected.rowBytes, 0);
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* in = image.data() + y * fileRowBytes;
    uint8_t* out = expected.pixels.data() + size_t{y} * expected.rowBytes;
    for (int x = 0; x < rowPixels; ++x) {
      if (bits == 1) {
        out[x] = (in[x / 8] >> (7 - x % 8)) & 1;
      } else if (bits == 4) {
        out[x] = x % 2 == 0 ? in[x / 2] & 15 : in[x / 2] >> 4;  // low nibble first
      } else if (bits == 8 && samples == 1) {
        out[x] = in[x];
      } else {
        uint32_t pixel;
        if (bits == 8) {
          pixel = in[3 * x] << 16 | in[3 * x + 1] << 8 | in[3 * x + 2];
        } else {
          const uint32_t word = in[2 * x] | in[2 * x + 1] << 8;
          pixel = ((word >> 5) & 31) << 19 | ((word >> 10) & 31) << 11 | (word & 31) << 3;
        }
        for (int b = 0; b < 4; ++b) out[4 * x + b] = static_cast<uint8_t>(pixel >> (8 * b));
      }
    }
  }

  expected.paletteCount = bits == 1 ? 2 : bits == 4 ? 16 : bits == 8 ? 256 : 0;
  uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
  const bool hasMap = TIFFGetField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue) == 1;
  for (int i = 0; i < expected.paletteCount; ++i) {
    uint32_t r, g, b;
    if (bits == 1) {
      r = g = b = i == 0 ? 255 : 0;
    } else if (hasMap && bits == 4) {
      auto level = [](uint16_t v) { return ((v | v >> 4 | v >> 8 | v >> 12) & 15u) * 16; };
      r = level(red[i]), g = level(green[i]), b = level(blue[i]);
    } else if (hasMap) {
      auto level = [](uint16_t v) { return (v & 255u) | (v >> 8); };
      r = level(red[i]), g = level(green[i]), b = level(blue[i]);
    } else if (bits == 4) {
      static const uint8_t kLevels[16][3] = {
          {0, 0, 0},     {0, 0, 128},     {128, 0, 0},   {128, 0, 128},  {0, 128, 0}, {0, 128, 128},
          {128, 128, 0}, {128, 128, 128}, {64, 64, 64},  {0, 0, 240},    {240, 0, 0}, {240, 0, 240},
          {0, 240, 0},   {0, 240, 240},   {240, 240, 0}, {240, 240, 240}};
      r = kLevels[i][0], g = kLevels[i][1], b = kLevels[i][2];
    } else {
      const int gi = i >> 5, ri = (i >> 2) & 7, bi = i & 3;
      r = ri == 0 ? 0 : 32 * ri + 31;
      g = gi == 0 ? 0 : 32 * gi + 31;
      b = bi == 0 ? 0 : 64 * bi + 63;
    }
    expected.palette[i] = r << 16 | g << 8 | b;
  }
  TIFFClose(tiff);
  return WriteExpectedImage(expectPath, expected);
}

bool Run(const std::string& command) {
  if (std::system(command.c_str()) == 0) return true;
  std::fprintf(stderr, "failed: %s\n", command.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_corpus OUTPUT_FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  const std::vector<Source> sources = {
      {"bilevel", 1, 1, 37, 23, false},      {"bilevel-wide", 1, 1, 1203, 61, false},
      {"nibble-map", 4, 1, 15, 11, true},    {"nibble-builtin", 4, 1, 13, 9, false},
      {"nibble-large", 4, 1, 333, 97, true}, {"palette", 8, 1, 33, 17, true},
      {"grey-builtin", 8, 1, 31, 19, false}, {"palette-large", 8, 1, 517, 211, true},
      {"rgb", 8, 3, 29, 21, false},          {"rgb-large", 8, 3, 301, 203, false},
      {"words", 16, 1, 27, 13, false},       {"words-large", 16, 1, 257, 190, false},
  };
  if (!Run("mkdir -p '" + folder + "'")) return 1;
  for (const Source& source : sources) {
    const std::string base = folder + "/" + source.name;
    if (!WriteSource(source, base + "-source.tif")) return 1;
    // Name suffix and tiffcp's rows-per-strip option. Besides one strip: tiffcp's default strip
    // size (about 8 KB) where that makes several strips, else strips of one and of seven rows,
    // which rarely divide the height. Each depth thus has both, and the corpus stays small.
    std::vector<std::pair<std::string, std::string>> layouts = {
        {"", " -r " + std::to_string(source.height)}};
    const int64_t dataBytes =
        (int64_t{source.width} * source.bits * source.samples + 7) / 8 * source.height;
    if (dataBytes > 8192) {
      layouts.push_back({"-strips", ""});
    } else {
      layouts.push_back({"-rows1", " -r 1"});
      layouts.push_back({"-rows7", " -r 7"});
    }
    for (const char* compression : {"none", "lzw"}) {
      for (const auto& [suffix, rowsOption] : layouts) {
        const std::string name = base + "-" + compression + suffix;
        if (!Run("tiffcp -L -c " + std::string(compression) + rowsOption + " '" + base +
                 "-source.tif' '" + name + ".tif'"))
          return 1;
        if (!WriteExpectation(name + ".tif", name + ".expect")) {
          std::fprintf(stderr, "cannot decode %s.tif with libtiff\n", name.c_str());
          return 1;
        }
      }
    }
    std::remove((base + "-source.tif").c_str());
  }
  return 0;
}
