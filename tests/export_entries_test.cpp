// The export side's writing as the host sees it: what EXPORT_WriteToFile leaves on disk for good
// and bad images, and written files read back through the plug-in's own import.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/plugin_loader.h"

namespace {

std::vector<std::string> gTexts;
void PLUGIN_CALL RecordText(const char* text) {
  gTexts.emplace_back(text);
}

int gStopAt = 0;
std::vector<int32_t> gRows;
int32_t PLUGIN_CALL RecordRow(int32_t row) {
  gRows.push_back(row);
  return row == gStopAt ? 1 : 0;
}

std::string Path(const char* name) {
  return ProgramFolder() + name;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// A test picture with padded rows, so the row stride is exercised too.
struct Picture {
  Picture(int32_t kind, int32_t width, int32_t height) {
    const int bytes = kind == kFullColourImage ? 4 : 1;
    image = {kind, nullptr, width * bytes + 8, width, height, palette, 256};
    pixels.resize(size_t(image.rowBytes) * height);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 7 + i / 13);
    if (kind == kFullColourImage) {
      for (size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 0;  // the reader's fourth byte
    }
    for (int i = 0; i < 256; ++i) palette[i] = uint32_t(i) * 0x010307u & 0xFFFFFF;
    image.pixels = pixels.data();
  }
  HostImage image;
  std::vector<uint8_t> pixels;
  uint32_t palette[256];
};

TEST(ExportEntries, VersionAndExtension) {
  int32_t version = 0;
  Plugin().exportInterfaceVersion(&version);
  EXPECT_EQ(version, 0x10000);
  gTexts.clear();
  Plugin().exportSupportedExtensions(RecordText);
  EXPECT_EQ(gTexts, std::vector<std::string>{"tif"});
}

TEST(ExportEntries, WrittenFilesImportToTheSamePixels) {
  struct Case {
    int32_t kind, width, height;
  };
  // Small pictures, and ones larger than the writer's output blocks.
  const Case cases[] = {{kPaletteImage, 37, 11},
                        {kFullColourImage, 37, 11},
                        {kPaletteImage, 701, 433},
                        {kFullColourImage, 701, 433}};
  for (const Case& test : cases) {
    SCOPED_TRACE(std::to_string(test.kind) + " " + std::to_string(test.width));
    Picture picture(test.kind, test.width, test.height);
    const std::string path = Path("export_round_trip.tif");
    ASSERT_EQ(Plugin().writeToFile(path.c_str(), &picture.image, nullptr), 1);
    HostImage* back = nullptr;
    Plugin().createImage(path.c_str(), &back);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->kind, test.kind);
    EXPECT_EQ(back->width, test.width);
    EXPECT_EQ(back->height, test.height);
    const size_t rowPixelBytes = size_t(test.width) * (test.kind == kFullColourImage ? 4 : 1);
    for (int y = 0; y < test.height; ++y) {
      ASSERT_EQ(
          std::memcmp(back->pixels + size_t(y) * back->rowBytes,
                      picture.pixels.data() + size_t(y) * picture.image.rowBytes, rowPixelBytes),
          0)
          << "row " << y;
    }
    if (test.kind == kPaletteImage) {
      EXPECT_EQ(std::memcmp(back->palette, picture.palette, sizeof picture.palette), 0);
    }
    Plugin().freeImage(back);
    std::remove(path.c_str());
  }
}

TEST(ExportEntries, RefusedImagesLeaveTheFileAlone) {
  const std::string path = Path("export_untouched.tif");
  Picture picture(kPaletteImage, 4, 4);
  picture.image.kind = 3;
  struct Case {
    const char* name;
    const HostImage* image;
  };
  for (const Case& test : {Case{"null image", nullptr}, Case{"kind 3", &picture.image}}) {
    SCOPED_TRACE(test.name);
    std::ofstream(path, std::ios::binary) << "keep me";
    EXPECT_EQ(Plugin().writeToFile(path.c_str(), test.image, nullptr), 0);
    const std::vector<uint8_t> bytes = ReadFile(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "keep me");
  }
  std::remove(path.c_str());
  picture.image.kind = kPaletteImage;
  EXPECT_EQ(Plugin().writeToFile(nullptr, &picture.image, nullptr), 0);
  EXPECT_EQ(Plugin().writeToFile(Path("no such folder/x.tif").c_str(), &picture.image, nullptr), 0);
}

TEST(ExportEntries, AStopKeepsTheRowsWrittenSoFarAndSucceeds) {
  const std::string path = Path("export_stopped.tif");
  Picture picture(kFullColourImage, 5, 4);
  gRows.clear();
  gStopAt = 3;
  EXPECT_EQ(Plugin().writeToFile(path.c_str(), &picture.image, RecordRow), 1);
  EXPECT_EQ(gRows, (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(ReadFile(path).size(), 222u + 2 * 3 * 5);
  gRows.clear();
  gStopAt = 0;
  EXPECT_EQ(Plugin().writeToFile(path.c_str(), &picture.image, RecordRow), 1);
  EXPECT_EQ(gRows, (std::vector<int32_t>{1, 2, 3, 4}));
  EXPECT_EQ(ReadFile(path).size(), 222u + 4 * 3 * 5);
  std::remove(path.c_str());
}

}  // namespace
