#include "reader/predictor.h"

#include <algorithm>
#include <iterator>

void TPredictor::Start(int64_t bytesPerRow, int bytesPerPixel, int bytesPerWord) {
  rowBytes = std::max<int64_t>(bytesPerRow, 1);
  pixelBytes = std::clamp(bytesPerPixel, 1, static_cast<int>(std::size(last)));
  wordBytes = bytesPerWord;
  position = 0;
  StartRow();
}

void TPredictor::StartRow() {
  channel = 0;
  carry = 0;
  std::fill(std::begin(last), std::end(last), 0);
}

void TPredictor::Undo(uint8_t* bytes, size_t count) {
  while (count > 0) {
    const auto run = static_cast<size_t>(std::min<int64_t>(int64_t(count), rowBytes - position));
    if (wordBytes == 2) {
      // Little-endian 16-bit values: the low byte's sum carries into the high byte.
      for (size_t i = 0; i < run; ++i) {
        const uint32_t sum = bytes[i] + last[channel] + (channel & 1 ? carry : 0);
        carry = sum >> 8;
        bytes[i] = last[channel] = static_cast<uint8_t>(sum);
        if (++channel == pixelBytes) channel = 0;
      }
    } else {
      for (size_t i = 0; i < run; ++i) {
        bytes[i] = last[channel] = static_cast<uint8_t>(bytes[i] + last[channel]);
        if (++channel == pixelBytes) channel = 0;
      }
    }
    bytes += run;
    count -= run;
    position += static_cast<int64_t>(run);
    if (position == rowBytes) {
      position = 0;
      StartRow();
    }
  }
}
