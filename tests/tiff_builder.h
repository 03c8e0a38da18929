// Test helper: lays out small little-endian TIFF files byte by byte (header, one directory, values
// behind it, image data last) and writes them to temporary files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

enum : uint16_t { kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5 };

class TTiffBuilder {
 public:
  // An entry whose value is given as elements of its type (a RATIONAL takes two LONG elements).
  TTiffBuilder& Add(uint16_t tag, uint16_t type, std::vector<uint32_t> values) {
    const int width = type == kShort ? 2 : type == kLong || type == kRational ? 4 : 1;
    std::vector<uint8_t> bytes;
    for (uint32_t value : values) {
      for (int i = 0; i < width; ++i) bytes.push_back(static_cast<uint8_t>(value >> 8 * i));
    }
    const auto count = static_cast<uint32_t>(type == kRational ? values.size() / 2 : values.size());
    entries.push_back({tag, type, count, bytes, false, 0});
    return *this;
  }
  // An entry whose value field is written as given, whatever type and count say.
  TTiffBuilder& AddRaw(uint16_t tag, uint16_t type, uint32_t count, uint32_t valueField) {
    entries.push_back({tag, type, count, {}, true, valueField});
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
    stripOffsetEntry = static_cast<int>(entries.size());
    Add(273, kLong, {0});
    Add(279, kLong, {static_cast<uint32_t>(stripData.size())});
    data = std::move(stripData);
    return *this;
  }

  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> file = {'I', 'I', 42, 0, 8, 0, 0, 0};
    file[0] = file[1] = byteOrder;
    file[2] = static_cast<uint8_t>(magic);
    size_t valuesAt = 8 + 2 + 12 * entries.size() + 4;
    std::vector<uint8_t> values;
    std::vector<uint32_t> fields;
    for (const TEntry& entry : entries) {
      uint32_t field = entry.valueField;
      if (!entry.raw && entry.bytes.size() > 4) {
        field = static_cast<uint32_t>(valuesAt + values.size());
        values.insert(values.end(), entry.bytes.begin(), entry.bytes.end());
      } else if (!entry.raw) {
        for (size_t i = 0; i < entry.bytes.size(); ++i) field |= uint32_t{entry.bytes[i]} << 8 * i;
      }
      fields.push_back(field);
    }
    const auto dataAt = static_cast<uint32_t>(valuesAt + values.size());
    if (stripOffsetEntry >= 0) fields[stripOffsetEntry] = dataAt;
    Put(file, static_cast<uint32_t>(entries.size()), 2);
    for (size_t i = 0; i < entries.size(); ++i) {
      Put(file, entries[i].tag, 2);
      Put(file, entries[i].type, 2);
      Put(file, entries[i].count, 4);
      Put(file, fields[i], 4);
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
    std::vector<uint8_t> bytes;
    bool raw;
    uint32_t valueField;
  };
  static void Put(std::vector<uint8_t>& file, uint32_t value, int width) {
    for (int i = 0; i < width; ++i) file.push_back(static_cast<uint8_t>(value >> 8 * i));
  }
  std::vector<TEntry> entries;
  int stripOffsetEntry = -1;
};

// A file holding `bytes` for the life of the object, named after the running test.
class TTempFile {
 public:
  explicit TTempFile(const std::vector<uint8_t>& bytes) {
    static int counter = 0;
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "_" + test->name();
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    path = ::testing::TempDir() + name + "_" + std::to_string(counter++) + ".tif";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    if (file == nullptr) return;
    EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    std::fclose(file);
  }
  ~TTempFile() { std::remove(path.c_str()); }
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;

  std::string path;
};
