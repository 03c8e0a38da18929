// Every file of the peer corpus (written and decoded by libtiff) imported through the loaded
// plug-in, at full size and as previews: pixels and palettes must equal libtiff's decode, and the
// files of refused kinds must be refused for their reason.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/corpus_format.h"
#include "tests/plugin_loader.h"

namespace {

std::string CorpusFolder() {
  const char* folder = std::getenv("VARNELTIFF_CORPUS");
  std::string path = folder != nullptr ? folder : VARNELTIFF_DEFAULT_CORPUS;
#if defined(_WIN32)
  if (!path.empty() && path[0] == '/') path = "Z:" + path;  // Wine's drive for the Unix root
#endif
  return path;
}

// The files with an expected image (".expect"), or with the reason they are refused (".reason").
std::vector<std::string> CorpusFiles(const char* extension = ".expect") {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(CorpusFolder(), error)) {
    if (entry.path().extension() == extension) names.push_back(entry.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string gReason;
void PLUGIN_CALL RecordReason(const char* text) {
  gReason += text;
}

// The power-of-two reduction a host must expect for a box: one step less than the smallest that
// brings both sides below the box.
int PreviewStep(int width, int height, int boxWidth, int boxHeight) {
  int smallest = 1;
  while (width / smallest >= boxWidth || height / smallest >= boxHeight) smallest *= 2;
  return smallest > 1 ? smallest / 2 : 1;
}

void ExpectImage(const HostImage& image, const ExpectedImage& expected, int step,
                 const std::string& label) {
  const int bytesPerPixel = expected.kind == 5 ? 4 : 1;
  const int width = (expected.width + step - 1) / step;
  const int height = (expected.height + step - 1) / step;
  ASSERT_EQ(image.kind, expected.kind) << label;
  ASSERT_EQ(image.width, width) << label;
  ASSERT_EQ(image.height, height) << label;
  int rowBytes = width * bytesPerPixel;  // 1-bit rows hold whole bytes, 4-bit rows whole pairs
  if (expected.paletteCount == 2) rowBytes = (rowBytes + 7) / 8 * 8;
  if (expected.paletteCount == 16) rowBytes += rowBytes % 2;
  ASSERT_EQ(image.rowBytes, rowBytes) << label;
  ASSERT_EQ(image.paletteCount, expected.paletteCount) << label;
  for (int i = 0; i < 256; ++i) {
    const uint32_t want = i < expected.paletteCount ? expected.palette[i] : 0;
    ASSERT_EQ(image.palette[i], want) << label << " palette entry " << i;
  }
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint8_t* got = image.pixels + size_t(y) * image.rowBytes + size_t(x) * bytesPerPixel;
      const uint8_t* want = expected.pixels.data() + size_t(y) * step * expected.rowBytes +
                            size_t(x) * step * bytesPerPixel;
      ASSERT_EQ(std::memcmp(got, want, bytesPerPixel), 0)
          << label << " pixel " << x << "," << y << " step " << step;
    }
  }
}

// 15 sources in one strip, several strips and tiles, stored and LZW, with differencing and in
// FillOrder 2; 13 files of kinds that are refused.
TEST(PeerImport, CorpusIsThere) {
  EXPECT_GE(CorpusFiles().size(), 200u) << CorpusFolder();
  EXPECT_GE(CorpusFiles(".reason").size(), 13u) << CorpusFolder();
}

TEST(PeerImport, RefusedFilesGiveTheirReasons) {
  ASSERT_NE(Plugin().refusalReason, nullptr);
  for (const std::string& name : CorpusFiles(".reason")) {
    std::ifstream file(CorpusFolder() + "/" + name + ".reason");
    const std::string expected{std::istreambuf_iterator<char>(file), {}};
    const std::string tiff = CorpusFolder() + "/" + name + ".tif";
    EXPECT_EQ(Plugin().validFileCheck(tiff.c_str()), 0) << name;
    HostImage* image = nullptr;
    Plugin().createImage(tiff.c_str(), &image);
    EXPECT_EQ(image, nullptr) << name;
    gReason.clear();
    Plugin().refusalReason(tiff.c_str(), RecordReason);
    EXPECT_EQ(gReason, expected) << name;
  }
  // A readable file has no reason.
  gReason.clear();
  Plugin().refusalReason((CorpusFolder() + "/" + CorpusFiles().front() + ".tif").c_str(),
                         RecordReason);
  EXPECT_EQ(gReason, "");
}

TEST(PeerImport, FullImagesEqualLibtiff) {
  for (const std::string& name : CorpusFiles()) {
    ExpectedImage expected;
    ASSERT_TRUE(ReadExpectedImage(CorpusFolder() + "/" + name + ".expect", expected)) << name;
    const std::string tiff = CorpusFolder() + "/" + name + ".tif";
    EXPECT_EQ(Plugin().validFileCheck(tiff.c_str()), 1) << name;
    HostImage* image = nullptr;
    Plugin().createImage(tiff.c_str(), &image);
    ASSERT_NE(image, nullptr) << name;
    ExpectImage(*image, expected, 1, name);
    Plugin().freeImage(image);
  }
}

TEST(PeerImport, PreviewsKeepEveryStepthPixel) {
  struct Box {
    int width, height;
  };
  for (const std::string& name : CorpusFiles()) {
    ExpectedImage expected;
    ASSERT_TRUE(ReadExpectedImage(CorpusFolder() + "/" + name + ".expect", expected)) << name;
    const std::string tiff = CorpusFolder() + "/" + name + ".tif";
    const Box boxes[] = {{1, 1},      {7, 5}, {16, 16}, {64, 64}, {expected.width, expected.height},
                         {4000, 4000}};
    for (const Box& box : boxes) {
      HostImage* image = nullptr;
      Plugin().createPreviewImage(tiff.c_str(), box.width, box.height, &image);
      ASSERT_NE(image, nullptr) << name;
      const int step = PreviewStep(expected.width, expected.height, box.width, box.height);
      ExpectImage(*image, expected, step, name + " box " + std::to_string(box.width));
      Plugin().freeImage(image);
    }
  }
}

}  // namespace
