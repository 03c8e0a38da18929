#include "plugin/pending_output.h"

#include <cstdio>

namespace {

// Names tried before giving up: only leftovers of earlier runs with the same process id collide.
constexpr int kAttempts = 100;

}  // namespace

PendingOutput::PendingOutput(const std::string& name) : target(FindOutputTarget(name)) {}

PendingOutput::~PendingOutput() {
  Discard();
}

bool PendingOutput::Create(std::string& error) {
  switch (target.kind) {
    case TargetKind::kRefused:
      error = target.reason;
      return false;
    case TargetKind::kStream:
      writePath = target.path;
      return true;
    case TargetKind::kFreeName:
    case TargetKind::kFile:
      break;
  }
  const std::string stem = target.path + "." + std::to_string(ProcessId()) + "-";
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const std::string name = stem + std::to_string(attempt) + ".tmp";
    switch (CreateNewFile(name, target, error)) {
      case Creation::kCreated:
        writePath = name;
        pending = true;
        return true;
      case Creation::kNameTaken:
        continue;
      case Creation::kFailed:
        return false;
    }
  }
  error = "no free name for a new file beside it";
  return false;
}

bool PendingOutput::Commit(std::string& error) {
  if (target.kind == TargetKind::kStream) return true;
  if (!pending) {
    error = "nothing was written";
    return false;
  }
  switch (MoveIntoPlace(writePath, target, error)) {
    case Placement::kPlaced:
      pending = false;
      return true;
    case Placement::kTargetKept:
      return false;
    case Placement::kTargetLost:
      // The new file is all there is now: it stays where it is.
      pending = false;
      error += "; the new file is left as " + writePath;
      return false;
  }
  return false;
}

void PendingOutput::Discard() {
  if (!pending) return;
  std::remove(writePath.c_str());
  pending = false;
}
