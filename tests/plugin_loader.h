// The plug-in library as the tests load it: the host tool's own loader, so the tests drive the
// library exactly as a host does (by file, at run time, entry points by plain name).
#pragma once

#include <memory>
#include <string>

#include "host/plugin_library.h"

// The library beside the running test program, loaded once for the whole program; aborts the
// run when it cannot be loaded.
const PluginLibrary& Plugin();

// Unloads a fresh load and removes the copy it was loaded from.
struct UnloadFreshPlugin {
  void operator()(PluginLibrary* library) const;
};
using FreshPlugin = std::unique_ptr<PluginLibrary, UnloadFreshPlugin>;

// A fresh load of the library, with its globals as at load time: a copy of the file under a name
// of its own, because loading the same file again while Plugin() holds it would hand back the
// module already loaded. Aborts the run when it cannot be loaded.
FreshPlugin LoadPlugin();

inline std::string ProgramFolder() {
  return PluginLibrary::ProgramFolder();
}
