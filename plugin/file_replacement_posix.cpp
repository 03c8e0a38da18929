// The replacement of a file with rename(2): the new file is flushed to the disk, renamed over
// the target, and the rename itself is flushed with the folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "plugin/file_replacement.h"

namespace {

// Names tried before giving up: only leftovers of earlier runs of the same process id collide.
constexpr int kAttempts = 100;

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool Flush(const std::string& path, int flags) {
  const int descriptor = open(path.c_str(), flags | O_CLOEXEC);
  if (descriptor < 0) return false;
  const bool flushed = fsync(descriptor) == 0;
  return close(descriptor) == 0 && flushed;
}

}  // namespace

std::string FileToReplace(const char* name) {
  struct stat link;
  if (lstat(name, &link) != 0 || !S_ISLNK(link.st_mode)) return name;
  // A link whose file does not exist yet is replaced itself.
  char resolved[PATH_MAX];
  return realpath(name, resolved) != nullptr ? resolved : name;
}

std::string CreateFileBeside(const std::string& target) {
  if (target.empty()) return "";
  struct stat existing;
  const bool exists = stat(target.c_str(), &existing) == 0;
  // A file that may not be written is not replaced either; a folder cannot be.
  if (exists && (S_ISDIR(existing.st_mode) || access(target.c_str(), W_OK) != 0)) return "";
  const std::string stem = target + "." + std::to_string(getpid()) + "-";
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::string name = stem + std::to_string(attempt) + ".tmp";
    const int descriptor = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor < 0) {
      if (errno == EEXIST) continue;
      return "";
    }
    // Whoever could not read the old file cannot read the new one either. Only the permission
    // bits: set-user-id and the like are not given to a file of another owner's content.
    const bool kept = !exists || fchmod(descriptor, existing.st_mode & 0777) == 0;
    if (close(descriptor) == 0 && kept) return name;
    std::remove(name.c_str());
    return "";
  }
  return "";
}

bool MoveIntoPlace(const std::string& temporary, const std::string& target) {
  if (!Flush(temporary, O_WRONLY)) return false;
  if (std::rename(temporary.c_str(), target.c_str()) != 0) return false;
  // The new name is on the disk once the folder is: the file is in place either way.
  Flush(FolderOf(target), O_RDONLY | O_DIRECTORY);
  return true;
}
