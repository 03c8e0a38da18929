// The TIFF header and first directory: the tag slots and the DecoderRecords text; which files
// are read is decided in accept_file.cpp.
#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "reader/tiff_decoder.h"

namespace {

constexpr int kTypeByte = 1;
constexpr int kTypeShort = 3;
constexpr int kTypeLong = 4;
constexpr int kStripOffsetsTag = 273;
constexpr int kStripByteCountsTag = 279;
constexpr int kPredictorTag = 317;
constexpr int kColorMapTag = 320;
constexpr int kTileWidthTag = 322;
constexpr int kTileLengthTag = 323;
constexpr int kTileOffsetsTag = 324;
constexpr int kTileByteCountsTag = 325;
constexpr int kExtraSamplesTag = 338;

// Where one tag's value goes: `count` values of `width` bytes (2 or 4).
struct TSlot {
  void* values;
  int width;
  int count;
};

uint32_t ReadLittleEndian(const uint8_t* bytes, int width) {
  uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

uint32_t GetSlotValue(const TSlot& slot, int index) {
  auto* place = static_cast<uint8_t*>(slot.values) + index * slot.width;
  if (slot.width == 2) {
    uint16_t value;
    std::memcpy(&value, place, sizeof value);
    return value;
  }
  uint32_t value;
  std::memcpy(&value, place, sizeof value);
  return value;
}

void SetSlotValue(const TSlot& slot, int index, uint32_t value) {
  auto* place = static_cast<uint8_t*>(slot.values) + index * slot.width;
  if (slot.width == 2) {
    const auto narrow = static_cast<uint16_t>(value);
    std::memcpy(place, &narrow, sizeof narrow);
  } else {
    std::memcpy(place, &value, sizeof value);
  }
}

// Integer values are converted one by one, so that a SHORT array in a LONG slot gives its first
// value; other types lay their little-endian bytes over the slot's leading bytes.
void FillSlot(const TSlot& slot, int type, int64_t byteCount, const uint8_t* bytes) {
  if (type == kTypeByte || type == kTypeShort || type == kTypeLong) {
    const int typeSize = type == kTypeByte ? 1 : type == kTypeShort ? 2 : 4;
    for (int i = 0; i < byteCount / typeSize; ++i) {
      SetSlotValue(slot, i, ReadLittleEndian(bytes + i * typeSize, typeSize));
    }
    return;
  }
  for (int i = 0; i < byteCount; ++i) {
    const int index = i / slot.width;
    const int shift = 8 * (i % slot.width);
    const uint32_t value = GetSlotValue(slot, index) & ~(0xFFu << shift);
    SetSlotValue(slot, index, value | uint32_t{bytes[i]} << shift);
  }
}

}  // namespace

int TTiffDecoder::TypeSize(int type) {
  switch (type) {
    case 1:  // BYTE
    case 2:  // ASCII
      return 1;
    case 3:  // SHORT
      return 2;
    case 4:  // LONG
      return 4;
    case 5:  // RATIONAL
      return 8;
    default:
      return 0;
  }
}

bool TTiffDecoder::ParseHeader() {
  if (!MeasureFile()) return Refuse(TRefusal::CannotOpen);
  ClearTagSlots();

  uint8_t header[8] = {};
  if (ReadAt(0, header, sizeof header) < sizeof header) return Refuse(TRefusal::TooShort);
  if (header[0] == 'M' && header[1] == 'M') return Refuse(TRefusal::MotorolaByteOrder);
  if (header[0] != 'I' || header[1] != 'I') return Refuse(TRefusal::NotTiff);
  const uint32_t magic = ReadLittleEndian(header + 2, 2);
  if (magic == 43) return Refuse(TRefusal::BigTiff);
  if (magic != 42) return Refuse(TRefusal::MagicNumber, magic);
  // Offsets in the file are unsigned 32-bit values counted from its start.
  if (!ReadDirectory(ReadLittleEndian(header + 4, 4))) return Refuse(TRefusal::NoDirectory);

  if (!ChooseColourClass()) return false;
  AppendRecords();

  // In a one-strip file a byte count of 0 or 5 stands for "the strip runs to the end of the
  // file". Files of several strips take every count as it is.
  if (stripByteCount == 0 || stripByteCount == 5) {
    const int64_t rest = fileLength - static_cast<uint32_t>(stripOffset);
    // Kept as the unsigned 32-bit count a file could have given.
    stripByteCount =
        static_cast<int32_t>(static_cast<uint32_t>(std::clamp<int64_t>(rest, 0, UINT32_MAX)));
  }
  BuildPalette();
  return CheckSamples() && CheckDataLayout();
}

void TTiffDecoder::ClearTagSlots() {
  newSubfileType = 0;
  imageWidth = imageLength = 0;
  imagePitch = 0;
  std::fill(std::begin(bitsPerSample), std::end(bitsPerSample), 0);
  compression = photometric = fillOrder = 0;
  stripOffset = 0;
  samplesPerPixel = 0;
  rowsPerStrip = stripByteCount = 0;
  std::fill(std::begin(maxSampleValue), std::end(maxSampleValue), 0);
  std::fill(std::begin(xResolution), std::end(xResolution), 0);
  std::fill(std::begin(yResolution), std::end(yResolution), 0);
  planarConfig = 0;
  hasColorMap = 0;
  stripOffsets = {};
  stripByteCounts = {};
  std::fill(std::begin(colorMap), std::end(colorMap), 0);
  predictor = 0;
  tileWidth = tileLength = 0;
  tileOffset = tileByteCount = 0;
  extraSamples = 0;
  tileOffsets = {};
  tileByteCounts = {};
  widthValue = lengthValue = 0;
  std::fill(std::begin(sampleBits), std::end(sampleBits), 0);
  extraSampleCount = 0;
}

// Only the first directory is read, and only its complete 12-byte entries, in file order: a
// later entry for the same tag overwrites an earlier one. No real directory holds more than a
// few hundred entries (libtiff refuses more than 4096); past 4096 the entries are not read, so
// that 65535 entries pointing at colour maps cannot hold the host for seconds. Entries are read
// a block at a time, not with a seek and a read each.
// False when not even the entry count lies in the file.
bool TTiffDecoder::ReadDirectory(int64_t offset) {
  uint8_t countBytes[2] = {};
  if (ReadAt(offset, countBytes, sizeof countBytes) < sizeof countBytes) return false;
  const int entryCount = std::min(static_cast<int>(ReadLittleEndian(countBytes, 2)), 4096);
  constexpr int kBlockEntries = 64;
  uint8_t block[12 * kBlockEntries];
  for (int first = 0; first < entryCount; first += kBlockEntries) {
    const int wanted = std::min(kBlockEntries, entryCount - first);
    const size_t got = ReadAt(offset + 2 + 12 * int64_t{first}, block, size_t(12 * wanted));
    const int complete = static_cast<int>(got / 12);
    for (int i = 0; i < complete; ++i) ApplyEntry(block + 12 * i);
    if (complete < wanted) break;
  }
  return true;
}

void TTiffDecoder::ApplyEntry(const uint8_t* entry) {
  const int tag = static_cast<int>(ReadLittleEndian(entry, 2));
  // Most tags fill one slot; a few fill a second, unreported one with more of the value.
  TSlot slot;
  TSlot more = {nullptr, 0, 0};
  switch (tag) {
    case 254:
      slot = {&newSubfileType, 4, 1};
      break;
    case 256:
      slot = {&imageWidth, 2, 1};
      more = {&widthValue, 4, 1};  // the whole value, so that 65636 is not taken for 100
      break;
    case 257:
      slot = {&imageLength, 2, 1};
      more = {&lengthValue, 4, 1};
      break;
    case 258:
      slot = {bitsPerSample, 2, 3};
      more = {sampleBits, 2, 4};  // the fourth sample's bits too: alpha
      break;
    case 259:
      slot = {&compression, 2, 1};
      break;
    case 262:
      slot = {&photometric, 2, 1};
      break;
    case 266:
      slot = {&fillOrder, 2, 1};
      break;
    case kStripOffsetsTag:
      slot = {&stripOffset, 4, 1};
      break;  // the first strip's offset
    case 277:
      slot = {&samplesPerPixel, 2, 1};
      break;
    case 278:
      slot = {&rowsPerStrip, 4, 1};
      break;
    case kStripByteCountsTag:
      slot = {&stripByteCount, 4, 1};
      break;  // the first strip's byte count
    case 281:
      slot = {maxSampleValue, 2, 4};
      break;
    case 282:
      slot = {xResolution, 4, 2};
      break;  // numerator, denominator
    case 283:
      slot = {yResolution, 4, 2};
      break;
    case 284:
      slot = {&planarConfig, 2, 1};
      break;
    case kPredictorTag:
      slot = {&predictor, 2, 1};
      break;
    case kColorMapTag:
      slot = {colorMap, 2, 768};
      break;  // all reds, all greens, all blues
    case kTileWidthTag:
      slot = {&tileWidth, 4, 1};
      break;
    case kTileLengthTag:
      slot = {&tileLength, 4, 1};
      break;
    case kTileOffsetsTag:
      slot = {&tileOffset, 4, 1};
      break;  // the first tile's offset
    case kTileByteCountsTag:
      slot = {&tileByteCount, 4, 1};
      break;  // the first tile's byte count
    case kExtraSamplesTag:
      slot = {&extraSamples, 2, 1};
      break;
    default:
      return;
  }
  if (tag == kColorMapTag) hasColorMap = 1;

  const int type = static_cast<int>(ReadLittleEndian(entry + 2, 2));
  TStripArray* array = tag == kStripOffsetsTag      ? &stripOffsets
                       : tag == kStripByteCountsTag ? &stripByteCounts
                       : tag == kTileOffsetsTag     ? &tileOffsets
                       : tag == kTileByteCountsTag  ? &tileByteCounts
                                                    : nullptr;
  if (array != nullptr) {
    // The strip reader takes the values from the file as it needs them; the slot keeps the
    // first one for the report.
    *array = {type, ReadLittleEndian(entry + 4, 4), ReadLittleEndian(entry + 8, 4)};
  }
  const auto count = static_cast<int32_t>(ReadLittleEndian(entry + 4, 4));
  if (tag == kExtraSamplesTag) extraSampleCount = count;
  const int typeSize = TypeSize(type);
  const int64_t size = int64_t{typeSize} * count;
  if (size <= 0) return;

  // Only the part of the value that reaches the slots is read.
  const bool integers = type == kTypeByte || type == kTypeShort || type == kTypeLong;
  const auto wantedFor = [&](const TSlot& target) {
    return integers ? std::min<int64_t>(count, target.count) * typeSize
                    : std::min<int64_t>(size, int64_t{target.count} * target.width);
  };
  const int64_t wanted = std::max(wantedFor(slot), wantedFor(more));
  uint8_t value[768 * 4] = {};
  if (size <= 4) {
    std::memcpy(value, entry + 8, static_cast<size_t>(wanted));
  } else {
    ReadAt(ReadLittleEndian(entry + 8, 4), value, static_cast<size_t>(wanted));
  }
  FillSlot(slot, type, wantedFor(slot), value);
  if (more.values != nullptr) FillSlot(more, type, wantedFor(more), value);
}

void TTiffDecoder::AppendRecords() {
  const auto line = [this](const char* label, int64_t value) {
    records += label;
    records += std::to_string(value);
    records += '\n';
  };
  // One value per sample, as far as the slot holds them; no values means no line break either.
  const auto list = [this](const char* label, const int16_t* values, int capacity) {
    records += label;
    const int count = std::clamp<int>(samplesPerPixel, 0, capacity);
    for (int i = 0; i < count; ++i) {
      records += std::to_string(values[i]);
      records += i + 1 < count ? ',' : '\n';
    }
  };
  const auto ratio = [this](const char* label, const int32_t* values) {
    records += label;
    records += std::to_string(values[0]);
    records += '/';
    records += std::to_string(values[1]);
    records += '\n';
  };
  line("NewSubFileType : ", newSubfileType);
  line("ImageWidth : ", imageWidth);
  line("ImageLength : ", imageLength);
  line("ImagePitch : ", imagePitch);
  list("BitsPerSample : ", bitsPerSample, 3);
  line("Compression : ", compression);
  line("Photometric : ", photometric);
  line("FillOrder : ", fillOrder);
  line("StripOffset : ", stripOffset);
  line("SamplesPerPixel : ", samplesPerPixel);
  line("RowsPerStrip : ", rowsPerStrip);
  line("StripsByteCount : ", stripByteCount);
  list("MaxSampleValue : ", maxSampleValue, 4);
  ratio("XResolution : ", xResolution);
  ratio("YResolution : ", yResolution);
  line("PlanerConfig : ", planarConfig);
}
