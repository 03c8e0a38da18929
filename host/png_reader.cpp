#include "host/png_reader.h"

#include <algorithm>
#include <cstring>

#include "host/terminal.h"

// A PNG is its eight-byte signature, then chunks: a 4-byte big-endian length, a 4-byte type, the
// data, and a CRC-32 of type and data. IHDR comes first; PLTE and tRNS before the pixel data;
// the IDAT chunks hold together one zlib stream of all the rows, each row a filter type byte
// and then the row's bytes filtered by it; IEND ends the file. A chunk whose type starts with a
// capital letter is critical: a reader that does not know it cannot read the picture.

namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
// A chunk length is at most 2^31 - 1.
constexpr uint32_t kLargestChunk = 0x7FFFFFFF;
// Compressed bytes read from the file at a time.
constexpr size_t kInputBytes = 1 << 16;

enum ColourType { kGrey = 0, kRgb = 2, kIndexed = 3, kGreyAlpha = 4, kRgba = 6 };

constexpr const char* kCutShort = "the file ends before the picture does";
constexpr const char* kDamaged = "the compressed pixel data is damaged";

uint32_t BigEndian32(const uint8_t* bytes) {
  return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
}

int SamplesOf(int colourType) {
  switch (colourType) {
    case kRgb:
      return 3;
    case kGreyAlpha:
      return 2;
    case kRgba:
      return 4;
    default:
      return 1;
  }
}

// The depths each colour type allows.
bool DepthAllowed(int colourType, int depth) {
  switch (colourType) {
    case kGrey:
      return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case kIndexed:
      return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case kRgb:
    case kGreyAlpha:
    case kRgba:
      return depth == 8 || depth == 16;
    default:
      return false;
  }
}

// Where the seven passes of Adam7 interlacing start and how far apart their pixels lie; a
// picture without interlacing is one pass over every pixel.
struct Pass {
  uint32_t x, y, xStep, yStep;
};
constexpr Pass kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                            {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
constexpr Pass kWhole[1] = {{0, 0, 1, 1}};

uint8_t Paeth(int left, int above, int aboveLeft) {
  const int estimate = left + above - aboveLeft;
  const int toLeft = std::abs(estimate - left);
  const int toAbove = std::abs(estimate - above);
  const int toAboveLeft = std::abs(estimate - aboveLeft);
  if (toLeft <= toAbove && toLeft <= toAboveLeft) return static_cast<uint8_t>(left);
  return static_cast<uint8_t>(toAbove <= toAboveLeft ? above : aboveLeft);
}

// Undoes a row's filter in place; `above` is the row before it in the same pass, unfiltered.
bool Unfilter(uint8_t filter, uint8_t* row, const uint8_t* above, size_t size, size_t bpp) {
  switch (filter) {
    case 0:
      return true;
    case 1:
      for (size_t i = bpp; i < size; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - bpp]);
      return true;
    case 2:
      for (size_t i = 0; i < size; ++i) row[i] = static_cast<uint8_t>(row[i] + above[i]);
      return true;
    case 3:
      for (size_t i = 0; i < size; ++i) {
        const int left = i >= bpp ? row[i - bpp] : 0;
        row[i] = static_cast<uint8_t>(row[i] + (left + above[i]) / 2);
      }
      return true;
    case 4:
      for (size_t i = 0; i < size; ++i) {
        const int left = i >= bpp ? row[i - bpp] : 0;
        const int upLeft = i >= bpp ? above[i - bpp] : 0;
        row[i] = static_cast<uint8_t>(row[i] + Paeth(left, above[i], upLeft));
      }
      return true;
    default:
      return false;
  }
}

}  // namespace

bool IsPngSignature(const uint8_t* bytes, size_t size) {
  return size >= sizeof kPngSignature &&
         std::memcmp(bytes, kPngSignature, sizeof kPngSignature) == 0;
}

PngReader::~PngReader() {
  if (streamOpen) inflateEnd(&stream);
}

bool PngReader::Fail(const std::string& reason) {
  if (failure.empty()) failure = reason;
  return false;
}

bool PngReader::ReadExact(uint8_t* out, size_t size) {
  return std::fread(out, 1, size, file) == size || Fail(kCutShort);
}

bool PngReader::NextChunk() {
  uint8_t head[8];
  if (!ReadExact(head, sizeof head)) return false;
  chunkLeft = BigEndian32(head);
  std::memcpy(type, head + 4, 4);
  for (int i = 0; i < 4; ++i) {
    const char c = type[i];
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return Fail("not a PNG picture");
  }
  if (chunkLeft > kLargestChunk) return Fail("the file is damaged: a chunk is too long");
  crc = crc32(0, head + 4, 4);
  return true;
}

// Reads the checksum at the end of the chunk. A critical chunk with a wrong one is damage; an
// ancillary one is only left out, as other readers do.
bool PngReader::FinishChunk(bool critical) {
  uint8_t stored[4];
  if (!ReadExact(stored, sizeof stored)) return false;
  if (BigEndian32(stored) == static_cast<uint32_t>(crc)) return true;
  if (critical)
    return Fail(std::string("the file is damaged: the ") + type + " chunk's checksum is wrong");
  return false;
}

bool PngReader::ReadChunkData(std::vector<uint8_t>& data) {
  data.resize(chunkLeft);
  if (chunkLeft > 0 && !ReadExact(data.data(), chunkLeft)) return false;
  crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));
  chunkLeft = 0;
  return true;
}

bool PngReader::Skip(uint64_t size) {
  uint8_t scratch[4096];
  while (size > 0) {
    const size_t part = static_cast<size_t>(std::min<uint64_t>(size, sizeof scratch));
    if (!ReadExact(scratch, part)) return false;
    size -= part;
  }
  return true;
}

bool PngReader::ReadHeader(std::string& error) {
  std::vector<uint8_t> data;
  bool seenHeader = false;
  for (;;) {
    if (!NextChunk()) break;
    const std::string name(type);
    if (!seenHeader && name != "IHDR") {
      Fail("not a PNG picture: it does not start with its header");
      break;
    }
    if (name == "IDAT") {
      if (colourType == kIndexed && palette.empty()) {
        Fail("the file is damaged: a palette picture without its palette");
        break;
      }
      break;  // the pixels; ReadPixels goes on from here
    }
    if (name == "IEND") {
      Fail("the file holds no pixels");
      break;
    }
    const bool critical = name[0] >= 'A' && name[0] <= 'Z';
    const bool known = name == "IHDR" || name == "PLTE" || name == "tRNS";
    if (!known) {
      if (critical) {
        Fail("a PNG chunk this tool does not know (" + name + ")");
        break;
      }
      if (!Skip(uint64_t{chunkLeft} + 4)) break;  // its data and its checksum
      continue;
    }
    if (!ReadChunkData(data)) break;
    const bool sound = FinishChunk(critical);
    if (!failure.empty()) break;
    if (!sound) continue;  // a damaged tRNS is left out
    if (name == "IHDR") {
      if (seenHeader || data.size() != 13) {
        Fail("the file is damaged: its header is wrong");
        break;
      }
      seenHeader = true;
      width = BigEndian32(data.data());
      height = BigEndian32(data.data() + 4);
      bitDepth = data[8];
      colourType = data[9];
      interlaced = data[12] == 1;
      if (width == 0 || height == 0 || width > kLargestChunk || height > kLargestChunk) {
        Fail("the file is damaged: its header gives no size");
        break;
      }
      if (!DepthAllowed(colourType, bitDepth)) {
        Fail("a PNG of colour type " + std::to_string(colourType) + " with " +
             std::to_string(bitDepth) + "-bit samples, which PNG does not define");
        break;
      }
      if (data[10] != 0 || data[11] != 0 || data[12] > 1) {
        Fail("a PNG compressed, filtered or interlaced in a way PNG does not define");
        break;
      }
    } else if (name == "PLTE") {
      if (data.empty() || data.size() % 3 != 0 || data.size() > 3 * 256) {
        Fail("the file is damaged: its palette is wrong");
        break;
      }
      palette = data;
    } else if (colourType == kIndexed) {
      paletteAlpha.assign(data.begin(), data.begin() + std::min<size_t>(data.size(), 256));
    } else if (colourType == kGrey && data.size() >= 2) {
      hasColourKey = true;
      colourKey[0] = static_cast<uint16_t>(data[0] << 8 | data[1]);
    } else if (colourType == kRgb && data.size() >= 6) {
      hasColourKey = true;
      for (int c = 0; c < 3; ++c) {
        colourKey[c] = static_cast<uint16_t>(data[2 * c] << 8 | data[2 * c + 1]);
      }
    }
  }
  if (!failure.empty()) {
    error = failure;
    return false;
  }
  return true;
}

// Fills `out` with the next bytes of the rows' zlib stream, reading IDAT chunks as it needs them.
bool PngReader::FillRow(uint8_t* out, size_t size) {
  stream.next_out = out;
  stream.avail_out = static_cast<uInt>(size);
  while (stream.avail_out > 0) {
    if (streamEnded) return Fail("the compressed pixel data ends before the picture does");
    if (stream.avail_in == 0) {
      while (chunkLeft == 0) {
        // The IDAT chunk is used up: its checksum, then the next one, which must be IDAT too.
        if (!FinishChunk(true) || !NextChunk()) return false;
        if (std::strcmp(type, "IDAT") != 0) return Fail(kCutShort);
      }
      const size_t part = std::min<size_t>(chunkLeft, input.size());
      if (!ReadExact(input.data(), part)) return false;
      crc = crc32(crc, input.data(), static_cast<uInt>(part));
      chunkLeft -= static_cast<uint32_t>(part);
      stream.next_in = input.data();
      stream.avail_in = static_cast<uInt>(part);
    }
    const int result = inflate(&stream, Z_NO_FLUSH);
    if (result == Z_STREAM_END) {
      streamEnded = true;
    } else if (result != Z_OK && result != Z_BUF_ERROR) {
      return Fail(kDamaged);
    }
  }
  return true;
}

// One row of a pass as RGB, and whether any of its pixels is not opaque.
void PngReader::ConvertRow(const uint8_t* raw, uint32_t count, uint8_t* rgb) {
  const bool wide = bitDepth == 16;
  const size_t sampleBytes = wide ? 2 : 1;
  auto sample = [&](uint32_t pixel, int channel) -> uint32_t {
    const size_t at = (size_t{pixel} * SamplesOf(colourType) + channel) * sampleBytes;
    return wide ? uint32_t{raw[at]} << 8 | raw[at + 1] : raw[at];
  };
  // 16-bit samples keep their high byte.
  auto eight = [wide](uint32_t value) { return static_cast<uint8_t>(wide ? value >> 8 : value); };
  const uint32_t opaque = wide ? 0xFFFF : 0xFF;
  for (uint32_t x = 0; x < count; ++x, rgb += 3) {
    switch (colourType) {
      case kGrey:
      case kIndexed: {
        uint32_t value = 0;
        if (bitDepth >= 8) {
          value = sample(x, 0);
        } else {
          // Pixels smaller than a byte are packed from its high bits.
          const uint32_t bit = x * static_cast<uint32_t>(bitDepth);
          value = (raw[bit / 8] >> (8 - bitDepth - bit % 8)) & ((1u << bitDepth) - 1);
        }
        if (colourType == kIndexed) {
          // An index past the palette has no colour; it was checked before.
          const uint8_t* entry = &palette[3 * value];
          rgb[0] = entry[0];
          rgb[1] = entry[1];
          rgb[2] = entry[2];
          transparent |= value < paletteAlpha.size() && paletteAlpha[value] != 255;
          break;
        }
        transparent |= hasColourKey && value == colourKey[0];
        // Grey below 8 bits spreads over 0 to 255: 1 bit times 255, 2 bits 85, 4 bits 17.
        const uint8_t grey = bitDepth >= 8
                                 ? eight(value)
                                 : static_cast<uint8_t>(value * (255 / ((1u << bitDepth) - 1)));
        rgb[0] = rgb[1] = rgb[2] = grey;
        break;
      }
      case kGreyAlpha:
        rgb[0] = rgb[1] = rgb[2] = eight(sample(x, 0));
        transparent |= sample(x, 1) != opaque;
        break;
      case kRgb:
      case kRgba: {
        const uint32_t red = sample(x, 0), green = sample(x, 1), blue = sample(x, 2);
        rgb[0] = eight(red);
        rgb[1] = eight(green);
        rgb[2] = eight(blue);
        if (colourType == kRgba) {
          transparent |= sample(x, 3) != opaque;
        } else {
          transparent |=
              hasColourKey && red == colourKey[0] && green == colourKey[1] && blue == colourKey[2];
        }
        break;
      }
    }
  }
}

bool PngReader::ReadPixels(RgbImage& image, ReadProgress progress, std::string& error) {
  if (!failure.empty()) {
    error = failure;
    return false;
  }
  const size_t rgbRow = size_t{width} * 3;
  image.pixels.assign(rgbRow * height, 0);
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  transparent = false;
  input.resize(kInputBytes);
  if (inflateInit(&stream) != Z_OK) {
    error = "cannot start zlib";
    return false;
  }
  streamOpen = true;

  const size_t bitsPerPixel = static_cast<size_t>(SamplesOf(colourType)) * bitDepth;
  const size_t bpp = std::max<size_t>(1, bitsPerPixel / 8);
  const size_t widestRow = (size_t{width} * bitsPerPixel + 7) / 8;
  std::vector<uint8_t> row(widestRow + 1);
  std::vector<uint8_t> above(widestRow);
  std::vector<uint8_t> converted(rgbRow);
  const uint32_t paletteEntries = static_cast<uint32_t>(palette.size() / 3);

  const Pass* passes = interlaced ? kAdam7 : kWhole;
  const int passCount = interlaced ? 7 : 1;
  double allRows = 0;
  for (int p = 0; p < passCount; ++p) {
    const Pass& pass = passes[p];
    if (pass.x < width && pass.y < height)
      allRows += (height - pass.y + pass.yStep - 1) / pass.yStep;
  }
  double rowsDone = 0;
  for (int p = 0; p < passCount && failure.empty(); ++p) {
    const Pass& pass = passes[p];
    if (pass.x >= width || pass.y >= height) continue;  // a pass with no pixels has no rows
    const uint32_t columns = (width - pass.x + pass.xStep - 1) / pass.xStep;
    const uint32_t rows = (height - pass.y + pass.yStep - 1) / pass.yStep;
    const size_t rowBytes = (size_t{columns} * bitsPerPixel + 7) / 8;
    std::fill(above.begin(), above.end(), 0);
    for (uint32_t r = 0; r < rows; ++r) {
      if (Interrupted()) {
        Fail("interrupted");
        break;
      }
      if (!FillRow(row.data(), rowBytes + 1)) break;
      uint8_t* pixels = row.data() + 1;
      if (!Unfilter(row[0], pixels, above.data(), rowBytes, bpp)) {
        Fail(kDamaged);
        break;
      }
      if (colourType == kIndexed) {
        // A pixel naming a colour the palette lacks has no colour to show.
        for (uint32_t x = 0; x < columns; ++x) {
          const uint32_t bit = x * static_cast<uint32_t>(bitDepth);
          const uint32_t index = bitDepth == 8 ? pixels[x]
                                               : (pixels[bit / 8] >> (8 - bitDepth - bit % 8)) &
                                                     ((1u << bitDepth) - 1);
          if (index >= paletteEntries) {
            Fail("the file is damaged: a pixel names colour " + std::to_string(index) +
                 " of a palette of " + std::to_string(paletteEntries));
            break;
          }
        }
        if (!failure.empty()) break;
      }
      const uint32_t y = pass.y + r * pass.yStep;
      uint8_t* target = image.pixels.data() + size_t{y} * rgbRow;
      if (pass.xStep == 1) {
        ConvertRow(pixels, columns, target);
      } else {
        ConvertRow(pixels, columns, converted.data());
        for (uint32_t c = 0; c < columns; ++c) {
          std::memcpy(target + 3 * (size_t{pass.x} + size_t{c} * pass.xStep), &converted[3 * c], 3);
        }
      }
      std::memcpy(above.data(), pixels, rowBytes);
      if (progress != nullptr) progress(std::min(1.0, ++rowsDone / allRows));
    }
  }
  image.transparent = transparent;
  if (!failure.empty()) {
    error = failure;
    return false;
  }
  return true;
}
