// Seeds the fuzz corpora from TIFF files: each file with trailers for the read pass (full image,
// information only, previews), the first strip or tile of each LZW file as an LZW input, the
// small hand-made hostile files of the tests (tile geometry among them), and a few writer
// inputs. Usage: make_seeds READ_DIR LZW_DIR WRITER_DIR FILE...
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "reader/tiff_decoder.h"
#include "tests/hostile_files.h"

namespace {

using TBytes = std::vector<uint8_t>;

TBytes ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

bool WriteFile(const std::string& path, const TBytes& bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return bool(file);
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: make_seeds READ_DIR LZW_DIR WRITER_DIR FILE...\n");
    return 2;
  }
  const std::string readDir = argv[1], lzwDir = argv[2], writerDir = argv[3];
  int made = 0;
  bool written = true;
  // Box width, box height, mode: full image, information only, and previews of several boxes.
  const uint8_t trailers[][3] = {{64, 64, 0}, {64, 64, 1},  {64, 64, 2},
                                 {1, 1, 2},   {16, 200, 2}, {255, 255, 2}};
  for (int i = 4; i < argc; ++i) {
    const TBytes file = ReadFile(argv[i]);
    const std::string name = BaseName(argv[i]);
    for (const auto& trailer : trailers) {
      TBytes seed = file;
      seed.insert(seed.end(), trailer, trailer + 3);
      written &= WriteFile(readDir + "/" + name + "-" + std::to_string(made++), seed);
    }
    TTiffDecoder decoder;
    decoder.infoOnly = true;
    if (decoder.Decode(argv[i]) && decoder.compression == 5) {
      const bool tiled = decoder.tileWidth != 0;
      const auto offset = static_cast<uint32_t>(tiled ? decoder.tileOffset : decoder.stripOffset);
      const auto count =
          static_cast<uint32_t>(tiled ? decoder.tileByteCount : decoder.stripByteCount);
      if (offset < file.size()) {
        const size_t end = std::min<size_t>(file.size(), size_t{offset} + count);
        // No output limit, and a limit of 37 x 40 bytes.
        for (const TBytes& head : {TBytes{0xFF, 0xFF, 7}, TBytes{40, 0, 3}}) {
          TBytes seed = head;
          seed.insert(seed.end(), file.begin() + offset, file.begin() + std::ptrdiff_t(end));
          written &= WriteFile(lzwDir + "/" + name + "-" + std::to_string(made++), seed);
        }
      }
    }
  }
  // The hostile files small enough for the read pass's inputs, as a full image and a preview.
  for (const THostileFile& hostile : HostileFiles()) {
    if (hostile.bytes.size() > 4000) continue;
    for (const auto& trailer : {trailers[0], trailers[2]}) {
      TBytes seed = hostile.bytes;
      seed.insert(seed.end(), trailer, trailer + 3);
      written &= WriteFile(readDir + "/hostile-" + std::to_string(made++), seed);
    }
  }
  // Palette and full-colour images, small and padded, with and without a stop, and records
  // without a palette or without pixels.
  const TBytes writerSeeds[] = {
      {0, 5, 3, 0, 0, 1, 2, 3, 4, 5, 6, 7}, {1, 7, 4, 3, 0, 9, 8, 7, 6, 5, 4, 3},
      {3, 17, 9, 1, 4, 200, 100, 50, 25},   {2, 3, 3, 0, 0, 1, 1, 1, 1},
      {0, 5, 3, 0x80, 0, 1, 2, 3},          {1, 4, 2, 0x40, 0, 1, 2, 3}};
  for (const TBytes& seed : writerSeeds) {
    written &= WriteFile(writerDir + "/seed-" + std::to_string(made++), seed);
  }
  if (!written) {
    std::fprintf(stderr, "make_seeds: could not write every seed\n");
    return 1;
  }
  return 0;
}
