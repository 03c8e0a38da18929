// The platform side of writing output safely (plugin/pending_output.h): what a name given for
// output is, new files made beside a target, and the step that puts one in the target's place.
// Names are byte strings as the host gives them (Shift-JIS on Windows), used unconverted.
#pragma once

#include <string>

enum class TargetKind {
  kFreeName,  // nothing is there yet: the new file is made beside it and moved to the name
  kFile,      // a regular file: replaced by a complete new one, which takes over what it had
  kStream,    // a character device or a FIFO (on Windows a device name such as NUL, or a pipe):
              // written straight through, since it holds no old contents to keep
  kRefused,   // a folder, a read-only file, a block device, a socket: never written
};

struct OutputTarget {
  TargetKind kind = TargetKind::kRefused;
  // The name written or replaced: symbolic links are followed to the file they name, so that the
  // link stays a link and its file gets the new content.
  std::string path;
  std::string reason;  // why it is refused
};

OutputTarget FindOutputTarget(const std::string& name);

// Whether both names lead to one file that exists (links and other names followed).
bool SameFile(const std::string& first, const std::string& second);

// This process's id, which makes the names of its new files its own.
unsigned long ProcessId();

enum class Creation { kCreated, kNameTaken, kFailed };
// Creates `name` new and empty; a file of that name already there gives kNameTaken. For a target
// that is a file, the new one gets its permissions (on POSIX its mode bits, and its owner and
// group where the process may set them).
Creation CreateNewFile(const std::string& name, const OutputTarget& target, std::string& error);

enum class Placement {
  kPlaced,      // the complete file is at the target's name
  kTargetKept,  // it failed, and the target is as it was: the new file may go
  kTargetLost,  // it failed after the old file went: the new file is the only copy left
};
// Puts the complete, closed `temporary` in the place of `target` in one step, its bytes on the
// disk first: on Windows with ReplaceFileA for a file (its security, attributes and creation
// time go to the new one), MoveFileExA for a free name; rename(2) on POSIX.
Placement MoveIntoPlace(const std::string& temporary, const OutputTarget& target,
                        std::string& error);
