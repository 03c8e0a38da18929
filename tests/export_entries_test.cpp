// The export side's writing as the host sees it: what EXPORT_WriteToFile leaves on disk for good
// and bad images, for failures part-way and stops, and written files read back through the
// plug-in's own import.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
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

// The folders the CTest fixture makes (tests/scratch_folders.sh): a small disk (root only), a
// folder that takes no file, holding kept.tif, and special_files: a FIFO, a symbolic link
// link.tif to linked.tif, and (root only) the devices null and full. Under Wine the Unix root is
// the drive Z:.
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

enum class Found { kNothing, kFile, kFolder, kDevice, kFifo };

// What a name leads to, as the system in use sees it (under Wine a FIFO is a pipe).
Found WhatIsAt(const std::string& path) {
#if defined(_WIN32)
  HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Found::kNothing;
  const DWORD type = GetFileType(file);
  BY_HANDLE_FILE_INFORMATION information;
  const bool folder = GetFileInformationByHandle(file, &information) != 0 &&
                      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  CloseHandle(file);
  if (type == FILE_TYPE_CHAR) return Found::kDevice;
  if (type == FILE_TYPE_PIPE) return Found::kFifo;
  return folder ? Found::kFolder : Found::kFile;
#else
  switch (std::filesystem::status(path).type()) {
    case std::filesystem::file_type::regular:
      return Found::kFile;
    case std::filesystem::file_type::directory:
      return Found::kFolder;
    case std::filesystem::file_type::character:
      return Found::kDevice;
    case std::filesystem::file_type::fifo:
      return Found::kFifo;
    default:
      return Found::kNothing;
  }
#endif
}

// Reads a FIFO from before the export opens it until the export is done with it, counting bytes.
class FifoReader {
 public:
  explicit FifoReader(const std::string& path) {
#if defined(_WIN32)
    // Wine opens it without waiting for a writer, and reads nothing until one comes.
    handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return;
#else
    descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) return;
#endif
    reader = std::thread([this] { Read(); });
  }
  // All the bytes, once the writer is gone.
  size_t Finish() {
    done = true;
    if (reader.joinable()) reader.join();
#if defined(_WIN32)
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
#else
    if (descriptor >= 0) close(descriptor);
#endif
    return count;
  }
  ~FifoReader() {
    Finish();
  }

 private:
  void Read() {
    char buffer[65536];
    for (;;) {
      const bool writerGone = done;
      long got = 0;
#if defined(_WIN32)
      DWORD read = 0;
      if (::ReadFile(handle, buffer, sizeof buffer, &read, nullptr)) got = long(read);
#else
      got = long(read(descriptor, buffer, sizeof buffer));
#endif
      if (got > 0) {
        count += size_t(got);
      } else if (writerGone) {
        return;
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
  }
#if defined(_WIN32)
  HANDLE handle = INVALID_HANDLE_VALUE;
#else
  int descriptor = -1;
#endif
  std::atomic<bool> done{false};
  size_t count = 0;
  std::thread reader;
};

// Shift-JIS: 日本語の画像.tif, and 表ソ.tif, whose characters both end in the byte of "\".
constexpr char kJapaneseName[] = "\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x89\xe6\x91\x9c.tif";
constexpr char kBackslashTrailName[] = "\x95\x5c\x83\x5c.tif";
constexpr char kKept[] = "an existing file";  // what the fixture put in kept.tif and linked.tif

enum class Where { kOwnFolder, kSmallDisk, kLockedFolder, kSpecialFiles };
// What is at the target before the call: made by the test, or by the fixture (special files).
enum class Before {
  kNothing,
  kFile,
  kPrivateFile,   // mode 600: the new file has it too
  kReadOnlyFile,  // refused, even to root
  kFolder,
  kLinkToFile,  // link.tif: it stays a link, and linked.tif gets the new content
  kDevice,      // written straight through; full gives ENOSPC
  kFifo,        // written straight through to a reader
  kDeviceName,  // a name Windows keeps for a device (NUL, with an extension)
};
enum class Record { kWhole, kNoPalette, kNoPixels };

struct ExportCase {
  const char* name;
  Where where;
  const char* target;
  Before before;
  int32_t kind, width, height;
  Record record;
  int32_t stopAt;       // the row whose progress call asks to stop; 0: none
  int32_t result;       // of EXPORT_WriteToFile
  int32_t rowsWritten;  // in the new file, when the result is 1
};

void PrintTo(const ExportCase& c, std::ostream* out) {
  *out << c.name;
}

constexpr auto kPal = kPaletteImage;
constexpr auto kFull = kFullColourImage;
const ExportCase kExportCases[] = {
    {"NewFile", Where::kOwnFolder, "new.tif", Before::kNothing, kPal, 5, 4, Record::kWhole, 0, 1,
     4},
    {"ReplacesAFile", Where::kOwnFolder, "old.tif", Before::kFile, kFull, 5, 4, Record::kWhole, 0,
     1, 4},
    {"StopOnTheThirdRow", Where::kOwnFolder, "old.tif", Before::kFile, kFull, 5, 4, Record::kWhole,
     3, 1, 2},
    {"JapaneseName", Where::kOwnFolder, kJapaneseName, Before::kFile, kPal, 5, 4, Record::kWhole, 0,
     1, 4},
    {"JapaneseNameWithBackslashBytes", Where::kOwnFolder, kBackslashTrailName, Before::kNothing,
     kFull, 5, 4, Record::kWhole, 0, 1, 4},
    // Records the writer would read through a null pointer, and the same pointers where nothing
    // is read through them.
    {"PaletteImageWithoutPalette", Where::kOwnFolder, "old.tif", Before::kFile, kPal, 5, 4,
     Record::kNoPalette, 0, 0, 0},
    {"RowsWithoutPixels", Where::kOwnFolder, "old.tif", Before::kFile, kFull, 5, 4,
     Record::kNoPixels, 0, 0, 0},
    {"PaletteRowsWithoutPixels", Where::kOwnFolder, "old.tif", Before::kFile, kPal, 1, 1,
     Record::kNoPixels, 0, 0, 0},
    {"NoRowsNoPixels", Where::kOwnFolder, "old.tif", Before::kFile, kFull, 5, 0, Record::kNoPixels,
     0, 1, 0},
    {"FullColourWithoutPalette", Where::kOwnFolder, "old.tif", Before::kFile, kFull, 5, 4,
     Record::kNoPalette, 0, 1, 4},
    // 120 KiB there and 200 KiB more to write do not fit 256 KiB.
    {"DiskFullPartWay", Where::kSmallDisk, "old.tif", Before::kFile, kFull, 260, 260,
     Record::kWhole, 0, 0, 0},
    {"FolderTakesNoFile", Where::kLockedFolder, "kept.tif", Before::kFile, kPal, 5, 4,
     Record::kWhole, 0, 0, 0},
    {"NewFileInAFolderThatTakesNone", Where::kLockedFolder, "new.tif", Before::kNothing, kPal, 5, 4,
     Record::kWhole, 0, 0, 0},
    // What the target is decides how it is written: replaced, written straight through, refused.
    {"KeepsTheModeOfAPrivateFile", Where::kOwnFolder, "old.tif", Before::kPrivateFile, kPal, 5, 4,
     Record::kWhole, 0, 1, 4},
    {"ReadOnlyFile", Where::kOwnFolder, "old.tif", Before::kReadOnlyFile, kPal, 5, 4,
     Record::kWhole, 0, 0, 0},
    {"TargetIsAFolder", Where::kOwnFolder, "folder.tif", Before::kFolder, kPal, 5, 4,
     Record::kWhole, 0, 0, 0},
    {"ThroughASymbolicLink", Where::kSpecialFiles, "link.tif", Before::kLinkToFile, kFull, 5, 4,
     Record::kWhole, 0, 1, 4},
    {"NullDevice", Where::kSpecialFiles, "null", Before::kDevice, kFull, 260, 260, Record::kWhole,
     0, 1, 260},
    {"FullDevice", Where::kSpecialFiles, "full", Before::kDevice, kPal, 5, 4, Record::kWhole, 0, 0,
     0},
    {"Fifo", Where::kSpecialFiles, "fifo", Before::kFifo, kFull, 260, 260, Record::kWhole, 0, 1,
     260},
    {"WindowsDeviceName", Where::kOwnFolder, "nul.tif", Before::kDeviceName, kPal, 5, 4,
     Record::kWhole, 0, 1, 4},
};

class ExportCases : public testing::TestWithParam<ExportCase> {};

TEST_P(ExportCases, LeaveTheTargetWholeAndNoOtherFile) {
  const ExportCase& c = GetParam();
#if defined(_WIN32)
  // Under another code page the ANSI functions take the 0x5C bytes for separators.
  if (c.target == kBackslashTrailName && GetACP() != 932) {
    GTEST_SKIP() << "the ANSI code page is " << GetACP() << ", not 932";
  }
#else
  if (c.before == Before::kDeviceName) GTEST_SKIP() << "device names are Windows' own";
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
    case Where::kSpecialFiles:
      folder = ScratchFolder("special_files");
      if (folder.empty() || !std::filesystem::is_directory(folder)) {
        GTEST_SKIP() << "no folder of special files: the CTest fixture makes it";
      }
      if (c.before == Before::kDevice && WhatIsAt(folder + "/" + c.target) != Found::kDevice) {
        GTEST_SKIP() << "no device node " << c.target << ": making one needs root";
      }
      break;
  }
  const std::string target = folder + "/" + c.target;
  // The file the target leads to: the link's file, or the target itself.
  const std::string file = c.before == Before::kLinkToFile ? folder + "/linked.tif" : target;
  const bool madeHere = c.where == Where::kOwnFolder || c.where == Where::kSmallDisk;
  const bool oldFile = c.before == Before::kFile || c.before == Before::kPrivateFile ||
                       c.before == Before::kReadOnlyFile || c.before == Before::kLinkToFile;
  if (oldFile && (madeHere || c.before == Before::kLinkToFile)) WriteFile(file, old);
  namespace fs = std::filesystem;
  if (c.before == Before::kPrivateFile) {
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
  }
  if (c.before == Before::kReadOnlyFile) {
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  }
  if (c.before == Before::kFolder) fs::create_directory(target);
  const Found found = WhatIsAt(target);
  const size_t entriesBefore = EntryCount(folder);

  Picture picture(c.kind, c.width, c.height);
  if (c.record == Record::kNoPalette) picture.image.palette = nullptr;
  if (c.record == Record::kNoPixels) picture.image.pixels = nullptr;
  gRows.clear();
  gStopAt = c.stopAt;
  const bool palette = c.kind == kPaletteImage;
  const size_t written =
      (palette ? 1758u : 222u) + size_t(palette ? 1 : 3) * c.width * c.rowsWritten;
  if (c.before == Before::kFifo) {
    FifoReader reader(target);
    EXPECT_EQ(Plugin().writeToFile(target.c_str(), &picture.image, RecordRow), c.result);
    EXPECT_EQ(reader.Finish(), written);
  } else {
    EXPECT_EQ(Plugin().writeToFile(target.c_str(), &picture.image, RecordRow), c.result);
  }

  // Whatever was there is still there as the kind it was.
  EXPECT_EQ(WhatIsAt(target), c.result == 1 && c.before == Before::kNothing ? Found::kFile : found);
#if !defined(_WIN32)
  if (c.before == Before::kLinkToFile) {
    EXPECT_TRUE(fs::is_symlink(target));
  }
  if (c.before == Before::kPrivateFile) {
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
  }
#endif
  if (oldFile && c.result == 0) {
    EXPECT_TRUE(ReadFile(file) == old) << "the old file was changed";
  }
  if (found == Found::kFile || c.before == Before::kNothing) {
    if (c.result == 1) {
      EXPECT_EQ(ReadFile(file).size(), written);
      if (c.rowsWritten == c.height && c.height > 0) {
        HostImage* back = nullptr;
        Plugin().createImage(target.c_str(), &back);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->width, c.width);
        Plugin().freeImage(back);
      }
    } else if (c.before == Before::kNothing) {
      EXPECT_FALSE(Exists(target));
    }
  }
  EXPECT_EQ(EntryCount(folder), entriesBefore + (c.result == 1 && c.before == Before::kNothing))
      << "a file was left behind";
  if (c.before == Before::kReadOnlyFile)
    fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
  if (c.where == Where::kOwnFolder) fs::remove_all(folder);
  if (c.where == Where::kSmallDisk) std::remove(target.c_str());
}

INSTANTIATE_TEST_SUITE_P(Export, ExportCases, testing::ValuesIn(kExportCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
