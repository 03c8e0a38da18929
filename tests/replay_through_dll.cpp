// Replays fuzz inputs under Wine: every file image of the read targets through the DLL's import
// calls as a host makes them, and every input of every target through its fuzz checks, built for
// Windows as the DLL is. Run with Wine's heap checks on (WINEDEBUG=warn+heap), a write past a
// buffer or a bad free shows as Wine's heap warnings even where the checks pass.
//   replay_through_dll.exe FOLDER...   (files named or kept in folders named after their target:
//                                       read_pass, differential, lzw, writer)
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "fuzz/differential_harness.h"
#include "fuzz/lzw_harness.h"
#include "fuzz/read_pass_harness.h"
#include "fuzz/writer_harness.h"
#include "host/plugin_library.h"
#include "reader/tiff_decoder.h"

namespace {

namespace fs = std::filesystem;
using TBytes = std::vector<uint8_t>;

TBytes ReadBytes(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

bool WriteBytes(const std::string& path, const uint8_t* data, size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && written;
}

// The target an input belongs to: its folder's name, or the start of its own name (crashers).
std::string TargetOf(const fs::path& file) {
  for (const char* target : {"read_pass", "differential", "lzw", "writer"}) {
    const std::string name = target;
    if (file.parent_path().filename() == name || file.filename().string().rfind(name + "-", 0) == 0)
      return name;
  }
  return {};
}

// Full images up to this size are made through the DLL.
constexpr int64_t kLargeImage = int64_t{16} << 20;

void PLUGIN_CALL IgnoreText(const char*) {}

// The file image through every import call; what a host could see go wrong. A small file may
// declare a picture of a gigabyte: its full image is left out, as a heap of that size would make
// every heap check take seconds (its preview is still made).
std::string ThroughTheDll(const PluginLibrary& plugin, const std::string& path, int32_t boxWidth,
                          int32_t boxHeight) {
  TTiffDecoder info;
  info.infoOnly = true;
  const bool large =
      info.Decode(path.c_str()) && 4 * int64_t{info.imageWidth} * info.imageLength > kLargeImage;
  const int32_t valid = plugin.validFileCheck(path.c_str());
  plugin.imageInformation(path.c_str(), IgnoreText);
  if (plugin.refusalReason != nullptr) plugin.refusalReason(path.c_str(), IgnoreText);
  if (plugin.readingNotes != nullptr) plugin.readingNotes(path.c_str(), IgnoreText);
  std::string problem;
  if (!large) {
    HostImage* image = nullptr;
    plugin.createImage(path.c_str(), &image);
    if ((image != nullptr) != (valid == 1)) problem = "the image and the check disagree";
    plugin.freeImage(image);
  }
  HostImage* preview = nullptr;
  plugin.createPreviewImage(path.c_str(), boxWidth, boxHeight, &preview);
  if ((preview != nullptr) != (valid == 1)) problem = "the preview and the check disagree";
  plugin.freeImage(preview);
  return problem;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: replay_through_dll FOLDER...\n");
    return 2;
  }
  PluginLibrary plugin;
  std::string error;
  if (!plugin.Load(PluginLibrary::DefaultPath(), error)) {
    std::fprintf(stderr, "replay: %s\n", error.c_str());
    return 1;
  }
  const std::string scratch = (fs::temp_directory_path() / "varneltiff-replay.tif").string();
  std::map<std::string, int> counts;
  int failures = 0;
  for (int i = 1; i < argc; ++i) {
    std::error_code walk;
    for (const auto& entry : fs::recursive_directory_iterator(argv[i], walk)) {
      if (!entry.is_regular_file()) continue;
      const std::string target = TargetOf(entry.path());
      if (target.empty()) continue;
      const TBytes bytes = ReadBytes(entry.path());
      std::string problem;
      if (target == "lzw") {
        problem = CheckLzwExpansion(bytes.data(), bytes.size());
      } else if (target == "writer") {
        problem = CheckWrite(bytes.data(), bytes.size(), scratch);
      } else {
        problem = CheckReadPass(bytes.data(), bytes.size());
        if (problem.empty()) problem = CheckPathsAgree(bytes.data(), bytes.size());
        const size_t size = bytes.size() >= 3 ? bytes.size() - 3 : 0;
        if (problem.empty() && !WriteBytes(scratch, bytes.data(), size))
          problem = "the file image could not be written";
        if (problem.empty()) {
          problem = ThroughTheDll(plugin, scratch, bytes.size() >= 3 ? BoxSideOf(bytes[size]) : 64,
                                  bytes.size() >= 3 ? BoxSideOf(bytes[size + 1]) : 64);
        }
      }
      ++counts[target];
      if (!problem.empty()) {
        ++failures;
        std::printf("FAIL %s: %s\n", entry.path().string().c_str(), problem.c_str());
      }
    }
    if (walk) {
      std::fprintf(stderr, "replay: %s: %s\n", argv[i], walk.message().c_str());
      ++failures;
    }
  }
  std::remove(scratch.c_str());
  std::string summary;
  for (const auto& [target, count] : counts)
    summary += (summary.empty() ? "" : ", ") + target + " " + std::to_string(count);
  std::printf("replayed under Wine: %s; failures %d\n",
              summary.empty() ? "nothing" : summary.c_str(), failures);
  return failures == 0 && !counts.empty() ? 0 : 1;
}
