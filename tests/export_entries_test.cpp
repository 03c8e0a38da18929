// The export side's writing as the host sees it: what EXPORT_WriteToFile leaves on disk for good
// and bad images, for failures part-way and stops, and written files read back through the
// plug-in's own import.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

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

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

bool Exists(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file != nullptr) std::fclose(file);
  return file != nullptr;
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

// ---- Every export leaves the target whole: the new file or the old one, and nothing else ----

// The folders the CTest fixture makes (tests/scratch_folders.sh): a small disk (root only) and a
// folder that takes no file, holding kept.tif. Under Wine the Unix root is the drive Z:.
std::string ScratchFolder(const char* name) {
  const char* base = std::getenv("VARNELTIFF_SCRATCH_FOLDERS");
  if (base == nullptr || base[0] == '\0') return "";
#if defined(_WIN32)
  return std::string("Z:") + base + "/" + name;
#else
  return std::string(base) + "/" + name;
#endif
}

size_t EntryCount(const std::string& folder) {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++count;
  return count;
}

// Shift-JIS: 日本語の画像.tif, and 表ソ.tif, whose characters both end in the byte of "\".
constexpr char kJapaneseName[] = "\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x89\xe6\x91\x9c.tif";
constexpr char kBackslashTrailName[] = "\x95\x5c\x83\x5c.tif";
constexpr char kKept[] = "an existing file";  // what the fixture put in kept.tif

enum class Where { kOwnFolder, kSmallDisk, kLockedFolder };
enum class Record { kWhole, kNoPalette, kNoPixels };

struct ExportCase {
  const char* name;
  Where where;
  const char* target;
  bool existing;  // the target is there before the call
  int32_t kind, width, height;
  Record record;
  int32_t stopAt;       // the row whose progress call asks to stop; 0: none
  int32_t result;       // of EXPORT_WriteToFile
  int32_t rowsWritten;  // in the new file, when the result is 1
};

void PrintTo(const ExportCase& c, std::ostream* out) {
  *out << c.name;
}

const ExportCase kExportCases[] = {
    {"NewFile", Where::kOwnFolder, "new.tif", false, kPaletteImage, 5, 4, Record::kWhole, 0, 1, 4},
    {"ReplacesAFile", Where::kOwnFolder, "old.tif", true, kFullColourImage, 5, 4, Record::kWhole, 0,
     1, 4},
    {"StopOnTheThirdRow", Where::kOwnFolder, "old.tif", true, kFullColourImage, 5, 4,
     Record::kWhole, 3, 1, 2},
    {"JapaneseName", Where::kOwnFolder, kJapaneseName, true, kPaletteImage, 5, 4, Record::kWhole, 0,
     1, 4},
    {"JapaneseNameWithBackslashBytes", Where::kOwnFolder, kBackslashTrailName, false,
     kFullColourImage, 5, 4, Record::kWhole, 0, 1, 4},
    // Records the writer would read through a null pointer, and the same pointers where nothing
    // is read through them.
    {"PaletteImageWithoutPalette", Where::kOwnFolder, "old.tif", true, kPaletteImage, 5, 4,
     Record::kNoPalette, 0, 0, 0},
    {"RowsWithoutPixels", Where::kOwnFolder, "old.tif", true, kFullColourImage, 5, 4,
     Record::kNoPixels, 0, 0, 0},
    {"PaletteRowsWithoutPixels", Where::kOwnFolder, "old.tif", true, kPaletteImage, 1, 1,
     Record::kNoPixels, 0, 0, 0},
    {"NoRowsNoPixels", Where::kOwnFolder, "old.tif", true, kFullColourImage, 5, 0,
     Record::kNoPixels, 0, 1, 0},
    {"FullColourWithoutPalette", Where::kOwnFolder, "old.tif", true, kFullColourImage, 5, 4,
     Record::kNoPalette, 0, 1, 4},
    // 120 KiB there and 200 KiB more to write do not fit 256 KiB.
    {"DiskFullPartWay", Where::kSmallDisk, "old.tif", true, kFullColourImage, 260, 260,
     Record::kWhole, 0, 0, 0},
    {"FolderTakesNoFile", Where::kLockedFolder, "kept.tif", true, kPaletteImage, 5, 4,
     Record::kWhole, 0, 0, 0},
    {"NewFileInAFolderThatTakesNone", Where::kLockedFolder, "new.tif", false, kPaletteImage, 5, 4,
     Record::kWhole, 0, 0, 0},
};

class ExportCases : public testing::TestWithParam<ExportCase> {};

TEST_P(ExportCases, LeaveTheTargetWholeAndNoOtherFile) {
  const ExportCase& c = GetParam();
#if defined(_WIN32)
  // Under another code page the ANSI functions take the 0x5C bytes for separators.
  if (c.target == kBackslashTrailName && GetACP() != 932) {
    GTEST_SKIP() << "the ANSI code page is " << GetACP() << ", not 932";
  }
#endif
  std::string folder;
  std::vector<uint8_t> old(kKept, kKept + sizeof kKept - 1);
  switch (c.where) {
    case Where::kOwnFolder:
      folder = ProgramFolder() + "export_case_" + c.name;
      std::filesystem::remove_all(folder);
      std::filesystem::create_directory(folder);
      break;
    case Where::kSmallDisk:
      folder = ScratchFolder("small_disk");
      if (folder.empty() || !std::filesystem::is_directory(folder)) {
        GTEST_SKIP() << "no small disk: it is mounted only where the tests run as root";
      }
#if !defined(_WIN32)
      // The disk must be the small one (Wine answers for the whole drive Z:).
      ASSERT_LT(std::filesystem::space(folder).capacity, 1024u * 1024) << folder;
#endif
      old.resize(120 * 1024);
      for (size_t i = 0; i < old.size(); ++i) old[i] = static_cast<uint8_t>(i * 13 + i / 251);
      break;
    case Where::kLockedFolder:
      folder = ScratchFolder("locked_folder");
      if (folder.empty() || !std::filesystem::is_directory(folder)) {
        GTEST_SKIP() << "no folder that takes no file: the CTest fixture makes it";
      }
      WriteFile(folder + "/probe", {});
      if (Exists(folder + "/probe")) {
        std::remove((folder + "/probe").c_str());
        GTEST_SKIP() << "the folder takes files (root ignores permissions; no read-only mount)";
      }
      break;
  }
  const std::string target = folder + "/" + c.target;
  if (c.existing && c.where != Where::kLockedFolder) WriteFile(target, old);
  ASSERT_EQ(Exists(target), c.existing);
  const size_t entriesBefore = EntryCount(folder);

  Picture picture(c.kind, c.width, c.height);
  if (c.record == Record::kNoPalette) picture.image.palette = nullptr;
  if (c.record == Record::kNoPixels) picture.image.pixels = nullptr;
  gRows.clear();
  gStopAt = c.stopAt;
  EXPECT_EQ(Plugin().writeToFile(target.c_str(), &picture.image, RecordRow), c.result);

  if (c.result == 0) {
    EXPECT_EQ(Exists(target), c.existing);
    if (c.existing) {
      EXPECT_TRUE(ReadFile(target) == old) << "the old file was changed";
    }
  } else {
    const bool palette = c.kind == kPaletteImage;
    EXPECT_EQ(ReadFile(target).size(),
              (palette ? 1758u : 222u) + size_t(palette ? 1 : 3) * c.width * c.rowsWritten);
    if (c.rowsWritten == c.height && c.height > 0) {
      HostImage* back = nullptr;
      Plugin().createImage(target.c_str(), &back);
      ASSERT_NE(back, nullptr);
      EXPECT_EQ(back->width, c.width);
      Plugin().freeImage(back);
    }
  }
  EXPECT_EQ(EntryCount(folder), entriesBefore + (c.result == 1 && !c.existing ? 1 : 0))
      << "a file was left behind";
  if (c.where == Where::kOwnFolder) std::filesystem::remove_all(folder);
  if (c.where == Where::kSmallDisk) std::remove(target.c_str());
}

INSTANTIATE_TEST_SUITE_P(Export, ExportCases, testing::ValuesIn(kExportCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
