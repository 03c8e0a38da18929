// The import side as the host sees it: the loaded library, its identity, and what it answers for
// files it accepts and files it refuses.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/plugin_loader.h"

namespace {

std::vector<std::string> gTexts;
std::vector<int32_t> gVersions;

void PLUGIN_CALL RecordText(const char* text) {
  gTexts.emplace_back(text);
}
void PLUGIN_CALL RecordVerbose(int32_t version, const char* name, const char* copyright,
                               const char* description) {
  gVersions.push_back(version);
  gTexts = {name, copyright, description};
}

std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::string path = ProgramFolder() + name;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  return path;
}

// A 3x2 stored 8-bit TIFF; `withData` false cuts the file off before the pixels.
std::vector<uint8_t> TinyTiff(bool withData) {
  std::vector<uint8_t> bytes = {
      'I',  'I',  42, 0, 8, 0, 0, 0, 4,  0, 0x00, 0x01, 3,    0, 1, 0, 0,  0,  3,  0,  0,  0, 0x01,
      0x01, 3,    0,  1, 0, 0, 0, 2, 0,  0, 0,    0x02, 0x01, 3, 0, 1, 0,  0,  0,  8,  0,  0, 0,
      0x11, 0x01, 4,  0, 1, 0, 0, 0, 62, 0, 0,    0,    0,    0, 0, 0, 10, 20, 30, 40, 50, 60};
  if (!withData) bytes.resize(62);
  return bytes;
}

const char kBanner[] = "* TIFF FILE (decoder records) *\n\n";

TEST(ImportEntries, IdentityAndVersions) {
  const PluginLibrary& plugin = Plugin();
  int32_t first = -7, second = 99, version = 0;
  plugin.supportedInformation(&first, &second);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 1);
  plugin.importInterfaceVersion(&version);
  EXPECT_EQ(version, 0x10000);

  gTexts.clear();
  plugin.importSupportedExtensions(RecordText);
  EXPECT_EQ(gTexts, (std::vector<std::string>{"tif", "tiff"}));

  gVersions.clear();
  plugin.verbose(RecordVerbose);
  EXPECT_EQ(gVersions, std::vector<int32_t>{0x1000000});
  ASSERT_EQ(gTexts.size(), 3u);
  EXPECT_EQ(gTexts[0], "VarnelTiff");
  EXPECT_FALSE(gTexts[1].empty());
  EXPECT_EQ(gTexts[2].substr(0, 5), "PEXOR");
}

TEST(ImportEntries, RefusedFilesGetTheOneMessageAndNoImage) {
  const PluginLibrary& plugin = Plugin();
  const std::string notTiff = WriteFile("import_not_a_tiff.tif", {'M', 'M', 0, 42, 0, 0, 0, 8});
  const std::string missing = ProgramFolder() + "import_missing.tif";
  for (const char* name : {missing.c_str(), notTiff.c_str(), static_cast<const char*>(nullptr)}) {
    EXPECT_EQ(plugin.validFileCheck(name), 0);
    gTexts.clear();
    plugin.imageInformation(name, RecordText);
    ASSERT_EQ(gTexts.size(), 1u);
    EXPECT_EQ(gTexts[0].size(), 80u);
    HostImage* image = reinterpret_cast<HostImage*>(1);
    plugin.createImage(name, &image);
    EXPECT_EQ(image, nullptr);
    image = reinterpret_cast<HostImage*>(1);
    plugin.createPreviewImage(name, 8, 8, &image);
    EXPECT_EQ(image, nullptr);
  }
  std::remove(notTiff.c_str());
}

TEST(ImportEntries, AcceptedFileGivesReportAndImage) {
  const PluginLibrary& plugin = Plugin();
  const std::string path = WriteFile("import_tiny.tif", TinyTiff(true));
  EXPECT_EQ(plugin.validFileCheck(path.c_str()), 1);
  gTexts.clear();
  plugin.imageInformation(path.c_str(), RecordText);
  ASSERT_EQ(gTexts.size(), 1u);
  EXPECT_EQ(gTexts[0].rfind(kBanner, 0), 0u);

  HostImage* image = nullptr;
  plugin.createImage(path.c_str(), &image);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->kind, 1);
  EXPECT_EQ(image->width, 3);
  EXPECT_EQ(image->height, 2);
  EXPECT_EQ(image->rowBytes, 3);
  EXPECT_EQ(image->paletteCount, 256);
  EXPECT_EQ(std::memcmp(image->pixels, "\x0a\x14\x1e\x28\x32\x3c", 6), 0);
  EXPECT_EQ(image->palette[255], 0x00FFFFFFu);  // built-in map: index 255 is white
  plugin.freeImage(image);
  std::remove(path.c_str());
}

TEST(ImportEntries, HeaderWithoutDataIsValidAndReadsAsZeros) {
  const PluginLibrary& plugin = Plugin();
  const std::string path = WriteFile("import_no_data.tif", TinyTiff(false));
  EXPECT_EQ(plugin.validFileCheck(path.c_str()), 1);
  HostImage* image = nullptr;
  plugin.createImage(path.c_str(), &image);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(std::memcmp(image->pixels, "\0\0\0\0\0\0", 6), 0);
  plugin.freeImage(image);
  std::remove(path.c_str());
}

TEST(ImportEntries, FreeImageTakesNullAndPartialRecords) {
  const PluginLibrary& plugin = Plugin();
  plugin.freeImage(nullptr);
  HostImage* image = nullptr;
  const std::string path = WriteFile("import_free.tif", TinyTiff(true));
  plugin.createImage(path.c_str(), &image);
  ASSERT_NE(image, nullptr);
  plugin.freeImage(image);  // the whole record
  std::remove(path.c_str());
}

}  // namespace
