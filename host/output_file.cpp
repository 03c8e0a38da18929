#include "host/output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

std::string SystemReason() {
  return std::strerror(errno);
}

}  // namespace

bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes,
                    std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    error = SystemReason();
    return false;
  }
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  // Buffered bytes reach the disk only at the end, so a full disk may show up only there. The
  // flush is asked for on its own: Wine's C library loses its error when fclose does it.
  written = written && std::fflush(file) == 0;
  if (!written) error = SystemReason();
  if (std::fclose(file) != 0 && written) {
    error = SystemReason();
    written = false;
  }
  return written;
}

bool ReadWholeFile(const std::string& path, uint64_t largest, std::vector<uint8_t>& bytes,
                   std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = SystemReason();
    return false;
  }
  bytes.clear();
  uint8_t chunk[65536];
  bool ok = true;
  for (;;) {
    const size_t count = std::fread(chunk, 1, sizeof chunk, file);
    if (uint64_t{bytes.size()} + count > largest) {
      error = "file too large";
      ok = false;
      break;
    }
    bytes.insert(bytes.end(), chunk, chunk + count);
    if (count < sizeof chunk) {
      if (std::ferror(file)) {
        error = SystemReason();
        ok = false;
      }
      break;
    }
  }
  std::fclose(file);
  return ok;
}
