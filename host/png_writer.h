// PNG files written a row at a time with zlib, so that a picture of any size the plug-in reads
// needs one row of memory on its way out, not the whole encoded file.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// A PNG of 8-bit grey (channels 1) or 8-bit RGB (channels 3), rows top first. Any failure is
// final: later calls do nothing and return false, and `Error()` says why.
class PngWriter {
 public:
  PngWriter() = default;
  ~PngWriter();
  PngWriter(const PngWriter&) = delete;
  PngWriter& operator=(const PngWriter&) = delete;

  // Creates (or truncates) `path` and writes the signature and the header.
  bool Begin(const std::string& path, int width, int height, int channels);
  // One row of width x channels bytes; exactly `height` of them, then Finish.
  bool WriteRow(const uint8_t* row);
  // The last pixel data and the end chunk, on the disk; false if any of it could not be written.
  bool Finish();
  const std::string& Error() const { return error; }

 private:
  bool Fail(const std::string& reason);
  bool WriteChunk(const char type[4], const uint8_t* data, size_t size);
  bool Deflate(const uint8_t* data, size_t size, int flush);
  void ChooseFilter(const uint8_t* row);

  std::FILE* file = nullptr;
  z_stream stream{};
  bool streamOpen = false;
  bool failed = false;
  std::string error;
  size_t rowBytes = 0;
  int channels = 0;
  int64_t rowsLeft = 0;
  std::vector<uint8_t> previous;   // the last row as it was, for the filters
  std::vector<uint8_t> filtered;   // filter type byte, then the filtered row
  std::vector<uint8_t> candidate;  // a filter tried against the chosen one
  std::vector<uint8_t> idat;       // compressed bytes not yet in a chunk
};

// The whole picture in one call, for pictures already in memory; false with the reason.
bool WritePng(const std::string& path, const std::vector<uint8_t>& pixels, int width, int height,
              int channels, std::string& error);
