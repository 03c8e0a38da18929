// Test helper: lays out small little-endian TIFF files byte by byte (header, one directory, values
// behind it, image data last). Tools use it too (the fuzz seeds), so it needs no test framework.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

enum : uint16_t { kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5 };

class TTiffBuilder {
 public:
  // An entry whose value is given as elements of its type (a RATIONAL takes two LONG elements);
  // `count` is written in place of the number of values when given.
  TTiffBuilder& Add(uint16_t tag, uint16_t type, std::vector<uint32_t> values, int64_t count = -1) {
    const size_t given = type == kRational ? values.size() / 2 : values.size();
    const auto written = static_cast<uint32_t>(count >= 0 ? count : int64_t(given));
    entries.push_back({tag, type, written, std::move(values), false, 0, false});
    return *this;
  }
  // An entry whose value field is written as given, whatever type and count say.
  TTiffBuilder& AddRaw(uint16_t tag, uint16_t type, uint32_t count, uint32_t valueField) {
    entries.push_back({tag, type, count, {}, true, valueField, false});
    return *this;
  }
  // An entry of offsets counted from the start of the image data, which lies last in the file.
  TTiffBuilder& AddDataOffsets(uint16_t tag, uint16_t type, std::vector<uint32_t> offsets,
                               int64_t count = -1) {
    Add(tag, type, std::move(offsets), count);
    entries.back().fromData = true;
    return *this;
  }
  // The usual tags of a one-strip image whose strip is `data`, placed at the end of the file.
  // A samples or compression value below 0 leaves that tag out.
  TTiffBuilder& Image(int width, int height, std::vector<uint32_t> bits, int samples,
                      std::vector<uint8_t> stripData, int compressionType = 1) {
    Add(256, kShort, {static_cast<uint32_t>(width)});
    Add(257, kShort, {static_cast<uint32_t>(height)});
    Add(258, kShort, bits);
    if (compressionType >= 0) Add(259, kShort, {static_cast<uint32_t>(compressionType)});
    if (samples >= 0) Add(277, kShort, {static_cast<uint32_t>(samples)});
    AddDataOffsets(273, kLong, {0});
    Add(279, kLong, {static_cast<uint32_t>(stripData.size())});
    data = std::move(stripData);
    return *this;
  }

  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> file = {'I', 'I', 42, 0, 8, 0, 0, 0};
    file[0] = file[1] = byteOrder;
    file[2] = static_cast<uint8_t>(magic);
    const size_t valuesAt = 8 + 2 + 12 * entries.size() + 4;
    size_t valuesSize = 0;
    for (const TEntry& entry : entries) {
      if (ValueSize(entry) > 4) valuesSize += ValueSize(entry);
    }
    const auto dataAt = static_cast<uint32_t>(valuesAt + valuesSize);

    std::vector<uint8_t> values;
    Put(file, static_cast<uint32_t>(entries.size()), 2);
    for (const TEntry& entry : entries) {
      std::vector<uint8_t> bytes;
      for (uint32_t value : entry.values)
        Put(bytes, value + (entry.fromData ? dataAt : 0), Width(entry));
      uint32_t field = entry.valueField;
      if (!entry.raw && bytes.size() > 4) {
        field = static_cast<uint32_t>(valuesAt + values.size());
        values.insert(values.end(), bytes.begin(), bytes.end());
      } else if (!entry.raw) {
        for (size_t i = 0; i < bytes.size(); ++i) field |= uint32_t{bytes[i]} << 8 * i;
      }
      Put(file, entry.tag, 2);
      Put(file, entry.type, 2);
      Put(file, entry.count, 4);
      Put(file, field, 4);
    }
    Put(file, 0, 4);  // no next directory
    file.insert(file.end(), values.begin(), values.end());
    file.insert(file.end(), data.begin(), data.end());
    return file;
  }

  uint8_t byteOrder = 'I';
  uint16_t magic = 42;
  std::vector<uint8_t> data;

 private:
  struct TEntry {
    uint16_t tag, type;
    uint32_t count;
    std::vector<uint32_t> values;
    bool raw;
    uint32_t valueField;
    bool fromData;
  };
  static int Width(const TEntry& entry) {
    return entry.type == kShort ? 2 : entry.type == kLong || entry.type == kRational ? 4 : 1;
  }
  static size_t ValueSize(const TEntry& entry) { return entry.values.size() * Width(entry); }
  static void Put(std::vector<uint8_t>& file, uint32_t value, int width) {
    for (int i = 0; i < width; ++i) file.push_back(static_cast<uint8_t>(value >> 8 * i));
  }
  std::vector<TEntry> entries;
};
