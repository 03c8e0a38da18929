#include "host/output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#if defined(_WIN32)
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

int ProcessId() {
#if defined(_WIN32)
  return _getpid();
#else
  return static_cast<int>(getpid());
#endif
}

std::string SystemReason() {
  return std::strerror(errno);
}

bool ReplaceFile(const std::string& from, const std::string& to, std::string& error) {
#if defined(_WIN32)
  // rename() on Windows refuses an existing target.
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0) return true;
  error = std::system_category().message(static_cast<int>(GetLastError()));
  return false;
#else
  if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  error = SystemReason();
  return false;
#endif
}

}  // namespace

PendingOutput::PendingOutput(const std::string& target)
    : target(target), temporary(target + ".part" + std::to_string(ProcessId())) {}

PendingOutput::~PendingOutput() {
  Discard();
}

bool PendingOutput::Create(std::string& error) {
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) {
    error = SystemReason();
    return false;
  }
  pending = true;
  if (std::fclose(file) != 0) {
    error = SystemReason();
    return false;
  }
  return true;
}

bool PendingOutput::Commit(std::string& error) {
  if (!pending) {
    error = "nothing was written";
    return false;
  }
  if (!ReplaceFile(temporary, target, error)) return false;
  pending = false;
  return true;
}

void PendingOutput::Discard() {
  if (!pending) return;
  std::remove(temporary.c_str());
  pending = false;
}

bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes,
                    std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    error = SystemReason();
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (!written) error = SystemReason();
  // Buffered bytes reach the disk only at the close, so a full disk may show up only there.
  if (std::fclose(file) != 0 && written) {
    error = SystemReason();
    return false;
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
