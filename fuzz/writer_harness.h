// The checks the writer fuzz target and the crasher tests run on one input: a small image of a
// random geometry written through the encoder and read back through the decoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Input layout: kind choice, width choice, height choice, row padding (in its low four bits; bit
// 6 takes the pixels away, bit 7 the palette), the row at which the progress callback stops the
// writing (0: never), then bytes for the pixels and the palette, used over and over. `path` names a
// scratch file; it is left behind holding the last result. Returns an empty text when the writer
// behaved, else what went wrong.
std::string CheckWrite(const uint8_t* data, size_t size, const std::string& path);
