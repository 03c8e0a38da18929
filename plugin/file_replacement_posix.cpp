// Output targets on POSIX: the kind of file a name leads to, new files with the old one's
// permissions, and rename(2), flushed with the folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "plugin/file_replacement.h"

namespace {

// Links followed before the name counts as a loop, as the kernel's own limit.
constexpr int kLinksFollowed = 40;

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

OutputTarget Refused(const std::string& name, std::string reason) {
  return {TargetKind::kRefused, name, std::move(reason)};
}

// The name a chain of symbolic links ends in, when that name does not exist yet: writing through
// the link would create it there.
bool FollowDanglingLinks(std::string& path) {
  for (int followed = 0; followed < kLinksFollowed; ++followed) {
    struct stat link;
    if (lstat(path.c_str(), &link) != 0) return true;
    if (!S_ISLNK(link.st_mode)) return true;
    char target[PATH_MAX];
    const ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
    if (length < 0) return false;
    const std::string content(target, static_cast<size_t>(length));
    path = content[0] == '/' ? content : FolderOf(path) + "/" + content;
  }
  return false;
}

// The real name of the file a name with links leads to: the new file must go in its folder.
bool RealNameOf(const std::string& name, const struct stat& file, std::string& real) {
  char resolved[PATH_MAX];
  if (realpath(name.c_str(), resolved) == nullptr) return false;
  // /proc's links to open files may name a file that is gone ("... (deleted)").
  struct stat there;
  if (stat(resolved, &there) != 0 || there.st_dev != file.st_dev || there.st_ino != file.st_ino) {
    return false;
  }
  real = resolved;
  return true;
}

bool MayReplace(const std::string& path, const struct stat& file, std::string& reason) {
  // Root may write any file, but a file without a write bit is meant to stay as it is.
  if ((file.st_mode & 0222) == 0) {
    reason = "the file is read-only";
    return false;
  }
  if (access(path.c_str(), W_OK) == 0) return true;
  reason = errno == EACCES ? "the file is read-only" : std::strerror(errno);
  return false;
}

}  // namespace

OutputTarget FindOutputTarget(const std::string& name) {
  if (name.empty()) return Refused(name, std::strerror(ENOENT));
  struct stat file;
  if (stat(name.c_str(), &file) != 0) {
    if (errno != ENOENT) return {TargetKind::kFreeName, name, ""};  // the creation says why
    std::string path = name;
    if (!FollowDanglingLinks(path)) return Refused(name, std::strerror(ELOOP));
    return {TargetKind::kFreeName, path, ""};
  }
  switch (file.st_mode & S_IFMT) {
    case S_IFREG: {
      std::string path = name;
      struct stat link;
      if (lstat(name.c_str(), &link) == 0 && S_ISLNK(link.st_mode) &&
          !RealNameOf(name, file, path)) {
        return Refused(name, "cannot find the folder of the file it links to");
      }
      std::string reason;
      if (!MayReplace(path, file, reason)) return Refused(name, reason);
      return {TargetKind::kFile, path, ""};
    }
    case S_IFCHR:
    case S_IFIFO:
      return {TargetKind::kStream, name, ""};
    case S_IFDIR:
      return Refused(name, "is a folder");
    case S_IFBLK:
      // An image written onto a disk would destroy what is on it.
      return Refused(name, "is a block device");
    case S_IFSOCK:
      return Refused(name, "is a socket");
    default:
      return Refused(name, "is not a file");
  }
}

bool SameFile(const std::string& first, const std::string& second) {
  struct stat a, b;
  return stat(first.c_str(), &a) == 0 && stat(second.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
         a.st_ino == b.st_ino;
}

unsigned long ProcessId() {
  return static_cast<unsigned long>(getpid());
}

Creation CreateNewFile(const std::string& name, const OutputTarget& target, std::string& error) {
  const int descriptor = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (descriptor < 0) {
    if (errno == EEXIST) return Creation::kNameTaken;
    error = std::strerror(errno);
    return Creation::kFailed;
  }
  bool kept = true;
  struct stat old;
  if (target.kind == TargetKind::kFile && stat(target.path.c_str(), &old) == 0) {
    // The owner and group where the process may set them (root, or a member of the group).
    if (fchown(descriptor, old.st_uid, old.st_gid) != 0) {
      struct stat created;
      const bool groupKept = fchown(descriptor, static_cast<uid_t>(-1), old.st_gid) == 0 ||
                             (fstat(descriptor, &created) == 0 && created.st_gid == old.st_gid);
      // Whoever could not read the old file cannot read the new one either: the group's
      // permissions would go to another group.
      if (!groupKept) old.st_mode &= ~mode_t{070};
    }
    // Only the permission bits: set-user-id and the like are not given to new content.
    kept = fchmod(descriptor, old.st_mode & 0777) == 0;
    if (!kept) error = std::strerror(errno);
  }
  if (close(descriptor) != 0 && kept) {
    error = std::strerror(errno);
    kept = false;
  }
  if (kept) return Creation::kCreated;
  std::remove(name.c_str());
  return Creation::kFailed;
}

Placement MoveIntoPlace(const std::string& temporary, const OutputTarget& target,
                        std::string& error) {
  if (!Flush(temporary, O_WRONLY) || std::rename(temporary.c_str(), target.path.c_str()) != 0) {
    error = std::strerror(errno);
    return Placement::kTargetKept;
  }
  // The new name is on the disk once the folder is: the file is in place either way.
  Flush(FolderOf(target.path), O_RDONLY | O_DIRECTORY);
  return Placement::kPlaced;
}
