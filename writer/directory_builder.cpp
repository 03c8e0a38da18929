#include "writer/directory_builder.h"

#include <cassert>
#include <utility>

namespace {

void PutShort(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutLong(std::vector<uint8_t>& out, uint32_t value) {
  PutShort(out, static_cast<uint16_t>(value));
  PutShort(out, static_cast<uint16_t>(value >> 16));
}

constexpr uint32_t kHeaderBytes = 8;
constexpr uint32_t kEntryBytes = 12;

}  // namespace

TiffDirectoryBuilder::TiffDirectoryBuilder(uint16_t entryCount)
    : valuesStart(kHeaderBytes + 2 + kEntryBytes * entryCount + 4) {
  // "II", 42, and the first directory right after the header.
  head = {'I', 'I', 42, 0};
  PutLong(head, kHeaderBytes);
  PutShort(head, entryCount);
}

uint32_t TiffDirectoryBuilder::NextValueOffset() const {
  return valuesStart + static_cast<uint32_t>(values.size());
}

void TiffDirectoryBuilder::AddEntry(uint16_t tag, TiffFieldType type, uint32_t count,
                                    uint32_t value) {
  PutShort(head, tag);
  PutShort(head, type);
  PutLong(head, count);
  PutLong(head, value);
}

// An inline SHORT fills the 4-byte field as a 32-bit number, so its last two bytes are zero.
void TiffDirectoryBuilder::AddShort(uint16_t tag, uint16_t value) {
  AddEntry(tag, kShortField, 1, value);
}

void TiffDirectoryBuilder::AddLong(uint16_t tag, uint32_t value) {
  AddEntry(tag, kLongField, 1, value);
}

void TiffDirectoryBuilder::AddShorts(uint16_t tag, std::span<const uint16_t> values) {
  const auto count = static_cast<uint32_t>(values.size());
  if (count <= 2) {
    // Up to two fit in the entry, in order.
    const uint32_t first = count > 0 ? values[0] : 0;
    const uint32_t second = count > 1 ? values[1] : 0;
    AddEntry(tag, kShortField, count, first | second << 16);
    return;
  }
  AddEntry(tag, kShortField, count, NextValueOffset());
  for (uint16_t value : values) PutShort(this->values, value);
}

void TiffDirectoryBuilder::AddRational(uint16_t tag, uint32_t numerator, uint32_t denominator) {
  AddEntry(tag, kRationalField, 1, NextValueOffset());
  PutLong(values, numerator);
  PutLong(values, denominator);
}

std::vector<uint8_t> TiffDirectoryBuilder::Finish() {
  PutLong(head, 0);  // no next directory
  assert(head.size() == valuesStart && "entry count differs from the one announced");
  head.insert(head.end(), values.begin(), values.end());
  return std::move(head);
}
