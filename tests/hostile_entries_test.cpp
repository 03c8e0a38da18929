// The loaded plug-in fed hostile files through every import entry point, previews of the boxes
// 1 x 1, 64 x 64 and 2147483647 x 2147483647 included, and the export side given images and
// paths it must refuse without harming an existing file. The slowest import call is printed.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/hostile_files.h"
#include "tests/temp_file.h"
#include "tests/plugin_loader.h"

namespace {

constexpr char kBanner[] = "* TIFF FILE (decoder records) *\n\n";

std::vector<std::string> gTexts;
void PLUGIN_CALL RecordText(const char* text) {
  gTexts.emplace_back(text);
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// The slowest call seen, reported at the end of the program: no test fails on time.
struct TSlowest {
  double milliseconds = 0;
  std::string what;
  ~TSlowest() {
    if (!what.empty())
      std::printf("slowest hostile import call: %.1f ms (%s)\n", milliseconds, what.c_str());
  }
} gSlowest;

template <typename Call>
void Timed(const std::string& what, Call call) {
  const auto start = std::chrono::steady_clock::now();
  call();
  const std::chrono::duration<double, std::milli> taken = std::chrono::steady_clock::now() - start;
  // VARNELTIFF_HOSTILE_TIMES=1 lists every call's time.
  static const bool listAll = std::getenv("VARNELTIFF_HOSTILE_TIMES") != nullptr;
  if (listAll) std::printf("%8.1f ms  %s\n", taken.count(), what.c_str());
  if (taken.count() > gSlowest.milliseconds) {
    gSlowest.milliseconds = taken.count();
    gSlowest.what = what;
  }
}

// What a host may rely on in an image it was handed, every byte of it read.
void CheckImage(const HostImage* image, int32_t width, int32_t height, bool preview) {
  ASSERT_TRUE(image->kind == kPaletteImage || image->kind == kFullColourImage);
  if (preview) {
    EXPECT_GE(image->width, 1);
    EXPECT_LE(image->width, width);
    EXPECT_GE(image->height, 1);
    EXPECT_LE(image->height, height);
  } else {
    EXPECT_EQ(image->width, width);
    EXPECT_EQ(image->height, height);
  }
  const int pixelBytes = image->kind == kFullColourImage ? 4 : 1;
  ASSERT_GE(image->rowBytes, image->width * pixelBytes);
  ASSERT_NE(image->pixels, nullptr);
  ASSERT_NE(image->palette, nullptr);
  EXPECT_TRUE(image->paletteCount == 0 || image->paletteCount == 2 || image->paletteCount == 16 ||
              image->paletteCount == 256);
  // Every byte of modest buffers; the first and last rows of the gigabyte ones.
  const size_t size = size_t(image->rowBytes) * size_t(image->height);
  const size_t rowBytes = size_t(image->rowBytes);
  uint64_t fourthBytes = 0;
  const auto scan = [&](size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
      if (pixelBytes == 4 && i % 4 == 3) fourthBytes += image->pixels[i];
      if (image->kind == kPaletteImage && image->paletteCount > 0) {
        ASSERT_LT(image->pixels[i], image->paletteCount) << "byte " << i;
      }
    }
  };
  if (size <= (size_t{256} << 20)) {
    scan(0, size);
  } else {
    scan(0, rowBytes);
    scan(size - rowBytes, size);
  }
  EXPECT_EQ(fourthBytes, 0u);
  uint32_t sum = 0;
  for (int i = 0; i < 256; ++i) sum += image->palette[i];  // all 1024 bytes exist
  (void)sum;
}

class HostileEntries : public ::testing::TestWithParam<THostileFile> {};

TEST_P(HostileEntries, AnsweredThroughEveryImportCall) {
  const THostileFile& file = GetParam();
  const PluginLibrary& plugin = Plugin();
  // Each case has a file of its own: cases run in parallel.
  const TTempFile temporary(file.bytes);
  const std::string& path = temporary.path;
  const bool read = file.answer == THostileAnswer::Read;

  int32_t valid = -1;
  Timed(file.name + ", check", [&] { valid = plugin.validFileCheck(path.c_str()); });
  EXPECT_EQ(valid, read ? 1 : 0);

  gTexts.clear();
  Timed(file.name + ", information", [&] { plugin.imageInformation(path.c_str(), RecordText); });
  ASSERT_EQ(gTexts.size(), 1u);
  if (read) {
    EXPECT_EQ(gTexts[0].rfind(kBanner, 0), 0u);
  } else {
    EXPECT_EQ(gTexts[0].size(), 80u);  // the one error message
  }

  // A file too large for this process's memory gives no image, and nothing else goes wrong.
  // (AddressSanitizer marks every byte of a buffer in its shadow memory, seconds for a
  // gigabyte: under it such images are not made.)
  const bool huge = int64_t{file.width} * file.height > (int64_t{256} << 20);
  bool make = true;
#if defined(__SANITIZE_ADDRESS__)
  make = !huge;
#endif
  // Each call must store its answer, null included, over what the variable held.
  HostImage* const unset = reinterpret_cast<HostImage*>(1);
  HostImage* image = nullptr;
  if (make) {
    image = unset;
    Timed(file.name + ", image", [&] { plugin.createImage(path.c_str(), &image); });
  }
  if (!read) {
    EXPECT_EQ(image, nullptr);
  } else if (!huge) {
    EXPECT_NE(image, nullptr);
  }
  if (image != nullptr) {
    SCOPED_TRACE("full size");
    CheckImage(image, file.width, file.height, false);
    if (!file.firstBytes.empty()) {
      ASSERT_EQ(image->kind, kPaletteImage);
      EXPECT_EQ(std::vector<uint8_t>(image->pixels, image->pixels + file.firstBytes.size()),
                file.firstBytes);
    }
    plugin.freeImage(image);
  }

  const int32_t boxes[][2] = {{1, 1}, {64, 64}, {2147483647, 2147483647}, {2147483647, 1}};
  for (const auto& box : boxes) {
    const std::string what =
        file.name + ", preview " + std::to_string(box[0]) + "x" + std::to_string(box[1]);
    SCOPED_TRACE(what);
    image = nullptr;
    // The widest box asks for the full size (see above).
    if (make || box[1] != 2147483647) {
      image = unset;
      Timed(what, [&] { plugin.createPreviewImage(path.c_str(), box[0], box[1], &image); });
    }
    if (!read) {
      EXPECT_EQ(image, nullptr);
    } else if (box[0] == 64) {
      EXPECT_NE(image, nullptr);
    }
    if (image != nullptr) {
      CheckImage(image, file.width, file.height, true);
      plugin.freeImage(image);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Files, HostileEntries, ::testing::ValuesIn(HostileFiles()),
                         [](const auto& info) {
                           std::string name;
                           for (char c : info.param.name) name += std::isalnum(c) ? c : '_';
                           return name;
                         });

// ---- The export side ----

constexpr char kKeep[] = "an existing file";

struct TPicture {
  TPicture(int32_t kind, int32_t width, int32_t height, int32_t rowBytes)
      : pixels(size_t(rowBytes > 0 ? rowBytes : 0) * size_t(height > 0 ? height : 0) + 64, 0x5A) {
    for (int i = 0; i < 256; ++i) palette[i] = uint32_t(i) * 0x010101u;
    image = {kind, pixels.data(), rowBytes, width, height, palette, 256};
  }
  std::vector<uint8_t> pixels;
  uint32_t palette[256];
  HostImage image;
};

// Images and paths the writer must refuse: each call returns 0 and the file that was there
// keeps every byte.
TEST(HostileExport, RefusedCallsLeaveTheExistingFileWhole) {
  const std::string path = ProgramFolder() + "hostile_export.tif";
  const std::string folder = ProgramFolder() + "hostile_export_folder";
  std::filesystem::create_directories(folder);
  struct TCase {
    const char* name;
    int32_t kind, width, height, rowBytes;
  };
  const TCase refused[] = {
      {"kind 0", 0, 4, 4, 4},
      {"kind 2", 2, 4, 4, 4},
      {"kind -1", -1, 4, 4, 4},
      {"palette strip past 4 GiB", 1, 65536, 65536, 65536},
      {"colour strip past 4 GiB", 5, 2147483647, 2, 0},
      {"palette width -1", 1, -1, 2, 0},
      {"colour height -1", 5, 2, -1, 0},
  };
  for (const TCase& test : refused) {
    SCOPED_TRACE(test.name);
    TPicture picture(test.kind, 0, 0, 0);
    picture.image.width = test.width;
    picture.image.height = test.height;
    picture.image.rowBytes = test.rowBytes;
    WriteFile(path, {kKeep, kKeep + sizeof kKeep - 1});
    EXPECT_EQ(Plugin().writeToFile(path.c_str(), &picture.image, nullptr), 0);
    const std::vector<uint8_t> kept = ReadFile(path);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), kKeep);
  }
  {
    SCOPED_TRACE("null image");
    WriteFile(path, {kKeep, kKeep + sizeof kKeep - 1});
    EXPECT_EQ(Plugin().writeToFile(path.c_str(), nullptr, nullptr), 0);
    const std::vector<uint8_t> kept = ReadFile(path);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), kKeep);
  }
  // Paths that cannot be written: a folder, a folder that does not exist, a file taken for a
  // folder, the empty name and no name.
  TPicture picture(kPaletteImage, 4, 4, 4);
  const std::string paths[] = {folder, ProgramFolder() + "no such folder/x.tif", path + "/x.tif",
                               ""};
  for (const std::string& name : paths) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Plugin().writeToFile(name.c_str(), &picture.image, nullptr), 0);
  }
  EXPECT_EQ(Plugin().writeToFile(nullptr, &picture.image, nullptr), 0);
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  const std::vector<uint8_t> kept = ReadFile(path);
  EXPECT_EQ(std::string(kept.begin(), kept.end()), kKeep);
  std::remove(path.c_str());
  std::filesystem::remove_all(folder);
}

// Geometries at the edges: no rows or no columns, rows that overlap (rowBytes 0 or less than a
// row), rows far apart, bottom-up rows (negative rowBytes), and full-colour rows not a multiple
// of 4 apart. Each is written and, where the reader takes its size, read back row by row.
TEST(HostileExport, EdgeGeometriesAreWrittenAsTheyAre) {
  const std::string path = ProgramFolder() + "hostile_export_geometry.tif";
  struct TCase {
    const char* name;
    int32_t kind, width, height, rowBytes;
  };
  const TCase cases[] = {
      {"no rows", kPaletteImage, 7, 0, 7},
      {"no columns", kFullColourImage, 0, 5, 0},
      {"no rows, 2^31 - 1 wide", kFullColourImage, 2147483647, 0, 0},
      {"no columns, 2^31 - 1 rows", kPaletteImage, 0, 2147483647, 0},
      {"no columns, 2^32 - 1 rows", kFullColourImage, 0, -1, 0},
      {"rows all the same", kPaletteImage, 5, 4, 0},
      {"overlapping rows", kFullColourImage, 3, 4, 4},
      {"rows far apart", kPaletteImage, 3, 3, 1000},
      {"bottom-up rows", kFullColourImage, 3, 3, -12},
      {"colour rows 13 apart", kFullColourImage, 3, 3, 13},
      {"one pixel", kPaletteImage, 1, 1, 1},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.name);
    const int pixelBytes = test.kind == kFullColourImage ? 4 : 1;
    const int64_t stride = test.rowBytes < 0 ? -int64_t{test.rowBytes} : test.rowBytes;
    const size_t rows = size_t(test.height > 0 ? test.height : 0);
    const size_t rowLength =
        test.width > 0 && test.width < 1000 ? size_t(test.width) * pixelBytes : 0;
    std::vector<uint8_t> pixels(size_t(stride) * rows + rowLength + 16);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i * 11 + 3);
    if (pixelBytes == 4) {
      for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = i % 4 == 3 ? 0 : pixels[i];
    }
    uint32_t palette[256];
    for (int i = 0; i < 256; ++i) palette[i] = uint32_t(i) * 0x010203u & 0xFFFFFF;
    // Bottom-up: the first row is the last in memory.
    uint8_t* first = pixels.data() + (test.rowBytes < 0 ? size_t(stride) * (rows - 1) : 0);
    const HostImage image = {test.kind, first, test.rowBytes, test.width, test.height,
                             palette,   256};
    ASSERT_EQ(Plugin().writeToFile(path.c_str(), &image, nullptr), 1);
    HostImage* back = reinterpret_cast<HostImage*>(1);
    Plugin().createImage(path.c_str(), &back);
    if (test.width < 1 || test.height < 1) {
      EXPECT_EQ(back, nullptr);  // the reader takes no empty image
      continue;
    }
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->width, test.width);
    EXPECT_EQ(back->height, test.height);
    // Full-colour pixels compare in their colour bytes: the fourth byte is never written.
    for (int32_t y = 0; y < test.height; ++y) {
      const uint8_t* source = first + int64_t{y} * test.rowBytes;
      const uint8_t* read = back->pixels + size_t(y) * back->rowBytes;
      for (size_t i = 0; i < rowLength; ++i) {
        if (pixelBytes == 4 && i % 4 == 3) continue;
        ASSERT_EQ(read[i], source[i]) << "row " << y << ", byte " << i;
      }
    }
    Plugin().freeImage(back);
  }
  std::remove(path.c_str());
}

}  // namespace
