// The host's colour transforms, chosen by the code the plug-in gives before export: they turn a
// picture into the HostImage that the plug-in writes.
#pragma once

#include <cstdint>
#include <vector>

#include "host/rgb_image.h"
#include "plugin/host_interface.h"

enum TransformCode : int32_t {
  kKeepFullColour = 1,          // full colour as it is
  kPaletteWhereExact = 5,       // a palette image when at most 256 colours, else full colour
  kOptimisedPalette = 9,        // 256 colours chosen for the picture
  kWindowsPaletteColours = 10,  // nearest colours of the fixed Windows palette
};

// The image handed to the plug-in and the buffers its record points into.
struct ExportImage {
  int32_t kind = 0;
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> pixels;
  std::vector<uint32_t> palette;  // 256 entries 0x00RRGGBB for a palette image
  int32_t paletteCount = 0;

  // A record that points into this object; valid while the object is neither changed nor gone.
  HostImage Record();
};

// Told now and then during the long pixel passes how much of the pass is done, 0 to 1.
using TransformProgress = void (*)(double done);

// False for a code that is none of the four. A Ctrl-C ends the passes early (Interrupted()).
bool ApplyTransform(int32_t code, const RgbImage& picture, ExportImage& image,
                    TransformProgress progress = nullptr);

// The transform code of each conversion method 0 to 3, as the plug-in gives them.
int32_t TransformCodeOfMethod(int method);
// What a transform code does, in a few words; null for an unknown code.
const char* TransformName(int32_t code);
