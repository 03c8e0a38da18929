// Pictures into the tool: PNG through its own streaming reader (host/png_reader.h), BMP through
// Debian's header-only stb. The sizes are checked before any pixel is read.
#pragma once

#include <cstdint>
#include <string>

#include "host/png_reader.h"
#include "host/rgb_image.h"

// The largest picture side the tool hands to the plug-in: TIFF sizes are read back as signed
// 16-bit numbers.
constexpr int kLargestSide = 32767;

// What an export holds in memory per pixel: the picture as read (3 bytes) and the image handed
// to the plug-in (4 bytes in full colour).
constexpr uint64_t kExportBytesPerPixel = 7;

// The memory an export of this build can count on for its pictures: all there is on a 64-bit
// build. A 32-bit one is linked large-address-aware (4 GiB of addresses under 64-bit Windows),
// but the program, its libraries and the gaps between them leave about 2.5 GiB for two blocks
// of 3 and 4 bytes a pixel: 18000 x 18000 pixels fit, 20000 x 20000 do not.
constexpr uint64_t kAddressableBytes = sizeof(void*) >= 8 ? UINT64_MAX : uint64_t{5} << 29;

// Reads a PNG or BMP file as RGB; an alpha channel is dropped, and `transparent` says whether
// that hid anything. False with a reason, also when the picture is larger than an export can
// take or than memory allows.
bool ReadPicture(const std::string& path, RgbImage& image, ReadProgress progress,
                 std::string& error);

// "W x H pixels".
std::string SizeText(int64_t width, int64_t height);
