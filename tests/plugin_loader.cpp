#include "tests/plugin_loader.h"

#include <cstdio>
#include <cstdlib>

std::unique_ptr<PluginLibrary> LoadPlugin() {
  auto library = std::make_unique<PluginLibrary>();
  std::string error;
  if (!library->Load(PluginLibrary::DefaultPath(), error)) {
    std::fprintf(stderr, "%s: %s\n", PluginLibrary::DefaultPath().c_str(), error.c_str());
    std::abort();
  }
  return library;
}

const PluginLibrary& Plugin() {
  static const std::unique_ptr<PluginLibrary> library = LoadPlugin();
  return *library;
}
