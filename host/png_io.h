// Pictures in and out of the tool through Debian's header-only stb: PNG and BMP in, PNG out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/rgb_image.h"

// The largest picture side the tool hands to the plug-in: TIFF sizes are read back as signed
// 16-bit numbers.
constexpr int kLargestSide = 32767;

// Reads a PNG or BMP file as RGB; an alpha channel is dropped, and `transparent` says whether
// that hid anything. False with a reason.
bool ReadPicture(const std::string& path, RgbImage& image, std::string& error);

// A PNG file's bytes for `channels` 1 (grey) or 3 (RGB) bytes per pixel, rows top first with no
// padding; empty when encoding fails.
std::vector<uint8_t> EncodePng(const std::vector<uint8_t>& pixels, int width, int height,
                               int channels);
