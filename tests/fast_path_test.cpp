// The reader's fast paths (bulk reads, strings decoded straight into the output, rows widened in
// place) against its byte-at-a-time path: every file of the peer corpus, the samples, and files
// with random, damaged and cut strips and tiles must give identical pixels either way.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "reader/tiff_decoder.h"
#include "tests/lzw_streams.h"
#include "tests/temp_file.h"
#include "tests/tiff_builder.h"

namespace {

// Offsets and byte counts of `pieces` equal shares of `size` bytes of data; the third piece has
// no byte count, so what it covers stays zero.
std::pair<std::vector<uint32_t>, std::vector<uint32_t>> Shares(size_t size, int pieces) {
  std::vector<uint32_t> offsets, counts;
  const auto share = static_cast<uint32_t>(size / static_cast<size_t>(pieces));
  for (int k = 0; k < pieces; ++k) {
    offsets.push_back(share * static_cast<uint32_t>(k));
    counts.push_back(k == 2 ? 0 : share);
  }
  return {offsets, counts};
}

using Bytes = std::vector<uint8_t>;

struct TBox {
  int width, height;
};
// Full size, then previews that reduce by 1, by several steps, and as far as possible.
const std::vector<TBox> kBoxes = {{0, 0}, {200, 200}, {13, 7}, {64, 64}, {1, 1}};

struct TResult {
  bool accepted;
  int32_t width, height, rowBytes;
  Bytes pixels;
};

TResult DecodeWith(const std::string& path, TBox box, bool byteAtATime) {
  TTiffDecoder decoder;
  decoder.byteAtATime = byteAtATime;
  decoder.preview = box.width > 0;
  decoder.boxWidth = box.width;
  decoder.boxHeight = box.height;
  TResult result{
      decoder.Decode(path.c_str()), decoder.outWidth, decoder.outHeight, decoder.outRowBytes, {}};
  if (decoder.pixels != nullptr) {
    result.pixels.assign(decoder.pixels,
                         decoder.pixels + int64_t{decoder.outHeight} * decoder.outRowBytes);
  }
  return result;
}

void ExpectSamePixels(const std::string& path, const std::string& label) {
  for (const TBox& box : kBoxes) {
    SCOPED_TRACE(label + ", box " + std::to_string(box.width) + "x" + std::to_string(box.height));
    const TResult fast = DecodeWith(path, box, false);
    const TResult slow = DecodeWith(path, box, true);
    ASSERT_EQ(fast.accepted, slow.accepted);
    ASSERT_EQ(fast.width, slow.width);
    ASSERT_EQ(fast.height, slow.height);
    ASSERT_EQ(fast.rowBytes, slow.rowBytes);
    ASSERT_EQ(fast.pixels.size(), slow.pixels.size());
    const auto differ = std::mismatch(fast.pixels.begin(), fast.pixels.end(), slow.pixels.begin());
    ASSERT_TRUE(differ.first == fast.pixels.end())
        << "first difference at byte " << (differ.first - fast.pixels.begin());
  }
}

std::vector<std::filesystem::path> TiffFilesIn(const std::string& folder) {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (entry.path().extension() == ".tif") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string Folder(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  std::string path = value != nullptr ? value : fallback;
#if defined(_WIN32)
  if (!path.empty() && path[0] == '/') path = "Z:" + path;  // Wine's drive for the Unix root
#endif
  return path;
}

TEST(FastPaths, AgreeOnEveryCorpusFileAndSample) {
  std::vector<std::filesystem::path> files =
      TiffFilesIn(Folder("VARNELTIFF_CORPUS", VARNELTIFF_DEFAULT_CORPUS));
  ASSERT_GT(files.size(), 40u) << "the peer corpus is missing";
  const std::vector<std::filesystem::path> samples =
      TiffFilesIn(Folder("VARNELTIFF_SAMPLES", VARNELTIFF_SAMPLES));
  ASSERT_FALSE(samples.empty());
  files.insert(files.end(), samples.begin(), samples.end());
  for (const auto& file : files) ExpectSamePixels(file.string(), file.filename().string());
}

// The depths the reader knows, and one it does not (its pixels stay zero either way).
struct TKind {
  const char* name;
  std::vector<uint32_t> bits;
  int samples;
  int predictor = 1;
  int bytesPerRow(int width) const {
    const int64_t bitsPerRow = int64_t{width} * bits[0] * static_cast<int>(bits.size());
    return static_cast<int>((bitsPerRow + 7) / 8);
  }
};
const TKind kKinds[] = {{"one bit", {1}, 1},
                        {"four bits", {4}, 1},
                        {"eight bits", {8}, 1},
                        {"red green blue", {8, 8, 8}, 3},
                        {"red green blue alpha", {8, 8, 8, 8}, 4},
                        {"colour words", {16}, 1},
                        {"differenced colour words", {16}, 1, 2},
                        {"differenced red green blue", {8, 8, 8}, 3, 2},
                        {"two bits", {2}, 1}};

// Strip data of every sort: the exact bytes, too few, too many, and for LZW valid streams, cut
// streams and hostile code sequences.
std::vector<std::pair<std::string, Bytes>> StripData(int compression, size_t imageBytes,
                                                     unsigned seed) {
  std::mt19937 random(seed);
  Bytes exact(imageBytes);
  for (uint8_t& byte : exact) byte = static_cast<uint8_t>(random() % 7 == 0 ? random() : 3);
  if (compression == 1) {
    return {{"exact", exact},
            {"short", Bytes(exact.begin(), exact.begin() + exact.size() / 2 + 1)},
            {"long",
             [&] {
               Bytes more = exact;
               more.insert(more.end(), 100, 0xEE);
               return more;
             }()},
            {"empty", {}}};
  }
  const Bytes whole = lzw_streams::Encode(exact, true);
  Bytes more = exact;
  more.insert(more.end(), 5000, 0x5A);
  return {{"exact", whole},
          {"too much", lzw_streams::Encode(more, false)},
          {"cut", Bytes(whole.begin(), whole.begin() + whole.size() / 3 + 1)},
          {"random codes", lzw_streams::RandomCodes(imageBytes / 2 + 50, seed)},
          {"random bytes", Bytes(exact.rbegin(), exact.rend())}};
}

TEST(FastPaths, AgreeOnRandomDamagedAndCutStrips) {
  struct TShape {
    int width, height, rowsPerStrip;  // rowsPerStrip 0: one strip
    int tileWidth = 0, tileLength = 0;
  };
  const TShape shapes[] = {{37, 23, 0}, {1, 1, 0},           {200, 61, 0},        {37, 23, 5},
                           {64, 40, 7}, {37, 23, 0, 16, 16}, {200, 61, 0, 48, 32}};
  unsigned seed = 1;
  for (const TKind& kind : kKinds) {
    for (const TShape& shape : shapes) {
      const size_t imageBytes = static_cast<size_t>(kind.bytesPerRow(shape.width)) * shape.height;
      for (const int compression : {1, 5}) {
        for (const auto& [name, data] : StripData(compression, imageBytes, seed++)) {
          TTiffBuilder file;
          file.Add(256, kShort, {static_cast<uint32_t>(shape.width)});
          file.Add(257, kShort, {static_cast<uint32_t>(shape.height)});
          file.Add(258, kShort, kind.bits);
          file.Add(259, kShort, {static_cast<uint32_t>(compression)});
          file.Add(277, kShort, {static_cast<uint32_t>(kind.samples)});
          file.Add(317, kShort, {static_cast<uint32_t>(kind.predictor)});
          if (kind.samples == 4) file.Add(262, kShort, {2}).Add(338, kShort, {2});
          if (shape.tileWidth != 0) {
            // Tiles, each a separate share of the same data; the third has no byte count.
            const int tiles = (shape.width + shape.tileWidth - 1) / shape.tileWidth *
                              ((shape.height + shape.tileLength - 1) / shape.tileLength);
            const auto [offsets, counts] = Shares(data.size(), tiles);
            file.Add(322, kShort, {static_cast<uint32_t>(shape.tileWidth)});
            file.Add(323, kShort, {static_cast<uint32_t>(shape.tileLength)});
            file.AddDataOffsets(324, kLong, offsets);
            file.Add(325, kLong, counts);
          } else if (shape.rowsPerStrip == 0) {
            file.AddDataOffsets(273, kLong, {0});
            file.Add(279, kLong, {static_cast<uint32_t>(data.size())});
          } else {
            // Strips of every few rows, each a separate share of the same data; the third strip
            // has no byte count, so its rows stay zero.
            const int strips = (shape.height + shape.rowsPerStrip - 1) / shape.rowsPerStrip;
            const auto [offsets, counts] = Shares(data.size(), strips);
            file.Add(278, kShort, {static_cast<uint32_t>(shape.rowsPerStrip)});
            file.AddDataOffsets(273, kLong, offsets);
            file.Add(279, kLong, counts);
          }
          file.data = data;
          TTempFile temp(file.Bytes());
          ExpectSamePixels(temp.path, std::string(kind.name) + ", " + std::to_string(shape.width) +
                                          "x" + std::to_string(shape.height) + "/" +
                                          std::to_string(shape.rowsPerStrip) + "/" +
                                          std::to_string(shape.tileWidth) +
                                          (compression == 5 ? ", LZW " : ", stored ") + name);
        }
      }
    }
  }
}

}  // namespace
