#include "host/png_writer.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// Every PNG starts with these eight bytes: 0x89 "PNG" CR LF ^Z LF.
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
// Compressed bytes gathered before they go out as one IDAT chunk.
constexpr size_t kIdatBytes = 1 << 16;
// zlib's level 3: on photos and on palette pictures its files are 2 to 4% larger than the
// default level 6 gives, in 40 to 60% of the time.
constexpr int kCompressionLevel = 3;
// Colour types in the header: 0 grey, 2 RGB.
constexpr uint8_t kGreyColourType = 0;
constexpr uint8_t kRgbColourType = 2;
// The row filters PNG defines, by their type byte.
enum Filter : uint8_t { kNone = 0, kSub = 1, kUp = 2, kAverage = 3, kPaeth = 4 };

void PutBigEndian32(uint8_t* out, uint32_t value) {
  out[0] = static_cast<uint8_t>(value >> 24);
  out[1] = static_cast<uint8_t>(value >> 16);
  out[2] = static_cast<uint8_t>(value >> 8);
  out[3] = static_cast<uint8_t>(value);
}

uint8_t Paeth(int left, int above, int aboveLeft) {
  const int estimate = left + above - aboveLeft;
  const int toLeft = std::abs(estimate - left);
  const int toAbove = std::abs(estimate - above);
  const int toAboveLeft = std::abs(estimate - aboveLeft);
  if (toLeft <= toAbove && toLeft <= toAboveLeft) return static_cast<uint8_t>(left);
  return static_cast<uint8_t>(toAbove <= toAboveLeft ? above : aboveLeft);
}

// `out` gets the filter type and `row` filtered by it; `bpp` bytes lie between a byte and the
// one on its left.
void ApplyFilter(Filter filter, const uint8_t* row, const uint8_t* above, size_t size, size_t bpp,
                 uint8_t* out) {
  out[0] = filter;
  for (size_t i = 0; i < size; ++i) {
    const int left = i >= bpp ? row[i - bpp] : 0;
    const int up = above[i];
    const int upLeft = i >= bpp ? above[i - bpp] : 0;
    int predicted = 0;
    switch (filter) {
      case kNone:
        predicted = 0;
        break;
      case kSub:
        predicted = left;
        break;
      case kUp:
        predicted = up;
        break;
      case kAverage:
        predicted = (left + up) / 2;
        break;
      case kPaeth:
        predicted = Paeth(left, up, upLeft);
        break;
    }
    out[1 + i] = static_cast<uint8_t>(row[i] - predicted);
  }
}

// The usual measure of how well a filtered row will compress: its bytes as signed numbers,
// added up without their signs. The smaller, the better.
uint64_t Spread(const std::vector<uint8_t>& filtered) {
  uint64_t sum = 0;
  for (size_t i = 1; i < filtered.size(); ++i) sum += std::abs(static_cast<int8_t>(filtered[i]));
  return sum;
}

}  // namespace

PngWriter::~PngWriter() {
  if (streamOpen) deflateEnd(&stream);
  if (file != nullptr) std::fclose(file);
}

bool PngWriter::Fail(const std::string& reason) {
  if (!failed) error = reason;
  failed = true;
  return false;
}

bool PngWriter::WriteChunk(const char type[4], const uint8_t* data, size_t size) {
  uint8_t head[8];
  PutBigEndian32(head, static_cast<uint32_t>(size));
  std::memcpy(head + 4, type, 4);
  uLong crc = crc32(0, head + 4, 4);
  if (size > 0) crc = crc32(crc, data, static_cast<uInt>(size));
  uint8_t tail[4];
  PutBigEndian32(tail, static_cast<uint32_t>(crc));
  if (std::fwrite(head, 1, 8, file) != 8 ||
      (size > 0 && std::fwrite(data, 1, size, file) != size) ||
      std::fwrite(tail, 1, 4, file) != 4) {
    return Fail(std::strerror(errno));
  }
  return true;
}

bool PngWriter::Begin(const std::string& path, int width, int height, int newChannels) {
  if (failed) return false;
  if (width < 1 || height < 1 || (newChannels != 1 && newChannels != 3)) {
    return Fail("cannot encode a picture of " + std::to_string(width) + " x " +
                std::to_string(height) + " pixels");
  }
  file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return Fail(std::strerror(errno));
  channels = newChannels;
  rowBytes = static_cast<size_t>(width) * static_cast<size_t>(channels);
  rowsLeft = height;
  try {
    previous.assign(rowBytes, 0);
    filtered.resize(rowBytes + 1);
    candidate.resize(rowBytes + 1);
    idat.resize(kIdatBytes);
  } catch (const std::bad_alloc&) {
    return Fail("not enough memory for a row of the picture");
  }
  if (deflateInit(&stream, 6) != Z_OK) return Fail("cannot start zlib");
  streamOpen = true;
  stream.next_out = idat.data();
  stream.avail_out = static_cast<uInt>(idat.size());

  // IHDR: width, height, bit depth 8, colour type, deflate, adaptive filtering, no interlace.
  uint8_t header[13] = {};
  PutBigEndian32(header, static_cast<uint32_t>(width));
  PutBigEndian32(header + 4, static_cast<uint32_t>(height));
  header[8] = 8;
  header[9] = channels == 1 ? kGreyColourType : kRgbColourType;
  if (std::fwrite(kPngSignature, 1, sizeof kPngSignature, file) != sizeof kPngSignature) {
    return Fail(std::strerror(errno));
  }
  return WriteChunk("IHDR", header, sizeof header);
}

bool PngWriter::Deflate(const uint8_t* data, size_t size, int flush) {
  stream.next_in = const_cast<Bytef*>(data);
  stream.avail_in = static_cast<uInt>(size);
  for (;;) {
    const int result = deflate(&stream, flush);
    if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
      return Fail("cannot compress the pixels");
    }
    const bool full = stream.avail_out == 0;
    if (full || result == Z_STREAM_END) {
      const size_t used = idat.size() - stream.avail_out;
      if (used > 0 && !WriteChunk("IDAT", idat.data(), used)) return false;
      stream.next_out = idat.data();
      stream.avail_out = static_cast<uInt>(idat.size());
    }
    if (result == Z_STREAM_END) return true;
    if (flush == Z_NO_FLUSH && stream.avail_in == 0 && !full) return true;
  }
}

void PngWriter::ChooseFilter(const uint8_t* row) {
  const size_t bpp = static_cast<size_t>(channels);
  ApplyFilter(kNone, row, previous.data(), rowBytes, bpp, filtered.data());
  // Grey rows here are palette indices, whose numbers say nothing about their neighbours': they
  // compress best unfiltered. RGB rows take whichever filter spreads least.
  if (channels == 1) return;
  uint64_t best = Spread(filtered);
  for (Filter filter : {kSub, kUp, kAverage, kPaeth}) {
    ApplyFilter(filter, row, previous.data(), rowBytes, bpp, candidate.data());
    const uint64_t spread = Spread(candidate);
    if (spread < best) {
      best = spread;
      filtered.swap(candidate);
    }
  }
}

bool PngWriter::WriteRow(const uint8_t* row) {
  if (failed || file == nullptr) return false;
  if (rowsLeft <= 0) return Fail("more rows than the picture has");
  ChooseFilter(row);
  std::memcpy(previous.data(), row, rowBytes);
  --rowsLeft;
  return Deflate(filtered.data(), filtered.size(), Z_NO_FLUSH);
}

bool PngWriter::Finish() {
  if (failed || file == nullptr) return false;
  if (rowsLeft != 0) return Fail("fewer rows than the picture has");
  if (!Deflate(nullptr, 0, Z_FINISH) || !WriteChunk("IEND", nullptr, 0)) return false;
  // The flush is asked for on its own: Wine's C library loses its error when fclose does it.
  const bool flushed = std::fflush(file) == 0;
  if (!flushed) Fail(std::strerror(errno));
  const bool closed = std::fclose(file) == 0;
  file = nullptr;
  if (flushed && !closed) Fail(std::strerror(errno));
  return !failed;
}

bool WritePng(const std::string& path, const std::vector<uint8_t>& pixels, int width, int height,
              int channels, std::string& error) {
  PngWriter writer;
  const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(channels);
  if (width > 0 && height > 0 && pixels.size() < rowBytes * static_cast<size_t>(height)) {
    error = "fewer pixels than the picture has";
    return false;
  }
  bool written = writer.Begin(path, width, height, channels);
  for (int y = 0; written && y < height; ++y) {
    written = writer.WriteRow(pixels.data() + static_cast<size_t>(y) * rowBytes);
  }
  written = written && writer.Finish();
  if (!written) error = writer.Error();
  return written;
}
