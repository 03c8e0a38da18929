// A result is written beside its target under a temporary name and moved into place only when
// it is complete, so a failed or interrupted conversion never leaves half a file behind.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class PendingOutput {
 public:
  explicit PendingOutput(const std::string& target);
  // Removes the temporary file unless it was committed.
  ~PendingOutput();
  PendingOutput(const PendingOutput&) = delete;
  PendingOutput& operator=(const PendingOutput&) = delete;

  // Creates the temporary file empty; false with the system's reason when that is impossible
  // (a missing folder, no permission), before any work is spent on the output.
  bool Create(std::string& error);
  const std::string& TemporaryPath() const { return temporary; }
  // Moves the temporary file over the target.
  bool Commit(std::string& error);
  void Discard();

 private:
  std::string target;
  std::string temporary;
  bool pending = false;
};

// Writes all of `bytes` to `path`; false with the system's reason.
bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);
// Reads all of `path`, refusing files larger than `largest` bytes.
bool ReadWholeFile(const std::string& path, uint64_t largest, std::vector<uint8_t>& bytes,
                   std::string& error);
