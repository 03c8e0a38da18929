// The replacement of a file with MoveFileExA: the new file is flushed to the disk, then moved
// over the target, the move itself written through before the call returns. The ANSI functions
// take the host's Shift-JIS names unconverted.
#include <windows.h>

#include <string>

#include "plugin/file_replacement.h"

namespace {

// Names tried before giving up: only leftovers of earlier runs of the same process id collide.
constexpr int kAttempts = 100;

bool Flush(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool flushed = FlushFileBuffers(file) != 0;
  return CloseHandle(file) != 0 && flushed;
}

}  // namespace

std::string FileToReplace(const char* name) {
  return name;
}

std::string CreateFileBeside(const std::string& target) {
  if (target.empty()) return "";
  // A read-only file is not replaced (MoveFileExA refuses it too); a folder cannot be.
  const DWORD attributes = GetFileAttributesA(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
    return "";
  }
  const std::string stem = target + "." + std::to_string(GetCurrentProcessId()) + "-";
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::string name = stem + std::to_string(attempt) + ".tmp";
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      return "";
    }
    if (CloseHandle(file) != 0) return name;
    DeleteFileA(name.c_str());
    return "";
  }
  return "";
}

bool MoveIntoPlace(const std::string& temporary, const std::string& target) {
  return Flush(temporary) && MoveFileExA(temporary.c_str(), target.c_str(),
                                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
