// Turns a row of host pixels (blue, green, red, unused) into the file's red, green, blue bytes,
// with byte shuffles where the processor has them.
#pragma once

#include <cstdint>

// Writes 3 * count bytes at `out` from 4 * count bytes at `in`; the two must not overlap.
void ConvertFullColourRow(uint8_t* out, const uint8_t* in, uint32_t count);
