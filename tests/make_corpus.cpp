// Makes the peer corpus: TIFF files written by libtiff and its tiffcp tool (stored and LZW, every
// depth the plug-in reads, odd sizes, in one strip and in several: tiffcp's default size, one row
// and seven rows; in tiles of sizes that rarely divide the image; LZW with horizontal
// differencing; files in FillOrder 2; red, green and blue with alpha), each with
// the pixels libtiff itself decodes from that file, laid out the way the plug-in hands them to the
// host (NAME.expect). Files of the kinds the plug-in refuses come with the reason it must give
// (NAME.reason).
//
//   make_corpus OUTPUT_FOLDER
#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tests/corpus_format.h"

namespace {

struct Source {
  const char* name;
  int bits;
  int samples;
  int width;
  int height;
  bool colourMap;
  int photometric = -1;  // -1: palette, grey or RGB as the samples say
  int extraSample = -1;  // the ExtraSamples value of the last sample, if it is one
};

// Files the plug-in refuses: a source written as it is (no options) or copied by tiffcp.
struct Refused {
  Source source;
  const char* options;
  const char* reason;
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
  const int photometric = source.photometric >= 0 ? source.photometric
                          : source.samples >= 3   ? PHOTOMETRIC_RGB
                          : source.colourMap      ? PHOTOMETRIC_PALETTE
                                                  : PHOTOMETRIC_MINISBLACK;
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, photometric);
  if (source.extraSample >= 0) {
    const uint16_t extra = static_cast<uint16_t>(source.extraSample);
    TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &extra);
  }
  // Whole samples, not subsampled: libtiff writes YCbCr scanlines only so.
  if (photometric == PHOTOMETRIC_YCBCR) TIFFSetField(tiff, TIFFTAG_YCBCRSUBSAMPLING, 1, 1);
  if (source.bits == 32) TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
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
        const int maximum = source.bits >= 16 ? 0xFFFF : (1 << source.bits) - 1;
        const uint32_t value = Sample(x, y, c, maximum);
        const int64_t bit = (int64_t{x} * source.samples + c) * source.bits;
        if (source.bits == 32) {
          const float level = static_cast<float>(value) / 65535.0f;
          std::memcpy(&row[bit / 8], &level, sizeof level);
        } else if (source.bits == 16) {
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
  std::vector<uint8_t> image(size_t{height} * fileRowBytes);
  if (TIFFIsTiled(tiff)) {
    // Every tile decoded on its own, its rows placed where they lie in the image and cut to it.
    // Tiles are a multiple of 16 pixels wide, so each starts on a byte.
    uint32_t tileWidth = 0, tileLength = 0;
    TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tileWidth);
    TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tileLength);
    const tmsize_t tileBytes = TIFFTileSize(tiff);
    const size_t tileRowBytes = TIFFTileRowSize(tiff);
    std::vector<uint8_t> tile(tileBytes);
    for (uint32_t top = 0; top < height; top += tileLength) {
      for (uint32_t left = 0; left < width; left += tileWidth) {
        if (TIFFReadEncodedTile(tiff, TIFFComputeTile(tiff, left, top, 0, 0), tile.data(),
                                tileBytes) != tileBytes)
          return false;
        const size_t at = size_t{left} * bits * samples / 8;
        const size_t length = std::min(tileRowBytes, fileRowBytes - at);
        for (uint32_t y = top; y < std::min(top + tileLength, height); ++y)
          std::memcpy(image.data() + y * fileRowBytes + at, tile.data() + (y - top) * tileRowBytes,
                      length);
      }
    }
  } else {
    // Every strip decoded on its own, its rows placed after the previous strip's.
    const uint32_t strips = TIFFNumberOfStrips(tiff);
    if (strips != (height + rowsPerStrip - 1) / rowsPerStrip) return false;
    for (uint32_t k = 0; k < strips; ++k) {
      const uint32_t rows = std::min(rowsPerStrip, height - k * rowsPerStrip);
      uint8_t* place = image.data() + size_t{k} * rowsPerStrip * fileRowBytes;
      if (TIFFReadEncodedStrip(tiff, k, place, rows * fileRowBytes) !=
          tmsize_t(rows * fileRowBytes))
        return false;
    }
  }

  ExpectedImage expected;
  expected.width = width;
  expected.height = height;
  const bool fullColour = bits == 16 || (bits == 8 && samples >= 3);
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
          // Red, green, blue; an alpha sample after them is dropped.
          const uint8_t* sample = in + samples * x;
          pixel = sample[0] << 16 | sample[1] << 8 | sample[2];
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

bool WriteText(const std::string& path, const std::string& text) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written;
}

// tiffcp's options for each file made from a source, by the suffix of its name.
std::vector<std::pair<std::string, std::string>> Variants(const Source& source) {
  // Besides one strip: tiffcp's default strip size (about 8 KB) where that makes several strips,
  // else strips of one and of seven rows, which rarely divide the height. Each depth thus has
  // both, and the corpus stays small. Tiles likewise: two sizes that do not divide the image,
  // larger ones for the large images (the largest more than the reader's 64 KiB piece).
  const int64_t dataBytes =
      (int64_t{source.width} * source.bits * source.samples + 7) / 8 * source.height;
  const bool large = dataBytes > 8192;
  const std::string oneStrip = " -r " + std::to_string(source.height);
  std::vector<std::pair<std::string, std::string>> strips = {{"", oneStrip}};
  if (large) {
    strips.push_back({"-strips", ""});
  } else {
    strips.push_back({"-rows1", " -r 1"});
    strips.push_back({"-rows7", " -r 7"});
  }
  const std::vector<std::pair<int, int>> tiles =
      large ? std::vector<std::pair<int, int>>{{64, 32}, {256, 256}}
            : std::vector<std::pair<int, int>>{{16, 16}, {32, 48}};
  const auto tiled = [](std::pair<int, int> size) {
    const std::string name = std::to_string(size.first) + "x" + std::to_string(size.second);
    return std::pair<std::string, std::string>{
        "-tiles" + name,
        " -t -w " + std::to_string(size.first) + " -l " + std::to_string(size.second)};
  };

  std::vector<std::pair<std::string, std::string>> variants;
  for (const char* compression : {"none", "lzw"}) {
    const std::string option = std::string(" -c ") + compression;
    for (const auto& [suffix, layout] : strips)
      variants.push_back({std::string("-") + compression + suffix, option + layout});
    for (const auto& size : tiles) {
      const auto [suffix, layout] = tiled(size);
      variants.push_back({std::string("-") + compression + suffix, option + layout});
    }
    // FillOrder 2: every byte of the file reversed, in one strip and in several where pixels
    // share a byte.
    variants.push_back(
        {std::string("-") + compression + "-fill2", option + oneStrip + " -f lsb2msb"});
    if (source.bits < 8)
      variants.push_back({std::string("-") + compression + "-fill2" + strips[1].first,
                          option + strips[1].second + " -f lsb2msb"});
  }
  // Horizontal differencing, for whole bytes and 16-bit values.
  if (source.bits >= 8) {
    variants.push_back({"-lzw2", " -c lzw:2" + oneStrip});
    variants.push_back({"-lzw2" + strips[1].first, " -c lzw:2" + strips[1].second});
    const auto [suffix, layout] = tiled(tiles[0]);
    variants.push_back({"-lzw2" + suffix, " -c lzw:2" + layout});
  }
  return variants;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_corpus OUTPUT_FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  const std::vector<Source> sources = {
      {"bilevel", 1, 1, 37, 23, false},
      {"bilevel-wide", 1, 1, 1203, 61, false},
      {"nibble-map", 4, 1, 15, 11, true},
      {"nibble-builtin", 4, 1, 13, 9, false},
      {"nibble-large", 4, 1, 333, 97, true},
      {"palette", 8, 1, 33, 17, true},
      {"grey-builtin", 8, 1, 31, 19, false},
      {"palette-large", 8, 1, 517, 211, true},
      {"rgb", 8, 3, 29, 21, false},
      {"rgb-large", 8, 3, 301, 203, false},
      {"rgba-associated", 8, 4, 23, 17, false, -1, EXTRASAMPLE_ASSOCALPHA},
      {"rgba-unassociated", 8, 4, 41, 9, false, -1, EXTRASAMPLE_UNASSALPHA},
      {"rgba-large", 8, 4, 300, 150, false, -1, EXTRASAMPLE_UNASSALPHA},
      {"words", 16, 1, 27, 13, false},
      {"words-large", 16, 1, 257, 190, false},
  };
  // One file of each kind that must be refused, and why.
  const std::vector<Refused> refused = {
      {{"refused-grey-alpha", 8, 2, 19, 7, false, PHOTOMETRIC_MINISBLACK, EXTRASAMPLE_UNASSALPHA},
       "",
       "2 samples per pixel"},
      {{"refused-cmyk", 8, 4, 19, 7, false, PHOTOMETRIC_SEPARATED}, "", "CMYK"},
      {{"refused-ycbcr", 8, 3, 19, 7, false, PHOTOMETRIC_YCBCR}, "", "YCbCr"},
      {{"refused-cielab", 8, 3, 19, 7, false, PHOTOMETRIC_CIELAB}, "", "CIELab"},
      {{"refused-icclab", 8, 3, 19, 7, false, PHOTOMETRIC_ICCLAB}, "", "ICCLab"},
      {{"refused-itulab", 8, 3, 19, 7, false, PHOTOMETRIC_ITULAB}, "", "ITULab"},
      {{"refused-words-rgb", 16, 3, 19, 7, false}, "", "3 samples per pixel"},
      {{"refused-nibbles-rgb", 4, 3, 19, 7, false}, "", "3 samples per pixel"},
      {{"refused-float", 32, 1, 19, 7, false}, " -c lzw:3", "32 bits per sample"},
      {{"refused-motorola", 8, 3, 19, 7, false}, " -B", "Motorola byte order"},
      {{"refused-bigtiff", 8, 3, 19, 7, false}, " -8", "BigTIFF"},
      {{"refused-packbits", 8, 1, 19, 7, true}, " -c packbits", "compression 32773"},
      {{"refused-planes", 8, 3, 19, 7, false}, " -p separate", "separate colour planes"},
  };
  if (!Run("mkdir -p '" + folder + "'")) return 1;
  for (const Source& source : sources) {
    const std::string base = folder + "/" + source.name;
    if (!WriteSource(source, base + "-source.tif")) return 1;
    for (const auto& [suffix, options] : Variants(source)) {
      const std::string name = base + suffix;
      if (!Run("tiffcp -L" + options + " '" + base + "-source.tif' '" + name + ".tif'")) return 1;
      if (!WriteExpectation(name + ".tif", name + ".expect")) {
        std::fprintf(stderr, "cannot decode %s.tif with libtiff\n", name.c_str());
        return 1;
      }
    }
    std::remove((base + "-source.tif").c_str());
  }
  for (const Refused& file : refused) {
    const std::string base = folder + "/" + file.source.name;
    if (*file.options == '\0') {
      if (!WriteSource(file.source, base + ".tif")) return 1;
    } else {
      if (!WriteSource(file.source, base + "-source.tif") ||
          !Run(std::string("tiffcp") + file.options + " '" + base + "-source.tif' '" + base +
               ".tif'"))
        return 1;
      std::remove((base + "-source.tif").c_str());
    }
    if (!WriteText(base + ".reason", file.reason)) return 1;
  }
  return 0;
}
