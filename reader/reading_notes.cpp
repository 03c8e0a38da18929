// The notes a tool shows for a readable file whose picture this reader gives otherwise than a
// general TIFF reader would: the choices the FM-TOWNS files rely on, kept on purpose.
#include <string>
#include <vector>

#include "reader/tiff_decoder.h"

namespace {
constexpr int kPhotometricBlackIsZero = 1;
}  // namespace

std::vector<std::string> TTiffDecoder::ReadingNotes() const {
  std::vector<std::string> notes;
  if (refusal != TRefusal::None) return notes;
  const int depth = bitsPerSample[0];
  if (builtInColours) {
    notes.push_back(std::string("no colour map, so shown in the built-in ") +
                    (depth == 4 ? "16" : "256") + " colours, not as grey");
  }
  if (depth == 16) notes.push_back("16-bit samples read as FM-TOWNS colour words, not as grey");
  if (depth == 1 && photometric == kPhotometricBlackIsZero) {
    notes.push_back(
        "1-bit shown white for 0 and black for 1, though its Photometric says 0 is black");
  }
  return notes;
}
