#include "host/file_names.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <vector>

#if defined(_WIN32)
#include <direct.h>
#include <windows.h>
#else
#include <sys/statvfs.h>
#endif

namespace {

#if defined(_WIN32)
constexpr char kSeparator = '\\';
bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}
// Second bytes of double-byte characters are never separators or dots.
bool StartsDoubleByte(char c) {
  return IsDBCSLeadByte(static_cast<BYTE>(c)) != 0;
}
int CreateFolder(const std::string& path) {
  return _mkdir(path.c_str());
}
#else
constexpr char kSeparator = '/';
bool IsSeparator(char c) {
  return c == '/';
}
bool StartsDoubleByte(char) {
  return false;
}
int CreateFolder(const std::string& path) {
  return mkdir(path.c_str(), 0777);
}
#endif

// Where each separator stands, walking whole characters.
std::vector<size_t> Separators(const std::string& path) {
  std::vector<size_t> found;
  for (size_t i = 0; i < path.size(); ++i) {
    if (StartsDoubleByte(path[i])) {
      ++i;
    } else if (IsSeparator(path[i])) {
      found.push_back(i);
    }
  }
  return found;
}

}  // namespace

std::string BaseName(const std::string& path) {
  const std::vector<size_t> separators = Separators(path);
  const size_t start = separators.empty() ? 0 : separators.back() + 1;
  const std::string name = path.substr(start);
  size_t dot = std::string::npos;
  for (size_t i = 0; i < name.size(); ++i) {
    if (StartsDoubleByte(name[i])) {
      ++i;
    } else if (name[i] == '.') {
      dot = i;
    }
  }
  // A name that is only an extension (".tif") keeps it.
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string ExtensionOf(const std::string& path) {
  const std::string base = BaseName(path);
  const std::vector<size_t> separators = Separators(path);
  const size_t start = separators.empty() ? 0 : separators.back() + 1;
  const std::string name = path.substr(start);
  if (base.size() >= name.size()) return "";
  std::string extension = name.substr(base.size() + 1);
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return extension;
}

std::string FolderName(const std::string& path) {
  const std::vector<size_t> separators = Separators(path);
  if (separators.empty()) return ".";
  // A name in the root keeps the separator: it is the root's name.
  return path.substr(0, separators.back() == 0 ? 1 : separators.back());
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const std::vector<size_t> separators = Separators(folder);
  const bool endsInSeparator = !separators.empty() && separators.back() == folder.size() - 1;
  return endsInSeparator ? folder + name : folder + kSeparator + name;
}

bool IsFolder(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && (status.st_mode & S_IFMT) == S_IFDIR;
}

bool MakeFolders(const std::string& path, std::string& error) {
  std::vector<size_t> ends = Separators(path);
  ends.push_back(path.size());
  for (size_t end : ends) {
    const std::string folder = path.substr(0, end);
    // The root, a drive ("C:") or a folder that is there already.
    if (folder.empty() || folder.back() == ':' || IsFolder(folder)) continue;
    if (CreateFolder(folder) != 0 && !IsFolder(folder)) {
      error = std::strerror(errno);
      return false;
    }
  }
  return true;
}

uint64_t FreeBytes(const std::string& folder) {
#if defined(_WIN32)
  ULARGE_INTEGER available;
  if (GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr) == 0) return UINT64_MAX;
  return available.QuadPart;
#else
  struct statvfs disk;
  if (statvfs(folder.c_str(), &disk) != 0) return UINT64_MAX;
  return uint64_t{disk.f_bavail} * disk.f_frsize;
#endif
}
