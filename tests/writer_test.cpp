// Tests of the TIFF writer: the exact bytes of both layouts, row order and padding, the progress
// callback, refused images and failed writes. Natively each file is also read back with libtiff.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "writer/full_colour_row.h"
#include "writer/tiff_encoder.h"

#ifdef VARNELTIFF_HAVE_LIBTIFF
#include <tiffio.h>
#endif

namespace {

using Bytes = std::vector<uint8_t>;

// A host image with storage of its own. Pixels, padding and all 256 palette entries hold
// patterns; the unused fourth byte of every palette entry is 0xAA.
struct TestImage {
  TestImage(int32_t kind, int32_t width, int32_t height, int32_t rowBytes)
      : pixels(static_cast<size_t>(rowBytes) * static_cast<uint32_t>(height) + 1) {
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 7 + i / 251);
    for (uint32_t i = 0; i < 256; ++i) {
      palette[i] = 0xAA000000u | (i * 3 % 256) << 16 | (255 - i) << 8 | (i * 5 % 256);
    }
    record = {kind, pixels.data(), rowBytes, width, height, palette.data(), 2};
  }
  const uint8_t* Pixel(uint32_t x, uint32_t y) const {
    const size_t size = record.kind == kPaletteImage ? 1 : 4;
    return pixels.data() + size_t{y} * record.rowBytes + x * size;
  }
  Bytes pixels;
  std::array<uint32_t, 256> palette;
  HostImage record;
};

struct Expected {
  void Short(uint32_t value) {
    bytes.push_back(static_cast<uint8_t>(value));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
  }
  void Long(uint32_t value) {
    Short(value & 0xFFFF);
    Short(value >> 16);
  }
  void Entry(uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    Short(tag);
    Short(type);
    Long(count);
    Long(value);
  }
  Bytes bytes{'I', 'I', 42, 0, 8, 0, 0, 0};
};

// SHORT below 65536, LONG from there on.
uint16_t DimensionType(uint32_t value) {
  return value < 65536 ? 3 : 4;
}

// The whole file, spelled out entry by entry from the two layout tables.
Bytes ExpectedFile(const TestImage& image) {
  const HostImage& source = image.record;
  const auto w = static_cast<uint32_t>(source.width);
  const auto h = static_cast<uint32_t>(source.height);
  const bool palette = source.kind == kPaletteImage;
  Expected e;
  e.Short(palette ? 16 : 15);
  e.Entry(254, 4, 1, 0);
  e.Entry(256, DimensionType(w), 1, w);
  e.Entry(257, DimensionType(h), 1, h);
  e.Entry(258, 3, palette ? 1 : 3, palette ? 8 : 194);
  e.Entry(259, 3, 1, 1);
  e.Entry(262, 3, 1, palette ? 3 : 2);
  e.Entry(266, 3, 1, 1);
  e.Entry(273, 4, 1, palette ? 1758 : 222);
  e.Entry(277, 3, 1, palette ? 1 : 3);
  e.Entry(278, 4, 1, h);
  e.Entry(279, 4, 1, (palette ? 1 : 3) * w * h);
  e.Entry(281, 3, palette ? 1 : 3, palette ? 255 : 200);
  e.Entry(282, 5, 1, 206);
  e.Entry(283, 5, 1, 214);
  e.Entry(284, 3, 1, 1);
  if (palette) e.Entry(320, 3, 768, 222);
  e.Long(0);
  if (!palette) {
    for (uint32_t value : {8, 8, 8, 255, 255, 255}) e.Short(value);
  }
  for (uint32_t value : {300, 1, 300, 1}) e.Long(value);
  for (int shift : {16, 8, 0}) {
    for (uint32_t i = 0; palette && i < 256; ++i) e.Short((image.palette[i] >> shift & 0xFF) * 257);
  }
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      const uint8_t* pixel = image.Pixel(x, y);
      if (palette) {
        e.bytes.push_back(pixel[0]);
      } else {
        e.bytes.insert(e.bytes.end(), {pixel[2], pixel[1], pixel[0]});
      }
    }
  }
  return e.bytes;
}

std::string TestFilePath() {
  const auto* test = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string("varneltiff_writer_") + test->test_suite_name() + test->name();
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return (std::filesystem::temp_directory_path() / (name + ".tif")).string();
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

// Names the first differing offset instead of printing whole files.
void ExpectSameBytes(const Bytes& actual, const Bytes& expected) {
  EXPECT_EQ(actual.size(), expected.size());
  const size_t common = std::min(actual.size(), expected.size());
  const auto difference = std::mismatch(actual.begin(), actual.begin() + common, expected.begin());
  EXPECT_EQ(difference.first, actual.begin() + common)
      << "first difference at offset " << difference.first - actual.begin();
}

bool EncodeTo(const std::string& path, const HostImage* image, ProgressSink progress = nullptr) {
  TTiffEncoder encoder;
  encoder.progress = progress;
  return encoder.Encode(path.c_str(), image);
}

// libtiff as an independent reader: geometry, colour map and pixels equal the source image.
void ExpectLibtiffReadsSource(const std::string& path, const TestImage& image) {
#ifdef VARNELTIFF_HAVE_LIBTIFF
  const bool palette = image.record.kind == kPaletteImage;
  TIFF* tiff = TIFFOpen(path.c_str(), "r");
  ASSERT_NE(tiff, nullptr);
  uint32_t width = 0, height = 0;
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
  EXPECT_EQ(width, static_cast<uint32_t>(image.record.width));
  EXPECT_EQ(height, static_cast<uint32_t>(image.record.height));
  if (palette) {
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    ASSERT_EQ(TIFFGetField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue), 1);
    for (int i = 0; i < 256; ++i) {
      EXPECT_EQ(red[i], (image.palette[i] >> 16 & 0xFF) * 257) << "entry " << i;
      EXPECT_EQ(green[i], (image.palette[i] >> 8 & 0xFF) * 257) << "entry " << i;
      EXPECT_EQ(blue[i], (image.palette[i] & 0xFF) * 257) << "entry " << i;
    }
  }
  Bytes line(static_cast<size_t>(TIFFScanlineSize(tiff)));
  for (uint32_t y = 0; y < height; ++y) {
    ASSERT_EQ(TIFFReadScanline(tiff, line.data(), y, 0), 1);
    Bytes expected;
    for (uint32_t x = 0; x < width; ++x) {
      const uint8_t* pixel = image.Pixel(x, y);
      if (palette) {
        expected.push_back(pixel[0]);
      } else {
        expected.insert(expected.end(), {pixel[2], pixel[1], pixel[0]});
      }
    }
    ASSERT_TRUE(line == expected) << "row " << y;
  }
  TIFFClose(tiff);
#else
  (void)path;
  (void)image;
#endif
}

struct ImageCase {
  const char* name;
  int32_t kind, width, height, rowBytes;
};

std::string CaseName(const testing::TestParamInfo<ImageCase>& info) {
  return info.param.name;
}

class WholeFileTest : public testing::TestWithParam<ImageCase> {};

// Also overwrites a longer file, which must be truncated.
TEST_P(WholeFileTest, WritesEveryByteOfTheLayout) {
  const ImageCase& c = GetParam();
  const TestImage image(c.kind, c.width, c.height, c.rowBytes);
  const std::string path = TestFilePath();
  WriteFile(path, Bytes(5000, 0x5A));
  ASSERT_TRUE(EncodeTo(path, &image.record));
  ExpectSameBytes(ReadFile(path), ExpectedFile(image));
  if (c.width > 0 && c.height > 0) ExpectLibtiffReadsSource(path, image);
  std::filesystem::remove(path);
}

INSTANTIATE_TEST_SUITE_P(
    Writer, WholeFileTest,
    testing::Values(ImageCase{"FullColourOnePixel", kFullColourImage, 1, 1, 4},
                    ImageCase{"FullColourRowPadding", kFullColourImage, 3, 2, 16},
                    ImageCase{"FullColourNoRows", kFullColourImage, 4, 0, 16},
                    ImageCase{"FullColourEmptyRows", kFullColourImage, 0, 3, 0},
                    ImageCase{"FullColourWiderThanShort", kFullColourImage, 70000, 2, 280000},
                    ImageCase{"PaletteRowPadding", kPaletteImage, 5, 3, 8},
                    ImageCase{"PaletteSquare", kPaletteImage, 16, 16, 16},
                    ImageCase{"PaletteNoRows", kPaletteImage, 3, 0, 3},
                    ImageCase{"PaletteEmptyRows", kPaletteImage, 0, 4, 0},
                    ImageCase{"PaletteTallerThanShort", kPaletteImage, 2, 70000, 2}),
    CaseName);

Bytes Slice(const Bytes& bytes, size_t offset, size_t count) {
  if (offset + count > bytes.size()) return {};
  return Bytes(bytes.begin() + offset, bytes.begin() + offset + count);
}

// Known byte values of sample files, independent of the layout spelled out above.
// Every row width around the conversion's 4-pixel steps, with guard bytes on both sides: the
// shuffled steps and the plain tail must give the bytes of the plain reading, and nothing more.
TEST(WriterRowConversion, EveryShortWidthGivesRedGreenBlueAndNothingPastTheRow) {
  for (uint32_t width = 0; width <= 41; ++width) {
    std::vector<uint8_t> in(4 * size_t{width});
    for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<uint8_t>(i * 37 + width);
    constexpr size_t kGuard = 16;
    std::vector<uint8_t> out(3 * size_t{width} + 2 * kGuard, 0xA5);
    ConvertFullColourRow(out.data() + kGuard, in.data(), width);
    std::vector<uint8_t> expected(out.size(), 0xA5);
    for (uint32_t x = 0; x < width; ++x) {
      expected[kGuard + 3 * x] = in[4 * x + 2];
      expected[kGuard + 3 * x + 1] = in[4 * x + 1];
      expected[kGuard + 3 * x + 2] = in[4 * x];
    }
    EXPECT_EQ(out, expected) << "width " << width;
  }
}

TEST(WriterSampleBytes, OneFullColourPixelDropsItsFourthByte) {
  TestImage image(kFullColourImage, 1, 1, 4);
  image.pixels = {0x33, 0x22, 0x11, 0xAA};
  image.record.pixels = image.pixels.data();
  const std::string path = TestFilePath();
  ASSERT_TRUE(EncodeTo(path, &image.record));
  const Bytes file = ReadFile(path);
  ASSERT_EQ(file.size(), 225u);
  EXPECT_EQ(Slice(file, 0, 10), (Bytes{0x49, 0x49, 0x2A, 0, 8, 0, 0, 0, 0x0F, 0}));
  EXPECT_EQ(Slice(file, 102, 4), (Bytes{222, 0, 0, 0}));
  EXPECT_EQ(Slice(file, 138, 4), (Bytes{3, 0, 0, 0}));
  EXPECT_EQ(Slice(file, 190, 4), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(Slice(file, 222, 3), (Bytes{0x11, 0x22, 0x33}));
  std::filesystem::remove(path);
}

TEST(WriterSampleBytes, VgaFullColourEntries) {
  const TestImage image(kFullColourImage, 640, 480, 2560);
  const std::string path = TestFilePath();
  ASSERT_TRUE(EncodeTo(path, &image.record));
  const Bytes file = ReadFile(path);
  EXPECT_EQ(Slice(file, 22, 12), (Bytes{0, 1, 3, 0, 1, 0, 0, 0, 0x80, 2, 0, 0}));
  EXPECT_EQ(Slice(file, 138, 4), (Bytes{0x00, 0x10, 0x0E, 0x00}));
  std::filesystem::remove(path);
}

TEST(WriterSampleBytes, PaletteEntryZeroInTheColourMap) {
  TestImage image(kPaletteImage, 1, 1, 1);
  image.palette[0] = 0x00FF8000;  // bytes 00 80 FF 00: blue 0, green 128, red 255
  const std::string path = TestFilePath();
  ASSERT_TRUE(EncodeTo(path, &image.record));
  const Bytes file = ReadFile(path);
  EXPECT_EQ(Slice(file, 0, 10), (Bytes{0x49, 0x49, 0x2A, 0, 8, 0, 0, 0, 0x10, 0}));
  EXPECT_EQ(Slice(file, 202, 4), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(Slice(file, 222, 2), (Bytes{0xFF, 0xFF}));
  EXPECT_EQ(Slice(file, 734, 2), (Bytes{0x80, 0x80}));
  EXPECT_EQ(Slice(file, 1246, 2), (Bytes{0, 0}));
  std::filesystem::remove(path);
}

TEST(WriterSampleBytes, WidthBeyondShortIsWrittenAsLong) {
  const TestImage image(kPaletteImage, 70000, 1, 70000);
  const std::string path = TestFilePath();
  ASSERT_TRUE(EncodeTo(path, &image.record));
  const Bytes file = ReadFile(path);
  EXPECT_EQ(Slice(file, 22, 12), (Bytes{0, 1, 4, 0, 1, 0, 0, 0, 0x70, 0x11, 1, 0}));
  EXPECT_EQ(Slice(file, 34, 12), (Bytes{1, 1, 3, 0, 1, 0, 0, 0, 1, 0, 0, 0}));
  std::filesystem::remove(path);
}

std::vector<int32_t> progressCalls;
size_t stopOnCall = 0;

int32_t VARNELTIFF_CALLBACK RecordProgress(int32_t row) {
  progressCalls.push_back(row);
  return progressCalls.size() == stopOnCall ? -1 : 0;
}

struct ProgressCase {
  const char* name;
  int32_t kind, width, height;
  size_t stopOnCall;  // 0: never
  std::vector<int32_t> calls;
  uint32_t rowsWritten;
};

class ProgressTest : public testing::TestWithParam<ProgressCase> {};

// A stop keeps the directory of the whole image, the rows before it, and success.
TEST_P(ProgressTest, CalledBeforeEachRowAndStopsWhenAsked) {
  const ProgressCase& c = GetParam();
  const TestImage image(c.kind, c.width, c.height, c.width * 4);
  const std::string path = TestFilePath();
  progressCalls.clear();
  stopOnCall = c.stopOnCall;
  ASSERT_TRUE(EncodeTo(path, &image.record, RecordProgress));
  EXPECT_EQ(progressCalls, c.calls);
  const bool palette = c.kind == kPaletteImage;
  const size_t size = (palette ? 1758 : 222) + (palette ? 1 : 3) * c.width * c.rowsWritten;
  Bytes expected = ExpectedFile(image);
  expected.resize(size);
  ExpectSameBytes(ReadFile(path), expected);
  std::filesystem::remove(path);
}

std::string ProgressCaseName(const testing::TestParamInfo<ProgressCase>& info) {
  return info.param.name;
}
void PrintTo(const ProgressCase& c, std::ostream* out) {
  *out << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Writer, ProgressTest,
    testing::Values(ProgressCase{"NoRowsNoCalls", kFullColourImage, 2, 0, 0, {}, 0},
                    ProgressCase{"EmptyRowsStillCounted", kPaletteImage, 0, 3, 0, {1, 2, 3}, 0},
                    ProgressCase{"AllRows", kFullColourImage, 2, 3, 0, {1, 2, 3}, 3},
                    ProgressCase{"FullColourStopAtOnce", kFullColourImage, 2, 3, 1, {1}, 0},
                    ProgressCase{"PaletteStopAtOnce", kPaletteImage, 2, 3, 1, {1}, 0},
                    ProgressCase{"FullColourStopOnThird", kFullColourImage, 2, 4, 3, {1, 2, 3}, 2},
                    ProgressCase{"PaletteStopOnThird", kPaletteImage, 5, 4, 3, {1, 2, 3}, 2}),
    ProgressCaseName);

struct RefusedCase {
  const char* name;
  bool nullImage;
  int32_t kind, width, height;
};

class RefusedImageTest : public testing::TestWithParam<RefusedCase> {};

// Refused before the file is opened: an existing file keeps its content. The oversized images
// have no pixels at all, so a writer that tried them would crash.
TEST_P(RefusedImageTest, ReturnsFalseAndLeavesTheFileAlone) {
  const RefusedCase& c = GetParam();
  HostImage image = {c.kind, nullptr, 0, c.width, c.height, nullptr, 0};
  const std::string path = TestFilePath();
  const Bytes before = {'k', 'e', 'e', 'p'};
  WriteFile(path, before);
  EXPECT_FALSE(EncodeTo(path, c.nullImage ? nullptr : &image));
  EXPECT_EQ(ReadFile(path), before);
  std::filesystem::remove(path);
}

std::string RefusedCaseName(const testing::TestParamInfo<RefusedCase>& info) {
  return info.param.name;
}
void PrintTo(const RefusedCase& c, std::ostream* out) {
  *out << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Writer, RefusedImageTest,
    testing::Values(
        RefusedCase{"NullImage", true, kFullColourImage, 1, 1},
        RefusedCase{"KindThree", false, 3, 1, 1}, RefusedCase{"KindZero", false, 0, 0, 0},
        // 3 * 65536 * 65536 bytes: the strip's byte count needs more than 32 bits.
        RefusedCase{"FullColourStripBeyond32Bits", false, kFullColourImage, 65536, 65536},
        RefusedCase{"FullColourRowBeyond32Bits", false, kFullColourImage, 0x55555556, 1},
        // 2^32 - 1 bytes fit a count, but the strip would end beyond 4 GiB.
        RefusedCase{"PaletteEndBeyond32Bits", false, kPaletteImage, -1, 1}),
    RefusedCaseName);

TEST(WriterFailures, UnopenableNamesReturnFalse) {
  const TestImage image(kPaletteImage, 2, 2, 2);
  const auto missingFolder = std::filesystem::temp_directory_path() / "varneltiff_no_such_folder";
  for (const std::string& name : {std::string(), (missingFolder / "image.tif").string()}) {
    TTiffEncoder encoder;
    EXPECT_FALSE(encoder.Encode(name.c_str(), &image.record)) << name;
  }
  TTiffEncoder encoder;
  EXPECT_FALSE(encoder.Encode(nullptr, &image.record));
}

// A full disk: small files fail only when the buffer is flushed at close, large ones already
// while the rows are written. Windows has no /dev/full.
#ifndef _WIN32
TEST(WriterFailures, FullDiskReturnsFalse) {
  for (const auto& c : {ImageCase{"SmallPalette", kPaletteImage, 1, 1, 1},
                        ImageCase{"SmallFullColour", kFullColourImage, 1, 1, 4},
                        ImageCase{"LargeFullColour", kFullColourImage, 1000, 1000, 4000}}) {
    const TestImage image(c.kind, c.width, c.height, c.rowBytes);
    EXPECT_FALSE(EncodeTo("/dev/full", &image.record)) << c.name;
  }
}
#endif

}  // namespace
