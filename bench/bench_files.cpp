// Writes the benchmark images with libtiff. The pictures mix smooth areas and noise so the LZW
// ratios resemble real files: about 1.8 for the photo, 2.5 for the words, 3.5 for palette and
// bilevel images.
#include "bench/bench_files.h"

#include <tiffio.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

uint32_t gSeed = 2024;
uint32_t Random() {
  gSeed = gSeed * 1103515245u + 12345u;
  return gSeed >> 8;
}

// The bytes of one row in file order.
void FillRow(const TBenchFile& file, int32_t y, std::vector<uint8_t>& row) {
  const int32_t w = file.width;
  switch (file.kind) {
    case TBenchKind::RedGreenBlue:
      for (int32_t x = 0; x < w; ++x) {
        const uint32_t noise = Random() % 6 == 0 ? Random() % 16 : 0;
        row[3 * x] = static_cast<uint8_t>((x / 8 + y / 16) + noise / 4);
        row[3 * x + 1] = static_cast<uint8_t>((x + y) / 32 + noise / 6);
        row[3 * x + 2] = static_cast<uint8_t>(y / 24 + (noise & 3));
      }
      break;
    case TBenchKind::ColourWord:
      for (int32_t x = 0; x < w; ++x) {
        const uint32_t noise = Random() % 2 == 0 ? Random() % 4 : 0;
        const uint32_t red = (x / 64 + noise) & 31, green = (y / 64) & 31,
                       blue = (x + y) / 128 & 31;
        const uint32_t word = green << 10 | red << 5 | blue;
        row[2 * x] = static_cast<uint8_t>(word);
        row[2 * x + 1] = static_cast<uint8_t>(word >> 8);
      }
      break;
    case TBenchKind::Palette:
      for (int32_t x = 0; x < w; ++x) {
        row[x] = static_cast<uint8_t>(Random() % 16 == 0 ? Random() : (x / 24 + y / 40) % 64);
      }
      break;
    case TBenchKind::OneBit:
      for (int32_t x = 0; x < (w + 7) / 8; ++x) {
        const bool dark = ((x / 6) ^ (y / 48)) & 1;
        row[x] = static_cast<uint8_t>(Random() % 8 == 0 ? Random() : dark ? 0xFF : 0x00);
      }
      break;
  }
}

bool WriteFile(const TBenchFile& file) {
  TIFF* tiff = TIFFOpen(file.path.c_str(), "wl");
  if (tiff == nullptr) return false;
  const bool rgb = file.kind == TBenchKind::RedGreenBlue;
  const int bits = file.kind == TBenchKind::ColourWord ? 16
                   : file.kind == TBenchKind::OneBit   ? 1
                                                       : 8;
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, file.width);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, file.height);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, bits);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, rgb ? 3 : 1);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, file.lzw ? COMPRESSION_LZW : COMPRESSION_NONE);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, file.height);
  const int photometric = rgb                                ? PHOTOMETRIC_RGB
                          : file.kind == TBenchKind::Palette ? PHOTOMETRIC_PALETTE
                          : file.kind == TBenchKind::OneBit  ? PHOTOMETRIC_MINISWHITE
                                                             : PHOTOMETRIC_MINISBLACK;
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, photometric);
  std::vector<uint16_t> map(3 * 256);
  if (file.kind == TBenchKind::Palette) {
    for (int i = 0; i < 256; ++i)
      map[i] = map[256 + i] = map[512 + i] = static_cast<uint16_t>(257 * i);
    TIFFSetField(tiff, TIFFTAG_COLORMAP, map.data(), map.data() + 256, map.data() + 512);
  }
  std::vector<uint8_t> row(static_cast<size_t>(TIFFScanlineSize(tiff)));
  bool ok = true;
  for (int32_t y = 0; y < file.height && ok; ++y) {
    FillRow(file, y, row);
    ok = TIFFWriteScanline(tiff, row.data(), static_cast<uint32_t>(y), 0) == 1;
  }
  TIFFClose(tiff);
  return ok;
}

}  // namespace

const char* KindName(TBenchKind kind) {
  switch (kind) {
    case TBenchKind::RedGreenBlue:
      return "rgb24";
    case TBenchKind::ColourWord:
      return "words16";
    case TBenchKind::Palette:
      return "palette8";
    case TBenchKind::OneBit:
      return "bilevel1";
  }
  return "";
}

std::vector<TBenchFile> MakeBenchFiles(int32_t scale, std::string& folder) {
  if (folder.empty()) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "varneltiff-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return {};
    folder = pattern;
  } else {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
  }
  const struct {
    TBenchKind kind;
    int32_t side;
  } kinds[] = {{TBenchKind::RedGreenBlue, 4096},
               {TBenchKind::ColourWord, 2048},
               {TBenchKind::Palette, 4096},
               {TBenchKind::OneBit, 8192}};
  std::vector<TBenchFile> files;
  for (const bool lzw : {true, false}) {
    for (const auto& kind : kinds) {
      TBenchFile file;
      file.kind = kind.kind;
      file.width = file.height = kind.side / scale;
      file.lzw = lzw;
      file.label = std::string(lzw ? "lzw/" : "stored/") + KindName(kind.kind);
      file.path = folder + "/" + (lzw ? "lzw-" : "stored-") + KindName(kind.kind) + ".tif";
      if (!WriteFile(file)) {
        RemoveBenchFiles(files, folder);
        return {};
      }
      files.push_back(file);
    }
  }
  return files;
}

void RemoveBenchFiles(const std::vector<TBenchFile>& files, const std::string& folder) {
  for (const TBenchFile& file : files) std::remove(file.path.c_str());
  if (!folder.empty()) rmdir(folder.c_str());
}
