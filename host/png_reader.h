// PNG pictures read with zlib a row at a time, straight into RGB: every colour type, bit depth
// and interlacing PNG defines, without holding the file or its pixel data in memory.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host/rgb_image.h"

// Told after each row how much of the picture is read, 0 to 1.
using ReadProgress = void (*)(double done);

// True when `bytes` start with the eight bytes every PNG starts with.
bool IsPngSignature(const uint8_t* bytes, size_t size);

// One PNG file, read in two steps so that its size can be checked before its pixels are read.
// Any failure is final, with a reason in plain words.
class PngReader {
 public:
  // `file` is positioned just past the signature; it stays the caller's.
  explicit PngReader(std::FILE* file) : file(file) {}
  ~PngReader();
  PngReader(const PngReader&) = delete;
  PngReader& operator=(const PngReader&) = delete;

  // The chunks up to the first pixel data: the header, the palette and the transparency.
  bool ReadHeader(std::string& error);
  int Width() const { return static_cast<int>(width); }
  int Height() const { return static_cast<int>(height); }
  // The pixels, into `image` (width x height x 3 bytes, allocated here; std::bad_alloc when
  // that much memory cannot be had). A Ctrl-C (Interrupted()) ends it early with false.
  bool ReadPixels(RgbImage& image, ReadProgress progress, std::string& error);

 private:
  bool ReadExact(uint8_t* out, size_t size);
  bool NextChunk();
  bool FinishChunk(bool critical);
  bool ReadChunkData(std::vector<uint8_t>& data);
  bool Skip(uint64_t size);
  bool FillRow(uint8_t* out, size_t size);
  void ConvertRow(const uint8_t* raw, uint32_t count, uint8_t* rgb);
  bool Fail(const std::string& reason);

  std::FILE* file;
  std::string failure;
  // The chunk being read: its type, the bytes of it not yet read, and the checksum so far.
  char type[5] = {};
  uint32_t chunkLeft = 0;
  uLong crc = 0;

  uint32_t width = 0;
  uint32_t height = 0;
  int bitDepth = 0;
  int colourType = 0;
  bool interlaced = false;
  std::vector<uint8_t> palette;       // red, green, blue per entry
  std::vector<uint8_t> paletteAlpha;  // the tRNS alpha of the first entries
  bool hasColourKey = false;
  uint16_t colourKey[3] = {};  // the tRNS grey or RGB value shown as transparent
  bool transparent = false;

  z_stream stream{};
  bool streamOpen = false;
  bool streamEnded = false;
  std::vector<uint8_t> input;  // compressed bytes read from IDAT chunks
};
