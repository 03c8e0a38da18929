// Output written so that a file it replaces changes only when the new one is complete: a new
// file beside the target, named after it with ".PID-N.tmp", takes the target's place at the end.
// The plug-in's export and the host tool write every output through it. A target that is a
// device or a FIFO is written straight through; a folder, a read-only file, a block device or a
// socket is refused (plugin/file_replacement.h).
#pragma once

#include <string>

#include "plugin/file_replacement.h"

class PendingOutput {
 public:
  // Finds what `name` leads to; nothing is made until Create.
  explicit PendingOutput(const std::string& name);
  // Removes the new file unless it took the target's place.
  ~PendingOutput();
  PendingOutput(const PendingOutput&) = delete;
  PendingOutput& operator=(const PendingOutput&) = delete;

  // Makes the new file, empty, before any work is spent on the output; false with the reason
  // when the target is refused or nothing can be made beside it.
  bool Create(std::string& error);
  // Where to write the output: the new file, or the target itself when it is a stream.
  const std::string& WritePath() const { return writePath; }
  // Puts the complete new file in the target's place.
  bool Commit(std::string& error);
  void Discard();

 private:
  OutputTarget target;
  std::string writePath;
  bool pending = false;  // the new file exists and is ours to remove
};
