// The running test program's process number, part of every temporary name: two test runs on one
// machine (two clones, say) must not share their files.
#pragma once

#include <string>

#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

inline std::string ProcessTag() {
#if defined(_WIN32)
  return std::to_string(_getpid());
#else
  return std::to_string(getpid());
#endif
}
