// The optimised palette of a full-colour picture: median cut over its colour histogram, then a
// few rounds of moving each palette colour to the mean of the colours nearest to it.
#pragma once

#include <cstdint>
#include <vector>

#include "host/colour_palettes.h"

// At most `largest` colours (1 to 256); exactly the picture's colours when it has no more.
std::vector<uint32_t> OptimisedPalette(const std::vector<ColourCount>& histogram, int largest);
