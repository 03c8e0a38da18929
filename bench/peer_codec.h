// The peer side of each comparison: libtiff reading a strip or writing rows, plus the same
// pixel conversion our import and export do, so both sides deliver the same result.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "bench/bench_files.h"
#include "writer/host_image.h"

// Opens, reads the one strip with TIFFReadEncodedStrip, converts it into a new buffer in the
// host's layout and closes. Returns the buffer (std::free it) or null on failure.
uint8_t* PeerImport(const TBenchFile& file);

// Writes `image` (full colour) as one stored RGB strip, converting each row to red, green, blue.
bool PeerExport(const char* path, const HostImage& image);

// True when libtiff reads back from `path` exactly the pixels of `image` (full colour).
bool PeerReadsBack(const char* path, const HostImage& image);

// The host-layout size of a file's pixels, as our decoder lays them out.
int64_t HostLayoutBytes(const TBenchFile& file);
