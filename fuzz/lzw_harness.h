// The checks the LZW fuzz target and the crasher tests run on one input: the three forms of the
// expander on the same code stream, with random input pieces and a random output limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Input layout: byte 0 and 1 choose the output limit (twice their little-endian value;
// 0xFFFF means 1 MiB), byte 2 seeds the piece sizes of the run and flat forms, the rest is the
// code stream. Returns an empty text when the forms agree, else what went wrong.
std::string CheckLzwExpansion(const uint8_t* data, size_t size);
