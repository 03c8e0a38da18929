// Tests of TTiffDecoder on small TIFF files built byte by byte: the directory reader and its
// report, acceptance, palettes, geometry, and the pixels stored from stored and LZW strips.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "reader/tiff_decoder.h"
#include "tests/temp_file.h"
#include "tests/tiff_builder.h"

namespace {

using TBytes = std::vector<uint8_t>;

// An entry added after the image's own; a raw one gives {count, value field} as its values.
struct TAdded {
  uint16_t tag, type;
  std::vector<uint32_t> values;
  bool raw = false;
  bool fromData = false;  // values are offsets into the image data
  int64_t count = -1;     // written in place of the number of values when not negative
};

// A one-strip image; by default 8-bit, 4 x 2, no strip data.
struct TFile {
  int width = 4, height = 2;
  std::vector<uint32_t> bits = {8};
  int samples = 1;
  TBytes data = {};
  int compression = 1;
  std::vector<TAdded> added = {};
  size_t cut = 0;  // bytes cut from the end of the file

  TBytes Bytes() const {
    TTiffBuilder builder;
    builder.Image(width, height, bits, samples, data, compression);
    for (const TAdded& entry : added) {
      if (entry.raw) {
        builder.AddRaw(entry.tag, entry.type, entry.values[0], entry.values[1]);
      } else if (entry.fromData) {
        builder.AddDataOffsets(entry.tag, entry.type, entry.values, entry.count);
      } else {
        builder.Add(entry.tag, entry.type, entry.values, entry.count);
      }
    }
    TBytes bytes = builder.Bytes();
    bytes.resize(bytes.size() - cut);
    return bytes;
  }
};

// Failing table cases are shown by their names.
template <typename T>
requires requires(T c) {
  c.name;
}
void PrintTo(const T& c, std::ostream* out) {
  *out << c.name;
}

bool DecodeFile(TTiffDecoder& decoder, const TBytes& bytes) {
  TTempFile file(bytes);
  return decoder.Decode(file.path.c_str());
}

// An information-only pass; the slots are filled whether or not the file is accepted.
std::unique_ptr<TTiffDecoder> InfoOf(const TFile& file) {
  auto decoder = std::make_unique<TTiffDecoder>();
  decoder->infoOnly = true;
  DecodeFile(*decoder, file.Bytes());
  return decoder;
}

// LZW codes packed at 9 bits, most significant bit first (small streams never widen).
TBytes PackCodes(const std::vector<int>& codes) {
  TBytes bytes;
  uint32_t buffer = 0;
  int bits = 0;
  for (int code : codes) {
    buffer = buffer << 9 | static_cast<uint32_t>(code);
    for (bits += 9; bits >= 8; bits -= 8)
      bytes.push_back(static_cast<uint8_t>(buffer >> (bits - 8)));
    buffer &= (1u << bits) - 1;
  }
  if (bits > 0) bytes.push_back(static_cast<uint8_t>(buffer << (8 - bits)));
  return bytes;
}

TBytes Counting(int count) {
  TBytes bytes(count);
  for (int i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(i);
  return bytes;
}

// ---- Directory reader ----

enum class TSlotName { Width, Offset, Count, RowsPerStrip, Bits, XResolution, ColorMap };

std::vector<int64_t> SlotValues(const TTiffDecoder& d, TSlotName slot) {
  switch (slot) {
    case TSlotName::Width:
      return {d.imageWidth};
    case TSlotName::Offset:
      return {d.stripOffset};
    case TSlotName::Count:
      return {d.stripByteCount};
    case TSlotName::RowsPerStrip:
      return {d.rowsPerStrip};
    case TSlotName::Bits:
      return {d.bitsPerSample[0], d.bitsPerSample[1], d.bitsPerSample[2]};
    case TSlotName::XResolution:
      return {d.xResolution[0], d.xResolution[1]};
    case TSlotName::ColorMap:
      return {d.hasColorMap, d.colorMap[0], d.colorMap[767]};
  }
  return {};
}

struct TSlotCase {
  const char* name;
  TFile file;
  TSlotName slot;
  std::vector<int64_t> expected;
};

const TSlotCase kSlotCases[] = {
    {"LongWidth", {.added = {{256, kLong, {640}}}}, TSlotName::Width, {640}},
    {"LongIntoShortKeepsLow16Bits", {.added = {{256, kLong, {0x10280}}}}, TSlotName::Width, {640}},
    {"ShortArrayOffsetsGiveFirst",
     {.added = {{273, kShort, {100, 200}}}},
     TSlotName::Offset,
     {100}},
    {"ShortArrayCountsGiveFirst", {.added = {{279, kShort, {7, 9}}}}, TSlotName::Count, {7}},
    {"ShortIgnoresValueFieldPadding",
     {.added = {{278, kShort, {1, 0xFFFF0003}, true}}},
     TSlotName::RowsPerStrip,
     {3}},
    {"LongArrayOffsetsGiveFirst",
     {.added = {{273, kLong, {1000, 2000, 3000}}}},
     TSlotName::Offset,
     {1000}},
    {"FourSamplesFillThree", {.added = {{258, kShort, {8, 8, 8, 16}}}}, TSlotName::Bits, {8, 8, 8}},
    {"ByteValuesConvert", {.added = {{258, kByte, {8, 8, 8}}}}, TSlotName::Bits, {8, 8, 8}},
    {"AsciiLaysRawBytes",
     {.added = {{258, kAscii, {'a', 'b', 'c'}}}},
     TSlotName::Bits,
     {0x6261, 0x63, 0}},
    {"Rational", {.added = {{282, kRational, {72, 1}}}}, TSlotName::XResolution, {72, 1}},
    {"ValueCutByEndOfFile",
     {.added = {{282, kRational, {72, 1}}}, .cut = 4},
     TSlotName::XResolution,
     {72, 0}},
    {"ValueBeyondEndOfFileReadsZero",
     {.added = {{273, kLong, {2, 0xFFFFFF00}, true}}},
     TSlotName::Offset,
     {0}},
    {"LaterEntryOverwrites",
     {.added = {{256, kShort, {10}}, {256, kShort, {20}}}},
     TSlotName::Width,
     {20}},
    {"ShorterLaterEntryKeepsTail",
     {.added = {{258, kShort, {8, 8, 8}}, {258, kShort, {4}}}},
     TSlotName::Bits,
     {4, 8, 8}},
    {"NegativeCountStoresNothing",
     {.added = {{256, kShort, {0xFFFFFFFF, 99}, true}}},
     TSlotName::Width,
     {4}},
    {"UnknownTypeMarksColorMapOnly",
     {.added = {{320, 9, {768, 0x01010101}, true}}},
     TSlotName::ColorMap,
     {1, 0, 0}},
};

class SlotTest : public ::testing::TestWithParam<TSlotCase> {};

TEST_P(SlotTest, FillsSlot) {
  EXPECT_EQ(SlotValues(*InfoOf(GetParam().file), GetParam().slot), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Directory, SlotTest, ::testing::ValuesIn(kSlotCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Directory, AppliesOnlyCompleteEntries) {
  TBytes bytes = TFile{.added = {{262, kShort, {2}}}}.Bytes();
  bytes[8] += 5;  // the entry count runs past the end of the file
  TTiffDecoder decoder;
  decoder.infoOnly = true;
  EXPECT_TRUE(DecodeFile(decoder, TBytes(bytes.begin(), bytes.end() - 10)));  // last entry cut
  EXPECT_EQ(decoder.photometric, 0);
  EXPECT_EQ(decoder.imageWidth, 4);
  EXPECT_TRUE(DecodeFile(decoder, bytes));
  EXPECT_EQ(decoder.photometric, 2);
}

// ---- DecoderRecords ----

TEST(Records, ListsSixteenTags) {
  const TBytes bytes = TFile{
      3,
      2,
      {8, 8, 8},
      3,
      TBytes(18, 0),
      1,
      {{254, kLong, {0}},
       {262, kShort, {2}},
       {266, kShort, {1}},
       {278, kLong, {2}},
       {281, kShort, {255, 255, 255}},
       {282, kRational, {72, 1}},
       {283, kRational, {300, 2}},
       {284, kShort, {1}}}}.Bytes();
  TTiffDecoder decoder;
  decoder.infoOnly = true;
  ASSERT_TRUE(DecodeFile(decoder, bytes));
  EXPECT_EQ(decoder.records,
            "* TIFF FILE (decoder records) *\n\nNewSubFileType : 0\n"
            "ImageWidth : 3\nImageLength : 2\nImagePitch : 9\n"
            "BitsPerSample : 8,8,8\nCompression : 1\nPhotometric : 2\n"
            "FillOrder : 1\nStripOffset : " +
                std::to_string(bytes.size() - 18) +
                "\nSamplesPerPixel : 3\nRowsPerStrip : 2\n"
                "StripsByteCount : 18\nMaxSampleValue : 255,255,255\n"
                "XResolution : 72/1\nYResolution : 300/2\nPlanerConfig : 1\n");
}

TEST(Records, LinesFiveAndThirteenFollowSamplesPerPixel) {
  const auto none = InfoOf({.width = 10, .bits = {1}, .samples = -1, .added = {{279, kLong, {0}}}});
  const std::string& text = none->records;
  EXPECT_NE(text.find("\nImagePitch : 2\nBitsPerSample : Compression : 1\nPhotometric"),
            std::string::npos);
  EXPECT_NE(text.find("\nStripsByteCount : 0\nMaxSampleValue : XResolution : 0/0\n"),
            std::string::npos);

  const auto six = InfoOf(
      {.bits = {8, 8, 8, 8, 8, 8}, .samples = 6, .added = {{281, kShort, {65535, 1, 2, 3, 4}}}});
  EXPECT_NE(six->records.find("\nBitsPerSample : 8,8,8\nC"), std::string::npos);
  EXPECT_NE(six->records.find("\nMaxSampleValue : -1,1,2,3\nX"), std::string::npos);
}

// ---- Acceptance ----

struct TAcceptCase {
  const char* name;
  TFile file;
  bool accepted;
  const char* reason = "";  // why the file is refused
};

const TAdded kRgb = {262, kShort, {2}};
TAdded Photometric(uint32_t value) {
  return {262, kShort, {value}};
}
TAdded Predictor(uint32_t value) {
  return {317, kShort, {value}};
}
TAdded ExtraSamples(std::vector<uint32_t> values) {
  return {338, kShort, std::move(values)};
}

// TileWidth, TileLength, and TileOffsets counted from the start of the image data with their
// TileByteCounts; `claimed` is written as the count of both arrays when given.
std::vector<TAdded> Tiles(uint32_t width, uint32_t length, std::vector<uint32_t> offsets,
                          std::vector<uint32_t> counts, int64_t claimed = -1) {
  return {{322, kShort, {width}},
          {323, kShort, {length}},
          {324, kLong, std::move(offsets), false, true, claimed},
          {325, kLong, std::move(counts), false, false, claimed}};
}

const TAcceptCase kAcceptCases[] = {
    {"Plain", {}, true},
    {"Bits1", {.bits = {1}}, true},
    {"Bits2", {.bits = {2}}, false, "2 bits per sample"},
    {"Bits4", {.bits = {4}}, true},
    {"Bits12", {.bits = {12}}, false, "12 bits per sample"},
    {"Bits16", {.bits = {16}}, true},
    {"Bits32", {.bits = {32}}, false, "32 bits per sample"},
    {"CompressionAbsent", {.compression = -1}, true},
    {"Compression2", {.compression = 2}, false, "compression 2"},
    {"Compression5", {.compression = 5}, true},
    {"Compression32773", {.compression = 32773}, false, "compression 32773"},
    // Codes packed from the low bit: the clear code makes the bytes 0x00 0x01 (0x80 0x00 from the
    // high bit, as tested with every LZW strip).
    {"OldStyleLzw", {.data = {0x00, 0x01, 0x04}, .compression = 5}, false, "old-style LZW"},
    {"LzwStartingWithAZeroByte", {.data = {0x00, 0x02}, .compression = 5}, true},
    {"Width0", {.width = 0}, false, "width 0"},
    {"Width32767", {.width = 32767}, true},
    {"Width40000", {.width = 40000}, false, "width 40000"},
    {"Height0", {.height = 0}, false, "height 0"},
    {"LongWidthIsNotCutTo16Bits", {.added = {{256, kLong, {65636}}}}, false, "width 65636"},
    {"LongHeightIsNotCutTo16Bits", {.added = {{257, kLong, {0x10002}}}}, false, "height 65538"},
    {"SeparatePlanesRefused",
     {.bits = {8, 8, 8}, .samples = 3, .added = {{284, kShort, {2}}}},
     false,
     "separate colour planes"},
    {"SeparatePlanesOfOneSample", {.added = {{284, kShort, {2}}}}, true},
    {"InterleavedColour", {.bits = {8, 8, 8}, .samples = 3, .added = {{284, kShort, {1}}}}, true},
    // Sample counts: one, or none given, for every depth; three or four only as full colour.
    {"TwoSamples", {.bits = {8, 8}, .samples = 2}, false, "2 samples per pixel"},
    {"ThreeSamplesOfOneDepthValue", {.samples = 3}, false, "3 samples per pixel"},
    {"MixedDepths", {.bits = {8, 16, 8}, .samples = 3}, false, "3 samples per pixel"},
    {"SeparateWordPlanesRefused",
     {.bits = {16, 16}, .samples = 2, .added = {{284, kShort, {2}}}},
     false,
     "2 samples per pixel"},
    {"FourSamplesWithoutExtra",
     {.bits = {8, 8, 8, 8}, .samples = 4, .added = {kRgb}},
     false,
     "4 samples per pixel"},
    {"AssociatedAlpha",
     {.bits = {8, 8, 8, 8}, .samples = 4, .added = {kRgb, ExtraSamples({1})}},
     true},
    {"AlphaOfSixteenBits",
     {.bits = {8, 8, 8, 16}, .samples = 4, .added = {kRgb, ExtraSamples({2})}},
     false,
     "4 samples per pixel"},
    {"TwoExtraSamples",
     {.bits = {8, 8, 8, 8}, .samples = 4, .added = {kRgb, ExtraSamples({2, 0})}},
     false,
     "4 samples per pixel"},
    {"FiveSamples", {.bits = {8, 8, 8, 8, 8}, .samples = 5}, false, "5 samples per pixel"},
    {"Cmyk", {.bits = {8, 8, 8, 8}, .samples = 4, .added = {Photometric(5)}}, false, "CMYK"},
    // Horizontal differencing belongs to LZW data.
    {"PredictorTwo", {.compression = 5, .added = {Predictor(2)}}, true},
    {"PredictorThree", {.compression = 5, .added = {Predictor(3)}}, false, "predictor 3"},
    {"PredictorOfNibbles",
     {.bits = {4}, .compression = 5, .added = {Predictor(2)}},
     false,
     "predictor 2 on 4-bit samples"},
    {"PredictorOfStoredDataIgnored", {.added = {Predictor(3)}}, true},
    // Tiles: sizes of 0 or far beyond the image, and tiles without offsets.
    {"Tiled", {.added = Tiles(16, 16, {0}, {0})}, true},
    {"TileWidth0", {.added = Tiles(0, 16, {0}, {0})}, false, "tiles of size 0"},
    {"TileLengthMissing",
     {.added = {{322, kShort, {16}}, {324, kLong, {0}}}},
     false,
     "tiles of size 0"},
    {"TileWidthOfTheLargestImage", {.added = Tiles(1024, 16, {0}, {0})}, true},
    {"TileWidth1040", {.added = Tiles(1040, 16, {0}, {0})}, false, "tiles 1040 pixels wide"},
    {"TileLength65535", {.added = Tiles(16, 65535, {0}, {0})}, false, "tiles 65535 rows long"},
    {"TilesWithoutOffsets",
     {.added = {{322, kShort, {16}}, {323, kShort, {16}}}},
     false,
     "tiles without offsets"},
};

class AcceptTest : public ::testing::TestWithParam<TAcceptCase> {};

TEST_P(AcceptTest, InfoAndFullPassAgree) {
  const TBytes bytes = GetParam().file.Bytes();
  for (bool infoOnly : {true, false}) {
    TTiffDecoder decoder;
    decoder.infoOnly = infoOnly;
    EXPECT_EQ(DecodeFile(decoder, bytes), GetParam().accepted) << "infoOnly " << infoOnly;
    EXPECT_EQ(decoder.pixels != nullptr, GetParam().accepted && !infoOnly);
    EXPECT_EQ(decoder.RefusalReason(), GetParam().reason);
  }
}

INSTANTIATE_TEST_SUITE_P(Header, AcceptTest, ::testing::ValuesIn(kAcceptCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Header, RejectsForeignOrMissingHeaders) {
  const TBytes plain = TFile{}.Bytes();
  std::vector<std::pair<TBytes, std::string>> files(6, {plain, ""});
  files[0].first[0] = files[0].first[1] = 'M';  // Motorola byte order
  files[0].second = "Motorola byte order";
  files[1].first[2] = 43;  // 64-bit offsets
  files[1].second = "BigTIFF";
  files[2].first[2] = 44;
  files[2].second = "magic number 44";
  files[3].first.resize(7);
  files[3].second = "shorter than a TIFF header";
  files[4].first[7] = 0x7F;  // directory far past the end
  files[4].second = "no directory";
  files[5].first[1] = 'X';
  files[5].second = "not a TIFF file";
  for (const auto& [bytes, reason] : files) {
    TTiffDecoder decoder;
    EXPECT_FALSE(DecodeFile(decoder, bytes));
    EXPECT_EQ(decoder.pixels, nullptr);
    EXPECT_EQ(decoder.RefusalReason(), reason);
  }
  TTiffDecoder decoder;
  EXPECT_FALSE(decoder.Decode((::testing::TempDir() + "no_such_file.tif").c_str()));
  EXPECT_EQ(decoder.records, "* TIFF FILE (decoder records) *\n\n");
  EXPECT_EQ(decoder.RefusalReason(), "the file cannot be read");
  EXPECT_FALSE(decoder.Decode(nullptr));
}

// ---- Palettes ----

struct TPaletteCase {
  const char* name;
  TFile file;
  int count;
  std::vector<std::pair<int, uint32_t>> entries;
};

std::vector<uint32_t> ColorMap(size_t size, std::vector<std::pair<int, uint32_t>> values) {
  std::vector<uint32_t> map(size);
  for (const auto& [index, value] : values) map[index] = value;
  return map;
}

const TPaletteCase kPaletteCases[] = {
    {"OneBitIsWhiteThenBlack",
     {.bits = {1}, .added = {{262, kShort, {1}}}},
     2,
     {{0, 0xFFFFFF}, {1, 0}}},
    {"FourBitBuiltIn",
     {.bits = {4}},
     16,
     {{1, 0x000080}, {2, 0x800000}, {4, 0x008000}, {8, 0x404040}, {11, 0xF000F0}, {15, 0xF0F0F0}}},
    {"EightBitBuiltIn", {}, 256, {{0, 0}, {32 * 3 + 4 * 5 + 2, 0xBF7FBF}, {255, 0xFFFFFF}}},
    {"EightBitMapScaled",
     {.added = {{320, kShort,
                 ColorMap(
                     768,
                     {{0, 0xFFFF}, {256, 0x8080}, {512, 0x00FF}, {1, 0xFF00}, {513, 0x0101}})}}},
     256,
     {{0, 0xFF80FF}, {1, 0xFF0001}, {2, 0}}},
    {"FourBitMapScaled",
     {.bits = {4},
      .added = {{320, kShort,
                 ColorMap(48, {{0, 0xFFFF}, {16, 15}, {32, 8}, {1, 0x1000}, {17, 0x0120}})}}},
     16,
     {{0, 0xF0F080}, {1, 0x103000}}},
    {"RedGreenBlueGetsBuiltIn", {.bits = {8, 8, 8}, .samples = 3}, 256, {{255, 0xFFFFFF}}},
    {"ColourWordsHaveNone", {.bits = {16}}, 0, {}},
    {"MapOfUnknownTypeIsBlack", {.added = {{320, 9, {768, 0}, true}}}, 256, {{255, 0}}},
};

class PaletteTest : public ::testing::TestWithParam<TPaletteCase> {};

TEST_P(PaletteTest, Entries) {
  const auto decoder = InfoOf(GetParam().file);
  EXPECT_EQ(decoder->paletteCount, GetParam().count);
  for (const auto& [index, colour] : GetParam().entries) {
    EXPECT_EQ(decoder->palette[index], colour) << "entry " << index;
  }
  for (int i = GetParam().count; i < 256; ++i) ASSERT_EQ(decoder->palette[i], 0u) << "entry " << i;
}

INSTANTIATE_TEST_SUITE_P(Palette, PaletteTest, ::testing::ValuesIn(kPaletteCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Geometry ----

struct TGeometryCase {
  const char* name;
  TFile file;
  int box;  // 0: full size
  int step, outWidth, outHeight, srcRowBytes, outRowBytes;
};

const TGeometryCase kGeometryCases[] = {
    {"Preview640x480", {640, 480}, 64, 8, 80, 60, 640, 80},
    {"Preview1024x768", {1024, 768}, 64, 16, 64, 48, 1024, 64},
    {"Preview100x30StaysLarger", {100, 30}, 64, 1, 100, 30, 100, 100},
    {"Preview50x40", {50, 40}, 64, 1, 50, 40, 50, 50},
    {"PreviewBoxBelowOneTreatedAsOne", {100, 30}, -5, 64, 2, 1, 100, 2},
    {"OneBitRowPadded", {100, 2, {1}}, 0, 1, 100, 2, 104, 104},
    {"OneBitPreviewPadded", {100, 2, {1}}, 50, 2, 50, 1, 104, 56},
    {"FourBitRowPadded", {15, 2, {4}}, 0, 1, 15, 2, 16, 16},
    {"RedGreenBlue", {100, 2, {8, 8, 8}, 3}, 0, 1, 100, 2, 400, 400},
    {"ColourWords", {100, 2, {16}}, 0, 1, 100, 2, 400, 400},
    {"RedGreenBlueAlpha",
     {100, 2, {8, 8, 8, 8}, 4, {}, 1, {kRgb, ExtraSamples({1})}},
     0,
     1,
     100,
     2,
     400,
     400},
};

class GeometryTest : public ::testing::TestWithParam<TGeometryCase> {};

TEST_P(GeometryTest, Sizes) {
  const TGeometryCase& c = GetParam();
  TTiffDecoder decoder;
  decoder.preview = c.box != 0;
  decoder.boxWidth = decoder.boxHeight = c.box;
  ASSERT_TRUE(DecodeFile(decoder, c.file.Bytes()));
  EXPECT_EQ(decoder.step, c.step);
  EXPECT_EQ(decoder.mask, c.step - 1);
  EXPECT_EQ(1 << decoder.shift, c.step);
  EXPECT_EQ(std::vector<int>(
                {decoder.outWidth, decoder.outHeight, decoder.srcRowBytes, decoder.outRowBytes}),
            std::vector<int>({c.outWidth, c.outHeight, c.srcRowBytes, c.outRowBytes}));
  // Rows the strip never reaches are zero.
  EXPECT_EQ(TBytes(decoder.pixels, decoder.pixels + c.outHeight * c.outRowBytes),
            TBytes(c.outHeight * c.outRowBytes, 0));
}

INSTANTIATE_TEST_SUITE_P(Geometry, GeometryTest, ::testing::ValuesIn(kGeometryCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Pixels ----

struct TPixelCase {
  const char* name;
  TFile file;
  int box;  // 0: full size
  TBytes expected;
};

const TAdded kCountZero = {279, kLong, {0}};
const TAdded kFillOrder2 = {266, kShort, {2}};

// The bytes with the bits of each in the opposite order.
TBytes BitsReversed(TBytes bytes) {
  for (uint8_t& byte : bytes) {
    uint8_t reversed = 0;
    for (int bit = 0; bit < 8; ++bit)
      reversed = static_cast<uint8_t>(reversed << 1 | (byte >> bit & 1));
    byte = reversed;
  }
  return bytes;
}
const TBytes kLzwFour = PackCodes({256, 10, 20, 30, 40, 257});

const TPixelCase kPixelCases[] = {
    {"OneBitTenWide", {10, 2, {1}, 1, {0xB0, 0xC5, 0x01, 0x80}}, 0, {1, 0, 1, 1, 0, 0, 0, 0,
                                                                     1, 1, 0, 0, 0, 1, 0, 1,
                                                                     0, 0, 0, 0, 0, 0, 0, 1,
                                                                     1, 0, 0, 0, 0, 0, 0, 0}},
    {"FourBitLowNibbleFirst", {3, 1, {4}, 1, {0x21, 0x43}}, 0, {1, 2, 3, 4}},
    {"EightBitUnchanged", {3, 1, {8}, 1, {7, 8, 255}}, 0, {7, 8, 255}},
    {"RedGreenBlueTriplets",
     {2, 1, {8, 8, 8}, 3, {0x10, 0x20, 0x30, 1, 2, 3}},
     0,
     {0x30, 0x20, 0x10, 0, 3, 2, 1, 0}},
    {"ColourWords",
     {4, 1, {16}, 1, {0x1F, 0x00, 0xE0, 0x03, 0x00, 0x7C, 0xFF, 0xFF}},
     0,
     {0xF8, 0, 0, 0, 0, 0, 0xF8, 0, 0, 0xF8, 0, 0, 0xF8, 0xF8, 0xF8, 0}},
    {"RedGreenBlueAlphaDropsAlpha",
     {2, 1, {8, 8, 8, 8}, 4, {1, 2, 3, 9, 4, 5, 6, 9}, 1, {kRgb, ExtraSamples({2})}},
     0,
     {3, 2, 1, 0, 6, 5, 4, 0}},
    {"PreviewKeepsEverySecond", {5, 5, {8}, 1, Counting(25)}, 2, {0, 2, 4, 10, 12, 14, 20, 22, 24}},
    {"PreviewOfColourWords",
     {4, 2, {16}, 1, Counting(16)},
     2,
     {0, 0, 0x40, 0, 0x20, 0x08, 0x40, 0}},
    {"ShortStripLeavesZeroRows",
     {2, 3, {8}, 1, {1, 2, 3, 4, 5, 6}, 1, {{279, kLong, {3}}}},
     0,
     {1, 2, 3, 0, 0, 0}},
    {"StripCutByEndOfFile", {2, 2, {8}, 1, {1, 2, 3, 4}, 1, {}, 1}, 0, {1, 2, 3, 0}},
    {"DataPastLastRowIgnored",
     {2, 2, {1}, 1, TBytes(4000, 0xFF), 1, {kCountZero}},
     0,
     TBytes(16, 1)},
    {"ColourDataPastLastRowIgnored",
     {1, 1, {8, 8, 8}, 3, TBytes(4000, 0x11), 1, {kCountZero}},
     0,
     {0x11, 0x11, 0x11, 0}},
    {"CountZeroRunsToEnd", {6, 1, {8}, 1, Counting(6), 1, {kCountZero}}, 0, Counting(6)},
    {"CountFiveRunsToEnd", {6, 1, {8}, 1, Counting(6), 1, {{279, kLong, {5}}}}, 0, Counting(6)},
    {"CountFourReadsFour",
     {6, 1, {8}, 1, Counting(6), 1, {{279, kLong, {4}}}},
     0,
     {0, 1, 2, 3, 0, 0}},
    {"CountPastEndReadsWhatExists",
     {2, 1, {8}, 1, {1, 2}, 1, {{279, kLong, {0xFFFFFFFF}}}},
     0,
     {1, 2}},
    {"OffsetPastEndReadsNothing",
     {2, 1, {8}, 1, {1, 2}, 1, {{273, kLong, {0xFFFFFFF0}}}},
     0,
     {0, 0}},
    {"OffsetPastEndWithoutCountReadsNothing",
     {2, 1, {8}, 1, {1, 2}, 1, {{273, kLong, {0x7FFFFFF0}}, kCountZero}},
     0,
     {0, 0}},
    {"LzwExample", {3, 1, {8}, 1, {0x80, 0x10, 0x60, 0x50, 0x10}, 5}, 0, {0x41, 0x41, 0x41}},
    {"LzwStrip", {2, 2, {8}, 1, kLzwFour, 5}, 0, {10, 20, 30, 40}},
    {"LzwCountEndsBeforeEndCode",
     {2, 2, {8}, 1, kLzwFour, 5, {{279, kLong, {4}}}},
     0,
     {10, 20, 0, 0}},
    {"LzwPastLastRowIgnored",
     {2, 1, {8}, 1, PackCodes({256, 1, 2, 3, 4, 5, 6, 7, 8, 257}), 5},
     0,
     {1, 2}},
    {"LzwColourWord", {1, 1, {16}, 1, PackCodes({256, 0x1F, 0, 257}), 5}, 0, {0xF8, 0, 0, 0}},
    // FillOrder 2: the bits of every byte are reversed as they come from the file, LZW code
    // streams included, whole bytes too.
    {"FillOrderReversesBits",
     {8, 1, {1}, 1, {0x01}, 1, {kFillOrder2}},
     0,
     {1, 0, 0, 0, 0, 0, 0, 0}},
    {"FillOrderReversesNibbleBytes", {2, 1, {4}, 1, {0x21}, 1, {kFillOrder2}}, 0, {4, 8}},
    {"FillOrderReversesTheLzwStream",
     {8, 1, {1}, 1, BitsReversed(PackCodes({256, 0x01, 257})), 5, {kFillOrder2}},
     0,
     {0, 0, 0, 0, 0, 0, 0, 1}},
    {"FillOrderReversesWholeBytes", {2, 1, {8}, 1, {1, 2}, 1, {kFillOrder2}}, 0, {0x80, 0x40}},
    // Horizontal differencing, undone row by row: per byte, per colour and per 16-bit value.
    {"PredictorPerRow",
     {3, 2, {8}, 1, PackCodes({256, 10, 1, 1, 20, 2, 254, 257}), 5, {Predictor(2)}},
     0,
     {10, 11, 12, 20, 22, 20}},
    {"PredictorPerColour",
     {2, 1, {8, 8, 8}, 3, PackCodes({256, 10, 20, 30, 1, 2, 3, 257}), 5, {Predictor(2)}},
     0,
     {30, 20, 10, 0, 33, 22, 11, 0}},
    {"PredictorPerWordWithCarry",
     {2, 1, {16}, 1, PackCodes({256, 0xFF, 0, 1, 0, 257}), 5, {Predictor(2)}},
     0,
     {248, 0, 56, 0, 0, 0, 64, 0}},
    {"PredictorOfStoredDataIgnored", {3, 1, {8}, 1, {10, 5, 5}, 1, {Predictor(2)}}, 0, {10, 5, 5}},
};

class PixelTest : public ::testing::TestWithParam<TPixelCase> {};

TEST_P(PixelTest, Stored) {
  TTiffDecoder decoder;
  decoder.preview = GetParam().box != 0;
  decoder.boxWidth = decoder.boxHeight = GetParam().box;
  ASSERT_TRUE(DecodeFile(decoder, GetParam().file.Bytes()));
  EXPECT_EQ(TBytes(decoder.pixels, decoder.pixels + decoder.outHeight * decoder.outRowBytes),
            GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Strip, PixelTest, ::testing::ValuesIn(kPixelCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Images of several strips ----

// RowsPerStrip, StripOffsets counted from the start of the image data, and StripByteCounts;
// `claimed` is written as the count of both arrays when given.
std::vector<TAdded> Strips(uint32_t rows, std::vector<uint32_t> offsets,
                           std::vector<uint32_t> counts, uint16_t type = kLong,
                           int64_t claimed = -1) {
  return {{278, kLong, {rows}},
          {273, type, std::move(offsets), false, true, claimed},
          {279, type, std::move(counts), false, false, claimed}};
}

// 3 x 5 at 8 bits; two rows a strip make strips of rows 0-1, 2-3 and 4.
TFile ThreeStrips(std::vector<TAdded> strips, TBytes data = Counting(15), int compression = 1) {
  return {3, 5, {8}, 1, std::move(data), compression, std::move(strips)};
}

TBytes Joined(std::vector<TBytes> parts) {
  TBytes joined;
  for (const TBytes& part : parts) joined.insert(joined.end(), part.begin(), part.end());
  return joined;
}

// Counting(15) with the rows of the middle strip left zero.
const TBytes kMiddleStripZero = {0, 1, 2, 3, 4, 5, 0, 0, 0, 0, 0, 0, 12, 13, 14};

const TPixelCase kStripCases[] = {
    {"InOrder", ThreeStrips(Strips(2, {0, 6, 12}, {6, 6, 3})), 0, Counting(15)},
    {"AnywhereInTheFile",
     ThreeStrips(Strips(2, {9, 3, 0}, {6, 6, 3}),
                 {12, 13, 14, 6, 7, 8, 9, 10, 11, 0, 1, 2, 3, 4, 5}),
     0, Counting(15)},
    {"ShortArrays", ThreeStrips(Strips(2, {0, 6, 12}, {6, 6, 3}, kShort)), 0, Counting(15)},
    {"TwoShortsInTheValueField",
     {3, 4, {8}, 1, Counting(12), 1, Strips(2, {0, 6}, {6, 6}, kShort)},
     0,
     Counting(12)},
    {"OtherTypesSupplyNothing", ThreeStrips(Strips(2, {0, 6, 12}, {6, 6, 3}, kByte)), 0,
     TBytes(15, 0)},
    {"MoreOffsetsThanStrips", ThreeStrips(Strips(2, {0, 6, 12, 0, 3}, {6, 6, 3, 15, 15})), 0,
     Counting(15)},
    {"FewerOffsetsThanStrips",
     ThreeStrips(Strips(2, {0, 6}, {6, 6, 3})),
     0,
     {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0, 0, 0}},
    {"FewerCountsThanStrips",
     ThreeStrips(Strips(2, {0, 6, 12}, {6, 6})),
     0,
     {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0, 0, 0}},
    {"BillionsClaimedReadOnlyTheStripsNeeded",
     ThreeStrips(Strips(2, {0, 6, 12}, {6, 6, 3}, kLong, 0xFFFFFFFF)), 0, Counting(15)},
    {"OffsetPastEndOfFile", ThreeStrips(Strips(2, {0, 0xFFFFF000, 12}, {6, 6, 3})), 0,
     kMiddleStripZero},
    {"CountPastEndOfFileReadsWhatExists", ThreeStrips(Strips(2, {0, 6, 12}, {6, 6, 0xFFFFFFFF})), 0,
     Counting(15)},
    // A single strip's count is unsigned too: 2^31 is no negative number.
    {"OneStripCountOfTwoGigabytes", ThreeStrips(Strips(5, {0}, {0x80000000})), 0, Counting(15)},
    {"CountZeroSuppliesNothing", ThreeStrips(Strips(2, {0, 6, 12}, {6, 0, 3})), 0,
     kMiddleStripZero},
    // The middle strip starts at the end of the file: its seek must not leave the first strip's
    // end on record as the stream's position, where the last strip starts.
    {"StripAtTheEndOfTheFileThenOneWhereTheFirstEnded",
     ThreeStrips(Strips(2, {0, 15, 6}, {6, 6, 3})),
     0,
     {0, 1, 2, 3, 4, 5, 0, 0, 0, 0, 0, 0, 6, 7, 8}},
    {"TooManyBytesStayInTheirRows", ThreeStrips(Strips(2, {0, 6, 12}, {15, 0, 3})), 0,
     kMiddleStripZero},
    {"CountFiveIsFiveBytes",
     ThreeStrips(Strips(2, {0, 6, 12}, {5, 6, 3})),
     0,
     {0, 1, 2, 3, 4, 0, 6, 7, 8, 9, 10, 11, 12, 13, 14}},
    {"ShortStripThenNextOnItsOwnRow",
     ThreeStrips(Strips(2, {0, 6, 12}, {6, 4, 3})),
     0,
     {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 12, 13, 14}},
    {"RowsPerStripZeroIsOneStrip", ThreeStrips(Strips(0, {0, 3}, {15, 3})), 0, Counting(15)},
    {"RowsPerStripAllOnesIsOneStrip", ThreeStrips(Strips(0xFFFFFFFF, {0, 3}, {15, 3})), 0,
     Counting(15)},
    {"OneBitRowsStartOnBytes",
     {10, 3, {1}, 1, {0xB0, 0xC0, 0xFF, 0xC0, 0x80, 0x40}, 1, Strips(1, {0, 2, 4}, {2, 1, 2})},
     0,
     {1, 0, 1, 1, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1,
      0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0}},
    {"ColourStripEndingInsideAPixel",
     {2, 2, {8, 8, 8}, 3, {1, 2, 3, 4, 10, 20, 30, 40, 50, 60}, 1, Strips(1, {0, 4}, {4, 6})},
     0,
     {3, 2, 1, 0, 0, 0, 0, 0, 30, 20, 10, 0, 60, 50, 40, 0}},
    {"LzwEachStripItsOwnStream",
     ThreeStrips(Strips(2, {0, 9, 16}, {9, 7, 6}),
                 Joined({PackCodes({256, 0, 1, 2, 3, 4, 5, 257}), PackCodes({6, 258, 7, 8, 9, 257}),
                         PackCodes({256, 12, 13, 14, 257})}),
                 5),
     0,
     {0, 1, 2, 3, 4, 5, 6, 6, 6, 7, 8, 9, 12, 13, 14}},
    {"LzwStripCutShort",
     ThreeStrips(
         Strips(2, {0, 9, 18}, {4, 9, 6}),
         Joined({PackCodes({256, 50, 51, 52, 53, 54, 55, 257}),
                 PackCodes({256, 6, 7, 8, 9, 10, 11, 257}), PackCodes({256, 12, 13, 14, 257})}),
         5),
     0,
     {50, 51, 0, 0, 0, 0, 6, 7, 8, 9, 10, 11, 12, 13, 14}},
    {"LzwStripRunningPastItsRows",
     ThreeStrips(Strips(2, {0, 13, 13}, {13, 0, 6}),
                 Joined({PackCodes({256, 0, 1, 2, 3, 4, 5, 6, 7, 8, 257}),
                         PackCodes({256, 12, 13, 14, 257})}),
                 5),
     0, kMiddleStripZero},
};

INSTANTIATE_TEST_SUITE_P(Strips, PixelTest, ::testing::ValuesIn(kStripCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Reads a 9 x 9 image whose pixel at (x, y) is 9y + x at full size and as previews of every step,
// and checks that each kept pixel is the one at its place.
void ExpectEveryStepthPixel(const TBytes& bytes, const std::string& layout) {
  for (const auto& [box, step] : {std::pair{0, 1}, {3, 2}, {2, 4}, {1, 8}}) {
    TTiffDecoder decoder;
    decoder.preview = box != 0;
    decoder.boxWidth = decoder.boxHeight = box;
    ASSERT_TRUE(DecodeFile(decoder, bytes));
    ASSERT_EQ(decoder.step, step);
    const int side = (9 + step - 1) / step;
    TBytes expected;
    for (int y = 0; y < side; ++y) {
      for (int x = 0; x < side; ++x)
        expected.push_back(static_cast<uint8_t>(9 * y * step + x * step));
    }
    EXPECT_EQ(TBytes(decoder.pixels, decoder.pixels + side * side), expected)
        << layout << ", step " << step;
  }
}

// Previews of a 9 x 9 image cut into strips of every height: strips that start on a dropped row
// must still put the next kept row in its own output row.
TEST(Strips, PreviewsKeepEveryStepthRow) {
  for (uint32_t rows : {1, 2, 3, 4, 5, 8}) {
    std::vector<uint32_t> offsets, counts;
    for (uint32_t first = 0; first < 9; first += rows) {
      offsets.push_back(9 * first);
      counts.push_back(9 * std::min(rows, 9 - first));
    }
    const TBytes bytes =
        TFile{9, 9, {8}, 1, Counting(81), 1, Strips(rows, offsets, counts)}.Bytes();
    ExpectEveryStepthPixel(bytes, std::to_string(rows) + " rows a strip");
  }
}

// ---- Tiled images ----

// 5 x 3 at 8 bits in tiles of 4 x 2: tile k holds 10k, 10k + 1, ... row by row.
TFile FourTiles(std::vector<TAdded> tiles) {
  TBytes data;
  for (int k = 0; k < 4; ++k) {
    for (int i = 0; i < 8; ++i) data.push_back(static_cast<uint8_t>(10 * k + i));
  }
  return {5, 3, {8}, 1, std::move(data), 1, std::move(tiles)};
}

const TBytes kFourTiles = {0, 1, 2, 3, 10, 4, 5, 6, 7, 14, 20, 21, 22, 23, 30};

const TPixelCase kTileCases[] = {
    {"CutToTheImage", FourTiles(Tiles(4, 2, {0, 8, 16, 24}, {8, 8, 8, 8})), 0, kFourTiles},
    {"FewerOffsetsThanTiles",
     FourTiles(Tiles(4, 2, {0, 8}, {8, 8, 8, 8})),
     0,
     {0, 1, 2, 3, 10, 4, 5, 6, 7, 14, 0, 0, 0, 0, 0}},
    {"OffsetPastEndOfFile",
     FourTiles(Tiles(4, 2, {0, 8, 0xFFFFF000, 24}, {8, 8, 8, 8})),
     0,
     {0, 1, 2, 3, 10, 4, 5, 6, 7, 14, 0, 0, 0, 0, 30}},
    {"CountZeroSuppliesNothing",
     FourTiles(Tiles(4, 2, {0, 8, 16, 24}, {8, 0, 8, 8})),
     0,
     {0, 1, 2, 3, 0, 4, 5, 6, 7, 0, 20, 21, 22, 23, 30}},
    {"OneBitTileCutInsideAByte",
     {10, 1, {1}, 1, {0xFF, 0xFF}, 1, Tiles(16, 1, {0}, {2})},
     0,
     {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0}},
    {"PredictorInTileRows",
     {3,
      1,
      {8},
      1,
      Joined({PackCodes({256, 10, 1, 257}), PackCodes({256, 20, 5, 257})}),
      5,
      [] {
        std::vector<TAdded> added = Tiles(2, 1, {0, 5}, {5, 5});
        added.push_back(Predictor(2));
        return added;
      }()},
     0,
     {10, 11, 20}},
};

INSTANTIATE_TEST_SUITE_P(Tiles, PixelTest, ::testing::ValuesIn(kTileCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Previews of a 9 x 9 image in tiles of many shapes: every kept pixel comes from its tile, and
// tiles that hold no kept pixel are skipped without disturbing the others.
TEST(Tiles, PreviewsKeepEveryStepthPixel) {
  for (const auto& [tileWidth, tileLength] :
       {std::pair{1, 1}, {2, 3}, {4, 4}, {3, 8}, {16, 16}, {9, 2}}) {
    std::vector<uint32_t> offsets, counts;
    TBytes data;
    for (int top = 0; top < 9; top += tileLength) {
      for (int left = 0; left < 9; left += tileWidth) {
        offsets.push_back(static_cast<uint32_t>(data.size()));
        counts.push_back(static_cast<uint32_t>(tileWidth * tileLength));
        for (int y = top; y < top + tileLength; ++y) {
          for (int x = left; x < left + tileWidth; ++x)
            data.push_back(static_cast<uint8_t>(x < 9 && y < 9 ? 9 * y + x : 99));
        }
      }
    }
    const TBytes bytes =
        TFile{9, 9, {8}, 1, data, 1, Tiles(tileWidth, tileLength, offsets, counts)}.Bytes();
    ExpectEveryStepthPixel(
        bytes, std::to_string(tileWidth) + " x " + std::to_string(tileLength) + " tiles");
  }
}

// 30000 one-row strips whose arrays claim 2^32 - 1 values and run off the end of the file: the
// pass reads the strips that exist and allocates nothing for the rest.
TEST(Strips, HugeArraysRunOffTheFile) {
  const TBytes bytes =
      TFile{1, 30000, {8}, 1, {7, 8}, 1, Strips(1, {0, 1}, {1, 1}, kLong, 0xFFFFFFFF)}.Bytes();
  TTiffDecoder decoder;
  ASSERT_TRUE(DecodeFile(decoder, bytes));
  EXPECT_EQ(decoder.pixels[0], 7);
  EXPECT_EQ(decoder.pixels[1], 8);
}

// ---- Large strips ----

// The pixels of a one-strip image as the store lays them out, pixel by pixel from the file's
// bytes: a pixel is stored when all its bytes are in `data`, and rows hold their padding.
TBytes ExpectedPixels(int width, int height, int bits, int samples, const TBytes& data) {
  const bool colour = bits == 16 || samples == 3;
  const int64_t rowPixels = bits == 1   ? (width + 7) / 8 * 8
                            : bits == 4 ? width + (width & 1)
                                        : width;
  TBytes out(static_cast<size_t>(rowPixels * height * (colour ? 4 : 1)), 0);
  for (int64_t p = 0; p < rowPixels * height; ++p) {
    const int64_t fileBytes = colour ? (samples == 3 ? 3 : 2) : 1;
    const int64_t first = bits < 8 ? p * bits / 8 : p * fileBytes;
    if (first + (bits < 8 ? 1 : fileBytes) > static_cast<int64_t>(data.size())) break;
    const uint8_t* in = &data[static_cast<size_t>(first)];
    if (bits == 1) {
      out[p] = in[0] >> (7 - p % 8) & 1;
    } else if (bits == 4) {
      out[p] = p % 2 == 0 ? in[0] & 15 : in[0] >> 4;
    } else if (!colour) {
      out[p] = in[0];
    } else if (samples == 3) {
      out[4 * p] = in[2], out[4 * p + 1] = in[1], out[4 * p + 2] = in[0];
    } else {
      const int word = in[0] | in[1] << 8;
      out[4 * p] = static_cast<uint8_t>((word & 31) * 8);
      out[4 * p + 1] = static_cast<uint8_t>((word >> 10 & 31) * 8);
      out[4 * p + 2] = static_cast<uint8_t>((word >> 5 & 31) * 8);
    }
  }
  return out;
}

// Literal codes only, with a clear every 250 so they stay 9 bits wide.
TBytes LiteralStream(const TBytes& data) {
  std::vector<int> codes;
  for (size_t i = 0; i < data.size(); ++i) {
    if (i % 250 == 0) codes.push_back(256);
    codes.push_back(data[i]);
  }
  codes.push_back(257);
  return PackCodes(codes);
}

// Strips of several hundred KiB go through the reader's fixed buffers in many pieces: pixels
// split across pieces, rows that end inside a piece, and files that end inside a strip.
TEST(LargeStrips, PiecesJoinIntoTheSamePixels) {
  const struct {
    const char* name;
    int bits, samples;
  } kinds[] = {{"one bit", 1, 1},
               {"four bits", 4, 1},
               {"eight bits", 8, 1},
               {"red green blue", 8, 3},
               {"colour words", 16, 1}};
  constexpr int kWidth = 1001, kHeight = 500;
  for (const auto& kind : kinds) {
    const int64_t rowBytes = (int64_t{kWidth} * kind.bits * kind.samples + 7) / 8;
    TBytes data(static_cast<size_t>(rowBytes * kHeight));
    uint32_t seed = 99;
    for (uint8_t& byte : data)
      byte = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
    const std::vector<uint32_t> bits(kind.samples, static_cast<uint32_t>(kind.bits));
    for (const size_t cut : {size_t{0}, data.size() / 3 + 1}) {
      for (const int compression : {1, 5}) {
        SCOPED_TRACE(std::string(kind.name) + (compression == 5 ? ", LZW" : ", stored") +
                     (cut != 0 ? ", cut" : ""));
        const TBytes available(data.begin(), data.end() - static_cast<std::ptrdiff_t>(cut));
        TFile file{kWidth, kHeight, bits, kind.samples, data, compression};
        if (compression == 5)
          file.data = LiteralStream(available);
        else
          file.cut = cut;
        TTiffDecoder decoder;
        ASSERT_TRUE(DecodeFile(decoder, file.Bytes()));
        const TBytes pixels(decoder.pixels,
                            decoder.pixels + int64_t{decoder.outHeight} * decoder.outRowBytes);
        EXPECT_TRUE(pixels == ExpectedPixels(kWidth, kHeight, kind.bits, kind.samples, available));
      }
    }
  }
}

// ---- Read pass ----

TEST(ReadPass, InfoOnlyReadsNoData) {
  for (const TFile& file : {TFile{.added = {{273, kLong, {0x7FFFFFF0}}}},
                            TFile{.added = Strips(1, {0x7FFFFFF0, 0}, {2, 2})}}) {
    const auto decoder = InfoOf(file);
    EXPECT_FALSE(decoder->records.empty());
    EXPECT_EQ(decoder->pixels, nullptr);
  }
}

TEST(ReadPass, HandsOverPixelsAndPalette) {
  const TBytes colour = TFile{2, 1, {8, 8, 8}, 3, Counting(6)}.Bytes();
  uint8_t* pixels = nullptr;
  {
    TTiffDecoder decoder;
    ASSERT_TRUE(DecodeFile(decoder, TFile{}.Bytes()));  // the second pass frees this buffer
    ASSERT_TRUE(DecodeFile(decoder, colour));
    uint32_t* palette = decoder.CopyPalette();
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(std::memcmp(palette, decoder.palette, 1024), 0);
    std::free(palette);
    pixels = decoder.TakePixels();
    EXPECT_EQ(decoder.pixels, nullptr);
  }
  ASSERT_NE(pixels, nullptr);
  EXPECT_EQ(TBytes(pixels, pixels + 8), TBytes({2, 1, 0, 0, 5, 4, 3, 0}));
  std::free(pixels);

  TTiffDecoder decoder;
  ASSERT_TRUE(DecodeFile(decoder, colour));
  EXPECT_FALSE(DecodeFile(decoder, TFile{.bits = {2}}.Bytes()));
  EXPECT_EQ(decoder.pixels, nullptr);
}

}  // namespace
