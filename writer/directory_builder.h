// TiffDirectoryBuilder: lays out the head of a little-endian TIFF file in memory: the header,
// one directory, and the values too large for their entries, back to back after the directory.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

enum TiffFieldType : uint16_t {
  kShortField = 3,
  kLongField = 4,
  kRationalField = 5,
};

class TiffDirectoryBuilder {
 public:
  // The entry count is fixed up front: the values start right after the directory.
  explicit TiffDirectoryBuilder(uint16_t entryCount);

  // Entries must be added in ascending tag order, exactly as many as announced.
  void AddShort(uint16_t tag, uint16_t value);
  void AddLong(uint16_t tag, uint32_t value);
  void AddShorts(uint16_t tag, std::span<const uint16_t> values);
  void AddRational(uint16_t tag, uint32_t numerator, uint32_t denominator);

  // The header, directory, next-directory offset 0 and values, to be written at offset 0.
  std::vector<uint8_t> Finish();

 private:
  void AddEntry(uint16_t tag, TiffFieldType type, uint32_t count, uint32_t value);
  uint32_t NextValueOffset() const;

  std::vector<uint8_t> head;
  std::vector<uint8_t> values;
  uint32_t valuesStart;
};
