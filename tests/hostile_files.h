// Test helper: hand-made hostile TIFF files, one or more for each way a file has been used to
// attack TIFF readers (short headers, directories out of place, huge counts and sizes, strips
// and tiles out of the file, damaged LZW streams, strips and tiles that share their data), with
// what the reader must answer: refuse the file, or read it into an image of its declared size.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "tests/tiff_builder.h"

enum class THostileAnswer { Refused, Read };

struct THostileFile {
  std::string name;
  std::vector<uint8_t> bytes;
  THostileAnswer answer;
  int32_t width = 0, height = 0;    // the declared size, when read
  std::vector<uint8_t> firstBytes;  // the first bytes of the full-size pixel buffer, when given
};

// Failing cases are shown by their names.
inline void PrintTo(const THostileFile& file, std::ostream* out) {
  *out << file.name;
}

namespace hostile {

using TBytes = std::vector<uint8_t>;

// An LZW code stream at the widths a decoder reads it: 9 bits after each clear, one more after
// entries 510, 1022 and 2046, where every code but the first after a clear adds an entry until
// the table is full. Codes a decoder would stop at are packed all the same.
inline TBytes PackLzw(const std::vector<int>& codes) {
  TBytes bytes;
  uint64_t buffer = 0;
  int bits = 0, width = 9, next = 258;
  bool first = true;
  for (int code : codes) {
    buffer = buffer << width | static_cast<uint32_t>(code);
    for (bits += width; bits >= 8; bits -= 8) bytes.push_back(uint8_t(buffer >> (bits - 8)));
    buffer &= (uint64_t{1} << bits) - 1;
    if (code == 256) {
      width = 9, next = 258, first = true;
    } else if (code != 257) {
      if (!first && next < 4096) {
        if (next == (1 << width) - 2 && width < 12) ++width;
        ++next;
      }
      first = false;
    }
  }
  if (bits > 0) bytes.push_back(uint8_t(buffer << (8 - bits)));
  return bytes;
}

// The codes of a stream whose every code defines itself (the previous string and its own first
// byte): strings of 1, 2, 3 ... 3839 bytes, about 7 MiB from 6 KiB, `rounds` times over.
inline std::vector<int> BombCodes(int rounds) {
  std::vector<int> codes;
  for (int r = 0; r < rounds; ++r) {
    codes.push_back(256);
    codes.push_back(0x41);
    for (int code = 258; code < 4096; ++code) codes.push_back(code);
  }
  codes.push_back(257);
  return codes;
}

inline TBytes Header(uint32_t directoryOffset) {
  return {'I',
          'I',
          42,
          0,
          uint8_t(directoryOffset),
          uint8_t(directoryOffset >> 8),
          uint8_t(directoryOffset >> 16),
          uint8_t(directoryOffset >> 24)};
}

inline void PutLittleEndian(TBytes& bytes, size_t at, uint32_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + i] = uint8_t(value >> 8 * i);
}

// A plain 4 x 2 8-bit image holding 1..8, with further entries.
inline TTiffBuilder Plain(int compression = 1) {
  TTiffBuilder builder;
  builder.Image(4, 2, {8}, 1, {1, 2, 3, 4, 5, 6, 7, 8}, compression);
  return builder;
}

inline TBytes PlainWith(std::vector<std::pair<uint16_t, std::pair<uint16_t, uint32_t>>> raws) {
  TTiffBuilder builder = Plain();
  for (const auto& [tag, raw] : raws) builder.AddRaw(tag, raw.first, raw.second, 0);
  return builder.Bytes();
}

inline TBytes Lzw(int width, int height, std::vector<uint32_t> bits, int samples,
                  const std::vector<int>& codes) {
  TTiffBuilder builder;
  builder.Image(width, height, std::move(bits), samples, PackLzw(codes), 5);
  return builder.Bytes();
}

// `strips` strips of one row each, all pointing at the same `data`.
inline TBytes SharedStrips(int width, int strips, TBytes data, int compression) {
  TTiffBuilder builder;
  builder.Add(256, kShort, {uint32_t(width)});
  builder.Add(257, kShort, {uint32_t(strips)});
  builder.Add(258, kShort, {8});
  builder.Add(259, kShort, {uint32_t(compression)});
  builder.Add(277, kShort, {1});
  builder.Add(278, kLong, {1});
  builder.AddDataOffsets(273, kLong, std::vector<uint32_t>(size_t(strips), 0));
  builder.Add(279, kLong, std::vector<uint32_t>(size_t(strips), uint32_t(data.size())));
  builder.data = std::move(data);
  return builder.Bytes();
}

// A tiled image whose tile offsets count from the start of `data`, which lies last in the file.
inline TBytes Tiled(int width, int height, std::vector<uint32_t> bits, uint32_t tileWidth,
                    uint32_t tileLength, std::vector<uint32_t> offsets,
                    std::vector<uint32_t> counts, TBytes data, uint16_t type = kLong,
                    int compression = 1) {
  TTiffBuilder builder;
  builder.Add(256, kShort, {uint32_t(width)});
  builder.Add(257, kShort, {uint32_t(height)});
  builder.Add(258, kShort, std::move(bits));
  builder.Add(259, kShort, {uint32_t(compression)});
  builder.Add(322, kLong, {tileWidth});
  builder.Add(323, kLong, {tileLength});
  builder.AddDataOffsets(324, type, std::move(offsets));
  builder.Add(325, type, std::move(counts));
  builder.data = std::move(data);
  return builder.Bytes();
}

}  // namespace hostile

// Every hand-made hostile file. Files whose pixel buffer would be large are marked by their
// size; the tests read them at full size only where the buffer stays modest.
inline std::vector<THostileFile> HostileFiles() {
  using namespace hostile;
  using A = THostileAnswer;
  std::vector<THostileFile> files;
  const auto add = [&files](std::string name, TBytes bytes, A answer, int32_t width = 0,
                            int32_t height = 0, TBytes first = {}) {
    files.push_back({std::move(name), std::move(bytes), answer, width, height, std::move(first)});
  };
  const TBytes plain = Plain().Bytes();

  // Headers shorter than 8 bytes.
  for (size_t length : {0, 1, 2, 4, 7}) {
    add("header of " + std::to_string(length) + " bytes",
        TBytes(plain.begin(), plain.begin() + std::ptrdiff_t(length)), A::Refused);
  }

  // Directories out of place: past the end, at 0xFFFFFFFF, inside the header itself, and an
  // entry count that runs past the end of the file.
  for (uint32_t offset :
       {uint32_t(plain.size()), uint32_t(plain.size() - 1), 0xFFFFFFFFu, 0x80000000u, 0u, 4u}) {
    TBytes bytes = plain;
    PutLittleEndian(bytes, 4, offset, 4);
    add("directory at " + std::to_string(offset), bytes, A::Refused);
  }
  {
    TBytes bytes = plain;
    PutLittleEndian(bytes, 8, 0xFFFF, 2);  // 65535 entries; only the real ones exist
    add("entry count 65535", bytes, A::Read, 4, 2, {1, 2, 3, 4, 5, 6, 7, 8});
  }
  {
    // The directory's first entry names the directory itself as the strip.
    TTiffBuilder builder;
    builder.Add(256, kShort, {4}).Add(257, kShort, {2}).Add(258, kShort, {8});
    builder.AddRaw(273, kLong, 1, 8).AddRaw(279, kLong, 1, 8);
    add("strip inside the directory", builder.Bytes(), A::Read, 4, 2, {5, 0, 0, 1, 3, 0, 1, 0});
  }

  // Directories of thousands of entries: only the first 4096 count, and 65535 entries that each
  // point at a colour map cost no more than those 4096.
  for (const int position : {4096, 4097}) {
    TTiffBuilder builder;
    builder.Add(256, kShort, {4}).Add(257, kShort, {2}).AddDataOffsets(273, kLong, {0});
    builder.Add(279, kLong, {8});
    for (int i = 4; i < position - 1; ++i) builder.Add(999, kShort, {1});
    builder.Add(258, kShort, {8});
    builder.data = {1, 2, 3, 4, 5, 6, 7, 8};
    add("bits per sample as entry " + std::to_string(position), builder.Bytes(),
        position <= 4096 ? A::Read : A::Refused, 4, 2, {1, 2, 3, 4, 5, 6, 7, 8});
  }
  {
    TTiffBuilder builder = Plain();
    for (int i = 0; i < 65535 - 7; ++i) builder.AddRaw(320, kShort, 768, 8 + 2 * uint32_t(i % 97));
    add("65535 entries of colour maps", builder.Bytes(), A::Read, 4, 2, {1, 2, 3, 4, 5, 6, 7, 8});
  }

  // Value offsets past and partly past the end of the file, and huge counts.
  const uint32_t end = uint32_t(plain.size()) + 12;  // the end of the file with one more entry
  add(
      "bits per sample past the end",
      [&] {
        TTiffBuilder builder = Plain();
        builder.AddRaw(258, kShort, 3, 0x7FFFFFF0);
        return builder.Bytes();
      }(),
      A::Refused);
  add(
      "colour map partly past the end",
      [&] {
        TTiffBuilder builder = Plain();
        builder.AddRaw(320, kShort, 768, end - 2);
        return builder.Bytes();
      }(),
      A::Read, 4, 2);
  for (uint32_t count : {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 0x20000000u}) {
    add("colour map and resolutions of count " + std::to_string(count),
        PlainWith({{320, {kShort, count}}, {282, {kRational, count}}, {281, {kShort, count}}}),
        A::Read, 4, 2, {1, 2, 3, 4, 5, 6, 7, 8});
  }
  {
    TTiffBuilder builder;
    builder.Image(4, 2, {8}, 1, {1, 2, 3, 4, 5, 6, 7, 8});
    builder.AddRaw(258, kShort, 0x7FFFFFFF, 0);  // a later BitsPerSample of offset 0: "II" = 18761
    add("bits per sample of count 0x7FFFFFFF", builder.Bytes(), A::Refused);
  }

  // Sizes: 0, negative as 16-bit values, and the largest.
  for (const auto& [width, height] : std::vector<std::pair<uint32_t, uint32_t>>{
           {0, 2}, {4, 0}, {0x8000, 2}, {4, 0xFFFF}, {0xFFFF, 0xFFFF}, {0x10000, 2}}) {
    TTiffBuilder builder;
    builder.Image(int(width), int(height), {8}, 1, {1, 2, 3});
    builder.AddRaw(256, kLong, 1, width).AddRaw(257, kLong, 1, height);
    add("size " + std::to_string(width) + " x " + std::to_string(height), builder.Bytes(),
        A::Refused);
  }
  for (const int bits : {1, 4, 8, 16}) {
    TTiffBuilder builder;
    builder.Image(32767, 32767, {uint32_t(bits)}, 1, {0xFF, 0x7F});
    add("32767 x 32767 at " + std::to_string(bits) + " bits", builder.Bytes(), A::Read, 32767,
        32767);
  }
  {
    TTiffBuilder builder;
    builder.Image(32767, 32767, {8, 8, 8}, 3, {1, 2, 3});
    add("32767 x 32767 red green blue", builder.Bytes(), A::Read, 32767, 32767);
  }

  // Strips out of place and byte counts that are wrong.
  add("strip offset past the end", PlainWith({{273, {kLong, 1}}}), A::Read, 4, 2);
  {
    TTiffBuilder builder = Plain();
    builder.AddRaw(273, kLong, 1, 0xFFFFFFFF);
    add("strip offset 0xFFFFFFFF", builder.Bytes(), A::Read, 4, 2, TBytes(8, 0));
  }
  for (uint32_t count : {0u, 5u, 0xFFFFFFFFu, 0x7FFFFFFFu, 100000u, 3u}) {
    TTiffBuilder builder = Plain();
    builder.AddRaw(279, kLong, 1, count);
    TBytes first = {1, 2, 3, 4, 5, 6, 7, 8};
    // 0xFFFFFFFF is an unsigned count past the end of the file: what exists is read.
    if (count == 3) first = {1, 2, 3, 0, 0, 0, 0, 0};
    add("strip byte count " + std::to_string(count), builder.Bytes(), A::Read, 4, 2, first);
  }
  {
    TTiffBuilder builder;
    builder.Image(4, 2, {8}, 1, TBytes(100000, 9));
    add("strip data longer than the image", builder.Bytes(), A::Read, 4, 2, TBytes(8, 9));
  }

  // LZW streams no encoder writes.
  add("LZW without a leading clear", Lzw(4, 1, {8}, 1, {65, 66, 258, 257}), A::Read, 4, 1,
      {65, 66, 65, 66});
  add("LZW code past the next free code", Lzw(4, 1, {8}, 1, {256, 65, 300, 66, 257}), A::Read, 4, 1,
      {65, 0, 0, 0});
  add("LZW 258 right after a clear", Lzw(4, 1, {8}, 1, {256, 258, 65, 257}), A::Read, 4, 1,
      TBytes(4, 0));
  add("LZW 256 right after a clear", Lzw(4, 1, {8}, 1, {256, 256, 65, 66, 257}), A::Read, 4, 1,
      {65, 66, 0, 0});
  add("LZW cyclic prefix chain", Lzw(4, 1, {8}, 1, {256, 65, 259, 259, 258, 257}), A::Read, 4, 1,
      {65, 0, 0, 0});
  add("LZW self-defining codes", Lzw(6, 1, {8}, 1, {256, 65, 258, 259, 257}), A::Read, 6, 1,
      {65, 65, 65, 65, 65, 65});
  {
    std::vector<int> codes = {256};
    for (int i = 0; i < 6000; ++i) codes.push_back(i % 251);  // the table fills at 4095
    codes.push_back(257);
    TBytes first(64);
    for (int i = 0; i < 64; ++i) first[size_t(i)] = uint8_t(i % 251);
    add("LZW growing past 4095", Lzw(100, 100, {8}, 1, codes), A::Read, 100, 100, first);
  }
  {
    std::vector<int> codes(20000, 256);
    codes.push_back(7);
    codes.push_back(257);
    add("LZW of 20000 clears", Lzw(2, 1, {8}, 1, codes), A::Read, 2, 1, {7, 0});
  }
  add("LZW without an end code", Lzw(4, 1, {8}, 1, {256, 65, 66, 67}), A::Read, 4, 1,
      {65, 66, 67, 0});
  add("LZW data after the end code", Lzw(4, 1, {8}, 1, {256, 65, 257, 66, 67, 68}), A::Read, 4, 1,
      {65, 0, 0, 0});
  {
    TTiffBuilder builder;
    builder.Image(8, 8, {8}, 1, TBytes(5000, 0xFF), 5);  // all ones: code 511, far past the table
    add("LZW of all ones", builder.Bytes(), A::Read, 8, 8, TBytes(64, 0));
  }
  // A bomb: 16 KiB that would expand to 21 MiB, into an image of 16 MiB.
  add("LZW bomb", Lzw(4096, 4096, {8}, 1, BombCodes(3)), A::Read, 4096, 4096, TBytes(8, 0x41));

  // Strips that share their data: every row's strip is the same block.
  add("32767 strips share 1 MiB of clears",
      SharedStrips(8, 32767, PackLzw(std::vector<int>(900000, 256)), 5), A::Read, 8, 32767);
  add("32767 strips share one bomb", SharedStrips(8, 32767, PackLzw(BombCodes(1)), 5), A::Read, 8,
      32767, TBytes(8, 0x41));
  add("32767 strips share 1 MiB of stored data", SharedStrips(8, 32767, TBytes(1 << 20, 3), 1),
      A::Read, 8, 32767, TBytes(8, 3));

  // Sample counts and colour maps of odd kinds: only the one sample of no tag at all is read.
  for (uint32_t samples : {0u, 65535u, 3u}) {
    TTiffBuilder builder = Plain();
    builder.AddRaw(277, kShort, 1, samples);
    add("samples per pixel " + std::to_string(samples), builder.Bytes(),
        samples == 0 ? A::Read : A::Refused, 4, 2, {1, 2, 3, 4, 5, 6, 7, 8});
  }
  {
    TTiffBuilder builder;
    builder.Image(2, 1, {8, 8, 8}, 65535, {1, 2, 3, 4, 5, 6});
    add("red green blue of 65535 samples", builder.Bytes(), A::Refused);
  }
  for (uint16_t type : {0, 2, 5, 7, 12, 0xFFFF}) {
    TTiffBuilder builder;
    builder.Image(4, 1, {4}, 1, {0x21, 0x43});
    builder.AddRaw(320, type, 48, 0);
    add("4-bit colour map of type " + std::to_string(type), builder.Bytes(), A::Read, 4, 1,
        {1, 2, 3, 4});
  }
  {
    TTiffBuilder builder;
    builder.Image(4, 1, {8}, 1, {1, 2, 3, 4});
    builder.Add(320, kByte, std::vector<uint32_t>(768, 0xAB));
    add("8-bit colour map of bytes", builder.Bytes(), A::Read, 4, 1, {1, 2, 3, 4});
  }
  // Tile geometry: sizes of 0 and far past the image, arrays that claim billions of tiles, run
  // off the file or are of the wrong type, and tiles that all point at one LZW bomb.
  for (const auto& [width, length] : std::vector<std::pair<uint32_t, uint32_t>>{
           {0, 16}, {16, 0}, {0xFFFFFFFF, 16}, {16, 0x80000000}, {2048, 16}}) {
    add("tiles of " + std::to_string(width) + " x " + std::to_string(length),
        Tiled(4, 2, {8}, width, length, {0}, {8}, {1, 2, 3, 4, 5, 6, 7, 8}), A::Refused);
  }
  add(
      "tiles without offsets",
      [] {
        TTiffBuilder builder = Plain();
        builder.Add(322, kShort, {16}).Add(323, kShort, {16});
        return builder.Bytes();
      }(),
      A::Refused);
  add("tiles of bytes", Tiled(4, 2, {8}, 16, 16, {0}, {8}, {1, 2, 3, 4, 5, 6, 7, 8}, kByte),
      A::Read, 4, 2, TBytes(8, 0));
  add(
      "tiles without byte counts",
      [] {
        TTiffBuilder builder = Plain();
        builder.Add(322, kShort, {16}).Add(323, kShort, {16}).AddDataOffsets(324, kLong, {0});
        return builder.Bytes();
      }(),
      A::Read, 4, 2, TBytes(8, 0));
  add("tile offsets past the end",
      Tiled(4, 2, {8}, 16, 16, {0x7FFFFFF0}, {0xFFFFFFFF}, {1, 2, 3, 4, 5, 6, 7, 8}), A::Read, 4, 2,
      TBytes(8, 0));
  {
    // 1 x 1 tiles of the largest image: a billion tiles, whose arrays claim 2^32 - 1 values and
    // end with the file after two.
    TTiffBuilder builder;
    builder.Add(256, kShort, {32767}).Add(257, kShort, {32767}).Add(258, kShort, {8});
    builder.Add(322, kShort, {1}).Add(323, kShort, {1});
    builder.AddDataOffsets(324, kLong, {0, 1}, 0xFFFFFFFF).Add(325, kLong, {1, 1}, 0xFFFFFFFF);
    builder.data = {7, 8};
    add("a billion tiles of 1 x 1", builder.Bytes(), A::Read, 32767, 32767);
  }
  add("tiles of 1024 x 1024 across 1 x 32767 share one bomb",
      Tiled(1, 32767, {8}, 1024, 1024, std::vector<uint32_t>(32, 0),
            std::vector<uint32_t>(32, uint32_t(PackLzw(BombCodes(1)).size())),
            PackLzw(BombCodes(1)), kLong, 5),
      A::Read, 1, 32767, TBytes(64, 0x41));
  return files;
}
