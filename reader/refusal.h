// Why the reader refused a file: one code for each cause, with a short English text that names
// it ("Motorola byte order", "predictor 3", "CMYK"). The host sees only the one error message;
// the reason is for tools and tests, so that a file is known to be refused for the right cause.
#pragma once

#include <cstdint>
#include <string>

enum class TRefusal {
  None,               // the file is read
  CannotOpen,         // no such file, or it cannot be read
  TooShort,           // shorter than the 8-byte header
  MotorolaByteOrder,  // "MM": big-endian numbers
  NotTiff,            // another byte-order mark
  BigTiff,            // "II" with magic number 43: 64-bit offsets
  MagicNumber,        // "II" with a magic number other than 42 or 43
  NoDirectory,        // the first directory lies past the end of the file
  Width,              // ImageWidth outside 1 to 32767
  Height,             // ImageLength outside 1 to 32767
  Cmyk,               // Photometric 5: inks, not lights
  YCbCr,              // Photometric 6: luma and chroma, often subsampled
  CieLab,             // Photometric 8
  IccLab,             // Photometric 9
  ItuLab,             // Photometric 10
  BitsPerSample,      // a depth other than 1, 4, 8 or 16
  SamplesPerPixel,    // a sample count the depth does not allow
  SeparatePlanes,     // PlanarConfiguration 2 with several samples
  Compression,        // anything but none (1) or LZW (5)
  OldStyleLzw,        // codes packed least significant bit first, from early writers
  Predictor,          // a predictor other than none (1) or horizontal differencing (2)
  PredictorDepth,     // horizontal differencing of 1-bit or 4-bit samples
  TileSizeZero,       // TileWidth or TileLength 0 or missing
  TileWidth,          // tiles far wider than the image
  TileLength,         // tiles far longer than the image
  NoTileOffsets,      // tiles without TileOffsets
  OutOfMemory,        // the pixel buffer or the working buffers could not be had
};

// The reason in English: the code's text, with `value` (the number the file gave) in place of
// "{}" where the text has one. The empty text for TRefusal::None.
std::string RefusalText(TRefusal refusal, int64_t value);
