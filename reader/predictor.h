// Undoes horizontal differencing (Predictor 2) on decompressed image bytes: each sample was
// stored as its difference from the same sample of the pixel to its left, and the first pixel of
// every row as it is. The bytes may come in pieces of any size; a row's state is carried over.
#pragma once

#include <cstddef>
#include <cstdint>

class TPredictor {
 public:
  // Rows of `rowBytes` bytes whose samples repeat every `pixelBytes` bytes; `wordBytes` is 1 for
  // 8-bit samples and 2 for 16-bit samples, which are little-endian values added with a carry.
  // The next byte is the first of a row.
  void Start(int64_t rowBytes, int pixelBytes, int wordBytes);
  // Replaces `count` differences, in file order, by the sample values.
  void Undo(uint8_t* bytes, size_t count);

 private:
  void StartRow();

  int64_t rowBytes = 1;
  int64_t position = 0;  // bytes of the current row already undone
  int pixelBytes = 1;
  int wordBytes = 1;
  int channel = 0;       // the byte of the pixel the next byte is
  uint32_t carry = 0;    // from the low byte of a 16-bit sum to its high byte
  uint8_t last[8] = {};  // the last value of each byte of the pixel in this row
};
