// HostImage: the image record exchanged with the host, seven 32-bit fields (28 bytes on the
// 32-bit target), with a layout fixed by the host interface.
#pragma once

#include <cstdint>

enum ImageKind : int32_t {
  kPaletteImage = 1,     // one byte per pixel, 256-entry palette of blue, green, red, 0
  kFullColourImage = 5,  // four bytes per pixel: the little-endian word 0x00RRGGBB
};

struct HostImage {
  int32_t kind;
  uint8_t* pixels;
  int32_t rowBytes;
  int32_t width;
  int32_t height;
  uint32_t* palette;  // 256 entries, each 0x00RRGGBB
  int32_t paletteCount;
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(HostImage) == 28, "HostImage layout is fixed by the host interface");
#endif
