#include "reader/refusal.h"

#include <iterator>

namespace {

// One text per code, in the order of TRefusal.
constexpr const char* kTexts[] = {
    "",
    "the file cannot be read",
    "shorter than a TIFF header",
    "Motorola byte order",
    "not a TIFF file",
    "BigTIFF",
    "magic number {}",
    "no directory",
    "width {}",
    "height {}",
    "CMYK",
    "YCbCr",
    "CIELab",
    "ICCLab",
    "ITULab",
    "{} bits per sample",
    "{} samples per pixel",
    "separate colour planes",
    "compression {}",
    "old-style LZW",
    "predictor {}",
    "predictor 2 on {}-bit samples",
    "tiles of size 0",
    "tiles {} pixels wide",
    "tiles {} rows long",
    "tiles without offsets",
    "out of memory",
};
static_assert(std::size(kTexts) == static_cast<size_t>(TRefusal::OutOfMemory) + 1,
              "one text for every refusal");

}  // namespace

std::string RefusalText(TRefusal refusal, int64_t value) {
  std::string text = kTexts[static_cast<size_t>(refusal)];
  const size_t place = text.find("{}");
  if (place != std::string::npos) text.replace(place, 2, std::to_string(value));
  return text;
}
