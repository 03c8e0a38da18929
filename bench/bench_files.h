// The benchmark's test images: the four LZW kinds of the speed goals and their stored twins,
// written once by libtiff (one strip, little-endian) into a temporary folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class TBenchKind { RedGreenBlue, ColourWord, Palette, OneBit };

struct TBenchFile {
  std::string label;  // e.g. "lzw/rgb24"
  std::string path;
  TBenchKind kind;
  int32_t width;
  int32_t height;
  bool lzw;
};

// Makes the files in `folder`, or in a fresh folder under the system's temporary folder when it
// is empty (and names it). Each side is divided by `scale`. Returns an empty list when a file
// could not be written.
std::vector<TBenchFile> MakeBenchFiles(int32_t scale, std::string& folder);
void RemoveBenchFiles(const std::vector<TBenchFile>& files, const std::string& folder);

const char* KindName(TBenchKind kind);
