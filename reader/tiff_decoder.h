// TTiffDecoder: one read pass over one TIFF file (header, first directory, palette, geometry,
// strip data) into a pixel buffer in the host's layout. One object serves one import call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "reader/predictor.h"
#include "reader/refusal.h"
#include "reader/widen_pixels.h"

class TLZWCompressor;

class TTiffDecoder {
 public:
  TTiffDecoder();
  virtual ~TTiffDecoder();
  TTiffDecoder(const TTiffDecoder&) = delete;
  TTiffDecoder& operator=(const TTiffDecoder&) = delete;

  // The read pass. True when the file was accepted and, unless infoOnly is set, its pixels are
  // in `pixels`; false with `refusal` set otherwise. A null name counts as the empty name.
  bool Decode(const char* fileName);
  // The same pass over a stream open for binary reading at any position (a file, or a memory
  // stream for tests and fuzzing). The stream stays open; a null stream fails like a missing file.
  bool DecodeStream(std::FILE* stream);

  // Hands the pixel buffer to the caller, who frees it with std::free.
  uint8_t* TakePixels();
  // A new 1024-byte copy (std::malloc) of all 256 palette entries, or null when out of memory.
  uint32_t* CopyPalette() const;
  // Why the last pass refused its file, in English; empty when it was read.
  std::string RefusalReason() const { return RefusalText(refusal, refusalValue); }
  // For an accepted file, where the picture the host gets differs on purpose from what a
  // general TIFF reader shows ("no colour map: ..."), one short English note each.
  std::vector<std::string> ReadingNotes() const;

  // Results.
  std::string records;
  uint8_t* pixels = nullptr;
  int32_t srcWidth = 0;
  int32_t srcHeight = 0;
  int32_t srcRowBytes = 0;
  int32_t outWidth = 0;
  int32_t outHeight = 0;
  int32_t outRowBytes = 0;
  bool fullColour = false;
  int32_t paletteCount = 0;
  uint32_t palette[256] = {};
  TRefusal refusal = TRefusal::None;
  int64_t refusalValue = 0;  // the number the reason names, where it names one

  // Options, set before Decode.
  bool infoOnly = false;
  bool preview = false;
  int32_t boxWidth = 64;
  int32_t boxHeight = 64;
  // Every strip byte through NextStripByte and StoreByte, one at a time, instead of the fast
  // paths (bulk reads, strings decoded straight into the output). Both give the same pixels;
  // tests compare them.
  bool byteAtATime = false;
  // False keeps full-size strips on the run store instead of decoding them in place, so that the
  // two fast paths can be compared on the same file.
  bool readInPlace = true;

  // Tag slots: the leading values of each tag of the first directory, zero when it is absent.
  int32_t newSubfileType = 0;
  int16_t imageWidth = 0;
  int16_t imageLength = 0;
  int32_t imagePitch = 0;
  int16_t bitsPerSample[3] = {};
  int16_t compression = 0;
  int16_t photometric = 0;
  int16_t fillOrder = 0;
  int32_t stripOffset = 0;
  int16_t samplesPerPixel = 0;
  int32_t rowsPerStrip = 0;
  int32_t stripByteCount = 0;
  int16_t maxSampleValue[4] = {};
  int32_t xResolution[2] = {};
  int32_t yResolution[2] = {};
  int16_t planarConfig = 0;
  int16_t hasColorMap = 0;
  bool builtInColours = false;  // the file had no colour map: the built-in one stands in
  uint16_t colorMap[768] = {};
  // Tags read but not reported.
  int16_t predictor = 0;
  int32_t tileWidth = 0;
  int32_t tileLength = 0;
  int32_t tileOffset = 0;     // the first tile's offset
  int32_t tileByteCount = 0;  // the first tile's byte count
  int16_t extraSamples = 0;   // the first ExtraSamples value

  // Reduction for previews: step = 2^shift, mask = step - 1.
  int32_t step = 1;
  int32_t shift = 0;
  int32_t mask = 0;

  // The byte sources and sinks of the strip reader, bound into the LZW object. NextStripByte
  // returns the next byte of the strip or -1; NextStripBytes hands over the rest of the current
  // piece of the strip. StoreByte and StoreBytes return -1 once the strip's last row is
  // complete.
  int NextStripByte();
  size_t NextStripBytes(const uint8_t** bytes);
  int StoreByte(int value);
  int StoreBytes(const uint8_t* bytes, size_t count);

  // The strip's bytes are read in pieces of this size through one buffer (with one byte more:
  // the full-colour conversion reads one byte past a pixel).
  static constexpr size_t ChunkSize = 64 * 1024;

 private:
  // A StripOffsets, StripByteCounts, TileOffsets or TileByteCounts entry as the directory gives
  // it. The values are read from the file one at a time when a strip or tile needs them: they sit
  // in `valueField` itself when they fit in its 4 bytes, else at the file offset it holds.
  struct TStripArray {
    int type = 0;
    uint32_t count = 0;
    uint32_t valueField = 0;
    // The part of the array last read: values are taken from here while they lie in it, so
    // thousands of strips cost a few reads of their arrays, not a seek and a read per value.
    uint8_t cache[512] = {};
    int64_t cacheStart = 0;
    size_t cacheSize = 0;
  };

  bool ParseHeader();
  void BuildPalette();
  bool PrepareOutput();
  bool ReadStrip();
  bool Refuse(TRefusal reason, int64_t value = 0);

  // File access: every position and length is checked against the file in 64 bits.
  bool MeasureFile();
  bool SeekTo(int64_t offset);
  size_t ReadAt(int64_t offset, void* destination, size_t size);

  // Directory walk.
  static int TypeSize(int type);
  void ClearTagSlots();
  bool ReadDirectory(int64_t offset);
  void ApplyEntry(const uint8_t* entry);
  void AppendRecords();

  // Which files are read (accept_file.cpp).
  bool ChooseColourClass();
  bool CheckSamples();
  bool CheckDataLayout();
  bool IsOldStyleLzw();
  bool IsTiled() const;

  // Strip and tile reading.
  bool ReadStripValue(TStripArray& array, int64_t index, uint32_t& value);
  void ReadStrips(TLZWCompressor* lzw);
  void ReadTiles(TLZWCompressor* lzw);
  int64_t TileRowBytes() const;
  void StartRows(int32_t firstRow, int32_t endRow);
  void StartTile(int32_t left, int32_t top);
  void ReadStripBytes(int64_t offset, int64_t byteCount, TLZWCompressor* lzw);
  bool FillChunk();
  void ChoosePixelLayout();
  bool CanReadInPlace() const;
  int64_t StripRowBytes() const;
  void ReadStripInPlace(TLZWCompressor* lzw);
  int64_t ReadStoredInto(uint8_t* destination, int64_t count);
  int64_t WidenInPlace(uint8_t* to, const uint8_t* from, int64_t count) const;
  void StorePixel(uint32_t value);
  size_t StoreRowRun(const uint8_t* bytes, size_t count, int32_t room);
  size_t SkipRowRun(size_t count);
  void AdvanceColumns(int32_t count);
  void EndRow();
  // The sinks for LZW data with horizontal differencing: the differences are undone, then
  // stored (a copy of each run, since the LZW object still reads its output).
  int StorePredictedByte(int value);
  int StorePredictedBytes(const uint8_t* bytes, size_t count);

  std::FILE* file = nullptr;
  int64_t fileLength = 0;
  TStripArray stripOffsets;
  TStripArray stripByteCounts;
  TStripArray tileOffsets;
  TStripArray tileByteCounts;
  // What the directory says beyond the slots: ImageWidth and ImageLength as the whole value
  // (the slots keep 16 bits), every sample's bits, and the number of ExtraSamples values.
  uint32_t widthValue = 0;
  uint32_t lengthValue = 0;
  int16_t sampleBits[4] = {};
  int32_t extraSampleCount = 0;

  TPixelLayout pixelLayout = TPixelLayout::None;  // how StoreByte turns image bytes into pixels
  bool reverseBits = false;  // FillOrder 2: every byte from the file is reversed first
  bool predicting = false;   // LZW data with horizontal differencing
  TPredictor predictorStage;
  int64_t bytesRead = 0;            // bytes of the strip taken from the file so far
  int64_t stripBytesAvailable = 0;  // the strip's byte count, cut to what the file holds
  // Where the store stands: the output row of the current source row, the column (counted over
  // the whole image) of the next pixel, and the row. A strip's rows span the image from column
  // 0; a tile's rows run from `columnOrigin` to `columnEnd`, and only the columns before
  // `keepEnd` lie inside the image.
  uint8_t* outRow = nullptr;
  int32_t column = 0;
  int32_t row = 0;
  int32_t rowEnd = 0;  // the first row past the strip or tile being read
  int32_t columnOrigin = 0;
  int32_t columnEnd = 0;
  int32_t keepEnd = 0;
  int64_t dataRowBytes = 0;  // file bytes of one row of the strip or tile
  int32_t sampleCount = 0;
  uint32_t sampleAccum = 0;
  bool stripComplete = false;  // every row of the strip is stored; further bytes are refused
  bool inPlace = false;        // every strip is read by ReadStripInPlace (full size)
  bool outputCleared = true;   // the output was zero-filled when it was allocated
  // What the strips of one pass may still cost, in bytes read from the file plus bytes handed to
  // the store; once it is spent no further strip is read (see ReadStrip).
  int64_t stripWorkLeft = 0;
  std::unique_ptr<uint8_t[]> chunk;
  // Where the file's bytes in the chunk came from, and where the stream stands after them (-1
  // when a read elsewhere moved it): strips that follow each other need no seek, and a stored
  // strip that the chunk already holds is stored from it without touching the file.
  int64_t stripStart = 0;
  int64_t heldAt = 0;
  size_t heldSize = 0;
  int64_t streamAt = -1;
  size_t chunkNext = 0;  // the next unused byte of the chunk
  size_t chunkEnd = 0;   // the bytes the chunk holds
};
