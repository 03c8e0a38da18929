// The read pass of TTiffDecoder and its bounds-checked access to the open file.
#include "reader/tiff_decoder.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {
constexpr const char* kRecordsBanner = "* TIFF FILE (decoder records) *\n\n";
}  // namespace

TTiffDecoder::TTiffDecoder() = default;

TTiffDecoder::~TTiffDecoder() {
  std::free(pixels);
}

bool TTiffDecoder::Decode(const char* fileName) {
  std::FILE* stream = std::fopen(fileName != nullptr ? fileName : "", "rb");
  const bool accepted = DecodeStream(stream);
  if (stream != nullptr) std::fclose(stream);
  return accepted;
}

bool TTiffDecoder::DecodeStream(std::FILE* stream) {
  records = kRecordsBanner;
  file = stream;
  std::free(pixels);
  pixels = nullptr;
  refusal = TRefusal::None;
  refusalValue = 0;
  if (file == nullptr) return Refuse(TRefusal::CannotOpen);

  bool accepted = ParseHeader();
  if (accepted && !infoOnly) {
    accepted = (PrepareOutput() && ReadStrip()) || Refuse(TRefusal::OutOfMemory);
    if (!accepted) {
      std::free(pixels);
      pixels = nullptr;
    }
  }
  file = nullptr;
  return accepted;
}

bool TTiffDecoder::Refuse(TRefusal reason, int64_t value) {
  refusal = reason;
  refusalValue = value;
  return false;
}

uint8_t* TTiffDecoder::TakePixels() {
  uint8_t* taken = pixels;
  pixels = nullptr;
  return taken;
}

uint32_t* TTiffDecoder::CopyPalette() const {
  auto* copy = static_cast<uint32_t*>(std::malloc(sizeof palette));
  if (copy != nullptr) std::memcpy(copy, palette, sizeof palette);
  return copy;
}

// The length comes from the stream itself; a stream that cannot tell it (a file beyond what a
// `long` position can express) is treated as unreadable rather than guessed at.
bool TTiffDecoder::MeasureFile() {
  if (std::fseek(file, 0, SEEK_END) != 0) return false;
  const long length = std::ftell(file);
  if (length < 0) return false;
  fileLength = length;
  return true;
}

bool TTiffDecoder::SeekTo(int64_t offset) {
  if (offset < 0 || offset > fileLength || offset > LONG_MAX) return false;
  return std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0;
}

// Reads what exists of `size` bytes at `offset`; the caller's buffer keeps its contents past
// the bytes actually read.
size_t TTiffDecoder::ReadAt(int64_t offset, void* destination, size_t size) {
  if (!SeekTo(offset)) return 0;
  const auto available = static_cast<uint64_t>(fileLength - offset);
  const auto wanted = static_cast<size_t>(std::min<uint64_t>(size, available));
  return std::fread(destination, 1, wanted, file);
}
