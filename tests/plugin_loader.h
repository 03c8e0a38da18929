// The plug-in library as the tests load it: the host tool's own loader, so the tests drive the
// library exactly as a host does (by file, at run time, entry points by plain name).
#pragma once

#include <memory>
#include <string>

#include "host/plugin_library.h"

// The library beside the running test program, loaded once for the whole program; aborts the
// run when it cannot be loaded.
const PluginLibrary& Plugin();

// A fresh load of the library, with its globals as at load time (unless it is loaded elsewhere
// in the program); it is unloaded when the pointer goes.
std::unique_ptr<PluginLibrary> LoadPlugin();

inline std::string ProgramFolder() {
  return PluginLibrary::ProgramFolder();
}
