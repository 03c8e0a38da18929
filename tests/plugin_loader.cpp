#include "tests/plugin_loader.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "tests/process_tag.h"

namespace {

std::unique_ptr<PluginLibrary> LoadOrAbort(const std::string& path) {
  auto library = std::make_unique<PluginLibrary>();
  std::string error;
  if (!library->Load(path, error)) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
    std::abort();
  }
  return library;
}

}  // namespace

void UnloadFreshPlugin::operator()(PluginLibrary* library) const {
  const std::string copy = library->Path();
  delete library;
  std::error_code ignored;
  std::filesystem::remove(copy, ignored);
}

FreshPlugin LoadPlugin() {
  static int loads = 0;
  const std::filesystem::path original = PluginLibrary::DefaultPath();
  std::filesystem::path copy = original;
  // Named after the process too: test programs of the same suite may run side by side.
  copy.replace_filename("fresh-" + ProcessTag() + "-" + std::to_string(++loads) + "-" +
                        original.filename().string());
  std::error_code error;
  std::filesystem::copy_file(original, copy, std::filesystem::copy_options::overwrite_existing,
                             error);
  if (error) {
    std::fprintf(stderr, "%s: %s\n", copy.string().c_str(), error.message().c_str());
    std::abort();
  }
  return FreshPlugin(LoadOrAbort(copy.string()).release());
}

const PluginLibrary& Plugin() {
  static const std::unique_ptr<PluginLibrary> library = LoadOrAbort(PluginLibrary::DefaultPath());
  return *library;
}
