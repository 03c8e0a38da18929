// How whole strip bytes become the host's pixels, one conversion per sample layout. The reader's
// in-place path and the benchmark's peer both use it, so that both sides convert alike.
#pragma once

#include <cstdint>

// The layouts of image bytes the reader turns into pixels, chosen once per pass.
enum class TPixelLayout {
  None,
  OneBit,
  FourBit,
  OneByte,
  RedGreenBlue,
  RedGreenBlueAlpha,
  ColourWord
};

// Converts the whole pixels of `count` strip bytes at `from` (with one readable byte after them)
// into output pixels at `to`, which must not overlap, and returns the output bytes written.
int64_t WidenPixels(TPixelLayout layout, uint8_t* __restrict to, const uint8_t* __restrict from,
                    int64_t count);
