// Whole files in one call, for the tool's pictures: outputs go through PendingOutput
// (plugin/pending_output.h), which replaces a file only with a complete new one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes all of `bytes` to `path`; false with the system's reason.
bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);
// Reads all of `path`, refusing files larger than `largest` bytes.
bool ReadWholeFile(const std::string& path, uint64_t largest, std::vector<uint8_t>& bytes,
                   std::string& error);
