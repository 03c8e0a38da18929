// Times the built plug-in as a host calls it: IMPORT_CreateImage on each file given, the median
// of several imports. Built for Windows too, so the DLL can be timed under Wine beside the
// native figures.
//
//   varneltiff_dll_timing [--plugin PATH] LABEL=FILE...
// prints one line per file: "LABEL MB/s", counting the host-layout bytes of the image.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/plugin_library.h"

int main(int argc, char** argv) {
  std::string pluginPath = PluginLibrary::DefaultPath();
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--plugin") == 0 && i + 1 < argc) {
      pluginPath = argv[++i];
      continue;
    }
    const char* equals = std::strchr(argv[i], '=');
    if (equals == nullptr) {
      std::fprintf(stderr, "usage: varneltiff_dll_timing [--plugin PATH] LABEL=FILE...\n");
      return 2;
    }
    files.emplace_back(std::string(argv[i], static_cast<size_t>(equals - argv[i])), equals + 1);
  }
  PluginLibrary plugin;
  std::string error;
  if (!plugin.Load(pluginPath, error)) {
    std::fprintf(stderr, "varneltiff_dll_timing: %s\n", error.c_str());
    return 1;
  }
  int status = 0;
  for (const auto& [label, path] : files) {
    std::vector<double> seconds;
    double bytes = 0;
    for (int run = 0; run < 5; ++run) {
      HostImage* image = nullptr;
      const auto start = std::chrono::steady_clock::now();
      plugin.createImage(path.c_str(), &image);
      const auto end = std::chrono::steady_clock::now();
      if (image == nullptr) break;
      bytes = double(image->rowBytes) * image->height;
      plugin.freeImage(image);
      seconds.push_back(std::chrono::duration<double>(end - start).count());
    }
    if (seconds.empty()) {
      std::printf("%s failed\n", label.c_str());
      status = 1;
      continue;
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("%s %.1f\n", label.c_str(), bytes / seconds[seconds.size() / 2] / 1e6);
  }
  return status;
}
