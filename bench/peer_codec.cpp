// libtiff as the peer: its read and write calls, with the reader's own pixel conversion on import
// and a plain conversion loop on export.
#include "bench/peer_codec.h"

#include <tiffio.h>

#include <cstdlib>
#include <vector>

#include "reader/widen_pixels.h"

namespace {

int64_t HostRowBytes(const TBenchFile& file) {
  switch (file.kind) {
    case TBenchKind::RedGreenBlue:
    case TBenchKind::ColourWord:
      return int64_t{4} * file.width;
    case TBenchKind::Palette:
      return file.width;
    case TBenchKind::OneBit:
      return (int64_t{file.width} + 7) / 8 * 8;
  }
  return 0;
}

// The reader's layout for each kind of file.
TPixelLayout LayoutOf(const TBenchFile& file) {
  switch (file.kind) {
    case TBenchKind::RedGreenBlue:
      return TPixelLayout::RedGreenBlue;
    case TBenchKind::ColourWord:
      return TPixelLayout::ColourWord;
    case TBenchKind::Palette:
      return TPixelLayout::OneByte;
    case TBenchKind::OneBit:
      return TPixelLayout::OneBit;
  }
  return TPixelLayout::None;
}

}  // namespace

int64_t HostLayoutBytes(const TBenchFile& file) {
  return HostRowBytes(file) * file.height;
}

uint8_t* PeerImport(const TBenchFile& file) {
  // "c": the one strip stays one strip; by default libtiff cuts large stored strips into pieces.
  TIFF* tiff = TIFFOpen(file.path.c_str(), "rc");
  if (tiff == nullptr) return nullptr;
  const tmsize_t stripBytes = TIFFStripSize(tiff);
  // One byte more: the full-colour conversion reads one byte past the last pixel.
  std::vector<uint8_t> strip(static_cast<size_t>(stripBytes) + 1);
  auto* pixels = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(HostLayoutBytes(file)), 1));
  const bool ok = pixels != nullptr && TIFFNumberOfStrips(tiff) == 1 &&
                  TIFFReadEncodedStrip(tiff, 0, strip.data(), stripBytes) == stripBytes;
  // The reader's own conversion, over the whole strip: its rows lie end to end as the host's do.
  if (ok) WidenPixels(LayoutOf(file), pixels, strip.data(), stripBytes);
  TIFFClose(tiff);
  if (!ok) std::free(pixels);
  return ok ? pixels : nullptr;
}

bool PeerExport(const char* path, const HostImage& image) {
  TIFF* tiff = TIFFOpen(path, "wl");
  if (tiff == nullptr) return false;
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, image.width);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, image.height);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, image.height);
  std::vector<uint8_t> row(size_t{3} * image.width);
  bool ok = true;
  for (int32_t y = 0; y < image.height && ok; ++y) {
    const uint8_t* pixel = image.pixels + int64_t{y} * image.rowBytes;
    for (int32_t x = 0; x < image.width; ++x, pixel += 4) {
      row[3 * x] = pixel[2], row[3 * x + 1] = pixel[1], row[3 * x + 2] = pixel[0];
    }
    ok = TIFFWriteScanline(tiff, row.data(), static_cast<uint32_t>(y), 0) == 1;
  }
  TIFFClose(tiff);
  return ok;
}

bool PeerReadsBack(const char* path, const HostImage& image) {
  TIFF* tiff = TIFFOpen(path, "rc");
  if (tiff == nullptr) return false;
  std::vector<uint8_t> strip(static_cast<size_t>(TIFFStripSize(tiff)));
  bool same = TIFFNumberOfStrips(tiff) == 1 &&
              TIFFReadEncodedStrip(tiff, 0, strip.data(), static_cast<tmsize_t>(strip.size())) ==
                  static_cast<tmsize_t>(size_t{3} * image.width * image.height);
  for (int32_t y = 0; y < image.height && same; ++y) {
    const uint8_t* pixel = image.pixels + int64_t{y} * image.rowBytes;
    const uint8_t* in = strip.data() + int64_t{3} * image.width * y;
    for (int32_t x = 0; x < image.width && same; ++x, pixel += 4, in += 3) {
      same = in[0] == pixel[2] && in[1] == pixel[1] && in[2] == pixel[0];
    }
  }
  TIFFClose(tiff);
  return same;
}
