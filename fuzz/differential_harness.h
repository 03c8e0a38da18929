// The checks the differential fuzz target and the crasher tests run on one file image: the
// reader's fast paths against its byte-at-a-time reference path on the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Input layout as for the read pass (the file's bytes, then a box width choice, a box height
// choice and a mode byte, which is not used here). The file is read at full size in place, at
// full size through the run store and through the byte path, and as a preview for the box
// through the run store and the byte path. Returns an empty text when each fast path gives what
// the byte path gives (the answer, the refusal, the geometry, the record, the palette and every
// pixel byte), else the first difference.
std::string CheckPathsAgree(const uint8_t* data, size_t size);
